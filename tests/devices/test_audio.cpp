// The audio edges of the board: the sample clips in SDRAM, the WAV files of
// --audio-out, --audio-in and --clips, and a recording played back through
// IIS, BDMA0 and the codec into the output file.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "devices/dma.h"
#include "devices/iis.h"
#include "devices/intc.h"
#include "devices/uda1341ts.h"
#include "board/clip_tones.h"
#include "board/clips.h"
#include "devices/wav_audio.h"

namespace sim {
namespace {

namespace fs = std::filesystem;
constexpr unsigned kRate = chip::kBoardSampleRate;
constexpr VTime kFrame = kSecond / kRate;

struct TempDir {
  static inline int made = 0;
  fs::path path =
      fs::temp_directory_path() / ("board-sim-audio-" + std::to_string(getpid()) + "-" + std::to_string(made++));
  TempDir() { fs::create_directories(path); }
  ~TempDir() { fs::remove_all(path); }
  std::string file(const std::string& name) const { return (path / name).string(); }
};

void write_wav(const std::string& path, unsigned rate, int channels, const std::vector<short>& samples) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << path;
  sf_write_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(f);
}

std::vector<AudioFrame> read_back(const std::string& path) {
  WavData data;
  std::string error;
  EXPECT_TRUE(read_wav(path, &data, &error)) << error;
  EXPECT_EQ(data.rate, kRate);
  EXPECT_EQ(data.channels, 2);
  return data.frames;
}

// Amplitude of the component at `hz` in the left channel of a clip.
double goertzel(const Sdram& sdram, uint32_t address, uint32_t bytes, double hz) {
  const double k = 2 * std::cos(2 * M_PI * hz / kRate);
  double s1 = 0, s2 = 0;
  const uint32_t n = bytes / 4;
  for (uint32_t i = 0; i < n; ++i) {
    double s = static_cast<int16_t>(sdram.read16(address + 4 * i)) + k * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  return 2 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - k * s1 * s2)) / n;
}

TEST(Clips, KeyTonesAreTheDtmfOfTheDialledSymbol) {
  Sdram sdram;
  generate_clips(sdram);
  const double all[] = {697, 770, 852, 941, 1209, 1336, 1477, 1633};
  EXPECT_EQ(std::string(1, key_symbol(0)) + key_symbol(2) + key_symbol(8) + key_symbol(13) + key_symbol(12) +
                key_symbol(14) + key_symbol(15),
            "1370*#D");
  for (int key = 0; key < 16; ++key) {
    const uint32_t at = chip::kKeyTonesBase + chip::kKeyToneStride * key;
    auto [row, column] = dtmf_frequencies(key);
    for (double hz : all) {
      double a = goertzel(sdram, at, chip::kKeyToneBytes, hz);
      if (hz == row || hz == column) EXPECT_GT(a, 9000) << key << " " << hz;
      else EXPECT_LT(a, 900) << key << " " << hz;
    }
    EXPECT_EQ(sdram.read32(at + chip::kKeyToneBytes), 0u) << "nothing past the clip";
  }
}

TEST(Clips, CallClipsAreCadencedTones) {
  Sdram sdram;
  generate_clips(sdram);
  struct Case {
    uint32_t address, bytes, on_bytes;
  } cases[] = {{chip::kCallClipA, chip::kCallClipABytes, 4 * 23438}, {chip::kCallClipB, chip::kCallClipBBytes, 4 * 3125}};
  for (const Case& c : cases) {
    EXPECT_GT(goertzel(sdram, c.address, c.on_bytes, 425), 15000);
    EXPECT_LT(goertzel(sdram, c.address, c.on_bytes, 480), 1000);
    for (uint32_t i = c.on_bytes; i < c.bytes; i += 4) ASSERT_EQ(sdram.read32(c.address + i), 0u) << i;
  }
}

// board-sim copies the clips from a table the build made; it must hold what
// the code computes, and generate_clips must put it where the slots are,
// silence after each sound, over whatever the SDRAM held.
TEST(Clips, TheBuildsTableIsWhatTheCodeComputes) {
  const auto computed = compute_clip_sounds();
  ASSERT_EQ(computed.size(), clip_slots().size());
  Sdram sdram;
  for (uint32_t a = chip::kKeyTonesBase; a < chip::kCallClipB + chip::kCallClipBBytes; a += 4) sdram.write32(a, 0x5A5A5A5A);
  generate_clips(sdram);
  const unsigned char* table = kClipSoundBytes;
  for (size_t i = 0; i < computed.size(); ++i) {
    const ClipSlot& slot = clip_slots()[i];
    ASSERT_EQ(kClipSoundLengths[i], computed[i].size()) << slot.file;
    EXPECT_TRUE(std::equal(computed[i].begin(), computed[i].end(), table)) << slot.file;
    table += kClipSoundLengths[i];
    EXPECT_TRUE(std::equal(computed[i].begin(), computed[i].end(), sdram.at(slot.address))) << slot.file;
    for (uint32_t k = static_cast<uint32_t>(computed[i].size()); k < slot.bytes; ++k)
      ASSERT_EQ(sdram.read8(slot.address + k), 0) << slot.file << " " << k;
  }
}

TEST(Clips, ADirectoryReplacesThemOrExplainsWhatIsWrong) {
  TempDir dir;
  for (const ClipSlot& slot : clip_slots()) {
    std::vector<short> samples(slot.bytes / 2, static_cast<short>(slot.bytes / 100));
    write_wav(dir.file(slot.file), kRate, 2, samples);
  }
  // A mono file at twice the rate converts to the same length.
  write_wav(dir.file("key5.wav"), 2 * kRate, 1, std::vector<short>(3200, 777));
  Sdram sdram;
  std::string error;
  ASSERT_TRUE(load_clips(sdram, dir.path.string(), &error)) << error;
  EXPECT_EQ(sdram.read16(chip::kKeyTonesBase), 64);
  EXPECT_EQ(sdram.read32(chip::kKeyTonesBase + 5 * chip::kKeyToneStride + 6396), 777u * 0x10001);
  EXPECT_EQ(sdram.read16(chip::kCallClipA + chip::kCallClipABytes - 2), 2880);

  struct Case {
    const char* file;
    std::vector<short> samples;  // stereo, at 15625 Hz; empty: no file
    const char* message;
  } cases[] = {
      {"call_b.wav", {}, "call_b.wav missing"},
      {"key3.wav", std::vector<short>(3198, 1), "key3.wav: 6396 bytes as 16-bit stereo at 15625 Hz, expected 6400"},
      {"call_a.wav", std::vector<short>(144002, 1), "expected 288000 (72000 frames)"},
  };
  for (const Case& c : cases) {
    TempDir bad;
    fs::copy(dir.path, bad.path, fs::copy_options::overwrite_existing | fs::copy_options::recursive);
    fs::remove(bad.file(c.file));
    if (!c.samples.empty()) write_wav(bad.file(c.file), kRate, 2, c.samples);
    Sdram untouched;
    ASSERT_FALSE(load_clips(untouched, bad.path.string(), &error)) << c.file;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(untouched.read16(chip::kKeyTonesBase), 0) << "all or nothing";
  }
}

TEST(WavFileSink, TimelineFillsGapsWithSilenceUpToTheEnd) {
  TempDir dir;
  WavFileSink sink;
  std::string error;
  ASSERT_TRUE(sink.open(dir.file("out.wav"), kRate, &error)) << error;
  std::vector<AudioFrame> a(150), b(10), c(10);
  for (size_t i = 0; i < a.size(); ++i) a[i] = {static_cast<int16_t>(i + 1), static_cast<int16_t>(-1 - i)};
  for (size_t i = 0; i < b.size(); ++i) b[i] = {static_cast<int16_t>(1000 + i), 0};
  for (size_t i = 0; i < c.size(); ++i) c[i] = {static_cast<int16_t>(2000 + i), 0};
  const VTime t = 100 * kMillisecond;  // frame 1562.5: frame 1562
  sink.frames(t, kFrame, a.data(), 100);
  sink.frames(t + 100 * kFrame, kFrame, a.data() + 100, 50);  // continues without a gap
  sink.frames(500 * kMillisecond, kFrame, b.data(), b.size());
  sink.frames(600 * kMillisecond, 2 * kFrame, c.data(), c.size());  // half rate: each frame held twice
  sink.finish(kSecond);
  std::vector<AudioFrame> got = read_back(dir.file("out.wav"));
  ASSERT_EQ(got.size(), kRate);
  for (size_t j = 0; j < got.size(); ++j) {
    int16_t want = 0;
    if (j >= 1562 && j < 1712) want = static_cast<int16_t>(j - 1561);
    if (j >= 7812 && j < 7822) want = static_cast<int16_t>(1000 + j - 7812);
    if (j >= 9375 && j < 9395) want = static_cast<int16_t>(2000 + (j - 9375) / 2);
    ASSERT_EQ(got[j].left, want) << j;
  }
  EXPECT_EQ(got[1600].right, -39);
}

// Under 4 GiB the file stays a plain WAV (RF64 only past it, where a WAV's
// sizes would lie); a write that fails (a full disk) is said once and the
// sink reports it.
TEST(WavFileSink, StaysAWavAndReportsAFailedWrite) {
  TempDir dir;
  {
    WavFileSink sink;
    std::string error;
    ASSERT_TRUE(sink.open(dir.file("small.wav"), kRate, &error)) << error;
    sink.finish(kSecond);
    EXPECT_FALSE(sink.failed());
  }
  char magic[4] = {};
  std::FILE* f = std::fopen(dir.file("small.wav").c_str(), "rb");
  ASSERT_TRUE(f);
  ASSERT_EQ(std::fread(magic, 1, 4, f), 4u);
  std::fclose(f);
  EXPECT_EQ(std::string(magic, 4), "RIFF");

  std::string error;
  WavFileSink device;
  EXPECT_FALSE(device.open("/dev/full", kRate, &error));
  EXPECT_EQ(error, "cannot write /dev/full: No space left on device");

  // The file cannot grow past 64 KiB (as on a full disk): 10 s of audio fail.
  std::vector<std::string> lines;
  LogSink previous = set_log_sink([&](const std::string& l) { lines.push_back(l); });
  auto saved_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 64 << 10;
  setrlimit(RLIMIT_FSIZE, &small);
  WavFileSink full;
  const bool opened = full.open(dir.file("full.wav"), kRate, &error);
  full.finish(10 * kSecond);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, saved_handler);
  set_log_sink(previous);
  ASSERT_TRUE(opened) << error;
  EXPECT_TRUE(full.failed());
  EXPECT_NE(full.error().find("cannot write"), std::string::npos) << full.error();
  EXPECT_EQ(lines.size(), 1u) << "said once";
}

// The header: a plain PCM WAV (format tag 1) while the sizes fit 32 bits,
// with a JUNK chunk that turns into ds64 when the file becomes RF64.
TEST(WavFileSink, HeaderIsPlainPcmUntilFourGibibytes) {
  auto u32 = [](const std::vector<uint8_t>& h, size_t at) {
    return uint32_t(h[at]) | uint32_t(h[at + 1]) << 8 | uint32_t(h[at + 2]) << 16 | uint32_t(h[at + 3]) << 24;
  };
  auto u64 = [&](const std::vector<uint8_t>& h, size_t at) { return u32(h, at) | uint64_t(u32(h, at + 4)) << 32; };
  auto tag = [](const std::vector<uint8_t>& h, size_t at) { return std::string(h.begin() + at, h.begin() + at + 4); };
  const uint64_t last_wav = (0xFFFFFFFFull - 72) / 4;  // the most frames whose RIFF size fits
  struct Case {
    uint64_t frames;
    bool rf64;
  } cases[] = {{0, false}, {15625, false}, {last_wav, false}, {last_wav + 1, true}, {3ull << 32, true}};
  for (const Case& c : cases) {
    const std::vector<uint8_t> h = wav_header(15625, c.frames);
    ASSERT_EQ(h.size(), 80u);
    const uint64_t data = c.frames * 4;
    EXPECT_EQ(tag(h, 0), c.rf64 ? "RF64" : "RIFF") << c.frames;
    EXPECT_EQ(u32(h, 4), c.rf64 ? 0xFFFFFFFFu : uint32_t(72 + data)) << c.frames;
    EXPECT_EQ(tag(h, 8), "WAVE");
    EXPECT_EQ(tag(h, 12), c.rf64 ? "ds64" : "JUNK");
    EXPECT_EQ(u32(h, 16), 28u);
    EXPECT_EQ(u64(h, 20), c.rf64 ? 72 + data : 0) << c.frames;
    EXPECT_EQ(u64(h, 28), c.rf64 ? data : 0) << c.frames;
    EXPECT_EQ(u64(h, 36), c.rf64 ? c.frames : 0) << c.frames;
    EXPECT_EQ(tag(h, 48), "fmt ");
    EXPECT_EQ(u32(h, 52), 16u);
    EXPECT_EQ(u32(h, 56), 1u | 2u << 16) << "PCM, stereo";
    EXPECT_EQ(u32(h, 60), 15625u);
    EXPECT_EQ(u32(h, 64), 15625u * 4);
    EXPECT_EQ(u32(h, 68), 4u | 16u << 16) << "4-byte frames of 16-bit samples";
    EXPECT_EQ(tag(h, 72), "data");
    EXPECT_EQ(u32(h, 76), c.rf64 ? 0xFFFFFFFFu : uint32_t(data)) << c.frames;
  }
}

TEST(WavFileSource, FileIsHeardFromTimeZeroAtAnyRate) {
  TempDir dir;
  std::vector<short> mono(100);
  for (size_t i = 0; i < mono.size(); ++i) mono[i] = static_cast<short>(10 * i);
  write_wav(dir.file("fast.wav"), 2 * kRate, 1, mono);
  write_wav(dir.file("same.wav"), kRate, 1, mono);
  struct Case {
    const char* file;
    VTime start;
    std::vector<int16_t> want;  // left = right
  } cases[] = {
      {"fast.wav", 0, {0, 20, 40}},           // every other file frame
      {"fast.wav", kFrame / 4, {5, 25, 45}},  // interpolated halfway
      {"fast.wav", 49 * kFrame, {980, 0, 0}}, // frame 99 fades into silence
      {"same.wav", 7 * kFrame + 5, {70, 80, 90}},
      {"same.wav", 99 * kFrame, {990, 0, 0}},
  };
  for (const Case& c : cases) {
    WavFileSource source;
    std::string error;
    ASSERT_TRUE(source.open(dir.file(c.file), &error)) << error;
    AudioFrame got[3];
    source.frames(c.start, kFrame, got, 3);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(got[i].left, c.want[i]) << c.file << " " << c.start << " " << i;
      EXPECT_EQ(got[i].right, got[i].left);
    }
  }
}

// The answering machine's round trip on the simulated board: record a tone
// file with the ADC's +6 dB, play the buffer back at full volume, mute half
// way through.
TEST(AudioPath, RecordingPlaysBackWithInputGainAndMute) {
  TempDir dir;
  std::vector<short> tone(2 * 3000);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<short>(12000 * std::sin(0.01 * i) + (i & 1));
  write_wav(dir.file("in.wav"), kRate, 2, tone);

  Scheduler sched;
  sched.set_cycle_period(kSecond / 64000000);
  Intc intc(chip::kIntc);
  Sdram sdram;
  Bdma bdma(chip::kBdma, intc, sdram);
  Iis iis(chip::kIis, sched);
  Uda1341ts codec;
  WavFileSource input;
  WavFileSink output;
  std::string error;
  ASSERT_TRUE(input.open(dir.file("in.wav"), &error)) << error;
  ASSERT_TRUE(output.open(dir.file("out.wav"), kRate, &error)) << error;
  iis.set_dma(&bdma);
  iis.set_codec(&codec);
  bdma.set_pacer(&iis);
  codec.set_sync([&] { iis.sync(); });
  codec.set_input(&input);
  codec.set_output(&output);

  auto l3 = [&](uint8_t byte, bool data) {  // L3_putByte on the pins
    codec.set_lines(true, true, true);
    for (int j = 0; j < 8; ++j) {
      codec.set_lines(data, false, (byte >> j) & 1);
      codec.set_lines(data, true, (byte >> j) & 1);
    }
    codec.set_lines(true, true, (byte >> 7) & 1);
  };
  iis.write(0x08, 0x77, 4);  // iis_init's IISPSR
  auto transfer = [&](bool play, uint32_t length) {
    iis.write(0x04, play ? 0x89 : 0x49, 4);
    iis.write(0x0C, play ? 0xA00 : 0x500, 4);
    iis.write(0x00, iis.read(0x00, 4) | (play ? 0x22 : 0x12), 4);
    bdma.write(0x04, play ? 0x50000000 | chip::kMessageBuffer : 0x71D18010, 4);
    bdma.write(0x08, play ? 0x71D18010 : 0x90000000 | chip::kMessageBuffer, 4);
    bdma.write(0x0C, 0x44D00000 | length, 4);
    iis.write(0x00, iis.read(0x00, 4) | 1, 4);
  };
  auto wait_for_dma = [&] {
    while (!(intc.pending() & (1u << chip::kIrqBdma0))) sched.advance_to(sched.now() + kFrame);
    iis.write(0x00, iis.read(0x00, 4) & ~1u, 4);  // isr_dma
    intc.write(0x24, 1u << chip::kIrqBdma0, 4);
  };

  const VTime t_record = 10 * kFrame, t_play = 2 * kSecond / 5;
  sched.advance_to(t_record);
  l3(0x16, false), l3(0xA2, true);
  transfer(false, 6400);
  wait_for_dma();
  l3(0x16, false), l3(0x80, true);
  sched.advance_to(t_play);
  l3(0x14, false), l3(0x00, true), l3(0x16, false), l3(0x81, true);
  transfer(true, 6400);
  sched.advance_to(t_play + 800 * kFrame);
  l3(0x14, false), l3(0x84, true);
  wait_for_dma();
  output.finish(kSecond);

  for (uint32_t f = 0; f < 1600; ++f)
    ASSERT_EQ(static_cast<int16_t>(sdram.read16(chip::kMessageBuffer + 4 * f + 2)),
              saturate16(2 * tone[2 * (10 + f) + 1])) << f;
  std::vector<AudioFrame> got = read_back(dir.file("out.wav"));
  ASSERT_EQ(got.size(), kRate);
  const size_t first = t_play / kFrame;
  for (size_t j = 0; j < got.size(); ++j) {
    int16_t want = j >= first && j < first + 800 ? saturate16(2 * tone[2 * (10 + j - first)]) : 0;
    ASSERT_EQ(got[j].left, want) << j;
  }
}

}  // namespace
}  // namespace sim
