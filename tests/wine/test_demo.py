"""The main job (scripts/demo.sh runs run_demo.py --whole-pc) runs the whole
update on a simulated PC and reports what it changed; so do silent runs of the
same PC."""

import os
import subprocess
import sys
import unittest
from concurrent.futures import ThreadPoolExecutor

from updater_runs import require_updater
from wineprefix import REPO_ROOT


def demo(*options):
    return subprocess.run([sys.executable, str(REPO_ROOT / "testbed" / "run_demo.py"), "--whole-pc", *options],
                          capture_output=True, text=True, timeout=900, env=os.environ)


def trace_of(stdout):
    """The trace lines that the demo printed (--trace)."""
    lines = stdout.splitlines()
    block = lines[lines.index("Trace:") + 1:lines.index("What changed on the PC:")]
    return [line[2:] for line in block]


class DemoTest(unittest.TestCase):
    def test_the_whole_pc_is_updated_and_the_changes_reported(self):
        require_updater()
        out = demo()
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

    def test_a_silent_run_shows_nothing_and_never_ends_a_recording(self):
        """Started by the update tool, with the retired-feature notice due: the
        whole update runs without a box; with the recording application
        running, nothing is asked and nothing changes."""
        require_updater()
        with ThreadPoolExecutor(max_workers=2) as pool:
            updated, declined = pool.map(lambda options: demo("--silent", "dword1", "--trace", *options),
                                         (["--tv-recorder", "installed"], ["--tv-recorder", "running"]))
        for out in (updated, declined):
            self.assertEqual(0, out.returncode, out.stderr)
            self.assertIn("No message box was shown.", out.stdout)
            self.assertNotIn("could not read", out.stdout)
        for line in ("Exit code: 0x00000000",
                     "Payload: 160 of 161 installed files replaced",
                     "Program Castwell.exe: start, load, quit-request, exit; not running now",
                     "Service QVLDms: running before; stop requests 1, starts 2; state now 4",
                     "PatchList: patchid=EP0000517904",
                     "Retired data: WEBMEDIA removed"):
            self.assertIn(line, updated.stdout)
        for line in ("Exit code: 0x00000001",
                     "Payload: 0 of 161 installed files replaced",
                     "Program Kestrav.exe: start; running now",
                     "Program Castwell.exe: start, load; running now",
                     "Service QVLDms: running before; stop requests 0, starts 1; state now 4",
                     "Media database: calls none",
                     "Retired data: WEBMEDIA kept"):
            self.assertIn(line, declined.stdout)
        self.assertNotIn("PatchList:", declined.stdout)
        # The trace says what happened, step by step, and ends with the exit code.
        trace = trace_of(updated.stdout)
        for line in ("start: update to 2.2.3.04170, silent",
                     "check: retired-feature notice not shown (silent)",
                     "phase: prepare",
                     "service: QVLDms stop: 0x00000000",
                     "file: replaced C:\\Program Files (x86)\\Orvane\\Mirevo\\core-ui.dll: 0x00000000",
                     "phase: finish after 0x00000000",
                     "service: QVLDms start: 0x00000000",
                     "record: patch list entry written",
                     "session: result 0x00000000"):
            self.assertIn(line, trace)
        selected = [int(line.split()[1]) for line in trace if line.endswith(" files to install")]
        self.assertEqual(1, len(selected), trace)
        self.assertEqual(selected[0], sum(line.startswith("file: ") for line in trace), "one line per row")
        self.assertEqual("end: exit code 0x00000000", trace[-1])
        self.assertEqual(["start: update to 2.2.3.04170, silent"], trace_of(declined.stdout)[:1])
        self.assertEqual("check: the recording application runs; not ended unattended: exit code 0x00000001",
                         trace_of(declined.stdout)[-1])


if __name__ == "__main__":
    unittest.main()
