// Jumps to an address where nothing answers. The prefetch-abort handler
// prints the address it was entered for (LR - 4) and the target of the jump.
#include "common.h"

#define UNMAPPED 0x03000000u

// Entered straight from the exception: r0 = LR_abt, the aborted address + 4.
__asm__(".global on_prefetch_abort\non_prefetch_abort: mov r0, lr\n b report_prefetch_abort\n");
extern void on_prefetch_abort(void);

void report_prefetch_abort(unsigned lr) {
  puts_("prefetch abort at ");
  put_hex(lr - 4);
  puts_(" expected ");
  put_hex(UNMAPPED);
  put('\n');
  while (!(UTRSTAT0 & 4)) {
  }
  for (;;) {
  }
}

int main(void) {
  WTCON = 0;
  console_init();
  REG(0x0C7FFF0C) = (unsigned)on_prefetch_abort;
  ((void (*)(void))UNMAPPED)();
  puts_("no abort\n");
  return 0;
}
