#include "board/clips.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/s3c44b0x.h"
#include "devices/audio.h"
#include "devices/wav_audio.h"

namespace sim {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr unsigned kRate = chip::kBoardSampleRate;
constexpr uint32_t kFrameBytes = 4;

constexpr double kDtmfRows[4] = {697, 770, 852, 941};
constexpr double kDtmfColumns[4] = {1209, 1336, 1477, 1633};
constexpr char kSymbols[17] = "123A456B789C*0#D";

// Each DTMF component at -9 dBFS, so the pair peaks near -3 dBFS; the call
// tones at -6 dBFS.
constexpr double kDtmfAmplitude = 0.35 * 32767;
constexpr double kCallAmplitude = 0.5 * 32767;
constexpr double kCallToneHz = 425;  // Spanish call-progress tones
constexpr double kKeyFade = 0.005;
constexpr double kCallFade = 0.010;

// One sine of `freq` Hz sampled at the board's rate, `frames` long.
std::vector<double> sine(double freq, size_t frames) {
  std::vector<double> out(frames);
  for (size_t i = 0; i < frames; ++i) out[i] = std::sin(2 * kPi * freq * (static_cast<double>(i) / kRate));
  return out;
}

// The sum of the sines `parts` (each at least `on` seconds long), lasting
// `on` seconds with linear fades, then silence up to `frames`. The sines are
// computed once per frequency and shared by the tones that use them (every
// key's tone has a row's and a column's): they are most of start-up's
// arithmetic.
std::vector<AudioFrame> tone(const std::vector<const std::vector<double>*>& parts, double amplitude, double on,
                             double fade, size_t frames) {
  std::vector<AudioFrame> out(frames);
  size_t on_frames = std::min(frames, static_cast<size_t>(std::llround(on * kRate)));
  for (size_t i = 0; i < on_frames; ++i) {
    double t = static_cast<double>(i) / kRate;
    double envelope = std::min({1.0, t / fade, (static_cast<double>(on_frames - i) / kRate) / fade});
    double v = 0;
    for (const std::vector<double>* part : parts) v += (*part)[i];
    int16_t s = saturate16(std::llround(amplitude * envelope * v));
    out[i] = {s, s};
  }
  return out;
}

// Writes only the pages that change: most of a clip is silence, and the
// SDRAM's untouched pages already read as zero.
void place(Sdram& sdram, const ClipSlot& slot, const std::vector<AudioFrame>& frames) {
  std::vector<uint8_t> bytes(slot.bytes, 0);
  for (size_t i = 0; i < frames.size() && (i + 1) * kFrameBytes <= slot.bytes; ++i) {
    const uint16_t l = static_cast<uint16_t>(frames[i].left), r = static_cast<uint16_t>(frames[i].right);
    bytes[4 * i + 0] = static_cast<uint8_t>(l);
    bytes[4 * i + 1] = static_cast<uint8_t>(l >> 8);
    bytes[4 * i + 2] = static_cast<uint8_t>(r);
    bytes[4 * i + 3] = static_cast<uint8_t>(r >> 8);
  }
  uint8_t* p = sdram.at(slot.address, slot.bytes);
  constexpr size_t kPage = 4096;
  for (size_t at = 0; at < bytes.size(); at += kPage) {
    const size_t n = std::min(kPage, bytes.size() - at);
    if (std::memcmp(p + at, bytes.data() + at, n) != 0) std::memcpy(p + at, bytes.data() + at, n);
  }
}
}  // namespace

const std::vector<ClipSlot>& clip_slots() {
  static const std::vector<ClipSlot> slots = [] {
    std::vector<ClipSlot> s;
    for (uint32_t k = 0; k < 16; ++k)
      s.push_back({"key" + std::to_string(k) + ".wav", chip::kKeyTonesBase + chip::kKeyToneStride * k,
                   chip::kKeyToneBytes});
    s.push_back({"call_a.wav", chip::kCallClipA, chip::kCallClipABytes});
    s.push_back({"call_b.wav", chip::kCallClipB, chip::kCallClipBBytes});
    return s;
  }();
  return slots;
}

char key_symbol(int key) { return kSymbols[key & 15]; }

std::pair<double, double> dtmf_frequencies(int key) {
  return {kDtmfRows[(key & 15) / 4], kDtmfColumns[(key & 15) % 4]};
}

void generate_clips(Sdram& sdram) {
  const auto& slots = clip_slots();
  const size_t key_frames = slots[0].bytes / kFrameBytes;
  std::vector<double> rows[4], columns[4];
  for (int k = 0; k < 4; ++k) {
    rows[k] = sine(kDtmfRows[k], key_frames);
    columns[k] = sine(kDtmfColumns[k], key_frames);
  }
  for (int k = 0; k < 16; ++k) {
    size_t frames = slots[k].bytes / kFrameBytes;
    place(sdram, slots[k],
          tone({&rows[k / 4], &columns[k % 4]}, kDtmfAmplitude, static_cast<double>(frames) / kRate, kKeyFade, frames));
  }
  const std::vector<double> call = sine(kCallToneHz, static_cast<size_t>(std::llround(1.5 * kRate)));
  place(sdram, slots[16], tone({&call}, kCallAmplitude, 1.5, kCallFade, slots[16].bytes / kFrameBytes));
  place(sdram, slots[17], tone({&call}, kCallAmplitude, 0.2, kCallFade, slots[17].bytes / kFrameBytes));
}

bool load_clips(Sdram& sdram, const std::string& dir, std::string* error) {
  std::vector<std::vector<AudioFrame>> clips;
  for (const ClipSlot& slot : clip_slots()) {
    const std::string path = dir + "/" + slot.file;
    const size_t expected = slot.bytes / kFrameBytes;
    WavData data;
    std::string why;
    if (!read_wav(path, &data, &why)) {
      *error = "clip " + path + " missing or unreadable (" + why + "); --clips needs key0.wav .. key15.wav, "
               "call_a.wav and call_b.wav";
      return false;
    }
    std::vector<AudioFrame> frames = resample_linear(data.frames, data.rate, kRate);
    if (frames.size() != expected) {
      *error = "clip " + path + ": " + std::to_string(frames.size() * kFrameBytes) +
               " bytes as 16-bit stereo at 15625 Hz, expected " + std::to_string(slot.bytes) + " (" +
               std::to_string(expected) + " frames)";
      return false;
    }
    clips.push_back(std::move(frames));
  }
  for (size_t i = 0; i < clips.size(); ++i) place(sdram, clip_slots()[i], clips[i]);
  return true;
}

}  // namespace sim
