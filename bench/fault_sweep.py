#!/usr/bin/python3
"""Fault sweep: what a PC is left with when any one call of the update fails.

On a simulated PC (the demo's whole PC: the product, its files of every kind,
running programs that hold libraries, services, the media database, the
records), run silently by updater_faults.exe (the updater with its calls that
change or read the PC wrapped, see README):

1. a counting run on a fresh PC lists every call key of the install path in
   order and gives the reference: the state before and the state after a clean
   update;
2. each chosen key then gets a fresh PC and one run in which exactly that call
   fails (with --kill: in which the process ends right there, followed by a
   normal run, as after a power cut or a killed task);
3. each run is classified against the reference: "old" (exactly the state
   before), "new" (exactly the state after, but for what the best-effort steps
   may leave undone) or "mixed", with its differences and its exit code;
4. each run is held to the update's promise: a run that reports a failure
   (after a kill: the run after it) leaves the PC old, one that reports
   success leaves it new, and none leaves it mixed.

It prints one line per mixed run, one per class, one per broken promise and
a last line "N runs: A old, B new, C mixed (T s)"; the exit code is 1 when a
run broke the promise.

    python3 bench/fault_sweep.py --arch 64|32 [--kill] [--sample N | --all] [--from K --to M] [--seed S]

--sample N (the default, N = 12) takes every call site's first, second and
last occurrence, each function's first and last call (the phases' boundaries)
and N more keys drawn with the seed (printed); --all takes every key;
--from/--to cut the list of keys (1-based, inclusive) before sampling;
--keys prints the counting run's keys and stops.
"""

from __future__ import annotations

import argparse
import random
import shutil
import sys
import time
from collections import OrderedDict
from dataclasses import dataclass, field
from pathlib import Path
from typing import Dict, List, Optional, Sequence

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO))

import testbed  # noqa: E402,F401 -- puts the Wine test modules on the path
from harness import DOWNLOADS, RunResult, run_batch, run_program  # noqa: E402
from testbed.pc_state import classify, snapshot  # noqa: E402
from testbed.run_demo import WHOLE_PC  # noqa: E402
from testbed.simulated_pc import SimulatedPC, add_pc_arguments, components_from_args  # noqa: E402
from wineprefix import build_dir, ensure_templates, usable_arches  # noqa: E402

# Silent, as the maker's update tool runs it: no box to answer after a failure.
SWEEP_PC = WHOLE_PC + ["--silent", "dword1"]
RUN_TIMEOUT = 300
# A process that ended itself where the fault build killed it.
KILLED_EXIT_CODE = 0xC000013A


def faults_exe() -> Path:
    return build_dir() / "updater_faults.exe"


@dataclass(frozen=True)
class CallKey:
    function: str
    site: str
    target: str
    occurrence: int

    @classmethod
    def parse(cls, line: str) -> Optional["CallKey"]:
        parts = line.rstrip("\r\n").split("\t")
        if len(parts) != 4 or parts[0] == "FAULT":
            return None
        return cls(parts[0], parts[1], parts[2], int(parts[3]))

    def text(self) -> str:
        return f"{self.function}\t{self.site}\t{self.target}\t{self.occurrence}"

    def short(self) -> str:
        return f"{self.function}@{self.site} {self.target} #{self.occurrence}"


def read_keys(log: Path) -> List[CallKey]:
    text = log.read_text(encoding="utf-8", errors="replace") if log.exists() else ""
    return [k for k in (CallKey.parse(line) for line in text.splitlines()) if k is not None]


def fault_lines(log: Path) -> List[str]:
    text = log.read_text(encoding="utf-8", errors="replace") if log.exists() else ""
    return [line.split("\t", 1)[1] for line in text.splitlines() if line.startswith("FAULT\t")]


def sweep_pc(arch: str, name: str) -> SimulatedPC:
    parser = argparse.ArgumentParser()
    add_pc_arguments(parser)
    return SimulatedPC(arch, "en_US.UTF-8", components_from_args(parser.parse_args(SWEEP_PC)), name)


def run_update(pc: SimulatedPC, env: Dict[str, str]) -> RunResult:
    """Runs the fault build, staged under the product's own program name (the
    work folder and the trace are named after it)."""
    win_path = f"{DOWNLOADS}\\updater.exe"
    target = pc.scenario.to_unix(win_path)
    target.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(faults_exe(), target)
    return run_program(pc.scenario, win_path, timeout=RUN_TIMEOUT, env=env)


@dataclass
class Reference:
    keys: List[CallKey]
    before: dict
    after: dict
    exit_code: Optional[int]


def reference_run(arch: str) -> Reference:
    with sweep_pc(arch, "sweep-reference") as pc:
        before = snapshot(pc)
        log = pc.scenario.scratch_file("fault-log")
        result = run_update(pc, {"UPDATER_FAULT_LOG": pc.scenario.to_windows(log)})
        if result.exit_code != 0:
            raise SystemExit(f"sweep: the clean run ended with 0x{result.exit_code or 0:08X}\n{result.describe()}")
        return Reference(read_keys(log), before, snapshot(pc), result.exit_code)


def repeatable(key: CallKey) -> bool:
    """Whether every run makes this call: a service's status is read as often
    as its stop or start takes, so only the first read is certain."""
    return key.function != "QueryServiceStatusEx" or key.occurrence == 1


def choose_keys(keys: Sequence[CallKey], sample: Optional[int], seed: int) -> List[int]:
    """Indexes of the keys to fault: with sample None every one; otherwise every
    call site's first, second and last occurrence, the first and last call of
    each function (the phases' boundaries: the first file written, the first
    registry write, the first service control...), and `sample` more drawn
    with the seed."""
    if sample is None:
        return list(range(len(keys)))
    chosen = set()
    by_site: Dict[tuple, List[int]] = OrderedDict()
    by_function: Dict[str, List[int]] = OrderedDict()
    for i, key in enumerate(keys):
        if not repeatable(key):
            continue
        by_site.setdefault((key.function, key.site), []).append(i)
        by_function.setdefault(key.function, []).append(i)
    for indexes in list(by_site.values()) + list(by_function.values()):
        chosen.update(indexes[:2])
        chosen.add(indexes[-1])
    rest = [i for i in range(len(keys)) if i not in chosen and repeatable(keys[i])]
    chosen.update(random.Random(seed).sample(rest, min(sample, len(rest))))
    return sorted(chosen)


@dataclass
class FaultRun:
    key: CallKey
    exit_code: Optional[int]
    fired: bool
    state: str = "mixed"
    differences: List[str] = field(default_factory=list)
    after_kill_exit_code: Optional[int] = None
    final: dict = field(default_factory=dict)  # the snapshot the run left


def fault_job(arch: str, index: int, key: CallKey, reference: Reference, kill: bool):
    def job() -> FaultRun:
        with sweep_pc(arch, f"sweep-{index}") as pc:
            log = pc.scenario.scratch_file("fault-log")
            env = {"UPDATER_FAULT_LOG": pc.scenario.to_windows(log), "UPDATER_FAULT_AT": key.text()}
            if kill:
                env["UPDATER_FAULT_KILL"] = "1"
            result = run_update(pc, env)
            run = FaultRun(key, result.exit_code, key.text() in fault_lines(log))
            if kill:
                run.after_kill_exit_code = run_update(pc, {}).exit_code
            run.final = snapshot(pc)
            verdict = classify(run.final, reference.before, reference.after)
            run.state, run.differences = str(verdict), list(verdict.differences)
            return run

    return job


def is_failure(code: Optional[int]) -> bool:
    return code is not None and code & 0x80000000 != 0


def broken_promise(run: FaultRun) -> Optional[str]:
    """How a run breaks the update's promise, or None when it keeps it: the
    outcome the run reports (after a kill, the outcome of the run after it)
    and the state it leaves agree, old after a failure, new after a success;
    never mixed."""
    if run.state == "error":
        return "the run did not end"
    code = run.after_kill_exit_code if run.after_kill_exit_code is not None else run.exit_code
    expected = "old" if is_failure(code) else "new"
    if run.state != expected:
        return f"{run.state} where the exit code 0x{code or 0:08X} says {expected}"
    return None


def describe(run: FaultRun) -> str:
    code = "none" if run.exit_code is None else f"0x{run.exit_code:08X}"
    text = f"{run.state:5} {code} {run.key.short()}"
    if run.after_kill_exit_code is not None:
        text += f" (then 0x{run.after_kill_exit_code:08X})"
    if not run.fired:
        text += " [the fault did not fire]"
    return text


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--arch", choices=("64", "32"), default="64")
    parser.add_argument("--kill", action="store_true", help="end the process at the key, then run again")
    group = parser.add_mutually_exclusive_group()
    group.add_argument("--sample", type=int, default=12, metavar="N",
                       help="random keys beside every call site's first, second and last (default 12)")
    group.add_argument("--all", action="store_true", help="every key")
    parser.add_argument("--from", dest="first", type=int, default=1, metavar="K")
    parser.add_argument("--to", dest="last", type=int, default=None, metavar="M")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--keys", action="store_true", help="print the counting run's keys and stop")
    args = parser.parse_args(argv)
    if args.arch not in usable_arches():
        print(f"sweep: this machine cannot run a {args.arch}-bit prefix", file=sys.stderr)
        return 77
    if not faults_exe().is_file():
        print(f"sweep: {faults_exe()} is not built", file=sys.stderr)
        return 1
    began = time.monotonic()
    ensure_templates([args.arch])
    reference = reference_run(args.arch)
    keys = reference.keys
    if args.keys:
        for i, key in enumerate(keys, 1):
            print(f"{i}\t{key.text()}")
        return 0
    window = keys[args.first - 1:args.last]
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 31)
    chosen = choose_keys(window, None if args.all else args.sample, seed)
    print(f"sweep: {len(keys)} calls counted; {len(chosen)} chosen from {args.first} to "
          f"{args.first + len(window) - 1} (seed {seed})", flush=True)
    jobs = {i: fault_job(args.arch, i, window[i], reference, args.kill) for i in chosen}
    outcomes = run_batch(jobs)
    runs = []
    for i in chosen:
        outcome = outcomes[i]
        if outcome.error is not None:
            runs.append(FaultRun(window[i], None, False, "error", [repr(outcome.error)]))
        else:
            runs.append(outcome.value)
    counts = OrderedDict((state, 0) for state in ("old", "new", "mixed", "error"))
    for run in runs:
        counts[run.state] = counts.get(run.state, 0) + 1
        if run.state in ("mixed", "error"):
            print(describe(run))
            for difference in run.differences[:12]:
                print(f"        {difference}")
            if len(run.differences) > 12:
                print(f"        ... {len(run.differences) - 12} more")
    for state in ("old", "new"):
        for run in runs:
            if run.state == state:
                print(describe(run))
    broken = [(run, broken_promise(run)) for run in runs if broken_promise(run) is not None]
    for run, why in broken:
        print(f"broken: {describe(run)}: {why}")
    print(f"{len(runs)} runs: {counts['old']} old, {counts['new']} new, {counts['mixed']} mixed"
          + (f", {counts['error']} errors" if counts["error"] else "")
          + f" ({time.monotonic() - began:.0f} s)")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
