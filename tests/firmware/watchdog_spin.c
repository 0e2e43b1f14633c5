// Leaves the watchdog running with its reset on, masks every interrupt and
// spins: no interrupt can leave the loop, but the watchdog's reset does.
#include "common.h"

int main(void) {
  console_init();
  puts_("spinning until the watchdog bites\n");
  while (!(UTRSTAT0 & 4)) {
  }
  INTMSK = 0xFFFFFFFF;
  for (;;) {
  }
}
