#!/usr/bin/env bash
# Checks a built program against what Windows 95 and NT 4.0 can load: a PE32 GUI
# program of subsystem 4.0 that imports only system libraries, and from them
# only functions on the reviewed list (each present on both systems).
set -euo pipefail
exe=$1
allowed=$2
map=${3:-}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
dump=$("$objdump" -p "$exe")
fail=0
grep -q 'file format pei-i386' <<<"$(${objdump} -f "$exe")" || { echo "not a PE32 i386 file"; fail=1; }
grep -Eq '^Subsystem[[:space:]]+0*2[[:space:]]' <<<"$dump" || { echo "not a GUI program"; fail=1; }
grep -Eq '^MajorSubsystemVersion[[:space:]]+4$' <<<"$dump" || { echo "subsystem version is not 4"; fail=1; }
grep -Eq '^MinorSubsystemVersion[[:space:]]+0$' <<<"$dump" || { echo "subsystem minor version is not 0"; fail=1; }
grep -Eq '^MajorOSystemVersion[[:space:]]+4$' <<<"$dump" || { echo "OS version is not 4"; fail=1; }

# "DLL!Function" for every import of the program.
imports=$(awk '
  /^\tDLL Name: / { dll = toupper($3); next }
  /^\tvma:/ { next }
  /^\t[0-9a-f]+\t/ && dll != "" && NF >= 3 { print dll "!" $3 }
' <<<"$dump" | sort -u)
[ -n "$imports" ] || { echo "no imports found"; fail=1; }
while IFS= read -r entry; do
  [ -n "$entry" ] || continue
  if ! grep -qxF "$entry" <(grep -v '^#' "$allowed" | tr -d '\r' | awk '{print toupper(substr($1,1,index($1,"!"))) substr($1,index($1,"!")+1)}'); then
    echo "import not on the reviewed list: $entry"
    fail=1
  fi
  case "$entry" in
    *W) func=${entry#*!}; case "$func" in *[a-z]W) echo "wide-character function: $entry"; fail=1 ;; esac ;;
  esac
done <<<"$imports"
# The program starts without the C run-time's start-up code, so nothing would
# run a static constructor: the linker's list of them must stay empty.
if [ -n "$map" ]; then
  ctors=$(awk '/__CTOR_LIST__ = \./ { on = 1; next }
    on && /LONG 0x0/ { exit }
    on && /0x[0-9a-f]+ +0x[0-9a-f]+ +[^ ]+$/ && $(NF - 1) != "0x0" { print $NF }' "$map")
  [ -z "$ctors" ] || { echo "static constructors that nothing runs, from:" $ctors; fail=1; }
fi
echo "$(wc -l <<<"$imports") imports from $(cut -d! -f1 <<<"$imports" | sort -u | tr '\n' ' ')"
exit $fail
