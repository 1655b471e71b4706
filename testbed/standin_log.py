"""What the stand-ins did and what still runs on a simulated PC.

Each stand-in appends one line per event to "<Name>.log" beside itself
(testbed/standins/standin_common.h):

    <event> pid=<pid> tick=<ms>[ <key>=<value>...] args=<command line>

where a value with spaces is quoted. The tick is GetTickCount, the same clock
for every process of the PC, so that entries of several logs can be ordered.
"""

from __future__ import annotations

import json
import re
import time
from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Callable, Dict, List

import testbed  # noqa: F401 -- puts the Wine test modules on the path
from wineprefix import helper

if TYPE_CHECKING:
    from testbed.simulated_pc import SimulatedPC

_FIELD = re.compile(r'(\w+)=("[^"]*"|\S*)')


@dataclass
class LogEntry:
    event: str
    pid: int
    tick: int
    fields: Dict[str, str] = field(default_factory=dict)
    args: str = ""

    def get(self, key: str, default=None):
        return self.fields.get(key, default)


def parse_log(text: str) -> List[LogEntry]:
    """The complete lines of a log (a line still being written is left out)."""
    entries = []
    for line in text.split("\r\n")[:-1]:
        head, _, args = line.partition(" args=")
        event, _, rest = head.partition(" ")
        fields = {k: v[1:-1] if v.startswith('"') else v for k, v in _FIELD.findall(rest)}
        entries.append(LogEntry(event, int(fields.pop("pid", "0")), int(fields.pop("tick", "0")),
                                fields, args))
    return entries


def read_log(pc: "SimulatedPC", win_path: str) -> List[LogEntry]:
    try:
        return parse_log(pc.scenario.to_unix(win_path).read_bytes().decode("utf-8", errors="replace"))
    except FileNotFoundError:
        return []


def wait_for_log(pc: "SimulatedPC", win_path: str, condition: Callable[[List[LogEntry]], bool],
                 timeout: float = 30, what: str = "the expected log entries") -> List[LogEntry]:
    deadline = time.monotonic() + timeout
    while True:
        entries = read_log(pc, win_path)
        if condition(entries):
            return entries
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out waiting for {what} in {win_path}: "
                               f"{[e.event for e in entries]}")
        time.sleep(0.05)


@dataclass
class RunningProcess:
    pid: int
    name: str  # the executable name of the process snapshot


def running_processes(pc: "SimulatedPC") -> List[RunningProcess]:
    """The processes of the PC's Wine session, as a 32-bit program lists them."""
    out = pc.scenario.run([helper("winprobe.exe"), "processes"]).stdout.decode()
    return [RunningProcess(int(e["pid"]), e["name"]) for e in json.loads(out)["entries"]]
