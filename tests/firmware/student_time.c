// A student's lab on time, as one would write it: a 1 kHz tick from timer 0
// whose handler counts and blinks the LEDs; the RTC's seconds polled while
// the tick runs; the keypad's first row read eight times a turn in a loop
// that also counts; fifty "sleep until the next tick" waits; and a timer
// read twice around a little work. Everything it measures goes to the
// console, so two runs can be compared byte for byte.
#include "common.h"

#define CLKCON REG(0x01D80004)
#define RTCCON REG(0x01D70040)
#define BCDSEC REG(0x01D70070)
#define PCONB REG(0x01D20008)
#define PDATB REG(0x01D2000C)
#define KEYROW0 (*(volatile unsigned char *)0x060000FD)
#define INT_GLOBAL (1u << 26)

volatile unsigned ticks;

__attribute__((interrupt("IRQ"))) void tick(void) {
  ++ticks;
  if ((ticks & 255) == 0) PDATB ^= 1u << 9;
  I_ISPC = INT_TIMER0;
}

int main(void) {
  WTCON = 0;
  console_init();
  PCONB &= ~(3u << 9);  // PB9, PB10 drive the LEDs
  SLOT(13) = (unsigned)tick;
  TCFG0 = 0;
  TCFG1 = 0;          // timer 0 and 1 at MCLK / 2
  TCNTB0 = 31999;     // 1 kHz
  TCNTB1 = 0xFFFF;
  TCON = 0x20A;       // manual update of both, auto-reload of timer 0
  TCON = 0x909;       // start both, auto-reload
  INTMSK &= ~(INT_TIMER0 | INT_GLOBAL);
  INTCON = 1;         // vectored, IRQ on

  // The seconds as the tick goes on: a poll with a handler running.
  RTCCON = 1;
  unsigned first = BCDSEC;
  while (BCDSEC == first) {
  }
  RTCCON = 0;
  report("ticks at the second", ticks);

  // A timer read twice around a little work, in one block.
  unsigned a = TCNTO1;
  unsigned x = a;
  for (int i = 0; i < 40; ++i) x = x * 3 + 1;
  unsigned b = TCNTO1;
  report("work took", (a - b) & 0xFFFF);
  report("x", x & 0xFF);

  // Reads of one register in a loop that does work: no poll.
  unsigned start = ticks, seen = 0;
  for (int i = 0; i < 1000; ++i) {
    unsigned row = KEYROW0;
    row += KEYROW0;
    row += KEYROW0;
    row += KEYROW0;
    row += KEYROW0;
    row += KEYROW0;
    row += KEYROW0;
    row += KEYROW0;
    seen += row & 1;
  }
  report("reading the keypad took ticks", ticks - start);
  report("seen", seen);

  // Sleep until the next tick, fifty times.
  start = ticks;
  for (int i = 0; i < 50; ++i) CLKCON |= 4;
  report("fifty waits took ticks", ticks - start);
  return 0;
}
