#!/usr/bin/env python3
"""The broker's guide's reference table of the settings files against what the code reads and writes.

    settings_reference_test.py SOURCE_DIR

Fails, naming each difference, when the code reads a settings attribute or element that the table does not list,
when a root attribute or an element is listed under another file than the one the code reads it from, or when the
table lists a name that no code reads or writes.
"""

import re
import sys
from pathlib import Path

FILES = {"Main": "main", "Client": "client", "User": "user"}
# The code that reads the settings files; other folders read other documents (update indexes, language files).
SOURCES = ["src/launcher", "src/gui", "src/registration", "app"]
# Names read in those folders from documents that are no settings file.
OTHER_DOCUMENTS = {
    "size", "modified", "private", "sha256",  # the update index, merged with a private one by the login flow
    "message",                      # the answer of the older password reminder
}
TABLE_START = "<!-- settings-reference"
TABLE_END = "<!-- /settings-reference -->"


def read_table(guide):
    text = guide.read_text(encoding="utf-8")
    if TABLE_START not in text or TABLE_END not in text:
        raise SystemExit(f"{guide}: the reference table's markers are missing")
    body = text[text.index(TABLE_START):text.index(TABLE_END)]
    rows = []
    for line in body.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 6 or cells[0] in ("File", "---"):
            continue
        file, element, attribute = cells[0], cells[1], cells[2]
        if file not in FILES.values():
            raise SystemExit(f"{guide}: unknown file {file!r} in row: {line}")
        if element == "root":
            element = ""
        else:
            match = re.fullmatch(r"`(\w+)`( item)?", element)
            if not match:
                raise SystemExit(f"{guide}: unreadable element {element!r} in row: {line}")
            element = match.group(1) + ("/item" if match.group(2) else "")
        attribute = attribute.strip("`")
        if element == "" and not attribute:
            raise SystemExit(f"{guide}: a root row without attribute: {line}")
        if not cells[3]:
            raise SystemExit(f"{guide}: a row without meaning: {line}")
        rows.append((file, element, attribute))
    return rows


def scan(source_dir):
    """(root attributes by file, elements by file, every name read, every name written) of the code."""
    root_reads, elements, reads, writes = set(), set(), set(), set()
    for folder in SOURCES:
        for path in sorted((source_dir / folder).rglob("*.cpp")):
            text = path.read_text(encoding="utf-8")
            for who, name in re.findall(r"\b(Main|Client|User)Settings->(?:Attributes|HasAttribute)\(\"(\w+)\"", text):
                root_reads.add((FILES[who], name))
            for who, name in re.findall(r"Read(?:Boolean|Integer)Setting\((Main|Client|User)Settings, \"(\w+)\"", text):
                root_reads.add((FILES[who], name))
            for who, name in re.findall(r"SettingsElement\((Main|Client|User)Settings, \"(\w+)\"\)", text):
                elements.add((FILES[who], name))
            for who, name in re.findall(r"\b(Main|Client|User)Settings->ChildNodes\(\)->FindNode\(\"(\w+)\"\)", text):
                elements.add((FILES[who], name))
            for who, name in re.findall(r"\b(Main|Client|User)Settings->AddChild\(\"(\w+)\"\)", text):
                elements.add((FILES[who], name))
            reads.update(re.findall(r"(?:Attributes|HasAttribute)\(\"(\w+)\"\)", text))
            reads.update(re.findall(r"Read(?:Boolean|Integer)Setting\([^,()]+, \"(\w+)\"", text))
            writes.update(re.findall(r"SetAttribute\(\"(\w+)\"", text))
            # The user file's default text (attributes and elements it is created with).
            for default in re.findall(r"DefaultUserSettings\s*=\s*((?:\s*\"(?:[^\"\\]|\\.)*\")+)", text):
                writes.update(re.findall(r"(\w+)=\\\"", default))
                writes.update(re.findall(r"<(\w+)", default))
    return root_reads, elements, reads, writes


def main():
    source_dir = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[2])
    rows = read_table(source_dir / "docs" / "broker-guide.md")
    root_reads, elements, reads, writes = scan(source_dir)
    problems = []

    documented_roots = {(f, a) for f, e, a in rows if e == ""}
    documented_elements = {(f, e.split("/")[0]) for f, e, a in rows if e}
    documented_names = {a for f, e, a in rows if a} | {e.split("/")[0] for f, e, a in rows if e}

    for file, name in sorted(root_reads - documented_roots):
        problems.append(f"the code reads the {file} file's root attribute {name!r}, the table does not list it there")
    for file, name in sorted(elements - documented_elements):
        problems.append(f"the code reads the {file} file's element {name!r}, the table does not list it there")
    for name in sorted(reads - documented_names - OTHER_DOCUMENTS):
        problems.append(f"the code reads the attribute {name!r}, the table does not list it")
    for file, element, attribute in rows:
        if element == "" and (file, attribute) not in root_reads and attribute not in writes:
            problems.append(f"the table lists the {file} file's root attribute {attribute!r}, no code reads it there")
        if element and (file, element.split("/")[0]) not in elements:
            problems.append(f"the table lists the {file} file's element {element.split('/')[0]!r}, no code reads it")
        if attribute and attribute not in reads | writes:
            problems.append(f"the table lists the attribute {attribute!r}, no code reads or writes it")

    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} differences between docs/broker-guide.md and the code")
        return 1
    print(f"the reference table's {len(rows)} rows match the code")
    return 0


if __name__ == "__main__":
    sys.exit(main())
