#!/usr/bin/env bash
# check-layers.sh [SRC]: the bottom layer stays at the bottom. No file of
# SRC/common (default: the src folder beside this script) includes a header of
# the layers above it (shell, engine, ui, uninstall): what knows the product
# lives there, and common/ is used by all of them. Exit code 1 with one line
# per offending include (file:line:text). And no file of SRC calls a function
# that changes files, folders, the registry or ini files but through the table
# of common/systemcalls.h, which tests put their own calls in.
set -uo pipefail
src=${1:-$(dirname "$0")/../src}
shopt -s nullglob
files=("$src"/common/*.cpp "$src"/common/*.h)
if [ ${#files[@]} -eq 0 ]; then
    echo "check-layers: no files in $src/common" >&2
    exit 1
fi
found=$(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](shell|engine|ui|uninstall)/' "${files[@]}")
if [ -n "$found" ]; then
    echo "common/ includes a header of a layer above it:"
    echo "$found"
    exit 1
fi
echo "common/: ${#files[@]} files, no include of shell/, engine/, ui/ or uninstall/"
calls='CreateFileA|WriteFile|FlushFileBuffers|SetEndOfFile|DeleteFileA|MoveFileA|MoveFileExA|CopyFileA'
calls+='|SetFileAttributesA|CreateDirectoryA|RemoveDirectoryA|RegCreateKeyA|RegSetValueExA|RegDeleteValueA'
calls+='|RegDeleteKeyA|WritePrivateProfileStringA'
found=$(grep -rnE "(^|[^>[:alnum:]_.:])($calls)[[:space:]]*\(" "$src" --include='*.cpp' --include='*.h' |
  grep -vE '^[^:]*/common/(systemcalls\.cpp|importcalls\.h):' | grep -vE '^[^:]*:[0-9]+:[[:space:]]*//')
if [ -n "$found" ]; then
    echo "a call that changes the system goes around the table of common/systemcalls.h:"
    echo "$found"
    exit 1
fi
echo "every call that changes a file, a folder, the registry or an ini file goes through one table"
