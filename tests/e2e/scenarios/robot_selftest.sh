#!/usr/bin/env bash
# The robot and the scenario helpers against the practice program: every kind
# of fact a scenario relies on is read once from a window whose truth is known,
# and a crash, a hang and a wrong exit code must each fail a scenario.
source "$(dirname "$0")/../lib.sh"
e2e_begin "$@"
fixture=$E2E_PROGRAM

# A question before any window: text, caption, icon and buttons of the box;
# No ends the program with 0 and no window.
e2e_start ask "$fixture" ask
e2e_robot "msgbox title=Fixture timeout=20000" "absent class=ZeltoFixture visible=any"
e2e_expect_field msgbox text $'Start the fixture?\nSecond line.'
e2e_expect_field msgbox icon error
e2e_expect_field msgbox buttons yes,no
e2e_robot "msgbox title=Fixture" "press no" "gone"
e2e_expect_exit ask 0
e2e_robot "absent class=ZeltoFixture visible=any"

# The main window: controls by id, a check box, a refused press of a disabled
# button, message boxes with the other three icons.
e2e_start main "$fixture" exit=3
e2e_robot "window class=ZeltoFixture title=\"Fixture Window\" timeout=20000" \
  "assert maximized=0 minimized=0 visible=1" \
  "click id=105" "wait id=105 checked=1" "assert id=106 text=\"option on\"" \
  "press id=101" "msgbox" "assert icon=warning buttons=ok,cancel text=\"Warning text\"" \
  "press cancel" "gone" "window class=ZeltoFixture" "wait id=106 text=\"box answer 2\"" \
  "press id=109" "msgbox" "assert icon=question buttons=yes,no,cancel" "press yes" "gone" \
  "press id=110" "msgbox" "assert icon=information buttons=ok" "press ok" "gone"
e2e_robot_try "window class=ZeltoFixture" "press id=107"
[ "$E2E_RC" = 1 ] && grep -q '^FAIL control 107 is disabled' <<<"$E2E_OUT" ||
  e2e_fail "a press of a disabled button was not refused"
e2e_robot_try "bogus command"
[ "$E2E_RC" = 2 ] || e2e_fail "an unknown command did not give exit code 2"

# A modal dialog: check boxes (one with id 9), typed text, Enter for OK.
e2e_robot "window class=ZeltoFixture" "press id=102" "window title=\"Fixture Dialog\"" \
  "click id=201" "click id=9" "wait id=9 checked=1" "keys tab \"Hi there\"" \
  "wait id=203 text=\"Hi there\"" "keys enter" "gone" "window class=ZeltoFixture" \
  "wait id=106 text=\"dialog ok a=1 nine=1 edit=Hi there\""

# A wizard: the page's control 9, not the sheet's Help button 9; Back refused
# on the first page; Next, Back and Finish by PSM_PRESSBUTTON.
e2e_robot "window class=ZeltoFixture" "press id=103" "window class=#32770 title~=\"Page One\"" \
  "control id=9" "assert id=9 text=\"Nine on the page\"" "sheet next" \
  "wait id=301 text=\"Page two\"" "sheet back" "wait id=301 text=\"Page one\"" "sheet next" \
  "wait id=301 text=\"Page two\"" "sheet finish" "gone" "window class=ZeltoFixture" \
  "wait id=106 text=\"wizard finish\""
e2e_robot_try "window class=ZeltoFixture" "press id=103" "window class=#32770 title~=Page" \
  "sheet back"
[ "$E2E_RC" = 1 ] || e2e_fail "Back on a wizard's first page was not refused"
e2e_robot "window class=#32770 title~=Page" "sheet cancel" "gone" "window class=ZeltoFixture" \
  "wait id=106 text=\"wizard cancel\""

# Moving, maximising, minimising; a second instance only brings the first to
# the front; closing ends the program with its own exit code.
e2e_robot "window class=ZeltoFixture" "move 100 50 500 400" "wait rect=100,50,600,450" \
  "show max" "wait maximized=1" "show restore" "wait maximized=0" "show min" \
  "wait minimized=1" "show restore" "wait minimized=0 maximized=0"
first_pid=$(e2e_field window pid)
e2e_start second "$fixture"
e2e_expect_exit second 0
e2e_robot "list exe=e2e_fixture.exe visible=1"
[ "$(grep -c '^window ' <<<"$E2E_OUT")" = 1 ] || e2e_fail "the second instance showed a window"
e2e_expect_field window pid "$first_pid"
e2e_shot fixture
# A sent message's answer, checked with result=.
e2e_robot "window class=ZeltoFixture" "send WM_GETTEXTLENGTH result=14" \
  "sendin WM_GETTEXTLENGTH result=14"
e2e_robot_try "window class=ZeltoFixture" "send 0x000E 0 0 result=3"
[ "$E2E_RC" = 1 ] || e2e_fail "a wrong result= of send passed"
e2e_robot "window class=ZeltoFixture" "close" "gone"
e2e_expect_exit main 3

# Resources of a copy of the program: one added from a file, then deleted
# with the modal dialog's; a second deletion finds nothing; the copy still runs.
copy='C:\Fixture\Edited.exe'
e2e_put "$fixture" "$copy"
printf 'some bytes' >"$E2E_ART/data.bin"
e2e_put "$E2E_ART/data.bin" 'C:\Fixture\data.bin'
e2e_robot "resource file=$copy type=TESTDATA name=ADDED data=C:\\Fixture\\data.bin" \
  "resource file=$copy type=TESTDATA name=ADDED" "resource file=$copy type=#5 name=#200"
e2e_robot_try "resource file=$copy type=TESTDATA name=ADDED"
[ "$E2E_RC" = 1 ] || e2e_fail "a deleted resource was deleted again"
e2e_start edited "$copy"
e2e_robot "window class=ZeltoFixture timeout=20000" "press id=102" "sleep 500" \
  "absent title=\"Fixture Dialog\"" "close" "gone"
e2e_expect_exit edited 0

# A crash, a wrong exit code and a hang are each noticed.
e2e_start crashy "$fixture" crash
e2e_wait crashy 20
e2e_crashed crashy || e2e_fail "the crash left no trace on stderr (exit code $E2E_RC)"
( E2E_PROBE=1 e2e_check_exit crashy 5 ) 2>/dev/null && e2e_fail "a crash passed as exit code 5"
( E2E_PROBE=1 e2e_pass ) >/dev/null 2>&1 && e2e_fail "a scenario with a crash passed"
mv "$E2E_ART/crashy.err" "$E2E_ART/crashy.err.expected"
e2e_start wrong "$fixture" exit=7
e2e_robot "window class=ZeltoFixture timeout=20000" "close"
e2e_wait wrong 20
( E2E_PROBE=1 e2e_check_exit wrong 0 ) 2>/dev/null && e2e_fail "exit code 7 passed as 0"
e2e_start hung -t 4 "$fixture" hang
e2e_robot "window class=ZeltoFixture timeout=20000"
e2e_wait hung 20
[ "$E2E_RC" = 124 ] || e2e_fail "the hung program was not stopped by its time limit ($E2E_RC)"

# Registry and files of the prefix.
[ "$(e2e_reg_query 'HKCU\Software\Wine\X11 Driver' Managed)" = N ] ||
  e2e_fail "reg query did not read Managed=N"
e2e_reg_query 'HKCU\Software\Wine\X11 Driver' NoSuchValue >/dev/null &&
  e2e_fail "reg query of a missing value succeeded"
e2e_winver win98
[ "$(e2e_reg_query 'HKCU\Software\Wine' Version)" = win98 ] || e2e_fail "the version was not set"
e2e_exists 'C:\WINDOWS\SYSTEM32\KERNEL32.DLL' || e2e_fail "case-blind paths do not resolve"
e2e_pass
