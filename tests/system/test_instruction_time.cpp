// Time at the instruction, as a program sees it (tests/firmware/instr_time.S):
// a register read happens at its own instruction's cycle, and an interrupt
// comes at the instruction after the one that lets it through, whether the
// waits are skipped or not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "core/log.h"
#include "test_firmwares.h"

namespace sim {
namespace {

constexpr uint32_t kTcnto1 = 0x01D50020;

struct InstrBoard {
  LogCapture quiet;
  Board board;
  explicit InstrBoard(bool skip) : board(options(skip)) {
    std::string error;
    EXPECT_TRUE(board.load(elf_path("instr_time"), &error)) << error;
  }
  static BoardOptions options(bool skip) {
    BoardOptions o;
    o.skip_polling = skip;
    o.rtc_start = RtcTime{};
    return o;
  }
  uint32_t call(const std::string& function, std::vector<uint32_t> args = {}) {
    uint32_t result = 0;
    std::string error;
    EXPECT_TRUE(board.call(function, args, &result, kSecond, &error)) << error;
    return result;
  }
  uint32_t address_of(const std::string& name) {
    auto sym = board.elf().symbol(name);
    EXPECT_TRUE(sym.has_value()) << name;
    return sym ? sym->address : 0;
  }
};

// Two reads of a timer's count around 100 nops in one block: the second
// comes 1S + 1N(SFR) + 1I + 100 x 1S later (S = 2 clocks in the 16-bit
// SDRAM, an SFR access 2), and the timer, at MCLK / 2, has moved by half.
TEST(InstructionTime, ARegisterReadHappensAtItsOwnCycle) {
  for (bool skip : {true, false}) {
    SCOPED_TRACE(skip ? "skipping" : "--no-skip");
    InstrBoard t(skip);
    std::vector<uint64_t> stamps;
    t.board.bus().add_watcher([&](bool is_write, uint32_t address, uint32_t, unsigned) {
      if (!is_write && address == kTcnto1) stamps.push_back(t.board.cycles());
    });
    // ARM: the first LDR's fetch (1S, two half-word beats of the SDRAM),
    // its SFR access (1N, 2 clocks) and 1I, then 100 nops at 1S. Thumb:
    // one beat a fetch. The timer counts at MCLK / 2.
    struct Case {
      const char* function;
      uint64_t apart;
    };
    for (const Case& c : {Case{"read_twice", 2u + 2u + 1u + 100u * 2u}, Case{"read_twice_thumb", 1u + 2u + 1u + 100u}}) {
      SCOPED_TRACE(c.function);
      stamps.clear();
      t.call("start_timer1");
      uint32_t moved = t.call(c.function, {kTcnto1});
      ASSERT_EQ(stamps.size(), 2u);
      EXPECT_EQ(stamps[1] - stamps[0], c.apart);
      EXPECT_GE(moved, c.apart / 2);
      EXPECT_LE(moved, c.apart / 2 + 1);
    }
  }
}

// The interrupt handler records where it returns to: the instruction right
// after the store to INTMSK, the MSR that clears I, the store that sets
// IDLE (nothing after it runs before the wake).
TEST(InstructionTime, AnInterruptComesAtTheNextInstruction) {
  struct Case {
    const char* function;
    const char* after;
  };
  const Case cases[] = {
      {"unmask_pending", "after_unmask"},
      {"msr_enable", "after_msr"},
      {"idle_wake", "after_idle"},
  };
  for (bool skip : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.function) + (skip ? "" : " --no-skip"));
      InstrBoard t(skip);
      EXPECT_EQ(t.call(c.function), t.address_of(c.after));
    }
  }
}

// A block that unmasks a source whose event falls later in the same block:
// the interrupt comes at the instruction it comes at when the source was
// unmasked before the block (the store then changes nothing), not at the
// block's end.
TEST(InstructionTime, UnmaskingInsideABlockSplitsItAtTheEvent) {
  constexpr uint32_t kAllMasked = 0x07FFFFFF, kTimer0Unmasked = kAllMasked & ~((1u << 13) | (1u << 26));
  for (bool skip : {true, false}) {
    SCOPED_TRACE(skip ? "skipping" : "--no-skip");
    InstrBoard before(skip), inside(skip);
    uint32_t reference = before.call("unmask_in_block", {60, kTimer0Unmasked});
    EXPECT_EQ(inside.call("unmask_in_block", {60, kAllMasked}), reference);
    EXPECT_GT(reference, inside.address_of("unmask_in_block_nops"));
    EXPECT_LT(reference, inside.address_of("unmask_in_block_end"));
  }
}

// The clock seen as each block starts never goes back, not even where the
// core stops right after a register access and runs the instruction again
// alone (the store to INTMSK that lets a pending interrupt through, which
// costs less than the SDRAM store its block charged), first in its block.
TEST(InstructionTime, TheClockNeverGoesBackAtAnInstructionRunAgain) {
  for (bool skip : {true, false}) {
    SCOPED_TRACE(skip ? "skipping" : "--no-skip");
    InstrBoard t(skip);
    uint64_t last = 0, backwards = 0;
    t.board.core().add_block_observer([&](uint32_t, uint32_t) {
      const uint64_t now = t.board.cycles();
      if (now < last) ++backwards;
      last = now;
    });
    EXPECT_NE(t.call("unmask_pending_first"), 0u);
    EXPECT_EQ(backwards, 0u);
  }
}

// A block split at an event finds the instruction the interrupt comes at
// with what its start tells of the instructions before it: a failed LDMNE
// costs what a nop costs, so the interrupt comes at the same nop; a MUL
// whose m is 4 costs what three nops cost, so it comes two instructions
// earlier in the block than after three nops.
TEST(InstructionTime, ASplitCountsWhatTheBlocksStartTells) {
  for (bool skip : {true, false}) {
    SCOPED_TRACE(skip ? "skipping" : "--no-skip");
    InstrBoard nop(skip), ldm(skip), nops(skip), mul(skip);
    const uint32_t reference = nop.call("split_after_nop", {60});
    EXPECT_GT(reference, 16u);
    EXPECT_LT(reference, 200u * 4);
    EXPECT_EQ(ldm.call("split_after_ldm", {60}), reference);
    EXPECT_EQ(mul.call("split_after_mul", {60}) + 8, nops.call("split_after_nops", {60}));
  }
}

// A debugger changes nothing: a breakpoint inside the block of nops, and
// steps from there, leave the reads at the same cycles with the same values
// as a run without them.
TEST(InstructionTime, ABreakpointOrAStepInsideTheBlockChangesNothing) {
  auto run = [](int mode) {
    InstrBoard t(true);
    std::vector<uint64_t> stamps;
    t.board.bus().add_watcher([&](bool, uint32_t address, uint32_t value, unsigned) {
      stamps.push_back(t.board.cycles() ^ (static_cast<uint64_t>(address) << 40) ^ value);
    });
    if (mode > 0) {
      uint32_t inside = t.address_of("read_twice") + 4 * 40;
      t.board.core().add_breakpoint(inside);
      t.board.run_until(kMillisecond);
      EXPECT_TRUE(t.board.at_breakpoint());
      EXPECT_EQ(t.board.core().pc(), inside);
      t.board.core().remove_breakpoint(inside);
      if (mode == 2)
        for (int i = 0; i < 10; ++i) t.board.step();
    }
    t.board.run_until(2 * kMillisecond);
    stamps.push_back(t.board.ram().read32(t.address_of("twice_result")));
    stamps.push_back(t.board.cycles());
    return stamps;
  };
  auto plain = run(0);
  EXPECT_EQ(run(1), plain) << "a breakpoint";
  EXPECT_EQ(run(2), plain) << "a breakpoint, then ten steps";
}

// Where a run ends changes nothing the program sees: a run that ends while
// an interrupt's entry is under way (its cycles cut at the run's end) goes
// on with the rest of the entry before the handler's first instruction.
// The handler's writes to I_ISPC (in its first block) come at the same
// cycles whether the board ran in one piece or was stopped at any cycle
// before the first of them.
TEST(InstructionTime, ARunsEndInsideAnInterruptsEntryChangesNothing) {
  constexpr uint32_t kIspc = 0x01E00024;
  constexpr VTime kEnd = 3 * kMillisecond;
  // (the time the devices see: Board::cycles() also counts what is carried)
  struct Seen {
    std::vector<VTime> times;
  };
  auto run = [&](VTime cut) {
    LogCapture quiet;
    Board board;
    std::string error;
    EXPECT_TRUE(board.load(elf_path("irq_registers"), &error)) << error;
    Seen seen;
    board.bus().add_watcher([&](bool is_write, uint32_t address, uint32_t, unsigned) {
      if (!is_write || address != kIspc) return;
      seen.times.push_back(board.now());
    });
    if (cut) board.run_until(cut);
    board.run_until(kEnd);
    return seen;
  };
  const Seen whole = run(0);
  ASSERT_GE(whole.times.size(), 2u);
  const VTime cycle = kSecond / 64000000;  // (MCLK 64 MHz by then)
  for (uint64_t before = 1; before <= 120; ++before) {
    SCOPED_TRACE(before);
    EXPECT_EQ(run(whole.times[0] - before * cycle).times, whole.times);
  }
}

// An input given between two runs (a script's button, a key from the
// window) at the first run's end: the interrupt it requests is taken at the
// first instruction boundary after it and the synchroniser's cycles, as if
// it had come by an event at that time in one run, wherever in a block of
// the waiting loop the run ended (hello-board: its handler reads PDATG
// first). The first run ran the rest of its block past its end, and the
// handler came up to a block's time late.
TEST(InstructionTime, AnInputBetweenTwoRunsComesAtTheFirstRunsEnd) {
  constexpr uint32_t kPdatg = 0x01D20044;
  const VTime cycle = kSecond / 64000000, start = 20 * kMillisecond, end = 22 * kMillisecond;
  auto first_read = [&](VTime at, bool by_event, bool skip) {
    LogCapture quiet;
    BoardOptions o;
    o.skip_polling = skip;
    Board board(o);
    std::string error;
    EXPECT_TRUE(board.load(elf_path("hello-board"), &error)) << error;
    VTime read = 0;
    board.bus().add_watcher([&](bool is_write, uint32_t address, uint32_t, unsigned) {
      if (!is_write && address == kPdatg && !read && board.now() >= at) read = board.now();
    });
    Event press(board.scheduler(), "press", [&](VTime) { board.buttons().press(0x40); });
    if (by_event) {
      press.schedule_at(at);
    } else {
      board.run_until(at);
      board.buttons().press(0x40);
    }
    board.run_until(end);
    return read;
  };
  for (bool skip : {true, false})
    for (uint64_t k = 0; k < 40; ++k) {
      SCOPED_TRACE(std::to_string(k) + (skip ? "" : ", no skip"));
      const VTime at = start + k * cycle;
      const VTime by_event = first_read(at, true, skip);
      ASSERT_NE(by_event, 0u);
      EXPECT_EQ(first_read(at, false, skip), by_event);
    }
}

}  // namespace
}  // namespace sim
