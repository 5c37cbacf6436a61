#!/usr/bin/env bash
# make sign: an Authenticode signature (osslsigncode) on a finished
# uninstaller, container appended. The signature covers the whole file, the
# container included, and is itself appended after it, where the launcher
# never reads.
#   sign.sh IN OUT CERT KEY [PASS_FILE] [TIMESTAMP_URL]
# CERT: the signing certificate (PEM or DER), followed in a PEM file by its
# intermediates. KEY: its private key (PEM or DER). PASS_FILE: a file whose
# first line is the key's password (kept off command lines and the process
# list). TIMESTAMP_URL: an RFC 3161 time-stamping service, so that the
# signature stays valid after the certificate expires.
# OUT is written through a temporary file beside it: a failed signing leaves
# no half-signed file behind.
set -euo pipefail
if [ $# -lt 4 ] || [ $# -gt 6 ]; then
  echo "usage: $0 IN OUT CERT KEY [PASS_FILE] [TIMESTAMP_URL]" >&2
  exit 2
fi
in=$1 out=$2 cert=$3 key=$4 pass=${5:-} timestamp=${6:-}

for f in "$in" "$cert" "$key" ${pass:+"$pass"}; do
  [ -f "$f" ] && [ -r "$f" ] || { echo "sign: cannot read $f" >&2; exit 2; }
done
command -v osslsigncode >/dev/null || { echo "sign: osslsigncode is missing (scripts/setup.sh installs it)" >&2; exit 2; }

args=(sign -certs "$cert" -key "$key" -h sha256)
[ -z "$pass" ] || args+=(-readpass "$pass")
[ -z "$timestamp" ] || args+=(-ts "$timestamp")

mkdir -p "$(dirname "$out")"
tmp=$out.signing
trap 'rm -f "$tmp"' EXIT
rm -f "$tmp"
osslsigncode "${args[@]}" -in "$in" -out "$tmp" >/dev/null || { echo "sign: osslsigncode could not sign $in" >&2; exit 1; }
# Wine starts only a file the owner may execute, as the linker left it.
chmod --reference="$in" "$tmp"
mv -f "$tmp" "$out"
echo "sign: $out signed"
