"""What an update changed on a simulated PC, in a few readable lines: the
payload files replaced, the running software closed and started again, the
media database, the version records and the retired-feature clean-up. The
demo (run_demo.py) prints it after the run; `snapshot` is taken before."""

from __future__ import annotations

from typing import TYPE_CHECKING, List

import testbed  # noqa: F401 -- puts the Wine test modules on the path
from testbed.media_database import MediaDatabase
from testbed.payload_rows import digest, new_payload_file, payload_rows
from testbed.product_records import read_records
from testbed.standin_log import running_processes
from testbed.standin_programs import StandInProgram
from testbed.standin_services import StandInService

if TYPE_CHECKING:
    from testbed.simulated_pc import SimulatedPC


def _payload_destinations(pc: "SimulatedPC"):
    from testbed.simulated_pc import InstalledPayload
    payload = pc.component(InstalledPayload)
    if payload is None:
        return {}
    return {row.resource_id: pc.scenario.to_unix(payload.destination(pc, row)) for row in payload_rows()}


def snapshot(pc: "SimulatedPC") -> dict:
    """What the report compares with: the installed files and the database rows."""
    files = {rid: digest(path.read_bytes()) if path.exists() else None
             for rid, path in _payload_destinations(pc).items()}
    database = pc.component(MediaDatabase)
    return {"files": files, "items": database.rows(pc) if database else []}


def _files(pc, before) -> List[str]:
    destinations = _payload_destinations(pc)
    if not destinations:
        return []
    new = {rid: digest(new_payload_file(rid).read_bytes()) for rid in destinations}
    replaced = [rid for rid, path in destinations.items()
                if path.exists() and digest(path.read_bytes()) != before["files"][rid]]
    as_new = sum(1 for rid in replaced if digest(destinations[rid].read_bytes()) == new[rid])
    return [f"Payload: {len(replaced)} of {len(destinations)} installed files replaced "
            f"({as_new} byte for byte as carried, the others by a file shared with another row)"]


def _software(pc) -> List[str]:
    lines = []
    running = {p.name for p in running_processes(pc)}
    for part in pc.components:
        if isinstance(part, StandInService):
            events = [e.event for e in part.log(pc)]
            stops = sum(1 for e in part.log(pc) if e.event == "control" and e.get("code") == "1")
            starts = events.count("service-main")
            lines.append(f"Service {part.name}: {'running' if part.running else 'stopped'} before; "
                         f"stop requests {stops}, starts {starts}; state now {part.status(pc).state}")
        elif isinstance(part, StandInProgram):
            events = [e.event for e in part.log(pc)]
            lines.append(f"Program {part.exe}: {', '.join(events) or 'no events'}; "
                         f"{'running' if part.exe in running else 'not running'} now")
    return lines


def _database(pc, before) -> List[str]:
    database = pc.component(MediaDatabase)
    if database is None:
        return []
    lines = [f"Media database: calls {', '.join(c['call'] for c in database.calls(pc)) or 'none'}"]
    after = {item.item_id: item for item in database.rows(pc)}
    for item in before["items"]:
        now = after.get(item.item_id)
        if now and now.private_flag != item.private_flag:
            lines.append(f"  item {item.item_id} \"{item.title}\" (server {item.server_id}): "
                         f"private_flag {item.private_flag} -> {now.private_flag}")
    return lines


def _records(pc) -> List[str]:
    records = read_records(pc)
    lines = []
    if records["version_file"] is not None:
        lines.append("Version.txt: " + records["version_file"].decode("latin-1").replace("\r\n", " | ").strip(" |"))
    if records["patch_list"]:
        lines.append("PatchList: " + ", ".join(f"{k}={v[1]}" for k, v in records["patch_list"].items()))
    for edition, values in records["uninstall"].items():
        if values:
            lines.append(f"Uninstall entry ({edition}-bit): DisplayVersion={values.get('DisplayVersion', ('', '?'))[1]}"
                         f", InstallDate={values.get('InstallDate', ('', '?'))[1]}")
    lines.append(f"Retired data: WEBMEDIA {'kept' if records['web_media'] else 'removed'}, "
                 f"per-user file {'kept' if records['user_file'] else 'removed'}, "
                 f"pictures {'kept' if records['pictures'] else 'removed'}")
    return lines


ACTIVEX_KEY = r"HKLM\SOFTWARE\Microsoft\Internet Explorer\ActiveX Compatibility"


def _registry(pc) -> List[str]:
    """The class ids that Internet Explorer is told not to load, per registry view."""
    counts = []
    for view in (("64", "32") if pc.arch == "64" else ("32",)):
        out = pc.scenario.run(["reg", "query", ACTIVEX_KEY, f"/reg:{view}"], check=False).stdout
        keys = [line for line in out.decode("ascii", "replace").splitlines() if line.startswith("HKEY_")]
        counts.append(f"{len(keys)} in the {view}-bit view")
    return ["ActiveX compatibility keys: " + ", ".join(counts)]


def report(pc: "SimulatedPC", before: dict) -> List[str]:
    lines: List[str] = []
    for section in (lambda: _files(pc, before), lambda: _software(pc), lambda: _database(pc, before),
                    lambda: _registry(pc), lambda: _records(pc)):
        try:
            lines += section()
        except Exception as error:  # a report line must never hide the outcome
            lines.append(f"(could not read: {error!r})")
    return lines

