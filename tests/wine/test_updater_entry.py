"""updater.exe on simulated PCs: start-up checks, applicability, silent mode
and the outcome messages, on the 64-bit (WOW64) and the 32-bit platform."""

import unittest

from harness import Watcher, run_batch, stage_program, start_program, updater_exe
from testbed.simulated_pc import InstalledProduct, SimulatedPC, UpdateTool
from updater_runs import (ENGLISH, EXIT_ACCESS_DENIED, EXIT_ALREADY_RUNNING, EXIT_OK,
                          MINIMUM_VERSION, TARGET_VERSION, UpdaterAssertions, require_updater,
                          updater_job)

NOTHING_TO_UPDATE = [(ENGLISH[1203], "none", ["OK"])]
NOT_APPLICABLE = [(ENGLISH[202], "hand", ["OK"]), (ENGLISH[1211], "none", ["OK"])]
NEWER_INSTALLED = [(ENGLISH[203], "hand", ["OK"]), (ENGLISH[1211], "none", ["OK"])]


def second_instance_job():
    """A first updater holds its refusal box open (and so its mutex) while a
    second one starts; then the first box is answered."""
    with SimulatedPC("64", components=[], name="second-instance") as pc:
        exe = stage_program(pc.scenario, updater_exe())
        with Watcher(pc.scenario, answers=["hold-ok", "ok", "ok"]) as watcher:
            first = start_program(pc.scenario, exe)
            watcher.wait_for_boxes(1)
            second_code = pc.scenario.run_exit_code(exe)
            first_was_running = first.running()
            watcher.wait_for_boxes(2)
            watcher.release(1)
            first_code = first.wait()
            watcher.wait_for_boxes(3)
        return {"first": first_code, "second": second_code,
                "first_was_running": first_was_running, "boxes": watcher.boxes()}


def jobs():
    installed = InstalledProduct
    j = {}
    for arch in ("64", "32"):
        j[f"minimum-{arch}"] = updater_job(arch, [installed(MINIMUM_VERSION)])
        j[f"no-product-{arch}"] = updater_job(arch, [])
    j["below-target"] = updater_job("64", [installed("2.2.3.04169")])
    j["missing-version-file"] = updater_job("64", [installed(version_file=False)])
    j["default-path"] = updater_job("32", [installed(registry_value=False)])
    j["below-minimum"] = updater_job("64", [installed("2.0.1.12039")])
    j["no-version-word"] = updater_job("32", [installed(version_word=False)])
    j["target-installed"] = updater_job("64", [installed(TARGET_VERSION)])
    j["newer-installed"] = updater_job("64", [installed("3.0.0.00000")])
    j["newer-installed-32"] = updater_job("32", [installed("3.0.0.00000")])
    j["deny-admins"] = updater_job("64", [installed(MINIMUM_VERSION)], deny_admins=True)
    j["silent-refusal"] = updater_job("64", [UpdateTool.silent()])
    j["silent-applicable"] = updater_job("64", [installed(), UpdateTool.silent()])
    j["silent-deny-admins"] = updater_job("32", [installed(), UpdateTool.silent()],
                                          deny_admins=True)
    j["launch-installer-2"] = updater_job("64", [UpdateTool(("REG_DWORD", 2))])
    j["launch-installer-string"] = updater_job("64", [UpdateTool(("REG_SZ", "1"))])
    j["second-instance"] = second_instance_job
    return j


class UpdaterEntryTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        cls.runs = run_batch(jobs())

    def run_of(self, name):
        return self.runs[name].get()

    # Applicable installed versions: the payload table selects nothing yet.

    def test_minimum_version_is_applicable(self):
        for arch in ("64", "32"):
            with self.subTest(arch=arch):
                result = self.run_of(f"minimum-{arch}")
                self.assertBoxes(result, NOTHING_TO_UPDATE)
                self.assertExitCode(result, EXIT_OK)

    def test_version_just_below_target_is_applicable(self):
        result = self.run_of("below-target")
        self.assertBoxes(result, NOTHING_TO_UPDATE)
        self.assertExitCode(result, EXIT_OK)

    def test_version_file_at_default_path_is_found(self):
        result = self.run_of("default-path")
        self.assertBoxes(result, NOTHING_TO_UPDATE)
        self.assertExitCode(result, EXIT_OK)

    # Refusals: the reason with the stop icon, then the cancellation.

    def test_refused_without_applicable_installation(self):
        cases = ["no-product-64", "no-product-32", "missing-version-file", "below-minimum",
                 "no-version-word"]
        for name in cases:
            with self.subTest(name):
                result = self.run_of(name)
                self.assertBoxes(result, NOT_APPLICABLE)
                self.assertExitCode(result, EXIT_OK)

    def test_refused_when_target_or_newer_installed(self):
        for name in ("target-installed", "newer-installed", "newer-installed-32"):
            with self.subTest(name):
                result = self.run_of(name)
                self.assertBoxes(result, NEWER_INSTALLED)
                self.assertExitCode(result, EXIT_OK)

    # Administrator rights.

    def test_deny_only_administrators_is_refused(self):
        result = self.run_of("deny-admins")
        self.assertBoxes(result, [(ENGLISH[1200], "exclamation", ["OK"])])
        self.assertExitCode(result, EXIT_ACCESS_DENIED)

    # Silent mode: LaunchInstaller = 1 (a DWORD) alone silences the boxes.

    def test_silent_mode_shows_no_window(self):
        for name, code in (("silent-refusal", EXIT_OK), ("silent-applicable", EXIT_OK),
                           ("silent-deny-admins", EXIT_ACCESS_DENIED)):
            with self.subTest(name):
                result = self.run_of(name)
                self.assertNoWindow(result)
                self.assertExitCode(result, code)

    def test_other_launch_installer_values_keep_the_boxes(self):
        for name in ("launch-installer-2", "launch-installer-string"):
            with self.subTest(name):
                result = self.run_of(name)
                self.assertBoxes(result, NOT_APPLICABLE)
                self.assertExitCode(result, EXIT_OK)

    # Single instance.

    def test_second_instance_is_refused_while_first_runs(self):
        run = self.run_of("second-instance")
        boxes = run["boxes"]
        summary = "\n".join(b.summary() for b in boxes)
        self.assertEqual([ENGLISH[202], ENGLISH[1201], ENGLISH[1211]],
                         [b.text for b in boxes], summary)
        first_pid, second_pid = boxes[0].pid, boxes[1].pid
        self.assertNotEqual(first_pid, second_pid, summary)
        self.assertEqual(first_pid, boxes[2].pid, summary)
        self.assertEqual(("none", ["OK"]), (boxes[1].icon, boxes[1].buttons), summary)
        self.assertTrue(all(b.caption == ENGLISH[200] for b in boxes), summary)
        self.assertTrue(run["first_was_running"])
        self.assertEqual(f"0x{EXIT_ALREADY_RUNNING:08X}", f"0x{run['second']:08X}")
        self.assertEqual(EXIT_OK, run["first"])


if __name__ == "__main__":
    unittest.main()
