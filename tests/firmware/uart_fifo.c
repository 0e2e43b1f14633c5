// UART1 with its FIFOs and interrupts, the way a lab exercise uses them: the
// handlers sit in the monitor's RAM table (URXD1 slot 6, UTXD1 slot 2). The
// receiver requests at 8 bytes (level type) and at the Rx time-out; the
// transmitter is refilled when its FIFO falls to 4 bytes (pulse type). A
// line received on UART1 goes back on UART1 in capitals; the console
// (UART0) then tells how many interrupts of each kind there were.
#include "common.h"

#define UART1(off) REG(0x01D04000 + (off))
#define ULCON1 UART1(0x00)
#define UCON1 UART1(0x04)
#define UFCON1 UART1(0x08)
#define UTRSTAT1 UART1(0x10)
#define UFSTAT1 UART1(0x18)
#define UTXH1 (*(volatile unsigned char *)0x01D04020)
#define URXH1 (*(volatile unsigned char *)0x01D04024)
#define UBRDIV1 UART1(0x28)

#define IRQ_UTXD1 2
#define IRQ_URXD1 6
#define RX_COUNT 0x10F  // UFSTAT: Rx count and the Rx full bit
#define TX_FULL 0x200

static volatile char line[64];
static volatile unsigned rx_len;
static volatile int line_done;
static volatile unsigned rx_irqs, tx_irqs;
static char out[64];
static volatile unsigned tx_next, tx_len;

// Level type: the request stays while 8 bytes wait or the time-out holds, so
// the FIFO is emptied before the pending bit is cleared.
__attribute__((interrupt("IRQ"))) static void on_receive(void) {
  ++rx_irqs;
  while (UFSTAT1 & RX_COUNT) {
    char c = (char)URXH1;
    if (rx_len < sizeof line) line[rx_len++] = c;
    if (c == '\r') line_done = 1;
  }
  I_ISPC = 1u << IRQ_URXD1;
}

static void refill(void) {
  while (tx_next < tx_len && !(UFSTAT1 & TX_FULL)) UTXH1 = (unsigned char)out[tx_next++];
}

// Pulse type: one request each time the Tx FIFO falls to its trigger level.
__attribute__((interrupt("IRQ"))) static void on_transmit(void) {
  ++tx_irqs;
  I_ISPC = 1u << IRQ_UTXD1;
  refill();
}

int main(void) {
  // UART1 first, so that input already waiting finds it on: 8N1 at 115200
  // for the monitor's 64 MHz; FIFOs on and reset, Rx trigger 8, Tx trigger
  // 4; Rx and Tx in interrupt mode, Rx time-out on, Rx level type.
  // PC12/PC13 carry TxD1/RxD1 only when PCONC gives them to UART1.
  REG(0x01D20010) |= 0xFu << 24;  // PCONC
  ULCON1 = 3;
  UBRDIV1 = 34;
  UFCON1 = 0x1 | 0x6 | (1 << 4) | (1 << 6);
  UCON1 = 0x5 | 0x80 | 0x100;
  SLOT(IRQ_URXD1) = (unsigned)on_receive;
  SLOT(IRQ_UTXD1) = (unsigned)on_transmit;
  WTCON = 0;
  console_init();
  I_ISPC = (1u << IRQ_URXD1) | (1u << IRQ_UTXD1);
  INTCON = 1;  // vectored IRQ, IRQ line on
  INTMSK = ~((1u << IRQ_URXD1) | (1u << IRQ_UTXD1) | (1u << 26));
  puts_("uart1 ready\n");

  while (!line_done) {
  }
  unsigned n = 0;
  for (unsigned i = 0; i < rx_len && line[i] != '\r'; ++i) {
    char c = line[i];
    out[n++] = (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
  }
  out[n++] = '\r';
  out[n++] = '\n';
  tx_next = 0;
  tx_len = n;
  INTMSK |= 1u << IRQ_UTXD1;  // the handler refills too
  refill();
  INTMSK &= ~(1u << IRQ_UTXD1);
  while (tx_next < tx_len || !(UTRSTAT1 & 4)) {
  }
  puts_("rx irqs ");
  put_dec(rx_irqs);
  puts_(", tx irqs ");
  put_dec(tx_irqs);
  puts_(", bytes ");
  put_dec(rx_len);
  put('\n');
  while (!(UTRSTAT0 & 4)) {
  }
  return 0;
}
