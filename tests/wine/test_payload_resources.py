"""Every PATCH resource that updater.exe carries expands, with the platform's
own LZ expansion (LZOpenFileW/LZCopy under Wine, by lz32_expand.exe), to the
payload file it was made from. Our expander and Debian's msexpand are checked
against every PATCH and REG resource without Wine
(tests/resources/check_payload_resources.py)."""

import sys
import unittest

from harness import updater_exe
from updater_runs import probe_exe, require_program, require_updater
from wineprefix import REPO_ROOT, Scenario, build_dir

sys.path.insert(0, str(REPO_ROOT / "tests" / "resources"))
from check_resources import read_pe_resources  # noqa: E402

RT_PATCH = "PATCH"
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

    def test_every_resource_expands_with_the_platform_expander(self):
        self.assertEqual(list(range(401, 562)), sorted(self.packed))
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


if __name__ == "__main__":
    unittest.main()
