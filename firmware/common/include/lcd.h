// 320 x 240 LCD with 16 grey levels, drawn in software into the frame buffer
// that the controller scans. Grey 0 is white (the background), 15 black.
// Pixel (x, y) is nibble x mod 8 of word y * 40 + x / 8, the leftmost pixel in
// bits 31..28. Pixels outside the screen are ignored on writes and read as 0.
#ifndef LCD_H
#define LCD_H

#include "types.h"

constexpr uint16 LCD_WIDTH = 320;
constexpr uint16 LCD_HEIGHT = 240;
constexpr uint32 LCD_WORDS_PER_ROW = LCD_WIDTH / 8;
constexpr uint32 LCD_WORDS = LCD_WORDS_PER_ROW * LCD_HEIGHT;   // 9600
// Text buffer of lcd_printf and lcd_printf_x2: a longer text is cut to its
// first 255 characters, and they return the number of characters drawn.
constexpr uint32 LCD_TEXT_SIZE = 256;

constexpr uint32 lcd_word_index(uint16 x, uint16 y)
{
    return y * LCD_WORDS_PER_ROW + x / 8u;
}

constexpr uint32 lcd_nibble_shift(uint16 x)
{
    return 28u - 4u * (x % 8u);
}

// LCDSADDR1 for a 16-grey frame buffer at address `a`: MODESEL 2, LCDBANK =
// address bits 27..22, LCDBASEU = address bits 21..1.
constexpr uint32 lcd_saddr1(uint32 a)
{
    return (2u << 27) | ((a >> 22) << 21) | ((a & 0x003FFFFFu) >> 1);
}

extern "C" {

// The frame buffer, 4-byte aligned in a section of its own at 0x0C300000.
// Only this driver writes it; the symbol is public for tests and debuggers.
extern uint32 lcdbuffer[LCD_WORDS];

void lcd_init(void);
void lcd_on(void);
void lcd_off(void);
uint8 lcd_status(void);          // 0 on, 1 off

void lcd_clear(void);
void lcd_putpixel(uint16 x, uint16 y, uint8 color);
uint8 lcd_getpixel(uint16 x, uint16 y);

// Bands: xright and ydown are exclusive; the width grows downwards (hline) or
// to the right (vline).
void lcd_draw_hline(uint16 xleft, uint16 xright, uint16 y, uint8 color, uint16 width);
void lcd_draw_vline(uint16 yup, uint16 ydown, uint16 x, uint8 color, uint16 width);
// Outline: the width x width square at (xright, ydown) stays undrawn.
void lcd_draw_box(uint16 xleft, uint16 yup, uint16 xright, uint16 ydown, uint8 color, uint16 width);

// Text in 8 x 16 cells (x2: 16 x 32), placed by the top-left corner; the
// whole cell is written, background 0. No wrapping, no control characters.
void lcd_putchar(uint16 x, uint16 y, uint8 color, uint8 ch);
void lcd_puts(uint16 x, uint16 y, uint8 color, const uint8 *s);
int lcd_printf(uint16 x, uint16 y, uint8 color, const uint8 *fmt, ...);
void lcd_putchar_x2(uint16 x, uint16 y, uint8 color, uint8 ch);
void lcd_puts_x2(uint16 x, uint16 y, uint8 color, const uint8 *s);
int lcd_printf_x2(uint16 x, uint16 y, uint8 color, const uint8 *fmt, ...);

}

#endif
