"""The program stand-ins on simulated PCs (64-bit and 32-bit Windows): each
installed where its program lives, running with the libraries it was given,
and answering its quit switch as configured (ending, ending late, staying,
or finding no instance); a program whose executable is gone keeps running;
and the loadable libraries at the watched paths are still files that the
updater selects for replacement."""

import unittest

from harness import run_batch
from testbed.simulated_pc import (WATCHED_LIBRARIES, InstalledPayload, KnownProgram, SimulatedPC,
                                  UnknownProgram, WatchedLibraries, payload_rows, running_processes,
                                  shared_folder)
from updater_runs import probe_exe, require_program
from wineprefix import join_win

QUIT_DELAY_MS = 1500


def programs():
    return [
        KnownProgram("Travio.exe", libraries=["qvl-core.dll", "media-index.dll"]),
        KnownProgram("Castwell.exe", quit_delay_ms=QUIT_DELAY_MS),
        KnownProgram("Traylet.exe", ignore_quit=True),
        KnownProgram("Homereel.exe", running=False),
        KnownProgram("Libhost.exe", libraries=["thumb-cache.dll"], exe_deleted=True),
        KnownProgram("Socialink.exe", libraries=["socialink-sdk.dll"]),
        UnknownProgram("Vidgrab.exe", libraries=WATCHED_LIBRARIES),
    ]


def install_list(pc):
    out = pc.scenario.run([probe_exe("install_list_probe.exe")]).stdout.decode("utf-8")
    return {int(rid): path for rid, path in (line.split("\t", 1) for line in out.splitlines())}


# The watched libraries' versions: inside their rows' windows on one PC, above
# them on the other, where the updater must then leave them out.
LIBRARY_VERSIONS = {"64": "low", "32": "above"}


def pc_job(arch):
    def job():
        # WatchedLibraries comes first: its files replace the payload's all the same.
        installed = programs()
        components = [WatchedLibraries(version_choice=LIBRARY_VERSIONS[arch]), InstalledPayload("low"),
                      *installed]
        with SimulatedPC(arch, components=components, name=f"programs-{arch}") as pc:
            by_exe = {p.exe: p for p in installed}
            seen = {
                "paths": {p.exe: p.path(pc) for p in installed},
                "exists": {p.exe: pc.scenario.exists(p.path(pc)) for p in installed},
                "shared": shared_folder(pc),
                "install_list": install_list(pc),
                "before": running_processes(pc),
                "quit_codes": {},
            }
            # Castwell first: its delay runs while the others are asked.
            for exe, switch in (("Castwell.exe", "/Q"), ("Travio.exe", "/q"), ("Traylet.exe", "/Q"),
                                ("Homereel.exe", "/Q")):
                seen["quit_codes"][exe] = pc.scenario.run_exit_code(by_exe[exe].path(pc), [switch])
            by_exe["Travio.exe"].wait_for_event(pc, "exit")
            by_exe["Castwell.exe"].wait_for_event(pc, "exit")
            by_exe["Traylet.exe"].wait_for_event(pc, "quit-ignored")

            # A setting from the environment wins over the ini file.
            homereel = by_exe["Homereel.exe"]
            pc.keep_process(pc.scenario.spawn([homereel.path(pc)],
                                              env={"HOMEREEL_IGNORE_QUIT": "1"}))
            homereel.wait_for_event(pc, "start")
            seen["quit_codes"]["Homereel.exe again"] = pc.scenario.run_exit_code(homereel.path(pc), ["/Q"])
            homereel.wait_for_event(pc, "quit-ignored")

            seen["gone"] = {exe: by_exe[exe].wait_until_gone(pc) for exe in ("Travio.exe", "Castwell.exe")}
            seen["after"] = running_processes(pc)
            seen["logs"] = {p.exe: p.log(pc) for p in installed}
            return seen
    return job


class StandInProgramTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_program(probe_exe("install_list_probe.exe"))
        cls.runs = run_batch({arch: pc_job(arch) for arch in ("64", "32")})

    def each_pc(self):
        for arch in ("64", "32"):
            with self.subTest(arch=arch):
                yield arch, self.runs[arch].get()

    def test_installed_in_the_folders_of_their_programs(self):
        pf = {"64": "C:\\Program Files (x86)", "32": "C:\\Program Files"}
        for arch, seen in self.each_pc():
            shared = pf[arch] + "\\Common Files\\Orvane Shared\\QVLLib"
            self.assertEqual(shared, seen["shared"])
            self.assertEqual({
                "Travio.exe": pf[arch] + "\\Orvane\\Mirevo\\Travio.exe",
                "Castwell.exe": pf[arch] + "\\Orvane\\Castwell\\Castwell.exe",
                "Traylet.exe": shared + "\\Traylet.exe",
                "Homereel.exe": pf[arch] + "\\Orvane\\Homereel\\Homereel.exe",
                "Libhost.exe": shared + "\\Libhost.exe",
                "Socialink.exe": pf[arch] + "\\Orvane\\Mirevo\\Socialink.exe",
                "Vidgrab.exe": pf[arch] + "\\Vidgrab\\Vidgrab.exe",
            }, seen["paths"])

    def test_running_programs_hold_their_libraries(self):
        expected = {"Travio.exe": ["qvl-core.dll", "media-index.dll"], "Castwell.exe": [],
                    "Traylet.exe": [], "Libhost.exe": ["thumb-cache.dll"],
                    "Socialink.exe": ["socialink-sdk.dll"], "Vidgrab.exe": list(WATCHED_LIBRARIES)}
        for arch, seen in self.each_pc():
            running = {(p.name, p.pid) for p in seen["before"]}
            for exe, names in expected.items():
                log = seen["logs"][exe]
                self.assertEqual("start", log[0].event, log)
                self.assertIn((exe, log[0].pid), running)
                loads = [(e.get("library"), e.get("result")) for e in log if e.event == "load"]
                self.assertEqual([(join_win(seen["shared"], n), "ok") for n in names], loads)
            self.assertNotIn("Homereel.exe", {p.name for p in seen["before"]})

    def test_quit_switch_ends_the_running_instance(self):
        for arch, seen in self.each_pc():
            log = seen["logs"]["Travio.exe"]
            self.assertEqual(["start", "load", "load", "quit-request", "exit"], [e.event for e in log])
            self.assertTrue(log[3].args.endswith(" /q"), log[3].args)
            self.assertNotEqual(log[0].pid, log[3].pid)  # the request comes from a second instance
            self.assertEqual(log[0].pid, log[4].pid)
            self.assertEqual(0, seen["quit_codes"]["Travio.exe"])
            self.assertTrue(seen["gone"]["Travio.exe"])

    def test_delayed_end_after_the_request(self):
        for arch, seen in self.each_pc():
            log = seen["logs"]["Castwell.exe"]
            self.assertEqual(["start", "quit-request", "exit"], [e.event for e in log])
            self.assertGreaterEqual(log[2].tick - log[1].tick, QUIT_DELAY_MS)
            self.assertEqual(str(QUIT_DELAY_MS), log[2].get("delay"))
            self.assertTrue(seen["gone"]["Castwell.exe"])

    def test_ignored_quit_switch_leaves_the_program_running(self):
        for arch, seen in self.each_pc():
            log = seen["logs"]["Traylet.exe"]
            self.assertEqual(["start", "quit-request", "quit-ignored"], [e.event for e in log])
            self.assertIn(("Traylet.exe", log[0].pid), {(p.name, p.pid) for p in seen["after"]})

    def test_quit_switch_without_a_running_instance(self):
        for arch, seen in self.each_pc():
            log = seen["logs"]["Homereel.exe"]
            self.assertEqual("quit-request-no-instance", log[0].event)
            self.assertEqual(0, seen["quit_codes"]["Homereel.exe"])

    def test_environment_setting_wins_over_the_ini_file(self):
        for arch, seen in self.each_pc():
            events = [e.event for e in seen["logs"]["Homereel.exe"]]
            self.assertEqual(["quit-request-no-instance", "start", "quit-request", "quit-ignored"], events)
            self.assertIn("Homereel.exe", {p.name for p in seen["after"]})

    def test_program_keeps_running_without_its_executable(self):
        for arch, seen in self.each_pc():
            self.assertFalse(seen["exists"]["Libhost.exe"])
            self.assertTrue(all(v for k, v in seen["exists"].items() if k != "Libhost.exe"), seen["exists"])
            pid = seen["logs"]["Libhost.exe"][0].pid
            self.assertIn(("Libhost.exe", pid), {(p.name, p.pid) for p in seen["after"]})

    def test_loadable_libraries_carry_the_version_of_the_files_they_replace(self):
        # Vidgrab.exe loaded all ten (see above); the updater selects those of
        # the shared folder's rows exactly when their version is in the window.
        rows = payload_rows()
        shared_rows = {r.resource_id: r.file_name for r in rows
                       if r.base == "shared" and r.sub_folder == "" and r.file_name in WATCHED_LIBRARIES}
        self.assertEqual(len(WATCHED_LIBRARIES) - 1, len(set(shared_rows.values())))
        for arch, seen in self.each_pc():
            selected = {rid: seen["install_list"].get(rid) for rid in shared_rows}
            if LIBRARY_VERSIONS[arch] == "above":
                self.assertEqual({rid: None for rid in shared_rows}, selected)
                self.assertTrue(seen["install_list"], "rows of the other files are selected")
            else:
                self.assertEqual({rid: join_win(seen["shared"], name) for rid, name in shared_rows.items()},
                                 selected)


if __name__ == "__main__":
    unittest.main()
