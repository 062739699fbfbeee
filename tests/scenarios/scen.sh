# Shared steps of the installer's end-to-end scenarios (bash; source this file).
#
# A scenario is started by CTest as
#   bash scen_NAME.sh INSTALLER ROBOT
# with SCEN_TOOLS (the folder of holdfile.exe, probe.exe and the test-only
# installer variants) and SCEN_GENERATED (the build's payload folder, with the
# files the installer must put in place: saver.bin and help.bin) in the
# environment. It calls scen_begin "$@" first, which does what e2e_begin of
# tests/e2e/lib.sh does (own prefix, artifacts, cleanup) and puts the installer
# into the prefix as C:\Setup\Zelto2000Setup.exe.
#
# Steps here drive the wizard (wizard_open, wizard_to_options, wizard_finish),
# answer message boxes (expect_box) and check what an installation or an
# uninstallation leaves (expect_installed, expect_uninstalled, ...).
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

SETUP='C:\Setup\Zelto2000Setup.exe'
SAVER='C:\windows\system32\Zelto 2000.Scr'
HELP='C:\windows\system32\Zeltohlp.Hlp'
LOG='C:\windows\zelto.log'
REPORT='C:\windows\zeltoInstall.txt'
UNINSTALLER='C:\windows\vmbUninst.exe'
RETRY='C:\windows\Zelto2000Setup.exe'  # the copy that a failed install's RunOnce value starts
BATCH='C:\windows\delete.bat'
TEMPDIR='C:\windows\Temp'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zelto2000'
RUNONCE_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce'
PRODUCT_KEY='HKLM\Software\Ostrell Zuvak\vimbaTressil'
DESKTOP_KEY='HKCU\Control Panel\Desktop'
LICENCE_TITLE='Software License Agreement'

# The log an installation writes: each installed path, a blank, CR and LF.
EXPECTED_LOG=$'C:\\windows\\system32\\Zelto 2000.Scr \r\nC:\\windows\\system32\\Zeltohlp.Hlp \r\n'
TEXT_INSTALLED='Zelto 2000 has been installed successfully!'
TEXT_NOT_INSTALLED=$'Zelto 2000 was not fully installed. \n\nPlease restart Windows (or log off and log on to Windows again) and run this installer again.'
TEXT_UNINSTALLED=$'Zelto 2000 is now fully uninstalled. \n\nThank you for trying our software. For information on other products and future upgrades, visit us at http://www.ostrellzuvak.com.'
TEXT_UNINSTALL_AT_RESTART=$'Zelto 2000 will be fully uninstalled once Windows has restarted. \n\nThank you for trying our software. For information on other products and future upgrades, visit us at http://www.ostrellzuvak.com.'
FINISH_VALUE=vimbaUninstall
TEXT_NEEDS_ADMINISTRATOR=$'Zelto 2000 Setup needs administrator rights to change the Windows system folder. Nothing has been changed. \n\nPlease log on as an administrator, or start Setup with "Run as administrator", and try again.'
TEXT_FILES_IN_USE='Some files may be in use and could not be deleted. View zeltoInstall.txt in your Windows directory for details.'

scen_begin() {
  e2e_begin "$1" "$2"
  SCEN_TOOLS=${SCEN_TOOLS:-}
  HOLD=$SCEN_TOOLS/holdfile.exe
  PROBE=$SCEN_TOOLS/probe.exe
  [ -f "$HOLD" ] && [ -f "$PROBE" ] || e2e_fail "no scenario tools in SCEN_TOOLS='$SCEN_TOOLS'"
  [ -f "${SCEN_GENERATED:-}/saver.bin" ] && [ -f "$SCEN_GENERATED/help.bin" ] ||
    e2e_fail "no payload originals in SCEN_GENERATED='${SCEN_GENERATED:-}'"
  e2e_put "$E2E_PROGRAM" "$SETUP"
}

# A test-only installer variant built beside the tools.
variant() {
  local exe=$SCEN_TOOLS/$1.exe
  [ -f "$exe" ] || e2e_fail "no installer variant $exe"
  printf '%s\n' "$exe"
}

# ---------------------------------------------------------------- wizard

SHEET='class=#32770 title=Welcome'

# wizard_open NAME [EXE]: starts the installer (default C:\Setup\...) and waits
# for the Welcome page.
wizard_open() {
  e2e_start "$1" -t 120 "${2:-$SETUP}"
  e2e_robot "window $SHEET timeout=30000"
}

# From the Welcome page through the licence (accepted) to Apply Options.
wizard_to_options() {
  e2e_robot "window $SHEET" "sheet next" \
    "window class=#32770 title=\"$LICENCE_TITLE\" timeout=10000" "press id=101" "gone" \
    "window class=#32770 title=\"Apply Options\" timeout=10000" "wait id=9 visible=1"
}

# wizard_finish ACTIVATE: from Apply Options, with box 9 set to ACTIVATE, to
# the Finish page and through it.
wizard_finish() {
  local page='window class=#32770 title="Apply Options"'
  if [ "$1" = 0 ]; then
    e2e_robot "$page" "click id=9" "wait id=9 checked=0"
  else
    e2e_robot "$page" "assert id=9 checked=1"
  fi
  local summary="activated after installation"
  [ "$1" = 0 ] && summary='installed but not activated'
  e2e_robot "$page" "sheet next" "window class=#32770 title=\"Finish Install\" timeout=10000" \
    "wait id=1013 text~=\"$summary\"" "wait id=12325 visible=1 enabled=1" "sheet finish"
}

# install_through_wizard NAME ACTIVATE [EXE]: the whole wizard, up to the start
# of the install run.
install_through_wizard() {
  wizard_open "$1" "${3:-}"
  wizard_to_options
  wizard_finish "$2"
}

# expect_box SHOT TEXT ICON [TIMEOUT_MS]: the next message box of the program
# says TEXT with ICON and one OK button; a screenshot, then OK.
expect_box() {
  e2e_robot "msgbox title=Installer timeout=${4:-30000}"
  e2e_shot "$1"
  e2e_expect_field msgbox text "$2"
  e2e_expect_field msgbox icon "$3"
  e2e_expect_field msgbox buttons ok
  e2e_robot "msgbox title=Installer" "press ok" "gone"
}

# A complete, successful installation: the wizard, the success box, exit 0.
install_ok() {
  install_through_wizard "$1" "$2" "${3:-}"
  expect_box "$1-done" "$TEXT_INSTALLED" information
  e2e_expect_exit "$1" 0 30
}

# expect_field KIND KEY VALUE: as e2e_expect_field, but exact to the last
# byte (a command substitution would drop the final line feeds of a text).
expect_field() {
  local actual
  actual=$(e2e_field "$1" "$2" && printf x) || e2e_fail "no $1 line with $2= in the robot's output"
  actual=${actual%x}
  [ "$actual" = "$3" ] || e2e_fail "$1 $2 is $(printf %q "$actual"), expected $(printf %q "$3")"
}

# ---------------------------------------------------------------- files

# hold NAME MS WINPATH [share=rw]: another program keeps the file open for MS
# (without sharing, or letting others read and write it but not delete it);
# returns once it does.
hold() {
  e2e_start "$1" -t 90 "$HOLD" "$3" "$2" "${@:4}"
  local i
  for (( i = 0; i < 200; i++ )); do
    grep -q '^held' "$E2E_ART/$1.out" 2>/dev/null && return 0
    e2e_running "$1" || break
    sleep 0.05
  done
  e2e_fail "$1 could not hold $3: $(cat "$E2E_ART/$1.out")"
}

upath() { e2e_path "$1"; }

# put_sound WINPATH: a short, valid sound there: 8 kHz, 8-bit mono, 800 samples of silence.
put_sound() {
  {
    printf 'RIFF\x44\x03\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00'
    printf '\x40\x1f\x00\x00\x40\x1f\x00\x00\x01\x00\x08\x00data\x20\x03\x00\x00'
    head -c 800 /dev/zero | tr '\0' '\200'
  } >"$(upath "$1")"
}

# How often the program started as NAME under WINEDEBUG=trace+winmm asked for the start-up sound.
played() { grep -ic 'zuvak\.wav' "$E2E_ART/$1.err" || true; }

# invert_byte WINPATH OFFSET: one changed byte, as a bad download leaves it.
invert_byte() {
  local file byte
  file=$(upath "$1")
  byte=$(od -An -tu1 -j "$2" -N1 "$file" | tr -d ' ')
  [ -n "$byte" ] || e2e_fail "$1 has no byte $2"
  printf "\\x$(printf %02x $(( 255 - byte )))" | dd of="$file" bs=1 seek="$2" conv=notrunc status=none
}

expect_file() { [ -f "$(upath "$1")" ] || e2e_fail "$2: $1 is missing"; }
expect_no_file() { [ ! -e "$(upath "$1")" ] || e2e_fail "$2: $1 exists"; }

# expect_same UNIXFILE WINPATH WHAT: the file in the prefix is UNIXFILE byte for byte.
expect_same() {
  local actual
  actual=$(upath "$2")
  [ -f "$actual" ] || e2e_fail "$3: $2 is missing"
  cmp -s "$1" "$actual" || e2e_fail "$3: $2 differs from $1"
}

# The exact bytes of a file in the prefix against a text.
expect_content() {
  local actual
  actual=$(upath "$1")
  [ -f "$actual" ] || e2e_fail "$3: $1 is missing"
  cmp -s <(printf '%s' "$2") "$actual" ||
    e2e_fail "$3: $1 holds $(od -c "$actual" | head -n 8 | tr -s ' ')"
}

# Windows sees a file as read-only when no one may write it.
is_read_only() { [ $(( 0$(stat -c %a "$(upath "$1")") & 0222 )) -eq 0 ]; }

# The size of the report in bytes (0 while there is none).
report_size() {
  local file
  file=$(upath "$REPORT")
  if [ -f "$file" ]; then stat -c %s "$file"; else echo 0; fi
}

# expect_report_since SIZE TEXT...: after its first SIZE bytes the report holds
# exactly these lines: date and time as MM/DD/YY HH:MM:SS, a blank, the text,
# CR and LF. A text may hold bare line feeds of its own.
expect_report_since() {
  local since=$1 file content line records=() i=0 text
  shift
  file=$(upath "$REPORT")
  content=$( { [ -f "$file" ] && tail -c +"$(( since + 1 ))" "$file"; }; printf x)
  content=${content%x}
  [ -z "$content" ] || [[ $content == *$'\r\n' ]] || e2e_fail "the report does not end in CR LF"
  while [ -n "$content" ]; do
    records+=("${content%%$'\r\n'*}")
    content=${content#*$'\r\n'}
  done
  [ "${#records[@]}" -eq $# ] ||
    e2e_fail "the report gained ${#records[@]} lines, expected $#: $(printf '[%q] ' "${records[@]}")"
  local stamp='^[01][0-9]/[0-3][0-9]/[0-9][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9] $'
  for text in "$@"; do
    line=${records[$i]}
    [[ ${line:0:18} =~ $stamp ]] && [ "${line:18}" = "$text" ] ||
      e2e_fail "new report line $(( i + 1 )) is $(printf %q "$line"), expected the text $(printf %q "$text")"
    i=$(( i + 1 ))
  done
}

# The value of KEY in SECTION of C:\windows\system.ini; exit code 1 when absent.
ini_value() {
  local file
  file=$(upath 'C:\windows\system.ini')
  [ -f "$file" ] || return 1
  tr -d '\r' <"$file" | awk -v section="$1" -v key="$2" '
    BEGIN { found = 0 }
    /^\[/ { inside = tolower($0) == "[" tolower(section) "]"; next }
    inside && index($0, "=") {
      name = substr($0, 1, index($0, "=") - 1)
      if (tolower(name) == tolower(key)) { print substr($0, index($0, "=") + 1); found = 1; exit }
    }
    END { exit found ? 0 : 1 }'
}

# Sets KEY in SECTION of system.ini, as another program would.
ini_set() {
  local file tmp
  file=$(upath 'C:\windows\system.ini')
  tmp=$(mktemp)
  tr -d '\r' <"$file" | awk -v section="$1" -v key="$2" -v value="$3" '
    /^\[/ { if (inside && !done) { print key "=" value; done = 1 }
            inside = tolower($0) == "[" tolower(section) "]"; print; next }
    inside && index($0, "=") && tolower(substr($0, 1, index($0, "=") - 1)) == tolower(key) {
      if (!done) print key "=" value; done = 1; next }
    { print }
    END { if (!done) { if (!inside) print "[" section "]"; print key "=" value } }' |
    sed 's/$/\r/' >"$tmp"
  cat "$tmp" >"$file"
  rm -f "$tmp"
}

probe() { timeout "$(scaled 30)" wine "$PROBE" "$@" 2>>"$E2E_ART/probe.err" | tr -d '\r'; }

# ---------------------------------------------------------------- waiting

# The Linux processes of the prefix's Wine server: the file and window work of
# a Windows program is done there.
prefix_wineserver() {
  local dir comm
  for dir in /proc/[0-9]*; do
    { read -r comm <"$dir/comm"; } 2>/dev/null || continue
    [[ $comm == wineserver* ]] || continue
    tr '\0' '\n' <"$dir/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      echo "${dir#/proc/}"
  done
}

# The processor time (user and system, in clock ticks) the processes used so far.
cpu_ticks() {
  local pid line fields total=0
  for pid; do
    { read -r line <"/proc/$pid/stat"; } 2>/dev/null || continue
    read -r -a fields <<<"${line##*) }"
    total=$(( total + fields[11] + fields[12] ))
  done
  echo "$total"
}

# busy_begin NAME: notes the processor time of the program started as NAME
# together with the prefix's Wine server, and the clock.
busy_begin() {
  BUSY_PIDS=($(e2e_descendants "${E2E_PIDS[$1]}") $(prefix_wineserver))
  [ "${#BUSY_PIDS[@]}" -ge 3 ] || e2e_fail "$1: no program and Wine server to measure"
  BUSY_TICKS=$(cpu_ticks "${BUSY_PIDS[@]}")
  BUSY_START=${EPOCHREALTIME//[.,]/}
}

# busy_end WHAT: they used less than 30 % of one core since busy_begin. A
# slower machine spends more per wake-up: the bound grows with the speed
# factor, up to 90 %, which a program that never sleeps still exceeds.
busy_end() {
  local ticks us percent bound=$(( 30 * ZELTO_SLOWDOWN / 100 ))
  [ "$bound" -gt 90 ] && bound=90
  ticks=$(( $(cpu_ticks "${BUSY_PIDS[@]}") - BUSY_TICKS ))
  us=$(( ${EPOCHREALTIME//[.,]/} - BUSY_START ))
  percent=$(( ticks * 100000000 / ($(getconf CLK_TCK) * us) ))
  e2e_log "$1: the program and its Wine server used $percent % of a core over $(( us / 1000 )) ms"
  [ "$us" -ge 5000000 ] || e2e_fail "$1: the wait lasted only $(( us / 1000 )) ms"
  [ "$percent" -lt "$bound" ] || e2e_fail "$1: $percent % of a core while waiting (bound $bound %)"
}

# expect_answered WHAT: the probe started as "answer" had every question
# answered within a second while the progress window was there.
expect_answered() {
  e2e_wait answer 10
  local out
  out=$(tr -d '\r' <"$E2E_ART/answer.out")
  grep -q '^unanswered' <<<"$out" &&
    e2e_fail "$1: a message sent from another program went unanswered for a second at $(grep -m3 '^unanswered' <<<"$out" | cut -d' ' -f2 | tr '\n' ' ')ms"
  [[ $(grep '^answered' <<<"$out") =~ ^answered\ ([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -ge 50 ] ||
    e2e_fail "$1: the probe saw $(tr '\n' ' ' <<<"$out")"
}

# ---------------------------------------------------------------- registry

# reg_values KEY: the key's values as NAME|TYPE|DATA lines; exit code 1 when
# the key is missing. Read by a 32-bit program, or by the loader in REG_WINE.
reg_values() {
  local out line with_data='^ {4}(.*) {4}(REG_[A-Z_]+) {4}(.*)$' empty='^ {4}(.*) {4}(REG_[A-Z_]+) *$'
  out=$(timeout 30 "${REG_WINE:-wine}" reg query "$1" 2>/dev/null) || return 1
  while IFS= read -r line; do
    line=${line%$'\r'}
    if [[ $line =~ $with_data ]] || [[ $line =~ $empty ]]; then
      printf '%s|%s|%s\n' "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" "${BASH_REMATCH[3]:-}"
    fi
  done <<<"$out"
  return 0
}

# reg_value KEY NAME: TYPE|DATA of one value; exit code 1 when it is missing.
reg_value() {
  local values line
  values=$(reg_values "$1") || return 1
  while IFS= read -r line; do
    [ "${line%%|*}" = "$2" ] && { printf '%s\n' "${line#*|}"; return 0; }
  done <<<"$values"
  return 1
}

expect_reg() {
  local actual
  actual=$(reg_value "$1" "$2") || e2e_fail "$4: the value $2 of $1 is missing"
  [ "$actual" = "$3" ] || e2e_fail "$4: $1 $2 is '$actual', expected '$3'"
}

expect_no_reg() {
  local actual
  actual=$(reg_value "$1" "$2") && e2e_fail "$3: $1 has the value $2 ($actual)"
  return 0
}

expect_no_key() {
  reg_values "$1" >/dev/null && e2e_fail "$2: the key $1 exists: $(reg_values "$1" | tr '\n' ' ')"
  return 0
}

# Nothing of the product in the registry or on disk: what a cancelled or
# declined wizard must leave on a fresh system.
expect_nothing_left() {
  expect_no_key "$UNINSTALL_KEY" "$1"
  expect_no_key "$PRODUCT_KEY" "$1"
  expect_no_reg "$RUNONCE_KEY" vimbaInstall "$1"
  expect_no_file "$SAVER" "$1"
  expect_no_file "$HELP" "$1"
  expect_no_file "$LOG" "$1"
  expect_no_file "$UNINSTALLER" "$1"
}

# ---------------------------------------------------------------- results

# The folders that runs made for their copies under the temporary folder.
run_folders() { find "$(upath "$TEMPDIR")" -mindepth 1 -maxdepth 1 -type d -iname 'zelto*'; }

# No copy of the run left in the temporary folder: packed copies or backups,
# nor the run's own folder.
expect_no_temp_copies() {
  local name left
  for name in zelto.sc_ zeltohlp.hl_ 'Zelto 2000.Scr' Zeltohlp.Hlp; do
    expect_no_file "$TEMPDIR\\$name" "$1"
  done
  left=$(run_folders)
  [ -z "$left" ] || e2e_fail "$1: a run's folder is left: $left"
}

# The short path that the screen saver setting must hold: 8.3 parts that lead
# to the installed screen saver.
expect_saver_setting() {
  local value long part
  value=$(ini_value boot SCRNSAVE.EXE) || e2e_fail "$1: system.ini has no SCRNSAVE.EXE in [boot]"
  [ "$value" = "$(probe short "$SAVER")" ] ||
    e2e_fail "$1: SCRNSAVE.EXE is '$value', not the short path of $SAVER"
  local IFS='\'
  for part in ${value#C:\\}; do
    [[ $part =~ ^[^.\ ]{1,8}(\.[^.\ ]{1,3})?$ ]] || e2e_fail "$1: '$part' of '$value' is not 8.3"
  done
  long=$(probe long "$value")
  [ "${long,,}" = "${SAVER,,}" ] || e2e_fail "$1: SCRNSAVE.EXE '$value' leads to '$long'"
}

# The entry in the list of installed programs: its texts, and its numbers as
# reg shows them (the size in KB of the installed files, rounded up).
uninstall_entry() {
  local kb=$(( ($(stat -c %s "$SCEN_GENERATED/saver.bin") + $(stat -c %s "$SCEN_GENERATED/help.bin") + 1023) / 1024 ))
  printf '%s\n' 'DisplayName|REG_SZ|Zelto 2000 ScreenSaver' \
    "UninstallString|REG_SZ|$UNINSTALLER UNINSTALL" "QuietUninstallString|REG_SZ|$UNINSTALLER UNINSTALL /S" \
    "DisplayIcon|REG_SZ|$UNINSTALLER,0" 'DisplayVersion|REG_SZ|2.0' 'Publisher|REG_SZ|Ostrell Zuvak' \
    "EstimatedSize|REG_DWORD|$(printf 0x%x "$kb")" 'NoModify|REG_DWORD|0x1' 'NoRepair|REG_DWORD|0x1'
}

# expect_uninstall_entry WHAT: the key holds the entry's values and nothing else.
expect_uninstall_entry() {
  local actual
  actual=$(reg_values "$UNINSTALL_KEY") || e2e_fail "$1: there is no key $UNINSTALL_KEY"
  [ "$(sort <<<"$actual")" = "$(uninstall_entry | sort)" ] ||
    e2e_fail "$1: $UNINSTALL_KEY holds $(tr '\n' ' ' <<<"$actual")"
}

# expect_installed WHAT ACTIVATE REPORT_SIZE: everything a successful run
# leaves. ACTIVATE 1: system.ini names the screen saver; 0: system.ini is as
# saved in $E2E_ART/system.ini.before.
expect_installed() {
  local what=$1
  expect_same "$SCEN_GENERATED/saver.bin" "$SAVER" "$what"
  expect_same "$SCEN_GENERATED/help.bin" "$HELP" "$what"
  expect_content "$LOG" "$EXPECTED_LOG" "$what"
  expect_same "$E2E_PROGRAM" "$UNINSTALLER" "$what"
  expect_report_since "$3" "Zelto 2000 installed successfully."
  expect_reg "$RUNONCE_KEY" vimbaInstall 'REG_SZ|' "$what"
  expect_no_file "$RETRY" "$what"
  expect_uninstall_entry "$what"
  expect_no_temp_copies "$what"
  if [ "$2" = 1 ]; then
    expect_saver_setting "$what"
  else
    cmp -s "$E2E_ART/system.ini.before" "$(upath 'C:\windows\system.ini')" ||
      e2e_fail "$what: system.ini changed although activation was off"
  fi
  e2e_log "$what: installed as expected"
}

save_system_ini() { cp "$(upath 'C:\windows\system.ini')" "$E2E_ART/system.ini.before"; }

# uninstall NAME: runs the uninstall entry's command line, answers the
# closing box and waits for the program's exit.
uninstall() {
  e2e_start "$1" -t 90 "$UNINSTALLER" UNINSTALL
  expect_box "$1-closing" "$TEXT_UNINSTALLED" information "${2:-30000}"
  e2e_expect_exit "$1" 0 30
}

# expect_self_removed WHAT [FILE [BATCH]]: the uninstaller (or FILE, a copy in
# the Windows folder) and its batch file (by default delete.bat) remove
# themselves soon after the exit.
expect_self_removed() {
  local i file=${2:-$UNINSTALLER} batch=${3:-$BATCH}
  for (( i = 0; i < 100; i++ )); do
    ! e2e_exists "$file" && ! e2e_exists "$batch" && { e2e_log "$1: self-removal done after $(( i * 100 )) ms"; return 0; }
    sleep 0.1
  done
  e2e_exists "$file" && e2e_fail "$1: $file is still there 10 s after the exit"
  e2e_fail "$1: $batch is still there 10 s after the exit"
}

# expect_uninstalled WHAT [SAVER]: what a complete uninstallation leaves: no
# product files, no log, no uninstall entry (nor its key), the screen
# saver setting of system.ini and of the desktop (where there is one) empty or
# still naming SAVER, the uninstalled mark, and the uninstaller gone.
expect_uninstalled() {
  local what=$1 saver=${2:-}
  expect_no_file "$SAVER" "$what"
  expect_no_file "$HELP" "$what"
  expect_no_file "$LOG" "$what"
  expect_no_key "$UNINSTALL_KEY" "$what"
  expect_reg "$PRODUCT_KEY" Uninstalled 'REG_DWORD|0x1' "$what"
  local value
  value=$(ini_value boot SCRNSAVE.EXE) || e2e_fail "$what: SCRNSAVE.EXE is gone from system.ini"
  [ "$value" = "$saver" ] || e2e_fail "$what: SCRNSAVE.EXE is '$value', expected '$saver'"
  value=$(reg_value "$DESKTOP_KEY" SCRNSAVE.EXE) || value='REG_SZ|'
  [ "$value" = "REG_SZ|$saver" ] || e2e_fail "$what: the desktop's SCRNSAVE.EXE is '$value', expected '$saver'"
  expect_self_removed "$what"
  e2e_log "$what: uninstalled as expected"
}
