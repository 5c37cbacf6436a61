#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, once:
# the i686 and x86_64 cross compilers, 64-bit Wine (and 32-bit Wine where the
# kernel runs 32-bit code: scripts/architectures.py), Xvfb, 7-Zip, screenshot tools, NSIS,
# doctest, pytest, clang (for the fuzz targets), osslsigncode and openssl
# (make sign and its test), the fonts Wine draws the shipped languages with,
# the C library's locale sources, and the LZMA SDK sources (from Debian's
# 7zip source package) under build/deps.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
deps="${1:-$top/build}/deps"
mkdir -p "$deps"

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

# A mirror in the middle of a sync fails an index now and then; try again,
# and go on with the indexes that did arrive if it keeps failing.
apt_update() {
  local try
  for try in 1 2 3; do
    as_root apt-get update -q && return 0
    sleep $((try * 5))
  done
  echo "setup: apt-get update kept failing; going on with the indexes there are" >&2
}

need=()
command -v i686-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-i686 mingw-w64-i686-dev)
command -v x86_64-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-x86-64 mingw-w64-x86-64-dev)
command -v wine >/dev/null && [ -e /usr/lib/wine/wine64 ] || need+=(wine wine64)
x86=0
if python3 "$top/scripts/architectures.py" --arch x86; then
  x86=1
  [ -e /usr/lib/wine/wine ] || need+=(wine32:i386)
fi
command -v Xvfb >/dev/null || need+=(xvfb xauth)
command -v 7zz >/dev/null || need+=(7zip)
command -v xwd >/dev/null || need+=(x11-apps)
[ -x /usr/bin/convert ] || need+=(imagemagick)
command -v makensis >/dev/null || need+=(nsis)
command -v osslsigncode >/dev/null || need+=(osslsigncode)
command -v openssl >/dev/null || need+=(openssl)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
command -v clang++ >/dev/null || need+=(clang)
command -v python3 >/dev/null || need+=(python3)
command -v dpkg-source >/dev/null || need+=(dpkg-dev)
[ -f /usr/include/doctest/doctest.h ] || need+=(doctest-dev)
/usr/bin/python3 -c 'import pytest' 2>/dev/null || need+=(python3-pytest)
# Hebrew, Arabic, Cyrillic and Greek; Chinese, Japanese and Korean.
[ -f /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf ] || need+=(fonts-dejavu-core)
[ -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ] || need+=(fonts-wqy-microhei)
# The tests make the locales of their German and Hebrew users from these.
[ -d /usr/share/i18n/locales ] || need+=(locales)

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  if [ $x86 = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  apt_update
  install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends)
  # When one architecture's update index is missing, the two architectures'
  # versions of a shared library disagree; the release's own versions agree.
  as_root "${install[@]}" "${need[@]}" ||
    as_root "${install[@]}" -t "$(. /etc/os-release && echo "$VERSION_CODENAME")" "${need[@]}"
fi

# The LZMA SDK's C sources come from Debian's 7zip source package.
sdk="$deps/lzma-sdk"
if [ ! -f "$sdk/C/7zArcIn.c" ]; then
  src=/etc/apt/sources.list.d/project-deb-src.sources
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list 2>/dev/null; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$src" >/dev/null
    apt_update
  fi
  work="$deps/src"
  rm -rf "$work" && mkdir -p "$work"
  (cd "$work" && apt-get source --download-only 7zip)
  (cd "$work" && dpkg-source --no-check -x ./*.dsc unpacked >/dev/null)
  rm -rf "$sdk" && mv "$work/unpacked" "$sdk"
  rm -rf "$work"
fi
echo "setup: done"
