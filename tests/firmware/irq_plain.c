// A timer handler written as a plain C function (no interrupt("IRQ")): it
// returns with a plain return, so main goes on in IRQ mode, on the IRQ
// stack, and its own return then takes a word from that stack.
#include "common.h"

#define TIMER0 13

static volatile int ticks;

void tick(void) {
  ++ticks;
  I_ISPC = 1u << TIMER0;
}

int main(void) {
  WTCON = 0;
  console_init();
  SLOT(TIMER0) = (unsigned)tick;
  TCFG0 = 63;
  TCFG1 = 0;
  TCNTB0 = 500;
  TCON = 0x0A;
  TCON = 0x09;
  INTCON = 0x1;
  INTMSK &= ~((1u << 26) | (1u << TIMER0));
  while (!ticks) {
  }
  puts_("tick\n");
  while (!(UTRSTAT0 & 4)) {
  }
  return 0;
}
