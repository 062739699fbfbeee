#!/usr/bin/env bash
# The start-up sound: "zuvak.wav" beside the installer is played once, when
# the main window is made; the uninstaller never plays it, even beside it.
# Wine's multimedia trace names every sound that PlaySoundA is asked for.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"

put_sound 'C:\Setup\zuvak.wav'

WINEDEBUG=trace+winmm wizard_open installer
e2e_robot "window $SHEET" "sheet cancel"
e2e_expect_exit installer 1602 30
n=$(played installer)
[ "$n" -ge 1 ] || e2e_fail "the installer did not ask for zuvak.wav"

e2e_put "$E2E_PROGRAM" 'C:\Setup\vmbUninst.exe'
WINEDEBUG=trace+winmm e2e_start uninstaller -t 60 'C:\Setup\vmbUninst.exe' UNINSTALL
expect_box uninstaller-closing "$TEXT_UNINSTALLED" information 30000
e2e_expect_exit uninstaller 0 30
n=$(played uninstaller)
[ "$n" -eq 0 ] || e2e_fail "the uninstaller asked for zuvak.wav ($n trace lines)"
e2e_pass
