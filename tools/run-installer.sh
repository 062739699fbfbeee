#!/usr/bin/env bash
# make run: starts the setup program EXE under Wine in a prefix of its own
# (build/wine/run), takes a screenshot after a few seconds and prints its path
# (build/run-screenshot.png). On a working $DISPLAY the program stays open for
# you; without one it runs on a private Xvfb and is stopped after the shot.
#   RUN_WAIT=seconds before the screenshot (default 6, times the speed factor
#   of tests/e2e/lib.sh)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/e2e/lib.sh"

[ $# -ge 1 ] && [ -f "$1" ] || { echo "usage: $0 EXE" >&2; exit 2; }
exe=$(realpath "$1")
build=${ZELTO_BUILD_DIR:-$root/build}
prefix=$build/wine/run
shot=$build/run-screenshot.png
wait_s=${RUN_WAIT:-6}

private=0
if ! display_works; then
  xvfb_start 120 || { echo "run-installer: no display and no Xvfb" >&2; exit 1; }
  private=1
  trap 'wine_stop_prefix "$prefix"; xvfb_stop' EXIT
fi

export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
# An installer left running from the last time would take this start for a
# second instance and quit at once.
wine_stop_prefix "$prefix"
# A prefix made before the prefixes had the caption buttons' font is made again.
if ! wine_prefix_has_fonts "$prefix"; then
  wine_make_template "$build/wine/template" &&
    wine_prefix_from_template "$build/wine/template" "$prefix" || exit 1
fi
# On a slower machine (or through the emulator) the first page comes later.
wine_measure_speed "$build/win/tests/e2e/speedref.exe" ||
  { echo "run-installer: the reference program did not run" >&2; exit 1; }
wait_s=$(scaled "$wait_s")
# A real screen has a window manager to draw frames; Xvfb has none, and an
# unmanaged window hides without Wine's two-second wait for one.
managed=Y
[ $private = 1 ] && managed=N
timeout "$(scaled 60)" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d $managed /f >/dev/null 2>&1

log=$build/run.log
echo "Running $exe on $DISPLAY (prefix $prefix, output in $log)"
if [ $private = 1 ]; then
  timeout -k 5 $(( wait_s + 60 )) wine "$exe" >"$log" 2>&1 &
else
  # Its own session, so that the program outlives this script and make.
  setsid wine "$exe" >"$log" 2>&1 </dev/null &
fi
pid=$!
sleep "$wait_s"
if ! kill -0 "$pid" 2>/dev/null; then
  wait "$pid"
  echo "run-installer: the program ended within $wait_s s with exit code $?" >&2
fi
if x_shot "$shot"; then
  echo "$shot"
else
  echo "run-installer: no screenshot taken" >&2
fi
if [ $private = 1 ]; then
  echo "Stopped (no screen to leave it on)."
else
  echo "Still running; to stop it: WINEPREFIX=$prefix wineserver -k"
fi
