// A Thumb function called from ARM code (through the linker's interworking
// veneer), for the coverage and profile tests: thumb_leaf is 3 Thumb
// instructions, called 4 times. Built with -g: coverage needs the line table.
#include "common.h"

__attribute__((target("thumb"), naked, noinline)) int thumb_leaf(int x) {
  __asm__ volatile(
      "add r0, #1\n\t"
      "add r0, #2\n\t"
      "bx lr\n\t");
}

volatile int result;

int main(void) {
  WTCON = 0;
  int v = 0;
  for (int i = 0; i < 4; ++i) v = thumb_leaf(v);
  result = v;
  return 0;
}
