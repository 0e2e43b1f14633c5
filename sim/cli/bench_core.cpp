// bench-core: emulated instructions per second of board-sim against bare
// Unicorn on the same firmware loop, side by side; then, given the phone,
// virtual seconds per wall second of its scenarios with the default timing,
// and the cost of a few of its functions in the cycle model.
//
// The firmware (tests/firmware/bench-stores.S) runs a fixed, store-heavy loop
// and then spins at `bench_end`. Every run executes exactly the same
// instructions: the board counts them; bare Unicorn runs with no hooks at
// all, from `main` until `bench_end`, with the SFR space as plain memory.
// The overhead is the board's against bare Unicorn with the same store path
// (core/unicorn_stores.h); stock Unicorn, the library's own store path, is
// shown beside it.
//
// Given tests/firmware/bench-inflate.c (--inflate), a workload with the
// cache on: a boot loader's CRC-32 and inflate of about 1 MB into 2 MB, the
// cache and write buffer on as the program sets them (the board then watches
// data accesses), on the board with its default options and on bare Unicorn,
// the same way; and on bare Unicorn with an empty memory hook, the bound of
// any board that watches data accesses through the library's hooks alone
// (board-sim's loads and stores of the SDRAM go around the library's path:
// core/unicorn_sdram.h).
//
// Given tests/firmware/bench-code.py's two programs (--code), the same calls
// over 64 functions and over 16384 (320 KB of hot code, as a kernel's): what
// the board keeps per block must not fall off as the code grows.
#include <unicorn/unicorn.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "board/board.h"
#include "core/log.h"
#include "core/elf_image.h"
#include "core/memory.h"
#include "core/s3c44b0x.h"
#include "core/unicorn_stores.h"

namespace {

// CPU time of this thread: other processes on the machine do not count.
double cpu_seconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// `same_as`, when given: the board's SDRAM at bench_end, which the program's
// segments must match at the end here too (or the two ran different work).
// `empty_hook`: with a data access hook that does nothing, on a range no
// access reaches. Any memory hook at all sends every load and store of the
// code translated with it down Unicorn's slow path: this is the most a
// board that watches data accesses through the library's hook can reach.
double run_bare(const sim::ElfImage& elf, uint32_t main_address, uint32_t end_address,
                const sim::Sdram* same_as = nullptr, bool empty_hook = false) {
  uc_engine* uc = nullptr;
  uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc);
  uc_ctl_set_cpu_model(uc, UC_CPU_ARM_TI925T);
  std::vector<uint8_t> ram(sim::chip::kSdramSize, 0), sfr(sim::chip::kSfrSize, 0);
  uc_mem_map_ptr(uc, sim::chip::kSdramBase, ram.size(), UC_PROT_ALL, ram.data());
  uc_mem_map_ptr(uc, sim::chip::kSfrBase, sfr.size(), UC_PROT_ALL, sfr.data());
  // The internal SRAM and the cache's tag and LRU memories, plain memory too
  // (a boot loader empties the cache through them).
  std::vector<uint8_t> sram(0x10000, 0);
  uc_mem_map_ptr(uc, sim::chip::kInternalSram, sram.size(), UC_PROT_ALL, sram.data());
  for (const sim::ElfSegment& seg : elf.segments())
    std::copy(seg.bytes.begin(), seg.bytes.end(), ram.begin() + (seg.address - sim::chip::kSdramBase));
  uint32_t sp = 0x0C7FEC00;
  uc_reg_write(uc, UC_ARM_REG_SP, &sp);
  uc_hook hook;
  if (empty_hook)
    uc_hook_add(uc, &hook, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE,
                reinterpret_cast<void*>(+[](uc_engine*, uc_mem_type, uint64_t, int, int64_t, void*) {}), nullptr, 0x100,
                0x103);
  double t0 = cpu_seconds();
  uc_err err = uc_emu_start(uc, main_address, end_address, 0, 0);
  double t = cpu_seconds() - t0;
  if (err != UC_ERR_OK) std::fprintf(stderr, "bench-core: bare Unicorn stopped: %s\n", uc_strerror(err));
  if (same_as) {
    for (const sim::ElfSegment& seg : elf.segments()) {
      const uint8_t* board = same_as->at(seg.address, seg.memory_size);
      if (!board || !std::equal(board, board + seg.memory_size, ram.begin() + (seg.address - sim::chip::kSdramBase)))
        std::fprintf(stderr, "bench-core: bare Unicorn left other bytes than the board's at 0x%08X..: "
                             "the two ran different work\n", seg.address);
    }
  }
  uc_close(uc);
  return t;
}

}  // namespace

// The phone driven as the system tests drive it (a person's key presses).
struct PhoneRun {
  sim::Board board;
  explicit PhoneRun(const char* elf) {
    std::string error;
    if (!board.load(elf, &error)) std::fprintf(stderr, "bench-core: %s\n", error.c_str());
  }
  void key(int k) {
    board.keypad().key_down(k);
    board.run_for(100 * sim::kMillisecond);
    board.keypad().key_up(k);
    board.run_for(150 * sim::kMillisecond);
  }
};

struct Scenario {
  const char* name;
  void (*run)(PhoneRun&);
};

const Scenario kScenarios[] = {
    {"start-up and menus",
     [](PhoneRun& p) {
       p.board.run_for(1100 * sim::kMillisecond);
       for (int k : {0, 15, 3, 15, 4, 15}) p.key(k);  // address book, sound, answering machine, back
       p.board.run_for(sim::kSecond);
     }},
    {"a ten-digit call",
     [](PhoneRun& p) {
       p.board.run_for(1100 * sim::kMillisecond);
       p.key(2);
       for (int k : {0, 1, 2, 4, 5, 6, 8, 9, 10, 13}) p.key(k);
       p.key(14);
       p.board.run_for(40 * sim::kSecond);
     }},
    {"record and play the answering machine",
     [](PhoneRun& p) {
       p.board.run_for(1100 * sim::kMillisecond);
       p.key(4);
       p.key(0);
       p.board.run_for(6 * sim::kSecond);
       p.key(4);
       p.key(1);
       p.board.run_for(6 * sim::kSecond);
     }},
    {"an idle hour",
     [](PhoneRun& p) {
       p.board.run_for(1100 * sim::kMillisecond);
       p.board.run_for(3600 * sim::kSecond);
     }},
};

void bench_phone(const char* elf) {
  std::printf("\nphone scenarios (cycle model, waits skipped), virtual s per wall s:\n");
  // Best of five runs each, as for the loop above (the shortest takes a few
  // milliseconds, where the machine's load weighs most).
  for (const Scenario& s : kScenarios) {
    double t = 1e9, virtual_s = 0;
    for (int round = 0; round < 5; ++round) {
      PhoneRun p(elf);
      double t0 = cpu_seconds();
      s.run(p);
      t = std::min(t, cpu_seconds() - t0);
      virtual_s = static_cast<double>(p.board.now()) / sim::kSecond;
    }
    std::printf("  %-40s %8.1f s in %6.2f s: %8.0fx real time\n", s.name, virtual_s, t, virtual_s / t);
  }

  // A few of the phone's functions, called on the running phone (the tick
  // and other interrupts that fall in count with them).
  std::printf("\nphone functions (cycle model, cache off, MCLK 64 MHz):\n");
  std::printf("| function | instructions | cycles | ms at 64 MHz |\n|---|---:|---:|---:|\n");
  struct Call {
    const char* label;
    const char* function;
    std::vector<uint32_t> args;
  };
  const Call calls[] = {
      {"pinta_main_menu()", "pinta_main_menu", {}},
      {"lcd_clear()", "lcd_clear", {}},
      {"lcd_putpixel(10, 10, 15)", "lcd_putpixel", {10, 10, 15}},
      {"sw_delay_ms(10)", "sw_delay_ms", {10}},
      {"timer3_delay_ms(10)", "timer3_delay_ms", {10}},
  };
  PhoneRun p(elf);
  p.board.run_for(1100 * sim::kMillisecond);
  for (const Call& c : calls) {
    uint64_t i0 = p.board.core().instructions(), c0 = p.board.cycles();
    std::string error;
    if (!p.board.call(c.function, c.args, nullptr, sim::kSecond, &error)) {
      std::printf("| %s | %s | | |\n", c.label, error.c_str());
      continue;
    }
    uint64_t instructions = p.board.core().instructions() - i0, cycles = p.board.cycles() - c0;
    std::printf("| %s | %llu | %llu | %.3f |\n", c.label, static_cast<unsigned long long>(instructions),
                static_cast<unsigned long long>(cycles), cycles / 64e3);
  }
}

// Emulated instructions per second of the board (default options) and of
// bare Unicorn on one program, from `main` to `bench_end`: the best of
// `rounds` runs each, interleaved, so that a busy moment of the machine does
// not decide the result (stock Unicorn, when asked: of three).
struct LoopFigures {
  uint64_t instructions = 0;
  double board = 1e9, bare = 1e9, stock = 1e9, hooked = 1e9;  // CPU seconds
  double exact_ends = 1e9;  // the board, each run of 10 ms ending exactly
};

// The board from `main` to `bench_end` in runs of 10 ms, as board-sim's own
// loop makes them with a window, the terminal or the web page: each ends at
// the end of the block the core is in then, where the board takes input
// (or, with `exact`, at the instruction boundary itself, as a script's
// steps: every block that may reach it is split there). False if the
// program does not load.
bool run_board(const char* elf, sim::Board::RunEnd end, double* seconds, uint64_t* instructions,
               sim::Board* board = nullptr) {
  sim::Board own;
  sim::Board& b = board ? *board : own;
  std::string error;
  if (!b.load(elf, &error)) {
    std::fprintf(stderr, "bench-core: %s\n", error.c_str());
    return false;
  }
  auto finish = b.symbol_address("bench_end");
  if (!finish || !b.symbol_address("main")) {
    std::fprintf(stderr, "bench-core: %s has no main or bench_end symbol\n", elf);
    return false;
  }
  const uint64_t before = b.core().instructions();
  const double t0 = cpu_seconds();
  auto at_end = [&] { return b.core().pc() == *finish; };
  while (!at_end() && !b.halted()) b.run_until(b.now() + 10 * sim::kMillisecond, at_end, end);
  *seconds = cpu_seconds() - t0;
  *instructions = b.core().instructions() - before;
  return true;
}

// Emulated instructions per second of the board (default options) and of
// bare Unicorn on one program, from `main` to `bench_end`: the best of
// `rounds` runs each, interleaved, so that a busy moment of the machine does
// not decide the result (stock Unicorn, when asked: of three).
bool measure(const char* elf, int rounds, bool with_stock, LoopFigures* f, bool with_hooked = false,
             bool with_exact_ends = false) {
  for (int round = 0; round < rounds; ++round) {
    sim::Board board;
    double seconds;
    if (!run_board(elf, sim::Board::RunEnd::block_end, &seconds, &f->instructions, &board)) return false;
    f->board = std::min(f->board, seconds);
    const uint32_t main = *board.symbol_address("main"), end = *board.symbol_address("bench_end");
    if (with_exact_ends) {
      uint64_t instructions;
      if (!run_board(elf, sim::Board::RunEnd::exact, &seconds, &instructions)) return false;
      f->exact_ends = std::min(f->exact_ends, seconds * static_cast<double>(f->instructions) / instructions);
    }
    f->bare = std::min(f->bare, run_bare(board.elf(), main, end, round == 0 ? &board.ram() : nullptr));
    if (with_hooked) f->hooked = std::min(f->hooked, run_bare(board.elf(), main, end, nullptr, true));
    if (with_stock && sim::unicorn_stores::fast() && round < 3) {
      sim::unicorn_stores::set_fast(false);
      f->stock = std::min(f->stock, run_bare(board.elf(), main, end));
      sim::unicorn_stores::set_fast(true);
    }
  }
  return true;
}

int main(int argc, char** argv) {
  const char* stores = nullptr;
  const char* phone = nullptr;
  const char* inflate = nullptr;
  const char* small_code = nullptr;
  const char* big_code = nullptr;
  bool bad = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--inflate" && i + 1 < argc) inflate = argv[++i];
    else if (std::string(argv[i]) == "--code" && i + 2 < argc) small_code = argv[++i], big_code = argv[++i];
    else if (!stores) stores = argv[i];
    else if (!phone) phone = argv[i];
    else bad = true;
  }
  if (!stores || bad) {
    std::fprintf(stderr, "usage: bench-core build/bin/bench-stores.elf [build/bin/phone.elf] "
                         "[--inflate build/bin/bench-inflate.elf] "
                         "[--code build/bin/bench-code-64.elf build/bin/bench-code-16384.elf]\n");
    return 2;
  }
  // The board's own reports (the loop's end is a finished program) would
  // only clutter the figures.
  sim::set_log_sink([](const std::string&) {});
  LoopFigures loop;
  if (!measure(stores, 7, true, &loop)) return 2;

  double mips_board = loop.instructions / loop.board / 1e6, mips_bare = loop.instructions / loop.bare / 1e6;
  std::printf("instructions       %llu\n", static_cast<unsigned long long>(loop.instructions));
  std::printf("board-sim          %8.1f MIPS  (%.3f s)\n", mips_board, loop.board);
  std::printf("bare Unicorn       %8.1f MIPS  (%.3f s)\n", mips_bare, loop.bare);
  if (loop.stock < 1e9)
    std::printf("stock Unicorn      %8.1f MIPS  (%.3f s; its own store path)\n",
                loop.instructions / loop.stock / 1e6, loop.stock);
  std::printf("board-sim overhead %+7.1f %%   (goal: at most +20 %%)\n", (loop.board / loop.bare - 1) * 100);

  if (inflate) {
    // Best of three: each run takes a second or two.
    LoopFigures work;
    if (!measure(inflate, 3, false, &work, true, true)) return 2;
    double board = work.instructions / work.board / 1e6, bare = work.instructions / work.bare / 1e6;
    std::printf("\ncache on: CRC-32 and inflate of about 1 MB into 2 MB (bench-inflate), default options:\n");
    std::printf("instructions       %llu\n", static_cast<unsigned long long>(work.instructions));
    std::printf("board-sim          %8.1f MIPS  (%.3f s)\n", board, work.board);
    std::printf("bare Unicorn       %8.1f MIPS  (%.3f s)\n", bare, work.bare);
    std::printf("board-sim / bare   %8.2f       (goal: at least 0.50)\n", board / bare);
    std::printf("board-sim, each 10 ms run ending at its exact cycle (as a script's steps) %6.1f MIPS  (%.2f of "
                "bare)\n",
                work.instructions / work.exact_ends / 1e6, work.bare / work.exact_ends);
    std::printf("bare Unicorn with an empty data hook %6.1f MIPS  (%.3f s; %.2f of bare: the most the library's hook "
                "path allows)\n",
                work.instructions / work.hooked / 1e6, work.hooked, work.bare / work.hooked);
  }
  if (small_code) {
    LoopFigures small, big;
    if (!measure(small_code, 3, false, &small) || !measure(big_code, 3, false, &big)) return 2;
    const double small_ratio = small.bare / small.board, big_ratio = big.bare / big.board;
    std::printf("\nthe same calls over 64 functions and over 16384 (320 KB of code), cache off:\n");
    std::printf("                   %-18s %s\n", "64 functions", "16384 functions");
    std::printf("instructions       %-18llu %llu\n", static_cast<unsigned long long>(small.instructions),
                static_cast<unsigned long long>(big.instructions));
    std::printf("board-sim          %8.1f MIPS      %8.1f MIPS\n", small.instructions / small.board / 1e6,
                big.instructions / big.board / 1e6);
    std::printf("bare Unicorn       %8.1f MIPS      %8.1f MIPS\n", small.instructions / small.bare / 1e6,
                big.instructions / big.bare / 1e6);
    std::printf("board-sim / bare   %8.2f           %8.2f  (16384 against 64: %.2f)\n", small_ratio, big_ratio,
                big_ratio / small_ratio);
  }
  if (phone) bench_phone(phone);
  return 0;
}
