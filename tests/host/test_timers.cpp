#include <gtest/gtest.h>

#include "timers.h"

namespace {

TEST(TimersCalibration, PassesPerUnitFromTheMeasuredTicks)
{
    struct Case { uint32 scale; uint16 ticks; int32 passes; };
    const Case cases[] = {
        {100000, 19, 5263},             // 10000 passes in 1.9 ms
        {1000000000, 190, 5263157},     // 100000 passes in 19 ms
        {100000, 65535, 1},
        {100000, 0, 100000},            // too fast to measure: taken as one tick
        {1000000000, 0, 1000000000},
    };
    for (const Case &c : cases)
        EXPECT_EQ(timers_passes_per_unit(c.scale, c.ticks), c.passes) << c.scale << "/" << c.ticks;
}

} // namespace
