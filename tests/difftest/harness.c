// The fixed half of a random differential test program: it sets the cache
// mode and the timer tick the generator chose (-D on the compiler line),
// fills the memories the body works on, runs the generated body
// (dt_body, body.S) and prints what it left: its registers, its flags, a
// checksum of each memory and the ticks counted. Every mode of board-sim
// must print the same.
#include "common.h"

#define SYSCFG REG(0x01C00000)
#define NCACHBE0 REG(0x01C00004)
#define TCNTO0 REG(0x01D50014)

#ifndef DT_SYSCFG
#define DT_SYSCFG 0
#endif
#ifndef DT_TICK
#define DT_TICK 0  // timer 0's count per tick (0: no tick)
#endif
#ifndef DT_NCACHBE
#define DT_NCACHBE 0  // the SDRAM buffer's page is non-cacheable
#endif

unsigned dt_sdram[512] __attribute__((aligned(64)));
unsigned dt_regs[13];
unsigned dt_init[11];
volatile unsigned dt_ticks;
extern void dt_body(void);

// The internal SRAM the body may use (the upper 4 KB: visible with the
// cache off and in half-cache mode).
#define DT_SRAM ((volatile unsigned *)0x10001000)
#define DT_SRAM_WORDS 1024
#define DT_SRAM_VISIBLE ((DT_SYSCFG & 6) == 0 || (DT_SYSCFG & 6) == 2)

static void __attribute__((interrupt("IRQ"))) dt_tick(void) {
  dt_ticks = dt_ticks + 1;
  I_ISPC = INT_TIMER0;
}

static unsigned mix(unsigned sum, unsigned v) { return ((sum << 5) | (sum >> 27)) ^ v; }

int main(void) {
  console_init();
  UBRDIV0 = 0;  // 4 Mbaud: the oracle runs every poll of the console
  unsigned seed = DT_SEED;
  for (unsigned i = 0; i < 512; i++) dt_sdram[i] = seed = seed * 1103515245u + 12345u;
  for (unsigned i = 0; i < 11; i++) dt_init[i] = seed = seed * 1103515245u + 12345u;
  if (DT_NCACHBE) {
    unsigned page = (unsigned)dt_sdram >> 12;
    NCACHBE0 = ((page + 2) << 16) | page;
  }
  SYSCFG = DT_SYSCFG;
  if (DT_SRAM_VISIBLE)
    for (unsigned i = 0; i < DT_SRAM_WORDS; i++) DT_SRAM[i] = seed = seed * 1103515245u + 12345u;
  if (DT_TICK) {
    SLOT(13) = (unsigned)dt_tick;
    TCFG0 = 0;
    TCFG1 = 0;
    TCNTB0 = DT_TICK;
    TCON = 2;
    TCON = 9;  // start, auto-reload
    INTCON = 1;  // vectored IRQ, the IRQ line on
    INTMSK = 0x07FFFFFF & ~(INT_TIMER0 | 1u << 26);  // (bit 26 masks everything)
  }
  dt_body();
  INTMSK = 0x07FFFFFF;
  TCON = 0;
  SYSCFG = 0;
  static const char *names[13] = {"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9", "r10", "r11", "cpsr"};
  for (unsigned i = 0; i < 13; i++) {
    puts_(names[i]);
    put(' ');
    put_hex(dt_regs[i]);
    puts_("\r\n");
  }
  unsigned sum = 0;
  for (unsigned i = 0; i < 512; i++) sum = mix(sum, dt_sdram[i]);
  puts_("sdram ");
  put_hex(sum);
  puts_("\r\n");
  if (DT_SRAM_VISIBLE) {
    sum = 0;
    for (unsigned i = 0; i < DT_SRAM_WORDS; i++) sum = mix(sum, DT_SRAM[i]);
    puts_("sram ");
    put_hex(sum);
    puts_("\r\n");
  }
  report("ticks", dt_ticks);
  return 0;
}
