"""Configuration answers of the demo server: GET .../config?entry=<account type>.

Each account type answers with "name=value" lines (CR LF, the launcher reads them in the 8-bit code page):
    demo         a normal account: the update tree at <base>/update/
    private      like demo, plus a private index at <base>/private/vip/
    preview      the preview login's account type
    refused      refused by the server with an "exception" line
    broken       an answer without "tarnel_update_url" (the launcher calls it bad connection settings)
    noupdate     an update address where no index is published
    maintenance  an update server in scheduled maintenance (503, Retry-After 90 s)
    slow         the update tree served slowly (for cancelling a download)
    newlauncher  announces a launcher version newer than any build
    badindex     an update address whose index.xml is not an index
Any other account type gets the demo answer.
"""

from urllib.parse import parse_qs, urlsplit


class ConfigService:
    def __init__(self, base_url="", update_url=None):
        self.base_url = base_url
        # Another server (nginx, say) that serves the published tree in place of <base>/update/.
        self.update_url = update_url
        self.requests = []

    def answer(self, entry):
        base = self.base_url
        common = [
            ("server", "127.0.0.1"),
            ("port", "5000"),
            ("login", "server-side-login"),
            ("Country", "DE"),
            ("office_id", "server-office"),
            ("account_type", entry),
        ]
        if entry == "refused":
            return [("exception", "This account type is closed. Please contact your broker.")]
        if entry == "broken":
            return [("server", "127.0.0.1"), ("port", "5000")]
        update = {
            "noupdate": base + "/missing/",
            "maintenance": base + "/maintenance/",
            "slow": base + "/slow/",
            "badindex": base + "/badindex/",
        }.get(entry, self.update_url or base + "/update/")
        lines = [("tarnel_update_url", update)] + common
        if entry == "private":
            lines += [("tarnel_private_update_url", base + "/private/"), ("private_resource_path", "vip")]
        if entry == "newlauncher":
            lines.append(("loader_version", "99.0.0.0"))
        return lines

    def route(self, method, target):
        """Returns (status, content type, body) or None when the path is not ours."""
        parts = urlsplit(target)
        segments = [s for s in parts.path.split("/") if s]
        if method != "GET" or not segments or segments[-1] != "config":
            return None
        query = {k: v[0] for k, v in parse_qs(parts.query, keep_blank_values=True).items()}
        entry = query.get("entry", "")
        self.requests.append({"entry": entry, "query": parts.query})
        # Blanks around names and values, as real servers send them: the launcher trims them.
        body = "".join("%s = %s\r\n" % line for line in self.answer(entry))
        return 200, "text/plain", body.encode("cp1252", "replace")
