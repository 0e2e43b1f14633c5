// The chip's blocks as a student's program meets them, one experiment per
// `mode` (written by the system test before the run): button interrupts with
// and without the handler's duties, IDLE woken by a timer, ADC conversions.
#include "common.h"

#define CLKCON REG(0x01D80004)
#define EXTINT REG(0x01D20050)
#define EXTINTPND REG(0x01D20054)
#define ADCCON REG(0x01D40000)
#define ADCPSR REG(0x01D40004)
#define ADCDAT REG(0x01D40008)
#define INT_EINT4567 (1u << 21)
#define INT_GLOBAL (1u << 26)

volatile int mode = -1;
volatile int presses;  // handler entries
volatile int wakes;
volatile int ticks;
volatile unsigned adc_values[8];
volatile unsigned spins;

// No debouncing: every falling edge of a bouncing contact is a "press".
__attribute__((interrupt("IRQ"))) void button_handler(void) {
  ++presses;
  if (mode != 2) EXTINTPND = 0xF;  // mode 2 forgets it: the request stays
  I_ISPC = INT_EINT4567;
}

__attribute__((interrupt("IRQ"))) void timer_handler(void) {
  ++ticks;
  I_ISPC = INT_TIMER0;
}

static void buttons(void) {
  if (mode == 1) EXTINT = 0x20000020;  // EINT6 low level, the rest as the monitor left it
  SLOT(21) = (unsigned)button_handler;
  EXTINTPND = 0xF;
  I_ISPC = INT_EINT4567;
  INTMSK &= ~(INT_EINT4567 | INT_GLOBAL);
  INTCON = 1;  // vectored, IRQ line on
  // Busy rather than `b .`: the board lets the time of a branch to itself
  // pass up to the next event, which would space out the re-entries.
  for (;;) ++spins;
}

static void idle_three_times(void) {
  SLOT(13) = (unsigned)timer_handler;
  TCFG0 = 255;     // prescaler 256
  TCFG1 = 0;       // /2: 125 kHz at the monitor's 64 MHz
  TCNTB0 = 1249;   // 10 ms
  TCON = 0x0A;     // manual update, auto-reload
  TCON = 0x09;     // start
  INTMSK &= ~(INT_TIMER0 | INT_GLOBAL);
  INTCON = 1;
  for (int i = 0; i < 3; ++i) {
    CLKCON |= 4;  // IDLE until the timer's interrupt
    ++wakes;
  }
  TCON = 0;
}

static void adc_all(void) {
  ADCPSR = 20;
  for (unsigned ch = 0; ch < 8; ++ch) {
    ADCCON = ch << 2 | 1;  // SLEEP off, start
    while (!(ADCCON & 0x40)) {
    }
    adc_values[ch] = ADCDAT;
  }
}

int main(void) {
  WTCON = 0;
  switch (mode) {
    case 0:
    case 1:
    case 2: buttons(); break;
    case 3: idle_three_times(); break;
    case 4: adc_all(); break;
  }
  return 0;
}
