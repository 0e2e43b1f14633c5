#include <gtest/gtest.h>

#include "s3c44b0x.h"
#include "screen.h"
#include "telefono_lcd.h"

namespace {

class PhoneScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_registers_reset();
        reg32(INTMSK) = 0x03EFFFFF;   // as the tick left it: tick and global bit unmasked
    }
};

bool on(int x, int y)
{
    return lcd_getpixel(static_cast<uint16>(x), static_cast<uint16>(y)) == 15;
}

TEST_F(PhoneScreen, EmptyPhoneOutlinesAndMarks)
{
    lcd_draw_hline(0, 320, 100, 15, 10);      // anything left from before is cleared
    ini_telefono(0);
    EXPECT_EQ(reg32(INTMSK), 0x03EFFFFFu);

    // Outlines and their 3 x 3 bottom-right notches.
    EXPECT_TRUE(on(4, 4) && on(315, 34) && on(318, 31) && on(318, 235) && on(315, 238));
    EXPECT_TRUE(lit_pixels(316, 32, 319, 35).empty());
    EXPECT_TRUE(lit_pixels(316, 236, 319, 239).empty());
    EXPECT_TRUE(lit_pixels(7, 43, 316, 45).empty());
    EXPECT_TRUE(shows_text(100, 45, "MORVANE", 15, 2));
    EXPECT_TRUE(lit_pixels(7, 77, 316, 236).empty());

    // Signal staircase: column 295 empty, then pairs up to 308 rows 13..21.
    EXPECT_TRUE(lit_pixels(295, 7, 296, 32).empty());
    EXPECT_EQ(lit_pixels(296, 7, 297, 32), (std::set<Pixel>{{296, 21}}));
    EXPECT_EQ(lit_pixels(308, 7, 309, 32).size(), 9u);
    EXPECT_TRUE(on(308, 13) && !on(308, 12) && !on(297, 21) && !on(309, 21));

    // Battery: outline without (291, 22), terminal, three cells.
    EXPECT_TRUE(on(278, 13) && on(290, 22) && on(291, 21) && !on(291, 22));
    EXPECT_EQ(lit_pixels(292, 7, 293, 32).size(), 6u);
    EXPECT_TRUE(on(279, 15) && on(289, 20) && !on(282, 15) && !on(286, 18) && !on(279, 14));

    // Sound mark: speaker and the three waves, no cross.
    EXPECT_EQ(lit_pixels(256, 14, 260, 18).size(), 16u);
    EXPECT_TRUE(on(264, 9) && on(264, 22) && on(266, 14) && on(269, 10) && on(271, 18));
    EXPECT_FALSE(on(274, 11));
}

TEST_F(PhoneScreen, MuteMarkOnlyForSoundStateOne)
{
    ini_telefono(1);
    std::set<Pixel> cross;
    for (int t = 0; t <= 8; ++t) {
        cross.insert({266 + t, 11 + t});
        cross.insert({274 - t, 11 + t});
    }
    EXPECT_EQ(lit_pixels(265, 7, 278, 32), cross);

    const std::set<Pixel> with_sound_state_1 = lit_pixels();
    ini_telefono(2);
    EXPECT_TRUE(on(266, 14) && !on(266, 11));
    EXPECT_NE(lit_pixels(), with_sound_state_1);
}

TEST_F(PhoneScreen, MainMenuLines)
{
    pinta_main_menu(0);
    EXPECT_EQ(reg32(INTMSK), 0x03EFFFFFu);
    const char *lines[] = {"1. Agenda", "2. Fecha y Hora", "3. Llamar", "4. Sonido", "5. Contestador"};
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(shows_text(18, 79 + 18 * i, lines[i])) << lines[i];
}

TEST_F(PhoneScreen, HandsetMark)
{
    pinta_telefono(0);
    std::set<Pixel> handset;
    for (int x = 236; x <= 245; ++x) handset.insert({x, 15});
    for (int x : {233, 234, 247, 248}) handset.insert({x, 16});
    for (int x : {232, 250}) handset.insert({x, 17});
    for (int x = 238; x <= 243; ++x) handset.insert({x, 18});
    for (int y = 19; y <= 21; ++y)
        for (int x : {231, 237, 245, 251}) handset.insert({x, y});
    for (int x = 231; x <= 236; ++x) handset.insert({x, 22});
    for (int x = 245; x <= 250; ++x) handset.insert({x, 22});
    EXPECT_EQ(lit_pixels(225, 7, 253, 32), handset);
    EXPECT_EQ(reg32(INTMSK), 0x03EFFFFFu);
}

} // namespace
