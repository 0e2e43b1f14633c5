// The cycle model against the ARM7TDMI's cycle table: short loops of
// tests/firmware/timing.S run on the board, and the cycles one more turn
// costs are checked against the table's sum for the memory the monitor set
// up (bank 6: one 16-bit SDRAM part, Trcd 2, CAS latency 2), with the cache
// off and on. Also the core as an ARM7TDMI: coprocessor instructions are
// undefined, the internal SRAM follows SYSCFG, a Thumb main starts in Thumb
// state.
#include <gtest/gtest.h>
#include <unicorn/unicorn.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "board/board.h"
#include "core/counted_loop.h"
#include "core/log.h"
#include "test_firmwares.h"

namespace sim {
namespace {

// One memory's cost per cycle type, in MCLK.
struct Memory {
  unsigned s, n;            // instruction fetch, sequential and not
  unsigned read_n, read_s;  // data word reads
  unsigned write_n, write_s;
};
// A word from the 16-bit SDRAM is two half-word beats; a non-sequential
// access first opens the row (Trcd 2) and waits the CAS latency (2), a
// write needs no CAS latency.
constexpr Memory kSdram{2, 2 + 2 + 1, 2 + 2 + 1, 2, 2 + 2, 2};
constexpr Memory kCache{1, 1, 1, 1, 1, 1};  // hits; writes go to the write buffer
// Without the write buffer a write goes through to the SDRAM.
constexpr Memory kWriteThrough{1, 1, 1, 1, kSdram.write_n, kSdram.write_s};
constexpr unsigned kSfr = 2;
constexpr unsigned kLineFill = kSdram.read_n + 3 * kSdram.read_s;  // four words, the first non-sequential

// SYSCFG: the cache off; 8 KB of cache with the write buffer, without it;
// 4 KB of cache with the write buffer (4 KB of internal SRAM at 0x10001000).
constexpr uint32_t kCacheOff = 0x1, kCacheOn = 0xF, kCacheNoBuffer = 0x7, kHalfCache = 0xB;
struct Mode {
  const char* name;
  uint32_t syscfg;
  const Memory& memory;
};
const Mode kModes[] = {{"cache off", kCacheOff, kSdram},
                       {"cache on", kCacheOn, kCache},
                       {"cache on, no write buffer", kCacheNoBuffer, kWriteThrough}};

// The cycle table (ARM7TDMI TRM): each loop turn is its body plus
// `subs` (1S) and a taken `bne` (2S+1N).
unsigned turn(const Memory& m, unsigned body) { return body + m.s + (2 * m.s + m.n); }

struct TimingBoard {
  LogCapture quiet;
  Board board;
  explicit TimingBoard(bool skip = true) : board(options(skip)) {
    std::string error;
    EXPECT_TRUE(board.load(elf_path("timing"), &error)) << error;
  }
  static BoardOptions options(bool skip) {
    BoardOptions o;
    o.skip_polling = skip;
    o.rtc_start = RtcTime{};  // not the host's clock: the same second phase every run
    return o;
  }
  uint64_t cycles_of(const std::string& function, uint32_t n, uint32_t arg = 0) {
    uint64_t before = board.cycles();
    uint32_t result = 0;
    std::string error;
    EXPECT_TRUE(board.call(function, {n, arg}, &result, kSecond, &error)) << error;
    return board.cycles() - before;
  }
  // What one more turn of the loop costs (the call's own cost cancels out).
  uint64_t per_turn(const std::string& function, uint32_t arg = 0) {
    cycles_of(function, 10, arg);  // the cache warms up
    uint64_t a = cycles_of(function, 100, arg), b = cycles_of(function, 200, arg);
    return (b - a) / 100;
  }
};

TEST(CycleModel, LoopsCostWhatTheTableSays) {
  struct Case {
    const char* function;
    uint32_t arg;
    unsigned (*body)(const Memory&);
  };
  const Case cases[] = {
      {"loop_subs", 0, [](const Memory& m) { return m.s; }},                       // nop: 1S
      {"loop_ldr", 0, [](const Memory& m) { return m.s + m.read_n + 1; }},         // LDR 1S+1N+1I
      {"loop_str", 0, [](const Memory& m) { return m.n + m.write_n; }},            // STR 2N
      {"loop_ldm", 0, [](const Memory& m) { return m.s + m.read_n + 3 * m.read_s + 1; }},  // LDM 4S+1N+1I
      {"loop_stm", 0, [](const Memory& m) { return m.n + m.write_n + 3 * m.write_s; }},    // STM 3S+2N
      {"loop_mul", 0x12, [](const Memory& m) { return m.s + 1; }},                 // MUL 1S+mI, m by Rs
      {"loop_mul", 0xFFFFFFFE, [](const Memory& m) { return m.s + 1; }},
      {"loop_mul", 0x1234, [](const Memory& m) { return m.s + 2; }},
      {"loop_mul", 0x123456, [](const Memory& m) { return m.s + 3; }},
      {"loop_mul", 0x12345678, [](const Memory& m) { return m.s + 4; }},
      {"loop_mul_late", 0x12, [](const Memory& m) { return m.s + m.s + 1; }},  // MOV r5, r1; MUL by r5
      {"loop_mul_late", 0x12345678, [](const Memory& m) { return m.s + m.s + 4; }},
      {"loop_mul_around", 0x12, [](const Memory& m) { return m.s + m.s + 1 + m.s; }},  // changed after it too
      {"loop_mul_around", 0x123456, [](const Memory& m) { return m.s + m.s + 3 + m.s; }},
      {"loop_mul10", 0x12, [](const Memory& m) { return 10 * (m.s + 1); }},
      {"loop_mul10", 0x123456, [](const Memory& m) { return 10 * (m.s + 3); }},
  };
  for (const Mode& mode : kModes) {
    const Memory& m = mode.memory;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.function) + " arg " + std::to_string(c.arg) + ", " + mode.name);
      TimingBoard t;
      t.board.syscfg().write(0, mode.syscfg, 4);
      EXPECT_EQ(t.per_turn(c.function, c.arg), turn(m, c.body(m)));
    }
  }
}

// A conditional instruction whose condition fails costs its fetch (1S),
// whatever it would cost when it runs. In the loops of cond_* and first_*
// (after the loop's count and before it: the flags at the block's end or
// its start tell) it runs at every turn but the last; in those of
// between_* (between two instructions that may set the flags: a hook
// settles it as it is about to run) and told_* (the same, but the first is
// a compare, or a result, whose register tells at the block's end) at the
// turns where the count is odd.
// Against the same loop with a nop, only its runs cost more.
TEST(CycleModel, AFailedConditionalInstructionCostsItsFetch) {
  using Ran = unsigned (*)(unsigned turns);
  const Ran all_but_last = [](unsigned turns) { return turns - 1; };
  const Ran odd = [](unsigned turns) { return (turns + 1) / 2; };
  struct Case {
    const char* function;
    unsigned (*runs)(const Memory&);  // its cost when it runs
    const char* nop;                  // the same loop with a nop
    Ran ran;
  };
  const Case cases[] = {
      {"cond_ldr", [](const Memory& m) { return m.s + m.read_n + 1; }, "cond_nop", all_but_last},  // 1S+1N+1I
      {"cond_str", [](const Memory& m) { return m.n + m.write_n; }, "cond_nop", all_but_last},     // 2N
      {"cond_ldm", [](const Memory& m) { return m.s + m.read_n + 3 * m.read_s + 1; }, "cond_nop", all_but_last},
      {"cond_stm", [](const Memory& m) { return m.n + m.write_n + 3 * m.write_s; }, "cond_nop", all_but_last},
      {"cond_shift", [](const Memory& m) { return m.s + 1; }, "cond_nop", all_but_last},  // 1S+1I
      {"first_ldr", [](const Memory& m) { return m.s + m.read_n + 1; }, "first_nop", all_but_last},
      {"first_ldm", [](const Memory& m) { return m.s + m.read_n + 3 * m.read_s + 1; }, "first_nop", all_but_last},
      {"first_str", [](const Memory& m) { return m.n + m.write_n; }, "first_nop", all_but_last},
      {"between_ldr", [](const Memory& m) { return m.s + m.read_n + 1; }, "between_nop", odd},
      {"between_stm", [](const Memory& m) { return m.n + m.write_n + 3 * m.write_s; }, "between_nop", odd},
      {"between_mul", [](const Memory& m) { return m.s + 4; }, "between_nop", odd},  // 1S+mI, m = 4
      {"told_ldr", [](const Memory& m) { return m.s + m.read_n + 1; }, "told_nop", odd},
      {"told_ldm", [](const Memory& m) { return m.s + m.read_n + 2 * m.read_s + 1; }, "told_nop", odd},
      {"told_result", [](const Memory& m) { return m.s + m.read_n + 1; }, "told_nop", odd},
      {"told_carry", [](const Memory& m) { return m.s + m.read_n + 1; }, "told_nop", odd},
  };
  for (const Mode& mode : kModes) {
    const Memory& m = mode.memory;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.function) + ", " + mode.name);
      TimingBoard t;
      t.board.syscfg().write(0, mode.syscfg, 4);
      for (uint32_t turns : {1u, 4u}) {
        t.cycles_of(c.nop, turns);  // the cache warms up
        t.cycles_of(c.function, turns);
        uint64_t nop = t.cycles_of(c.nop, turns), it = t.cycles_of(c.function, turns);
        EXPECT_EQ(it - nop, c.ran(turns) * (c.runs(m) - m.s)) << turns << " turns";
      }
    }
  }
}

// A loop outside the cache (NCACHBE0) costs its SDRAM fetches with the
// cache on; in half-cache mode a loop still fits.
TEST(CycleModel, NonCacheableAreaAndHalfCache) {
  {
    TimingBoard t;
    t.board.syscfg().write(0, 0x7, 4);
    uint32_t page = *t.board.symbol_address("loop_subs") >> 12;
    t.board.syscfg().write(4, (page + 1) << 16 | page, 4);
    EXPECT_EQ(t.per_turn("loop_subs"), turn(kSdram, kSdram.s));
  }
  {
    TimingBoard t;
    t.board.syscfg().write(0, 0x3, 4);
    EXPECT_EQ(t.per_turn("loop_subs"), turn(kCache, kCache.s));
  }
}

// Data in each memory: a walk of loads or stores, each to a line no turn
// touched before (with the cache on: a miss), costs per turn what the
// table gives with that memory's own cost for the access. The loop's code
// is in the cache (or the SDRAM with the cache off).
TEST(CycleModel, DataCostsWhatItsMemoryTakes) {
  constexpr uint32_t kSdramData = 0x0C500000, kSram = 0x10000000, kUpperSram = 0x10001000;
  struct Case {
    const char* what;
    uint32_t syscfg;
    bool noncacheable;  // NCACHBE0 over the data
    const char* function;
    uint32_t data;
    unsigned body;  // the access's instruction
  };
  const Memory& s = kSdram;
  const Case cases[] = {
      {"SDRAM load, cache off", kCacheOff, false, "walk_ldr", kSdramData, s.s + s.read_n + 1},
      {"SDRAM store, cache off", kCacheOff, false, "walk_str", kSdramData, s.n + s.write_n},
      {"SRAM load, cache off", kCacheOff, false, "walk_ldr", kSram, s.s + 1 + 1},
      {"SRAM store, cache off", kCacheOff, false, "walk_str", kSram, s.n + 1},
      {"load missing the cache", kCacheOn, false, "walk_ldr", kSdramData, 1 + kLineFill + 1},
      {"store to the write buffer", kCacheOn, false, "walk_str", kSdramData, 1 + 1},
      {"store without the write buffer", kCacheNoBuffer, false, "walk_str", kSdramData, 1 + s.write_n},
      {"NCACHBE load", kCacheOn, true, "walk_ldr", kSdramData, 1 + s.read_n + 1},
      {"NCACHBE store", kCacheOn, true, "walk_str", kSdramData, 1 + s.write_n},
      {"SRAM load, half cache", kHalfCache, false, "walk_ldr", kUpperSram, 1 + 1 + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TimingBoard t;
    t.board.syscfg().write(0, c.syscfg, 4);
    if (c.noncacheable) {
      const uint32_t page = c.data >> 12;
      t.board.syscfg().write(4, (page + 0x40) << 16 | page, 4);
    }
    // The first store into the internal SRAM (before a load there: data is
    // written before it is read) is what has its accesses watched.
    // (Each walk has lines of its own, all in the upper SRAM's 4 KB.)
    if (c.data >= kSram) t.cycles_of("walk_str", 1, c.data + 0xF00);
    t.cycles_of(c.function, 10, c.data + 0xC00);  // the code is in the cache
    const uint64_t a = t.cycles_of(c.function, 50, c.data), b = t.cycles_of(c.function, 100, c.data + 0x400);
    EXPECT_EQ((b - a) / 50, turn(c.syscfg == kCacheOff ? kSdram : kCache, c.body));
  }
}

// With the cache on, the core itself serves the SDRAM's loads while its
// hook is the one there; a debugger's watch over the SDRAM, set or taken
// back at any time, sees every load again (the library's path), and the
// clock is the same either way.
TEST(CycleModel, AWatchOverTheSdramSeesItsLoadsWithTheCacheOn) {
  constexpr uint32_t kData = 0x0C500000;
  struct Case {
    const char* what;
    bool watched, taken_back;
    unsigned loads_seen;  // in the measured call of 50 turns
  };
  const Case cases[] = {
      {"no watch", false, false, 0}, {"a watch", true, false, 50}, {"a watch taken back", true, true, 0}};
  uint64_t cycles[3] = {};
  for (size_t i = 0; i < 3; ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.what);
    TimingBoard t;
    t.board.syscfg().write(0, kCacheOn, 4);
    unsigned seen = 0;
    bool counting = false;
    int id = -1;
    if (c.watched)
      id = t.board.core().watch_accesses(kData, kData + 0x1000, [&](uint32_t, unsigned, bool write) {
        if (counting && !write) ++seen;
      });
    t.cycles_of("walk_ldr", 10, kData + 0xC00);
    if (c.taken_back) t.board.core().unwatch_accesses(id);
    counting = true;
    cycles[i] = t.cycles_of("walk_ldr", 50, kData);
    counting = false;
    EXPECT_EQ(seen, c.loads_seen);
  }
  EXPECT_EQ(cycles[1], cycles[0]);
  EXPECT_EQ(cycles[2], cycles[0]);
}

// An SFR read costs the peripheral bus's time, not an SDRAM access
// (with --no-skip: the same read in a loop is a poll otherwise).
TEST(CycleModel, RegisterReadsCostTheirOwnTime) {
  TimingBoard t(/*skip=*/false);
  EXPECT_EQ(t.per_turn("loop_sfr", 0x01E0000C), turn(kSdram, kSdram.s + kSfr + 1));
}

// A device in an external bank read with the cache on, outside NCACHBE's
// areas: on the chip the cache would answer later reads; board-sim, whose
// cache keeps no data, reads the device, and says so once.
TEST(CycleModel, ADevicesReadThroughTheCacheIsSaidOnce) {
  constexpr uint32_t kKeypadRow = 0x060000FD;
  struct Case {
    const char* what;
    uint32_t syscfg;
    bool noncacheable;  // NCACHBE0 over the keypad's bank
    int said;
  };
  const Case cases[] = {{"cache off", kCacheOff, false, 0},
                        {"cache on", kCacheNoBuffer, false, 1},
                        {"cache on, NCACHBE over the bank", kCacheNoBuffer, true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TimingBoard t(/*skip=*/false);
    t.board.syscfg().write(0, c.syscfg, 4);
    if (c.noncacheable) t.board.syscfg().write(4, (0x08000000u >> 12) << 16 | kKeypadRow >> 12, 4);
    LogCapture log;
    t.cycles_of("loop_sfr_byte", 20, kKeypadRow);
    int said = 0;
    for (const std::string& line : log.lines) said += line.find("fills a cache line from the device") != std::string::npos;
    EXPECT_EQ(said, c.said);
  }
}

// Thumb code from the 16-bit SDRAM: one beat per fetch.
TEST(CycleModel, ThumbLoop) {
  TimingBoard t;
  const Memory thumb{1, 2 + 2, 0, 0, 0, 0};
  EXPECT_EQ(t.per_turn("loop_thumb"), turn(thumb, 0));
}

TEST(CycleModel, FixedCostPerInstructionWithCpi) {
  LogCapture quiet;
  BoardOptions o;
  o.cycles_per_instruction = 3;
  Board board(o);
  std::string error;
  ASSERT_TRUE(board.load(elf_path("timing"), &error)) << error;
  auto cycles = [&](uint32_t n) {
    uint64_t before = board.cycles();
    EXPECT_TRUE(board.call("loop_ldr", {n}, nullptr, kSecond, &error)) << error;
    return board.cycles() - before;
  };
  uint64_t a = cycles(100), b = cycles(200);
  EXPECT_EQ((b - a) / 100, 3u * 3u);
}

// What the model computed stays however much code a program runs: a
// kernel's hot code is hundreds of kilobytes, and every block of any 256 KB
// of code keeps its own slot (here 128 KB of ARM blocks, then 128 KB of
// Thumb ones). And a program that keeps meeting blocks anew (more code
// than slots, code that rewrites itself) never runs out of room for their
// plans: the model starts again from nothing, as when code is flushed.
TEST(CycleModel, KeepsTheBlocksOfALargeProgramAndTheirPlans) {
  const uint8_t arm[] = {0x00, 0x00, 0x91, 0xE5, 0xFE, 0xFF, 0xFF, 0xEA};  // ldr r0, [r1]; b .
  const uint8_t thumb[] = {0x08, 0x68, 0xFE, 0xE7};                        // ldr r0, [r1]; b .
  constexpr uint32_t kBase = 0x0C100000, kHalf = 128 << 10;
  CycleModel model;
  for (uint32_t at = kBase; at < kBase + kHalf; at += sizeof arm) model.insert(at, sizeof arm, arm, false);
  for (uint32_t at = kBase + kHalf; at < kBase + 2 * kHalf; at += sizeof thumb)
    model.insert(at, sizeof thumb, thumb, true);
  unsigned lost = 0;
  for (uint32_t at = kBase; at < kBase + kHalf; at += sizeof arm) lost += model.find(at, sizeof arm, arm) == nullptr;
  for (uint32_t at = kBase + kHalf; at < kBase + 2 * kHalf; at += sizeof thumb)
    lost += model.find(at, sizeof thumb, thumb) == nullptr;
  EXPECT_EQ(lost, 0u);

  // Room for about 64K one-access plans: blocks met again and again (in
  // 1 MB of code) keep a plan each; the last met are found.
  CycleModel small(0x20000);
  constexpr uint32_t kBlocks = (1 << 20) / sizeof arm;
  for (uint32_t round = 0; round < 3; ++round) {
    for (uint32_t i = 0; i < kBlocks; ++i) {
      CycleModel::Block& b = small.insert(kBase + i * sizeof arm, sizeof arm, arm, false);
      ASSERT_TRUE(b.plan_ok && b.plan_size == 1) << "round " << round << ", block " << i;
      ASSERT_EQ(small.planned_access(b, 0), 0u);
    }
  }
  EXPECT_NE(small.find(kBase + (kBlocks - 1) * sizeof arm, sizeof arm, arm), nullptr);
  EXPECT_EQ(small.find(kBase, sizeof arm, arm), nullptr);  // (its slot's block is another now)
}

// Hooks for the instructions settled as they are about to run are few (a
// hooked instruction costs a walk of every hook): past their limit, a
// block runs up to a group left without one, and those that have not run
// for a while give way to the groups run now. Neither changes the time: a
// program's phases, each with groups of its own, cost the same with room
// for every group and with room for two, given way after any pause.
TEST(CycleModel, HooksGivingWayLeaveTheTime) {
  struct Result {
    uint64_t cycles;
    uint32_t value;
    size_t hooks;
  };
  auto run = [](size_t most, uint64_t cold) {
    TimingBoard t;
    t.board.core().set_exact_hook_limits(most, cold);
    uint64_t before = t.board.cycles();
    uint32_t value = 0;
    std::string error;
    EXPECT_TRUE(t.board.call("hooked_phases", {50}, &value, kSecond, &error)) << error;
    return Result{t.board.cycles() - before, value, t.board.core().exact_hooks()};
  };
  const Result roomy = run(512, uint64_t{1} << 40), tight = run(2, 200), cold = run(8, 100);
  EXPECT_EQ(roomy.hooks, 16u);
  EXPECT_LE(tight.hooks, 2u);
  EXPECT_LE(cold.hooks, 8u);
  for (const Result& r : {tight, cold}) {
    EXPECT_EQ(r.cycles, roomy.cycles);
    EXPECT_EQ(r.value, roomy.value);
  }
}

// A call run with every turn emulated ([0]) and with waits skipped ([1]);
// with `to_buffer` its first argument is the address of `code_buffer`.
struct Run {
  uint32_t result = 0;
  uint64_t cycles = 0, instructions = 0;
};
std::array<Run, 2> both_ways(const char* function, std::vector<uint32_t> args, bool to_buffer = false,
                             uint32_t syscfg = kCacheOff) {
  std::array<Run, 2> runs;
  for (bool skip : {false, true}) {
    TimingBoard t(skip);
    t.board.syscfg().write(0, syscfg, 4);
    if (to_buffer) args[0] = *t.board.symbol_address("code_buffer");
    Run& r = runs[skip];
    uint64_t c0 = t.board.cycles(), i0 = t.board.core().instructions();
    std::string error;
    EXPECT_TRUE(t.board.call(function, args, &r.result, 10 * kSecond, &error)) << error;
    r.cycles = t.board.cycles() - c0;
    r.instructions = t.board.core().instructions() - i0;
  }
  return runs;
}

// A delay loop's turns pass at once where they can be counted, and the
// program cannot tell: the same result, instructions and cycles as running
// every turn, a time slice (the budget up to the next event) ending in the
// middle included.
TEST(CountedLoops, PassAtOnceWithTheCyclesOfEveryTurn) {
  struct Case {
    const char* function;
    uint32_t n, start;
  };
  const Case cases[] = {
      {"delay_volatile_down", 0, 0},      {"delay_volatile_down", 1, 0},       {"delay_volatile_down", 2, 0},
      {"delay_volatile_down", 3, 0},      {"delay_volatile_down", 250000, 0},  {"delay_volatile_up", 100000, 5},
      {"delay_volatile_up", 5, 5},        {"delay_volatile_up", 0x80000002, 0x7FFFFFF0},
      {"delay_literal_up", 0, 0},         {"delay_literal_up", 0, 99999},      {"delay_literal_up", 0, 200000},
      {"delay_unsigned_up", 0xFFFFFFFF, 0xFFFFF000}, {"delay_unsigned_up", 7, 9},
      {"delay_subs", 123457, 0},          {"delay_down_to_zero", 40000, 0},    {"delay_down_to_zero", 0, 0},
      {"delay_with_work", 30000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.function) + "(" + std::to_string(c.n) + ", " + std::to_string(c.start) + ")");
    // The watchdog's and the tick's events end slices along the way.
    auto runs = both_ways(c.function, {c.n, c.start});
    EXPECT_EQ(runs[0].result, runs[1].result);
    EXPECT_EQ(runs[0].cycles, runs[1].cycles);
    EXPECT_EQ(runs[0].instructions, runs[1].instructions);
  }
  // With the cache on, a turn's load hits and its store costs the write
  // buffer's clock, or without the buffer the SDRAM's write: the turns that
  // pass cost what the turn before them did.
  for (uint32_t syscfg : {kCacheOn, kCacheNoBuffer}) {
    SCOPED_TRACE("SYSCFG " + std::to_string(syscfg));
    auto runs = both_ways("delay_volatile_down", {250000, 0}, false, syscfg);
    EXPECT_EQ(runs[0].cycles, runs[1].cycles);
    EXPECT_EQ(runs[0].instructions, runs[1].instructions);
  }
}

// A loop that reads the same register the same way is skipped only if its
// turns leave the registers and memory alone, or only step a counter in a
// register that its code compares with a bound (a time-out): then its turns
// pass up to the one its time-out or the register's change ends. One that
// counts its turns in memory runs them all; one that stores the same byte
// at every turn waits all the same. Either way nothing differs from running
// every turn: the result (the turns left), the cycles.
TEST(PollSkip, OnlyWaitsAreSkippedAndNothingDiffers) {
  struct Case {
    const char* function;
    uint32_t arg;
    bool skipped;
  };
  const Case cases[] = {
      {"poll_with_timeout", 200000, true},   // times out
      {"poll_with_timeout", 1, false},       {"poll_with_timeout", 5, false},
      {"poll_second_down", 300000, true},    // times out before the second
      {"poll_second_down", 90000000, true},  // the second comes first
      {"poll_second_up", 300000, true},      {"poll_second_up", 90000000, true},
      {"poll_second_up", 0, false},          // counts once, past its bound at once
      {"wait_second_storing", 0, true},
      {"wait_second_counting", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.function) + "(" + std::to_string(c.arg) + ")");
    auto runs = both_ways(c.function, {c.arg}, std::string(c.function).rfind("wait_second", 0) == 0);
    EXPECT_EQ(runs[0].result, runs[1].result);
    EXPECT_EQ(runs[0].cycles, runs[1].cycles);
    if (c.skipped) {
      EXPECT_LT(runs[1].instructions * 10, runs[0].instructions);
    } else {
      EXPECT_EQ(runs[1].instructions, runs[0].instructions);
    }
  }
}

// A wait on a timer's count passes at once to the turn that leaves, which
// reads what it would have read, at the cycle it would have.
TEST(RegisterWaits, PassAtOnceToTheTurnThatLeaves) {
  for (uint32_t mode : {0u, 1u, 2u}) {
    for (uint32_t count : {5u, 1000u, 40000u, 65535u}) {
      SCOPED_TRACE("mode " + std::to_string(mode) + ", TCNTB0 " + std::to_string(count));
      auto runs = both_ways("wait_timer", {count, mode});
      EXPECT_EQ(runs[0].result, runs[1].result);
      EXPECT_EQ(runs[0].cycles, runs[1].cycles);
      EXPECT_EQ(runs[0].instructions, runs[1].instructions);
    }
  }
}

// ARM instruction words as the bytes of code.
std::vector<uint8_t> bytes(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> b;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(w >> (8 * i)));
  return b;
}

// Which blocks are counting loops, and how many turns they still have.
TEST(CountedLoops, Matcher) {
  struct Case {
    const char* what;
    std::vector<uint8_t> code;
    bool valid;
    uint32_t counter, limit;
    uint64_t turns;
  };
  const Case cases[] = {
      // ldr r3,[sp,#4]; sub r3,#1; str r3,[sp,#4]; ldr r3,[sp,#4]; cmp r3,#0; bne
      {"volatile count down", bytes({0xE59D3004, 0xE2433001, 0xE58D3004, 0xE59D3004, 0xE3530000, 0x1AFFFFF9}), true, 10, 0, 10},
      {"subs/bne", bytes({0xE2500001, 0x1AFFFFFD}), true, 3, 0, 3},
      {"subs/bne from 0 wraps", bytes({0xE2500001, 0x1AFFFFFD}), true, 0, 0, 1ull << 32},
      // add r3,#1; cmp r3,r0; blt
      {"count up to a register", bytes({0xE2833001, 0xE1530000, 0xBAFFFFFC}), true, 5, 8, 3},
      {"count up, already past", bytes({0xE2833001, 0xE1530000, 0xBAFFFFFC}), true, 9, 8, 1},
      // add r3,#1; cmp r3,r0; bgt: moves away from its bound
      {"away from the bound", bytes({0xE2833001, 0xE1530000, 0xCAFFFFFC}), true, 9, 8, 0},
      // add r3,#1; str r3,[sp]; ... a store of a register that is not the counter word
      {"a store elsewhere", bytes({0xE2833001, 0xE58D3000, 0xE1530000, 0xBAFFFFFB}), false, 0, 0, 0},
      // add r3,#1; add r0,#1; cmp r3,r0; blt: the bound moves too
      {"the bound moves", bytes({0xE2833001, 0xE2800001, 0xE1530000, 0xBAFFFFFB}), false, 0, 0, 0},
      // add r3,#2; cmp r3,r0; blt: a step of two
      {"a step of two", bytes({0xE2833002, 0xE1530000, 0xBAFFFFFC}), false, 0, 0, 0},
      // subs r0,#1; bgt: SUBS's C and V are not a comparison's
      {"subs/bgt", bytes({0xE2500001, 0xCAFFFFFD}), false, 0, 0, 0},
      // add r3,#1; cmp r3,r0; blt to somewhere else
      {"a branch elsewhere", bytes({0xE2833001, 0xE1530000, 0xBAFFFFF0}), false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CountedLoop loop = match_counted_loop(c.code.data(), 0x0C001000, static_cast<unsigned>(c.code.size() / 4));
    ASSERT_EQ(loop.valid, c.valid);
    if (c.valid) {
      EXPECT_EQ(counted_loop_turns(loop, c.counter, c.limit), c.turns);
    }
  }
}

// Which polls count their turns in a way that tells how many may pass. A
// path is the blocks of one turn, from the one after the poll's read.
TEST(CountingPolls, Matcher) {
  // The phone's IIC wait: subs r3,#1; beq out / ldr r2,[r1]; tst r2,#16; beq back.
  const auto phone_count = bytes({0xE2533001, 0x0A000009}), phone_read = bytes({0xE5912000, 0xE3120010, 0x0AFFFFFA});
  // add r12,#1; cmp r12,r0; blo back / ldrb r2,[r1]; cmp r2,r3; bne out
  const auto up_count = bytes({0xE28CC001, 0xE15C0000, 0x3AFFFFFA}), up_read = bytes({0xE5D12000, 0xE1520003, 0x1A000003});
  struct Case {
    const char* what;
    std::vector<PathBlock> path;
    unsigned reg;
    int step;
    bool valid;
    uint32_t counter;
    uint64_t turns;  // that may pass from `counter` (r0 = 100 for limits in r0)
  };
  auto block = [](const std::vector<uint8_t>& code, uint32_t address, bool taken) {
    return PathBlock{code.data(), address, static_cast<unsigned>(code.size() / 4), taken};
  };
  const auto store = bytes({0xE2533001, 0xE5812004, 0x0A000008});     // subs; str r2,[r1,#4]; beq
  const auto twice = bytes({0xE2533001, 0xE2433001, 0x0A000008});     // subs r3; sub r3; beq
  const auto cond_mov = bytes({0xE2533001, 0x03A02001, 0x0A000008});  // subs; moveq r2,#1; beq
  const auto eq_back = bytes({0xE2533001, 0x0AFFFFFC});               // subs; beq back (continues while 0)
  // The read and its SUBS in one block, the closing BNE alone (the path
  // starts with it, on the flags the turn before left):
  // bne back / mov r9,#0x1E00000; ldr r0,[r9,#12]; subs r10,r10,#1
  const auto closing = bytes({0x1AFFFFFA}), read_subs = bytes({0xE3A0961E, 0xE599000C, 0xE25AA001});
  // ... with a TSTLT on those flags before the SUBS
  const auto read_tst = bytes({0xE3A0961E, 0xE599000C, 0xB3110A86, 0xE25AA001});
  const Case cases[] = {
      {"the phone's IIC wait", {block(phone_count, 0x1000, false), block(phone_read, 0x1008, true)}, 3, -1, true, 117, 116},
      {"one turn left", {block(phone_count, 0x1000, false), block(phone_read, 0x1008, true)}, 3, -1, true, 1, 0},
      {"counting up to r0", {block(up_count, 0x2000, true), block(up_read, 0x200C, false)}, 12, 1, true, 40, 59},
      {"a store in the turn", {block(store, 0x1000, false), block(phone_read, 0x100C, true)}, 3, -1, false, 0, 0},
      {"the counter stepped twice", {block(twice, 0x1000, false), block(phone_read, 0x100C, true)}, 3, -1, false, 0, 0},
      {"a conditional move on its flags", {block(cond_mov, 0x1000, false), block(phone_read, 0x100C, true)}, 3, -1, false, 0, 0},
      {"SUBS with BEQ back", {block(eq_back, 0x1000, true), block(phone_read, 0x1008, true)}, 3, -1, false, 0, 0},
      // 17 at the BNE: it leaves when it starts with 0, turn 18; the turn
      // before that one runs too (the passed ones leave the flags alone)
      {"the closing branch first", {block(closing, 0x100C, true), block(read_subs, 0x1000, false)}, 10, -1, true, 17, 16},
      {"the closing branch first, two left", {block(closing, 0x100C, true), block(read_subs, 0x1000, false)}, 10, -1, true, 1, 0},
      {"a conditional test on the flags it starts with", {block(closing, 0x100C, true), block(read_tst, 0x1000, false)},
       10, -1, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CountingPoll poll = match_counting_poll(c.path, c.reg, c.step);
    ASSERT_EQ(poll.valid, c.valid);
    if (!c.valid) continue;
    uint32_t regs[16] = {};
    regs[0] = 100;
    EXPECT_EQ(counting_poll_turns(poll, c.counter, regs), c.turns);
  }
}

// The store path's region cache follows every change of the mappings: a
// store after an unmap and a map of other memory at the same address lands
// in the new memory, and an engine closed and opened again starts afresh.
TEST(Arm7tdmi, StoresFollowTheMappings) {
  const uint32_t code[] = {0xE5801000, 0xEAFFFFFE};  // str r1, [r0]; b .
  std::vector<uint8_t> first(0x1000, 0), second(0x1000, 0), program(0x1000, 0);
  std::memcpy(program.data(), code, sizeof code);
  for (int engine = 0; engine < 2; ++engine) {
    uc_engine* uc = nullptr;
    ASSERT_EQ(uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc), UC_ERR_OK);
    ASSERT_EQ(uc_mem_map_ptr(uc, 0x10000, program.size(), UC_PROT_ALL, program.data()), UC_ERR_OK);
    for (std::vector<uint8_t>* memory : {&first, &second}) {
      SCOPED_TRACE(memory == &first ? "first memory" : "second memory");
      ASSERT_EQ(uc_mem_map_ptr(uc, 0x20000, memory->size(), UC_PROT_ALL, memory->data()), UC_ERR_OK);
      uint32_t address = 0x20010, value = 0x1234 + engine * 0x10 + (memory == &second);
      uc_reg_write(uc, UC_ARM_REG_R0, &address);
      uc_reg_write(uc, UC_ARM_REG_R1, &value);
      ASSERT_EQ(uc_emu_start(uc, 0x10000, 0x10004, 0, 0), UC_ERR_OK);
      uint32_t stored = 0;
      std::memcpy(&stored, memory->data() + 0x10, 4);
      EXPECT_EQ(stored, value);
      ASSERT_EQ(uc_mem_unmap(uc, 0x20000, memory->size()), UC_ERR_OK);
    }
    uc_close(uc);
  }
}

// The program writes code and runs it: the new code runs, each time; in
// the LCD's frame buffer too, whose stores take Unicorn's fast path (a
// page that came to hold code no longer does); and with the cache on,
// where the SDRAM's stores take the core's own path (a page that holds
// code, its block run again and again).
TEST(Arm7tdmi, CodeTheProgramWritesRuns) {
  struct Case {
    const char* what;
    bool in_frame_buffer, cache_on;
  };
  for (const Case& c : {Case{"in memory", false, false}, Case{"in the frame buffer", true, false},
                        Case{"in memory, the cache on", false, true}}) {
    SCOPED_TRACE(c.what);
    const bool in_frame_buffer = c.in_frame_buffer;
    TimingBoard t;
    if (c.cache_on) t.board.syscfg().write(0, kCacheOn, 4);
    // (the frame buffer where no code was before)
    const uint32_t where = in_frame_buffer ? 0x0C500000 : *t.board.symbol_address("code_buffer");
    if (in_frame_buffer) {
      LcdController& lcd = t.board.lcd();
      lcd.write(LcdController::LCDSADDR1, (where >> 22) << 21 | (where >> 1 & 0x1FFFFF), 4);
      lcd.write(LcdController::LCDSADDR3, 80, 4);  // 160-byte lines
      lcd.write(LcdController::LCDCON2, 239, 4);   // 240 of them
      ASSERT_TRUE(t.board.call("store_load", {where, 0}, nullptr, kSecond, nullptr));  // the page is fast
    }
    for (uint32_t value : {1u, 2u, 3u}) {
      uint32_t result = 0;
      std::string error;
      ASSERT_TRUE(t.board.call("patch_and_call", {where, 0xE3A00000 | value}, &result, kSecond, &error)) << error;
      EXPECT_EQ(result, value);  // mov r0, #value
    }
  }
}

// An unaligned store is said once for its instruction; an unaligned load
// too with --check-alignment. With the cache on, the SDRAM's stores take
// the core's own path, and the library's split of an unaligned one its own.
TEST(Arm7tdmi, UnalignedAccessesAreSaidOncePerInstruction) {
  for (bool cache_on : {false, true}) {
    for (bool check_loads : {false, true}) {
      SCOPED_TRACE(std::string(check_loads ? "loads checked" : "stores only") + (cache_on ? ", the cache on" : ""));
      LogCapture log;
      BoardOptions o;
      o.check_alignment = check_loads;
      Board board(o);
      std::string error;
      ASSERT_TRUE(board.load(elf_path("timing"), &error)) << error;
      if (cache_on) board.syscfg().write(0, kCacheOn, 4);
      uint32_t buffer = *board.symbol_address("code_buffer"), store = *board.symbol_address("store_load");
      for (uint32_t offset : {0u, 1u, 2u, 1u})
        ASSERT_TRUE(board.call("store_load", {buffer + offset, 0x11223344}, nullptr, kSecond, &error)) << error;
      int stores = 0, loads = 0;
      for (const std::string& line : log.lines) {
        if (line.find("unaligned word store at pc " + hex32(store) + " to " + hex32(buffer + 1)) != std::string::npos)
          ++stores;
        if (line.find("unaligned word load at pc " + hex32(store + 4) + " from " + hex32(buffer + 1)) !=
            std::string::npos)
          ++loads;
      }
      EXPECT_EQ(stores, 1);
      EXPECT_EQ(loads, check_loads ? 1 : 0);
      EXPECT_EQ(log.lines.size(), static_cast<size_t>(stores + loads)) << log.lines.back();
    }
  }
}

// Every coprocessor instruction is undefined on the ARM7TDMI: the
// undefined-instruction handler runs (and returns 0xBAD here).
TEST(Arm7tdmi, CoprocessorInstructionsAreUndefined) {
  for (const char* function : {"read_cp15", "write_cp15", "cdp_p14", "ldc_p3"}) {
    SCOPED_TRACE(function);
    TimingBoard t;
    t.board.ram().write32(0x0C7FFF04, *t.board.symbol_address("und_handler"));
    uint32_t result = 0;
    std::string error;
    ASSERT_TRUE(t.board.call(function, {}, &result, kSecond, &error)) << error;
    EXPECT_EQ(result, 0xBADu);
    // Again, now that the block is known.
    result = 0;
    ASSERT_TRUE(t.board.call(function, {}, &result, kSecond, &error)) << error;
    EXPECT_EQ(result, 0xBADu);
  }
}

// The internal SRAM: 8 KB with the cache off, the upper 4 KB in half-cache
// mode, none with the cache fully on (an access is a data abort, which
// halts this program: it has no handler). The cache's tag memory follows it
// at 0x10002000 in every mode.
TEST(Arm7tdmi, InternalSramFollowsSyscfg) {
  struct Case {
    uint32_t syscfg, address;
    bool present;
  };
  const Case cases[] = {
      {0x1, 0x10000000, true}, {0x1, 0x10001FFC, true}, {0x1, 0x10002000, true}, {0x7, 0x10002000, true},
      {0x3, 0x10000FFC, false}, {0x3, 0x10001000, true}, {0x3, 0x10001FFC, true},
      {0x7, 0x10000000, false}, {0x7, 0x10001000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("SYSCFG " + std::to_string(c.syscfg) + " at " + std::to_string(c.address));
    TimingBoard t;
    t.board.syscfg().write(0, c.syscfg, 4);
    uint32_t result = 0;
    std::string error;
    bool ok = t.board.call("store_load", {c.address, 0x5A5A1234}, &result, kSecond, &error);
    EXPECT_EQ(ok, c.present) << error;
    if (c.present) {
      EXPECT_EQ(result, 0x5A5A1234u);
    } else {
      EXPECT_NE(error.find("data abort"), std::string::npos) << error;
    }
  }
}

TEST(Arm7tdmi, ThumbMainStartsInThumbState) {
  LogCapture quiet;
  Board board;
  std::string error;
  ASSERT_TRUE(board.load(elf_path("thumb_main"), &error)) << error;
  board.run_until(kSecond);
  EXPECT_EQ(board.halt_reason(), "main returned");
  EXPECT_EQ(board.ram().read32(*board.symbol_address("marker")), 42u);
}

}  // namespace
}  // namespace sim
