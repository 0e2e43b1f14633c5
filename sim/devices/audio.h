// The board's audio path as seen from outside the chip: frames of 16-bit
// stereo stamped with virtual time.
//
// The IIS controller clocks frames between the chip and the codec
// (IisCodec); the codec hands what its DAC plays to an AudioSink (the
// --audio-out file, later the window's sound device) and takes what its
// input hears from an AudioSource (--audio-in). Frames come in batches: the
// first at `start`, the next ones every `period` picoseconds. A stretch of
// time with no frames is silence.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/vtime.h"

namespace sim {

struct AudioFrame {
  int16_t left = 0;
  int16_t right = 0;
};

inline int16_t saturate16(int64_t v) {
  return static_cast<int16_t>(v > INT16_MAX ? INT16_MAX : v < INT16_MIN ? INT16_MIN : v);
}

class AudioSink {
 public:
  virtual ~AudioSink() = default;
  // Batches arrive in time order and do not overlap.
  virtual void frames(VTime start, VTime period, const AudioFrame* frames, size_t count) = 0;
  // The run ends at `end`: whatever has not been played up to it is silence.
  virtual void finish(VTime end) { (void)end; }
};

// One output heard by several sinks (the --audio-out file and the window's
// sound device).
class AudioFanout : public AudioSink {
 public:
  void add(AudioSink* sink) { sinks_.push_back(sink); }
  void frames(VTime start, VTime period, const AudioFrame* frames, size_t count) override {
    for (AudioSink* s : sinks_) s->frames(start, period, frames, count);
  }
  void finish(VTime end) override {
    for (AudioSink* s : sinks_) s->finish(end);
  }

 private:
  std::vector<AudioSink*> sinks_;
};

class AudioSource {
 public:
  virtual ~AudioSource() = default;
  // What the input hears at start, start + period, ...
  virtual void frames(VTime start, VTime period, AudioFrame* frames, size_t count) = 0;
};

// The codec's end of the IIS link.
class IisCodec {
 public:
  virtual ~IisCodec() = default;
  // Frames the IIS transmitter has sent, each stamped with the start of its
  // left-channel slot.
  virtual void dac_frames(VTime start, VTime period, const AudioFrame* frames, size_t count) = 0;
  // Frames the codec sends to the IIS receiver at those times.
  virtual void adc_frames(VTime start, VTime period, AudioFrame* frames, size_t count) = 0;
};

}  // namespace sim
