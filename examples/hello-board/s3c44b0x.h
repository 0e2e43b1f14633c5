/* The few S3C44B0X registers this program uses, by their manual names. */
#ifndef S3C44B0X_H
#define S3C44B0X_H

#define REG(a) (*(volatile unsigned int *)(a))

/* Watchdog: running at reset, it restarts the chip about 1 s later. */
#define WTCON REG(0x01D30000)

/* UART0: the monitor leaves it at 115200 baud, 8N1, for MCLK = 64 MHz. */
#define UTRSTAT0 REG(0x01D00010)
#define UTXH0 REG(0x01D00020)
#define UTRSTAT_TX_EMPTY (1u << 1) /* the holding register takes a byte */

/* Port B: the LEDs, PB9 (left) and PB10 (right), lit while low. */
#define PCONB REG(0x01D20008)
#define PDATB REG(0x01D2000C)
#define LED_LEFT (1u << 9)
#define LED_RIGHT (1u << 10)

/* Port G: the push-buttons, PG6 (0x40) and PG7 (0x80), low while pressed. */
#define PCONG REG(0x01D20040)
#define PDATG REG(0x01D20044)
#define PUPG REG(0x01D20048)
#define EXTINT REG(0x01D20050)
#define EXTINTPND REG(0x01D20054)
#define BUTTONS 0xC0u

/* Interrupt controller. */
#define INTCON REG(0x01E00000)
#define INTMSK REG(0x01E0000C)
#define I_ISPC REG(0x01E00024)
#define BIT_EINT4567 (1u << 21)
#define BIT_GLOBAL (1u << 26)

/* PWM timer 0, used here for delays. */
#define TCFG0 REG(0x01D50000)
#define TCFG1 REG(0x01D50004)
#define TCON REG(0x01D50008)
#define TCNTB0 REG(0x01D5000C)
#define TCNTO0 REG(0x01D50014)

/* The monitor's table of handler addresses: IRQ source k has slot k. */
#define ISR_SLOT(k) REG(0x0C7FFF20 + 4 * (k))
#define EINT4567_SOURCE 21

#endif
