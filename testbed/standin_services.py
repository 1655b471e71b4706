"""The shared components' services on a simulated PC: copies of one stand-in
(testbed/standins/standin_service.cpp) in the shared folder, registered as
own-process services on demand start, and started at the PC's start when
`running`.

    StandInService("QVLDms", running=True, stop_ms=1500, wait_hint_ms=3000)
    StandInService("QVLCImp", running=True, ignore_stop=True)
    StandInService("QVLDs", start_ms=2000, wait_hint_ms=500, progress=False)
    StandInService("QVLDs", stop_after_start=True)

While starting (start_ms) and stopping (stop_ms) the service reports the
pending state every step_ms with a check point growing by one (or staying 1
without `progress`) and the wait hint wait_hint_ms. `control(pc, ...)` sends
a request the way another process does (service_tool.exe) and returns the
statuses that QueryServiceStatusEx reported; `reported(pc)` the statuses the
service itself reported, from its log.
"""

from __future__ import annotations

import json
from dataclasses import dataclass
from typing import TYPE_CHECKING, List, Sequence, Tuple

import testbed  # noqa: F401 -- puts the Wine test modules on the path
from testbed.component import Component, shared_folder
from testbed.standin_log import LogEntry, read_log
from testbed.watched_libraries import library_paths
from wineprefix import helper, join_win

if TYPE_CHECKING:
    from testbed.simulated_pc import SimulatedPC

SERVICE_NAMES = ("QVLDms", "QVLCImp", "QVLDs")

# Service states as Windows numbers them.
STOPPED, START_PENDING, STOP_PENDING, RUNNING = 1, 2, 3, 4


@dataclass(frozen=True)
class ServiceStatus:
    state: int
    checkpoint: int
    waithint: int
    tick: int = 0
    pid: int = 0

    @property
    def report(self) -> Tuple[int, int, int]:
        """What the service sets and the manager passes on."""
        return (self.state, self.checkpoint, self.waithint)


@dataclass
class StandInService(Component):
    name: str = "QVLDms"
    running: bool = False
    start_ms: int = 0
    stop_ms: int = 0
    wait_hint_ms: int = 0
    step_ms: int = 200
    progress: bool = True
    ignore_stop: bool = False
    stop_after_start: bool = False
    libraries: Sequence[str] = ()

    def __post_init__(self):
        if self.name not in SERVICE_NAMES:
            raise ValueError(f"{self.name} is not one of {SERVICE_NAMES}")

    def path(self, pc: "SimulatedPC") -> str:
        return join_win(shared_folder(pc), self.name + ".exe")

    def log_path(self, pc: "SimulatedPC") -> str:
        return join_win(shared_folder(pc), self.name + ".log")

    def ini_text(self, pc: "SimulatedPC") -> bytes:
        lines = ["[StandIn]", f"StartMs={self.start_ms}", f"StopMs={self.stop_ms}",
                 f"WaitHint={self.wait_hint_ms}", f"StepMs={self.step_ms}",
                 f"Progress={int(self.progress)}", f"IgnoreStop={int(self.ignore_stop)}",
                 f"StopAfterStart={int(self.stop_after_start)}",
                 "Libraries=" + ";".join(library_paths(pc, self.libraries))]
        return ("\r\n".join(lines) + "\r\n").encode("utf-8")

    def files(self, pc):
        return {
            self.path(pc): helper("standin_service.exe").read_bytes(),
            join_win(shared_folder(pc), self.name + ".ini"): self.ini_text(pc),
        }

    def start(self, pc):
        request, _ = self.tool(pc, "create", self.path(pc))
        if not request["ok"]:
            raise RuntimeError(f"CreateServiceW({self.name}) failed with error {request['error']}")
        if self.running:
            request, statuses = self.control(pc, "start", self.start_ms + 10000)
            if not request["ok"] or not statuses or statuses[-1].state in (START_PENDING, STOP_PENDING):
                raise RuntimeError(f"{self.name} did not start: {request} {statuses}")

    # -- requests, as another process makes them

    def tool(self, pc: "SimulatedPC", command: str, *args) -> Tuple[dict, List[ServiceStatus]]:
        out = pc.scenario.run([helper("service_tool.exe"), command, self.name, *map(str, args)],
                              check=False).stdout.decode()
        lines = [json.loads(line) for line in out.splitlines() if line.strip()]
        if not lines:
            raise RuntimeError(f"service_tool.exe {command} {self.name} printed nothing")
        statuses = [ServiceStatus(s["state"], s["checkpoint"], s["waithint"], s["tick"], s["pid"])
                    for s in lines if "state" in s]
        request = next((line for line in lines if "request" in line), {"request": command, "ok": True})
        return request, statuses

    def control(self, pc: "SimulatedPC", request: str, watch_ms: int = 0) -> Tuple[dict, List[ServiceStatus]]:
        """Sends "start" or "stop" (or "query": nothing), then reads the status
        with QueryServiceStatusEx until it is no longer pending or watch_ms
        have passed; returns the request's outcome ({"ok", "error"}) and each
        different status read, in order."""
        return self.tool(pc, request, watch_ms)

    def status(self, pc: "SimulatedPC") -> ServiceStatus:
        return self.control(pc, "query")[1][0]

    # -- what happened

    def log(self, pc: "SimulatedPC") -> List[LogEntry]:
        return read_log(pc, self.log_path(pc))

    def events(self, pc: "SimulatedPC") -> List[str]:
        return [e.event for e in self.log(pc)]

    def reported(self, pc: "SimulatedPC") -> List[ServiceStatus]:
        """The statuses the service passed to SetServiceStatus, in order."""
        return [ServiceStatus(int(e.get("state")), int(e.get("checkpoint")), int(e.get("waithint")), e.tick,
                              e.pid)
                for e in self.log(pc) if e.event == "status"]

    def describe(self):
        notes = ["running" if self.running else "installed"]
        if self.start_ms or self.stop_ms:
            notes.append(f"start {self.start_ms} ms, stop {self.stop_ms} ms, wait hint {self.wait_hint_ms} ms"
                         + ("" if self.progress else ", no progress"))
        if self.ignore_stop:
            notes.append("ignores stop")
        if self.stop_after_start:
            notes.append("stops right after its start")
        if self.libraries:
            notes.append("uses " + ", ".join(self.libraries))
        return f"service {self.name} ({', '.join(notes)})"
