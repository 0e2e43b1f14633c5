// Record and replay: a session on the phone, driven as the window and the
// terminal drive it (inputs between runs of 10 ms of virtual time, at odd
// instants) and told to the recorder, is written as a scenario; that script
// on a fresh board must give the same screens, console bytes, audio and
// EEPROM, byte for byte.
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "core/scheduler.h"
#include "devices/audio.h"
#include "frontends/recorder.h"
#include "frontends/scenario.h"
#include "phone.h"

namespace phone_test {
namespace {

// Everything the board showed and played, to compare two runs.
class Observer : public sim::AudioSink {
 public:
  explicit Observer(sim::Board& board)
      : board_(board), sample_(board.scheduler(), "test screen sample", [this](VTime) { sample(); }) {
    board.add_audio_sink(this);
    sample_.schedule_at(board.now() + kPeriod);
  }
  void frames(VTime start, VTime period, const sim::AudioFrame* f, size_t n) override {
    audio << start << ' ' << period << ':';
    for (size_t i = 0; i < n; ++i) audio << ' ' << f[i].left << ',' << f[i].right;
    audio << '\n';
  }
  std::vector<std::vector<uint8_t>> screens;  // looked at every 20 ms, kept when changed
  std::vector<VTime> changed;                 // when each was first seen
  std::ostringstream audio;                   // every frame played, with its time

 private:
  static constexpr VTime kPeriod = 20 * kMillisecond;
  void sample() {
    std::vector<uint8_t> frame(sim::kLcdWidth * sim::kLcdHeight);
    board_.screen(frame.data());
    if (screens.empty() || screens.back() != frame) {
      screens.push_back(frame);
      changed.push_back(board_.now());
    }
    sample_.schedule_at(board_.now() + kPeriod);
  }
  sim::Board& board_;
  sim::Event sample_;
};

// A front end in miniature: runs the board in slices of 10 ms (as the
// window's frames and the terminal's checks do) and gives each input at the
// first slice end at or after its time, telling the recorder.
struct Session {
  Phone& p;
  sim::Recorder& rec;
  void run_to(VTime t) {
    while (p.board.now() < t && !p.board.halted()) p.board.run_until(std::min(t, p.board.now() + 10 * kMillisecond));
  }
  // A keypad key, or with `button` the push-button of that mask.
  void press(int code, VTime down, VTime up, bool button = false) {
    uint8_t mask = static_cast<uint8_t>(code);
    run_to(down);
    if (button) {
      p.board.buttons().press(mask);
      rec.button_down(mask, p.board.now());
    } else {
      p.board.keypad().key_down(code);
      rec.key_down(code, p.board.now());
    }
    run_to(up);
    if (button) {
      p.board.buttons().release(mask);
      rec.button_up(mask, p.board.now());
    } else {
      p.board.keypad().key_up(code);
      rec.key_up(code, p.board.now());
    }
  }
  void type(const std::string& bytes, VTime at) {
    run_to(at);
    std::vector<uint8_t> v(bytes.begin(), bytes.end());
    p.board.uart_input(v);
    rec.console(v, p.board.now());
  }
};

// The first line where two texts differ (its start), or "" when they are equal.
std::string first_difference(const std::string& a, const std::string& b) {
  std::istringstream x(a), y(b);
  std::string p, q;
  for (int n = 1;; ++n) {
    bool more_x = static_cast<bool>(std::getline(x, p)), more_y = static_cast<bool>(std::getline(y, q));
    if (!more_x && !more_y) return "";
    if (more_x != more_y || p != q) return "line " + std::to_string(n) + ": " + p.substr(0, 60) + " / " + q.substr(0, 60);
  }
}

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(Record, ADialledCallReplaysByteForByte) {
  const std::string script = ::testing::TempDir() + "record-call-" + std::to_string(::getpid()) + ".scn";
  const VTime ms = kMillisecond;

  Phone live("record-live");
  sim::At24c04::Image image;
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
  live.board.eeprom().set_contents(image);
  // A calendar of its own (the board takes the host's clock), about to roll
  // over the century, so the replay must take it from the script.
  sim::RtcTime start;
  start.year = 99;
  start.mon = 12;
  start.mday = 31;
  start.wday = 5;  // a Thursday
  start.hour = 23;
  start.min = 59;
  start.sec = 57;
  live.board.rtc().set_start_time(start);
  Observer seen_live(live.board);
  sim::Recorder rec;
  std::string error;
  ASSERT_TRUE(rec.open(script, live.board.now(), &error)) << error;
  rec.rtc(live.board.rtc().time());
  rec.eeprom(live.board.eeprom().contents().data(), live.board.eeprom().contents().size());

  Session s{live, rec};
  s.press(2, 1100 * ms, 1200 * ms);  // "3. Llamar", then more than 150 ms: `key 2`
  // The ten digits, some held briefly, some released less than 150 ms before
  // the next press, at instants off the 10 ms slices.
  const int digits[] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 13};
  VTime t = 1600 * ms + 3;
  for (int i = 0; i < 10; ++i) {
    VTime hold = (60 + 13 * i) * ms + 777 * i;
    s.press(digits[i], t, t + hold);
    t += hold + (i % 2 ? 120 : 260) * ms + 12345;
  }
  s.type("x\"\\\xF1\r", t + 5 * ms);
  s.press(14, t + 400 * ms, t + 530 * ms);  // call
  s.press(0x40, t + 2 * sim::kSecond, t + 2 * sim::kSecond + 90 * ms, true);
  const VTime end = t + 3500 * ms + 4321;
  s.run_to(end);
  ASSERT_TRUE(live.shows("Llamando a...")) << live.screen_text();
  ASSERT_TRUE(rec.finish(live.board.now(), &error)) << error;

  std::string text = read_text(script);
  EXPECT_NE(text.find("\nwait 1100ms\nkey 2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nkeydown 1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nuart \"x\\\"\\\\\\xF1\\r\"\n"), std::string::npos) << text;

  Phone replay("record-replay");
  std::remove(replay.eeprom_path.c_str());
  ASSERT_TRUE(replay.board.use_eeprom_file(replay.eeprom_path, &error)) << error;
  Observer seen_replay(replay.board);
  sim::Scenario scenario;
  ASSERT_TRUE(scenario.load(script, &error)) << error;
  std::string failure;
  ASSERT_TRUE(scenario.run(replay.board, &failure)) << failure;

  EXPECT_EQ(replay.board.now(), live.board.now());
  EXPECT_EQ(replay.board.console(), live.board.console());
  EXPECT_TRUE(replay.board.eeprom().contents() == live.board.eeprom().contents());
  EXPECT_EQ(seen_replay.changed, seen_live.changed);
  ASSERT_EQ(seen_replay.screens.size(), seen_live.screens.size());
  EXPECT_GT(seen_live.screens.size(), 12u);  // menu, each digit, the call
  for (size_t i = 0; i < seen_live.screens.size(); ++i)
    ASSERT_TRUE(seen_replay.screens[i] == seen_live.screens[i]) << "screen " << i;
  EXPECT_FALSE(seen_live.audio.str().empty());
  EXPECT_EQ(first_difference(seen_replay.audio.str(), seen_live.audio.str()), "");
  EXPECT_EQ(replay.screen_text(), live.screen_text());
  std::remove(script.c_str());
}

}  // namespace
}  // namespace phone_test
