"""The service stand-ins on simulated PCs: registered under the components'
service names, running at the start or not, and reporting to the service
control manager the pending states, check points and wait hints they were
given. Another process reads with QueryServiceStatusEx exactly what the
service reported: each status read is one it reported, in the order it
reported them, ending with its last one."""

import unittest
from typing import List

from harness import run_batch
from testbed.simulated_pc import SimulatedPC, StandInService, WatchedLibraries, shared_folder
from testbed.standin_services import RUNNING, START_PENDING, STOP_PENDING, STOPPED, ServiceStatus
from wineprefix import join_win

ERROR_SERVICE_DOES_NOT_EXIST = 1060
WATCH_MS = 15000


def services_64():
    return [
        WatchedLibraries(names=["qvl-core.dll"]),
        StandInService("QVLDms", running=True, stop_ms=1200, wait_hint_ms=3000, step_ms=250,
                       libraries=["qvl-core.dll"]),
        StandInService("QVLCImp", start_ms=1200, wait_hint_ms=4000, step_ms=250),
        StandInService("QVLDs", running=True, ignore_stop=True),
    ]


def services_32():
    return [
        StandInService("QVLDms", start_ms=1200, wait_hint_ms=500, step_ms=250, progress=False),
        StandInService("QVLCImp", start_ms=500, wait_hint_ms=1000, step_ms=250, stop_after_start=True),
    ]


def pc_job(arch, components, requests):
    """requests: (service name, request) in order; each is sent and watched."""
    def job():
        with SimulatedPC(arch, components=components, name=f"services-{arch}") as pc:
            services = {c.name: c for c in components if isinstance(c, StandInService)}
            seen = {"initial": {name: s.status(pc) for name, s in services.items()}, "requests": {}}
            for name, request in requests:
                service = services.get(name) or StandInService(name)  # one not installed
                seen["requests"][(name, request)] = service.control(pc, request, WATCH_MS)
            seen["final"] = {name: s.status(pc) for name, s in services.items()}
            seen["logs"] = {name: s.log(pc) for name, s in services.items()}
            seen["reported"] = {name: s.reported(pc) for name, s in services.items()}
            seen["shared"] = shared_folder(pc)
            return seen
    return job


def reports_of_start(reported: List[ServiceStatus]) -> List[ServiceStatus]:
    """The reports from the first up to the end of the start."""
    end = next(i for i, s in enumerate(reported) if s.state != START_PENDING)
    return reported[:end + 1]


def reports_of_stop(reported: List[ServiceStatus]) -> List[ServiceStatus]:
    begin = next(i for i, s in enumerate(reported) if s.state == STOP_PENDING)
    return reported[begin:]


class StandInServiceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.runs = run_batch({
            "64": pc_job("64", services_64(), [("QVLCImp", "start"), ("QVLDms", "stop"), ("QVLDs", "stop")]),
            "32": pc_job("32", services_32(), [("QVLDms", "start"), ("QVLCImp", "start"), ("QVLDs", "query")]),
        })

    def assertReadAsReported(self, read: List[ServiceStatus], reported: List[ServiceStatus]):
        """Each status read is one reported, in order; the last read is the last reported."""
        remaining = iter([s.report for s in reported])
        self.assertTrue(all(any(r == s.report for r in remaining) for s in read),
                        f"read {[s.report for s in read]}\nreported {[s.report for s in reported]}")
        self.assertEqual(reported[-1].report, read[-1].report)

    def test_services_installed_and_running_at_the_start_as_chosen(self):
        seen = self.runs["64"].get()
        self.assertEqual({"QVLDms": RUNNING, "QVLCImp": STOPPED, "QVLDs": RUNNING},
                         {name: s.state for name, s in seen["initial"].items()})
        for name in ("QVLDms", "QVLDs"):
            log = seen["logs"][name]
            self.assertEqual(("service-main", name), (log[0].event, log[0].get("service")))
            self.assertEqual(log[0].pid, seen["initial"][name].pid)
        self.assertEqual(0, seen["initial"]["QVLCImp"].pid)
        self.assertEqual([(join_win(seen["shared"], "qvl-core.dll"), "ok")],
                         [(e.get("library"), e.get("result")) for e in seen["logs"]["QVLDms"]
                          if e.event == "load"])

    def test_start_pending_with_progress_is_read_as_reported(self):
        seen = self.runs["64"].get()
        request, read = seen["requests"][("QVLCImp", "start")]
        self.assertTrue(request["ok"], request)
        reported = reports_of_start(seen["reported"]["QVLCImp"])
        self.assertReadAsReported(read, reported)
        pending = [s for s in read if s.state == START_PENDING]
        self.assertGreaterEqual(len(pending), 3, read)
        self.assertEqual(list(range(1, len(pending) + 1)), [s.checkpoint for s in pending])
        self.assertEqual({4000}, {s.waithint for s in pending})
        self.assertEqual(RUNNING, read[-1].state)
        self.assertGreaterEqual(reported[-1].tick - reported[0].tick, 1200)

    def test_stop_pending_with_progress_is_read_as_reported(self):
        seen = self.runs["64"].get()
        request, read = seen["requests"][("QVLDms", "stop")]
        self.assertTrue(request["ok"], request)
        # The first status read after the request already shows the stop.
        self.assertEqual((STOP_PENDING, 1, 3000), read[0].report)
        reported = reports_of_stop(seen["reported"]["QVLDms"])
        self.assertReadAsReported(read, reported)
        pending = [s for s in read if s.state == STOP_PENDING]
        self.assertGreaterEqual(len(pending), 3, read)
        self.assertEqual(list(range(1, len(pending) + 1)), [s.checkpoint for s in pending])
        self.assertEqual(STOPPED, seen["final"]["QVLDms"].state)
        self.assertGreaterEqual(reported[-1].tick - reported[0].tick, 1200)
        events = [e.event for e in seen["logs"]["QVLDms"]]
        self.assertEqual(["control", "status"], events[events.index("control"):][:2])

    def test_ignored_stop_leaves_the_service_running(self):
        seen = self.runs["64"].get()
        request, read = seen["requests"][("QVLDs", "stop")]
        self.assertTrue(request["ok"], request)
        self.assertEqual([(RUNNING, 0, 0)], [s.report for s in read])
        self.assertEqual(RUNNING, seen["final"]["QVLDs"].state)
        self.assertEqual(seen["initial"]["QVLDs"].pid, seen["final"]["QVLDs"].pid)
        self.assertIn("stop-ignored", [e.event for e in seen["logs"]["QVLDs"]])

    def test_start_pending_without_progress_is_read_as_reported(self):
        seen = self.runs["32"].get()
        request, read = seen["requests"][("QVLDms", "start")]
        self.assertTrue(request["ok"], request)
        reported = reports_of_start(seen["reported"]["QVLDms"])
        self.assertGreaterEqual(len(reported), 4, reported)  # the same report, repeated
        self.assertReadAsReported(read, reported)
        self.assertEqual([(START_PENDING, 1, 500), (RUNNING, 0, 0)], [s.report for s in read])

    def test_service_that_stops_right_after_its_start(self):
        seen = self.runs["32"].get()
        request, read = seen["requests"][("QVLCImp", "start")]
        self.assertTrue(request["ok"], request)
        self.assertReadAsReported(read, reports_of_start(seen["reported"]["QVLCImp"]))
        self.assertEqual(START_PENDING, read[0].state)
        self.assertEqual(STOPPED, read[-1].state)
        self.assertEqual(STOPPED, seen["final"]["QVLCImp"].state)

    def test_services_left_out_are_not_installed(self):
        seen = self.runs["32"].get()
        request, read = seen["requests"][("QVLDs", "query")]
        self.assertEqual(({"request": "open", "ok": False, "error": ERROR_SERVICE_DOES_NOT_EXIST}, []),
                         ({k: request[k] for k in ("request", "ok", "error")}, read))
        self.assertEqual({"QVLDms": STOPPED, "QVLCImp": STOPPED},
                         {name: s.state for name, s in seen["initial"].items()})


if __name__ == "__main__":
    unittest.main()
