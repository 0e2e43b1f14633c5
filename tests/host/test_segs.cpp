#include <gtest/gtest.h>

#include <string>

#include "leds.h"
#include "s3c44b0x.h"
#include "segs.h"

namespace {

// Latch byte lighting the named segments: 0 bits light, a=7 b=6 c=5 dp=4 d=3 e=2 g=1 f=0.
uint8 lit(const std::string &segments)
{
    uint8 code = 0xFF;
    for (char s : segments) {
        int bit = std::string("fgedpcba").find(s);
        if (s == 'p')
            bit = 4;
        code = static_cast<uint8>(code & ~(1 << bit));
    }
    return code;
}

TEST(SevenSegments, HexDigitsLightTheirSegments)
{
    const char *shapes[16] = {
        "abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc",
        "abcdefg", "abcfg", "abcefg", "cdefg", "adef", "bcdeg", "adefg", "aefg",
    };
    for (int digit = 0; digit < 16; ++digit)
        EXPECT_EQ(segs_code(static_cast<uint8>(digit)), lit(shapes[digit])) << digit;
}

TEST(SevenSegments, OutOfRangeChangesOnlyTheState)
{
    host_registers_reset();
    segs_init();
    EXPECT_EQ(reg8(SEGS_LATCH), 0xFF);
    segs_putchar(10);
    EXPECT_EQ(reg8(SEGS_LATCH), 0x18);
    segs_putchar(16);
    EXPECT_EQ(reg8(SEGS_LATCH), 0x18);
    EXPECT_EQ(segs_status(), 16);
    segs_off();
    EXPECT_EQ(segs_status(), 0xFF);
    EXPECT_EQ(reg8(SEGS_LATCH), 0xFF);
}

TEST(Leds, PinAndRememberedLevelMoveTogether)
{
    host_registers_reset();
    leds_init();
    EXPECT_EQ(led_status(LED_LEFT), 1);
    EXPECT_EQ(led_status(LED_RIGHT), 1);
    EXPECT_EQ(reg32(PDATB) & 0x600, 0x600u);

    led_on(LED_RIGHT);
    EXPECT_EQ(led_status(LED_RIGHT), 0);
    EXPECT_EQ(reg32(PDATB) & 0x600, 0x200u);
    led_off(LED_RIGHT);
    EXPECT_EQ(led_status(LED_RIGHT), 1);

    led_switch(LED_LEFT);
    EXPECT_EQ(led_status(LED_LEFT), 0);
    EXPECT_EQ(reg32(PDATB) & 0x600, 0x400u);
    led_switch(LED_LEFT);
    EXPECT_EQ(led_status(LED_LEFT), 1);
    EXPECT_EQ(reg32(PDATB) & 0x600, 0x600u);
}

} // namespace
