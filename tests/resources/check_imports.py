#!/usr/bin/python3
"""What the loader sees of updater.exe. The DLLs it imports are all known DLLs
of Windows 7 and later: the loader takes those from the system folder whatever
the search path, so a DLL left beside the downloaded program cannot be loaded
in their place (every other library is loaded at run time from the system
folder). It is terminal-server aware, so that on a Remote Desktop server it
sees the system's Windows folder, not a per-user one. Its sections start on
page boundaries in the file, so that the 85 MB of resources can be mapped
rather than read whole before the program starts.

Usage: check_imports.py PATH/TO/updater.exe [unittest options]
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_resources import FormatError, PeImage  # noqa: E402

# The KnownDLLs list of Windows 7 (later versions keep these and add more).
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "difxapi.dll", "gdi32.dll", "iertutil.dll",
    "imagehlp.dll", "imm32.dll", "kernel32.dll", "lpk.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll",
    "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll",
    "shell32.dll", "shlwapi.dll", "urlmon.dll", "user32.dll", "usp10.dll", "wininet.dll", "wldap32.dll",
    "ws2_32.dll",
}

TERMINAL_SERVER_AWARE = 0x8000

EXE_PATH = None


def imported_dlls(image):
    """The names in the import directory of a PE image, in order."""
    pe = PeImage(image)
    r = pe.reader
    import_rva, _ = pe.directory(1)
    names = []
    descriptor = pe.file_offset(import_rva, 20) if import_rva else None
    while descriptor is not None:
        fields = r.unpack("IIIII", descriptor)
        if fields == (0, 0, 0, 0, 0):
            break
        start = pe.file_offset(fields[3], 1)
        end = r.data.find(b"\0", start)
        if end < 0:
            raise FormatError("an imported DLL's name runs past the end of the image")
        names.append(r.bytes(start, end - start).decode("ascii"))
        descriptor += 20
    return names


class ImportsTest(unittest.TestCase):
    def test_every_imported_dll_is_a_known_dll(self):
        with open(EXE_PATH, "rb") as f:
            names = imported_dlls(f.read())
        self.assertIn("kernel32.dll", [n.lower() for n in names], "the import table was not read")
        self.assertEqual([], [n for n in names if n.lower() not in KNOWN_DLLS])

    def test_the_program_is_terminal_server_aware(self):
        with open(EXE_PATH, "rb") as f:
            self.assertTrue(PeImage(f.read()).dll_characteristics & TERMINAL_SERVER_AWARE)

    def test_sections_start_on_page_boundaries_in_the_file(self):
        with open(EXE_PATH, "rb") as f:
            offsets = PeImage(f.read()).section_file_offsets
        self.assertGreater(len(offsets), 3, "the section table was not read")
        self.assertEqual([hex(o) for o in offsets if o % 4096], [])

    def test_a_dll_outside_the_list_is_found(self):
        # The reader itself: an image with the import of a non-known DLL.
        with open(EXE_PATH, "rb") as f:
            image = bytearray(f.read())
        names = imported_dlls(bytes(image))
        first = names[0].encode("ascii")
        at = image.index(first + b"\0")
        image[at:at + len(first)] = b"x" * (len(first) - 4) + b".dll"
        self.assertIn("x" * (len(first) - 4) + ".dll", imported_dlls(bytes(image)))


def main():
    global EXE_PATH
    if len(sys.argv) < 2 or not os.path.isfile(sys.argv[1]):
        sys.stderr.write("usage: check_imports.py PATH/TO/updater.exe [unittest options]\n")
        return 2
    EXE_PATH = sys.argv[1]
    program = unittest.main(argv=[sys.argv[0]] + sys.argv[2:], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
