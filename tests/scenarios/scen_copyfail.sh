#!/usr/bin/env bash
# The install run's copy and install phases failing, each from a prepared disk
# or a test-only installer with another payload: the message of the phase,
# then 1160, the RunOnce entry set, and the machine as it was before the run:
# what the phase had done is taken back, nothing is left beside the files. No
# uninstaller is there, so no uninstall entry stays either. Then a cleanup that
# cannot delete a copy, which does not fail.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"
temp=$(upath "$TEMPDIR")
TEXT_NO_INSTALL_HELP=$'Couldn\'t install Zeltohlp.Hlp. The file may be in use. \n\nThis is perfectly normal. Please restart Windows before trying to update again.'

# fails_with NAME EXE TEXT CODE: the wizard, then the phase's message TEXT
# within a few seconds (no retrying), then 1160 and the end with exit code CODE.
fails_with() {
  install_through_wizard "$1" 1 "$2"
  expect_box "$1-failed" "$3" error 5000
  expect_box "$1-not-installed" "$TEXT_NOT_INSTALLED" error 5000
  e2e_expect_exit "$1" "$4" 20
  expect_no_key "$UNINSTALL_KEY" "$1"
}

nothing_installed() {
  local path
  for path in "$SAVER" "$HELP" "$LOG" "$UNINSTALLER"; do
    expect_no_file "$path" "$1"
    expect_no_file "$path.zelto-new" "$1"
    expect_no_file "$path.zelto-old" "$1"
  done
}

# A file stands where the temporary folder goes, so the run has no folder for
# its copies: 793 at once.
mv "$temp" "$temp.aside"
printf 'not a folder' >"$temp"
size=$(report_size)
fails_with folder "$SETUP" "Couldn't download zelto.sc_." 1603
nothing_installed folder
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|C:\windows\Zelto2000Setup.exe' folder
expect_same "$E2E_PROGRAM" "$RETRY" folder
expect_report_since "$size" "Couldn't download zelto.sc_."
rm "$temp"
mv "$temp.aside" "$temp"

# The packed resource of the second file is missing: 793 naming it; nothing is
# expanded and the first copy goes with the run's folder.
e2e_put "$(variant setup_nohelp)" 'C:\Setup\nohelp.exe'
size=$(report_size)
fails_with missing 'C:\Setup\nohelp.exe' "Couldn't download zeltohlp.hl_." 1620
nothing_installed missing
expect_no_temp_copies missing
# Whatever the installer's name, the value names its copy in the Windows folder.
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|C:\windows\Zelto2000Setup.exe' missing
expect_same "$(variant setup_nohelp)" "$RETRY" missing
expect_report_since "$size" "Couldn't download zeltohlp.hl_."

# The packed help file is cut short: 794 naming it; the screen saver expanded
# before it is not put in place either, nothing is logged, no temporary copy
# stays. The installer sits in a folder with a blank, beside a bait
# C:\Zelto.exe that an unquoted value naming it would start instead: the
# value names the copy in the Windows folder, which the next logon runs.
cut_exe='C:\Zelto Setup\cuthelp.exe'
e2e_put "$(variant setup_cuthelp)" "$cut_exe"
e2e_put "$PROBE" 'C:\Zelto.exe'
size=$(report_size)
fails_with cut "$cut_exe" "$TEXT_NO_INSTALL_HELP" 1603
nothing_installed cut
expect_no_temp_copies cut
ini_value boot SCRNSAVE.EXE >/dev/null && e2e_fail "cut: the screen saver was activated"
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|C:\windows\Zelto2000Setup.exe' cut
expect_same "$(variant setup_cuthelp)" "$RETRY" cut
expect_report_since "$size" "$TEXT_NO_INSTALL_HELP"
# Started as the next logon starts it, the value runs the installer again.
runonce=$(reg_value "$RUNONCE_KEY" vimbaInstall) || e2e_fail "cut: no RunOnce value"
e2e_start logon -t 60 "$PROBE" run "${runonce#REG_SZ|}"
e2e_robot "window $SHEET timeout=30000" "sheet cancel" "gone class=vimbaInstaller timeout=20000"
e2e_expect_exit logon 0 20
expect_no_file 'C:\Zelto.exe.ran' cut

# The help file expands to no bytes at all: that counts as a failure too.
e2e_put "$(variant setup_emptyhelp)" 'C:\Setup\emptyhelp.exe'
size=$(report_size)
fails_with empty 'C:\Setup\emptyhelp.exe' "$TEXT_NO_INSTALL_HELP" 1603
nothing_installed empty
expect_report_since "$size" "$TEXT_NO_INSTALL_HELP"

# A folder stands where the uninstaller's copy goes: the files were in, but
# without an uninstaller the install fails like a file that could not be
# installed: both files are taken back, each with a report line, then 794
# naming it and 1160; no entry is written that would start nothing, the screen
# saver is not activated, and the next logon tries again.
mkdir "$(upath "$UNINSTALLER")"
save_system_ini
size=$(report_size)
TEXT_NO_UNINSTALLER=$'Couldn\'t install vmbUninst.exe. The file may be in use. \n\nThis is perfectly normal. Please restart Windows before trying to update again.'
fails_with no-uninstaller "$SETUP" "$TEXT_NO_UNINSTALLER" 1603
for path in "$SAVER" "$HELP" "$LOG" "$UNINSTALLER.zelto-new"; do
  expect_no_file "$path" no-uninstaller
done
cmp -s "$E2E_ART/system.ini.before" "$(upath 'C:\windows\system.ini')" ||
  e2e_fail "no-uninstaller: the screen saver was activated"
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|C:\windows\Zelto2000Setup.exe' no-uninstaller
expect_report_since "$size" "File taken back: $HELP" "File taken back: $SAVER" "$TEXT_NO_UNINSTALLER"
rmdir "$(upath "$UNINSTALLER")"

# A user without administrator rights on the NT family (a test-only build, whose
# rights check answers as Windows does for such a user's token) is told so at
# once, in the usual box and report line, and nothing changes: no wizard, no
# file, no entry, no value for the next logon. Unattended it says so in the
# report only; either way the exit code is 740; as the uninstaller it removes nothing.
timeout "$(scaled 30)" wine reg delete "$RUNONCE_KEY" /v vimbaInstall /f >/dev/null 2>&1
rm -f "$(upath "$RETRY")"
e2e_put "$(variant setup_norights)" 'C:\Setup\norights.exe'
size=$(report_size)
e2e_start norights -t 60 'C:\Setup\norights.exe'
expect_box norights "$TEXT_NEEDS_ADMINISTRATOR" error 30000
e2e_expect_exit norights 740 20
e2e_start norights-quiet -t 60 'C:\Setup\norights.exe' /S
e2e_expect_exit norights-quiet 740 30
nothing_installed norights
expect_no_reg "$RUNONCE_KEY" vimbaInstall norights
expect_no_key "$UNINSTALL_KEY" norights
expect_no_file "$RETRY" norights
expect_report_since "$size" "$TEXT_NEEDS_ADMINISTRATOR" "$TEXT_NEEDS_ADMINISTRATOR"
install_ok rights 1
e2e_put "$(variant setup_norights)" "$UNINSTALLER"
e2e_start norights-removal -t 60 "$UNINSTALLER" UNINSTALL
expect_box norights-removal "$TEXT_NEEDS_ADMINISTRATOR" error 30000
e2e_expect_exit norights-removal 740 20
expect_same "$SCEN_GENERATED/saver.bin" "$SAVER" norights-removal
expect_uninstall_entry norights-removal
expect_no_reg "$RUNONCE_KEY" "$FINISH_VALUE" norights-removal
expect_same "$(variant setup_norights)" "$UNINSTALLER" norights-removal
e2e_put "$E2E_PROGRAM" "$UNINSTALLER"
uninstall rights-removal
expect_self_removed rights-removal

# Nothing to install (the one file expands to 0 bytes): no progress window,
# no message, the program ends; the uninstall entry of the wizard goes again.
timeout "$(scaled 30)" wine reg delete "$RUNONCE_KEY" /v vimbaInstall /f >/dev/null 2>&1
timeout "$(scaled 30)" wine reg delete "$UNINSTALL_KEY" /f >/dev/null 2>&1
e2e_put "$(variant setup_zero)" 'C:\Setup\zero.exe'
size=$(report_size)
wizard_open zero 'C:\Setup\zero.exe'
wizard_to_options
e2e_robot 'window class=#32770 title="Apply Options"' "sheet next" \
  'window class=#32770 title="Finish Install" timeout=10000' "wait id=12325 visible=1 enabled=1"
e2e_start watch -t 30 "$PROBE" watch 4000
e2e_robot 'window class=#32770 title="Finish Install"' "sheet finish"
e2e_expect_exit zero 1603 10
e2e_wait watch 10
grep -q '^no progress window' "$E2E_ART/watch.out" || e2e_fail "zero: a progress window showed"
nothing_installed zero
expect_no_temp_copies zero
expect_no_reg "$RUNONCE_KEY" vimbaInstall zero
expect_no_key "$UNINSTALL_KEY" zero
expect_report_since "$size"

# A temporary copy that another program holds open (it may read and write the
# file, not delete it) from the moment it is written, as a scanner might: the
# cleanup retries it for a while, then names it and its folder for deletion at
# the next restart, with a line in the report; the install succeeds and keeps
# its uninstall entry. The folder, made where it stays, shows the run folder's
# name (16 hex digits) and security (no rights for other users: Wine gives a
# folder without an entry for them no access for others).
expect_no_temp_copies "before the cleanup case"  # a stale copy would be held before it is written
size=$(report_size)
e2e_start holder -t 120 "$HOLD" "$TEMPDIR\\*\\zelto.sc_" 60000 share=rw wait=60000
install_ok cleanup 1
grep -q '^held' "$E2E_ART/holder.out" || e2e_fail "cleanup: the holder never got the copy"
expect_same "$SCEN_GENERATED/saver.bin" "$SAVER" cleanup
expect_same "$SCEN_GENERATED/help.bin" "$HELP" cleanup
expect_content "$LOG" "$EXPECTED_LOG" cleanup
expect_same "$E2E_PROGRAM" "$UNINSTALLER" cleanup
expect_uninstall_entry cleanup
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|' cleanup
expect_no_file "$RETRY" cleanup
held=$(sed -n 's/^held //p' "$E2E_ART/holder.out" | tr -d '\r')
folder=${held%\\zelto.sc_}
expect_file "$held" cleanup
expect_no_file "$folder\\zeltohlp.hl_" cleanup
[[ ${folder##*\\} =~ ^Zelto[0-9A-F]{16}$ ]] || e2e_fail "cleanup: the run folder is named ${folder##*\\}"
[ $(( 0$(stat -c %a "$(upath "$folder")") & 07 )) -eq 0 ] ||
  e2e_fail "cleanup: other users have rights in the run folder: $(stat -c %A "$(upath "$folder")")"
pending=$(reg_value 'HKLM\System\CurrentControlSet\Control\Session Manager' PendingFileRenameOperations) ||
  e2e_fail "cleanup: nothing is named for deletion at the restart"
# Each deletion is a name and an empty target; the folder's after its file.
[[ $pending == *"\\??\\$held\\0\\0\\??\\$folder\\0"* ]] ||
  e2e_fail "cleanup: the restart deletions are $pending"
expect_report_since "$size" "$held will be deleted when Windows restarts." "Zelto 2000 installed successfully."
e2e_kill holder 2>/dev/null  # no word from the shell about the killed job
run_folders | xargs -r -d '\n' rm -rf
e2e_pass
