// An abort handler that ends as `for (;;);` does at -O0 (`mov r0, r0` and a
// branch back to it): the board is stuck there. The abort comes from the
// internal SRAM's area while the cache uses all of it.
#include "common.h"

__asm__(".global on_abort\non_abort:\n1: mov r0, r0\n b 1b\n");
extern void on_abort(void);

int main(void) {
  WTCON = 0;
  console_init();
  REG(0x0C7FFF10) = (unsigned)on_abort;
  REG(0x01C00000) = 0x7;  // SYSCFG: the 8 KB cache on, no internal SRAM
  puts_("aborting\n");
  while (!(UTRSTAT0 & 4)) {
  }
  return (int)REG(0x10000000);
}
