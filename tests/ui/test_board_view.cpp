// The window's picture without a display: the LCD's grey levels, the
// indicators following the board, the keys under the mouse and the keyboard.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "board/board.h"
#include "frontends/board_view.h"

namespace sim {
namespace {

using view::Rect;
using view::Target;

std::vector<uint32_t> draw(const view::State& s) {
  std::vector<uint32_t> px(view::kWidth * view::kHeight);
  view::draw(s, px.data());
  return px;
}

uint32_t at(const std::vector<uint32_t>& px, int x, int y) { return px[y * view::kWidth + x]; }
uint32_t centre(const std::vector<uint32_t>& px, Rect r) { return at(px, r.x + r.w / 2, r.y + r.h / 2); }

TEST(BoardView, SixteenGreyLevelsStayDistinctAndReadBack) {
  std::set<uint32_t> colours;
  for (int level = 0; level < 16; ++level) {
    colours.insert(view::lcd_colour(level));
    EXPECT_EQ(view::lcd_level(view::lcd_colour(level)), level);
  }
  EXPECT_EQ(colours.size(), 16u);
  // 0 is the background, 15 all ink: the panel gets darker with the level.
  auto brightness = [](uint32_t c) { return ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF); };
  for (int level = 1; level < 16; ++level)
    EXPECT_LT(brightness(view::lcd_colour(level)), brightness(view::lcd_colour(level - 1))) << level;
}

TEST(BoardView, LcdPixelsLandOneToOneInTheLcdArea) {
  std::vector<uint8_t> lcd(kLcdWidth * kLcdHeight, 0);
  lcd[0] = 15;                             // top-left corner
  lcd[kLcdWidth * kLcdHeight - 1] = 7;     // bottom-right corner
  lcd[100 * kLcdWidth + 200] = 3;
  view::State s;
  s.lcd = lcd.data();
  auto px = draw(s);
  Rect r = view::lcd_rect();
  EXPECT_EQ(r.w, kLcdWidth);
  EXPECT_EQ(r.h, kLcdHeight);
  EXPECT_EQ(at(px, r.x, r.y), view::lcd_colour(15));
  EXPECT_EQ(at(px, r.x + 1, r.y), view::lcd_colour(0));
  EXPECT_EQ(at(px, r.x + kLcdWidth - 1, r.y + kLcdHeight - 1), view::lcd_colour(7));
  EXPECT_EQ(at(px, r.x + 200, r.y + 100), view::lcd_colour(3));
  // Just outside the panel is the bezel, not LCD.
  EXPECT_NE(at(px, r.x - 1, r.y), view::lcd_colour(0));
}

TEST(BoardView, EachLedIsDrawnFromItsOwnPin) {
  view::State dark;
  view::State left = dark, right = dark;
  left.led_left = true;
  right.led_right = true;
  auto d = draw(dark), l = draw(left), r = draw(right);
  Rect pb9 = view::led_rect(9), pb10 = view::led_rect(10);
  EXPECT_NE(centre(l, pb9), centre(d, pb9));
  EXPECT_EQ(centre(l, pb10), centre(d, pb10));
  EXPECT_NE(centre(r, pb10), centre(d, pb10));
  EXPECT_EQ(centre(r, pb9), centre(d, pb9));
  EXPECT_LT(pb9.x, pb10.x);  // left is PB9
}

TEST(BoardView, SegmentsFollowTheLatchBits) {
  // A 0 bit lights its segment: bit 7 a, 6 b, 5 c, 4 dp, 3 d, 2 e, 1 g, 0 f.
  view::State all_on, all_off;
  all_on.segment_latch = 0x00;
  auto on = draw(all_on), off = draw(all_off);
  const char names[] = "abc.degf";
  for (int i = 0; i < 8; ++i) EXPECT_NE(centre(on, view::segment_rect(names[i])), centre(off, view::segment_rect(names[i])));

  view::State one;
  one.segment_latch = 0x9F;  // what the phone's table writes for 1: b and c
  auto px = draw(one);
  for (int i = 0; i < 8; ++i) {
    bool lit = names[i] == 'b' || names[i] == 'c';
    Rect r = view::segment_rect(names[i]);
    EXPECT_EQ(centre(px, r), lit ? centre(on, r) : centre(off, r)) << "segment " << names[i];
  }
}

TEST(BoardView, HeldKeysAndButtonsLookPressed) {
  view::State up, down;
  down.keys_down = 1u << 14;
  down.buttons_down = 0x80;
  auto a = draw(up), b = draw(down);
  EXPECT_NE(centre(a, view::key_rect(14)), centre(b, view::key_rect(14)));
  EXPECT_EQ(centre(a, view::key_rect(13)), centre(b, view::key_rect(13)));
  Rect r = view::button_rect(0x80);
  EXPECT_NE(at(a, r.x + r.w - 20, r.y + 3), at(b, r.x + r.w - 20, r.y + 3));
  r = view::button_rect(0x40);
  EXPECT_EQ(at(a, r.x + r.w - 20, r.y + 3), at(b, r.x + r.w - 20, r.y + 3));
}

TEST(BoardView, TheMouseFindsEveryKeyAndButton) {
  for (int k = 0; k < 16; ++k) {
    Rect r = view::key_rect(k);
    EXPECT_EQ(view::hit(r.x + r.w / 2, r.y + r.h / 2), (Target{Target::kKey, k}));
    EXPECT_EQ(view::hit(r.x, r.y), (Target{Target::kKey, k}));
    EXPECT_EQ(view::hit(r.x + r.w - 1, r.y + r.h - 1), (Target{Target::kKey, k}));
  }
  // Keys lie row by row, 4 x row + column.
  EXPECT_LT(view::key_rect(0).x, view::key_rect(3).x);
  EXPECT_EQ(view::key_rect(0).y, view::key_rect(3).y);
  EXPECT_LT(view::key_rect(3).y, view::key_rect(4).y);
  for (uint8_t mask : {uint8_t{0x40}, uint8_t{0x80}}) {
    Rect r = view::button_rect(mask);
    EXPECT_EQ(view::hit(r.x + r.w / 2, r.y + r.h / 2), (Target{Target::kButton, mask}));
  }
  Rect lcd = view::lcd_rect();
  EXPECT_EQ(view::hit(lcd.x + 10, lcd.y + 10).kind, Target::kNone);
  Rect gap = view::key_rect(0);
  EXPECT_EQ(view::hit(gap.x + gap.w + 1, gap.y + 5).kind, Target::kNone);  // between keys 0 and 1
}

TEST(BoardView, ShortcutsLayTheKeypadOnTheKeyboard) {
  const char rows[] = "1234qwerasdfzxcv";
  for (int k = 0; k < 16; ++k) {
    EXPECT_EQ(view::key_shortcut(k), rows[k]);
    EXPECT_EQ(view::shortcut_target(rows[k]), (Target{Target::kKey, k}));
  }
  EXPECT_EQ(view::shortcut_target('Q'), (Target{Target::kKey, 4}));
  EXPECT_EQ(view::shortcut_target('o'), (Target{Target::kButton, 0x40}));
  EXPECT_EQ(view::shortcut_target('p'), (Target{Target::kButton, 0x80}));
  EXPECT_EQ(view::shortcut_target('5').kind, Target::kNone);
  EXPECT_EQ(view::shortcut_target(' ').kind, Target::kNone);
}

TEST(BoardView, KeysSayWhatTheyDoInThePhone) {
  const char* expected[16] = {"1", "2", "3", "", "4", "5", "6", "", "7", "8", "9", "", "", "0", "Call", "Back"};
  for (int k = 0; k < 16; ++k) EXPECT_STREQ(view::key_meaning(k), expected[k]) << "key " << k;
  for (int k = 0; k < 16; ++k) EXPECT_EQ(view::key_menu_line(k), k <= 4 ? k + 1 : 0) << "key " << k;
}

TEST(BoardView, StatusLinesAndTheHelpOverlayAreDrawn) {
  view::State plain, status, alert, help;
  status.status[2] = "halted: main returned";
  alert = status;
  alert.alert = true;
  help.help = true;
  auto p = draw(plain), s = draw(status), a = draw(alert), h = draw(help);
  Rect area = view::status_rect();
  auto differs = [&](const std::vector<uint32_t>& x, const std::vector<uint32_t>& y, Rect r) {
    for (int yy = r.y; yy < r.y + r.h; ++yy)
      for (int xx = r.x; xx < r.x + r.w; ++xx)
        if (at(x, xx, yy) != at(y, xx, yy)) return true;
    return false;
  };
  EXPECT_TRUE(differs(p, s, area));
  EXPECT_TRUE(differs(s, a, area));  // a warning has its own colour
  EXPECT_TRUE(differs(p, h, view::lcd_rect()));
  EXPECT_FALSE(view::help_lines().empty());
}

TEST(BoardView, LongStatusTextKeepsItsEnd) {
  EXPECT_EQ(view::fit_left("short", 10), "short");
  std::string cut = view::fit_left("/home/someone/.local/state/board-sim/eeprom.bin", 20);
  EXPECT_EQ(cut.size(), 20u);
  EXPECT_EQ(cut.substr(0, 3), "...");
  EXPECT_EQ(cut.substr(cut.size() - 10), "eeprom.bin");
}

TEST(BoardView, TextUsesTheWholeScale) {
  std::vector<uint32_t> px(view::kWidth * view::kHeight, 0);
  int end = view::draw_text(px.data(), 10, 10, "H", 0xFFFFFF, 2);
  EXPECT_EQ(end, 10 + 12);
  EXPECT_EQ(view::text_width("HH", 2), 22);
  // 'H' has its left column full: rows 0..6 at scale 2 are 14 pixels.
  int inked = 0;
  for (int y = 10; y < 30; ++y) inked += at(px, 10, y) == 0xFFFFFFu;
  EXPECT_EQ(inked, 14);
}

}  // namespace
}  // namespace sim
