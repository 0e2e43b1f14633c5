// Coverage and profile data of a program of known shape (tests/firmware/
// calls.c): exact instruction counts of a leaf, inclusive counts of its
// caller, an exception as a call, a function that never runs, and the same
// counts however the run is cut into slices (tiny slices, single steps).
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "board/board.h"
#include "debug/debug_info.h"
#include "debug/execution_recorder.h"
#include "frontends/coverage.h"
#include "frontends/profile.h"
#include "test_firmwares.h"

namespace sim {
namespace {

constexpr unsigned kCpi = 2;  // a fixed cost, so that cycles are known too

BoardOptions fixed_cost() {
  BoardOptions options;
  options.cycles_per_instruction = kCpi;
  return options;
}

struct CallsRun {
  LogCapture log;
  Board board{fixed_cost()};
  DebugInfo info;
  std::unique_ptr<ExecutionRecorder> recorder;

  explicit CallsRun(const std::function<void(Board&)>& run = [](Board& b) { b.run_until(kSecond); },
                    const std::string& firmware = "calls") {
    std::string error;
    EXPECT_TRUE(board.load(elf_path(firmware), &error)) << error;
    EXPECT_TRUE(info.load(board.elf(), &error)) << error;
    recorder = std::make_unique<ExecutionRecorder>(board, true);
    run(board);
    recorder->finish();
  }
  uint32_t entry(const std::string& name) { return *board.symbol_address(name); }
  // The calls to `callee`, from every site, added up.
  ExecutionRecorder::CallCost calls_to(const std::string& callee) {
    ExecutionRecorder::CallCost sum;
    for (const auto& [call, cost] : recorder->calls())
      if (call.target == entry(callee)) {
        sum.count += cost.count;
        sum.inclusive.cycles += cost.inclusive.cycles;
        sum.inclusive.instructions += cost.inclusive.instructions;
      }
    return sum;
  }
  ExecutionRecorder::Cost self(const std::string& function) {
    ExecutionRecorder::Cost sum;
    recorder->for_each_instruction([&](uint32_t address, uint64_t count, uint64_t cycles) {
      const DebugFunction* f = info.function_at(address);
      if (f && f->name == function) {
        sum.instructions += count;
        sum.cycles += cycles;
      }
    });
    return sum;
  }
};

void expect_known_shape(CallsRun& run) {
  ASSERT_TRUE(run.board.halted());
  EXPECT_EQ(run.board.halt_reason(), "main returned");
  uint32_t leaf = run.entry("leaf");
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(run.recorder->count(leaf + 4 * i), 6u) << "leaf instruction " << i;
  EXPECT_EQ(run.recorder->count(run.entry("never_called")), 0u);

  struct Expected {
    const char* function;
    uint64_t self_instructions, calls, inclusive_instructions;
  };
  // leaf: 3 instructions, 6 calls; middle: 4 of its own, and 10 a call with
  // its two calls of leaf; the SWI handler: 2, entered once from main.
  for (const Expected& e : {Expected{"leaf", 18, 6, 18}, Expected{"middle", 12, 3, 30},
                            Expected{"swi_handler", 2, 1, 2}}) {
    SCOPED_TRACE(e.function);
    ExecutionRecorder::Cost self = run.self(e.function);
    EXPECT_EQ(self.instructions, e.self_instructions);
    EXPECT_EQ(self.cycles, kCpi * e.self_instructions);
    ExecutionRecorder::CallCost calls = run.calls_to(e.function);
    EXPECT_EQ(calls.count, e.calls);
    EXPECT_EQ(calls.inclusive.instructions, e.inclusive_instructions);
    EXPECT_EQ(calls.inclusive.cycles, kCpi * e.inclusive_instructions);
  }
  // Every instruction that ran, once: the recorder and the core agree.
  EXPECT_EQ(run.recorder->total().instructions, run.board.core().instructions());
}

TEST(CoverageProfile, KnownCallStructure) {
  CallsRun run;
  expect_known_shape(run);
  // The SWI is a call from the instruction that raised it; middle's two
  // calls of leaf are two sites of three calls each.
  uint32_t svc = 0, leaf_sites = 0;
  for (const auto& [call, cost] : run.recorder->calls()) {
    if (call.target == run.entry("swi_handler")) svc = call.site;
    if (call.target == run.entry("leaf")) {
      ++leaf_sites;
      EXPECT_EQ(cost.count, 3u);
    }
  }
  EXPECT_EQ(run.board.ram().read32(svc), 0xEF000000u) << "svc 0 at the call site";
  EXPECT_EQ(leaf_sites, 2u);
}

// A slice that ends before a block leaves it observed but not run; the next
// slice starts with it again. A step or a breakpoint runs part of one.
TEST(CoverageProfile, CountsDoNotDependOnSlices) {
  CallsRun tiny([](Board& b) {
    while (!b.halted() && b.now() < kSecond) b.run_until(b.now() + 3 * b.scheduler().cycle_period());
  });
  expect_known_shape(tiny);
  CallsRun stepped([](Board& b) {
    for (int i = 0; i < 1000 && !b.halted(); ++i) b.step();
  });
  expect_known_shape(stepped);
  // Breakpoints inside blocks (the second instruction of leaf, middle's
  // second call): each stop cuts a block short, the rest runs as a new one.
  int stops = 0;
  CallsRun broken([&stops](Board& b) {
    for (const char* name : {"leaf", "middle"}) b.core().add_breakpoint(*b.symbol_address(name) + 8);
    for (int i = 0; i < 100 && !b.halted(); ++i) {
      b.run_until(kSecond);
      if (!b.at_breakpoint()) continue;
      ++stops;
      b.core().pass_breakpoint_at_pc();
    }
  });
  expect_known_shape(broken);
  EXPECT_EQ(stops, 6 + 3);
}

// Thumb instructions are two bytes apart. The call goes to the linker's
// interworking veneer, which jumps on to the Thumb function: the call's
// inclusive cost holds both (veneer 2 instructions, thumb_leaf 3).
TEST(CoverageProfile, ThumbThroughAVeneer) {
  CallsRun run([](Board& b) { b.run_until(kSecond); }, "thumb_calls");
  ASSERT_TRUE(run.board.halted());
  uint32_t leaf = run.entry("thumb_leaf");
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(run.recorder->count(leaf + 2 * i), 4u) << "thumb_leaf instruction " << i;
  ExecutionRecorder::Cost self = run.self("thumb_leaf");
  EXPECT_EQ(self.instructions, 12u);
  EXPECT_EQ(self.cycles, kCpi * 12u);
  ExecutionRecorder::CallCost calls = run.calls_to("__thumb_leaf_from_arm");
  EXPECT_EQ(calls.count, 4u);
  EXPECT_EQ(calls.inclusive.instructions, 4u * (2 + 3));
  EXPECT_EQ(run.recorder->total().instructions, run.board.core().instructions());
}

TEST(CoverageProfile, LcovRecords) {
  CallsRun run;
  std::ostringstream out;
  write_lcov(out, "calls-test", run.info, *run.recorder);
  std::string text = out.str();
  auto has = [&text](const std::string& line) { return text.find("\n" + line + "\n") != std::string::npos; };
  EXPECT_EQ(text.rfind("TN:calls_test\nSF:/", 0), 0u) << text;
  EXPECT_NE(text.find("tests/firmware/calls.c\n"), std::string::npos);
  for (const char* line : {"FNDA:6,leaf", "FNDA:3,middle", "FNDA:1,swi_handler", "FNDA:1,main", "FNDA:0,never_called",
                           "FNF:5", "FNH:4", "end_of_record"})
    EXPECT_TRUE(has(line)) << line << " in\n" << text;
  // never_called's line has code and a count of 0; leaf's asm line ran 6 times.
  SourcePosition never = run.info.position_at(run.entry("never_called"));
  SourcePosition leaf = run.info.position_at(run.entry("leaf"));
  EXPECT_TRUE(has("DA:" + std::to_string(never.line) + ",0"));
  EXPECT_TRUE(has("DA:" + std::to_string(leaf.line) + ",6"));
}

TEST(CoverageProfile, CallgrindRecords) {
  CallsRun run;
  std::ostringstream out;
  write_callgrind(out, "board-sim calls.elf", run.info, *run.recorder);
  std::string text = out.str();
  EXPECT_NE(text.find("events: Cycles Instructions\n"), std::string::npos);
  uint64_t cycles = run.recorder->total().cycles, instructions = run.recorder->total().instructions;
  EXPECT_NE(text.find("\nsummary: " + std::to_string(cycles) + " " + std::to_string(instructions) + "\n"),
            std::string::npos);
  // leaf's three instructions sit on one line (the asm statement).
  SourcePosition leaf = run.info.position_at(run.entry("leaf"));
  EXPECT_NE(text.find("fn=leaf\n" + std::to_string(leaf.line) + " 36 18\n"), std::string::npos) << text;
  EXPECT_NE(text.find("cfn=swi_handler\ncalls=1 "), std::string::npos);
}

}  // namespace
}  // namespace sim
