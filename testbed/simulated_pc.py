#!/usr/bin/python3
"""The simulated PC: a scenario prefix made to look like a user's PC.

A PC is a scenario prefix (a copy of a template, with its own Wine session)
plus a list of components, each of which contributes registry values, files
and, once those are in place, running programs:

    pc = SimulatedPC(arch="64", components=[
        InstalledProduct("2.0.1.12040"),
        Storyloom.modern(),
        UpdateTool.silent(),
    ])
    with pc:                      # builds it; ends the session and removes it on exit
        pc.scenario.run([...])

Components apply in list order (files of components that override others'
come last); registry values of all components are imported in one reg.exe
run per registry view. New kinds of installed software are new
Component subclasses (testbed/component.py). Those of this module are the
product, its payload files and the maker's settings; the running software has
modules of its own, whose components are importable from here too:

    standin_programs.py   the maker's programs and others (KnownProgram,
                          UnknownProgram, TvRecorder), running or not
    standin_services.py   the shared components' services (StandInService)
    watched_libraries.py  loadable libraries at the watched libraries' paths
    restart_manager.py    a working rstrtmgr.dll for the prefix (RestartManager)
    media_database.py     the media database and its library qvldb.dll (MediaDatabase)
    product_records.py    the package key, uninstall entries, area settings and
                          retired-feature data (PackageKey, UninstallEntries,
                          AreaSettings, RetiredFeatureData), read_records
    standin_log.py        the stand-ins' logs and the running processes
    pc_state.py           the PC's whole state: snapshot, compare, classify

Command line: builds a PC and keeps its prefix for manual use, e.g.

    python3 testbed/simulated_pc.py --arch 64 --version 2.0.1.12040 --silent dword1
"""

from __future__ import annotations

import argparse
import os
import shutil
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Dict, List, Optional, Sequence, Tuple

_REPO = str(Path(__file__).resolve().parents[1])
if _REPO not in sys.path:  # run as a script
    sys.path.insert(0, _REPO)

import testbed  # noqa: E402,F401 -- puts the Wine test modules on the path
from wineprefix import ARCHES, Scenario, ensure_templates, join_win  # noqa: E402
from testbed.component import (Component, RegistryEntries, product_folder,  # noqa: E402,F401
                               shared_folder)
from testbed.media_database import MEDIA_ITEMS, MediaDatabase, MediaItem  # noqa: E402,F401
from testbed.payload_rows import PayloadRow, host_tool, installed_files, payload_rows  # noqa: E402,F401
from testbed.product_records import (AreaSettings, PackageKey, RetiredFeatureData,  # noqa: E402,F401
                                     UninstallEntries, read_records)
from testbed.restart_manager import RestartManager  # noqa: E402,F401
from testbed.standin_log import LogEntry, running_processes  # noqa: E402,F401
from testbed.standin_programs import (KNOWN_PROGRAMS, KnownProgram, StandInProgram,  # noqa: E402,F401
                                      TvRecorder, UnknownProgram)
from testbed.standin_services import SERVICE_NAMES, StandInService  # noqa: E402,F401
from testbed.watched_libraries import (WATCHED_LIBRARIES, WatchedLibraries,  # noqa: E402,F401
                                       watched_library_path)

DEFAULT_VERSION = "2.0.1.12040"

# The last-write time of every file a component installs (2012-06-01 00:00 UTC,
# before the payload's own times), so that PCs built alike have equal states.
INSTALLED_FILE_TIME_NS = 1338508800 * 10**9

ORVANE_KEY = r"HKLM\SOFTWARE\Orvane Corporation"
VERSION_PATH_KEY = ORVANE_KEY + r"\Shared Info\VersionPath\Mirevo"
STORYLOOM_KEY = ORVANE_KEY + r"\Storyloom\1.0\App"
UPDATE_TOOL_KEY = ORVANE_KEY + r"\Teloq Update"


def version_file_text(version: str, version_entry: Optional[str]) -> bytes:
    """Version.txt as the product writes it: 8-bit text, CRLF lines, the version
    as first word and a later word "Version=<entry>" (left out when None)."""
    lines = [version]
    if version_entry is not None:
        lines.append(f"Version={version_entry}")
    return ("\r\n".join(lines) + "\r\n").encode("latin-1")


@dataclass
class InstalledProduct(Component):
    """Mirevo at a given version: its version file and the registry value that
    points to it.

    version_word: False leaves the "Version=" word out of the file.
    version_entry: the text after "Version=" (default: the version).
    version_file: False leaves the file out (the product looks uninstalled).
    registry_value: False leaves the `Version` value out, so that the default
        path (32-bit Program Files\\Orvane\\Mirevo\\Version.txt) is used.
    content: replaces the whole file content when given.
    """

    version: str = DEFAULT_VERSION
    version_word: bool = True
    version_entry: Optional[str] = None
    version_file: bool = True
    registry_value: bool = True
    content: Optional[bytes] = None

    def folder(self, pc: "SimulatedPC") -> str:
        return join_win(pc.scenario.program_files_x86, "Orvane", "Mirevo")

    def version_file_path(self, pc: "SimulatedPC") -> str:
        return join_win(self.folder(pc), "Version.txt")

    def text(self) -> bytes:
        if self.content is not None:
            return self.content
        if not self.version_word:
            return version_file_text(self.version, None)
        entry = self.version if self.version_entry is None else self.version_entry
        return version_file_text(self.version, entry)

    def registry(self, pc):
        if not self.registry_value:
            return {}
        return {"32": {VERSION_PATH_KEY: {"Version": ("REG_SZ", self.version_file_path(pc))}}}

    def files(self, pc):
        return {self.version_file_path(pc): self.text()} if self.version_file else {}

    def describe(self):
        notes = []
        if not self.version_word:
            notes.append('no "Version=" word')
        if not self.version_file:
            notes.append("version file missing")
        if not self.registry_value:
            notes.append("no registry value, default path")
        return f"Mirevo {self.version}" + (f" ({', '.join(notes)})" if notes else "")


@dataclass
class InstalledPayload(Component):
    """The product's and the shared components' files as an installed version
    left them: one file per payload row in its folder, of a version inside the
    row's window (version_choice "low" or "max"), just above it ("above") or
    without version resource ("none"). Rows of the two variant groups share
    their files; the later group's file is the one installed.

    missing: resource ids whose file is left out.
    per_row: {resource id: version choice} for single rows.
    """

    version_choice: str = "low"
    missing: Sequence[int] = ()
    per_row: Dict[int, str] = field(default_factory=dict)

    def destination(self, pc: "SimulatedPC", row: PayloadRow) -> str:
        base = product_folder(pc) if row.base == "app" else shared_folder(pc)
        return base + row.sub_folder + "\\" + row.file_name

    def files(self, pc):
        made = {choice: installed_files(pc, choice)
                for choice in {self.version_choice, *self.per_row.values()}}
        files = {}
        for row in payload_rows():
            if row.resource_id in self.missing:
                continue
            choice = self.per_row.get(row.resource_id, self.version_choice)
            files[self.destination(pc, row)] = (made[choice] / f"{row.resource_id}.bin").read_bytes()
        return files

    def describe(self):
        text = f"payload files installed ({self.version_choice})"
        if self.missing:
            text += f", {len(self.missing)} missing"
        return text


@dataclass
class Storyloom(Component):
    """The companion movie-making application: its edition in CurrentVersion."""

    current_version: str = "2.0"

    @classmethod
    def modern(cls) -> "Storyloom":
        return cls("2.0")

    @classmethod
    def old(cls) -> "Storyloom":
        return cls("1.0")

    def registry(self, pc):
        return {"32": {STORYLOOM_KEY: {"CurrentVersion": ("REG_SZ", self.current_version)}}}

    def describe(self):
        return f"Storyloom {self.current_version}"


@dataclass
class UpdateTool(Component):
    """The maker's update tool: its key, with `LaunchInstaller` as (type, data)
    or without that value when None."""

    launch_installer: Optional[Tuple[str, object]] = ("REG_DWORD", 1)

    @classmethod
    def silent(cls) -> "UpdateTool":
        return cls(("REG_DWORD", 1))

    def registry(self, pc):
        values = {"LaunchInstaller": self.launch_installer} if self.launch_installer else {}
        return {"32": {UPDATE_TOOL_KEY: values}}

    def describe(self):
        if not self.launch_installer:
            return "update tool key without LaunchInstaller"
        return f"LaunchInstaller {self.launch_installer[0]} {self.launch_installer[1]!r}"


class SimulatedPC:
    """A scenario prefix with the given components installed."""

    def __init__(self, arch: str = "64", lang: Optional[str] = "en_US.UTF-8",
                 components: Sequence[Component] = (), name: str = "pc",
                 keep: Optional[bool] = None):
        self.components = list(components)
        self.scenario = Scenario(arch, lang, name, keep)
        self._processes = []

    @property
    def arch(self) -> str:
        return self.scenario.arch

    def component(self, kind: type):
        """The first component of a kind, or None."""
        return next((c for c in self.components if isinstance(c, kind)), None)

    def describe(self) -> str:
        parts = [f"{self.arch}-bit Windows", self.scenario.lang or "default locale"]
        parts += [c.describe() for c in self.components] or ["nothing installed"]
        return ", ".join(parts)

    def __enter__(self) -> "SimulatedPC":
        self.scenario.__enter__()
        try:
            self.build()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc) -> None:
        for c in self.components:
            c.stop(self)  # before the prefix goes, whatever happened
        try:
            self.scenario.__exit__(*exc)
        finally:
            for proc in self._processes:
                proc.wait(30)

    def build(self) -> None:
        began = time.monotonic()
        views: RegistryEntries = {}
        for c in self.components:
            for view, keys in c.registry(self).items():
                for key, values in keys.items():
                    views.setdefault(view, {}).setdefault(key, {}).update(values)
        for view, keys in sorted(views.items()):
            self.scenario.reg_import(keys, view)
        for c in sorted(self.components, key=lambda c: c.overrides_files):
            for win_path, data in c.files(self).items():
                path = self.scenario.write_file(win_path, data)
                os.utime(path, ns=(INSTALLED_FILE_TIME_NS, INSTALLED_FILE_TIME_NS))
        for c in self.components:
            c.start(self)
        self.scenario.timings["build"] = time.monotonic() - began

    def keep_process(self, proc) -> None:
        """A background process of the session, waited for when the PC ends."""
        self._processes.append(proc)


# --------------------------------------------------------------------------
# Command line

SILENT_CHOICES = {
    "dword1": ("REG_DWORD", 1),
    "dword2": ("REG_DWORD", 2),
    "string1": ("REG_SZ", "1"),
    "novalue": None,
}


def components_from_args(args) -> List[Component]:
    components: List[Component] = []
    if not args.no_product:
        components.append(InstalledProduct(
            args.version,
            version_word=not args.no_version_word,
            version_file=not args.missing_version_file,
            registry_value=not args.no_registry_value))
    if args.payload != "none":
        components.append(InstalledPayload(args.payload))
    if args.storyloom != "none":
        components.append(Storyloom.modern() if args.storyloom == "modern" else
                          Storyloom.old() if args.storyloom == "old" else
                          Storyloom(args.storyloom))
    if args.silent != "none":
        components.append(UpdateTool(SILENT_CHOICES[args.silent]))
    if args.tv_recorder != "none":
        components.append(TvRecorder(running=args.tv_recorder != "installed",
                                     ignore_quit=args.tv_recorder == "stubborn"))
    for program in args.program:
        exe, _, libraries = program.partition("=")
        kind = KnownProgram if exe in KNOWN_PROGRAMS else UnknownProgram
        components.append(kind(exe, libraries=[lib for lib in libraries.split(",") if lib]))
    for service in args.service:
        name, _, state = service.partition("=")
        components.append(StandInService(name, running=state == "running"))
    if args.watched_libraries:
        components.append(WatchedLibraries(version_choice="low" if args.payload == "none" else args.payload))
    if args.restart_manager:
        components.append(RestartManager())
    if args.media_database:
        components.append(MediaDatabase())
    if args.records:
        components += [PackageKey(), UninstallEntries(), RetiredFeatureData()]
    if args.release_area is not None or args.location is not None:
        components.append(AreaSettings(args.release_area, args.location))
    return components


def add_pc_arguments(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--arch", choices=ARCHES, default="64")
    parser.add_argument("--lang", default="en_US.UTF-8", help="LC_ALL of the session")
    parser.add_argument("--version", default=DEFAULT_VERSION, help="installed product version")
    parser.add_argument("--no-product", action="store_true", help="product not installed")
    parser.add_argument("--no-version-word", action="store_true",
                        help='version file without the "Version=" word')
    parser.add_argument("--missing-version-file", action="store_true",
                        help="registry value present, version file missing")
    parser.add_argument("--no-registry-value", action="store_true",
                        help="no Version registry value (the default path is used)")
    parser.add_argument("--payload", default="low", choices=["low", "max", "above", "none"],
                        help="the product's installed files: versions inside the rows' windows "
                             "(low, max), above them, without version, or none installed")
    parser.add_argument("--storyloom", default="none",
                        help="modern (2.0), old (1.0), none, or a CurrentVersion text")
    parser.add_argument("--silent", default="none", choices=["none", *SILENT_CHOICES],
                        help="LaunchInstaller of the update tool")
    parser.add_argument("--tv-recorder", default="none",
                        choices=["none", "installed", "running", "stubborn"],
                        help="the TV-recording application (stubborn: ignores /q)")
    parser.add_argument("--program", action="append", default=[], metavar="EXE[=LIB,...]",
                        help="a running program stand-in (one of the maker's by its name, e.g. "
                             "Castwell.exe, or another one, e.g. Vidgrab.exe) holding the watched "
                             "libraries named; repeatable")
    parser.add_argument("--service", action="append", default=[], metavar="NAME[=running]",
                        help=f"a service stand-in ({', '.join(SERVICE_NAMES)}), installed or running; "
                             "repeatable")
    parser.add_argument("--watched-libraries", action="store_true",
                        help="loadable libraries at the watched libraries' paths (needed by "
                             "--program and --service holding libraries)")
    parser.add_argument("--restart-manager", action="store_true",
                        help="a Restart Manager that lists the users of files, in place of Wine's")
    parser.add_argument("--media-database", action="store_true",
                        help="the media database with its items and the library qvldb.dll")
    parser.add_argument("--records", action="store_true",
                        help="what the version records and the clean-up touch: the package key, the "
                             "uninstall entry of the platform's edition, and the retired functions' "
                             "data (WEBMEDIA 1, per-user file and value, picture folder, help files)")
    parser.add_argument("--release-area", default=None, help='"ReleaseArea" of AreaInfo (e.g. cns_CN)')
    parser.add_argument("--location", type=int, default=None, help='"dwLocation" (e.g. 2031)')


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(
        description="Build a simulated PC in a Wine prefix and keep it for manual use.")
    add_pc_arguments(parser)
    args = parser.parse_args(argv)
    ensure_templates([args.arch])
    pc = SimulatedPC(args.arch, args.lang, components_from_args(args), "manual", keep=True)
    with pc:
        print(f"Simulated PC: {pc.describe()}")
        path = pc.scenario.path
    print(f"WINEPREFIX={path}")
    print(f"Remove it with: rm -rf '{path}'")
    return 0


if __name__ == "__main__":
    shutil.which("wine") or sys.exit("wine is not installed")
    sys.exit(main())
