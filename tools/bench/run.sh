#!/usr/bin/env bash
# make bench: our installer side by side with two NSIS installers of the same
# product, built here from the same payload files: one with the same screens
# before its first page as ours (tools/bench/zelto-screens.nsi: a gradient
# background and a "checking" window) and the leanest one (tools/bench/zelto.nsi),
# run under Wine in one run, in turn, a fixed number of times, each run in a
# fresh copy of one Wine prefix. Prints a table (medians, min-max spreads, the
# ratios of ours to each) with the machine and the Wine version, checks the
# goals, and writes the plot (docs/bench.png, by tools/bench/plot.gp).
#
# Measured:
#   size        the file, and its code overhead: the file without its embedded
#               data (ours: without its RES_FILE and RES_GIF resources; NSIS:
#               the stub, the bytes before its first header)
#   page        from starting the installer (Wine's desktop already up) to its
#               first wizard page shown
#   backdrop    from the same start to the first complete paint of the
#               full-screen background on the screen (ours and the NSIS
#               installer with the same screens; the lean one has none)
#   done        from pressing Finish (NSIS: Install) to the success message
#   uninstall   from starting C:\windows\vmbUninst.exe UNINSTALL to its
#               closing message
#   memory      the installer process's peak resident size (VmHWM) when the
#               success message shows
#   packer      build/host/szddpack against mscompress on the same files
#   scaling     page and done of test builds with about 100 KB to 10 MB of
#               packed files (tools/bench/variant.sh)
#   self-check  the installer's check of its own file (image checksum) on the
#               largest test build, timed on its own (tools/bench/checktime.cpp
#               with build/win's core library), against that build's page
#   saver       the screen saver's processor time over 10 s of a full-screen
#               run, as a share of one core (its test robot's cpu mode)
# The times come from tools/bench/stopwatch.cpp, which starts the program or
# presses its button and polls for the result every millisecond; the robot
# (tests/e2e/robot.cpp) does the steps in between and checks what it sees.
# Every run is checked: files, system.ini and registry after the install and
# after the uninstall.
#
# Goals (exit code 1 when one is missed, after the report; BENCH_GOALS=report
# exits 0 anyway): our code overhead at most 0.6 of the NSIS zlib stub (a
# ratio, so that it follows the stub: 54,681 bytes against 91,136); page and backdrop at most
# 1.0 against the NSIS installer with the same screens, done and uninstall at
# most 1.0 against both (each the median of the ratios of runs made back to
# back; the lean installer's page ratio is reported only); done of the
# scaling builds growing in line with the bytes (the cost per MB from the
# second-largest to the largest build at most 1.5 times that of the step
# before, from each build's fastest run); the self-check at most
# 2 % of the largest build's page (medians); the screen saver under a tenth of
# a core.
#
# Settings: BENCH_REPS (7), BENCH_SCALE_REPS (5), BENCH_SCALE_KB
# ("100 1000 3000 10000"), BENCH_CHECK_REPS (15), BENCH_OUT (build/bench),
# BENCH_PLOT (docs/bench.png), BENCH_DISPLAY (first X display number tried, 500).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
source "$root/tests/e2e/lib.sh"

bench=$root/tools/bench
out=${BENCH_OUT:-$root/build/bench}
reps=${BENCH_REPS:-7}
scale_reps=${BENCH_SCALE_REPS:-5}
scale_kb=${BENCH_SCALE_KB:-"100 1000 3000 10000"}
check_reps=${BENCH_CHECK_REPS:-15}
plot_png=${BENCH_PLOT:-$root/docs/bench.png}
template=/tmp/wp-bench-template
# The run prefix is this run's own: two benchmarks at once do not share it.
prefix=/tmp/wp-bench-run.$$
ours_exe=$root/build/Zelto2000Setup.exe
gen=$root/build/win/generated
licence=$root/payload/licenseEval.txt
robot_exe=$root/build/win/tests/e2e/robot.exe
saver_dir=$root/build/win/payload/screensaver
szddpack=$root/build/host/szddpack
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zelto2000'
product_key='HKLM\Software\Ostrell Zuvak\vimbaTressil'
started=$SECONDS
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

die() {
  echo "bench: $*" >&2
  [ -f "${log:-}" ] && echo "bench: the log is $log" >&2
  exit 1
}

bash "$bench/deps.sh" || die "the benchmark's packages are missing"
core=$root/build/win/src/libzeltocore.a
for f in "$ours_exe" "$gen/saver.bin" "$gen/help.bin" "$licence" "$robot_exe" "$szddpack" "$core" \
         "$saver_dir/saverbot.exe" "$saver_dir/Zelto 2000.Scr"; do
  [ -f "$f" ] || die "$f is missing (run make build first)"
done
rm -rf "$out/scale" "$out/pack"
mkdir -p "$out" "$(dirname "$plot_png")"
log=$out/bench.log
: >"$log"

cleanup() {
  trap - EXIT
  wine_stop_prefix "$prefix"
  rm -rf "$prefix"
  xvfb_stop
}
trap cleanup EXIT
trap 'echo "bench: interrupted" >&2; exit 130' INT TERM HUP

# ---------------------------------------------------------------- builds

echo "Building the stopwatch and the NSIS installer"
i686-w64-mingw32-g++-posix -Os -fno-exceptions -fno-rtti -Wall -Wextra -static -s -mconsole \
  -o "$out/stopwatch.exe" "$bench/stopwatch.cpp" -lgdi32 -luser32 || die "cannot build the stopwatch"
i686-w64-mingw32-g++-posix -Os -fno-exceptions -fno-rtti -Wall -Wextra -static -s -mconsole \
  -I "$root/src" -o "$out/checktime.exe" "$bench/checktime.cpp" "$core" || die "cannot build checktime"
nsis_exe=$out/zelto-nsis.exe
makensis -V1 -DSAVER="$gen/saver.bin" -DHELP="$gen/help.bin" -DLICENCE="$licence" \
  -DOUTFILE="$nsis_exe" "$bench/zelto.nsi" >>"$log" 2>&1 || die "makensis failed"
screens_exe=$out/zelto-screens.exe
makensis -V1 -DSAVER="$gen/saver.bin" -DHELP="$gen/help.bin" -DLICENCE="$licence" \
  -DOUTFILE="$screens_exe" "$bench/zelto-screens.nsi" >>"$log" 2>&1 || die "makensis failed (screens)"
# The same payload through our own build path: the scaling builds are made
# this way, so they must give the installer under test.
bash "$bench/variant.sh" 0 "$out/scale/0" >>"$log" 2>&1 || die "cannot link a test build"
selfcheck=$(cat "$out/scale/0/selfcheck")
for kb in $scale_kb; do
  echo "Building the test builds with about $kb KB of packed files"
  bash "$bench/variant.sh" "$kb" "$out/scale/$kb" >>"$log" 2>&1 || die "cannot build the $kb KB test builds"
done

# ---------------------------------------------------------------- statistics

# stats [DECIMALS] < numbers: median min max (the median of an even count is
# the mean of the middle two), with one decimal unless told.
stats() {
  sort -g | awk -v d="${1:-1}" '{ v[NR] = $1 } END {
    if (NR == 0) { print "nan nan nan"; exit }
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    f = "%." d "f"
    printf f " " f " " f "\n", m, v[1], v[NR] }'
}

# column FILE KIND N: column N of the rows of FILE whose second field is KIND.
column() { awk -v k="$2" -v n="$3" '$2 == k { print $n }' "$1"; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "nan"; else printf "%.2f\n", a / b }'; }

# ---------------------------------------------------------------- sizes

size() { stat -c %s "$1"; }
ours_size=$(size "$ours_exe")
ours_data=$(perl "$bench/pesize.pl" resources "$ours_exe" |
            awk '$1 == "RES_FILE" || $1 == "RES_GIF" { s += $3 } END { print s + 0 }')
ours_overhead=$(( ours_size - ours_data ))
# The same number from the other side: the sizes of the files the resource
# script embeds (the payload script names them).
embedded_sum=0
while read -r f; do
  embedded_sum=$(( embedded_sum + $(size "$f") ))
done < <(sed -n 's/^[^ ]* RES_\(FILE\|GIF\) "\(.*\)"$/\2/p' "$gen/payload.rc")
[ "$embedded_sum" -eq "$ours_data" ] ||
  die "the resource section holds $ours_data bytes of payload, the payload files $embedded_sum"
nsis_size=$(size "$nsis_exe")
screens_size=$(size "$screens_exe")
screens_stub=$(perl "$bench/pesize.pl" nsis "$screens_exe")
[ "$screens_stub" != none ] || die "no NSIS header found in $screens_exe"
nsis_stub=$(perl "$bench/pesize.pl" nsis "$nsis_exe")
[ "$nsis_stub" != none ] || die "no NSIS header found in $nsis_exe"
# Where our overhead goes: the sections in the file, the resources besides the
# payload, and from the map file whose code and data the sections hold.
section() { perl "$bench/pesize.pl" sections "$ours_exe" | awk -v s="$1" '$1 == s { n += $2 } END { print n + 0 }'; }
resource() { perl "$bench/pesize.pl" resources "$ours_exe" | awk -v t="$1" '$1 == t { s += $3 } END { print s + 0 }'; }
sections_total=$(perl "$bench/pesize.pl" sections "$ours_exe" | awk '{ s += $2 } END { print s }')
code_data=0
for name in .code .text .rdata .data .eh_fram .CRT .tls; do code_data=$(( code_data + $(section "$name") )); done
icons=$(( $(resource 3) + $(resource 14) ))
rsrc_other=$(( $(section .rsrc) - ours_data - icons - $(resource 5) - $(resource 6) ))
map=$root/build/win/src/Zelto2000Setup.map
origin() {
  [ -f "$map" ] || { echo "?"; return; }
  perl "$bench/pesize.pl" map "$map" |
    awk -v o="$1" '$2 == o && $1 ~ /^\.(code|text|rdata|data|eh_frame|CRT|tls)$/ { s += $3 } END { print s + 0 }'
}
overhead_parts="headers $(( ours_size - sections_total )); code, constant and data sections $code_data"
overhead_parts+=" (ours $(origin ours), MinGW start-up, TLS support and libgcc $(origin runtime),"
overhead_parts+=" import thunks $(origin imports), the rest section alignment);"
overhead_parts+=" import tables inside .rdata; relocations $(section .reloc);"
overhead_parts+=" resources besides the payload $(( $(section .rsrc) - ours_data )) (icons $icons,"
overhead_parts+=" dialogs $(resource 5), strings $(resource 6), directory and alignment $rsrc_other)"
nsis_stub_file=/usr/share/nsis/Stubs/zlib-x86-ansi
nsis_stub_shipped=$(size "$nsis_stub_file" 2>/dev/null || echo 0)

# ---------------------------------------------------------------- packer

echo "Packer: szddpack against mscompress"
pack_dir=$out/pack
mkdir -p "$pack_dir"
cp "$gen/saver.bin" "$pack_dir/saver.bin"
cp "$gen/help.bin" "$pack_dir/help.bin"
cp "$licence" "$pack_dir/licence.txt"
# A larger file for the packing speed: 4 MB of the largest test build's data.
big_kb=$(tr ' ' '\n' <<<"$scale_kb" | sort -n | tail -n1)
cat "$out/scale/$big_kb"/data*.bin "$gen/saver.bin" | head -c 4194304 >"$pack_dir/data.bin"
: >"$out/pack.tsv"
usec() { echo "${EPOCHREALTIME/[.,]/}"; }
for file in saver.bin help.bin licence.txt data.bin; do
  in=$pack_dir/$file
  for (( r = 1; r <= reps; r++ )); do
    t=$(usec)
    "$szddpack" "$in" "$in.szdd" || die "szddpack failed on $file"
    t_ours=$(( $(usec) - t ))
    rm -f "${in}_"
    t=$(usec)
    mscompress "$in" >/dev/null 2>&1 || die "mscompress failed on $file"
    t_ms=$(( $(usec) - t ))
    echo "$file ours $t_ours $(size "$in.szdd")" >>"$out/pack.tsv"
    echo "$file mscompress $t_ms $(size "${in}_")" >>"$out/pack.tsv"
  done
  # Both must give the file back.
  msexpand <"$in.szdd" 2>/dev/null | cmp -s - "$in" || die "szddpack's $file does not expand to the file"
  msexpand <"${in}_" 2>/dev/null | cmp -s - "$in" || die "mscompress's $file does not expand to the file"
done

# ---------------------------------------------------------------- Wine runs

xvfb_start "${BENCH_DISPLAY:-500}" || die "cannot start Xvfb"
export WINEARCH=win32 WINEDEBUG=-all
wine_make_template "$template" >>"$log" 2>&1 || die "cannot make the Wine prefix $template"

robot() {
  local output rc
  { printf '## robot'; printf ' %q' "$@"; echo; } >>"$log"
  output=$(timeout 90 wine 'C:\bench\robot.exe' "$@" 2>>"$log")
  rc=$?
  printf '%s\n' "${output//$'\r'/}" >>"$log"
  return $rc
}

# stopwatch ARGS...: the milliseconds that the stopwatch measured, and with -b
# the backdrop's after a blank. Its output goes to a file: a program it starts
# inherits the output, and a pipe would stay open until that program ends.
stopwatch() {
  local output rc
  { printf '## stopwatch'; printf ' %q' "$@"; echo; } >>"$log"
  timeout 90 wine 'C:\bench\stopwatch.exe' "$@" >"$out/stopwatch.out" 2>>"$log"
  rc=$?
  output=$(tr -d '\r' <"$out/stopwatch.out")
  echo "$output" >>"$log"
  [ $rc -eq 0 ] && [[ $output =~ ms=([0-9.]+)( backdrop=([0-9.]+))? ]] || return 1
  if [ -n "${BASH_REMATCH[3]}" ]; then echo "${BASH_REMATCH[1]} ${BASH_REMATCH[3]}"; else echo "${BASH_REMATCH[1]}"; fi
}

# The Linux process of a Windows program started in our prefix as PATH.
unix_pid() {
  local p
  for p in /proc/[0-9]*; do
    # Processes come and go meanwhile: a vanished one is no error.
    [[ $(tr '\0' '\n' 2>/dev/null <"$p/cmdline" | head -n1) == "$1" ]] || continue
    tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qx "WINEPREFIX=$prefix" || continue
    echo "${p#/proc/}"
    return 0
  done
  return 1
}

wait_gone() {
  local i
  for (( i = 0; i < $2 * 20; i++ )); do
    [ -e "/proc/$1" ] || return 0
    sleep 0.05
  done
  return 1
}

# A fresh copy of the template prefix with its own wineserver, and Wine's
# desktop process already up (the robot's first look starts it), as a user's
# desktop is before an installer starts: its start-up is no part of either
# installer's time.
fresh_prefix() {
  wine_prefix_from_template "$template" "$prefix" >>"$log" 2>&1 || die "cannot copy the Wine prefix"
  mkdir -p "$prefix/drive_c/bench" "$prefix/drive_c/Setup"
  cp "$out/stopwatch.exe" "$out/checktime.exe" "$robot_exe" "$prefix/drive_c/bench/"
  robot "list" || die "the robot does not run"
}

scrnsave() { tr -d '\r' <"$(e2e_path 'C:\windows\system.ini')" | sed -n 's/^SCRNSAVE\.EXE=//Ip'; }

# check_installed KIND DIR: the files (DIR's data files too, for a test
# build), the screen saver setting and the uninstall entry.
check_installed() {
  local kind=$1 dir=${2:-} f value
  cmp -s "$(e2e_path 'C:\windows\system32\Zelto 2000.Scr')" "$gen/saver.bin" ||
    die "$kind: Zelto 2000.Scr is not installed"
  cmp -s "$(e2e_path 'C:\windows\system32\Zeltohlp.Hlp')" "$gen/help.bin" ||
    die "$kind: Zeltohlp.Hlp is not installed"
  if [ -n "$dir" ]; then
    for f in "$dir"/data*.bin; do
      [ -e "$f" ] || continue
      local n=${f##*/data}
      cmp -s "$(e2e_path "C:\\windows\\system32\\Zdata$n")" "$f" || die "$kind: Zdata$n is not installed"
    done
  fi
  value=$(scrnsave)
  shopt -s nocasematch
  [[ $value =~ ^C:\\windows\\system32\\[^\\\ ]{1,8}\.SCR$ ]] ||
    { shopt -u nocasematch; die "$kind: SCRNSAVE.EXE is '$value', not the saver's short path"; }
  shopt -u nocasematch
  [ -f "$(e2e_path 'C:\windows\vmbUninst.exe')" ] || die "$kind: no uninstaller"
  [ "$(e2e_reg_query "$uninstall_key" DisplayName)" = "Zelto 2000 ScreenSaver" ] ||
    die "$kind: no DisplayName"
  [ "$(e2e_reg_query "$uninstall_key" UninstallString)" = 'C:\windows\vmbUninst.exe UNINSTALL' ] ||
    die "$kind: no UninstallString"
}

check_uninstalled() {
  local kind=$1 i
  for (( i = 0; i < 200; i++ )); do
    e2e_exists 'C:\windows\vmbUninst.exe' || break
    sleep 0.05
  done
  e2e_exists 'C:\windows\vmbUninst.exe' && die "$kind: the uninstaller is still there"
  e2e_exists 'C:\windows\system32\Zelto 2000.Scr' && die "$kind: Zelto 2000.Scr is still there"
  e2e_exists 'C:\windows\system32\Zeltohlp.Hlp' && die "$kind: Zeltohlp.Hlp is still there"
  [ -z "$(scrnsave)" ] || die "$kind: SCRNSAVE.EXE is still set"
  e2e_reg_query "$uninstall_key" DisplayName >/dev/null && die "$kind: DisplayName is still there"
  e2e_reg_query "$uninstall_key" UninstallString >/dev/null && die "$kind: UninstallString is still there"
  [ "$(e2e_reg_query "$product_key" Uninstalled)" = 0x1 ] || die "$kind: Uninstalled is not 1"
}

# install_run KIND EXE UNINSTALL [DIR]: one install (and uninstall when
# UNINSTALL is 1) in a fresh prefix; KIND is ours, screens (the NSIS installer
# with the same screens) or nsis (the lean one). Sets R_PAGE R_BACKDROP (0 for
# the lean one, which has no backdrop) R_DONE R_UNINSTALL R_PEAK.
# Each kind's file name in the prefix, its first page's control, and the class
# of its full-screen background window (the NSIS gradient window's is _Nb).
declare -A installer_name=([ours]=Zelto2000Setup.exe [screens]=zelto-screens.exe [nsis]=zelto-nsis.exe)
declare -A first_page_id=([ours]=12324 [screens]=1 [nsis]=1)
declare -A backdrop_class=([ours]=vimbaInstaller [screens]=_Nb)
install_run() {
  local kind=$1 exe=$2 uninstall=$3 dir=${4:-} name=${installer_name[$1]} pid
  R_PAGE= R_BACKDROP=0 R_DONE= R_UNINSTALL=0 R_PEAK=
  echo "#### $kind $exe" >>"$log"
  fresh_prefix
  cp "$exe" "$prefix/drive_c/Setup/$name"
  local path="C:\\Setup\\$name" backdrop=${backdrop_class[$kind]:-}
  if [ -n "$backdrop" ]; then
    read -r R_PAGE R_BACKDROP < <(stopwatch -b "$backdrop" page "${first_page_id[$kind]}" "$path") &&
      [ -n "$R_BACKDROP" ] || die "$kind: no wizard page or no backdrop"
  else
    R_PAGE=$(stopwatch page "${first_page_id[$kind]}" "$path") || die "$kind: no wizard page"
  fi
  if [ "$kind" = ours ]; then
    # Welcome, then Next opens the licence dialog; Apply Options; Finish.
    robot "window class=#32770 title=Welcome" "sheet next" \
      "window class=#32770 title=\"Software License Agreement\" timeout=10000" "press id=101" "gone" \
      "window class=#32770 title=\"Apply Options\" timeout=10000" "assert id=9 checked=1" "sheet next" \
      "window class=#32770 title~=Finish timeout=10000" || die "ours: the wizard went wrong"
    R_DONE=$(stopwatch press 12325 "installed successfully") || die "ours: no success message"
  else
    # The licence page, then the components page, whose Install starts it.
    robot "window class=#32770 title~=\"License Agreement\"" "press id=1" \
      "window class=#32770 title~=\"Installation Options\" timeout=10000" || die "nsis: the wizard went wrong"
    R_DONE=$(stopwatch press 1 "installed successfully") || die "$kind: no success message"
  fi
  pid=$(unix_pid "$path") || die "$kind: cannot find the installer's process"
  R_PEAK=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
  robot "msgbox text~=\"installed successfully\"" "press ok" "gone" || die "$kind: the success message went wrong"
  # An NSIS installer under Wine has at times stayed after its last message
  # (once in about a hundred runs): its times are taken by then, and the
  # prefix's end takes it away; the report counts such runs. Ours must end.
  if ! wait_gone "$pid" 20; then
    [ "$kind" = ours ] && die "ours: the installer did not end"
    echo "# $kind: the installer did not end within 20 s of its last message" >>"$log"
    stayed=$(( stayed + 1 ))
  fi
  check_installed "$kind" "$dir"
  if [ "$uninstall" = 1 ]; then
    R_UNINSTALL=$(stopwatch box "fully uninstalled" 'C:\windows\vmbUninst.exe' UNINSTALL) ||
      die "$kind: the uninstaller showed no closing message"
    robot "msgbox text~=\"fully uninstalled\"" "press ok" "gone" || die "$kind: the closing message went wrong"
    check_uninstalled "$kind"
  fi
  wine_stop_prefix "$prefix"
  rm -rf "$prefix"
}

stayed=0  # NSIS runs whose installer did not end by itself
echo "Install and uninstall, $reps times each, in turn (after one warm-up run each)"
: >"$out/runs.tsv"   # round kind page done uninstall peak backdrop
orders=("ours screens nsis" "screens nsis ours" "nsis ours screens")
declare -A installer_exe=([ours]=$ours_exe [screens]=$screens_exe [nsis]=$nsis_exe)
for (( r = 0; r <= reps; r++ )); do
  for kind in ${orders[r % 3]}; do
    install_run "$kind" "${installer_exe[$kind]}" 1
    [ "$r" -eq 0 ] && continue
    echo "$r $kind $R_PAGE $R_DONE $R_UNINSTALL $R_PEAK $R_BACKDROP" >>"$out/runs.tsv"
    printf '  run %d %-7s  backdrop %7.1f ms  page %7.1f ms  done %7.1f ms  uninstall %7.1f ms  peak %6d KB\n' \
      "$r" "$kind" "$R_BACKDROP" "$R_PAGE" "$R_DONE" "$R_UNINSTALL" "$R_PEAK"
  done
done

echo "Scaling: $scale_reps runs of each test build"
: >"$out/scale.tsv"
for (( r = 1; r <= scale_reps; r++ )); do
  for kb in $scale_kb; do
    read -r files packed expanded <"$out/scale/$kb/info"
    order="ours nsis"
    (( r % 2 )) || order="nsis ours"
    for kind in $order; do
      install_run "$kind" "$out/scale/$kb/$kind.exe" 0 "$out/scale/$kb"
      echo "$kb $kind $packed $expanded $files $R_PAGE $R_DONE $(size "$out/scale/$kb/$kind.exe")" >>"$out/scale.tsv"
      printf '  run %d %-4s %6d KB packed in %2d files  page %7.1f ms  done %7.1f ms\n' \
        "$r" "$kind" "$(( packed / 1024 ))" "$files" "$R_PAGE" "$R_DONE"
    done
  done
done

# The self-check alone, on the largest test build just copied into a fresh
# prefix (as it is before each of its runs).
echo "Self-check: the installer's check of its own file on the $big_kb KB test build"
fresh_prefix
cp "$out/scale/$big_kb/ours.exe" "$prefix/drive_c/Setup/Zelto2000Setup.exe"
timeout 90 wine 'C:\bench\checktime.exe' 'C:\Setup\Zelto2000Setup.exe' "$check_reps" >"$out/checktime.out" 2>>"$log" ||
  die "checktime failed: $(tr -d '\r' <"$out/checktime.out")"
tr -d '\r' <"$out/checktime.out" | tee -a "$log" | sed -n 's/^intact=1 ms=//p' >"$out/checktime.tsv"
[ "$(wc -l <"$out/checktime.tsv")" -eq "$check_reps" ] || die "checktime gave no $check_reps times"

echo "Screen saver: processor time over 10 s of a full-screen run"
fresh_prefix
saver_cpu=$(timeout 120 wine "$saver_dir/saverbot.exe" "$saver_dir/Zelto 2000.Scr" cpu 2>>"$log" |
            tr -d '\r' | tee -a "$log" | sed -n 's/^# processor time of \/s: \([0-9.]*\)% of one core$/\1/p')
[ -n "$saver_cpu" ] || die "the screen saver's processor time was not measured"
echo "  $saver_cpu% of one core"
wine_stop_prefix "$prefix"
rm -rf "$prefix"
xvfb_stop

# ---------------------------------------------------------------- report

# Summaries for the table and the plot.
# measure, then ours, NSIS with the same screens, lean NSIS, ours/same screens
# per pair, ours/lean per pair: median min max each
summary=$out/summary.tsv
: >"$summary"
# Each run of ours is paired with the run of each NSIS installer of the same
# round (the three ran back to back), and the ratio taken per pair: the
# machine's load, which changes from minute to minute, weighs on both halves
# of a pair alike.
paired() {  # paired N PEER
  awk -v n="$1" -v peer="$2" '$2 == "ours" { o[$1] = $n } $2 == peer { s[$1] = $n }
    END { for (r in o) if (r in s && s[r] > 0) print o[r] / s[r] }' "$out/runs.tsv" | stats 2
}
for m in "7 backdrop 1" "3 page 1" "4 done 1" "5 uninstall 1" "6 peak 0"; do
  read -r n key decimals <<<"$m"
  echo "$key $(column "$out/runs.tsv" ours "$n" | stats "$decimals")" \
       "$(column "$out/runs.tsv" screens "$n" | stats "$decimals")" \
       "$(column "$out/runs.tsv" nsis "$n" | stats "$decimals")" \
       "$(paired "$n" screens) $(paired "$n" nsis)" >>"$summary"
done
scale_summary=$out/scale-summary.tsv  # kb packed files, then ours page, NSIS page, ours done, NSIS done: median min max
: >"$scale_summary"
for kb in $scale_kb; do
  read -r files packed expanded <"$out/scale/$kb/info"
  line="$kb $packed $files $expanded"
  for cell in "ours 6" "nsis 6" "ours 7" "nsis 7"; do
    line+=" $(awk -v kb="$kb" -v k="${cell% *}" -v n="${cell#* }" '$1 == kb && $2 == k { print $n }' \
                "$out/scale.tsv" | stats)"
  done
  echo "$line" >>"$scale_summary"
done
echo "overhead $ours_overhead $screens_stub $nsis_stub" >"$out/sizes.tsv"
echo "file $ours_size $screens_size $nsis_size" >>"$out/sizes.tsv"

# cell FILE KEY N: "median (min-max)" from columns N..N+2 of FILE's row KEY.
cell() { awk -v k="$2" -v n="$3" '$1 == k { printf "%s (%s-%s)\n", $n, $(n+1), $(n+2) }' "$1"; }
value() { awk -v k="$2" -v n="$3" '$1 == k { print $n }' "$1"; }
line() { local w; printf '|'; for w in "$@"; do printf -- '-%.0s' $(seq 1 $(( w + 2 ))); printf '|'; done; echo; }
row() { printf '| %-36s | %-22s | %-22s | %-22s | %-18s | %-18s |\n' "$@"; }

report=$out/bench.txt
{
  echo "Zelto 2000 Setup against NSIS $(makensis -VERSION 2>/dev/null), $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "Machine: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1), $(nproc) cores," \
       "$(awk '/MemTotal/ { printf "%.0f GB", $2 / 1048576 }' /proc/meminfo)," \
       "$(uname -sr), Debian $(cat /etc/debian_version 2>/dev/null)"
  echo "Wine: $(wine --version 2>/dev/null) on Xvfb 1024x768x24, a fresh copy of one prefix per run;" \
       "load average at the start: $load_start, at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "$reps runs of each installer, in turn, after one warm-up run each: median (min-max);"
  echo "NSIS same screens: zelto-screens.nsi (gradient background, banner, licence page); lean NSIS: zelto.nsi;"
  echo "ours/...: the ratio in each round (the three ran back to back), median (min-max); sizes: plain ratios"
  echo
  row measure ours "NSIS same screens" "lean NSIS" "ours/same screens" "ours/lean"
  line 36 22 22 22 18 18
  row "file size (bytes)" "$ours_size" "$screens_size" "$nsis_size" "$(ratio "$ours_size" "$screens_size")" \
    "$(ratio "$ours_size" "$nsis_size")"
  row "code overhead (bytes)" "$ours_overhead" "$screens_stub" "$nsis_stub" \
    "$(ratio "$ours_overhead" "$screens_stub")" "$(ratio "$ours_overhead" "$nsis_stub")"
  for m in "backdrop start to first painted backdrop (ms)" "page start to first wizard page (ms)" \
           "done Finish to success message (ms)" "uninstall uninstaller start to end (ms)" \
           "peak installer peak memory (KB)"; do
    key=${m%% *}
    lean=$(cell "$summary" "$key" 8)
    lean_ratio=$(cell "$summary" "$key" 14)
    [ "$key" = backdrop ] && lean="(none)" lean_ratio=""
    row "${m#* }" "$(cell "$summary" "$key" 2)" "$(cell "$summary" "$key" 5)" "$lean" \
      "$(cell "$summary" "$key" 11)" "$lean_ratio"
  done
  echo
  echo "Packer: build/host/szddpack against mscompress, $reps runs each; ms with the process start"
  printf '| %-11s | %-9s | %-20s | %-20s | %-9s | %-10s | %-7s | %-7s |\n' file bytes "szddpack ms" \
    "mscompress ms" szddpack mscompress "size" "time"
  line 11 9 20 20 9 10 7 7
  for file in saver.bin help.bin licence.txt data.bin; do
    read -r tm tmin tmax < <(awk -v f="$file" '$1 == f && $2 == "ours" { print $3 / 1000 }' "$out/pack.tsv" | stats)
    read -r um umin umax < <(awk -v f="$file" '$1 == f && $2 == "mscompress" { print $3 / 1000 }' "$out/pack.tsv" | stats)
    po=$(awk -v f="$file" '$1 == f && $2 == "ours" { print $4; exit }' "$out/pack.tsv")
    pm=$(awk -v f="$file" '$1 == f && $2 == "mscompress" { print $4; exit }' "$out/pack.tsv")
    printf '| %-11s | %-9s | %-20s | %-20s | %-9s | %-10s | %-7s | %-7s |\n' "$file" \
      "$(size "$pack_dir/$file")" "$tm ($tmin-$tmax)" "$um ($umin-$umax)" "$po" "$pm" \
      "$(ratio "$po" "$pm")" "$(ratio "$tm" "$um")"
  done
  echo "(size and time: ours/mscompress; data.bin: 4 MB of the test builds' data files)"
  echo
  echo "Scaling: test builds with more packed files, $scale_reps runs each: median (min-max) in ms"
  printf '| %-9s | %-5s | %-9s | %-20s | %-20s | %-20s | %-20s |\n' packed files expanded \
    "ours page" "NSIS page" "ours done" "NSIS done"
  line 9 5 9 20 20 20 20
  while read -r kb packed files expanded rest; do
    printf '| %-9s | %-5s | %-9s | %-20s | %-20s | %-20s | %-20s |\n' "$packed" "$files" "$expanded" \
      "$(cell "$scale_summary" "$kb" 5)" "$(cell "$scale_summary" "$kb" 8)" \
      "$(cell "$scale_summary" "$kb" 11)" "$(cell "$scale_summary" "$kb" 14)"
  done <"$scale_summary"
  echo
  echo "Screen saver: $saver_cpu% of one core over 10 s of a full-screen run (its test robot, cpu mode)"
} >"$report"

read -r check_ms check_min check_max < <(stats 2 <"$out/checktime.tsv")
big_page=$(awk -v kb="$big_kb" '$1 == kb { print $5 }' "$scale_summary")
check_share=$(awk -v c="$check_ms" -v p="$big_page" 'BEGIN { if (p > 0) printf "%.2f\n", 100 * c / p; else print 100 }')
{
  echo
  echo "Self-check of the installer's own file on the $(stat -c %s "$out/scale/$big_kb/ours.exe")-byte test build," \
       "$check_reps runs: $check_ms ms ($check_min-$check_max), $check_share % of its start to first page ($big_page ms)"
} >>"$report"

# The cost per packed MB of each step from one test build to the next, and
# how the last step compares with the one before: from each build's fastest
# run (column 12), the one least disturbed by whatever else the machine ran.
growth=$(awk '{ b[NR] = $2; t[NR] = $12 } END {
  for (i = 2; i <= NR; i++) { r[i] = (t[i] - t[i-1]) / ((b[i] - b[i-1]) / 1048576); printf "%.1f ", r[i] }
  if (NR < 3) print "| 0"; else if (r[NR - 1] <= 0) print "| 99"; else printf "| %.2f\n", r[NR] / r[NR - 1] }' \
  "$scale_summary")
growth_steps=${growth% |*}
growth_ratio=${growth##*| }

# Columns of the summary: 11 the median ratio per pair against the NSIS
# installer with the same screens, 14 against the lean one.
backdrop_ratio=$(value "$summary" backdrop 11)
page_ratio=$(value "$summary" page 11)
page_lean=$(value "$summary" page 14)
done_ratio=$(value "$summary" done 11)
done_lean=$(value "$summary" done 14)
uninstall_ratio=$(value "$summary" uninstall 11)
uninstall_lean=$(value "$summary" uninstall 14)
missed=0
holds() { awk "BEGIN { exit !($1) }"; }
goal() {  # goal TEXT CONDITION
  if holds "$2"; then echo "  met:    $1"; else echo "  MISSED: $1"; missed=$(( missed + 1 )); fi
}
{
  echo "ours done, ms per packed MB from each test build to the next (fastest runs): $growth_steps"
  echo
  echo "Goals"
  goal "code overhead $ours_overhead <= 0.6 of the NSIS zlib stub, $(( nsis_stub_shipped * 6 / 10 ))" \
    "$ours_overhead * 10 <= $nsis_stub_shipped * 6"
  goal "start to first painted backdrop, ours/NSIS same screens (median per pair) $backdrop_ratio <= 1.0" \
    "$backdrop_ratio <= 1.0"
  goal "start to first wizard page, ours/NSIS same screens (median per pair) $page_ratio <= 1.0" \
    "$page_ratio <= 1.0"
  goal "Finish to success message, ours/NSIS same screens $done_ratio and ours/lean NSIS $done_lean <= 1.0" \
    "$done_ratio <= 1.0 && $done_lean <= 1.0"
  goal "uninstall, ours/NSIS same screens $uninstall_ratio and ours/lean NSIS $uninstall_lean <= 1.0" \
    "$uninstall_ratio <= 1.0 && $uninstall_lean <= 1.0"
  echo "  report: start to first wizard page, ours/lean NSIS (median per pair) $page_lean (no goal)"
  goal "install time in line with the bytes: cost per MB of the last step / the one before = $growth_ratio <= 1.5" \
    "$growth_ratio <= 1.5"
  goal "self-check at $big_kb KB: $check_share % of start to first page <= 2 %" "$check_share <= 2"
  goal "screen saver processor time $saver_cpu% of one core < 10%" "$saver_cpu < 10"
  echo
  echo "NSIS stub as shipped: $nsis_stub_file, $nsis_stub_shipped bytes; in the installer: $nsis_stub bytes."
  echo "Ours: $ours_size bytes, of which $ours_data are embedded data (RES_FILE, RES_GIF resources)."
  echo "Our overhead, bytes in the file: $overhead_parts." | fold -s -w 100
  echo "Where our overhead above 45,056 bytes (half the NSIS bzip2 stub) went:"
  perl "$bench/pesize.pl" overhead "$ours_exe" 45056 | while read -r bytes part; do
    printf '  %6d  %s\n' "$bytes" "$part"
  done
  echo "Test builds, linked from build/win's objects; the one without extra files is the installer under test: $selfcheck."
  echo "NSIS runs whose installer stayed after its last message (taken away with the prefix): $stayed."
} >>"$report"

if gnuplot -e "dir='$out'; out='$plot_png'" "$bench/plot.gp" >>"$log" 2>&1; then
  echo "plot: $plot_png" >>"$report"
else
  echo "plot: gnuplot failed (see $log)" >>"$report"
  missed=$(( missed + 1 ))
fi
echo "report: $report; data: $out/*.tsv; $(( SECONDS - started )) s" >>"$report"
echo
cat "$report"
[ "$missed" -eq 0 ] || [ "${BENCH_GOALS:-check}" = report ] || exit 1
exit 0
