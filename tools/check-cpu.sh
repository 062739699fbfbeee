#!/usr/bin/env bash
# check-cpu.sh PROGRAM...: checks that each program's code runs on every
# processor the oldest targets run on, down to the 80386: no instruction of a
# later processor (the 486's bswap, cmpxchg and xadd, the Pentium's rdtsc,
# cpuid and cmpxchg8b, the Pentium Pro's conditional moves and compares, MMX
# and SSE registers). Reads the code with objdump ($OBJDUMP, the cross
# binutils' by default). Exit code 1 with a line per program at fault.
set -uo pipefail
fail=0
for exe in "$@"; do
  newer=$(${OBJDUMP:-i686-w64-mingw32-objdump} -d --no-show-raw-insn "$exe" |
          grep -E $'^ *[0-9a-f]+:\t(cmov|fcmov|f(u)?comip?|bswap|cmpxchg|xadd|rdtsc|cpuid)|%x?mm[0-9]' |
          head -n 3 | tr '\t\n' '  ')
  if [ -n "$newer" ]; then echo "$exe: code a Pentium or a 486 cannot run: $newer"; fail=1; fi
done
exit $fail
