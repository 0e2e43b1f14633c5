// A timer interrupt unmasked, but INTCON left at its reset value 0x7 (IRQs
// off): the handler never runs, as on the board. board-sim says why.
#include "common.h"

#define TIMER0 13

static volatile int ticks;

static void __attribute__((interrupt("IRQ"))) tick(void) {
  ++ticks;
  I_ISPC = 1u << TIMER0;
}

int main(void) {
  WTCON = 0;
  SLOT(TIMER0) = (unsigned)tick;
  TCFG0 = 63;
  TCFG1 = 0;
  TCNTB0 = 500; /* 1 ms at 500 kHz */
  TCON = 0x0A;  /* manual update, auto-reload */
  TCON = 0x09;  /* start, auto-reload */
  INTMSK &= ~((1u << 26) | (1u << TIMER0));
  /* INTCON = 0x1 is missing. */
  for (volatile int i = 0; i < 100000 && !ticks; ++i) {
  }
  puts_(ticks ? "ticking\n" : "no tick\n");
  for (;;) {
  }
}
