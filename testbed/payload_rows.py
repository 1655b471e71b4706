"""The payload table as the host tool make_payload reports it, and the older
files it writes for simulated PCs."""

from __future__ import annotations

import hashlib
import subprocess
from dataclasses import dataclass
from pathlib import Path
from typing import TYPE_CHECKING, List

if TYPE_CHECKING:
    from testbed.simulated_pc import SimulatedPC

_REPO = Path(__file__).resolve().parents[1]


def new_payload_file(resource_id: int) -> Path:
    """The file the update carries for a row, as the win32 build generated it."""
    import testbed  # noqa: F401 -- puts the Wine test modules on the path
    from wineprefix import build_dir
    return build_dir() / "payload" / "files" / f"{resource_id}.bin"


def digest(data: bytes) -> str:
    """A file's content, short enough to compare and print."""
    return hashlib.sha256(data).hexdigest()


def host_tool(name: str) -> Path:
    """A build-machine tool of the host build (make_payload, szdd_pack)."""
    return _REPO / "build" / "host" / "tools" / name


@dataclass
class PayloadRow:
    resource_id: int
    base: str       # "app" (the product folder) or "shared" (the shared component folder)
    sub_folder: str  # "" or "\\ENG"...
    file_name: str


def payload_rows() -> List[PayloadRow]:
    """The rows of the payload table, as the generator reports them."""
    out = subprocess.run([str(host_tool("make_payload")), "--table"], check=True, capture_output=True,
                         text=True).stdout
    rows = []
    for line in out.splitlines():
        rid, base, sub, name = line.split("\t")
        rows.append(PayloadRow(int(rid), base, sub, name))
    return rows


def installed_files(pc: "SimulatedPC", choice: str) -> Path:
    """A scratch folder of the PC with the older file of every row
    ("<resource id>.bin") whose version is chosen by `choice` (low, max,
    above, none; see make_payload)."""
    folder = pc.scenario.scratch_file(f"installed-{choice}")
    subprocess.run([str(host_tool("make_payload")), "--installed", str(folder), "--version-choice", choice],
                   check=True, capture_output=True)
    return folder
