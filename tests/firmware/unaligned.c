// A word stored and loaded at an unaligned address, as a packed structure's
// field gives them; then the program has finished.
#include "common.h"

static unsigned char buffer[16] __attribute__((aligned(4)));

int main(void) {
  WTCON = 0;
  // Through a volatile pointer, so that the compiler cannot see the address
  // is odd and split the accesses into bytes itself.
  unsigned char *volatile at = buffer + 1;
  volatile unsigned int *field = (volatile unsigned int *)at;
  *field = 0x11223344;
  buffer[0] = (unsigned char)*field;
  for (;;) {
  }
}
