"""The TV-recording step before the session: the question, the user's answer,
the quit switch sent to the running application, and the relaunch flag.

The updater reaches the step only when its install list has rows, so the step
is driven through tv_recorder_probe.exe, which runs it alone with the
updater's own resources. Its exit code: 2 the step returned and the
application is to be started again after the update, 0 the step returned with
nothing to do, 1 the user declined and the run ended."""

import unittest

from harness import run_batch, run_program, stage_program, updater_exe
from pe_strings import string_tables
from testbed.simulated_pc import SimulatedPC, TvRecorder, UpdateTool
from updater_runs import UpdaterAssertions, probe_exe, require_program, require_updater
from wineprefix import helper

RELAUNCH_PENDING = 2
NOTHING_DONE = 0
DECLINED = 1
JAPANESE = 0x0411


def probe():
    return probe_exe("tv_recorder_probe.exe")


def step_job(components, answers=(), lang="en_US.UTF-8", name="tv", before_run=None):
    def job():
        with SimulatedPC("64", lang, components, name) as pc:
            if before_run:
                before_run(pc)
            exe = stage_program(pc.scenario, probe())
            result = run_program(pc.scenario, exe, answers=answers, timeout=120)
            recorder = pc.component(TvRecorder)
            log = recorder.log_lines(pc) if recorder else []
            return result, log

    return job


def run_elsewhere(pc):
    """Starts the stand-in from a folder other than the one under Program Files."""
    path = "C:\\users\\Public\\Kestrav.exe"
    pc.scenario.write_file(path, helper("kestrav.exe").read_bytes())
    pc.keep_process(pc.scenario.spawn([path]))
    pc.scenario.run(["cmd", "/c", "ping -n 2 127.0.0.1 > nul"], check=False)


def jobs():
    return {
        "yes": step_job([TvRecorder()], ["yes"], name="tv-yes"),
        "no-japanese": step_job([TvRecorder()], ["no", "ok"], "ja_JP.UTF-8", "tv-no"),
        "no-silent": step_job([TvRecorder(), UpdateTool.silent()], ["yes"], name="tv-silent"),
        "not-running": step_job([TvRecorder(running=False)], name="tv-idle"),
        "not-installed": step_job([], name="tv-elsewhere", before_run=run_elsewhere),
    }


class TvRecorderStepTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        require_program(probe())
        cls.tables = string_tables(updater_exe())
        cls.runs = run_batch(jobs())

    def test_yes_sends_the_quit_switch_and_marks_the_relaunch(self):
        result, log = self.runs["yes"].get()
        # Message 205 exists only in Japanese: elsewhere the question is empty.
        self.assertBoxes(result, [("", "exclamation", ["Yes", "No"])])
        self.assertExitCode(result, RELAUNCH_PENDING)
        self.assertTrue(any(line.startswith("quit-request") and "/q" in line for line in log), log)
        self.assertTrue(any(line.startswith("exit") for line in log), log)

    def test_no_ends_the_run_with_the_cancellation(self):
        result, log = self.runs["no-japanese"].get()
        ja = self.tables[JAPANESE]
        self.assertTrue(ja.get(205), "the Japanese catalogue lacks message 205")
        self.assertBoxes(result, [(ja[205], "exclamation", ["Yes", "No"]), (ja[1211], "none", ["OK"])],
                         caption=ja[200])
        self.assertExitCode(result, DECLINED)
        self.assertFalse(any(line.startswith("quit-request") for line in log), log)

    def test_silent_mode_does_not_ask_and_declines(self):
        result, log = self.runs["no-silent"].get()
        self.assertBoxes(result, [])
        self.assertExitCode(result, DECLINED)
        self.assertFalse(any(line.startswith("quit-request") for line in log), log)

    def test_nothing_to_ask_when_not_running_or_not_installed(self):
        for name in ("not-running", "not-installed"):
            with self.subTest(name):
                result, log = self.runs[name].get()
                self.assertBoxes(result, [])
                self.assertExitCode(result, NOTHING_DONE)
                self.assertFalse(any(line.startswith("quit-request") for line in log), log)


if __name__ == "__main__":
    unittest.main()
