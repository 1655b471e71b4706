"""The libraries whose users the update closes, and loadable libraries for
their paths.

The payload generator's older files (what InstalledPayload installs) are
images whose code is filler: LoadLibraryW fails on them, so no stand-in could
hold one loaded. WatchedLibraries puts a real library (watched_library.dll,
built with mingw) at each watched library's path instead, with the fixed
version of the file it replaces, so that the updater still finds the row's
file inside its version window, selects it and replaces it.
"""

from __future__ import annotations

import re
import struct
from dataclasses import dataclass
from pathlib import Path
from typing import TYPE_CHECKING, Dict, List, Sequence, Tuple

import testbed  # noqa: F401 -- puts the Wine test modules on the path
from testbed.component import Component, shared_folder
from testbed.payload_rows import PayloadRow, installed_files, payload_rows
from wineprefix import helper, join_win

if TYPE_CHECKING:
    from testbed.simulated_pc import SimulatedPC

_TABLE_HEADER = Path(__file__).resolve().parents[1] / "payload" / "portable" / "patch_file_table.h"
_FIXED_INFO_SIGNATURE = struct.pack("<I", 0xFEEF04BD)


def _watched_names() -> Tuple[str, ...]:
    """kWatchedLibraries of the updater's payload table, in its order."""
    text = _TABLE_HEADER.read_text()
    block = re.search(r"kWatchedLibraries\s*=\s*\{(.*?)\};", text, re.S)
    if not block:
        raise RuntimeError(f"kWatchedLibraries not found in {_TABLE_HEADER}")
    return tuple(re.findall(r'L"([^"]+)"', block.group(1)))


WATCHED_LIBRARIES = _watched_names()


def watched_library_path(pc: "SimulatedPC", name: str) -> str:
    """Where the updater looks for users of a watched library: the shared folder."""
    return join_win(shared_folder(pc), name)


def library_paths(pc: "SimulatedPC", libraries: Sequence[str]) -> List[str]:
    """Full paths of watched library names (joined to the shared folder) or
    of paths given in full."""
    return [lib if re.match(r"^[A-Za-z]:\\", lib) else watched_library_path(pc, lib) for lib in libraries]


def fixed_version(image: bytes) -> bytes:
    """The file and product version fields (16 bytes) of the one
    VS_FIXEDFILEINFO of an image."""
    at = image.find(_FIXED_INFO_SIGNATURE)
    if at < 0 or image.find(_FIXED_INFO_SIGNATURE, at + 1) >= 0:
        raise ValueError("expected exactly one VS_FIXEDFILEINFO")
    return image[at + 8:at + 24]


def with_fixed_version(image: bytes, version: bytes) -> bytes:
    """`image` with its fixed file and product version replaced."""
    fixed_version(image)  # checks that there is exactly one
    at = image.find(_FIXED_INFO_SIGNATURE)
    return image[:at + 8] + version + image[at + 24:]


def version_row(name: str, rows: Sequence[PayloadRow]) -> PayloadRow:
    """The payload row whose installed file gives a watched library its
    version: the shared folder's row of that name, else any row of the name
    (the product's social-network library), the last one as InstalledPayload
    installs it."""
    named = [r for r in rows if r.file_name.lower() == name.lower()]
    shared = [r for r in named if r.base == "shared" and r.sub_folder == ""]
    if not (shared or named):
        raise ValueError(f"no payload row for {name}")
    return (shared or named)[-1]


@dataclass
class WatchedLibraries(Component):
    """Loadable libraries at the watched libraries' paths in the shared folder.

    names: which of WATCHED_LIBRARIES (default: all ten).
    version_choice: "low", "max" or "above", as for InstalledPayload (use the
        same); the library carries the fixed version of that row's file.

    With InstalledPayload on the same PC these files take the place of its
    files at the same paths, whatever the order of the components.
    """

    names: Sequence[str] = WATCHED_LIBRARIES
    version_choice: str = "low"

    overrides_files = True

    def __post_init__(self):
        unknown = set(self.names) - set(WATCHED_LIBRARIES)
        if unknown:
            raise ValueError(f"not watched libraries: {sorted(unknown)}")
        if self.version_choice == "none":
            raise ValueError("the loadable library always carries a version")

    def files(self, pc) -> Dict[str, bytes]:
        library = helper("watched_library.dll").read_bytes()
        made = installed_files(pc, self.version_choice)
        rows = payload_rows()
        files = {}
        for name in self.names:
            source = (made / f"{version_row(name, rows).resource_id}.bin").read_bytes()
            files[watched_library_path(pc, name)] = with_fixed_version(library, fixed_version(source))
        return files

    def describe(self):
        count = "all" if tuple(self.names) == WATCHED_LIBRARIES else str(len(self.names))
        return f"loadable watched libraries ({count}, {self.version_choice})"
