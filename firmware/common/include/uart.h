// Serial console on UART0: 115200 baud nominal, 8N1, no FIFO, polled.
// Output turns "\n" into line feed then carriage return; input lines end with
// a carriage return and are echoed with backspace editing.
#ifndef UART_H
#define UART_H

#include "types.h"

// Size of the line and text buffers of uart0_gets, uart0_printf and
// uart0_scanf: at most 255 characters and the terminating 0.
constexpr uint32 UART_LINE_SIZE = 256;

extern "C" {

void uart0_init(void);
void uart0_putchar(uint8 c);
void uart0_puts(const uint8 *c);
uint8 uart0_getchar(void);

// Reads one line into `c`, which must hold UART_LINE_SIZE bytes; returns its length.
int uart0_gets(uint8 *c);
// The same into a buffer of `size` bytes (at least 1): characters beyond the
// first size - 1 are neither stored nor echoed.
int uart0_gets_bounded(uint8 *c, uint32 size);

// Formatted text is cut to its first 255 characters; returns what was sent.
int uart0_printf(const uint8 *formato, ...);
// Scans one line read as uart0_gets does; returns the line's length, not the
// number of conversions.
int uart0_scanf(const uint8 *formato, ...);

// --- Device-independent console logic --------------------------------------

// Bytes that go on the wire for one byte sent; returns how many (1 or 2).
uint32 uart_wire_bytes(uint8 c, uint8 out[2]);

// Line editing state: the caller's buffer and how much of it is filled.
struct uart_line {
    uint8 *buf;
    uint32 size;     // bytes in buf, room for the terminating 0 included
    uint32 len;
    boolean done;    // the carriage return has come; buf holds the 0-terminated line
};

void uart_line_start(struct uart_line *line, uint8 *buf, uint32 size);
// Takes one received byte; stores the bytes to echo (each to go through
// uart0_putchar) in `echo` and returns how many (0..3).
uint32 uart_line_take(struct uart_line *line, uint8 byte, uint8 echo[3]);

}

#endif
