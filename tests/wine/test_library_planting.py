"""A hostile program of the user leaves DLLs beside the downloaded updater:
"version.dll" (which the program once imported), "rstrtmgr.dll" and
"comctl32.dll" (which it loads at run time). The elevated updater loads none
of them and the update completes as usual."""

import unittest

from harness import DOWNLOADS, run_program, stage_program, updater_exe
from testbed.simulated_pc import InstalledPayload, InstalledProduct, SimulatedPC
from updater_runs import EXIT_OK, UpdaterAssertions, require_program, require_updater, retired_notice
from wineprefix import helper

PLANTED = ("version.dll", "rstrtmgr.dll", "comctl32.dll")
COMPLETED = [retired_notice(), ("Update completed successfully.", "none", ["OK"])]


class LibraryPlantingTest(UpdaterAssertions):
    def test_dlls_beside_the_program_are_never_loaded(self):
        require_updater()
        require_program(helper("planted_library.dll"))
        with SimulatedPC("64", "en_US.UTF-8", [InstalledProduct(), InstalledPayload()], "planted") as pc:
            exe = stage_program(pc.scenario, updater_exe())
            for name in PLANTED:
                pc.scenario.write_file(f"{DOWNLOADS}\\{name}", helper("planted_library.dll").read_bytes())
            result = run_program(pc.scenario, exe, answers=["ok"] * 5, timeout=600)
            markers = [name for name in PLANTED if pc.scenario.exists(f"{DOWNLOADS}\\{name}.loaded")]
        self.assertEqual([], markers, "planted libraries were loaded")
        self.assertBoxes(result, COMPLETED)
        self.assertExitCode(result, EXIT_OK)


if __name__ == "__main__":
    unittest.main()
