#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, when run as
# root and something is missing; otherwise prints the apt-get line to run.
set -euo pipefail
packages=(cmake g++ make g++-mingw-w64-i686 mingw-w64-tools wine wine32:i386 xvfb
          imagemagick mscompress googletest x11-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
line="dpkg --add-architecture i386 && apt-get update && apt-get install -y ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run as root: $line" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
dpkg --add-architecture i386
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
