// Prints a line, masks every interrupt and spins: the board must report a halt.
#include "common.h"

int main(void) {
  WTCON = 0;
  console_init();
  puts_("going to sleep for ever");
  INTMSK = 0xFFFFFFFF;
  for (;;) {
  }
}
