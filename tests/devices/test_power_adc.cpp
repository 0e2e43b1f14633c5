// Power modes, slow mode and clock gates (ClockPower, and the gates as the
// board wires them), the ADC's conversion time, LCD LINECNT from the clock,
// and the timers' TOUT levels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "core/log.h"
#include "core/s3c44b0x.h"
#include "core/scheduler.h"
#include "devices/adc.h"
#include "devices/clock_power.h"
#include "devices/intc.h"
#include "devices/lcd_controller.h"
#include "devices/pwm_timers.h"

namespace sim {
namespace {

using namespace chip;

struct QuietLog {
  LogSink previous = set_log_sink([](const std::string&) {});
  ~QuietLog() { set_log_sink(previous); }
};

enum : uint32_t { CLKCON = 0x04, CLKSLOW = 0x08, ADCCON = 0x00, ADCPSR = 0x04, ADCDAT = 0x08 };

TEST(ClockPowerModes, SlowModeDividesFin) {
  struct Case {
    uint32_t clkslow;
    uint64_t hz;
  };
  const Case cases[] = {{0x09, 8000000}, {0x10, 8000000}, {0x11, 4000000}, {0x14, 1000000}, {0x18, 500000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clkslow);
    Scheduler scheduler;
    ClockPower clock{kClockPower, scheduler};
    VTime old_period = 0;
    clock.on_mclk_change([&](VTime old) { old_period = old; });
    clock.write(0x00, 0x38021, 4);  // 64 MHz
    clock.write(CLKSLOW, c.clkslow, 4);
    EXPECT_EQ(clock.mclk_hz(), c.clkslow & 0x10 ? c.hz : 64000000u);
    if (c.clkslow & 0x10) {
      EXPECT_EQ(old_period, VTime{15625}) << "listeners hear the change with the old period";
    }
  }
}

TEST(ClockPowerModes, WakeSourcesAndGates) {
  QuietLog quiet;
  struct Case {
    const char* what;
    uint32_t clkcon;
    uint32_t requests;
    bool wakes;
    bool pwm_on, lcd_on;
  };
  const Case cases[] = {
      {"IDLE, timer 0", 0x7FF8 | 4, 1u << kIrqTimer0, true, true, true},
      {"IDLE, nothing", 0x7FF8 | 4, 0, false, true, true},
      {"SL_IDLE, timer 0 does not wake", 0x46, 1u << kIrqTimer0, false, false, true},
      {"SL_IDLE, EINT1", 0x46, 1u << kIrqEint1, true, false, true},
      {"STOP, RTC alarm", 0x7FF8 | 1, 1u << kIrqRtc, true, false, false},
      {"STOP, UART0 Rx does not wake", 0x7FF8 | 1, 1u << kIrqUrxd0, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scheduler scheduler;
    ClockPower clock{kClockPower, scheduler};
    bool pwm = true, lcd = true;
    int stops = 0;
    clock.on_gate_change(ClockPower::kPwm, [&](bool on) { pwm = on; });
    clock.on_gate_change(ClockPower::kLcd, [&](bool on) { lcd = on; });
    clock.set_stop_listener([&] { ++stops; });
    clock.write(CLKCON, c.clkcon, 4);
    EXPECT_TRUE(clock.core_stopped());
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(pwm, c.pwm_on);
    EXPECT_EQ(lcd, c.lcd_on);
    EXPECT_EQ(clock.wake(c.requests), c.wakes);
    EXPECT_EQ(clock.core_stopped(), !c.wakes);
    if (c.wakes) {
      EXPECT_EQ(clock.read(CLKCON, 4) & 7, 0u) << "the mode bits clear on waking";
      EXPECT_EQ(pwm, (c.clkcon >> 3) & 1) << "the gates are as CLKCON has them";
    }
  }
}

// The blocks whose gate the board wires besides those with their own tests:
// a register access with the clock off is said once. GPIO and RTC lose the
// write (their bit gates the register interface), the RTC counts on; the
// others keep it, as every gated block's registers do.
TEST(BoardClockGates, AccessWithTheClockOffIsSaidOnce) {
  struct Case {
    int bit;
    uint32_t address, value;
    bool write_lost;
  };
  const Case cases[] = {
      {ClockPower::kBdma, kBdma + 0x04, 0x50000000 | kMessageBuffer, false},  // BDISRC0
      {ClockPower::kZdma, kZdma + 0x04, 0x0C001000, false},                    // ZDISRC0
      {ClockPower::kSio, kSio + 0x08, 0x12, false},                            // SBRDR
      {ClockPower::kGpio, kPorts + 0x0C, 0x200, true},                         // PDATB
      {ClockPower::kRtc, kRtc + 0x40, 0x1, true},                              // RTCCON
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bit);
    std::vector<std::string> said;
    LogSink previous = set_log_sink([&](const std::string& l) { said.push_back(l); });
    BoardOptions options;
    options.rtc_start = RtcTime{};
    Board board(options);
    Bus& bus = board.bus();
    auto reports = [&] {
      int n = 0;
      for (const std::string& l : said) n += l.find("CLKCON bit " + std::to_string(c.bit) + ",") != std::string::npos;
      return n;
    };
    const uint32_t before = bus.read(c.address, 4);
    bus.write(kClockPower + CLKCON, 0x7FF8 & ~(1u << c.bit), 4);
    EXPECT_EQ(reports(), 0) << "turning a clock off is no use of the block";
    bus.write(c.address, c.value, 4);
    bus.write(c.address, c.value, 4);
    EXPECT_EQ(bus.read(c.address, 4), c.write_lost ? before : c.value);
    EXPECT_EQ(reports(), 1);
    board.scheduler().advance_to(2 * kSecond);
    EXPECT_EQ(board.rtc().time().sec, 2) << "the RTC counts on its crystal whatever the gate";
    bus.write(kClockPower + CLKCON, 0x7FF8, 4);
    bus.write(c.address, c.value, 4);
    EXPECT_EQ(bus.read(c.address, 4), c.value);
    EXPECT_EQ(reports(), 1) << "said once";
    set_log_sink(previous);
  }
}

struct AdcTest : ::testing::Test {
  QuietLog quiet;
  Scheduler scheduler;
  Intc intc{kIntc};
  Adc adc{kAdc, scheduler, intc};
  bool done() { return adc.read(ADCCON, 4) & 0x40; }
  void step_cycles(uint64_t n) { scheduler.advance_to(scheduler.now() + scheduler.cycles_to_time(n)); }
};

TEST_F(AdcTest, ConversionEndsAfter2xPrescalerPlus1x16Cycles) {
  for (uint32_t psr : {0u, 9u, 255u}) {
    SCOPED_TRACE(psr);
    adc.reset();
    intc.reset();
    adc.set_input(3, 700);
    adc.write(ADCPSR, psr, 4);
    adc.write(ADCCON, 3u << 2 | 1, 4);
    EXPECT_EQ(adc.read(ADCCON, 4) & 1, 0u) << "ENABLE_START reads 0 once begun";
    uint64_t n = 2 * (psr + 1) * 16;
    step_cycles(n - 1);
    EXPECT_FALSE(done()) << "N-1";
    EXPECT_FALSE(intc.pending() & 1);
    step_cycles(1);
    EXPECT_TRUE(done()) << "N";
    EXPECT_EQ(adc.read(ADCDAT, 4), 700u);
    EXPECT_TRUE(intc.pending() & (1u << kIrqAdc));
    step_cycles(1);
    EXPECT_TRUE(done()) << "N+1";
  }
}

TEST_F(AdcTest, SleepReadStartUnsetChannelsAndMclk) {
  adc.set_input(1, 1000);
  adc.write(ADCCON, 0x20 | 1u << 2 | 1, 4);  // SLEEP still set
  step_cycles(100);
  EXPECT_FALSE(done()) << "powered down: nothing converts";
  adc.write(ADCCON, 1u << 2 | 2, 4);  // READ_START: the read starts the next one
  EXPECT_EQ(adc.read(ADCDAT, 4), 0u);
  step_cycles(32);
  EXPECT_EQ(adc.read(ADCDAT, 4), 1000u);
  adc.write(ADCCON, 6u << 2 | 1, 4);  // AIN6 never set
  step_cycles(32);
  EXPECT_EQ(adc.read(ADCDAT, 4), 0u);
  // Half way, MCLK halves: the 16 cycles left take twice as long.
  adc.write(ADCCON, 1u << 2 | 1, 4);
  step_cycles(16);
  VTime old = scheduler.cycle_period();
  scheduler.set_cycle_period(2 * old);
  adc.mclk_changed(old);
  step_cycles(15);
  EXPECT_FALSE(done());
  step_cycles(1);
  EXPECT_TRUE(done());
}

TEST(LcdLinecnt, CountsDownAtTheRateTheTimingFieldsGive) {
  Scheduler scheduler;
  scheduler.set_cycle_period(15625);  // 64 MHz
  LcdController lcd{kLcd, &scheduler};
  lcd.write(0x04, 0x00013CEF, 4);  // HOZVAL 79, LINEVAL 239, LINEBLANK 0
  lcd.write(0x00, 0x0000D021, 4);  // CLKVAL 13, WLH 4, WDLY 4, on
  // 2 x 13 x 80 + 4 + 4 = 2088 MCLK a line.
  const uint64_t line = 2088;
  EXPECT_EQ(lcd.line_period(), scheduler.cycles_to_time(line));
  auto linecnt = [&] { return lcd.read(0x00, 4) >> 22; };
  EXPECT_EQ(linecnt(), 239u);
  scheduler.advance_to(scheduler.cycles_to_time(line - 1));
  EXPECT_EQ(linecnt(), 239u) << "N-1";
  scheduler.advance_to(scheduler.cycles_to_time(line));
  EXPECT_EQ(linecnt(), 238u) << "N";
  scheduler.advance_to(scheduler.cycles_to_time(240 * line));
  EXPECT_EQ(linecnt(), 239u) << "a new frame";
  lcd.write(0x04, 0x00013CEF | 10u << 21, 4);  // LINEBLANK 10: 80 MCLK more a line
  EXPECT_EQ(lcd.line_period(), scheduler.cycles_to_time(line + 80));
  EXPECT_EQ(linecnt(), 239u) << "the line in progress goes on";
  scheduler.advance_to(scheduler.now() + scheduler.cycles_to_time(line + 80));
  EXPECT_EQ(linecnt(), 238u);
  EXPECT_EQ(lcd.read(0x00, 4) & 0x3FFFFF, 0x0000D021u) << "the written bits read back";
}

TEST(PwmTout, ComparesDriveTheOutputAndTheInverterSwapsIt) {
  Scheduler scheduler;
  Intc intc{kIntc};
  PwmTimers timers{kPwm, scheduler, intc};
  // Timer 0: tick = 2 MCLK, TCNTB 9, TCMPB 3: low for counts 9..4, high for 3..0.
  timers.write(0x0C, 9, 4);
  timers.write(0x10, 3, 4);
  timers.write(0x08, 0x0A, 4);  // manual update, auto-reload
  timers.write(0x08, 0x09, 4);  // start
  VTime tick = 2 * scheduler.cycle_period();
  EXPECT_FALSE(timers.tout(0));
  EXPECT_EQ(timers.tout_next_change(0), 6 * tick);
  scheduler.advance_to(6 * tick - 1);
  EXPECT_FALSE(timers.tout(0)) << "N-1";
  scheduler.advance_to(6 * tick);
  EXPECT_TRUE(timers.tout(0)) << "N: the count reached TCMP";
  EXPECT_EQ(timers.tout_next_change(0), 10 * tick);
  scheduler.advance_to(10 * tick);
  EXPECT_FALSE(timers.tout(0)) << "reloaded";
  timers.write(0x08, 0x0D, 4);  // inverter on
  EXPECT_TRUE(timers.tout(0));
}

}  // namespace
}  // namespace sim
