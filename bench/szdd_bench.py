#!/usr/bin/env python3
"""Benchmark of the SZDD expander and packer on the generated payload. Prints
figures; asserts nothing.

Corpus: the 161 payload files of the win32 build (build/win32/payload/files,
about 96 MB), copied to a tmpfs work folder. Builds optimised copies of our
expander (bench/szdd_bench_tool.cpp) and packer (tools/szdd_pack.cpp) with
g++ -O2 and measures, each figure the median of --runs runs (5 by default):

  packing (compressed bytes, MB/s of input, peak RSS):
    ours and Debian's mscompress; mscompress moves one byte per system call
    and needs minutes for the payload, so it runs --ms-runs times (1 by
    default) over all of it;
  expansion (MB/s of expanded output, file to file, and peak memory):
    under Wine in a 32-bit prefix (bench/szdd_bench_win.cpp, timing itself):
      the platform's LZ32 (LZOpenFileW/LZCopy), the updater's own expander,
      and a read-copy-write floor;
    natively: ours, libmspack, Debian's msexpand (on the first files up to
      --msexpand-bytes, for the same reason as mscompress), and the floor;
  hashing (MB/s of SHA-256 over the payload in memory, under Wine, 32-bit):
    the system's bcrypt.dll, the updater's own hash, and its portable
    compression function alone (what CPUs without SHA instructions get).

Usage: bench/szdd_bench.py [--runs N] [--ms-runs N] [--keep DIR] [--parts pack,native,wine,hash]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


FLAGS = ["g++", "-std=c++17", "-O2", "-DNDEBUG", "-I" + ROOT]


def compile_tool(cmd):
    # Linked statically where possible: the packer runs once per file, and
    # loading the C++ runtime would take as long as packing a small file.
    if subprocess.run(cmd + ["-static"], stderr=subprocess.DEVNULL).returncode != 0:
        subprocess.run(cmd, check=True)


def build_packer(work):
    pack = os.path.join(work, "szdd_pack")
    compile_tool(FLAGS + [os.path.join(ROOT, "tools/szdd_pack.cpp"),
                          os.path.join(ROOT, "tools/szdd_packer.cpp"), "-o", pack])
    return pack


def build(work):
    tool = os.path.join(work, "szdd_bench_tool")
    have_mspack = os.path.exists("/usr/include/mspack.h")
    tool_cmd = FLAGS + [os.path.join(ROOT, "bench/szdd_bench_tool.cpp"),
                        os.path.join(ROOT, "payload/portable/szdd_expander.cpp"),
                        os.path.join(ROOT, "payload/portable/szdd_stdio.cpp"), "-o", tool]
    tool_cmd += ["-lmspack"] if have_mspack else ["-DSZDD_BENCH_NO_MSPACK"]
    compile_tool(tool_cmd)
    return tool, build_packer(work), have_mspack


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


def payload_files(folder):
    files = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".bin"))
    if not files:
        sys.exit("no payload files in %s: build the win32 preset first (scripts/build.sh)" % folder)
    return files


def write_list(path, pairs):
    with open(path, "w", encoding="utf-8") as out:
        out.write("".join("%s|%s\n" % pair for pair in pairs))
    return path


def all_same(pairs_expected):
    return all(same(out, expected) for out, expected in pairs_expected)


def mb(n):
    return n / 1e6


def pack_figures(args, work, files, pack, total_in):
    """Packs every file with ours and with mscompress; returns our packed paths."""
    listing = write_list(os.path.join(work, "pack.txt"), [(f, f + ".sz") for f in files])
    pack_all = "IFS='|'; while read i o; do %s \"$i\" \"$o\" || exit 1; done < %s" % (pack, listing)
    t_ours, rss_ours = timed(lambda: sh(pack_all), args.runs, work)
    ours = sum(os.path.getsize(f + ".sz") for f in files)
    print()
    print("packing %d files, %d bytes (MB = 10^6 bytes)" % (len(files), total_in))
    print("  %-12s %12s %7s %9s %11s  %s" % ("", "bytes", "ratio", "MB/s", "peak RSS", "runs"))
    print("  %-12s %12d %7.4f %9.1f %7d KiB  %d" % ("ours", ours, ours / total_in, mb(total_in) / t_ours,
                                                   rss_ours, args.runs))
    if not shutil.which("mscompress"):
        print("  mscompress is not installed (apt-get install mscompress)")
        return [f + ".sz" for f in files]
    ms_all = ("for f in %s; do rm -f \"${f}_\"; mscompress \"$f\" >/dev/null || exit 1; done"
              % " ".join("'%s'" % f for f in files))
    t_ms, rss_ms = timed(lambda: sh(ms_all), args.ms_runs, work)
    ms = sum(os.path.getsize(f + "_") for f in files)
    larger = [os.path.basename(f) for f in files
              if os.path.getsize(f) >= 16 and os.path.getsize(f + ".sz") > os.path.getsize(f + "_")]
    print("  %-12s %12d %7.4f %9.1f %7d KiB  %d" % ("mscompress", ms, ms / total_in, mb(total_in) / t_ms,
                                                   rss_ms, args.ms_runs))
    print("  ours/mscompress: size %.4f (%.2f%% smaller; target at least 1%%), speed x%.1f (target x10)"
          % (ours / ms, 100 * (1 - ours / ms), t_ms / t_ours))
    print("  files of 16 bytes or more where ours is larger: %s" % (", ".join(larger) or "none"))
    return [f + ".sz" for f in files]


def native_expansion(args, work, tool, have_mspack, files, packed, total_out):
    outs = [os.path.join(work, "out", os.path.basename(f)) for f in files]
    os.makedirs(os.path.join(work, "out"), exist_ok=True)
    expand_list = write_list(os.path.join(work, "expand.txt"), zip(packed, outs))
    copy_list = write_list(os.path.join(work, "copy.txt"), zip(files, outs))
    print()
    print("expansion, native, of %d bytes (file to file, %d runs)" % (total_out, args.runs))
    print("  %-12s %9s %11s  %s" % ("", "MB/s", "peak RSS", "output"))
    rates = {}

    def report(name, cmd, size, expected):
        t, rss = timed(lambda: cmd, args.runs, work)
        rates[name] = mb(size) / t
        print("  %-12s %9.1f %7d KiB  %s" % (name, rates[name], rss,
                                              "identical" if all_same(expected) else "DIFFERENT"))

    report("ours", [tool, "expand", "--list", expand_list], total_out, zip(outs, files))
    if have_mspack:
        report("libmspack", [tool, "mspack", "--list", expand_list], total_out, zip(outs, files))
    if shutil.which("msexpand"):
        chosen, size = [], 0
        for f in files:
            if size >= args.msexpand_bytes:
                break
            chosen.append(f)
            size += os.path.getsize(f)
        script = "; ".join("msexpand < '%s' > '%s'" % (p, o) for p, o, f in zip(packed, outs, files) if f in chosen)
        report("msexpand", sh(script), size, ((o, f) for o, f in zip(outs, files) if f in chosen))
        print("  (msexpand: the first %d files, %d bytes)" % (len(chosen), size))
    report("copy floor", [tool, "copy", "--list", copy_list], total_out, zip(outs, files))
    mem = subprocess.run([tool, "inmem", packed[files.index(max(files, key=os.path.getsize))]],
                         check=True, capture_output=True, text=True)
    print("  ours in memory, largest file, no file I/O: %s MB/s" % mem.stdout.strip())
    if "libmspack" in rates:
        print("  ours/libmspack x%.1f; ours/copy floor %.2f" % (rates["ours"] / rates["libmspack"],
                                                              rates["ours"] / rates["copy floor"]))


def wine_bench():
    """szdd_bench_win.exe and the harness's wineprefix module; (None, None) when the exe is not built."""
    exe = os.path.join(ROOT, "build", "win32", "bench", "szdd_bench_win.exe")
    if not os.path.exists(exe):
        print("\n%s is missing: build the win32 preset first" % exe)
        return None, None
    sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
    import wineprefix  # the test harness's prefixes and sessions

    wineprefix.ensure_templates(["32"])
    return exe, wineprefix


def timed_in_wine(scenario, exe, mode, listing, label, runs):
    """The seconds of each run of szdd_bench_win.exe MODE, its largest peak
    memory, its memory at start and the last run's other fields; no seconds
    when a run failed."""
    seconds, peak, start, fields = [], 0, 0, {}
    for _ in range(runs):
        result = scenario.run([exe, mode, scenario.to_windows(listing)], timeout=1800, check=False)
        out = result.stdout.decode("utf-8", "replace")
        fields = dict(item.split("=", 1) for item in out.split() if "=" in item)
        if result.returncode != 0 or "seconds" not in fields:
            print("  %-12s failed: %s" % (label, result.stderr.decode("utf-8", "replace").strip()[:300]))
            return [], 0, 0, {}
        seconds.append(float(fields["seconds"]))
        peak = max(peak, int(fields["peak"]))
        start = int(fields["start"])
    return seconds, peak, start, fields


def wine_hashing(args, work, files, total):
    exe, wineprefix = wine_bench()
    if exe is None:
        return
    print()
    print("SHA-256 under Wine (32-bit prefix) of %d bytes in memory (%d runs, timed inside the program)"
          % (total, args.runs))
    print("  %-20s %9s  %s" % ("", "MB/s", "digests"))
    reference = None
    with wineprefix.Scenario("32", None, "sha-bench") as scenario:
        listing = write_list(os.path.join(work, "wine-hash.txt"),
                             [(scenario.to_windows(f), "-") for f in files])
        for mode, label in (("hash-bcrypt", "bcrypt.dll"), ("hash-ours", "ours"),
                            ("hash-scalar", "ours, portable only")):
            seconds, _, _, fields = timed_in_wine(scenario, exe, mode, listing, label, args.runs)
            if not seconds:
                continue
            if mode == "hash-bcrypt":
                reference = fields.get("digest")
                note = "reference"
            elif mode == "hash-ours":
                note = ("no bcrypt.dll digest to compare" if reference is None else
                        "same as bcrypt.dll" if fields.get("digest") == reference else "DIFFERENT from bcrypt.dll")
            else:
                note = "blocks only, no digest"
            print("  %-20s %9.1f  %s" % (label, mb(total) / statistics.median(seconds), note))


def wine_expansion(args, work, files, packed, total_out):
    exe, wineprefix = wine_bench()
    if exe is None:
        return
    outs = [os.path.join(work, "wout", os.path.basename(f)) for f in files]
    os.makedirs(os.path.join(work, "wout"), exist_ok=True)
    print()
    print("expansion under Wine (32-bit prefix) of %d bytes (file to file, %d runs, timed inside the program)"
          % (total_out, args.runs))
    print("  %-12s %9s %13s %13s  %s" % ("", "MB/s", "peak memory", "at start", "output"))
    rates = {}
    with wineprefix.Scenario("32", None, "szdd-bench") as scenario:
        win = scenario.to_windows
        lists = {
            "lz32": [(win(p), win(o)) for p, o in zip(packed, outs)],
            "ours": [(win(p), win(o)) for p, o in zip(packed, outs)],
            "copy": [(win(f), win(o)) for f, o in zip(files, outs)],
            "memory": [(win(p), win(o)) for p, o in zip(packed, outs)],
        }
        for mode, label in (("lz32", "LZ32"), ("ours", "ours"), ("copy", "copy floor"), ("memory", "ours in memory")):
            listing = write_list(os.path.join(work, "wine-%s.txt" % mode), lists[mode])
            seconds, peak, start, _ = timed_in_wine(scenario, exe, mode, listing, label, args.runs)
            if not seconds:
                continue
            rates[mode] = mb(total_out) / statistics.median(seconds)
            check = "no file I/O" if mode == "memory" else (
                "identical" if all_same(zip(outs, files)) else "DIFFERENT")
            print("  %-12s %9.1f %9d KiB %9d KiB  %s" % (label, rates[mode], peak // 1024, start // 1024, check))
    if "lz32" in rates and "ours" in rates:
        print("  ours/LZ32 x%.1f (target x4); ours/copy floor %.2f"
              % (rates["ours"] / rates["lz32"], rates["ours"] / rates.get("copy", float("nan"))))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--ms-runs", type=int, default=1, help="runs of mscompress over the whole payload")
    parser.add_argument("--msexpand-bytes", type=int, default=8_000_000,
                        help="expanded bytes that msexpand is timed on")
    parser.add_argument("--payload", default=os.path.join(ROOT, "build", "win32", "payload", "files"))
    parser.add_argument("--keep", help="work in this folder and keep it")
    parser.add_argument("--parts", default="pack,native,wine,hash",
                        help="what to measure, of pack, native (expansion), wine (expansion) and hash (SHA-256)")
    args = parser.parse_args()

    base = "/dev/shm" if os.path.isdir("/dev/shm") else None
    work = args.keep or tempfile.mkdtemp(prefix="szdd_bench.", dir=base)
    os.makedirs(work, exist_ok=True)
    try:
        tool, pack, have_mspack = build(work)
        os.makedirs(os.path.join(work, "corpus"), exist_ok=True)
        files = []
        for f in payload_files(args.payload):
            files.append(shutil.copy(f, os.path.join(work, "corpus", os.path.basename(f))))
        total = sum(os.path.getsize(f) for f in files)
        print("work folder %s (%s)" % (work, "tmpfs" if work.startswith("/dev/shm") else "disk"))
        print("corpus: the payload, %d files, %d bytes, largest %d" % (len(files), total,
                                                                      max(map(os.path.getsize, files))))
        parts = set(args.parts.split(","))
        if "pack" in parts:
            packed = pack_figures(args, work, files, pack, total)
        elif parts & {"native", "wine"}:  # packed with ours all the same: the expanders need the input
            for f in files:
                subprocess.run([pack, f, f + ".sz"], check=True)
            packed = [f + ".sz" for f in files]
        if "native" in parts:
            native_expansion(args, work, tool, have_mspack, files, packed, total)
        if "wine" in parts:
            wine_expansion(args, work, files, packed, total)
        if "hash" in parts:
            wine_hashing(args, work, files, total)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
