#!/usr/bin/env python3
"""A TCP relay for tests that forces TLS clients down to TLS 1.0, as an attacker on the way would.

Usage: tls_downgrade_proxy.py DIR TARGET_PORT

Binds 127.0.0.1 on an ephemeral port and prints "PORT <n>" on standard output once it listens. For every
connection it reads the client's first TLS record (the ClientHello) and appends one JSON line to
DIR/hellos.log: "version" (the highest TLS version offered, e.g. "0x0303" for TLS 1.2), "fallback_scsv"
(whether the cipher suites hold TLS_FALLBACK_SCSV, 0x5600) and "passed". A hello offering more than TLS 1.0
is answered by resetting the connection; any other is relayed to 127.0.0.1:TARGET_PORT both ways.
"""

import json
import os
import socket
import struct
import sys
import threading

DIR = sys.argv[1]
TARGET_PORT = int(sys.argv[2])
LOCK = threading.Lock()
TLS10 = 0x0301
FALLBACK_SCSV = 0x5600


def read_exactly(sock, count):
    data = b""
    while len(data) < count:
        part = sock.recv(count - len(data))
        if not part:
            raise ConnectionError("closed")
        data += part
    return data


def parse_hello(record):
    """(highest version offered, whether TLS_FALLBACK_SCSV is among the cipher suites) of a ClientHello record."""
    body = record[5:]
    if record[0] != 0x16 or body[0] != 0x01:
        return 0, False
    pos = 4
    highest = struct.unpack(">H", body[pos:pos + 2])[0]
    pos += 2 + 32
    pos += 1 + body[pos]
    suites_length = struct.unpack(">H", body[pos:pos + 2])[0]
    suites = [struct.unpack(">H", body[pos + 2 + i:pos + 4 + i])[0] for i in range(0, suites_length, 2)]
    pos += 2 + suites_length
    pos += 1 + body[pos]
    if pos + 2 <= len(body):
        end = pos + 2 + struct.unpack(">H", body[pos:pos + 2])[0]
        pos += 2
        while pos + 4 <= end:
            kind, length = struct.unpack(">HH", body[pos:pos + 4])
            if kind == 43:  # supported_versions
                offered = body[pos + 5:pos + 4 + length]
                for i in range(0, len(offered), 2):
                    highest = max(highest, struct.unpack(">H", offered[i:i + 2])[0])
            pos += 4 + length
    return highest, FALLBACK_SCSV in suites


def relay(source, sink):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            sink.sendall(data)
    except OSError:
        pass
    for sock in (source, sink):
        try:
            sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def serve(client):
    try:
        header = read_exactly(client, 5)
        record = header + read_exactly(client, struct.unpack(">H", header[3:5])[0])
        highest, scsv = parse_hello(record)
    except (ConnectionError, OSError, IndexError, struct.error):
        client.close()
        return
    passed = highest <= TLS10
    with LOCK:
        with open(os.path.join(DIR, "hellos.log"), "a", encoding="utf-8") as f:
            f.write(json.dumps({"version": "0x%04x" % highest, "fallback_scsv": scsv, "passed": passed}) + "\n")
    if not passed:
        # A reset in the middle of the handshake, as a middlebox that drops newer hellos gives.
        client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        client.close()
        return
    upstream = socket.create_connection(("127.0.0.1", TARGET_PORT))
    upstream.sendall(record)
    threading.Thread(target=relay, args=(upstream, client), daemon=True).start()
    relay(client, upstream)


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client,), daemon=True).start()


if __name__ == "__main__":
    main()
