#!/usr/bin/env python3
"""How far ahead of mscompress our SZDD packer can be on a payload that packs
to a given ratio. Prints figures; asserts nothing.

A payload packs to 0.88 only because much of it is incompressible (compressed
images, compressed help pages), and incompressible bytes cost 9/8 of their
size with any SZDD packer, ours and mscompress alike. The lead on the whole
payload is therefore the lead on its compressible part, diluted by the rest.

For each file given (by default real compiled 32-bit Windows DLLs as Wine
ships them), the script packs it with ours and with mscompress and works out
the lead that the file's content would give in a payload made of it and of as
many incompressible bytes as bring our packed total to --ratio (by default
the product payload's, 84,844,405 packed bytes from 96,349,669). What the
incompressible bytes cost each packer is measured on a seeded pseudo-random
sample. With --mix, the files are also joined with that many pseudo-random
bytes into one real file, and both packers pack it, to confirm the figure.

Usage: bench/pack_lead_at_ratio.py [--ratio R] [--mix] [FILE ...]
"""
import argparse
import glob
import os
import random
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from szdd_bench import build_packer  # noqa: E402

PAYLOAD_RATIO = 84844405 / 96349669
WINE_DLLS = "/usr/lib/i386-linux-gnu/wine/i386-windows"
DEFAULT_DLLS = ["comctl32.dll", "kernelbase.dll", "msxml3.dll", "ole32.dll", "shell32.dll", "wined3d.dll"]


def packed_sizes(pack, path):
    """Sizes of `path` packed by ours and by mscompress."""
    subprocess.run([pack, path, path + ".sz"], check=True, stdout=subprocess.DEVNULL)
    if os.path.exists(path + "_"):
        os.remove(path + "_")
    subprocess.run(["mscompress", path], check=True, stdout=subprocess.DEVNULL)
    sizes = os.path.getsize(path + ".sz"), os.path.getsize(path + "_")
    os.remove(path + ".sz")
    os.remove(path + "_")
    return sizes


def write_random(out, size, seed):
    rng = random.Random(seed)
    for done in range(0, size, 1 << 20):
        out.write(rng.randbytes(min(1 << 20, size - done)))


def lead_at_ratio(plain, ours, ms, random_ours, random_ms, ratio):
    """Incompressible bytes that bring our total to `ratio`, and our lead then."""
    extra = max(0.0, (ours - ratio * plain) / (ratio - random_ours))
    return extra, 1 - (ours + random_ours * extra) / (ms + random_ms * extra)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("files", nargs="*")
    parser.add_argument("--ratio", type=float, default=PAYLOAD_RATIO)
    parser.add_argument("--random-bytes", type=int, default=8 << 20,
                        help="size of the pseudo-random sample that incompressible bytes are measured on")
    parser.add_argument("--mix", action="store_true", help="also pack the real mix of all files and random bytes")
    args = parser.parse_args()
    files = args.files or [os.path.join(WINE_DLLS, name) for name in DEFAULT_DLLS
                           if os.path.exists(os.path.join(WINE_DLLS, name))]
    if not files:
        sys.exit("no files given, and none of Wine's 32-bit DLLs found in %s" % WINE_DLLS)
    if not shutil.which("mscompress"):
        sys.exit("mscompress is not installed (apt-get install mscompress)")

    base = "/dev/shm" if os.path.isdir("/dev/shm") else None
    work = tempfile.mkdtemp(prefix="pack_lead.", dir=base)
    try:
        pack = build_packer(work)
        sample = os.path.join(work, "random.bin")
        with open(sample, "wb") as out:
            write_random(out, args.random_bytes, seed=1)
        r_ours, r_ms = (size / args.random_bytes for size in packed_sizes(pack, sample))
        print("incompressible bytes (%d pseudo-random): ours %.6f, mscompress %.6f of their size"
              % (args.random_bytes, r_ours, r_ms))
        if not 0 < args.ratio < r_ours:
            sys.exit("--ratio must lie above 0 and below what incompressible bytes pack to (%.6f)" % r_ours)

        def row(name, plain, ours, ms):
            extra, lead = lead_at_ratio(plain, ours, ms, r_ours, r_ms, args.ratio)
            print("  %-16s %11d %7.4f %7.4f %7.2f%% %14d %7.2f%%"
                  % (name[:16], plain, ours / plain, ms / plain, 100 * (1 - ours / ms), extra, 100 * lead))
            return extra

        print("lead of ours over mscompress on each file, and in a payload of the file's content and")
        print("incompressible bytes that packs to %.4f with ours" % args.ratio)
        print("  %-16s %11s %7s %7s %8s %14s %8s" % ("file", "bytes", "ours", "ms", "lead", "+random", "lead at"))
        totals = [0, 0, 0]
        for f in files:
            if os.path.getsize(f) == 0:
                print("  %-16s empty, left out" % os.path.basename(f)[:16])
                continue
            copy = shutil.copy(f, os.path.join(work, os.path.basename(f)))
            plain = os.path.getsize(copy)
            ours, ms = packed_sizes(pack, copy)
            os.remove(copy)
            totals = [t + v for t, v in zip(totals, (plain, ours, ms))]
            row(os.path.basename(f), plain, ours, ms)
        if totals[0] == 0:
            sys.exit("every file given is empty")
        extra = row("all together", *totals)
        if args.mix:
            mix = os.path.join(work, "mix.bin")
            with open(mix, "wb") as out:
                for f in files:
                    with open(f, "rb") as src:
                        shutil.copyfileobj(src, out)
                write_random(out, int(extra), seed=2)
            size = os.path.getsize(mix)
            ours, ms = packed_sizes(pack, mix)
            print("  the real mix, %d bytes: ours %d (%.4f), mscompress %d (%.4f), lead %.2f%%"
                  % (size, ours, ours / size, ms, ms / size, 100 * (1 - ours / ms)))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
