#!/usr/bin/env bash
# The size of the test estate at a commit: non-blank, non-comment lines of
# tests/ and of the tests inside tools/ and payload/ (tools/*/tests,
# payload/*/tests), read from git, so that any two commits compare alike.
#   tools/count-test-lines.sh [REV]        the total (REV: HEAD by default)
#   VERBOSE=1 tools/count-test-lines.sh    each file's count, then the total
# In .c, .cpp, .h and .rc files // lines and /* */ blocks are comments; in the
# others (scripts, CMake files, lists) a line starting with # is one, but not #!.
set -euo pipefail
rev=${1:-HEAD}
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
git -C "$root" archive "$rev" tests tools payload | tar -x -C "$tmp"
cd "$tmp"
total=0
while IFS= read -r f; do
  case "$f" in
    *.c | *.cpp | *.h | *.rc)
      n=$(awk '{
            line = $0; out = ""; i = 1
            while (i <= length(line)) {
              if (inside) {
                p = index(substr(line, i), "*/")
                if (p == 0) i = length(line) + 1; else { i += p + 1; inside = 0 }
              } else {
                two = substr(line, i, 2)
                if (two == "/*") { inside = 1; i += 2 }
                else if (two == "//") break
                else { out = out substr(line, i, 1); i++ }
              }
            }
            gsub(/[ \t\r]/, "", out)
            if (out != "") n++
          }
          END { print n + 0 }' "$f") ;;
    *) n=$(grep -c -v -E '^[[:space:]]*(#([^!]|$)|$)' "$f" || true) ;;
  esac
  [ "${VERBOSE:-0}" = 1 ] && echo "$n $f"
  total=$((total + n))
done < <(find tests tools/*/tests payload/*/tests -type f 2>/dev/null | sort)
echo "$total"
