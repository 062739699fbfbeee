#!/usr/bin/env bash
# write.sh ZELTOWINGET INSTALLER URL DIR: the winget manifest of the built
# installer into DIR (make winget), checked against the installer before it is
# left there. Nothing is downloaded: the hash is the built file's.
set -euo pipefail
tool=$1 exe=$2 url=$3 dir=$4
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "$url" ]; then
  echo "make winget: give the installer's download address: make winget WINGET_URL=https://..." >&2
  exit 1
fi
mkdir -p "$dir"
rm -f "$dir"/*.yaml
"$tool" manifest "$dir" "$url" "$(sha256sum "$exe" | cut -d' ' -f1)"
if ! bash "$here/check.sh" "$dir" "$exe" "$here/../../src/resources/exitcodes.h"; then
  rm -f "$dir"/*.yaml
  exit 1
fi
ls "$dir"/*.yaml
