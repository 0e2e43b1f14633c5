// Finding text on the LCD with the firmware's font: a synthetic font drawn
// into frames the way the phone's lcd driver draws.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frontends/lcd_text.h"

namespace sim {
namespace {

constexpr int W = 320;
constexpr int H = 240;

// A font of the phone's form: glyphs for 0x21..0x7E with ink in rows 1..13
// only, 0xD1 = 0xF1. Letters are arbitrary bit patterns; the punctuation and
// a few letters are shaped like real ones, because those are the glyphs that
// drawings can imitate.
std::vector<uint8_t> make_font() {
  std::vector<uint8_t> f(4096, 0);
  uint32_t seed = 0x2468ACE1;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<uint8_t>(seed >> 16);
  };
  for (int c = 0x21; c <= 0x7E; ++c) {
    for (int r = 1; r <= 13; ++r) f[c * 16 + r] = next() & 0xFE;
  }
  auto set = [&f](int c, std::initializer_list<std::pair<int, uint8_t>> rows) {
    std::memset(&f[c * 16], 0, 16);
    for (auto [r, bits] : rows) f[c * 16 + r] = bits;
  };
  set('.', {{9, 0x18}, {10, 0x18}, {11, 0x18}});
  set(',', {{10, 0x18}, {11, 0x18}, {12, 0x10}, {13, 0x20}});
  set(':', {{5, 0x18}, {6, 0x18}, {10, 0x18}, {11, 0x18}});
  set('-', {{7, 0x7C}});
  set('_', {{13, 0xFF}});
  set('\'', {{2, 0x10}, {3, 0x10}, {4, 0x10}});
  set('|', {{1, 0x10}, {2, 0x10}, {3, 0x10}, {4, 0x10}, {5, 0x10}, {6, 0x10}, {7, 0x10},
            {8, 0x10}, {9, 0x10}, {10, 0x10}, {11, 0x10}, {12, 0x10}, {13, 0x10}});
  set('/', {{2, 0x02}, {3, 0x02}, {4, 0x04}, {5, 0x04}, {6, 0x08}, {7, 0x08}, {8, 0x10}, {9, 0x10},
            {10, 0x20}, {11, 0x20}, {12, 0x40}});
  set('I', {{3, 0x7C}, {4, 0x10}, {5, 0x10}, {6, 0x10}, {7, 0x10}, {8, 0x10}, {9, 0x10}, {10, 0x10}, {11, 0x7C}});
  set('L', {{3, 0x40}, {4, 0x40}, {5, 0x40}, {6, 0x40}, {7, 0x40}, {8, 0x40}, {9, 0x40}, {10, 0x40}, {11, 0x7E}});
  set('l', {{1, 0x30}, {2, 0x10}, {3, 0x10}, {4, 0x10}, {5, 0x10}, {6, 0x10}, {7, 0x10}, {8, 0x10},
            {9, 0x10}, {10, 0x10}, {11, 0x38}});
  // 'k' is one pixel and 'm' a 2 x 2 block: a doubled 'k' contains an 'm'.
  set('k', {{6, 0x10}});
  set('m', {{5, 0x30}, {6, 0x30}});
  // n with a tilde, twice.
  for (int c : {0xD1, 0xF1}) set(c, {{2, 0x34}, {3, 0x58}, {5, 0x58}, {6, 0x64}, {7, 0x44}, {8, 0x44},
                                     {9, 0x44}, {10, 0x44}, {11, 0x44}});
  return f;
}

// A frame and the phone's drawing primitives.
struct Screen {
  std::vector<uint8_t> font = make_font();
  std::vector<uint8_t> px = std::vector<uint8_t>(W * H, 0);

  void putpixel(int x, int y, uint8_t c) {
    if (x >= 0 && x < W && y >= 0 && y < H) px[y * W + x] = c;
  }
  void putchar(int x, int y, uint8_t color, uint8_t ch) {
    for (int r = 0; r < 16; ++r)
      for (int c = 0; c < 8; ++c) putpixel(x + c, y + r, (font[ch * 16 + r] >> (7 - c)) & 1 ? color : 0);
  }
  void puts(int x, int y, uint8_t color, const std::string& s) {
    for (unsigned char ch : s) {
      putchar(x, y, color, ch);
      x += 8;
    }
  }
  void putchar_x2(int x, int y, uint8_t color, uint8_t ch) {
    for (int r = 0; r < 16; ++r)
      for (int c = 0; c < 8; ++c) {
        uint8_t v = (font[ch * 16 + r] >> (7 - c)) & 1 ? color : 0;
        putpixel(x + 2 * c, y + 2 * r, v);
        putpixel(x + 2 * c, y + 2 * r + 1, v);
        putpixel(x + 2 * c + 1, y + 2 * r, v);
        putpixel(x + 2 * c + 1, y + 2 * r + 1, v);
      }
  }
  void puts_x2(int x, int y, uint8_t color, const std::string& s) {
    for (unsigned char ch : s) {
      putchar_x2(x, y, color, ch);
      x += 16;
    }
  }
  void hline(int xl, int xr, int y, uint8_t color, int width) {
    for (int yy = y; yy < y + width; ++yy)
      for (int xx = xl; xx < xr; ++xx) putpixel(xx, yy, color);
  }
  void vline(int yu, int yd, int x, uint8_t color, int width) {
    for (int yy = yu; yy < yd; ++yy)
      for (int xx = x; xx < x + width; ++xx) putpixel(xx, yy, color);
  }
  void box(int xl, int yu, int xr, int yd, uint8_t color, int width) {
    hline(xl, xr, yu, color, width);
    hline(xl, xr, yd, color, width);
    vline(yu, yd, xl, color, width);
    vline(yu, yd, xr, color, width);
  }

  std::vector<TextRun> find() const { return find_lcd_text(font.data(), px.data()); }
  std::string text() const { return format_runs(find()); }
};

TEST(LcdText, OneRunAtAnOddPosition) {
  Screen s;
  s.puts(13, 7, 15, "Hola mundo");
  auto runs = s.find();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].x, 13);
  EXPECT_EQ(runs[0].y, 7);
  EXPECT_EQ(runs[0].size, 1);
  EXPECT_EQ(runs[0].text, "Hola mundo");
  EXPECT_EQ(runs[0].codes.size(), 10u);
  EXPECT_EQ(runs[0].codes[4], 0x20);
  EXPECT_EQ(s.text(), "13 7 1 Hola mundo\n");
}

TEST(LcdText, DoubleSizeAtOddPositions) {
  for (int ox = 0; ox < 2; ++ox)
    for (int oy = 0; oy < 2; ++oy) {
      Screen s;
      s.puts_x2(101 + ox, 46 + oy, 15, "MORVANE");
      EXPECT_EQ(s.text(), std::to_string(101 + ox) + " " + std::to_string(46 + oy) + " 2 MORVANE\n");
    }
}

TEST(LcdText, BothSizesOnOneScreen) {
  Screen s;
  s.puts_x2(50, 100, 15, "Llamando a...");
  s.puts(18, 79, 15, "1. Agenda");
  s.puts(18, 150, 15, "9:5:0");
  EXPECT_EQ(s.text(), "18 79 1 1. Agenda\n50 100 2 Llamando a...\n18 150 1 9:5:0\n");
}

TEST(LcdText, AnyNonZeroLevelIsInk) {
  Screen s;
  s.puts(40, 40, 7, "gris");
  s.puts_x2(40, 80, 1, "Gris");
  EXPECT_EQ(s.text(), "40 40 1 gris\n40 80 2 Gris\n");
}

TEST(LcdText, BlanksBetweenGlyphsAreSpaces) {
  Screen s;
  s.puts(8, 20, 15, "ab  cd");     // two blanks: one run
  s.puts(8, 60, 15, "ab   cd");    // three blanks: two runs
  s.puts(8, 100, 15, "  xy  ");    // leading and trailing blanks are not text
  s.puts_x2(8, 140, 15, "A  B");   // the same at double size
  s.puts_x2(8, 190, 15, "A   B");
  EXPECT_EQ(s.text(),
            "8 20 1 ab  cd\n"
            "8 60 1 ab\n"
            "48 60 1 cd\n"
            "24 100 1 xy\n"
            "8 140 2 A  B\n"
            "8 190 2 A\n"
            "72 190 2 B\n");
}

TEST(LcdText, TwoRunsOnOneRow) {
  Screen s;
  s.puts(10, 200, 15, "Hola");
  s.puts(200, 200, 15, "Adios");
  s.puts(10, 120, 15, "ab");
  s.puts(10 + 16 + 3, 120, 15, "cd");  // off the pitch: a run of its own
  EXPECT_EQ(s.text(), "10 120 1 ab\n29 120 1 cd\n10 200 1 Hola\n200 200 1 Adios\n");
  auto runs = s.find();
  EXPECT_TRUE(lcd_contains(runs, "Hola"));
  EXPECT_TRUE(lcd_contains(runs, "dio"));
  EXPECT_TRUE(lcd_contains(runs, "abcd"));     // 3 pixels apart: read together
  EXPECT_FALSE(lcd_contains(runs, "Hola Adios"));
  EXPECT_FALSE(lcd_contains(runs, "hola"));
}

// Runs off the cell pitch are read together when the gap is under a cell;
// the listing keeps them apart.
TEST(LcdText, NeighbouringRunsOnOneRowAreReadTogether) {
  struct Case {
    const char* what;
    int size, second_x, second_y, second_size;
    bool joined;
  } cases[] = {
      {"gap 1", 1, 27, 50, 1, true},
      {"gap 7, under a cell", 1, 33, 50, 1, true},
      {"gap 9, over a cell", 1, 35, 50, 1, false},
      {"one pixel lower", 1, 28, 51, 1, false},
      {"other size", 1, 28, 50, 2, false},
      {"double size, gap 15", 2, 10 + 32 + 15, 50, 2, true},
      {"double size, gap 17", 2, 10 + 32 + 17, 50, 2, false},
  };
  for (const Case& c : cases) {
    Screen s;
    auto draw = [&](int x, int y, int size, const std::string& t) {
      if (size == 2) s.puts_x2(x, y, 15, t);
      else s.puts(x, y, 15, t);
    };
    draw(10, 50, c.size, "ab");
    draw(c.second_x, c.second_y, c.second_size, "cd");
    auto runs = s.find();
    ASSERT_EQ(runs.size(), 2u) << c.what << "\n" << format_runs(runs);
    EXPECT_EQ(lcd_contains(runs, "abcd"), c.joined) << c.what;
    EXPECT_TRUE(lcd_contains(runs, "cd")) << c.what;
    EXPECT_FALSE(lcd_contains(runs, "ab cd")) << c.what;
  }
  // The dialled number: ten double-size digits 17 pixels apart, between
  // other text on the row that stays apart.
  Screen s;
  s.puts_x2(2, 140, 15, "N");
  for (int k = 0; k < 10; ++k) s.putchar_x2(100 + 17 * k, 140, 15, static_cast<uint8_t>('0' + (k + 1) % 10));
  auto runs = s.find();
  EXPECT_EQ(runs.size(), 11u) << format_runs(runs);
  auto joined = join_neighbours(runs);
  ASSERT_EQ(joined.size(), 2u) << format_runs(joined);
  EXPECT_EQ(joined[1].x, 100);
  EXPECT_EQ(joined[1].text, "1234567890");
  EXPECT_EQ(joined[1].codes.size(), 10u);
  EXPECT_TRUE(lcd_contains(runs, "1234567890"));
  EXPECT_FALSE(lcd_contains(runs, "N1"));
}

TEST(LcdText, OverwrittenCells) {
  Screen s;
  s.puts(20, 50, 15, "ABCDEFGH");
  // Cells are painted whole: C (36..43) and F (60..67) are partly covered by
  // the new cells 39..62 and no longer match; D and E are gone.
  s.puts(39, 50, 15, "xyz");
  EXPECT_EQ(s.text(), "20 50 1 AB\n39 50 1 xyz\n68 50 1 GH\n");
  // A double-size text replaced by a shorter one: the old tail stays.
  s.puts_x2(60, 120, 15, "GRABANDO");
  s.puts_x2(60, 120, 15, "HOLA");
  EXPECT_TRUE(lcd_contains(s.find(), "HOLAANDO")) << s.text();
}

TEST(LcdText, GlyphTouchedByADrawingDoesNotMatch) {
  Screen s;
  s.puts(100, 100, 15, "abcdef");
  s.putpixel(100 + 8 * 2 + 7, 100 + 15, 15);  // a dot in the blank corner of 'c'
  EXPECT_EQ(s.text(), "100 100 1 ab\n124 100 1 def\n");
}

TEST(LcdText, NoFalseMatchOnBoxOutlines) {
  Screen s;
  s.box(4, 4, 316, 32, 15, 3);
  s.box(4, 40, 316, 236, 15, 3);
  s.box(278, 13, 291, 22, 15, 1);
  s.box(20, 60, 28, 76, 15, 1);     // about one cell big
  s.box(40, 60, 47, 73, 15, 1);
  s.box(60, 60, 100, 100, 15, 2);
  s.hline(120, 300, 150, 15, 1);
  s.vline(160, 230, 200, 15, 1);
  EXPECT_EQ(s.text(), "");
  s.puts(10, 12, 15, "Inside");
  EXPECT_EQ(s.text(), "10 12 1 Inside\n");
}

TEST(LcdText, LonePunctuationIsIgnored) {
  Screen s;
  s.putchar(30, 30, 15, '-');
  s.putchar(60, 30, 15, '|');
  s.putchar(90, 30, 15, '.');
  s.putchar_x2(120, 30, 15, '_');
  s.hline(200, 208, 43, 15, 1);  // an 8-pixel line: looks like '_'
  s.hline(40, 300, 200, 15, 1);  // a long line: "________..."
  s.puts(100, 60, 15, "| | |");
  EXPECT_EQ(s.text(), "");
  s.putchar(30, 100, 15, 'x');   // a lone letter is text
  s.puts(60, 100, 15, "a-b");
  s.puts(120, 100, 15, "..");    // one glyph repeated: still a drawing
  s.puts(160, 100, 15, ".:");    // two different ones are text
  EXPECT_EQ(s.text(), "30 100 1 x\n60 100 1 a-b\n160 100 1 .:\n");
  EXPECT_TRUE(is_punctuation_like('|'));
  EXPECT_FALSE(is_punctuation_like('x'));
  EXPECT_FALSE(is_punctuation_like('7'));
}

TEST(LcdText, SameInkIsNotReportedTwice) {
  Screen s;
  // A doubled 'k' holds an 8 x 16 window that is exactly 'm'.
  s.puts_x2(40, 40, 15, "kk");
  // '-' is also '_' in a window 6 rows higher; only the text is reported.
  s.puts(40, 120, 15, "a - b");
  s.puts(40, 160, 15, "mam");
  EXPECT_EQ(s.text(), "40 40 2 kk\n40 120 1 a - b\n40 160 1 mam\n");
}

TEST(LcdText, IdenticalGlyphsDecodeToOneCode) {
  Screen s;
  s.puts(20, 20, 15, "Espa\xD1" "a");
  s.puts(20, 60, 15, "Espa\xF1" "a");
  auto runs = s.find();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].text, "Espa\xC3\xB1" "a");  // UTF-8 n with tilde
  EXPECT_EQ(runs[1].text, runs[0].text);
  EXPECT_EQ(runs[0].codes[4], 0xF1);
  EXPECT_EQ(runs[1].codes[4], 0xF1);
  EXPECT_TRUE(lcd_contains(runs, "Espa\xC3\xB1"));
}

TEST(LcdText, ControlCodeWithAGlyphIsReplacementCharacter) {
  Screen s;
  std::memcpy(&s.font[0x01 * 16], &s.font['#' * 16], 16);
  s.font[0x01 * 16 + 1] ^= 0x80;  // make it unique
  s.puts(20, 20, 15, "a\x01z");
  auto runs = s.find();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].text, "a\xEF\xBF\xBDz");
  EXPECT_EQ(runs[0].codes[1], 0x01);
}

TEST(LcdText, CellsAtTheScreenEdges) {
  Screen s;
  s.puts(0, 0, 15, "ab");
  s.puts(W - 16, H - 16, 15, "yz");
  s.puts_x2(W - 32, H - 64, 15, "Q");
  s.puts(W - 4, 100, 15, "c");  // half off the screen: not a cell
  EXPECT_EQ(s.text(), "0 0 1 ab\n288 176 2 Q\n304 224 1 yz\n");
}

TEST(LcdText, ThePhonesMainScreen) {
  // The phone's main screen with its marks, the clock and the menu.
  Screen s;
  s.box(4, 4, 316, 32, 15, 3);
  s.box(4, 40, 316, 236, 15, 3);
  s.puts_x2(100, 45, 15, "MORVANE");
  for (int i = 0; i <= 4; ++i) {
    s.vline(22 - 2 * i, 22, 295 + 3 * i, 15, 1);
    s.vline(21 - 2 * i, 22, 296 + 3 * i, 15, 1);
  }
  s.box(278, 13, 291, 22, 15, 1);
  s.vline(15, 21, 292, 15, 1);
  for (int i = 0; i <= 2; ++i)
    for (int x : {279 + 4 * i, 280 + 4 * i, 281 + 4 * i}) s.vline(15, 21, x, 15, 1);
  for (int x = 256; x <= 259; ++x) s.vline(14, 18, x, 15, 1);
  for (int i = 0; i <= 4; ++i) s.vline(13 - i, 19 + i, 260 + i, 15, 1);
  s.putpixel(266, 18, 15);
  s.putpixel(266, 14, 15);
  s.vline(15, 18, 267, 15, 1);
  s.putpixel(267, 12, 15);
  s.putpixel(267, 20, 15);
  s.putpixel(268, 19, 15);
  s.putpixel(268, 13, 15);
  s.vline(14, 19, 269, 15, 1);
  for (int i = 0; i <= 2; ++i) {
    s.putpixel(269 + i, 10 + i, 15);
    s.putpixel(269 + i, 21 - i, 15);
  }
  s.vline(13, 19, 271, 15, 1);
  s.puts(18, 79, 15, "1. Agenda");
  s.puts(18, 97, 15, "2. Fecha y Hora");
  s.puts(18, 115, 15, "3. Llamar");
  s.puts(18, 133, 15, "4. Sonido");
  s.puts(18, 151, 15, "5. Contestador");
  s.puts(10, 12, 15, "0:0:5 - 1/1/13");
  EXPECT_EQ(s.text(),
            "10 12 1 0:0:5 - 1/1/13\n"
            "100 45 2 MORVANE\n"
            "18 79 1 1. Agenda\n"
            "18 97 1 2. Fecha y Hora\n"
            "18 115 1 3. Llamar\n"
            "18 133 1 4. Sonido\n"
            "18 151 1 5. Contestador\n");
  auto runs = s.find();
  EXPECT_TRUE(lcd_contains(runs, "Fecha y Hora"));
  EXPECT_TRUE(lcd_contains(runs, "MORVANE"));
  EXPECT_FALSE(lcd_contains(runs, "GRABANDO"));
}

TEST(LcdText, EmptyAndFullScreens) {
  Screen s;
  EXPECT_TRUE(s.find().empty());
  std::fill(s.px.begin(), s.px.end(), 15);
  EXPECT_TRUE(s.find().empty());
  EXPECT_EQ(format_runs({}), "");
}

TEST(LcdText, OtherFrameSizes) {
  Screen s;
  s.puts(3, 5, 15, "Hi");
  // The top-left 40 x 30 corner of the frame as a frame of its own.
  std::vector<uint8_t> small(40 * 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) small[y * 40 + x] = s.px[y * W + x];
  auto runs = find_lcd_text(s.font.data(), small.data(), 40, 30);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].text, "Hi");
  EXPECT_TRUE(find_lcd_text(s.font.data(), small.data(), 7, 30).empty());
}

}  // namespace
}  // namespace sim
