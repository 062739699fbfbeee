#!/usr/bin/env bash
# check-layout.sh PROGRAM [MAP]: checks that a built program carries what
# current Windows reads before it runs it, and is hardened as current
# installers are. The manifest asks for administrator rights, names the
# Windows versions from Vista to 11 and declares the program DPI-aware, each
# element with one namespace of its own; the version record names the product,
# its maker and the version of src/resources/version.h. The layout: code read and execute only, constants, import tables
# and resources read only, data never executable, no section both writable and
# executable, relocations kept (with entries) for address randomisation, the
# marks DYNAMIC_BASE, NX_COMPAT, NO_SEH and TERMINAL_SERVER_AWARE, the entry
# point inside the code, and no exception handler (NO_SEH promises there is
# none: one that appears would never be called), and code for the 80386
# (check-cpu.sh). Reads the file itself with od. Exit code 1 with one line
# per fault.
set -uo pipefail
exe=$1
map=${2:-}
u16() { od -An -tu2 -j "$1" -N2 "$exe" | tr -d ' \n'; }
u32() { od -An -tu4 -j "$1" -N4 "$exe" | tr -d ' \n'; }
fail=0
bad() { echo "$exe: $*"; fail=1; }

pe=$(u32 60)
[ "$(od -An -c -j "$pe" -N2 "$exe" | tr -d ' \n')" = PE ] || { bad "not a PE file"; exit 1; }
count=$(u16 $((pe + 6)))
optional=$((pe + 24))
table=$((optional + $(u16 $((pe + 20)))))
entry=$(u32 $((optional + 16)))
(( $(u32 $((optional + 36))) == 512 )) || bad "file alignment is not 512 bytes"
characteristics=$(u16 $((optional + 70)))
# DYNAMIC_BASE 0x40, NX_COMPAT 0x100, NO_SEH 0x400, TERMINAL_SERVER_AWARE 0x8000.
(( characteristics == 0x8540 )) ||
  bad "$(printf 'DllCharacteristics 0x%04x, not 0x8540' "$characteristics")"
(( $(u16 $((pe + 22))) & 1 )) && bad "relocations stripped"
reloc_size=$(u32 $((optional + 96 + 5 * 8 + 4)))
# One block is an 8-byte head and at least one 2-byte entry.
(( reloc_size > 8 )) || bad "no base relocations"
(( $(u32 $((optional + 96 + 10 * 8 + 4))) == 0 )) || bad "a load configuration (exception handler table)"

# Name and characteristics of each section, as the section table holds them.
declare -A want=([.text]=0x60000020 [.rdata]=0x40000040 [.data]=0xC0000040
                 [.bss]=0xC0000080 [.rsrc]=0x40000040 [.reloc]=0x42000040)
declare -A seen=()
for (( i = 0; i < count; i++ )); do
  at=$((table + 40 * i))
  name=$(dd if="$exe" bs=1 skip="$at" count=8 status=none | tr -d '\0')
  size=$(u32 $((at + 8)))
  address=$(u32 $((at + 12)))
  flags=$(u32 $((at + 36)))
  seen[$name]=1
  (( (flags & 0x80000000) && (flags & 0x20000020) )) && bad "section $name is writable and executable"
  if [ -z "${want[$name]:-}" ]; then
    bad "unexpected section $name"
  elif (( flags != want[$name] )); then
    bad "$(printf 'section %s has flags 0x%08x, not %s' "$name" "$flags" "${want[$name]}")"
  fi
  if [ "$name" = .text ] && ! (( entry >= address && entry < address + size )); then
    bad "the entry point is outside .text"
  fi
done
# Initialised data that the program changes is optional: all of it may start zero.
for name in "${!want[@]}"; do
  [ -n "${seen[$name]:-}" ] || [ "$name" = .data ] || bad "no section $name"
done
if [ -n "$map" ] && grep -Eq 'except_handler|C_specific_handler|\.sxdata' "$map"; then
  bad "an exception handler is linked in: $(grep -Eo '[_a-zA-Z]*(except_handler|C_specific_handler)[0-9]*|\.sxdata' "$map" | sort -u | tr '\n' ' ')"
fi
# The manifest and the version record, as the resource section holds them.
here=$(cd "$(dirname "$0")" && pwd)
manifest=$(perl "$here/bench/pesize.pl" resource "$exe" 24 | tr -d '\r\n') || bad "no manifest"
has() { grep -qF -- "$1" <<<"$manifest" || bad "the manifest lacks $1"; }
has '<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">'
has '<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>'
has '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>'
for os in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
          4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
          8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  has "<supportedOS Id=\"{$os}\"/>"
done
grep -qE '<[^>]*xmlns[^>]*xmlns' <<<"$manifest" && bad "a manifest element with two namespaces"
grep -q 'dependentAssembly' <<<"$manifest" && bad "the manifest asks for another common controls version"
version=$(sed -n 's/^#define ZELTO_VERSION_TEXT "\(.*\)"$/\1/p' "$here/../src/resources/version.h")
# The version record's texts, each key followed by its value (UTF-16 runs).
texts=$(perl "$here/bench/pesize.pl" resource "$exe" 16 |
        perl -CO -0777 -ne 'print join("\n", grep { /\w/ } split(/[\x00-\x1f]+/, pack("U*", unpack("v*", $_)))), "\n"') ||
  bad "no version record"
for pair in "CompanyName=Ostrell Zuvak" "FileDescription=Zelto 2000 Setup" "FileVersion=$version" \
            "LegalCopyright=Copyright (c) 2000 Ostrell Zuvak" "OriginalFilename=Zelto2000Setup.exe" \
            "ProductName=Zelto 2000" "ProductVersion=$version"; do
  grep -A1 -xF -- "${pair%%=*}" <<<"$texts" | tail -n1 | grep -qxF -- "${pair#*=}" ||
    bad "the version record lacks $pair"
done
# The code runs on every processor the oldest targets run on.
cpu=$(bash "$here/check-cpu.sh" "$exe") || bad "${cpu#"$exe: "}"
[ $fail -eq 0 ] && echo "$exe: hardened layout, manifest, version record and 80386 code"
exit $fail
