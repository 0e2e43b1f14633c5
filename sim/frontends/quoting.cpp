#include "frontends/quoting.h"

#include <cstdio>

namespace sim {

namespace {

// The length of the well-formed UTF-8 sequence at text[i] (1 for ASCII),
// or 0 when the bytes there are not one. Overlong forms and surrogates are
// not well formed.
std::size_t utf8_length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b = byte(i);
  if (b < 0x80) return 1;
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF) n = 2;
  else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  // U+0080..U+009F: the C1 controls (CSI among them).
  if (n == 2 && b == 0xC2 && byte(i + 1) <= 0x9F) return 0;
  return n;
}

}  // namespace

std::string quoted_line(std::string_view line, std::size_t shown) {
  const std::string_view head = line.substr(0, shown);
  std::string text;
  for (std::size_t i = 0; i < head.size();) {
    const unsigned char c = static_cast<unsigned char>(head[i]);
    const std::size_t n = c < 0x20 || c == 0x7F ? 0 : utf8_length(head, i);
    if (n == 0) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      text += buf;
      ++i;
    } else {
      text.append(head.substr(i, n));
      i += n;
    }
  }
  if (line.size() > shown) text += "... (" + std::to_string(line.size()) + " bytes)";
  return text;
}

}  // namespace sim
