// The chip's blocks on the board as a student's own program meets them
// (tests/firmware/devices_lab.c): bouncing buttons without debouncing, a
// level EINT re-entering, the EXTINTPND storm, IDLE woken by a timer, and
// ADC conversions; `mode` picks the experiment.
#include <gtest/gtest.h>

#include <string>

#include "board/board.h"
#include "test_firmwares.h"

namespace sim {
namespace {

struct Lab {
  LogCapture log;
  Board board;
  explicit Lab(int mode, BoardOptions options = {}) : board(options) {
    std::string error;
    EXPECT_TRUE(board.load(elf_path("devices_lab"), &error)) << error;
    board.ram().write32(*board.symbol_address("mode"), static_cast<uint32_t>(mode));
  }
  uint32_t var(const char* name, uint32_t index = 0) { return board.ram().read32(*board.symbol_address(name) + 4 * index); }
  void run_for(VTime d) { board.run_until(board.now() + d); }
};

TEST(DevicesLab, AHandlerWithoutDebouncingCountsABouncingPressSeveralTimes) {
  for (bool bounce : {true, false}) {
    SCOPED_TRACE(bounce ? "bounce" : "--no-bounce");
    BoardOptions options;
    options.bounce = bounce;
    Lab lab(0, options);
    lab.run_for(10 * kMillisecond);
    lab.board.buttons().press(0x40);
    lab.run_for(100 * kMillisecond);
    lab.board.buttons().release(0x40);
    lab.run_for(100 * kMillisecond);
    if (bounce) EXPECT_GE(lab.var("presses"), 2u) << "the edges of one press";
    else EXPECT_EQ(lab.var("presses"), 1u);
    EXPECT_FALSE(lab.board.halted()) << lab.board.halt_report();
  }
}

TEST(DevicesLab, LevelEintReentersWhileHeldAndForgottenExtintpndStorms) {
  struct Case {
    const char* what;
    int mode;
    bool stops_on_release;
  };
  const Case cases[] = {{"low level, button held", 1, true}, {"EXTINTPND left set", 2, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BoardOptions options;
    options.bounce = false;
    Lab lab(c.mode, options);
    lab.run_for(10 * kMillisecond);
    lab.board.buttons().press(0x40);
    lab.run_for(kMillisecond);
    uint32_t held = lab.var("presses");
    EXPECT_GT(held, 20u) << "entered again and again";
    lab.board.buttons().release(0x40);
    lab.run_for(kMillisecond);
    uint32_t after = lab.var("presses");
    lab.run_for(kMillisecond);
    if (c.stops_on_release) EXPECT_EQ(lab.var("presses"), after) << "released: no more requests";
    else EXPECT_GT(lab.var("presses"), after + 20) << "the storm goes on after the release";
  }
}

TEST(DevicesLab, IdleStopsTheCoreUntilTheTimerInterrupt) {
  Lab lab(3);
  lab.board.run_until(kSecond);
  ASSERT_TRUE(lab.board.halted());
  EXPECT_EQ(lab.board.halt_reason(), "main returned");
  EXPECT_EQ(lab.var("wakes"), 3u);
  EXPECT_EQ(lab.var("ticks"), 3u);
  EXPECT_GE(lab.board.now(), 29 * kMillisecond);
  EXPECT_LT(lab.board.now(), 31 * kMillisecond);
  EXPECT_LT(lab.board.core().instructions(), 5000u) << "no instruction runs while the core is idle";
  EXPECT_EQ(lab.board.clock().clkcon() & 4, 0u) << "the IDLE bit clears on waking";
}

TEST(DevicesLab, AdcConversionsEndWithEachChannelsValue) {
  Lab lab(4);
  for (int ch = 0; ch < 8; ++ch) lab.board.adc().set_input(ch, ch == 5 ? 0 : 100u * ch + 3);
  lab.board.run_until(kSecond);
  ASSERT_TRUE(lab.board.halted());
  EXPECT_EQ(lab.board.halt_reason(), "main returned");
  for (uint32_t ch = 0; ch < 8; ++ch) EXPECT_EQ(lab.var("adc_values", ch), ch == 5 ? 0 : 100 * ch + 3) << ch;
}

}  // namespace
}  // namespace sim
