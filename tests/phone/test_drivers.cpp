// Driver operations of the real ARM code, called by name on the board.
#include "core/s3c44b0x.h"
#include "phone.h"

namespace phone_test {
namespace {

constexpr uint32_t kScratch = 0x0C600000;  // free SDRAM for pointer arguments

class Drivers : public ::testing::Test {
 protected:
  void SetUp() override {
    call("sys_init");
    call("uart0_init");
    call("timers_init");
  }
  uint32_t call(const std::string& name, std::vector<uint32_t> args = {}, VTime limit = 10 * kSecond) {
    uint32_t result = 0;
    std::string error;
    EXPECT_TRUE(p.board.call(name, args, &result, limit, &error)) << error;
    return result;
  }
  // An input change at a given virtual time, while a call runs.
  void at(VTime when, std::function<void()> action) {
    auto event = std::make_unique<sim::Event>(p.board.scheduler(), "test input",
                                              [action](VTime) { action(); });
    event->schedule_at(when);
    events_.push_back(std::move(event));
  }
  Phone p;

 private:
  std::vector<std::unique_ptr<sim::Event>> events_;
};

TEST_F(Drivers, KeyReadDecodesEveryKeyAndTheTwoKeyCases) {
  for (int k = 0; k < 16; ++k) {
    p.board.keypad().key_down(k);
    EXPECT_EQ(call("key_read"), static_cast<uint32_t>(k));
    p.board.keypad().key_up(k);
  }
  EXPECT_EQ(call("key_read"), 0xFFu);
  const struct {
    int a, b;
    uint32_t expected;
  } pairs[] = {{2, 13, 13}, {13, 2, 13}, {4, 5, 0xFF}, {0, 15, 15}, {8, 11, 0xFF}};
  for (auto& c : pairs) {
    p.board.keypad().key_down(c.a);
    p.board.keypad().key_down(c.b);
    EXPECT_EQ(call("key_read"), c.expected) << c.a << "+" << c.b;
    p.board.keypad().release_all();
  }
}

TEST_F(Drivers, KeypadTimedReads) {
  // A 500 ms press reports about 600 ms (the press plus the release pause).
  VTime t0 = p.board.now();
  at(t0 + 50 * kMillisecond, [&] { p.board.keypad().key_down(6); });
  at(t0 + 550 * kMillisecond, [&] { p.board.keypad().key_up(6); });
  EXPECT_EQ(call("keypad_getchartime", {kScratch}), 6u);
  EXPECT_NEAR(p.board.ram().read16(kScratch), 600, 10);

  // No key: 0xFE after the time-out and both pauses, about 2.13 s.
  t0 = p.board.now();
  EXPECT_EQ(call("keypad_timeout_getchar", {2}), 0xFEu);
  EXPECT_NEAR(static_cast<double>(p.board.now() - t0) / kMillisecond, 2130, 15);

  // Key 7 pressed 1 s into a 3 s time-out, held 200 ms: 7 about 100 ms after
  // the release.
  t0 = p.board.now();
  at(t0 + 1000 * kMillisecond, [&] { p.board.keypad().key_down(7); });
  at(t0 + 1200 * kMillisecond, [&] { p.board.keypad().key_up(7); });
  EXPECT_EQ(call("keypad_timeout_getchar", {3}), 7u);
  EXPECT_NEAR(static_cast<double>(p.board.now() - t0) / kMillisecond, 1300, 15);
}

TEST_F(Drivers, PushButtonResults) {
  struct Case {
    const char* what;
    uint8_t mask;
    VTime hold;
    uint32_t expected;
  } cases[] = {
      {"pin 7", 0x80, 200 * kMillisecond, 0x80},
      {"pin 6", 0x40, 200 * kMillisecond, 0x40},
      {"both", 0xC0, 200 * kMillisecond, 0x80},
      {"a bounce gone within the 30 ms pause", 0x40, 10 * kMillisecond, 0xFF},
  };
  for (const Case& c : cases) {
    VTime t0 = p.board.now();
    at(t0 + 20 * kMillisecond, [&, c] { p.board.buttons().press(c.mask); });
    at(t0 + 20 * kMillisecond + c.hold, [&, c] { p.board.buttons().release(c.mask); });
    EXPECT_EQ(call("pb_getchar"), c.expected) << c.what;
  }
  VTime t0 = p.board.now();
  EXPECT_EQ(call("pb_timeout_getchar", {2}), 0xFEu);
  EXPECT_NEAR(static_cast<double>(p.board.now() - t0) / kMillisecond, 2130, 15);
}

TEST_F(Drivers, TimerThreeStopwatchAndWaits) {
  call("timer3_start");
  p.board.scheduler().advance_to(p.board.now() + 25 * kMillisecond);
  EXPECT_EQ(call("timer3_stop"), 250u);

  VTime t0 = p.board.now();
  call("timer3_delay_ms", {100});
  EXPECT_NEAR(static_cast<double>(p.board.now() - t0) / kMillisecond, 100, 1);
  t0 = p.board.now();
  call("sw_delay_ms", {100});
  EXPECT_NEAR(static_cast<double>(p.board.now() - t0) / kMillisecond, 100, 10);
  t0 = p.board.now();
  call("timer3_delay_ms", {0});
  call("sw_delay_ms", {0});
  EXPECT_LT(p.board.now() - t0, kMillisecond / 10);
}

TEST_F(Drivers, TimerRegistersAreProgrammedInTheDriversOrder) {
  // timers_init (run by SetUp): every count, compare and control register
  // cleared, in order, before its calibration.
  const uint32_t cleared[] = {0x01D50000, 0x01D50004, 0x01D50008, 0x01D5000C, 0x01D50018, 0x01D50024,
                              0x01D50030, 0x01D5003C, 0x01D50048, 0x01D50010, 0x01D5001C, 0x01D50028,
                              0x01D50034, 0x01D50040};
  std::vector<Write> pwm;
  for (const Write& w : p.writes)
    if (w.address >= 0x01D50000 && w.address < 0x01D50050) pwm.push_back(w);
  ASSERT_GE(pwm.size(), 14u);
  for (size_t i = 0; i < 14; ++i) {
    EXPECT_EQ(pwm[i].address, cleared[i]) << i;
    EXPECT_EQ(pwm[i].value, 0u) << i;
  }
  p.writes.clear();
  call("timer3_delay_ms", {1});
  std::vector<Write> got;
  for (const Write& w : p.writes)
    if (w.address >= 0x01D50000 && w.address < 0x01D50050) got.push_back(w);
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].address, 0x01D50000u);  // TCFG0: prescaler of timers 2/3 = 0
  EXPECT_EQ(got[0].value & 0xFF00, 0u);
  EXPECT_EQ(got[1].address, 0x01D50004u);  // TCFG1: MUX3 = 1/2
  EXPECT_EQ(got[1].value & 0xF000, 0u);
  EXPECT_EQ(got[2].address, 0x01D50030u);  // TCNTB3
  EXPECT_EQ(got[2].value, 32000u);
  EXPECT_EQ(got[3].address, 0x01D50008u);  // TCON: manual update, stopped
  EXPECT_EQ(got[3].value & 0xF0000, 0x20000u);
  EXPECT_EQ(got[4].address, 0x01D50008u);  // TCON: start, one-shot
  EXPECT_EQ(got[4].value & 0xF0000, 0x10000u);
}

TEST_F(Drivers, ClockReadsAndWritesInBinary) {
  call("rtc_init");
  auto put = [&](uint8_t sec, uint8_t min, uint8_t hour, uint8_t mday, uint8_t wday, uint8_t mon, uint8_t year) {
    uint8_t fields[7] = {sec, min, hour, mday, wday, mon, year};
    for (int i = 0; i < 7; ++i) p.board.ram().write8(kScratch + i, fields[i]);
    call("rtc_puttime", {kScratch});
  };
  auto get = [&] {
    call("rtc_gettime", {kScratch + 16});
    std::vector<int> f;
    for (int i = 0; i < 7; ++i) f.push_back(p.board.ram().read8(kScratch + 16 + i));
    return f;
  };
  call("rtc_gettime", {kScratch + 16});
  EXPECT_EQ(get(), (std::vector<int>{0, 0, 0, 1, 3, 1, 13}));
  put(59, 59, 23, 31, 5, 12, 98);
  EXPECT_EQ(get(), (std::vector<int>{59, 59, 23, 31, 5, 12, 98}));
  EXPECT_EQ(p.board.ram().read8(0), 0);  // nothing written outside the record
  // Seconds of 0 read all seven registers twice, otherwise once.
  size_t reads = 0;
  p.board.bus().add_watcher([&reads](bool is_write, uint32_t address, uint32_t, unsigned) {
    if (!is_write && address >= 0x01D70070 && address <= 0x01D70088) ++reads;
  });
  auto bcd_reads = [&] {
    reads = 0;
    call("rtc_gettime", {kScratch + 16});
    return reads;
  };
  put(0, 0, 13, 1, 1, 1, 13);
  EXPECT_EQ(bcd_reads(), 14u);
  put(30, 0, 13, 1, 1, 1, 13);
  EXPECT_EQ(bcd_reads(), 7u);
}

TEST_F(Drivers, TickCountIsCutToSevenBits) {
  auto handler = p.board.symbol_address("rtc_interruption");
  ASSERT_TRUE(handler);
  for (auto [count, first, second] : {std::tuple{127u, 0x7Fu, 0xFFu}, std::tuple{200u, 0x48u, 0xC8u}}) {
    p.writes.clear();
    call("rtc_open", {*handler, count});
    auto ticnt = p.writes_to(0x01D7008C);
    ASSERT_EQ(ticnt.size(), 2u);
    EXPECT_EQ(ticnt[0].value, first);
    EXPECT_EQ(ticnt[1].value, second);
    EXPECT_EQ(p.board.rtc().tick_period(), ((count & 0x7F) + 1) * kSecond / 128);
    call("rtc_close");
  }
}

}  // namespace
}  // namespace phone_test
