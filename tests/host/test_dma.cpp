// DMA channels' interrupt installation, on the host's register file.
#include <gtest/gtest.h>

#include "dma.h"
#include "s3c44b0x.h"

static void handler(void) {}

TEST(Dma, EachChannelUsesItsOwnSlotAndBit)
{
    const struct {
        void (*init)(void);
        void (*open)(isr_t);
        void (*close)(void);
        uint32 base, slot, bit;
    } cases[] = {
        {bdma0_init, bdma0_open, bdma0_close, 0x01F80000, 0x0C7FFF64, 0x00020000},
        {bdma1_init, bdma1_open, bdma1_close, 0x01F80020, 0x0C7FFF60, 0x00010000},
        {zdma0_init, zdma0_open, zdma0_close, 0x01E80000, 0x0C7FFF6C, 0x00080000},
        {zdma1_init, zdma1_open, zdma1_close, 0x01E80020, 0x0C7FFF68, 0x00040000},
    };
    const uint32 handler_word = static_cast<uint32>(reinterpret_cast<uintptr_t>(handler));
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.base);
        host_registers_reset();
        for (uint32 r = 0; r < 8; ++r)
            reg32(c.base + 4 * r) = 0xDEAD0000 + r;
        c.init();
        for (uint32 r = 0; r < 7; ++r)
            EXPECT_EQ(reg32(c.base + 4 * r), 0u) << "register " << r;
        EXPECT_EQ(reg32(c.base + 28), 0xDEAD0007u);   // the next block is not touched

        reg32(INTMSK) = 0x07FFFFFF;
        c.open(handler);
        EXPECT_EQ(reg32(c.slot), handler_word);
        EXPECT_EQ(reg32(INTMSK), 0x07FFFFFFu & ~(c.bit | INT_GLOBAL));

        c.close();
        EXPECT_EQ(reg32(c.slot), 0u);
        EXPECT_EQ(reg32(INTMSK), 0x07FFFFFFu & ~INT_GLOBAL);   // the global bit stays clear
    }
}
