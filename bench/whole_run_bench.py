#!/usr/bin/python3
"""Whole-run benchmark: the update of a simulated PC under Wine, timed.

Runs, several times each and interleaved, on the same machine in one go:

- whole PC: the demo's PC (the product, two running services, two running
  programs that use watched libraries, media database, records), updated by
  this build's updater.exe and by the updater.exe of a baseline commit that is
  built in a scratch folder (by default the commit before the waits that end
  on their event);
- nothing running: the same update without programs or services, once as a
  user starts it (two message boxes, answered at once by the harness) and
  once silent, as the maker's update tool starts it (no box);
- nothing running, before the transaction: the silent update by the
  updater.exe of the commit before the update became a transaction (by
  default the parent of the commit that added payload/file_steps.cpp), which
  overwrote files in place and did not wait for the registry editor;
- copy floor: copy_floor.exe copies the same 161 payload files (96 MB) to
  the same destinations, the floor of any update.

Prints, for each, the median (and range) of two times: the program's own
lifetime, from the creation of its process to its exit as Windows records
them, and the wall time as the harness sees it, which adds the start of the
harness' box watcher and launcher (about half a second under Wine, the same
for every run). Then the medians of this build's phase times from its trace,
and the ratios: whole PC against the baseline, nothing running against the
floor.

    python3 bench/whole_run_bench.py [--runs N] [--baseline REV] [--before-transaction REV]
"""

from __future__ import annotations

import argparse
import re
import shutil
import statistics
import subprocess
import sys
import time
from collections import defaultdict
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO))

import testbed  # noqa: E402,F401 -- puts the Wine test modules on the path
from harness import run_program, stage_program, updater_exe  # noqa: E402
from testbed.payload_rows import new_payload_file  # noqa: E402
from testbed.run_demo import WHOLE_PC  # noqa: E402
from testbed.simulated_pc import (InstalledPayload, SimulatedPC, add_pc_arguments,  # noqa: E402
                                  components_from_args, payload_rows)
from wineprefix import build_dir, ensure_templates, x86_32_mode  # noqa: E402

TIME_LINE = re.compile(r"^time: (.+) (\d+) ms$")
HOST_TOOLS = ("make_payload", "make_registry_scripts", "szdd_pack", "make_digest_table")


def pc_components(options):
    parser = argparse.ArgumentParser()
    add_pc_arguments(parser)
    return components_from_args(parser.parse_args(options))


def default_baseline() -> str:
    """The commit before the one that brought the waits that end on their event."""
    added = subprocess.run(["git", "log", "--diff-filter=A", "--format=%H", "--", "control/portable/bounded_wait.cpp"],
                           cwd=REPO, capture_output=True, text=True, check=True).stdout.split()
    if not added:
        raise SystemExit("bench: no commit adds control/portable/bounded_wait.cpp; give --baseline")
    return added[-1] + "~1"


def before_transaction() -> str:
    """The commit before the update's changes became one transaction."""
    added = subprocess.run(["git", "log", "--diff-filter=A", "--format=%H", "--", "payload/file_steps.cpp"],
                           cwd=REPO, capture_output=True, text=True, check=True).stdout.split()
    if not added:
        raise SystemExit("bench: no commit adds payload/file_steps.cpp; give --before-transaction")
    return added[-1] + "~1"


def build_baseline(rev: str) -> Path:
    """updater.exe of `rev`, built once in build/bench/baseline-<hash>."""
    commit = subprocess.run(["git", "rev-parse", rev], cwd=REPO, capture_output=True, text=True,
                            check=True).stdout.strip()
    work = REPO / "build" / "bench" / f"baseline-{commit[:12]}"
    program = work / "build" / "win32" / "updater.exe"
    if program.is_file():
        return program
    if work.exists():
        shutil.rmtree(work)
    work.mkdir(parents=True)
    archive = subprocess.run(["git", "archive", commit], cwd=REPO, capture_output=True, check=True).stdout
    subprocess.run(["tar", "-x", "-C", str(work)], input=archive, check=True)
    shutil.copytree(REPO / "build" / "sqlite", work / "build" / "sqlite")
    print(f"bench: building the baseline {commit[:12]} in {work}", file=sys.stderr)
    subprocess.run(["cmake", "--preset", "host"], cwd=work, check=True, stdout=subprocess.DEVNULL)
    # The host tools that the win32 build runs; older commits have fewer of them.
    targets = subprocess.run(["cmake", "--build", "--preset", "host", "--target", "help"], cwd=work,
                             capture_output=True, text=True, check=True).stdout
    tools = [t for t in HOST_TOOLS if re.search(rf"^{t}:", targets, re.M)]
    for command in (["cmake", "--build", "--preset", "host", "-j2", "--target", *tools],
                    ["cmake", "--preset", "win32"],
                    ["cmake", "--build", "--preset", "win32", "-j2", "--target", "updater"]):
        subprocess.run(command, cwd=work, check=True, stdout=subprocess.DEVNULL)
    return program


def run_update(program: Path, options) -> tuple:
    with SimulatedPC("64", "en_US.UTF-8", pc_components(options), "bench") as pc:
        exe = stage_program(pc.scenario, program)
        result = run_program(pc.scenario, exe, answers=["ok"] * 50, timeout=600)
        if result.exit_code != 0:
            raise RuntimeError(f"{program}: exit code {result.exit_code}\n{result.describe()}")
        phases = {}
        for line in result.trace(program.name):
            match = TIME_LINE.match(line)
            if match:
                phases[match.group(1)] = int(match.group(2)) / 1000
        return result.process_seconds, result.seconds, phases


def run_copy_floor() -> tuple:
    floor = build_dir() / "bench" / "copy_floor.exe"
    payload = InstalledPayload()
    with SimulatedPC("64", "en_US.UTF-8", pc_components([]), "bench-floor") as pc:
        lines = []
        for row in payload_rows():
            source = f"C:\\bench-payload\\{row.resource_id}.bin"
            target = pc.scenario.to_unix(source)
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(new_payload_file(row.resource_id), target)
            lines.append(f"{source}\t{payload.destination(pc, row)}")
        listing = pc.scenario.drive_c / "bench-payload" / "list.txt"
        listing.write_text("\n".join(lines) + "\n", encoding="utf-8")
        exe = stage_program(pc.scenario, floor)
        result = run_program(pc.scenario, exe, ["C:\\bench-payload\\list.txt", "C:\\bench-payload\\ms.txt"],
                             timeout=600)
        if result.exit_code != 0:
            raise RuntimeError(f"copy_floor: exit code {result.exit_code}")
        copies = int((pc.scenario.drive_c / "bench-payload" / "ms.txt").read_text()) / 1000
        return result.process_seconds, result.seconds, {"copies alone": copies}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--baseline", default=None, help="the commit to compare the whole PC with")
    parser.add_argument("--before-transaction", default=None,
                        help="the commit to compare the update with nothing running with")
    args = parser.parse_args()
    runs_32bit, why = x86_32_mode()
    if not runs_32bit:
        print(f"bench: {why}", file=sys.stderr)
        return 1
    ensure_templates(["64"])
    baseline = build_baseline(args.baseline or default_baseline())
    untransacted = build_baseline(args.before_transaction or before_transaction())
    current = updater_exe()
    variants = {
        "whole PC, this build": lambda: run_update(current, WHOLE_PC),
        "whole PC, baseline": lambda: run_update(baseline, WHOLE_PC),
        "nothing running, this build": lambda: run_update(current, []),
        "nothing running, silent": lambda: run_update(current, ["--silent", "dword1"]),
        "nothing running, silent, before": lambda: run_update(untransacted, ["--silent", "dword1"]),
        "copy floor (copy_floor.exe)": run_copy_floor,
    }
    lifetimes = defaultdict(list)
    walls = defaultdict(list)
    phases = defaultdict(lambda: defaultdict(list))
    began = time.monotonic()
    for i in range(args.runs):
        for name, run in variants.items():
            lifetime, wall, times = run()
            lifetimes[name].append(lifetime)
            walls[name].append(wall)
            for phase, value in times.items():
                phases[name][phase].append(value)
            print(f"run {i + 1}/{args.runs}: {name}: {lifetime:.2f} s ({wall:.2f} s in the harness)",
                  file=sys.stderr)

    life = {name: statistics.median(values) for name, values in lifetimes.items()}
    wall = {name: statistics.median(values) for name, values in walls.items()}
    print(f"Whole-run benchmark, {args.runs} runs each, 64-bit Wine prefix (baseline {baseline.parents[2].name})")
    print(f"  {'':32} {'process lifetime, s':>28}   {'wall time in the harness, s':>28}")
    for name in variants:
        print(f"  {name:32} median {life[name]:5.2f} (min {min(lifetimes[name]):.2f}, max "
              f"{max(lifetimes[name]):.2f})   median {wall[name]:5.2f} (min {min(walls[name]):.2f}, max "
              f"{max(walls[name]):.2f})")
    for name in ("whole PC, this build", "nothing running, silent", "nothing running, silent, before",
                 "copy floor (copy_floor.exe)"):
        print(f"Phase and step times of '{name}' (median, s):")
        for phase, values in phases[name].items():
            print(f"  {phase:40} {statistics.median(values):6.2f}")
    floor = "copy floor (copy_floor.exe)"
    print("Ratios (process lifetime; wall time in the harness in brackets):")
    for name, other, target in (("whole PC, this build", "whole PC, baseline", "at most 0.40"),
                                ("nothing running, silent", floor, "at most 3"),
                                ("nothing running, silent", "nothing running, silent, before", "at most 1.25"),
                                ("nothing running, this build", floor, "at most 3; two boxes answered")):
        print(f"  {name} / {other}: {life[name] / life[other]:.2f} ({wall[name] / wall[other]:.2f}) "
              f"(target {target})")
    before = phases["nothing running, silent, before"]
    # The editor is now waited for inside the installation; it was waited for
    # by the work folder's removal before.
    now_install = statistics.median(phases["nothing running, silent"]["installation"])
    then_install = statistics.median(before["installation"])
    print(f"installation, this build / before the transaction: {now_install / then_install:.2f} "
          f"({now_install:.2f} s / {then_install:.2f} s; target at most 1.25)")
    if "work folder removal" in before and "work folder removal" in phases["nothing running, silent"]:
        now_both = now_install + statistics.median(phases["nothing running, silent"]["work folder removal"])
        then_both = then_install + statistics.median(before["work folder removal"])
        print(f"installation and work folder removal (the editor's wait in either): "
              f"{now_both / then_both:.2f} ({now_both:.2f} s / {then_both:.2f} s)")
    installation = statistics.median(phases["nothing running, silent"]["installation"])
    copies = statistics.median(phases[floor]["copies alone"])
    print(f"installation / copies alone:     {installation / copies:.2f} (the two inside their processes)")
    print(f"(benchmark took {time.monotonic() - began:.0f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
