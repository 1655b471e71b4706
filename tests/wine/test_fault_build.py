"""updater_faults.exe, the updater with its calls that change or read the PC
wrapped: a counting run logs a key for each call of every phase (files,
registry, services), two counting runs on the same PC log the same keys, a
run that names one key fails exactly that call as the function would, and a
run told to end there ends with no closing message."""

import re
import unittest
from collections import Counter

from harness import run_batch, run_program, stage_program
from testbed.simulated_pc import InstalledPayload, InstalledProduct, SimulatedPC, StandInService
from updater_runs import UpdaterAssertions, require_program
from wineprefix import build_dir

PROGRAM = "updater_faults.exe"
KEY = re.compile(r"^([A-Za-z]\w+)\t(0x[0-9a-f]{8})\t([^\t]*)\t([1-9][0-9]*)$")
PRODUCT_FILE = "\\Orvane\\Mirevo\\core-ui.dll"
SHARING_VIOLATION = 0x80070020
KILLED = 0xC000013A
POLL = "QueryServiceStatusEx\t"


def faults_exe():
    return build_dir() / PROGRAM


def fault_job(name, variables=None):
    """Runs updater_faults.exe on a PC with the product, its files and a running
    service; returns the run and the lines of its log."""

    def job():
        parts = [InstalledProduct(), InstalledPayload(), StandInService("QVLDms", running=True)]
        with SimulatedPC("64", "en_US.UTF-8", parts, name) as pc:
            log = pc.scenario.scratch_file("faults.log")
            exe = stage_program(pc.scenario, faults_exe())
            env = {"UPDATER_FAULT_LOG": pc.scenario.to_windows(log), **(variables or {})}
            result = run_program(pc.scenario, exe, answers=["ok"] * 5, timeout=600, env=env)
            lines = log.read_text(encoding="utf-8").split("\n") if log.exists() else []
            # A line is complete once its line feed is there.
            return result, [line for line in lines[:-1]]

    return job


def keys(lines):
    return [line for line in lines if not line.startswith("FAULT\t")]


class FaultBuildTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_program(faults_exe())
        cls.counted = run_batch({"count-a": fault_job("count-a"), "count-b": fault_job("count-b")})
        _, lines = cls.counted["count-a"].get()
        # The first new file written for a product file: its creation fails
        # as if another program held the name.
        cls.chosen = next((line for line in lines if line.startswith("CreateFileW\t")
                           and PRODUCT_FILE + ".new.*\t" in line), None)
        if cls.chosen is None:
            raise AssertionError(f"no CreateFileW of {PRODUCT_FILE}.new.* in the counting log")
        cls.faulted = run_batch({
            "fail": fault_job("fault-fail", {"UPDATER_FAULT_AT": cls.chosen}),
            "kill": fault_job("fault-kill", {"UPDATER_FAULT_AT": cls.chosen, "UPDATER_FAULT_KILL": "1"}),
        })

    def test_a_counting_run_logs_every_phase_with_well_formed_keys(self):
        result, lines = self.counted["count-a"].get()
        self.assertExitCode(result, 0)
        self.assertEqual([], [line for line in lines if not KEY.match(line)], "malformed lines")
        triples = Counter()
        for line in lines:
            function, site, target, occurrence = KEY.match(line).groups()
            triples[(function, site, target)] += 1
            self.assertEqual(triples[(function, site, target)], int(occurrence), line)

        def calls(function, target):
            return [line for line in lines if line.startswith(function + "\t") and target.search(line)]

        product_file = re.compile(re.escape(PRODUCT_FILE) + r"\t")
        for function, target in (("CreateFileW", product_file), ("MoveFileExW", product_file),
                                 ("RegSetValueExW", re.compile(r"\tHKLM\(64\)\\SOFTWARE\\Microsoft\\Internet "
                                                               r"Explorer\\ActiveX Compatibility\\\{[^|]+\}"
                                                               r"\|Compatibility Flags\t")),
                                 ("ControlService", re.compile(r"\tQVLDms\t")),
                                 ("StartServiceW", re.compile(r"\tQVLDms\t")),
                                 ("NtCreateFile", re.compile(r"\t[^\t]*\\Temp\\updater_faults\.exe\.tmp\t"))):
            with self.subTest(function):
                self.assertTrue(calls(function, target), f"no {function} on {target.pattern}")

    def test_two_counting_runs_on_the_same_pc_give_the_same_keys(self):
        _, first = self.counted["count-a"].get()
        _, second = self.counted["count-b"].get()
        self.assertGreater(len(first), 1000)
        # The order may differ: a background thread flushes and renames files.
        # A service's status is read as often as its stop or start takes: only
        # which reads there are is the same.
        def stable(lines):
            return Counter(line for line in lines if not line.startswith(POLL))

        def polls(lines):
            return {line.rsplit("\t", 1)[0] for line in lines if line.startswith(POLL)}

        self.assertEqual(stable(first), stable(second))
        self.assertEqual(polls(first), polls(second))
        self.assertTrue(polls(first))

    def test_the_chosen_call_fails_as_the_function_fails(self):
        result, lines = self.faulted["fail"].get()
        self.assertEqual(["FAULT\t" + self.chosen], [line for line in lines if line.startswith("FAULT\t")])
        self.assertEqual(1, keys(lines).count(self.chosen))
        self.assertExitCode(result, SHARING_VIOLATION)
        failures = [line for line in result.trace(PROGRAM) if line.startswith("file: ")
                    and line.endswith(": 0x80070020")]
        self.assertTrue(failures and PRODUCT_FILE in failures[0], result.trace(PROGRAM))
        self.assertEqual("Package Update Failed.\r\n(code = 0x80070020)", result.boxes[-1].text)

    def test_a_killed_run_ends_at_the_chosen_call_with_no_closing_message(self):
        result, lines = self.faulted["kill"].get()
        self.assertExitCode(result, KILLED)
        self.assertEqual([self.chosen, "FAULT\t" + self.chosen], lines[-2:])
        self.assertEqual(1, len(result.boxes), result.describe())  # the retired-feature notice alone
        self.assertEqual([], [line for line in result.trace(PROGRAM) if line.startswith("end: ")])


if __name__ == "__main__":
    unittest.main()
