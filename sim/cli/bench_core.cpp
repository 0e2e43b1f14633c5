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
#include <unicorn/unicorn.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "board/board.h"
#include "core/log.h"
#include "core/elf_image.h"
#include "core/s3c44b0x.h"
#include "core/unicorn_stores.h"

namespace {

// CPU time of this thread: other processes on the machine do not count.
double cpu_seconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

double run_bare(const sim::ElfImage& elf, uint32_t main_address, uint32_t end_address) {
  uc_engine* uc = nullptr;
  uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc);
  uc_ctl_set_cpu_model(uc, UC_CPU_ARM_TI925T);
  std::vector<uint8_t> ram(sim::chip::kSdramSize, 0), sfr(sim::chip::kSfrSize, 0);
  uc_mem_map_ptr(uc, sim::chip::kSdramBase, ram.size(), UC_PROT_ALL, ram.data());
  uc_mem_map_ptr(uc, sim::chip::kSfrBase, sfr.size(), UC_PROT_ALL, sfr.data());
  for (const sim::ElfSegment& seg : elf.segments())
    std::copy(seg.bytes.begin(), seg.bytes.end(), ram.begin() + (seg.address - sim::chip::kSdramBase));
  uint32_t sp = 0x0C7FEC00;
  uc_reg_write(uc, UC_ARM_REG_SP, &sp);
  double t0 = cpu_seconds();
  uc_err err = uc_emu_start(uc, main_address, end_address, 0, 0);
  double t = cpu_seconds() - t0;
  if (err != UC_ERR_OK) std::fprintf(stderr, "bench-core: bare Unicorn stopped: %s\n", uc_strerror(err));
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

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: bench-core build/bin/bench-stores.elf [build/bin/phone.elf]\n");
    return 2;
  }
  // The board's own reports (the loop's end is a finished program) would
  // only clutter the figures.
  sim::set_log_sink([](const std::string&) {});
  // Best of seven runs each (stock Unicorn: of three), interleaved, so that
  // a busy moment of the machine does not decide the result.
  double t_board = 1e9, t_bare = 1e9, t_stock = 1e9;
  uint64_t instructions = 0;
  for (int round = 0; round < 7; ++round) {
    sim::Board board;
    std::string error;
    if (!board.load(argv[1], &error)) {
      std::fprintf(stderr, "bench-core: %s\n", error.c_str());
      return 2;
    }
    auto end = board.symbol_address("bench_end");
    if (!end) {
      std::fprintf(stderr, "bench-core: %s has no bench_end symbol\n", argv[1]);
      return 2;
    }
    uint64_t before = board.core().instructions();
    double t0 = cpu_seconds();
    board.run_until(sim::kForever, [&] { return board.core().pc() == *end; });
    t_board = std::min(t_board, cpu_seconds() - t0);
    instructions = board.core().instructions() - before;
    t_bare = std::min(t_bare, run_bare(board.elf(), *board.symbol_address("main"), *end));
    if (sim::unicorn_stores::fast() && round < 3) {
      sim::unicorn_stores::set_fast(false);
      t_stock = std::min(t_stock, run_bare(board.elf(), *board.symbol_address("main"), *end));
      sim::unicorn_stores::set_fast(true);
    }
  }

  double mips_board = instructions / t_board / 1e6, mips_bare = instructions / t_bare / 1e6;
  std::printf("instructions       %llu\n", static_cast<unsigned long long>(instructions));
  std::printf("board-sim          %8.1f MIPS  (%.3f s)\n", mips_board, t_board);
  std::printf("bare Unicorn       %8.1f MIPS  (%.3f s)\n", mips_bare, t_bare);
  if (t_stock < 1e9)
    std::printf("stock Unicorn      %8.1f MIPS  (%.3f s; its own store path)\n", instructions / t_stock / 1e6, t_stock);
  std::printf("board-sim overhead %+7.1f %%   (goal: at most +20 %%)\n", (t_board / t_bare - 1) * 100);
  if (argc == 3) bench_phone(argv[2]);
  return 0;
}
