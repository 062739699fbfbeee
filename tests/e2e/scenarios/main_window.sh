#!/usr/bin/env bash
# The main window against the user, with the wizard up in front of it: after
# its first placement every change of position or size is refused (moves, a
# resize, restore, minimise and maximise leave its rectangle as it was, and a
# position change sent from inside the program comes back with the flags that
# freeze it); the background counts as erased (WM_ERASEBKGND answers 1); and
# the user closing the window ends the program with 1602 (cancelled), with nothing installed
# and no uninstall entry.
source "$(dirname "$0")/../lib.sh"
e2e_begin "$@"
setup='C:\Setup\Zelto2000Setup.exe'
e2e_put "$E2E_PROGRAM" "$setup"
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zelto2000'

e2e_start setup "$setup"
e2e_robot "window class=#32770 title=Welcome timeout=30000"
e2e_robot "window class=vimbaInstaller" "assert maximized=1"
rect=$(e2e_field window rect)
# The robot's moves and show commands reach the window's thread as queued
# sent messages, in order: once it has answered a message sent after one, it
# has handled that change (and a change it let through would show in rect).
sync="send WM_GETTEXTLENGTH"
e2e_robot "window class=vimbaInstaller" \
  "move 100 100 300 200" "$sync" "assert rect=$rect" \
  "move 50 60" "$sync" "assert rect=$rect" \
  "show restore" "$sync" "assert rect=$rect" \
  "show min" "$sync" "assert rect=$rect" \
  "show max" "$sync" "assert rect=$rect" \
  "sendin WM_WINDOWPOSCHANGING pos=10,20,300,200,0 after=0x020B" \
  "sendin WM_WINDOWPOSCHANGING pos=0,0,640,480,0x0014 after=0x020B" \
  "sendin WM_ERASEBKGND dc result=1" \
  "assert rect=$rect"
e2e_expect_running setup

# WM_CLOSE as the system menu's Close sends it.
e2e_robot "window class=vimbaInstaller" "close" \
  "gone class=vimbaInstaller visible=any timeout=10000" "absent class=#32770 title=Welcome"
e2e_expect_exit setup 1602 15
e2e_reg_query "$entry" DisplayName >/dev/null && e2e_fail "closing the window left an uninstall entry"
for file in 'C:\windows\system32\Zelto 2000.Scr' 'C:\windows\vmbUninst.exe' 'C:\windows\zelto.log'; do
  e2e_exists "$file" && e2e_fail "closing the window left $file"
done
e2e_pass
