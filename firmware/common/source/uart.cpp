// UART0 as a polled text console.
#include "uart.h"

#include <stdarg.h>
#include <stdio.h>

#include "s3c44b0x.h"

static constexpr uint8 CR = 0x0D;
static constexpr uint8 LF = 0x0A;
static constexpr uint8 BS = 0x08;

// --- Device-independent console logic --------------------------------------

uint32 uart_wire_bytes(uint8 c, uint8 out[2])
{
    out[0] = c;
    if (c != LF)
        return 1;
    // Terminals on this board's console expect CR after LF to return the carriage.
    out[1] = CR;
    return 2;
}

void uart_line_start(struct uart_line *line, uint8 *buf, uint32 size)
{
    line->buf = buf;
    line->size = size;
    line->len = 0;
    line->done = FALSE;
}

uint32 uart_line_take(struct uart_line *line, uint8 byte, uint8 echo[3])
{
    if (line->done)
        return 0;
    if (byte == CR) {
        if (line->size > 0)
            line->buf[line->len] = 0;
        line->done = TRUE;
        return 0;
    }
    if (byte == BS) {
        // Nothing to rub out on an empty line: not even the terminal's cursor moves.
        if (line->len == 0)
            return 0;
        --line->len;
        echo[0] = BS;
        echo[1] = ' ';
        echo[2] = BS;
        return 3;
    }
    // A full line ignores further characters silently, so that what the
    // terminal shows is exactly what was kept.
    if (line->len + 1 >= line->size)
        return 0;
    line->buf[line->len++] = byte;
    echo[0] = byte;
    return 1;
}

// --- UART0 -----------------------------------------------------------------

void uart0_init(void)
{
    reg32(UMCON0) = 0;       // no automatic flow control
    reg32(UFCON0) = 0;       // FIFOs off
    reg32(ULCON0) = 3;       // 8N1, normal mode
    reg32(UBRDIV0) = 34;     // 64 MHz / (16 x 35) = 114286 baud, 0.8 % under 115200
    reg32(UCON0) = 5;        // receive and transmit polled
}

static void send_raw(uint8 c)
{
    while ((reg32(UTRSTAT0) & UTRSTAT_TX_HOLDING_EMPTY) == 0) {
    }
    reg32(UTXH0) = c;
}

void uart0_putchar(uint8 c)
{
    uint8 wire[2];
    uint32 n = uart_wire_bytes(c, wire);
    for (uint32 i = 0; i < n; ++i)
        send_raw(wire[i]);
}

void uart0_puts(const uint8 *c)
{
    while (*c != 0)
        uart0_putchar(*c++);
}

uint8 uart0_getchar(void)
{
    while ((reg32(UTRSTAT0) & UTRSTAT_RX_READY) == 0) {
    }
    return static_cast<uint8>(reg32(URXH0) & 0xFF);
}

int uart0_gets_bounded(uint8 *c, uint32 size)
{
    struct uart_line line;
    uart_line_start(&line, c, size);
    while (!line.done) {
        uint8 echo[3];
        uint32 n = uart_line_take(&line, uart0_getchar(), echo);
        for (uint32 i = 0; i < n; ++i)
            uart0_putchar(echo[i]);
    }
    return static_cast<int>(line.len);
}

int uart0_gets(uint8 *c)
{
    return uart0_gets_bounded(c, UART_LINE_SIZE);
}

int uart0_printf(const uint8 *formato, ...)
{
    char cadena[UART_LINE_SIZE];
    va_list args;
    va_start(args, formato);
    int n = vsnprintf(cadena, sizeof cadena, reinterpret_cast<const char *>(formato), args);
    va_end(args);
    if (n < 0)
        return n;
    uart0_puts(reinterpret_cast<const uint8 *>(cadena));
    // A text longer than the buffer was cut: report what was sent.
    return n < static_cast<int>(sizeof cadena) ? n : static_cast<int>(sizeof cadena) - 1;
}

int uart0_scanf(const uint8 *formato, ...)
{
    uint8 cadena[UART_LINE_SIZE];
    int len = uart0_gets_bounded(cadena, sizeof cadena);
    va_list args;
    va_start(args, formato);
    vsscanf(reinterpret_cast<const char *>(cadena), reinterpret_cast<const char *>(formato), args);
    va_end(args);
    return len;
}
