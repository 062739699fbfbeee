#!/usr/bin/env bash
# The uninstall run, started as the uninstall entry starts it
# (C:\windows\vmbUninst.exe UNINSTALL): everything of the product goes but the
# report and the uninstalled mark (other files that the log names stay), the
# screen saver setting is emptied only where it names the product's saver, and
# the uninstaller and its batch file remove themselves after the exit. A file in
# use for a few seconds is removed by a quiet retry; one in use (or a log held
# open) for longer than 15 seconds is reported once, and the removal is left to
# finish at the next logon. Without a log, the files that the update header
# names go all the same, and one that stays is reported as with a log. A
# retry copy that a failed install left in the Windows folder goes too.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"
REPORT_IN_USE='C:\windows\system32\Zelto 2000.Scr  couldn'"'"'t be deleted.'

now_ms() { echo $(( ${EPOCHREALTIME//[.,]/} / 1000 )); }

# Installed, then another screen saver chosen (in system.ini and in the
# desktop settings, as on the NT family); during the uninstallation the
# product's screen saver is in use for 5 s.
install_ok install 1
other='C:\windows\system32\OTHERS~1.SCR'
ini_set boot SCRNSAVE.EXE "$other"
timeout 30 wine reg add "$DESKTOP_KEY" /v SCRNSAVE.EXE /t REG_SZ /d "$other" /f >/dev/null 2>&1
# The log also names files that are not the product's, read-only as the
# uninstaller would clear it: they stay, and they do not keep the log.
canaries=('C:\canary.txt' 'C:\windows\system32\canary.dll' 'C:\windows\canary.ini')
for canary in "${canaries[@]}"; do
  printf canary >"$(upath "$canary")"
  chmod a-w "$(upath "$canary")"
done
printf '%s \r\n' 'C:\canary.txt' 'C:\windows\system32\canary.dll' \
  'C:\windows\system32\..\canary.ini' '\\?\C:\canary.txt' >>"$(upath "$LOG")"
runonce=$(reg_value "$RUNONCE_KEY" vimbaInstall) || e2e_fail "no RunOnce value after the install"
size=$(report_size)
expect_file "$UNINSTALLER" quiet
# The uninstaller does not check its own file: a changed byte in its copy
# does not keep the product from being removed.
invert_byte "$UNINSTALLER" $(( $(stat -c %s "$(upath "$UNINSTALLER")") - 1 ))
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
expect_uninstalled quiet "$other"
for canary in "${canaries[@]}"; do expect_file "$canary" quiet; done
[ "$(reg_value "$RUNONCE_KEY" vimbaInstall)" = "$runonce" ] || e2e_fail "quiet: the RunOnce value changed"

# A second uninstallation finds no log: the same goodbye, nothing reported.
# The retry copy of a failed install goes, and the value that named it is
# emptied: the next logon does not install again what was just removed.
e2e_put "$E2E_PROGRAM" "$UNINSTALLER"
e2e_put "$E2E_PROGRAM" "$RETRY"
timeout 30 wine reg add "$RUNONCE_KEY" /v vimbaInstall /t REG_SZ /d "$RETRY" /f >/dev/null 2>&1
size=$(report_size)
uninstall again
expect_report_since "$size"
expect_uninstalled again "$other"
expect_no_file "$RETRY" again
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|' again

# Uninstallers in folders whose names hold blanks, "%" (which a batch file
# must double), "&", "^" and a letter outside ASCII remove themselves, and
# nothing else runs: not the bait C:\Zelto.exe, which an unquoted
# "C:\Zelto & Co\delete.bat" would start, nor C:\windows\marker.exe (on the
# search path), which "C:\a&marker&\delete.bat" would run as a command of its
# own. The command interpreter reads the batch in the OEM code page: written
# in ANSI, "Präsentation" names no file there.
e2e_put "$PROBE" 'C:\Zelto.exe'
e2e_put "$PROBE" 'C:\windows\marker.exe'
n=0
for dir in 'C:\Zelto 100% Files' 'C:\Zelto & Co' 'C:\a&marker&' 'C:\100%^Präsentation'; do
  n=$(( n + 1 ))
  e2e_put "$E2E_PROGRAM" "$dir\\vmbUninst.exe"
  e2e_start "folder$n" -t 90 "$dir\\vmbUninst.exe" UNINSTALL
  e2e_robot "msgbox title=Installer timeout=30000"
  expect_field msgbox text "$TEXT_UNINSTALLED"
  hold keep 4000 "$dir\\vmbUninst.exe" share=rw
  e2e_robot "msgbox title=Installer" "press ok" "gone"
  e2e_expect_exit "folder$n" 0 30
  if [ "$n" = 1 ]; then
    # The batch file deletes itself by its short name, which it has once it exists.
    short=$(probe short "$dir\\delete.bat") || e2e_fail "folder$n: no short path of the batch file"
    expect_content "$dir\\delete.bat" $':Repeat\r\ndel "C:\\Zelto 100%% Files\\vmbUninst.exe"\r\nif exist "C:\\Zelto 100%% Files\\vmbUninst.exe" goto Repeat\r\ndel "'"${short//%/%%}"$'"\r\n' "folder$n"
  fi
  e2e_running keep || e2e_fail "folder$n: the uninstaller's file was let go too early for the check"
  e2e_wait keep 10
  for (( i = 0; i < 100; i++ )); do
    [ -z "$(ls -A "$(upath "$dir")")" ] && break
    sleep 0.1
  done
  [ -z "$(ls -A "$(upath "$dir")")" ] || e2e_fail "folder$n: $dir still holds $(ls "$(upath "$dir")")"
  expect_no_file 'C:\Zelto.exe.ran' "folder$n"
  expect_no_file 'C:\windows\marker.exe.ran' "folder$n"
done

# The screen saver in use for longer than 15 s: one report line (the log's
# blank, then the text), 1157, then a closing box that promises the rest after
# a restart. The program answers other programs and leaves the processor
# mostly idle while it retries. The log, the uninstall entry and the
# uninstaller stay, no uninstalled mark is written, and the uninstaller's own
# RunOnce value will finish the work.
install_ok install2 1
timeout 30 wine reg delete "$PRODUCT_KEY" /v Uninstalled /f >/dev/null 2>&1
size=$(report_size)
hold hold20 25000 "$SAVER"
start=$(now_ms)
e2e_start held -t 90 "$UNINSTALLER" UNINSTALL
e2e_start answer -t 60 "$PROBE" answer 40000
e2e_robot 'window class=#32770 title="Uninstalling Zelto 2000.." timeout=10000'
busy_begin held
e2e_robot 'msgbox title=Installer timeout=30000'
busy_end held
expect_box held-in-use "$TEXT_FILES_IN_USE" information 30000
waited=$(( $(now_ms) - start ))
[ "$waited" -ge 15000 ] || e2e_fail "held: message 1157 came after $waited ms, before the 15 s"
expect_box held-closing "$TEXT_UNINSTALL_AT_RESTART" information 10000
e2e_expect_exit held 0 30
expect_answered held
expect_report_since "$size" "$REPORT_IN_USE"
expect_content "$LOG" "$EXPECTED_LOG" held
expect_file "$SAVER" held
expect_no_file "$HELP" held
# what stays until the work is finished
expect_unfinished() {
  expect_reg "$UNINSTALL_KEY" DisplayName 'REG_SZ|Zelto 2000 ScreenSaver' "$1"
  expect_reg "$UNINSTALL_KEY" UninstallString 'REG_SZ|C:\windows\vmbUninst.exe UNINSTALL' "$1"
  expect_no_reg "$PRODUCT_KEY" Uninstalled "$1"
  expect_reg "$RUNONCE_KEY" "$FINISH_VALUE" 'REG_SZ|"C:\windows\vmbUninst.exe" UNINSTALL' "$1"
  expect_same "$E2E_PROGRAM" "$UNINSTALLER" "$1"
  expect_no_file "$BATCH" "$1"
}
expect_unfinished held
[ -z "$(ini_value boot SCRNSAVE.EXE)" ] || e2e_fail "held: SCRNSAVE.EXE is not empty"
e2e_kill hold20 2>/dev/null  # no word from the shell about the killed job

# Once the file is free, the uninstaller that stayed removes it and the log,
# clears its RunOnce value and goes as after any complete removal.
size=$(report_size)
uninstall after-held
expect_report_since "$size"
expect_uninstalled after-held
expect_no_reg "$RUNONCE_KEY" "$FINISH_VALUE" after-held

# The log itself held open by another program for longer than 15 s is not "no
# log": nothing listed is deleted, the log is reported, and the run ends like
# the one above; once the log is free, the next run removes everything.
install_ok install-log 1
timeout 30 wine reg delete "$PRODUCT_KEY" /v Uninstalled /f >/dev/null 2>&1
size=$(report_size)
hold holdlog 25000 "$LOG"
e2e_start log-held -t 90 "$UNINSTALLER" UNINSTALL
expect_box log-held-in-use "$TEXT_FILES_IN_USE" information 30000
expect_box log-held-closing "$TEXT_UNINSTALL_AT_RESTART" information 10000
e2e_expect_exit log-held 0 30
e2e_kill holdlog 2>/dev/null
expect_report_since "$size" "C:\windows\zelto.log couldn't be deleted."
expect_content "$LOG" "$EXPECTED_LOG" log-held
expect_same "$SCEN_GENERATED/saver.bin" "$SAVER" log-held
expect_same "$SCEN_GENERATED/help.bin" "$HELP" log-held
expect_unfinished log-held
uninstall after-log-held
expect_uninstalled after-log-held
expect_no_reg "$RUNONCE_KEY" "$FINISH_VALUE" after-log-held

# Without a log the files that the update header names go all the same. One
# in use for longer than 15 s is reported by its path, 1157 follows, and the
# rest waits for the next logon, as with a log.
install_ok install3 1
rm "$(upath "$LOG")"
timeout 30 wine reg delete "$PRODUCT_KEY" /v Uninstalled /f >/dev/null 2>&1
size=$(report_size)
hold hold-nolog 25000 "$SAVER"
e2e_start no-log-held -t 90 "$UNINSTALLER" UNINSTALL
expect_box no-log-held-in-use "$TEXT_FILES_IN_USE" information 30000
expect_box no-log-held-closing "$TEXT_UNINSTALL_AT_RESTART" information 10000
e2e_expect_exit no-log-held 0 30
e2e_kill hold-nolog 2>/dev/null
expect_report_since "$size" 'C:\windows\system32\Zelto 2000.Scr couldn'"'"'t be deleted.'
expect_file "$SAVER" no-log-held
expect_no_file "$HELP" no-log-held
expect_no_file "$LOG" no-log-held
expect_unfinished no-log-held

# Once it is free, the next run removes it and says the product is gone. The
# uninstaller's file is kept open for a while after its exit: its batch file
# waits, then deletes it and itself.
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
expect_no_file "$SAVER" no-log
expect_no_file "$HELP" no-log
expect_no_reg "$UNINSTALL_KEY" DisplayName no-log
expect_no_reg "$UNINSTALL_KEY" UninstallString no-log
expect_reg "$PRODUCT_KEY" Uninstalled 'REG_DWORD|0x1' no-log
e2e_wait keep 10
expect_self_removed no-log
e2e_pass
