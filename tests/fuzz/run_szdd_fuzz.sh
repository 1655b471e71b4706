#!/usr/bin/env bash
# Builds the SZDD fuzz target with clang's libFuzzer (again only when a source
# is newer than the binary) and runs it for a bounded time.
# Usage: run_szdd_fuzz.sh SOURCE_DIR WORK_DIR SECONDS|build
# With "build" it only builds. A run exits 77 (reported as skipped) when
# clang cannot build fuzz targets.
set -euo pipefail
src=$1 work=$2 seconds=$3
mkdir -p "$work/corpus"
# Without a working clang the build step passes quietly and the test is skipped.
skip() { echo "$1: fuzzing skipped"; if [ "$seconds" = build ]; then exit 0; else exit 77; fi; }
cxx=$(command -v clang++ || command -v clang++-14 || true)
[ -n "$cxx" ] || skip "clang++ not found"
flags=(-std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$src")
sources=("$src/tests/fuzz/szdd_expand_fuzz.cpp" "$src/payload/portable/szdd_expander.cpp" "$src/tools/szdd_packer.cpp")
bin="$work/szdd_expand_fuzz"
newest=$(ls -t "${sources[@]}" "$src/payload/portable/szdd_expander.h" "$src/tools/szdd_packer.h" | head -1)
if [ ! -x "$bin" ] || [ "$newest" -nt "$bin" ]; then
  # The packer is only checked, not explored: it gets the sanitizers without
  # coverage feedback, which would slow every run down.
  if ! { "$cxx" "${flags[@]/-fsanitize=fuzzer,/-fsanitize=}" -c "${sources[2]}" -o "$work/packer.o" &&
         "$cxx" "${flags[@]}" "${sources[0]}" "${sources[1]}" "$work/packer.o" -o "$bin.new"; } 2>"$work/build.log"; then
    if grep -qiE "cannot find|no such file|unsupported option" "$work/build.log"; then
      cat "$work/build.log"; skip "clang++ cannot build fuzz targets here"
    fi
    cat "$work/build.log"; exit 1
  fi
  mv "$bin.new" "$bin"
fi
[ "$seconds" = build ] && exit 0
# Seeds: a small valid file (the letters a..c) and a header alone.
printf 'SZDD\x88\xf0\x273A\x00\x03\x00\x00\x00\x07abc' >"$work/corpus/seed_abc"
printf 'SZDD\x88\xf0\x273A\x00\x00\x00\x00\x00' >"$work/corpus/seed_empty"
cd "$work"
exec "$bin" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=1024 -print_final_stats=1 \
  -artifact_prefix="$work/" corpus
