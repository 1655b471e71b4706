"""A small fault sweep (bench/fault_sweep.py) on both platforms: a call of
each kind in the install path fails, or the process ends there, and no run
leaves the PC mixed: a failed call of the file or registry steps leaves it
exactly as before with a failure exit code, one that the update works around
or that comes after the commit (a record, a service's start: tried again)
leaves it updated with exit code 0; a killed run followed by a normal run
leaves it new, or old when that run fails, also when it was killed after the
commit, with records still to write. Every run ends, services that ran run
again and no product file is lost."""

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
               ("ControlService", "QVL"), ("StartServiceW", "QVL"), ("CreateProcessW", "regedit"),
               ("CreateFileW", "Version.txt"))
# Calls after the commit: the update is in place, and their failure is tried again.
AFTER_COMMIT = (("CreateFileW", "Version.txt"),)
# Killed after the commit: the uninstall entry's date is the last record.
KILLED_AFTER_COMMIT = ("RegSetValueExW", "|InstallDate")
# The calls of the file and registry steps, made before the commit: their
# failure stops the update. (A work folder's name that cannot be had and a
# service that does not stop are worked around; a service's start comes
# after the commit.)
# The update's exit code is the failed call's own error, as the fault build
# gives it (README: the function's usual error).
STEP_CALLS = {"CreateFileW": 32, "WriteFile": 112, "FlushFileBuffers": 112, "SetFileInformationByHandle": 5,
              "MoveFileExW": 32, "RegSetValueExW": 5, "CreateProcessW": 5}


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


def after_commit(key):
    return any(key.function == function and part in key.target for function, part in AFTER_COMMIT)


def killed_keys(keys):
    """Where a run is killed: half-way through the files, and at the last record."""
    moves = [k for k in keys if k.function == "MoveFileExW"]
    function, part = KILLED_AFTER_COMMIT
    late = next((k for k in keys if k.function == function and k.target.endswith(part)), None)
    return [k for k in (moves[len(moves) // 2] if moves else None, late) if k is not None]


class FaultSweepTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_program(fault_sweep.faults_exe())
        cls.sweeps = {}
        for arch in usable_arches():
            reference = fault_sweep.reference_run(arch)
            keys = chosen_keys(reference.keys)
            jobs = {(key, False): fault_sweep.fault_job(arch, i, key, reference, False) for i, key in enumerate(keys)}
            # Killed, then run again.
            kills = killed_keys(reference.keys)
            for n, key in enumerate(kills):
                jobs[(key, True)] = fault_sweep.fault_job(arch, len(keys) + n, key, reference, True)
            cls.sweeps[arch] = (reference, keys + kills, run_batch(jobs))
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
                self.assertEqual(len(FIRST_CALLS) + 1 + 2, len(keys), [k.short() for k in keys])

    def test_every_run_ends_and_the_fault_fires(self):
        for arch, _, key, killed, outcome in self.runs():
            with self.subTest(arch=arch, key=key.short(), killed=killed):
                self.assertIsNone(outcome.error)
                self.assertTrue(outcome.value.fired)
                if killed:
                    self.assertEqual(fault_sweep.KILLED_EXIT_CODE, outcome.value.exit_code)

    def test_no_run_leaves_the_pc_mixed(self):
        for arch, _, key, killed, outcome in self.runs():
            run = outcome.get()
            with self.subTest(arch=arch, key=key.short(), killed=killed):
                self.assertIsNone(fault_sweep.broken_promise(run),
                                  "\n".join([fault_sweep.describe(run), *run.differences[:20]]))

    def test_a_failed_call_of_the_file_or_registry_steps_leaves_the_pc_old_with_a_failure(self):
        for arch, _, key, killed, outcome in self.runs():
            run = outcome.get()
            if killed or key.function not in STEP_CALLS or after_commit(key):
                continue
            with self.subTest(arch=arch, key=key.short()):
                self.assertEqual("old", run.state, "\n".join([fault_sweep.describe(run), *run.differences[:20]]))
                self.assertEqual(0x80070000 | STEP_CALLS[key.function], run.exit_code, fault_sweep.describe(run))

    def test_a_failed_call_after_the_commit_leaves_the_pc_new_with_success(self):
        for arch, _, key, killed, outcome in self.runs():
            run = outcome.get()
            if killed or not after_commit(key):
                continue
            with self.subTest(arch=arch, key=key.short()):
                self.assertEqual(("new", 0), (run.state, run.exit_code), fault_sweep.describe(run))

    def test_services_that_ran_run_again(self):
        # A start that failed is tried again; after a killed run, the next one starts them.
        for arch, reference, key, killed, outcome in self.runs():
            run = outcome.get()
            with self.subTest(arch=arch, key=key.short(), killed=killed):
                for name, state in reference.before["services"].items():
                    if state == "running":
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
