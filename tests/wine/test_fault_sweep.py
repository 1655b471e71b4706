"""A small fault sweep (bench/fault_sweep.py) on both platforms: a call of
each kind in the install path fails, or the process ends there, and what the
PC is left with keeps the promises that hold today: every run ends, a run
that does not end new reports a failure, services that ran run again, and no
product file is lost. How many runs end mixed is a figure, printed, not an
assertion."""

import sys
import unittest
from pathlib import Path

from harness import run_batch
from updater_runs import require_program
from wineprefix import log, usable_arches

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
import fault_sweep  # noqa: E402

# The calls faulted: the first call of each function at its first site on an
# object of the kind named, and one move half-way through the files.
FIRST_CALLS = (("CreateFileW", ".new."), ("WriteFile", ".new."), ("FlushFileBuffers", ""),
               ("SetFileInformationByHandle", ""), ("NtCreateFile", ".tmp"), ("RegSetValueExW", "ActiveX"),
               ("ControlService", "QVL"), ("StartServiceW", "QVL"), ("CreateProcessW", "regedit"))
# Steps after the installation whose failures the update ignores today (the
# registry import, the compatibility values, a service's start): such a run
# may end mixed with exit code 0, one of the figures this sweep is for.
IGNORED_TODAY = ("RegSetValueExW", "StartServiceW", "CreateProcessW")


def chosen_keys(keys):
    chosen = []
    for function, part in FIRST_CALLS:
        key = next((k for k in keys if k.function == function and part in k.target), None)
        if key is not None:
            chosen.append(key)
    moves = [k for k in keys if k.function == "MoveFileExW"]
    if moves:
        chosen.append(moves[len(moves) // 2])
    return chosen


def is_failure(code):
    return code is not None and code & 0x80000000 != 0


class FaultSweepTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_program(fault_sweep.faults_exe())
        cls.sweeps = {}
        for arch in usable_arches():
            reference = fault_sweep.reference_run(arch)
            keys = chosen_keys(reference.keys)
            jobs = {(key, False): fault_sweep.fault_job(arch, i, key, reference, False) for i, key in enumerate(keys)}
            # Killed half-way through the files, then run again.
            middle = keys[-1]
            jobs[(middle, True)] = fault_sweep.fault_job(arch, len(keys), middle, reference, True)
            cls.sweeps[arch] = (reference, keys, run_batch(jobs))
            states = [o.value.state for o in cls.sweeps[arch][2].values() if o.error is None]
            log(f"fault sweep {arch}: {len(states)} runs: {states.count('old')} old, {states.count('new')} new, "
                f"{states.count('mixed')} mixed")

    def runs(self):
        for arch, (reference, keys, outcomes) in self.sweeps.items():
            for (key, killed), outcome in outcomes.items():
                yield arch, reference, key, killed, outcome

    def test_every_function_of_the_install_path_was_counted(self):
        for arch, (reference, keys, _) in self.sweeps.items():
            with self.subTest(arch=arch):
                self.assertEqual(len(FIRST_CALLS) + 1, len(keys), [k.short() for k in keys])

    def test_every_run_ends_and_the_fault_fires(self):
        for arch, _, key, killed, outcome in self.runs():
            with self.subTest(arch=arch, key=key.short(), killed=killed):
                self.assertIsNone(outcome.error)
                self.assertTrue(outcome.value.fired)
                if killed:
                    self.assertEqual(fault_sweep.KILLED_EXIT_CODE, outcome.value.exit_code)

    def test_a_run_that_does_not_end_new_reports_a_failure(self):
        for arch, _, key, killed, outcome in self.runs():
            run = outcome.get()
            if run.state == "new" or killed or key.function in IGNORED_TODAY:
                continue
            with self.subTest(arch=arch, key=key.short()):
                self.assertTrue(is_failure(run.exit_code), fault_sweep.describe(run))

    def test_services_that_ran_run_again(self):
        # Not after a killed run: the next run finds them stopped and leaves
        # them so, which is what the next step of this work is to change.
        for arch, reference, key, killed, outcome in self.runs():
            if killed:
                continue
            run = outcome.get()
            with self.subTest(arch=arch, key=key.short()):
                for name, state in reference.before["services"].items():
                    # A start that fails leaves its own service stopped.
                    if state == "running" and not (key.function == "StartServiceW" and key.target == name):
                        self.assertEqual("running", run.final["services"][name], name)

    def test_no_product_file_is_lost(self):
        for arch, reference, key, killed, outcome in self.runs():
            run = outcome.get()
            with self.subTest(arch=arch, key=key.short(), killed=killed):
                kept = [path for path, entry in reference.before["files"].items()
                        if "sha256" in entry and path in reference.after["files"]]
                self.assertTrue(kept)
                self.assertEqual([], [path for path in kept if path not in run.final["files"]])


if __name__ == "__main__":
    unittest.main()
