"""The maker's programs, and other programs that use the shared libraries, on
a simulated PC: copies of one stand-in (testbed/standins/standin_program.cpp)
under each program's name, running or only installed.

    KnownProgram("Castwell.exe", libraries=["qvl-core.dll"], quit_delay_ms=800)
    KnownProgram("Travio.exe", ignore_quit=True)
    KnownProgram("Libhost.exe", libraries=["media-index.dll"], exe_deleted=True)
    UnknownProgram("Vidgrab.exe", libraries=["net-share.dll"])
    TvRecorder(running=False)

A running stand-in started with its quit switch ("/q" or "/Q") asks the
running instance of its name to end; `ignore_quit` makes that instance stay,
`quit_delay_ms` makes it take that long to end. The libraries are names of
watched libraries (joined to the shared folder; put loadable ones there with
WatchedLibraries) or full Windows paths. Each stand-in logs what happened to
it (see standin_log.py): `log(pc)`, `events(pc)`, `wait_for_event(pc, ...)`;
and `process_ids(pc)`, `wait_until_gone(pc)` tell whether it still runs.
"""

from __future__ import annotations

import time
from dataclasses import dataclass
from typing import TYPE_CHECKING, Dict, List, Optional, Sequence

import testbed  # noqa: F401 -- puts the Wine test modules on the path
from testbed.component import Component
from testbed.standin_log import LogEntry, read_log, running_processes, wait_for_log
from testbed.watched_libraries import library_paths
from wineprefix import helper, join_win

if TYPE_CHECKING:
    from testbed.simulated_pc import SimulatedPC

# Folder of each known program under the Program Files of a 32-bit process.
KNOWN_PROGRAMS: Dict[str, Sequence[str]] = {
    "Travio.exe": ("Orvane", "Mirevo"),
    "TravioHelper.exe": ("Orvane", "Mirevo"),
    "TravioUploader.exe": ("Orvane", "Mirevo"),
    "Castwell.exe": ("Orvane", "Castwell"),
    "Homereel.exe": ("Orvane", "Homereel"),
    "Traylet.exe": ("Common Files", "Orvane Shared", "QVLLib"),
    "Libhost.exe": ("Common Files", "Orvane Shared", "QVLLib"),
    "Socialink.exe": ("Orvane", "Mirevo"),
    "Kestrav.exe": ("Orvane", "Tunerbay"),
}


@dataclass
class StandInProgram(Component):
    """The program stand-in installed as `exe` in `folder` (a Windows path;
    None: the program's usual folder), started at the PC's start when
    `running`. `exe_deleted`: the executable file is removed once the process
    runs (on the Linux side: Windows, and Wine, refuse to delete the image of a
    running process)."""

    exe: str = ""
    running: bool = True
    libraries: Sequence[str] = ()
    ignore_quit: bool = False
    quit_delay_ms: int = 0
    exe_deleted: bool = False
    folder: Optional[str] = None

    def __post_init__(self):
        if not self.exe.lower().endswith(".exe"):
            raise ValueError(f"program name {self.exe!r}")
        if self.exe_deleted and not self.running:
            raise ValueError("only a running program can lose its executable")

    def default_folder(self, pc: "SimulatedPC") -> str:
        raise NotImplementedError

    def folder_path(self, pc: "SimulatedPC") -> str:
        return self.folder or self.default_folder(pc)

    def path(self, pc: "SimulatedPC") -> str:
        return join_win(self.folder_path(pc), self.exe)

    @property
    def stem(self) -> str:
        return self.exe[:-4]

    def log_path(self, pc: "SimulatedPC") -> str:
        return join_win(self.folder_path(pc), self.stem + ".log")

    def ini_text(self, pc: "SimulatedPC") -> bytes:
        lines = ["[StandIn]", f"IgnoreQuit={int(self.ignore_quit)}", f"QuitDelayMs={self.quit_delay_ms}",
                 "Libraries=" + ";".join(library_paths(pc, self.libraries))]
        return ("\r\n".join(lines) + "\r\n").encode("utf-8")

    def files(self, pc):
        return {
            self.path(pc): helper("standin_program.exe").read_bytes(),
            join_win(self.folder_path(pc), self.stem + ".ini"): self.ini_text(pc),
        }

    def start(self, pc):
        if not self.running:
            return
        pc.keep_process(pc.scenario.spawn([self.path(pc)]))
        loads = len(self.libraries)
        entries = wait_for_log(
            pc, self.log_path(pc),
            lambda log: any(e.event == "start" for e in log) and sum(e.event == "load" for e in log) >= loads,
            what=f"the start of {self.exe}")
        failed = [e for e in entries if e.event == "load" and e.get("result") != "ok"]
        if failed:
            raise RuntimeError(f"{self.exe} could not load {[(e.get('library'), e.get('result')) for e in failed]}")
        if self.exe_deleted:
            pc.scenario.to_unix(self.path(pc)).unlink()

    # -- what happened

    def log(self, pc: "SimulatedPC") -> List[LogEntry]:
        return read_log(pc, self.log_path(pc))

    def log_lines(self, pc: "SimulatedPC") -> List[str]:
        try:
            return pc.scenario.to_unix(self.log_path(pc)).read_text(errors="replace").splitlines()
        except FileNotFoundError:
            return []

    def events(self, pc: "SimulatedPC") -> List[str]:
        return [e.event for e in self.log(pc)]

    def started_pid(self, pc: "SimulatedPC") -> Optional[int]:
        """The process id of the first instance that started, from the log."""
        return next((e.pid for e in self.log(pc) if e.event == "start"), None)

    def process_ids(self, pc: "SimulatedPC") -> List[int]:
        """The running processes of this executable name (exact, as the
        process snapshot names them)."""
        return [p.pid for p in running_processes(pc) if p.name == self.exe]

    def wait_until_gone(self, pc: "SimulatedPC", timeout: float = 30) -> bool:
        """Waits until no process of this executable name runs; whether that came."""
        deadline = time.monotonic() + timeout
        while self.process_ids(pc):
            if time.monotonic() > deadline:
                return False
            time.sleep(0.2)
        return True

    def wait_for_event(self, pc: "SimulatedPC", event: str, timeout: float = 30) -> List[LogEntry]:
        return wait_for_log(pc, self.log_path(pc), lambda log: any(e.event == event for e in log),
                            timeout, f"{event!r} of {self.exe}")

    def describe(self):
        notes = [("running" if self.running else "installed")]
        if self.libraries:
            notes.append("uses " + ", ".join(self.libraries))
        if self.ignore_quit:
            notes.append("ignores its quit switch")
        if self.quit_delay_ms:
            notes.append(f"ends {self.quit_delay_ms} ms after a request")
        if self.exe_deleted:
            notes.append("executable deleted")
        return f"{self.exe} ({', '.join(notes)})"


@dataclass
class KnownProgram(StandInProgram):
    """One of the maker's programs (KNOWN_PROGRAMS), in its own folder."""

    def __post_init__(self):
        super().__post_init__()
        if self.exe not in KNOWN_PROGRAMS:
            raise ValueError(f"{self.exe} is not one of {sorted(KNOWN_PROGRAMS)}")

    def default_folder(self, pc):
        return join_win(pc.scenario.program_files_x86, *KNOWN_PROGRAMS[self.exe])


@dataclass
class UnknownProgram(StandInProgram):
    """A program of another maker that the update knows nothing of, in a
    folder of its own name under Program Files."""

    exe: str = "Vidgrab.exe"

    def default_folder(self, pc):
        return join_win(pc.scenario.program_files_x86, self.stem)


@dataclass
class TvRecorder(KnownProgram):
    """The maker's TV-recording application, Kestrav.exe in the Tunerbay
    folder, optionally running and optionally deaf to its quit switch."""

    exe: str = "Kestrav.exe"

    def describe(self):
        state = "running" if self.running else "installed"
        return f"Kestrav {state}" + (", ignores /q" if self.ignore_quit else "")

