"""String tables (RT_STRING) of a PE file, by language.

A small reader with bounds checks at every step: a malformed or truncated file
raises PeFormatError instead of giving wrong texts. The tests use it to know
what a program's message catalogue holds for the language of a scenario.
"""

from __future__ import annotations

import struct
from pathlib import Path
from typing import Dict

RT_STRING = 6


class PeFormatError(ValueError):
    pass


class _Reader:
    def __init__(self, data: bytes):
        self.data = data

    def unpack(self, fmt: str, offset: int):
        size = struct.calcsize(fmt)
        if offset < 0 or offset + size > len(self.data):
            raise PeFormatError(f"read of {size} bytes at {offset:#x} beyond the file")
        return struct.unpack_from(fmt, self.data, offset)

    def bytes(self, offset: int, size: int) -> bytes:
        if offset < 0 or size < 0 or offset + size > len(self.data):
            raise PeFormatError(f"block of {size} bytes at {offset:#x} beyond the file")
        return self.data[offset:offset + size]


def _sections(r: _Reader):
    if r.bytes(0, 2) != b"MZ":
        raise PeFormatError("no MZ header")
    (pe_offset,) = r.unpack("<I", 0x3C)
    if r.bytes(pe_offset, 4) != b"PE\0\0":
        raise PeFormatError("no PE signature")
    _, section_count, _, _, _, optional_size, _ = r.unpack("<HHIIIHH", pe_offset + 4)
    optional = pe_offset + 24
    (magic,) = r.unpack("<H", optional)
    if magic == 0x10B:
        dirs = optional + 96
    elif magic == 0x20B:
        dirs = optional + 112
    else:
        raise PeFormatError(f"optional header magic {magic:#x}")
    (dir_count,) = r.unpack("<I", dirs - 4)
    if dir_count <= 2:
        return [], 0, 0
    resource_rva, resource_size = r.unpack("<II", dirs + 2 * 8)
    sections = []
    table = optional + optional_size
    for i in range(section_count):
        _, vsize, vaddr, raw_size, raw_ptr = r.unpack("<8sIIII", table + 40 * i)
        sections.append((vaddr, max(vsize, raw_size), raw_ptr, raw_size))
    return sections, resource_rva, resource_size


def _rva_to_offset(sections, rva: int, size: int) -> int:
    for vaddr, vsize, raw_ptr, raw_size in sections:
        if vaddr <= rva and rva + size <= vaddr + vsize:
            if rva + size > vaddr + raw_size:
                raise PeFormatError(f"RVA {rva:#x} lies in uninitialised data")
            return raw_ptr + (rva - vaddr)
    raise PeFormatError(f"RVA {rva:#x} (+{size}) is in no section")


def _directory(r: _Reader, base: int, offset: int, limit: int):
    """Entries (id_or_None, is_dir, target_offset) of a resource directory."""
    if offset + 16 > limit:
        raise PeFormatError("resource directory beyond the resource section")
    named, ids = r.unpack("<HH", base + offset + 12)
    entries = []
    for i in range(named + ids):
        entry = offset + 16 + 8 * i
        if entry + 8 > limit:
            raise PeFormatError("resource entry beyond the resource section")
        name, target = r.unpack("<II", base + entry)
        ident = None if name & 0x80000000 else name & 0xFFFF
        entries.append((ident, bool(target & 0x80000000), target & 0x7FFFFFFF))
    return entries


def _parse_block(block: bytes, block_id: int) -> Dict[int, str]:
    texts = {}
    pos = 0
    for index in range(16):
        if pos + 2 > len(block):
            raise PeFormatError(f"string block {block_id} ends before string {index}")
        (length,) = struct.unpack_from("<H", block, pos)
        pos += 2
        if pos + 2 * length > len(block):
            raise PeFormatError(f"string {index} of block {block_id} runs past the block")
        if length:
            texts[(block_id - 1) * 16 + index] = block[pos:pos + 2 * length].decode("utf-16-le")
        pos += 2 * length
    return texts


def string_tables(path) -> Dict[int, Dict[int, str]]:
    """{language id: {message id: text}} of every RT_STRING resource; absent and
    empty strings are left out."""
    r = _Reader(Path(path).read_bytes())
    sections, rsrc_rva, rsrc_size = _sections(r)
    tables: Dict[int, Dict[int, str]] = {}
    if not rsrc_rva:
        return tables
    base = _rva_to_offset(sections, rsrc_rva, rsrc_size)
    for type_id, is_dir, type_off in _directory(r, base, 0, rsrc_size):
        if type_id != RT_STRING or not is_dir:
            continue
        for block_id, is_dir2, name_off in _directory(r, base, type_off, rsrc_size):
            if block_id is None or not is_dir2 or not 1 <= block_id <= 4096:
                raise PeFormatError("malformed string table directory")
            for lang, is_dir3, data_off in _directory(r, base, name_off, rsrc_size):
                if lang is None or is_dir3 or data_off + 16 > rsrc_size:
                    raise PeFormatError("malformed string table language entry")
                data_rva, data_size, _, _ = r.unpack("<IIII", base + data_off)
                block = r.bytes(_rva_to_offset(sections, data_rva, data_size), data_size)
                tables.setdefault(lang, {}).update(_parse_block(block, block_id))
    return tables
