#!/usr/bin/env bash
# Writes the unit tests' data files: an update header with the shipped records,
# a small packed file and a packed file cut short.
set -euo pipefail
out=$1
pack=$2
mkdir -p "$out"

le32() {  # a 32-bit little-endian integer
  local v=$(( $1 & 0xFFFFFFFF ))
  printf "\\x$(printf %02x $((v & 255)))\\x$(printf %02x $(((v >> 8) & 255)))"
  printf "\\x$(printf %02x $(((v >> 16) & 255)))\\x$(printf %02x $(((v >> 24) & 255)))"
}
field() {  # a NUL-padded text field
  printf '%s' "$1"
  head -c $(( $2 - ${#1} )) /dev/zero
}
record() {  # sourceName uncompressed destName time compressed
  field "$1" 28; le32 "$2"; field "$3" 32; le32 "$4"; le32 "$5"
}
{
  record zelto.sc_ 98304 "Zelto 2000.Scr" 977984780 68714
  record zeltohlp.hl_ 26695 Zeltohlp.Hlp 969918300 12247
} > "$out/shipped.new"

for i in $(seq 1 200); do echo "Line $i of the small test file for the expansion tests."; done > "$out/small.txt"
"$pack" "$out/small.txt" "$out/small.sc_" r
size=$(stat -c %s "$out/small.sc_")
head -c $(( size / 2 )) "$out/small.sc_" > "$out/cut.sc_"
