/* The reference program of the test harness's speed factor: a Wine process
   start and a fixed piece of processor work, about 50 ms on the machine where
   the tests' time limits were set. tests/e2e/lib.sh times one run of it and
   scales every wait and bound of the tests by the ratio (never below 1). */
#include <stdio.h>

int main(void) {
  unsigned x = 2463534242u, sum = 0;
  for (int i = 0; i < 40000000; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    sum += x * 2654435761u;
  }
  printf("%08x\n", sum);  /* the result is used, so the loop stays */
  return 0;
}
