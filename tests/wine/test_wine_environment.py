"""The scenario prefixes as a 32-bit Windows program sees them: UI language,
full exit codes through launch.exe, the deny-only Administrators token, the
Program Files folders, both registry views, and the end of each session."""

import json
import unittest
from pathlib import Path

from harness import run_batch
from wineprefix import Scenario, helper, parse_reg_query, reg_file_text

EXIT_CODES = [0x00000001, 0x80070480, 0x80070005, 0xC0000135, 0xFFFFFFFF]

UI_LANGUAGES = {
    ("64", "en_US.UTF-8"): 0x0409,
    ("64", "de_DE.UTF-8"): 0x0407,
    ("64", "ja_JP.UTF-8"): 0x0411,
    ("64", "zh_CN.UTF-8"): 0x0804,
    ("32", "ja_JP.UTF-8"): 0x0411,
}

TEST_KEY = r"HKLM\SOFTWARE\Orvane Corporation\Harness Check"


def probe(scenario, *args):
    result = scenario.run([helper("winprobe.exe"), *args])
    return json.loads(result.stdout.decode("utf-8"))


def wineservers_of(prefix: Path):
    """Pids of processes that still belong to a prefix's session."""
    pids = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            environ = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if f"WINEPREFIX={prefix}".encode() in environ:
            pids.append(int(entry.name))
    return pids


def ui_language_job(arch, lang):
    def job():
        with Scenario(arch, lang, f"uilang-{lang}") as s:
            return probe(s, "uilang")
    return job


def platform_job(arch):
    """Everything that needs one plain session of an architecture."""

    def job():
        seen = {}
        with Scenario(arch, "en_US.UTF-8", f"platform-{arch}") as s:
            seen["codes"] = {code: s.run_exit_code(helper("winprobe.exe"),
                                                   ["exit", f"{code:08x}"])
                             for code in EXIT_CODES}
            seen["token"] = probe(s, "token")
            code_file = s.scratch_file("token")
            out = s.run(s.launch_args(str(helper("winprobe.exe")), ["token"], deny_admins=True,
                                      code_file=s.to_windows(code_file)))
            seen["restricted_token"] = json.loads(out.stdout.decode())
            seen["restricted_code"] = code_file.read_text().strip()

            seen["empty_pc"] = probe(s, "pc")
            s.reg_import({TEST_KEY.replace("Harness Check", r"Shared Info\VersionPath\Mirevo"):
                          {"Version": ("REG_SZ", "C:\\in the 32-bit view")}}, view="32")
            s.reg_add(TEST_KEY.replace("Harness Check", r"Shared Info\VersionPath\Mirevo"),
                      "Version", "REG_SZ", "C:\\in the 64-bit view", view="64")
            seen["views_pc"] = probe(s, "pc")

            values = {
                "Text": ("REG_SZ", "a \"quoted\" C:\\path"),
                "Number": ("REG_DWORD", 0x80000001),
                "Expand": ("REG_EXPAND_SZ", "%ProgramFiles%\\x"),
                "Multi": ("REG_MULTI_SZ", ["one", "two"]),
                "Bytes": ("REG_BINARY", b"\x00\x01\xfe"),
            }
            s.reg_import({TEST_KEY: values}, view="32")
            seen["imported"] = s.reg_query(TEST_KEY, view="32")
            seen["other_view"] = s.reg_query(TEST_KEY, view="64")
            s.reg_add(TEST_KEY, "Added", "REG_DWORD", 7, view="32")
            seen["added"] = s.reg_query(TEST_KEY, "Added", view="32")
            seen["deleted_value"] = s.reg_delete(TEST_KEY, "Added", view="32")
            seen["after_value_delete"] = s.reg_query(TEST_KEY, "Added", view="32")
            seen["deleted_key"] = s.reg_delete(TEST_KEY, view="32")
            seen["after_key_delete"] = s.reg_query(TEST_KEY, view="32")
            seen["pf32"] = s.program_files_x86
            seen["path"] = s.path
        seen["exists_after"] = seen["path"].exists()
        seen["processes_after"] = wineservers_of(seen["path"])
        return seen

    return job


class WineEnvironmentTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        jobs = {f"platform-{a}": platform_job(a) for a in ("64", "32")}
        jobs.update({f"uilang-{a}-{l}": ui_language_job(a, l) for a, l in UI_LANGUAGES})
        cls.runs = run_batch(jobs)

    def test_ui_language_follows_lc_all(self):
        for (arch, lang), expected in UI_LANGUAGES.items():
            with self.subTest(arch=arch, lang=lang):
                seen = self.runs[f"uilang-{arch}-{lang}"].get()
                self.assertEqual(f"0x{expected:04X}", seen["user_ui_language"], seen)

    def test_launch_reports_the_full_exit_code(self):
        for arch in ("64", "32"):
            with self.subTest(arch=arch):
                codes = self.runs[f"platform-{arch}"].get()["codes"]
                self.assertEqual({c: c for c in EXIT_CODES}, codes)

    def test_deny_admins_makes_administrators_deny_only(self):
        for arch in ("64", "32"):
            with self.subTest(arch=arch):
                seen = self.runs[f"platform-{arch}"].get()
                self.assertTrue(seen["token"]["admins_enabled"], seen["token"])
                restricted = seen["restricted_token"]
                self.assertTrue(restricted["admins_present"], restricted)
                self.assertFalse(restricted["admins_enabled"], restricted)
                self.assertTrue(restricted["admins_deny_only"], restricted)
                self.assertEqual("0x00000000", seen["restricted_code"])

    def test_program_files_of_a_32_bit_process(self):
        expected = {"64": "C:\\Program Files (x86)", "32": "C:\\Program Files"}
        for arch in ("64", "32"):
            with self.subTest(arch=arch):
                seen = self.runs[f"platform-{arch}"].get()
                pc = seen["empty_pc"]
                self.assertEqual(arch == "64", pc["wow64"])
                self.assertEqual(expected[arch], pc["program_files"])
                self.assertEqual(expected[arch], pc["program_files_x86"])
                self.assertEqual(expected[arch], seen["pf32"])

    def test_registry_views(self):
        for arch in ("64", "32"):
            with self.subTest(arch=arch):
                seen = self.runs[f"platform-{arch}"].get()
                self.assertIsNone(seen["empty_pc"]["version_path"])
                pc = seen["views_pc"]
                if arch == "64":
                    self.assertEqual("C:\\in the 32-bit view", pc["version_path"]["text"])
                    self.assertEqual("C:\\in the 64-bit view", pc["version_path_64"]["text"])
                else:  # one view only: the later write wins
                    self.assertEqual("C:\\in the 64-bit view", pc["version_path"]["text"])
                    self.assertEqual(pc["version_path"], pc["version_path_64"])

    def test_registry_helpers_round_trip(self):
        for arch in ("64", "32"):
            with self.subTest(arch=arch):
                seen = self.runs[f"platform-{arch}"].get()
                self.assertEqual({
                    "Text": ("REG_SZ", "a \"quoted\" C:\\path"),
                    "Number": ("REG_DWORD", 0x80000001),
                    "Expand": ("REG_EXPAND_SZ", "%ProgramFiles%\\x"),
                    "Multi": ("REG_MULTI_SZ", ["one", "two"]),
                    "Bytes": ("REG_BINARY", b"\x00\x01\xfe"),
                }, seen["imported"])
                if arch == "64":
                    self.assertIsNone(seen["other_view"])
                self.assertEqual(("REG_DWORD", 7), seen["added"])
                self.assertTrue(seen["deleted_value"])
                self.assertIsNone(seen["after_value_delete"])
                self.assertTrue(seen["deleted_key"])
                self.assertIsNone(seen["after_key_delete"])

    def test_session_ended_and_copy_removed(self):
        for arch in ("64", "32"):
            with self.subTest(arch=arch):
                seen = self.runs[f"platform-{arch}"].get()
                self.assertFalse(seen["exists_after"])
                self.assertEqual([], seen["processes_after"])


class RegistryTextTest(unittest.TestCase):
    """The registry file and query parsing without Wine (fast, exact cases)."""

    def test_reg_file_escapes_and_encodes_types(self):
        text = reg_file_text({r"HKLM\SOFTWARE\A": {
            "": ("REG_SZ", 'x"y\\z'),
            "D": ("REG_DWORD", -1),
            "E": ("REG_EXPAND_SZ", "a"),
            "Q": ("REG_QWORD", 1),
        }})
        self.assertEqual(
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n"
            '@="x\\"y\\\\z"\r\n'
            "\"D\"=dword:ffffffff\r\n"
            "\"E\"=hex(2):61,00,00,00\r\n"
            "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n\r\n", text)

    def test_reg_file_needs_a_root_key(self):
        with self.assertRaises(ValueError):
            reg_file_text({r"SOFTWARE\A": {}})

    def test_query_output_of_the_first_key_only(self):
        out = ("\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\A\r\n"
               "    Two  spaces    REG_SZ    value  with  spaces\r\n"
               "    (Default)    REG_SZ    \r\n"
               "    N    REG_DWORD    0x10\r\n\r\n"
               "HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\Sub\r\n"
               "    N    REG_DWORD    0x20\r\n")
        self.assertEqual({"Two  spaces": ("REG_SZ", "value  with  spaces"),
                          "(Default)": ("REG_SZ", ""),
                          "N": ("REG_DWORD", 16)}, parse_reg_query(out))


if __name__ == "__main__":
    unittest.main()
