"""msgbox_watcher.exe against real Wine message boxes: what it records (text,
icon, buttons, default) and how it answers (scripted, default, held), and the
screenshots taken through the log."""

import struct
import unittest

from harness import Watcher, run_batch, run_program, start_program
from wineprefix import Scenario, helper

MB_OK, MB_OKCANCEL, MB_YESNOCANCEL, MB_YESNO = 0x0, 0x1, 0x3, 0x4
MB_ICONHAND, MB_ICONQUESTION, MB_ICONEXCLAMATION, MB_ICONINFORMATION = 0x10, 0x20, 0x30, 0x40
MB_DEFBUTTON2 = 0x100
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7

TEXT = "First line\r\nSecond line: äöü 日本語"

# (type, scripted answer, expected icon, buttons, default button, MessageBox result)
BOXES = [
    (MB_OK | MB_ICONHAND, "ok", "hand", ["OK"], "OK", IDOK),
    (MB_YESNO | MB_ICONEXCLAMATION, "no", "exclamation", ["Yes", "No"], "Yes", IDNO),
    (MB_YESNOCANCEL | MB_ICONQUESTION, "cancel", "question", ["Yes", "No", "Cancel"], "Yes",
     IDCANCEL),
    (MB_OKCANCEL | MB_ICONINFORMATION | MB_DEFBUTTON2, "default", "information",
     ["OK", "Cancel"], "Cancel", IDCANCEL),
    (MB_YESNO, "yes", "none", ["Yes", "No"], "Yes", IDYES),
    (MB_OK, "cancel", "none", ["OK"], "OK", IDOK),  # missing button: the default is used
]


def show_box(scenario, box_type, caption, text=TEXT):
    return scenario.run_exit_code(helper("winprobe.exe"),
                                  ["msgbox", f"{box_type:x}", caption, text])


def scripted_job(arch):
    def job():
        with Scenario(arch, "en_US.UTF-8", f"watcher-{arch}") as s:
            with Watcher(s, answers=[b[1] for b in BOXES]) as watcher:
                results = [show_box(s, b[0], f"Box {i}") for i, b in enumerate(BOXES, 1)]
            return results, watcher.boxes(), watcher.events()
    return job


def hold_job():
    with Scenario("64", "en_US.UTF-8", "watcher-hold") as s:
        shots = s.path.parent / (s.path.name + "-shots")
        with Watcher(s, answers=["hold-yes"], screenshots=shots) as watcher:
            program = start_program(s, helper("winprobe.exe"),
                                    ["msgbox", f"{MB_YESNO:x}", "Held", "Held box"])
            watcher.wait_for_boxes(1)
            still_open = program.running()
            answered_while_held = [e for e in watcher.events() if e["event"] == "answered"]
            watcher.release(1)
            code = program.wait(60)
            after_default = show_box(s, MB_YESNO | MB_DEFBUTTON2, "Beyond the list")
        pngs = sorted(shots.glob("*.png"))
        headers = [p.read_bytes()[:24] for p in pngs]
        for p in pngs:
            p.unlink()
        shots.rmdir()
        return {"still_open": still_open, "answered_while_held": answered_while_held,
                "code": code, "after_default": after_default, "boxes": watcher.boxes(),
                "pngs": [p.name for p in pngs], "headers": headers}


def process_end_job():
    """Without a stop request, the watcher ends once the watched program has."""
    with Scenario("64", "en_US.UTF-8", "watcher-process-end") as s:
        with Watcher(s, watch_process="WINPROBE.EXE") as watcher:
            code = show_box(s, MB_OK, "Watched")
            ended = watcher.ended(30)
            events = watcher.events()
        return code, ended, events


def progress_job():
    with Scenario("32", "en_US.UTF-8", "watcher-progress") as s:
        return run_program(s, str(helper("winprobe.exe")),
                           ["progress", "Progress title", "Now processing...\nPlease wait.", "800"],
                           answers=["ok"])


class WatcherTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.runs = run_batch({"scripted-64": scripted_job("64"),
                              "scripted-32": scripted_job("32"),
                              "hold": hold_job,
                              "process-end": process_end_job,
                              "progress": progress_job})

    def test_records_and_answers_each_box(self):
        for arch in ("64", "32"):
            with self.subTest(arch=arch):
                results, boxes, events = self.runs[f"scripted-{arch}"].get()
                self.assertEqual(len(BOXES), len(boxes), events)
                for i, (expected, box, result) in enumerate(zip(BOXES, boxes, results), 1):
                    _, _, icon, buttons, default, answer_id = expected
                    self.assertEqual((f"Box {i}", TEXT, icon, buttons, default),
                                     (box.caption, box.text, box.icon, box.buttons,
                                      box.default), box.summary())
                    self.assertEqual(answer_id, result, box.summary())
                    self.assertEqual("winprobe.exe", box.process)

    def test_missing_scripted_button_falls_back_to_default(self):
        _, _, events = self.runs["scripted-64"].get()
        answered = [e for e in events if e["event"] == "answered"]
        self.assertEqual("OK", answered[-1]["button"])
        self.assertIn("note", answered[-1])

    def test_held_box_waits_for_release(self):
        seen = self.runs["hold"].get()
        self.assertTrue(seen["still_open"])
        self.assertEqual([], seen["answered_while_held"])
        self.assertEqual(IDYES, seen["code"])

    def test_boxes_beyond_the_list_get_their_default_button(self):
        seen = self.runs["hold"].get()
        self.assertEqual(IDNO, seen["after_default"])
        self.assertEqual(["Yes", "No"], [b.answer for b in seen["boxes"]])

    def test_stops_when_the_watched_process_has_ended(self):
        code, ended, events = self.runs["process-end"].get()
        self.assertEqual(IDOK, code)
        self.assertTrue(ended, events)
        self.assertEqual({"event": "stop", "reason": "process-ended"},
                         {k: events[-1][k] for k in ("event", "reason")})
        self.assertEqual(["ready", "msgbox", "answered", "closed", "stop"],
                         [e["event"] for e in events])

    def test_progress_window_is_recorded_not_answered(self):
        result = self.runs["progress"].get()
        self.assertEqual(0, result.exit_code)
        self.assertEqual([], result.boxes)
        (progress,) = result.progress_windows
        self.assertEqual(("Progress title", "Now processing...\nPlease wait.", "winprobe.exe"),
                         (progress.title, progress.text, progress.process))
        left, top, right, bottom = progress.rect
        self.assertTrue(0 <= left < right <= 1920 and 0 <= top < bottom <= 1080, progress.rect)
        kinds = [e["event"] for e in result.events]
        self.assertEqual(["ready", "progress", "closed", "stop"], kinds)

    def test_screenshot_of_the_whole_screen_per_box(self):
        seen = self.runs["hold"].get()
        self.assertEqual(["01-msgbox.png", "02-msgbox.png"], seen["pngs"])
        for header in seen["headers"]:
            self.assertEqual(b"\x89PNG\r\n\x1a\n", header[:8])
            self.assertEqual((1920, 1080), struct.unpack(">II", header[16:24]))


if __name__ == "__main__":
    unittest.main()
