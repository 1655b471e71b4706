"""A file replaced on a volume without room for the new copy: a small tmpfs,
nearly full, mapped as drive S: of the prefix, holds the installed file. The
Windows-side tests FullVolume.* (tests/win32) check that a new file larger
than the room left is refused when the file steps are planned
(ERROR_DISK_FULL), and that a write that runs out of room after the plan (the
room taken meanwhile) fails with ERROR_DISK_FULL and is rolled back; either
way the installed file stays byte for byte and no new file is left. Where no
volume can be mounted (not root, no permission in a container) the test is
reported as skipped."""

import os
import subprocess
import unittest

from updater_runs import require_program
from wineprefix import Scenario, build_dir

VOLUME_BYTES = 4 * 1024 * 1024
INSTALLED = bytes(range(256)) * 400  # 100 KB
# Room for the plan's check of a 256 KB file with its 1 MB margin.
ROOM_LEFT = 1536 * 1024


def tests_exe():
    return build_dir() / "tests" / "win32" / "win32_tests.exe"


class FullVolumeTest(unittest.TestCase):
    def setUp(self):
        require_program(tests_exe())
        if os.geteuid() != 0:
            self.skipTest("cannot mount a small volume: it needs root")

    def test_installed_file_survives_a_full_volume(self):
        with Scenario("64", "en_US.UTF-8", "full-volume") as s:
            volume = s.path / "small-volume"
            volume.mkdir()
            mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={VOLUME_BYTES}", "tmpfs", str(volume)],
                                     capture_output=True, text=True)
            if mounted.returncode != 0:
                self.skipTest(f"cannot mount a small volume: {mounted.stderr.strip()}")
            try:
                (volume / "core-ui.dll").write_bytes(INSTALLED)
                stat = os.statvfs(volume)
                (volume / "filler.bin").write_bytes(b"f" * (stat.f_bavail * stat.f_frsize - ROOM_LEFT))
                stat = os.statvfs(volume)
                self.assertLess(stat.f_bavail * stat.f_frsize, 2 * ROOM_LEFT)
                (s.path / "dosdevices" / "s:").symlink_to(volume)
                run = s.run([tests_exe(), "--gtest_filter=FullVolume.*"], timeout=120, check=False,
                            env={"UPDATER_SMALL_VOLUME": "S:\\"})
                output = run.stdout.decode("utf-8", "replace")
                self.assertEqual(0, run.returncode, output)
                self.assertIn("[  PASSED  ] 2 tests", output)
                self.assertNotIn("SKIPPED", output)
                self.assertEqual(INSTALLED, (volume / "core-ui.dll").read_bytes())
            finally:
                subprocess.run(["umount", str(volume)], check=False)


if __name__ == "__main__":
    unittest.main()
