"""Nothing installed that was not verified, and a work folder that nobody
can swap. A work folder squatted before the run as a link to a folder of the
user's: Wine renames what a Linux link points to rather than the link, so the
updater puts that folder back where it was and works in a fresh folder of a
name nobody can predict (on Windows the link itself is renamed aside and the
update goes on in a fresh folder of the usual name). A folder of the work
folder's name that another program holds open without delete sharing cannot
be renamed aside either: the update goes on in a fresh folder, imports the
registry script from there and leaves the held folder as it was. A program
whose digest table does not match its payload (the first payload row's digest
and both registry scripts' digests changed) stops at that row with
0x8007000D, leaves the installed file byte-identical and imports no registry
script."""

import os
import re
import struct
import unittest

from harness import run_batch, run_program, stage_program, updater_exe
from testbed.simulated_pc import InstalledPayload, InstalledProduct, SimulatedPC, payload_rows
from testbed.payload_rows import digest, new_payload_file
from updater_runs import EXIT_OK, UpdaterAssertions, hold, require_program, require_updater, retired_notice
from wineprefix import helper

COMPLETED = [retired_notice(), ("Update completed successfully.", "none", ["OK"])]
DIGEST_MISMATCH = 0x8007000D
FAILED = [retired_notice(), ("Package Update Failed.\r\n(code = 0x8007000d)", "hand", ["OK"])]
FIRST_ROW = 401
TABLE_ROWS = 163  # 161 payload files and two registry scripts
WORK_FOLDER = "updater.exe.tmp"
# The fresh folder that stands in for a work folder whose name cannot be had.
FRESH_FOLDER = re.compile(r"work folder: C:\\users\\root\\Temp\\updater\.exe\.[0-9a-f]+-[0-9a-f]{16}\.tmp\\$")
SCRIPT_KEY = r"HKLM\SOFTWARE\Classes\AppID\qvl-catalog.dll"
SCRIPT_APP_ID = "{E17C1097-5EA0-4E85-BABF-3B626A3B266B}"


def user_temp(pc):
    return next((pc.scenario.drive_c / "users").glob("*/Temp"))


def tampered_copy(source, target, ids):
    """A copy of the program with the first byte of each given row's digest flipped."""
    data = bytearray(source.read_bytes())
    start = data.find(b"DGST" + struct.pack("<I", TABLE_ROWS))
    if start < 0 or data.find(b"DGST" + struct.pack("<I", TABLE_ROWS), start + 1) >= 0:
        raise RuntimeError("the digest table is not found once in the program")
    for i in range(TABLE_ROWS):
        row = start + 8 + 40 * i
        if struct.unpack_from("<I", data, row)[0] in ids:
            data[row + 8] ^= 0xFF
    target.write_bytes(bytes(data))
    return target


def fresh_folders(temp):
    return sorted(p.name for p in temp.iterdir() if p.name.startswith("updater.exe.") and p.name != WORK_FOLDER)


def installed(pc, payload):
    result = {}
    for row in payload_rows():
        path = pc.scenario.to_unix(payload.destination(pc, row))
        result[row.resource_id] = digest(path.read_bytes()) if path.exists() else None
    return result


def squatted_job():
    payload = InstalledPayload()
    with SimulatedPC("64", "en_US.UTF-8", [InstalledProduct(), payload], "squatted") as pc:
        outside = pc.scenario.drive_c / "users" / "Public" / "Documents" / "mine"
        outside.mkdir(parents=True, exist_ok=True)
        (outside / "marker.txt").write_bytes(b"the user's own file")
        temp = user_temp(pc)
        os.symlink(outside, temp / WORK_FOLDER)
        before = installed(pc, payload)
        exe = stage_program(pc.scenario, updater_exe())
        result = run_program(pc.scenario, exe, answers=["ok"] * 5, timeout=600)
        after = installed(pc, payload)
        outside_entries = sorted(p.name for p in outside.iterdir())
        marker = (outside / "marker.txt").read_bytes()
        links = [p for p in temp.iterdir() if p.name.startswith(WORK_FOLDER) and p.is_symlink()]
        return result, before, after, outside_entries, marker, [(p.name, os.readlink(p)) for p in links], \
            str(outside), fresh_folders(temp)


def held_folder_job():
    with SimulatedPC("64", "en_US.UTF-8", [InstalledProduct(), InstalledPayload()], "held-folder") as pc:
        held = user_temp(pc) / WORK_FOLDER
        held.mkdir()
        (held / "marker.txt").write_bytes(b"another program's file")
        pc.keep_process(hold(pc, helper("hold_file.exe"), ["folder", pc.scenario.to_windows(held)]).proc)
        exe = stage_program(pc.scenario, updater_exe())
        result = run_program(pc.scenario, exe, answers=["ok"] * 5, timeout=600)
        held_entries = sorted(p.name for p in held.iterdir())
        app_id = pc.scenario.reg_query(SCRIPT_KEY, "AppID", view="64")
        return result, held_entries, fresh_folders(user_temp(pc)), app_id


def tampered_job():
    payload = InstalledPayload()
    with SimulatedPC("64", "en_US.UTF-8", [InstalledProduct(), payload], "tampered") as pc:
        before = installed(pc, payload)
        app_id_before = pc.scenario.reg_query(SCRIPT_KEY, "AppID", view="64")
        copy = pc.scenario.scratch_file("tampered") / "updater.exe"
        copy.parent.mkdir(parents=True, exist_ok=True)
        # The scripts' digests stay right: only the failed files keep the script out.
        tampered_copy(updater_exe(), copy, {FIRST_ROW})
        exe = stage_program(pc.scenario, copy)
        result = run_program(pc.scenario, exe, answers=["ok"] * 5, timeout=600)
        return result, before, installed(pc, payload), app_id_before, \
            pc.scenario.reg_query(SCRIPT_KEY, "AppID", view="64")


class VerifiedInstallTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        require_program(new_payload_file(FIRST_ROW))
        cls.new = {row.resource_id: digest(new_payload_file(row.resource_id).read_bytes()) for row in payload_rows()}
        require_program(helper("hold_file.exe"))
        cls.runs = run_batch({"squatted": squatted_job, "held": held_folder_job, "tampered": tampered_job})

    def assertFreshFolderUsed(self, result):
        used = [line for line in result.trace() if line.startswith("work folder: ") and line.endswith("\\")]
        self.assertEqual(1, len(used), result.describe())
        self.assertRegex(used[0], FRESH_FOLDER)

    def test_a_squatted_link_is_left_alone_and_the_update_goes_on_in_a_fresh_folder(self):
        result, before, after, outside_entries, marker, links, outside, fresh = self.runs["squatted"].get()
        self.assertBoxes(result, COMPLETED)
        self.assertExitCode(result, EXIT_OK)
        self.assertEqual(self.new[FIRST_ROW], after[FIRST_ROW])
        self.assertEqual(["marker.txt"], outside_entries, "a file was written through the link")
        self.assertEqual(b"the user's own file", marker)
        self.assertEqual([(WORK_FOLDER, outside)], links)
        self.assertIn(f"work folder: the link C:\\users\\root\\Temp\\{WORK_FOLDER} cannot be renamed itself; "
                      "what it points to is back in its place", result.trace(), result.describe())
        self.assertFreshFolderUsed(result)
        self.assertEqual([], fresh, "the fresh folder is removed after the update")

    def test_a_work_folder_held_by_another_program_does_not_stop_the_update(self):
        result, held_entries, fresh, app_id = self.runs["held"].get()
        self.assertBoxes(result, COMPLETED)
        self.assertExitCode(result, EXIT_OK)
        self.assertEqual(["marker.txt"], held_entries, "the held folder was changed")
        self.assertFreshFolderUsed(result)
        self.assertEqual(("REG_SZ", SCRIPT_APP_ID), app_id, "the registry script was not imported")
        self.assertEqual([], fresh, "the fresh folder is removed after the update")

    def test_a_payload_that_does_not_match_its_digest_is_never_installed(self):
        result, before, after, app_id_before, app_id = self.runs["tampered"].get()
        self.assertBoxes(result, FAILED)
        self.assertExitCode(result, DIGEST_MISMATCH)
        self.assertNotEqual(self.new[FIRST_ROW], before[FIRST_ROW])
        self.assertEqual([], [rid for rid in before if before[rid] != after[rid]], "installed files changed")
        trace = result.trace()
        self.assertTrue(any(line.startswith("file: replaced") and line.endswith(": 0x8007000D") for line in trace),
                        result.describe())
        self.assertIsNone(app_id_before)
        self.assertIsNone(app_id, "the registry script was imported after the files failed")


if __name__ == "__main__":
    unittest.main()
