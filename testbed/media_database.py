"""The media database of a simulated PC and the library that reaches it.

MediaDatabase installs qvldb.dll (testbed/standins/qvldb: the class qvldb over
a real SQLite database) in the shared components' folder, and the database
that the library opens, which lives at

    %ProgramData%\\Orvane Shared\\QVLLib\\qvlmedia.db

with an `item_tbl` of media items (MEDIA_ITEMS unless told otherwise):

    MediaDatabase()                                # library and database
    MediaDatabase(fail_at="ExecSQL")               # ExecSQL answers false
    MediaDatabase(library=False, decoy_folders=[DOWNLOADS])

version_choice chooses the library's file version against its payload row,
as InstalledPayload does ("low", "max", "above"; None keeps 0.0.0.0): with
"above" (the default) an update leaves the library in place, so the library
that the update's finish phase loads is this one; otherwise the update
replaces it with the payload's file, which cannot be loaded.

fail_at names the member (Open, BeginTransaction or ExecSQL) that answers
false without doing anything (the library's qvldb.ini). decoy_folders puts
copies of the library elsewhere, e.g. beside the program under test, where
only a lookup by bare name would find them; each copy records its calls
beside itself.

`calls(pc)` reads what the library received (qvldb.log: one JSON object per
call, in order, with the arguments and results), `rows(pc)` the items as the
database holds them (read on the Linux side with Python's sqlite3).
"""

from __future__ import annotations

import contextlib
import json
import sqlite3
import tempfile
from dataclasses import dataclass
from pathlib import Path
from typing import TYPE_CHECKING, Dict, List, Optional, Sequence

import testbed  # noqa: F401 -- puts the Wine test modules on the path
from testbed.component import Component, shared_folder
from testbed.payload_rows import installed_files, payload_rows
from testbed.watched_libraries import fixed_version, version_row, with_fixed_version
from wineprefix import helper, join_win

if TYPE_CHECKING:
    from testbed.simulated_pc import SimulatedPC

LIBRARY_NAME = "qvldb.dll"
FAILING_MEMBERS = ("Open", "BeginTransaction", "ExecSQL")

SCHEMA = """
create table item_tbl (
    item_id integer primary key,
    title text not null,
    server_id text not null,
    private_flag integer not null default 0
);
"""


@dataclass(frozen=True)
class MediaItem:
    item_id: int
    title: str
    server_id: str
    private_flag: int


# Items of the PC's own library (server '1') and of several other servers,
# with private flags 0, 1 and 2 on either side.
MEDIA_ITEMS = (
    MediaItem(1, "Beach 2012", "1", 1),
    MediaItem(2, "Birthday", "1", 0),
    MediaItem(3, "Garden timelapse", "1", 2),
    MediaItem(4, "Concert recording", "2", 1),
    MediaItem(5, "Shared album", "2", 2),
    MediaItem(6, "Family videos", "3", 1),
    MediaItem(7, "Imported clip", "3", 0),
    MediaItem(8, "Friend's photos", "11", 1),
    MediaItem(9, "Archive", "0", 2),
)


def database_bytes(items: Sequence[MediaItem]) -> bytes:
    """A database file with the schema and the items."""
    with tempfile.TemporaryDirectory() as folder:
        path = Path(folder) / "media.db"
        with contextlib.closing(sqlite3.connect(path)) as db:
            db.executescript(SCHEMA)
            db.executemany("insert into item_tbl values (?, ?, ?, ?)",
                           [(i.item_id, i.title, i.server_id, i.private_flag) for i in items])
            db.commit()
        return path.read_bytes()


def library_log(pc: "SimulatedPC", folder: str) -> List[Dict]:
    """The calls recorded by the library in a folder, in order ([] when none)."""
    path = pc.scenario.to_unix(join_win(folder, "qvldb.log"))
    if not path.exists():
        return []
    return [json.loads(line) for line in path.read_text(encoding="utf-8").splitlines() if line.strip()]


@dataclass
class MediaDatabase(Component):
    items: Sequence[MediaItem] = MEDIA_ITEMS
    library: bool = True
    fail_at: Optional[str] = None
    decoy_folders: Sequence[str] = ()
    version_choice: Optional[str] = "above"

    # Takes the place of InstalledPayload's file at the library's path.
    overrides_files = True

    def __post_init__(self):
        if self.fail_at is not None and self.fail_at not in FAILING_MEMBERS:
            raise ValueError(f"fail_at must be one of {FAILING_MEMBERS}")

    @staticmethod
    def database_path(pc: "SimulatedPC") -> str:
        return "C:\\ProgramData\\Orvane Shared\\QVLLib\\qvlmedia.db"

    @staticmethod
    def library_path(pc: "SimulatedPC") -> str:
        return join_win(shared_folder(pc), LIBRARY_NAME)

    def files(self, pc):
        files = {self.database_path(pc): database_bytes(self.items)}
        library = helper(LIBRARY_NAME).read_bytes()
        if self.version_choice:
            row = version_row(LIBRARY_NAME, payload_rows())
            source = installed_files(pc, self.version_choice) / f"{row.resource_id}.bin"
            library = with_fixed_version(library, fixed_version(source.read_bytes()))
        folders = ([shared_folder(pc)] if self.library else []) + list(self.decoy_folders)
        ini = b""
        if self.fail_at:
            ini = f"[StandIn]\r\nFailAt={self.fail_at}\r\n".encode("ascii")
        for folder in folders:
            files[join_win(folder, LIBRARY_NAME)] = library
            if ini:
                files[join_win(folder, "qvldb.ini")] = ini
        return files

    # -- what happened

    def calls(self, pc: "SimulatedPC", folder: Optional[str] = None) -> List[Dict]:
        """The calls the library of the shared folder (or of `folder`) received."""
        return library_log(pc, folder or shared_folder(pc))

    def rows(self, pc: "SimulatedPC") -> List[MediaItem]:
        """The items as the database holds them now, by item id."""
        uri = pc.scenario.to_unix(self.database_path(pc)).as_uri() + "?mode=ro"
        with contextlib.closing(sqlite3.connect(uri, uri=True)) as db:
            return [MediaItem(*row) for row in db.execute(
                "select item_id, title, server_id, private_flag from item_tbl order by item_id")]

    def describe(self):
        notes = [f"{len(self.items)} items"]
        if not self.library:
            notes.append("library missing")
        if self.fail_at:
            notes.append(f"{self.fail_at} answers false")
        if self.decoy_folders:
            notes.append("copies of the library in " + ", ".join(self.decoy_folders))
        return f"media database ({', '.join(notes)})"
