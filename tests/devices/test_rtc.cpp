#include <gtest/gtest.h>

#include "core/s3c44b0x.h"
#include "devices/intc.h"
#include "devices/rtc.h"

namespace sim {
namespace {

constexpr uint32_t RTCCON = 0x40, RTCALM = 0x50, ALMSEC = 0x54, ALMMIN = 0x58, TICNT = 0x8C;
constexpr uint32_t BCDSEC = 0x70, BCDMIN = 0x74, BCDHOUR = 0x78, BCDDAY = 0x7C, BCDDATE = 0x80,
                   BCDMON = 0x84, BCDYEAR = 0x88;
constexpr uint32_t I_ISPC = 0x24;

RtcTime make(int year, int mon, int mday, int wday, int hour, int min, int sec) {
  RtcTime t;
  t.year = year;
  t.mon = mon;
  t.mday = mday;
  t.wday = wday;
  t.hour = hour;
  t.min = min;
  t.sec = sec;
  return t;
}

std::string show(const RtcTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%02d (%d) %02d:%02d:%02d", t.mday, t.mon, t.year, t.wday, t.hour, t.min,
                t.sec);
  return buf;
}

class RtcTest : public ::testing::Test {
 protected:
  RtcTest() { sched.set_cycle_period(kSecond / 64000000); }

  bool tick_pending() { return intc.pending() & (1u << chip::kIrqTick); }
  void clear_tick() { intc.write(I_ISPC, 1u << chip::kIrqTick, 4); }
  // The phone's rtc_puttime / rtc_gettime register sequences, without the
  // BCD conversion.
  void put(const uint8_t bcd[7]) {
    rtc.write(RTCCON, 1, 4);
    for (int i = 0; i < 7; ++i) rtc.write(BCDSEC + 4 * i, bcd[i], 4);
    rtc.write(RTCCON, 0, 4);
  }

  Scheduler sched;
  Intc intc{chip::kIntc};
  Rtc rtc{chip::kRtc, sched, intc, make(13, 1, 1, 3, 0, 0, 0)};
};

TEST_F(RtcTest, CalendarCarries) {
  struct Case {
    const char* what;
    RtcTime from;
    uint64_t seconds;
    RtcTime to;
  };
  const Case cases[] = {
      {"59 s", make(13, 5, 15, 4, 12, 0, 59), 1, make(13, 5, 15, 4, 12, 1, 0)},
      {"59 min", make(13, 5, 15, 4, 12, 59, 59), 1, make(13, 5, 15, 4, 13, 0, 0)},
      {"23:59:59", make(13, 5, 15, 4, 23, 59, 59), 1, make(13, 5, 16, 5, 0, 0, 0)},
      {"weekday 7 -> 1", make(13, 5, 18, 7, 23, 59, 59), 1, make(13, 5, 19, 1, 0, 0, 0)},
      {"31 Jan", make(13, 1, 31, 5, 23, 59, 59), 1, make(13, 2, 1, 6, 0, 0, 0)},
      {"30 Apr", make(13, 4, 30, 3, 23, 59, 59), 1, make(13, 5, 1, 4, 0, 0, 0)},
      {"30 Apr is not 31", make(13, 4, 29, 2, 23, 59, 59), 1, make(13, 4, 30, 3, 0, 0, 0)},
      {"30 Jun", make(13, 6, 30, 1, 23, 59, 59), 1, make(13, 7, 1, 2, 0, 0, 0)},
      {"30 Sep", make(13, 9, 30, 2, 23, 59, 59), 1, make(13, 10, 1, 3, 0, 0, 0)},
      {"30 Nov", make(13, 11, 30, 7, 23, 59, 59), 1, make(13, 12, 1, 1, 0, 0, 0)},
      {"31 Aug", make(13, 8, 31, 7, 23, 59, 59), 1, make(13, 9, 1, 1, 0, 0, 0)},
      {"28 Feb 13", make(13, 2, 28, 5, 23, 59, 59), 1, make(13, 3, 1, 6, 0, 0, 0)},
      {"28 Feb 12", make(12, 2, 28, 3, 23, 59, 59), 1, make(12, 2, 29, 4, 0, 0, 0)},
      {"29 Feb 12", make(12, 2, 29, 4, 23, 59, 59), 1, make(12, 3, 1, 5, 0, 0, 0)},
      {"28 Feb 00", make(0, 2, 28, 2, 23, 59, 59), 1, make(0, 2, 29, 3, 0, 0, 0)},
      {"28 Feb 99", make(99, 2, 28, 1, 23, 59, 59), 1, make(99, 3, 1, 2, 0, 0, 0)},
      {"31 Dec", make(13, 12, 31, 3, 23, 59, 59), 1, make(14, 1, 1, 4, 0, 0, 0)},
      {"year 99 -> 00", make(99, 12, 31, 6, 23, 59, 59), 1, make(0, 1, 1, 7, 0, 0, 0)},
      // Virtual time spans about 213 days, so longer jumps cannot happen.
      {"200 days", make(13, 1, 1, 3, 0, 0, 0), 200ull * 86400, make(13, 7, 20, 7, 0, 0, 0)},
      {"over 29 Feb", make(12, 2, 1, 4, 10, 20, 30), 60ull * 86400 + 3599, make(12, 4, 1, 1, 11, 20, 29)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scheduler s;
    Intc ic{chip::kIntc};
    Rtc r{chip::kRtc, s, ic, c.from};
    s.advance_to(c.seconds * kSecond - 1);
    EXPECT_NE(show(r.time()), show(c.to)) << "carried early";
    s.advance_to(c.seconds * kSecond);
    EXPECT_EQ(show(r.time()), show(c.to));
  }
}

TEST_F(RtcTest, RegistersReadInBcd) {
  rtc.set_start_time(make(99, 12, 31, 6, 23, 59, 58));
  const std::pair<uint32_t, uint32_t> expected[] = {{BCDSEC, 0x58}, {BCDMIN, 0x59}, {BCDHOUR, 0x23},
                                                    {BCDDAY, 0x31}, {BCDDATE, 0x06}, {BCDMON, 0x12},
                                                    {BCDYEAR, 0x99}};
  for (auto [offset, value] : expected) EXPECT_EQ(rtc.read(offset, 4), value) << std::hex << offset;
}

TEST_F(RtcTest, WritesIgnoredWhileClosedAndTheClockCountsOn) {
  sched.advance_to(3 * kSecond + kMillisecond);
  rtc.write(RTCCON, 0, 4);
  rtc.write(BCDMIN, 0x45, 4);
  rtc.write(BCDYEAR, 0x20, 4);
  EXPECT_EQ(show(rtc.time()), show(make(13, 1, 1, 3, 0, 0, 3)));
  sched.advance_to(5 * kSecond);
  EXPECT_EQ(rtc.read(BCDSEC, 4), 0x05u);
  EXPECT_EQ(rtc.read(BCDMIN, 4), 0x00u);
}

TEST_F(RtcTest, WrittenTimeCountsOnFromTheWrite) {
  sched.advance_to(600 * kMillisecond);
  const uint8_t bcd[7] = {0x59, 0x59, 0x12, 0x28, 0x05, 0x02, 0x12};
  put(bcd);
  VTime written = sched.now();
  EXPECT_EQ(show(rtc.time()), show(make(12, 2, 28, 5, 12, 59, 59)));
  sched.advance_to(written + kSecond - 1);
  EXPECT_EQ(rtc.read(BCDSEC, 4), 0x59u) << "the seconds phase restarts at the write";
  sched.advance_to(written + kSecond);
  EXPECT_EQ(show(rtc.time()), show(make(12, 2, 28, 5, 13, 0, 0)));
}

TEST_F(RtcTest, CarryBetweenReadsShowsAsZeroSecondsAndTheRereadIsConsistent) {
  rtc.set_start_time(make(13, 1, 1, 3, 12, 59, 59));
  // rtc_gettime reads from the year down; the carry lands between BCDMIN and BCDSEC.
  sched.advance_to(kSecond - 1);
  uint32_t first[7];
  for (int i = 6; i >= 1; --i) first[i] = rtc.read(BCDSEC + 4 * i, 4);
  EXPECT_EQ(rtc.stable_until(BCDSEC), kSecond);
  EXPECT_EQ(rtc.stable_until(BCDMIN), kSecond);
  sched.advance_to(kSecond);
  first[0] = rtc.read(BCDSEC, 4);
  EXPECT_EQ(first[0], 0x00u);
  EXPECT_EQ(first[2], 0x12u);
  EXPECT_EQ(first[1], 0x59u);
  uint32_t second[7];
  for (int i = 6; i >= 0; --i) second[i] = rtc.read(BCDSEC + 4 * i, 4);
  EXPECT_EQ(second[2], 0x13u);
  EXPECT_EQ(second[1], 0x00u);
  EXPECT_EQ(second[0], 0x00u);
}

TEST_F(RtcTest, TickPeriodFollowsTicntWithoutDrift) {
  struct Case {
    uint32_t tick_count;  // as passed to rtc_open
    VTime period;
  };
  const Case cases[] = {{127, kSecond}, {200, 73 * kSecond / 128}, {0, kSecond / 128}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tick_count);
    Scheduler s;
    Intc ic{chip::kIntc};
    Rtc r{chip::kRtc, s, ic};
    s.advance_to(123 * kMicrosecond);
    // rtc_open: TICNT <- count & 0x7F, then TICNT |= 0x80.
    r.write(TICNT, c.tick_count & 0x7F, 4);
    r.write(TICNT, r.read(TICNT, 4) | 0x80, 4);
    VTime opened = s.now();
    EXPECT_EQ(r.read(TICNT, 4), (c.tick_count & 0x7F) | 0x80);
    for (VTime k = 1; k <= 500; ++k) {
      s.advance_to(opened + k * c.period - 1);
      ASSERT_FALSE(ic.pending() & (1u << chip::kIrqTick)) << "tick " << k;
      s.advance_to(opened + k * c.period);
      ASSERT_TRUE(ic.pending() & (1u << chip::kIrqTick)) << "tick " << k;
      ic.write(I_ISPC, 1u << chip::kIrqTick, 4);
    }
  }
}

TEST_F(RtcTest, TickStopsWithTicntZero) {
  rtc.write(TICNT, 0xFF, 4);
  sched.advance_to(kSecond);
  EXPECT_TRUE(tick_pending());
  clear_tick();
  rtc.write(TICNT, 0, 4);
  sched.advance_to(10 * kSecond);
  EXPECT_FALSE(tick_pending());
}

TEST_F(RtcTest, AlarmRequestsWhenTheEnabledFieldsMatch) {
  rtc.write(ALMSEC, 0x30, 4);
  rtc.write(ALMMIN, 0x01, 4);
  rtc.write(RTCALM, 0x43, 4);  // alarm on, compare minutes and seconds
  sched.advance_to(90 * kSecond - 1);
  EXPECT_FALSE(intc.pending() & (1u << chip::kIrqRtc));
  sched.advance_to(90 * kSecond);
  EXPECT_TRUE(intc.pending() & (1u << chip::kIrqRtc));
  intc.write(I_ISPC, 1u << chip::kIrqRtc, 4);
  sched.advance_to(150 * kSecond);
  EXPECT_FALSE(intc.pending() & (1u << chip::kIrqRtc)) << "minute 2 does not match";
}

TEST(RtcTimeTest, FromHostTime) {
  std::tm tm{};
  tm.tm_year = 124;  // 2024
  tm.tm_mon = 1;
  tm.tm_mday = 29;
  tm.tm_wday = 4;  // Thursday
  tm.tm_hour = 17;
  tm.tm_min = 5;
  tm.tm_sec = 9;
  EXPECT_EQ(show(RtcTime::from_tm(tm)), show(make(24, 2, 29, 5, 17, 5, 9)));
}

}  // namespace
}  // namespace sim
