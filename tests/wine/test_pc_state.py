"""The comparer of a simulated PC's whole state: each kind of change made by
hand is caught (a byte of a product file, an attribute set through Wine, a
value in either registry view, a service left stopped, a leftover new file,
a deletion scheduled for the next restart)
while the run's date is not; two PCs built and updated alike compare equal;
and a real update's states classify as old, new or mixed."""

import copy
import re
import unittest

from harness import run_batch, run_program, stage_program, updater_exe
from testbed.pc_state import SESSION_MANAGER_KEY, classify, compare, snapshot
from testbed.product_records import uninstall_key
from testbed.simulated_pc import (InstalledPayload, InstalledProduct, MediaDatabase, PackageKey,
                                  RetiredFeatureData, SimulatedPC, StandInService, UninstallEntries,
                                  payload_rows)
from updater_runs import UpdaterAssertions, require_program, require_updater
from wineprefix import helpers_dir


def components():
    return [InstalledProduct(), InstalledPayload(), StandInService("QVLDms", running=True),
            StandInService("QVLCImp", running=True), StandInService("QVLDs"), PackageKey(),
            UninstallEntries(("64", "32")), RetiredFeatureData(), MediaDatabase()]


def hand_changes_job():
    """Snapshots after each change by hand: (what, differences from the
    snapshot before it, the same without masks)."""

    def job():
        with SimulatedPC("64", "en_US.UTF-8", components(), "state-by-hand") as pc:
            s = pc.scenario
            payload = pc.component(InstalledPayload)
            rows = payload_rows()
            first, second = (payload.destination(pc, rows[i]) for i in (0, 1))
            shared = next(payload.destination(pc, r) for r in rows if r.base == "shared")

            def flip_byte():
                path = s.to_unix(first)
                data = bytearray(path.read_bytes())
                data[len(data) // 2] ^= 0x01
                path.write_bytes(bytes(data))

            changes = [
                ("nothing", lambda: None),
                ("byte", flip_byte),
                ("read-only", lambda: s.run(["attrib", "+r", second])),
                ("hidden", lambda: s.run(["attrib", "+h", shared])),
                ("64-bit view", lambda: s.reg_add(uninstall_key("64"), "DisplayVersion", data="9.9", view="64")),
                ("32-bit view", lambda: s.reg_add(uninstall_key("32"), "Publisher", data="Someone", view="32")),
                ("install date", lambda: s.reg_add(uninstall_key("64"), "InstallDate", data="20991231",
                                                   view="64")),
                ("service stopped", lambda: pc.component(StandInService).control(pc, "stop", 10000)),
                ("new file", lambda: s.write_file(shared + ".new.1234-56789", b"half written")),
                ("pending rename", lambda: s.reg_import({SESSION_MANAGER_KEY: {"PendingFileRenameOperations": (
                    "REG_MULTI_SZ", ["\\??\\" + shared + ".tmp.1234-56789", ""])}}, view="64")),
            ]
            results = {}
            previous = snapshot(pc)
            for what, change in changes:
                change()
                current = snapshot(pc)
                results[what] = (compare(previous, current), compare(previous, current, mask=()))
                previous = current
            return dict(results=results, files=(first, second, shared))

    return job


def update_job(name):
    def job():
        with SimulatedPC("64", "en_US.UTF-8", components(), name) as pc:
            before = snapshot(pc)
            result = run_program(pc.scenario, stage_program(pc.scenario, updater_exe()), answers=["ok"] * 3,
                                 timeout=600)
            return dict(result=result, before=before, after=snapshot(pc))

    return job


class PcStateTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        require_program(helpers_dir() / "reg_dump.exe")
        cls.runs = run_batch({"by hand": hand_changes_job(), "update 1": update_job("state-update-1"),
                              "update 2": update_job("state-update-2")})

    def test_each_change_by_hand_is_caught(self):
        run = self.runs["by hand"].get()
        results = run["results"]
        first, second, shared = run["files"]
        self.assertEqual(([], []), results["nothing"], "two snapshots of an unchanged PC")
        expected = {
            "byte": rf"file {re.escape(first)}: .*sha256 ",
            "read-only": rf"file {re.escape(second)}: attributes A -> RA$",
            "hidden": rf"file {re.escape(shared)}: attributes A -> HA$",
            "64-bit view": rf"registry 64 {re.escape(uninstall_key('64'))}: DisplayVersion "
                           r"REG_SZ '2\.0\.1\.12040' -> REG_SZ '9\.9'$",
            "32-bit view": rf"registry 32 {re.escape(uninstall_key('32'))}: Publisher "
                           r"REG_SZ 'Orvane Corporation' -> REG_SZ 'Someone'$",
            "service stopped": r"service QVLDms: state running -> stopped$",
            "new file": rf"file {re.escape(shared)}\.new\.<pid>-<tick>: added \(",
            # Listed once, though the key is seen in both views.
            "pending rename": rf"pending rename \\\?\?\\{re.escape(shared)}\.tmp\.<pid>-<tick>: "
                              r"added \(to=\(deleted\)\)$",
        }
        for what, pattern in expected.items():
            with self.subTest(what):
                differences, _ = results[what]
                self.assertEqual(1, len(differences), differences)
                self.assertRegex(differences[0], "^" + pattern)
        # The uninstall entry's date is the run's: masked, yet there to see.
        differences, unmasked = results["install date"]
        self.assertEqual([], differences)
        self.assertEqual([f"registry 64 {uninstall_key('64')}: InstallDate REG_SZ '20130911' -> "
                          "REG_SZ '20991231'"], unmasked)

    def test_pcs_built_and_updated_alike_are_equal(self):
        one, two = self.runs["update 1"].get(), self.runs["update 2"].get()
        for run in (one, two):
            self.assertExitCode(run["result"], 0)
        self.assertEqual([], compare(one["before"], two["before"]))
        self.assertEqual([], compare(one["after"], two["after"]))
        differences = compare(one["before"], one["after"])
        self.assertTrue(any(line.startswith(f"registry 64 {uninstall_key('64')}: DisplayVersion")
                            for line in differences), differences)
        self.assertTrue(any(re.match(r"version file .*: text lines .*'\+UpdateCount=1'", line)
                            for line in differences), differences)

    def test_states_of_a_real_update_classify(self):
        one, two = self.runs["update 1"].get(), self.runs["update 2"].get()
        before, after = one["before"], one["after"]
        self.assertEqual("old", classify(before, before, after))
        self.assertEqual("new", classify(after, before, after))
        self.assertEqual("new", classify(two["after"], two["before"], after), "the other PC's update")

        # Best-effort steps left undone, and an aside copy left: still updated.
        undone = copy.deepcopy(after)
        undone["media_items"] = before["media_items"]
        for path, entry in before["files"].items():
            if "Socialink_PIC" in path or path.endswith("Sktfpx.txt"):
                undone["files"][path] = entry
        travio = r"HKLM\SOFTWARE\Orvane Corporation\Travio"
        undone["registry"]["32"][travio] = before["registry"]["32"][travio]
        aside = next(p for p in after["files"] if p.endswith(".dll"))
        undone["files"][aside + ".tmp.4242-123456"] = before["files"][aside]
        self.assertNotEqual([], compare(after, undone))
        self.assertEqual("new", classify(undone, before, after), classify(undone, before, after).differences)

        # A payload file still old, a best-effort value neither old nor new, a
        # new file not renamed into place: mixed, each named.
        payload_file = next(p for p in after["files"] if p.endswith(".dll")
                            and before["files"][p]["sha256"] != after["files"][p]["sha256"])
        broken = copy.deepcopy(after)
        broken["files"][payload_file] = before["files"][payload_file]
        broken["media_items"][3][3] = 7
        broken["files"][payload_file + ".new.4242-123456"] = after["files"][payload_file]
        verdict = classify(broken, before, after)
        self.assertEqual("mixed", verdict)
        self.assertEqual(3, len(verdict.differences), verdict.differences)
        for start in (f"file {payload_file}: ", f"file {payload_file}.new.<pid>-<tick>: added",
                      "media item 4: private_flag 0 -> 7"):
            self.assertTrue(any(line.startswith(start) for line in verdict.differences), (start, verdict.differences))


if __name__ == "__main__":
    unittest.main()
