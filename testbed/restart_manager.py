"""A working Restart Manager in the prefix of a simulated PC.

Wine's rstrtmgr.dll lists no process for any file. RestartManager installs
ours (testbed/rstrtmgr, 32-bit) in the system folder of 32-bit programs and
makes Wine prefer it to its own (DllOverrides, for every program of the
prefix). `crowded`: watched library names or full paths for which RmGetList
answers ERROR_MORE_DATA, as if more than 100 processes used them.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import TYPE_CHECKING, Sequence

import testbed  # noqa: F401 -- puts the Wine test modules on the path
from testbed.component import Component
from testbed.watched_libraries import library_paths
from wineprefix import helper

if TYPE_CHECKING:
    from testbed.simulated_pc import SimulatedPC

DLL_OVERRIDES_KEY = r"HKCU\Software\Wine\DllOverrides"
SETTINGS_KEY = r"HKCU\Software\Testbed\Restart Manager"


@dataclass
class RestartManager(Component):
    crowded: Sequence[str] = ()

    def dll_path(self, pc: "SimulatedPC") -> str:
        """rstrtmgr.dll in the system folder that 32-bit programs load from."""
        folder = "syswow64" if pc.arch == "64" else "system32"
        return f"C:\\windows\\{folder}\\rstrtmgr.dll"

    def files(self, pc):
        return {self.dll_path(pc): helper("rstrtmgr.dll").read_bytes()}

    def registry(self, pc):
        # native,builtin: 64-bit programs find only Wine's placeholder and keep the builtin.
        keys = {DLL_OVERRIDES_KEY: {"rstrtmgr": ("REG_SZ", "native,builtin")}}
        if self.crowded:
            keys[SETTINGS_KEY] = {"CrowdedFiles": ("REG_MULTI_SZ", library_paths(pc, self.crowded))}
        return {"32": keys}

    def describe(self):
        text = "Restart Manager that lists users of files"
        return text + (f", {', '.join(self.crowded)} used by over 100 processes" if self.crowded else "")
