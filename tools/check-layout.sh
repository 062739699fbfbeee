#!/usr/bin/env bash
# check-layout.sh PROGRAM [MAP]: checks that a built program is hardened as
# current installers are: code read and execute only, constants, import tables
# and resources read only, data never executable, no section both writable and
# executable, relocations kept (with entries) for address randomisation, the
# marks DYNAMIC_BASE, NX_COMPAT, NO_SEH and TERMINAL_SERVER_AWARE, the entry
# point inside the code, and no exception handler (NO_SEH promises there is
# none: one that appears would never be called). Reads the file itself, so it
# needs nothing but od. Exit code 1 with one line per fault.
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
for name in "${!want[@]}"; do [ -n "${seen[$name]:-}" ] || bad "no section $name"; done
if [ -n "$map" ] && grep -Eq 'except_handler|C_specific_handler|\.sxdata' "$map"; then
  bad "an exception handler is linked in: $(grep -Eo '[_a-zA-Z]*(except_handler|C_specific_handler)[0-9]*|\.sxdata' "$map" | sort -u | tr '\n' ' ')"
fi
[ $fail -eq 0 ] && echo "$exe: hardened layout"
exit $fail
