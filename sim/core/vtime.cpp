#include "vtime.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sim {

bool parse_duration(const std::string& text, VTime* out) {
  if (text.empty()) return false;
  const char* begin = text.c_str();
  char* end = nullptr;
  double value = std::strtod(begin, &end);
  if (end == begin || !std::isfinite(value) || value < 0) return false;
  std::string unit(end);
  double scale;
  if (unit == "s" || unit.empty()) scale = 1e12;
  else if (unit == "ms") scale = 1e9;
  else if (unit == "us") scale = 1e6;
  else if (unit == "ns") scale = 1e3;
  else if (unit == "min") scale = 60e12;
  else return false;
  double ps = value * scale;
  if (ps > 1e19) return false;
  *out = static_cast<VTime>(std::llround(ps));
  return true;
}

std::string format_duration(VTime t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6fs", static_cast<double>(t) / 1e12);
  return buf;
}

}  // namespace sim
