#!/usr/bin/env bash
# artgen: determinism, the files' structure (artcheck) and what ImageMagick,
# an independent reader, makes of them.
#   artgen_test.sh ARTGEN ARTCHECK WORKDIR
set -euo pipefail
gen=$(realpath "$1") check=$(realpath "$2") work=$3
rm -rf "$work" && mkdir -p "$work/a" "$work/b" && cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$gen" a && "$gen" b || fail "artgen failed"
for f in product.ico finish.ico logo.gif; do
  cmp -s "a/$f" "b/$f" || fail "$f differs between two runs"
done
"$check" a/product.ico a/finish.ico a/logo.gif || fail "structure checks"
cmp -s a/product.ico a/finish.ico && fail "both icons are the same"

if command -v identify >/dev/null; then
  line=$(identify a/logo.gif)
  [[ $line == *" GIF 64x64 "* && $line == *" 256c "* ]] || fail "identify: $line"
  size=$(stat -c %s a/logo.gif)
  [ "$size" -ge 2000 ] && [ "$size" -le 4500 ] || fail "logo.gif is $size bytes"
  convert -regard-warnings a/logo.gif null: 2>/dev/null || fail "logo.gif: reader warnings"
  for f in "product:32x32 32x32 16x16 " "finish:32x32 "; do
    sizes=$(identify -format '%wx%h ' "a/${f%%:*}.ico")
    [ "$sizes" = "${f#*:}" ] || fail "${f%%:*}.ico image sizes: $sizes"
    convert -regard-warnings "a/${f%%:*}.ico" null: 2>/dev/null || fail "${f%%:*}.ico: reader warnings"
  done
fi

"$gen" no/such/dir 2>/dev/null && fail "unwritable folder accepted"
"$gen" 2>/dev/null && fail "missing argument accepted"

[ "$failures" -eq 0 ] && echo "artgen: all checks passed"
exit $((failures != 0))
