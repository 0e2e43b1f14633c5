#include "devices/wav_audio.h"

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "core/shared_library.h"

namespace sim {

namespace {
constexpr size_t kChunk = 4096;

// libsndfile's functions, from the library opened at the first WAV file
// read (core/shared_library.h).
struct Sndfile {
  decltype(&::sf_open) open = nullptr;
  decltype(&::sf_close) close = nullptr;
  decltype(&::sf_readf_short) readf_short = nullptr;
  decltype(&::sf_strerror) strerror = nullptr;
  std::string error;  // why it is not there; empty when it is
};
const Sndfile& sndfile() {
  static const Sndfile lib = [] {
    Sndfile s;
    void* l = open_library("libsndfile.so.1", &s.error);
    if (l && !(library_function(l, "sf_open", &s.open, &s.error) && library_function(l, "sf_close", &s.close, &s.error) &&
               library_function(l, "sf_readf_short", &s.readf_short, &s.error) &&
               library_function(l, "sf_strerror", &s.strerror, &s.error)))
      s.error = "libsndfile.so.1: " + s.error;
    return s;
  }();
  return lib;
}

// libsndfile's own wording ("System error : No such file or directory.") as
// one of our lines: "No such file or directory".
std::string sndfile_error(SNDFILE* file) {
  std::string text = sndfile().strerror(file);
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
  const Sndfile& sf = sndfile();
  if (!sf.error.empty()) {
    *error = path + ": " + sf.error;
    return false;
  }
  SF_INFO info{};
  SNDFILE* f = sf.open(path.c_str(), SFM_READ, &info);
  if (!f) {
    *error = path + ": " + sndfile_error(nullptr);
    return false;
  }
  if (info.channels < 1 || info.samplerate < 1) {
    sf.close(f);
    *error = path + ": no audio channels";
    return false;
  }
  std::vector<short> raw(static_cast<size_t>(info.frames) * info.channels);
  sf_count_t got = sf.readf_short(f, raw.data(), info.frames);
  sf.close(f);
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

std::vector<uint8_t> wav_header(unsigned rate, uint64_t frames) {
  constexpr uint64_t kHeader = 80, kBlock = 4;  // 16-bit stereo
  const uint64_t data = frames * kBlock, riff = kHeader - 8 + data;
  const bool rf64 = riff > 0xFFFFFFFFull;
  std::vector<uint8_t> h;
  auto tag = [&](const char* t) { h.insert(h.end(), t, t + 4); };
  auto le = [&](uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) h.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  tag(rf64 ? "RF64" : "RIFF");
  le(rf64 ? 0xFFFFFFFFull : riff, 4);
  tag("WAVE");
  // ds64 in an RF64 file; in a WAV the same 28 bytes as a chunk every reader skips.
  tag(rf64 ? "ds64" : "JUNK");
  le(28, 4);
  le(rf64 ? riff : 0, 8);
  le(rf64 ? data : 0, 8);
  le(rf64 ? frames : 0, 8);
  le(0, 4);  // no table of other chunks' sizes
  tag("fmt ");
  le(16, 4);
  le(1, 2);  // WAVE_FORMAT_PCM
  le(2, 2);
  le(rate, 4);
  le(rate * kBlock, 4);
  le(kBlock, 2);
  le(16, 2);
  tag("data");
  le(rf64 ? 0xFFFFFFFFull : data, 4);
  return h;
}

WavFileSink::~WavFileSink() {
  if (file_) std::fclose(file_);
}

bool WavFileSink::fail(const std::string& why) {
  if (!failed_) {
    failed_ = true;
    error_ = "cannot write " + path_ + ": " + why;
  }
  return false;
}

bool WavFileSink::open(const std::string& path, unsigned rate, std::string* error) {
  failed_ = false;
  error_.clear();
  path_ = path;
  rate_ = rate;
  written_ = 0;
  file_ = std::fopen(path.c_str(), "wb");
  const std::vector<uint8_t> header = wav_header(rate, 0);
  // Written through at once, so that a disk that takes nothing fails here.
  if (!file_ || std::fwrite(header.data(), 1, header.size(), file_) != header.size() || std::fflush(file_) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    if (file_) std::fclose(file_);
    file_ = nullptr;
    return false;
  }
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
  return true;
}

uint64_t WavFileSink::index_at(VTime t) const { return frames_at(t, rate_); }

void WavFileSink::put(const AudioFrame* frames, size_t count) {
  static_assert(sizeof(AudioFrame) == 2 * sizeof(short), "frames are written as interleaved shorts");
  if (failed_) return;
  if (std::fwrite(frames, sizeof(AudioFrame), count, file_) != count) {
    fail(std::strerror(errno));
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
  const bool had_failed = failed_;
  if (!failed_) {
    // The sizes, now that they are known.
    const std::vector<uint8_t> header = wav_header(rate_, written_);
    if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header.data(), 1, header.size(), file_) != header.size())
      fail(std::strerror(errno));
  }
  if (std::fclose(file_) != 0) fail(std::strerror(errno));
  file_ = nullptr;
  if (failed_ && !had_failed) log_warning("audio-out", error_);
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
