#include "frontends/interactive.h"

#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace sim {

RawConsole::RawConsole() {
  if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_) == 0) {
    termios raw = saved_;
    cfmakeraw(&raw);
    raw.c_lflag |= ISIG;
    raw.c_oflag |= OPOST;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    restore_ = true;
  }
}

RawConsole::~RawConsole() {
  if (restore_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
}

std::vector<uint8_t> RawConsole::read_available() {
  std::vector<uint8_t> bytes;
  while (!eof_) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) break;
    uint8_t buf[256];
    ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
      eof_ = true;
      break;
    }
    bytes.insert(bytes.end(), buf, buf + n);
  }
  return bytes;
}

Pacer::Pacer(VTime now) { anchor(now); }

void Pacer::anchor(VTime now) {
  virtual_anchor_ = now;
  wall_anchor_ = Clock::now();
  sample_virtual_ = now;
  sample_wall_ = wall_anchor_;
}

void Pacer::set_fast(bool fast, VTime now) {
  if (fast == fast_) return;
  fast_ = fast;
  anchor(now);
}

VTime Pacer::due(VTime now) {
  if (fast_) return kForever;
  auto wall = Clock::now();
  auto elapsed_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wall - wall_anchor_).count();
  VTime due = virtual_anchor_ + static_cast<VTime>(elapsed_ns) * kNanosecond;
  if (due > now + kMaxLag) {
    // Behind by more than we are willing to make up: start again from here.
    virtual_anchor_ = now + kMaxLag;
    wall_anchor_ = wall;
    due = virtual_anchor_;
  }
  return due;
}

double Pacer::speed(VTime now) {
  auto wall = Clock::now();
  double seconds = std::chrono::duration<double>(wall - sample_wall_).count();
  if (seconds >= 0.5) {
    speed_ = static_cast<double>(now - sample_virtual_) / static_cast<double>(kSecond) / seconds;
    sample_virtual_ = now;
    sample_wall_ = wall;
  }
  return speed_;
}

std::string format_seconds(VTime t) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(t) / static_cast<double>(kSecond));
  return text;
}

std::string format_speed(double speed, bool fast) {
  char text[48];
  std::snprintf(text, sizeof text, speed < 10 ? "%.2fx %s" : "%.1fx %s", speed, fast ? "fast-forward" : "real time");
  return text;
}

std::string codec_status(Board& board) {
  Uda1341ts& codec = board.codec();
  char volume[24] = "volume silent";
  if (std::isfinite(codec.volume_db())) std::snprintf(volume, sizeof volume, "%.0f dB", codec.volume_db());
  char text[96];
  std::snprintf(text, sizeof text, "codec: DAC %s, ADC %s, %s%s", codec.dac_powered() ? "on" : "off",
                codec.adc_powered() ? "on" : "off", volume, codec.muted() ? ", muted" : "");
  return text;
}

}  // namespace sim
