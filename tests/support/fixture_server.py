#!/usr/bin/env python3
"""Scripted HTTP/1.1 server for tests.

Usage: fixture_server.py DIR

Binds 127.0.0.1 on an ephemeral port and prints "PORT <n>" on standard output once it listens.
Every request reads DIR/script.json afresh: an object that maps a path (without query) to a list of
answers; successive requests to that path take the answers in turn, the last one repeating. An answer
is an object with these optional members:

  status, reason      status code (200) and reason phrase
  headers             list of [name, value] pairs (or an object), sent as given
  body                body text (sent as Latin-1 bytes, so "\\u00e9" is the byte 0xE9)
  size                body of this many bytes instead of `body`, made of `fill` (default "x") repeated and sent in
                      pieces as it is made, never held whole; with `encode` it is compressed piece by piece, sent
                      without Content-Length and ended by closing the connection (so a gzip bomb costs the server
                      nothing either)
  encode              "gzip" or "deflate": compress the body and name that coding in Content-Encoding
  content_encoding    the Content-Encoding name to send instead (for example "GZIP" or "br")
  echo                true: the body describes the request (method, target, headers, body)
  delay               seconds to wait before answering at all
  hold_until          a file path: wait until that file exists before answering at all (at most 120 s)
  stall_after         send only this many body bytes, then stall for `stall` seconds (default 60)
  drop_after          send only this many body bytes, then drop the connection
  reset_after         send only this many body bytes, then reset the connection (RST)
  ranges              true: a "Range: bytes=N-" request gets 206 with that part (416 past the end) unless its
                      If-Range differs from the answer's ETag and Last-Modified headers (then 200 with all of it)
  raw                 send these bytes instead of an HTTP answer, then close
  digest              {"user", "password", "realm"}: demand Digest authentication (MD5, qop=auth)
  set_cookies         list of Set-Cookie values
  require_cookie      "name=value": answer 403 "missing cookie" unless the request carries it

Paths not in the script answer 404. Every request is appended to DIR/requests.log as one JSON line
(method, path, query, headers, body, client_port) before it is answered.
"""

import gzip
import hashlib
import json
import os
import socket
import struct
import sys
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit

DIR = sys.argv[1]
PIECE = 1 << 20
LOCK = threading.Lock()
COUNTERS = {}


def load_script():
    try:
        with open(os.path.join(DIR, "script.json"), encoding="utf-8") as f:
            return json.load(f)
    except FileNotFoundError:
        return {}


def next_answer(path):
    answers = load_script().get(path)
    if not answers:
        return None
    with LOCK:
        n = COUNTERS.get(path, 0)
        COUNTERS[path] = n + 1
    return answers[min(n, len(answers) - 1)]


def md5(text):
    return hashlib.md5(text.encode("latin-1")).hexdigest()


def parse_digest(value):
    if not value or not value.lower().startswith("digest "):
        return None
    fields = {}
    rest = value[7:]
    while rest:
        rest = rest.lstrip(" ,")
        if "=" not in rest:
            break
        name, rest = rest.split("=", 1)
        if rest.startswith('"'):
            end = rest.index('"', 1)
            fields[name.strip()] = rest[1:end]
            rest = rest[end + 1:]
        else:
            part, _, rest = rest.partition(",")
            fields[name.strip()] = part.strip()
    return fields


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.handle_any()

    def do_POST(self):
        self.handle_any()

    def do_PUT(self):
        self.handle_any()

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        target = urlsplit(self.path)
        entry = {
            "method": self.command,
            "path": target.path,
            "query": target.query,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body": body.decode("latin-1"),
            "client_port": self.client_address[1],
        }
        with LOCK:
            with open(os.path.join(DIR, "requests.log"), "a", encoding="utf-8") as f:
                f.write(json.dumps(entry) + "\n")

        answer = next_answer(target.path)
        if answer is None:
            self.send_plain(404, "Not Found", b"no script for " + target.path.encode())
            return
        if answer.get("delay"):
            time.sleep(answer["delay"])
        if answer.get("hold_until"):
            deadline = time.monotonic() + 120
            while not os.path.exists(answer["hold_until"]) and time.monotonic() < deadline:
                time.sleep(0.02)
        if "raw" in answer:
            self.wfile.write(answer["raw"].encode("latin-1"))
            self.wfile.flush()
            self.close_connection = True
            return
        if "digest" in answer and not self.digest_ok(answer["digest"]):
            return
        if "require_cookie" in answer:
            cookies = [c.strip() for c in (self.headers.get("Cookie") or "").split(";")]
            if answer["require_cookie"] not in cookies:
                self.send_plain(403, "Forbidden", b"missing cookie")
                return

        if "size" in answer:
            self.send_generated(answer)
            return
        if answer.get("echo"):
            lines = [self.command + " " + self.path]
            lines += [k + ": " + v for k, v in self.headers.items()]
            data = ("\n".join(lines) + "\n\n").encode("latin-1") + body
        else:
            data = answer.get("body", "").encode("latin-1")
        coding = None
        if answer.get("encode") == "gzip":
            data = gzip.compress(data)
            coding = "gzip"
        elif answer.get("encode") == "deflate":
            data = zlib.compress(data)
            coding = "deflate"
        coding = answer.get("content_encoding", coding)

        status = answer.get("status", 200)
        headers = answer.get("headers", [])
        headers = list(headers.items()) if isinstance(headers, dict) else list(headers)
        if answer.get("ranges") and status == 200:
            headers.append(["Accept-Ranges", "bytes"])
            wanted = self.headers.get("Range") or ""
            if_range = self.headers.get("If-Range")
            validators = [v for n, v in headers if n.lower() in ("etag", "last-modified")]
            if wanted.startswith("bytes=") and wanted.endswith("-") and (if_range is None or if_range in validators):
                start = int(wanted[6:-1])
                if start >= len(data):
                    status = 416
                    headers.append(["Content-Range", "bytes */%d" % len(data)])
                    data = b""
                else:
                    status = 206
                    headers.append(["Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data))])
                    data = data[start:]

        self.send_response(status, answer.get("reason"))
        for name, value in headers:
            self.send_header(name, value)
        for cookie in answer.get("set_cookies", []):
            self.send_header("Set-Cookie", cookie)
        if coding:
            self.send_header("Content-Encoding", coding)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()

        if "stall_after" in answer:
            self.wfile.write(data[: answer["stall_after"]])
            self.wfile.flush()
            time.sleep(answer.get("stall", 60))
            self.close_connection = True
            return
        if "reset_after" in answer:
            self.wfile.write(data[: answer["reset_after"]])
            self.wfile.flush()
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
            self.close_connection = True
            return
        if "drop_after" in answer:
            self.wfile.write(data[: answer["drop_after"]])
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
            return
        self.wfile.write(data)

    def send_generated(self, answer):
        size = answer["size"]
        fill = answer.get("fill", "x").encode("latin-1")
        piece = fill * (PIECE // len(fill) + 1)
        piece = piece[:PIECE]
        coding = answer.get("encode")
        if coding == "gzip":
            compressor = zlib.compressobj(9, zlib.DEFLATED, 16 + zlib.MAX_WBITS)
        elif coding == "deflate":
            compressor = zlib.compressobj(9)
        else:
            compressor = None
        self.send_response(answer.get("status", 200), answer.get("reason"))
        headers = answer.get("headers", [])
        for name, value in headers.items() if isinstance(headers, dict) else headers:
            self.send_header(name, value)
        if compressor:
            self.send_header("Content-Encoding", coding)
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(size))
        self.end_headers()
        left = size
        try:
            while left > 0:
                chunk = piece if left >= PIECE else piece[:left]
                left -= len(chunk)
                self.wfile.write(compressor.compress(chunk) if compressor else chunk)
            if compressor:
                self.wfile.write(compressor.flush())
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            # The client stopped reading, as it may for an answer it refuses.
            self.close_connection = True

    def digest_ok(self, digest):
        realm = digest.get("realm", "fixture")
        fields = parse_digest(self.headers.get("Authorization"))
        if fields is not None:
            ha1 = md5("%s:%s:%s" % (digest["user"], realm, digest["password"]))
            ha2 = md5("%s:%s" % (self.command, fields.get("uri", "")))
            expected = md5("%s:%s:%s:%s:%s:%s" % (ha1, fields.get("nonce", ""), fields.get("nc", ""),
                                                  fields.get("cnonce", ""), fields.get("qop", ""), ha2))
            if fields.get("username") == digest["user"] and fields.get("response") == expected:
                return True
        challenge = 'Digest realm="%s", nonce="%s", qop="auth", algorithm=MD5' % (realm, os.urandom(8).hex())
        data = b"authorization required"
        self.send_response(401, "Unauthorized")
        self.send_header("WWW-Authenticate", challenge)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)
        return False

    def send_plain(self, status, reason, data):
        self.send_response(status, reason)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
