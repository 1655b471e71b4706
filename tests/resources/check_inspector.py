#!/usr/bin/python3
"""The release check inspect_update (host build) on the built updater.exe:
every PATCH and REG resource verifies against the DIGEST table, and a copy of
the program with one byte of one PATCH resource changed fails, naming that
resource.

Usage: check_inspector.py PATH/TO/updater.exe PATH/TO/inspect_update [unittest options]
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from check_resources import FormatError, read_pe_resource_ranges  # noqa: E402

PATCH_IDS = set(range(401, 562))
REG_IDS = {301, 302}
DAMAGED_ID = 480
ROW = re.compile(r"^(PATCH|REG) (\d+) .*? sha256=\S+ (.+)$")

EXE_PATH = None
INSPECTOR = None


def resource_file_range(image, rtype, name):
    """(file offset, size) of the data of resource rtype/name, its first
    language; rtype is a string type, name a number."""
    for (key_type, key_name, _), found in read_pe_resource_ranges(image).items():
        if key_type == rtype and key_name == name:
            return found
    raise FormatError("no resource %s/%d" % (rtype, name))


def inspect(path):
    """(exit code, {(type, id): verdict}, summary line, output)."""
    result = subprocess.run([INSPECTOR, str(path)], capture_output=True, text=True, timeout=600)
    verdicts = {}
    for line in result.stdout.splitlines():
        match = ROW.match(line)
        if match:
            verdicts[(match.group(1), int(match.group(2)))] = match.group(3)
    lines = result.stdout.splitlines()
    return result.returncode, verdicts, lines[-1] if lines else "", result.stdout + result.stderr


class InspectorTest(unittest.TestCase):
    def test_built_program_verifies(self):
        code, verdicts, summary, output = inspect(EXE_PATH)
        self.assertEqual(code, 0, output[-3000:])
        self.assertEqual({i for (t, i), v in verdicts.items() if t == "PATCH" and v == "ok"}, PATCH_IDS)
        self.assertEqual({i for (t, i), v in verdicts.items() if t == "REG" and v == "ok"}, REG_IDS)
        self.assertEqual(summary, "summary: 161 PATCH verified, 2 REG verified, 0 problems")
        self.assertIn("manifest: requestedExecutionLevel level=requireAdministrator uiAccess=false", output)
        self.assertIn("file-version: 2.2.3.4170", output)

    def test_one_changed_byte_is_found(self):
        image = Path(EXE_PATH).read_bytes()
        offset, size = resource_file_range(image, "PATCH", DAMAGED_ID)
        with tempfile.TemporaryDirectory() as folder:
            damaged = Path(folder) / "updater.exe"
            shutil.copyfile(EXE_PATH, damaged)
            at = offset + size // 2
            with open(damaged, "r+b") as f:
                f.seek(at)
                f.write(bytes([image[at] ^ 0x5A]))
            code, verdicts, summary, output = inspect(damaged)
        self.assertEqual(code, 1, output[-3000:])
        verdict = verdicts.get(("PATCH", DAMAGED_ID), "")
        self.assertRegex(verdict, r"^(MISMATCH|FAILED) \(", output[-3000:])
        others = {k: v for k, v in verdicts.items() if k != ("PATCH", DAMAGED_ID)}
        self.assertEqual(len(others), 162)
        self.assertEqual({v for v in others.values()}, {"ok"})
        # In a signed program (a build with a certificate configured) the
        # changed byte breaks the signature too, and that is a problem of its own.
        signed = "\nsignature: none\n" not in output
        self.assertEqual(summary, "summary: 160 PATCH verified, 2 REG verified, %d problems" % (2 if signed else 1))
        if signed:
            self.assertRegex(output, r"\nsignature: .* INVALID \(the file's sha256 digest differs from the signed one\)\n")


def main():
    global EXE_PATH, INSPECTOR
    if len(sys.argv) < 3 or not os.path.isfile(sys.argv[1]) or not os.access(sys.argv[2], os.X_OK):
        sys.stderr.write("usage: check_inspector.py PATH/TO/updater.exe PATH/TO/inspect_update [unittest options]\n")
        return 2
    EXE_PATH, INSPECTOR = sys.argv[1], sys.argv[2]
    program = unittest.main(argv=[sys.argv[0]] + sys.argv[3:], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
