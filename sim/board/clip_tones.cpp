#include "board/clip_tones.h"

#include <algorithm>
#include <cmath>

#include "core/s3c44b0x.h"
#include "devices/audio.h"

namespace sim {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr unsigned kRate = chip::kBoardSampleRate;
constexpr uint32_t kFrameBytes = 4;


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
// `on` seconds with linear fades, at most `frames` long: its bytes (the
// silence after it is not part of them). The sines are computed once per
// frequency and shared by the tones that use them (every key's tone has a
// row's and a column's).
std::vector<uint8_t> tone(const std::vector<const std::vector<double>*>& parts, double amplitude, double on,
                          double fade, size_t frames) {
  size_t on_frames = std::min(frames, static_cast<size_t>(std::llround(on * kRate)));
  std::vector<uint8_t> out(on_frames * kFrameBytes);
  for (size_t i = 0; i < on_frames; ++i) {
    double t = static_cast<double>(i) / kRate;
    double envelope = std::min({1.0, t / fade, (static_cast<double>(on_frames - i) / kRate) / fade});
    double v = 0;
    for (const std::vector<double>* part : parts) v += (*part)[i];
    const uint16_t s = static_cast<uint16_t>(saturate16(std::llround(amplitude * envelope * v)));
    out[4 * i + 0] = out[4 * i + 2] = static_cast<uint8_t>(s);
    out[4 * i + 1] = out[4 * i + 3] = static_cast<uint8_t>(s >> 8);
  }
  return out;
}
}  // namespace

std::vector<std::vector<uint8_t>> compute_clip_sounds() {
  std::vector<std::vector<uint8_t>> clips;
  const size_t key_frames = chip::kKeyToneBytes / kFrameBytes;
  std::vector<double> rows[4], columns[4];
  for (int k = 0; k < 4; ++k) {
    rows[k] = sine(kDtmfRows[k], key_frames);
    columns[k] = sine(kDtmfColumns[k], key_frames);
  }
  for (int k = 0; k < 16; ++k)
    clips.push_back(tone({&rows[k / 4], &columns[k % 4]}, kDtmfAmplitude, static_cast<double>(key_frames) / kRate,
                         kKeyFade, key_frames));
  const std::vector<double> call = sine(kCallToneHz, static_cast<size_t>(std::llround(1.5 * kRate)));
  clips.push_back(tone({&call}, kCallAmplitude, 1.5, kCallFade, chip::kCallClipABytes / kFrameBytes));
  clips.push_back(tone({&call}, kCallAmplitude, 0.2, kCallFade, chip::kCallClipBBytes / kFrameBytes));
  return clips;
}

}  // namespace sim
