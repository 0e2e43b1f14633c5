/*
 * hello-board: a small complete program for the S3C44B0X teaching board.
 *
 * It greets on the console (UART0), then counts the presses of the two
 * push-buttons: button 0x40 toggles the left LED, button 0x80 the right one,
 * and each press is reported on the console. The buttons interrupt through
 * EINT4567; the handler is installed in the monitor's RAM table and only
 * notes which button went down. Contacts bounce, so the main loop debounces:
 * 30 ms after the press, 100 ms after the release, with EINT4567 masked
 * meanwhile.
 *
 * What the monitor leaves set when it enters main: MCLK at 64 MHz, UART0 at
 * 115200 baud 8N1, a stack for every mode, IRQs enabled in the CPSR. What it
 * does not: the watchdog still runs (it would reset the chip), the LEDs'
 * pins are not outputs, every interrupt source is masked.
 */
#include "s3c44b0x.h"

static volatile unsigned pressed; /* buttons seen going down, set by the handler */

static void put(char c) {
  while (!(UTRSTAT0 & UTRSTAT_TX_EMPTY)) {
  }
  UTXH0 = (unsigned char)c;
}

static void print(const char *s) {
  for (; *s; ++s) {
    put(*s);
    if (*s == '\n') put('\r'); /* terminals want both */
  }
}

static void print_number(unsigned n) {
  char digits[10];
  int i = 0;
  do {
    digits[i++] = (char)('0' + n % 10);
    n /= 10;
  } while (n);
  while (i) put(digits[--i]);
}

/* Timer 0 as a one-shot: 64 MHz / (63 + 1) / 2 = 500 kHz, 2 ticks per ms. */
static void delay_ms(unsigned ms) {
  TCFG0 = (TCFG0 & ~0xFFu) | 63;
  TCFG1 = TCFG1 & ~0xFu;
  TCNTB0 = ms * 500;           /* at most 131 ms */
  TCON = (TCON & ~0x1Fu) | 2;  /* manual update: load the count */
  TCON = (TCON & ~0x1Fu) | 1;  /* start, no auto-reload: it stops at 0 */
  while (TCNTO0 != 0) {
  }
  TCON &= ~0x1Fu;
}

static void __attribute__((interrupt("IRQ"))) buttons_isr(void) {
  pressed |= ~PDATG & BUTTONS;
  INTMSK |= BIT_EINT4567; /* until the main loop has debounced */
  /* The sub-pending bits first: while one is set the controller requests
     EINT4567 again, and clearing I_ISPC alone would enter this at once. */
  EXTINTPND = 0xF;
  I_ISPC = BIT_EINT4567;
}

int main(void) {
  WTCON = 0;

  PCONB &= ~(LED_LEFT | LED_RIGHT); /* PB9, PB10 as outputs */
  PDATB |= LED_LEFT | LED_RIGHT;    /* both dark */

  /* PG6, PG7 as EINT6, EINT7 with pull-ups, on falling edges. */
  PCONG |= 0xFu << 12;
  PUPG &= ~BUTTONS;
  EXTINT = (EXTINT & ~(0x77u << 24)) | (0x22u << 24);

  ISR_SLOT(EINT4567_SOURCE) = (unsigned)buttons_isr;
  EXTINTPND = 0xF;
  I_ISPC = BIT_EINT4567;
  INTCON = 0x1; /* vectored IRQ on, FIQ off */
  INTMSK &= ~(BIT_GLOBAL | BIT_EINT4567);

  print("hello-board: press a button (0x40 left LED, 0x80 right LED)\n");

  unsigned count[2] = {0, 0};
  for (;;) {
    while (!pressed) {
    }
    delay_ms(30);
    unsigned held = pressed & ~PDATG; /* still down once the contacts settle */
    for (int b = 0; b < 2; ++b) {
      unsigned bit = 0x40u << b;
      unsigned led = b ? LED_RIGHT : LED_LEFT;
      if (!(held & bit)) continue;
      PDATB ^= led;
      print(b ? "button 0x80: press " : "button 0x40: press ");
      print_number(++count[b]);
      print(b ? ", right LED " : ", left LED ");
      print(PDATB & led ? "off\n" : "on\n");
    }
    while ((PDATG & BUTTONS) != BUTTONS) {
    }
    delay_ms(100);
    pressed = 0;
    EXTINTPND = 0xF; /* what the bouncing requested meanwhile */
    I_ISPC = BIT_EINT4567;
    INTMSK &= ~BIT_EINT4567;
  }
}
