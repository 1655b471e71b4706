"""The progress window on a 1920x1080 screen: where it lands, what it shows,
and a screenshot of it. progress_probe.exe runs a session whose work takes a
few seconds, with the updater's own resources."""

import shutil
import unittest

from harness import run_batch, run_program, stage_program, updater_exe
from pe_strings import string_tables
from testbed.simulated_pc import SimulatedPC
from updater_runs import UpdaterAssertions, probe_exe, require_program, require_updater
from wineprefix import build_dir

SCREEN = (1920, 1080)


def probe():
    return probe_exe("progress_probe.exe")


def screenshots_dir():
    return build_dir() / "screenshots" / "progress-window"


def window_job(lang, arch):
    def job():
        shots = screenshots_dir() / f"{arch}-{lang}"
        shutil.rmtree(shots, ignore_errors=True)
        with SimulatedPC(arch, lang, [], f"progress-{arch}") as pc:
            exe = stage_program(pc.scenario, probe())
            result = run_program(pc.scenario, exe, ["4000"], screenshots=shots)
        return result, sorted(shots.glob("*-progress.png"))

    return job


class ProgressWindowTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        require_program(probe())
        cls.tables = string_tables(updater_exe())
        cls.runs = run_batch({"en-64": window_job("en_US.UTF-8", "64"),
                              "ja-32": window_job("ja_JP.UTF-8", "32")})

    def test_window_is_centred_and_shows_the_catalogue_texts(self):
        for name, lang_id in (("en-64", 0x0409), ("ja-32", 0x0411)):
            with self.subTest(name):
                result, shots = self.runs[name].get()
                self.assertExitCode(result, 0)
                self.assertBoxes(result, [])
                windows = result.progress_windows
                self.assertEqual(1, len(windows), result.describe())
                window = windows[0]
                left, top, right, bottom = window.rect
                width, height = right - left, bottom - top
                self.assertEqual((SCREEN[0] // 2 - width // 2, SCREEN[1] // 2 - height // 2), (left, top),
                                 f"window at {window.rect}")
                table = self.tables[lang_id]
                self.assertEqual(table[200], window.title)
                self.assertEqual(table[1230].replace("\r\n", "\n"), window.text.replace("\r\n", "\n"))
                self.assertTrue(window.bar_style & 0x08, "the bar is not a marquee")
                self.assertTrue(shots, "no screenshot of the progress window was taken")


if __name__ == "__main__":
    unittest.main()
