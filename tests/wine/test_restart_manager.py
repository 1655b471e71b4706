"""The Restart Manager that simulated PCs put in place of Wine's: a 32-bit
program linked against rstrtmgr.dll (rm_probe.exe) is told which processes
have a registered file loaded -- programs and services holding a watched
library, a program by its own image, one whose executable is gone -- and not
the others; too small an array and a file set up as crowded give
ERROR_MORE_DATA. Wine's own implementation, still in the prefix, lists
nobody."""

import json
import time
import unittest

from harness import run_batch
from testbed.simulated_pc import (KnownProgram, RestartManager, SimulatedPC, StandInProgram, StandInService,
                                  UnknownProgram, WatchedLibraries, watched_library_path)
from wineprefix import DLL_OVERRIDES, helper

ERROR_SUCCESS = 0
ERROR_INVALID_HANDLE = 6
ERROR_BAD_ARGUMENTS = 160
ERROR_MORE_DATA = 234
RM_SERVICE = 3
FILETIME_UNIX_EPOCH = 116444736000000000  # 1970-01-01 in 100 ns units since 1601


def rm_list(pc, files, capacity=None, env=None, options=()):
    args = [helper("rm_probe.exe"), *options] + (["--capacity", str(capacity)] if capacity is not None else [])
    out = pc.scenario.run(args + list(files), env=env).stdout.decode("utf-8")
    return json.loads(out)


def pc_64():
    return [
        RestartManager(crowded=["content-import.dll"]),
        WatchedLibraries(),
        UnknownProgram("Vidgrab.exe", libraries=["qvl-core.dll", "content-import.dll"]),
        KnownProgram("Castwell.exe", libraries=["media-index.dll"]),
        KnownProgram("Travio.exe"),
        KnownProgram("Libhost.exe", libraries=["qvl-core.dll"], exe_deleted=True),
        StandInService("QVLDms", running=True, libraries=["qvl-core.dll"]),
    ]


def queries_64(pc):
    core = watched_library_path(pc, "qvl-core.dll")
    travio = KnownProgram("Travio.exe").path(pc)
    return {
        "core": rm_list(pc, [core]),
        "core-upper-case": rm_list(pc, [core.upper()]),
        "index": rm_list(pc, [watched_library_path(pc, "media-index.dll")]),
        "both": rm_list(pc, [core, watched_library_path(pc, "media-index.dll")]),
        "unused": rm_list(pc, [watched_library_path(pc, "stream-host.dll")]),
        "image": rm_list(pc, [travio]),
        "small-array": rm_list(pc, [core], capacity=2),
        "crowded": rm_list(pc, [watched_library_path(pc, "content-import.dll")]),
        "no-reboot-reasons": rm_list(pc, [core], options=["--no-reboot-reasons"]),
        "wine-builtin": rm_list(pc, [core], env={"WINEDLLOVERRIDES": DLL_OVERRIDES + ";rstrtmgr=b"}),
    }


def pc_32():
    return [
        RestartManager(),
        WatchedLibraries(names=["qvl-core.dll"]),
        UnknownProgram("Vidgrab.exe", libraries=["qvl-core.dll"]),
        KnownProgram("Castwell.exe"),
    ]


def queries_32(pc):
    return {"core": rm_list(pc, [watched_library_path(pc, "qvl-core.dll")])}


def started_pids(pc, components):
    """{executable or service name: process id} of the stand-ins started with the PC."""
    pids = {c.exe: c.started_pid(pc) for c in components if isinstance(c, StandInProgram) and c.running}
    pids.update({c.name: c.log(pc)[0].pid for c in components if isinstance(c, StandInService) and c.running})
    return pids


def pc_job(arch, components, queries):
    def job():
        began = time.time()
        with SimulatedPC(arch, components=components, name=f"rstrtmgr-{arch}") as pc:
            seen = queries(pc)
            seen["pids"] = started_pids(pc, components)
            seen["window"] = (began, time.time())
            return seen
    return job


class RestartManagerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.runs = run_batch({"64": pc_job("64", pc_64(), queries_64),
                              "32": pc_job("32", pc_32(), queries_32)})

    def listed(self, answer):
        """{pid: process record} of a successful answer, checked for its frame."""
        self.assertEqual((ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, 0, ERROR_INVALID_HANDLE),
                         (answer["start"], answer["register"], answer["list"], answer["end"], answer["reboot"],
                          answer["list_after_end"]), answer)
        self.assertRegex(answer["key"], r"^[0-9a-f]{32}$")
        self.assertEqual(answer["count"], answer["needed"])
        self.assertEqual(answer["count"], len(answer["processes"]))
        return {p["pid"]: p for p in answer["processes"]}

    def test_users_of_a_library_are_listed(self):
        seen = self.runs["64"].get()
        pids = seen["pids"]
        users = self.listed(seen["core"])
        self.assertEqual({pids["Vidgrab.exe"], pids["Libhost.exe"], pids["QVLDms"]}, set(users))
        self.assertEqual(("Vidgrab.exe", "", 0), tuple(users[pids["Vidgrab.exe"]][k]
                                                        for k in ("app", "service", "type")))
        self.assertEqual(("QVLDms", RM_SERVICE), tuple(users[pids["QVLDms"]][k] for k in ("service", "type")))
        begin, end = seen["window"]
        for user in users.values():
            started = (user["start_time"] - FILETIME_UNIX_EPOCH) / 1e7
            self.assertTrue(begin - 2 <= started <= end + 2, (begin, started, end))
        self.assertEqual(users, self.listed(seen["core-upper-case"]))

    def test_only_the_users_of_the_registered_files(self):
        seen = self.runs["64"].get()
        pids = seen["pids"]
        self.assertEqual({pids["Castwell.exe"]}, set(self.listed(seen["index"])))
        self.assertEqual({pids["Vidgrab.exe"], pids["Libhost.exe"], pids["QVLDms"], pids["Castwell.exe"]},
                         set(self.listed(seen["both"])))
        self.assertEqual({}, self.listed(seen["unused"]))
        self.assertEqual({pids["Travio.exe"]}, set(self.listed(seen["image"])))

    def test_more_data_for_a_small_array_and_a_crowded_file(self):
        seen = self.runs["64"].get()
        small, crowded = seen["small-array"], seen["crowded"]
        self.assertEqual((ERROR_MORE_DATA, 3, 0, []),
                         (small["list"], small["needed"], small["count"], small["processes"]))
        self.assertEqual((ERROR_MORE_DATA, 0, []), (crowded["list"], crowded["count"], crowded["processes"]))
        self.assertGreater(crowded["needed"], 100)

    def test_missing_reboot_reason_pointer_is_a_bad_argument(self):
        answer = self.runs["64"].get()["no-reboot-reasons"]
        self.assertEqual((ERROR_BAD_ARGUMENTS, []), (answer["list"], answer["processes"]))

    def test_wine_builtin_lists_nobody(self):
        answer = self.runs["64"].get()["wine-builtin"]
        self.assertEqual((ERROR_SUCCESS, 0), (answer["list"], answer["count"]))

    def test_on_32_bit_windows(self):
        seen = self.runs["32"].get()
        self.assertEqual({seen["pids"]["Vidgrab.exe"]}, set(self.listed(seen["core"])))


if __name__ == "__main__":
    unittest.main()
