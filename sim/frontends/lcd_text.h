// Text on the LCD, read back with the firmware's own font (the ELF's `font`
// table: 256 glyphs x 16 bytes, byte r = pixel row r, bit 7 = leftmost
// column, set bit = ink). Needs nothing from the board: the caller hands
// over the font and a frame of grey levels (0 = background, anything else =
// ink), e.g. what LcdController::render produces.
//
// What counts as text:
// - A cell matches a glyph when its 8 x 16 pixels are ink exactly where the
//   glyph has ink (size 1), or its 16 x 32 pixels are the glyph doubled, each
//   glyph pixel a uniform 2 x 2 block (size 2). Cells may sit anywhere (any x,
//   any y), not on a grid; a cell must lie wholly on the screen.
// - A run is a row of matching cells at the cell pitch (8 or 16 pixels) at
//   one y. A blank cell (no ink at all) between two glyphs is a space; at most
//   two consecutive blanks stay inside a run, a third ends it. Runs start and
//   end with a glyph and are reported by their first cell's top-left corner.
// - Glyphs that are all empty (the space, codes without a glyph) are never
//   matched on their own. Codes that share one glyph decode to one code:
//   printable ASCII first, then the highest code (the phone's font has the
//   same n-with-tilde at 0xD1 and 0xF1: it reads as 0xF1, "ñ").
//
// Heuristics against junk (drawings that happen to look like glyphs):
// - A run whose glyphs are all one punctuation-like glyph (one of
//   . , : ; ' ` " - _ | / \ ( ) [ ] { } < > ^ ~ = + !), alone or repeated,
//   is ignored: a lone '|' or '.' is almost always a piece of a line, a box
//   or an icon, and any isolated one-pixel horizontal line reads as "_____".
//   Real text made only of such a glyph ("...", "--") is lost with it.
// - The same ink is never reported twice. Candidate runs are taken in order
//   (more glyph ink on the screen first, then size 2 before size 1, then by
//   position) and a run whose glyphs use an ink pixel already claimed by a
//   taken run is dropped whole. So the pieces of a double-size text that look
//   like normal-size glyphs, or a '-' that also fits '_' in a window shifted
//   upwards, vanish; two texts whose cells overlap without sharing ink are
//   both kept.
// - Some shapes are truly ambiguous: a lone 2 x 2 block is both a normal-size
//   glyph of that shape and, if the font has a one-pixel glyph, that glyph
//   doubled; equal ink goes to size 2.
//
// Cost: one pass builds, per pixel column, the 8 pixels to its right as a
// byte, column-major, so a cell's 16 row bytes are two 64-bit loads; those
// are looked up in a hash of the font. Size 2 runs the same search on the four
// 2 x 2-subsampled phases of the frame, with a second plane that marks
// non-uniform blocks. A whole 320 x 240 screen takes about 1 to 3 ms on a
// loaded two-core machine (blank, full of text or noise alike); building the
// finder costs little, and one can be reused for every frame.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct TextRun {
  int x = 0;     // top-left corner of the first cell
  int y = 0;
  int size = 1;  // 1: 8 x 16 cells, 2: 16 x 32 cells
  // UTF-8: ASCII as is, 0xA0..0xFF as Latin-1 (0xF1 -> "ñ"), spaces for
  // blank cells, U+FFFD for control codes that have a glyph.
  std::string text;
  std::vector<uint8_t> codes;  // one font code per cell, 0x20 for a blank cell
};

class LcdTextFinder {
 public:
  static constexpr int kFontBytes = 4096;

  // `font`: kFontBytes bytes, copied.
  explicit LcdTextFinder(const uint8_t* font);

  // `grey`: width x height bytes, row-major. Runs sorted by y, then x, then size.
  std::vector<TextRun> find(const uint8_t* grey, int width = 320, int height = 240) const;

 private:
  struct Slot {
    uint64_t lo = 0, hi = 0;  // the 16 row bytes of a glyph, rows 0..7 and 8..15
    int code = -1;
  };
  int lookup(uint64_t lo, uint64_t hi) const;

  uint8_t font_[kFontBytes];
  std::vector<Slot> table_;  // open addressing, power-of-two size
  int ink_[256];             // ink pixels per glyph
};

// One-shot form of LcdTextFinder(font).find(grey, width, height).
std::vector<TextRun> find_lcd_text(const uint8_t* font, const uint8_t* grey, int width = 320, int height = 240);

// The runs as a script reads them. Text drawn at a pitch other than the
// cell's (the phone draws the dialled number at 17 pixels a double-size
// digit) is found as one run per glyph; so neighbouring runs on one row (the
// same y) and of one size, where each starts less than one cell (8 or 16
// pixels) after the end of the one before, are joined into one run, read
// without a space. A gap of a whole cell or more stays a break: a blank cell
// on the pitch is already a space inside a run. Sorted as find() sorts.
std::vector<TextRun> join_neighbours(const std::vector<TextRun>& runs);

// True when `text` (UTF-8) is part of the text of one run, joined as
// join_neighbours() joins them.
bool lcd_contains(const std::vector<TextRun>& runs, const std::string& text);

// One line per run: "x y size text\n".
std::string format_runs(const std::vector<TextRun>& runs);

// Whether a lone glyph of this code is ignored as a piece of a drawing.
bool is_punctuation_like(uint8_t code);

}  // namespace sim
