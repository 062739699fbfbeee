#!/usr/bin/env bash
# Reproducible build: two clean builds of the installer from the same commit,
# in two folders of different names, one after the other (so at different
# times) and under different time zones and umasks, must give installers that
# are equal byte for byte. Works offline from any clone; takes minutes.
#   tests/reliability/reproducible-build.sh [REPOSITORY]   (default: this checkout)
# Builds the committed state of HEAD: changes not yet committed are not seen.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=${1:-$(git -C "$here" rev-parse --show-toplevel)}
commit=$(git -C "$repo" rev-parse HEAD) ||
  { echo "reproducible-build: $repo is no git repository" >&2; exit 1; }
jobs=${JOBS:-2}
work=$(mktemp -d "${TMPDIR:-/tmp}/zelto-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A make above us (make test) must not hand its job server to these builds.
unset MAKEFLAGS MFLAGS MAKELEVEL

# build_in FOLDER TZ UMASK: clones the commit into FOLDER and runs make build there.
build_in() {
  local dir=$work/$1 started=$SECONDS
  git clone --quiet --no-hardlinks "$repo" "$dir" &&
    git -C "$dir" checkout --quiet --detach "$commit" || return 1
  if ! (cd "$dir" && umask "$3" && TZ=$2 make build JOBS="$jobs" >"$work/$1.log" 2>&1); then
    echo "reproducible-build: make build failed in $1:" >&2
    tail -n 40 "$work/$1.log" >&2
    return 1
  fi
  echo "built in $1 (TZ=$2, umask $3) at $(date -u +%H:%M:%S) in $(( SECONDS - started )) s"
}

echo "commit $commit"
start=$SECONDS
build_in a UTC 022 || exit 1
sleep 2  # the second build starts seconds later whatever the speed of the first
build_in second-build-folder Pacific/Auckland 002 || exit 1

one=$work/a/build/Zelto2000Setup.exe
two=$work/second-build-folder/build/Zelto2000Setup.exe
size=$(stat -c %s "$one")
echo "$(sha256sum "$one" | cut -c1-16)  $size bytes  a"
echo "$(sha256sum "$two" | cut -c1-16)  $(stat -c %s "$two") bytes  second-build-folder"
if cmp -s "$one" "$two"; then
  echo "identical ($(( SECONDS - start )) s for both builds)"
  what="two clean builds of $(git -C "$repo" rev-parse --short HEAD): other folder, 2 s apart,"
  echo "@table|reproducible build|$what other time zone and umask (bytes)|$size|identical"
  exit 0
fi
echo "FAILED: the installers differ in $(cmp -l "$one" "$two" | wc -l) bytes; first differences (offset, bytes):"
cmp -l "$one" "$two" | head -n 10
# Which sections hold the first differences.
if command -v i686-w64-mingw32-objdump >/dev/null; then
  cmp -l "$one" "$two" | head -n 200 | awk '{print $1 - 1}' | sort -un | head -n 5 | while read -r offset; do
    i686-w64-mingw32-objdump -h "$one" | awk -v o="$offset" '
      $1 ~ /^[0-9]+$/ { size = strtonum("0x" $3); off = strtonum("0x" $6);
        if (o >= off && o < off + size) printf "offset %d is in section %s\n", o, $2 }'
  done
fi
echo "@table|reproducible build|two clean builds: other folder, 2 s apart (bytes)|$size|DIFFERENT"
exit 1
