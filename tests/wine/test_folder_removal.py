"""Folder trees removed by removal_probe.exe (RemoveFolderTree alone, the tree
given below a folder) on trees that only the Linux side can make or that
another process holds:

- Folder links. Wine 8 cannot make Windows links (CreateSymbolicLinkW does
  nothing, FSCTL_SET_REPARSE_POINT is not supported), but it lists a Linux
  symbolic link to a folder as a folder with FILE_ATTRIBUTE_REPARSE_POINT, as
  Windows lists junctions and folder symbolic links. The walk must never go
  into one: what the link points to, outside the tree, stays whole. Unlike
  Windows, Wine cannot remove such a link as a link (its RemoveDirectoryW
  acts on the target, which is not empty here), so under Wine the links and
  the folders above them stay; on Windows they go too.
- Read-only folders, which Wine shows for folders without write permission
  (it cannot mark a folder read-only from the Windows side).
- A file held open by another process: it and the folders above it stay."""

import os
import time
import unittest

from harness import run_batch, start_program
from updater_runs import UpdaterAssertions, probe_exe, require_program
from wineprefix import Scenario, helper

GONE = 1  # exit code of removal_probe.exe when the folder stays


def probe():
    return probe_exe("removal_probe.exe")


def tree(root, entries):
    """Files (content) and folders (None) below root, made on the Linux side."""
    for relative, content in entries.items():
        path = root / relative
        if content is None:
            path.mkdir(parents=True, exist_ok=True)
        else:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(content)


def listing(root):
    return sorted(str(p.relative_to(root)) for p in root.rglob("*")) if root.exists() else None


def links_job():
    def job():
        with Scenario("64", "en_US.UTF-8", "folder-links") as s:
            base = s.drive_c / "trees"
            outside = base / "outside"
            root = base / "root"
            tree(outside, {"a.txt": b"a", "deep/b.txt": b"b", "deep/deeper": None})
            tree(root, {"plain.txt": b"p", "sub/file.txt": b"f", "sub/nested/x.txt": b"x",
                        "read-only/ro.txt": b"r", "read-only/inner/ro2.txt": b"r"})
            os.symlink("../../outside", root / "sub" / "relative-link")
            os.symlink(str(outside), root / "absolute-link")
            os.symlink(str(outside / "deep"), root / "sub" / "nested" / "deep-link")
            for relative in ("read-only/inner/ro2.txt", "read-only/ro.txt", "read-only/inner", "read-only"):
                path = root / relative
                os.chmod(path, path.stat().st_mode & ~0o222)
            outside_before = listing(outside)
            attrib = s.run(["cmd", "/c", "dir", "/a", s.to_windows(root / "sub")]).stdout.decode("cp437", "replace")
            code = s.run_exit_code(str(probe()), ["tree", s.to_windows(base), "root"])
            # A tree whose root itself is a link (a standard user can make one
            # where the clean-up looks): what it points to stays whole.
            elsewhere = base / "elsewhere"
            tree(elsewhere, {"keep.txt": b"k", "inner/keep2.txt": b"k"})
            elsewhere_before = listing(elsewhere)
            root_link = base / "root-link"
            os.symlink(str(elsewhere), root_link)
            root_link_code = s.run_exit_code(str(probe()), ["tree", s.to_windows(base), "root-link"])
            # The retired per-user file below a folder the user made a link.
            profile = base / "profile"
            tree(profile, {"Orvane Corporation/Mirevo/plain.txt": b"p"})
            linked = base / "linked"
            tree(linked, {"Mirevo/Sktfpx.txt": b"s"})
            os.symlink(str(linked), profile / "Linked Corporation")
            user_file_codes = [
                s.run_exit_code(str(probe()), ["file", s.to_windows(profile), relative])
                for relative in ("Linked Corporation\\Mirevo\\Sktfpx.txt", "Orvane Corporation\\Mirevo\\plain.txt")]
            seen = dict(code=code, attrib=attrib, outside_before=outside_before, outside=listing(outside),
                        user_file_codes=user_file_codes, linked=listing(linked), profile=listing(profile),
                        root=listing(root), links=sorted(p.name for p in root.rglob("*") if p.is_symlink()),
                        root_link_code=root_link_code, elsewhere_before=elsewhere_before,
                        elsewhere=listing(elsewhere), root_link_kept=root_link.is_symlink())
            for path in (root, *root.rglob("*")):  # writable again for the prefix's removal
                if path.exists() and not path.is_symlink():
                    os.chmod(path, path.stat().st_mode | 0o200)
            return seen

    return job


def held_job():
    def job():
        with Scenario("32", "en_US.UTF-8", "held-file") as s:
            root = s.drive_c / "held"
            tree(root, {"a/b/held.txt": b"h", "a/b/free.txt": b"f", "a/c/x.txt": b"x", "a/y.txt": b"y",
                        "d/z.txt": b"z", "top.txt": b"t"})
            ready = s.scratch_file("holder-ready")
            holder = start_program(s, str(helper("hold_file.exe")),
                                   [s.to_windows(ready), "open", s.to_windows(root / "a/b/held.txt")])
            # The holder creates the file and then writes its answer: wait for the answer.
            deadline = time.monotonic() + 60
            answer = ""
            while not answer and time.monotonic() < deadline:
                time.sleep(0.2)
                answer = ready.read_text() if ready.exists() else ""
            if answer != "ready":
                raise RuntimeError("hold_file.exe did not hold the file")
            code = s.run_exit_code(str(probe()), ["tree", s.to_windows(s.drive_c), "held"])
            seen = dict(code=code, root=listing(root))
        holder.proc.communicate(timeout=60)  # ended with the session
        return seen

    return job


class FolderRemovalTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_program(probe())
        require_program(helper("hold_file.exe"))
        cls.runs = run_batch({"links": links_job(), "held": held_job()})

    def test_links_are_not_walked_into(self):
        run = self.runs["links"].get()
        self.assertIn("<DIR>", run["attrib"])  # Wine lists the link as a folder
        self.assertEqual(run["outside_before"], run["outside"], "nothing outside the tree was deleted")
        self.assertEqual(GONE, run["code"])
        # Everything but the links and the folders that hold them is gone (see above).
        self.assertEqual(["absolute-link", "sub", "sub/nested", "sub/nested/deep-link", "sub/relative-link"],
                         run["root"])
        self.assertEqual(["absolute-link", "deep-link", "relative-link"], run["links"])

    def test_a_root_that_is_a_link_is_not_walked_into(self):
        run = self.runs["links"].get()
        self.assertEqual(run["elsewhere_before"], run["elsewhere"], "nothing behind the link was deleted")
        # Wine cannot remove the link as a link: it stays, and the probe says so.
        self.assertTrue(run["root_link_kept"])
        self.assertEqual(GONE, run["root_link_code"])

    def test_a_file_below_a_link_is_not_deleted(self):
        run = self.runs["links"].get()
        self.assertEqual([GONE, 0], run["user_file_codes"])
        self.assertEqual(["Mirevo", "Mirevo/Sktfpx.txt"], run["linked"])
        self.assertNotIn("Orvane Corporation/Mirevo/plain.txt", run["profile"])

    def test_file_held_by_another_process_keeps_its_folders(self):
        run = self.runs["held"].get()
        self.assertEqual(GONE, run["code"])
        self.assertEqual(["a", "a/b", "a/b/held.txt"], run["root"])


if __name__ == "__main__":
    unittest.main()
