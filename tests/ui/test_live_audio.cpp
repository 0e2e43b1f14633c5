// Live sound: the codec's frames, stamped with virtual time, become one
// stream for a sound device that keeps the tones' timing; a live recording
// becomes what the codec hears. Fake devices stand in for SDL's.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "frontends/live_audio.h"

namespace sim {
namespace {

constexpr unsigned kRate = 15625;
constexpr VTime kPeriod = kSecond / kRate;  // 64 us, whole picoseconds

class FakeOutput : public AudioOutputDevice {
 public:
  explicit FakeOutput(unsigned rate) : rate_(rate) {}
  unsigned rate() const override { return rate_; }
  void queue(const AudioFrame* frames, size_t count) override { played.insert(played.end(), frames, frames + count); }
  size_t queued() const override { return played.size() - consumed; }
  void play_all() { consumed = played.size(); }

  std::vector<AudioFrame> played;
  size_t consumed = 0;

 private:
  unsigned rate_;
};

std::vector<AudioFrame> ramp(size_t n, int16_t first = 1) {
  std::vector<AudioFrame> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = {static_cast<int16_t>(first + i), static_cast<int16_t>(-(first + i))};
  return v;
}

size_t frames_in(VTime t, unsigned rate) { return static_cast<size_t>(t / kMicrosecond * rate / 1000000); }

TEST(LiveAudioSink, StartsWithAShortLeadThenPlaysTheFramesAsTheyAre) {
  FakeOutput out(kRate);
  LiveAudioSink sink(out);
  auto tone = ramp(100);
  sink.frames(5 * kSecond, kPeriod, tone.data(), tone.size());
  size_t lead = frames_in(LiveAudioSink::kLead, kRate);
  ASSERT_EQ(out.played.size(), lead + 100);
  for (size_t i = 0; i < lead; ++i) EXPECT_EQ(out.played[i].left, 0);
  for (size_t i = 0; i < 100; ++i) {
    EXPECT_EQ(out.played[lead + i].left, tone[i].left);
    EXPECT_EQ(out.played[lead + i].right, tone[i].right);
  }
}

TEST(LiveAudioSink, AShortGapIsPlayedAsSilenceOfTheSameLength) {
  FakeOutput out(kRate);
  LiveAudioSink sink(out);
  auto a = ramp(50), b = ramp(50, 1000);
  sink.frames(0, kPeriod, a.data(), a.size());
  size_t before = out.played.size();
  // 32 ms of nothing between the batches (a pause between two key tones).
  VTime gap = 500 * kPeriod;
  sink.frames(50 * kPeriod + gap, kPeriod, b.data(), b.size());
  size_t silence = out.played.size() - before - 50;
  EXPECT_EQ(silence, 500u);
  EXPECT_EQ(out.played.back().left, b.back().left);
}

TEST(LiveAudioSink, ALongQuietRestartsTheStreamInsteadOfQueueingSilence) {
  FakeOutput out(kRate);
  LiveAudioSink sink(out);
  auto a = ramp(50);
  sink.frames(0, kPeriod, a.data(), a.size());
  out.play_all();
  size_t before = out.played.size();
  sink.frames(10 * kSecond, kPeriod, a.data(), a.size());
  EXPECT_EQ(out.played.size() - before, frames_in(LiveAudioSink::kLead, kRate) + 50);
}

TEST(LiveAudioSink, ConvertsToTheDeviceRateByHoldingFrames) {
  FakeOutput out(2 * kRate);
  LiveAudioSink sink(out);
  auto tone = ramp(10);
  sink.frames(0, kPeriod, tone.data(), tone.size());
  size_t lead = frames_in(LiveAudioSink::kLead, 2 * kRate);
  ASSERT_EQ(out.played.size(), lead + 20);
  for (size_t i = 0; i < 20; ++i) EXPECT_EQ(out.played[lead + i].left, tone[i / 2].left) << i;
}

TEST(LiveAudioSink, DropsRatherThanFallingBehind) {
  FakeOutput out(kRate);
  LiveAudioSink sink(out);
  // Fast-forward hands over a second of sound at once; the device never plays.
  std::vector<AudioFrame> chunk = ramp(1000);
  VTime t = 0;
  for (int i = 0; i < 16; ++i, t += 1000 * kPeriod) sink.frames(t, kPeriod, chunk.data(), chunk.size());
  EXPECT_LE(out.queued(), frames_in(LiveAudioSink::kMaxQueued, kRate));
  EXPECT_GT(sink.frames_dropped(), 0u);
}

TEST(LiveAudioSink, MutedQueuesNothing) {
  FakeOutput out(kRate);
  LiveAudioSink sink(out);
  sink.set_muted(true);
  auto tone = ramp(100);
  sink.frames(0, kPeriod, tone.data(), tone.size());
  EXPECT_TRUE(out.played.empty());
  sink.set_muted(false);
  sink.frames(100 * kPeriod, kPeriod, tone.data(), tone.size());
  EXPECT_EQ(out.played.size(), frames_in(LiveAudioSink::kLead, kRate) + 100);
}

class FakeInput : public AudioInputDevice {
 public:
  unsigned rate() const override { return kRate; }
  size_t take(AudioFrame* frames, size_t count) override {
    size_t n = std::min(count, recorded.size());
    for (size_t i = 0; i < n; ++i) {
      frames[i] = recorded.front();
      recorded.pop_front();
    }
    return n;
  }
  size_t available() const override { return recorded.size(); }
  void discard(size_t count) override {
    for (size_t i = 0; i < count && !recorded.empty(); ++i) recorded.pop_front();
  }
  std::deque<AudioFrame> recorded;
};

TEST(LiveAudioSource, HearsTheRecordingAtTheSameRate) {
  FakeInput in;
  for (const AudioFrame& f : ramp(100)) in.recorded.push_back(f);
  LiveAudioSource source(in);
  std::vector<AudioFrame> heard(100);
  source.frames(0, kPeriod, heard.data(), heard.size());
  for (size_t i = 0; i < 100; ++i) EXPECT_EQ(heard[i].left, static_cast<int16_t>(1 + i));
  EXPECT_EQ(in.available(), 0u);
}

TEST(LiveAudioSource, HearsWhatWasSaidJustNowNotTheBacklog) {
  FakeInput in;
  // Three seconds recorded while nothing listened, the newest frames last.
  for (int i = 0; i < 3 * static_cast<int>(kRate); ++i) in.recorded.push_back({static_cast<int16_t>(i % 30000), 0});
  LiveAudioSource source(in);
  std::vector<AudioFrame> heard(100);
  source.frames(0, kPeriod, heard.data(), heard.size());
  size_t latency = frames_in(LiveAudioSource::kMaxLatency, kRate);
  EXPECT_EQ(in.available(), latency);
  int first = (3 * static_cast<int>(kRate) - static_cast<int>(latency) - 100) % 30000;
  EXPECT_EQ(heard[0].left, first);
}

TEST(LiveAudioSource, SilenceWhenTheRecordingHasNotCaughtUp) {
  FakeInput in;
  for (const AudioFrame& f : ramp(10)) in.recorded.push_back(f);
  LiveAudioSource source(in);
  std::vector<AudioFrame> heard(100, AudioFrame{7, 7});
  source.frames(0, kPeriod, heard.data(), heard.size());
  EXPECT_EQ(heard[9].left, 10);
  for (size_t i = 10; i < 100; ++i) EXPECT_EQ(heard[i].left, 0) << i;
}

}  // namespace
}  // namespace sim
