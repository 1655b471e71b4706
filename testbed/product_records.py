"""What the update records and clears away after it has replaced the files:
the maker's package key (where the patch list entry goes), the product's
uninstall entries, the area settings, and what the retired link and internet
content functions left behind. Components that put them on a simulated PC,
and `read_records` that reads them all back.

    pc = SimulatedPC("64", components=[InstalledProduct(), InstalledPayload(),
                                       PackageKey(), UninstallEntries(("64", "32")),
                                       AreaSettings(release_area="cns_CN"),
                                       RetiredFeatureData()])
"""

from __future__ import annotations

import os
from dataclasses import dataclass
from pathlib import Path
from typing import TYPE_CHECKING, Dict, List, Optional, Sequence, Tuple

import testbed  # noqa: F401 -- puts the Wine test modules on the path
from testbed.component import Component
from wineprefix import join_win

if TYPE_CHECKING:
    from testbed.simulated_pc import SimulatedPC

ORVANE_KEY = r"HKLM\SOFTWARE\Orvane Corporation"
PACKAGE_KEY = ORVANE_KEY + r"\Shared Info\AppDB\Mirevo"
PATCH_ID = "EP0000517904"
PATCH_LIST_KEY = PACKAGE_KEY + "\\PatchList\\" + PATCH_ID
AREA_INFO_KEY = ORVANE_KEY + r"\AreaInfo"
SHARED_INFO_KEY = ORVANE_KEY + r"\Shared Info"
TRAVIO_MACHINE_KEY = ORVANE_KEY + r"\Travio"
TRAVIO_USER_KEY = r"HKCU\SOFTWARE\Orvane Corporation\Travio"
RETIRED_USER_VALUE = "VqmgpGzrktgf"

_UNINSTALL = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"
# The product's uninstall entry per edition ("64": the 64-bit edition's).
EDITION_GUIDS = {"64": "{7A3C51E0-4B2F-4D9A-8E61-C05F2B93D417}",
                 "32": "{E2904F6B-1C7A-4E35-B8D2-6F41A0C93E58}"}

HELP_FILES = tuple(f"{lang}\\{name}" for lang in ("ENG", "FRA", "ESP", "PTB")
                   for name in ("NC Browse.chm", "NC Playback.chm"))


def uninstall_key(edition: str) -> str:
    return _UNINSTALL + "\\" + EDITION_GUIDS[edition]


def edition_view(pc: "SimulatedPC", edition: str) -> str:
    """The registry view that holds an edition's entry: its own on 64-bit
    Windows; 32-bit Windows has one view and only the 32-bit edition."""
    if pc.arch == "32" and edition == "64":
        raise ValueError("the 64-bit edition cannot be installed on 32-bit Windows")
    return edition if pc.arch == "64" else "32"


def user_profile(pc: "SimulatedPC") -> str:
    """The Windows user's profile folder (C:\\users\\<name>)."""
    users = pc.scenario.drive_c / "users"
    names = [p.name for p in users.iterdir() if p.is_dir() and p.name != "Public"]
    if len(names) != 1:
        raise RuntimeError(f"expected one user profile in {users}: {names}")
    return "C:\\users\\" + names[0]


def local_app_data(pc: "SimulatedPC") -> str:
    return join_win(user_profile(pc), "AppData", "Local")


def common_app_data(pc: "SimulatedPC") -> str:
    return "C:\\ProgramData"


def retired_user_file(pc: "SimulatedPC") -> str:
    return join_win(local_app_data(pc), "Orvane Corporation", "Mirevo", "Sktfpx.txt")


def picture_folder(pc: "SimulatedPC") -> str:
    return join_win(common_app_data(pc), "Orvane Corporation", "QVLLib", "Socialink_PIC")


def help_file(pc: "SimulatedPC", relative: str) -> str:
    return join_win(pc.scenario.program_files_x86, "Orvane", "Mirevo", relative)


@dataclass
class PackageKey(Component):
    """The maker's key of the installed package ("AppDB\\Mirevo", 32-bit view),
    under which updates leave their patch list entries; `earlier_patches`
    adds entries of updates installed before."""

    earlier_patches: Sequence[str] = ()

    def registry(self, pc):
        keys = {PACKAGE_KEY: {"ProductName": ("REG_SZ", "Mirevo")}}
        for patch in self.earlier_patches:
            keys[PACKAGE_KEY + "\\PatchList\\" + patch] = {"patchid": ("REG_SZ", patch)}
        return {"32": keys}

    def describe(self):
        return "package key"


@dataclass
class UninstallEntries(Component):
    """The product's entries in the Windows uninstall list, each in the view of
    its edition; `editions` None installs the edition of the PC's platform."""

    editions: Optional[Sequence[str]] = None
    display_version: str = "2.0.1.12040"
    install_date: str = "20130911"

    def installed(self, pc: "SimulatedPC") -> Tuple[str, ...]:
        return tuple(self.editions) if self.editions is not None else (pc.arch,)

    def registry(self, pc):
        views: Dict[str, dict] = {}
        for edition in self.installed(pc):
            views.setdefault(edition_view(pc, edition), {})[uninstall_key(edition)] = {
                "DisplayName": ("REG_SZ", "Mirevo"),
                "DisplayVersion": ("REG_SZ", self.display_version),
                "InstallDate": ("REG_SZ", self.install_date),
                "Publisher": ("REG_SZ", "Orvane Corporation"),
            }
        return views

    def describe(self):
        editions = "native" if self.editions is None else "+".join(self.editions)
        return f"uninstall entries ({editions} edition)"


@dataclass
class AreaSettings(Component):
    """The maker's release area ("AreaInfo\\ReleaseArea") and location
    ("Shared Info\\dwLocation"), each left out when None; a value may be
    given as (type, data)."""

    release_area: object = None
    location: object = None

    def registry(self, pc):
        keys: Dict[str, dict] = {}
        if self.release_area is not None:
            value = self.release_area if isinstance(self.release_area, tuple) else ("REG_SZ", self.release_area)
            keys[AREA_INFO_KEY] = {"ReleaseArea": value}
        if self.location is not None:
            value = self.location if isinstance(self.location, tuple) else ("REG_DWORD", self.location)
            keys[SHARED_INFO_KEY] = {"dwLocation": value}
        return {"32": keys} if keys else {}

    def describe(self):
        return f"release area {self.release_area!r}, location {self.location!r}"


@dataclass
class RetiredFeatureData(Component):
    """What the retired functions left: the internet content switch "WEBMEDIA"
    (a (type, data) pair, or None for no value), the per-user link settings
    value and file, the shared picture folder with read-only entries, and
    the product's help files of those functions (paths relative to the
    product folder, a subset of HELP_FILES)."""

    web_media: Optional[Tuple[str, object]] = ("REG_DWORD", 1)
    user_value: bool = True
    user_file: bool = True
    pictures: bool = True
    help_files: Sequence[str] = HELP_FILES

    PICTURES = ("cover.jpg", "Album\\one.jpg", "Album\\two.jpg", "Album\\Thumbs\\one.jpg")
    READ_ONLY = ("cover.jpg", "Album\\two.jpg", "Album\\Thumbs\\one.jpg", "Album\\Thumbs", "Album")

    def registry(self, pc):
        views: Dict[str, dict] = {"32": {}}
        machine = {"InstallPath": ("REG_SZ", join_win(pc.scenario.program_files_x86, "Orvane", "Travio"))}
        if self.web_media is not None:
            machine["WEBMEDIA"] = self.web_media
        views["32"][TRAVIO_MACHINE_KEY] = machine
        if self.user_value:
            views["32"][TRAVIO_USER_KEY] = {RETIRED_USER_VALUE: ("REG_DWORD", 1),
                                            "LastView": ("REG_SZ", "Library")}
        return views

    def files(self, pc):
        files = {}
        if self.user_file:
            files[retired_user_file(pc)] = b"Tiwtter=1\r\nFacebook=1\r\nYouTube=1\r\n"
            files[join_win(local_app_data(pc), "Orvane Corporation", "Mirevo", "Settings.ini")] = b"[View]\r\n"
        if self.pictures:
            for name in self.PICTURES:
                files[join_win(picture_folder(pc), name)] = b"\xff\xd8\xff\xe0 picture " + name.encode()
            files[join_win(common_app_data(pc), "Orvane Corporation", "QVLLib", "Library.db")] = b"kept"
        for relative in self.help_files:
            files[help_file(pc, relative)] = b"ITSF help " + relative.encode()
        files[help_file(pc, "ENG\\Mirevo.chm")] = b"ITSF help of the product"
        return files

    def _read_only_paths(self, pc) -> List[Path]:
        return [pc.scenario.to_unix(join_win(picture_folder(pc), name))
                for name in (self.READ_ONLY if self.pictures else ())]

    def start(self, pc):
        # Read-only as Wine sees it: no write permission on the Linux side
        # (Wine cannot mark a folder read-only itself). Deepest first.
        for path in self._read_only_paths(pc):
            os.chmod(path, path.stat().st_mode & ~0o222)

    def stop(self, pc):
        # Writable again where the update left them, so that the prefix can be
        # removed by a user other than root.
        for path in reversed(self._read_only_paths(pc)):
            if path.exists():
                os.chmod(path, path.stat().st_mode | 0o200)

    def describe(self):
        return f"retired-feature data (WEBMEDIA {self.web_media!r})"


def _unix_tree(root: Path) -> List[str]:
    if not root.exists():
        return []
    return sorted(str(p.relative_to(root)).replace("/", "\\") for p in root.rglob("*"))


def read_records(pc: "SimulatedPC") -> dict:
    """Everything the records and the clean-up touch, as the PC holds it now."""
    s = pc.scenario
    from testbed.simulated_pc import InstalledProduct  # the product component lives there

    product = pc.component(InstalledProduct)
    version_file = s.to_unix(product.version_file_path(pc)) if product else None
    pictures = s.to_unix(picture_folder(pc))
    records = {
        "patch_list": s.reg_query(PATCH_LIST_KEY, view="32"),
        "patch_list_64": s.reg_query(PATCH_LIST_KEY, view="64") if pc.arch == "64" else None,
        "uninstall": {edition: s.reg_query(uninstall_key(edition), view=edition_view(pc, edition))
                      for edition in EDITION_GUIDS if pc.arch == "64" or edition == "32"},
        "version_file": version_file.read_bytes() if version_file and version_file.exists() else None,
        "web_media": s.reg_query(TRAVIO_MACHINE_KEY, "WEBMEDIA", view="32"),
        "travio_machine": s.reg_query(TRAVIO_MACHINE_KEY, view="32"),
        "user_values": s.reg_query(TRAVIO_USER_KEY, view="32"),
        "user_file": s.exists(retired_user_file(pc)),
        "pictures": _unix_tree(pictures) if pictures.exists() else None,
        "help_files": {relative: s.exists(help_file(pc, relative)) for relative in HELP_FILES},
        "product_help": s.exists(help_file(pc, "ENG\\Mirevo.chm")),
    }
    return records
