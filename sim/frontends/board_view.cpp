#include "frontends/board_view.h"

#include <algorithm>
#include <cstdlib>

#include "board/board.h"

namespace sim {
namespace view {

namespace {

// 5 x 8 glyphs for ' '..'~', one byte per column, bit 0 = top row; row 7
// only for descenders.
const uint8_t kFont[95][5] = {
    {0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x5F, 0x00, 0x00}, {0x00, 0x07, 0x00, 0x07, 0x00},
    {0x14, 0x7F, 0x14, 0x7F, 0x14}, {0x24, 0x2A, 0x7F, 0x2A, 0x12}, {0x23, 0x13, 0x08, 0x64, 0x62},
    {0x36, 0x49, 0x55, 0x22, 0x50}, {0x00, 0x05, 0x03, 0x00, 0x00}, {0x00, 0x1C, 0x22, 0x41, 0x00},
    {0x00, 0x41, 0x22, 0x1C, 0x00}, {0x14, 0x08, 0x3E, 0x08, 0x14}, {0x08, 0x08, 0x3E, 0x08, 0x08},
    {0x00, 0x50, 0x30, 0x00, 0x00}, {0x08, 0x08, 0x08, 0x08, 0x08}, {0x00, 0x60, 0x60, 0x00, 0x00},
    {0x20, 0x10, 0x08, 0x04, 0x02},
    // 0..9
    {0x3E, 0x51, 0x49, 0x45, 0x3E}, {0x00, 0x42, 0x7F, 0x40, 0x00}, {0x42, 0x61, 0x51, 0x49, 0x46},
    {0x21, 0x41, 0x45, 0x4B, 0x31}, {0x18, 0x14, 0x12, 0x7F, 0x10}, {0x27, 0x45, 0x45, 0x45, 0x39},
    {0x3C, 0x4A, 0x49, 0x49, 0x30}, {0x01, 0x71, 0x09, 0x05, 0x03}, {0x36, 0x49, 0x49, 0x49, 0x36},
    {0x06, 0x49, 0x49, 0x29, 0x1E},
    // : ; < = > ? @
    {0x00, 0x36, 0x36, 0x00, 0x00}, {0x00, 0x56, 0x36, 0x00, 0x00}, {0x08, 0x14, 0x22, 0x41, 0x00},
    {0x14, 0x14, 0x14, 0x14, 0x14}, {0x00, 0x41, 0x22, 0x14, 0x08}, {0x02, 0x01, 0x51, 0x09, 0x06},
    {0x32, 0x49, 0x79, 0x41, 0x3E},
    // A..Z
    {0x7E, 0x11, 0x11, 0x11, 0x7E}, {0x7F, 0x49, 0x49, 0x49, 0x36}, {0x3E, 0x41, 0x41, 0x41, 0x22},
    {0x7F, 0x41, 0x41, 0x22, 0x1C}, {0x7F, 0x49, 0x49, 0x49, 0x41}, {0x7F, 0x09, 0x09, 0x09, 0x01},
    {0x3E, 0x41, 0x49, 0x49, 0x7A}, {0x7F, 0x08, 0x08, 0x08, 0x7F}, {0x00, 0x41, 0x7F, 0x41, 0x00},
    {0x20, 0x40, 0x41, 0x3F, 0x01}, {0x7F, 0x08, 0x14, 0x22, 0x41}, {0x7F, 0x40, 0x40, 0x40, 0x40},
    {0x7F, 0x02, 0x0C, 0x02, 0x7F}, {0x7F, 0x04, 0x08, 0x10, 0x7F}, {0x3E, 0x41, 0x41, 0x41, 0x3E},
    {0x7F, 0x09, 0x09, 0x09, 0x06}, {0x3E, 0x41, 0x51, 0x21, 0x5E}, {0x7F, 0x09, 0x19, 0x29, 0x46},
    {0x46, 0x49, 0x49, 0x49, 0x31}, {0x01, 0x01, 0x7F, 0x01, 0x01}, {0x3F, 0x40, 0x40, 0x40, 0x3F},
    {0x1F, 0x20, 0x40, 0x20, 0x1F}, {0x3F, 0x40, 0x38, 0x40, 0x3F}, {0x63, 0x14, 0x08, 0x14, 0x63},
    {0x07, 0x08, 0x70, 0x08, 0x07}, {0x61, 0x51, 0x49, 0x45, 0x43},
    // [ \ ] ^ _ `
    {0x00, 0x7F, 0x41, 0x41, 0x00}, {0x02, 0x04, 0x08, 0x10, 0x20}, {0x00, 0x41, 0x41, 0x7F, 0x00},
    {0x04, 0x02, 0x01, 0x02, 0x04}, {0x40, 0x40, 0x40, 0x40, 0x40}, {0x00, 0x01, 0x02, 0x04, 0x00},
    // a..z
    {0x20, 0x54, 0x54, 0x54, 0x78}, {0x7F, 0x48, 0x44, 0x44, 0x38}, {0x38, 0x44, 0x44, 0x44, 0x20},
    {0x38, 0x44, 0x44, 0x48, 0x7F}, {0x38, 0x54, 0x54, 0x54, 0x18}, {0x08, 0x7E, 0x09, 0x01, 0x02},
    {0x18, 0xA4, 0xA4, 0xA4, 0x7C}, {0x7F, 0x08, 0x04, 0x04, 0x78}, {0x00, 0x44, 0x7D, 0x40, 0x00},
    {0x40, 0x80, 0x80, 0x7D, 0x00}, {0x7F, 0x10, 0x28, 0x44, 0x00}, {0x00, 0x41, 0x7F, 0x40, 0x00},
    {0x7C, 0x04, 0x18, 0x04, 0x78}, {0x7C, 0x08, 0x04, 0x04, 0x78}, {0x38, 0x44, 0x44, 0x44, 0x38},
    {0xFC, 0x24, 0x24, 0x24, 0x18}, {0x18, 0x24, 0x24, 0x24, 0xFC}, {0x7C, 0x08, 0x04, 0x04, 0x08},
    {0x48, 0x54, 0x54, 0x54, 0x20}, {0x04, 0x3F, 0x44, 0x40, 0x20}, {0x3C, 0x40, 0x40, 0x20, 0x7C},
    {0x1C, 0x20, 0x40, 0x20, 0x1C}, {0x3C, 0x40, 0x30, 0x40, 0x3C}, {0x44, 0x28, 0x10, 0x28, 0x44},
    {0x1C, 0xA0, 0xA0, 0xA0, 0x7C}, {0x44, 0x64, 0x54, 0x4C, 0x44},
    // { | } ~
    {0x00, 0x08, 0x36, 0x41, 0x00}, {0x00, 0x00, 0x7F, 0x00, 0x00}, {0x00, 0x41, 0x36, 0x08, 0x00},
    {0x08, 0x04, 0x08, 0x10, 0x08},
};

constexpr int kAdvance = 6;  // 5 columns of glyph and one of space
constexpr int kLineHeight = 11;

// Colours.
constexpr uint32_t kBoard = 0x1F4A30;       // the PCB
constexpr uint32_t kBoardDark = 0x12301E;
constexpr uint32_t kSilk = 0xE8EEE0;        // silkscreen text
constexpr uint32_t kBezel = 0x15191A;
constexpr uint32_t kKeyFace = 0xE4E0D4;
constexpr uint32_t kKeyDown = 0x9C988C;
constexpr uint32_t kKeyEdge = 0x202420;
constexpr uint32_t kKeyInk = 0x141414;
constexpr uint32_t kKeyNumber = 0x6A6A64;
constexpr uint32_t kKeyMenu = 0x1F5FA0;
constexpr uint32_t kShortcutFace = 0x2A2E2A;
constexpr uint32_t kShortcutInk = 0xF0D060;
constexpr uint32_t kLedOff = 0x4A1818;
constexpr uint32_t kLedOn = 0xFF3A2A;
constexpr uint32_t kLedGlow = 0xFFB0A0;
constexpr uint32_t kSegBox = 0x0A0A0A;
constexpr uint32_t kSegOff = 0x2E1414;
constexpr uint32_t kSegOn = 0xFF3020;
constexpr uint32_t kStatusFace = 0x0C1F14;
constexpr uint32_t kStatusInk = 0xD0E4D4;
constexpr uint32_t kAlertInk = 0xFF6A5A;

// The reflective panel: level 0 is its light grey-green, 15 its darkest ink.
constexpr int kPaperRgb[3] = {0xC4, 0xCF, 0xB0};
constexpr int kInkRgb[3] = {0x14, 0x1C, 0x18};

// Layout.
constexpr int kLcdX = 14, kLcdY = 14;
constexpr int kKeysX = 353, kKeysY = 62, kKeyW = 44, kKeyH = 36, kKeyGap = 6;
constexpr int kButtonsY = 234, kButtonW = 94, kButtonH = 26;
constexpr int kLedY = 24, kLedR = 7;
constexpr int kLedLeftX = 372, kLedRightX = 414;
constexpr int kSegX = 463, kSegY = 13;  // the digit's top-left, inside its box
constexpr int kStatusY = 268;

const char kKeyShortcuts[] = "1234qwerasdfzxcv";

void fill(uint32_t* px, Rect r, uint32_t colour) {
  int x0 = std::max(0, r.x), y0 = std::max(0, r.y);
  int x1 = std::min(kWidth, r.x + r.w), y1 = std::min(kHeight, r.y + r.h);
  for (int y = y0; y < y1; ++y) std::fill(px + y * kWidth + x0, px + y * kWidth + std::max(x0, x1), colour);
}

void frame(uint32_t* px, Rect r, uint32_t colour) {
  fill(px, {r.x, r.y, r.w, 1}, colour);
  fill(px, {r.x, r.y + r.h - 1, r.w, 1}, colour);
  fill(px, {r.x, r.y, 1, r.h}, colour);
  fill(px, {r.x + r.w - 1, r.y, 1, r.h}, colour);
}

uint32_t blend(uint32_t a, uint32_t b, int b_parts_of_16) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    int ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
    out |= static_cast<uint32_t>((ca * (16 - b_parts_of_16) + cb * b_parts_of_16) / 16) << shift;
  }
  return out;
}

void shade(uint32_t* px, Rect r, uint32_t colour, int parts_of_16) {
  for (int y = std::max(0, r.y); y < std::min(kHeight, r.y + r.h); ++y)
    for (int x = std::max(0, r.x); x < std::min(kWidth, r.x + r.w); ++x)
      px[y * kWidth + x] = blend(px[y * kWidth + x], colour, parts_of_16);
}

void disc(uint32_t* px, int cx, int cy, int r, uint32_t colour) {
  for (int y = -r; y <= r; ++y)
    for (int x = -r; x <= r; ++x)
      if (x * x + y * y <= r * r + r / 2) fill(px, {cx + x, cy + y, 1, 1}, colour);
}

void centred_text(uint32_t* px, Rect r, int y, const std::string& text, uint32_t colour, int scale = 1) {
  draw_text(px, r.x + (r.w - text_width(text, scale)) / 2 + scale / 2, y, text, colour, scale);
}

void draw_key(uint32_t* px, int k, bool down) {
  Rect r = key_rect(k);
  fill(px, {r.x + 1, r.y + 2, r.w, r.h}, kBoardDark);  // the key's shadow
  Rect face = down ? Rect{r.x + 1, r.y + 1, r.w, r.h} : r;
  fill(px, face, down ? kKeyDown : kKeyFace);
  frame(px, face, kKeyEdge);
  draw_text(px, face.x + 3, face.y + 3, std::to_string(k), kKeyNumber);
  if (int line = key_menu_line(k)) draw_text(px, face.x + face.w - 14, face.y + 3, "M" + std::to_string(line), kKeyMenu);
  std::string meaning = key_meaning(k);
  if (meaning.size() == 1) centred_text(px, face, face.y + 11, meaning, kKeyInk, 2);
  else if (!meaning.empty()) centred_text(px, face, face.y + 15, meaning, kKeyInk);
  Rect tag{face.x + face.w - 10, face.y + face.h - 11, 9, 10};
  fill(px, tag, kShortcutFace);
  draw_text(px, tag.x + 2, tag.y + 2, std::string(1, kKeyShortcuts[k]), kShortcutInk);
}

void draw_button(uint32_t* px, uint8_t mask, bool down) {
  Rect r = button_rect(mask);
  fill(px, {r.x + 1, r.y + 2, r.w, r.h}, kBoardDark);
  Rect face = down ? Rect{r.x + 1, r.y + 1, r.w, r.h} : r;
  fill(px, face, down ? kKeyDown : kKeyFace);
  frame(px, face, kKeyEdge);
  disc(px, face.x + 12, face.y + face.h / 2, 7, down ? 0x505050 : 0x303030);
  draw_text(px, face.x + 24, face.y + 4, mask == 0x40 ? "0x40" : "0x80", kKeyInk);
  draw_text(px, face.x + 24, face.y + 15, mask == 0x40 ? "step" : "accept", kKeyNumber);
  Rect tag{face.x + face.w - 10, face.y + face.h - 11, 9, 10};
  fill(px, tag, kShortcutFace);
  draw_text(px, tag.x + 2, tag.y + 2, std::string(1, button_shortcut(mask)), kShortcutInk);
}

void draw_led(uint32_t* px, int pin, bool lit) {
  Rect r = led_rect(pin);
  int cx = r.x + r.w / 2, cy = r.y + r.h / 2;
  disc(px, cx, cy, kLedR + 1, kBezel);
  disc(px, cx, cy, kLedR, lit ? kLedOn : kLedOff);
  if (lit) disc(px, cx - 2, cy - 2, 2, kLedGlow);
  centred_text(px, {cx - 20, 0, 40, 0}, cy + kLedR + 5, pin == 9 ? "PB9" : "PB10", kSilk);
}

void draw_segments(uint32_t* px, uint8_t latch) {
  fill(px, {kSegX - 4, kSegY - 4, 33, 45}, kSegBox);
  static const struct {
    char name;
    int bit;
  } kSegments[] = {{'a', 7}, {'b', 6}, {'c', 5}, {'.', 4}, {'d', 3}, {'e', 2}, {'g', 1}, {'f', 0}};
  for (const auto& s : kSegments) fill(px, segment_rect(s.name), (latch >> s.bit) & 1 ? kSegOff : kSegOn);
  draw_text(px, kSegX + 36, kSegY + 9, "7-seg", kSilk);
  draw_text(px, kSegX + 36, kSegY + 21, "digit", kSilk);
}

void draw_lcd(uint32_t* px, const uint8_t* lcd) {
  fill(px, {kLcdX - 6, kLcdY - 6, kLcdWidth + 12, kLcdHeight + 12}, kBezel);
  uint32_t palette[16];
  for (int i = 0; i < 16; ++i) palette[i] = lcd_colour(i);
  for (int y = 0; y < kLcdHeight; ++y) {
    uint32_t* row = px + (kLcdY + y) * kWidth + kLcdX;
    for (int x = 0; x < kLcdWidth; ++x) row[x] = lcd ? palette[std::min<int>(lcd[y * kLcdWidth + x], 15)] : 0x303830;
  }
}

void draw_help(uint32_t* px) {
  Rect box{16, 12, kWidth - 32, kHeight - 24};
  shade(px, box, 0x080C0A, 15);
  frame(px, box, kSilk);
  int y = box.y + 8;
  for (const std::string& line : help_lines()) {
    draw_text(px, box.x + 10, y, line, line.empty() || line[0] == ' ' ? kStatusInk : kShortcutInk);
    y += kLineHeight;
  }
}

}  // namespace

Rect lcd_rect() { return {kLcdX, kLcdY, kLcdWidth, kLcdHeight}; }

Rect key_rect(int key) {
  if (key < 0 || key > 15) return {};
  return {kKeysX + (key % 4) * (kKeyW + kKeyGap), kKeysY + (key / 4) * (kKeyH + kKeyGap), kKeyW, kKeyH};
}

Rect button_rect(uint8_t mask) {
  if (mask == 0x40) return {kKeysX, kButtonsY, kButtonW, kButtonH};
  if (mask == 0x80) return {kKeysX + 4 * kKeyW + 3 * kKeyGap - kButtonW, kButtonsY, kButtonW, kButtonH};
  return {};
}

Rect led_rect(int pin) {
  int cx = pin == 9 ? kLedLeftX : pin == 10 ? kLedRightX : -100;
  return {cx - kLedR, kLedY - kLedR, 2 * kLedR + 1, 2 * kLedR + 1};
}

Rect segment_rect(char segment) {
  const int x = kSegX, y = kSegY, len = 14, t = 3;
  switch (segment) {
    case 'a': return {x + t, y, len, t};
    case 'b': return {x + t + len, y + t, t, len};
    case 'c': return {x + t + len, y + 2 * t + len, t, len};
    case 'd': return {x + t, y + 2 * t + 2 * len, len, t};
    case 'e': return {x, y + 2 * t + len, t, len};
    case 'f': return {x, y + t, t, len};
    case 'g': return {x + t, y + t + len, len, t};
    case '.': return {x + 2 * t + len + 2, y + 2 * t + 2 * len, t, t};
    default: return {};
  }
}

Rect status_rect() { return {0, kStatusY, kWidth, kHeight - kStatusY}; }

Target hit(int x, int y) {
  for (int k = 0; k < 16; ++k)
    if (key_rect(k).contains(x, y)) return {Target::kKey, k};
  for (uint8_t mask : {uint8_t{0x40}, uint8_t{0x80}})
    if (button_rect(mask).contains(x, y)) return {Target::kButton, mask};
  return {};
}

Target shortcut_target(char c) {
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (int k = 0; k < 16; ++k)
    if (kKeyShortcuts[k] == c) return {Target::kKey, k};
  if (c == button_shortcut(0x40)) return {Target::kButton, 0x40};
  if (c == button_shortcut(0x80)) return {Target::kButton, 0x80};
  return {};
}

char key_shortcut(int key) { return key >= 0 && key < 16 ? kKeyShortcuts[key] : 0; }
char button_shortcut(uint8_t mask) { return mask == 0x40 ? 'o' : mask == 0x80 ? 'p' : 0; }

const char* key_meaning(int key) {
  static const char* const kMeaning[16] = {"1", "2", "3", "", "4", "5", "6", "", "7", "8", "9", "", "", "0", "Call", "Back"};
  return key >= 0 && key < 16 ? kMeaning[key] : "";
}

int key_menu_line(int key) { return key >= 0 && key <= 4 ? key + 1 : 0; }

uint32_t lcd_colour(int level) {
  level = std::clamp(level, 0, 15);
  uint32_t rgb = 0;
  for (int c = 0; c < 3; ++c) {
    int v = (kPaperRgb[c] * (15 - level) + kInkRgb[c] * level + 7) / 15;
    rgb = (rgb << 8) | static_cast<uint32_t>(v);
  }
  return rgb;
}

int lcd_level(uint32_t rgb) {
  int best = 0;
  long best_distance = -1;
  for (int level = 0; level < 16; ++level) {
    uint32_t p = lcd_colour(level);
    long d = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      long diff = static_cast<long>((rgb >> shift) & 0xFF) - static_cast<long>((p >> shift) & 0xFF);
      d += diff * diff;
    }
    if (best_distance < 0 || d < best_distance) best_distance = d, best = level;
  }
  return best;
}

int text_width(const std::string& text, int scale) {
  return text.empty() ? 0 : (static_cast<int>(text.size()) * kAdvance - 1) * scale;
}

int draw_text(uint32_t* pixels, int x, int y, const std::string& text, uint32_t colour, int scale) {
  for (char ch : text) {
    unsigned code = static_cast<unsigned char>(ch);
    const uint8_t* glyph = kFont[(code >= 0x20 && code < 0x7F ? code : '?') - 0x20];
    for (int col = 0; col < 5; ++col)
      for (int row = 0; row < 8; ++row)
        if ((glyph[col] >> row) & 1) fill(pixels, {x + col * scale, y + row * scale, scale, scale}, colour);
    x += kAdvance * scale;
  }
  return x;
}

std::string fit_left(const std::string& text, size_t max_chars) {
  if (text.size() <= max_chars) return text;
  if (max_chars <= 3) return text.substr(text.size() - max_chars);
  return "..." + text.substr(text.size() - (max_chars - 3));
}

const std::vector<std::string>& help_lines() {
  static const std::vector<std::string> kLines = {
      "Keys and mouse: a key is held as long as you hold it",
      "  keypad        1 2 3 4 / q w e r / a s d f / z x c v  (as the keys sit)",
      "  dial          numeric keypad 0-9 (1 2 3 / 4 5 6 / 7 8 9 / 0)",
      "  call, back    Enter = key 14,  Esc or Backspace = key 15",
      "  buttons       o = 0x40 (step),  p = 0x80 (accept)",
      "  mouse         press a key or a button on the drawing",
      "Phone",
      "  main menu     keys 0..4 pick lines 1..5 (M1..M5 on the keys)",
      "  everywhere    key 15 goes back;  date and time: 0x40 steps, 0x80 accepts",
      "Window",
      "  Tab           fast-forward on/off (real time by default)",
      "  F12           screenshot: a PNG in the current directory",
      "  F1 or ?       this help          Ctrl-Q  quit",
      "  the console (UART0) is the terminal that started board-sim",
  };
  return kLines;
}

void draw(const State& state, uint32_t* px) {
  fill(px, {0, 0, kWidth, kHeight}, kBoard);
  draw_lcd(px, state.lcd);

  draw_led(px, 9, state.led_left);
  draw_led(px, 10, state.led_right);
  draw_segments(px, state.segment_latch);
  for (int k = 0; k < 16; ++k) draw_key(px, k, (state.keys_down >> k) & 1);
  draw_button(px, 0x40, state.buttons_down & 0x40);
  draw_button(px, 0x80, state.buttons_down & 0x80);

  Rect status = status_rect();
  fill(px, status, kStatusFace);
  const size_t max_chars = static_cast<size_t>((kWidth - 12) / kAdvance);
  for (int i = 0; i < 3; ++i) {
    uint32_t ink = (i == 2 && state.alert) ? kAlertInk : kStatusInk;
    draw_text(px, 6, status.y + 4 + i * kLineHeight, fit_left(state.status[i], max_chars), ink);
  }

  if (state.help) draw_help(px);
}

}  // namespace view
}  // namespace sim
