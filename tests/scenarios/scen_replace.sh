#!/usr/bin/env bash
# The replace check of the install run. A read-only installed file that no one
# uses is replaced and is no longer read-only. An installed screen saver that
# another program holds open is retried for 15 seconds, with the seconds
# counting under the bar, while the program answers other programs and leaves
# the processor mostly idle; then message 792 names it, 1160 follows, the
# RunOnce entry is set and nothing is copied or changed.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"
old=$E2E_ROOT/payload/licenseEval.txt  # stands in for an older installed file

# Read-only older files of the product, not in use.
e2e_put "$old" "$SAVER"
e2e_put "$old" "$HELP"
chmod 0444 "$(upath "$SAVER")" "$(upath "$HELP")"
is_read_only "$SAVER" || e2e_fail "could not make $SAVER read-only"
install_ok read-only 1
expect_installed read-only 1 0
for file in "$SAVER" "$HELP"; do
  is_read_only "$file" && e2e_fail "read-only: $file is still read-only"
done

# The installed screen saver (an older one) is in use for longer than the check waits.
e2e_put "$old" "$SAVER"
save_system_ini
size=$(report_size)
hold holder 60000 "$SAVER"
install_through_wizard held 1
e2e_start watch -t 60 "$PROBE" watch 40000
e2e_start answer -t 60 "$PROBE" answer 40000
e2e_robot 'window class=#32770 title="checking to replace files.." timeout=10000'
busy_begin held
e2e_shot held-checking
e2e_robot 'msgbox title=Installer timeout=30000'
busy_end held
# The bar shows the share of the 15 seconds at the last refresh.
bar=$(probe bar)
expect_box held-in-use "Install can't proceed because Zelto 2000.Scr is in use and couldn't be unloaded. "$'\n\n'"This is perfectly normal. Please restart Windows (or log off and log on to Windows again) and run this installer again before right-clicking on anything." error
expect_box held-not-installed "$TEXT_NOT_INSTALLED" error
e2e_expect_exit held 32 20
e2e_wait watch 10
expect_answered held
e2e_kill holder 2>/dev/null  # no word from the shell about the killed job

# What the progress window showed: the phase title, the file, and the elapsed
# time refreshed more than 300 ms apart up to the 15 seconds.
watch=$(tr -d '\r' <"$E2E_ART/watch.out")
grep -qx '[0-9]* title checking to replace files..' <<<"$watch" || e2e_fail "no replace-check title"
# (an empty item or text is one read while the window was being destroyed)
[ "$(grep ' item .' <<<"$watch" | tail -n1 | cut -d' ' -f3-)" = "Zelto 2000.Scr" ] ||
  e2e_fail "the progress item does not end on Zelto 2000.Scr"
mapfile -t shown < <(sed -n 's/^[0-9]* text \(.*\)$/\1/p' <<<"$watch")
last=-1
count=0
for text in "${shown[@]}"; do
  [[ $text == *% ]] && [ "$count" = 0 ] && continue  # the percentage before the first refresh
  [ -z "$text" ] && continue  # read while the window was being destroyed
  [[ $text =~ ^([0-9]+)\.([0-9]{3})\ seconds$ ]] || e2e_fail "the progress text '$text' is not seconds"
  ms=$(( 10#${BASH_REMATCH[1]} * 1000 + 10#${BASH_REMATCH[2]} ))
  [ "$ms" -gt $(( last + 300 )) ] || e2e_fail "the progress text went from $last ms to $ms ms"
  last=$ms
  count=$(( count + 1 ))
done
# The check ends at its first pass on or after the 15 s, so the last text is
# at most one refresh interval short of them; a busy machine may make that
# last pass late, but not by seconds.
[ "$count" -ge 2 ] && [ "$last" -ge 14000 ] && [ "$last" -le 20000 ] ||
  e2e_fail "the seconds were shown $count times up to $last ms"
[ "$bar" = "bar $(( last * 100 / 15000 > 100 ? 100 : last * 100 / 15000 ))" ] ||
  e2e_fail "after $last ms the progress $bar"
e2e_log "the seconds counted $count times up to $last ms; $bar"

# Nothing was copied or changed, and the installer runs again at the next
# logon; the uninstaller of the first installation keeps its entry.
expect_same "$old" "$SAVER" "held"
expect_same "$SCEN_GENERATED/help.bin" "$HELP" "held"
expect_content "$LOG" "$EXPECTED_LOG" "held"
expect_no_temp_copies "held"
cmp -s "$E2E_ART/system.ini.before" "$(upath 'C:\windows\system.ini')" || e2e_fail "held: system.ini changed"
expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|C:\windows\Zelto2000Setup.exe' "held"
expect_same "$E2E_PROGRAM" "$RETRY" "held"
expect_reg "$UNINSTALL_KEY" DisplayName 'REG_SZ|Zelto 2000 ScreenSaver' "held"
expect_report_since "$size" "Install can't proceed because Zelto 2000.Scr is in use and couldn't be unloaded. "$'\n\n'"This is perfectly normal. Please restart Windows (or log off and log on to Windows again) and run this installer again before right-clicking on anything."
e2e_pass
