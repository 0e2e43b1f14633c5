// Sends back every byte it receives, on UART0 and on UART1, byte for byte
// with the FIFOs off: a loop-back plug for the host's serial ports. Both
// UARTs run at 125000 baud (64 MHz / (16 x 32)), a rate a far end can match
// exactly (--uart-baud 125000), so a long burst comes back whole.
#include "common.h"

#define UART1(off) REG(0x01D04000 + (off))
#define ULCON1 UART1(0x00)
#define UCON1 UART1(0x04)
#define UTRSTAT1 UART1(0x10)
#define UBRDIV1 UART1(0x28)
#define UTXH1 (*(volatile unsigned char *)0x01D04020)
#define URXH1 (*(volatile unsigned char *)0x01D04024)
#define URXH0 (*(volatile unsigned char *)0x01D00024)
#define UTXH0B (*(volatile unsigned char *)0x01D00020)

int main(void) {
  WTCON = 0;
  REG(0x01D20010) |= 0xFu << 24;  // PCONC: PC12/PC13 to TxD1/RxD1
  ULCON0 = 3;
  UBRDIV0 = 31;
  UCON0 = 5;
  ULCON1 = 3;
  UBRDIV1 = 31;
  UCON1 = 5;
  for (;;) {
    // The holding register empties as its byte starts on the line, one
    // frame before the next byte can arrive: the echo keeps pace.
    if (UTRSTAT0 & 1) {
      unsigned char c = URXH0;
      while (!(UTRSTAT0 & 2)) {
      }
      UTXH0B = c;
    }
    if (UTRSTAT1 & 1) {
      unsigned char c = URXH1;
      while (!(UTRSTAT1 & 2)) {
      }
      UTXH1 = c;
    }
  }
}
