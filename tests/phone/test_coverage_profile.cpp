// Coverage and profile data of the phone: every instruction and cycle of the
// run is recorded once, main's lines show what the person did, and the tick
// handler appears as calls from the interrupted code.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "debug/debug_info.h"
#include "debug/execution_recorder.h"
#include "frontends/coverage.h"
#include "phone.h"

namespace phone_test {
namespace {

// The lcov record of the source file whose path ends with `suffix`.
std::string record_of(const std::string& lcov, const std::string& suffix) {
  size_t at = lcov.find(suffix + "\n");
  if (at == std::string::npos) return "";
  at = lcov.rfind("SF:", at) + 3;
  size_t end = lcov.find("end_of_record", at);
  return lcov.substr(at, end - at);
}

TEST(CoverageProfile, PhoneMainMenuAgendaAndTicks) {
  Phone phone;
  sim::DebugInfo info;
  std::string error;
  ASSERT_TRUE(info.load(phone.board.elf(), &error)) << error;
  sim::ExecutionRecorder recorder(phone.board, true);
  uint64_t cycles = phone.board.cycles(), instructions = phone.board.core().instructions();

  ASSERT_TRUE(phone.wait_for("1. Agenda"));
  phone.key(0);  // the address book
  ASSERT_TRUE(phone.wait_for("Mirar la UART") || phone.wait_for("Anadir"));
  phone.key(15);  // back to the main menu
  ASSERT_TRUE(phone.wait_for("1. Agenda"));
  phone.run_to(3500 * kMillisecond);
  recorder.finish();

  EXPECT_EQ(recorder.total().instructions, phone.board.core().instructions() - instructions);
  EXPECT_EQ(recorder.total().cycles, phone.board.cycles() - cycles);

  std::ostringstream out;
  sim::write_lcov(out, "phone", info, recorder);
  std::string main_cpp = record_of(out.str(), "firmware/main.cpp");
  ASSERT_FALSE(main_cpp.empty()) << "no record of main.cpp";
  EXPECT_NE(main_cpp.find("\nFNDA:1,main\n"), std::string::npos) << main_cpp;
  EXPECT_NE(main_cpp.find("\nFNDA:3,rtc_interruption\n"), std::string::npos) << main_cpp;
  // Which of main's lines ran: the address book's, not the date editor's.
  // The lines are looked up in the source the line table names.
  std::string path = main_cpp.substr(0, main_cpp.find('\n'));
  std::ifstream source(path);
  ASSERT_TRUE(source) << path;
  auto count_of = [&](const std::string& code, int nth = 1) {
    source.clear();
    source.seekg(0);
    std::string text;
    for (int line = 1; std::getline(source, text); ++line) {
      if (text.find(code) == std::string::npos || --nth > 0) continue;
      std::string key = "\nDA:" + std::to_string(line) + ",";
      size_t at = main_cpp.find(key);
      return at == std::string::npos ? -1L : std::stol(main_cpp.substr(at + key.size()));
    }
    return -2L;
  };
  EXPECT_EQ(count_of("menu_agenda(sonido);"), 1) << main_cpp;
  EXPECT_EQ(count_of("menu_fecha_hora(sonido);"), 0) << main_cpp;
  EXPECT_GE(count_of("pinta_main_menu(sonido);", 2), 1) << "after the agenda\n" << main_cpp;

  // Each tick is a call of rtc_interruption, from wherever it interrupted.
  uint32_t handler = *phone.board.symbol_address("rtc_interruption");
  uint64_t ticks = 0, inclusive = 0;
  for (const auto& [call, cost] : recorder.calls())
    if (call.target == handler) {
      ticks += cost.count;
      inclusive += cost.inclusive.instructions;
    }
  EXPECT_EQ(ticks, 3u);
  EXPECT_EQ(ticks, recorder.count(handler));
  EXPECT_GT(inclusive, 1000u) << "the handler formats and draws the clock line";
}

}  // namespace
}  // namespace phone_test
