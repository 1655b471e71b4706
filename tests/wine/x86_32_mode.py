#!/usr/bin/python3
"""Whether this Linux machine can run 32-bit x86 programs.

updater.exe and every helper of the Wine scenarios are 32-bit Windows programs,
which Wine runs through its 32-bit loader. Some machines (under hypervisors
without a 32-bit mode) refuse every 32-bit x86 program with "Exec format
error". The check runs one: a static ELF of 84 bytes of headers and 12 of code
that exits with 42 through the 32-bit system call gate, so it needs no 32-bit
library and tells the kernel's answer apart from a missing package.

Command line:

  x86_32_mode.py check [--for-demo]
      exits 0 when 32-bit programs run; otherwise prints why (what is
      skipped, or why the demo cannot run) and exits 1
  x86_32_mode.py run-or-skip -- COMMAND [ARGS...]
      runs COMMAND when 32-bit programs run; otherwise prints why and exits 77
      (ctest's SKIP_RETURN_CODE of the tests that need Wine's 32-bit part)

UPDATER_ASSUME_NO_X86_32=1 makes the check answer "no" on a machine that has
the mode, so that the skipping can be tried there; nothing sets it by default.
"""

from __future__ import annotations

import errno
import os
import struct
import subprocess
import sys
import tempfile
from pathlib import Path
from typing import Optional, Sequence, Tuple

SKIP_CODE = 77
_EXIT_CODE = 42
_LOAD_ADDRESS = 0x08048000
_HEADERS = 52 + 32

# mov ebx, 42; mov eax, 1 (exit); int 0x80
_CODE = bytes([0xBB, _EXIT_CODE, 0, 0, 0, 0xB8, 1, 0, 0, 0, 0xCD, 0x80])


def probe_image() -> bytes:
    """A complete i386 Linux executable: ELF header, one loadable segment."""
    size = _HEADERS + len(_CODE)
    ident = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)  # 32-bit, little-endian, version 1
    header = ident + struct.pack("<HHIIIIIHHHHHH",
                                 2, 3, 1,                      # executable, i386, version
                                 _LOAD_ADDRESS + _HEADERS,     # entry
                                 52, 0, 0,                     # program headers, no sections, flags
                                 52, 32, 1, 40, 0, 0)
    segment = struct.pack("<IIIIIIII", 1, 0, _LOAD_ADDRESS, _LOAD_ADDRESS, size, size, 5, 0x1000)
    return header + segment + _CODE


def _probe_folder() -> Optional[str]:
    """Somewhere the probe may be executed: the temporary folder can be mounted
    noexec, the repository's build folder rarely is."""
    build = Path(__file__).resolve().parents[2] / "build"
    try:
        build.mkdir(exist_ok=True)
        return str(build)
    except OSError:
        return None


def check() -> Tuple[bool, str]:
    """(True, "") when a 32-bit x86 program runs here; else (False, why)."""
    if os.environ.get("UPDATER_ASSUME_NO_X86_32", "") not in ("", "0"):
        return False, "UPDATER_ASSUME_NO_X86_32 is set"
    with tempfile.TemporaryDirectory(prefix="x86-32-probe-", dir=_probe_folder()) as folder:
        path = Path(folder) / "probe"
        path.write_bytes(probe_image())
        path.chmod(0o700)
        try:
            code = subprocess.run([str(path)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, timeout=10).returncode
        except OSError as e:
            if e.errno == errno.ENOEXEC:
                return False, "the kernel refuses 32-bit x86 programs (Exec format error)"
            return False, f"a 32-bit x86 program could not be started ({e.strerror})"
        except subprocess.TimeoutExpired:
            return False, "a 32-bit x86 program did not end"
    if code != _EXIT_CODE:
        return False, f"a 32-bit x86 program ended with {code} instead of {_EXIT_CODE}"
    return True, ""


_WHERE_IT_RUNS = ("a Linux machine that can run 32-bit programs, with Wine's 32-bit part "
                  "(wine32:i386) installed")


def skip_reason(why: str) -> str:
    return (f"This machine cannot run 32-bit x86 programs ({why}): the Wine tests of updater.exe "
            f"and of its 32-bit helpers are skipped; they run on {_WHERE_IT_RUNS}.")


def demo_reason(why: str) -> str:
    return (f"The demo cannot run here: updater.exe is a 32-bit Windows program and this machine "
            f"cannot run 32-bit x86 programs ({why}); it runs on {_WHERE_IT_RUNS}.")


def main(argv: Optional[Sequence[str]] = None) -> int:
    args = list(sys.argv[1:] if argv is None else argv)
    if args in (["check"], ["check", "--for-demo"]):
        ok, why = check()
        if not ok:
            print(demo_reason(why) if args[1:] else skip_reason(why), flush=True)
        return 0 if ok else 1
    if args[:2] == ["run-or-skip", "--"] and len(args) > 2:
        ok, why = check()
        if not ok:
            print(f"skipped: {skip_reason(why)}", flush=True)
            return SKIP_CODE
        os.execvp(args[2], args[2:])
    print("usage: x86_32_mode.py check [--for-demo] | run-or-skip -- COMMAND [ARGS...]", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
