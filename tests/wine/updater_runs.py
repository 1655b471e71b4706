"""What the updater scenarios share: the program's English messages, its exit
codes, a job that runs updater.exe once on a simulated PC, and a holder of
files that other processes keep open."""

from __future__ import annotations

import time
import unittest
from pathlib import Path
from typing import Callable, Sequence

from harness import RunningProgram, RunResult, run_program, stage_program, start_program, updater_exe
from wineprefix import build_dir
from testbed.simulated_pc import Component, SimulatedPC

ENGLISH = {
    200: "Mirevo",
    202: "No software version applicable to this update is installed. "
         "The update will be cancelled.",
    203: "A newer version is already installed. The installation will be cancelled.",
    1200: "Only the member of the Administrators group can execute this software. "
          "Please contact your administrator, or log off and log on again as an "
          "administrator and try again.",
    1201: "Another instance of this update program is already running.",
    1203: "There is no need to update the program.",
    1211: "An update was canceled.",
    204: "The %s link function of Mirevo is no longer available due to limitations resulting "
         "from specification changes in %s.",
    206: "The INTERNET CONTENT function of Mirevo is no longer available due to service termination.",
}

EXIT_OK = 0
EXIT_ALREADY_RUNNING = 0x80070480
EXIT_ACCESS_DENIED = 0x80070005

TARGET_VERSION = "2.2.3.04170"
MINIMUM_VERSION = "2.0.1.12040"


def retired_notice(*services: str, internet_content: bool = False) -> tuple:
    """The English retired-feature notice shown before the session: one line per
    service named (all three up to version 2.2.0.00000, "Facebook" and "YouTube"
    above it), then the internet content line when "WEBMEDIA" is 1."""
    services = services or ("Tiwtter", "Facebook", "YouTube")
    lines = [ENGLISH[204].replace("%s", service) for service in services]
    return ("\n".join(lines + ([ENGLISH[206]] if internet_content else [])), "exclamation", ["OK"])


def updater_job(arch: str, components: Sequence[Component], lang: str = "en_US.UTF-8",
                answers: Sequence[str] = (), deny_admins: bool = False,
                name: str = "updater") -> Callable[[], RunResult]:
    """A job for run_batch: builds the PC, runs updater.exe with the watcher."""

    def job() -> RunResult:
        with SimulatedPC(arch, lang, components, name) as pc:
            exe = stage_program(pc.scenario, updater_exe())
            return run_program(pc.scenario, exe, answers=answers, deny_admins=deny_admins)

    return job


def require_updater() -> None:
    """Skips a test class when updater.exe has not been built."""
    require_program(updater_exe())


def require_program(path: Path) -> None:
    """Skips a test class when a program it runs has not been built."""
    if not path.is_file():
        raise unittest.SkipTest(f"{path} is not built")


def probe_exe(name: str) -> Path:
    """A probe of tests/win32: a step of the updater run alone, with its resources."""
    return build_dir() / "tests" / "win32" / name


class UpdaterAssertions(unittest.TestCase):
    """Checks of a run's outcome, with the whole run described on failure."""

    def assertExitCode(self, result: RunResult, expected: int) -> None:
        self.assertEqual(expected, result.exit_code,
                         f"expected exit code 0x{expected:08X}\n{result.describe()}")

    def assertBoxes(self, result: RunResult, expected: Sequence[tuple],
                    caption: str = ENGLISH[200]) -> None:
        """expected: (text, icon, buttons) of each message box in order."""
        got = [(b.text, b.icon, b.buttons) for b in result.boxes]
        want = [(text, icon, list(buttons)) for text, icon, buttons in expected]
        self.assertEqual(want, got, result.describe())
        for box in result.boxes:
            self.assertEqual(caption, box.caption, result.describe())

    def assertNoWindow(self, result: RunResult) -> None:
        windows = [e for e in result.events if e["event"] in ("msgbox", "progress", "dialog",
                                                               "hidden_dialog")]
        self.assertEqual([], windows, result.describe())


def hold(pc: SimulatedPC, program, args: Sequence[str]) -> RunningProgram:
    """Starts hold_file.exe (or a copy of it) and waits until it holds its files."""
    ready = pc.scenario.scratch_file("holder-ready")
    running = start_program(pc.scenario, program, [pc.scenario.to_windows(ready), *args])
    # The holder creates the file and then writes its answer: wait for the answer.
    deadline = time.monotonic() + 60
    text = ""
    while not text and time.monotonic() < deadline:
        time.sleep(0.2)
        text = ready.read_text() if ready.exists() else ""
    text = text or "no answer"
    if text != "ready":
        raise RuntimeError(f"the holder could not hold its files: {text}")
    return running
