"""The records and the clean-up of a whole update run: after success the patch
list entry, the version file with its counter and record, the uninstall entry
of the installed edition, the retired-feature data removed or kept by area
code, "WEBMEDIA" and the help files removed; after a failed installation none
of it, no ActiveX compatibility key and no work folder left. The
retired-feature notice comes before the session, by area and installed
version."""

import re
import time
import unittest

from harness import run_batch, run_program, stage_program, updater_exe
from test_update_in_use import LOCKED_ROW, hold
from testbed.product_records import PATCH_ID, RETIRED_USER_VALUE, RetiredFeatureData
from testbed.simulated_pc import (AreaSettings, InstalledPayload, InstalledProduct, PackageKey, SimulatedPC,
                                  UninstallEntries, payload_rows, read_records)
from updater_runs import TARGET_VERSION, UpdaterAssertions, require_program, require_updater, retired_notice
from wineprefix import build_dir, helper

COMPLETED = ("Update completed successfully.", "none", ["OK"])
SHARING_VIOLATION = 0x80070020
OLD_RECORD = (b"Updated_1_Date=2014/2/3 10:00:00\r\nUpdated_1_ProductName=Mirevo Update\r\n"
              b"Updated_1_Version=2.2.1.00000\r\nUpdated_1_ProductGUID={5B1E3A7C-92D4-4F08-A6C3-1D7E8F20B94A}\r\n")
PICTURES = ["Album", "Album\\Thumbs", "Album\\Thumbs\\one.jpg", "Album\\one.jpg", "Album\\two.jpg", "cover.jpg"]


ACTIVEX_KEY = r"HKLM\SOFTWARE\Microsoft\Internet Explorer\ActiveX Compatibility"


def record_lines(n, description):
    """The four lines of update record n, the date as a pattern."""
    return [rf"Updated_{n}_Date=20\d\d/1?\d/[1-3]?\d [0-2]\d:[0-5]\d:[0-5]\d",
            re.escape(f"Updated_{n}_ProductName={description}"),
            re.escape(f"Updated_{n}_Version={TARGET_VERSION}"),
            re.escape(f"Updated_{n}_ProductGUID={{5B1E3A7C-92D4-4F08-A6C3-1D7E8F20B94A}}")]


def marked_classes(pc, arch):
    """How many classes have an ActiveX compatibility key."""
    marked = pc.scenario.run(["reg", "query", ACTIVEX_KEY, "/reg:64" if arch == "64" else "/reg:32"],
                             check=False).stdout.decode("ascii", "replace")
    return sum(1 for line in marked.splitlines() if line.startswith("HKEY_"))


def run_job(arch, components, name, prepare=None):
    def job():
        with SimulatedPC(arch, "en_US.UTF-8", components, name) as pc:
            if prepare:
                prepare(pc)
            before = read_records(pc)
            classes_before = marked_classes(pc, arch)
            days = [time.strftime("%Y%m%d")]
            result = run_program(pc.scenario, stage_program(pc.scenario, updater_exe()), answers=["ok"] * 3,
                                 timeout=600)
            days.append(time.strftime("%Y%m%d"))
            work_folders = list((pc.scenario.drive_c / "users").glob("*/**/Temp/updater.exe*.tmp"))
            return dict(result=result, before=before, after=read_records(pc), days=days, work_folders=work_folders,
                        marked_classes_before=classes_before, marked_classes=marked_classes(pc, arch))

    return job


def hold_locked_row(pc):
    payload = pc.component(InstalledPayload)
    row = next(r for r in payload_rows() if r.resource_id == LOCKED_ROW)
    pc.keep_process(hold(pc, helper("hold_file.exe"), ["open", payload.destination(pc, row)]).proc)


class RecordsAfterUpdateTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        require_program(build_dir() / "payload" / "files" / "401.bin")
        require_program(helper("hold_file.exe"))
        chinese_version_file = (b"2.2.1.00000\r\n2.0.1.12040\r\nVersion=2.0.1.12040\r\n\r\nUpdateCount=1\r\n"
                                + OLD_RECORD)
        cls.runs = run_batch({
            "64": run_job("64", [InstalledProduct(), InstalledPayload(), PackageKey(),
                                 UninstallEntries(("64", "32")), RetiredFeatureData()], "records-64"),
            "32-chinese": run_job("32", [InstalledProduct("2.2.1.00000", content=chinese_version_file),
                                         InstalledPayload(), PackageKey(), UninstallEntries(),
                                         AreaSettings(release_area="cns_CN"), RetiredFeatureData()],
                                  "records-32-chinese"),
            "failed": run_job("64", [InstalledProduct("2.2.1.00000"), InstalledPayload(), PackageKey(),
                                     UninstallEntries(("64",)),
                                     RetiredFeatureData(web_media=("REG_SZ", "1"))],
                              "records-failed", hold_locked_row),
        })

    def assertRecordsWritten(self, run, edition_written, edition_untouched=None):
        after = run["after"]
        description = after["patch_list"]["patchname"][1]
        self.assertIn("Mirevo", description)
        self.assertEqual({"patchid": ("REG_SZ", PATCH_ID), "patchname": ("REG_SZ", description),
                          "version": ("REG_SZ", TARGET_VERSION)}, after["patch_list"])
        self.assertIsNone(after["patch_list_64"], "the patch list entry belongs to the 32-bit view")
        written = after["uninstall"][edition_written]
        self.assertEqual(("REG_SZ", TARGET_VERSION), written["DisplayVersion"])
        self.assertIn(written["InstallDate"][1], run["days"])
        if edition_untouched:
            self.assertEqual(run["before"]["uninstall"][edition_untouched], after["uninstall"][edition_untouched])
        self.assertEqual([], run["work_folders"])
        return description

    def test_records_and_clean_up_after_success(self):
        run = self.runs["64"].get()
        self.assertBoxes(run["result"], [retired_notice(internet_content=True),
                                         COMPLETED])
        self.assertExitCode(run["result"], 0)
        description = self.assertRecordsWritten(run, "64", "32")
        self.assertEqual(108, run["marked_classes"])
        lines = run["after"]["version_file"].decode("latin-1").split("\r\n")
        expected = [re.escape(TARGET_VERSION), "2\\.0\\.1\\.12040", "Version=2\\.0\\.1\\.12040", "UpdateCount=1",
                    *record_lines(1, description), ""]
        self.assertEqual(len(expected), len(lines), lines)
        for pattern, line in zip(expected, lines):
            self.assertRegex(line, f"^{pattern}$")
        after = run["after"]
        self.assertFalse(after["user_file"])
        self.assertEqual(("REG_DWORD", 0), after["user_values"][RETIRED_USER_VALUE])
        self.assertEqual(("REG_SZ", "Library"), after["user_values"]["LastView"])
        self.assertIsNone(after["pictures"], "the picture folder with its read-only entries is gone")
        self.assertIsNone(after["web_media"])
        self.assertIn("InstallPath", after["travio_machine"])
        self.assertEqual([], [f for f, present in after["help_files"].items() if present])
        self.assertTrue(after["product_help"])

    def test_chinese_release_keeps_the_link_data(self):
        run = self.runs["32-chinese"].get()
        self.assertBoxes(run["result"], [COMPLETED])  # no notice for area code 1
        self.assertExitCode(run["result"], 0)
        # 32-bit Windows has no 64-bit edition: the 32-bit edition's entry is written.
        description = self.assertRecordsWritten(run, "32")
        text = run["after"]["version_file"].decode("latin-1")
        self.assertTrue(text.startswith(f"{TARGET_VERSION}\r\n2.2.1.00000\r\n2.0.1.12040\r\nVersion=2.0.1.12040\r\n"
                                        "UpdateCount=2\r\n" + OLD_RECORD.decode()), text)
        lines = text.split("\r\n")[-5:]
        for pattern, line in zip(record_lines(2, description) + [""], lines):
            self.assertRegex(line, f"^{pattern}$")
        after, before = run["after"], run["before"]
        self.assertTrue(after["user_file"])
        self.assertEqual(("REG_DWORD", 1), after["user_values"][RETIRED_USER_VALUE])
        self.assertEqual(PICTURES, after["pictures"])
        self.assertIsNone(after["web_media"])
        self.assertTrue(all(before["help_files"].values()))
        self.assertEqual([], [f for f, present in after["help_files"].items() if present])

    def test_failed_installation_writes_and_removes_nothing(self):
        run = self.runs["failed"].get()
        failed = ("Package Update Failed.\r\n(code = 0x80070020)", "hand", ["OK"])
        # Newer than 2.2.0.00000: two services; "WEBMEDIA" as text is not in use.
        self.assertBoxes(run["result"], [retired_notice("Facebook", "YouTube"), failed])
        self.assertExitCode(run["result"], SHARING_VIOLATION)
        before, after = run["before"], run["after"]
        self.assertIsNone(after["patch_list"])
        for key in ("version_file", "uninstall", "web_media", "user_values", "user_file", "pictures",
                    "help_files"):
            self.assertEqual(before[key], after[key], key)
        self.assertEqual(("REG_SZ", "1"), after["web_media"])
        # The files fail before the registry: no script imported, no class marked.
        self.assertEqual(run["marked_classes_before"], run["marked_classes"])
        self.assertEqual([], run["work_folders"], "the work folder stayed")


if __name__ == "__main__":
    unittest.main()
