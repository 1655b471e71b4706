#!/usr/bin/python3
"""Writes the compressed resources that the Windows-side tests extract: a
valid file (literals only, so no packer is needed), a truncated one and one
with a wrong signature, and the expected expanded bytes.

    make_test_payload.py OUTPUT_FOLDER
"""

import struct
import sys
from pathlib import Path

SIGNATURE = bytes([0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33])


def content(size: int) -> bytes:
    """Deterministic bytes (a 32-bit linear congruential sequence)."""
    out = bytearray(size)
    state = 20130911
    for i in range(size):
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = state >> 24
    return bytes(out)


def literal_only(data: bytes, declared: int) -> bytes:
    """A mode "A" file whose items are all literals: a flag byte 0xFF before every eight."""
    body = bytearray()
    for i in range(0, len(data), 8):
        body.append(0xFF)
        body += data[i:i + 8]
    return SIGNATURE + b"A\x00" + struct.pack("<I", declared) + bytes(body)


def main() -> int:
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    data = content(300_000)  # several buffers' worth
    (out / "valid.bin").write_bytes(data)
    (out / "valid.sz_").write_bytes(literal_only(data, len(data)))
    (out / "truncated.sz_").write_bytes(literal_only(data[:1000], 5000))
    (out / "bad-signature.sz_").write_bytes(b"XX" + literal_only(data[:64], 64)[2:])
    return 0


if __name__ == "__main__":
    sys.exit(main())
