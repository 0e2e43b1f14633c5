// The codec's sound played live, and a live input for it: the glue between
// frames stamped with virtual time (devices/audio.h) and a sound device that
// plays or records a plain stream of 16-bit stereo frames at its rate.
//
// Needs no audio library: the window supplies the device (sdl_audio.h), and
// tests a fake one.
#pragma once
#include <cstddef>
#include <vector>

#include "devices/audio.h"

namespace sim {

// A sound device's output: frames queued to play one after the other.
class AudioOutputDevice {
 public:
  virtual ~AudioOutputDevice() = default;
  virtual unsigned rate() const = 0;
  virtual void queue(const AudioFrame* frames, size_t count) = 0;
  virtual size_t queued() const = 0;  // frames waiting to be played
};

// A sound device's input: frames recorded since they were last taken.
class AudioInputDevice {
 public:
  virtual ~AudioInputDevice() = default;
  virtual unsigned rate() const = 0;
  // Up to `count` of the oldest recorded frames; returns how many.
  virtual size_t take(AudioFrame* frames, size_t count) = 0;
  virtual size_t available() const = 0;
  virtual void discard(size_t count) = 0;
};

// Plays what the codec outputs, in time with the board running in real time.
//
// Batches are converted to the device's rate by holding the nearest earlier
// frame. A gap between batches shorter than kGapLimit is played as silence,
// so tones keep their rhythm; after a longer quiet the stream starts afresh
// with kLead of silence ahead of it, which absorbs the jitter of the loop
// that runs the board in slices. Whatever would make the device hold more
// than kMaxQueued (fast-forward, a host that stalled) is dropped rather than
// played late; with set_muted(true) nothing is queued at all.
class LiveAudioSink : public AudioSink {
 public:
  static constexpr VTime kGapLimit = 100 * kMillisecond;
  static constexpr VTime kLead = 40 * kMillisecond;
  static constexpr VTime kMaxQueued = 250 * kMillisecond;

  explicit LiveAudioSink(AudioOutputDevice& device) : device_(device) {}
  void set_muted(bool muted);
  void frames(VTime start, VTime period, const AudioFrame* frames, size_t count) override;

  uint64_t frames_dropped() const { return dropped_; }

 private:
  VTime device_time(uint64_t index) const;  // virtual time of stream frame `index`
  size_t device_frames(VTime duration) const;

  AudioOutputDevice& device_;
  bool muted_ = false;
  bool streaming_ = false;
  VTime stream_start_ = 0;
  uint64_t next_ = 0;  // index of the next stream frame
  uint64_t dropped_ = 0;
  std::vector<AudioFrame> out_;
};

// What the codec's input hears from a live recording (the microphone). The
// codec asks for frames at its own rate; they come from the device's
// recording, converted by holding the nearest earlier frame. When asked,
// anything recorded beyond kMaxLatency is dropped first, so the board hears
// what was said just now, not what piled up while nobody listened; when the
// recording has not caught up, the rest is silence.
class LiveAudioSource : public AudioSource {
 public:
  static constexpr VTime kMaxLatency = 100 * kMillisecond;

  explicit LiveAudioSource(AudioInputDevice& device) : device_(device) {}
  void frames(VTime start, VTime period, AudioFrame* frames, size_t count) override;

 private:
  AudioInputDevice& device_;
  double phase_ = 0;  // device frames owed to the next request, fractional
  std::vector<AudioFrame> in_;
};

}  // namespace sim
