// Software that runs without the monitor and beyond plain memory: booting
// from the flash at reset, the accesses a board goes on after (empty banks,
// stores to the flash, the SDRAM before it is set up, the cache's tag and
// LRU memories), and the endless loops compilers make in handlers.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "board/board.h"
#include "core/log.h"
#include "test_firmwares.h"

namespace sim {
namespace {

int count_lines(const LogCapture& log, const std::string& what) {
  int n = 0;
  for (const std::string& l : log.lines) n += l.find(what) != std::string::npos;
  return n;
}

std::string line_with(const LogCapture& log, const std::string& what) {
  for (const std::string& l : log.lines)
    if (l.find(what) != std::string::npos) return l;
  return "";
}

// The example's own start-up code, as an ELF and as the raw image a flash
// programmer writes: the same boot, the same console.
TEST(FlashBoot, TheExampleBootsToItsPromptWithItsOwnClockMemoryAndStacks) {
  for (const std::string& image : {std::string(BIN_DIR) + "/boot-from-flash.bin", elf_path("boot-from-flash")}) {
    SCOPED_TRACE(image);
    LogCapture log;
    Board board;
    std::string error;
    ASSERT_TRUE(board.load_flash(image, &error)) << error;
    EXPECT_EQ(board.clock().mclk_hz(), 8000000u) << "MCLK is the crystal's until PLLCON is written";
    board.run_until(200 * kMillisecond);
    ASSERT_FALSE(board.halted()) << board.halt_report();
    EXPECT_EQ(board.console(), "boot-from-flash: PLLCON 229409, data 42, bss 0\r\nboot> ");
    EXPECT_EQ(board.clock().mclk_hz(), 64000000u);
    EXPECT_TRUE(board.memory_controller().sdram_set_up());
    board.run_until(2100 * kMillisecond);
    board.uart_input({'u', 'p', 't', 'i', 'm', 'e', '\r'});
    board.run_until(2200 * kMillisecond);
    EXPECT_NE(board.console().find("uptime 2 s\r\n"), std::string::npos) << board.console();
    EXPECT_EQ(board.resets(), 0) << "the program turned the watchdog off";
    EXPECT_TRUE(log.lines.empty()) << log.lines.front();
  }
}

struct Probe {
  LogCapture log;
  Board board;
  explicit Probe(BoardOptions options = {}, const std::string& image = "flash_probe") : board(options) {
    std::string error;
    EXPECT_TRUE(board.load_flash(elf_path(image), &error)) << error;
  }
};

TEST(FlashBoot, PowersOnAtTheResetVectorWithTheChipAtItsResetValues) {
  Probe p;
  ArmCore& core = p.board.core();
  EXPECT_EQ(core.pc(), 0u);
  EXPECT_EQ(core.cpsr() & 0xFF, 0xD3u) << "supervisor mode, ARM state, IRQ and FIQ disabled";
  EXPECT_EQ(p.board.watchdog().read(0, 4), 0x8021u) << "the watchdog runs";
  EXPECT_EQ(p.board.intc().mask(), 0x07FFFFFFu);
  EXPECT_EQ(p.board.syscfg().cache_mode(), 0u);
  EXPECT_EQ(p.board.memory_controller().read(0x1C, 4), 0x18008u) << "BANKCON6 as at reset";
  EXPECT_FALSE(p.board.memory_controller().sdram_set_up());
  EXPECT_EQ(p.board.ram().read32(chip::kVectorTable + 0x10), 0u) << "no monitor table";
  EXPECT_EQ(*p.board.core().rom(0x100, 4), 0x0D) << "the image is in the flash";
}

// With the cache on, the flash's code and data are cached: a line's first
// fetch or load fills it from the flash (four words at BANKCON0's access,
// two beats each on its 16-bit bus), later ones hit. The register trace's
// INTMSK reads stamp each loop turn; the first turn of each loop costs its
// misses' fills beyond the hits, the same in the oracle.
TEST(FlashBoot, TheCacheFillsItsLinesFromTheFlash) {
  std::vector<std::vector<uint64_t>> stamps;
  for (bool reference : {false, true}) {
    BoardOptions options;
    options.reference = reference;
    Probe p(options, "flash_cache");
    std::FILE* trace = std::tmpfile();
    p.board.set_trace(trace);
    p.board.run_until(kMillisecond);
    p.board.set_trace(nullptr);
    std::rewind(trace);
    std::vector<uint64_t> at;
    unsigned long long cycle;
    char kind;
    unsigned address, value, size;
    while (std::fscanf(trace, "%llu %c %x %x %u", &cycle, &kind, &address, &value, &size) == 5)
      if (kind == 'R' && address == 0x01E0000C) at.push_back(cycle);
    std::fclose(trace);
    ASSERT_EQ(at.size(), 9u);  // four turns of each loop, and the end
    const MemoryController& mc = p.board.memory_controller();
    const uint64_t fill = 4 * mc.rom_access_cycles(0) * (4 / mc.bus_width(0));
    EXPECT_EQ((at[1] - at[0]) - (at[2] - at[1]), 4 * (fill - 1)) << "the four lines of `lines`";
    EXPECT_EQ(at[2] - at[1], at[3] - at[2]) << "the code loop's turns after its first hit";
    EXPECT_EQ((at[5] - at[4]) - (at[6] - at[5]), fill - 1) << "the flash data's line";
    EXPECT_EQ(at[6] - at[5], at[7] - at[6]);
    stamps.push_back(at);
  }
  EXPECT_EQ(stamps[0], stamps[1]) << "the default mode and the oracle";
}

// The SDRAM before it is set up, a store to the flash, a read where nothing
// answers: each goes on as on the board; the first of each kind is said,
// with its pc. The undefined instruction goes to the program's own vector,
// whose `mov r0, r0; b .-4` is a loop no interrupt can leave.
TEST(FlashBoot, AccessesTheBoardGoesOnAfterAreSaidOnceAndTheProgramGoesOn) {
  Probe p;
  p.board.run_until(kSecond);
  ASSERT_TRUE(p.board.halted());
  EXPECT_EQ(p.board.halt_reason(), "stuck in a loop that no interrupt can leave, in the undefined-instruction handler");
  ArmCore& core = p.board.core();
  EXPECT_EQ(core.reg(2), 0x104u) << "the store's base was written back";
  EXPECT_EQ(core.reg(4), 0xCAFEF00Du) << "the flash kept its word";
  EXPECT_EQ(core.reg(6), 0u) << "nothing answered";
  EXPECT_EQ(core.reg(7) & 0xFF, 0xD3u);
  EXPECT_EQ(count_lines(p.log, "memctl: read of the SDRAM at 0x0C000000 at pc 0x00000030"), 1)
      << line_with(p.log, "memctl");
  EXPECT_EQ(count_lines(p.log, "memctl:"), 1) << "said once";
  EXPECT_EQ(count_lines(p.log, "bus: write to the flash at 0x00000100 at pc 0x00000040"), 1)
      << line_with(p.log, "bus:");
  EXPECT_EQ(count_lines(p.log, "bus:"), 1) << "said once";
}

TEST(FlashBoot, StrictBusHaltsAtTheStoreToTheFlash) {
  BoardOptions options;
  options.strict_bus = true;
  Probe p(options);
  p.board.run_until(kSecond);
  ASSERT_TRUE(p.board.halted());
  EXPECT_EQ(p.board.halt_reason(), "write to 0x00000100: the flash ignores a plain write (--strict-bus)");
  EXPECT_EQ(p.board.core().pc(), 0x40u);
  EXPECT_NE(p.board.halt_report().find("at pc 0x00000040"), std::string::npos) << p.board.halt_report();
}

// Under the monitor: the manual's cache flush (every tag and LRU word
// cleared, the cache off and on) says nothing; then an empty bank's read and
// write, three kinds of store to the flash, and a tag read back.
TEST(BusMisuse, TheCacheFlushIsSilentAndTheProgramGoesOnAfterEmptyBanksAndFlashStores) {
  LogCapture log;
  Board board;
  std::string error;
  ASSERT_TRUE(board.load(elf_path("bus_misuse"), &error)) << error;
  board.run_until(kSecond);
  ASSERT_TRUE(board.halted());
  EXPECT_EQ(board.halt_reason(), "main returned") << board.halt_report();
  EXPECT_EQ(board.console(), "flushed\nread 00000000 bases 00000104 00000202 00000304 flash E7F000F0\ntag 00000000\n");
  const std::string bus = line_with(log, "bus: ");
  EXPECT_NE(bus.find("read of 0x03000004 at pc 0x"), std::string::npos) << bus;
  EXPECT_NE(bus.find("(main+0x"), std::string::npos) << bus;
  EXPECT_NE(bus.find("bank 1"), std::string::npos) << bus;
  EXPECT_EQ(count_lines(log, "bus: "), 1) << "said once";
  EXPECT_EQ(count_lines(log, "cache: a read of the cache's tag or LRU memory at 0x10002000"), 1);
  EXPECT_EQ(log.lines.size(), 2u) << "the flush itself is silent";
}

TEST(BusMisuse, StrictBusHaltsAtTheFirstAccessWhereNothingAnswers) {
  LogCapture log;
  BoardOptions options;
  options.strict_bus = true;
  Board board(options);
  std::string error;
  ASSERT_TRUE(board.load(elf_path("bus_misuse"), &error)) << error;
  board.run_until(kSecond);
  ASSERT_TRUE(board.halted());
  EXPECT_EQ(board.halt_reason(), "read of 0x03000004: nothing answers there (bank 1; --strict-bus)");
  EXPECT_NE(board.halt_report().find("(main+0x"), std::string::npos) << board.halt_report();
  EXPECT_EQ(board.console(), "flushed\n") << "the cache flush is no misuse";
}

TEST(StuckInAHandler, ALoopOverInstructionsThatChangeNothingIsEndless) {
  LogCapture log;
  Board board;
  std::string error;
  ASSERT_TRUE(board.load(elf_path("nop_loop"), &error)) << error;
  board.run_until(60 * kSecond);
  ASSERT_TRUE(board.halted());
  EXPECT_EQ(board.halt_reason(), "stuck in a loop that no interrupt can leave, in an abort handler");
  EXPECT_LT(board.now(), kSecond);
}

}  // namespace
}  // namespace sim
