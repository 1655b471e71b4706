"""Installed files held by other running processes while updater.exe replaces
them: a program's own image and a library another process keeps loaded are
replaced under their own names, their old copies wait under their aside names
for deletion at the next restart; a file held without delete sharing half-way
through the install list stops the update with 0x80070020 and leaves the
whole PC exactly as it was (the rows before it put back, the services that
ran running again); a read-only, hidden file is replaced and stays read-only
and hidden."""

import argparse
import re
import unittest

from harness import run_batch, run_program, stage_program, updater_exe
from testbed.simulated_pc import InstalledPayload, InstalledProduct, SimulatedPC, payload_rows
from testbed.payload_rows import digest, new_payload_file
from testbed.pc_state import compare, snapshot
from testbed.run_demo import WHOLE_PC
from testbed.simulated_pc import add_pc_arguments, components_from_args
from updater_runs import UpdaterAssertions, hold, probe_exe, require_program, require_updater, retired_notice
from wineprefix import helper

SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"
SHARING_VIOLATION = 0x80070020
# Mirevo 2.0.1.12040 gets the notice about all three retired link functions first.
FAILED = [retired_notice(), ("Package Update Failed.\r\n(code = 0x80070020)", "hand", ["OK"])]
# The whole PC also has "WEBMEDIA" set, which adds the internet content line.
FAILED_WHOLE_PC = [retired_notice(internet_content=True), FAILED[1]]
COMPLETED = [retired_notice(), ("Update completed successfully.", "none", ["OK"])]
PROGRAM_ROW = 525    # Travio.exe in the product folder
LIBRARY_ROW = 401    # core-ui.dll
HIDDEN_ROW = 402     # core-model.dll
LOCKED_ROW = 500    # the 100th file of the install list


def attributes(pc, win_path):
    """The letters that attrib.exe shows for a file (for example "RH")."""
    out = pc.scenario.run(["attrib", win_path]).stdout.decode("ascii", "replace")
    flags = out.split(":")[0] if ":" in out else out
    return "".join(sorted(set(re.sub(r"[^RHSA]", "", flags.upper()))))


def in_use_job(arch, prepare):
    """Builds a PC, lets `prepare` hold files, runs the update; returns what a
    test needs, all read before the session ends."""

    def job():
        payload = InstalledPayload()
        with SimulatedPC(arch, "en_US.UTF-8", [InstalledProduct(), payload], f"in-use-{arch}") as pc:
            dest = {row.resource_id: payload.destination(pc, row) for row in payload_rows()}
            prepare(pc, dest)
            before = {rid: digest(pc.scenario.to_unix(p).read_bytes()) for rid, p in dest.items()}
            result = run_program(pc.scenario, stage_program(pc.scenario, updater_exe()),
                                 answers=["ok"] * 5, timeout=600)
            after = {rid: digest(pc.scenario.to_unix(p).read_bytes()) for rid, p in dest.items()}
            pending = pc.scenario.reg_query(SESSION_MANAGER, "PendingFileRenameOperations", view="64"
                                            if arch == "64" else "32")
            folders = {rid: pc.scenario.to_unix(p).parent for rid, p in dest.items()}
            asides = {rid: sorted(f.name for f in folders[rid].iterdir()
                                  if f.name.startswith(pc.scenario.to_unix(dest[rid]).name + ".tmp."))
                      for rid in (PROGRAM_ROW, LIBRARY_ROW, HIDDEN_ROW)}
            hidden = attributes(pc, dest[HIDDEN_ROW])
            return dict(result=result, before=before, after=after, pending=pending, asides=asides,
                        hidden=hidden, dest=dest)

    return job


def hold_program_and_library(pc, dest):
    # The program's image is the installed Travio.exe; it also keeps the
    # installed core-ui.dll loaded. Neither has a version resource, so both
    # rows are selected.
    pc.scenario.write_file(dest[PROGRAM_ROW], helper("hold_file.exe").read_bytes())
    pc.scenario.write_file(dest[LIBRARY_ROW], helper("plain_library.dll").read_bytes())
    # One flag per call: Wine's attrib applies only the last of several.
    pc.scenario.run(["attrib", "+h", dest[HIDDEN_ROW]])
    pc.scenario.run(["attrib", "+r", dest[HIDDEN_ROW]])
    if attributes(pc, dest[HIDDEN_ROW]) != "AHR":
        raise RuntimeError(f"the installed file is not read-only and hidden: {attributes(pc, dest[HIDDEN_ROW])}")
    pc.keep_process(hold(pc, dest[PROGRAM_ROW], ["run", "load", dest[LIBRARY_ROW]]).proc)


def locked_job(arch):
    """The whole PC (services, programs, media database, records) with the
    100th file of the install list held without delete sharing: its state
    before and after the update."""

    def job():
        parser = argparse.ArgumentParser()
        add_pc_arguments(parser)
        components = components_from_args(parser.parse_args(WHOLE_PC))
        with SimulatedPC(arch, "en_US.UTF-8", components, f"locked-{arch}") as pc:
            payload = pc.component(InstalledPayload)
            rows = {r.resource_id: r for r in payload_rows()}
            held = payload.destination(pc, rows[LOCKED_ROW])
            pc.keep_process(hold(pc, helper("hold_file.exe"), ["open", held]).proc)
            row_before = payload.destination(pc, rows[LOCKED_ROW - 1])
            before = snapshot(pc)
            result = run_program(pc.scenario, stage_program(pc.scenario, updater_exe()),
                                 answers=["ok"] * 5, timeout=600)
            return dict(result=result, before=before, after=snapshot(pc), row_before=row_before)

    return job


class UpdateInUseTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        require_program(new_payload_file(401))
        require_program(helper("hold_file.exe"))
        require_program(helper("plain_library.dll"))
        cls.new = {row.resource_id: digest(new_payload_file(row.resource_id).read_bytes()) for row in payload_rows()}
        cls.runs = run_batch({
            "in-use": in_use_job("64", hold_program_and_library),
            "locked-64": locked_job("64"),
            "locked-32": locked_job("32"),
        })

    def test_files_in_use_are_replaced_and_their_old_copies_wait_for_a_restart(self):
        run = self.runs["in-use"].get()
        self.assertBoxes(run["result"], COMPLETED)
        self.assertExitCode(run["result"], 0)
        pending = run["pending"]
        self.assertIsNotNone(pending, "nothing was registered for deletion at the next restart")
        for rid in (PROGRAM_ROW, LIBRARY_ROW):
            with self.subTest(row=rid):
                self.assertEqual(self.new[rid], run["after"][rid], "replaced under its own name")
                asides = run["asides"][rid]
                self.assertEqual(1, len(asides), f"one aside copy: {asides}")
                self.assertRegex(asides[0], r"\.tmp\.\d+-\d+$")
                self.assertIn(asides[0].lower(), str(pending[1]).lower(),
                              "the aside copy is to be deleted at the next restart")
        self.assertEqual([], run["asides"][HIDDEN_ROW], "a free file needs no aside copy")

    def test_read_only_hidden_file_is_replaced_and_stays_read_only_and_hidden(self):
        run = self.runs["in-use"].get()
        self.assertEqual(self.new[HIDDEN_ROW], run["after"][HIDDEN_ROW])
        self.assertIn("R", run["hidden"])
        self.assertIn("H", run["hidden"])

    def test_file_held_without_delete_sharing_leaves_the_pc_exactly_as_before(self):
        for arch in ("64", "32"):
            with self.subTest(arch=arch):
                run = self.runs[f"locked-{arch}"].get()
                self.assertBoxes(run["result"], FAILED_WHOLE_PC)
                self.assertExitCode(run["result"], SHARING_VIOLATION)
                before, after = run["before"], run["after"]
                # The row before the held one was in place when the update stopped.
                trace = run["result"].trace()
                self.assertIn(f"file: replaced {run['row_before']}: 0x00000000", trace, run["result"].describe())
                self.assertIn("transaction: rolled back after 0x80070020", trace)
                # Nothing differs: the state classify() calls old.
                self.assertEqual([], compare(before, after), run["result"].describe())
                running = [name for name, state in before["services"].items() if state == "running"]
                self.assertEqual(["QVLDms", "QVLCImp"], running, "the PC has no running service to check")
                self.assertEqual({name: "running" for name in running},
                                 {name: after["services"][name] for name in running})


if __name__ == "__main__":
    unittest.main()
