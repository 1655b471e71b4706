"""A roll-back that cannot put a file back at once: the update fails after
every file is in place (a compatibility value of the registry step cannot be
written, by the fault build), while a program has opened one of the new files
without delete sharing. The old file is then put back at the next restart:
the run ends with 0x80070BC9, the put-back is listed among the pending
renames, a run before the restart changes nothing and ends the same way, and
after Wine's restart a normal run completes the update."""

import sys
import unittest
from pathlib import Path

from harness import run_batch
from testbed.payload_rows import digest
from testbed.pc_state import classify, compare, snapshot
from testbed.simulated_pc import InstalledPayload, payload_rows
from updater_runs import hold, require_program
from wineprefix import helper, usable_arches

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
import fault_sweep  # noqa: E402

RESTART_NEEDED = 0x80070BC9
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"
HELD_ROW = 401  # core-ui.dll


def put_back_job(arch):
    def job():
        reference = fault_sweep.reference_run(arch)
        key = next(k for k in reference.keys if k.function == "RegSetValueExW" and "ActiveX" in k.target)
        with fault_sweep.sweep_pc(arch, f"put-back-{arch}") as pc:
            payload = pc.component(InstalledPayload)
            rows = {r.resource_id: r for r in payload_rows()}
            held = payload.destination(pc, rows[HELD_ROW])
            old = digest(pc.scenario.to_unix(held).read_bytes())
            holder = hold(pc, helper("hold_file.exe"), ["replacement", held])
            failed = fault_sweep.run_update(pc, {"UPDATER_FAULT_AT": key.text()})
            pending = pc.scenario.reg_query(SESSION_MANAGER, "PendingFileRenameOperations",
                                            view="64" if arch == "64" else "32")
            during = snapshot(pc)
            again = fault_sweep.run_update(pc, {})
            unchanged = compare(during, snapshot(pc))
            # The restart: every program ends, and the new session's start
            # carries out the pending renames.
            holder.proc.kill()
            pc.scenario.stop()
            pc.scenario.start()
            restored = digest(pc.scenario.to_unix(held).read_bytes())
            after_restart = snapshot(pc)
            completed = fault_sweep.run_update(pc, {})
            verdict = classify(snapshot(pc), reference.before, reference.after)
            return dict(failed=failed, pending=pending, again=again, unchanged=unchanged, held=held, old=old,
                        restored=restored,
                        # The stand-in services are not started by a new session of Wine.
                        after_restart=[d for d in compare(reference.before, after_restart)
                                       if not d.startswith("service ")],
                        completed=completed, verdict=verdict)

    return job


class RollbackPutBackTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_program(fault_sweep.faults_exe())
        cls.runs = run_batch({arch: put_back_job(arch) for arch in usable_arches()})

    def test_a_held_new_file_is_put_back_at_the_restart_and_the_next_run_completes_the_update(self):
        for arch, outcome in self.runs.items():
            with self.subTest(arch=arch):
                run = outcome.get()
                self.assertEqual(RESTART_NEEDED, run["failed"].exit_code, run["failed"].describe())
                # Pairs of (from, to); "!" asks for the file there to be replaced.
                listed = [name.lower() for name in (run["pending"] or (None, []))[1]]
                self.assertIn("!\\??\\" + run["held"].lower(), listed, "the put-back is not pending")
                aside = listed[listed.index("!\\??\\" + run["held"].lower()) - 1]
                self.assertRegex(aside, r"core-ui\.dll\.tmp\.\d+-\d+$")
                self.assertEqual(RESTART_NEEDED, run["again"].exit_code, run["again"].describe())
                self.assertEqual([], run["unchanged"], "a run before the restart changed the PC")
                self.assertEqual(run["old"], run["restored"], "the restart did not put the old file back")
                self.assertEqual([], run["after_restart"][:5], "the PC after the restart is not as before")
                self.assertEqual(0, run["completed"].exit_code, run["completed"].describe())
                self.assertEqual("new", run["verdict"], run["verdict"].differences[:5])


if __name__ == "__main__":
    unittest.main()
