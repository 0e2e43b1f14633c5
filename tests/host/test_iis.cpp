// BDMA0 register words of a sample transfer.
#include <gtest/gtest.h>

#include "iis.h"

TEST(IisBdma, CountKeepsTheLow20BitsOfTheLength)
{
    const struct { uint32 lenght, bdicnt; } cases[] = {
        {6400, 0x44D01900},      // a key tone
        {25600, 0x44D06400},     // call clip B
        {320000, 0x44D4E200},    // the message buffer
        {0x123456, 0x44D23456},  // bit 20 and above never reach the channel
        {0xFFFFE, 0x44DFFFFE},
    };
    for (const auto &c : cases)
        EXPECT_EQ(iis_bdma_count(c.lenght), c.bdicnt) << "lenght " << c.lenght;
}

TEST(IisBdma, AddressWordsOfTheMessageBuffer)
{
    EXPECT_EQ(iis_play_source(0x0C700000), 0x5C700000u);
    EXPECT_EQ(iis_rec_destination(0x0C700000), 0x9C700000u);
    EXPECT_EQ(IIS_PLAY_DST, 0x71D18010u);
    EXPECT_EQ(IIS_REC_SRC, 0x71D18010u);
}
