// Register access and a polled console for the test firmwares.
#pragma once
#define REG(a) (*(volatile unsigned int *)(a))
#define UTRSTAT0 REG(0x01D00010)
#define UTXH0 REG(0x01D00020)
#define UBRDIV0 REG(0x01D00028)
#define ULCON0 REG(0x01D00000)
#define UCON0 REG(0x01D00004)
#define WTCON REG(0x01D30000)
#define WTDAT REG(0x01D30004)
#define WTCNT REG(0x01D30008)
#define INTCON REG(0x01E00000)
#define INTMSK REG(0x01E0000C)
#define I_ISPC REG(0x01E00024)
#define SLOT(k) REG(0x0C7FFF20 + 4 * (k))
// The PWM timers 0 and 1.
#define TCFG0 REG(0x01D50000)
#define TCFG1 REG(0x01D50004)
#define TCON REG(0x01D50008)
#define TCNTB0 REG(0x01D5000C)
#define TCNTB1 REG(0x01D50018)
#define TCNTO1 REG(0x01D50020)
#define INT_TIMER0 (1u << 13)

// The monitor leaves MCLK at 64 MHz; the far end listens at 115200 baud.
static inline void console_init(void) {
  ULCON0 = 3;
  UCON0 = 5;
  UBRDIV0 = 34;  // 64 MHz / (16 * 35) = 114286 baud, 0.8 % from 115200
}
static inline void put(char c) {
  while (!(UTRSTAT0 & 2)) {
  }
  UTXH0 = (unsigned char)c;
}
static inline void puts_(const char *s) {
  while (*s) put(*s++);
}
static inline void put_hex(unsigned v) {
  for (int i = 28; i >= 0; i -= 4) put("0123456789ABCDEF"[(v >> i) & 15]);
}
static inline void put_dec(unsigned v) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = (char)('0' + v % 10);
    v /= 10;
  } while (v);
  while (n) put(digits[--n]);
}
// "what v" on a line of its own.
static inline void report(const char *what, unsigned v) {
  puts_(what);
  put(' ');
  put_dec(v);
  puts_("\r\n");
}
