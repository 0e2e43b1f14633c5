#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "rtc.h"
#include "s3c44b0x.h"

namespace {

TEST(RtcBcd, RoundTripsEveryTwoDigitValue)
{
    for (int v = 0; v <= 99; ++v) {
        uint8 bcd = rtc_bin_to_bcd(static_cast<uint8>(v));
        EXPECT_EQ(bcd, ((v / 10) << 4) | (v % 10)) << v;
        EXPECT_EQ(rtc_bcd_to_bin(bcd), v);
    }
    EXPECT_EQ(rtc_bin_to_bcd(59), 0x59);
    EXPECT_EQ(rtc_bcd_to_bin(0x13), 13);
}

// A clock whose registers can carry into the next second while being read.
struct Clock {
    std::map<uint32, uint32> regs;
    std::vector<uint32> reads;
    uint32 carry_after = 0;                  // register after whose read the carry happens
    std::map<uint32, uint32> after_carry;

    static uint32 read(uint32 address, void *context)
    {
        Clock *c = static_cast<Clock *>(context);
        c->reads.push_back(address);
        uint32 value = c->regs[address];
        if (address == c->carry_after) {
            for (auto &r : c->after_carry)
                c->regs[r.first] = r.second;
            c->carry_after = 0;
        }
        return value;
    }

    void set(uint8 h, uint8 m, uint8 s)
    {
        regs = {{BCDYEAR, 0x13}, {BCDMON, 0x01}, {BCDDATE, 0x03}, {BCDDAY, 0x01},
                {BCDHOUR, rtc_bin_to_bcd(h)}, {BCDMIN, rtc_bin_to_bcd(m)}, {BCDSEC, rtc_bin_to_bcd(s)}};
    }
};

TEST(RtcRead, LargestUnitFirstOncePerReading)
{
    Clock clock;
    clock.set(12, 34, 56);
    rtc_time_t t;
    rtc_read_time(&t, Clock::read, &clock);
    EXPECT_EQ(clock.reads, (std::vector<uint32>{BCDYEAR, BCDMON, BCDDATE, BCDDAY, BCDHOUR, BCDMIN, BCDSEC}));
    EXPECT_EQ(t.hour, 12);
    EXPECT_EQ(t.min, 34);
    EXPECT_EQ(t.sec, 56);
    EXPECT_EQ(t.mday, 1);
    EXPECT_EQ(t.wday, 3);
    EXPECT_EQ(t.mon, 1);
    EXPECT_EQ(t.year, 13);
}

TEST(RtcRead, CarryDuringTheReadingIsReadAgain)
{
    Clock clock;
    clock.set(12, 59, 59);
    clock.carry_after = BCDMIN;
    clock.after_carry = {{BCDHOUR, 0x13}, {BCDMIN, 0x00}, {BCDSEC, 0x00}};
    rtc_time_t t;
    rtc_read_time(&t, Clock::read, &clock);
    EXPECT_EQ(clock.reads.size(), 14u);
    EXPECT_EQ(t.hour, 13);
    EXPECT_EQ(t.min, 0);
    EXPECT_EQ(t.sec, 0);

    // Seconds of 0 always cost the second pass, carry or not.
    clock.reads.clear();
    clock.set(8, 0, 0);
    rtc_read_time(&t, Clock::read, &clock);
    EXPECT_EQ(clock.reads.size(), 14u);
    EXPECT_EQ(t.hour, 8);
}

class RtcRegisters : public ::testing::Test {
protected:
    void SetUp() override { host_registers_reset(); }
};

TEST_F(RtcRegisters, InitSetsTheStartDateAndClosesTheRegisters)
{
    reg32(TICNT) = 0xFF;
    rtc_init();
    rtc_time_t t;
    rtc_gettime(&t);
    const rtc_time_t start = {0, 0, 0, 1, 3, 1, 13};
    EXPECT_EQ(memcmp(&t, &start, sizeof t), 0);
    EXPECT_EQ(reg32(TICNT), 0u);
    EXPECT_EQ(reg32(RTCCON), 0u);
}

TEST_F(RtcRegisters, PutTimeWritesBcdAndLeavesTheMaskAsFound)
{
    for (uint32 mask : {0x07FFFFFFu, 0x03EFFFFFu, 0xFFFFFFFFu}) {
        reg32(INTMSK) = mask;
        const rtc_time_t written = {59, 58, 23, 31, 7, 12, 99};
        rtc_puttime(&written);
        EXPECT_EQ(reg32(BCDSEC), 0x59u);
        EXPECT_EQ(reg32(BCDHOUR), 0x23u);
        EXPECT_EQ(reg32(BCDYEAR), 0x99u);
        EXPECT_EQ(reg32(RTCCON), 0u);
        EXPECT_EQ(reg32(INTMSK), mask);
        rtc_time_t read;
        rtc_gettime(&read);
        EXPECT_EQ(memcmp(&read, &written, sizeof read), 0);
    }
}

void handler(void) {}

TEST_F(RtcRegisters, OpenArmsTheTickAndCloseStopsIt)
{
    struct Case { uint8 count; uint32 ticnt; };
    for (const Case c : {Case{127, 0xFF}, Case{200, 0xC8}, Case{0, 0x80}}) {
        reg32(INTMSK) = 0x07FFFFFF;
        rtc_open(handler, c.count);
        EXPECT_EQ(reg32(TICNT), c.ticnt);
        EXPECT_EQ(reg32(INTMSK), 0x07FFFFFFu & ~(INT_TICK | INT_GLOBAL));
        EXPECT_EQ(reg32(ISR_SLOT_TICK), static_cast<uint32>(reinterpret_cast<uintptr_t>(handler)));
    }
    rtc_close();
    EXPECT_EQ(reg32(TICNT), 0u);
    EXPECT_EQ(reg32(INTMSK), 0x03FFFFFFu);
    EXPECT_EQ(reg32(ISR_SLOT_TICK), 0u);
}

} // namespace
