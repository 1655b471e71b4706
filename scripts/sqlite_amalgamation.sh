#!/usr/bin/env bash
# SQLite for the media-database stand-in (testbed/standins/qvldb), from
# Debian's own sqlite3 source package and nothing else:
#   1. source entries (deb-src) derived from the machine's Debian entries
#      (scripts/debian_src_entries.py), and the package lists updated once;
#   2. `apt-get source sqlite3` (Debian's patches applied) into build/sqlite/;
#   3. the amalgamation made from it with its own generator (configure, then
#      `make sqlite3.c`: tclsh and the host compiler), kept as
#      build/sqlite/amalgamation/{sqlite3.c,sqlite3.h} for the win32 build.
# build/ is outside git; returns at once when the amalgamation is there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$root/build/sqlite"
out="$work/amalgamation"
entries=/etc/apt/sources.list.d/updater-debian-src.sources

if [ -s "$out/sqlite3.c" ] && [ -s "$out/sqlite3.h" ]; then
  exit 0
fi

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

status=0
sudo_if_needed python3 "$root/scripts/debian_src_entries.py" "$entries" || status=$?
if [ "$status" -ne 0 ] && [ "$status" -ne 3 ]; then
  echo "sqlite: could not write $entries" >&2
  exit 1
fi
if [ "$status" -eq 0 ] || [ -z "$(apt-cache showsrc sqlite3 2>/dev/null)" ]; then
  echo "sqlite: updating the package lists for the source entries" >&2
  # A list that a mirror in sync cannot give yet is no reason to stop: the
  # source entries come from the lists that it can.
  sudo_if_needed apt-get update -q >/dev/null || echo "sqlite: apt-get update failed for some lists" >&2
fi

echo "sqlite: fetching Debian's sqlite3 source package" >&2
rm -rf "$work/source" "$work/generate" "$out.new"
mkdir -p "$work/source" "$work/generate" "$out.new"
(cd "$work/source" && apt-get source -q sqlite3 >../fetch.log 2>&1) || {
  cat "$work/fetch.log" >&2
  exit 1
}
tree=""
for dir in "$work/source"/sqlite3-*/; do tree="${dir%/}"; done
if [ -z "$tree" ] || [ ! -f "$tree/tool/mksqlite3c.tcl" ]; then
  echo "sqlite: no SQLite source tree in $work/source" >&2
  exit 1
fi

echo "sqlite: making the amalgamation from $(basename "$tree")" >&2
(cd "$work/generate" &&
  "$tree/configure" --disable-tcl --disable-readline >configure.log 2>&1 &&
  make -j2 sqlite3.c >make.log 2>&1) || {
  tail -n 30 "$work/generate/configure.log" "$work/generate/make.log" >&2 || true
  exit 1
}
cp "$work/generate/sqlite3.c" "$work/generate/sqlite3.h" "$out.new/"
dpkg-parsechangelog -l "$tree/debian/changelog" -S Version >"$out.new/debian-version"
rm -rf "$out" "$work/generate"
mv "$out.new" "$out"
echo "sqlite: $out ($(cat "$out/debian-version"))" >&2
