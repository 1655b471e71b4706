"""Every PATCH resource that updater.exe carries expands, with the platform's
own LZ expansion (LZOpenFileW/LZCopy under Wine, by lz32_expand.exe) and with
Debian's msexpand, to the payload file it was made from; so do the two REG
resources, to the registry scripts generated at build time."""

import shutil
import subprocess
import sys
import unittest
from concurrent.futures import ThreadPoolExecutor

from harness import updater_exe
from updater_runs import probe_exe, require_program, require_updater
from wineprefix import REPO_ROOT, Scenario, build_dir

sys.path.insert(0, str(REPO_ROOT / "tests" / "resources"))
from check_resources import read_pe_resources  # noqa: E402

RT_PATCH = "PATCH"
RT_REG = "REG"
ENGLISH = 1033


class PayloadResourcesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_updater()
        require_program(probe_exe("lz32_expand.exe"))
        resources = read_pe_resources(updater_exe().read_bytes())
        cls.packed = {name: data for (rtype, name, lang), data in resources.items()
                      if rtype == RT_PATCH and lang == ENGLISH}

    def expected(self, resource_id):
        return (build_dir() / "payload" / "files" / f"{resource_id}.bin").read_bytes()

    def test_the_exe_carries_one_resource_per_payload_row(self):
        self.assertEqual(list(range(401, 562)), sorted(self.packed))

    def test_every_resource_expands_with_the_platform_expander(self):
        with Scenario("32", "en_US.UTF-8", "payload-lz32") as scenario:
            folder = scenario.scratch_dir()
            args = []
            for rid, data in self.packed.items():
                (folder / f"{rid}.sz_").write_bytes(data)
                args += [scenario.to_windows(folder / f"{rid}.sz_"), scenario.to_windows(folder / f"{rid}.bin")]
            code = scenario.run_exit_code(probe_exe("lz32_expand.exe"), args, timeout=600)
            self.assertEqual(0, code, "the platform expander refused a resource")
            for rid in self.packed:
                with self.subTest(rid=rid):
                    self.assertEqual(self.expected(rid), (folder / f"{rid}.bin").read_bytes())

    def test_every_resource_expands_with_msexpand(self):
        if not shutil.which("msexpand"):
            self.skipTest("msexpand is not installed")

        def expand(data):
            return subprocess.run(["msexpand"], input=data, capture_output=True, check=True).stdout

        # msexpand moves a byte per system call: two at a time halves the wait.
        with ThreadPoolExecutor(max_workers=2) as pool:
            expanded = dict(zip(self.packed, pool.map(expand, self.packed.values())))
        for rid, data in expanded.items():
            with self.subTest(rid=rid):
                self.assertEqual(self.expected(rid), data)


class RegistryScriptResourcesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_updater()
        if not shutil.which("msexpand"):
            raise unittest.SkipTest("msexpand is not installed")
        resources = read_pe_resources(updater_exe().read_bytes())
        cls.packed = {name: data for (rtype, name, lang), data in resources.items() if rtype == RT_REG}
        cls.languages = sorted({lang for (rtype, _, lang) in resources if rtype == RT_REG})

    def test_the_exe_carries_scripts_301_and_302_in_english(self):
        self.assertEqual([301, 302], sorted(self.packed))
        self.assertEqual([ENGLISH], self.languages)

    def test_each_expands_to_its_generated_script(self):
        for rid, data in self.packed.items():
            with self.subTest(rid=rid):
                script = subprocess.run(["msexpand"], input=data, capture_output=True, check=True).stdout
                self.assertEqual((build_dir() / "payload" / "registry" / f"{rid}.reg").read_bytes(), script)
                # The carried text itself, counted once more.
                text = script.decode("ascii")
                lines = text.split("\r\n")
                self.assertEqual("", lines.pop(), "the last line ends in CR LF")
                self.assertNotIn("\n", "".join(lines))
                self.assertEqual("Windows Registry Editor Version 5.00", lines[0])
                self.assertEqual(621, len(lines))
                self.assertEqual(188, sum(line.startswith("[") for line in lines))
                self.assertEqual(rid == 302, "Wow6432Node" in text)


if __name__ == "__main__":
    unittest.main()
