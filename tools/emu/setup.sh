#!/usr/bin/env bash
# Makes Wine's 32-bit side work on this machine, or says in one line why it cannot.
#
#   bash tools/emu/setup.sh        (run by tools/install-deps.sh, so by every make target)
#
# It starts a tiny 32-bit program (probe32.S). Where the kernel runs it, nothing
# else happens. Where it cannot (a kernel without IA-32 emulation, or booted with
# ia32_emulation=0), it sets up user-mode emulation:
#   - qemu-i386 from Debian's qemu-user package of a version that starts Wine at
#     full speed (8.1 or later; bookworm's own 7.2 is far too slow), downloaded
#     with a private package list and unpacked into build/emu (nothing installed);
#   - build/emu/faultcodes.so, built from faultcodes.c, which gives Wine the
#     processor's trap numbers that qemu leaves out;
#   - build/emu/i386-run, which starts qemu-i386 with that library;
#   - a binfmt_misc entry "zelto-i386" that runs every 32-bit x86 program through
#     i386-run: the only change to the system, which needs root.
# ZELTO_EMULATE_I386=1 takes the emulated path on a machine that could run the
# code itself (to try that path); without it, an entry of ours left from such a
# run is removed again where the machine runs 32-bit code itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
emu=$root/build/emu
entry=zelto-i386
binfmt=/proc/sys/fs/binfmt_misc
suite=bookworm-backports
minimum=1:8.1
mkdir -p "$emu"

fail() {
  echo "32-bit x86 code cannot run here: $*" >&2
  exit 1
}

probe=$emu/probe32
if [ ! -x "$probe" ] || [ "$root/tools/emu/probe32.S" -nt "$probe" ]; then
  as --32 -o "$emu/probe32.o" "$root/tools/emu/probe32.S" &&
    ld -m elf_i386 -o "$probe" "$emu/probe32.o" || fail "cannot build $probe: install binutils (apt-get install binutils)"
fi
runs_32bit() { [ "$("$probe" 2>/dev/null)" = ia32 ]; }
ours_registered() { [ -e "$binfmt/$entry" ]; }
set_entry() { [ -w "$binfmt/$entry" ] && echo "$1" >"$binfmt/$entry"; }

# Our own entry would answer for the kernel: switch it off while asking.
if [ "${ZELTO_EMULATE_I386:-0}" != 1 ]; then
  if ours_registered; then
    set_entry 0 || true
    if runs_32bit; then
      set_entry -1 && echo "This machine runs 32-bit x86 code itself: removed the binfmt_misc entry $entry"
      rm -f "$emu/i386-run"
      exit 0
    fi
    set_entry 1 || true
  elif runs_32bit; then
    exit 0
  fi
fi

# ---------------------------------------------------------------- the emulated path

# The emulator: only qemu-i386 out of the package.
qemu=$emu/qemu-i386
if [ ! -x "$qemu" ]; then
  apt_dir=$emu/apt
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main" \
    >"$apt_dir/sources.list"
  apt_options=(-o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
               -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir"
               -o Dir::Cache::archives="$apt_dir/archives" -o APT::Sandbox::User="$(id -un)"
               -o Debug::NoLocking=1)
  echo "Fetching qemu-user from $suite (unpacked into $emu, not installed)"
  apt-get "${apt_options[@]}" -qq update >/dev/null 2>&1 || fail "cannot read the package list of $suite from deb.debian.org: check that it can be reached, then run make again"
  version=$(apt-cache "${apt_options[@]}" show qemu-user 2>/dev/null | awk '/^Version:/ { print $2; exit }')
  [ -n "$version" ] || fail "no qemu-user package in $suite: put qemu-i386 8.1 or later at $qemu by hand"
  dpkg --compare-versions "$version" ge "$minimum" ||
    fail "qemu-user $version in $suite is older than ${minimum#1:}: put qemu-i386 8.1 or later at $qemu by hand"
  (cd "$apt_dir/archives" && apt-get "${apt_options[@]}" -qq download "qemu-user=$version" >/dev/null 2>&1) ||
    fail "cannot download qemu-user $version from $suite: check that deb.debian.org can be reached, then run make again"
  deb=$(ls "$apt_dir"/archives/qemu-user_*.deb | head -n1)
  dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/qemu-i386 >"$qemu.new" ||
    fail "no qemu-i386 in $deb: put qemu-i386 8.1 or later at $qemu by hand"
  chmod 755 "$qemu.new"
  mv "$qemu.new" "$qemu"
  rm -rf "$apt_dir"
fi

library=$emu/faultcodes.so
if [ ! -f "$library" ] || [ "$root/tools/emu/faultcodes.c" -nt "$library" ]; then
  gcc -m32 -ffreestanding -fPIC -O2 -fno-stack-protector -Wall -Werror \
      -c "$root/tools/emu/faultcodes.c" -o "$emu/faultcodes.o" &&
    ld -m elf_i386 -shared -o "$library" "$emu/faultcodes.o" || fail "cannot build $library: gcc must compile for -m32 (apt-get install gcc)"
fi

# The emulator takes the library from QEMU_SET_ENV, so that only 32-bit
# programs load it. Its list is comma-separated.
case $library in *,*) fail "the path $library holds a comma, which qemu cannot pass on: clone into another folder" ;; esac
wrapper=$emu/i386-run
cat >"$wrapper.new" <<EOF
#!/bin/sh
# binfmt_misc starts every 32-bit x86 program through this file: $entry.
QEMU_SET_ENV=LD_PRELOAD=$library exec "$qemu" "\$@"
EOF
chmod 755 "$wrapper.new"
# A working entry is kept: this checkout's own when its wrapper is unchanged,
# or another checkout's (a test's second build folder must not point every
# 32-bit program of the machine at a folder that goes when the test ends).
registered=$(sed -n 's/^interpreter //p' "$binfmt/$entry" 2>/dev/null || true)
if ours_registered && runs_32bit &&
   { [ "$registered" != "$wrapper" ] || cmp -s "$wrapper.new" "$wrapper"; }; then
  mv "$wrapper.new" "$wrapper"
  exit 0
fi
mv "$wrapper.new" "$wrapper"

# magic and mask: an ELF file of class 32, little-endian, machine 3 (i386), of
# type executable or shared object; F opens the wrapper now, so that it is
# found from every folder and mount namespace.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
line=":$entry:M::$magic:$mask:$wrapper:F"
if [ "$(id -u)" -ne 0 ]; then
  echo "This machine cannot run 32-bit x86 code; Wine's 32-bit side needs qemu-i386 (now in $emu)" >&2
  echo "registered with binfmt_misc, which needs root. Run as root:" >&2
  echo "  mountpoint -q $binfmt || mount -t binfmt_misc binfmt_misc $binfmt" >&2
  echo "  [ -e $binfmt/$entry ] && echo -1 >$binfmt/$entry" >&2
  echo "  echo '$line' >$binfmt/register" >&2
  exit 1
fi
mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt" ||
  fail "cannot mount binfmt_misc at $binfmt: the kernel needs CONFIG_BINFMT_MISC"
ours_registered && set_entry -1
echo "$line" >"$binfmt/register" || fail "binfmt_misc refused the entry $entry: see dmesg"
echo "32-bit x86 code runs through qemu-i386 ($("$qemu" --version | head -n1 | awk '{ print $3 }')):" \
     "registered the binfmt_misc entry $entry for $wrapper"
runs_32bit || fail "the probe did not run through $wrapper: see dmesg, or run $qemu $probe by hand"
