#include "board/clips.h"

#include <algorithm>
#include <cstring>

#include "board/clip_tones.h"
#include "core/s3c44b0x.h"
#include "devices/audio.h"
#include "devices/wav_audio.h"

namespace sim {

namespace {
constexpr unsigned kRate = chip::kBoardSampleRate;
constexpr uint32_t kFrameBytes = 4;
constexpr char kSymbols[17] = "123A456B789C*0#D";

// Puts a clip's `size` bytes at its slot, silence after them. Writes only
// the pages that change: most of a clip is silence, and the SDRAM's
// untouched pages already read as zero (a page of sound is written without
// reading it first, which would only make the kernel map it twice).
void place(Sdram& sdram, const ClipSlot& slot, const uint8_t* bytes, size_t size) {
  uint8_t* p = sdram.at(slot.address, slot.bytes);
  size = std::min<size_t>(size, slot.bytes);
  sdram.populate(slot.address, static_cast<uint32_t>(size));
  constexpr size_t kPage = 4096;
  static const uint8_t kSilence[kPage] = {};
  for (size_t at = 0; at < slot.bytes; at += kPage) {
    const size_t n = std::min<size_t>(kPage, slot.bytes - at);
    const size_t sound = at < size ? std::min(n, size - at) : 0;
    if (sound) std::memcpy(p + at, bytes + at, sound);
    if (sound < n && std::memcmp(p + at + sound, kSilence, n - sound) != 0) std::memset(p + at + sound, 0, n - sound);
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
  const unsigned char* sound = kClipSoundBytes;
  for (size_t i = 0; i < slots.size(); ++i) {
    place(sdram, slots[i], sound, kClipSoundLengths[i]);
    sound += kClipSoundLengths[i];
  }
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
  for (size_t i = 0; i < clips.size(); ++i) {
    std::vector<uint8_t> bytes(clips[i].size() * kFrameBytes);
    for (size_t k = 0; k < clips[i].size(); ++k) {
      const uint16_t l = static_cast<uint16_t>(clips[i][k].left), r = static_cast<uint16_t>(clips[i][k].right);
      bytes[4 * k + 0] = static_cast<uint8_t>(l);
      bytes[4 * k + 1] = static_cast<uint8_t>(l >> 8);
      bytes[4 * k + 2] = static_cast<uint8_t>(r);
      bytes[4 * k + 3] = static_cast<uint8_t>(r >> 8);
    }
    place(sdram, clip_slots()[i], bytes.data(), bytes.size());
  }
  return true;
}

}  // namespace sim
