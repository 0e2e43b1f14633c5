#include "frontends/live_audio.h"

#include <algorithm>
#include <cmath>

namespace sim {

VTime LiveAudioSink::device_time(uint64_t index) const {
  const uint64_t rate = device_.rate();
  return stream_start_ + (index / rate) * kSecond + (index % rate) * kSecond / rate;
}

size_t LiveAudioSink::device_frames(VTime duration) const {
  return static_cast<size_t>(duration / kMicrosecond * device_.rate() / 1000000);
}

void LiveAudioSink::set_muted(bool muted) {
  muted_ = muted;
  if (muted) streaming_ = false;
}

void LiveAudioSink::frames(VTime start, VTime period, const AudioFrame* frames, size_t count) {
  if (muted_ || count == 0 || period == 0 || device_.rate() == 0) return;
  const VTime end = start + period * count;
  if (!streaming_ || start > device_time(next_) + kGapLimit) {
    streaming_ = true;
    stream_start_ = start;
    next_ = 0;
    size_t lead = device_frames(kLead);
    size_t queued = device_.queued();
    if (queued < lead) {
      std::vector<AudioFrame> silence(lead - queued);
      device_.queue(silence.data(), silence.size());
    }
  }

  out_.clear();
  for (VTime t = device_time(next_); t < end; t = device_time(++next_)) {
    if (t < start) out_.push_back(AudioFrame{});
    else out_.push_back(frames[std::min<uint64_t>((t - start) / period, count - 1)]);
  }
  if (out_.empty()) return;
  if (device_.queued() + out_.size() > device_frames(kMaxQueued)) {
    dropped_ += out_.size();
    return;
  }
  device_.queue(out_.data(), out_.size());
}

void LiveAudioSource::frames(VTime, VTime period, AudioFrame* frames, size_t count) {
  std::fill(frames, frames + count, AudioFrame{});
  const unsigned rate = device_.rate();
  if (count == 0 || period == 0 || rate == 0) return;

  double wanted = static_cast<double>(count) * static_cast<double>(period) * rate / static_cast<double>(kSecond) + phase_;
  size_t needed = static_cast<size_t>(std::floor(wanted));
  phase_ = wanted - static_cast<double>(needed);

  size_t keep = needed + static_cast<size_t>(static_cast<double>(kMaxLatency) * rate / static_cast<double>(kSecond));
  size_t available = device_.available();
  if (available > keep) device_.discard(available - keep);

  in_.resize(needed);
  size_t got = device_.take(in_.data(), needed);
  if (got == 0) return;
  // Frame i of the request falls on device frame i * step.
  double step = static_cast<double>(needed) / static_cast<double>(count);
  for (size_t i = 0; i < count; ++i) {
    size_t j = static_cast<size_t>(static_cast<double>(i) * step);
    if (j >= got) break;
    frames[i] = in_[j];
  }
}

}  // namespace sim
