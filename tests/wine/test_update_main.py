"""The update doing its main work: on a simulated PC with Mirevo 2.0.1.12040
and its files installed, updater.exe replaces exactly the files whose
versions lie in their rows' windows with the payload it carries, byte for
byte and with the rows' times, reports "Update completed successfully." and
leaves no work folder behind."""

import os
import unittest

from harness import run_batch, run_program, stage_program, updater_exe
from testbed.simulated_pc import InstalledPayload, InstalledProduct, SimulatedPC, Storyloom, payload_rows
from testbed.payload_rows import digest, new_payload_file
from updater_runs import EXIT_OK, UpdaterAssertions, require_program, require_updater, retired_notice

# Mirevo 2.0.1.12040 gets the notice about all three retired link functions first.
COMPLETED = [retired_notice(), ("Update completed successfully.", "none", ["OK"])]
FIRST_GROUP = range(499, 512)
SECOND_GROUP = range(512, 525)
TIME_2013 = 1378864800  # 2013-09-11 02:00:00 UTC
TIME_2015 = 1429236000  # 2015-04-17 02:00:00 UTC


def update_job(arch, payload, extra=()):
    def job():
        with SimulatedPC(arch, "en_US.UTF-8", [InstalledProduct(), payload, *extra], f"update-{arch}") as pc:
            before = {}
            for row in payload_rows():
                path = pc.scenario.to_unix(payload.destination(pc, row))
                before[row.resource_id] = digest(path.read_bytes()) if path.exists() else None
            exe = stage_program(pc.scenario, updater_exe())
            result = run_program(pc.scenario, exe, answers=["ok"] * 5, timeout=600)
            after, times = {}, {}
            for row in payload_rows():
                path = pc.scenario.to_unix(payload.destination(pc, row))
                after[row.resource_id] = digest(path.read_bytes()) if path.exists() else None
                times[row.resource_id] = int(os.stat(path).st_mtime) if path.exists() else None
            users = pc.scenario.drive_c / "users"
            work_folders = [str(p) for p in users.glob("*/**/Temp/updater.exe.tmp")]
            return result, before, after, times, work_folders

    return job


class UpdateMainTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        require_program(new_payload_file(401))
        cls.new = {row.resource_id: digest(new_payload_file(row.resource_id).read_bytes()) for row in payload_rows()}
        cls.runs = run_batch({
            "64": update_job("64", InstalledPayload()),
            "32": update_job("32", InstalledPayload()),
            "edges": update_job("64", InstalledPayload(missing=[404], per_row={401: "max", 402: "above",
                                                                                403: "none"}),
                                [Storyloom.old()]),
        })

    def test_every_installed_file_in_its_window_is_replaced(self):
        for name in ("64", "32"):
            with self.subTest(name):
                result, before, after, times, work_folders = self.runs[name].get()
                self.assertBoxes(result, COMPLETED)
                self.assertExitCode(result, EXIT_OK)
                for rid, installed in after.items():
                    # The two variant groups share their files: the modern edition's group is installed.
                    expected = self.new[rid - 13] if rid in SECOND_GROUP else self.new[rid]
                    self.assertEqual(expected, installed, f"row {rid}")
                    self.assertNotEqual(before[rid], installed, f"row {rid} was not replaced")
                self.assertEqual(TIME_2013, times[401])
                self.assertEqual(TIME_2015, times[533])
                self.assertEqual([], work_folders)

    def test_window_edges_missing_files_and_the_old_edition(self):
        result, before, after, times, _ = self.runs["edges"].get()
        self.assertBoxes(result, COMPLETED)
        self.assertExitCode(result, EXIT_OK)
        self.assertEqual(self.new[401], after[401], "a file at its window's maximum is replaced")
        self.assertEqual(before[402], after[402], "a file above its window is left alone")
        self.assertEqual(self.new[403], after[403], "a file without version is replaced")
        self.assertIsNone(after[404], "a missing file is not added")
        for rid in SECOND_GROUP:
            self.assertEqual(self.new[rid], after[rid], f"old edition: row {rid}")


if __name__ == "__main__":
    unittest.main()
