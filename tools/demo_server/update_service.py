"""Update trees of the demo server, published with orb-make-index.

    GET /update/<path>        files of the update root (index.xml and the client's files)
    GET /slow/<path>          the same, sent slowly (about 64 KB/s) so that a download can be cancelled
    GET /private/<path>       files of the private root (its sub-directories hold private indexes)
    GET /maintenance/<path>   503 "Schema Unavailable" with Retry-After: 90 (scheduled maintenance)
    GET /badindex/<path>      200 with text that is not an update index
Everything else under these prefixes that does not exist answers 404.
"""

import os
import time
from urllib.parse import unquote, urlsplit

PREFIXES = ("update", "slow", "private", "maintenance", "badindex")
SLOW_CHUNK = 16 * 1024
SLOW_PAUSE = 0.25


class UpdateService:
    def __init__(self, update_root=None, private_root=None):
        self.update_root = update_root
        self.private_root = private_root
        self.requests = []

    @staticmethod
    def _file(root, segments):
        if not root or any(s in ("", ".", "..") for s in segments):
            return None
        path = os.path.join(root, *segments)
        real_root = os.path.realpath(root)
        real = os.path.realpath(path)
        if not real.startswith(real_root + os.sep) or not os.path.isfile(real):
            return None
        return real

    def route(self, method, target):
        """Returns (status, content type, body or a callable writing the body, extra headers) or None."""
        parts = urlsplit(target)
        segments = [unquote(s) for s in parts.path.split("/") if s]
        if method != "GET" or not segments or segments[0] not in PREFIXES:
            return None
        self.requests.append(parts.path)
        prefix, rest = segments[0], segments[1:]
        if prefix == "maintenance":
            return 503, "text/plain", b"Schema Unavailable: scheduled maintenance", {"Retry-After": "90"}
        if prefix == "badindex":
            return 200, "text/html", b"<html><body>Welcome to our web site!", {}
        root = self.private_root if prefix == "private" else self.update_root
        path = self._file(root, rest)
        if path is None:
            return 404, "text/plain", b"Not found", {}
        with open(path, "rb") as f:
            data = f.read()
        content_type = "text/xml" if path.endswith(".xml") else "application/octet-stream"
        if prefix != "slow":
            return 200, content_type, data, {}

        def write_slowly(out):
            for i in range(0, len(data), SLOW_CHUNK):
                out.write(data[i:i + SLOW_CHUNK])
                out.flush()
                time.sleep(SLOW_PAUSE)

        return 200, content_type, (len(data), write_slowly), {}
