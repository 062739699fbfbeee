#!/usr/bin/env bash
# Packs a set of inputs with our packer, expands them with the system's LZ
# functions under Wine (lzexpand_test.exe) and compares byte for byte; LZCopy's
# count must equal the length in the packed file's header.
#   lz_roundtrip.sh SZDDPACK LZEXPAND_TEST_EXE WORKDIR
# Wine's prefix and display come from the environment.
set -euo pipefail
pack=$(realpath "$1") expander=$(realpath "$2") work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

noise() { perl -e 'my ($n, $x) = @ARGV; binmode STDOUT;
  print pack("C", ($x = ($x * 1103515245 + 12345) % 2**31) >> 16 & 255) for 1 .. $n;' "$1" "$2"; }
: > empty.bin
for n in 1 2 15 16 17 18 19; do noise "$n" "$n" > "tiny$n.bin"; done
printf '                                    ' > blanks.bin
noise 65536 7 > random.bin
perl -e 'binmode STDOUT; print "ab" x 100000, "\0" x 70000, "xyz" x 7' > repeat.bin
perl -e 'for my $i (1 .. 2000) { print "line $i: the quick brown fox jumps over the lazy dog\r\n" }' > text.bin
# 1 MiB of text, noise and a program, in turns.
for i in $(seq 12); do cat /usr/share/common-licenses/GPL-3; noise 40000 "$i"; head -c 30000 "$pack"; done > mix
head -c 1048576 mix > mixed1m.bin && rm mix

names=() args=()
for f in *.bin; do
  name=${f%.bin}
  "$pack" "$f" "$name.pk_" || { fail "$name: szddpack failed"; continue; }
  names+=("$name")
  args+=("$name.pk_" "$name.out")
done
out=$(WINEDEBUG=-all timeout 120 wine "$expander" "${args[@]}" | tr -d '\r') || fail "lzexpand_test exit code $?"

for name in "${names[@]}"; do
  count=$(awk -v f="$name.pk_" '$1 == f { print $2 }' <<<"$out")
  length=$(od -An -tu4 --endian=little -j10 -N4 "$name.pk_" | tr -d ' ')
  [ -n "$count" ] || { fail "$name: no result"; continue; }
  [ "$count" = "$length" ] || fail "$name: LZCopy gave $count, the header says $length"
  cmp -s "$name.out" "$name.bin" || fail "$name: expanded file differs from the input"
done

[ "$failures" -eq 0 ] && echo "LZ expansion: ${#names[@]} files round-tripped"
exit $((failures != 0))
