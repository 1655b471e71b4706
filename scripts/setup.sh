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
  sudo_if_needed apt-get update -q
  if [ "${#missing[@]}" -gt 0 ]; then
    sudo_if_needed apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
fi

bash "$(dirname "$0")/sqlite_amalgamation.sh"
