// Reads the internal SRAM's area while the cache uses all of it, which
// aborts. The data-abort handler prints the address of the faulting
// instruction (LR - 8) and the label of it.
#include "common.h"

extern void faulting_load(void);
extern unsigned fault_label;

// Entered straight from the exception: r0 = LR_abt, the faulting address + 8.
__asm__(".global on_abort\non_abort: mov r0, lr\n b report_abort\n");
extern void on_abort(void);

void report_abort(unsigned lr) {
  puts_("abort at ");
  put_hex(lr - 8);
  puts_(" expected ");
  put_hex((unsigned)&fault_label);
  put('\n');
  while (!(UTRSTAT0 & 4)) {
  }
  for (;;) {
  }
}

int main(void) {
  WTCON = 0;
  console_init();
  REG(0x0C7FFF10) = (unsigned)on_abort;
  REG(0x01C00000) = 0x7;  // SYSCFG: the 8 KB cache on
  __asm__ volatile(
      "b 1f\n"  // SYSCFG's new mode holds from the next block on
      "1: mov r1, #0x10000000\n"
      "add r2, r2, #1\n"
      ".global fault_label\n"
      "fault_label: ldr r0, [r1, #4]\n"
      "add r2, r2, #1\n" ::: "r0", "r1", "r2", "memory");
  puts_("no abort\n");
  return 0;
}
