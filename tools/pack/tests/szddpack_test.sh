#!/usr/bin/env bash
# Round trips of szddpack through msexpand and through szddcheck (an expander
# of our own), and its packed sizes against mscompress on realistic files.
#   szddpack_test.sh SZDDPACK SZDDCHECK WORKDIR
set -euo pipefail
source "$(dirname "$0")/inputs.sh"
pack=$(realpath "$1") check=$(realpath "$2") work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pack_inputs "$pack"

for input in *.bin; do
  name=${input%.bin}
  if ! "$pack" "$name.bin" "$name.sz_" x; then fail "$name: szddpack failed"; continue; fi
  "$check" "$name.sz_" "$name.bin" x || fail "$name: own expander disagrees"
  # msexpand of Debian's mscompress 0.4 is a second, independent expander.
  msexpand < "$name.sz_" > "$name.out" 2>/dev/null || fail "$name: msexpand failed"
  cmp -s "$name.out" "$name.bin" || fail "$name: msexpand output differs"
done

# Determinism, and the header's fixed bytes for an empty file.
"$pack" mixed1m.bin again.sz_ x && cmp -s again.sz_ mixed1m.sz_ || fail "two runs differ"
"$pack" empty.bin empty0.sz_
[ "$(od -An -tx1 empty0.sz_ | tr -d ' \n')" = 535a444488f02733410000000000 ] || fail "empty file header"
# Repetitive data must shrink to about 2 bytes per 18 (one match each).
[ "$(stat -c %s repeat.sz_)" -lt 32000 ] || fail "repeat.bin packed to $(stat -c %s repeat.sz_) bytes"
# Incompressible data grows by one flag byte per eight literals at most.
[ "$(stat -c %s random.sz_)" -le $((14 + 65536 + 8192)) ] || fail "random.bin grew too much"

# Refusals: missing input, unwritable output, bad argument.
"$pack" missing.bin out.sz_ 2>/dev/null && fail "missing input accepted"
"$pack" text.bin no/such/dir/out.sz_ 2>/dev/null && fail "unwritable output accepted"
"$pack" text.bin out.sz_ xy 2>/dev/null && fail "two-character MISSINGCHAR accepted"
[ ! -e out.sz_ ] || fail "output left behind after a refusal"

# Ratio against mscompress on files of a few tens of KB: ours at most 3% larger.
cp /usr/share/common-licenses/GPL-3 gpl3.txt
cp /usr/share/common-licenses/GPL-2 gpl2.txt
cat /usr/share/common-licenses/Apache-2.0 /usr/share/common-licenses/Artistic > licences.txt
cp "$pack" host.bin
files=(gpl3.txt gpl2.txt licences.txt host.bin)
# A 32-bit Windows program like the one that gets packed, when Wine is there.
pe=/usr/lib/i386-linux-gnu/wine/i386-windows/notepad.exe
[ -f "$pe" ] && head -c 98304 "$pe" > program.exe && files+=(program.exe)
for f in "${files[@]}"; do
  mscompress "$f"
  "$pack" "$f" "$f.ours"
  theirs=$(stat -c %s "${f}_") ours=$(stat -c %s "$f.ours") size=$(stat -c %s "$f")
  echo "$f: $size bytes, mscompress $theirs, szddpack $ours ($((ours * 1000 / theirs)) per mille)"
  [ $((ours * 100)) -le $((theirs * 103)) ] || fail "$f: $ours bytes against mscompress's $theirs"
  "$check" "$f.ours" "$f" || fail "$f: own expander disagrees"
done

[ "$failures" -eq 0 ] && echo "szddpack: all checks passed"
exit $((failures != 0))
