"""The main job (scripts/demo.sh runs run_demo.py --whole-pc) runs the whole
update on a simulated PC and reports what it changed."""

import os
import subprocess
import sys
import unittest

from updater_runs import require_updater
from wineprefix import REPO_ROOT


class DemoTest(unittest.TestCase):
    def test_the_whole_pc_is_updated_and_the_changes_reported(self):
        require_updater()
        out = subprocess.run([sys.executable, str(REPO_ROOT / "testbed" / "run_demo.py"), "--whole-pc"],
                             capture_output=True, text=True, timeout=900, env=os.environ)
        self.assertEqual(0, out.returncode, out.stderr)
        for line in ("Update completed successfully.",
                     "Exit code: 0x00000000",
                     "Payload: 160 of 161 installed files replaced",
                     "Program Castwell.exe: start, load, quit-request, exit; not running now",
                     "Service QVLDms: running before; stop requests 1, starts 2; state now 4",
                     "Service QVLDs: stopped before; stop requests 0, starts 0; state now 1",
                     "Media database: calls qvldb, Open, BeginTransaction, ExecSQL, Commit, ~qvldb",
                     "item 9 \"Archive\" (server 0): private_flag 2 -> 0",
                     "ActiveX compatibility keys: 108 in the 64-bit view, 108 in the 32-bit view",
                     "PatchList: patchid=EP0000517904",
                     "Retired data: WEBMEDIA removed"):
            self.assertIn(line, out.stdout)
        self.assertNotIn("could not read", out.stdout)


if __name__ == "__main__":
    unittest.main()
