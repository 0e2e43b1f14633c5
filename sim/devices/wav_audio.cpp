#include "devices/wav_audio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/log.h"

namespace sim {

namespace {
constexpr size_t kChunk = 4096;

// libsndfile's own wording ("System error : No such file or directory.") as
// one of our lines: "No such file or directory".
std::string sndfile_error(SNDFILE* file) {
  std::string text = sf_strerror(file);
  const std::string prefix = "System error : ";
  if (text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
  while (!text.empty() && (text.back() == '.' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// floor(t * rate / 1 s) without overflow for any run length.
uint64_t frames_at(VTime t, unsigned rate) {
  return static_cast<uint64_t>(static_cast<unsigned __int128>(t) * rate / kSecond);
}
}  // namespace

bool read_wav(const std::string& path, WavData* out, std::string* error) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) {
    *error = path + ": " + sndfile_error(nullptr);
    return false;
  }
  if (info.channels < 1 || info.samplerate < 1) {
    sf_close(f);
    *error = path + ": no audio channels";
    return false;
  }
  std::vector<short> raw(static_cast<size_t>(info.frames) * info.channels);
  sf_count_t got = sf_readf_short(f, raw.data(), info.frames);
  sf_close(f);
  out->rate = static_cast<unsigned>(info.samplerate);
  out->channels = info.channels;
  out->frames.resize(static_cast<size_t>(got));
  for (sf_count_t i = 0; i < got; ++i) {
    const short* p = &raw[static_cast<size_t>(i) * info.channels];
    out->frames[static_cast<size_t>(i)] = {p[0], info.channels > 1 ? p[1] : p[0]};
  }
  return true;
}

std::vector<AudioFrame> resample_linear(const std::vector<AudioFrame>& in, unsigned from, unsigned to) {
  if (from == to || in.empty()) return in;
  size_t n = static_cast<size_t>(std::llround(static_cast<double>(in.size()) * to / from));
  std::vector<AudioFrame> out(n);
  for (size_t j = 0; j < n; ++j) {
    double x = static_cast<double>(j) * from / to;
    size_t i = static_cast<size_t>(x);
    double frac = x - static_cast<double>(i);
    const AudioFrame& a = in[std::min(i, in.size() - 1)];
    const AudioFrame& b = in[std::min(i + 1, in.size() - 1)];
    out[j].left = saturate16(std::llround(a.left + (b.left - a.left) * frac));
    out[j].right = saturate16(std::llround(a.right + (b.right - a.right) * frac));
  }
  return out;
}

// ---- writer --------------------------------------------------------------------

WavFileSink::~WavFileSink() {
  if (file_) sf_close(file_);
}

bool WavFileSink::open(const std::string& path, unsigned rate, std::string* error) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = 2;
  // RF64 that stays a plain WAV while it can: a WAV's 32-bit sizes end at
  // 4 GiB (about 19 h at the board's rate), and the header would lie past it.
  info.format = SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
  file_ = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file_) {
    *error = "cannot write " + path + ": " + sndfile_error(nullptr);
    return false;
  }
  sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  failed_ = false;
  error_.clear();
  path_ = path;
  rate_ = rate;
  written_ = 0;
  return true;
}

uint64_t WavFileSink::index_at(VTime t) const { return frames_at(t, rate_); }

void WavFileSink::put(const AudioFrame* frames, size_t count) {
  static_assert(sizeof(AudioFrame) == 2 * sizeof(short), "frames are written as interleaved shorts");
  if (failed_) return;
  if (sf_writef_short(file_, reinterpret_cast<const short*>(frames), static_cast<sf_count_t>(count)) !=
      static_cast<sf_count_t>(count)) {
    failed_ = true;
    error_ = "cannot write " + path_ + ": " + sndfile_error(file_);
    log_warning("audio-out", error_ + "; the file ends at " + std::to_string(written_ / rate_) + " s of audio");
    return;
  }
  written_ += count;
}

void WavFileSink::pad_to(uint64_t index) {
  static const std::vector<AudioFrame> silence(kChunk);
  while (written_ < index && !failed_) put(silence.data(), static_cast<size_t>(std::min<uint64_t>(kChunk, index - written_)));
}

void WavFileSink::frames(VTime start, VTime period, const AudioFrame* frames, size_t count) {
  if (!file_ || count == 0) return;
  const uint64_t j0 = index_at(start);
  const uint64_t j1 = index_at(start + period * count);
  if (j0 < written_ && !overlap_reported_) {
    overlap_reported_ = true;
    log_warning("audio-out", path_ + ": frames for time already written are dropped (reported once)");
  }
  pad_to(j0);
  if (j1 <= written_) return;
  if (j1 - j0 == count) {
    uint64_t skip = written_ - j0;
    put(frames + skip, count - static_cast<size_t>(skip));
    return;
  }
  std::vector<AudioFrame> out;
  out.reserve(static_cast<size_t>(j1 - written_));
  for (uint64_t j = written_; j < j1; ++j) out.push_back(frames[(j - j0) * count / (j1 - j0)]);
  put(out.data(), out.size());
}

void WavFileSink::finish(VTime end) {
  if (!file_) return;
  pad_to(index_at(end));
  if (sf_close(file_) != 0 && !failed_) {
    failed_ = true;
    error_ = "cannot write " + path_ + ": " + sndfile_error(nullptr);
    log_warning("audio-out", error_);
  }
  file_ = nullptr;
}

// ---- source --------------------------------------------------------------------

bool WavFileSource::open(const std::string& path, std::string* error) {
  if (!read_wav(path, &data_, error)) return false;
  path_ = path;
  if (data_.channels != 2)
    log_warning("audio-in", path + ": " + std::to_string(data_.channels) + " channel(s), " +
                                (data_.channels == 1 ? "heard on both channels" : "the first two are heard"));
  return true;
}

void WavFileSource::frames(VTime start, VTime period, AudioFrame* frames, size_t count) {
  const uint64_t rate = data_.rate;
  const size_t n = data_.frames.size();
  // Same rate: each frame time maps onto one file frame.
  if (kSecond == period * rate) {
    for (size_t i = 0; i < count; ++i) {
      uint64_t j = frames_at(start + period * i, data_.rate);
      frames[i] = j < n ? data_.frames[static_cast<size_t>(j)] : AudioFrame{};
    }
    return;
  }
  if (resample_reported_for_ != period) {
    resample_reported_for_ = period;
    char iis_rate[32];
    std::snprintf(iis_rate, sizeof iis_rate, "%.1f", static_cast<double>(kSecond) / period);
    log_warning("audio-in", path_ + ": " + std::to_string(rate) + " Hz resampled linearly to the IIS rate of " +
                                iis_rate + " Hz (reported once per rate)");
  }
  for (size_t i = 0; i < count; ++i) {
    const VTime t = start + period * i;
    const unsigned __int128 scaled = static_cast<unsigned __int128>(t) * rate;
    const uint64_t j = static_cast<uint64_t>(scaled / kSecond);
    const double frac = static_cast<double>(static_cast<uint64_t>(scaled % kSecond)) / kSecond;
    if (j >= n) {
      frames[i] = AudioFrame{};
      continue;
    }
    const AudioFrame& a = data_.frames[static_cast<size_t>(j)];
    const AudioFrame b = j + 1 < n ? data_.frames[static_cast<size_t>(j + 1)] : AudioFrame{};
    frames[i].left = saturate16(std::llround(a.left + (b.left - a.left) * frac));
    frames[i].right = saturate16(std::llround(a.right + (b.right - a.right) * frac));
  }
}

}  // namespace sim
