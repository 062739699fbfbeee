#!/usr/bin/env bash
# Packs a set of inputs with our packer, expands them with the system's LZ
# functions under Wine (lzexpand_test.exe) and compares byte for byte; LZCopy's
# count must equal the length in the packed file's header.
#   lz_roundtrip.sh SZDDPACK LZEXPAND_TEST_EXE WORKDIR
# Wine's prefix and display come from the environment.
set -euo pipefail
source "$(dirname "$0")/../../tools/pack/tests/inputs.sh"
pack=$(realpath "$1") expander=$(realpath "$2") work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pack_inputs "$pack"

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
