#!/usr/bin/env bash
# Writes the README's pictures from what make build made (it builds nothing):
#   docs/installer-welcome.png  the installer's background with the Welcome page,
#                               on a 1024x768 screen of 24-bit colour
#   docs/installer-8bit.png     the same on a 256-colour screen
#   docs/screensaver.png        the screen saver running full screen (/s)
# Runs under Wine in a prefix of its own (build/wine/docs) on private X servers,
# and stops them all at the end.
#   SAVER_WAIT=seconds of screen saver before its picture (default 8)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/e2e/lib.sh"
build=${ZELTO_BUILD_DIR:-$root/build}
setup=$build/Zelto2000Setup.exe
robot=$build/win/tests/e2e/robot.exe
saver=$build/win/generated/saver.bin
out=$root/docs
prefix=$build/wine/docs

for file in "$setup" "$robot" "$saver"; do
  [ -f "$file" ] || { echo "screenshots: no $file (run make build first)" >&2; exit 1; }
done

finish() {
  wine_stop_prefix "$prefix"
  rm -rf "$prefix"
  xvfb_stop
}
trap finish EXIT
trap 'exit 130' INT TERM HUP

# screen DEPTH: a fresh 1024x768 X server of that depth, and a wineserver for
# the prefix on it (Wine reads the screen when its server starts).
screen() {
  wine_stop_prefix "$prefix"
  xvfb_stop
  XVFB_SIZE=1024x768 XVFB_DEPTH=$1 xvfb_start 170 || { echo "screenshots: no Xvfb" >&2; exit 1; }
  if [ ! -f "$prefix/system.reg" ]; then
    wine_make_template "$build/wine/template" &&
      wine_prefix_from_template "$build/wine/template" "$prefix" ||
      { echo "screenshots: no Wine prefix" >&2; exit 1; }
  else
    wine_start_server || { echo "screenshots: no wineserver" >&2; exit 1; }
  fi
}

# installer DEPTH FILE: the installer up to its Welcome page, then the picture.
installer() {
  screen "$1"
  mkdir -p "$prefix/drive_c/Setup"
  cp "$setup" "$prefix/drive_c/Setup/Zelto2000Setup.exe"
  timeout 90 wine 'C:\Setup\Zelto2000Setup.exe' >/dev/null 2>&1 &
  if ! timeout 60 wine "$robot" "window class=#32770 title=Welcome timeout=40000" >/dev/null; then
    echo "screenshots: the installer's Welcome page did not appear on the $1-bit screen" >&2
    exit 1
  fi
  sleep 0.5
  x_shot "$2" && echo "$2"
}

installer 24 "$out/installer-welcome.png"
installer 8 "$out/installer-8bit.png"

screen 24
cp "$saver" "$prefix/drive_c/windows/system32/Zelto 2000.Scr"
timeout $(( ${SAVER_WAIT:-8} + 30 )) wine 'C:\windows\system32\Zelto 2000.Scr' /s >/dev/null 2>&1 &
sleep "${SAVER_WAIT:-8}"
x_shot "$out/screensaver.png" && echo "$out/screensaver.png"
