#!/usr/bin/python3
"""The whole state of a simulated PC that an update may change, written down
while no updater runs, and compared with another.

    before = snapshot(pc)
    ... run the update ...
    after = snapshot(pc)
    compare(before, after)          # ["file C:\\...\\x.dll: sha256 1f2e... -> 9a8b...", ...]
    classify(state, before, after)  # "old", "new" or "mixed" (.differences)

A snapshot holds every file (and folder) under the maker's program folders,
the shared component folder, the retired-feature folders and the work
folders in the temporary folders (size, SHA-256, attributes, last-write
time), the version file's lines, every value of the keys the update writes
(the registry scripts' keys, the ActiveX compatibility keys, the maker's keys,
the uninstall entries) in each registry view, PendingFileRenameOperations,
the three services' states and the media database's rows.

Command line:

    python3 testbed/pc_state.py snapshot --prefix DIR [--arch 64|32] > a.json
    python3 testbed/pc_state.py compare a.json b.json     # exit 1 when they differ
"""

from __future__ import annotations

import argparse
import contextlib
import difflib
import functools
import hashlib
import json
import os
import re
import sqlite3
import stat
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import TYPE_CHECKING, Dict, Iterable, List, Optional, Sequence, Tuple

_REPO = str(Path(__file__).resolve().parents[1])
if _REPO not in sys.path:  # run as a script
    sys.path.insert(0, _REPO)

import testbed  # noqa: E402,F401 -- puts the Wine test modules on the path
from testbed.media_database import MediaDatabase  # noqa: E402
from testbed.product_records import local_app_data, user_profile  # noqa: E402
from testbed.standin_services import SERVICE_NAMES  # noqa: E402
from wineprefix import build_dir, helper, join_win  # noqa: E402

if TYPE_CHECKING:
    from testbed.simulated_pc import SimulatedPC

FORMAT = 1

ORVANE_KEY = r"HKLM\SOFTWARE\Orvane Corporation"
USER_ORVANE_KEY = r"HKCU\SOFTWARE\Orvane Corporation"
VERSION_PATH_KEY = ORVANE_KEY + r"\Shared Info\VersionPath\Mirevo"
ACTIVEX_KEY = r"HKLM\SOFTWARE\Microsoft\Internet Explorer\ActiveX Compatibility"
UNINSTALL_KEYS = tuple(r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall" + "\\" + guid
                       for guid in ("{7A3C51E0-4B2F-4D9A-8E61-C05F2B93D417}",
                                    "{E2904F6B-1C7A-4E35-B8D2-6F41A0C93E58}"))
SESSION_MANAGER_KEY = r"HKLM\SYSTEM\CurrentControlSet\Control\Session Manager"
PENDING_VALUES = ("PendingFileRenameOperations", "PendingFileRenameOperations2")

# Wine keeps read-only as the Unix write permission and hidden and system in
# this extended attribute ("0x<hex>"); every file is archive to it.
DOS_ATTRIBUTE_XATTR = "user.DOSATTRIB"
READONLY, HIDDEN, SYSTEM, DIRECTORY, ARCHIVE = 0x1, 0x2, 0x4, 0x10, 0x20
_XATTR_ATTRIBUTES = HIDDEN | SYSTEM

_REG_TYPES = {0: "REG_NONE", 1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD",
              7: "REG_MULTI_SZ", 11: "REG_QWORD"}

SERVICE_STATES = {1: "stopped", 2: "start pending", 3: "stop pending", 4: "running",
                  5: "continue pending", 6: "pause pending", 7: "paused"}

# A work folder: "<program>.exe.tmp", or the fresh one "<program>.exe.<pid>-<hex>.tmp".
_WORK_FOLDER = re.compile(r"^[^\\/]+\.exe(\.[0-9a-f]+-[0-9a-f]+)?\.tmp$", re.I)


# --------------------------------------------------------------------------
# Snapshot


def _views(arch: str) -> tuple:
    return ("64", "32") if arch == "64" else ("32",)


@functools.lru_cache(maxsize=None)
def script_roots() -> Tuple[str, ...]:
    """The top keys of both registry scripts (those whose parent the script
    does not write): reading each subtree reads every key the scripts write."""
    keys = set()
    for number in (301, 302):
        text = (build_dir() / "payload" / "registry" / f"{number}.reg").read_bytes().decode("latin-1")
        for line in text.splitlines():
            if line.startswith("[") and line.rstrip().endswith("]") and not line.startswith("[-"):
                keys.add(re.sub(r"^HKEY_LOCAL_MACHINE\\", r"HKLM\\", line.strip()[1:-1], flags=re.I))
    folded = {k.lower() for k in keys}
    return tuple(sorted(k for k in keys if k.rsplit("\\", 1)[0].lower() not in folded))


def _decode_value(type_: int, raw: bytes):
    name = _REG_TYPES.get(type_, f"type {type_}")
    if type_ in (1, 2):
        return [name, raw.decode("utf-16-le", errors="replace").split("\0", 1)[0]]
    if type_ == 7:
        items = raw.decode("utf-16-le", errors="replace").split("\0")
        while items and items[-1] == "":
            items.pop()
        return [name, items]
    if type_ in (4, 11) and len(raw) == (4 if type_ == 4 else 8):
        return [name, int.from_bytes(raw, "little")]
    return [name, raw.hex()]


def read_registry(pc: "SimulatedPC") -> Dict[str, Dict[str, Dict[str, list]]]:
    """{view: {key: {value name: [type, data]}}} of the keys the update writes,
    in one run of reg_dump.exe; the Session Manager key only with its
    pending renames."""
    requests = []
    for view in _views(pc.arch):
        requests += [(view, key, 1) for key in script_roots()]
        requests += [(view, key, 1) for key in (ACTIVEX_KEY, ORVANE_KEY, *UNINSTALL_KEYS)]
        requests.append((view, SESSION_MANAGER_KEY, 0))
    requests.append(("32", USER_ORVANE_KEY, 1))  # HKCU\Software is one key in both views
    s = pc.scenario
    listing = s.scratch_file("reg-dump").with_suffix(".txt")
    listing.write_text("".join(f"{v}\t{k}\t{d}\n" for v, k, d in requests), encoding="utf-8")
    try:
        out = s.run([helper("reg_dump.exe"), s.to_windows(listing)], timeout=120).stdout.decode("utf-8")
    finally:
        listing.unlink()
    registry: Dict[str, Dict[str, Dict[str, list]]] = {view: {} for view in _views(pc.arch)}
    for line in out.splitlines():
        entry = json.loads(line)
        view, key, _ = requests[entry["request"]]
        values = {name: _decode_value(type_, bytes.fromhex(data)) for name, type_, data in entry["values"]}
        if key == SESSION_MANAGER_KEY:
            values = {name: value for name, value in values.items() if name in PENDING_VALUES}
        registry[view][entry["key"]] = values
    return registry


def _attributes(path: Path, st: os.stat_result) -> str:
    """The Windows attributes as Wine derives them, as letters (R H S A D)."""
    bits = DIRECTORY if stat.S_ISDIR(st.st_mode) else ARCHIVE
    if not st.st_mode & (stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH):
        bits |= READONLY
    with contextlib.suppress(OSError, ValueError):
        text = os.getxattr(path, DOS_ATTRIBUTE_XATTR, follow_symlinks=False).split(b"\0")[0].decode("ascii")
        bits |= int(text, 16 if text.lower().startswith("0x") else 10) & _XATTR_ATTRIBUTES
    return "".join(letter for bit, letter in ((READONLY, "R"), (HIDDEN, "H"), (SYSTEM, "S"), (ARCHIVE, "A"),
                                              (DIRECTORY, "D")) if bits & bit)


def _digest(path: Path) -> str:
    sha = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            sha.update(block)
    return sha.hexdigest()


def _tree(pc: "SimulatedPC", win_root: str, files: Dict[str, dict]) -> None:
    """Every entry below a folder (the folder itself included), by Windows path."""
    root = pc.scenario.to_unix(win_root)
    if not root.is_dir():
        return
    for folder, dirs, names in os.walk(root):
        dirs.sort()
        folder_path = Path(folder)
        relative = folder_path.relative_to(root)
        win_folder = win_root if str(relative) == "." else join_win(win_root, str(relative).replace("/", "\\"))
        st = folder_path.lstat()
        files[win_folder] = {"attributes": _attributes(folder_path, st)}
        # Links to folders are listed as links; the walk does not follow them.
        for name in sorted(names + [d for d in dirs if (folder_path / d).is_symlink()]):
            path = folder_path / name
            st = path.lstat()
            entry = {"size": st.st_size, "attributes": _attributes(path, st), "mtime_ns": st.st_mtime_ns}
            if stat.S_ISLNK(st.st_mode):
                entry["link"] = os.readlink(path)  # never followed
            elif stat.S_ISREG(st.st_mode):
                entry["sha256"] = _digest(path)
            files[join_win(win_folder, name)] = entry


def file_roots(pc: "SimulatedPC") -> List[str]:
    """The folders whose every file is listed: the maker's programs and shared
    components (in each Program Files folder), the retired-feature data, and
    the work folders in the user's and the system's temporary folders."""
    s = pc.scenario
    roots = []
    for program_files in dict.fromkeys((s.program_files_x86, s.program_files_native)):
        roots += [join_win(program_files, "Orvane"), join_win(program_files, "Common Files", "Orvane Shared")]
    roots += [join_win(local_app_data(pc), "Orvane Corporation"), "C:\\ProgramData\\Orvane Corporation"]
    for temp in (join_win(user_profile(pc), "Temp"), join_win(local_app_data(pc), "Temp"), "C:\\windows\\temp"):
        folder = s.to_unix(temp)
        if folder.is_dir():
            roots += [join_win(temp, p.name) for p in sorted(folder.iterdir()) if _WORK_FOLDER.match(p.name)]
    return roots


def read_files(pc: "SimulatedPC") -> Dict[str, dict]:
    files: Dict[str, dict] = {}
    for root in file_roots(pc):
        _tree(pc, root, files)
    return files


def version_file_path(pc: "SimulatedPC", registry: dict) -> str:
    """Where the product's version file is: the `Version` value, else the default."""
    value = registry["32"].get(VERSION_PATH_KEY, {}).get("Version")
    if value and value[0] in ("REG_SZ", "REG_EXPAND_SZ") and value[1]:
        return value[1]
    return join_win(pc.scenario.program_files_x86, "Orvane", "Mirevo", "Version.txt")


def read_services(pc: "SimulatedPC") -> Dict[str, str]:
    states = {}
    for name in SERVICE_NAMES:
        out = pc.scenario.run([helper("service_tool.exe"), "query", name], check=False).stdout.decode()
        lines = [json.loads(line) for line in out.splitlines() if line.strip()]
        status = next((line for line in lines if "state" in line), None)
        states[name] = SERVICE_STATES.get(status["state"], str(status["state"])) if status else "absent"
    return states


def read_media_items(pc: "SimulatedPC") -> Optional[List[list]]:
    path = pc.scenario.to_unix(MediaDatabase.database_path(pc))
    if not path.exists():
        return None
    with contextlib.closing(sqlite3.connect(path.as_uri() + "?mode=ro", uri=True)) as db:
        return [list(row) for row in db.execute(
            "select item_id, title, server_id, private_flag from item_tbl order by item_id")]


def snapshot(pc: "SimulatedPC") -> dict:
    """The PC's state now, as a JSON-serialisable dict; take it while no
    updater runs (the registry through the running session, files from the
    Linux side)."""
    registry = read_registry(pc)
    files = read_files(pc)
    version_path = version_file_path(pc, registry)
    try:
        version_file = pc.scenario.to_unix(version_path)
    except ValueError:  # a drive the prefix does not map
        version_file = None
    version_text = (version_file.read_bytes().decode("latin-1")
                    if version_file is not None and version_file.is_file() else None)
    # The Session Manager key is one key in both views: its pending renames
    # are listed on their own, once.
    session_manager = [registry[view].pop(SESSION_MANAGER_KEY, {}) for view in _views(pc.arch)][0]
    pending: List[str] = []
    for name in PENDING_VALUES:
        pairs = list(session_manager.get(name, [None, []])[1])
        if len(pairs) % 2:
            pairs.append("")  # the last one is a deletion, whose empty target ends the list
        pending += pairs
    return {
        "format": FORMAT,
        "arch": pc.arch,
        "files": files,
        "version_file": {"path": version_path, "text": version_text},
        "registry": registry,
        "pending_renames": pending,
        "services": read_services(pc),
        "media_items": read_media_items(pc),
    }


# --------------------------------------------------------------------------
# Comparison

# Names that carry the process id and tick count (or random digits) of a run:
# aside copies, new files not yet renamed, fresh work folders.
_RUN_NAMES = ((re.compile(r"\.tmp\.\d+-\d+"), ".tmp.<pid>-<tick>"),
              (re.compile(r"\.new\.\d+-\d+"), ".new.<pid>-<tick>"),
              (re.compile(r"\.exe\.[0-9a-f]+-[0-9a-f]+\.tmp", re.I), ".exe.<pid>-<random>.tmp"))


def run_neutral(name: str) -> str:
    for pattern, replacement in _RUN_NAMES:
        name = pattern.sub(replacement, name)
    return name


@dataclass(frozen=True)
class Mask:
    """What compare leaves out: entries whose name matches `entry` (a regex
    searched in names such as "file C:\\...", "registry 64 HKLM\\..."): their
    `field`, or only the `part` of that field's text that matches; without a
    field, the entry itself (presence included)."""

    entry: str
    why: str
    field: Optional[str] = None
    part: Optional[str] = None


DEFAULT_MASKS = (
    Mask(r"^registry \d\d HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\\{[^}]*\}$",
         "the uninstall entry's InstallDate is the day of the run", field="InstallDate"),
    Mask(r"^version file ", "each update record's date line carries the time of the run",
         field="text", part=r"(?m)(?<=_Date=)[^\r\n]*"),
    Mask(r"^file .*\\Version\.txt$", "the version file is rewritten at each run (its lines are compared "
         "on their own)", field="sha256"),
    Mask(r"^file .*\\Version\.txt$", "the date line's length varies", field="size"),
    Mask(r"^file .*\\Version\.txt$", "the version file is written at the time of the run", field="mtime_ns"),
    Mask(r"^file .*\.log$", "the stand-ins' own logs record every start, stop and call"),
    Mask(r"^registry \d\d HKLM\\SOFTWARE\\Orvane Corporation\\Mirevo Updater$",
         "the updater's own switches and where its journal's folder is: not the product's state"),
)

# What a finished update does only as far as it can: a PC where these are
# still as before counts as updated.
BEST_EFFORT = (
    r"^media item ",
    r"^file C:\\users\\[^\\]+\\AppData\\Local\\Orvane Corporation(\\|$)",
    r"^file C:\\ProgramData\\Orvane Corporation(\\|$)",
    r"^file .*\\Orvane\\Mirevo\\(ENG|FRA|ESP|PTB)\\NC (Browse|Playback)\.chm$",
    r"^registry \d\d HKLM\\SOFTWARE\\Orvane Corporation\\Travio WEBMEDIA$",
    r"^registry \d\d HKCU\\SOFTWARE\\Orvane Corporation\\Travio VqmgpGzrktgf$",
)

# Aside copies of files in use and their deletions at the next restart: whether
# one is left depends on what held the file and on a best-effort deletion, so
# an updated PC may have them or not.
LEFTOVERS = (r"\.tmp\.<pid>-<tick>",)


def _value_text(value) -> str:
    type_, data = value
    return f"{type_} {data!r}"


def entries(state: dict) -> Dict[str, Dict[str, str]]:
    """The snapshot as {entry name: {field: text}}, names free of run numbers."""
    out: Dict[str, Dict[str, str]] = {}

    def add(name: str, fields: Dict[str, str]) -> None:
        name = run_neutral(name)
        unique, n = name, 1
        while unique in out:
            n += 1
            unique = f"{name} #{n}"
        out[unique] = fields

    for path in sorted(state["files"]):
        add(f"file {path}", {k: str(v) for k, v in state["files"][path].items()})
    version = state["version_file"]
    if version["text"] is not None:
        add(f"version file {version['path']}", {"text": version["text"]})
    for view in sorted(state["registry"]):
        for key in sorted(state["registry"][view]):
            values = state["registry"][view][key]
            # Values that the best-effort steps write or delete are entries of their own.
            alone = {name for name in values
                     if any(re.search(p, f"registry {view} {key} {name}") for p in BEST_EFFORT)}
            add(f"registry {view} {key}", {name or "(default)": _value_text(v) for name, v in values.items()
                                           if name not in alone})
            for name in sorted(alone):
                add(f"registry {view} {key} {name}", {"value": _value_text(values[name])})
    pending = state["pending_renames"]
    for i in range(0, len(pending) - 1, 2):
        add(f"pending rename {pending[i]}", {"to": pending[i + 1] or "(deleted)"})
    for name, service_state in state["services"].items():
        add(f"service {name}", {"state": service_state})
    for item in state["media_items"] or []:
        add(f"media item {item[0]}", {"title": item[1], "server_id": str(item[2]), "private_flag": str(item[3])})
    return out


def _masked(flat: Dict[str, Dict[str, str]], masks: Sequence[Mask]) -> Dict[str, Dict[str, str]]:
    out = {}
    for name, fields in flat.items():
        fields = dict(fields)
        keep = True
        for mask in masks:
            if not re.search(mask.entry, name):
                continue
            if mask.field is None and mask.part is None:
                keep = False
            for field in ([mask.field] if mask.field else list(fields)):
                if field in fields:
                    fields[field] = (re.sub(mask.part, "<masked>", fields[field]) if mask.part
                                     else "<masked>")
        if keep:
            out[name] = fields
    return out


def _short(text: str) -> str:
    text = text.replace("\r\n", "|")
    return text if len(text) <= 80 else text[:77] + "..."


def _field_change(field: str, old: Optional[str], new: Optional[str]) -> str:
    if old is not None and new is not None and "\r\n" in old + new:
        # A text of lines (the version file): the lines taken out and put in.
        changed = [("-" if line[0] == "-" else "+") + line[2:]
                   for line in difflib.ndiff(old.split("\r\n"), new.split("\r\n")) if line[0] in "-+"]
        return f"{field} lines " + " ".join(repr(line) for line in changed)
    return f"{field} {_short(old) if old is not None else '(none)'} -> {_short(new) if new is not None else '(none)'}"


def _describe(name: str, before: Optional[Dict[str, str]], after: Optional[Dict[str, str]]) -> str:
    if before is None:
        return f"{name}: added ({_short(', '.join(f'{k}={v}' for k, v in after.items()))})"
    if after is None:
        return f"{name}: removed (was {_short(', '.join(f'{k}={v}' for k, v in before.items()))})"
    return f"{name}: " + "; ".join(_field_change(field, before.get(field), after.get(field))
                                   for field in sorted(set(before) | set(after))
                                   if before.get(field) != after.get(field))


def compare(before: dict, after: dict, mask: Iterable[Mask] = DEFAULT_MASKS) -> List[str]:
    """The differences between two snapshots, one readable line each; [] when
    they are equal but for the masked values."""
    masks = list(mask)
    a, b = _masked(entries(before), masks), _masked(entries(after), masks)
    lines = []
    for name in sorted(set(a) | set(b)):
        if a.get(name) != b.get(name):
            lines.append(_describe(name, a.get(name), b.get(name)))
    return lines


class Verdict(str):
    """"old", "new" or "mixed"; `differences` lists, for "mixed", what
    differs from the updated state and is not explained by a best-effort step."""

    differences: List[str]

    def __new__(cls, verdict: str, differences: Sequence[str] = ()):
        self = super().__new__(cls, verdict)
        self.differences = list(differences)
        return self


def classify(state: dict, before: dict, after: dict) -> Verdict:
    """Whether a PC's state is the one before an update ("old"), the one after
    it ("new": every difference from `after` is a best-effort step left as it
    was before, or an aside copy left or not), or neither ("mixed")."""
    if not compare(before, state):
        return Verdict("old")
    masks = list(DEFAULT_MASKS)
    now, old, new = (_masked(entries(x), masks) for x in (state, before, after))
    differences = []
    for name in sorted(set(now) | set(new)):
        if now.get(name) == new.get(name):
            continue
        if any(re.search(p, name) for p in LEFTOVERS):
            continue
        if any(re.search(p, name) for p in BEST_EFFORT) and now.get(name) == old.get(name):
            continue
        differences.append(_describe(name, new.get(name), now.get(name)))
    return Verdict("mixed", differences) if differences else Verdict("new")


# --------------------------------------------------------------------------
# Command line


class _KeptPrefix:
    """A prefix kept from an earlier run (KEEP_PREFIX=1, simulated_pc.py),
    reached through a session of its own."""

    def __init__(self, prefix: Path, arch: str):
        from wineprefix import Scenario
        self.scenario = Scenario(arch, "en_US.UTF-8", "snapshot", keep=True)
        self.scenario.path = prefix.resolve()
        self.arch = arch


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("snapshot", help="print the snapshot of a kept prefix as JSON")
    p.add_argument("--prefix", type=Path, required=True)
    p.add_argument("--arch", choices=("64", "32"), default=None,
                   help="default: 64 when the prefix has a syswow64 folder")
    p = sub.add_parser("compare", help="print the differences of two snapshots; exit 1 when there are any")
    p.add_argument("before", type=Path)
    p.add_argument("after", type=Path)
    args = parser.parse_args(argv)
    if args.command == "compare":
        lines = compare(json.loads(args.before.read_text()), json.loads(args.after.read_text()))
        for line in lines:
            print(line)
        return 1 if lines else 0
    arch = args.arch or ("64" if (args.prefix / "drive_c" / "windows" / "syswow64").is_dir() else "32")
    pc = _KeptPrefix(args.prefix, arch)
    pc.scenario.start()
    try:
        json.dump(snapshot(pc), sys.stdout, indent=1, sort_keys=True)
        print()
    finally:
        pc.scenario.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
