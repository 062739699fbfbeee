#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, when run as
# root and something is missing; otherwise prints the apt-get line to run.
# Then makes sure that Wine's 32-bit side can run (tools/emu/setup.sh).
#   --upgrade   (CI) also refresh the package lists and bring every package of
#               the list, and what it depends on, to its current candidate
#               version, as a fresh machine would get them today
#   --versions  print the installed version of every package of the list
# Without an option nothing that is installed is ever upgraded.
set -euo pipefail
emulation() { bash "$(dirname "$0")/emu/setup.sh"; }
# The code-page scenario runs Wine under LANG=ja_JP.UTF-8 (code page 932): a
# locale the system lacks would make Wine fail on a non-ASCII command line.
japanese_locale() {
  locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8' && return
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing locale ja_JP.UTF-8: as root, add 'ja_JP.UTF-8 UTF-8' to /etc/locale.gen and run locale-gen" >&2
    return 1
  fi
  grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
}
ready() { japanese_locale && emulation; }
packages=(cmake g++ make g++-mingw-w64-i686 gcc-mingw-w64-x86-64-win32 mingw-w64-tools wine
          wine32:i386 wine64 fonts-wine xvfb imagemagick mscompress googletest x11-utils
          osslsigncode openssl locales)
mode=${1:-}
case $mode in
  ''|--upgrade) ;;
  --versions) exec dpkg-query -W "${packages[@]}" ;;
  *) echo "install-deps: unknown option $mode (--upgrade, --versions)" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && [ -z "$mode" ] && { ready; exit; }
line="dpkg --add-architecture i386 && apt-get update && apt-get install -y ${missing[*]}"
[ "$mode" = --upgrade ] && line="dpkg --add-architecture i386 && apt-get update && apt-get install -y ${packages[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]:-none}" >&2
  echo "Run as root: $line" >&2
  exit 1
fi
dpkg --add-architecture i386
# A mirror in the middle of a sync fails one index now and then: try again, and
# go on with the indexes that did arrive (the install below says if one is missing).
for try in 1 2 3; do
  apt-get update -qq && break
  [ "$try" -lt 3 ] && sleep $(( try * 10 ))
done || true
apt() { DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null; }
# When one architecture's index of the security suite did not arrive, the two
# architectures' candidates differ and the 32-bit libraries cannot be matched:
# then take every package from the release's own suite, where both agree.
codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
install() { apt "$@" || { [ -n "$codename" ] && echo "Installing from $codename alone" && apt -t "$codename" "$@"; }; }
if [ "$mode" = --upgrade ]; then
  # apt-get install brings a package that is there to its candidate version.
  echo "Installing or upgrading: ${packages[*]}"
  install "${packages[@]}"
  # What the list pulls in, at any depth, is upgraded too where it is
  # installed: ImageMagick's own code, for one, is in its libraries.
  mapfile -t needed < <(apt-cache depends --recurse --important "${packages[@]}" 2>/dev/null |
                        grep -v '^[ <]' | sort -u)
  echo "Upgrading what they depend on (${#needed[@]} packages checked)"
  install --only-upgrade "${needed[@]}"
else
  echo "Installing: ${missing[*]}"
  install "${missing[@]}"
fi
ready
