// What board-sim and its web page (--ui web) say to each other over the
// WebSocket, and the access token every request carries. No networking
// here: the encodings are plain functions so that they can be tested alone
// (the page's app.js reads and writes the same layouts).
//
// Page -> board-sim: binary messages, an opcode byte and its operand.
//   0x01 K / 0x02 K     keypad key K (0..15) pressed / let go
//   0x03 M / 0x04 M     push-button M (0x40 or 0x80) pressed / let go
//   0x05 BYTES          bytes for UART0's receiver (1..kMaxUartBytes)
//   0x06 0|1            fast-forward off / on
//   0x07                quit board-sim
//   0x08                the last screen message is drawn: send the next
//   0x09 0|1            sound off / on for this page
//   0x0A                let go of everything held (the page lost the focus)
// Anything else (a text message, an unknown opcode, a wrong length or
// operand) is refused with the reason, for one note on stderr.
//
// board-sim -> page: binary messages for the streams, a type byte first
// (multi-byte numbers little-endian),
//   0x01 screen         u16 band count, then per band u16 first row, u16 row
//                       count and the rows, 160 bytes each: two pixels a byte,
//                       the left one in the high nibble, grey 0 (white)..15
//   0x02 console        the bytes UART0 sent
//   0x03 audio          16-bit stereo frames (left, right) at the board's rate
// and JSON text messages for everything else ({"t":"hello"|"role"|"state"|
// "note"|"end", ...}, see web_ui.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "devices/audio.h"

namespace sim {
namespace web {

enum class Op : uint8_t {
  kKeyDown = 0x01,
  kKeyUp = 0x02,
  kButtonDown = 0x03,
  kButtonUp = 0x04,
  kUart = 0x05,
  kFast = 0x06,
  kQuit = 0x07,
  kFrameAck = 0x08,
  kSound = 0x09,
  kReleaseAll = 0x0A,
};

// A line typed in the console pane, with room to spare; the page cuts
// longer pastes into pieces of this size.
constexpr size_t kMaxUartBytes = 1024;
constexpr size_t kMaxPageMessage = 1 + kMaxUartBytes;

struct PageInput {
  Op op = Op::kFrameAck;
  int code = 0;        // key 0..15, button mask, or 0/1 for kFast and kSound
  std::string bytes;   // kUart
};

// One page message; false with the reason when it is not one.
bool decode_page_message(const uint8_t* data, size_t size, PageInput* out, std::string* why);
// The message that decodes to `input` (the page's side, for tests).
std::string encode_page_message(const PageInput& input);

enum class Kind : uint8_t { kScreen = 0x01, kConsole = 0x02, kAudio = 0x03 };

constexpr int kScreenWidth = 320;
constexpr int kScreenHeight = 240;
constexpr int kRowBytes = kScreenWidth / 2;

// The rows of `after` that differ from `before` (nullptr: every row), as a
// screen message; empty when nothing differs. Frames are 320 x 240 grey
// levels, one byte per pixel.
std::string encode_screen(const uint8_t* before, const uint8_t* after);
// Applies a screen message to `frame`; false (frame untouched) when it is
// malformed.
bool apply_screen(std::string_view message, uint8_t* frame);

std::string encode_console(std::string_view bytes);
std::string encode_audio(const AudioFrame* frames, size_t count);

// `text` as a JSON string literal. Bytes that are not UTF-8 become U+FFFD,
// so a path or a console line in another encoding cannot make the page
// drop the connection (a WebSocket text message must be valid UTF-8).
std::string json_string(std::string_view text);

// 128 random bits from /dev/urandom as 32 lower-case hex digits.
std::string new_token();
// Whether `given` is `token`, in a time that does not depend on where they
// first differ.
bool token_matches(std::string_view given, std::string_view token);
// The value of query parameter `name` in a request target
// ("/path?a=1&token=..."), taken literally; false when it is absent.
bool query_param(std::string_view target, std::string_view name, std::string_view* value);
// The target without its query.
std::string_view target_path(std::string_view target);

// Who may ask: the names a request's Host header and a WebSocket's Origin
// header may carry. A page from another origin, or a name made to point at
// this machine (DNS rebinding), must not reach the board even if it has
// learnt the token.
//
// `text` ("http://host[:port]" or "https://...", no path; a trailing '/' is
// allowed) as "scheme://authority" in lower case; false with the reason.
bool parse_origin(std::string_view text, std::string* origin, std::string* why);
// The host of an authority ("Host" header, "[::1]:8044" -> "::1",
// "Lab.Example:80" -> "lab.example"); empty when malformed.
std::string authority_host(std::string_view authority);
struct Audience {
  std::vector<std::string> names;  // host names served besides IP addresses and localhost
  std::string public_origin;       // scheme://authority behind a tunnel or proxy, or empty
};
// A Host header is accepted when it names an IP address, localhost, or one
// of `names` (no port check: an ssh tunnel may forward any local port).
bool host_allowed(std::string_view host, const Audience& audience);
// A WebSocket's Origin is accepted when absent (not a browser), when it is
// the very address the request was sent to (Origin's authority == Host), or
// when it is the public origin.
bool origin_allowed(std::string_view origin, bool present, std::string_view host, const Audience& audience);

}  // namespace web
}  // namespace sim
