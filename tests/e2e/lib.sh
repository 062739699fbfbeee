# Helpers for end-to-end scenarios (bash; source this file).
#
# A scenario script is started by CTest as
#   bash scenario.sh PROGRAM ROBOT FIXTURE
# and calls e2e_begin "$@" first: that gives it a Wine prefix of its own (a copy
# of the template prefix) with its own wineserver, an artifacts folder
# build/e2e-artifacts/<scenario>/, and a cleanup on every exit. Then it starts
# programs (e2e_start), drives them with the robot (e2e_robot), checks exit
# codes, files and the registry, and ends with e2e_pass. Any failed check calls
# e2e_fail, which saves a screenshot and the window list and exits 1.
#
#   e2e_begin "$@" | e2e_pass | e2e_fail MESSAGE | e2e_winver win98
#   e2e_start NAME [-t S] EXE ARGS | e2e_wait NAME [S] | e2e_expect_exit NAME CODE [S]
#   e2e_check_exit NAME CODE | e2e_expect_running NAME | e2e_kill NAME | e2e_crashed NAME
#   e2e_robot CMD... | e2e_robot_try CMD... | e2e_robot_bg NAME CMD... | e2e_robot_join NAME
#   e2e_field KIND KEY | e2e_expect_field KIND KEY VALUE        (on the last robot output)
#   e2e_path WINPATH | e2e_exists WINPATH | e2e_cat WINPATH | e2e_put FILE WINPATH
#   e2e_reg_query KEY VALUE | e2e_shot NAME | e2e_display WxH [DEPTH]
#   png_rgb FILE WxH+X+Y (pixels as "x y r g b" lines)
#   scaled SECONDS (a time limit times the speed factor, below)
# Inside a scenario: $E2E_PROGRAM (program under test), $E2E_ROBOT, $E2E_FIXTURE,
# $E2E_ART (artifacts folder), $WINEPREFIX; E2E_KEEP_PREFIX=1 keeps the prefix,
# E2E_WINEARCH=win64 (set before e2e_begin) makes it a 64-bit one.
#
# The same file gives tests/run-tests.sh and tools/run-installer.sh the Xvfb and
# template-prefix functions (xvfb_start, xvfb_stop, wine_make_template).

E2E_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# ---------------------------------------------------------------- display

XVFB_PID=

# Starts Xvfb on the first free display number from $1 (default 100) and
# exports DISPLAY. Screen size from XVFB_SIZE (default 1024x768), depth from
# XVFB_DEPTH (default 24).
xvfb_start() {
  local n=${1:-100} depth=${XVFB_DEPTH:-24} size=${XVFB_SIZE:-1024x768} last=$(( ${1:-100} + 100 ))
  for (( ; n < last; n++ )); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "${size}x$depth" -nolisten tcp >/dev/null 2>&1 &
    local pid=$! i
    for (( i = 0; i < 100; i++ )); do
      kill -0 "$pid" 2>/dev/null || break
      # The lock must name our server: another one may have taken the number.
      if [ "$({ tr -d ' \n' <"/tmp/.X$n-lock"; } 2>/dev/null)" = "$pid" ] &&
         xdpyinfo -display ":$n" >/dev/null 2>&1; then
        XVFB_PID=$pid
        export DISPLAY=:$n
        return 0
      fi
      sleep 0.05
    done
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  done
  echo "xvfb_start: no free display found" >&2
  return 1
}

xvfb_stop() {
  [ -n "$XVFB_PID" ] || return 0
  kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=
}

display_works() {
  [ -n "${DISPLAY:-}" ] && timeout 5 xdpyinfo >/dev/null 2>&1
}

# x_shot FILE: a screenshot of the whole screen of $DISPLAY. On a screen of 8
# bits or fewer a Wine program draws through a colormap of its own, which only
# a window manager would install: read through the root window's colormap its
# pixels show the wrong colours. There each mapped top-level window is read
# with its own colormap and laid over the root window's picture, bottom first.
x_shot() {
  local file=$1 depth
  depth=$(timeout 5 xdpyinfo 2>/dev/null | awk '/depth of root window/ {print $5; exit}')
  if [ "${depth:-24}" -gt 8 ]; then
    timeout 20 import -window root -display "$DISPLAY" "$file"
    return
  fi
  local tmp line id x y info args=() i windows=()
  tmp=$(mktemp -d) || return 1
  # The root's children, top-most first: '0x1e00004 "title": (...)  450x360+287+204  +287+204'.
  while IFS= read -r line; do
    [[ $line =~ ^\ +(0x[0-9a-f]+)\ .*\ ([0-9]+)x([0-9]+)[-+0-9]+\ +\+(-?[0-9]+)\+(-?[0-9]+)$ ]] ||
      continue
    (( BASH_REMATCH[2] > 1 && BASH_REMATCH[3] > 1 )) || continue
    windows=("${BASH_REMATCH[1]} ${BASH_REMATCH[4]} ${BASH_REMATCH[5]}" "${windows[@]}")
  done < <(timeout 10 xwininfo -root -children 2>/dev/null)
  if ! timeout 20 import -window root -display "$DISPLAY" "$tmp/root.png"; then
    rm -rf "$tmp"
    return 1
  fi
  args=("$tmp/root.png")
  for (( i = 0; i < ${#windows[@]}; i++ )); do
    read -r id x y <<<"${windows[i]}"
    info=$(timeout 5 xwininfo -id "$id" 2>/dev/null) || continue
    [[ $info == *"Map State: IsViewable"* ]] || continue
    # A window partly off the screen is read as its part on the screen.
    (( x < 0 )) && x=0
    (( y < 0 )) && y=0
    timeout 20 import -window "$id" -display "$DISPLAY" "$tmp/$i.png" 2>/dev/null || continue
    args+=("$tmp/$i.png" -geometry "+$x+$y" -composite)
  done
  convert "${args[@]}" "$file"
  local rc=$?
  rm -rf "$tmp"
  return $rc
}

# png_rgb FILE WxH+X+Y: the pixels of a rectangle of an image, one line
# "x y r g b" each (x and y in the whole image, channels 0 to 255), row by row.
# The rectangle must lie inside the image.
png_rgb() {
  local file=$1
  [[ $2 =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || { echo "png_rgb: bad rectangle $2" >&2; return 2; }
  convert "$file" -crop "$2" +repage -alpha off -depth 8 rgb:- | od -An -v -tu1 -w3 |
    awk -v w="${BASH_REMATCH[1]}" -v x0="${BASH_REMATCH[3]}" -v y0="${BASH_REMATCH[4]}" \
      '{ printf "%d %d %d %d %d\n", x0 + (NR - 1) % w, y0 + int((NR - 1) / w), $1, $2, $3 }'
}

# ---------------------------------------------------------------- speed

# The speed factor, in per cent: how much longer than on the machine where the
# tests' limits were set this one takes for the same work (never below 100). A
# machine that runs Wine's 32-bit side through an emulator is slower, and so is
# a loaded or small one. Every time limit and wait of the tests, and every bound
# on a share of the processor, is scaled by it; CTest's limits too
# (tests/run-tests.sh). It is measured once per run and inherited from there.
ZELTO_SLOWDOWN=${ZELTO_SLOWDOWN:-100}
export ZELTO_SLOWDOWN
# What the reference program took on that machine (best of three, wall clock).
SPEEDREF_MS=100

# wine_measure_speed EXE: times the reference program (tests/e2e/speedref.c),
# best of three runs, in the current prefix, and exports ZELTO_SLOWDOWN.
wine_measure_speed() {
  local i start ms best=
  for i in 1 2 3; do
    start=${EPOCHREALTIME//[.,]/}
    timeout 300 wine "$1" >/dev/null 2>&1 </dev/null || return 1
    ms=$(( (${EPOCHREALTIME//[.,]/} - start) / 1000 ))
    [ -z "$best" ] || [ "$ms" -lt "$best" ] && best=$ms
  done
  ZELTO_SLOWDOWN=$(( best * 100 / SPEEDREF_MS ))
  [ "$ZELTO_SLOWDOWN" -lt 100 ] && ZELTO_SLOWDOWN=100
  export ZELTO_SLOWDOWN
}

# scaled SECONDS: the limit on this machine (rounded up).
scaled() { echo $(( ($1 * ZELTO_SLOWDOWN + 99) / 100 )); }

# Whether 32-bit programs run through the emulator of tools/emu/setup.sh.
wine_emulated() { [ "$(head -n1 /proc/sys/fs/binfmt_misc/zelto-i386 2>/dev/null)" = enabled ]; }

# ---------------------------------------------------------------- Wine prefixes

# A template records how it was made: under the emulator it differs (below).
wine_template_kind() { wine_emulated && echo emulated || echo native; }
wine_template_ready() {
  wine_prefix_has_fonts "$1" &&
    [ "$(cat "$1/.template-complete" 2>/dev/null)" = "$(wine_template_kind)" ]
}

# Windows draws the caption buttons (and the scroll arrows) with the symbol
# font Marlett, in its Fonts folder on every system. Debian's Wine keeps its
# copy in /usr/share/wine/fonts (package fonts-wine), where it does not look:
# it reads the prefix's Fonts folder and what fontconfig knows. Without the
# font the buttons come out as the letters that stand for them ("0 1 r").
WINE_MARLETT=${WINE_MARLETT:-/usr/share/wine/fonts/marlett.ttf}
# wine_prefix_has_fonts DIR: a prefix made, with that font in it.
wine_prefix_has_fonts() { [ -f "$1/system.reg" ] && [ -f "$1/drive_c/windows/Fonts/marlett.ttf" ]; }

# wine_make_template DIR [ARCH]: makes the template prefix DIR once (ARCH
# win32, the default, or win64; window hides without delay, crashes end the
# process instead of opening the debugger's dialog), or leaves a complete one
# alone. Needs DISPLAY. Safe against a second runner at once.
wine_make_template() {
  local dir=$1 arch=${2:-win32} lockfd
  mkdir -p "$(dirname "$dir")"
  exec {lockfd}>"$dir.lock"
  flock -w "$(scaled 300)" "$lockfd" || { echo "wine_make_template: $dir is locked" >&2; return 1; }
  if ! wine_template_ready "$dir"; then
    echo "Making the template Wine prefix $dir"
    rm -rf "$dir"
    (
      export WINEPREFIX=$dir WINEARCH=$arch WINEDEBUG=-all
      # No Mono or Gecko download prompts while the prefix is made.
      WINEDLLOVERRIDES="mscoree,mshtml=" timeout "$(scaled 180)" wineboot -i >/dev/null 2>&1 &&
        cp "$WINE_MARLETT" "$dir/drive_c/windows/Fonts/marlett.ttf" &&
        timeout "$(scaled 60)" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
          >/dev/null &&
        timeout "$(scaled 60)" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
          /t REG_DWORD /d 0 /f >/dev/null &&
        # The debugger cannot attach to an emulated process and would never
        # exit: there a crash ends the process (its message stays on stderr).
        { ! wine_emulated || timeout "$(scaled 60)" wine reg add \
            'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f \
            >/dev/null; } &&
        timeout "$(scaled 60)" wineserver -w
    ) && wine_template_kind >"$dir/.template-complete"
  fi
  local ok=0
  wine_template_ready "$dir" || ok=1
  flock -u "$lockfd"
  exec {lockfd}>&-
  [ $ok -eq 0 ] || echo "wine_make_template: could not make $dir" >&2
  return $ok
}

# wine_prefix_from_template TEMPLATE DIR [ARCH]: copies the template (of ARCH,
# default win32) to DIR (replacing it) and starts a persistent wineserver for
# it. Exports WINEPREFIX, WINEARCH and WINEDEBUG.
wine_prefix_from_template() {
  local template=$1 dir=$2 arch=${3:-win32}
  wine_stop_prefix "$dir"
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  cp -a "$template" "$dir" || return 1
  rm -f "$dir/.template-complete"
  export WINEPREFIX=$dir WINEARCH=$arch WINEDEBUG=-all
  wine_start_server
}

# Starts the persistent wineserver of $WINEPREFIX and Wine's services.
wine_start_server() {
  # wineserver -p returns once the server is up and has gone into the background.
  timeout "$(scaled 30)" wineserver -p || return 1
  # The first program of a new server starts Wine's services (winedevice.exe
  # and others), which inherit its output and live as long as the server: had
  # a test started them, CTest would wait for the end of that test's output
  # until its time limit. A first program writing to /dev/null starts them.
  timeout "$(scaled 60)" wine reg query 'HKCU\Software\Wine' >/dev/null 2>&1 </dev/null
}

wine_stop_prefix() {
  [ -d "$1" ] || return 0
  WINEPREFIX=$1 timeout "$(scaled 20)" wineserver -k >/dev/null 2>&1
  WINEPREFIX=$1 timeout "$(scaled 20)" wineserver -w >/dev/null 2>&1
  return 0
}

# ---------------------------------------------------------------- scenario

declare -gA E2E_PIDS=()
E2E_OUT=
E2E_RC=0
E2E_FAILING=0
E2E_OWN_XVFB=0

e2e_log() { echo "[$E2E_SCENARIO] $*"; }

e2e_begin() {
  [ $# -ge 2 ] || { echo "usage: $0 PROGRAM ROBOT [FIXTURE]" >&2; exit 2; }
  E2E_PROGRAM=$(realpath "$1")
  E2E_ROBOT=$(realpath "$2")
  E2E_FIXTURE=${3:+$(realpath "$3")}
  E2E_SCENARIO=${E2E_SCENARIO:-$(basename "$0" .sh)}
  E2E_ROOT=${E2E_ROOT:-$(cd "$E2E_LIB_DIR/../.." && pwd)}
  E2E_BUILD=${E2E_BUILD:-$E2E_ROOT/build}
  E2E_ART=$E2E_BUILD/e2e-artifacts/$E2E_SCENARIO
  E2E_START_TIME=$SECONDS
  rm -rf "$E2E_ART"
  mkdir -p "$E2E_ART"
  trap e2e_cleanup EXIT
  trap 'e2e_log "stopped by a signal"; exit 143' TERM INT HUP
  [ -f "$E2E_PROGRAM" ] || e2e_fail "no program under test: $1"
  [ -f "$E2E_ROBOT" ] || e2e_fail "no robot: $2"
  if ! display_works; then
    xvfb_start 150 || e2e_fail "no X display"
    E2E_OWN_XVFB=1
  fi
  # E2E_WINEARCH=win64 gives the scenario a 64-bit prefix, from a template of its own.
  local arch=${E2E_WINEARCH:-win32} template=$E2E_BUILD/wine/template
  [ "$arch" = win32 ] || template+=-$arch
  wine_make_template "$template" "$arch" || e2e_fail "no $arch template prefix"
  wine_prefix_from_template "$template" "$E2E_BUILD/wine/e2e/$E2E_SCENARIO" "$arch" ||
    e2e_fail "could not make the scenario's prefix"
  e2e_log "prefix $WINEPREFIX, display $DISPLAY, artifacts $E2E_ART"
}

e2e_cleanup() {
  local rc=$? name
  trap - EXIT
  for name in "${!E2E_PIDS[@]}"; do e2e_kill "$name"; done
  if [ -n "${WINEPREFIX:-}" ] && [ "$WINEPREFIX" = "$E2E_BUILD/wine/e2e/$E2E_SCENARIO" ]; then
    wine_stop_prefix "$WINEPREFIX"
    [ "${E2E_KEEP_PREFIX:-0}" = 1 ] || rm -rf "$WINEPREFIX"
  fi
  [ "$E2E_OWN_XVFB" = 1 ] && xvfb_stop
  e2e_log "finished with $rc after $(( SECONDS - E2E_START_TIME )) s"
  exit $rc
}

# Ends the scenario as passed, unless a program it started has crashed on
# the way, even one whose end the scenario did not wait for.
e2e_pass() {
  local err name
  for err in "$E2E_ART"/*.err; do
    name=$(basename "$err" .err)
    [[ $name == robot* ]] && continue
    e2e_crashed "$name" && e2e_fail "$name crashed: $(grep -m1 -E 'wine: |unimplemented' "$err")"
  done
  e2e_log "PASS"
  exit 0
}

# Fails the scenario: says why, keeps a screenshot and the window list.
# E2E_PROBE=1 (for checking a check in a subshell) only says why and exits 1.
e2e_fail() {
  echo "FAIL [$E2E_SCENARIO]: $*" >&2
  if [ "$E2E_FAILING" = 0 ] && [ -n "${E2E_ART:-}" ] && [ "${E2E_PROBE:-0}" = 0 ]; then
    E2E_FAILING=1
    echo "$*" >"$E2E_ART/failure.txt"
    e2e_shot failure >/dev/null 2>&1
    if [ -n "${WINEPREFIX:-}" ] && [ -f "${E2E_ROBOT:-}" ]; then
      timeout "$(scaled 20)" wine "$E2E_ROBOT" "list" >"$E2E_ART/windows-at-failure.txt" 2>&1
    fi
    echo "artifacts: $E2E_ART" >&2
  fi
  exit 1
}

# Sets the Windows version that Wine reports: win95 win98 winme nt40 win2k winxp win7.
e2e_winver() {
  timeout "$(scaled 30)" wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1 ||
    e2e_fail "could not set the Windows version $1"
}

# ---------------------------------------------------------------- programs

# e2e_start NAME [-t SECONDS] EXE [ARGS...]: starts EXE (a Unix path or a
# Windows path such as 'C:\windows\vmbUninst.exe') in the background under a
# time limit (default 60 s); its output goes to the artifacts as NAME.out/.err.
e2e_start() {
  local name=$1 limit=60
  shift
  if [ "$1" = -t ]; then limit=$2; shift 2; fi
  e2e_log "start $name: $*"
  : >"$E2E_ART/$name.err"
  e2e_spawn "$name" "$(scaled "$limit")" "$E2E_ART/$name.out" "$E2E_ART/$name.err" wine "$@"
}

# e2e_spawn NAME SECONDS OUT ERR COMMAND...: COMMAND in the background under a
# time limit. A subshell stands between, so that the shell's report of a killed
# job goes nowhere and its exit code is the command's (124 at the limit); the
# exit after it keeps bash from replacing the subshell by the command.
e2e_spawn() {
  local name=$1 limit=$2 out=$3 err=$4
  shift 4
  ( timeout -k 5 "$limit" "$@" >"$out" 2>>"$err"; exit $? ) 2>/dev/null &
  E2E_PIDS[$name]=$!
}

# The processes whose parent is PID, from /proc (no ps on a minimal system).
e2e_children() {
  local stat line fields pid
  for stat in /proc/[0-9]*/stat; do
    { read -r line <"$stat"; } 2>/dev/null || continue
    # pid (command) state ppid ...: the command may hold blanks and parentheses.
    read -r -a fields <<<"${line##*) }"
    [ "${fields[1]}" = "$1" ] && { pid=${stat#/proc/}; echo "${pid%/stat}"; }
  done
}

# The processes below PID, deepest first.
e2e_descendants() {
  local child
  for child in $(e2e_children "$1"); do
    e2e_descendants "$child"
    echo "$child"
  done
}

e2e_running() {
  local pid=${E2E_PIDS[$1]:-}
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null
}

# e2e_wait NAME [SECONDS]: waits for NAME to end; E2E_RC is its exit code (the
# low byte of the Windows one), or 255 when it is still running at the limit.
e2e_wait() {
  local name=$1 limit=${2:-30} pid=${E2E_PIDS[$1]:-}
  [ -n "$pid" ] || e2e_fail "e2e_wait: $name was never started"
  local deadline=$(( ${EPOCHREALTIME//[.,]/} / 1000 + limit * 10 * ZELTO_SLOWDOWN ))
  while kill -0 "$pid" 2>/dev/null; do
    if [ $(( ${EPOCHREALTIME//[.,]/} / 1000 )) -ge $deadline ]; then
      E2E_RC=255
      return 255
    fi
    sleep 0.05
  done
  wait "$pid"
  E2E_RC=$?
  unset "E2E_PIDS[$name]"
  return $E2E_RC
}

# Did the program fault? Wine reports an unhandled exception or a call to a
# missing function on stderr; the exit code alone (the low byte of the
# exception code, 5 for an access violation) could pass for an ordinary one.
e2e_crashed() {
  grep -qE 'wine: Unhandled|unimplemented function|wine: could not load' "$E2E_ART/$1.err" 2>/dev/null
}

# e2e_expect_exit NAME CODE [SECONDS]: NAME must end within SECONDS with CODE
# and without a crash. Wine hands on the low 8 bits of a Windows exit code
# (3010 arrives as 194): that is what is compared.
e2e_expect_exit() {
  e2e_wait "$1" "${3:-30}"
  e2e_check_exit "$1" "$2" "${3:-30}"
}

# e2e_check_exit NAME CODE [SECONDS]: the checks of e2e_expect_exit on the
# exit code that the last e2e_wait left in E2E_RC.
e2e_check_exit() {
  local name=$1 code=$2 limit=${3:-30} rc=$E2E_RC
  if e2e_crashed "$name"; then
    e2e_fail "$name crashed (exit code $rc): $(grep -m1 -E 'wine: |unimplemented' "$E2E_ART/$name.err")"
  fi
  case $rc in
    255) e2e_fail "$name did not end within $limit s" ;;
    124|137) e2e_fail "$name ran into its time limit and was killed" ;;
  esac
  [ "$rc" = "$(( code % 256 ))" ] || e2e_fail "$name ended with exit code $rc, expected $code"
  e2e_log "$name ended with $rc"
}

# Fails when NAME has ended (crashed, or quit when it should wait for the user).
e2e_expect_running() {
  e2e_running "$1" && return 0
  e2e_wait "$1" 1
  e2e_crashed "$1" && e2e_fail "$1 crashed: $(grep -m1 -E 'wine: |unimplemented' "$E2E_ART/$1.err")"
  e2e_fail "$1 is not running any more (exit code $E2E_RC)"
}

# Ends NAME: its wine process first, then the time limit around it (killing
# only the latter would leave the program running).
e2e_kill() {
  local name=$1 pid=${E2E_PIDS[$1]:-} child i
  [ -n "$pid" ] || return 0
  for child in $(e2e_descendants "$pid"); do kill -KILL "$child" 2>/dev/null; done
  for (( i = 0; i < 50; i++ )); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  unset "E2E_PIDS[$name]"
}

# ---------------------------------------------------------------- robot

# e2e_robot_try COMMAND...: runs the robot; its output is in E2E_OUT and in
# robot.log, its exit code in E2E_RC (0 held, 1 expectation failed, 2 bad command).
e2e_robot_try() {
  {
    printf '## robot'; printf ' %q' "$@"; printf '\n'
  } >>"$E2E_ART/robot.log"
  # In the background, so that a signal to the scenario is handled at once
  # (bash runs traps during wait, but only after a foreground command ends).
  local out=$E2E_ART/robot-last.out
  e2e_spawn robot "$(scaled "${E2E_ROBOT_LIMIT:-120}")" "$out" "$E2E_ART/robot.err" wine "$E2E_ROBOT" "$@"
  wait "${E2E_PIDS[robot]}"
  E2E_RC=$?
  unset "E2E_PIDS[robot]"
  E2E_OUT=$(tr -d '\r' <"$out")
  printf '%s\n' "$E2E_OUT" | tee -a "$E2E_ART/robot.log"
  return $E2E_RC
}

# e2e_robot COMMAND...: the same, and the scenario fails unless every command held.
e2e_robot() {
  e2e_robot_try "$@" || e2e_fail "robot failed ($E2E_RC): $(grep -m1 -E '^(FAIL|ERROR)' <<<"$E2E_OUT")"
}

# e2e_robot_bg NAME COMMAND...: runs the robot in the background, for watching
# while something else happens; returns once it runs. e2e_robot_join NAME
# collects it and fails the scenario unless every command held.
e2e_robot_bg() {
  local name=$1
  shift
  { printf '## robot (background %s)' "$name"; printf ' %q' "$@"; printf '\n'; } >>"$E2E_ART/robot.log"
  local out=$E2E_ART/robot-$name.out i
  e2e_spawn "robot-$name" "$(scaled "${E2E_ROBOT_LIMIT:-120}")" "$out" "$E2E_ART/robot.err" \
    wine "$E2E_ROBOT" "echo robot-ready" "$@"
  # Returns once the robot is watching.
  for (( i = 0; i < 2 * ZELTO_SLOWDOWN; i++ )); do
    grep -q robot-ready "$out" 2>/dev/null && return 0
    e2e_running "robot-$name" || break
    sleep 0.05
  done
  e2e_fail "the background robot $name did not start"
}

e2e_robot_join() {
  local name=$1
  e2e_wait "robot-$name" "${E2E_ROBOT_LIMIT:-120}"
  E2E_OUT=$(tr -d '\r' <"$E2E_ART/robot-$name.out")
  printf '%s\n' "$E2E_OUT" | tee -a "$E2E_ART/robot.log"
  [ "$E2E_RC" = 0 ] ||
    e2e_fail "robot ($name) failed ($E2E_RC): $(grep -m1 -E '^(FAIL|ERROR)' <<<"$E2E_OUT")"
}

# e2e_field KIND KEY: the value of KEY= on the first output line of that kind
# ("window", "msgbox", "control", ...) of the last robot run, unquoted.
e2e_field() {
  local line quoted=" $2=\"(([^\"\\\\]|\\\\.)*)\"" plain=" $2=([^ ]*)"
  line=$(grep -m1 -E "^$1 " <<<"$E2E_OUT") || return 1
  if [[ $line =~ $quoted ]]; then
    local v=${BASH_REMATCH[1]} out='' i c
    for (( i = 0; i < ${#v}; i++ )); do
      c=${v:i:1}
      if [ "$c" = '\' ]; then
        (( i++ ))
        c=${v:i:1}
        case $c in n) c=$'\n' ;; r) c=$'\r' ;; t) c=$'\t' ;; esac
      fi
      out+=$c
    done
    printf '%s' "$out"
  elif [[ $line =~ $plain ]]; then
    printf '%s' "${BASH_REMATCH[1]}"
  else
    return 1
  fi
}

# e2e_expect_field KIND KEY VALUE: fails unless the field has that value.
e2e_expect_field() {
  local actual
  actual=$(e2e_field "$1" "$2") || e2e_fail "no $1 line with $2= in the robot's output"
  [ "$actual" = "$3" ] || e2e_fail "$1 $2 is '$actual', expected '$3'"
}

# ---------------------------------------------------------------- disk and registry

# e2e_path 'C:\windows\zelto.log': the Unix path of a Windows path in the
# prefix, each part matched without regard to letter case as Windows does.
e2e_path() {
  local win=$1 drive rest dir part match
  drive=$(tr '[:upper:]' '[:lower:]' <<<"${win:0:1}")
  rest=${win:2}
  rest=${rest//\\//}
  dir=$WINEPREFIX/dosdevices/$drive:
  dir=$(realpath "$dir")
  local IFS=/
  for part in $rest; do
    [ -n "$part" ] || continue
    match=
    if [ -d "$dir" ]; then
      match=$(find "$dir" -mindepth 1 -maxdepth 1 -iname "$(sed 's/[][*?\\]/\\&/g' <<<"$part")" \
                -printf '%f\n' 2>/dev/null | head -n1)
    fi
    dir=$dir/${match:-$part}
  done
  printf '%s\n' "$dir"
}

e2e_exists() { [ -e "$(e2e_path "$1")" ]; }
e2e_cat() { cat "$(e2e_path "$1")"; }

# e2e_put FILE 'C:\folder\name.exe': copies a file into the prefix.
e2e_put() {
  local target
  target=$(e2e_path "$2")
  mkdir -p "$(dirname "$target")"
  cp "$1" "$target" || e2e_fail "could not copy $1 to $2"
}

# e2e_reg_query KEY VALUE: prints the value's data; exit code 1 when the key
# or the value is missing. KEY like 'HKLM\Software\...'.
e2e_reg_query() {
  local out
  out=$(timeout "$(scaled 30)" wine reg query "$1" /v "$2" 2>/dev/null) || return 1
  out=${out//$'\r'/}
  local line with_data='^ +(.*) {4}(REG_[A-Z_]+) {4}(.*)$' empty='^ +(.*) {4}(REG_[A-Z_]+)$'
  while IFS= read -r line; do
    if [[ $line =~ $with_data ]] || [[ $line =~ $empty ]]; then
      if [ "${BASH_REMATCH[1]}" = "$2" ] || { [ "$2" = "" ] && [ "${BASH_REMATCH[1]}" = "(Default)" ]; }; then
        printf '%s\n' "${BASH_REMATCH[3]:-}"
        return 0
      fi
    fi
  done <<<"$out"
  return 1
}

# e2e_shot NAME: screenshot of the whole screen into the artifacts as NAME.png.
e2e_shot() {
  x_shot "$E2E_ART/$1.png" 2>/dev/null && e2e_log "screenshot $E2E_ART/$1.png"
}

# e2e_display WxH [DEPTH]: gives the scenario an X server of its own with that
# screen size and colour depth (default 24) in place of the one it had. Wine
# reads the screen when its server starts, so the programs the scenario started
# are ended and the prefix gets a new wineserver.
e2e_display() {
  local name
  for name in "${!E2E_PIDS[@]}"; do e2e_kill "$name"; done
  wine_stop_prefix "$WINEPREFIX"
  [ "$E2E_OWN_XVFB" = 1 ] && xvfb_stop
  E2E_OWN_XVFB=0
  XVFB_SIZE=$1 XVFB_DEPTH=${2:-24} xvfb_start 150 || e2e_fail "no X server of $1 at depth ${2:-24}"
  E2E_OWN_XVFB=1
  wine_start_server || e2e_fail "no wineserver after the change of screen"
  e2e_log "display $DISPLAY: $1 at depth ${2:-24}"
}
