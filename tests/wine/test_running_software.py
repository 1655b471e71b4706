"""The update closes the software that holds its files and starts again what
it closed, seen from the stand-ins' own logs: services running before are
stopped before their libraries are replaced and started again afterwards in
the reverse order (a service stopped before stays stopped), known programs
are asked to quit with their switches, a program that ignores its switch and
still holds a watched library is terminated in the second pass, an unknown
program holding one is terminated (and not another process of its name), a
library used by more than 100 processes is passed over, the social-network
helper is terminated only when it is the product's own file, a service that
ignores its stop is not terminated, and the TV-recording application is closed
after "Yes" and started again at the end. None of it changes the outcome."""

import unittest

from harness import run_batch, run_program, stage_program, updater_exe
from testbed.simulated_pc import (InstalledPayload, InstalledProduct, KnownProgram, RestartManager, SimulatedPC,
                                  StandInService, TvRecorder, UnknownProgram, WatchedLibraries, payload_rows,
                                  running_processes, watched_library_path)
from testbed.payload_rows import digest, new_payload_file
from updater_runs import UpdaterAssertions, require_program, require_updater, retired_notice
from wineprefix import helper

COMPLETED = ("Update completed successfully.", "none", ["OK"])
# Message 205 exists only in Japanese: elsewhere the question is empty.
RECORDER_QUESTION = ("", "exclamation", ["Yes", "No"])
SERVICE_RUNNING = 4


def new_library(name):
    """The payload file that replaces the watched library `name`."""
    row = next(r for r in payload_rows() if r.file_name == name and r.base == "shared" and not r.sub_folder)
    return digest(new_payload_file(row.resource_id).read_bytes())


def asides(pc, name):
    path = pc.scenario.to_unix(watched_library_path(pc, name))
    return sorted(p.name for p in path.parent.iterdir() if p.name.startswith(name + ".tmp."))


def run_job(arch, parts, answers):
    """Runs the update on a PC with `parts` (name: component) and returns the
    result with everything the tests read, taken before the session ends."""

    def job():
        components = [InstalledProduct(), InstalledPayload(), WatchedLibraries(), *parts.values()]
        with SimulatedPC(arch, "en_US.UTF-8", components, f"running-{arch}") as pc:
            result = run_program(pc.scenario, stage_program(pc.scenario, updater_exe()), answers=answers,
                                 timeout=900)
            processes = running_processes(pc)
            seen = {"result": result, "running": {p.name for p in processes},
                    "running_pids": {p.pid for p in processes}}
            for name, part in parts.items():
                if not hasattr(part, "log"):
                    continue
                seen[name] = part.log(pc)
                if isinstance(part, StandInService):
                    seen[name + ".state"] = part.status(pc).state
            seen["libraries"] = {name: (digest(pc.scenario.to_unix(watched_library_path(pc, name)).read_bytes()),
                                        asides(pc, name))
                                 for name in ("qvl-core.dll", "media-index.dll", "thumb-cache.dll",
                                              "meta-reader.dll", "stream-host.dll", "content-import.dll",
                                              "device-watch.dll")}
            return seen

    return job


def closing_parts():
    return {
        "QVLDms": StandInService("QVLDms", running=True, stop_ms=1500, wait_hint_ms=3000, libraries=["qvl-core.dll"]),
        "QVLCImp": StandInService("QVLCImp", running=True, libraries=["media-index.dll"]),
        "QVLDs": StandInService("QVLDs", running=False),
        "Castwell": KnownProgram("Castwell.exe", libraries=["thumb-cache.dll"]),
        "Traylet": KnownProgram("Traylet.exe", libraries=["meta-reader.dll"], ignore_quit=True),
        "Vidgrab": UnknownProgram("Vidgrab.exe", libraries=["stream-host.dll"]),
        # Same name, no watched library: the Restart Manager does not list it.
        "Vidgrab-idle": UnknownProgram("Vidgrab.exe", folder="C:\\users\\Public\\Vidgrab"),
        "Crowdy": UnknownProgram("Crowdy.exe", libraries=["content-import.dll"]),
        "Socialink": KnownProgram("Socialink.exe"),
        # The helper's name, but not the product's file.
        "Socialink-elsewhere": UnknownProgram("Socialink.exe", folder="C:\\users\\Public\\Socialink"),
        "Kestrav": TvRecorder(),
        "rm": RestartManager(crowded=["content-import.dll"]),
    }


def stubborn_parts():
    return {
        "QVLDms": StandInService("QVLDms", running=True, ignore_stop=True, libraries=["qvl-core.dll"]),
        "Libhost": KnownProgram("Libhost.exe", libraries=["device-watch.dll"], exe_deleted=True),
        "Kestrav": TvRecorder(running=False),
        "rm": RestartManager(),
    }


def events(log, name):
    return [e for e in log if e.event == name]


class RunningSoftwareTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        for name in ("standin_program.exe", "standin_service.exe", "rstrtmgr.dll"):
            require_program(helper(name))
        cls.runs = run_batch({
            "closing": run_job("64", closing_parts(), ["ok", "yes", "ok"]),
            "stubborn": run_job("32", stubborn_parts(), ["ok", "ok"]),
        })

    def test_the_update_completes_after_closing_and_restarting(self):
        run = self.runs["closing"].get()
        self.assertBoxes(run["result"], [retired_notice(), RECORDER_QUESTION, COMPLETED])
        self.assertExitCode(run["result"], 0)

    def test_running_services_are_stopped_before_their_libraries_are_replaced_and_started_again(self):
        run = self.runs["closing"].get()
        for service, library in (("QVLDms", "qvl-core.dll"), ("QVLCImp", "media-index.dll")):
            with self.subTest(service):
                log = run[service]
                self.assertTrue([e for e in events(log, "control") if e.get("code") == "1"], "no stop request")
                self.assertEqual(2, len(events(log, "service-main")), "started once before and once after")
                # A library still loaded would have been moved aside instead.
                self.assertEqual((new_library(library), []), run["libraries"][library])
                self.assertEqual(SERVICE_RUNNING, run[service + ".state"])
        # Started again in the reverse order of the stops: QVLCImp before QVLDms.
        restart = {s: events(run[s], "service-main")[1].tick for s in ("QVLDms", "QVLCImp")}
        self.assertLess(restart["QVLCImp"], restart["QVLDms"])
        self.assertEqual([], events(run["QVLDs"], "service-main"), "a service stopped before stays stopped")

    def test_programs_are_asked_to_quit_or_terminated(self):
        run = self.runs["closing"].get()
        castwell = run["Castwell"]
        self.assertTrue(any(e.args.rstrip().endswith("/Q") for e in events(castwell, "quit-request")), castwell)
        self.assertTrue(events(castwell, "exit"), "Castwell ended by itself")
        traylet = run["Traylet"]
        self.assertTrue(events(traylet, "quit-ignored"))
        self.assertEqual([], events(traylet, "exit"), "Traylet was terminated, not ended")
        self.assertEqual([], events(run["Vidgrab"], "exit"))
        for name in ("Castwell.exe", "Traylet.exe"):
            self.assertNotIn(name, run["running"])
        # Only the listed process of an unknown program ends, not its namesake.
        self.assertNotIn(events(run["Vidgrab"], "start")[0].pid, run["running_pids"])
        self.assertIn(events(run["Vidgrab-idle"], "start")[0].pid, run["running_pids"])
        for library in ("thumb-cache.dll", "meta-reader.dll", "stream-host.dll"):
            self.assertEqual((new_library(library), []), run["libraries"][library], library)
        # The trace tells what became of each quit request.
        trace = run["result"].trace()
        for line in ("Castwell.exe /Q: asked to quit and ended",
                     "Traylet.exe /Q: asked to quit and still running after the wait",
                     "Homereel.exe /Q: file not found"):
            self.assertTrue(any(t.startswith("program: ") and t.endswith(line) for t in trace), (line, trace))

    def test_only_the_products_own_social_network_helper_is_terminated(self):
        run = self.runs["closing"].get()
        own, elsewhere = (events(run[name], "start")[0].pid for name in ("Socialink", "Socialink-elsewhere"))
        self.assertNotIn(own, run["running_pids"])
        self.assertEqual([], events(run["Socialink"], "exit"), "terminated, not ended by itself")
        self.assertIn(elsewhere, run["running_pids"])
        self.assertEqual([], events(run["Socialink-elsewhere"], "exit"))

    def test_a_library_with_more_than_a_hundred_users_is_passed_over(self):
        run = self.runs["closing"].get()
        self.assertIn("Crowdy.exe", run["running"])
        new, moved = run["libraries"]["content-import.dll"]
        self.assertEqual(new_library("content-import.dll"), new, "replaced all the same, while in use")
        self.assertEqual(1, len(moved), "its old copy waits for the next restart")

    def test_the_tv_recorder_is_closed_and_started_again_after_the_services(self):
        run = self.runs["closing"].get()
        log = run["Kestrav"]
        starts = events(log, "start")
        self.assertEqual(2, len(starts), [e.event for e in log])
        self.assertNotEqual(starts[0].pid, starts[1].pid)
        self.assertTrue(events(log, "exit"))
        last_restart = max(events(run[s], "service-main")[1].tick for s in ("QVLDms", "QVLCImp"))
        self.assertGreaterEqual(starts[1].tick, last_restart)
        self.assertIn("Kestrav.exe", run["running"])

    def test_a_service_ignoring_its_stop_is_not_terminated_and_a_program_without_its_file_is(self):
        run = self.runs["stubborn"].get()
        self.assertBoxes(run["result"], [retired_notice(), COMPLETED])
        self.assertExitCode(run["result"], 0)
        self.assertTrue(events(run["QVLDms"], "stop-ignored"))
        # Wine's service manager ends a service that does not answer its stop;
        # the update itself never terminates a service.
        self.assertEqual([], [t for t in run["result"].trace() if "QVLDms.exe (listed user" in t])
        self.assertEqual((new_library("qvl-core.dll"), []), run["libraries"]["qvl-core.dll"])
        libhost = run["Libhost"]
        self.assertEqual([], events(libhost, "quit-request"), "a program whose file is gone is not started")
        self.assertEqual([], events(libhost, "exit"))
        self.assertNotIn("Libhost.exe", run["running"])
        self.assertEqual((new_library("device-watch.dll"), []), run["libraries"]["device-watch.dll"])
        self.assertEqual([], events(run["Kestrav"], "start"), "a recorder that was not running is not started")


if __name__ == "__main__":
    unittest.main()
