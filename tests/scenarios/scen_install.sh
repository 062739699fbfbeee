#!/usr/bin/env bash
# The install run on a fresh system: both files expanded into the system
# folder byte for byte, the log, the report, the uninstaller copy, the registry
# and the screen saver setting. Then a second installation over the first with
# activation off: system.ini stays as it was and the log lists each path once.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"

expect_no_reg "$RUNONCE_KEY" vimbaInstall "fresh system"
save_system_ini
today=$(date +%m/%d/%y)
install_ok first 1
expect_installed first 1 0
[ -d "$(upath "$TEMPDIR")" ] || e2e_fail "no temporary folder $TEMPDIR"
# The report's date is the local date (a run across midnight may see either day).
date=$(head -c 8 "$(upath "$REPORT")")
[ "$date" = "$today" ] || [ "$date" = "$(date +%m/%d/%y)" ] ||
  e2e_fail "the report line's date $date is not today's, $today"

# The installed screen saver runs from the system folder: full screen over the
# whole desktop until the user presses a key.
e2e_start saver -t 60 "$SAVER" /s
e2e_robot "window class=Zelto2000Saver timeout=20000" "assert rect=0,0,1024,768 visible=1" "sleep 1500"
e2e_shot installed-saver
e2e_robot "window class=Zelto2000Saver" "keys space" "gone timeout=10000"
e2e_expect_exit saver 0 20

# Files of another user under the names of the temporary copies and of the
# replace check's backups, read-only and with other content, straight in the
# temporary folder and in folders and files named as runs once named their
# folders ("Zelto" and 8 hex digits of the tick count): the second run
# installs the packaged files, leaves all of them as they were, and no folder
# of its own.
temp=$(upath "$TEMPDIR")
planted=(zelto.sc_ zeltohlp.hl_ 'Zelto 2000.Scr' Zeltohlp.Hlp)
plant() {
  printf 'planted %s' "$1" >"$temp/$1"
  chmod a-w "$temp/$1"
}
for name in "${planted[@]}"; do plant "$name"; done
for tick in 00000000 0001E240 7FFFFFFF DEADBEEF; do
  mkdir "$temp/Zelto$tick"
  for name in "${planted[@]}"; do plant "Zelto$tick/$name"; done
  planted+=("Zelto$tick/${planted[0]}" "Zelto$tick/${planted[1]}" "Zelto$tick/${planted[2]}" "Zelto$tick/${planted[3]}")
done
chmod a-w "$temp/ZeltoDEADBEEF"
plant ZeltoFFFFFFFF  # a file where a folder would go
planted+=(ZeltoFFFFFFFF)
ls "$temp" | sort >"$E2E_ART/temp.before"
save_system_ini
size=$(report_size)
install_ok again 0
for name in "${planted[@]}"; do
  [ "$(cat "$temp/$name" 2>/dev/null)" = "planted $name" ] && is_read_only "$TEMPDIR\\${name//\//\\}" ||
    e2e_fail "again: the planted $name was changed or removed"
done
ls "$temp" | sort | diff "$E2E_ART/temp.before" - >/dev/null ||
  e2e_fail "again: the temporary folder changed: $(ls "$temp" | sort | diff "$E2E_ART/temp.before" - | tr '\n' ' ')"
chmod -R u+w "$temp"
rm -rf "$temp"/Zelto[0-9A-F]* "${planted[@]/#/$temp/}"
expect_installed again 0 "$size"
e2e_pass
