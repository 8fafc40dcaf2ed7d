#!/usr/bin/env python3
"""Demo server of the launcher's account services on loopback.

    server.py [--port N]     prints "PORT <n>" once it listens (port 0 picks a free one)

    server.py --update-root DIR [--private-root DIR]   also serves configuration answers and update trees

Routes (any path prefix):
    GET  .../config?entry=...             configuration answers (config_service.py)
    GET  /update/..., /slow/..., /private/..., /maintenance/...   update trees (update_service.py)
    POST .../registration                 JSON-RPC registration service
    POST .../passwords, PUT .../passwords/<id>   REST password service
    GET  .../resend_password?...          older password reminder (XML)
    GET  /_requests                       what the services received, as JSON (for tests)
"""

import argparse
import json
import os
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

# Tests start this script from the source tree: leave no compiled files behind there.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from password_service import PasswordService, resend_password  # noqa: E402
from registration_service import RegistrationService  # noqa: E402
from config_service import ConfigService  # noqa: E402
from update_service import UpdateService  # noqa: E402


class AccountServices:
    """The routing of the account services; other parts of the demo server can mount it beside theirs."""

    def __init__(self, base_url=""):
        self.registration = RegistrationService(base_url)
        self.passwords = PasswordService()

    def route(self, method, target, body, headers):
        """Returns (status, content type, body) or None when the path is not ours."""
        parts = urlsplit(target)
        segments = [s for s in parts.path.split("/") if s]
        if parts.path == "/_requests" and method == "GET":
            dump = {"registration": self.registration.requests, "password": self.passwords.requests}
            return 200, "application/json", json.dumps(dump).encode("utf-8")
        if segments and segments[-1] == "registration" and method == "POST":
            return self.registration.handle(body, headers)
        if segments and segments[-1] == "passwords":
            return self.passwords.handle(method, None, body, headers)
        if len(segments) >= 2 and segments[-2] == "passwords":
            return self.passwords.handle(method, segments[-1], body, headers)
        if segments and segments[-1] == "resend_password" and method == "GET":
            query = {k: v[0] for k, v in parse_qs(parts.query, keep_blank_values=True).items()}
            return resend_password(query)
        return None


def make_handler(services, launcher_services=()):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def _serve(self):
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length) if length else b""
            answer = None
            for service in launcher_services:
                answer = service.route(self.command, self.path)
                if answer is not None:
                    break
            if answer is None:
                answer = services.route(self.command, self.path, body, self.headers)
            if answer is None:
                answer = (404, "text/plain", b"Not found")
            status, content_type, data = answer[:3]
            extra = answer[3] if len(answer) > 3 else {}
            self.send_response(status)
            if content_type:
                self.send_header("Content-Type", content_type)
            for name, value in extra.items():
                self.send_header(name, value)
            writer = None
            if isinstance(data, tuple):  # (length, function writing the body)
                length, writer = data
            else:
                length = len(data)
            if status != 204:
                self.send_header("Content-Length", str(length))
            self.end_headers()
            try:
                if writer is not None:
                    writer(self.wfile)
                elif status != 204:
                    self.wfile.write(data)
            except (BrokenPipeError, ConnectionResetError):
                self.close_connection = True

        do_GET = do_POST = do_PUT = _serve

        def log_message(self, format, *args):  # noqa: A002 - quiet unless asked
            if os.environ.get("ORB_DEMO_SERVER_LOG"):
                super().log_message(format, *args)

    return Handler


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--update-root", help="published update tree served at /update/ and /slow/")
    parser.add_argument("--private-root", help="directory of private update trees served at /private/")
    parser.add_argument("--update-url", help="address of the published tree on another server (ends with /)")
    args = parser.parse_args()
    services = AccountServices()
    config = ConfigService(update_url=args.update_url)
    updates = UpdateService(args.update_root, args.private_root)
    server = ThreadingHTTPServer((args.host, args.port), make_handler(services, (config, updates)))
    server.daemon_threads = True
    services.registration.base_url = "http://%s:%d" % (args.host, server.server_address[1])
    config.base_url = services.registration.base_url
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
