#!/usr/bin/env bash
# Builds the committed state (git archive HEAD) twice, in two temporary
# folders whose paths differ in length, each with its own host tools and
# build folders as on a fresh machine, and compares the two updater.exe byte
# by byte. Prints their SHA-256, sizes and the time taken; exits 1 with the
# first differing offsets when they differ.
#
# Usage: scripts/check_reproducible.sh [--with-payload] [--keep]
#   --with-payload  build the full program with its PATCH payload (slow: the
#                   payload is generated and packed twice); by default the
#                   program is built with UPDATER_EMBED_PAYLOAD=OFF
#   --keep          leave the temporary folders (their paths are printed)
# Environment: JOBS (parallel jobs of each build, default 2), TMPDIR. With a
# code-signing certificate configured (UPDATER_SIGN_*, cmake/signing.cmake)
# both copies are signed, at the signing time SOURCE_DATE_EPOCH, which is the
# commit's time unless set: the exported copies have no history to take it
# from.
#
# Installs nothing: the tools come from scripts/setup.sh, and so does the
# SQLite amalgamation (build/sqlite/amalgamation) that configuring the win32
# build asks for; updater.exe does not contain it.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
payload=OFF
keep=0
for arg in "$@"; do
  case "$arg" in
    --with-payload) payload=ON ;;
    --keep) keep=1 ;;
    -h|--help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "check_reproducible: unknown argument $arg" >&2; exit 2 ;;
  esac
done
jobs="${JOBS:-2}"

missing=()
for tool in git tar cmake ninja sha256sum cmp i686-w64-mingw32-g++-posix i686-w64-mingw32-windres; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
sqlite_dir="$root/build/sqlite/amalgamation"
[ -s "$sqlite_dir/sqlite3.c" ] || missing+=("$sqlite_dir/sqlite3.c")
if [ "${#missing[@]}" -gt 0 ]; then
  echo "check_reproducible: missing ${missing[*]}; run 'bash scripts/setup.sh' first" >&2
  exit 2
fi

commit="$(git -C "$root" rev-parse HEAD)"
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct "$commit")}"
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
  echo "check_reproducible: note: uncommitted changes are not part of the check" >&2
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/reproducible.XXXXXX")"
cleanup() {
  if [ "$keep" -eq 1 ]; then
    echo "kept: $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

# Two copies whose paths differ in length and in every component below $work.
copies=("$work/a" "$work/second-copy/with-a-much-longer-path")
tools=(make_registry_scripts szdd_pack make_digest_table)
[ "$payload" = ON ] && tools+=(make_payload)

build() {
  local dir="$1" log="$1.log"
  mkdir -p "$dir"
  git -C "$root" archive "$commit" | tar -x -C "$dir"
  if ! (
    cd "$dir"
    cmake --preset host
    cmake --build --preset host -j "$jobs" --target "${tools[@]}"
    cmake --preset win32 -DUPDATER_EMBED_PAYLOAD="$payload" -DQVLDB_SQLITE_DIR="$sqlite_dir"
    cmake --build --preset win32 -j "$jobs" --target updater
  ) >"$log" 2>&1; then
    echo "check_reproducible: the build in $dir failed; the end of its log:" >&2
    tail -n 30 "$log" >&2
    exit 2
  fi
}

start=$SECONDS
echo "commit $commit, payload $payload, -j $jobs"
for dir in "${copies[@]}"; do
  t0=$SECONDS
  build "$dir"
  echo "built in $dir ($((SECONDS - t0)) s)"
done

a="${copies[0]}/build/win32/updater.exe"
b="${copies[1]}/build/win32/updater.exe"
for exe in "$a" "$b"; do
  printf '%s  %s bytes  %s\n' "$(sha256sum "$exe" | cut -d' ' -f1)" "$(stat -c %s "$exe")" "$exe"
done

if cmp -s "$a" "$b"; then
  echo "reproducible: the two updater.exe are identical ($((SECONDS - start)) s)"
  exit 0
fi

echo "NOT reproducible: the two updater.exe differ ($((SECONDS - start)) s)"
count="$(cmp -l "$a" "$b" | wc -l || true)"
echo "$count differing bytes; the first (offset: first copy, second copy):"
# cmp -l gives 1-based decimal offsets and octal bytes.
cmp -l "$a" "$b" | head -n 20 | while read -r offset x y; do
  printf '  0x%08x: %02x %02x\n' "$((offset - 1))" "$((8#$x))" "$((8#$y))"
done || true
size_a="$(stat -c %s "$a")" size_b="$(stat -c %s "$b")"
[ "$size_a" = "$size_b" ] || echo "sizes differ: $size_a and $size_b bytes"
exit 1
