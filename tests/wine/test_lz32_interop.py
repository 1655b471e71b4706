"""What our packer writes, Windows' own LZ expansion (LZOpenFileW/LZCopy, run
under Wine by lz32_expand.exe) gives back byte for byte: every size from 0 up,
runs, text, program-like and incompressible data."""

import random
import subprocess
import unittest

from updater_runs import probe_exe, require_program
from wineprefix import REPO_ROOT, Scenario


def packer():
    return REPO_ROOT / "build" / "host" / "tools" / "szdd_pack"


def corpus():
    """Named sample files; deterministic."""
    rng = random.Random(20150417)
    text = b"The quick brown fox jumps over the lazy dog. " * 200
    samples = {f"size-{n}": bytes(rng.randrange(256) for _ in range(n))
               for n in (0, 1, 2, 3, 15, 16, 17, 18, 19)}
    samples.update({
        "spaces": b" " * 5000,
        "leading-spaces": b" " * 40 + b"x" * 40,
        "one-byte-run": b"\x00" * 70000,
        "text": text,
        "random": bytes(rng.randrange(256) for _ in range(70000)),
        "window-edge": (bytes(rng.randrange(256) for _ in range(4096))) * 3,
        "program-like": b"".join(rng.choice([b"\x8b\x45\x08", b"\x89\xe5", b"\xc3", b"MZ\x90\x00",
                                             b"\x00\x00\x00\x00", b"kernel32.dll\x00"])
                                 for _ in range(30000)),
    })
    return samples


class Lz32InteropTest(unittest.TestCase):
    def test_packed_files_expand_with_the_platform_expander(self):
        require_program(packer())
        require_program(probe_exe("lz32_expand.exe"))
        samples = corpus()
        with Scenario("32", "en_US.UTF-8", "lz32") as scenario:
            folder = scenario.scratch_dir()
            args = []
            for name, data in samples.items():
                (folder / name).write_bytes(data)
                subprocess.run([str(packer()), str(folder / name), str(folder / f"{name}.sz_")],
                               check=True, capture_output=True)
                args += [scenario.to_windows(folder / f"{name}.sz_"),
                         scenario.to_windows(folder / f"{name}.out")]
            code = scenario.run_exit_code(probe_exe("lz32_expand.exe"), args, timeout=300)
            self.assertEqual(0, code, "the platform expander refused a packed file")
            for name, data in samples.items():
                with self.subTest(name):
                    self.assertEqual(data, (folder / f"{name}.out").read_bytes())


if __name__ == "__main__":
    unittest.main()
