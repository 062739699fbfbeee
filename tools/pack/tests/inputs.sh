# Sourced by the packer's round trips (szddpack_test.sh, tests/lz/lz_roundtrip.sh):
# pack_inputs PACKER writes the inputs as *.bin into the current folder. Noise
# comes from a linear congruential generator, so that a failure can be
# reproduced byte for byte.
noise() { perl -e 'my ($n, $x) = @ARGV; binmode STDOUT;
  print pack("C", ($x = ($x * 1103515245 + 12345) % 2**31) >> 16 & 255) for 1 .. $n;' "$1" "$2"; }

pack_inputs() {
  : > empty.bin
  local n i
  for n in 1 2 15 16 17 18 19; do noise "$n" "$n" > "tiny$n.bin"; done
  printf '%20s' '' > blanks20.bin  # all taken from the initial window, which holds blanks
  printf '%36s' '' > blanks36.bin
  noise 65536 7 > random.bin       # incompressible
  perl -e 'binmode STDOUT; print "ab" x 100000, "\0" x 70000, "xyz" x 7' > repeat.bin
  perl -e 'for my $i (1 .. 2000) { print "line $i: the quick brown fox jumps over the lazy dog\r\n" }' > text.bin
  # 1 MiB of text, noise and a program, in turns.
  for i in $(seq 12); do cat /usr/share/common-licenses/GPL-3; noise 40000 "$i"; head -c 30000 "$1"; done > mix
  head -c 1048576 mix > mixed1m.bin && rm mix
}
