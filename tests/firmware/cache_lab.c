// A student's lab on memory speed, as one would write it: a sum over a
// table in the SDRAM with the cache off, on (twice: a table larger than
// the cache, and one that fits), and with the table in a non-cacheable
// area; the same sum over a copy in the internal SRAM; a 1 kHz tick whose
// handler counts in the internal SRAM and in a non-cacheable page while
// main waits for either count to move; and delay loops on a volatile
// counter in each memory. Timer 1 measures each part
// and everything goes to the console, so two runs can be compared byte for
// byte.
#include "common.h"

#define SYSCFG REG(0x01C00000)
#define NCACHBE0 REG(0x01C00004)
#define INT_GLOBAL (1u << 26)

#define SRAM ((volatile unsigned *)0x10001000)  // the upper 4 KB stay SRAM in half-cache mode
#define SRAM_TICKS SRAM[1000]
#define TABLE_WORDS 4096                         // 16 KB: twice the cache

static unsigned table[TABLE_WORDS] __attribute__((aligned(4096)));
static volatile unsigned slow_page[1024] __attribute__((aligned(4096)));  // made non-cacheable
#define SLOW_TICKS slow_page[0]

__attribute__((interrupt("IRQ"))) void tick(void) {
  SRAM_TICKS = SRAM_TICKS + 1;
  SLOW_TICKS = SLOW_TICKS + 1;
  I_ISPC = INT_TIMER0;
}


static unsigned elapsed(unsigned from) { return (from - TCNTO1) & 0xFFFF; }

static void delay(volatile unsigned *n, const char *what) {
  unsigned t = TCNTO1;
  for (*n = 0; *n < 2000; ++*n) {
  }
  report(what, elapsed(t));
}

static void wait_ticks(volatile unsigned *count, const char *what) {
  unsigned t = TCNTO1;
  for (unsigned seen = 0; seen < 5; ++seen) {
    unsigned now = *count;
    while (*count == now) {
    }
  }
  report(what, elapsed(t));
}

static unsigned sum(const volatile unsigned *p, int words) {
  unsigned s = 0;
  for (int i = 0; i < words; i += 4) s += p[i];  // one word a line
  return s;
}


static void timed_sum(const char *what, const volatile unsigned *p, int words) {
  unsigned t = TCNTO1;
  unsigned s = sum(p, words);
  report(what, elapsed(t));
  report("  sum", s & 0xFFFF);
}

int main(void) {
  WTCON = 0;
  console_init();
  for (int i = 0; i < TABLE_WORDS; ++i) table[i] = (unsigned)i * 7u;
  SLOT(13) = (unsigned)tick;
  TCFG0 = 0;
  TCFG1 = 0x30;       // timer 0 at MCLK / 2, timer 1 at MCLK / 16
  TCNTB0 = 31999;     // 1 kHz
  TCNTB1 = 0xFFFF;
  TCON = 0x20A;
  TCON = 0x909;

  timed_sum("cache off", table, TABLE_WORDS);
  SYSCFG = 0xB;       // 4 KB of cache, the write buffer on
  timed_sum("cache on, 16 KB", table, TABLE_WORDS);
  timed_sum("cache on, 16 KB again", table, TABLE_WORDS);
  timed_sum("cache on, 2 KB", table, 512);
  timed_sum("cache on, 2 KB again", table, 512);
  unsigned page = (unsigned)table >> 12;
  NCACHBE0 = (page + 4) << 16 | page;
  timed_sum("non-cacheable", table, TABLE_WORDS);
  NCACHBE0 = 0;
  for (int i = 0; i < 512; i += 4) SRAM[i] = table[i];
  timed_sum("internal SRAM", SRAM, 512);

  // Wait for the tick to move five times, counted in the SRAM and in the
  // non-cacheable page; delay loops on the stack, in the SRAM and in that
  // page, with the cache on, then off.
  SRAM_TICKS = 0;
  INTMSK &= ~(INT_TIMER0 | INT_GLOBAL);
  INTCON = 1;
  page = (unsigned)slow_page >> 12;
  NCACHBE0 = (page + 1) << 16 | page;
  wait_ticks(&SRAM_TICKS, "five ticks in the SRAM");
  wait_ticks(&SLOW_TICKS, "five ticks in a non-cacheable page");
  volatile unsigned n;
  delay(&n, "delay, cache on");
  delay(&SRAM[8], "delay in the SRAM, cache on");
  delay(&slow_page[8], "delay non-cacheable");
  SYSCFG = 0x1;
  delay(&n, "delay, cache off");
  delay(&SRAM[8], "delay in the SRAM, cache off");
  report("ticks", SRAM_TICKS);
  return 0;
}
