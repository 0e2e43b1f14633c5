#include <gtest/gtest.h>

#include "pbs.h"

namespace {

TEST(PushButtons, DecisionOrder)
{
    struct Case { uint32 pdatg; boolean timed_out; uint8 result; };
    const Case cases[] = {
        {0xFF, FALSE, PB_BOUNCE},
        {0xFF, TRUE, PB_TIMEOUT},
        {0xFF & ~0x40u, FALSE, PB_LEFT},
        {0xFF & ~0x80u, FALSE, PB_RIGHT},
        {0xFF & ~0xC0u, FALSE, PB_RIGHT},      // both down: 0x80 wins
        {0xFF & ~0x40u, TRUE, PB_LEFT},        // a press at the time-out is still reported
        {0x3F, TRUE, PB_RIGHT},
        {0xC0, FALSE, PB_BOUNCE},              // other port G lines do not matter
    };
    for (const Case &c : cases)
        EXPECT_EQ(pbs_decide(c.pdatg, c.timed_out), c.result) << std::hex << c.pdatg << " " << int(c.timed_out);
}

} // namespace
