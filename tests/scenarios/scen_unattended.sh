#!/usr/bin/env bash
# Unattended runs (/S), as a logon script or a deployment tool starts them: no
# window at any time, the same installation as through the wizard with its
# default choices, every message in the report only, and the exit code of the
# table in src/resources/exitcodes.h for each case, from wizard runs as well.
# The other switches: /LOG in both forms in both programs, /? and /HELP, the
# words administrators try (/SILENT, /VERYSILENT), and a switch nobody knows.
# All of it runs a copy signed by tools/sign.sh with a throw-away self-signed
# certificate: the signature and the checksum behind it must leave a program
# that starts, installs, and removes as its uninstaller copy.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"

[ -x "${ZELTO_PECHECKSUM:-}" ] || e2e_fail "no checksum tool in ZELTO_PECHECKSUM='${ZELTO_PECHECKSUM:-}'"
keys=$E2E_ART/signing
mkdir -p "$keys"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Zelto 2000 test signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$keys/key.pem" -out "$keys/cert.pem" 2>/dev/null ||
  e2e_fail "openssl could not make a certificate"
signed=$keys/Zelto2000Setup.exe
sign() {
  SIGN_CERT=$keys/cert.pem SIGN_KEY=$keys/key.pem PECHECKSUM=$ZELTO_PECHECKSUM \
    bash "$E2E_ROOT/tools/sign.sh" "$E2E_PROGRAM" "$signed"
}
# The time-stamp server reaches osslsigncode: one that cannot be reached fails
# the signing, which then leaves no signed copy.
SIGN_TIMESTAMP=http://127.0.0.1:9/tsa sign >"$keys/timestamp.out" 2>&1 &&
  e2e_fail "signing with an unreachable time-stamp server succeeded"
[ ! -e "$signed" ] || e2e_fail "a failed signing left $signed"
sign >"$keys/sign.out" 2>&1 || e2e_fail "signing failed: $(cat "$keys/sign.out")"
osslsigncode verify -CAfile "$keys/cert.pem" -in "$signed" >"$keys/verify.out" 2>&1 ||
  e2e_fail "the signature does not verify: $(tail -n 5 "$keys/verify.out")"
"$ZELTO_PECHECKSUM" -c "$signed" >/dev/null || e2e_fail "the signed copy's checksum is wrong"
e2e_put "$signed" "$SETUP"

# started NAME EXE ARGS...: EXE started with this command line exactly (wine
# would quote an argument with blanks in it again), through the probe, which
# prints the whole exit code at its end.
started() {
  local name=$1
  shift
  e2e_start "$name" -t 120 "$PROBE" wait "$*"
}
# exited NAME CODE: NAME ended with CODE, all of its bits.
exited() {
  e2e_expect_exit "$1" "$2" 30
  grep -qx "exit $2" <(tr -d '\r' <"$E2E_ART/$1.out") ||
    e2e_fail "$1: the program's exit code is not $2: $(tr -d '\r' <"$E2E_ART/$1.out" | tail -n1)"
}
# quiet NAME CODE EXE ARGS...: runs EXE while the robot watches for any visible
# window of it, and expects the exit code CODE. The watch ends with the probe,
# which outlives the program: a run that ends at once is watched to its end too.
quiet() {
  local name=$1 code=$2 exe=$3
  shift 3
  started "$name" "$exe" "$@"
  e2e_robot "absent exe=${exe##*\\} while=probe.exe for=110000"
  exited "$name" "$code"
}
# expect_log FILE LINE...: the run's log holds these lines (after date and time).
expect_log() {
  local file=$1 line
  shift
  [ -f "$file" ] || e2e_fail "no log file $file"
  for line in "$@"; do
    tr -d '\r' <"$file" | cut -c19- | sed 's/ *$//' | grep -qxF -- "$line" ||
      e2e_fail "the log $file has no line '$line': $(tr -d '\r' <"$file" | tr '\n' '|')"
  done
}
# new_temp_log NAME: the one log file a bare /LOG made since the marker file.
new_temp_log() {
  local found
  found=$(find "$WINEPREFIX/drive_c/users" -iname 'zel*.tmp' -newer "$E2E_ART/marker" -type f)
  [ "$(wc -l <<<"$found")" = 1 ] && [ -n "$found" ] || e2e_fail "$1: not one new Zel*.tmp: '$found'"
  printf '%s\n' "$found"
}
ENTRY_VALUE='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zelto2000\DisplayName'

save_system_ini
# Before anything is installed: what must change nothing. /? shows its box
# (/HELP with /S shows nothing) and ends with 0.
size=$(report_size)
started help "$SETUP" /?
e2e_robot "msgbox title=Installer timeout=30000"
e2e_expect_field msgbox icon information
for text in 'Switches of Zelto2000Setup.exe' '/LOG[="file"]' $'\n1602  cancelled by the user' \
            $'\n1639  a switch the program does not know, or a log file that cannot be made'; do
  [[ $(e2e_field msgbox text) == *"$text"* ]] || e2e_fail "help: the box does not say '$text'"
done
e2e_robot "msgbox title=Installer" "press ok" "gone"
exited help 0
quiet help-quiet 0 "$SETUP" /S /HELP
# A switch nobody knows, and a log that cannot be made: 1639, a report line.
quiet unknown 1639 "$SETUP" /S /X
quiet no-log 1639 "$SETUP" /s '/LOG="C:\no such folder\z.log"'
expect_report_since "$size" \
  "Zelto 2000 Setup does not know the switch /X. Nothing has been changed. "$'\n\n'"Start it with /? to see the switches it takes." \
  'Zelto 2000 Setup cannot make the log file C:\no such folder\z.log. Nothing has been changed.'
# Without the rights, the uninstaller changes nothing either.
e2e_put "$(variant setup_norights)" 'C:\Setup\vmbUninst.exe'
quiet no-rights 740 'C:\Setup\vmbUninst.exe' UNINSTALL /S
expect_nothing_left nothing-yet
# A damaged setup file: 1620 unattended, and after its box.
e2e_put "$signed" 'C:\Setup\damaged.exe'
invert_byte 'C:\Setup\damaged.exe' $(( $(stat -c %s "$signed") - 1 ))
quiet damaged 1620 'C:\Setup\damaged.exe' /S
started damaged-box 'C:\Setup\damaged.exe'
expect_box damaged-box 'This setup file is damaged. Please download it again.' error
exited damaged-box 1620
expect_nothing_left nothing-yet

# The run's log, made new, in a folder with a blank.
mkdir -p "$WINEPREFIX/drive_c/a b"
echo 'an old line' >"$WINEPREFIX/drive_c/a b/z.log"
size=$(report_size)
quiet install 0 "$SETUP" /S '/LOG="C:\a b\z.log"'
expect_log "$WINEPREFIX/drive_c/a b/z.log" "File installed: $SAVER" "File installed: $HELP" \
  "File installed: $UNINSTALLER" "Value written: $ENTRY_VALUE" "Zelto 2000 installed successfully."
grep -q 'an old line' "$WINEPREFIX/drive_c/a b/z.log" && e2e_fail "the log was not made new"
expect_same "$SCEN_GENERATED/saver.bin" "$SAVER" install
expect_same "$SCEN_GENERATED/help.bin" "$HELP" install
expect_content "$LOG" "$EXPECTED_LOG" install
expect_same "$signed" "$UNINSTALLER" install
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|' install
expect_uninstall_entry install
expect_saver_setting install
expect_no_temp_copies install
# The success box's text follows the success line, as the box followed it.
expect_report_since "$size" "Zelto 2000 installed successfully." "$TEXT_INSTALLED"

# The removal with a file held past the quiet passes: reported, and the file
# goes at the restart: 3010. Its log is a new file in the temporary folder.
size=$(report_size)
hold holder 40000 "$SAVER"
touch "$E2E_ART/marker"
quiet held-removal 3010 "$UNINSTALLER" UNINSTALL /S /LOG
e2e_kill holder 2>/dev/null
expect_log "$(new_temp_log held-removal)" "File removed: $HELP" \
  "$SAVER will be deleted when Windows restarts." "Value deleted: $ENTRY_VALUE"
grep -qF "Zelto 2000.Scr  couldn't be deleted." "$(upath "$REPORT")" ||
  e2e_fail "held-removal: the report does not name the file that stayed"
expect_file "$SAVER" held-removal
# The file goes when Windows restarts; nothing is left for a later logon to
# run, and the uninstaller removes itself.
grep -qF "Zelto 2000.Scr will be deleted when Windows restarts." "$(upath "$REPORT")" ||
  e2e_fail "held-removal: the report does not say the file goes at the restart"
expect_no_reg "$RUNONCE_KEY" "$FINISH_VALUE" held-removal
expect_self_removed held-removal

# Installed again (/SILENT, a bare /LOG), and with everything free the removal
# is complete: exit 0.
touch "$E2E_ART/marker"
quiet reinstall 0 "$SETUP" /SILENT /log
expect_same "$signed" "$UNINSTALLER" reinstall
expect_log "$(new_temp_log reinstall)" "File installed: $SAVER" "Zelto 2000 installed successfully."
quiet removal 0 "$UNINSTALLER" '/LOG="C:\a b\u.log"' UNINSTALL /S
expect_uninstalled removal
expect_log "$WINEPREFIX/drive_c/a b/u.log" "File removed: $SAVER" "File removed: $LOG" \
  "Value deleted: $ENTRY_VALUE"
expect_no_reg "$RUNONCE_KEY" "$FINISH_VALUE" removal

# An install that cannot replace a file in use fails with 32 and comes back
# unattended at the next logon.
e2e_put "$SCEN_GENERATED/help.bin" "$SAVER"
size=$(report_size)
hold holder2 40000 "$SAVER"
quiet held-install 32 "$SETUP" /s
e2e_kill holder2 2>/dev/null
# What the next logon starts is the installer's copy in the Windows folder,
# which only administrators may change, not the file in C:\Setup.
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|C:\windows\Zelto2000Setup.exe /S' held-install
expect_same "$signed" "$RETRY" held-install
tail -c 200 "$(upath "$REPORT")" | tr -d '\r' | grep -qF "and run this installer again." ||
  e2e_fail "held-install: the report's last line does not say why the run failed"
expect_same "$SCEN_GENERATED/help.bin" "$SAVER" held-install

# Run as the next logon runs it, the copy passes its own file's check,
# installs, and removes itself after its exit.
quiet logon 0 "$RETRY" /S
expect_same "$SCEN_GENERATED/saver.bin" "$SAVER" logon
expect_same "$signed" "$UNINSTALLER" logon
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|' logon
expect_self_removed logon "$RETRY"

# A full disk: the install log cannot be written (it is /dev/full here). 112.
size=$(report_size)
log=$(upath "$LOG")
mv "$log" "$log.aside"
ln -s /dev/full "$log"
quiet disk-full 112 "$SETUP" /S
rm "$log"
mv "$log.aside" "$log"
expect_report_since "$size" "Couldn't install Zelto 2000.Scr. The file may be in use. "$'\n\n'"This is perfectly normal. Please restart Windows before trying to update again." \
  "$TEXT_NOT_INSTALLED"
expect_same "$signed" "$RETRY" disk-full

# A failed install places the copy again (here the temporary folder is a
# file, and no installed file is there to be replaced: the copy phase fails,
# any other failure, 1603); the next successful run from C:\Setup deletes it.
rm -f "$(upath "$HELP")"
temp=$(upath "$TEMPDIR")
mv "$temp" "$temp.aside"
printf 'not a folder' >"$temp"
quiet no-folder 1603 "$SETUP" /S
rm "$temp"
mv "$temp.aside" "$temp"
expect_same "$signed" "$RETRY" no-folder
quiet again 0 "$SETUP" /VERYSILENT
expect_no_file "$RETRY" again
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|' again

# Beside an interactive installer, an unattended one ends at once: 1618. The
# wizard cancelled: 1602.
started interactive "$SETUP"
e2e_robot "window $SHEET timeout=30000"
size=$(report_size)
started second "$SETUP" /S
exited second 1618
expect_report_since "$size" "Zelto 2000 Setup is already running."
e2e_robot "window $SHEET" "sheet cancel" "gone timeout=10000"
exited interactive 1602

# The whole wizard: 0.
started wizard "$SETUP"
e2e_robot "window $SHEET timeout=30000"
wizard_to_options
wizard_finish 1
expect_box wizard-done "$TEXT_INSTALLED" information
exited wizard 0
e2e_pass
