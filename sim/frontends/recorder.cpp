#include "frontends/recorder.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "board/board.h"
#include "frontends/scenario.h"

namespace sim {

namespace {
// What `key K` and `button M` add after the release in a script.
constexpr VTime kScriptPause = 150 * kMillisecond;
constexpr VTime kScriptHold = 100 * kMillisecond;
// A wait line at most this long: its picoseconds stay exact through the
// parser's double (2^53 ps is about 9000 s).
constexpr VTime kLongestWait = 1000 * kSecond;

std::string hex_mask(int mask) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", mask);
  return text;
}
}  // namespace

Recorder::~Recorder() {
  if (file_) std::fclose(file_);
}

std::string Recorder::duration_text(VTime t) {
  char text[48];
  if (t % kSecond == 0) {
    std::snprintf(text, sizeof text, "%" PRIu64 "s", t / kSecond);
    return text;
  }
  std::snprintf(text, sizeof text, "%" PRIu64 ".%09" PRIu64, t / kMillisecond, t % kMillisecond);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s + "ms";
}

bool Recorder::open(const std::string& path, VTime start, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  file_ = std::fopen(path.c_str(), "w");
  if (!file_) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  path_ = path;
  written_to_ = start;
  return true;
}

void Recorder::line(const std::string& text) {
  if (!file_ || write_failed_) return;
  // Line by line, so that a run that ends badly still leaves every input
  // up to its end.
  if (std::fputs((text + "\n").c_str(), file_) < 0 || std::fflush(file_) != 0) {
    write_failed_ = true;
    write_errno_ = errno;
  }
}

void Recorder::comment(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  line("# " + text);
}

void Recorder::rtc(const RtcTime& t) {
  std::lock_guard<std::mutex> lock(mutex_);
  char text[64];
  // The chip keeps two digits of the year; the host's clock is in this century.
  std::snprintf(text, sizeof text, "rtc 20%02d-%02d-%02d %02d:%02d:%02d", t.year, t.mon, t.mday, t.hour, t.min,
                t.sec);
  line(text);
}

void Recorder::eeprom(const uint8_t* bytes, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  constexpr size_t kPerLine = 32;
  line("# the EEPROM's " + std::to_string(size) + " bytes at the start");
  for (size_t at = 0; at < size; at += kPerLine) {
    char text[40];
    std::snprintf(text, sizeof text, "eeprom 0x%03zX ", at);
    std::string l = text;
    for (size_t i = at; i < std::min(size, at + kPerLine); ++i) {
      std::snprintf(text, sizeof text, "%02X", bytes[i]);
      l += text;
    }
    line(l);
  }
}

void Recorder::wait_until(VTime t) {
  while (t > written_to_) {
    VTime step = std::min(t - written_to_, kLongestWait);
    line("wait " + duration_text(step));
    written_to_ += step;
  }
}

std::string Recorder::target(const Press& p) const {
  return p.button ? hex_mask(p.code) : std::to_string(p.code);
}

// Writes what is pending, now that the next input comes at `next`.
void Recorder::settle(VTime next) {
  if (!uart_.empty()) {
    wait_until(uart_at_);
    line("uart \"" + escape(uart_, true) + "\"");
    uart_.clear();
  }
  if (!press_) return;
  const Press p = *press_;
  press_.reset();
  const char* verb = p.button ? "button" : "key";
  wait_until(p.down);
  if (p.up && next - *p.up >= kScriptPause) {
    VTime hold = *p.up - p.down;
    line(std::string(verb) + " " + target(p) + (hold == kScriptHold ? "" : " hold " + duration_text(hold)));
    written_to_ = *p.up + kScriptPause;
    return;
  }
  line(std::string(verb) + "down " + target(p));
  if (p.up) {
    wait_until(*p.up);
    line(std::string(verb) + "up " + target(p));
  }
}

void Recorder::key_down(int key, VTime at) {
  std::lock_guard<std::mutex> lock(mutex_);
  settle(at);
  press_ = Press{false, key, std::max(at, written_to_), std::nullopt};
}

void Recorder::button_down(uint8_t mask, VTime at) {
  std::lock_guard<std::mutex> lock(mutex_);
  settle(at);
  press_ = Press{true, mask, std::max(at, written_to_), std::nullopt};
}

void Recorder::key_up(int key, VTime at) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (press_ && !press_->button && press_->code == key && !press_->up) {
    press_->up = std::max(at, press_->down);
    return;
  }
  settle(at);
  wait_until(at);
  line("keyup " + std::to_string(key));
}

void Recorder::button_up(uint8_t mask, VTime at) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (press_ && press_->button && press_->code == mask && !press_->up) {
    press_->up = std::max(at, press_->down);
    return;
  }
  settle(at);
  wait_until(at);
  line("buttonup " + hex_mask(mask));
}

void Recorder::console(const std::vector<uint8_t>& bytes, VTime at) {
  if (bytes.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (uart_.empty() || at != uart_at_ || press_) {
    settle(at);
    uart_at_ = std::max(at, written_to_);
  }
  uart_.append(bytes.begin(), bytes.end());
}

bool Recorder::finish(VTime now, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_) return true;
  settle(now);
  wait_until(now);
  line("# the session ended here, at " + format_duration(now) + " of virtual time");
  bool ok = !write_failed_;
  int why = write_errno_;
  if (std::fclose(file_) != 0 && ok) {
    ok = false;
    why = errno;
  }
  file_ = nullptr;
  if (!ok) *error = "cannot write " + path_ + ": " + std::strerror(why);
  return ok;
}

void apply_target(Board& board, Recorder* recorder, view::Target target, bool down) {
  const bool key = target.kind == view::Target::kKey;
  const auto mask = static_cast<uint8_t>(target.code);
  if (down) {
    if (key) board.keypad().key_down(target.code);
    else board.buttons().press(mask);
  } else {
    if (key) board.keypad().key_up(target.code);
    else board.buttons().release(mask);
  }
  if (!recorder) return;
  if (down) {
    if (key) recorder->key_down(target.code, board.now());
    else recorder->button_down(mask, board.now());
  } else {
    if (key) recorder->key_up(target.code, board.now());
    else recorder->button_up(mask, board.now());
  }
}

}  // namespace sim
