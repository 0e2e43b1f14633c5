// LCD controller set-up and software drawing into the frame buffer.
#include "lcd.h"

#include <stdarg.h>
#include <stdio.h>

#include "font8x16.h"
#include "s3c44b0x.h"

// The controller takes address bits 27..22 from one register for the whole
// frame, so the buffer must not cross a 4 MB bank: it has a section of its
// own at 0x0C300000, zeroed by the loader.
#ifdef __arm__
__attribute__((section(".lcdbuffer"), aligned(4)))
#endif
uint32 lcdbuffer[LCD_WORDS];

static constexpr uint32 LCDCON1_ENVID = 1u << 0;

void lcd_init(void)
{
    reg32(LCDCON1) = 0x0000D020;     // CLKVAL 13, 4-bit single scan, output off
    reg32(LCDCON2) = 0x00013CEF;     // HOZVAL 79, LINEVAL 239
    reg32(LCDCON3) = 0;
    reg32(LCDSADDR1) = lcd_saddr1(static_cast<uint32>(reinterpret_cast<uintptr_t>(lcdbuffer)));
    // End of the frame for the buffer at 0x0C300000: LCDBASEU + 80 half-words x 240 lines.
    reg32(LCDSADDR2) = 0x00184B00;
    reg32(LCDSADDR3) = 0x00000050;   // 80 half-words per line
    reg32(REDLUT) = 0;
    reg32(GREENLUT) = 0;
    reg32(BLUELUT) = 0;
    reg32(DITHMODE) = 0x00012210;
    reg32(DP1_2) = 0x0000A5A5;
    reg32(DP4_7) = 0x0BA5DA65;
    reg32(DP3_5) = 0x000A5A5F;
    reg32(DP2_3) = 0x00000D6B;
    reg32(DP5_7) = 0x0EB7B5ED;
    reg32(DP3_4) = 0x00077DBE;
    reg32(DP4_5) = 0x0007EBDF;
    reg32(DP6_7) = 0x07FDFBFE;
}

void lcd_on(void)
{
    reg32(LCDCON1) |= LCDCON1_ENVID;
}

void lcd_off(void)
{
    reg32(LCDCON1) &= ~LCDCON1_ENVID;
}

uint8 lcd_status(void)
{
    return (reg32(LCDCON1) & LCDCON1_ENVID) ? 0 : 1;
}

void lcd_clear(void)
{
    for (uint32 i = 0; i < LCD_WORDS; ++i)
        lcdbuffer[i] = 0;
}

void lcd_putpixel(uint16 x, uint16 y, uint8 color)
{
    if (x >= LCD_WIDTH || y >= LCD_HEIGHT)
        return;
    uint32 shift = lcd_nibble_shift(x);
    uint32 &w = lcdbuffer[lcd_word_index(x, y)];
    w = (w & ~(0xFu << shift)) | (static_cast<uint32>(color & 0xF) << shift);
}

uint8 lcd_getpixel(uint16 x, uint16 y)
{
    if (x >= LCD_WIDTH || y >= LCD_HEIGHT)
        return 0;
    return static_cast<uint8>((lcdbuffer[lcd_word_index(x, y)] >> lcd_nibble_shift(x)) & 0xF);
}

void lcd_draw_hline(uint16 xleft, uint16 xright, uint16 y, uint8 color, uint16 width)
{
    for (uint16 yy = y; yy != static_cast<uint16>(y + width); ++yy)
        for (uint16 xx = xleft; xx < xright; ++xx)
            lcd_putpixel(xx, yy, color);
}

void lcd_draw_vline(uint16 yup, uint16 ydown, uint16 x, uint8 color, uint16 width)
{
    for (uint16 yy = yup; yy < ydown; ++yy)
        for (uint16 xx = x; xx != static_cast<uint16>(x + width); ++xx)
            lcd_putpixel(xx, yy, color);
}

void lcd_draw_box(uint16 xleft, uint16 yup, uint16 xright, uint16 ydown, uint8 color, uint16 width)
{
    lcd_draw_hline(xleft, xright, yup, color, width);
    lcd_draw_hline(xleft, xright, ydown, color, width);
    lcd_draw_vline(yup, ydown, xleft, color, width);
    lcd_draw_vline(yup, ydown, xright, color, width);
}

void lcd_putchar(uint16 x, uint16 y, uint8 color, uint8 ch)
{
    for (uint16 r = 0; r < FONT_ROWS; ++r) {
        uint8 bits = font[ch][r];
        for (uint16 c = 0; c < 8; ++c) {
            uint8 v = (bits & (0x80 >> c)) ? color : 0;
            lcd_putpixel(static_cast<uint16>(x + c), static_cast<uint16>(y + r), v);
        }
    }
}

void lcd_puts(uint16 x, uint16 y, uint8 color, const uint8 *s)
{
    for (; *s != 0; ++s, x = static_cast<uint16>(x + 8))
        lcd_putchar(x, y, color, *s);
}

void lcd_putchar_x2(uint16 x, uint16 y, uint8 color, uint8 ch)
{
    for (uint16 r = 0; r < FONT_ROWS; ++r) {
        uint8 bits = font[ch][r];
        for (uint16 c = 0; c < 8; ++c) {
            uint8 v = (bits & (0x80 >> c)) ? color : 0;
            uint16 px = static_cast<uint16>(x + 2 * c);
            uint16 py = static_cast<uint16>(y + 2 * r);
            lcd_putpixel(px, py, v);
            lcd_putpixel(px, static_cast<uint16>(py + 1), v);
            lcd_putpixel(static_cast<uint16>(px + 1), py, v);
            lcd_putpixel(static_cast<uint16>(px + 1), static_cast<uint16>(py + 1), v);
        }
    }
}

void lcd_puts_x2(uint16 x, uint16 y, uint8 color, const uint8 *s)
{
    for (; *s != 0; ++s, x = static_cast<uint16>(x + 16))
        lcd_putchar_x2(x, y, color, *s);
}

// Formats into the fixed text buffer; a longer text is cut at 255 characters.
// Returns the number of characters drawn, or the formatter's negative error.
static int format_text(char (&text)[LCD_TEXT_SIZE], const uint8 *fmt, va_list args)
{
    int n = vsnprintf(text, sizeof text, reinterpret_cast<const char *>(fmt), args);
    if (n < 0) {
        text[0] = 0;
        return n;
    }
    return n < static_cast<int>(sizeof text) ? n : static_cast<int>(sizeof text) - 1;
}

int lcd_printf(uint16 x, uint16 y, uint8 color, const uint8 *fmt, ...)
{
    char text[LCD_TEXT_SIZE];
    va_list args;
    va_start(args, fmt);
    int n = format_text(text, fmt, args);
    va_end(args);
    lcd_puts(x, y, color, reinterpret_cast<const uint8 *>(text));
    return n;
}

int lcd_printf_x2(uint16 x, uint16 y, uint8 color, const uint8 *fmt, ...)
{
    char text[LCD_TEXT_SIZE];
    va_list args;
    va_start(args, fmt);
    int n = format_text(text, fmt, args);
    va_end(args);
    lcd_puts_x2(x, y, color, reinterpret_cast<const uint8 *>(text));
    return n;
}
