// Codec command bytes.
#include <gtest/gtest.h>

#include "l3.h"
#include "uda1341ts.h"

TEST(Uda1341ts, VolumeCodeUsesTheLowSixBits)
{
    const struct { uint8 volume, code; } cases[] = {
        {63, 0x00}, {0, 0x3F}, {32, 0x1F}, {64, 0x3F}, {127, 0x00}, {1, 0x3E}, {255, 0x00},
    };
    for (const auto &c : cases)
        EXPECT_EQ(uda1341ts_volume_code(c.volume), c.code) << "volume " << int(c.volume);
}

TEST(Uda1341ts, MuteCodeForAnyNonZeroOn)
{
    const struct { uint8 on, code; } cases[] = {{0, 0x80}, {1, 0x84}, {2, 0x84}, {255, 0x84}};
    for (const auto &c : cases)
        EXPECT_EQ(uda1341ts_mute_code(c.on), c.code) << "on " << int(c.on);
}

TEST(Uda1341ts, InitSendsEightBytesTwoOfThemAddresses)
{
    const uda_command expected[] = {
        {0x16, L3_ADDRESS_MODE}, {0x40, L3_DATA_MODE}, {0x20, L3_DATA_MODE}, {0x00, L3_DATA_MODE},
        {0x80, L3_DATA_MODE}, {0x14, L3_ADDRESS_MODE}, {0xC2, L3_DATA_MODE}, {0xE1, L3_DATA_MODE},
    };
    ASSERT_EQ(UDA_INIT_COMMANDS, 8u);
    for (uint32 i = 0; i < UDA_INIT_COMMANDS; ++i) {
        EXPECT_EQ(uda1341ts_init_commands[i].byte, expected[i].byte) << i;
        EXPECT_EQ(uda1341ts_init_commands[i].mode, expected[i].mode) << i;
    }
}

TEST(Uda1341ts, PowerCommandsGoToTheStatusRegister)
{
    const struct { const uda_command *pair; uint8 data; } cases[] = {
        {uda1341ts_dac_on, 0x81}, {uda1341ts_adc_on, 0xA2}, {uda1341ts_power_off, 0x80},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.pair[0].byte, UDA_ADDR_STATUS);
        EXPECT_EQ(c.pair[0].mode, L3_ADDRESS_MODE);
        EXPECT_EQ(c.pair[1].byte, c.data);
        EXPECT_EQ(c.pair[1].mode, L3_DATA_MODE);
    }
}
