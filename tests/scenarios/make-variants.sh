#!/usr/bin/env bash
# Writes the payloads of the test-only installer variants from the product's
# own payload files:
#   cut.new, zeltohlp-cut.hl_  the header and a help file packed and then cut
#                              short, as in a damaged download
#   zero.new, empty.sc_        a header whose one file expands to nothing
#   emptyhelp.new              the product's header with an empty help file
#   empty.txt                  an empty licence text
# Every header carries the same time stamp, which the temporary copies get.
set -euo pipefail
out=$1 generated=$2 mkheader=$3 szddpack=$4
stamp=977984780
mkdir -p "$out"

packed=$generated/zeltohlp.hl_
size=$(stat -c %s "$packed")
head -c $(( size / 2 )) "$packed" >"$out/zeltohlp-cut.hl_"
"$mkheader" "$out/cut.new" $stamp \
  zelto.sc_ "Zelto 2000.Scr" "$generated/saver.bin" "$generated/zelto.sc_" \
  zeltohlp.hl_ Zeltohlp.Hlp "$generated/help.bin" "$out/zeltohlp-cut.hl_"

: >"$out/empty.bin"
"$szddpack" "$out/empty.bin" "$out/empty.sc_" r
"$mkheader" "$out/zero.new" $stamp zelto.sc_ "Zelto 2000.Scr" "$out/empty.bin" "$out/empty.sc_"
"$mkheader" "$out/emptyhelp.new" $stamp \
  zelto.sc_ "Zelto 2000.Scr" "$generated/saver.bin" "$generated/zelto.sc_" \
  zeltohlp.hl_ Zeltohlp.Hlp "$out/empty.bin" "$out/empty.sc_"

: >"$out/empty.txt"
