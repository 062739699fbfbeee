#!/usr/bin/env bash
# 64-bit Windows: the 32-bit installer's system folder is SysWOW64 there, and
# its machine settings go to the 32-bit view of the registry (Wow6432Node).
# The screen saver setting must name the saver where the 64-bit program that
# starts screen savers finds it (probe64, a 64-bit program, reads the setting
# and opens the file it names); the Apps list entry is read from the 32-bit
# view by a 64-bit reg. The uninstall empties the setting in each form it or
# the Screen Saver dialog may have written (SysWOW64 or system32, short or
# long, any case) and removes the entry with its key.
E2E_WINEARCH=win64
source "$(dirname "$0")/scen.sh"
scen_begin "$@"

PROBE64=$SCEN_TOOLS/probe64.exe
WINE64=/usr/lib/wine/wine64
[ -f "$PROBE64" ] || e2e_fail "no 64-bit probe in SCEN_TOOLS"
[ -x "$WINE64" ] || e2e_fail "no 64-bit Wine loader $WINE64 (Debian's wine64)"
[ -d "$(upath 'C:\windows\syswow64')" ] || e2e_fail "the prefix is not a 64-bit one"
SYSTEM32_SAVER=$SAVER
SAVER='C:\windows\syswow64\Zelto 2000.Scr'
HELP='C:\windows\syswow64\Zeltohlp.Hlp'
REG_WINE=$WINE64
UNINSTALL_KEY='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Zelto2000'
PRODUCT_KEY='HKLM\Software\Wow6432Node\Ostrell Zuvak\vimbaTressil'

# saver64 WHAT DESKTOP FOUND INI FOUND: the settings as the 64-bit probe reads
# them, each with "found" (the file it names is there for a 64-bit program) or
# "missing".
saver64() {
  local out expected
  out=$(timeout 30 "$WINE64" "$PROBE64" saver 2>>"$E2E_ART/probe64.err" | tr -d '\r') ||
    e2e_fail "$1: the 64-bit probe could not read the settings"
  expected=$(printf 'bits 64\ndesktop %s\n%s\nini %s\n%s' "$2" "$3" "$4" "$5")
  [ "$out" = "$expected" ] || e2e_fail "$1: the 64-bit probe saw $(tr '\n' '|' <<<"$out")," \
    "expected $(tr '\n' '|' <<<"$expected")"
  e2e_log "$1: a 64-bit program sees $(tr '\n' '|' <<<"$out")"
}

[ "$(timeout 30 "$WINE64" "$PROBE64" saver | head -n1 | tr -d '\r')" = 'bits 64' ] ||
  e2e_fail "the probe does not run as a 64-bit program"

# Through the wizard: the files in SysWOW64, nothing in the real system32, and
# the setting in SysWOW64's short form, which the 64-bit program opens.
save_system_ini
install_ok first 1
expect_installed first 1 0
expect_no_file "$SYSTEM32_SAVER" first
short=$(ini_value boot SCRNSAVE.EXE)
saver64 first "$short" found "$short" found
uninstall removal
expect_uninstalled removal
saver64 removal '' missing '' missing

quiet_install() {
  e2e_start "$1-install" -t 120 "$SETUP" /S
  e2e_expect_exit "$1-install" 0 60
  expect_uninstall_entry "$1"
}
# rewritten WHAT DESKTOP INI FOUND: the settings as another program rewrote
# them (FOUND: what a 64-bit program makes of them); the unattended uninstall
# empties both.
rewritten() {
  timeout 30 "$WINE64" "$PROBE64" set "$3" >/dev/null 2>&1 || e2e_fail "$1: could not set $3"
  timeout "$(scaled 30)" wine reg add "$DESKTOP_KEY" /v SCRNSAVE.EXE /d "$2" /f >/dev/null 2>&1 ||
    e2e_fail "$1: could not set $2"
  [ "$(ini_value boot SCRNSAVE.EXE)" = "$3" ] || e2e_fail "$1: system.ini does not hold $3"
  expect_reg "$DESKTOP_KEY" SCRNSAVE.EXE "REG_SZ|$2" "$1"
  saver64 "$1" "$2" "$4" "$3" "$4"
  e2e_start "$1-uninstall" -t 90 "$UNINSTALLER" UNINSTALL /S
  e2e_expect_exit "$1-uninstall" 0 60
  expect_uninstalled "$1"
}
# The Screen Saver dialog of 64-bit Windows names the saver by its long
# SysWOW64 path.
quiet_install long
saver64 long "$short" found "$short" found
rewritten long 'C:\WINDOWS\SysWOW64\Zelto 2000.scr' 'c:\windows\SYSWOW64\zelto 2000.SCR' found
# What earlier versions wrote: the system folder as a 32-bit program names it,
# which 64-bit programs do not find.
quiet_install system32
short32=$(probe short "$SYSTEM32_SAVER")
[[ ${short32,,} == 'c:\windows\system32\'* ]] || e2e_fail "system32: its short form is '$short32'"
rewritten system32 "$short32" 'C:\WINDOWS\SYSTEM32\ZELTO 2000.SCR' missing
e2e_pass
