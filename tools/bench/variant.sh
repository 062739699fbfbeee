#!/usr/bin/env bash
# Builds test builds of both installers with a larger payload, for the
# benchmark's scaling runs (run.sh):
#   bash tools/bench/variant.sh KB DIR
# DIR/ours.exe is our installer linked from build/win's own objects (the entry
# point and the core library) with a resource script that adds data files to
# the product's payload until the packed files come to about KB kilobytes in
# all; DIR/nsis.exe is the NSIS installer of tools/bench/zelto.nsi with the same
# files. KB 0 adds nothing: then ours.exe must be build/win's installer byte for
# byte, which checks that these builds are made the way the real one is
# (DIR/selfcheck says "same" or "differs").
# DIR/info gets: files PACKED_BYTES EXPANDED_BYTES (all installed files).
#
# The data files are copies of the screen saver strung together: program code
# that packs like the real payload. Each holds about 350 KB packed, so that the
# number of files grows with the bytes (the header holds at most 30 files; the
# saver and the help file take two).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
kb=${1:?usage: variant.sh KB DIR}
dir=$(mkdir -p "${2:?usage: variant.sh KB DIR}" && cd "$2" && pwd)
win=$root/build/win
gen=$win/generated
objdir=$win/src/CMakeFiles/Zelto2000Setup.dir
pack=$root/build/host/szddpack
mkheader=$root/build/host/mkheader
pechecksum=$root/build/host/pechecksum
for f in "$gen/payload.rc" "$gen/zelto.new" "$gen/saver.bin" "$gen/help.bin" "$objdir/link.txt" \
         "$objdir/flags.make" "$objdir/shell/main.cpp.obj" "$win/src/libzeltocore.a" "$pack" "$mkheader" "$pechecksum"; do
  [ -e "$f" ] || { echo "variant.sh: $f is missing (run make build first)" >&2; exit 1; }
done

size() { stat -c %s "$1"; }

# ---------------------------------------------------------------- data files
packed=$(( $(size "$gen/zelto.sc_") + $(size "$gen/zeltohlp.hl_") ))
expanded=$(( $(size "$gen/saver.bin") + $(size "$gen/help.bin") ))
records=()
rc_lines=()
nsis_lines=()
want=$(( kb * 1024 - packed ))
count=0
if [ "$want" -gt 0 ]; then
  count=$(( (want + 350 * 1024 - 1) / (350 * 1024) ))
  [ "$count" -le 28 ] || count=28
  # How the saver packs tells how much data makes the packed bytes wanted.
  ratio_milli=$(( $(size "$gen/zelto.sc_") * 1000 / $(size "$gen/saver.bin") ))
  per_file=$(( want / count * 1000 / ratio_milli ))
  for (( i = 1; i <= count; i++ )); do
    n=$(printf '%02d' "$i")
    data=$dir/data$n.bin
    # Each copy XORed with its own byte: it packs as well as the saver does,
    # and no file or copy equals another (NSIS stores equal files once).
    perl -e 'my ($path, $length, $file) = @ARGV;
             open(my $in, "<:raw", $path) or die; local $/; my $saver = <$in>;
             binmode STDOUT; my $copy = 0;
             while ($length > 0) {
               my $key = chr((($file * 37 + $copy++) % 255) + 1);
               my $part = substr($saver, 0, $length < length $saver ? $length : length $saver);
               print $part ^ ($key x length $part); $length -= length $part;
             }' "$gen/saver.bin" "$per_file" "$i" >"$data"
    "$pack" "$data" "$dir/zdata$n.bi_"
    packed=$(( packed + $(size "$dir/zdata$n.bi_") ))
    expanded=$(( expanded + per_file ))
    records+=("zdata$n.bi_" "Zdata$n.bin" "$data" "$dir/zdata$n.bi_")
    rc_lines+=("ZDATA$n.BI_ RES_FILE \"$dir/zdata$n.bi_\"")
    nsis_lines+=("  File \"/oname=Zdata$n.bin\" \"$data\"")
  done
fi
rm -f "$dir"/data$(printf '%02d' $(( count + 1 ))).bin
echo "$(( count + 2 )) $packed $expanded" >"$dir/info"

# ---------------------------------------------------------------- ours
# The update header: the product's records, then one per data file, with the
# product's time stamp (bytes 64..67 of its first record).
cp "$gen/zelto.new" "$dir/zelto.new"
if [ "$count" -gt 0 ]; then
  stamp=$(od -An -t d4 -j 64 -N 4 "$gen/zelto.new" | tr -d ' ')
  "$mkheader" "$dir/extra.new" "$stamp" "${records[@]}"
  cat "$dir/extra.new" >>"$dir/zelto.new"
fi
{
  sed "s#^ZELTO.NEW RES_FILE .*#ZELTO.NEW RES_FILE \"$dir/zelto.new\"#" "$gen/payload.rc"
  for line in "${rc_lines[@]+"${rc_lines[@]}"}"; do echo "$line"; done
} >"$dir/payload.rc"

# The resource compiler and the linker exactly as build/win calls them, with
# this folder in place of the generated one.
flag() { sed -n "s/^$1 = //p" "$objdir/flags.make"; }
rc_includes=$(flag RC_INCLUDES)
rc_includes=${rc_includes//"$gen"/"$dir"}
# shellcheck disable=SC2086  # the flags are words
i686-w64-mingw32-windres -O coff $(flag RC_DEFINES) $rc_includes $(flag RC_FLAGS) \
  "$root/src/resources/app.rc" "$dir/app.res"
rm -f "$dir/objects.a"
i686-w64-mingw32-ar qc "$dir/objects.a" "$objdir/shell/main.cpp.obj" "$dir/app.res"
link=$(grep -E -- '-o Zelto2000Setup\.exe' "$objdir/link.txt") ||
  { echo "variant.sh: no link line in $objdir/link.txt" >&2; exit 1; }
link=${link//CMakeFiles\/Zelto2000Setup.dir\/objects.a/$dir/objects.a}
link=${link//-o Zelto2000Setup.exe/-o $dir/ours.exe}
link=$(sed -E -e "s#-Wl,-Map,[^ ]+#-Wl,-Map,$dir/ours.map#" -e 's#-Wl,--out-implib,[^ ]+##' <<<"$link")
(cd "$win/src" && eval "$link")
# The build writes the image checksum after the link as well.
"$pechecksum" "$dir/ours.exe" >/dev/null
if [ "$count" -eq 0 ]; then
  # A build tree changed since its installer was linked fails this too.
  if cmp -s "$dir/ours.exe" "$win/src/Zelto2000Setup.exe"; then
    echo same >"$dir/selfcheck"
  else
    echo differs >"$dir/selfcheck"
    echo "variant.sh: the build without data files differs from $win/src/Zelto2000Setup.exe" >&2
  fi
fi

# ---------------------------------------------------------------- NSIS
for line in "${nsis_lines[@]+"${nsis_lines[@]}"}"; do echo "$line"; done >"$dir/extra.nsh"
makensis -V1 -DSAVER="$gen/saver.bin" -DHELP="$gen/help.bin" -DLICENCE="$root/payload/licenseEval.txt" \
  -DEXTRA="$dir/extra.nsh" -DOUTFILE="$dir/nsis.exe" "$root/tools/bench/zelto.nsi" >/dev/null
