// L3 byte sequences run against a model of the two port data registers, read
// back the way the codec reads the bus: one bit per rising edge of L3CLOCK.
#include <gtest/gtest.h>

#include "l3.h"

namespace {

constexpr uint32 LED_BITS = (1u << 9) | (1u << 10);

struct Bus {
    uint32 pdatb = 0;
    uint32 pdata = 0;
    std::vector<uint8> bits;     // L3DATA at each rising edge
    std::vector<uint8> modes;    // L3MODE at each rising edge
    int pauses = 0;
    std::vector<uint32> pdatb_writes;
};

Bus run(uint8 byte, uint8 mode, uint8 lled, uint8 rled, uint32 other_pdatb_bits)
{
    // PDATB enters idle, with the LED pins at the levels the LED driver remembers.
    Bus bus;
    bus.pdatb = other_pdatb_bits | l3_idle_bits(lled, rled);
    for (uint32 k = 0; k < L3_BYTE_STEPS; ++k) {
        const l3_step s = l3_byte_step(byte, mode, lled, rled, k);
        const uint32 before = bus.pdatb;
        switch (s.kind) {
        case L3_PDATB_OR:
            bus.pdatb |= s.value;
            break;
        case L3_PDATB_STORE:
            bus.pdatb = s.value;
            break;
        case L3_PDATA_STORE:
            bus.pdata = s.value;
            break;
        case L3_PAUSE:
            ++bus.pauses;
            break;
        }
        if (s.kind == L3_PDATB_OR || s.kind == L3_PDATB_STORE) {
            bus.pdatb_writes.push_back(bus.pdatb);
            if (!(before & L3_CLOCK) && (bus.pdatb & L3_CLOCK)) {
                bus.bits.push_back((bus.pdata >> L3_DATA_SHIFT) & 1);
                bus.modes.push_back((bus.pdatb & L3_MODE) ? 1 : 0);
            }
        }
    }
    return bus;
}

}  // namespace

TEST(L3, ByteGoesOutLsbFirstInItsModeAndKeepsTheLeds)
{
    const struct { uint8 byte, mode, lled, rled; } cases[] = {
        {0x16, L3_ADDRESS_MODE, 1, 1},
        {0x14, L3_ADDRESS_MODE, 0, 1},
        {0x81, L3_DATA_MODE, 1, 0},   // right LED lit while recording
        {0xA5, L3_DATA_MODE, 0, 0},
        {0x00, L3_DATA_MODE, 1, 1},
        {0xFF, L3_ADDRESS_MODE, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "byte " << int(c.byte) << " mode " << int(c.mode)
                                        << " leds " << int(c.lled) << int(c.rled));
        const Bus bus = run(c.byte, c.mode, c.lled, c.rled, 0);

        ASSERT_EQ(bus.bits.size(), 8u);
        uint8 got = 0;
        for (int j = 0; j < 8; ++j)
            got |= static_cast<uint8>(bus.bits[j] << j);
        EXPECT_EQ(got, c.byte);
        for (uint8 m : bus.modes)
            EXPECT_EQ(m, c.mode);

        const uint32 leds = (uint32(c.lled) << 9) | (uint32(c.rled) << 10);
        for (uint32 w : bus.pdatb_writes)
            EXPECT_EQ(w & LED_BITS, leds) << std::hex << w;

        // Back to idle, L3DATA left at bit 7.
        EXPECT_EQ(bus.pdatb & (L3_MODE | L3_CLOCK), L3_MODE | L3_CLOCK);
        EXPECT_EQ((bus.pdata >> L3_DATA_SHIFT) & 1, uint32(c.byte >> 7));
        EXPECT_EQ(bus.pauses, 17);
    }
}

TEST(L3, AddressModeDropsL3ModeOnlyWhileTheByteIsClocked)
{
    const Bus bus = run(0x16, L3_ADDRESS_MODE, 1, 1, 0);
    // The first write raises the clock with L3MODE still high; the byte's
    // first plain store pulls both low.
    ASSERT_GE(bus.pdatb_writes.size(), 2u);
    EXPECT_EQ(bus.pdatb_writes[0] & L3_MODE, L3_MODE);
    EXPECT_EQ(bus.pdatb_writes[1] & (L3_MODE | L3_CLOCK), 0u);
}

TEST(L3, DataModeKeepsL3ModeHighThroughout)
{
    const Bus bus = run(0x81, L3_DATA_MODE, 1, 1, 0);
    for (uint32 w : bus.pdatb_writes)
        EXPECT_EQ(w & L3_MODE, L3_MODE) << std::hex << w;
}
