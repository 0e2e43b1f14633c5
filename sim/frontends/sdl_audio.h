// The default sound devices through SDL2's queue API: 16-bit stereo at a
// rate of our choosing (SDL converts to what the hardware wants).
#pragma once
#include <SDL.h>

#include <string>

#include "frontends/live_audio.h"

namespace sim {

class SdlAudioOutput : public AudioOutputDevice {
 public:
  ~SdlAudioOutput() override;
  // The default output device, playing at once; false with the reason.
  bool open(unsigned rate, std::string* error);
  bool is_open() const { return device_ != 0; }
  void close();

  unsigned rate() const override { return rate_; }
  void queue(const AudioFrame* frames, size_t count) override;
  size_t queued() const override;

 private:
  SDL_AudioDeviceID device_ = 0;
  unsigned rate_ = 0;
};

class SdlAudioInput : public AudioInputDevice {
 public:
  ~SdlAudioInput() override;
  // The default recording device (the microphone), recording at once.
  bool open(unsigned rate, std::string* error);
  bool is_open() const { return device_ != 0; }
  void close();

  unsigned rate() const override { return rate_; }
  size_t take(AudioFrame* frames, size_t count) override;
  size_t available() const override;
  void discard(size_t count) override;

 private:
  SDL_AudioDeviceID device_ = 0;
  unsigned rate_ = 0;
};

}  // namespace sim
