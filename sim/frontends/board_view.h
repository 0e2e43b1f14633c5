// The picture in board-sim's window: the LCD beside a drawing of the board's
// inputs and indicators (4 x 4 keypad, push-buttons 0x40 and 0x80, LEDs PB9
// and PB10, the 7-segment digit), a status area and the help overlay.
//
// Drawn on the CPU into 0x00RRGGBB pixels at one logical size, so the
// window only scales it by a whole factor, a screenshot is the same picture,
// and the drawing can be checked without a display. Text uses a built-in
// 5 x 8 font: a firmware without a `font` table gets the same panel.
//
// Keys carry what they do in the phone: keys 0, 1, 2 / 4, 5, 6 / 8, 9, 10 /
// 13 dial 1..9 and 0, key 14 places the call, key 15 is back everywhere, and
// in the main menu keys 0..4 pick lines 1..5. The keyboard shortcuts lay the
// keypad on the keyboard as it sits (rows 1234 / qwer / asdf / zxcv).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim {
namespace view {

constexpr int kWidth = 558;
constexpr int kHeight = 306;

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};

// Where things are, in logical pixels.
Rect lcd_rect();               // 320 x 240, one pixel per LCD pixel
Rect key_rect(int key);        // keypad key 0..15
Rect button_rect(uint8_t mask);  // 0x40 or 0x80
Rect led_rect(int pin);        // 9 left, 10 right: the lamp's bounding box
Rect segment_rect(char segment);  // 'a'..'g', '.' for the decimal point
Rect status_rect();

// What a point of the window is: a keypad key, a push-button or nothing.
struct Target {
  enum Kind { kNone, kKey, kButton } kind = kNone;
  int code = 0;  // key 0..15, or the button's mask 0x40 / 0x80
  bool operator==(const Target& o) const { return kind == o.kind && code == o.code; }
  bool operator<(const Target& o) const { return kind != o.kind ? kind < o.kind : code < o.code; }
};
Target hit(int x, int y);

// The key a shortcut presses ('1'..'4', 'q'..'r', 'a'..'f', 'z'..'v' as on
// the keyboard; 'o' and 'p' the buttons); kNone for anything else.
Target shortcut_target(char c);
char key_shortcut(int key);
char button_shortcut(uint8_t mask);

// What key k does in the phone: "1".."9", "0", "Call", "Back", or "".
const char* key_meaning(int key);
// The main-menu line key k picks (1..5), 0 for none.
int key_menu_line(int key);

// Grey level 0 (white) .. 15 (black) as the reflective panel shows it, and
// back (the nearest level, for reading a screenshot).
uint32_t lcd_colour(int level);
int lcd_level(uint32_t rgb);

struct State {
  const uint8_t* lcd = nullptr;  // 320 x 240 grey levels, nullptr for a dark panel
  uint16_t keys_down = 0;        // bit k: key k is held
  uint8_t buttons_down = 0;      // 0x40 / 0x80
  bool led_left = false;         // lit
  bool led_right = false;
  uint8_t segment_latch = 0xFF;  // a 0 bit lights its segment
  std::string status[3];         // the status area's lines
  bool alert = false;            // the last status line is a warning (drawn red)
  bool help = false;             // the help overlay on top
};

// `pixels`: kWidth x kHeight, row-major, 0x00RRGGBB.
void draw(const State& state, uint32_t* pixels);

// The help overlay's text, one line each (also what the README and docs/window.md list).
const std::vector<std::string>& help_lines();

// Text in the built-in font, `scale` pixels per font pixel; returns the
// x after the text. Characters outside printable ASCII draw as '?'.
int draw_text(uint32_t* pixels, int x, int y, const std::string& text, uint32_t colour, int scale = 1);
int text_width(const std::string& text, int scale = 1);

// `text` cut to `max_chars` with "..." at the front (paths keep their end).
std::string fit_left(const std::string& text, size_t max_chars);

}  // namespace view
}  // namespace sim
