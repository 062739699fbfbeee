#!/usr/bin/env bash
# emulated.sh COMMAND...: runs COMMAND as it would run on a machine that cannot
# execute 32-bit x86 code, on one that can: in a user and mount namespace of its
# own, whose private binfmt_misc (Linux 6.7 and later) sends every 32-bit
# program to qemu-i386. The rest of the system is not touched. For example
#   bash tools/emu/emulated.sh make test
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND..." >&2; exit 2; }
export ZELTO_EMULATE_I386=1
exec unshare --user --map-root-user --mount --propagation private bash -c '
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc ||
    { echo "emulated.sh: this kernel gives no namespace a binfmt_misc of its own" >&2; exit 1; }
  exec "$@"' emulated "$@"
