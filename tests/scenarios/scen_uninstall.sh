#!/usr/bin/env bash
# The uninstall run, started as the uninstall entry starts it
# (C:\windows\vmbUninst.exe UNINSTALL): everything of the product goes but the
# report and the uninstalled mark (other files that the log names stay), the
# screen saver setting is emptied only where it names the product's saver, and
# the uninstaller in the Windows folder and its batch file remove themselves
# after the exit (a user's own delete.bat there stays as it is; a copy
# elsewhere stays; a file that never frees ends the batch after its tries). A
# file in use for a few seconds is removed by a quiet retry; one in use (or a
# log held open) for longer than 15 seconds is reported once, and the removal
# is left to finish at the next logon. Without a log, the files that the update
# header names go all the same, and one that stays is reported as with a log. A
# retry copy that a failed install left in the Windows folder goes too.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"
REPORT_IN_USE='C:\windows\system32\Zelto 2000.Scr  couldn'"'"'t be deleted.'

now_ms() { echo $(( ${EPOCHREALTIME//[.,]/} / 1000 )); }

# delete_batch PROGRAM BATCH: sets BATCH_TEXT to the batch text that deletes
# PROGRAM, with waits of 1, 2, 4 and 8 s between its five tries, and then itself.
delete_batch() {
  local count
  BATCH_TEXT=
  for count in 2 3 5 9; do
    BATCH_TEXT+="del \"$1\""$'\r\n'"if not exist \"$1\" goto Done"$'\r\n'
    BATCH_TEXT+="\"C:\\windows\\system32\\ping.exe\" -n $count 127.0.0.1 >nul"$'\r\n'
  done
  BATCH_TEXT+="del \"$1\""$'\r\n:Done\r\n'"del \"$2\""$'\r\n'
}

# The prefix's command interpreters still running (a batch file's "cmd").
prefix_cmds() {
  local dir comm
  for dir in /proc/[0-9]*; do
    { read -r comm <"$dir/comm"; } 2>/dev/null || continue
    [ "$comm" = cmd.exe ] || continue
    { tr '\0' '\n' <"$dir/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      echo "${dir#/proc/}"
  done
}

# Installed, then another screen saver chosen (in system.ini and in the
# desktop settings, as on the NT family); during the uninstallation the
# product's screen saver is in use for 5 s.
install_ok install 1
other='C:\windows\system32\OTHERS~1.SCR'
ini_set boot SCRNSAVE.EXE "$other"
timeout "$(scaled 30)" wine reg add "$DESKTOP_KEY" /v SCRNSAVE.EXE /t REG_SZ /d "$other" /f >/dev/null 2>&1
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
timeout "$(scaled 30)" wine reg add "$RUNONCE_KEY" /v vimbaInstall /t REG_SZ /d "$RETRY" /f >/dev/null 2>&1
size=$(report_size)
uninstall again
expect_report_since "$size"
expect_uninstalled again "$other"
expect_no_file "$RETRY" again
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|' again

# uninstall_then_hold NAME EXE: runs EXE UNINSTALL; while its closing box is
# up, another program (the job "keep") starts holding its file for 4 s.
uninstall_then_hold() {
  e2e_start "$1" -t 90 "$2" UNINSTALL
  e2e_robot "msgbox title=Installer timeout=30000"
  expect_field msgbox text "$TEXT_UNINSTALLED"
  hold keep 4000 "$2" share=rw
  e2e_robot "msgbox title=Installer" "press ok" "gone"
  e2e_expect_exit "$1" 0 30
}

# A copy of the uninstaller outside the Windows folder (one a user keeps beside
# the installer) uninstalls, but stays: no batch file is written beside it and
# nothing is started, even while its file is held.
e2e_put "$E2E_PROGRAM" 'C:\Setup\vmbUninst.exe'
uninstall_then_hold setup-copy 'C:\Setup\vmbUninst.exe'
batches=$(cd "$(upath 'C:\Setup')" && ls -A | grep -i '\.bat$')
[ -z "$batches" ] || e2e_fail "setup-copy: C:\Setup holds $batches"
[ -z "$(prefix_cmds)" ] || e2e_fail "setup-copy: a command interpreter was started"
e2e_wait keep 10
expect_same "$E2E_PROGRAM" 'C:\Setup\vmbUninst.exe' setup-copy

# The screen saver in use for longer than 15 s: one report line (the log's
# blank, then the text), 1157, then a closing box that promises the rest after
# a restart. The program answers other programs and leaves the processor
# mostly idle while it retries. What stays (the screen saver and the log) is
# named for deletion when Windows restarts, with a report line each; the
# removal is then complete but for the restart: the uninstall entry goes, the
# uninstalled mark is written, the uninstaller removes itself, and no RunOnce
# value is left to run it again. The file is held until the case kills the
# holder, so that a slow start of the uninstaller cannot outlast the hold.
LONG_HOLD=$(( $(scaled 80) * 1000 ))
install_ok install2 1
timeout "$(scaled 30)" wine reg delete "$PRODUCT_KEY" /v Uninstalled /f >/dev/null 2>&1
size=$(report_size)
hold hold20 "$LONG_HOLD" "$SAVER"
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
e2e_expect_exit held 3010 30
expect_answered held
expect_report_since "$size" "$REPORT_IN_USE" "$LOG will be deleted when Windows restarts." \
  "$SAVER will be deleted when Windows restarts."
expect_content "$LOG" "$EXPECTED_LOG" held
expect_file "$SAVER" held
expect_no_file "$HELP" held
PENDING_KEY='HKLM\System\CurrentControlSet\Control\Session Manager'
# expect_at_restart WHAT FILE...: each FILE is still there and named for
# deletion at the restart; everything else of the removal is done.
expect_at_restart() {
  local what=$1 file pending
  shift
  pending=$(reg_value "$PENDING_KEY" PendingFileRenameOperations) ||
    e2e_fail "$what: nothing is named for deletion at the restart"
  # Name and empty target, each followed by \0 (the list's last one too, here).
  pending+='\0'
  for file in "$@"; do
    expect_file "$file" "$what"
    [[ $pending == *"\\??\\$file\\0\\0"* ]] || e2e_fail "$what: $file is not named in $pending"
  done
  expect_no_key "$UNINSTALL_KEY" "$what"
  expect_reg "$PRODUCT_KEY" Uninstalled 'REG_DWORD|0x1' "$what"
  expect_no_reg "$RUNONCE_KEY" "$FINISH_VALUE" "$what"
  expect_self_removed "$what"
}
expect_at_restart held "$SAVER" "$LOG"
[ -z "$(ini_value boot SCRNSAVE.EXE)" ] || e2e_fail "held: SCRNSAVE.EXE is not empty"
e2e_kill hold20 2>/dev/null  # no word from the shell about the killed job

# Installed again before the restart, the files and the log are taken back
# from the restart's deletions: the new installation survives it.
install_ok install-log 1
pending=$(reg_value "$PENDING_KEY" PendingFileRenameOperations) || pending=
[[ $pending != *"$SAVER"* && $pending != *"$LOG"* ]] ||
  e2e_fail "reinstalled: the restart would still delete $pending"

# The log itself held open by another program for longer than 15 s is not "no
# log": nothing listed is deleted now, the log is reported, and the log and
# the files the header names go at the restart.
timeout "$(scaled 30)" wine reg delete "$PRODUCT_KEY" /v Uninstalled /f >/dev/null 2>&1
size=$(report_size)
hold holdlog "$LONG_HOLD" "$LOG"
e2e_start log-held -t 90 "$UNINSTALLER" UNINSTALL
expect_box log-held-in-use "$TEXT_FILES_IN_USE" information 30000
expect_box log-held-closing "$TEXT_UNINSTALL_AT_RESTART" information 10000
e2e_expect_exit log-held 3010 30
e2e_kill holdlog 2>/dev/null
expect_report_since "$size" "C:\windows\zelto.log couldn't be deleted." \
  "$LOG will be deleted when Windows restarts." "$SAVER will be deleted when Windows restarts." \
  "$HELP will be deleted when Windows restarts."
expect_content "$LOG" "$EXPECTED_LOG" log-held
expect_same "$SCEN_GENERATED/saver.bin" "$SAVER" log-held
expect_same "$SCEN_GENERATED/help.bin" "$HELP" log-held
expect_at_restart log-held "$LOG" "$SAVER" "$HELP"

# Without a log the files that the update header names go all the same. One
# in use for longer than 15 s is reported by its path, 1157 follows, and it
# goes at the restart, as with a log.
install_ok install3 1
rm "$(upath "$LOG")"
timeout "$(scaled 30)" wine reg delete "$PRODUCT_KEY" /v Uninstalled /f >/dev/null 2>&1
size=$(report_size)
hold hold-nolog "$LONG_HOLD" "$SAVER"
e2e_start no-log-held -t 90 "$UNINSTALLER" UNINSTALL
expect_box no-log-held-in-use "$TEXT_FILES_IN_USE" information 30000
expect_box no-log-held-closing "$TEXT_UNINSTALL_AT_RESTART" information 10000
e2e_expect_exit no-log-held 3010 30
e2e_kill hold-nolog 2>/dev/null
expect_report_since "$size" 'C:\windows\system32\Zelto 2000.Scr couldn'"'"'t be deleted.' \
  "$SAVER will be deleted when Windows restarts."
expect_no_file "$HELP" no-log-held
expect_no_file "$LOG" no-log-held
expect_at_restart no-log-held "$SAVER"

# Without a log and nothing in use, the run says the product is gone. The
# uninstaller's file is kept open for a while after its exit: its batch file
# waits, then deletes it and itself. The user's own delete.bat in the Windows
# folder is neither overwritten nor deleted: the batch takes another name.
install_ok install4 1
rm "$(upath "$LOG")"
USER_BATCH=$'rem the user\'s own\r\n'
printf '%s' "$USER_BATCH" >"$(upath "$BATCH")"
size=$(report_size)
expect_file "$UNINSTALLER" no-log
uninstall_then_hold no-log "$UNINSTALLER"
delete_batch 'C:\windows\vmbUninst.exe' 'C:\windows\delete1.bat'
expect_content 'C:\windows\delete1.bat' "$BATCH_TEXT" no-log
e2e_running keep || e2e_fail "no-log: the uninstaller's file was let go too early for the check"
expect_file "$UNINSTALLER" no-log
expect_report_since "$size"
expect_no_file "$SAVER" no-log
expect_no_file "$HELP" no-log
expect_no_key "$UNINSTALL_KEY" no-log
expect_reg "$PRODUCT_KEY" Uninstalled 'REG_DWORD|0x1' no-log
e2e_wait keep 10
expect_self_removed no-log "$UNINSTALLER" 'C:\windows\delete1.bat'
expect_content "$BATCH" "$USER_BATCH" no-log

# An uninstaller file that never frees (held for longer than the check): the
# batch gives up after its tries (15 s of waits), deletes itself and ends
# within 60 s; the file stays. Without a log the run ends at once.
e2e_put "$E2E_PROGRAM" "$UNINSTALLER"
hold forever 80000 "$UNINSTALLER" share=rw
uninstall never-free
start=$(now_ms)
[ -n "$(prefix_cmds)" ] || e2e_fail "never-free: no batch was started"
while [ -n "$(prefix_cmds)" ] || e2e_exists 'C:\windows\delete1.bat'; do
  [ $(( $(now_ms) - start )) -lt $(( 600 * ZELTO_SLOWDOWN )) ] || break
  sleep 0.1
done
waited=$(( $(now_ms) - start ))
[ -z "$(prefix_cmds)" ] || e2e_fail "never-free: the batch still runs $waited ms after the exit"
expect_no_file 'C:\windows\delete1.bat' never-free
e2e_log "never-free: the batch ended $waited ms after the exit"
[ "$waited" -ge 10000 ] || e2e_fail "never-free: the batch gave up after $waited ms, before its waits"
e2e_running forever || e2e_fail "never-free: the file was let go"
expect_same "$E2E_PROGRAM" "$UNINSTALLER" never-free
expect_content "$BATCH" "$USER_BATCH" never-free
e2e_kill forever 2>/dev/null
e2e_pass
