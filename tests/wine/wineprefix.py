#!/usr/bin/python3
"""Wine prefixes, Wine sessions and the virtual display of the Windows tests.

Two template prefixes are made once per test run, a 64-bit one (the 32-bit
updater runs there under WOW64 and sees both registry views) and a 32-bit one.
Each scenario then runs in its own full copy of a template (`cp -a`; never hard
links, since the wineserver rewrites the .reg files in place) with its own
wineserver session, in the UI language chosen by LC_ALL, and the copy is
removed afterwards unless KEEP_PREFIX=1.

Command line (for the ctest fixtures and for other tests):

  wineprefix.py setup [--arch 64|32 ...] [--displays N]
      starts N Xvfb servers (default 2: one per session that may run at the
      same time, since sessions sharing a screen would cover each other's
      windows) and makes the missing templates
  wineprefix.py cleanup
      ends leftover sessions, stops the Xvfb servers by pid, removes the
      templates and the scenario copies
  wineprefix.py exec --arch 64|32 [--lang LC] [--keep] -- PROGRAM.exe [ARGS...]
      runs PROGRAM in a fresh scenario copy; exits 0 only when its 32-bit exit
      code is 0 (otherwise prints the code in hex and exits 1)

Environment: UPDATER_BUILD_DIR (default build/win32 of the repository),
WINE_WORK_DIR (default <build dir>/wine), WINE_HELPERS_DIR (default
<build dir>/tests/wine), KEEP_PREFIX=1 keeps scenario copies.
"""

from __future__ import annotations

import argparse
import contextlib
import fcntl
import itertools
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import uuid
from concurrent.futures import ThreadPoolExecutor
from functools import lru_cache
from pathlib import Path
from typing import Iterator, Optional, Sequence

REPO_ROOT = Path(__file__).resolve().parents[2]

ARCHES = ("64", "32")

# Wine's own 64-bit loader: the `wine` launcher picks the 32-bit one whenever
# it is installed, and that one fails on a machine without a 32-bit mode.
WINE64_LOADER = "/usr/lib/wine/wine64"

# Mono and Gecko would be offered (and fail, offline) at prefix creation; the
# menu builder only costs time in every session.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"

SCREEN = "1920x1080x24"

# The updater's trace switch (HKLM, 64-bit view), set in every template.
TRACE_SWITCH_KEY = r"HKLM\Software\Orvane Corporation\Mirevo Updater"

# Code page of the text that Wine's console programs (reg.exe) print into a
# pipe, by language of the session.
_OEM_CODECS = {
    "ja": "cp932", "zh_CN": "cp936", "zh_TW": "cp950", "ko": "cp949",
    "ru": "cp866", "pl": "cp852", "en": "cp437",
}


def build_dir() -> Path:
    return Path(os.environ.get("UPDATER_BUILD_DIR", REPO_ROOT / "build" / "win32")).resolve()


def work_dir() -> Path:
    return Path(os.environ.get("WINE_WORK_DIR", build_dir() / "wine")).resolve()


def helpers_dir() -> Path:
    return Path(os.environ.get("WINE_HELPERS_DIR", build_dir() / "tests" / "wine")).resolve()


def helper(name: str) -> Path:
    """Path of a built Win32 helper program (launch.exe, msgbox_watcher.exe...)
    or stand-in of the testbed (kestrav.exe...)."""
    for folder in (helpers_dir(), build_dir() / "testbed"):
        path = folder / name
        if path.is_file():
            return path
    raise FileNotFoundError(
        f"{name} is missing from {helpers_dir()} and {build_dir() / 'testbed'}: build it with "
        f"'cmake --build {build_dir()} --target {Path(name).stem}'")


@lru_cache(maxsize=None)
def x86_32_mode() -> tuple:
    """(True, "") when this machine runs 32-bit x86 programs, else (False, why)."""
    sys.path.insert(0, str(Path(__file__).resolve().parent))
    import x86_32_mode as mode
    return mode.check()


def wine_loader() -> str:
    """The command that runs Windows programs here: `wine` (its 32-bit loader
    starts 64-bit programs too), or Wine's 64-bit loader alone on a machine
    that cannot run 32-bit programs."""
    return "wine" if x86_32_mode()[0] else WINE64_LOADER


def usable_arches() -> tuple:
    """The prefixes this machine can make: a 32-bit one needs the 32-bit mode."""
    return ARCHES if x86_32_mode()[0] else ("64",)


def keep_prefixes() -> bool:
    return os.environ.get("KEEP_PREFIX", "") not in ("", "0")


def log(message: str) -> None:
    print(f"[wine] {message}", file=sys.stderr, flush=True)


# --------------------------------------------------------------------------
# Virtual display


class Display:
    """An Xvfb server on a display number that Xvfb itself picks as free."""

    def __init__(self, number: int, pid: int, proc: Optional[subprocess.Popen] = None):
        self.number = number
        self.pid = pid
        self._proc = proc  # set when this process started the server

    @property
    def name(self) -> str:
        return f":{self.number}"

    @classmethod
    def start(cls, timeout: float = 20.0) -> "Display":
        read_end, write_end = os.pipe()
        err = open(os.devnull, "wb")
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN,
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=err, stderr=err,
            start_new_session=True)
        os.close(write_end)
        err.close()
        data = b""
        deadline = time.monotonic() + timeout
        with os.fdopen(read_end, "rb", buffering=0) as pipe:
            os.set_blocking(pipe.fileno(), False)
            while not data.endswith(b"\n"):
                if time.monotonic() > deadline or proc.poll() is not None:
                    proc.kill()
                    raise RuntimeError("Xvfb did not start")
                try:
                    chunk = pipe.read(64)
                except BlockingIOError:
                    chunk = None
                if chunk:
                    data += chunk
                else:
                    time.sleep(0.05)
        # The server outlives this process when the setup fixture started it;
        # the cleanup fixture then stops it by its pid.
        return cls(int(data.strip()), proc.pid, proc)

    def alive(self) -> bool:
        return _pid_runs(self.pid, "Xvfb")

    def stop(self, timeout: float = 10.0) -> None:
        if not self.alive():
            return
        os.kill(self.pid, signal.SIGTERM)
        deadline = time.monotonic() + timeout
        while self.alive():
            if time.monotonic() > deadline:
                os.kill(self.pid, signal.SIGKILL)
            time.sleep(0.05)
            if self._proc:
                self._proc.poll()
        if self._proc:
            self._proc.wait()


def _pid_runs(pid: int, name: str) -> bool:
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            stat = f.read().decode(errors="replace")
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            cmdline = f.read().decode(errors="replace")
    except OSError:
        return False
    state = stat.rsplit(")", 1)[-1].split()[0]
    return state != "Z" and name in cmdline


# --------------------------------------------------------------------------
# Shared state of a test run (written by the setup fixture)


def _state_path() -> Path:
    return work_dir() / "state.json"


def read_state() -> dict:
    try:
        return json.loads(_state_path().read_text())
    except (OSError, ValueError):
        return {}


def write_state(state: dict) -> None:
    path = _state_path()
    path.parent.mkdir(parents=True, exist_ok=True)
    tmp = path.with_suffix(".tmp")
    tmp.write_text(json.dumps(state, indent=1))
    tmp.replace(path)


def fixture_displays() -> list:
    """The Xvfb servers of the setup fixture that run."""
    displays = [Display(int(d["number"]), int(d["pid"])) for d in read_state().get("displays", [])]
    return [d for d in displays if d.alive()]


@contextlib.contextmanager
def _file_lock(name: str) -> Iterator[None]:
    work_dir().mkdir(parents=True, exist_ok=True)
    with open(work_dir() / name, "w") as f:
        fcntl.flock(f, fcntl.LOCK_EX)
        try:
            yield
        finally:
            fcntl.flock(f, fcntl.LOCK_UN)


@contextlib.contextmanager
def display_lease(timeout: float = 1800) -> Iterator[Display]:
    """A display for one session alone: a free one of the fixture's (sessions
    that share a screen would cover each other's windows, and the watcher reads
    icons from the screen), or an Xvfb of our own when there is no fixture."""
    displays = fixture_displays()
    if not displays:
        display = Display.start()
        try:
            yield display
        finally:
            display.stop()
        return
    work_dir().mkdir(parents=True, exist_ok=True)
    deadline = time.monotonic() + timeout
    while True:
        for display in displays:
            f = open(work_dir() / f"display-{display.number}.lock", "w")
            try:
                fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except BlockingIOError:
                f.close()
                continue
            try:
                yield display
            finally:
                fcntl.flock(f, fcntl.LOCK_UN)
                f.close()
            return
        if time.monotonic() > deadline:
            raise TimeoutError("no display became free")
        time.sleep(0.1)


# --------------------------------------------------------------------------
# Templates


def template_path(arch: str) -> Path:
    return work_dir() / "templates" / f"win{arch}"


def _wine_env(prefix: Path, display: Optional[Display], lang: Optional[str],
              arch: Optional[str] = None) -> dict:
    env = dict(os.environ)
    # UPDATER_WINEDEBUG=-all,warn+debugstr shows the programs' traces when a
    # test is run by hand.
    env.update(WINEPREFIX=str(prefix), WINEDEBUG=os.environ.get("UPDATER_WINEDEBUG", "-all"),
               WINEDLLOVERRIDES=DLL_OVERRIDES)
    if display:
        env["DISPLAY"] = display.name
    if lang:
        env["LC_ALL"] = lang
    if arch:
        env["WINEARCH"] = f"win{arch}"
    env.pop("WINELOADER", None)
    env.pop("WINESERVER", None)
    return env


def _run(cmd: Sequence[str], env: dict, timeout: float, check: bool = True,
         capture: bool = True) -> subprocess.CompletedProcess:
    """Runs a command to its end. Output is captured through files, not pipes:
    Wine commands leave session processes (wineserver, services) behind that
    inherit the output handles and would keep a pipe open."""
    if not capture:
        result = subprocess.run(list(cmd), env=env, timeout=timeout, stdin=subprocess.DEVNULL)
    else:
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.run(list(cmd), env=env, timeout=timeout, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err)
            out.seek(0)
            err.seek(0)
            result = subprocess.CompletedProcess(proc.args, proc.returncode, out.read(),
                                                 err.read())
    if check and result.returncode != 0:
        out = (result.stdout or b"").decode(errors="replace")
        err = (result.stderr or b"").decode(errors="replace")
        raise RuntimeError(f"{' '.join(cmd)} failed ({result.returncode}):\n{out}{err}")
    return result


def create_template(arch: str, display: Display) -> float:
    """Makes the template prefix of one architecture; returns the seconds taken."""
    if arch not in ARCHES:
        raise ValueError(f"architecture {arch!r}")
    target = template_path(arch)
    staging = target.with_name(target.name + ".creating")
    shutil.rmtree(staging, ignore_errors=True)
    staging.parent.mkdir(parents=True, exist_ok=True)
    began = time.monotonic()
    env = _wine_env(staging, display, "en_US.UTF-8", arch)
    try:
        _run([wine_loader(), "wineboot", "-i"], env, 300)
        # Unmanaged windows: with a window manager role every window close
        # waits 2 s. No crash dialog: a crash must end the run, not block it.
        _run([wine_loader(), "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
              "/t", "REG_SZ", "/d", "N", "/f"], env, 120)
        _run([wine_loader(), "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog",
              "/t", "REG_DWORD", "/d", "0", "/f"], env, 120)
        # The updater's trace is written only where an administrator asked for it.
        _run([wine_loader(), "reg", "add", TRACE_SWITCH_KEY, "/v", "Trace", "/t", "REG_DWORD", "/d", "1",
              "/f", "/reg:64"], env, 120)
    finally:
        _run(["wineserver", "-k"], env, 60, check=False)
        _run(["wineserver", "-w"], env, 60, check=False)
    user_reg = (staging / "user.reg").read_text(errors="replace")
    if '"Managed"="N"' not in user_reg or '"ShowCrashDialog"=dword:00000000' not in user_reg:
        raise RuntimeError(f"template {staging}: settings not saved in user.reg")
    if '"Trace"=dword:00000001' not in (staging / "system.reg").read_text(errors="replace"):
        raise RuntimeError(f"template {staging}: the trace switch is not saved in system.reg")
    shutil.rmtree(target, ignore_errors=True)
    staging.rename(target)
    seconds = time.monotonic() - began
    target.with_name(target.name + ".json").write_text(
        json.dumps({"arch": arch, "seconds": round(seconds, 1)}))
    return seconds


class WineSetupError(RuntimeError):
    """A prefix could not be made; the message is one sentence for the user,
    the details are in the file it names."""


def _setup_failure(what: str, details: str) -> WineSetupError:
    log_path = work_dir() / "setup-failure.log"
    try:
        log_path.parent.mkdir(parents=True, exist_ok=True)
        log_path.write_text(details)
        where = f"'cat {log_path}' shows the details"
    except OSError:
        where = "the details could not be saved"
    return WineSetupError(f"{what}; {where}.")


def ensure_templates(arches: Sequence[str], display: Optional[Display] = None) -> dict:
    """Makes the templates that are missing, side by side; returns {arch: seconds}
    of those made. Raises WineSetupError when one cannot be made."""
    unusable = [a for a in arches if a not in usable_arches()]
    if unusable:
        raise WineSetupError(
            f"A {unusable[0]}-bit Windows prefix needs a machine that can run 32-bit x86 programs "
            f"and this one cannot ({x86_32_mode()[1]}).")
    try:
        return _ensure_templates(arches, display)
    except (RuntimeError, OSError, subprocess.TimeoutExpired) as e:
        if isinstance(e, WineSetupError):
            raise
        raise _setup_failure("Wine could not make the Windows prefix of the tests "
                             f"({str(e).splitlines()[0].rstrip(':')})", str(e)) from None


def _ensure_templates(arches: Sequence[str], display: Optional[Display]) -> dict:
    with _file_lock("templates.lock"):
        missing = [a for a in arches if not (template_path(a) / "system.reg").is_file()]
        if not missing:
            return {}
        with contextlib.ExitStack() as stack:
            if display is None:
                display = stack.enter_context(display_lease())
            log("creating template(s) " + ", ".join(f"win{a}" for a in missing))
            with ThreadPoolExecutor(max_workers=2) as pool:
                made = dict(zip(missing, pool.map(lambda a: create_template(a, display),
                                                  missing)))
        for arch, seconds in made.items():
            log(f"win{arch} template made in {seconds:.1f} s")
        return made


# --------------------------------------------------------------------------
# Windows paths inside a prefix

_DRIVE_RE = re.compile(r"^([A-Za-z]):[\\/]?(.*)$")


def join_win(*parts: str) -> str:
    return "\\".join(p.strip("\\") if i else p.rstrip("\\") for i, p in enumerate(parts) if p)


# --------------------------------------------------------------------------
# Scenario prefixes

_counter = itertools.count(1)


class Scenario:
    """A copy of a template prefix with its own wineserver session.

    Use as a context manager: the copy is made and its session started on
    entry; the session is ended and the copy removed on exit.
    """

    def __init__(self, arch: str = "64", lang: Optional[str] = "en_US.UTF-8",
                 name: str = "scenario", keep: Optional[bool] = None):
        if arch not in ARCHES:
            raise ValueError(f"architecture {arch!r}")
        self.arch = arch
        self.lang = lang
        self.display: Optional[Display] = None
        self.keep = keep_prefixes() if keep is None else keep
        safe = re.sub(r"[^A-Za-z0-9_.-]+", "-", name)[:60]
        self.path = work_dir() / "scenarios" / f"{safe}-{next(_counter)}-{uuid.uuid4().hex[:6]}"
        self.timings: dict = {}
        self._started = False
        self._lease: Optional[contextlib.ExitStack] = None

    # -- lifecycle

    def __enter__(self) -> "Scenario":
        try:
            self.create()
            self.start()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc) -> None:
        try:
            self.stop()
        finally:
            self.remove()

    def create(self) -> None:
        template = template_path(self.arch)
        if not (template / "system.reg").is_file():
            raise RuntimeError(f"template {template} is missing: run 'wineprefix.py setup'")
        self.path.parent.mkdir(parents=True, exist_ok=True)
        began = time.monotonic()
        subprocess.run(["cp", "-a", "--", str(template), str(self.path)], check=True)
        self.timings["copy"] = time.monotonic() - began

    def start(self) -> None:
        began = time.monotonic()
        self._lease = contextlib.ExitStack()
        self.display = self._lease.enter_context(display_lease())
        self.timings["display_wait"] = time.monotonic() - began
        began = time.monotonic()
        self._started = True
        _run(["wineserver", "-p"], self.env, 60)
        _run([wine_loader(), "wineboot"], self.env, 120)
        self.timings["session"] = time.monotonic() - began

    def stop(self) -> None:
        if self._started:
            self._started = False
            _run(["wineserver", "-k"], self.env, 60, check=False)
            _run(["wineserver", "-w"], self.env, 60, check=False)
        if self._lease:
            self._lease.close()
            self._lease = None
            self.display = None

    def remove(self) -> None:
        if not self.path.exists():
            return
        if self.keep:
            log(f"kept prefix {self.path} (WINEPREFIX for wine)")
        else:
            shutil.rmtree(self.path, ignore_errors=True)

    # -- environment and processes

    @property
    def env(self) -> dict:
        return _wine_env(self.path, self.display, self.lang)

    def run(self, args: Sequence[str], timeout: float = 120, check: bool = True,
            capture: bool = True, env: Optional[dict] = None) -> subprocess.CompletedProcess:
        """Runs `wine ARGS...` in this session and waits for it; `env` adds to
        or replaces variables of the session's environment."""
        return _run([wine_loader(), *map(str, args)], {**self.env, **(env or {})}, timeout, check=check,
                    capture=capture)

    def spawn(self, args: Sequence[str], env: Optional[dict] = None, **popen_args) -> subprocess.Popen:
        """Starts `wine ARGS...` in this session without waiting; `env` as for run."""
        popen_args.setdefault("stdin", subprocess.DEVNULL)
        popen_args.setdefault("stdout", subprocess.DEVNULL)
        popen_args.setdefault("stderr", subprocess.DEVNULL)
        return subprocess.Popen([wine_loader(), *map(str, args)], env={**self.env, **(env or {})}, **popen_args)

    def launch_args(self, program: str, args: Sequence[str] = (), deny_admins: bool = False,
                    code_file: Optional[str] = None, times_file: Optional[str] = None,
                    hidden_station: bool = False) -> list:
        """The `wine launch.exe ...` arguments that run PROGRAM and record its exit
        code (and, with times_file, its lifetime in milliseconds); with
        hidden_station, in a window station that no user sees."""
        cmd = [str(helper("launch.exe"))]
        if hidden_station:
            cmd.append("--hidden-station")
        if code_file:
            cmd += ["--exit-code-file", code_file]
        if times_file:
            cmd += ["--times-file", times_file]
        if deny_admins:
            cmd.append("--deny-admins")
        return cmd + ["--", program, *map(str, args)]

    def run_exit_code(self, program: str, args: Sequence[str] = (), deny_admins: bool = False,
                      timeout: float = 120, capture: bool = True) -> int:
        """Runs a Windows program (Windows path, or a Unix path of an .exe) to its
        end and returns its full 32-bit exit code."""
        program = self.to_windows(program)
        code_file = self.scratch_file("exit-code")
        result = self.run(self.launch_args(program, args, deny_admins, self.to_windows(code_file)),
                          timeout=timeout, check=False, capture=capture)
        return read_exit_code(code_file, result)

    # -- paths

    @property
    def drive_c(self) -> Path:
        return self.path / "drive_c"

    @property
    def program_files_x86(self) -> str:
        """The 32-bit Program Files: CSIDL_PROGRAM_FILESX86, and CSIDL_PROGRAM_FILES
        of a 32-bit process."""
        return "C:\\Program Files (x86)" if self.arch == "64" else "C:\\Program Files"

    @property
    def program_files_native(self) -> str:
        """The Program Files of the platform's own architecture."""
        return "C:\\Program Files"

    def to_unix(self, win_path: str) -> Path:
        """Where a Windows path of this prefix lies on the Linux side (C: and Z:)."""
        m = _DRIVE_RE.match(win_path)
        if not m:
            raise ValueError(f"not an absolute Windows path: {win_path!r}")
        drive, rest = m.group(1).upper(), m.group(2).replace("\\", "/").strip("/")
        if drive == "C":
            return self.drive_c / rest if rest else self.drive_c
        if drive == "Z":
            return Path("/") / rest
        raise ValueError(f"drive {drive}: is not mapped in the test prefixes")

    def to_windows(self, path) -> str:
        """A Windows path for a Linux path (under drive_c: C:, elsewhere Z:). A text
        that already is a Windows path is returned unchanged."""
        text = str(path)
        if _DRIVE_RE.match(text):
            return text
        p = Path(text).resolve()
        try:
            rel = p.relative_to(self.drive_c.resolve())
            return "C:\\" + str(rel).replace("/", "\\") if str(rel) != "." else "C:\\"
        except ValueError:
            return "Z:" + str(p).replace("/", "\\")

    def scratch_dir(self) -> Path:
        """A folder for harness files inside the prefix (C:\\harness\\...)."""
        path = self.drive_c / "harness"
        path.mkdir(exist_ok=True)
        return path

    def scratch_file(self, stem: str) -> Path:
        return self.scratch_dir() / f"{stem}-{uuid.uuid4().hex[:8]}"

    # -- files

    def write_file(self, win_path: str, data: bytes) -> Path:
        path = self.to_unix(win_path)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        return path

    def read_file(self, win_path: str) -> bytes:
        return self.to_unix(win_path).read_bytes()

    def exists(self, win_path: str) -> bool:
        return self.to_unix(win_path).exists()

    # -- registry

    def _view_flag(self, view: str) -> str:
        if view not in ("32", "64"):
            raise ValueError(f"registry view {view!r}")
        return f"/reg:{view}"

    def reg_add(self, key: str, name: Optional[str] = None, type: str = "REG_SZ",
                data=None, view: str = "32") -> None:
        """Sets a value (or only makes the key when name is None). DWORD data is an
        int; REG_MULTI_SZ data a list of texts."""
        cmd = ["reg", "add", key]
        if name is not None:
            cmd += ["/ve"] if name == "" else ["/v", name]
            cmd += ["/t", type]
            if data is not None:
                if type == "REG_MULTI_SZ" and not isinstance(data, str):
                    data = "\\0".join(data)
                cmd += ["/d", str(data)]
        self.run(cmd + ["/f", self._view_flag(view)], timeout=60)

    def reg_delete(self, key: str, name: Optional[str] = None, view: str = "32") -> bool:
        """Deletes a value, or the whole key when name is None. False when absent."""
        cmd = ["reg", "delete", key]
        if name is not None:
            cmd += ["/ve"] if name == "" else ["/v", name]
        result = self.run(cmd + ["/f", self._view_flag(view)], timeout=60, check=False)
        return result.returncode == 0

    def reg_query(self, key: str, name: Optional[str] = None, view: str = "32"):
        """A value as (type, data) -- data is an int for DWORD and QWORD, bytes for
        binary, a str otherwise -- or None when absent. Without name: a dict of
        all values of the key, or None when the key is absent."""
        cmd = ["reg", "query", key]
        if name is not None:
            cmd += ["/ve"] if name == "" else ["/v", name]
        result = self.run(cmd + [self._view_flag(view)], timeout=60, check=False)
        if result.returncode != 0:
            return None
        values = parse_reg_query(result.stdout.decode(self._oem_codec(), errors="replace"))
        if name is None:
            return values
        return values.get(name if name else "(Default)")

    def reg_import(self, entries: dict, view: str = "32") -> None:
        """Writes several keys at once: {key: {name: (type, data)}} (an empty
        dict makes just the key). One reg.exe run instead of one per value."""
        text = reg_file_text(entries)
        path = self.scratch_file("import").with_suffix(".reg")
        path.write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))
        self.run(["reg", "import", self.to_windows(path), self._view_flag(view)], timeout=60)
        path.unlink()

    def _oem_codec(self) -> str:
        lang = (self.lang or "en").split(".")[0]
        return _OEM_CODECS.get(lang, _OEM_CODECS.get(lang.split("_")[0], "cp850"))


def read_exit_code(code_file: Path, result: subprocess.CompletedProcess) -> int:
    try:
        return int(code_file.read_text().strip(), 16)
    except (OSError, ValueError):
        out = (result.stdout or b"").decode(errors="replace")
        err = (result.stderr or b"").decode(errors="replace")
        raise RuntimeError(f"launch.exe reported no exit code (status {result.returncode})"
                           f"\n{out}{err}") from None


_REG_TYPES = ("REG_SZ", "REG_EXPAND_SZ", "REG_MULTI_SZ", "REG_DWORD", "REG_QWORD",
              "REG_BINARY", "REG_NONE")


def parse_reg_query(text: str) -> dict:
    """The values of the first key in the output of `reg query`."""
    values = {}
    seen_key = False
    for line in text.splitlines():
        if line.startswith("HKEY_"):
            if seen_key:
                break
            seen_key = True
            continue
        if not line.startswith("    "):
            continue
        parts = line[4:].split("    ", 2)
        if len(parts) < 2 or parts[1] not in _REG_TYPES:
            continue
        name, type_ = parts[0], parts[1]
        raw = parts[2] if len(parts) > 2 else ""
        if type_ in ("REG_DWORD", "REG_QWORD"):
            data = int(raw, 16)
        elif type_ in ("REG_BINARY", "REG_NONE"):
            data = bytes.fromhex(raw)
        elif type_ == "REG_MULTI_SZ":
            data = raw.split("\\0") if raw else []
        else:
            data = raw
        values[name] = (type_, data)
    return values


def _reg_escape(text: str) -> str:
    return text.replace("\\", "\\\\").replace('"', '\\"')


def reg_file_text(entries: dict) -> str:
    """A registry file ("Windows Registry Editor Version 5.00") for reg import."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in entries.items():
        if not key.upper().startswith(("HKEY_", "HKLM", "HKCU")):
            raise ValueError(f"registry key needs its root: {key!r}")
        key = re.sub(r"^HKLM\\", "HKEY_LOCAL_MACHINE\\\\", key, flags=re.I)
        key = re.sub(r"^HKCU\\", "HKEY_CURRENT_USER\\\\", key, flags=re.I)
        lines.append(f"[{key}]")
        for name, (type_, data) in values.items():
            lhs = "@" if name == "" else f'"{_reg_escape(name)}"'
            if type_ == "REG_SZ":
                rhs = f'"{_reg_escape(data)}"'
            elif type_ == "REG_DWORD":
                rhs = f"dword:{int(data) & 0xFFFFFFFF:08x}"
            else:
                raw = {
                    "REG_EXPAND_SZ": (2, lambda d: (d + "\0").encode("utf-16-le")),
                    "REG_MULTI_SZ": (7, lambda d: ("\0".join(d) + "\0\0").encode("utf-16-le")),
                    "REG_BINARY": (3, bytes),
                    "REG_QWORD": (11, lambda d: int(d).to_bytes(8, "little")),
                }.get(type_)
                if raw is None:
                    raise ValueError(f"registry type {type_}")
                kind, encode = raw
                hexes = ",".join(f"{b:02x}" for b in encode(data))
                rhs = ("hex:" if kind == 3 else f"hex({kind:x}):") + hexes
            lines.append(f"{lhs}={rhs}")
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


# --------------------------------------------------------------------------
# Command line


def cmd_setup(args) -> int:
    began = time.monotonic()
    displays = fixture_displays()
    if not displays:
        displays = [Display.start() for _ in range(args.displays)]
        write_state({"displays": [{"number": d.number, "pid": d.pid} for d in displays]})
        log("Xvfb started: " + ", ".join(f"{d.name} (pid {d.pid})" for d in displays))
    made = ensure_templates(args.arch or usable_arches(), displays[0])
    state = read_state()
    state.setdefault("template_seconds", {}).update({a: round(s, 1) for a, s in made.items()})
    write_state(state)
    log(f"setup done in {time.monotonic() - began:.1f} s")
    return 0


def _end_leftover_sessions() -> None:
    scenarios = work_dir() / "scenarios"
    if not scenarios.is_dir():
        return
    for prefix in scenarios.iterdir():
        if (prefix / "system.reg").exists():
            env = _wine_env(prefix, None, None)
            _run(["wineserver", "-k"], env, 60, check=False)
            _run(["wineserver", "-w"], env, 60, check=False)
            log(f"ended the session of leftover prefix {prefix}")


def _remove_server_dirs() -> None:
    """Debian's Wine names in the prefix file "wineserver" a folder under /tmp
    that holds one server folder per session; the copies of a template share
    it. It is made again when missing, so it goes with the templates."""
    for arch in ARCHES:
        try:
            name = (template_path(arch) / "wineserver").read_text().strip()
        except OSError:
            continue
        folder = Path(tempfile.gettempdir()) / name
        if re.fullmatch(r"wine-[A-Za-z0-9]{6}", name) and folder.is_dir() \
                and not any(folder.glob("server-*/socket")):
            shutil.rmtree(folder, ignore_errors=True)


def cmd_cleanup(args) -> int:
    state = read_state()
    _end_leftover_sessions()
    _remove_server_dirs()
    for d in state.get("displays", []):
        Display(int(d["number"]), int(d["pid"])).stop()
        log(f"Xvfb :{d['number']} (pid {d['pid']}) stopped")
    if not keep_prefixes():
        shutil.rmtree(work_dir() / "scenarios", ignore_errors=True)
    shutil.rmtree(work_dir() / "templates", ignore_errors=True)
    with contextlib.suppress(OSError):
        _state_path().unlink()
    return 0


def cmd_exec(args) -> int:
    program = args.program[0]
    ensure_templates([args.arch])
    name = "exec-" + Path(program).stem
    with Scenario(args.arch, args.lang, name, keep=args.keep or None) as scenario:
        code = scenario.run_exit_code(program, args.program[1:], timeout=args.timeout,
                                      capture=False)
    if code != 0:
        print(f"{program}: exit code 0x{code:08X}", file=sys.stderr)
        return 1
    return 0


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("setup", help="start Xvfb and make the template prefixes")
    p.add_argument("--arch", action="append", choices=ARCHES)
    p.add_argument("--displays", type=int, default=2,
                   help="Xvfb servers, one per session that may run at the same time")
    p.set_defaults(func=cmd_setup)
    p = sub.add_parser("cleanup", help="stop Xvfb and remove the templates")
    p.set_defaults(func=cmd_cleanup)
    p = sub.add_parser("exec", help="run a Windows program in a fresh scenario prefix")
    p.add_argument("--arch", choices=ARCHES, required=True)
    p.add_argument("--lang", default="en_US.UTF-8", help="LC_ALL of the session")
    p.add_argument("--keep", action="store_true", help="keep the prefix copy")
    p.add_argument("--timeout", type=float, default=600)
    p.add_argument("program", nargs=argparse.REMAINDER)
    p.set_defaults(func=cmd_exec)
    args = parser.parse_args(argv)
    if args.command == "exec":
        if args.program and args.program[0] == "--":
            args.program = args.program[1:]
        if not args.program:
            parser.error("exec needs a program")
    try:
        return args.func(args)
    except WineSetupError as e:
        log(str(e))
        return 1


if __name__ == "__main__":
    sys.exit(main())
