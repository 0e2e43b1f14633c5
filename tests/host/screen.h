// Reading the host frame buffer back in tests.
#ifndef TESTS_HOST_SCREEN_H
#define TESTS_HOST_SCREEN_H

#include <set>
#include <string>
#include <utility>

#include "font8x16.h"
#include "lcd.h"

using Pixel = std::pair<int, int>;

// Every pixel that is not background, in a rectangle (whole screen by default).
inline std::set<Pixel> lit_pixels(int x0 = 0, int y0 = 0, int x1 = LCD_WIDTH, int y1 = LCD_HEIGHT)
{
    std::set<Pixel> lit;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (lcd_getpixel(static_cast<uint16>(x), static_cast<uint16>(y)) != 0)
                lit.insert({x, y});
    return lit;
}

// True when the cells from (x, y) show `text` exactly: ink in `color` where the
// glyph has it, background elsewhere; scale 1 for 8 x 16 cells, 2 for 16 x 32.
inline bool shows_text(int x, int y, const std::string &text, uint8 color = 15, int scale = 1)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8 *glyph = font[static_cast<uint8>(text[i])];
        int cx = x + static_cast<int>(i) * 8 * scale;
        for (int r = 0; r < 16 * scale; ++r)
            for (int c = 0; c < 8 * scale; ++c) {
                bool ink = glyph[r / scale] & (0x80 >> (c / scale));
                uint8 want = ink ? color : 0;
                if (lcd_getpixel(static_cast<uint16>(cx + c), static_cast<uint16>(y + r)) != want)
                    return false;
            }
    }
    return true;
}

#endif
