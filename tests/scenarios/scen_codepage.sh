#!/usr/bin/env bash
# The installer started from folders named outside the system's ANSI code page:
# under code page 1252, Polish, Cyrillic, Greek and Chinese letters and an emoji
# (a surrogate pair); under 932, characters whose second byte is that of "\".
# From each it installs, unattended and (from the last folder of each code
# page) through the wizard; its uninstaller copy is the installer byte for
# byte, the sound beside it plays, and the removal works. While the wizard
# waits, another program can neither rename nor overwrite the running file.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"

# code_page N: the code page that the programs started from now on run under.
code_page() {
  [ "$(probe acp)" = "acp $1" ] || e2e_fail "Wine runs under $(probe acp), not $1 (LANG=$LANG)"
}

# attempt WHAT COMMAND...: a command of Wine's cmd, which must leave the running file as it is.
attempt() {
  timeout "$(scaled 30)" wine cmd /c "$@" >>"$E2E_ART/attempts.out" 2>&1 </dev/null
  expect_same "$E2E_PROGRAM" "$exe" "$1: the running installer after '$*'"
}

# from NAME FOLDER [wizard]: the installer (as SETUP_NAME, if given) and the
# sound in FOLDER, an install from there, and what it must leave.
from() {
  local name=$1 exe="$2\\${SETUP_NAME:-Zelto2000Setup.exe}"
  e2e_put "$E2E_PROGRAM" "$exe"
  put_sound "$2\\zuvak.wav"
  if [ "${3:-}" = wizard ]; then
    WINEDEBUG=trace+winmm wizard_open "$name" "$exe"
    attempt move "$exe" "$2\\moved.exe"
    expect_no_file "$2\\moved.exe" "$name"
    attempt copy /y 'C:\windows\notepad.exe' "$exe"
    wizard_to_options
    wizard_finish 1
    expect_box "$name-done" "$TEXT_INSTALLED" information
    e2e_expect_exit "$name" 0 30
  else
    WINEDEBUG=trace+winmm e2e_start "$name" -t 120 "$exe" /S
    e2e_expect_exit "$name" 0 90
  fi
  expect_same "$E2E_PROGRAM" "$UNINSTALLER" "$name"
  expect_same "$SCEN_GENERATED/saver.bin" "$SAVER" "$name"
  [ "$(played "$name")" -ge 1 ] || e2e_fail "$name: the installer in $2 did not play zuvak.wav"
}

removal() {
  e2e_start "$1" -t 90 "$UNINSTALLER" UNINSTALL /S
  e2e_expect_exit "$1" 0 60
  expect_uninstalled "$1"
}

# Wine takes the code page from the locale, and the names of the command line
# and of the Linux files from its character set.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
code_page 1252
from polish 'C:\Zażółć gęślą jaźń'
from cyrillic 'C:\Пётр Чайковский'
from greek 'C:\Αλέξανδρος'
from chinese 'C:\下载'
from emoji 'C:\Łukasz 😀' wizard
removal removal-1252

# "ソ" is 0x83 0x5C in code page 932, "表" 0x95 0x5C: in the file's own name
# too, where a search for the last backslash by byte would end the folder.
export LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8
code_page 932
SETUP_NAME='Zelto2000Setup 表.exe' from japanese 'C:\ソフト表' wizard
removal removal-932
e2e_pass
