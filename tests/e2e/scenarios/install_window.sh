#!/usr/bin/env bash
# In install mode the main window is "Zelto 2000 Setup" of class
# "vimbaInstaller", maximised, whatever other words the command line holds and
# the show code the program was started with, and under a name that only resembles the
# uninstaller's.
source "$(dirname "$0")/../lib.sh"
e2e_begin "$@"
setup='C:\Setup\Zelto2000Setup.exe'
e2e_put "$E2E_PROGRAM" "$setup"
e2e_put "$E2E_PROGRAM" 'C:\windows\vmbUninst2.exe'

check_main_window() {
  local name=$1
  e2e_robot "window class=vimbaInstaller timeout=15000" \
    "assert title=\"Zelto 2000 Setup\" maximized=1 minimized=0 visible=1" \
    "absent text~=\"uninstall Zelto 2000\""
  e2e_shot "$name"
  e2e_expect_running "$name"
  e2e_robot "window class=vimbaInstaller" "kill" "gone class=vimbaInstaller visible=any"
  e2e_wait "$name" 10
}

e2e_start plain "$setup"
check_main_window plain
e2e_start words "$setup" UNINSTALL
check_main_window words
# Words that are not switches change nothing (a word that starts with "/" is
# a switch, and one the program does not know is refused: scen_unattended).
e2e_start options "$setup" -min -s "two words"
check_main_window options
e2e_start look-alike 'C:\windows\vmbUninst2.exe' UNINSTALL
check_main_window look-alike
# start /min asks for a minimised window (STARTUPINFO's show code).
e2e_start minimised start /min /wait "$setup"
check_main_window minimised
e2e_pass
