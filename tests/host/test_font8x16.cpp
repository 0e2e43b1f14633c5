#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "font8x16.h"

namespace {

bool has_glyph(int code)
{
    return (code >= 0x21 && code <= 0x7E) || code == 0xD1 || code == 0xF1;
}

// Lowest and highest rows with ink, -1 for an empty glyph.
std::pair<int, int> ink_rows(int code)
{
    int top = -1, bottom = -1;
    for (int r = 0; r < 16; ++r)
        if (font[code][r] != 0) {
            if (top < 0)
                top = r;
            bottom = r;
        }
    return {top, bottom};
}

std::string name(int code)
{
    char buf[16];
    snprintf(buf, sizeof buf, "0x%02X '%c'", code, code >= 0x20 && code < 0x7F ? code : '?');
    return buf;
}

TEST(Font, GlyphsExactlyWhereTheyBelong)
{
    EXPECT_EQ(sizeof font, 4096u);
    for (int code = 0; code < 256; ++code) {
        auto rows = ink_rows(code);
        EXPECT_EQ(rows.first >= 0, has_glyph(code)) << name(code);
        if (rows.first >= 0) {
            EXPECT_GE(rows.first, 1) << name(code);
            EXPECT_LE(rows.second, 13) << name(code);
        }
    }
    EXPECT_EQ(memcmp(font[0xD1], font[0xF1], 16), 0);
}

TEST(Font, CapitalsAndDigitsStandOnRowsThreeToEleven)
{
    std::string tall = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (char ch : tall)
        EXPECT_EQ(ink_rows(static_cast<uint8>(ch)), std::make_pair(3, 11)) << ch;
}

TEST(Font, OnlyDescendersGoBelowTheBaseline)
{
    std::string descenders = "gjpqy_";
    for (char ch : descenders)
        EXPECT_EQ(ink_rows(static_cast<uint8>(ch)).second, 13) << ch;
    for (int ch = 'a'; ch <= 'z'; ++ch) {
        if (descenders.find(static_cast<char>(ch)) != std::string::npos)
            continue;
        auto rows = ink_rows(ch);
        EXPECT_GE(rows.first, 3) << static_cast<char>(ch);
        EXPECT_EQ(rows.second, 11) << static_cast<char>(ch);
    }
}

TEST(Font, LeftColumnSeparatesCells)
{
    for (int code = 0; code < 256; ++code) {
        if (code == '_')
            continue;
        for (int r = 0; r < 16; ++r)
            EXPECT_EQ(font[code][r] & 0x80, 0) << name(code) << " row " << r;
    }
}

// The simulator recognises text by exact glyph match: no two characters may
// share a bitmap, and none may look like an empty cell.
TEST(Font, EveryPrintableGlyphIsDistinct)
{
    static const uint8 blank[16] = {};
    for (int a = 0x21; a < 256; ++a) {
        if (!has_glyph(a) || a == 0xD1)
            continue;
        EXPECT_NE(memcmp(font[a], blank, 16), 0) << name(a);
        for (int b = a + 1; b < 256; ++b) {
            if (has_glyph(b) && b != 0xD1) {
                EXPECT_NE(memcmp(font[a], font[b], 16), 0) << name(a) << " and " << name(b);
            }
        }
    }
}

} // namespace
