#!/usr/bin/python3
"""Every PATCH and REG resource that updater.exe carries expands, with the
updater's own expander (szdd_expand of the host build) and with Debian's
msexpand, to exactly the file the build generated it from. Needs no Wine; the
platform's own LZ expansion is checked under Wine (tests/wine).

Usage: check_payload_resources.py PATH/TO/updater.exe PATH/TO/szdd_expand [unittest options]

The generated files are looked up beside the program: payload/files/<id>.bin
and payload/registry/<id>.reg of its build folder.
"""

import os
import shutil
import subprocess
import sys
import unittest
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from check_resources import read_pe_resources  # noqa: E402

RT_PATCH = "PATCH"
RT_REG = "REG"
ENGLISH = 1033
PATCH_IDS = list(range(401, 562))
REG_IDS = [301, 302]

EXE_PATH = None
EXPANDER = None


def expand_with(command, data):
    result = subprocess.run(command, input=data, capture_output=True)
    if result.returncode != 0:
        raise AssertionError(f"{command[0]} failed ({result.returncode}): "
                             f"{result.stderr.decode(errors='replace').strip()}")
    return result.stdout


def expanders():
    """(name, command) of each expander the resources are checked with."""
    found = [("szdd_expand", [EXPANDER])]
    if shutil.which("msexpand"):
        found.append(("msexpand", ["msexpand"]))
    return found


class CarriedResourcesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.build = Path(EXE_PATH).resolve().parent
        resources = read_pe_resources(Path(EXE_PATH).read_bytes())
        cls.packed = {(rtype, name): data for (rtype, name, lang), data in resources.items()
                      if rtype in (RT_PATCH, RT_REG)}
        cls.languages = {lang for (rtype, _, lang) in resources if rtype in (RT_PATCH, RT_REG)}

    def expected(self, rtype, rid):
        if rtype == RT_REG:
            return (self.build / "payload" / "registry" / f"{rid}.reg").read_bytes()
        return (self.build / "payload" / "files" / f"{rid}.bin").read_bytes()

    def test_the_exe_carries_one_resource_per_payload_row_and_both_scripts_in_english(self):
        self.assertEqual(PATCH_IDS, sorted(n for t, n in self.packed if t == RT_PATCH))
        self.assertEqual(REG_IDS, sorted(n for t, n in self.packed if t == RT_REG))
        self.assertEqual({ENGLISH}, self.languages)

    def test_msexpand_is_installed(self):
        self.assertIsNotNone(shutil.which("msexpand"), "msexpand (package mscompress) is missing")

    def test_every_resource_expands_to_its_generated_file(self):
        for name, command in expanders():
            # msexpand moves a byte per system call: two at a time halve the wait.
            with ThreadPoolExecutor(max_workers=2) as pool:
                expanded = dict(zip(self.packed, pool.map(lambda d: expand_with(command, d),
                                                          self.packed.values())))
            for (rtype, rid), data in expanded.items():
                with self.subTest(expander=name, resource=f"{rtype} {rid}"):
                    self.assertEqual(self.expected(rtype, rid), data)

    def test_the_registry_scripts_are_crlf_text_of_their_size(self):
        for rid in REG_IDS:
            with self.subTest(rid=rid):
                text = expand_with([EXPANDER], self.packed[(RT_REG, rid)]).decode("ascii")
                lines = text.split("\r\n")
                self.assertEqual("", lines.pop(), "the last line ends in CR LF")
                self.assertNotIn("\n", "".join(lines))
                self.assertEqual("Windows Registry Editor Version 5.00", lines[0])
                self.assertEqual(621, len(lines))
                self.assertEqual(188, sum(line.startswith("[") for line in lines))
                self.assertEqual(rid == 302, "Wow6432Node" in text)


def main():
    global EXE_PATH, EXPANDER
    if len(sys.argv) < 3 or not os.path.isfile(sys.argv[1]) or not os.access(sys.argv[2], os.X_OK):
        sys.stderr.write("usage: check_payload_resources.py PATH/TO/updater.exe PATH/TO/szdd_expand "
                         "[unittest options]\n")
        return 2
    EXE_PATH, EXPANDER = sys.argv[1], sys.argv[2]
    program = unittest.main(argv=[sys.argv[0]] + sys.argv[3:], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
