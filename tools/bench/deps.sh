#!/usr/bin/env bash
# The benchmark's own Debian packages, beyond those of tools/install-deps.sh:
# nsis (makensis and its stubs, the installer we compare with) and gnuplot-nox
# (the plot). Installs what is missing when run as root; otherwise says what
# to run and fails.
set -euo pipefail
missing=()
command -v makensis >/dev/null 2>&1 && [ -d /usr/share/nsis/Stubs ] || missing+=(nsis)
command -v gnuplot >/dev/null 2>&1 || missing+=(gnuplot-nox)
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "bench: missing packages: ${missing[*]}" >&2
  echo "bench: run as root: apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
echo "bench: installing ${missing[*]}"
# A fresh machine may not have read the package lists yet.
if ! apt-cache show "${missing[@]}" >/dev/null 2>&1; then
  apt-get update -qq
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
