// Skipping waits (register polls and loops on memory, the default) changes
// only how fast the board runs, never what it does: a whole call, run with
// every turn of every wait emulated and with the waits skipped, gives the
// same screens, console bytes and audio, byte for byte.
#include <fstream>
#include <iterator>

#include "phone.h"

namespace phone_test {
namespace {

struct CallRecord {
  std::vector<std::vector<uint8_t>> screens;
  std::string console;
  std::string audio;
  uint64_t instructions = 0;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

CallRecord call_all_digits(bool skip) {
  sim::BoardOptions options;
  options.skip_polling = skip;
  CallRecord r;
  std::string wav = ::testing::TempDir() + (skip ? "skip-call.wav" : "no-skip-call.wav");
  {
    Phone p("", options);
    std::string error;
    EXPECT_TRUE(p.board.record_audio(wav, &error)) << error;
    p.run(1100 * kMillisecond);
    r.screens.push_back(p.screen());
    p.key(2);  // "3. Llamar"
    for (int key : {0, 1, 2, 4, 5, 6, 8, 9, 10, 13}) {
      p.key(key);
      r.screens.push_back(p.screen());
    }
    p.key(14);
    for (int i = 0; i < 8; ++i) {
      p.run(5 * kSecond);
      r.screens.push_back(p.screen());
    }
    p.board.finish_audio();
    EXPECT_FALSE(p.board.halted()) << p.board.halt_report();
    r.console = p.board.console();
    r.instructions = p.board.core().instructions();
  }  // the WAV file is complete once its board is gone
  r.audio = slurp(wav);
  return r;
}

TEST(Skip, ACallGivesTheSameScreensConsoleAndAudioWithAndWithoutSkipping) {
  CallRecord emulated = call_all_digits(false);
  CallRecord skipped = call_all_digits(true);
  ASSERT_EQ(emulated.screens.size(), skipped.screens.size());
  for (size_t i = 0; i < emulated.screens.size(); ++i)
    EXPECT_TRUE(emulated.screens[i] == skipped.screens[i]) << "screen " << i;
  EXPECT_EQ(emulated.console, skipped.console);
  EXPECT_GT(emulated.audio.size(), 44u + 4u * 15625u * 30u) << "30 s of audio at least";
  EXPECT_TRUE(emulated.audio == skipped.audio)
      << "the audio differs (" << emulated.audio.size() << " and " << skipped.audio.size() << " bytes)";
  EXPECT_LT(skipped.instructions, emulated.instructions / 2) << "the waits were skipped";
}

}  // namespace
}  // namespace phone_test
