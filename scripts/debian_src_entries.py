#!/usr/bin/python3
"""Prints deb822 stanzas of source entries (Types: deb-src) for the machine's
own Debian release, copied from its binary entries (Types: deb).

Only suites of the release that /etc/os-release names are kept (its codename
and the codename's -updates, -security... suites); entries of other
repositories and suites that already have a source entry are left out. Prints
nothing when nothing is to be added.

    python3 scripts/debian_src_entries.py /etc/apt/sources.list.d/NAME.sources

The file named is left out of what is read (it is the one being written) and
written only when its content changes (removed when nothing is to be added);
the exit code is 0 when it changed, 3 when it was already up to date.
"""

from __future__ import annotations

import glob
import os
import re
import sys
from typing import Dict, List, Set, Tuple

SOURCES_DIR = "/etc/apt/sources.list.d"
ONE_LINE_FILES = ["/etc/apt/sources.list"]


def codename(os_release: str = "/etc/os-release") -> str:
    with open(os_release, encoding="utf-8") as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            if key == "VERSION_CODENAME":
                return value.strip('"')
    raise SystemExit("no VERSION_CODENAME in " + os_release)


def deb822_stanzas(text: str) -> List[Dict[str, str]]:
    """Stanzas as {field: value}; continuation lines joined with newlines."""
    stanzas, current, last = [], {}, None
    for line in text.splitlines():
        if line.startswith("#"):
            continue
        if not line.strip():
            if current:
                stanzas.append(current)
            current, last = {}, None
        elif line[0] in " \t" and last:
            current[last] += "\n" + line.strip()
        else:
            key, _, value = line.partition(":")
            last = key.strip()
            current[last] = value.strip()
    if current:
        stanzas.append(current)
    return stanzas


def one_line_stanzas(text: str) -> List[Dict[str, str]]:
    """The one-line form "deb [options] uri suite components..." as stanzas."""
    stanzas = []
    for line in text.splitlines():
        line = line.split("#", 1)[0].strip()
        options = {}
        match = re.match(r"^(deb|deb-src)\s+\[([^\]]*)\]\s+(.*)$", line)
        if match:
            kind, rest = match.group(1), match.group(3)
            options = dict(o.split("=", 1) for o in match.group(2).split() if "=" in o)
        elif line.startswith(("deb ", "deb-src ")):
            kind, _, rest = line.partition(" ")
        else:
            continue
        words = rest.split()
        if len(words) < 2:
            continue
        stanza = {"Types": kind, "URIs": words[0], "Suites": words[1], "Components": " ".join(words[2:])}
        if "signed-by" in options:
            stanza["Signed-By"] = options["signed-by"]
        stanzas.append(stanza)
    return stanzas


def all_stanzas(own: str) -> List[Dict[str, str]]:
    stanzas = []
    for path in sorted(glob.glob(SOURCES_DIR + "/*.sources")):
        if os.path.abspath(path) == os.path.abspath(own):
            continue
        with open(path, encoding="utf-8") as f:
            stanzas += deb822_stanzas(f.read())
    for path in ONE_LINE_FILES + sorted(glob.glob(SOURCES_DIR + "/*.list")):
        try:
            with open(path, encoding="utf-8") as f:
                stanzas += one_line_stanzas(f.read())
        except FileNotFoundError:
            pass
    return [s for s in stanzas if s.get("Enabled", "yes").lower() != "no"]


def source_stanzas(stanzas: List[Dict[str, str]], release: str) -> List[Dict[str, str]]:
    def pairs(stanza, kind) -> Set[Tuple[str, str]]:
        if kind not in stanza.get("Types", "").split():
            return set()
        return {(u.rstrip("/"), s) for u in stanza.get("URIs", "").split() for s in stanza.get("Suites", "").split()}

    have = set().union(*(pairs(s, "deb-src") for s in stanzas)) if stanzas else set()
    result = []
    for stanza in stanzas:
        if "deb" not in stanza.get("Types", "").split():
            continue
        uris = stanza.get("URIs", "").split()
        suites = [s for s in stanza.get("Suites", "").split()
                  if (s == release or s.startswith(release + "-"))
                  and not all((u.rstrip("/"), s) in have for u in uris)]
        if not suites:
            continue
        copy = {"Types": "deb-src", "URIs": " ".join(uris), "Suites": " ".join(suites)}
        for key, value in stanza.items():
            if key not in ("Types", "URIs", "Suites", "Enabled", "Architectures"):
                copy[key] = value
        result.append(copy)
    return result


def render(stanzas: List[Dict[str, str]]) -> str:
    blocks = []
    for stanza in stanzas:
        lines = []
        for key, value in stanza.items():
            first, *more = value.split("\n")
            lines.append(f"{key}: {first}")
            lines += [" " + (m if m else ".") for m in more]
        blocks.append("\n".join(lines))
    return "\n\n".join(blocks) + ("\n" if blocks else "")


UNCHANGED = 3


def main(argv: List[str]) -> int:
    if len(argv) != 1:
        raise SystemExit("usage: debian_src_entries.py TARGET.sources")
    target = argv[0]
    text = render(source_stanzas(all_stanzas(target), codename()))
    if not text:  # the machine has its own source entries already
        if not os.path.exists(target):
            return UNCHANGED
        os.remove(target)
        return 0
    try:
        with open(target, encoding="utf-8") as f:
            if f.read() == text:
                return UNCHANGED
    except FileNotFoundError:
        pass
    with open(target, "w", encoding="utf-8") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
