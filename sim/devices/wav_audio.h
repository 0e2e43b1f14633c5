// WAV files at the board's audio edges (libsndfile): the --audio-out
// writer, the --audio-in reader, and the reading and conversion that the
// sample clips share.
#pragma once
#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "devices/audio.h"

namespace sim {

// A sound file's frames as 16-bit stereo at the file's own rate: a mono file
// is heard on both channels, a file with more channels gives its first two.
struct WavData {
  unsigned rate = 0;
  int channels = 0;  // as in the file
  std::vector<AudioFrame> frames;
};
bool read_wav(const std::string& path, WavData* out, std::string* error);

// Linear interpolation from one rate to another; the output has
// round(n * to / from) frames. Equal rates copy.
std::vector<AudioFrame> resample_linear(const std::vector<AudioFrame>& in, unsigned from, unsigned to);

// What the codec plays, as one continuous 16-bit stereo timeline at a fixed
// rate: frame j of the file is what plays at virtual time j / rate. Gaps
// between batches are written as silence, and finish() pads up to the end of
// the run, so the file lasts exactly as long as the run. Batches at another
// rate are resampled by holding the nearest earlier frame. The file is a
// plain PCM WAV (format tag 1, which every reader takes, Python's `wave`
// included) while its sizes fit 32 bits, RF64 past 4 GiB: a JUNK chunk
// keeps the room a ds64 chunk needs, so the header is rewritten in place.
// The 80-byte header of such a file holding `frames` 16-bit stereo frames.
std::vector<uint8_t> wav_header(unsigned rate, uint64_t frames);

class WavFileSink : public AudioSink {
 public:
  WavFileSink() = default;
  ~WavFileSink() override;
  WavFileSink(const WavFileSink&) = delete;
  WavFileSink& operator=(const WavFileSink&) = delete;

  bool open(const std::string& path, unsigned rate, std::string* error);
  void frames(VTime start, VTime period, const AudioFrame* frames, size_t count) override;
  void finish(VTime end) override;

  uint64_t frames_written() const { return written_; }
  // A write failed (a full disk): reported once, the file ends there.
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }

 private:
  uint64_t index_at(VTime t) const;
  void pad_to(uint64_t index);
  void put(const AudioFrame* frames, size_t count);

  bool fail(const std::string& why);

  std::FILE* file_ = nullptr;
  std::string path_;
  unsigned rate_ = 0;
  uint64_t written_ = 0;
  bool overlap_reported_ = false;
  bool failed_ = false;
  std::string error_;
};

// What the codec's input hears: the file from virtual time 0 on, then
// silence. At the file's own rate a frame is the file's frame at or before
// its time; at any other rate the file is interpolated linearly (reported
// once).
class WavFileSource : public AudioSource {
 public:
  bool open(const std::string& path, std::string* error);
  void frames(VTime start, VTime period, AudioFrame* frames, size_t count) override;

  unsigned rate() const { return data_.rate; }
  size_t length() const { return data_.frames.size(); }

 private:
  std::string path_;
  WavData data_;
  VTime resample_reported_for_ = 0;
};

}  // namespace sim
