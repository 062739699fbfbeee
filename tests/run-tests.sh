#!/usr/bin/env bash
# The one test runner (make test, after make build): the host tools' tests,
# then the Windows unit tests and the end-to-end scenarios, which CTest runs
# under Wine. Wine gets a private X server and a 32-bit prefix copied from a
# template that is made once under build/wine/template. The last line printed
# is "N passed, N failed"; the exit code is non-zero when anything failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
source "$root/tests/e2e/lib.sh"

build=${ZELTO_BUILD_DIR:-$root/build}  # another build folder for trying things out
# ZELTO_TESTS=REGEX runs only the CTest tests whose names match (while working on one part);
# with ZELTO_ALL_HOST_TESTS=1 the host tools' tests all run whatever the filter (make check).
filter=${ZELTO_TESTS:-}
host_filter=$filter
[ "${ZELTO_ALL_HOST_TESTS:-0}" = 1 ] && host_filter=
unit=$build/wine/unit
passed=0
failed=0

stop_all() {
  trap - EXIT
  wine_stop_prefix "$unit"
  # A scenario stopped from outside cannot clean up after itself.
  local prefix
  for prefix in "$build"/wine/e2e/*/; do
    [ -d "$prefix" ] || continue
    wine_stop_prefix "$prefix"
    [ "${E2E_KEEP_PREFIX:-0}" = 1 ] || rm -rf "$prefix"
  done
  xvfb_stop
}
trap stop_all EXIT
trap 'echo "run-tests: interrupted" >&2; exit 130' INT TERM HUP

# ctest_run DIR [REGEX]: runs one CTest tree (only the tests whose names match
# REGEX when one is given) and adds its counts to the totals. A tree that is
# missing or whose CTest does not get to its summary counts as one failure.
ctest_run() {
  local dir=$1 log summary args=()
  [ -n "${2:-}" ] && args=(-R "$2")
  echo "== ctest $dir"
  if [ ! -f "$dir/CTestTestfile.cmake" ]; then
    echo "run-tests: no tests in $dir (run make build first)" >&2
    failed=$(( failed + 1 ))
    return
  fi
  log=$(mktemp)
  ctest --test-dir "$dir" "${args[@]}" --output-on-failure --timeout "$(scaled 600)" 2>&1 |
    tee "$log"
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1)
  if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$(( failed + BASH_REMATCH[1] ))
    passed=$(( passed + BASH_REMATCH[2] - BASH_REMATCH[1] ))
  elif ! grep -q 'No tests were found' "$log"; then
    echo "run-tests: ctest in $dir did not finish" >&2
    failed=$(( failed + 1 ))
  fi
  rm -f "$log"
}

ctest_run "$build/host" "$host_filter"

if ! xvfb_start 100; then
  echo "run-tests: cannot start Xvfb (tools/install-deps.sh installs it)" >&2
  failed=$(( failed + 1 ))
elif ! wine_make_template "$build/wine/template"; then
  failed=$(( failed + 1 ))
elif ! wine_prefix_from_template "$build/wine/template" "$unit"; then
  echo "run-tests: cannot make the unit-test prefix $unit" >&2
  failed=$(( failed + 1 ))
elif ! wine_measure_speed "$build/win/tests/e2e/speedref.exe"; then
  echo "run-tests: the reference program $build/win/tests/e2e/speedref.exe did not run" >&2
  failed=$(( failed + 1 ))
else
  # In steps of 50, so that CTest's limits are set again only when the machine changed.
  ZELTO_SLOWDOWN=$(( (ZELTO_SLOWDOWN + 49) / 50 * 50 ))
  how=natively
  wine_emulated && how="through qemu-i386 (tools/emu/setup.sh)"
  echo "Wine: prefix $WINEPREFIX, display $DISPLAY, 32-bit code runs $how;" \
       "speed factor $ZELTO_SLOWDOWN % (time limits scaled by it)"
  if ! grep -qx "ZELTO_SLOWDOWN:STRING=$ZELTO_SLOWDOWN" "$build/win/CMakeCache.txt"; then
    cmake "$build/win" -DZELTO_SLOWDOWN="$ZELTO_SLOWDOWN" >/dev/null
  fi
  ctest_run "$build/win" "$filter"
fi

stop_all
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
