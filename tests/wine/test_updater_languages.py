"""updater.exe speaks the user's UI language: the texts of its boxes are those
of its own string table for that language."""

import unittest

from harness import run_batch, updater_exe
from pe_strings import string_tables
from testbed.simulated_pc import InstalledProduct
from updater_runs import ENGLISH, EXIT_OK, UpdaterAssertions, require_updater, updater_job

# LC_ALL of the session -> language id of the string table the user should get.
LANGUAGES = {
    "en_US.UTF-8": 0x0409,
    "de_DE.UTF-8": 0x0407,
    "ja_JP.UTF-8": 0x0411,
    "zh_CN.UTF-8": 0x0804,
    "zh_TW.UTF-8": 0x0404,
}


def jobs():
    j = {}
    for lang in LANGUAGES:
        j[f"refusal-{lang}"] = updater_job("64", [InstalledProduct("2.0.1.12039")], lang,
                                           name=f"lang-{lang}")
    j["newer-ja_JP.UTF-8"] = updater_job("32", [InstalledProduct("3.0.0.00000")],
                                         "ja_JP.UTF-8", name="lang-newer")
    j["applicable-de_DE.UTF-8"] = updater_job("32", [InstalledProduct()], "de_DE.UTF-8",
                                              name="lang-applicable")
    return j


class UpdaterLanguageTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_updater()
        cls.tables = string_tables(updater_exe())
        cls.runs = run_batch(jobs())

    def expected(self, lang, *ids):
        table = self.tables.get(LANGUAGES[lang])
        self.assertIsNotNone(table, f"updater.exe has no string table for {lang}")
        return [table.get(i) for i in ids]

    def check(self, name, lang, message_ids, icons):
        result = self.runs[name].get()
        caption, *texts = self.expected(lang, 200, *message_ids)
        self.assertBoxes(result, [(t, icon, ["OK"]) for t, icon in zip(texts, icons)],
                         caption=caption)
        self.assertExitCode(result, EXIT_OK)
        if LANGUAGES[lang] != 0x0409:
            for message_id, text in zip(message_ids, texts):
                self.assertNotEqual(ENGLISH[message_id], text,
                                    f"message {message_id} of {lang} is the English text")

    def test_english_texts_are_exact(self):
        self.assertEqual([ENGLISH[200], ENGLISH[202], ENGLISH[1211]],
                         self.expected("en_US.UTF-8", 200, 202, 1211))
        self.check("refusal-en_US.UTF-8", "en_US.UTF-8", [202, 1211], ["hand", "none"])

    def test_refusal_in_user_language(self):
        for lang in LANGUAGES:
            with self.subTest(lang):
                self.check(f"refusal-{lang}", lang, [202, 1211], ["hand", "none"])

    def test_newer_version_refusal_in_japanese(self):
        self.check("newer-ja_JP.UTF-8", "ja_JP.UTF-8", [203, 1211], ["hand", "none"])

    def test_nothing_to_update_in_german(self):
        self.check("applicable-de_DE.UTF-8", "de_DE.UTF-8", [1203], ["none"])


if __name__ == "__main__":
    unittest.main()
