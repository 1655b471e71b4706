"""What every part of a simulated PC is: a Component contributes registry
values, files and, once those of all components are in place, running
programs; and the folders of the maker's software that several components
share."""

from __future__ import annotations

from typing import TYPE_CHECKING, Dict, Tuple

import testbed  # noqa: F401 -- puts the Wine test modules on the path
from wineprefix import join_win

if TYPE_CHECKING:
    from testbed.simulated_pc import SimulatedPC

# {view: {key: {value name: (type, data)}}}
RegistryEntries = Dict[str, Dict[str, Dict[str, Tuple[str, object]]]]


class Component:
    """Something installed on the simulated PC.

    overrides_files: the component's files take the place of other
    components' files at the same paths (they are written last).
    """

    overrides_files = False

    def registry(self, pc: "SimulatedPC") -> RegistryEntries:
        return {}

    def files(self, pc: "SimulatedPC") -> Dict[str, bytes]:
        """{Windows path: content}."""
        return {}

    def start(self, pc: "SimulatedPC") -> None:
        """Runs once registry and files of every component are in place."""

    def stop(self, pc: "SimulatedPC") -> None:
        """Runs when the PC ends, before its prefix is removed."""

    def describe(self) -> str:
        return type(self).__name__


def product_folder(pc: "SimulatedPC") -> str:
    """The product's folder under the Program Files of a 32-bit process."""
    return join_win(pc.scenario.program_files_x86, "Orvane", "Mirevo")


def shared_folder(pc: "SimulatedPC") -> str:
    """The shared components' folder (libraries, tray program, services)."""
    return join_win(pc.scenario.program_files_x86, "Common Files", "Orvane Shared", "QVLLib")
