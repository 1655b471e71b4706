"""The media-database step: UpdateMediaDatabase against the library stand-in
(qvldb.dll over SQLite, testbed/media_database.py) on simulated PCs.

media_database_probe.exe runs the step alone and prints its result. Beside
it lies a second copy of the library, found only by a lookup of the bare name
(the program's folder comes first in the search order): it must receive
nothing, since the step loads the library of the shared folder by full path
and binds the members in that module. The updater scenarios check that the
finish phase runs the step after a successful installation and never after a
failed one (the database has no roll-back), and that a missing library leaves
the update's outcome alone."""

import subprocess
import unittest
from dataclasses import replace

from harness import DOWNLOADS, run_batch, run_program, stage_program, updater_exe
from test_update_in_use import hold
from testbed.simulated_pc import (InstalledPayload, InstalledProduct, MediaDatabase, SimulatedPC,
                                  payload_rows)
from testbed.media_database import LIBRARY_NAME
from testbed.watched_libraries import version_row
from updater_runs import EXIT_OK, UpdaterAssertions, probe_exe, require_program, require_updater, retired_notice
from wineprefix import build_dir, helper

STATEMENT = "update item_tbl set private_flag = 0 where item_tbl.server_id <> '1'"
NORMAL_CALLS = ["qvldb", "Open", "BeginTransaction", "ExecSQL", "Commit", "~qvldb"]
NULL_POINTER = "0x00000000"
COMPLETED = [retired_notice(), ("Update completed successfully.", "none", ["OK"])]
SHARING_VIOLATION = 0x80070020
FAILED = [retired_notice(), ("Package Update Failed.\r\n(code = 0x80070020)", "hand", ["OK"])]
LOCKED_ROW = 450


def probe():
    return probe_exe("media_database_probe.exe")


def expected_after_statement(items):
    """Items of servers other than '1' with private flag 0, the others as they were."""
    return [item if item.server_id == "1" else replace(item, private_flag=0) for item in items]


def step_job(arch, database, name):
    """Runs the step alone; returns its printed result, the calls of both
    copies of the library and the items before and after."""
    def job():
        with SimulatedPC(arch, components=[database], name=name) as pc:
            exe = stage_program(pc.scenario, probe())
            before = database.rows(pc)
            run = pc.scenario.run([exe], check=False)
            return dict(output=run.stdout.decode(errors="replace").strip(), before=before,
                        after=database.rows(pc), calls=database.calls(pc),
                        elsewhere=database.calls(pc, DOWNLOADS))
    return job


def update_job(arch, database, payload=None, prepare=None, name="update"):
    def job():
        components = [InstalledProduct(), payload or InstalledPayload(), database]
        with SimulatedPC(arch, components=components, name=name) as pc:
            if prepare:
                prepare(pc)
            before = database.rows(pc)
            result = run_program(pc.scenario, stage_program(pc.scenario, updater_exe()),
                                 answers=["ok"] * 5, timeout=600)
            return dict(result=result, before=before, after=database.rows(pc), calls=database.calls(pc))
    return job


def hold_locked_row(pc):
    """Holds one payload file without delete sharing: the installation fails there."""
    target = InstalledPayload().destination(pc, next(r for r in payload_rows() if r.resource_id == LOCKED_ROW))
    pc.keep_process(hold(pc, helper("hold_file.exe"), ["open", target]).proc)


class MediaDatabaseAssertions(UpdaterAssertions):
    def assertStatementApplied(self, run):
        before = run["before"]
        # Items on both sides with flags other than 0, or the check proves nothing.
        self.assertTrue(any(i.private_flag for i in before if i.server_id == "1"), before)
        self.assertTrue(any(i.private_flag for i in before if i.server_id != "1"), before)
        self.assertEqual(expected_after_statement(before), run["after"])

    def assertUntouched(self, run):
        self.assertEqual(run["before"], run["after"])

    def assertCalls(self, run, expected):
        """The members called, in order, on one object; `expected` is a list of
        member names or (member, result)."""
        calls = run["calls"]
        names = [e if isinstance(e, str) else e[0] for e in expected]
        self.assertEqual(names, [c["call"] for c in calls], calls)
        self.assertEqual(1, len({c["object"] for c in calls}), "one object from construction to destruction")
        self.assertEqual(1, len({c["pid"] for c in calls}))
        for e, call in zip(expected, calls):
            if not isinstance(e, str):
                self.assertEqual(e[1], call["result"], call)
        for call in calls:
            if call["call"] == "Open":
                self.assertEqual(1, call["mode"])
            if call["call"] == "ExecSQL":
                self.assertEqual(STATEMENT, call["sql"])
                self.assertEqual(NULL_POINTER, call["notify"])


class MediaDatabaseStepTest(MediaDatabaseAssertions):
    @classmethod
    def setUpClass(cls):
        require_program(probe())
        decoy = [DOWNLOADS]
        cls.runs = run_batch({
            "64": step_job("64", MediaDatabase(decoy_folders=decoy), "mediadb-64"),
            "32": step_job("32", MediaDatabase(decoy_folders=decoy), "mediadb-32"),
            "missing": step_job("64", MediaDatabase(library=False, decoy_folders=decoy), "mediadb-missing"),
            "Open": step_job("64", MediaDatabase(fail_at="Open", decoy_folders=decoy), "mediadb-open"),
            "BeginTransaction": step_job("32", MediaDatabase(fail_at="BeginTransaction", decoy_folders=decoy),
                                         "mediadb-begin"),
            "ExecSQL": step_job("64", MediaDatabase(fail_at="ExecSQL", decoy_folders=decoy), "mediadb-exec"),
        })

    def test_items_of_other_servers_end_with_flag_0_the_others_keep_theirs(self):
        for arch in ("64", "32"):
            with self.subTest(arch=arch):
                run = self.runs[arch].get()
                self.assertEqual("true", run["output"], "the result is Commit's")
                self.assertStatementApplied(run)

    def test_calls_in_order_with_their_arguments_in_the_library_of_the_shared_folder(self):
        for arch in ("64", "32"):
            with self.subTest(arch=arch):
                run = self.runs[arch].get()
                self.assertCalls(run, ["qvldb", ("Open", True), ("BeginTransaction", True), ("ExecSQL", True),
                                       ("Commit", True), "~qvldb"])
                self.assertFalse(run["calls"][-1]["open_transaction"])
                self.assertEqual([], run["elsewhere"], "a copy found by bare name was called")

    def test_missing_library_calls_nothing(self):
        run = self.runs["missing"].get()
        self.assertEqual("false", run["output"])
        self.assertEqual([], run["calls"])
        self.assertEqual([], run["elsewhere"], "the copy beside the program was reached")
        self.assertUntouched(run)

    def test_false_open_or_begin_transaction_sends_nothing_further(self):
        expected = {
            "Open": ["qvldb", ("Open", False), "~qvldb"],
            "BeginTransaction": ["qvldb", ("Open", True), ("BeginTransaction", False), "~qvldb"],
        }
        for member, calls in expected.items():
            with self.subTest(member=member):
                run = self.runs[member].get()
                self.assertEqual("false", run["output"])
                self.assertCalls(run, calls)
                self.assertUntouched(run)

    def test_false_exec_sql_is_not_committed(self):
        run = self.runs["ExecSQL"].get()
        self.assertEqual("false", run["output"])
        self.assertCalls(run, ["qvldb", ("Open", True), ("BeginTransaction", True), ("ExecSQL", False), "~qvldb"])
        # The transaction left open goes with the object.
        self.assertTrue(run["calls"][-1]["open_transaction"])
        self.assertUntouched(run)


class LibraryExportsTest(unittest.TestCase):
    def test_the_library_exports_exactly_the_members_of_the_class(self):
        library = helper(LIBRARY_NAME)
        table = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(library)], check=True,
                               capture_output=True, text=True).stdout
        names = table.split("[Ordinal/Name Pointer] Table", 1)[1].split("\n\n", 1)[0]
        exported = [line.split("]", 1)[1].strip() for line in names.strip().splitlines()]
        readable = subprocess.run(["i686-w64-mingw32-c++filt", "--no-strip-underscore", *exported], check=True,
                                  capture_output=True, text=True).stdout.splitlines()
        self.assertEqual({"qvldb::qvldb()", "qvldb::~qvldb()", "qvldb::Open(int)", "qvldb::BeginTransaction()",
                          "qvldb::ExecSQL(wchar_t const*, QvldbNotify*)", "qvldb::Commit()"}, set(readable))


class MediaDatabaseInUpdateTest(MediaDatabaseAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        require_program(build_dir() / "payload" / "files" / "401.bin")
        library_row = version_row(LIBRARY_NAME, payload_rows()).resource_id
        cls.runs = run_batch({
            "completed": update_job("64", MediaDatabase(), name="mediadb-update"),
            "failed": update_job("32", MediaDatabase(), prepare=hold_locked_row, name="mediadb-update-failed"),
            "no-library": update_job("64", MediaDatabase(library=False), InstalledPayload(missing=[library_row]),
                                     name="mediadb-update-no-library"),
        })

    def test_the_finish_phase_runs_the_statement_after_the_installation(self):
        run = self.runs["completed"].get()
        self.assertBoxes(run["result"], COMPLETED)
        self.assertExitCode(run["result"], EXIT_OK)
        self.assertCalls(run, NORMAL_CALLS)
        self.assertStatementApplied(run)

    def test_the_statement_never_runs_after_a_failed_installation(self):
        run = self.runs["failed"].get()
        self.assertBoxes(run["result"], FAILED)
        self.assertExitCode(run["result"], SHARING_VIOLATION)
        self.assertEqual([], run["calls"], "the library was called")
        self.assertTrue(any(i.private_flag for i in run["before"] if i.server_id != "1"), run["before"])
        self.assertUntouched(run)

    def test_a_missing_library_leaves_the_update_as_it_was(self):
        run = self.runs["no-library"].get()
        self.assertBoxes(run["result"], COMPLETED)
        self.assertExitCode(run["result"], EXIT_OK)
        self.assertEqual([], run["calls"])
        self.assertUntouched(run)


if __name__ == "__main__":
    unittest.main()
