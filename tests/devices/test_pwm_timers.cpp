#include <gtest/gtest.h>

#include "core/s3c44b0x.h"
#include "devices/intc.h"
#include "devices/pwm_timers.h"

namespace sim {
namespace {

constexpr uint32_t TCFG0 = 0x00, TCFG1 = 0x04, TCON = 0x08;
constexpr uint32_t TCNTB3 = 0x30, TCNTO3 = 0x38, TCNTB4 = 0x3C, TCNTO4 = 0x44;
constexpr uint32_t kTcntb[6] = {0x0C, 0x18, 0x24, 0x30, 0x3C, 0x48};
constexpr uint32_t kTcnto[6] = {0x14, 0x20, 0x2C, 0x38, 0x44, 0x4C};
constexpr int kTconShift[6] = {0, 8, 12, 16, 20, 24};
constexpr uint32_t I_ISPC = 0x24;

constexpr VTime k64MHz = kSecond / 64000000;
constexpr VTime k8MHz = kSecond / 8000000;

class PwmTimersTest : public ::testing::Test {
 protected:
  PwmTimersTest() { sched.set_cycle_period(k64MHz); }

  // TCON bits for one timer: start, manual update, auto-reload.
  static uint32_t tcon(int n, bool start, bool update, bool reload) {
    uint32_t reload_bit = n == 5 ? 4 : 8;
    return ((start ? 1u : 0) | (update ? 2u : 0) | (reload ? reload_bit : 0)) << kTconShift[n];
  }
  // Loads `count` and starts timer n the way the phone's driver does.
  void load_and_start(int n, uint32_t count, bool reload = false) {
    timers.write(kTcntb[n], count, 4);
    timers.write(TCON, tcon(n, false, true, reload), 4);
    timers.write(TCON, tcon(n, true, false, reload), 4);
  }
  uint32_t tcnto(int n) { return timers.read(kTcnto[n], 4); }
  bool irq(int source) { return intc.pending() & (1u << source); }
  void clear(int source) { intc.write(I_ISPC, 1u << source, 4); }

  Scheduler sched;
  Intc intc{chip::kIntc};
  PwmTimers timers{chip::kPwm, sched, intc};
};

TEST_F(PwmTimersTest, TickFollowsPrescalerAndDivider) {
  struct Case {
    const char* what;
    VTime mclk;
    int timer;
    uint32_t tcfg0, tcfg1;
    VTime tick;
  };
  // Unused fields hold other values, so a timer reading the wrong field shows.
  const Case cases[] = {
      {"delay_ms setting", k64MHz, 3, 0x55AA0055, 0x0000, 31250},
      {"delay_s setting", k64MHz, 3, 0x55AA3F55, 0x7000, 32 * kMicrosecond},
      {"stopwatch setting", k64MHz, 3, 0x55AAC755, 0x4000, 100 * kMicrosecond},
      {"timer 2 shares 3's prescaler", k64MHz, 2, 0x0000C700, 0x0400, 100 * kMicrosecond},
      {"timer 0 /4", k64MHz, 0, 0x00FFFF00, 0x0001, 62500},
      {"timer 1 /8", k64MHz, 1, 0x00FFFF01, 0x0020, 2 * 8 * k64MHz},
      {"timer 1 01xx is /32", k64MHz, 1, 0, 0x0070, 500000},
      {"timer 4 prescaler 4/5", k64MHz, 4, 0x00090000, 0x10000, 10 * 4 * k64MHz},
      {"timer 5 at 8 MHz", k8MHz, 5, 0x00FF0000, 0x300000, 256 * 16 * k8MHz},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scheduler s;
    s.set_cycle_period(c.mclk);
    Intc ic{chip::kIntc};
    PwmTimers t{chip::kPwm, s, ic};
    t.write(TCFG0, c.tcfg0, 4);
    t.write(TCFG1, c.tcfg1, 4);
    t.write(kTcntb[c.timer], 1000, 4);
    t.write(TCON, tcon(c.timer, false, true, false), 4);
    t.write(TCON, tcon(c.timer, true, false, false), 4);
    VTime start = s.now();
    s.advance_to(start + 7 * c.tick - 1);
    EXPECT_EQ(t.read(kTcnto[c.timer], 4), 994u);
    s.advance_to(start + 7 * c.tick);
    EXPECT_EQ(t.read(kTcnto[c.timer], 4), 993u);
  }
}

TEST_F(PwmTimersTest, OneShotReachesZeroAfterExactlyNTicksAndStops) {
  const VTime tick = 31250;
  load_and_start(0, 10);
  VTime start = sched.now();
  sched.advance_to(start + 9 * tick);
  EXPECT_EQ(tcnto(0), 1u);
  sched.advance_to(start + 10 * tick - 1);
  EXPECT_EQ(tcnto(0), 1u);
  EXPECT_FALSE(irq(chip::kIrqTimer0));
  sched.advance_to(start + 10 * tick);
  EXPECT_EQ(tcnto(0), 0u);
  EXPECT_TRUE(irq(chip::kIrqTimer0));
  clear(chip::kIrqTimer0);
  sched.advance_to(start + 11 * tick);
  EXPECT_EQ(tcnto(0), 0u);
  sched.advance_to(start + 100000 * tick);
  EXPECT_EQ(tcnto(0), 0u);
  EXPECT_FALSE(irq(chip::kIrqTimer0)) << "a one-shot timer requests once";
  EXPECT_EQ(timers.stable_until(kTcnto[0]), kForever);
}

TEST_F(PwmTimersTest, AutoReloadPeriodIsTcntbPlusOneWithoutDrift) {
  const VTime tick = 31250;
  load_and_start(1, 4, true);
  VTime start = sched.now();
  const uint32_t sequence[] = {4, 3, 2, 1, 0, 4, 3, 2, 1, 0, 4};
  for (int k = 0; k < 11; ++k) {
    sched.advance_to(start + k * tick);
    EXPECT_EQ(tcnto(1), sequence[k]) << "tick " << k;
  }
  clear(chip::kIrqTimer1);
  // Zero comes at tick 4, then every 5 ticks; the 1000th is still exact.
  for (int period = 2; period < 1000; ++period) {
    VTime zero = start + (4 + 5 * static_cast<VTime>(period)) * tick;
    sched.advance_to(zero - 1);
    ASSERT_FALSE(irq(chip::kIrqTimer1)) << "period " << period;
    sched.advance_to(zero);
    ASSERT_TRUE(irq(chip::kIrqTimer1)) << "period " << period;
    clear(chip::kIrqTimer1);
  }
}

TEST_F(PwmTimersTest, TcntbTakesEffectAtTheNextReloadOrManualUpdate) {
  const VTime tick = 31250;
  load_and_start(2, 4, true);
  VTime start = sched.now();
  sched.advance_to(start + 2 * tick);
  timers.write(kTcntb[2], 9, 4);
  EXPECT_EQ(tcnto(2), 2u) << "a running count is not disturbed";
  sched.advance_to(start + 4 * tick);
  EXPECT_EQ(tcnto(2), 0u);
  sched.advance_to(start + 5 * tick);
  EXPECT_EQ(tcnto(2), 9u) << "reload takes the new buffer";
  // Manual update while stopped loads at once and holds.
  timers.write(TCON, tcon(2, false, true, true), 4);
  timers.write(kTcntb[2], 77, 4);
  sched.advance_to(start + 50 * tick);
  EXPECT_EQ(tcnto(2), 77u);
}

TEST_F(PwmTimersTest, StoppingFreezesTheCountAndRestartContinues) {
  const VTime tick = 31250;
  load_and_start(3, 100);
  VTime start = sched.now();
  sched.advance_to(start + 30 * tick + tick / 2);
  timers.write(TCON, tcon(3, false, false, false), 4);
  EXPECT_EQ(tcnto(3), 70u);
  sched.advance_to(start + 1000 * tick);
  EXPECT_EQ(tcnto(3), 70u);
  EXPECT_EQ(timers.stable_until(TCNTO3), kForever);
  VTime restart = sched.now();
  timers.write(TCON, tcon(3, true, false, false), 4);
  sched.advance_to(restart + 70 * tick - 1);
  EXPECT_EQ(tcnto(3), 1u);
  sched.advance_to(restart + 70 * tick);
  EXPECT_EQ(tcnto(3), 0u);
  EXPECT_TRUE(irq(chip::kIrqTimer3));
}

// The phone's timer-3 operations, register for register.
class Timer3Test : public PwmTimersTest {
 protected:
  void program(uint32_t prescaler, uint32_t mux, uint32_t count) {
    timers.write(TCFG0, (timers.read(TCFG0, 4) & ~0xFF00u) | prescaler << 8, 4);
    timers.write(TCFG1, (timers.read(TCFG1, 4) & ~0xF000u) | mux << 12, 4);
    timers.write(TCNTB3, count, 4);
    timers.write(TCON, (timers.read(TCON, 4) & ~0xF0000u) | 0x20000, 4);
    timers.write(TCON, (timers.read(TCON, 4) & ~0xF0000u) | 0x10000, 4);
    EXPECT_NE(tcnto(3), 0u) << "the count is loaded before the driver returns";
  }
  uint32_t stopwatch() { return 0xFFFF - tcnto(3); }
};

TEST_F(Timer3Test, StopwatchReads250After25ms) {
  program(0xC7, 4, 0xFFFF);
  VTime start = sched.now();
  sched.advance_to(start + 25 * kMillisecond - 1);
  EXPECT_EQ(stopwatch(), 249u);
  sched.advance_to(start + 25 * kMillisecond);
  EXPECT_EQ(stopwatch(), 250u);
  // It saturates at 65535 once the one-shot count has stopped at 0.
  sched.advance_to(start + 7 * kSecond);
  EXPECT_EQ(stopwatch(), 65535u);
}

TEST_F(Timer3Test, TimeoutOf20000TicksRunsOutAtTwoSeconds) {
  program(0x00, 0, 32000);  // a previous delay_ms left its setting behind
  program(0xC7, 4, 20000);
  VTime start = sched.now();
  sched.advance_to(start + 2 * kSecond - 1);
  EXPECT_NE(tcnto(3), 0u);
  sched.advance_to(start + 2 * kSecond);
  EXPECT_EQ(tcnto(3), 0u);
}

TEST_F(Timer3Test, DelayPassOf32000TicksIsOneMillisecond) {
  program(0x00, 0, 32000);
  VTime start = sched.now();
  sched.advance_to(start + kMillisecond - 1);
  EXPECT_EQ(tcnto(3), 1u);
  EXPECT_EQ(timers.stable_until(TCNTO3), start + kMillisecond);
  sched.advance_to(start + kMillisecond);
  EXPECT_EQ(tcnto(3), 0u);
}

TEST_F(PwmTimersTest, StableUntilIsTheNextTick) {
  load_and_start(0, 50, true);
  VTime start = sched.now();
  const VTime tick = 31250;
  for (VTime at : {VTime{0}, tick - 1, tick, 5 * tick + 7, 50 * tick, 51 * tick - 1}) {
    sched.advance_to(start + at);
    VTime until = timers.stable_until(kTcnto[0]);
    uint32_t now_value = tcnto(0);
    sched.advance_to(until - 1);
    EXPECT_EQ(tcnto(0), now_value) << "at " << at;
    sched.advance_to(until);
    EXPECT_NE(tcnto(0), now_value) << "at " << at;
  }
}

TEST_F(PwmTimersTest, ExternalClockHoldsTheCount) {
  timers.write(TCFG1, 0x40000, 4);  // timer 4 on TCLK
  load_and_start(4, 500);
  sched.advance_to(sched.now() + kSecond);
  EXPECT_EQ(timers.read(TCNTO4, 4), 500u);
  EXPECT_FALSE(irq(chip::kIrqTimer4));
}

TEST_F(PwmTimersTest, RateIsTheMclkAtTheWrite) {
  sched.set_cycle_period(k8MHz);
  load_and_start(5, 1000);
  VTime start = sched.now();
  sched.set_cycle_period(k64MHz);
  sched.advance_to(start + 10 * 2 * k8MHz);
  EXPECT_EQ(timers.read(kTcnto[5], 4), 990u);
}

TEST_F(PwmTimersTest, ClockChangeWhileCountingStartsAFreshTick) {
  load_and_start(0, 100);
  VTime start = sched.now();
  sched.advance_to(start + 5 * 31250 / 2);  // 2.5 ticks at /2
  timers.write(TCFG1, 0x1, 4);              // now /4
  VTime changed = sched.now();
  EXPECT_EQ(tcnto(0), 98u);
  sched.advance_to(changed + 62500 - 1);
  EXPECT_EQ(tcnto(0), 98u);
  sched.advance_to(changed + 62500);
  EXPECT_EQ(tcnto(0), 97u);
}

TEST_F(PwmTimersTest, WriteAtTheZeroInstantKeepsTheInterrupt) {
  // The CPU can execute a write at the very time a zero is due, before the
  // scheduler has fired the event: stopping the timer then must not lose it.
  uint64_t inflight = 0;
  sched.set_inflight_source(&inflight);
  load_and_start(3, 10);
  inflight = 10 * 31250 / k64MHz;
  timers.write(TCON, tcon(3, false, false, false), 4);
  EXPECT_TRUE(irq(chip::kIrqTimer3));
  EXPECT_EQ(tcnto(3), 0u);
  sched.set_inflight_source(nullptr);
}

}  // namespace
}  // namespace sim
