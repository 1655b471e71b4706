#!/usr/bin/env python3
"""Benchmark of the SZDD expander and packer. Prints figures; asserts nothing.

Builds optimised copies of our expander (bench/szdd_bench_tool.cpp) and packer
(tools/szdd_pack.cpp) with g++ -O2, generates a corpus, and compares:

  expansion (MB/s of expanded output, file to file, and peak RSS):
    ours, libmspack, Debian's msexpand, and a read-copy-write floor;
  packing (compressed bytes, MB/s of input, peak RSS):
    ours and Debian's mscompress.

Corpus: program-like files (slices of the 32-bit PE DLLs that Wine installs,
else of the machine's shared libraries) and incompressible files (seeded
random bytes), mixed so that the packed size is about 0.88 of the original.
Each figure is the median of --runs runs (5 by default). msexpand and
mscompress move one byte per system call, so they get smaller inputs: the
rate is what counts for them.

Usage: bench/szdd_bench.py [--runs N] [--scale N] [--keep DIR]
"""
import argparse
import glob
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

# Share of program files in the corpus, for a packed size of about 0.88.
PROGRAM_SHARE = 0.33
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def build(work):
    tool = os.path.join(work, "szdd_bench_tool")
    pack = os.path.join(work, "szdd_pack")
    flags = ["g++", "-std=c++17", "-O2", "-DNDEBUG", "-I" + ROOT]
    have_mspack = os.path.exists("/usr/include/mspack.h")
    tool_cmd = flags + [os.path.join(ROOT, "bench/szdd_bench_tool.cpp"),
                        os.path.join(ROOT, "payload/szdd_expander.cpp"),
                        os.path.join(ROOT, "payload/szdd_stdio.cpp"), "-o", tool]
    tool_cmd += ["-lmspack"] if have_mspack else ["-DSZDD_BENCH_NO_MSPACK"]
    pack_cmd = flags + [os.path.join(ROOT, "tools/szdd_pack.cpp"),
                        os.path.join(ROOT, "tools/szdd_packer.cpp"), "-o", pack]
    # Linked statically where possible: the packer runs once per file, and
    # loading the C++ runtime would take as long as packing a small file.
    for cmd in (tool_cmd, pack_cmd):
        if subprocess.run(cmd + ["-static"], stderr=subprocess.DEVNULL).returncode != 0:
            subprocess.run(cmd, check=True)
    return tool, pack, have_mspack


def program_sources():
    for pattern in ("/usr/lib/i386-linux-gnu/wine/i386-windows/*.dll",
                    "/usr/lib/x86_64-linux-gnu/*.so*", "/usr/bin/*"):
        files = sorted(f for f in glob.glob(pattern)
                       if os.path.isfile(f) and not os.path.islink(f) and os.path.getsize(f) > 65536)
        if files:
            return files
    sys.exit("no program files found for the corpus")


def make_corpus(work, scale):
    """Files of payload-like sizes; returns their paths."""
    rng = random.Random(20240601)
    sources = program_sources()
    corpus = os.path.join(work, "corpus")
    os.makedirs(corpus)
    paths = []
    # (kind, size): a few big files, many middle-sized and small ones.
    sizes = [3_000_000, 1_500_000] + [400_000] * 6 + [60_000] * 20 + [5_000] * 30 + [16, 100, 700]
    program_bytes = total = 0
    for i, size in enumerate(sizes):
        size = max(16, size * scale // 4)
        total += size
        # Program files until they make up PROGRAM_SHARE of the bytes so far;
        # the others are random bytes behind a short program-like head (as in
        # media files, whose contents are compressed already).
        if program_bytes + size <= PROGRAM_SHARE * total:
            program_bytes += size
            data = bytearray()
            while len(data) < size:
                src = sources[rng.randrange(len(sources))]
                with open(src, "rb") as f:
                    blob = f.read()
                start = rng.randrange(max(1, len(blob) - 65536))
                data += blob[start:start + min(size - len(data), 262144)]
        else:
            head = size // 50
            src = sources[rng.randrange(len(sources))]
            with open(src, "rb") as f:
                data = bytearray(f.read(head))
            data += rng.randbytes(size - len(data))
        path = os.path.join(corpus, "f%02d.bin" % i)
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
    return paths


def timed(cmd_for, runs, work, stdin_path=None):
    """Median wall time and largest peak RSS of `runs` runs of cmd_for()."""
    times, rss = [], 0
    for _ in range(runs):
        with open(os.path.join(work, "run.log"), "w") as log:
            stdin = open(stdin_path, "rb") if stdin_path else None
            try:
                cmd = cmd_for()
                # /usr/bin/time adds well under a millisecond.
                start = time.perf_counter()
                subprocess.run(["/usr/bin/time", "-v"] + cmd, stdin=stdin,
                                     stdout=subprocess.DEVNULL, stderr=log, check=True)
                times.append(time.perf_counter() - start)
            finally:
                if stdin:
                    stdin.close()
        with open(os.path.join(work, "run.log")) as log:
            for line in log:
                if "Maximum resident set size" in line:
                    rss = max(rss, int(line.split(":")[1]))
    return statistics.median(times), rss


def sh(command):
    return ["sh", "-c", command]


def same(a, b):
    return subprocess.run(["cmp", "-s", a, b]).returncode == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--scale", type=int, default=4, help="corpus size, 4 = about 12 MB")
    parser.add_argument("--keep", help="work in this folder and keep it")
    args = parser.parse_args()

    base = "/dev/shm" if os.path.isdir("/dev/shm") else None
    work = args.keep or tempfile.mkdtemp(prefix="szdd_bench.", dir=base)
    os.makedirs(work, exist_ok=True)
    try:
        tool, pack, have_mspack = build(work)
        have_ms = shutil.which("mscompress") and shutil.which("msexpand")
        files = make_corpus(work, args.scale)
        total_in = sum(os.path.getsize(f) for f in files)
        print("work folder %s (%s)" % (work, "tmpfs" if work.startswith("/dev/shm") else "disk"))
        print("corpus: %d files, %d bytes" % (len(files), total_in))

        # ---- packing ----
        ours_sizes, ms_sizes, larger = 0, 0, []
        for f in files:
            subprocess.run([pack, f, f + ".sz"], check=True)
            ours_sizes += os.path.getsize(f + ".sz")
            if have_ms:
                subprocess.run(["mscompress", f], check=True, stdout=subprocess.DEVNULL)
                ms_sizes += os.path.getsize(f + "_")
                if os.path.getsize(f) >= 16 and os.path.getsize(f + ".sz") > os.path.getsize(f + "_"):
                    larger.append(os.path.basename(f))
        listing = os.path.join(work, "corpus.txt")
        with open(listing, "w") as out:
            out.write("\n".join(files) + "\n")
        pack_all = "while read f; do %s \"$f\" \"$f.sz\" || exit 1; done < %s" % (pack, listing)
        t_ours, rss_ours = timed(lambda: sh(pack_all), args.runs, work)
        print()
        print("packing (median of %d; MB = 10^6 bytes)" % args.runs)
        print("  %-12s %12s %7s %9s %10s" % ("", "bytes", "ratio", "MB/s", "peak RSS"))
        print("  %-12s %12d %7.4f %9.1f %7d KiB" % ("ours", ours_sizes, ours_sizes / total_in,
                                                    total_in / 1e6 / t_ours, rss_ours))
        if have_ms:
            ms_all = "while read f; do rm -f \"${f}_\"; mscompress \"$f\" >/dev/null || exit 1; done < %s" % listing
            t_ms, rss_ms = timed(lambda: sh(ms_all), args.runs, work)
            print("  %-12s %12d %7.4f %9.1f %7d KiB" % ("mscompress", ms_sizes, ms_sizes / total_in,
                                                        total_in / 1e6 / t_ms, rss_ms))
            print("  ours/mscompress: size %.4f (%.2f%% smaller), speed x%.1f; files where ours is larger: %s"
                  % (ours_sizes / ms_sizes, 100 * (1 - ours_sizes / ms_sizes), t_ms / t_ours,
                     ", ".join(larger) or "none"))

        # ---- expansion ----
        big = os.path.join(work, "big.bin")
        with open(big, "wb") as out:
            for _ in range(4):
                for f in files:
                    with open(f, "rb") as src:
                        out.write(src.read())
        subprocess.run([pack, big, big + ".sz"], check=True)
        n = os.path.getsize(big)
        small = os.path.join(work, "small.bin")
        with open(big, "rb") as src, open(small, "wb") as out:
            out.write(src.read(2_000_000))
        subprocess.run([pack, small, small + ".sz"], check=True)
        out_path = os.path.join(work, "out.bin")

        print()
        print("expansion of %d bytes from %d (median of %d, file to file)" % (n, os.path.getsize(big + ".sz"), args.runs))
        print("  %-12s %9s %10s  %s" % ("", "MB/s", "peak RSS", "output"))

        def report(name, cmd, source, size, stdin=None):
            t, rss = timed(lambda: cmd, args.runs, work, stdin)
            print("  %-12s %9.1f %7d KiB  %s" % (name, size / 1e6 / t, rss,
                                                  "identical" if same(out_path, source) else "DIFFERENT"))
            return size / 1e6 / t

        r_ours = report("ours", [tool, "expand", big + ".sz", out_path], big, n)
        if have_mspack:
            r_mspack = report("libmspack", [tool, "mspack", big + ".sz", out_path], big, n)
        if have_ms:
            report("msexpand", sh("msexpand < %s.sz > %s" % (small, out_path)), small,
                   os.path.getsize(small))
        r_copy = report("copy floor", [tool, "copy", big, out_path], big, n)
        mem = subprocess.run([tool, "inmem", big + ".sz"], check=True, capture_output=True, text=True)
        print("  ours in memory, no file I/O: %s MB/s" % mem.stdout.strip())
        if have_mspack:
            print("  ours/libmspack x%.1f; ours/copy floor %.2f" % (r_ours / r_mspack, r_ours / r_copy))
        print("  (msexpand expands the first 2,000,000 bytes only)")
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
