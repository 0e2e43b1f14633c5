#include <gtest/gtest.h>

#include <string>

#include "screen.h"
#include "s3c44b0x.h"

namespace {

class Lcd : public ::testing::Test {
protected:
    void SetUp() override { lcd_clear(); }
};

const uint8 *text(const char *s)
{
    return reinterpret_cast<const uint8 *>(s);
}

std::set<Pixel> rect(int x0, int y0, int x1, int y1)
{
    std::set<Pixel> r;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            r.insert({x, y});
    return r;
}

TEST_F(Lcd, PixelLivesInItsWordAndNibble)
{
    struct Case { uint16 x, y; uint32 word; int shift; };
    const Case cases[] = {
        {0, 0, 0, 28}, {7, 0, 0, 0}, {8, 0, 1, 28}, {0, 1, 40, 28}, {319, 239, 9599, 0}, {13, 2, 81, 8},
    };
    for (const Case &c : cases) {
        lcd_clear();
        lcd_putpixel(c.x, c.y, 0xA);
        for (uint32 w = 0; w < LCD_WORDS; ++w)
            EXPECT_EQ(lcdbuffer[w], w == c.word ? 0xAu << c.shift : 0u) << c.x << "," << c.y << " word " << w;
        EXPECT_EQ(lcd_getpixel(c.x, c.y), 0xA);
    }
}

TEST_F(Lcd, PixelWriteKeepsTheOtherSevenOfItsWord)
{
    for (uint16 x = 16; x < 24; ++x)
        lcd_putpixel(x, 5, static_cast<uint8>(x - 15));
    EXPECT_EQ(lcdbuffer[5 * 40 + 2], 0x12345678u);
    lcd_putpixel(19, 5, 0xF);
    EXPECT_EQ(lcdbuffer[5 * 40 + 2], 0x123F5678u);
    EXPECT_EQ(lcd_getpixel(19, 5), 0xF);
}

TEST_F(Lcd, PixelsOffTheScreenAreIgnored)
{
    const Pixel outside[] = {{320, 0}, {0, 240}, {400, 300}, {65535, 65535}};
    for (const Pixel &p : outside) {
        lcd_putpixel(static_cast<uint16>(p.first), static_cast<uint16>(p.second), 15);
        EXPECT_EQ(lcd_getpixel(static_cast<uint16>(p.first), static_cast<uint16>(p.second)), 0);
    }
    EXPECT_TRUE(lit_pixels().empty());
    // A band that runs off the right edge stops there instead of wrapping to the next row.
    lcd_draw_hline(316, 330, 0, 15, 1);
    EXPECT_EQ(lit_pixels(), rect(316, 0, 319, 0));
}

TEST_F(Lcd, BandsAndBoxesCoverExactlyTheirPixels)
{
    std::set<Pixel> battery;
    for (const Pixel &p : rect(278, 13, 291, 22))
        if (p.first == 278 || p.first == 291 || p.second == 13 || p.second == 22)
            battery.insert(p);
    battery.erase({291, 22});

    std::set<Pixel> status_bar;
    for (const std::set<Pixel> &band : {rect(4, 4, 315, 6), rect(4, 32, 315, 34), rect(4, 4, 6, 31), rect(316, 4, 318, 31)})
        status_bar.insert(band.begin(), band.end());

    struct Case { const char *name; void (*draw)(); std::set<Pixel> expected; };
    const Case cases[] = {
        {"two-pixel hline", [] { lcd_draw_hline(233, 235, 16, 15, 1); }, {{233, 16}, {234, 16}}},
        {"empty vline", [] { lcd_draw_vline(22, 22, 100, 15, 1); }, {}},
        {"reversed hline", [] { lcd_draw_hline(10, 5, 3, 15, 2); }, {}},
        {"zero width", [] { lcd_draw_vline(3, 9, 7, 15, 0); }, {}},
        {"thick vline grows right", [] { lcd_draw_vline(15, 21, 292, 15, 2); }, rect(292, 15, 293, 20)},
        {"thick hline grows down", [] { lcd_draw_hline(4, 8, 40, 15, 3); }, rect(4, 40, 7, 42)},
        {"battery outline", [] { lcd_draw_box(278, 13, 291, 22, 15, 1); }, battery},
        {"status bar with its notch", [] { lcd_draw_box(4, 4, 316, 32, 15, 3); }, status_bar},
    };
    for (const Case &c : cases) {
        lcd_clear();
        c.draw();
        EXPECT_EQ(lit_pixels(), c.expected) << c.name;
    }
}

TEST_F(Lcd, CharacterReplacesItsWholeCell)
{
    lcd_draw_hline(0, 40, 0, 15, 40);
    lcd_putchar(8, 8, 15, ' ');
    EXPECT_TRUE(lit_pixels(8, 8, 16, 24).empty());
    EXPECT_EQ(lcd_getpixel(7, 8), 15);
    EXPECT_EQ(lcd_getpixel(16, 8), 15);

    lcd_putchar(8, 8, 9, 'A');
    EXPECT_TRUE(shows_text(8, 8, "A", 9));
    lcd_putchar(8, 8, 15, 0x01);    // no glyph: a blank cell
    EXPECT_TRUE(lit_pixels(8, 8, 16, 24).empty());
}

TEST_F(Lcd, DoubleSizeDoublesEveryFontPixel)
{
    lcd_puts_x2(100, 45, 15, text("MORVANE"));
    EXPECT_TRUE(shows_text(100, 45, "MORVANE", 15, 2));
    EXPECT_TRUE(lit_pixels(0, 0, 100, 240).empty());
    EXPECT_TRUE(lit_pixels(212, 0, 320, 240).empty());
}

TEST_F(Lcd, StringsAdvanceOneCellPerByte)
{
    lcd_puts(18, 79, 15, text(""));
    EXPECT_TRUE(lit_pixels().empty());
    lcd_puts(18, 79, 15, text("1. Agenda"));
    EXPECT_TRUE(shows_text(18, 79, "1. Agenda"));
}

TEST_F(Lcd, PrintfDrawsWhatItFormatsAndCountsIt)
{
    EXPECT_EQ(lcd_printf(10, 12, 15, text("%i"), 42), 2);
    EXPECT_TRUE(shows_text(10, 12, "42"));
    EXPECT_TRUE(lit_pixels(26, 0, 320, 240).empty());
    EXPECT_EQ(lcd_printf_x2(50, 100, 15, text("Llamando a...")), 13);
    EXPECT_TRUE(shows_text(50, 100, "Llamando a...", 15, 2));
}

TEST_F(Lcd, PrintfCutsTextThatDoesNotFitItsBuffer)
{
    std::string long_text(300, 'x');
    EXPECT_EQ(lcd_printf(0, 0, 15, text("%s"), long_text.c_str()), 255);
    EXPECT_EQ(lcd_printf_x2(0, 100, 15, text("%s!"), long_text.c_str()), 255);
    EXPECT_TRUE(shows_text(0, 0, std::string(40, 'x')));
}

TEST(LcdController, FrameAddressRegister)
{
    EXPECT_EQ(lcd_saddr1(0x0C300000), 0x16180000u);
}

TEST(LcdController, StatusFollowsEnvid)
{
    host_registers_reset();
    lcd_init();
    EXPECT_EQ(lcd_status(), 1);
    lcd_on();
    EXPECT_EQ(lcd_status(), 0);
    EXPECT_EQ(reg32(LCDCON1), 0x0000D021u);
    lcd_off();
    EXPECT_EQ(lcd_status(), 1);
}

} // namespace
