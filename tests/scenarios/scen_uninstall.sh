#!/usr/bin/env bash
# The uninstall run, started as the uninstall entry starts it
# (C:\windows\vmbUninst.exe UNINSTALL): everything goes but the report and the
# uninstalled mark, the screen saver setting is emptied whichever saver it
# names, and the uninstaller and its batch file remove themselves after the
# exit. A file in use for a few seconds is removed by a quiet retry; one in use
# for longer than 15 seconds is reported once. Uninstalling again, or without
# a log, removes what it can and says goodbye all the same.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"
REPORT_IN_USE='C:\windows\system32\Zelto 2000.Scr  couldn'"'"'t be deleted.'

now_ms() { echo $(( ${EPOCHREALTIME//[.,]/} / 1000 )); }

# Installed, then another screen saver chosen; during the uninstallation the
# product's screen saver is in use for 5 s.
install_ok install 1
ini_set boot SCRNSAVE.EXE 'C:\windows\system32\OTHERS~1.SCR'
runonce=$(reg_value "$RUNONCE_KEY" vimbaInstall) || e2e_fail "no RunOnce value after the install"
size=$(report_size)
expect_file "$UNINSTALLER" quiet
hold hold5 5000 "$SAVER"
start=$(now_ms)
e2e_start watch -t 90 "$PROBE" watch 60000
uninstall quiet
waited=$(( $(now_ms) - start ))
[ "$waited" -ge 3000 ] || e2e_fail "quiet: the closing box came after $waited ms, before the file was free"
e2e_wait watch 10
e2e_wait hold5 10
watch=$(tr -d '\r' <"$E2E_ART/watch.out")
# The retry ends once the file is free (after 5 s at most), not at its 15 s
# limit: timed by the probe from the removal step to the progress window's end.
removing=$(sed -n 's/^\([0-9]*\) item Removing Zelto Files$/\1/p' <<<"$watch" | head -n1)
gone=$(sed -n 's/^\([0-9]*\) gone$/\1/p' <<<"$watch")
[ -n "$removing" ] && [ -n "$gone" ] && [ $(( gone - removing )) -lt 12000 ] ||
  e2e_fail "quiet: the removal step lasted from ${removing:-?} to ${gone:-?} ms"
# (the other states last a few milliseconds only)
for fact in 'title Uninstalling Zelto 2000..' 'item Removing Zelto Files' 'text 60%'; do
  grep -qx "[0-9]* $fact" <<<"$watch" || e2e_fail "quiet: the progress window never showed $fact"
done
expect_report_since "$size"
expect_uninstalled quiet
[ "$(reg_value "$RUNONCE_KEY" vimbaInstall)" = "$runonce" ] || e2e_fail "quiet: the RunOnce value changed"

# A second uninstallation finds no log: the same goodbye, nothing reported.
e2e_put "$E2E_PROGRAM" "$UNINSTALLER"
size=$(report_size)
uninstall again
expect_report_since "$size"
expect_uninstalled again

# An uninstaller in a folder whose name holds blanks and a percent sign (which
# a batch file must double) removes itself as well.
dir='C:\Zelto 100% Files'
e2e_put "$E2E_PROGRAM" "$dir\\vmbUninst.exe"
e2e_start percent -t 90 "$dir\\vmbUninst.exe" UNINSTALL
e2e_robot "msgbox title=Installer timeout=30000"
expect_field msgbox text "$TEXT_UNINSTALLED"
hold keep 4000 "$dir\\vmbUninst.exe" share=rw
e2e_robot "msgbox title=Installer" "press ok" "gone"
e2e_expect_exit percent 0 30
expect_content "$dir\\delete.bat" $':Repeat\r\ndel "C:\\Zelto 100%% Files\\vmbUninst.exe"\r\nif exist "C:\\Zelto 100%% Files\\vmbUninst.exe" goto Repeat\r\ndel "C:\\Zelto 100%% Files\\delete.bat"\r\n' percent
e2e_running keep || e2e_fail "percent: the uninstaller's file was let go too early for the check"
e2e_wait keep 10
for (( i = 0; i < 100; i++ )); do
  [ -z "$(ls -A "$(upath "$dir")")" ] && break
  sleep 0.1
done
[ -z "$(ls -A "$(upath "$dir")")" ] || e2e_fail "percent: $dir still holds $(ls "$(upath "$dir")")"

# The screen saver in use for longer than 15 s: one report line (the log's
# blank, then the text), 1157, then the closing box; the log stays.
install_ok install2 1
size=$(report_size)
hold hold20 25000 "$SAVER"
start=$(now_ms)
e2e_start held -t 90 "$UNINSTALLER" UNINSTALL
expect_box held-in-use "$TEXT_FILES_IN_USE" information 30000
waited=$(( $(now_ms) - start ))
[ "$waited" -ge 15000 ] || e2e_fail "held: message 1157 came after $waited ms, before the 15 s"
expect_box held-closing "$TEXT_UNINSTALLED" information 10000
e2e_expect_exit held 0 30
expect_report_since "$size" "$REPORT_IN_USE"
expect_content "$LOG" "$EXPECTED_LOG" held
expect_file "$SAVER" held
expect_no_file "$HELP" held
expect_no_reg "$UNINSTALL_KEY" DisplayName held
expect_no_reg "$UNINSTALL_KEY" UninstallString held
expect_reg "$PRODUCT_KEY" Uninstalled 'REG_DWORD|0x1' held
[ -z "$(ini_value boot SCRNSAVE.EXE)" ] || e2e_fail "held: SCRNSAVE.EXE is not empty"
expect_self_removed held
e2e_kill hold20 2>/dev/null  # no word from the shell about the killed job

# Once the file is free, the next uninstallation removes it and the log.
e2e_put "$E2E_PROGRAM" "$UNINSTALLER"
size=$(report_size)
uninstall after-held
expect_report_since "$size"
expect_uninstalled after-held

# Without a log nothing is deleted, and the rest goes as always. The
# uninstaller's file is kept open for a while after its exit: its batch file
# waits, then deletes it and itself.
install_ok install3 1
rm "$(upath "$LOG")"
size=$(report_size)
expect_file "$UNINSTALLER" no-log
e2e_start no-log -t 90 "$UNINSTALLER" UNINSTALL
e2e_robot "msgbox title=Installer timeout=30000"
expect_field msgbox text "$TEXT_UNINSTALLED"
hold keep 4000 "$UNINSTALLER" share=rw
e2e_robot "msgbox title=Installer" "press ok" "gone"
e2e_expect_exit no-log 0 30
expect_content "$BATCH" $':Repeat\r\ndel "C:\\windows\\vmbUninst.exe"\r\nif exist "C:\\windows\\vmbUninst.exe" goto Repeat\r\ndel "C:\\windows\\delete.bat"\r\n' no-log
e2e_running keep || e2e_fail "no-log: the uninstaller's file was let go too early for the check"
expect_file "$UNINSTALLER" no-log
expect_report_since "$size"
expect_same "$SCEN_GENERATED/saver.bin" "$SAVER" no-log
expect_same "$SCEN_GENERATED/help.bin" "$HELP" no-log
expect_no_reg "$UNINSTALL_KEY" DisplayName no-log
expect_no_reg "$UNINSTALL_KEY" UninstallString no-log
expect_reg "$PRODUCT_KEY" Uninstalled 'REG_DWORD|0x1' no-log
e2e_wait keep 10
expect_self_removed no-log
e2e_pass
