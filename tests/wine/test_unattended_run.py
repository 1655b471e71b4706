"""updater.exe where nobody can answer or where someone tries to stall it: in
a window station that no user sees (a deployment tool's run as the system
account) it behaves as a silent run, a debug-output viewer that never reads
does not slow it down, and its trace is written only where an administrator
asked for it."""

import unittest

from harness import run_batch, run_program, stage_program, updater_exe
from testbed.simulated_pc import InstalledPayload, InstalledProduct, SimulatedPC
from updater_runs import ENGLISH, EXIT_OK, UpdaterAssertions, hold, require_program, require_updater
from wineprefix import TRACE_SWITCH_KEY, build_dir, helper

# One line that waited for the unread viewer would take 10 s; a run that waited
# for each of its lines would take far longer than this.
STALLED_RUN_SECONDS = 60


def update_job(name, hidden_station=False, unread_viewer=False, trace_switch=True):
    def job():
        with SimulatedPC("64", "en_US.UTF-8", [InstalledProduct(), InstalledPayload()], name) as pc:
            if not trace_switch:
                pc.scenario.reg_delete(TRACE_SWITCH_KEY, view="64")
            if unread_viewer:
                pc.keep_process(hold(pc, helper("unread_debug_output.exe"), []).proc)
            exe = stage_program(pc.scenario, updater_exe())
            return run_program(pc.scenario, exe, answers=["ok"] * 5, timeout=600,
                               hidden_station=hidden_station)

    return job


def refusal_job(trace_switch):
    def job():
        with SimulatedPC("64", "en_US.UTF-8", [], "no-product") as pc:
            if not trace_switch:
                pc.scenario.reg_delete(TRACE_SWITCH_KEY, view="64")
            exe = stage_program(pc.scenario, updater_exe())
            return run_program(pc.scenario, exe, answers=["ok"] * 2)

    return job


class UnattendedRunTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        require_program(build_dir() / "payload" / "files" / "401.bin")
        require_program(helper("unread_debug_output.exe"))
        cls.runs = run_batch({
            "hidden-station": update_job("hidden-station", hidden_station=True),
            "unread-viewer": update_job("unread-viewer", unread_viewer=True),
            "refusal-traced": refusal_job(trace_switch=True),
            "refusal-untraced": refusal_job(trace_switch=False),
        })

    def run_of(self, name):
        return self.runs[name].get()

    def test_a_station_nobody_sees_makes_the_run_silent(self):
        result = self.run_of("hidden-station")
        # The watcher looks at the user's desktop: a box on the hidden one
        # would never be answered and the run would not have ended.
        self.assertNoWindow(result)
        self.assertExitCode(result, EXIT_OK)
        self.assertIn("start: update to 2.2.3.04170, silent (no visible window station)", result.trace())
        self.assertIn("end: exit code 0x00000000", result.trace())

    def test_a_viewer_that_never_reads_does_not_stall_the_run(self):
        result = self.run_of("unread-viewer")
        self.assertExitCode(result, EXIT_OK)
        self.assertEqual("Update completed successfully.", result.boxes[-1].text, result.describe())
        self.assertLess(result.process_seconds, STALLED_RUN_SECONDS)

    def test_the_trace_is_written_only_when_switched_on(self):
        traced, untraced = self.run_of("refusal-traced"), self.run_of("refusal-untraced")
        for result in (traced, untraced):
            self.assertExitCode(result, EXIT_OK)
            self.assertEqual([ENGLISH[202], ENGLISH[1211]], [b.text for b in result.boxes])
        self.assertIn("end: message 202, exit code 0x00000000", traced.trace())
        self.assertEqual([], untraced.trace())


if __name__ == "__main__":
    unittest.main()
