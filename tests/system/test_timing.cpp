// The cycle model against the ARM7TDMI's cycle table: short loops of
// tests/firmware/timing.S run on the board, and the cycles one more turn
// costs are checked against the table's sum for the memory the monitor set
// up (bank 6: one 16-bit SDRAM part, Trcd 2, CAS latency 2), with the cache
// off and on. Also the core as an ARM7TDMI: coprocessor instructions are
// undefined, the internal SRAM follows SYSCFG, a Thumb main starts in Thumb
// state.
#include <gtest/gtest.h>

#include <string>

#include "core/board.h"
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
constexpr unsigned kSfr = 2;

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
  };
  for (bool cache : {false, true}) {
    const Memory& m = cache ? kCache : kSdram;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.function) + " arg " + std::to_string(c.arg) + (cache ? ", cache on" : ", cache off"));
      TimingBoard t;
      if (cache) t.board.syscfg().write(0, 0x7, 4);  // 8 KB cache
      EXPECT_EQ(t.per_turn(c.function, c.arg), turn(m, c.body(m)));
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

// An SFR read costs the peripheral bus's time, not an SDRAM access
// (with --no-skip: the same read in a loop is a poll otherwise).
TEST(CycleModel, RegisterReadsCostTheirOwnTime) {
  TimingBoard t(/*skip=*/false);
  EXPECT_EQ(t.per_turn("loop_sfr", 0x01E0000C), turn(kSdram, kSdram.s + kSfr + 1));
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
// halts this program: it has no handler).
TEST(Arm7tdmi, InternalSramFollowsSyscfg) {
  struct Case {
    uint32_t syscfg, address;
    bool present;
  };
  const Case cases[] = {
      {0x1, 0x10000000, true}, {0x1, 0x10001FFC, true}, {0x1, 0x10002000, false},
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
