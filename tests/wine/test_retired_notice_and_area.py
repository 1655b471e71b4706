"""The retired-feature notice and the area decision under Wine, driven
through records_probe.exe (the updater's own resources, the notice and
GetAreaCode alone): the notice's lines by installed version, area and
"WEBMEDIA", in English and in a language without message 206; the area code
from the release area, the location and the locale of the process."""

import unittest

from harness import run_batch, run_program, stage_program
from pe_strings import string_tables
from testbed.product_records import AREA_INFO_KEY, SHARED_INFO_KEY, TRAVIO_MACHINE_KEY
from testbed.simulated_pc import AreaSettings, InstalledProduct, RetiredFeatureData, SimulatedPC
from updater_runs import UpdaterAssertions, probe_exe, require_program

ENGLISH = 0x0409
JAPANESE = 0x0411


def probe():
    return probe_exe("records_probe.exe")


def set_version(pc, version):
    product = pc.component(InstalledProduct)
    pc.scenario.write_file(product.version_file_path(pc), f"{version}\r\nVersion={version}\r\n".encode())


def notice_job(lang, steps):
    """One PC; each step changes it (a function of the PC) and shows the notice."""

    def job():
        components = [InstalledProduct("2.0.1.12040"), RetiredFeatureData(web_media=("REG_DWORD", 1))]
        with SimulatedPC("64", lang, components, "notice") as pc:
            exe = stage_program(pc.scenario, probe())
            results = {}
            for name, change in steps:
                change(pc)
                results[name] = run_program(pc.scenario, exe, ["notice"], answers=["ok"], timeout=120)
            return results

    return job


def area_job(settings_and_langs):
    """One PC; for each (change, [LC_ALL...]) the probe's area code per locale."""

    def job():
        with SimulatedPC("64", "en_US.UTF-8", [AreaSettings(location=2031)], "area") as pc:
            exe = stage_program(pc.scenario, probe())
            codes = {}
            for name, change, langs in settings_and_langs:
                change(pc)
                for lang in langs:
                    run = pc.scenario.run([exe, "area"], check=False, env={"LC_ALL": lang})
                    codes[(name, lang)] = run.returncode
            return codes

    return job


def nothing(pc):
    pass


ENGLISH_STEPS = [
    ("older", nothing),
    ("threshold", lambda pc: (set_version(pc, "2.2.0.00000"),
                              pc.scenario.reg_add(TRAVIO_MACHINE_KEY, "WEBMEDIA", "REG_SZ", "1"))),
    ("newer", lambda pc: (set_version(pc, "2.2.1.00000"),
                          pc.scenario.reg_add(TRAVIO_MACHINE_KEY, "WEBMEDIA", "REG_DWORD", 1))),
    ("chinese", lambda pc: pc.scenario.reg_add(AREA_INFO_KEY, "ReleaseArea", "REG_SZ", "cns_CN")),
]

AREA_STEPS = [
    # dwLocation 2031 is set from the start.
    ("location", nothing, ["en_US.UTF-8", "fr_FR.UTF-8", "ja_JP.UTF-8", "pt_PT.UTF-8", "es_MX.UTF-8"]),
    ("locale", lambda pc: pc.scenario.reg_delete(SHARED_INFO_KEY, "dwLocation"),
     ["fr_FR.UTF-8", "fr_CA.UTF-8", "de_DE.UTF-8"]),
    ("all_CA", lambda pc: pc.scenario.reg_add(AREA_INFO_KEY, "ReleaseArea", "REG_SZ", "all_CA"),
     ["fr_CA.UTF-8", "en_US.UTF-8"]),
    ("cns_CN", lambda pc: pc.scenario.reg_add(AREA_INFO_KEY, "ReleaseArea", "REG_SZ", "cns_CN"),
     ["ja_JP.UTF-8"]),
]


class RetiredNoticeTest(UpdaterAssertions):
    @classmethod
    def setUpClass(cls):
        require_program(probe())
        cls.tables = string_tables(probe())
        cls.runs = run_batch({
            "english": notice_job("en_US.UTF-8", ENGLISH_STEPS),
            "japanese": notice_job("ja_JP.UTF-8", [("newer", lambda pc: set_version(pc, "2.2.1.00000"))]),
            "area": area_job(AREA_STEPS),
        })

    def lines(self, language, *services):
        line = self.tables[language][204]
        return [line.replace("%s", service) for service in services]

    def test_older_or_equal_version_names_three_services(self):
        runs = self.runs["english"].get()
        en = self.tables[ENGLISH]
        three = self.lines(ENGLISH, "Tiwtter", "Facebook", "YouTube")
        self.assertBoxes(runs["older"], [("\n".join(three + [en[206]]), "exclamation", ["OK"])])
        # "WEBMEDIA" as a text "1" does not count as in use.
        self.assertBoxes(runs["threshold"], [("\n".join(three), "exclamation", ["OK"])])

    def test_newer_version_names_two_services(self):
        runs = self.runs["english"].get()
        two = self.lines(ENGLISH, "Facebook", "YouTube")
        self.assertBoxes(runs["newer"], [("\n".join(two + [self.tables[ENGLISH][206]]), "exclamation", ["OK"])])

    def test_chinese_release_gets_no_notice(self):
        runs = self.runs["english"].get()
        self.assertBoxes(runs["chinese"], [])
        self.assertExitCode(runs["chinese"], 0)

    def test_catalogue_without_the_internet_content_text(self):
        result = self.runs["japanese"].get()["newer"]
        ja = self.tables[JAPANESE]
        self.assertNotIn(206, ja, "the Japanese catalogue is expected to lack message 206")
        two = self.lines(JAPANESE, "Facebook", "YouTube")
        self.assertBoxes(result, [("\n".join(two) + "\n", "exclamation", ["OK"])], caption=ja[200])

    def test_area_codes_by_settings_and_locale(self):
        codes = self.runs["area"].get()
        expected = {
            # Location 2031 decides for a French user interface, before the locale table.
            ("location", "en_US.UTF-8"): 8,
            ("location", "fr_FR.UTF-8"): 23,
            ("location", "ja_JP.UTF-8"): 14,
            ("location", "pt_PT.UTF-8"): 18,   # locale 2070 is not in the table: Portuguese user
            ("location", "es_MX.UTF-8"): 10,
            ("locale", "fr_FR.UTF-8"): 12,
            ("locale", "fr_CA.UTF-8"): 12,     # French user on a French locale outside the table
            ("locale", "de_DE.UTF-8"): 3,
            ("all_CA", "fr_CA.UTF-8"): 11,
            ("all_CA", "en_US.UTF-8"): 5,
            ("cns_CN", "ja_JP.UTF-8"): 1,
        }
        self.assertEqual(expected, codes)


if __name__ == "__main__":
    unittest.main()
