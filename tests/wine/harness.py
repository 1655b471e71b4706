"""Running Windows programs in a scenario prefix with the message-box watcher.

The watcher (msgbox_watcher.exe) runs in the same Wine session as the program
under test, logs each message box and progress dialog as a JSON line and
answers the boxes from a scripted list; launch.exe runs the program and keeps
its full 32-bit exit code. RunResult brings both together.
"""

from __future__ import annotations

import codecs
import json
import os
import re
import shutil
import subprocess
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Dict, List, Optional, Sequence

from wineprefix import REPO_ROOT, Scenario, build_dir, helper, log, read_exit_code

# The simulated PC builder (testbed/) is a package at the repository's root.
if str(REPO_ROOT) not in sys.path:
    sys.path.insert(0, str(REPO_ROOT))

DOWNLOADS = "C:\\users\\Public\\Downloads"


def updater_exe() -> Path:
    """The program under test: $UPDATER_EXE, or updater.exe of the build."""
    return Path(os.environ.get("UPDATER_EXE", build_dir() / "updater.exe")).resolve()


def stage_program(scenario: Scenario, program: Path, folder: str = DOWNLOADS) -> str:
    """Copies a program into the prefix, as a user would have downloaded it;
    returns its Windows path."""
    win_path = f"{folder}\\{program.name}"
    target = scenario.to_unix(win_path)
    target.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(program, target)
    return win_path


@dataclass
class MessageBox:
    box: int
    caption: str
    text: str
    icon: str
    buttons: List[str]
    default: Optional[str]
    process: str
    pid: int
    answer: Optional[str] = None

    def summary(self) -> str:
        return (f"#{self.box} [{self.process}] caption={self.caption!r} icon={self.icon} "
                f"buttons={self.buttons} answer={self.answer} text={self.text!r}")


@dataclass
class ProgressWindow:
    title: str
    text: str
    rect: List[int]
    style: int
    bar_style: int
    process: str


@dataclass
class RunResult:
    exit_code: Optional[int]
    events: List[dict] = field(default_factory=list)
    seconds: float = 0.0
    debug_output: List[str] = field(default_factory=list)
    # The program's own lifetime, from its creation to its exit, as Windows records them.
    process_seconds: Optional[float] = None

    def trace(self, program: str = "updater.exe") -> List[str]:
        """The program's trace lines (its debug output), without their prefix."""
        prefix = f"{program}: "
        return [line[len(prefix):] for line in self.debug_output if line.startswith(prefix)]

    @property
    def boxes(self) -> List[MessageBox]:
        return boxes_of(self.events)

    @property
    def progress_windows(self) -> List[ProgressWindow]:
        return [ProgressWindow(e["title"], e["text"], e["rect"], int(e["style"], 16),
                               int(e["bar_style"], 16), e["process"])
                for e in self.events if e["event"] == "progress"]

    def describe(self) -> str:
        code = "none" if self.exit_code is None else f"0x{self.exit_code:08X}"
        lines = [f"exit code {code}, {len(self.boxes)} message box(es)"]
        lines += ["  " + b.summary() for b in self.boxes]
        lines += [f"  progress window {p.title!r} at {p.rect}" for p in self.progress_windows]
        return "\n".join(lines)


def boxes_of(events: Sequence[dict]) -> List[MessageBox]:
    answers = {e["box"]: e["button"] for e in events if e["event"] == "answered"}
    return [MessageBox(e["box"], e["caption"], e["text"], e["icon"], e["buttons"], e["default"],
                       e["process"], e["pid"], answers.get(e["box"]))
            for e in events if e["event"] == "msgbox"]


class Watcher:
    """msgbox_watcher.exe running in a scenario's session.

    answers: one entry per message box in order of appearance (ok, yes, no,
    cancel, default..., "hold-ok" keeps the box open until release()).
    screenshots: a Linux folder; a PNG of the whole screen is saved there for
    every message box and progress window, taken while the window is shown.
    watch_process: an exe name; the watcher also stops by itself once that
    process has run and ended (see ended()).
    """

    def __init__(self, scenario: Scenario, answers: Sequence[str] = (),
                 screenshots: Optional[Path] = None, watch_process: Optional[str] = None):
        self.scenario = scenario
        self.answers = list(answers)
        self.screenshots = Path(screenshots) if screenshots else None
        self.watch_process = watch_process
        self.dir = scenario.scratch_file("watcher")
        self.dir.mkdir()
        self.log_file = self.dir / "events.jsonl"
        self._proc: Optional[subprocess.Popen] = None
        self._shooter: Optional[threading.Thread] = None
        self._stopping = threading.Event()

    def __enter__(self) -> "Watcher":
        self.start()
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def start(self, timeout: float = 60) -> None:
        s = self.scenario
        args = [helper("msgbox_watcher.exe"),
                "--log", s.to_windows(self.log_file),
                "--release-dir", s.to_windows(self.dir),
                "--stop-file", s.to_windows(self.dir / "stop"),
                "--ready-file", s.to_windows(self.dir / "ready")]
        if self.answers:
            args += ["--answers", ",".join(self.answers)]
        if self.watch_process:
            args += ["--watch-process", self.watch_process]
        if self.screenshots:
            self.screenshots.mkdir(parents=True, exist_ok=True)
            (self.dir / "shots").mkdir()
            args += ["--shots-dir", s.to_windows(self.dir / "shots")]
        self._proc = s.spawn(args, stderr=subprocess.PIPE)
        deadline = time.monotonic() + timeout
        while not (self.dir / "ready").exists():
            if self._proc.poll() is not None:
                err = self._proc.stderr.read().decode(errors="replace")
                raise RuntimeError(f"msgbox_watcher.exe ended at start: {err}")
            if time.monotonic() > deadline:
                raise RuntimeError("msgbox_watcher.exe did not become ready")
            time.sleep(0.05)
        if self.screenshots:
            self._shooter = threading.Thread(target=self._take_screenshots, daemon=True)
            self._shooter.start()

    def events(self) -> List[dict]:
        try:
            text = self.log_file.read_text(encoding="utf-8")
        except FileNotFoundError:
            return []
        # A line is complete once its line feed is there.
        return [json.loads(line) for line in text.split("\n")[:-1] if line.strip()]

    def boxes(self) -> List[MessageBox]:
        return boxes_of(self.events())

    def wait_for(self, condition: Callable[[List[dict]], bool], timeout: float = 60,
                 what: str = "the expected windows") -> List[dict]:
        deadline = time.monotonic() + timeout
        while True:
            events = self.events()
            if condition(events):
                return events
            if time.monotonic() > deadline:
                raise TimeoutError(f"timed out waiting for {what}; events so far: {events}")
            time.sleep(0.05)

    def wait_for_boxes(self, count: int, timeout: float = 60) -> List[MessageBox]:
        self.wait_for(lambda ev: len(boxes_of(ev)) >= count, timeout, f"{count} message box(es)")
        return self.boxes()

    def ended(self, timeout: float = 30) -> bool:
        """Waits for the watcher to stop by itself; whether it did."""
        try:
            self._proc.wait(timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def release(self, box: int) -> None:
        """Lets the watcher answer a held box (its number, 1-based)."""
        (self.dir / f"release-{box}").write_text("release\n")

    def stop(self, timeout: float = 30) -> List[dict]:
        if self._proc is None:
            return self.events()
        (self.dir / "stop").write_text("stop\n")
        try:
            self._proc.wait(timeout)
        except subprocess.TimeoutExpired:
            log("msgbox_watcher.exe did not stop; it ends with the session")
        self._stopping.set()
        if self._shooter:
            self._shooter.join(timeout)
        self._proc.stderr.close()
        self._proc = None
        return self.events()

    def _take_screenshots(self) -> None:
        done = set()
        display = self.scenario.display
        while not self._stopping.is_set():
            for event in self.events():
                if event["event"] not in ("msgbox", "progress") or event["seq"] in done:
                    continue
                done.add(event["seq"])
                time.sleep(0.2)  # let the window finish painting
                png = self.screenshots / f"{event['seq']:02d}-{event['event']}.png"
                subprocess.run(["import", "-window", "root", "-display", display.name, str(png)],
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
                (self.dir / "shots" / f"{event['seq']}.done").write_text("done\n")
            time.sleep(0.05)


# Wine's report of a debug-output line on standard error (WINEDEBUG=warn+debugstr).
_DEBUG_OUTPUT = re.compile(r'debugstr:OutputDebugString[AW] L?"(.*)"$')


def debug_output(stderr: bytes) -> List[str]:
    """The debug-output lines of the programs of a run, in order, unescaped."""
    lines = []
    for line in (stderr or b"").decode("latin-1").splitlines():
        m = _DEBUG_OUTPUT.search(line)
        if m:
            lines.append(codecs.decode(m.group(1), "unicode_escape").rstrip("\n"))
    return lines


def run_program(scenario: Scenario, program: str, args: Sequence[str] = (),
                answers: Sequence[str] = (), deny_admins: bool = False, timeout: float = 180,
                screenshots: Optional[Path] = None, hidden_station: bool = False,
                env: Optional[Dict[str, str]] = None) -> RunResult:
    """Runs a Windows program to its end with the watcher answering its boxes;
    `env` adds variables to the program's environment."""
    began = time.monotonic()
    code_file = scenario.scratch_file("exit-code")
    times_file = scenario.scratch_file("lifetime")
    with Watcher(scenario, answers, screenshots) as watcher:
        try:
            result = scenario.run(
                scenario.launch_args(scenario.to_windows(program), args, deny_admins,
                                     scenario.to_windows(code_file), scenario.to_windows(times_file),
                                     hidden_station),
                timeout=timeout, check=False, env={**(env or {}), "WINEDEBUG": "-all,warn+debugstr"})
        except subprocess.TimeoutExpired:
            raise TimeoutError(f"{program} still ran after {timeout} s; windows seen:\n"
                               + RunResult(None, watcher.events()).describe()
                               + f"\nwatcher log: {watcher.events()}") from None
    code = read_exit_code(code_file, result)
    try:
        lifetime = int(times_file.read_text().strip()) / 1000
    except (OSError, ValueError):
        lifetime = None
    return RunResult(code, watcher.events(), time.monotonic() - began, debug_output(result.stderr), lifetime)


def start_program(scenario: Scenario, program: str, args: Sequence[str] = (),
                  deny_admins: bool = False) -> "RunningProgram":
    """Starts a Windows program without waiting for it (see RunningProgram.wait)."""
    code_file = scenario.scratch_file("exit-code")
    proc = scenario.spawn(scenario.launch_args(scenario.to_windows(program), args, deny_admins,
                                               scenario.to_windows(code_file)),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return RunningProgram(proc, code_file)


@dataclass
class RunningProgram:
    proc: subprocess.Popen
    code_file: Path

    def running(self) -> bool:
        return self.proc.poll() is None

    def wait(self, timeout: float = 120) -> int:
        out, err = self.proc.communicate(timeout=timeout)
        return read_exit_code(self.code_file,
                              subprocess.CompletedProcess([], self.proc.returncode, out, err))


@dataclass
class Outcome:
    """The result of one job of run_batch: its value, or the error it raised."""

    value: object = None
    error: Optional[BaseException] = None
    seconds: float = 0.0

    def get(self):
        if self.error is not None:
            raise self.error
        return self.value


def run_batch(jobs: Dict[str, Callable[[], object]], workers: int = 2) -> Dict[str, Outcome]:
    """Runs independent scenarios side by side (each has its own prefix and
    display), so that a test class can run all of its scenarios in setUpClass
    and check them one by one in its tests."""

    def timed(job):
        began = time.monotonic()
        try:
            return Outcome(job(), None, time.monotonic() - began)
        except Exception as error:  # reported by the test that reads it
            return Outcome(None, error, time.monotonic() - began)

    with ThreadPoolExecutor(max_workers=workers) as pool:
        futures = {name: pool.submit(timed, job) for name, job in jobs.items()}
        outcomes = {name: f.result() for name, f in futures.items()}
    for name, outcome in outcomes.items():
        state = "ok" if outcome.error is None else f"error: {outcome.error!r}"
        log(f"scenario {name}: {outcome.seconds:.1f} s, {state}")
    return outcomes
