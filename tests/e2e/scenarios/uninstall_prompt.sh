#!/usr/bin/env bash
# Run under the uninstaller's name (in any letter case), the program asks
# "Are you sure you want to uninstall Zelto 2000?" (caption "Installer", error
# icon, Yes and No) before it opens any window, unless its whole command line
# is the word UNINSTALL in any letter case (switches aside); No ends it with exit code 1602.
source "$(dirname "$0")/../lib.sh"
e2e_begin "$@"
e2e_put "$E2E_PROGRAM" 'C:\windows\VMBUNINST.EXE'
e2e_put "$E2E_PROGRAM" 'C:\Temp\Old Setup\vmbuninst.exe'
question="Are you sure you want to uninstall Zelto 2000?"

# ask_and_decline NAME EXE [ARGS...]: the question comes, no main window
# exists meanwhile, No ends the program with 1602 and no window ever appears.
ask_and_decline() {
  local name=$1
  shift
  e2e_start "$name" -t 60 "$@"
  e2e_robot "msgbox title=Installer timeout=15000" "absent class=vimbaInstaller visible=any"
  e2e_expect_field msgbox text "$question"
  e2e_expect_field msgbox icon error
  e2e_expect_field msgbox buttons yes,no
  e2e_shot "$name"
  e2e_robot "msgbox title=Installer" "press no" "gone"
  e2e_expect_exit "$name" 1602 20
  e2e_robot "absent class=vimbaInstaller visible=any" "absent title=Installer visible=any"
}

ask_and_decline empty 'C:\windows\VMBUNINST.EXE'
ask_and_decline word-and-more 'C:\windows\VMBUNINST.EXE' UNINSTALL now
ask_and_decline other-folder 'C:\Temp\Old Setup\vmbuninst.exe'

# The uninstall entry's own command line, in any letter case: no question,
# straight to the (minimised) main window of the uninstall run.
skip_question() {
  local name=$1
  shift
  e2e_start "$name" -t 60 "$@"
  e2e_robot "window class=vimbaInstaller visible=any timeout=15000" "assert minimized=1" \
    "absent text=\"$question\" visible=any"
  e2e_shot "$name"
  e2e_robot "window class=vimbaInstaller visible=any" "kill"
  e2e_wait "$name" 10
}
skip_question lower 'C:\windows\VMBUNINST.EXE' uninstall
skip_question mixed 'C:\Temp\Old Setup\vmbuninst.exe' UnInstall
e2e_pass
