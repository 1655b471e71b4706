"""Nothing installed that was not verified. A work folder squatted before the
run as a link to a folder of the user's: Wine renames what a Linux link
points to rather than the link, so the updater puts that folder back where
it was and stops before any installed file is touched (on Windows the link
itself is renamed aside and the update goes on in a fresh folder). A program whose digest table does not match its payload (the first
payload row's digest and both registry scripts' digests changed) stops at
that row with 0x8007000D, leaves the installed file byte-identical and
imports no registry script."""

import os
import struct
import unittest

from harness import run_batch, run_program, stage_program, updater_exe
from testbed.simulated_pc import InstalledPayload, InstalledProduct, SimulatedPC, payload_rows
from testbed.payload_rows import digest, new_payload_file
from updater_runs import EXIT_OK, UpdaterAssertions, require_program, require_updater, retired_notice

COMPLETED = [retired_notice(), ("Update completed successfully.", "none", ["OK"])]
DIGEST_MISMATCH = 0x8007000D
CANNOT_ACCESS = 0x80070780
FAILED = [retired_notice(), ("Package Update Failed.\r\n(code = 0x8007000d)", "hand", ["OK"])]
FIRST_ROW = 401
TABLE_ROWS = 163  # 161 payload files and two registry scripts
WORK_FOLDER = "updater.exe.tmp"


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
            str(outside)


def tampered_job():
    payload = InstalledPayload()
    with SimulatedPC("64", "en_US.UTF-8", [InstalledProduct(), payload], "tampered") as pc:
        before = installed(pc, payload)
        copy = pc.scenario.scratch_file("tampered") / "updater.exe"
        copy.parent.mkdir(parents=True, exist_ok=True)
        tampered_copy(updater_exe(), copy, {FIRST_ROW, 301, 302})
        exe = stage_program(pc.scenario, copy)
        result = run_program(pc.scenario, exe, answers=["ok"] * 5, timeout=600)
        return result, before, installed(pc, payload)


class VerifiedInstallTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        require_program(new_payload_file(FIRST_ROW))
        cls.new = {row.resource_id: digest(new_payload_file(row.resource_id).read_bytes()) for row in payload_rows()}
        cls.runs = run_batch({"squatted": squatted_job, "tampered": tampered_job})

    def test_a_squatted_link_stops_the_run_and_what_it_points_to_stays(self):
        result, before, after, outside_entries, marker, links, outside = self.runs["squatted"].get()
        self.assertBoxes(result, [retired_notice(),
                                  ("Package Update Failed.\r\n(code = 0x80070780)", "hand", ["OK"])])
        self.assertExitCode(result, CANNOT_ACCESS)
        self.assertEqual(before, after, "an installed file changed")
        self.assertEqual(["marker.txt"], outside_entries, "a file was written through the link")
        self.assertEqual(b"the user's own file", marker)
        self.assertEqual([(WORK_FOLDER, outside)], links)
        self.assertIn(f"work folder: the link C:\\users\\root\\Temp\\{WORK_FOLDER} cannot be renamed itself; "
                      "what it points to is back in its place", result.trace(), result.describe())

    def test_a_payload_that_does_not_match_its_digest_is_never_installed(self):
        result, before, after = self.runs["tampered"].get()
        self.assertBoxes(result, FAILED)
        self.assertExitCode(result, DIGEST_MISMATCH)
        self.assertEqual(before[FIRST_ROW], after[FIRST_ROW], "the installed file changed")
        self.assertNotEqual(self.new[FIRST_ROW], before[FIRST_ROW])
        trace = result.trace()
        self.assertTrue(any(line.startswith("file: replaced") and line.endswith(": 0x8007000D") for line in trace),
                        result.describe())
        self.assertIn("registry: script not imported: 0x8007000D", trace, result.describe())


if __name__ == "__main__":
    unittest.main()
