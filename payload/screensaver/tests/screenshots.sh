#!/usr/bin/env bash
# Screenshots of the screen saver under Wine, to look at: full screen (/s) and the
# settings dialog (/c, inside a Wine desktop so that it has its frame) with its
# live preview. (Wine cannot show a /p preview: a child window whose parent
# belongs to another process gets nothing to draw on there.)
#   tests/screenshots.sh <saver file> <output folder>
# Needs WINEPREFIX and DISPLAY (an X server of 1024x768) set, and a wineserver running.
set -euo pipefail
saver=$1 out=$2
mkdir -p "$out"
export WINEDEBUG=${WINEDEBUG:--all}

shoot() { import -window root -display "$DISPLAY" "$out/$1.png"; echo "$out/$1.png"; }

timeout 20 wine "$saver" /s >/dev/null 2>&1 &
saver_job=$!
sleep 8.2            # a moment into the sheen's sweep over the title
shoot saver-fullscreen
kill "$saver_job" 2>/dev/null || true
wait "$saver_job" 2>/dev/null || true

timeout 20 wine explorer /desktop=zeltoshot,640x480 "$saver" /c >/dev/null 2>&1 &
dialog_job=$!
sleep 6
shoot saver-settings
# The dialog and its Wine desktop stay until the saver itself ends.
wine taskkill /f /im "$(basename "$saver")" >/dev/null 2>&1 || true
wait "$dialog_job" 2>/dev/null || true
