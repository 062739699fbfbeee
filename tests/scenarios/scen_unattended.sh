#!/usr/bin/env bash
# Unattended runs (/S), as a logon script starts them: no window at any time,
# the same installation as through the wizard with its default choices, every
# message in the report only, and an exit code that says whether everything
# was done (0) or not (2). A second instance with /S beside an interactive one
# ends at once with 2.
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

# quiet NAME CODE EXE ARGS...: runs EXE while the robot watches for any visible
# window of it, and expects the exit code CODE.
quiet() {
  local name=$1 code=$2 exe=$3
  shift 3
  e2e_start "$name" -t 120 "$exe" "$@"
  e2e_robot "absent exe=${exe##*\\} while=${exe##*\\} for=110000"
  e2e_expect_exit "$name" "$code" 30
}

save_system_ini
size=$(report_size)
quiet install 0 "$SETUP" /S
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

# The removal with a file held past the quiet passes: reported, exit 2.
size=$(report_size)
hold holder 40000 "$SAVER"
quiet held-removal 2 "$UNINSTALLER" UNINSTALL /S
e2e_kill holder 2>/dev/null
grep -qF "Zelto 2000.Scr  couldn't be deleted." "$(upath "$REPORT")" ||
  e2e_fail "held-removal: the report does not name the file that stayed"
expect_file "$SAVER" held-removal
# The file goes when Windows restarts; nothing is left for a later logon to
# run, and the uninstaller removes itself.
grep -qF "Zelto 2000.Scr will be deleted when Windows restarts." "$(upath "$REPORT")" ||
  e2e_fail "held-removal: the report does not say the file goes at the restart"
expect_no_reg "$RUNONCE_KEY" "$FINISH_VALUE" held-removal
expect_self_removed held-removal

# Installed again, and with everything free the removal is complete: exit 0.
quiet reinstall 0 "$SETUP" /S
expect_same "$signed" "$UNINSTALLER" reinstall
quiet removal 0 "$UNINSTALLER" UNINSTALL /S
expect_uninstalled removal
expect_no_reg "$RUNONCE_KEY" "$FINISH_VALUE" removal

# An install that cannot replace a file in use fails with 2 and comes back
# unattended at the next logon.
e2e_put "$SCEN_GENERATED/help.bin" "$SAVER"
size=$(report_size)
hold holder2 40000 "$SAVER"
quiet held-install 2 "$SETUP" /s
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

# A failed install places the copy again (here the temporary folder is a
# file); the next successful run from C:\Setup deletes it.
temp=$(upath "$TEMPDIR")
mv "$temp" "$temp.aside"
printf 'not a folder' >"$temp"
quiet no-folder 2 "$SETUP" /S
rm "$temp"
mv "$temp.aside" "$temp"
expect_same "$signed" "$RETRY" no-folder
quiet again 0 "$SETUP" /S
expect_no_file "$RETRY" again
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|' again

# Beside an interactive installer, an unattended one ends at once.
wizard_open interactive
size=$(report_size)
e2e_start second -t 60 "$SETUP" /S
e2e_expect_exit second 2 30
expect_report_since "$size" "Zelto 2000 Setup is already running."
e2e_robot "window $SHEET" "sheet cancel" "gone timeout=10000"
e2e_expect_exit interactive 0 30
e2e_pass
