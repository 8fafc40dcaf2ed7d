"""Scripted JSON-RPC 2.0 registration service ("fields" and "registrate") of the demo server.

The answers follow what the launcher's wizard expects: page 0 holds the account type, then three pages
(the last one completes the form), then "registrate" returns the new credentials. Special provider ids
produce the failure answers the launcher must survive.
"""

import json
import threading
import time

TAKEN_NICKNAMES = {"trader"}
# A "registrate" for this nickname takes a while, so that a client can be seen waiting for it.
SLOW_NICKNAME = "slowpoke"
SLOW_SECONDS = 2.0
PAGE0 = [
    {"id": "account_type", "name": "Account type", "hidden": False, "type": "ARRAY", "hint": "",
     "link": "", "required": True,
     "value": [{"val1": "demo", "val2": "Demo account"}, {"val1": "real", "val2": "Real account"}]},
]
PAGE1 = [
    {"id": "first_name", "name": "First name", "hidden": False, "type": "ALPHA", "hint": "Your first name",
     "link": "", "required": True, "value": ""},
    {"id": "last_name", "name": "Last name", "hidden": False, "type": "ALPHA", "hint": "Your last name",
     "link": "", "required": True, "value": ""},
    {"id": "email", "name": "E-mail", "hidden": False, "type": "EMAIL", "hint": "Where we send your login",
     "link": "", "required": True, "value": ""},
    {"id": "country", "name": "Country", "hidden": False, "type": "TEXT", "hint": "", "link": "",
     "required": True,
     "value": [{"val1": "DE", "val2": "Germany"}, {"val1": "FR", "val2": "France"},
               {"val1": "GB", "val2": "United Kingdom"}]},
    {"id": "source", "name": "Source", "hidden": True, "type": "HIDDEN", "hint": "", "link": "",
     "required": False, "value": "launcher"},
    {"id": "newsletter", "name": "Send me news", "hidden": "true", "type": "YES_NO", "hint": "",
     "link": "", "required": False, "value": [{"val1": "", "val2": ""}]},
]
PAGE2 = [
    {"id": "contact_email", "name": "Contact e-mail", "hidden": False, "type": "EMAIL", "hint": "",
     "link": "email", "required": True, "value": ""},
    {"id": "birth_date", "name": "Date of birth", "hidden": False, "type": "DATE", "hint": "yyyy-MM-dd",
     "link": "", "required": True, "value": None},
    {"id": "phone", "name": "Phone", "hidden": False, "type": "NUMERIC", "hint": "", "link": "",
     "required": False, "value": ""},
    # Already known from page 1: the wizard must not add it twice.
    {"id": "email", "name": "E-mail", "hidden": False, "type": "EMAIL", "hint": "", "link": "",
     "required": True, "value": ""},
]
PAGE3_TEMPLATE = [
    {"id": "nickname", "name": "Nickname", "hidden": False, "type": "ALPHANUMERIC", "hint": "", "link": "",
     "required": True, "value": ""},
    {"id": "terms", "name": "I accept the terms of business", "hidden": False,
     "type": "LOCAL_BOOLEAN_WITH_URL", "hint": "", "link": "", "required": False,
     "value": [{"val1": "{base}/terms.html", "val2": "Terms of business"}]},
    {"id": "risk", "name": "I understand the risks", "hidden": False, "type": "LOCAL_BOOLEAN", "hint": "",
     "link": "", "required": False, "value": [{"val1": "", "val2": ""}]},
    {"id": "office", "name": "Office", "hidden": False, "type": "MAP", "hint": "", "link": "entry",
     "required": False, "value": None},
]


def _error(code, message, data=None):
    error = {"code": code, "message": message}
    if data is not None:
        error["data"] = data
    return {"jsonrpc": "2.0", "error": error, "id": "1"}


def _fields_result(fields, completed):
    return {"jsonrpc": "2.0", "result": {"completed": completed, "fields": fields}, "id": "1"}


class RegistrationService:
    """Answers JSON-RPC posts; keeps every request body it saw (for tests) and the accounts it created."""

    def __init__(self, base_url=""):
        self.base_url = base_url
        self.requests = []
        self.accounts = []
        self._lock = threading.Lock()
        self._flaky_failed = False

    def handle(self, body, headers):
        """Returns (status, content type, body bytes) for one POST."""
        with self._lock:
            self.requests.append({"body": body.decode("latin-1"),
                                  "headers": {k: headers.get(k, "") for k in
                                              ("Accept", "Content-Type", "Content-Encoding", "User-Agent")}})
        try:
            request = json.loads(body.decode("utf-8"))
            method = request["method"]
            params = request["params"]
            fields = params.get("fields", {}) or {}
            provider = params.get("providerId", "")
        except (ValueError, KeyError, TypeError, AttributeError):
            return self._json(_error(-32700, "Parse error"))

        special = self._provider_answer(provider)
        if special is not None:
            return special
        if method == "fields":
            return self._json(self._fields(fields))
        if method == "registrate":
            return self._json(self._registrate(fields, provider))
        return self._json(_error(-32601, "Method not found"))

    def _provider_answer(self, provider):
        if provider == "closed":
            return self._json(_error(-32000, "Registration is closed for this broker"))
        if provider == "silent":
            return self._json(_error(-32603, "", "Service is not available"))
        if provider == "garbage":
            return 200, "text/plain", b"this is not JSON"
        if provider == "noresult":
            return self._json({"jsonrpc": "2.0", "id": "1"})
        if provider == "empty":
            return self._json(_fields_result([], False))
        if provider == "broken":
            return 500, "text/plain", b"Internal Server Error"
        if provider == "flaky":
            # The first request of all fails, every later one is answered as for any broker.
            with self._lock:
                failed, self._flaky_failed = self._flaky_failed, True
            if not failed:
                return 500, "text/plain", b"Internal Server Error"
        return None

    def _fields(self, fields):
        if not fields:
            return _fields_result(PAGE0, False)
        if "first_name" not in fields:
            return _fields_result(PAGE1, False)
        if "birth_date" not in fields:
            email = fields.get("email") or ""
            if "@" not in email:
                return _error(-32005, "Please correct the marked fields", {"email": "Invalid e-mail address"})
            return _fields_result(PAGE2, False)
        if "nickname" not in fields:
            page = json.loads(json.dumps(PAGE3_TEMPLATE).replace("{base}", self.base_url))
            return _fields_result(page, True)
        return _fields_result([], True)

    def _registrate(self, fields, provider):
        nickname = fields.get("nickname") or ""
        if nickname == SLOW_NICKNAME:
            time.sleep(SLOW_SECONDS)
        if nickname in TAKEN_NICKNAMES:
            return _error(-32001, "Some values are not accepted", {"nickname": "This nickname is taken"})
        for key in ("first_name", "last_name", "email", "birth_date"):
            if not fields.get(key):
                return _error(-32001, "Some values are not accepted", {key: "Required"})
        with self._lock:
            self.accounts.append(fields)
            number = len(self.accounts)
        return {"jsonrpc": "2.0", "id": "1",
                "result": {"LOGIN": "%s%d" % (nickname, number), "PASSWORD": "Pw%06d" % (number * 7919),
                           "SCHEMA": "demo_schema"}}

    @staticmethod
    def _json(answer):
        return 200, "application/json", json.dumps(answer).encode("utf-8")
