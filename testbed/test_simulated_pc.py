"""The simulated PC as a 32-bit Windows program sees it: the version file where
the registry and the default path say, the editions and update-tool values in
the 32-bit view, and the TV-recording stand-in answering its quit switch."""

import json
import re
import shutil
import subprocess
import sys
import time
import unittest
from pathlib import Path

import testbed  # noqa: F401 -- puts the Wine test modules on the path
from harness import run_batch
from testbed.simulated_pc import (UPDATE_TOOL_KEY, InstalledProduct, SimulatedPC, Storyloom,
                                  TvRecorder, UpdateTool)
from wineprefix import helper

X86 = "C:\\Program Files (x86)"
PF32 = "C:\\Program Files"


def probe(pc, command="pc"):
    return json.loads(pc.scenario.run([helper("winprobe.exe"), command]).stdout.decode())


def pc_job(arch, components, extra=None):
    def job():
        with SimulatedPC(arch, components=components, name="testbed") as pc:
            seen = {"pc": probe(pc)}
            if extra:
                seen.update(extra(pc))
            return seen
    return job


def update_tool_key(pc):
    return {"update_tool_key": pc.scenario.reg_query(UPDATE_TOOL_KEY, view="32")}


def quit_recorder(pc):
    """Asks the running stand-in to quit, as the updater does, and watches it."""
    recorder = pc.component(TvRecorder)
    seen = {"before": probe(pc, "processes")["processes"]}
    seen["quit_code"] = pc.scenario.run_exit_code(recorder.path(pc), ["/q"])
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        events = [line.split(" ")[0] for line in recorder.log_lines(pc)]
        if "exit" in events or "quit-ignored" in events:
            break
        time.sleep(0.1)
    time.sleep(0.5)  # the process list catches up with the end of the process
    seen["after"] = probe(pc, "processes")["processes"]
    seen["log"] = [line.split(" ")[0] for line in recorder.log_lines(pc)]
    return seen


class SimulatedPcTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.runs = run_batch({
            "default-64": pc_job("64", [InstalledProduct()]),
            "silent-32": pc_job("32", [InstalledProduct("2.2.3.04169", registry_value=False),
                                       Storyloom.old(), UpdateTool.silent()]),
            "variants-64": pc_job("64", [InstalledProduct(version_word=False),
                                         Storyloom.modern(), UpdateTool(("REG_SZ", "1"))]),
            "no-file-64": pc_job("64", [InstalledProduct(version_file=False), UpdateTool(None)],
                                 update_tool_key),
            "recorder-64": pc_job("64", [TvRecorder()], quit_recorder),
            "stubborn-32": pc_job("32", [TvRecorder(ignore_quit=True)], quit_recorder),
        })

    def pc(self, name):
        return self.runs[name].get()["pc"]

    def test_installed_product_on_64_bit(self):
        pc = self.pc("default-64")
        path = X86 + "\\Orvane\\Mirevo\\Version.txt"
        self.assertEqual({"type": 1, "text": path}, {k: pc["version_path"][k]
                                                     for k in ("type", "text")})
        self.assertIsNone(pc["version_path_64"])
        self.assertEqual(path, pc["default_version_file"])
        self.assertEqual(b"2.0.1.12040\r\nVersion=2.0.1.12040\r\n",
                         bytes.fromhex(pc["default_version_file_hex"]))
        self.assertIsNone(pc["storyloom"])
        self.assertIsNone(pc["launch_installer"])
        self.assertFalse(pc["tv_recorder_installed"])

    def test_default_path_old_storyloom_and_silent_mode_on_32_bit(self):
        pc = self.pc("silent-32")
        self.assertIsNone(pc["version_path"])
        self.assertEqual(PF32 + "\\Orvane\\Mirevo\\Version.txt", pc["default_version_file"])
        self.assertEqual(b"2.2.3.04169\r\nVersion=2.2.3.04169\r\n",
                         bytes.fromhex(pc["default_version_file_hex"]))
        self.assertEqual("1.0", pc["storyloom"]["text"])
        self.assertEqual((4, "01000000"), (pc["launch_installer"]["type"],
                                           pc["launch_installer"]["hex"]))

    def test_version_file_without_version_word_and_string_launch_value(self):
        pc = self.pc("variants-64")
        self.assertEqual(b"2.0.1.12040\r\n", bytes.fromhex(pc["default_version_file_hex"]))
        self.assertEqual("2.0", pc["storyloom"]["text"])
        self.assertEqual((1, "1"), (pc["launch_installer"]["type"],
                                    pc["launch_installer"]["text"]))

    def test_missing_version_file_and_update_tool_without_value(self):
        seen = self.runs["no-file-64"].get()
        self.assertEqual(X86 + "\\Orvane\\Mirevo\\Version.txt",
                         seen["pc"]["version_path"]["text"])
        self.assertIsNone(seen["pc"]["default_version_file_hex"])
        self.assertIsNone(seen["pc"]["launch_installer"])
        self.assertEqual({}, seen["update_tool_key"])

    def test_tv_recorder_quits_on_its_switch(self):
        seen = self.runs["recorder-64"].get()
        self.assertTrue(seen["pc"]["tv_recorder_installed"])
        self.assertIn("Kestrav.exe", seen["before"])
        self.assertEqual(0, seen["quit_code"])
        self.assertEqual(["start", "quit-request", "exit"], seen["log"])
        self.assertNotIn("Kestrav.exe", seen["after"])

    def test_stubborn_tv_recorder_keeps_running(self):
        seen = self.runs["stubborn-32"].get()
        self.assertTrue(seen["pc"]["tv_recorder_installed"])
        self.assertEqual(["start", "quit-request", "quit-ignored"], seen["log"][:3])
        self.assertIn("Kestrav.exe", seen["after"])


class SimulatedPcCommandLineTest(unittest.TestCase):
    def test_builds_and_keeps_a_prefix(self):
        script = Path(testbed.__file__).with_name("simulated_pc.py")
        out = subprocess.run([sys.executable, str(script), "--arch", "32", "--version",
                              "2.2.3.04169", "--storyloom", "old"],
                             capture_output=True, text=True, timeout=300)
        self.assertEqual(0, out.returncode, out.stderr)
        match = re.search(r"^WINEPREFIX=(.+)$", out.stdout, re.M)
        self.assertIsNotNone(match, out.stdout)
        prefix = Path(match.group(1))
        try:
            version = prefix / "drive_c/Program Files/Orvane/Mirevo/Version.txt"
            self.assertEqual(b"2.2.3.04169\r\nVersion=2.2.3.04169\r\n", version.read_bytes())
            system_reg = (prefix / "system.reg").read_text(errors="replace")
            self.assertIn("[Software\\\\Orvane Corporation\\\\Storyloom\\\\1.0\\\\App]",
                          system_reg)
            self.assertIn('"CurrentVersion"="1.0"', system_reg)
        finally:
            shutil.rmtree(prefix, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
