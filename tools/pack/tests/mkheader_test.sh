#!/usr/bin/env bash
# mkheader: the exact bytes of known records, and refusal of bad arguments.
#   mkheader_test.sh MKHEADER WORKDIR
set -euo pipefail
mk=$(realpath "$1") work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
hex() { od -An -tx1 -v "$1" | tr -d ' \n'; }
zeros() { printf '%0*d' $(($1 * 2)) 0; }

head -c 98304 /dev/zero > saver.bin
# A packed file of 68714 bytes whose header announces 98304 expanded bytes.
{ printf 'SZDD\x88\xf0\x27\x33A\0\x00\x80\x01\x00'; head -c $((68714 - 14)) /dev/zero; } > saver.sz_
head -c 26695 /dev/zero > help.bin
head -c 12247 /dev/zero > help.hl_

# Record: name, 98304 (0x18000), name, 977984780 (0x3A4ADD0C), 68714 (0x10C6A).
rec1=7a656c746f2e73635f$(zeros 19)00800100
rec1+=5a656c746f20323030302e536372$(zeros 18)0cdd4a3a6a0c0100
# Record: name, 26695 (0x6847), name, the same time, 12247 (0x2FD7).
rec2=7a656c746f686c702e686c5f$(zeros 16)47680000
rec2+=5a656c746f686c702e486c70$(zeros 20)0cdd4a3ad72f0000
"$mk" one.new 977984780 zelto.sc_ "Zelto 2000.Scr" saver.bin saver.sz_
[ "$(hex one.new)" = "$rec1" ] || fail "one record: $(hex one.new)"
"$mk" two.new 977984780 zelto.sc_ "Zelto 2000.Scr" saver.bin saver.sz_ \
  zeltohlp.hl_ Zeltohlp.Hlp help.bin help.hl_
[ "$(hex two.new)" = "$rec1$rec2" ] || fail "two records: $(hex two.new)"
"$mk" again.new 977984780 zelto.sc_ "Zelto 2000.Scr" saver.bin saver.sz_ \
  zeltohlp.hl_ Zeltohlp.Hlp help.bin help.hl_
cmp -s two.new again.new || fail "two runs differ"

# Boundaries that must pass: longest names (the first record's two names
# differing in the last character only), extreme times, no files at all.
n27=$(printf 'a%.0s' {1..27}) n29=$(printf 'b%.0s' {1..29})
"$mk" long.new -2147483648 "$n27" "${n27%a}X" help.bin help.hl_ "$n27" "$n29" help.bin help.hl_ ||
  fail "27/29-character names refused"
[ "$(hex long.new | cut -c 57-64)" = 47680000 ] || fail "27-character name overran its field"
[ "$(hex long.new | cut -c 129-136)" = 00000080 ] || fail "time -2^31"
"$mk" max.new 2147483647 a b help.bin help.hl_ || fail "time 2^31-1 refused"
"$mk" none.new 0 && [ ! -s none.new ] || fail "empty list"

# Refusals: each must fail and leave no output.
refuse() {
  local why=$1; shift
  rm -f bad.new
  if "$mk" bad.new "$@" 2>/dev/null; then fail "accepted: $why"; fi
  [ ! -s bad.new ] || fail "output left behind: $why"
}
refuse "28-character source name" 0 "${n27}x" b help.bin help.hl_
refuse "30-character destination name" 0 a "${n29}x" help.bin help.hl_
refuse "empty source name" 0 "" b help.bin help.hl_
# What the installer refuses with 712 is not built either.
refuse "first record's names differ" 0 "$n27" "$n29" help.bin help.hl_
refuse "first record's names differ in length" 0 zelto.s_ zelto.scr help.bin help.hl_
for name in 'sub\x.scr' 'sub/x.scr' 'c:x.scr' .. '. .' CON 'nul.txt' 'Com1.scr' 'LPT9' 'CLOCK$' $'tab\tx'; do
  refuse "device, path or dot name $name" 0 zelto.sc_ a help.bin help.hl_ x.ex_ "$name" help.bin help.hl_
  refuse "source name $name" 0 zelto.sc_ a help.bin help.hl_ "$name" x.exe help.bin help.hl_
done
"$mk" devlike.new 0 zelto.sc_ a help.bin help.hl_ x.ex_ COM0 help.bin help.hl_ b.ex_ CONSOLE.txt help.bin help.hl_ ||
  fail "names that only start like a device refused"
refuse "time 2^31" 2147483648 a b help.bin help.hl_
refuse "time below -2^31" -2147483649 a b help.bin help.hl_
refuse "time not a number" 12x a b help.bin help.hl_
refuse "empty time" "" a b help.bin help.hl_
refuse "incomplete group" 0 a b help.bin
refuse "missing time"
refuse "missing original" 0 a b nosuch.bin help.hl_
refuse "packed length differs" 0 zelto.sc_ x help.bin saver.sz_
many=(); for i in $(seq 31); do many+=("f$i.ex_" "f$i.exe" help.bin help.hl_); done
refuse "31 files" 0 "${many[@]}"
# A file above 2^31-1 bytes, made sparse so that it costs no disk.
truncate -s 2147483648 huge.bin
refuse "file of 2^31 bytes" 0 a b huge.bin help.hl_

[ "$failures" -eq 0 ] && echo "mkheader: all checks passed"
exit $((failures != 0))
