#!/usr/bin/python3
"""Reads the resources back from the built updater.exe and checks them.

Usage: check_resources.py PATH/TO/updater.exe [unittest options]

The PE file and its resource directory are parsed here directly, with every
read bounds-checked, so that the check does not depend on how a resource
decompiler renders the data.
"""

import os
import re
import struct
import sys
import unittest
import xml.etree.ElementTree as ET

RT_ICON = 3
RT_DIALOG = 5
RT_STRING = 6
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

LANG_NEUTRAL = 0
ENGLISH = 1033
JAPANESE = 1041
CHINESE_PRC = 2052
LANGUAGES = {
    1028: "Chinese (Taiwan)", 1031: "German", 1033: "English (United States)",
    1036: "French", 1040: "Italian", 1041: "Japanese", 1042: "Korean",
    1043: "Dutch", 1045: "Polish", 1046: "Portuguese (Brazil)",
    1049: "Russian", 2052: "Chinese (PRC)", 3082: "Spanish",
}
INTERNET_CONTENT_LANGUAGES = {1033, 1036, 1046, 3082}

ENGLISH_MESSAGES = {
    200: "Mirevo",
    202: "No software version applicable to this update is installed. "
         "The update will be cancelled.",
    203: "A newer version is already installed. "
         "The installation will be cancelled.",
    204: "The %s link function of Mirevo is no longer available due to "
         "limitations resulting from specification changes in %s.",
    206: "The INTERNET CONTENT function of Mirevo is no longer available due "
         "to service termination.",
    1200: "Only the member of the Administrators group can execute this "
          "software. Please contact your administrator, or log off and log on "
          "again as an administrator and try again.",
    1201: "Another instance of this update program is already running.",
    1203: "There is no need to update the program.",
    1210: "Update completed successfully.",
    1211: "An update was canceled.",
    1213: "Package Update Failed.\r\n(code = 0x%08x)",
    1230: "Now processing...\nPlease wait for a while.",
    1231: "The update is replacing program files. Please wait until it has "
          "finished.",
}
JAPANESE_RECORDER_QUESTION = (
    "本セットアップを継続するために、Tunerbay を終了します。\n"
    "Tunerbay を終了すると、実行中の録画やディスク書き出しが中止される可能性があります。\n"
    "セットアップを継続しますか?")
COMMON_MESSAGE_IDS = {200, 202, 203, 204, 1200, 1201, 1203, 1210, 1211, 1213,
                      1230, 1231}
FAILURE_SUFFIX = "\r\n(code = 0x%08x)"

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_SYSMENU = 0x00C00000, 0x00800000, 0x00080000
WS_GROUP, WS_TABSTOP = 0x00020000, 0x00010000
DS_MODALFRAME, DS_SETFONT, DS_FIXEDSYS = 0x80, 0x40, 0x08
SS_CENTER, PBS_SMOOTH, PBS_MARQUEE = 0x01, 0x01, 0x08


class FormatError(Exception):
    """The file is not a well-formed PE image or resource."""


class Reader:
    """Bounds-checked little-endian reads from a byte string."""

    def __init__(self, data, what="data"):
        self.data = data
        self.what = what

    def need(self, offset, size):
        if offset < 0 or size < 0 or offset + size > len(self.data):
            raise FormatError("%s: %d bytes at offset %d are outside its %d "
                              "bytes" % (self.what, size, offset,
                                         len(self.data)))

    def unpack(self, fmt, offset):
        size = struct.calcsize("<" + fmt)
        self.need(offset, size)
        return struct.unpack_from("<" + fmt, self.data, offset)

    def u16(self, offset):
        return self.unpack("H", offset)[0]

    def u32(self, offset):
        return self.unpack("I", offset)[0]

    def bytes(self, offset, size):
        self.need(offset, size)
        return self.data[offset:offset + size]

    def utf16z(self, offset):
        """NUL-terminated UTF-16 string; returns (text, offset after NUL)."""
        end = offset
        while True:
            self.need(end, 2)
            if self.data[end] == 0 and self.data[end + 1] == 0:
                break
            end += 2
        return self.data[offset:end].decode("utf-16-le"), end + 2


def align4(offset):
    return (offset + 3) & ~3


class PeImage:
    """The headers of a PE image: its data directories and where an RVA lies
    in the file, every read bounds-checked."""

    def __init__(self, image):
        r = self.reader = Reader(image, "PE image")
        if r.bytes(0, 2) != b"MZ":
            raise FormatError("no MZ signature")
        pe = r.u32(0x3C)
        if r.bytes(pe, 4) != b"PE\0\0":
            raise FormatError("no PE signature")
        (_, sections, self.time_stamp, _, _, optional_size,
         _) = r.unpack("HHIIIHH", pe + 4)
        self.coff_header = pe + 4
        optional = pe + 24
        magic = r.u16(optional)
        if magic == 0x10B:
            self._directories = optional + 96
        elif magic == 0x20B:
            self._directories = optional + 112
        else:
            raise FormatError("unknown optional header magic 0x%x" % magic)
        self.dll_characteristics = r.u16(optional + 70)
        self._count = r.u32(self._directories - 4)
        self._end = optional + optional_size
        table = optional + optional_size
        self._spans = []
        for k in range(sections):
            (vsize, vaddr, raw_size, raw_ptr) = r.unpack("IIII", table + 40 * k + 8)
            self._spans.append((vaddr, max(vsize, raw_size), raw_ptr, raw_size))

    @property
    def section_file_offsets(self):
        """Where each section's data starts in the file (0 for none)."""
        return [raw_ptr for _, _, raw_ptr, _ in self._spans]

    def directory(self, index):
        """(rva, size) of a data directory; (0, 0) when the image has none."""
        if index >= self._count or self._directories + 8 * (index + 1) > self._end:
            return 0, 0
        return self.reader.unpack("II", self._directories + 8 * index)

    def file_offset(self, rva, size):
        for vaddr, span, raw_ptr, raw_size in self._spans:
            if vaddr <= rva and rva + size <= vaddr + span:
                if rva - vaddr + size > raw_size:
                    raise FormatError("RVA 0x%x+%d lies in uninitialised "
                                      "data" % (rva, size))
                return raw_ptr + rva - vaddr
        raise FormatError("RVA 0x%x+%d is in no section" % (rva, size))


def read_pe_resources(image):
    """Returns {(type, name, language): bytes}; type and name are int or str."""
    pe = PeImage(image)
    return {key: pe.reader.bytes(offset, size)
            for key, (offset, size) in read_pe_resource_ranges(image).items()}


def read_pe_resource_ranges(image):
    """Returns {(type, name, language): (file offset, size)} of every
    resource's data, each range checked to lie in the file."""
    pe = PeImage(image)
    r = pe.reader
    rsrc_rva, rsrc_size = pe.directory(2)
    if rsrc_rva == 0 or rsrc_size == 0:
        return {}
    file_offset = pe.file_offset

    base = file_offset(rsrc_rva, rsrc_size)
    rsrc = Reader(r.bytes(base, rsrc_size), "resource section")

    def entry_name(value):
        if value & 0x80000000:
            offset = value & 0x7FFFFFFF
            length = rsrc.u16(offset)
            return rsrc.bytes(offset + 2, 2 * length).decode("utf-16-le")
        return value & 0xFFFF

    def directory(offset, seen):
        if offset in seen:
            raise FormatError("resource directory loop at %d" % offset)
        seen = seen | {offset}
        named, numbered = rsrc.unpack("HH", offset + 12)
        for k in range(named + numbered):
            name, target = rsrc.unpack("II", offset + 16 + 8 * k)
            yield entry_name(name), target, seen

    result = {}
    for rtype, t1, seen1 in directory(0, frozenset()):
        if not t1 & 0x80000000:
            raise FormatError("type %r is not a directory" % (rtype,))
        for name, t2, seen2 in directory(t1 & 0x7FFFFFFF, seen1):
            if not t2 & 0x80000000:
                raise FormatError("resource %r/%r is not a directory"
                                  % (rtype, name))
            for lang, t3, _ in directory(t2 & 0x7FFFFFFF, seen2):
                if t3 & 0x80000000:
                    raise FormatError("resource %r/%r/%r has no data entry"
                                      % (rtype, name, lang))
                data_rva, size = rsrc.unpack("II", t3)
                key = (rtype, name, lang)
                if key in result:
                    raise FormatError("resource %r listed twice" % (key,))
                offset = file_offset(data_rva, size)
                r.need(offset, size)
                result[key] = (offset, size)
    return result


def resource_directory_stamps(image):
    """The TimeDateStamp of every directory of the resource tree:
    [(path of the directory, stamp)], the root first."""
    pe = PeImage(image)
    rsrc_rva, rsrc_size = pe.directory(2)
    if rsrc_rva == 0 or rsrc_size == 0:
        return []
    base = pe.file_offset(rsrc_rva, rsrc_size)
    rsrc = Reader(pe.reader.bytes(base, rsrc_size), "resource section")
    stamps, pending, seen = [], [((), 0)], set()
    while pending:
        path, offset = pending.pop(0)
        if offset in seen:
            raise FormatError("resource directory loop at %d" % offset)
        seen.add(offset)
        stamps.append((path, rsrc.u32(offset + 4)))
        named, numbered = rsrc.unpack("HH", offset + 12)
        for k in range(named + numbered):
            name, target = rsrc.unpack("II", offset + 16 + 8 * k)
            if target & 0x80000000:
                pending.append((path + (name,), target & 0x7FFFFFFF))
    return stamps


IMAGE_DEBUG_DIRECTORY_SIZE = 28


def debug_directory_stamps(image):
    """The TimeDateStamp of every entry of the debug directory."""
    pe = PeImage(image)
    rva, size = pe.directory(6)
    if rva == 0 and size == 0:
        return []
    if size % IMAGE_DEBUG_DIRECTORY_SIZE:
        raise FormatError("debug directory of %d bytes" % size)
    base = pe.file_offset(rva, size)
    return [pe.reader.u32(base + k + 4)
            for k in range(0, size, IMAGE_DEBUG_DIRECTORY_SIZE)]


def path_forms(path):
    """The encodings in which a folder's name could be carried: 8-bit and
    UTF-16LE, with forward and with backward slashes."""
    forms = []
    for text in {path, path.replace("/", "\\")}:
        forms.append(text.encode("utf-8", "surrogateescape"))
        forms.append(text.encode("utf-16-le", "surrogatepass"))
    return forms


def find_paths(image, paths):
    """[(path, file offset)] of the first occurrence of each path in any of
    its forms."""
    found = []
    for path in paths:
        for form in path_forms(path):
            offset = image.find(form)
            if offset >= 0:
                found.append((path, offset))
                break
    return found


def by_type(resources, rtype):
    return {(name, lang): data for (t, name, lang), data in resources.items()
            if t == rtype}


def parse_string_block(data):
    """The 16 strings of one RT_STRING block."""
    r = Reader(data, "string block")
    strings, offset = [], 0
    for _ in range(16):
        length = r.u16(offset)
        strings.append(r.bytes(offset + 2, 2 * length).decode("utf-16-le"))
        offset += 2 + 2 * length
    return strings


def parse_version_node(r, offset):
    """One VS_VERSIONINFO node: (key, value, children, end offset)."""
    length, value_length, value_type = r.unpack("HHH", offset)
    end = offset + length
    r.need(offset, length)
    if length < 6:
        raise FormatError("version node of length %d" % length)
    key, cursor = r.utf16z(offset + 6)
    cursor = align4(cursor)
    if value_type == 1:  # text, length in characters including the NUL
        size = 2 * value_length
    else:
        size = value_length
    if cursor + size > end:
        raise FormatError("value of %r runs past its node" % key)
    value = r.bytes(cursor, size)
    if value_type == 1:
        value = value.decode("utf-16-le").rstrip("\0")
    cursor = align4(cursor + size)
    children = []
    while cursor < end:
        child = parse_version_node(r, cursor)
        children.append(child)
        cursor = align4(child[3])
    return key, value, children, end


def parse_version_info(data):
    """Returns (fixed file info tuple, {block: {name: text}}, translations)."""
    r = Reader(data, "version resource")
    key, fixed, children, _ = parse_version_node(r, 0)
    if key != "VS_VERSION_INFO":
        raise FormatError("version root is %r" % key)
    if len(fixed) != 52:
        raise FormatError("VS_FIXEDFILEINFO of %d bytes" % len(fixed))
    fixed_fields = struct.unpack("<13I", fixed)
    if fixed_fields[0] != 0xFEEF04BD:
        raise FormatError("bad VS_FIXEDFILEINFO signature")
    blocks, translations = {}, None
    for ckey, _, grandchildren, _ in children:
        if ckey == "StringFileInfo":
            for block, _, values, _ in grandchildren:
                if block in blocks:
                    raise FormatError("string block %s twice" % block)
                blocks[block] = {name: text for name, text, _, _ in values}
        elif ckey == "VarFileInfo":
            for vkey, value, _, _ in grandchildren:
                if vkey == "Translation":
                    if len(value) % 4:
                        raise FormatError("Translation of %d bytes"
                                          % len(value))
                    translations = [struct.unpack_from("<HH", value, k)
                                    for k in range(0, len(value), 4)]
    return fixed_fields, blocks, translations


def parse_sz_or_ord(r, offset):
    if r.u16(offset) == 0xFFFF:
        return r.u16(offset + 2), offset + 4
    return r.utf16z(offset)


def parse_dialog_ex(data):
    r = Reader(data, "dialog template")
    (version, signature, help_id, ex_style, style, count,
     x, y, cx, cy) = r.unpack("HHIIIHhhhh", 0)
    if (version, signature) != (1, 0xFFFF):
        raise FormatError("not an extended dialog template")
    dialog = {"help": help_id, "exstyle": ex_style, "style": style,
              "rect": (x, y, cx, cy)}
    dialog["menu"], offset = parse_sz_or_ord(r, 26)
    dialog["class"], offset = parse_sz_or_ord(r, offset)
    dialog["caption"], offset = r.utf16z(offset)
    if style & DS_SETFONT:
        points, weight, italic, charset = r.unpack("HHBB", offset)
        face, offset = r.utf16z(offset + 6)
        dialog["font"] = (points, weight, italic, charset, face)
    controls = []
    for _ in range(count):
        offset = align4(offset)
        (c_help, c_ex, c_style, cx_, cy_, cw, ch, cid) = r.unpack(
            "IIIhhhhI", offset)
        control = {"help": c_help, "exstyle": c_ex, "style": c_style,
                   "rect": (cx_, cy_, cw, ch), "id": cid}
        control["class"], offset = parse_sz_or_ord(r, offset + 24)
        control["text"], offset = parse_sz_or_ord(r, offset)
        extra = r.u16(offset)
        control["extra"] = r.bytes(offset + 2, extra)
        offset += 2 + extra
        controls.append(control)
    dialog["controls"] = controls
    return dialog


EXE_PATH = None
_RESOURCES = None


def resources():
    global _RESOURCES
    if _RESOURCES is None:
        with open(EXE_PATH, "rb") as f:
            _RESOURCES = read_pe_resources(f.read())
    return _RESOURCES


def only(test, table, name):
    """The one resource of this name in a by_type table: (language, data)."""
    found = [(lang, data) for (n, lang), data in table.items() if n == name]
    test.assertEqual(len(found), 1, "resource %r: %d languages"
                     % (name, len(found)))
    return found[0]


class ManifestTests(unittest.TestCase):
    def setUp(self):
        table = by_type(resources(), RT_MANIFEST)
        self.assertEqual(set(name for name, _ in table), {1})
        _, data = only(self, table, 1)
        self.root = ET.fromstring(data)

    def find_all(self, local_name):
        return [e for e in self.root.iter()
                if e.tag.rsplit("}", 1)[-1] == local_name]

    def test_requests_administrator_without_ui_access(self):
        levels = self.find_all("requestedExecutionLevel")
        self.assertEqual(len(levels), 1)
        self.assertEqual(levels[0].get("level"), "requireAdministrator")
        self.assertEqual(levels[0].get("uiAccess"), "false")

    def test_depends_on_common_controls_6(self):
        identities = [
            e.attrib for e in self.find_all("assemblyIdentity")
            if e.get("name") == "Microsoft.Windows.Common-Controls"]
        self.assertEqual(identities, [{
            "type": "win32", "name": "Microsoft.Windows.Common-Controls",
            "version": "6.0.0.0", "processorArchitecture": "*",
            "publicKeyToken": "6595b64144ccf1df", "language": "*"}])

    def test_is_dpi_aware_and_lists_windows_7_to_10(self):
        self.assertEqual([e.text.strip() for e in self.find_all("dpiAware")],
                         ["true/pm"])
        self.assertEqual(
            [e.text.strip() for e in self.find_all("dpiAwareness")],
            ["PerMonitorV2"])
        self.assertEqual(
            {e.get("Id").lower() for e in self.find_all("supportedOS")},
            {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})


class VersionInfoTests(unittest.TestCase):
    def setUp(self):
        table = by_type(resources(), RT_VERSION)
        self.assertEqual(set(name for name, _ in table), {1})
        _, data = only(self, table, 1)
        self.fixed, self.blocks, self.translations = parse_version_info(data)

    def test_fixed_part(self):
        (_, _, file_ms, file_ls, product_ms, product_ls, _, _, file_os,
         file_type, _, _, _) = self.fixed
        fields = (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16,
                  file_ls & 0xFFFF)
        self.assertEqual(fields, (2, 2, 3, 4170))
        # The program reports its own version in this form.
        self.assertEqual("%d.%d.%d.%05d" % fields, "2.2.3.04170")
        self.assertEqual((product_ms, product_ls), (file_ms, file_ls))
        self.assertEqual(file_os, 0x00040004)  # VOS_NT_WINDOWS32
        self.assertEqual(file_type, 1)  # VFT_APP

    def test_translation_table_lists_every_language_in_utf16(self):
        self.assertIsNotNone(self.translations)
        self.assertEqual(len(self.translations), len(LANGUAGES))
        self.assertEqual({lang for lang, _ in self.translations},
                         set(LANGUAGES))
        self.assertEqual({cp for _, cp in self.translations}, {1200})

    def test_one_string_block_per_language(self):
        self.assertEqual(set(self.blocks),
                         {"%04x04b0" % lang for lang in LANGUAGES})
        english = self.blocks["040904b0"]
        self.assertEqual(english.get("FileDescription"), "Mirevo 2.2.3 Update")
        for lang, language in LANGUAGES.items():
            with self.subTest(language=language):
                block = self.blocks.get("%04x04b0" % lang, {})
                for name, text in (
                        ("CompanyName", "Orvane Corporation"),
                        ("FileVersion", "2.2.3.04170"),
                        ("InternalName", "updater"),
                        ("OriginalFilename", "updater.exe"),
                        ("ProductName", "Mirevo"),
                        ("ProductVersion", "2.2.3.04170")):
                    self.assertEqual(block.get(name), text, name)
                self.assertTrue(block.get("LegalCopyright"))
                description = block.get("FileDescription", "")
                self.assertIn("Mirevo", description)
                self.assertIn("2.2.3", description)
                if lang != ENGLISH:
                    self.assertNotEqual(description,
                                        english.get("FileDescription"))


class ProgressDialogTests(unittest.TestCase):
    def test_template(self):
        table = by_type(resources(), RT_DIALOG)
        lang, data = only(self, table, 1000)
        self.assertEqual(lang, LANG_NEUTRAL)
        dialog = parse_dialog_ex(data)
        controls = dialog.pop("controls")
        self.assertEqual(dialog, {
            "help": 0, "exstyle": 0,
            "style": (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME
                      | DS_SETFONT | DS_FIXEDSYS),
            "rect": (0, 0, 250, 53), "menu": "", "class": "",
            "caption": "Dialog", "font": (8, 400, 0, 1, "MS Shell Dlg")})
        self.assertEqual(dialog["style"], 0x80C800C8)
        self.assertEqual(controls, [
            {"help": 0, "exstyle": 0, "id": 1100, "class": 0x0082,
             "style": WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER,
             "rect": (12, 6, 222, 24), "extra": b"",
             "text": "It is processing it.\nPlease wait for a while."},
            {"help": 0, "exstyle": 0, "id": 1101,
             "class": "msctls_progress32",
             "style": (WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH
                       | PBS_MARQUEE),
             "rect": (12, 36, 222, 9), "extra": b"", "text": ""},
        ])
        self.assertEqual([c["style"] for c in controls],
                         [0x50020001, 0x50800009])


class IconTests(unittest.TestCase):
    def test_group_100_has_32_bit_images_with_alpha(self):
        lang, group = only(self, by_type(resources(), RT_GROUP_ICON), 100)
        icons = by_type(resources(), RT_ICON)
        r = Reader(group, "icon group")
        reserved, kind, count = r.unpack("HHH", 0)
        self.assertEqual((reserved, kind), (0, 1))
        sizes = []
        for k in range(count):
            (width, height, _, _, planes, bits, size,
             icon_id) = r.unpack("BBBBHHIH", 6 + 14 * k)
            width, height = width or 256, height or 256
            with self.subTest(size=width):
                self.assertEqual((width, planes, bits), (height, 1, 32))
                image = icons.get((icon_id, lang))
                self.assertIsNotNone(image, "RT_ICON %d missing" % icon_id)
                self.assertEqual(len(image), size)
                self.check_image(image, width)
            sizes.append(width)
        self.assertTrue({16, 32, 48} <= set(sizes), sizes)
        self.assertTrue(set(sizes) <= {16, 32, 48, 256}, sizes)
        self.assertEqual(len(sizes), len(set(sizes)))

    def check_image(self, image, size):
        if image.startswith(b"\x89PNG\r\n\x1a\n"):
            width, height, depth, colour = struct.unpack_from(">IIBB", image,
                                                              16)
            self.assertEqual((width, height, depth, colour), (size, size, 8, 6))
            return
        r = Reader(image, "icon image")
        (header, width, height, planes, bits,
         compression) = r.unpack("IiiHHI", 0)
        self.assertEqual((header, width, height, planes, bits, compression),
                         (40, size, 2 * size, 1, 32, 0))
        pixels = r.bytes(40, 4 * size * size)
        alphas = set(pixels[3::4])
        # (Nearly) transparent corners, opaque body and blended edges.
        self.assertLess(min(alphas), 128)
        self.assertIn(255, alphas)
        self.assertTrue(alphas - {0, 255}, "no partial transparency")
        r.need(40 + 4 * size * size, ((size + 31) // 32) * 4 * size)


class MessageCatalogueTests(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.catalogue = {}
        for (block, lang), data in by_type(resources(), RT_STRING).items():
            messages = cls.catalogue.setdefault(lang, {})
            for k, text in enumerate(parse_string_block(data)):
                if text:
                    messages[(block - 1) * 16 + k] = text

    def expected_ids(self, lang):
        ids = set(COMMON_MESSAGE_IDS)
        if lang == JAPANESE:
            ids.add(205)
        if lang in INTERNET_CONTENT_LANGUAGES:
            ids.add(206)
        return ids

    def test_languages_and_identifiers(self):
        self.assertEqual(set(self.catalogue), set(LANGUAGES))
        for lang, language in LANGUAGES.items():
            with self.subTest(language=language):
                self.assertEqual(set(self.catalogue.get(lang, {})),
                                 self.expected_ids(lang))

    def test_english_texts(self):
        self.assertEqual(self.catalogue.get(ENGLISH), ENGLISH_MESSAGES)

    def test_japanese_recorder_question(self):
        self.assertEqual(self.catalogue.get(JAPANESE, {}).get(205),
                         JAPANESE_RECORDER_QUESTION)

    def test_format_arguments(self):
        """Only the conversions that the program passes values for."""
        for lang, language in LANGUAGES.items():
            messages = self.catalogue.get(lang, {})
            for message_id, text in messages.items():
                with self.subTest(language=language, id=message_id):
                    conversions = re.findall(r"%[-+ #0-9.]*[a-zA-Z%]?", text)
                    if message_id == 204 and lang != CHINESE_PRC:
                        self.assertEqual(conversions, ["%s", "%s"])
                    elif message_id == 1213:
                        self.assertEqual(conversions, ["%08x"])
                        self.assertTrue(text.endswith(FAILURE_SUFFIX))
                        self.assertGreater(len(text), len(FAILURE_SUFFIX))
                    else:
                        self.assertEqual(conversions, [])

    def test_line_breaks(self):
        for lang, language in LANGUAGES.items():
            for message_id, text in self.catalogue.get(lang, {}).items():
                with self.subTest(language=language, id=message_id):
                    # An escape that the resource compiler did not convert.
                    self.assertNotIn("\\", text)
                    lines = {1213: 1, 1230: 1, 205: 2}.get(message_id, 0)
                    self.assertEqual(text.count("\n"), lines)
                    self.assertEqual(text.count("\r"),
                                     1 if message_id == 1213 else 0)

    def test_other_languages_are_translated(self):
        english = self.catalogue.get(ENGLISH, {})
        for lang, language in LANGUAGES.items():
            messages = self.catalogue.get(lang, {})
            with self.subTest(language=language):
                self.assertEqual(messages.get(200), "Mirevo")
            if lang == ENGLISH:
                continue
            for message_id, text in messages.items():
                if message_id == 200 or message_id not in english:
                    continue
                with self.subTest(language=language, id=message_id):
                    self.assertNotEqual(text, english[message_id])


class ResourceReaderTests(unittest.TestCase):
    """The reader rejects damaged images instead of misreading them."""

    def test_truncated_image(self):
        with open(EXE_PATH, "rb") as f:
            image = f.read()
        for size in (0, 0x40, 0x200):
            with self.subTest(size=size):
                with self.assertRaises(FormatError):
                    read_pe_resources(image[:size])

    def test_resource_directory_loop(self):
        with open(EXE_PATH, "rb") as f:
            image = bytearray(f.read())
        r = Reader(bytes(image))
        pe = r.u32(0x3C)
        optional_size = r.u16(pe + 20)
        rsrc_rva = r.u32(pe + 24 + 96 + 16)
        for k in range(r.u16(pe + 6)):
            section = pe + 24 + optional_size + 40 * k
            vaddr, raw_ptr = r.u32(section + 12), r.u32(section + 20)
            if vaddr <= rsrc_rva < vaddr + r.u32(section + 8):
                root = raw_ptr + rsrc_rva - vaddr
                break
        else:
            self.fail("no section holds the resource directory")
        # Point the first type entry back at the root directory.
        struct.pack_into("<I", image, root + 20, 0x80000000)
        with self.assertRaises(FormatError):
            read_pe_resources(bytes(image))


def build_folders():
    """The absolute source and build folders that the program must not
    carry, from UPDATER_SOURCE_DIR and UPDATER_BUILD_DIR, also as resolved
    through links."""
    folders = set()
    for variable in ("UPDATER_SOURCE_DIR", "UPDATER_BUILD_DIR"):
        value = os.environ.get(variable, "").rstrip("/")
        if value:
            folders.add(value)
            folders.add(os.path.realpath(value))
    return sorted(folders)


class ReproducibleBuildTests(unittest.TestCase):
    """Nothing of the time or the folder of the build is in the program, so
    that two builds of one commit give the same bytes. The time stamps are
    0: the build has no meaningful time of its own, and no loader or tool
    needs one in a program without bound imports or debug information."""

    @classmethod
    def setUpClass(cls):
        with open(EXE_PATH, "rb") as f:
            cls.image = f.read()

    def test_coff_header_has_no_time_stamp(self):
        self.assertEqual(PeImage(self.image).time_stamp, 0)

    def test_resource_directories_have_no_time_stamp(self):
        stamps = resource_directory_stamps(self.image)
        self.assertTrue(stamps, "no resource directory")
        self.assertEqual([(path, stamp) for path, stamp in stamps if stamp],
                         [])

    def test_no_debug_directory_with_a_time_stamp(self):
        self.assertEqual([s for s in debug_directory_stamps(self.image) if s],
                         [])

    def test_no_source_or_build_folder(self):
        folders = build_folders()
        if not folders:
            self.skipTest("UPDATER_SOURCE_DIR and UPDATER_BUILD_DIR not set")
        for folder in folders:
            self.assertTrue(os.path.isabs(folder) and len(folder) > 1, folder)
        self.assertEqual(find_paths(self.image, folders), [])


class ReproducibleBuildCheckerTests(unittest.TestCase):
    """The readers behind ReproducibleBuildTests see what they look for."""

    @classmethod
    def setUpClass(cls):
        with open(EXE_PATH, "rb") as f:
            cls.image = f.read()

    def test_sees_a_header_time_stamp(self):
        image = bytearray(self.image)
        pe = PeImage(bytes(image))
        struct.pack_into("<I", image, pe.coff_header + 4, 0x6B18C4E6)
        self.assertEqual(PeImage(bytes(image)).time_stamp, 0x6B18C4E6)

    def test_sees_a_time_stamp_below_the_root(self):
        image = bytearray(self.image)
        pe = PeImage(bytes(image))
        rva, size = pe.directory(2)
        base = pe.file_offset(rva, size)
        # The first type's directory: the first entry of the root.
        first_type = struct.unpack_from("<I", image, base + 20)[0] & 0x7FFFFFFF
        struct.pack_into("<I", image, base + first_type + 4, 12345)
        before = dict(resource_directory_stamps(self.image))
        after = dict(resource_directory_stamps(bytes(image)))
        self.assertEqual(set(after), set(before))
        changed = [path for path in after if after[path] != before[path]]
        self.assertEqual(len(changed), 1)
        self.assertEqual(len(changed[0]), 1)  # a type's directory
        self.assertEqual(after[changed[0]], 12345)

    def test_finds_a_folder_in_each_form(self):
        folder = "/tmp/some build/updater"
        for form in path_forms(folder):
            with self.subTest(form=form):
                image = self.image + b"\0" * 7 + form + b"\0\0"
                self.assertEqual(find_paths(image, [folder]),
                                 [(folder, len(self.image) + 7)])
        self.assertEqual(find_paths(self.image, [folder]), [])


def main():
    global EXE_PATH
    if len(sys.argv) < 2 or not os.path.isfile(sys.argv[1]):
        sys.stderr.write("usage: check_resources.py PATH/TO/updater.exe "
                         "[unittest options]\n")
        return 2
    EXE_PATH = sys.argv[1]
    program = unittest.main(argv=[sys.argv[0]] + sys.argv[2:], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
