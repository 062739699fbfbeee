#!/usr/bin/env bash
# Writes docs/reliability.md from the "@table|area|what|count|result" lines
# that the reliability tests print, so that every number in it comes from a
# run of tests that can fail.
#   tests/reliability/write-table.sh [LOG...]
# LOG: files holding the tests' output; by default the log of the last CTest
# run of the cross build, build/win/Testing/Temporary/LastTest.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
logs=("$@")
[ ${#logs[@]} -gt 0 ] || logs=("$root/build/win/Testing/Temporary/LastTest.log")
for log in "${logs[@]}"; do
  [ -f "$log" ] || { echo "write-table: no test output in $log (run make test first)" >&2; exit 1; }
done
rows=$(grep -h '^@table|' "${logs[@]}" | tr -d '\r' || true)
[ -n "$rows" ] || { echo "write-table: no @table lines in ${logs[*]}" >&2; exit 1; }
when=$(grep -h -m1 -E '^Start testing: ' "${logs[@]}" | sed 's/^Start testing: //' || true)
[ -n "$when" ] || when=$(date -u -r "${logs[0]}" '+%Y-%m-%d %H:%M UTC')
commit=$(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown)
out=$root/docs/reliability.md
mkdir -p "$root/docs"

{
  cat <<'HEAD'
# Reliability

What the reliability tests tried and what they found. The table is written by
`tests/reliability/write-table.sh` from the output of a test run; every number
in it is printed by a test that fails when its check does not hold.

- **Update headers and install logs** (`reliability_fuzz`): generated inputs, each
  placed at the very end of a readable page with an inaccessible page after it,
  so that a read or write past the input faults at once (a vectored exception
  handler counts such faults even where a system function catches them). The
  update headers go through the package check's record reading and install
  list; the install logs through one removal pass of the uninstaller. After
  every input the invariants are checked: counts within their bounds, totals
  equal to the entries, names terminated within their fields and naming files
  in their own folders; no file deleted that the log does not name, every
  listed file removed, success only when nothing listed is left, files in use
  kept, canary files outside the scratch folder untouched. The seed is fixed
  and printed; `reliability_fuzz SEED` repeats a run.
- **Long texts** (`reliability_tests`, LongTexts and LongPaths): every path and
  message builder with inputs of 0 to 3000 characters and outputs of 1 to 2000
  bytes, both against guard pages: nothing written or read past, messages cut,
  paths whole or refused.
- **Leaks** (`reliability_tests`, Leaks): GDI objects, USER objects and kernel
  handles counted before and after long sessions. Under Wine 8,
  `GetGuiResources` and `GetProcessHandleCount` answer 0, so the counts come
  from the process's GDI handle table (each entry confirmed by
  `GetObjectType`), from probing every USER handle value (windows of the
  process, menus, icons) and every handle value (`GetHandleInformation`); the
  first leak test checks that these counts follow objects made and freed.
- **Reproducible build** (`reproducible-build.sh`): two clean builds of the same
  commit in two folders, seconds apart, under different time zones and umasks,
  compared byte for byte.

HEAD
  echo "Run of $when, tree $commit."
  echo
  echo "| Area | What | Count | Result |"
  echo "|---|---|---:|---|"
  last_area=
  while IFS='|' read -r _ area what count result; do
    shown=$area
    [ "$area" = "$last_area" ] && shown=
    last_area=$area
    [[ $count =~ ^[0-9]+$ ]] && count=$(sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<<"$count")
    [ -n "$result" ] || result=" "
    echo "| $shown | $what | $count | $result |"
  done <<<"$rows"
  echo
  failed=$(grep -c -E '\|(FAILED|FAULT|DIFFERENT)$' <<<"$rows" || true)
  if [ "$failed" -gt 0 ]; then
    echo "$failed rows failed; the tests' output names each failing input and check."
  else
    echo "Every row held."
  fi
} >"$out"
echo "wrote $out ($(grep -c . <<<"$rows") rows)"
