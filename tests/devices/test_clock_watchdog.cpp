// Clock and power (the PLL's arithmetic and the cycle period that follows
// it) and the watchdog (expiry time, interrupt and reset modes, WTCNT).
#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "core/scheduler.h"
#include "devices/clock_power.h"
#include "devices/intc.h"
#include "devices/watchdog.h"

namespace sim {
namespace {

using namespace chip;

enum : uint32_t { PLLCON = 0x00, CLKCON = 0x04, CLKSLOW = 0x08, LOCKTIME = 0x0C };
enum : uint32_t { WTCON = 0x00, WTDAT = 0x04, WTCNT = 0x08 };
constexpr uint32_t kWtEnable = 0x20, kWtInterrupt = 0x04, kWtReset = 0x01;

struct QuietLog {
  LogSink previous = set_log_sink([](const std::string&) {});
  ~QuietLog() { set_log_sink(previous); }
};

TEST(ClockPowerTest, ResetValuesAndFin) {
  Scheduler scheduler;
  ClockPower clock{kClockPower, scheduler};
  const std::pair<uint32_t, uint32_t> expected[] = {
      {PLLCON, 0x38080}, {CLKCON, 0x7FF8}, {CLKSLOW, 0x9}, {LOCKTIME, 0xFFF}};
  for (auto [offset, value] : expected) EXPECT_EQ(clock.read(offset, 4), value) << "offset " << offset;
  // PLLCON's reset value would give 51.2 MHz, but until software writes it
  // the chip runs from Fin.
  EXPECT_EQ(clock.mclk_hz(), 8000000u);
  EXPECT_EQ(scheduler.cycle_period(), kSecond / 8000000);
}

TEST(ClockPowerTest, PllArithmetic) {
  struct Case {
    uint32_t pllcon;
    uint64_t hz;
  };
  // Fout = (MDIV + 8) x 8 MHz / ((PDIV + 2) x 2^SDIV)
  const Case cases[] = {
      {0x38021, 64000000},  // the firmware's setting: MDIV 56, PDIV 2, SDIV 1
      {0x38080, 51200000},  // the reset value: MDIV 56, PDIV 8, SDIV 0
      {0x48031, 64000000},  // MDIV 72, PDIV 3, SDIV 1
      {0x20022, 20000000},  // MDIV 32, PDIV 2, SDIV 2
      {0x00000, 32000000},  // MDIV 0, PDIV 0, SDIV 0
      {0x58043, 16000000},  // MDIV 88, PDIV 4, SDIV 3
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("PLLCON " + std::to_string(c.pllcon));
    EXPECT_EQ(ClockPower::pll_output_hz(c.pllcon), c.hz);
    Scheduler scheduler;
    ClockPower clock{kClockPower, scheduler};
    clock.write(PLLCON, c.pllcon, 4);
    EXPECT_EQ(clock.read(PLLCON, 4), c.pllcon);
    EXPECT_EQ(clock.mclk_hz(), c.hz);
    // Periods are whole picoseconds: 51.2 MHz can only be approximated.
    EXPECT_NEAR(static_cast<double>(kSecond) / static_cast<double>(scheduler.cycle_period()), static_cast<double>(c.hz),
                c.hz * 1e-4);
  }
}

// Another board's crystal (--xtal): the PLL, slow mode and the reset clock
// all divide it, not this board's 8 MHz.
TEST(ClockPowerTest, AnotherCrystalSetsEveryClock) {
  struct Case {
    uint32_t reg, value;
    uint64_t hz;
  };
  const Case cases[] = {
      {PLLCON, 0x38021, 80000000},  // (56 + 8) x 10 MHz / (4 x 2)
      {PLLCON, 0x38080, 64000000},  // the reset setting
      {CLKSLOW, 0x15, 1000000},     // slow mode: 10 MHz / (2 x 5)
      {CLKSLOW, 0x10, 10000000},    // SLOW_VAL 0: Fin itself
  };
  for (const Case& c : cases) {
    Scheduler scheduler;
    ClockPower clock{kClockPower, scheduler};
    clock.set_fin_hz(10000000);
    clock.reset();
    EXPECT_EQ(clock.mclk_hz(), 10000000u);  // Fin until PLLCON is written
    clock.write(c.reg, c.value, 4);
    EXPECT_EQ(clock.mclk_hz(), c.hz) << std::hex << c.value;
  }
}

TEST(ClockPowerTest, CyclePeriodFollowsThePllFromTheWriteOn) {
  Scheduler scheduler;
  ClockPower clock{kClockPower, scheduler};
  scheduler.run_cycles(8000);  // 1 ms at Fin
  EXPECT_EQ(scheduler.now(), kMillisecond);
  clock.write(PLLCON, 0x38021, 4);
  EXPECT_EQ(scheduler.cycle_period(), VTime{15625});
  scheduler.run_cycles(64000);
  EXPECT_EQ(scheduler.now(), 2 * kMillisecond) << "time already past keeps its old rate";
  EXPECT_EQ(scheduler.cycles(), 72000u);

  clock.reset();
  EXPECT_EQ(scheduler.cycle_period(), kSecond / 8000000) << "a reset goes back to Fin";
}

struct WatchdogTest : ::testing::Test {
  QuietLog quiet;
  Scheduler scheduler;
  Intc intc{kIntc};
  Watchdog watchdog{kWatchdog, scheduler, intc};
  int resets = 0;

  void SetUp() override {
    watchdog.set_reset_handler([this] { ++resets; });
  }
  void at_64mhz() {
    scheduler.set_cycle_period(kSecond / 64000000);
    watchdog.write(WTCON, 0, 4);  // the rate is taken when counting starts
  }
  // Stops it, loads the count, then starts it with the given settings.
  void start(uint32_t prescaler, uint32_t clock_select, uint32_t count, uint32_t mode) {
    watchdog.write(WTCON, 0, 4);
    watchdog.write(WTDAT, count, 4);
    watchdog.write(WTCNT, count, 4);
    watchdog.write(WTCON, prescaler << 8 | clock_select << 3 | kWtEnable | mode, 4);
  }
  bool wdt_requested() const { return intc.pending() & (1u << kIrqWdt); }
};

TEST_F(WatchdogTest, ResetValuesRunTheWatchdog) {
  EXPECT_EQ(watchdog.read(WTCON, 4), 0x8021u);
  EXPECT_EQ(watchdog.read(WTDAT, 4), 0x8000u);
  EXPECT_EQ(watchdog.read(WTCNT, 4), 0x8000u);
  EXPECT_TRUE(watchdog.enabled());
}

// As the chip comes out of reset: (0x80 + 1) x 16 x 0x8000 cycles at Fin.
TEST_F(WatchdogTest, ResetSettingsExpireAfterAbout8Seconds) {
  const uint64_t n = uint64_t{0x81} * 16 * 0x8000;
  scheduler.run_cycles(n - 1);
  EXPECT_EQ(resets, 0);
  EXPECT_EQ(watchdog.read(WTCNT, 4), 1u);
  scheduler.run_cycles(1);
  EXPECT_EQ(resets, 1);
  EXPECT_FALSE(wdt_requested()) << "interrupt mode is off at reset";
}

TEST_F(WatchdogTest, ExpiresAfterPrescalerTimesDividerTimesCount) {
  struct Case {
    uint32_t prescaler, clock_select, count;
  };
  const Case cases[] = {
      {0, 0, 1}, {0, 0, 100}, {0xFF, 0, 3}, {4, 1, 50}, {9, 2, 7}, {1, 3, 1000}, {0x80, 0, 0x8000},
  };
  at_64mhz();
  for (const Case& c : cases) {
    const uint64_t n = uint64_t{c.prescaler + 1} * (16u << c.clock_select) * c.count;
    SCOPED_TRACE("prescaler " + std::to_string(c.prescaler) + " clock select " + std::to_string(c.clock_select) +
                 " count " + std::to_string(c.count) + ": " + std::to_string(n) + " cycles");
    resets = 0;
    start(c.prescaler, c.clock_select, c.count, kWtReset);
    scheduler.run_cycles(n - 1);
    EXPECT_EQ(resets, 0);
    scheduler.run_cycles(1);
    EXPECT_EQ(resets, 1);
    scheduler.run_cycles(1);
    EXPECT_EQ(resets, 1);
  }
}

TEST_F(WatchdogTest, InterruptModeRequestsAndReloadsWithoutReset) {
  at_64mhz();
  const uint64_t period = 16 * 100;  // prescaler 0, /16, WTDAT 100
  start(0, 0, 100, kWtInterrupt);
  for (int expiry = 1; expiry <= 3; ++expiry) {
    SCOPED_TRACE("expiry " + std::to_string(expiry));
    scheduler.run_cycles(period - 1);
    EXPECT_FALSE(wdt_requested());
    scheduler.run_cycles(1);
    EXPECT_TRUE(wdt_requested()) << "requested whether masked or not";
    EXPECT_EQ(watchdog.read(WTCNT, 4), 100u) << "reloaded from WTDAT";
    intc.write(0x24, 1u << kIrqWdt, 4);  // I_ISPC
  }
  EXPECT_EQ(resets, 0);
}

TEST_F(WatchdogTest, ReloadComesFromWtdatNotTheFirstCount) {
  at_64mhz();
  watchdog.write(WTCON, 0, 4);
  watchdog.write(WTDAT, 10, 4);
  watchdog.write(WTCNT, 3, 4);
  watchdog.write(WTCON, kWtEnable | kWtInterrupt, 4);
  scheduler.run_cycles(3 * 16);
  EXPECT_TRUE(wdt_requested());
  intc.write(0x24, 1u << kIrqWdt, 4);
  scheduler.run_cycles(10 * 16 - 1);
  EXPECT_FALSE(wdt_requested());
  scheduler.run_cycles(1);
  EXPECT_TRUE(wdt_requested());
}

TEST_F(WatchdogTest, WtcntCountsDownOncePerTick) {
  at_64mhz();
  const uint64_t tick = 3 * 32;  // prescaler 2, /32
  start(2, 1, 500, 0);
  struct Step {
    uint64_t cycles;  // since the start
    uint32_t wtcnt;
  };
  const Step steps[] = {{0, 500}, {tick - 1, 500}, {tick, 499}, {10 * tick + 5, 490}, {499 * tick, 1}};
  uint64_t now = 0;
  for (const Step& s : steps) {
    scheduler.run_cycles(s.cycles - now);
    now = s.cycles;
    EXPECT_EQ(watchdog.read(WTCNT, 4), s.wtcnt) << "after " << s.cycles << " cycles";
  }
}

TEST_F(WatchdogTest, StoppedCountHoldsAndResumes) {
  at_64mhz();
  start(0, 0, 200, kWtReset);
  scheduler.run_cycles(16 * 50);
  watchdog.write(WTCON, kWtReset, 4);  // disabled
  EXPECT_EQ(watchdog.read(WTCNT, 4), 150u);
  scheduler.run_cycles(16 * 1000);
  EXPECT_EQ(watchdog.read(WTCNT, 4), 150u) << "a stopped watchdog does not count";
  watchdog.write(WTCON, kWtEnable | kWtReset, 4);
  scheduler.run_cycles(16 * 150 - 1);
  EXPECT_EQ(resets, 0);
  scheduler.run_cycles(1);
  EXPECT_EQ(resets, 1);
}

TEST_F(WatchdogTest, DisabledWatchdogNeverFires) {
  watchdog.write(WTCON, 0, 4);
  EXPECT_FALSE(watchdog.enabled());
  scheduler.advance_to(scheduler.now() + 60 * kSecond);
  EXPECT_EQ(resets, 0);
  EXPECT_FALSE(wdt_requested());
  EXPECT_EQ(scheduler.next_deadline(), kForever) << "nothing left armed";
}

}  // namespace
}  // namespace sim
