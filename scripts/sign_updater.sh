#!/usr/bin/env bash
# Signs a built updater.exe with Authenticode SHA-256 (osslsigncode). The
# win32 build calls it after linking when a certificate is configured
# (cmake/signing.cmake); the signature test calls it on a copy.
#
# Usage: scripts/sign_updater.sh [options] IN [OUT]
#   Without OUT, IN is replaced by its signed copy (file mode kept).
# The key: an option, else the environment variable named after it.
#   --pkcs12 FILE          UPDATER_SIGN_PKCS12         PKCS#12 container (certificate chain and key)
#   --cert FILE            UPDATER_SIGN_CERT           certificate(s), PEM or DER, the signer's first
#   --key FILE             UPDATER_SIGN_KEY            its private key
#   --password-file FILE   UPDATER_SIGN_PASSWORD_FILE  the key's or the container's password; osslsigncode
#                                                      reads it from the file, so it is on no command line
#   --timestamp-url URL    UPDATER_SIGN_TIMESTAMP_URL  RFC 3161 time stamp server (optional)
#   --time UNIX-TIME       UPDATER_SIGN_TIME           the signing time written into the signature
#   --source-dir DIR       the checkout whose last commit gives the signing time
#   --osslsigncode PATH    the program to use (default: osslsigncode on PATH)
#   --remove-on-failure    remove IN when signing fails (the build's step: the
#                          unsigned program must not pass for up to date)
#
# Reproducible: RSA signatures (PKCS#1 v1.5) are deterministic, so the same
# input signed with the same key at the same signing time gives the same
# bytes. Without a time stamp server the signing time is fixed, the first of:
# --time; SOURCE_DATE_EPOCH; the commit time of --source-dir's HEAD when it is
# a git checkout; 1577836800 (2020-01-01 00:00 UTC), so that two builds of an
# exported tree without SOURCE_DATE_EPOCH still agree. Without a time stamp
# the signing time is informational only: Windows checks the certificate at
# the time of verification. With a time stamp server the time stamp's own
# time and signature make every signing different, and the signing time is
# the current time.
set -euo pipefail

usage() { sed -n '2,32p' "$0" | sed 's/^# \{0,1\}//'; }

pkcs12="${UPDATER_SIGN_PKCS12:-}"
cert="${UPDATER_SIGN_CERT:-}"
key="${UPDATER_SIGN_KEY:-}"
password_file="${UPDATER_SIGN_PASSWORD_FILE:-}"
timestamp_url="${UPDATER_SIGN_TIMESTAMP_URL:-}"
time="${UPDATER_SIGN_TIME:-}"
source_dir=""
tool=osslsigncode
remove_on_failure=0
files=()
while [ $# -gt 0 ]; do
  case "$1" in
    --pkcs12|--cert|--key|--password-file|--timestamp-url|--time|--source-dir|--osslsigncode)
      [ $# -ge 2 ] || { echo "sign_updater: $1 needs a value" >&2; exit 2; }
      case "$1" in
        --pkcs12) pkcs12="$2" ;;
        --cert) cert="$2" ;;
        --key) key="$2" ;;
        --password-file) password_file="$2" ;;
        --timestamp-url) timestamp_url="$2" ;;
        --time) time="$2" ;;
        --source-dir) source_dir="$2" ;;
        --osslsigncode) tool="$2" ;;
      esac
      shift 2 ;;
    --remove-on-failure) remove_on_failure=1; shift ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "sign_updater: unknown option $1" >&2; exit 2 ;;
    *) files+=("$1"); shift ;;
  esac
done
if [ "${#files[@]}" -lt 1 ] || [ "${#files[@]}" -gt 2 ]; then
  echo "usage: sign_updater.sh [options] IN [OUT] (--help for the options)" >&2
  exit 2
fi
in="${files[0]}"
out="${files[1]:-$in}"

command -v "$tool" >/dev/null || { echo "sign_updater: $tool is missing (Debian package osslsigncode)" >&2; exit 2; }
[ -f "$in" ] || { echo "sign_updater: $in does not exist" >&2; exit 2; }

args=(sign -h sha256)
if [ -n "$pkcs12" ]; then
  [ -z "$cert$key" ] || { echo "sign_updater: give a PKCS#12 container or a certificate and key, not both" >&2; exit 2; }
  args+=(-pkcs12 "$pkcs12")
  what="$pkcs12"
elif [ -n "$cert" ] && [ -n "$key" ]; then
  args+=(-certs "$cert" -key "$key")
  what="$cert"
else
  echo "sign_updater: no code-signing certificate (--pkcs12, or --cert and --key)" >&2
  exit 2
fi
[ -z "$password_file" ] || args+=(-readpass "$password_file")

if [ -n "$timestamp_url" ]; then
  args+=(-ts "$timestamp_url")
  when="now, time stamp from $timestamp_url"
else
  if [ -z "$time" ]; then
    if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
      time="$SOURCE_DATE_EPOCH"
    elif [ -n "$source_dir" ] && [ -e "$source_dir/.git" ]; then
      time="$(git -C "$source_dir" log -1 --format=%ct)"
    else
      time=1577836800
    fi
  fi
  case "$time" in
    ''|*[!0-9]*) echo "sign_updater: the signing time '$time' is not a unix time" >&2; exit 2 ;;
  esac
  args+=(-time "$time")
  when="signing time $time"
fi

# osslsigncode writes a new file; it goes beside the output and replaces it
# only when signing succeeded.
tmp="$(mktemp "$(dirname "$out")/.$(basename "$out").signing.XXXXXX")"
trap 'rm -f "$tmp"' EXIT
rm -f "$tmp"
if ! log="$("$tool" "${args[@]}" -in "$in" -out "$tmp" 2>&1)"; then
  printf '%s\n' "$log" >&2
  echo "sign_updater: signing $in failed" >&2
  if [ "$remove_on_failure" -eq 1 ]; then
    rm -f "$in"
    echo "sign_updater: removed the unsigned $in" >&2
  fi
  exit 1
fi
chmod --reference="$in" "$tmp"
mv -f "$tmp" "$out"
trap - EXIT
echo "sign_updater: signed $out with $what (Authenticode SHA-256, $when)"
