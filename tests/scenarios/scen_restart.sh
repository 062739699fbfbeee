#!/usr/bin/env bash
# The installer ended by force in the middle of its run (after the first
# temporary copy, after the first expansion, during the cleanup) and started
# again: the second run installs everything, the log lists each path once, and
# the uninstaller then removes it all.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"

# stopped_at NAME EXE TEXT: the wizard, then the installer is ended by force
# while the phase's message TEXT is up (the phase's work before it is done).
stopped_at() {
  install_through_wizard "$1" 1 "$2"
  e2e_robot "msgbox title=Installer timeout=10000"
  e2e_expect_field msgbox text "$3"
  e2e_kill "$1"
  e2e_log "$1: ended by force"
}

# installs_again NAME: a whole run over what the stopped one left.
installs_again() {
  local size
  size=$(report_size)
  save_system_ini
  install_ok "$1" 1
  expect_installed "$1" 1 "$size"
  local path
  for path in "$SAVER" "$HELP" "$UNINSTALLER"; do
    expect_no_file "$path.zelto-new" "$1"
    expect_no_file "$path.zelto-old" "$1"
  done
}

# After the first temporary copy: the second file's packed resource missing.
# A run ended by force leaves its folder (taken away here before the next run).
e2e_put "$(variant setup_nohelp)" 'C:\Setup\nohelp.exe'
stopped_at copied 'C:\Setup\nohelp.exe' "Couldn't download zeltohlp.hl_."
[ -f "$(run_folders)/zelto.sc_" ] || e2e_fail "copied: no copy in the run's folder: $(run_folders)"
expect_no_file "$SAVER" copied
run_folders | xargs -r -d '\n' rm -rf
installs_again after-copy

# After the first expansion: a second packed file cut short.
e2e_put "$(variant setup_cuthelp)" 'C:\Setup\cuthelp.exe'
stopped_at expanded 'C:\Setup\cuthelp.exe' $'Couldn\'t install Zeltohlp.Hlp. The file may be in use. \n\nThis is perfectly normal. Please restart Windows before trying to update again.'
expect_content "$LOG" "$EXPECTED_LOG" expanded  # the first run's two lines, nothing added
run_folders | xargs -r -d '\n' rm -rf
installs_again after-expansion

# During the cleanup, when the earlier files still stand aside beside the new
# ones (the next run clears them): a temporary copy held (readable and writable, not
# deletable) from the moment it is written, which the cleanup waits for.
expect_no_temp_copies "before the cleanup case"
e2e_start holder -t 120 "$HOLD" "$TEMPDIR\\*\\zelto.sc_" 60000 share=rw wait=60000
install_through_wizard cleanup 1
e2e_robot 'window class=#32770 title="Removing temporary files.." timeout=20000'
e2e_kill cleanup
e2e_log "cleanup: ended by force"
e2e_kill holder 2>/dev/null
run_folders | xargs -r -d '\n' rm -rf
installs_again after-cleanup

# What a run ended by force leaves beside the files is in no log: the removal
# takes it away with them.
printf earlier >"$(upath "$SAVER").zelto-old"
printf cut >"$(upath "$HELP").zelto-new"
uninstall removed
expect_uninstalled removed
expect_no_file "$SAVER.zelto-old" removed
expect_no_file "$HELP.zelto-new" removed
e2e_pass
