# Sourced by the scripts that run Windows programs: a private Wine prefix under
# the build tree of one architecture, and an X display (Xvfb when there is
# none, or always with QX_HEADLESS=1).
#   qx_wine_start BUILD [ARCH]  ARCH x86 (the default, BUILD's own tree) or
#                               x64 (the twin's, BUILD/x64); exports QX_ARCH,
#                               QX_BUILD (that tree), QX_ARCH_* (its facts,
#                               scripts/architectures.py), WINEPREFIX (its
#                               prefix), DISPLAY; starts wineserver
#   qx_wine_stop                ends wineserver and the Xvfb this script
#                               started, and gives PATH back
qx_xvfb_pid=""
qx_saved_path=""

qx_wine_start() {
  local build=$1
  export QX_ARCH=${2:-x86}
  eval "$(python3 "$(dirname "${BASH_SOURCE[0]}")/architectures.py" --shell "$QX_ARCH")"
  export QX_ARCH_NAME QX_ARCH_SUBFOLDER QX_ARCH_PROGRAM_FILES QX_ARCH_REG_VIEW QX_ARCH_OBJDUMP QX_ARCH_LOADER
  [ -n "$QX_ARCH_SUBFOLDER" ] && build=$build/$QX_ARCH_SUBFOLDER
  qx_wine_loader "$build"
  export QX_BUILD=$build
  export WINEPREFIX=$build/wine
  export WINEDEBUG=-all
  # No Mono or Gecko install prompts in a fresh prefix, and no menu builder
  # acting on the links the tests create and remove.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # A wineserver keeps the display state it started with: begin afresh.
  wineserver -k 2>/dev/null || true
  if [ -z "${DISPLAY:-}" ] || [ "${QX_HEADLESS:-0}" = 1 ]; then
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    qx_xvfb_pid=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
  fi
  qx_wine_private_profile
  wineserver -p 2>/dev/null || true
  wine cmd /c exit >/dev/null 2>&1 || true
}

# The wine script picks the 32-bit loader whenever 32-bit Wine is installed:
# "wine" (and "wine-stable", which wineboot runs) come first in PATH and start
# the architecture's own loader.
qx_wine_loader() {
  local dir=$1/wine-loader name
  mkdir -p "$dir"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nWINELOADER=%s exec %s "$@"\n' "$QX_ARCH_LOADER" "$QX_ARCH_LOADER" >"$dir/$name"
    chmod +x "$dir/$name"
  done
  qx_saved_path=$PATH
  export PATH="$dir:$PATH"
}

# Wine links the profile's Desktop, Documents and the like to the Linux
# home: the tests' shortcuts and files would land there, shared by every
# prefix on the machine. Each becomes a folder of the prefix's own.
qx_wine_private_profile() {
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    [ -L "$link" ] || continue
    rm -f "$link" && mkdir -p "$link"
  done
}

qx_wine_stop() {
  wineserver -k 2>/dev/null || true
  if [ -n "$qx_xvfb_pid" ]; then
    kill "$qx_xvfb_pid" 2>/dev/null || true
    wait "$qx_xvfb_pid" 2>/dev/null || true
    qx_xvfb_pid=""
  fi
  if [ -n "$qx_saved_path" ]; then
    export PATH=$qx_saved_path
    qx_saved_path=""
  fi
}
