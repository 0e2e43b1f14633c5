#include "vtime.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sim {

// One way to write a number of them: decimal digits, a decimal point and an
// exponent allowed ("1.5", "2e-3", ".5"), nothing else (no sign, no spaces,
// no hexadecimal, no "inf").
bool parse_duration(const std::string& text, VTime* out) {
  size_t i = 0, digits = 0;
  auto skip_digits = [&] {
    size_t from = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - from;
  };
  digits += skip_digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    digits += skip_digits();
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (skip_digits() == 0) return false;
  }
  const double value = std::strtod(text.substr(0, i).c_str(), nullptr);
  const std::string unit = text.substr(i);
  double scale;
  if (unit == "s" || unit.empty()) scale = 1e12;
  else if (unit == "ms") scale = 1e9;
  else if (unit == "us") scale = 1e6;
  else if (unit == "ns") scale = 1e3;
  else if (unit == "min") scale = 60e12;
  else return false;
  const double ps = value * scale;
  // The limit (about 116 days) is below 2^64 ps, so every duration taken is
  // held exactly as written; anything past it is refused, never wrapped.
  if (!std::isfinite(ps) || ps > kMaxDurationPs) return false;
  *out = static_cast<VTime>(std::round(ps));
  return true;
}

std::string format_duration(VTime t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6fs", static_cast<double>(t) / 1e12);
  return buf;
}

}  // namespace sim
