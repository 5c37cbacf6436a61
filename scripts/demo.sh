#!/usr/bin/env bash
# make demo: installs the sample Orvella application into the project's Wine
# prefix with the sample installer (through the engine's installer-side
# exports), adds a file of the user's own, then runs the installed
# uninstaller and reports what it removed, what it left and why, and its exit
# codes. With $DISPLAY the uninstaller's windows appear there for a person to
# click through; without one the run happens inside Xvfb and the test driver
# answers Yes and OK. Either way each window is saved as a PNG under
# BUILD/demo/shots/, and the three the README shows are picked out into
# BUILD/demo/pictures/ (`make pictures` copies those to docs/).
# It runs the shipped 32-bit programs where the machine runs 32-bit code, and
# their 64-bit twin elsewhere, and says which.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
demo=$build/demo
if python3 "$top/scripts/architectures.py" --arch x86; then
  arch=x86
  echo "== the shipped 32-bit programs (x86)"
else
  arch=x64
  echo "== the 64-bit twin (x64); no 32-bit programs run here: $(python3 "$top/scripts/architectures.py" | sed -n 's/^x86 no: //p')"
fi

winpath() { printf 'Z:%s' "${1//\//\\}"; }

source "$top/scripts/wine_env.sh"
# The sample installs in the user's language (LC_ALL=de_DE.UTF-8 make demo).
# A locale the C library lacks is made under the build folder: without it
# Wine loses the UTF-8 character set and cannot make the sample's non-ASCII
# file name.
user_locale=${LC_ALL:-${LANG:-}}
case $user_locale in
  ""|C|C.*|POSIX) ;;
  *)
    if ! locale -a 2>/dev/null | grep -qix "${user_locale%%.*}.utf-\?8"; then
      mkdir -p "$build/locales"
      [ -d "$build/locales/$user_locale" ] ||
        localedef -i "${user_locale%%.*}" -f UTF-8 "$build/locales/$user_locale" 2>/dev/null || true
      [ -d "$build/locales/$user_locale" ] && export LOCPATH=$build/locales LC_ALL=$user_locale
    fi
    ;;
esac
manual=0
[ -n "${DISPLAY:-}" ] && [ "${QX_HEADLESS:-0}" != 1 ] && manual=1
qx_wine_start "$build" "$arch"
build=$QX_BUILD
driver=$build/win/tests/qxdriver.exe
# No Linux menu entries or desktop files for the shortcut the installer makes.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
frames='HKCU\Software\Wine\X11 Driver'
finish() {
  (cd "$build" && wine reg delete "$frames" /v Decorated /f >/dev/null 2>&1)
  qx_wine_stop
}
trap finish EXIT
if [ $manual = 0 ]; then
  # Xvfb has no window manager: Wine draws the frames, so the screenshots
  # show the windows as a person sees them.
  (cd "$build" && wine reg add "$frames" /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1)
  wineserver -k; wineserver -w; wineserver -p
fi
c=$WINEPREFIX/drive_c
app="$c/$QX_ARCH_PROGRAM_FILES/Orvella"
shared="$c/ProgramData/Orvella Shared"
desktop="$c/users/$(id -un)/Desktop"
temp="$c/users/$(id -un)/Temp"
mkdir -p "$temp"
rm -rf "$demo" && mkdir -p "$demo/shots"

reg_has() { (cd "$build" && wine reg query "$1" "$QX_ARCH_REG_VIEW" >/dev/null 2>&1); }
ini_keys() { if [ -f "$c/windows/orvella.ini" ]; then grep -c '=' "$c/windows/orvella.ini" || true; else echo 0; fi; }

# One line per thing the installation made: "present" or "gone".
inventory() {
  local path key
  for path in "$app/orvella.txt" "$app/orvella_component.dll" "$app/data/library.dat" \
              "$app/data/media/Привет 世界.txt" "$app/data/media" "$shared/orvshared.dll" "$shared" \
              "$app/uninstall.exe" "$app/uninstall.log" "$desktop/Orvella.lnk" \
              "$app/data/my notes.txt" "$app/data" "$app"; do
    printf '  %-8s %s\n' "$([ -e "$path" ] && echo present || echo gone)" "${path#$c/}"
  done
  for key in 'HKCU\Software\Orvella' 'HKCU\Software\Orvella Component' 'HKLM\Software\Orvella'; do
    printf '  %-8s registry key %s\n' "$(reg_has "$key" && echo present || echo gone)" "$key"
  done
  printf '  %-8s INI keys in C:\\windows\\orvella.ini (%s)\n' "$([ "$(ini_keys)" -gt 0 ] && echo present || echo gone)" "$(ini_keys)"
}

echo "== installing the sample application with the engine's installer-side exports"
# A fresh start: no earlier installation, and no counter of one for the
# shared library.
rm -rf "$app" "$shared"
(cd "$build" && wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' \
  /v 'C:\ProgramData\Orvella Shared\orvshared.dll' /f "$QX_ARCH_REG_VIEW" >/dev/null 2>&1) || true
(cd "$build/win/sample" && wine orvella_setup.exe)
echo "notes of the user's own" >"$app/data/my notes.txt"
echo "the user adds a file of their own: $QX_ARCH_PROGRAM_FILES/Orvella/data/my notes.txt"
echo
echo "== what is installed"
inventory

echo
if [ $manual = 1 ]; then
  echo "== running the installed uninstaller on $DISPLAY: answer its windows yourself"
  answering=(--manual)
else
  echo "== running the installed uninstaller inside Xvfb; the test driver answers Yes, then OK"
  answering=(--answer 6 --answer 1)
fi
before=$(ls -1A "$temp" | sort)
wine "$driver" "${answering[@]}" --wait-all --timeout 600000 --shots "$(winpath "$demo/shots")" \
  --raw "\"C:\\${QX_ARCH_PROGRAM_FILES}\\Orvella\\uninstall.exe\"" | tee "$demo/events.txt"
left=$(comm -13 <(echo "$before") <(ls -1A "$temp" | sort))

echo
echo "== after the uninstallation"
inventory
cat <<'WHY'
  why what is left is left:
    the user's own file was never logged, so it stays, and with it the folders
    that hold it ("data" and "Orvella": only empty folders are removed);
    an INI file whose keys are all removed stays as an empty section.
WHY
pending=$( (cd "$build" && wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' \
  /v PendingFileRenameOperations 2>/dev/null) | grep -o 'qxu[0-9A-Fa-f]*\.tmp' | sort -u | tr '\n' ' ' || true)
echo "  scheduled for deletion at the next restart: ${pending:-nothing}(the uninstaller's running copy)"
if echo "$left" | grep -qE '^qx[0-9A-Fa-f]{8}$'; then echo "  a runtime folder was left in the temporary folder"; else echo "  no runtime folder left in the temporary folder"; fi
echo
echo "exit codes: first stage $(sed -n 's/^EXIT //p' "$demo/events.txt"); all processes:" \
  "$(sed -n 's/^PROCESS [0-9]* //p' "$demo/events.txt" | tr '\n' ' ')"

# The restarted copy would stay in the temporary folder until a restart.
for name in $left; do case $name in qxu*.tmp) rm -f "$temp/$name" ;; esac; done

shopt -s nullglob
for bmp in "$demo"/shots/*.bmp; do
  /usr/bin/convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
pngs=("$demo"/shots/*.png)
echo
echo "== ${#pngs[@]} screenshot(s) under $demo/shots"
for p in "${pngs[@]}"; do echo "  $p"; done
# The README's pictures: the confirmation, the progress box, the closing
# message.
boxes=("$demo"/shots/*-box.png)
windows=("$demo"/shots/*-window.png)
rm -rf "$demo/pictures"
if [ ${#boxes[@]} -ge 2 ] && [ ${#windows[@]} -ge 1 ]; then
  mkdir -p "$demo/pictures"
  cp "${boxes[0]}" "$demo/pictures/confirm.png"
  cp "${windows[0]}" "$demo/pictures/progress.png"
  cp "${boxes[-1]}" "$demo/pictures/final.png"
  echo "  the README's pictures: $demo/pictures/{confirm,progress,final}.png"
fi
