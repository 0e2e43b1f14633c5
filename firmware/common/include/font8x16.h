// The 8 x 16 bitmap font: byte r of a glyph is pixel row r, bit 7 the leftmost
// column, a set bit is ink. Codes 0x21..0x7E hold printable ASCII, 0xD1 and
// 0xF1 a lower-case n with a tilde; every other code is an empty cell.
// Ink stays in rows 1..13: capitals and digits on rows 3..11, descenders and
// the underscore down to row 13.
#ifndef FONT8X16_H
#define FONT8X16_H

#include "types.h"

constexpr uint32 FONT_GLYPHS = 256;
constexpr uint32 FONT_ROWS = 16;

extern "C" const uint8 font[FONT_GLYPHS][FONT_ROWS];

#endif
