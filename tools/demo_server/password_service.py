"""Scripted password service of the demo server: the REST service ("passwords", "passwords/<id>")
and the older "resend_password" reminder that answers with XML.

User names with a special meaning: "unknown" (400 with a JSON message), "plain" (400 with a text body),
"nomessage" (400 with an object without message), "numeric" (the reset id comes as a number),
"quiet" (the reset answers 204 instead of 200). Every verification code is VERIFICATION_CODE.
"""

import json
import threading
from xml.sax.saxutils import quoteattr

VERIFICATION_CODE = "123456"


class PasswordService:
    """Answers the REST password requests; keeps every request it saw (for tests)."""

    def __init__(self):
        self.requests = []
        self._resets = {}
        self._next_id = 1001
        self._lock = threading.Lock()

    def handle(self, method, reset_id, body, headers):
        """One request to ".../passwords" (reset_id None) or ".../passwords/<reset_id>"."""
        text = body.decode("latin-1")
        with self._lock:
            self.requests.append({"method": method, "id": reset_id, "body": text,
                                  "headers": {k: headers.get(k, "") for k in
                                              ("Accept", "Content-Type", "User-Agent", "Authorization")}})
        try:
            request = json.loads(body.decode("utf-8"))
        except ValueError:
            return self._message(400, "Bad request body")
        if method == "POST" and reset_id is None:
            return self._ask_code(request)
        if method == "PUT" and reset_id is not None:
            return self._reset(reset_id, request)
        return self._message(405, "Method not allowed")

    def _ask_code(self, request):
        username = request.get("username", "")
        if username == "unknown":
            return self._message(400, "No user with this name")
        if username == "plain":
            return 400, "text/plain", b"The service refuses plainly"
        if username == "nomessage":
            return 400, "application/json", b"{}"
        with self._lock:
            reset_id = str(self._next_id)
            self._next_id += 1
            self._resets[reset_id] = username
        value = int(reset_id) if username == "numeric" else reset_id
        return 200, "application/json", json.dumps({"passwordResetID": value}).encode("utf-8")

    def _reset(self, reset_id, request):
        with self._lock:
            username = self._resets.get(reset_id)
        if username is None or str(request.get("passwordResetID")) != reset_id:
            return self._message(400, "Unknown password reset request")
        if request.get("code") != VERIFICATION_CODE:
            return self._message(400, "Wrong verification code")
        if username == "quiet":
            return 204, None, b""
        return 200, "application/json", b"{}"

    @staticmethod
    def _message(status, message):
        return status, "application/json", json.dumps({"message": message}).encode("utf-8")


def resend_password(query):
    """The older reminder request: GET resend_password?schema$=..&login_id=..&lang=.."""
    login = query.get("login_id", "")
    if not login or login == "unknown":
        message = "Unknown login"
    else:
        message = "The password of %s (%s, %s) has been sent to your e-mail address" % (
            login, query.get("schema$", ""), query.get("lang", ""))
    body = '<?xml version="1.0" encoding="UTF-8"?>\n<resend message=%s/>\n' % quoteattr(message)
    return 200, "text/xml", body.encode("utf-8")
