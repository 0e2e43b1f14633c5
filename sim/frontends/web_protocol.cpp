#include "frontends/web_protocol.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <random>

namespace sim {
namespace web {

namespace {

void put16(std::string& out, unsigned v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

unsigned get16(std::string_view m, size_t at) {
  return static_cast<uint8_t>(m[at]) | static_cast<unsigned>(static_cast<uint8_t>(m[at + 1])) << 8;
}

bool row_equal(const uint8_t* a, const uint8_t* b, int y) {
  return std::equal(a + y * kScreenWidth, a + (y + 1) * kScreenWidth, b + y * kScreenWidth);
}

// Length of the UTF-8 sequence starting at s[i], 0 when it is not a valid
// one (overlong forms, surrogates and code points past U+10FFFF included).
size_t utf8_length(std::string_view s, size_t i) {
  auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  uint8_t c = byte(i);
  if (c < 0x80) return 1;
  size_t n;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF) n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4) n = 4, cp = c & 0x07;
  else return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (byte(i + k) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

}  // namespace

bool decode_page_message(const uint8_t* data, size_t size, PageInput* out, std::string* why) {
  if (size == 0) {
    *why = "an empty message";
    return false;
  }
  if (size > kMaxPageMessage) {
    *why = "a message of " + std::to_string(size) + " bytes (at most " + std::to_string(kMaxPageMessage) + ")";
    return false;
  }
  PageInput in;
  in.op = static_cast<Op>(data[0]);
  auto operand = [&](const char* what, auto valid) {
    if (size != 2) {
      *why = std::string(what) + " takes one operand byte, not " + std::to_string(size - 1);
      return false;
    }
    if (!valid(data[1])) {
      char text[96];
      std::snprintf(text, sizeof text, "%s with the operand 0x%02X", what, data[1]);
      *why = text;
      return false;
    }
    in.code = data[1];
    return true;
  };
  auto bare = [&](const char* what) {
    if (size == 1) return true;
    *why = std::string(what) + " takes no operand";
    return false;
  };
  auto is_key = [](uint8_t v) { return v <= 15; };
  auto is_button = [](uint8_t v) { return v == 0x40 || v == 0x80; };
  auto is_flag = [](uint8_t v) { return v <= 1; };
  bool ok = false;
  switch (in.op) {
    case Op::kKeyDown: ok = operand("key down", is_key); break;
    case Op::kKeyUp: ok = operand("key up", is_key); break;
    case Op::kButtonDown: ok = operand("button down", is_button); break;
    case Op::kButtonUp: ok = operand("button up", is_button); break;
    case Op::kFast: ok = operand("fast-forward", is_flag); break;
    case Op::kSound: ok = operand("sound", is_flag); break;
    case Op::kQuit: ok = bare("quit"); break;
    case Op::kFrameAck: ok = bare("frame ack"); break;
    case Op::kReleaseAll: ok = bare("release all"); break;
    case Op::kUart:
      if (size < 2) {
        *why = "console input without bytes";
        return false;
      }
      in.bytes.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
      ok = true;
      break;
    default: {
      char text[48];
      std::snprintf(text, sizeof text, "an unknown opcode 0x%02X", data[0]);
      *why = text;
      return false;
    }
  }
  if (ok) *out = std::move(in);
  return ok;
}

std::string encode_page_message(const PageInput& input) {
  std::string m(1, static_cast<char>(input.op));
  switch (input.op) {
    case Op::kUart: m += input.bytes; break;
    case Op::kQuit:
    case Op::kFrameAck:
    case Op::kReleaseAll: break;
    default: m.push_back(static_cast<char>(input.code)); break;
  }
  return m;
}

std::string encode_screen(const uint8_t* before, const uint8_t* after) {
  std::string m(1, static_cast<char>(Kind::kScreen));
  put16(m, 0);
  unsigned bands = 0;
  int y = 0;
  while (y < kScreenHeight) {
    if (before && row_equal(before, after, y)) {
      ++y;
      continue;
    }
    int first = y;
    while (y < kScreenHeight && !(before && row_equal(before, after, y))) ++y;
    put16(m, static_cast<unsigned>(first));
    put16(m, static_cast<unsigned>(y - first));
    for (int row = first; row < y; ++row) {
      const uint8_t* p = after + row * kScreenWidth;
      for (int x = 0; x < kScreenWidth; x += 2)
        m.push_back(static_cast<char>(std::min<int>(p[x], 15) << 4 | std::min<int>(p[x + 1], 15)));
    }
    ++bands;
  }
  if (bands == 0) return {};
  m[1] = static_cast<char>(bands & 0xFF);
  m[2] = static_cast<char>(bands >> 8);
  return m;
}

bool apply_screen(std::string_view m, uint8_t* frame) {
  if (m.size() < 3 || static_cast<Kind>(m[0]) != Kind::kScreen) return false;
  // Checked whole before any pixel changes.
  unsigned bands = get16(m, 1);
  size_t at = 3;
  for (unsigned b = 0; b < bands; ++b) {
    if (at + 4 > m.size()) return false;
    unsigned first = get16(m, at), rows = get16(m, at + 2);
    if (first + rows > static_cast<unsigned>(kScreenHeight)) return false;
    at += 4 + static_cast<size_t>(rows) * kRowBytes;
    if (at > m.size()) return false;
  }
  if (at != m.size()) return false;
  at = 3;
  for (unsigned b = 0; b < bands; ++b) {
    unsigned first = get16(m, at), rows = get16(m, at + 2);
    at += 4;
    for (unsigned row = first; row < first + rows; ++row)
      for (int x = 0; x < kScreenWidth; x += 2) {
        uint8_t v = static_cast<uint8_t>(m[at++]);
        frame[row * kScreenWidth + x] = v >> 4;
        frame[row * kScreenWidth + x + 1] = v & 0x0F;
      }
  }
  return true;
}

std::string encode_console(std::string_view bytes) {
  std::string m(1, static_cast<char>(Kind::kConsole));
  m += bytes;
  return m;
}

std::string encode_audio(const AudioFrame* frames, size_t count) {
  std::string m(1, static_cast<char>(Kind::kAudio));
  m.reserve(1 + count * 4);
  for (size_t i = 0; i < count; ++i) {
    put16(m, static_cast<uint16_t>(frames[i].left));
    put16(m, static_cast<uint16_t>(frames[i].right));
  }
  return m;
}

std::string json_string(std::string_view s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = utf8_length(s, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (n > 1) {
      out.append(s.substr(i, n));
      i += n;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
    ++i;
  }
  return out + "\"";
}

std::string new_token() {
  std::random_device urandom("/dev/urandom");
  std::string hex;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(urandom()));
    hex += part;
  }
  return hex;
}

bool token_matches(std::string_view given, std::string_view token) {
  // The length is no secret (always 32); the contents are compared whole.
  if (given.size() != token.size() || token.empty()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < token.size(); ++i)
    diff |= static_cast<unsigned char>(given[i] ^ token[i]);
  return diff == 0;
}

bool query_param(std::string_view target, std::string_view name, std::string_view* value) {
  size_t q = target.find('?');
  if (q == std::string_view::npos) return false;
  std::string_view query = target.substr(q + 1);
  size_t hash = query.find('#');
  if (hash != std::string_view::npos) query = query.substr(0, hash);
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    size_t eq = pair.find('=');
    if (pair.substr(0, eq) == name) {
      *value = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
      return true;
    }
    if (amp == std::string_view::npos) break;
    query = query.substr(amp + 1);
  }
  return false;
}

std::string_view target_path(std::string_view target) { return target.substr(0, target.find('?')); }

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool is_ip_address(const std::string& host) {
  in6_addr v6;
  in_addr v4;
  return inet_pton(AF_INET, host.c_str(), &v4) == 1 || inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

}  // namespace

std::string authority_host(std::string_view authority) {
  if (authority.empty() || authority.find_first_of("/?#@ \t") != std::string_view::npos) return {};
  std::string_view host = authority;
  std::string_view port;
  if (authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string_view::npos) return {};
    host = authority.substr(1, close - 1);
    std::string_view rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':') return {};
      port = rest.substr(1);
    }
    if (host.empty() || host.find(':') == std::string_view::npos) return {};
  } else {
    size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
      port = authority.substr(colon + 1);
      host = authority.substr(0, colon);
      if (port.find(':') != std::string_view::npos) return {};
    }
    if (host.empty()) return {};
  }
  if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos) return {};
  std::string h = lower(host);
  if (!h.empty() && h.back() == '.') h.pop_back();  // "localhost." is localhost
  return h;
}

bool parse_origin(std::string_view text, std::string* origin, std::string* why) {
  std::string t = lower(text);
  if (!t.empty() && t.back() == '/') t.pop_back();
  size_t scheme = t.find("://");
  if (scheme == std::string::npos || (t.substr(0, scheme) != "http" && t.substr(0, scheme) != "https")) {
    *why = "'" + std::string(text) + "' is no http:// or https:// address (e.g. https://lab.example.org)";
    return false;
  }
  std::string authority = t.substr(scheme + 3);
  if (authority_host(authority).empty()) {
    *why = "'" + std::string(text) + "' is no scheme://host[:port] (no path: e.g. https://lab.example.org:8443)";
    return false;
  }
  *origin = t;
  return true;
}

bool host_allowed(std::string_view host, const Audience& audience) {
  std::string h = authority_host(host);
  if (h.empty()) return false;
  if (h == "localhost" || is_ip_address(h)) return true;
  for (const std::string& name : audience.names)
    if (h == lower(name)) return true;
  if (!audience.public_origin.empty()) {
    size_t scheme = audience.public_origin.find("://");
    if (h == authority_host(std::string_view(audience.public_origin).substr(scheme + 3))) return true;
  }
  return false;
}

bool origin_allowed(std::string_view origin, bool present, std::string_view host, const Audience& audience) {
  if (!present) return true;
  std::string o = lower(origin);
  if (!audience.public_origin.empty() && o == audience.public_origin) return true;
  size_t scheme = o.find("://");
  if (scheme == std::string::npos) return false;  // "null" and the like
  std::string_view s = std::string_view(o).substr(0, scheme);
  if (s != "http" && s != "https") return false;
  return !host.empty() && o.substr(scheme + 3) == lower(host) && host_allowed(host, audience);
}

}  // namespace web
}  // namespace sim
