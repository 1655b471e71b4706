#!/usr/bin/env bash
# Installs every Debian package that the build and the tests need, then makes
# the SQLite amalgamation from Debian's sqlite3 source package
# (scripts/sqlite_amalgamation.sh).
# Quick when everything is present: it only asks dpkg, and calls apt-get
# (update and install) when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libgtest-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 wine32:i386
  xvfb x11-utils imagemagick
  locales-all
  file libmspack0 libmspack-dev mscompress
  python3 fonts-wqy-microhei libssl-dev osslsigncode openssl
  dpkg-dev tcl make
)

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_if_needed dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ] || [ -n "${need_update:-}" ]; then
  echo "setup: installing ${missing[*]:-(package lists only)}" >&2
  export DEBIAN_FRONTEND=noninteractive
  # A mirror in the middle of a sync serves a package list that does not
  # match its index for a while: the update then fails for that list, and the
  # install may fail for want of it. Both are tried again a little later.
  installed=
  for attempt in 1 2 3; do
    sudo_if_needed apt-get update -q || echo "setup: apt-get update failed (attempt $attempt)" >&2
    if [ "${#missing[@]}" -eq 0 ] ||
       sudo_if_needed apt-get install -y -q --no-install-recommends "${missing[@]}"; then
      installed=1
      break
    fi
    [ "$attempt" -lt 3 ] && { echo "setup: trying again in 60 s" >&2; sleep 60; }
  done
  [ -n "$installed" ] || { echo "setup: the packages could not be installed" >&2; exit 1; }
fi

bash "$(dirname "$0")/sqlite_amalgamation.sh"
