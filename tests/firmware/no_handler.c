// Raises a software interrupt without installing a handler: the monitor finds
// 0 in the slot and must halt the board with a report.
#include "common.h"

int main(void) {
  WTCON = 0;
  console_init();
  puts_("before the swi\n");
  while (!(UTRSTAT0 & 4)) {
  }
  __asm__ volatile("swi 0x42");
  puts_("after the swi\n");
  return 0;
}
