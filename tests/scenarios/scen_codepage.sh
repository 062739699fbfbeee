#!/usr/bin/env bash
# The installer started from folders named outside the system's ANSI code page:
# under code page 1252, Polish, Cyrillic, Greek and Chinese letters and an emoji
# (a surrogate pair); under 932, characters whose second byte is that of "\",
# in the file's own name too. From each it installs, unattended or through the
# wizard; its uninstaller copy is the installer byte for byte, the sound beside
# it plays, and the removal works. While the wizard waits, another program can
# neither rename nor overwrite the running file.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"

# attempt COMMAND...: a command of Wine's cmd, which must leave the running file as it is.
attempt() {
  timeout "$(scaled 30)" wine cmd /c "$@" >>"$E2E_ART/attempts.out" 2>&1 </dev/null
  expect_same "$E2E_PROGRAM" "$exe" "the running installer after '$*'"
}

# from NAME FOLDER [FILE]: the installer (as FILE, then through the wizard) and
# the sound in FOLDER, an install from there, and what it must leave.
from() {
  local exe="$2\\${3:-Zelto2000Setup.exe}"
  e2e_put "$E2E_PROGRAM" "$exe"
  put_sound "$2\\zuvak.wav"
  if [ -n "${3:-}" ]; then
    WINEDEBUG=trace+winmm wizard_open "$1" "$exe"
    attempt move "$exe" "$2\\moved.exe"
    attempt copy /y 'C:\windows\notepad.exe' "$exe"
    wizard_to_options
    wizard_finish 1
    expect_box "$1-done" "$TEXT_INSTALLED" information
  else
    WINEDEBUG=trace+winmm e2e_start "$1" -t 120 "$exe" /S
  fi
  e2e_expect_exit "$1" 0 90
  expect_same "$E2E_PROGRAM" "$UNINSTALLER" "$1"
  expect_same "$SCEN_GENERATED/saver.bin" "$SAVER" "$1"
  [ "$(played "$1")" -ge 1 ] || e2e_fail "$1: the installer in $2 did not play zuvak.wav"
}

# Wine takes the code page from the locale, and the names of the command line
# and of the Linux files from its character set.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
[ "$(probe acp)" = 'acp 1252' ] || e2e_fail "Wine runs under $(probe acp), not 1252"
from polish 'C:\Zażółć gęślą jaźń'
from cyrillic 'C:\Пётр Чайковский'
from greek 'C:\Αλέξανδρος'
from chinese 'C:\下载'
from emoji 'C:\Łukasz 😀' Zelto2000Setup.exe
uninstall removal-1252
expect_uninstalled removal-1252

# "ソ" is 0x83 0x5C in code page 932, "表" 0x95 0x5C.
export LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8
[ "$(probe acp)" = 'acp 932' ] || e2e_fail "Wine runs under $(probe acp), not 932"
from japanese 'C:\ソフト表' 'Zelto2000Setup 表.exe'
uninstall removal-932
expect_uninstalled removal-932
e2e_pass
