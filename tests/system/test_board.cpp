// The small test firmwares (tests/firmware) on the simulated board: console
// output, exceptions through the monitor's table, halts, the watchdog's
// reset, determinism, and calling firmware functions by name.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "board/board.h"
#include "core/log.h"
#include "test_firmwares.h"

namespace sim {
namespace {


struct BoardTest : ::testing::Test {
  LogCapture log;
  Board board;

  void load(const std::string& name) {
    std::string error;
    ASSERT_TRUE(board.load(elf_path(name), &error)) << error;
  }
};

TEST_F(BoardTest, HelloOnTheConsole) {
  load("hello");
  board.run_until(kSecond);
  EXPECT_EQ(board.console(), "hello\n");
  EXPECT_TRUE(board.halted());
  EXPECT_EQ(board.halt_reason(), "main returned");
  EXPECT_LT(board.now(), 10 * kMillisecond) << "the halt ends the run at once";
}

// The console needs its pins and its clock: hello.elf relies on the
// monitor's PCONE and CLKCON; taking either away silences the line, and the
// reason is said once.
TEST(BoardUartWiring, NoPinOrNoClockNoConsole) {
  struct Case {
    const char* what;
    uint32_t address, value;
    const char* said;
  } cases[] = {
      {"as the monitor leaves it", 0, 0, nullptr},
      {"PE1 not TxD0", 0x01D20028, 0x20, "PCONE"},
      {"UART0 clock off", 0x01D80004, 0x7EF8, "CLKCON bit 8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LogCapture log;
    Board board;
    std::string error;
    ASSERT_TRUE(board.load(elf_path("hello"), &error)) << error;
    if (c.address) board.bus().write(c.address, c.value, 4);
    board.run_until(kSecond);
    EXPECT_EQ(board.console(), c.said ? "" : "hello\n");
    int said = 0;
    for (const std::string& l : log.lines) said += c.said && l.find(c.said) != std::string::npos;
    EXPECT_EQ(said, c.said ? 1 : 0);
  }
}

// The watchdog interrupts a loop that keeps known values in r0..r12 twenty
// times, through the vectored slot of the WDT source; the handler clobbers
// every register and returns with subs pc, lr, #4.
TEST_F(BoardTest, IrqReturnsWithEveryRegisterIntact) {
  load("irq_registers");
  board.run_until(kSecond);
  EXPECT_EQ(board.console(), "registers intact\n");
  auto count = board.symbol_address("count");
  ASSERT_TRUE(count);
  // It keeps being interrupted while it prints, until it stops the watchdog.
  EXPECT_GE(board.ram().read32(*count), 20u) << "interrupts served";
}

TEST_F(BoardTest, DataAbortThroughItsSlot) {
  load("data_abort");
  board.run_until(kSecond);
  std::smatch m;
  const std::string console = board.console();
  ASSERT_TRUE(std::regex_search(console, m, std::regex("abort at ([0-9A-F]{8}) expected ([0-9A-F]{8})\n")))
      << console;
  EXPECT_EQ(m[1], m[2]) << "LR_abt - 8 must be the faulting load";
  auto label = board.symbol_address("fault_label");
  ASSERT_TRUE(label);
  EXPECT_EQ(std::stoul(m[1], nullptr, 16), *label);
}

TEST_F(BoardTest, PrefetchAbortOnAnUnmappedFetch) {
  load("prefetch_abort");
  board.run_until(kSecond);
  EXPECT_EQ(board.console(), "prefetch abort at 03000000 expected 03000000\n");
}

// A wild jump lands in the monitor's ROM, where every word traps: the board
// says so instead of running on through whatever is there.
TEST_F(BoardTest, AJumpIntoTheMonitorsRomHalts) {
  load("hello");
  board.core().set_reg(ArmCore::LR, 0x0C100000);
  board.core().set_pc(0x00000040);
  board.run_until(kSecond);
  ASSERT_TRUE(board.halted());
  EXPECT_EQ(board.halt_reason(), "the program jumped into the monitor's ROM (lr 0x0C100000)");
  EXPECT_EQ(board.core().pc(), 0x40u);
}

TEST(BoardHalt, Reports) {
  struct Case {
    const char* firmware;
    const char* reason;
    const char* where;  // the function the pc is in, "" when outside the image
    const char* last_line;
  };
  const Case cases[] = {
      {"hello", "main returned", "", "hello"},
      {"no_handler", "no handler for software interrupt: its slot 0x0C7FFF08 holds 0", "main+", "before the swi"},
      {"data_abort", "stuck in a loop that no interrupt can leave, in an abort handler", "report_abort+",
       "abort at "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.firmware);
    LogCapture quiet;
    Board board;
    std::string error;
    ASSERT_TRUE(board.load(elf_path(c.firmware), &error)) << error;
    board.run_until(2 * kSecond);
    ASSERT_TRUE(board.halted());
    EXPECT_EQ(board.halt_reason(), c.reason);
    const std::string report = board.halt_report();
    EXPECT_EQ(report.rfind("halted: " + std::string(c.reason) + " at pc 0x", 0), 0u) << report;
    if (*c.where) {
      EXPECT_NE(report.find(std::string("(") + c.where), std::string::npos) << report;
    }
    EXPECT_NE(report.find("last console line: \"" + std::string(c.last_line)), std::string::npos) << report;

    const VTime halted_at = board.now();
    board.run_until(halted_at + kSecond);
    EXPECT_EQ(board.now(), halted_at) << "a halted board stays halted";
  }
}

struct RunRecord {
  std::string trace, console;
  uint64_t cycles = 0;
  VTime now = 0;
};

// In one run, or in runs of `chunk` ending as `end` says (the last one
// exact, as the front ends' loops make them). `past`: the most a run's end
// went past its goal.
RunRecord run_once(const std::string& firmware, bool traced, VTime until, VTime chunk = 0,
                   Board::RunEnd end = Board::RunEnd::exact, VTime* past = nullptr) {
  LogCapture quiet;
  Board board;
  std::string error;
  RunRecord r;
  EXPECT_TRUE(board.load(elf_path(firmware), &error)) << error;
  std::FILE* f = traced ? std::tmpfile() : nullptr;
  board.set_trace(f);
  if (!chunk) board.run_until(until);
  while (chunk && board.now() < until && !board.halted()) {
    const VTime goal = std::min(until, board.now() + chunk);
    board.run_until(goal, {}, goal < until ? end : Board::RunEnd::exact);
    if (past && board.now() > goal) *past = std::max(*past, board.now() - goal);
  }
  board.set_trace(nullptr);
  if (f) {
    std::rewind(f);
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) r.trace.append(buf, n);
    std::fclose(f);
  }
  r.console = board.console();
  r.cycles = board.cycles();
  r.now = board.now();
  return r;
}

TEST(BoardDeterminism, TwoRunsGiveTheSameTraceConsoleAndCycles) {
  for (const char* firmware : {"irq_registers", "hello", "data_abort"}) {
    SCOPED_TRACE(firmware);
    RunRecord a = run_once(firmware, true, kSecond);
    RunRecord b = run_once(firmware, true, kSecond);
    ASSERT_FALSE(a.trace.empty());
    EXPECT_TRUE(a.trace == b.trace) << "traces differ (" << a.trace.size() << " and " << b.trace.size() << " bytes)";
    EXPECT_EQ(a.console, b.console);
    EXPECT_EQ(a.cycles, b.cycles);
    EXPECT_EQ(a.now, b.now);

    RunRecord untraced = run_once(firmware, false, kSecond);
    EXPECT_EQ(untraced.console, a.console) << "tracing must not change the run";
    EXPECT_EQ(untraced.cycles, a.cycles);
  }
}

// Runs of 10 ms, each ending exactly or at the end of the block the core
// is in then (a window's frames: no input came), give the run of one: the
// same register accesses at the same cycles, the same console, the same
// end. (bench-inflate with the cache on, whose blocks may cost more than
// their charge; the phone and a program with interrupts with it off.) A
// run that may end at a block's end does so at most a block's time past
// its goal.
TEST(BoardDeterminism, RunsInPiecesGiveTheRunOfOne) {
  struct Case {
    const char* firmware;
    VTime until;
  };
  for (const Case& c : {Case{"bench-inflate", 300 * kMillisecond}, Case{"irq_registers", kSecond},
                        Case{"phone", 600 * kMillisecond}}) {
    SCOPED_TRACE(c.firmware);
    const RunRecord one = run_once(c.firmware, true, c.until);
    ASSERT_FALSE(one.trace.empty());
    VTime past = 0;
    for (Board::RunEnd end : {Board::RunEnd::exact, Board::RunEnd::block_end}) {
      SCOPED_TRACE(end == Board::RunEnd::exact ? "exact" : "at a block's end");
      const RunRecord pieces = run_once(c.firmware, true, c.until, 10 * kMillisecond, end, &past);
      EXPECT_TRUE(pieces.trace == one.trace)
          << "traces differ (" << pieces.trace.size() << " and " << one.trace.size() << " bytes)";
      EXPECT_EQ(pieces.console, one.console);
      EXPECT_EQ(pieces.cycles, one.cycles);
      EXPECT_EQ(pieces.now, one.now);
    }
    EXPECT_GT(past, 0u) << "no run ended past its goal: blocks were split for it";
    EXPECT_LT(past, 2000 * kNanosecond);  // (some 128 cycles at 64 MHz)
  }
}

TEST(BoardDeterminism, TraceLinesHaveTheDocumentedForm) {
  RunRecord r = run_once("hello", true, kSecond);
  const std::regex line("[0-9]+ [RW] [0-9A-F]{8} [0-9A-F]{8} [124]");
  size_t start = 0, lines = 0;
  uint64_t previous_cycle = 0;
  while (start < r.trace.size()) {
    size_t end = r.trace.find('\n', start);
    ASSERT_NE(end, std::string::npos) << "the last line is unterminated";
    std::string l = r.trace.substr(start, end - start);
    ASSERT_TRUE(std::regex_match(l, line)) << l;
    uint64_t cycle = std::stoull(l);
    ASSERT_GE(cycle, previous_cycle) << "cycles never go back: " << l;
    previous_cycle = cycle;
    start = end + 1;
    ++lines;
  }
  // WTCON off, the console set up (3 writes), then per byte at least one
  // UTRSTAT read and one UTXH write.
  EXPECT_GE(lines, 4u + 2u * 6u);
  EXPECT_NE(r.trace.find(" W 01D00020 00000068 "), std::string::npos) << "the 'h' written to UTXH0";
}

TEST_F(BoardTest, CallFirmwareFunctionsByName) {
  load("hello");
  struct Case {
    const char* function;
    std::vector<uint32_t> args;
    uint32_t result;
  };
  const Case cases[] = {
      {"add3", {1, 2, 3}, 6},
      {"add3", {0xFFFFFFFB, 2, 0}, 0xFFFFFFFD},  // -5 + 2 + 0
      {"add3", {}, 0},
      {"weighted6", {1, 2, 3, 4, 5, 6}, 1 + 4 + 9 + 16 + 25 + 36},
      {"weighted6", {0, 0, 0, 0, 1, 0}, 5},  // the fifth argument alone, from the stack
      {"weighted6", {0, 0, 0, 0, 0, 1}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    uint32_t result = 0xDEADBEEF;
    std::string error;
    ASSERT_TRUE(board.call(c.function, c.args, &result, kSecond, &error)) << error;
    EXPECT_EQ(result, c.result);
  }
  // The interrupted state comes back: the program still runs from main.
  board.run_until(board.now() + kSecond);
  EXPECT_EQ(board.console(), "hello\n");
  EXPECT_EQ(board.halt_reason(), "main returned");
}

TEST_F(BoardTest, CallRefusesWhatItCannotRun) {
  load("hello");
  uint32_t result = 0;
  std::string error;
  EXPECT_FALSE(board.call("no_such_function", {}, &result, kSecond, &error));
  EXPECT_NE(error.find("no_such_function"), std::string::npos) << error;

  board.run_until(kSecond);
  ASSERT_TRUE(board.halted());
  error.clear();
  EXPECT_FALSE(board.call("add3", {1, 2, 3}, &result, kSecond, &error));
  EXPECT_NE(error.find("halted"), std::string::npos) << error;
}

// The firmware leaves the watchdog as the chip resets it: (0x80 + 1) x 16 x
// 0x8000 cycles; the watchdog follows the monitor's PLL setting, so at
// 64 MHz that is 1.056768 s, then the monitor runs the program again.
TEST_F(BoardTest, WatchdogLeftRunningResetsTheBoard) {
  load("watchdog_reset");
  const VTime expiry = 1056768 * kMicrosecond;
  board.run_until(expiry - kMillisecond);
  EXPECT_EQ(board.resets(), 0);
  EXPECT_EQ(board.console(), "watchdog left running\n");
  board.run_until(expiry + 50 * kMillisecond);
  EXPECT_EQ(board.resets(), 1);
  EXPECT_EQ(board.console(), "watchdog left running\nwatchdog left running\n");
  EXPECT_FALSE(board.halted());
  bool reported = false;
  for (const std::string& l : log.lines) reported = reported || l.find("watchdog reset") != std::string::npos;
  EXPECT_TRUE(reported) << "the reset is reported";
}

// A program that has finished: an endless loop in main's mode that no
// interrupt and no watchdog can end. That is no halt: the board runs on, its
// time passing at once, and says once where the program sits.
TEST(BoardFinished, RunsOnAndSaysSoOnce) {
  for (const char* firmware : {"stuck", "irq_registers"}) {
    SCOPED_TRACE(firmware);
    LogCapture log;
    Board board;
    std::string error;
    ASSERT_TRUE(board.load(elf_path(firmware), &error)) << error;
    board.run_until(2 * kSecond);
    EXPECT_FALSE(board.halted()) << board.halt_report();
    EXPECT_TRUE(board.finished());
    EXPECT_EQ(board.now(), 2 * kSecond);  // to the picosecond: the loop's turn in progress goes on after
    board.run_until(100 * kSecond);
    EXPECT_EQ(board.now(), 100 * kSecond);
    EXPECT_LT(board.core().instructions(), 10000000u) << "the time of the loop is skipped";
    int notes = 0;
    for (const std::string& l : log.lines) {
      if (l.find("the program has finished") == std::string::npos) continue;
      ++notes;
      EXPECT_NE(l.find("(main+"), std::string::npos) << l;
    }
    EXPECT_EQ(notes, 1) << "said once";
  }
}

// A loop that no interrupt can leave while the watchdog runs with its reset
// on: the time passes to the reset at once (no halt), and the RTC, on the
// board's backup battery, counts on across it.
TEST(BoardWatchdog, SpinWithInterruptsOffSkipsToTheResetAndTheRtcKeepsItsTime) {
  LogCapture log;
  BoardOptions options;
  options.rtc_start = RtcTime{26, 3, 14, 7, 10, 20, 0};
  Board board(options);
  std::string error;
  ASSERT_TRUE(board.load(elf_path("watchdog_spin"), &error)) << error;
  const VTime expiry = 1056768 * kMicrosecond;  // (0x80 + 1) x 16 x 0x8000 cycles at the monitor's 64 MHz
  board.run_until(expiry - kMillisecond);
  EXPECT_FALSE(board.halted()) << board.halt_report();
  EXPECT_EQ(board.resets(), 0);
  board.run_until(expiry + kSecond);  // before the next reset at 2 x expiry
  EXPECT_FALSE(board.halted()) << board.halt_report();
  EXPECT_EQ(board.resets(), 1);
  EXPECT_EQ(board.console(), "spinning until the watchdog bites\nspinning until the watchdog bites\n");
  EXPECT_LT(board.core().instructions(), 10000000u) << "the spin's time is skipped";
  const RtcTime t = board.rtc().time();
  EXPECT_EQ(t.hour, 10);
  EXPECT_EQ(t.min, 20);
  EXPECT_EQ(t.sec, 2) << "1.06 s + 1 s after 10:20:00, not 1 s after a calendar set back";
}

}  // namespace
}  // namespace sim
