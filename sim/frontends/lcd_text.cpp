#include "frontends/lcd_text.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace sim {

namespace {
constexpr int kCellW = 8;   // cell size in the searched plane
constexpr int kCellH = 16;
constexpr int kMaxBlanks = 2;
constexpr int kBlank = -1;

// A binary image prepared for cell look-ups: col[x * h + y] holds the pixels
// x .. x + 7 of row y (bit 7 = x, pixels past the right edge are 0), so the
// 16 row bytes of the cell at (x, y) are contiguous.
struct Plane {
  int w = 0, h = 0;
  std::vector<uint8_t> col;

  // `ink`: w x h bytes, row-major, 0 or 1.
  void build(const uint8_t* ink, int width, int height) {
    w = width;
    h = height;
    col.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    for (int y = 0; y < h; ++y) {
      const uint8_t* row = ink + static_cast<size_t>(y) * w;
      unsigned acc = 0;
      for (int x = w - 1; x >= 0; --x) {
        acc = (acc >> 1) | (static_cast<unsigned>(row[x]) << 7);
        col[static_cast<size_t>(x) * h + y] = static_cast<uint8_t>(acc);
      }
    }
  }
  // The cell at (x, y) as two 64-bit halves; x <= w - 8 and y <= h - 16.
  void cell(int x, int y, uint64_t& lo, uint64_t& hi) const {
    const uint8_t* p = col.data() + static_cast<size_t>(x) * h + y;
    std::memcpy(&lo, p, 8);
    std::memcpy(&hi, p + 8, 8);
  }
  bool blank(int x, int y) const {
    uint64_t lo, hi;
    cell(x, y, lo, hi);
    return (lo | hi) == 0;
  }
};

struct Candidate {
  int x, y, size;
  std::vector<int> codes;  // kBlank for a blank cell
  long score;                  // ink pixels on the screen
};

void append_utf8(std::string& out, uint8_t code) {
  if (code >= 0x20 && code < 0x7F) {
    out += static_cast<char>(code);
  } else if (code >= 0xA0) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += "\xEF\xBF\xBD";  // U+FFFD: a control code that has a glyph
  }
}

uint64_t key_hash(uint64_t lo, uint64_t hi) {
  uint64_t h = lo * 0x9E3779B97F4A7C15ull ^ (hi + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full;
  return h ^ (h >> 29);
}
}  // namespace

bool is_punctuation_like(uint8_t code) {
  static const char kPunctuation[] = ".,:;'`\"-_|/\\()[]{}<>^~=+!";
  return code != 0 && std::strchr(kPunctuation, code) != nullptr;
}

LcdTextFinder::LcdTextFinder(const uint8_t* font) {
  std::memcpy(font_, font, sizeof font_);
  table_.assign(1024, Slot{});
  // Codes in order of preference: the first code of a glyph claims it.
  std::vector<int> order;
  for (int c = 0x21; c <= 0x7E; ++c) order.push_back(c);
  for (int c = 255; c >= 0; --c)
    if (c < 0x21 || c > 0x7E) order.push_back(c);

  for (int c = 0; c < 256; ++c) {
    int n = 0;
    for (int r = 0; r < 16; ++r) n += __builtin_popcount(font_[c * 16 + r]);
    ink_[c] = n;
  }
  for (int c : order) {
    if (ink_[c] == 0) continue;  // empty glyphs are blanks, not matches
    uint64_t lo, hi;
    std::memcpy(&lo, font_ + c * 16, 8);
    std::memcpy(&hi, font_ + c * 16 + 8, 8);
    if (lookup(lo, hi) >= 0) continue;
    size_t mask = table_.size() - 1;
    for (size_t i = key_hash(lo, hi) & mask;; i = (i + 1) & mask) {
      if (table_[i].code < 0) {
        table_[i] = Slot{lo, hi, c};
        break;
      }
    }
  }
}

int LcdTextFinder::lookup(uint64_t lo, uint64_t hi) const {
  size_t mask = table_.size() - 1;
  for (size_t i = key_hash(lo, hi) & mask;; i = (i + 1) & mask) {
    const Slot& s = table_[i];
    if (s.code < 0) return -1;
    if (s.lo == lo && s.hi == hi) return s.code;
  }
}

std::vector<TextRun> LcdTextFinder::find(const uint8_t* grey, int width, int height) const {
  std::vector<Candidate> candidates;

  // Finds the runs of one plane. `bad` (may be null) marks plane pixels that
  // stand for a non-uniform 2 x 2 block; plane (i, j) is screen
  // (ox + scale * i, oy + scale * j).
  std::vector<int16_t> code_at;
  struct Match {
    int x, y, code;
  };
  std::vector<Match> matches;
  auto search = [&](const Plane& p, const Plane* bad, int scale, int ox, int oy) {
    if (p.w < kCellW || p.h < kCellH) return;
    code_at.assign(p.col.size(), -1);
    matches.clear();
    for (int x = 0; x + kCellW <= p.w; ++x) {
      for (int y = 0; y + kCellH <= p.h; ++y) {
        uint64_t lo, hi;
        p.cell(x, y, lo, hi);
        if ((lo | hi) == 0) continue;
        if (bad && !bad->blank(x, y)) continue;
        int code = lookup(lo, hi);
        if (code < 0) continue;
        code_at[static_cast<size_t>(x) * p.h + y] = static_cast<int16_t>(code);
        matches.push_back({x, y, code});
      }
    }
    std::sort(matches.begin(), matches.end(),
              [](const Match& a, const Match& b) { return std::tie(a.y, a.x) < std::tie(b.y, b.x); });
    for (const Match& m : matches) {
      int16_t& first = code_at[static_cast<size_t>(m.x) * p.h + m.y];
      if (first < 0) continue;  // already inside a run further left
      Candidate c{ox + scale * m.x, oy + scale * m.y, scale, {m.code}, 0};
      first = -1;
      int blanks = 0;
      for (int x = m.x + kCellW; x + kCellW <= p.w; x += kCellW) {
        int16_t& next = code_at[static_cast<size_t>(x) * p.h + m.y];
        if (next >= 0) {
          c.codes.insert(c.codes.end(), static_cast<size_t>(blanks), kBlank);
          c.codes.push_back(next);
          next = -1;
          blanks = 0;
        } else if (p.blank(x, m.y) && (!bad || bad->blank(x, m.y)) && blanks < kMaxBlanks) {
          ++blanks;
        } else {
          break;
        }
      }
      for (int code : c.codes)
        if (code != kBlank) c.score += static_cast<long>(ink_[code]) * scale * scale;
      candidates.push_back(std::move(c));
    }
  };

  // Size 1 on the frame itself.
  std::vector<uint8_t> ink(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (size_t i = 0; i < ink.size(); ++i) ink[i] = grey[i] != 0;
  Plane plane;
  plane.build(ink.data(), width, height);
  search(plane, nullptr, 1, 0, 0);

  // Size 2 on each 2 x 2 phase: a plane pixel is the block's top-left pixel,
  // and the block must be uniform.
  Plane bad_plane;
  std::vector<uint8_t> half, bad;
  for (int oy = 0; oy < 2; ++oy) {
    for (int ox = 0; ox < 2; ++ox) {
      int hw = (width - ox) / 2, hh = (height - oy) / 2;
      if (hw < kCellW || hh < kCellH) continue;
      half.assign(static_cast<size_t>(hw) * hh, 0);
      bad.assign(static_cast<size_t>(hw) * hh, 0);
      for (int j = 0; j < hh; ++j) {
        const uint8_t* r0 = ink.data() + static_cast<size_t>(oy + 2 * j) * width + ox;
        const uint8_t* r1 = r0 + width;
        for (int i = 0; i < hw; ++i) {
          uint8_t a = r0[2 * i];
          half[static_cast<size_t>(j) * hw + i] = a;
          bad[static_cast<size_t>(j) * hw + i] = (r0[2 * i + 1] != a) | (r1[2 * i] != a) | (r1[2 * i + 1] != a);
        }
      }
      plane.build(half.data(), hw, hh);
      bad_plane.build(bad.data(), hw, hh);
      search(plane, &bad_plane, 2, ox, oy);
    }
  }

  // One punctuation-like glyph, alone or repeated ("_____" along a line), is
  // taken for a piece of a drawing.
  candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                  [](const Candidate& c) {
                                    int only = kBlank;
                                    for (int code : c.codes) {
                                      if (code == kBlank) continue;
                                      if (!is_punctuation_like(static_cast<uint8_t>(code))) return false;
                                      if (only != kBlank && code != only) return false;
                                      only = code;
                                    }
                                    return true;
                                  }),
                   candidates.end());

  // Each ink pixel belongs to at most one run.
  std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    return std::make_tuple(-a.score, -a.size, a.y, a.x) < std::make_tuple(-b.score, -b.size, b.y, b.x);
  });
  std::vector<uint8_t> claimed(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  auto for_each_ink = [&](const Candidate& c, auto&& visit) {
    for (size_t k = 0; k < c.codes.size(); ++k) {
      if (c.codes[k] == kBlank) continue;
      const uint8_t* glyph = font_ + c.codes[k] * 16;
      int cx = c.x + static_cast<int>(k) * kCellW * c.size;
      for (int r = 0; r < 16; ++r)
        for (int col = 0; col < 8; ++col)
          if (glyph[r] & (0x80 >> col))
            for (int dy = 0; dy < c.size; ++dy)
              for (int dx = 0; dx < c.size; ++dx)
                if (!visit(static_cast<size_t>(c.y + r * c.size + dy) * width + cx + col * c.size + dx)) return false;
    }
    return true;
  };
  std::vector<TextRun> runs;
  for (const Candidate& c : candidates) {
    bool free = for_each_ink(c, [&](size_t i) { return claimed[i] == 0; });
    if (!free) continue;
    for_each_ink(c, [&](size_t i) {
      claimed[i] = 1;
      return true;
    });
    TextRun run;
    run.x = c.x;
    run.y = c.y;
    run.size = c.size;
    for (int code : c.codes) {
      uint8_t byte = code == kBlank ? 0x20 : static_cast<uint8_t>(code);
      run.codes.push_back(byte);
      append_utf8(run.text, byte);
    }
    runs.push_back(std::move(run));
  }
  std::sort(runs.begin(), runs.end(), [](const TextRun& a, const TextRun& b) {
    return std::tie(a.y, a.x, a.size) < std::tie(b.y, b.x, b.size);
  });
  return runs;
}

std::vector<TextRun> find_lcd_text(const uint8_t* font, const uint8_t* grey, int width, int height) {
  return LcdTextFinder(font).find(grey, width, height);
}

std::vector<TextRun> join_neighbours(const std::vector<TextRun>& runs) {
  std::vector<TextRun> sorted = runs;
  std::sort(sorted.begin(), sorted.end(), [](const TextRun& a, const TextRun& b) {
    return std::tie(a.y, a.size, a.x) < std::tie(b.y, b.size, b.x);
  });
  std::vector<TextRun> joined;
  int end = 0;  // x just past the last cell of joined.back()
  for (const TextRun& r : sorted) {
    int cell = kCellW * r.size;
    int r_end = r.x + static_cast<int>(r.codes.size()) * cell;
    if (!joined.empty() && joined.back().y == r.y && joined.back().size == r.size && r.x - end < cell) {
      TextRun& into = joined.back();
      into.text += r.text;
      into.codes.insert(into.codes.end(), r.codes.begin(), r.codes.end());
      end = std::max(end, r_end);
    } else {
      joined.push_back(r);
      end = r_end;
    }
  }
  std::sort(joined.begin(), joined.end(), [](const TextRun& a, const TextRun& b) {
    return std::tie(a.y, a.x, a.size) < std::tie(b.y, b.x, b.size);
  });
  return joined;
}

bool lcd_contains(const std::vector<TextRun>& runs, const std::string& text) {
  for (const TextRun& run : join_neighbours(runs))
    if (run.text.find(text) != std::string::npos) return true;
  return false;
}

std::string format_runs(const std::vector<TextRun>& runs) {
  std::string out;
  for (const TextRun& run : runs)
    out += std::to_string(run.x) + " " + std::to_string(run.y) + " " + std::to_string(run.size) + " " + run.text + "\n";
  return out;
}

}  // namespace sim
