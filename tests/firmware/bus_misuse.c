// The accesses a board goes on after: the cache flushed through its tag and
// LRU memories (with the cache off, then on), a read and a write where
// nothing answers, and stores to the flash (which change nothing there but
// write their base registers back). Prints what it read.
#include "common.h"

#define SYSCFG REG(0x01C00000)

static void flush_cache(void) {
  for (unsigned a = 0x10002000; a < 0x10004800; a += 16) REG(a) = 0;
}

int main(void) {
  WTCON = 0;
  console_init();
  flush_cache();
  SYSCFG = 0x7;  // the 8 KB cache on
  flush_cache();
  SYSCFG = 0x1;
  puts_("flushed\n");
  unsigned nothing = REG(0x03000004);  // bank 1 beyond the 7-segment latch
  REG(0x0A000000) = 5;                // bank 5: empty
  unsigned *p = (unsigned *)0x100, *q = (unsigned *)0x200, *r = (unsigned *)0x300;
  __asm__ volatile("str %3, [%0], #4\n"
                   "strh %3, [%1, #2]!\n"
                   "stmia %2!, {%3}\n"
                   : "+r"(p), "+r"(q), "+r"(r)
                   : "r"(0x12345678)
                   : "memory");
  puts_("read ");
  put_hex(nothing);
  puts_(" bases ");
  put_hex((unsigned)p);
  put(' ');
  put_hex((unsigned)q);
  put(' ');
  put_hex((unsigned)r);
  puts_(" flash ");
  put_hex(REG(0x100));
  put('\n');
  puts_("tag ");
  put_hex(REG(0x10002000));
  put('\n');
  return 0;
}
