#!/usr/bin/python3
"""Demo: updater.exe on a simulated PC, as a user would see it.

Builds a simulated PC (by default 64-bit Windows with Mirevo 2.0.1.12040),
runs updater.exe there with the watcher answering OK, and prints the outcome:
each message box (caption, text, icon, buttons), the exit code, and what the
update changed on the PC (files, running software, media database, records).

    python3 testbed/run_demo.py [--arch 64|32] [--lang ja_JP.UTF-8] [--version V]
                                [--screenshots DIR] [--updater PATH] [PC options]

Exits 0 when the demo ran, whatever the updater's outcome; 1 when it could not
run (updater.exe missing, Wine failure).
"""

from __future__ import annotations

import argparse
import sys
import time
from pathlib import Path

_REPO = str(Path(__file__).resolve().parents[1])
if _REPO not in sys.path:
    sys.path.insert(0, _REPO)

import testbed  # noqa: E402,F401 -- puts the Wine test modules on the path
from harness import run_program, stage_program, updater_exe  # noqa: E402
from testbed.demo_report import report, snapshot  # noqa: E402
from testbed.simulated_pc import (SimulatedPC, add_pc_arguments,  # noqa: E402
                                  components_from_args)
from wineprefix import WineSetupError, ensure_templates, x86_32_mode  # noqa: E402
from x86_32_mode import demo_reason  # noqa: E402


# What the main job simulates besides the product and its files: the
# component services (two running), a known program and an unknown one using
# watched libraries, a Restart Manager that sees them, the media database and
# what the version records and the clean-up touch.
WHOLE_PC = ["--watched-libraries", "--restart-manager", "--media-database", "--records",
            "--service", "QVLDms=running", "--service", "QVLCImp=running", "--service", "QVLDs",
            "--program", "Castwell.exe=thumb-cache.dll", "--program", "Vidgrab.exe=stream-host.dll"]


def show_text(text: str) -> str:
    return text.replace("\r\n", "\n").replace("\n", "\n        ")


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    add_pc_arguments(parser)
    parser.add_argument("--updater", type=Path, default=None,
                        help="the program to run (default: updater.exe of the build)")
    parser.add_argument("--screenshots", type=Path, default=None,
                        help="save a screenshot of each window in this folder")
    parser.add_argument("--trace", action="store_true",
                        help="also print the updater's trace (its debug output), one line per step")
    parser.add_argument("--whole-pc", action="store_true",
                        help="also the running software, the media database and the records: "
                             + " ".join(WHOLE_PC))
    args = parser.parse_args(argv)
    if args.whole_pc:
        args = parser.parse_args(WHOLE_PC + list(argv if argv is not None else sys.argv[1:]))
    runs_32bit, why = x86_32_mode()
    if not runs_32bit:
        print(demo_reason(why), file=sys.stderr)
        return 1
    program = (args.updater or updater_exe()).resolve()
    if not program.is_file():
        print(f"demo: {program} is not built", file=sys.stderr)
        return 1

    began = time.monotonic()
    try:
        ensure_templates([args.arch])
    except WineSetupError as e:
        print(f"demo: {e}", file=sys.stderr)
        return 1
    pc = SimulatedPC(args.arch, args.lang, components_from_args(args), "demo")
    with pc:
        print(f"Simulated PC: {pc.describe()}")
        before = snapshot(pc)
        exe = stage_program(pc.scenario, program)
        print(f"Running {exe}")
        result = run_program(pc.scenario, exe, answers=["ok"] * 50,
                             screenshots=args.screenshots)
        changes = report(pc, before)
    for box in result.boxes:
        print(f"Message box {box.box}: caption \"{box.caption}\", icon {box.icon}, "
              f"buttons {', '.join(box.buttons)}; answered {box.answer}")
        print(f"        {show_text(box.text)}")
    for window in result.progress_windows:
        print(f"Progress window \"{window.title}\" at {window.rect}: {show_text(window.text)}")
    if not result.boxes:
        print("No message box was shown.")
    print(f"Exit code: 0x{result.exit_code:08X}")
    times = [line[len("time: "):] for line in result.trace(exe.split("\\")[-1]) if line.startswith("time: ")]
    if times:
        print("Phase times:")
        for line in times:
            print(f"  {line}")
    if args.trace:
        print("Trace:")
        for line in result.trace(exe.split("\\")[-1]):
            print(f"  {line}")
    print("What changed on the PC:")
    for line in changes:
        print(f"  {line}")
    if args.screenshots:
        print(f"Screenshots: {args.screenshots}")
    print(f"(demo took {time.monotonic() - began:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
