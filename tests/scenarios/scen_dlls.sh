#!/usr/bin/env bash
# What the installer takes from the folder it was started from. Planted beside
# it, a DLL of the name of a system library is never loaded, even when Wine is
# told to look beside the program first (as Windows does for a library that is
# not one of its known DLLs): neither the libraries the installer loads itself
# nor those that Windows' own libraries load later by name (themes, window
# composition, cryptography, accessibility), and the installation succeeds.
# version.dll is left out: Wine's own libraries load it as a dependency by
# name at process start, before any code of ours, where Windows takes it from
# its known DLLs. Missing internet, multimedia and OLE automation libraries
# leave the wizard running. An unquoted program path with a letter outside
# ASCII keeps its arguments.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"

names=(comctl32 lz32 ole32 oleaut32 wininet winmm shell32 uxtheme dwmapi cryptbase oleacc)
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
e2e_expect_exit missing 1602 30

# The Apps list starts an uninstaller outside "C:\Program Files" unquoted: "é"
# is a letter of the path, and UNINSTALL still skips the question.
# The command line goes to CreateProcessA as it stands (Wine's own start would quote it).
e2e_put "$E2E_PROGRAM" 'C:\Présentation\vmbUninst.exe'
e2e_start accented -t 90 "$PROBE" run 'C:\Présentation\vmbUninst.exe UNINSTALL'
e2e_robot "msgbox title=Installer timeout=30000"
expect_field msgbox text "$TEXT_UNINSTALLED"
e2e_robot "msgbox title=Installer" "press ok" "gone"
e2e_expect_exit accented 0 30
e2e_pass
