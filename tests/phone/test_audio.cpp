// The call, the sound menu and the answering machine, heard through the codec.
#include <cmath>

#include "core/s3c44b0x.h"
#include "devices/audio.h"
#include "phone.h"

namespace phone_test {
namespace {

// What the codec played, as transfers: runs of frames without a gap.
class Capture : public sim::AudioSink {
 public:
  struct Transfer {
    VTime start;
    std::vector<sim::AudioFrame> frames;
  };
  void frames(VTime start, VTime period, const sim::AudioFrame* f, size_t n) override {
    period_ = period;
    if (transfers.empty() || start != next_) transfers.push_back({start, {}});
    transfers.back().frames.insert(transfers.back().frames.end(), f, f + n);
    next_ = start + period * n;
  }
  VTime period() const { return period_; }
  std::vector<Transfer> transfers;

 private:
  VTime period_ = 0, next_ = 0;
};

double goertzel(const std::vector<sim::AudioFrame>& frames, double hz, double rate) {
  double k = 2 * std::cos(2 * M_PI * hz / rate), s1 = 0, s2 = 0;
  for (const auto& f : frames) {
    double s = f.left + k * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  return (s1 * s1 + s2 * s2 - k * s1 * s2) / frames.size();
}

bool silent(const std::vector<sim::AudioFrame>& frames) {
  for (const auto& f : frames)
    if (f.left || f.right) return false;
  return true;
}

struct Dtmf {
  int key;
  int digit;
  double low, high;
};
const Dtmf kDialled[] = {{0, 1, 697, 1209}, {1, 2, 697, 1336}, {2, 3, 697, 1477}, {4, 4, 770, 1209},
                         {5, 5, 770, 1336}, {6, 6, 770, 1477}, {8, 7, 852, 1209}, {9, 8, 852, 1336},
                         {10, 9, 852, 1477}, {13, 0, 941, 1336}};

void dial_all_and_call(Phone& p, std::vector<std::string>* digits_seen) {
  p.run(1100 * kMillisecond);
  p.key(2);  // "3. Llamar"
  std::string number;
  for (const Dtmf& d : kDialled) {
    p.key(d.key);
    number += std::to_string(d.digit);
    if (digits_seen) digits_seen->push_back(sim::format_runs(p.text()));
  }
  p.key(14);
}

TEST(Call, DialledDigitsAppearAndEveryToneAndClipIsPlayed) {
  Phone p;
  Capture capture;
  p.board.add_audio_sink(&capture);
  std::vector<std::string> screens;
  dial_all_and_call(p, &screens);
  // The k-th digit stands at x = 83 + 17k, y = 100, drawn double size.
  for (int k = 0; k < 10; ++k) {
    std::string want = std::to_string(100 + 17 * k) + " 100 2 " + std::to_string(kDialled[k].digit);
    EXPECT_NE(screens[k].find(want), std::string::npos) << "after digit " << k + 1 << ":\n" << screens[k];
  }
  ASSERT_TRUE(p.wait_for("Llamando a...")) << p.screen_text();
  // The number on the row below, one 16-pixel digit every 17 pixels (so
  // each digit reads as a run of its own).
  std::vector<sim::TextRun> number;
  for (const auto& r : p.text()) {
    if (r.y == 100) {
      EXPECT_EQ(r.x, 50);
    }
    if (r.y == 140 && r.size == 2) number.push_back(r);
  }
  ASSERT_EQ(number.size(), 10u) << p.screen_text();
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(number[k].x, 100 + 17 * k);
    EXPECT_EQ(number[k].text, std::to_string(kDialled[k].digit));
  }
  // As a script reads them: one text.
  EXPECT_TRUE(p.shows("1234567890")) << p.screen_text();
  EXPECT_FALSE(p.shows("1 2")) << p.screen_text();
  p.run(40 * kSecond);
  ASSERT_FALSE(p.board.halted()) << p.board.halt_report();

  const double rate = 15625;
  EXPECT_EQ(p.board.iis().sample_rate_hz(), 15625u);
  ASSERT_EQ(capture.transfers.size(), 10u + 5u + 20u);
  for (int k = 0; k < 10; ++k) {
    const auto& t = capture.transfers[k];
    EXPECT_EQ(t.frames.size(), 1600u) << "tone " << k;  // 6400 bytes, 4 per frame
    double low = goertzel(t.frames, kDialled[k].low, rate), high = goertzel(t.frames, kDialled[k].high, rate);
    for (double other : {697.0, 770.0, 852.0, 941.0, 1209.0, 1336.0, 1477.0, 1633.0}) {
      if (other == kDialled[k].low || other == kDialled[k].high) continue;
      double o = goertzel(t.frames, other, rate);
      EXPECT_GT(low, 20 * o) << "digit " << kDialled[k].digit << " at " << other << " Hz";
      EXPECT_GT(high, 20 * o) << "digit " << kDialled[k].digit << " at " << other << " Hz";
    }
  }
  for (int i = 0; i < 5; ++i) EXPECT_EQ(capture.transfers[10 + i].frames.size(), 72000u) << "clip A " << i;
  for (int i = 0; i < 20; ++i) EXPECT_EQ(capture.transfers[15 + i].frames.size(), 6400u) << "clip B " << i;
  // 72000 frames at 15625 Hz last 4.608 s.
  EXPECT_EQ(capture.transfers[10].frames.size() * capture.period(), 4608 * kMillisecond);
  EXPECT_FALSE(silent(capture.transfers[10].frames));
}

TEST(Call, BdmaAndCodecAreProgrammedAsTheDriversSay) {
  Phone p;
  p.run(1100 * kMillisecond);
  // Start-up: exactly eight L3 bytes, the first and the sixth addresses.
  const auto& bytes = p.board.codec().received();
  ASSERT_EQ(bytes.size(), 8u);
  const uint8_t values[] = {0x16, 0x40, 0x20, 0x00, 0x80, 0x14, 0xC2, 0xE1};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(bytes[i].value, values[i]) << "byte " << i;
    EXPECT_EQ(bytes[i].data, i != 0 && i != 5) << "byte " << i;
  }
  p.key(2);
  p.key(0);
  p.run(500 * kMillisecond);
  auto counts = p.writes_to(0x01F8000C);
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.back().value, 0x44D01900u);
  EXPECT_EQ(p.writes_to(0x01F80004).back().value, 0x50000000u | 0x0C400000u);
  // Volume 32, then DAC on, then off again after the tone.
  std::vector<uint8_t> after;
  for (size_t i = 8; i < p.board.codec().received().size(); ++i) after.push_back(p.board.codec().received()[i].value);
  EXPECT_EQ(after, (std::vector<uint8_t>{0x14, 0x1F, 0x16, 0x81, 0x16, 0x80}));
}

TEST(Sound, MutedCallPlaysSilenceForTheSameTimeAndEveryScreenShowsTheMark) {
  Phone p;
  Capture capture;
  p.board.add_audio_sink(&capture);
  p.run(1100 * kMillisecond);
  p.key(3);  // "4. Sonido"
  p.key(0);  // "1. Mute"
  p.run(300 * kMillisecond);
  EXPECT_TRUE(p.board.codec().muted());
  auto screen = p.screen();
  auto at = [&](int x, int y) { return screen[y * 320 + x]; };
  // The cross's centre and a corner; no sound wave.
  EXPECT_EQ(at(270, 15), 15);
  EXPECT_EQ(at(266, 11), 15);
  EXPECT_EQ(at(267, 16), 0);
  p.key(2);
  p.key(0);
  p.run(600 * kMillisecond);
  screen = p.screen();
  EXPECT_EQ(at(270, 15), 15) << "the call screen shows the mute mark too";
  ASSERT_EQ(capture.transfers.size(), 1u);
  EXPECT_EQ(capture.transfers[0].frames.size(), 1600u);
  EXPECT_TRUE(silent(capture.transfers[0].frames));

  p.key(15);
  p.key(3);
  p.key(1);  // "2. Unmute"
  p.run(300 * kMillisecond);
  EXPECT_FALSE(p.board.codec().muted());
  screen = p.screen();
  EXPECT_EQ(at(267, 16), 15) << "the sound mark is back";
  EXPECT_EQ(at(270, 15), 0);
}

// A steady input tone for the answering machine.
class ToneSource : public sim::AudioSource {
 public:
  void frames(VTime start, VTime period, sim::AudioFrame* f, size_t n) override {
    for (size_t i = 0; i < n; ++i) {
      double t = static_cast<double>(start + i * period) / sim::kSecond;
      auto v = static_cast<int16_t>(std::lround(6000 * std::sin(2 * M_PI * 440 * t)));
      f[i] = {v, static_cast<int16_t>(-v)};
    }
  }
};

TEST(AnsweringMachine, PlaysBackExactlyWhatItRecordedWithTheRightLedLitWhileRecording) {
  Phone p;
  Capture capture;
  ToneSource tone;
  p.board.add_audio_sink(&capture);
  p.board.set_audio_source(&tone);
  p.run(1100 * kMillisecond);
  p.key(4);  // "5. Contestador"
  p.key(0);  // "1. Cambiar Contestador": record
  EXPECT_TRUE(p.shows("GRABANDO")) << p.screen_text();
  EXPECT_TRUE(p.board.led_lit(10));
  EXPECT_FALSE(p.board.led_lit(9));
  std::string clock_before;
  for (const auto& r : p.text())
    if (r.y == 12) clock_before = r.text;
  p.run(3 * kSecond);
  EXPECT_TRUE(p.board.led_lit(10)) << "still recording";
  std::string clock_during;
  for (const auto& r : p.text())
    if (r.y == 12) clock_during = r.text;
  EXPECT_NE(clock_before, clock_during) << "the clock keeps ticking while recording";
  p.run(3 * kSecond);  // 320000 bytes take 5.12 s
  EXPECT_FALSE(p.board.led_lit(10));
  EXPECT_FALSE(p.shows("GRABANDO"));
  std::vector<uint8_t> recorded(p.board.ram().at(0x0C700000), p.board.ram().at(0x0C700000) + 320000);

  p.key(4);
  p.key(1);  // "2. Reproducir Contestador"
  EXPECT_TRUE(p.shows("REPRODUCIENDO")) << p.screen_text();
  p.run(6 * kSecond);
  ASSERT_FALSE(p.board.halted()) << p.board.halt_report();
  ASSERT_EQ(capture.transfers.size(), 1u);
  const auto& played = capture.transfers[0].frames;
  ASSERT_EQ(played.size(), 80000u);
  // Volume 63 plays the samples unchanged: exactly the recording, which is
  // the input with the codec's +6 dB input gain.
  size_t mismatches = 0;
  for (size_t i = 0; i < played.size(); ++i) {
    int16_t left = static_cast<int16_t>(recorded[4 * i] | recorded[4 * i + 1] << 8);
    int16_t right = static_cast<int16_t>(recorded[4 * i + 2] | recorded[4 * i + 3] << 8);
    if (played[i].left != left || played[i].right != right) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0u);
  int peak = 0;
  for (const auto& f : played) peak = std::max(peak, std::abs(static_cast<int>(f.left)));
  EXPECT_NEAR(peak, 12000, 20) << "the input tone (peak 6000) after +6 dB";
}

}  // namespace
}  // namespace phone_test
