#!/usr/bin/env bash
# The system libraries the installer loads at run time. Planted beside it, a
# DLL of any of their names is never loaded, even when Wine is told to look
# beside the program first (as Windows does for a library that is not one of
# its known DLLs), and the installation succeeds. version.dll is left out:
# Wine's own libraries load it as a dependency by name, where Windows takes
# it from its known DLLs. Missing internet, multimedia and OLE automation
# libraries leave the wizard running.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"

names=(comctl32 lz32 ole32 oleaut32 wininet winmm shell32)
for name in "${names[@]}"; do
  cp "$SCEN_TOOLS/planted.dll" "$(upath "C:\\Setup\\$name.dll")"
done
# The sound makes the multimedia library wanted.
head -c 64 /dev/zero > "$(upath 'C:\Setup\zuvak.wav')"

overrides=$(IFS=,; echo "${names[*]}")=n,b
WINEDLLOVERRIDES=$overrides install_ok planted 1
for name in "${names[@]}"; do
  ! e2e_exists "C:\\Setup\\$name.dll.loaded" || e2e_fail "the planted $name.dll was loaded"
done

# The libraries the program can do without are missing: the wizard still opens.
WINEDLLOVERRIDES=wininet,winmm,oleaut32=d wizard_open missing
e2e_robot "window $SHEET" "sheet cancel"
e2e_expect_exit missing 0 30
e2e_pass
