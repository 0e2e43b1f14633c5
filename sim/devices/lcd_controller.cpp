#include "devices/lcd_controller.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {
// Writable bits per register; LINECNT (LCDCON1[31:22]) is read-only and the
// manual reserves the rest of the bits left out here.
constexpr uint32_t kWriteMask[LcdController::kRegCount] = {
    0x003FFFFF,  // LCDCON1
    0xFFFFFFFF,  // LCDCON2
    0x1FFFFFFF,  // LCDSADDR1
    0x3FFFFFFF,  // LCDSADDR2
    0x000FFFFF,  // LCDSADDR3
    0xFFFFFFFF,  // REDLUT
    0xFFFFFFFF,  // GREENLUT
    0xFFFFFFFF,  // BLUELUT
    0xFFFFFFFF,  // DP1_2
    0xFFFFFFFF,  // DP4_7
    0xFFFFFFFF,  // DP3_5
    0xFFFFFFFF,  // DP2_3
    0xFFFFFFFF,  // DP5_7
    0xFFFFFFFF,  // DP3_4
    0xFFFFFFFF,  // DP4_5
    0xFFFFFFFF,  // DP6_7
    0x00000001,  // LCDCON3: SELFREF
    0xFFFFFFFF,  // DITHMODE
};

constexpr uint32_t kBankOffsetMask = 0x003FFFFF;  // the 22-bit address counter

constexpr uint32_t ENVID = 1u << 0;
constexpr uint32_t INVVD = 1u << 1;
constexpr uint32_t kSyncInversions = 0x7u << 2;  // INVFRAME, INVLINE, INVCLK
}  // namespace

LcdController::LcdController(uint32_t base, Scheduler* scheduler)
    : Device("lcd", base, 0x48), scheduler_(scheduler) {
  reset();
}

void LcdController::reset() {
  std::memset(regs_, 0, sizeof regs_);
  // Dither pattern reset values from the manual's register table.
  regs_[DP1_2 / 4] = 0x0000A5A5;
  regs_[DP4_7 / 4] = 0x0BA5DA65;
  regs_[DP3_5 / 4] = 0x000A5A5F;
  regs_[DP2_3 / 4] = 0x00000D6B;
  regs_[DP5_7 / 4] = 0x0EB7B5ED;
  regs_[DP3_4 / 4] = 0x00007DBE;
  regs_[DP4_5 / 4] = 0x0007EBDF;
  regs_[DP6_7 / 4] = 0x07FDFBFE;
  anchor_ = period_ = 0;
  anchor_line_ = held_line_ = 0;
}

VTime LcdController::line_period() const {
  if (!scheduler_) return 0;
  uint32_t con1 = reg(LCDCON1), con2 = reg(LCDCON2);
  uint64_t clkval = (con1 >> 12) & 0x3FF;
  if (clkval < 2) return 0;
  uint64_t hozval = (con2 >> 10) & 0x7FF;
  uint64_t wlh = 4 * (((con1 >> 10) & 3) + 1), wdly = 4 * (((con1 >> 8) & 3) + 1);
  uint64_t lineblank = 8 * ((con2 >> 21) & 0x7FF);
  return scheduler_->cycles_to_time(2 * clkval * (hozval + 1) + wlh + wdly + lineblank);
}

bool LcdController::scanning() const { return scheduler_ && output_enabled() && gate_.on && period_ != 0; }

uint32_t LcdController::line_count() const {
  if (!scheduler_ || !output_enabled()) return 0;
  uint32_t lines = (reg(LCDCON2) & 0x3FF) + 1;
  uint32_t line = held_line_;
  if (scanning()) {
    VTime now = scheduler_->now();
    line = static_cast<uint32_t>((anchor_line_ + (now - anchor_) / period_) % lines);
  }
  return lines - 1 - line % lines;
}

void LcdController::retime() {
  if (!scheduler_) return;
  uint32_t lines = (reg(LCDCON2) & 0x3FF) + 1;
  // The line in progress: LINECNT as it reads now, under the old timing.
  uint32_t line = lines - 1 - line_count();
  VTime now = scheduler_->now();
  held_line_ = line;
  anchor_ = now;
  anchor_line_ = line;
  period_ = line_period();
  check_timing();
}

void LcdController::check_timing() {
  if (!output_enabled() || !scheduler_) return;
  if (period_ == 0) {
    if (!timing_reported_) {
      timing_reported_ = true;
      log("LCDCON1 CLKVAL = " + std::to_string((reg(LCDCON1) >> 12) & 0x3FF) +
          " gives no VCLK (VCLK = MCLK / (2 x CLKVAL) needs CLKVAL >= 2): the panel gets no picture");
    }
    return;
  }
  VTime frame = period_ * ((reg(LCDCON2) & 0x3FF) + 1);
  if ((frame > kSecond / 25 || frame < kSecond / 1000) && !rate_reported_) {
    rate_reported_ = true;
    log("CLKVAL, WLH, WDLY, LINEBLANK, LINEVAL and MCLK give " + std::to_string(kSecond / frame) +
        " frames per second: no STN panel shows a steady picture outside 25..1000 Hz");
  }
}

void LcdController::set_clock_enabled(bool on) {
  if (on == gate_.on) return;
  retime();
  gate_.on = on;
  retime();
}

VTime LcdController::stable_until(uint32_t offset) {
  if (offset != LCDCON1 || !scanning()) return kForever;
  VTime now = scheduler_->now();
  return anchor_ + ((now - anchor_) / period_ + 1) * period_;
}

// Byte and half-word accesses see the lanes of the little-endian register.
uint32_t LcdController::read(uint32_t offset, unsigned size) {
  uint32_t index = offset / 4;
  if (index >= kRegCount) {
    log_unmodelled(offset, false);
    return 0;
  }
  uint32_t value = regs_[index];
  if (index == LCDCON1 / 4) value |= line_count() << 22;  // LINECNT, read-only
  if (size >= 4) return value;
  unsigned shift = 8 * (offset & 3);
  return (value >> shift) & ((1u << (8 * size)) - 1);
}

void LcdController::write(uint32_t offset, uint32_t value, unsigned size) {
  uint32_t index = offset / 4;
  if (index >= kRegCount) {
    log_unmodelled(offset, true);
    return;
  }
  uint32_t lanes = 0xFFFFFFFF;
  if (size < 4) {
    unsigned shift = 8 * (offset & 3);
    lanes = ((1u << (8 * size)) - 1) << shift;
    value <<= shift;
  }
  uint32_t mask = lanes & kWriteMask[index];
  bool timing = index == LCDCON1 / 4 || index == LCDCON2 / 4;
  bool was_on = output_enabled();
  if (timing) retime();  // the count so far ran at the old settings
  regs_[index] = (regs_[index] & ~mask) | (value & mask);
  if (!timing) return;
  if (output_enabled() && !was_on) {
    anchor_line_ = held_line_ = 0;  // ENVID on: the scan starts at LINEVAL
    if (scheduler_) anchor_ = scheduler_->now();
  }
  period_ = line_period();
  check_timing();
}

uint32_t LcdController::start_address() const {
  uint32_t saddr1 = reg(LCDSADDR1);
  return (((saddr1 >> 21) & 0x3F) << 22) | ((saddr1 & 0x1FFFFF) << 1);
}

uint32_t LcdController::lower_start_address() const {
  return (start_address() & ~kBankOffsetMask) | ((reg(LCDSADDR2) & 0x1FFFFF) << 1);
}

uint32_t LcdController::line_stride() const {
  uint32_t saddr3 = reg(LCDSADDR3);
  uint32_t pagewidth = saddr3 & 0x1FF;
  uint32_t offsize = (saddr3 >> 9) & 0x7FF;
  return 2 * (pagewidth + offsize);
}

int LcdController::picture_width() const {
  int hozval = static_cast<int>((reg(LCDCON2) >> 10) & 0x7FF);
  return (hozval + 1) * (panel() == Panel::kSingle8 ? 8 : 4);
}

int LcdController::picture_height() const {
  int lineval = static_cast<int>(reg(LCDCON2) & 0x3FF);
  return (lineval + 1) * (panel() == Panel::kDual4 ? 2 : 1);
}

void LcdController::render(const Sdram& ram, uint8_t* grey) const {
  std::memset(grey, 0, kPixels);
  if (!output_enabled()) return;
  if (!gate_.check(name(), ClockPower::kLcd)) return;
  if (scheduler_ && line_period() == 0) return;  // no VCLK (reported by check_timing)
  if (ports_) {
    bool wired = true;
    for (int f = Ports::kVd0; f <= Ports::kVframe; ++f)
      wired = ports_->pin_given(static_cast<Ports::Function>(f), name()) && wired;
    if (!wired) return;
  }

  if (mode() == Mode::kColour) {
    if (!colour_reported_) {
      colour_reported_ = true;
      log("colour mode (MODESEL = 11) is not modelled: the panel shows white");
    }
    return;
  }
  if (panel() == Panel::kReserved) {
    if (!panel_reported_) {
      panel_reported_ = true;
      log("LCDCON1 DISMODE = 11 is reserved: the panel shows white");
    }
    return;
  }
  if ((reg(LCDCON1) & kSyncInversions) && !polarity_reported_) {
    polarity_reported_ = true;
    log("INVCLK/INVLINE/INVFRAME (sync polarity) are not modelled; the picture ignores them");
  }

  int width = std::min(picture_width(), kWidth);
  uint32_t start = start_address();
  uint32_t bank = start & ~kBankOffsetMask;
  if (panel() == Panel::kDual4) {
    int half = picture_height() / 2;
    render_lines(ram, grey, bank, start & kBankOffsetMask, 0, std::min(half, kHeight), width);
    if (half < kHeight)
      render_lines(ram, grey, bank, lower_start_address() & kBankOffsetMask, half, std::min(half, kHeight - half),
                   width);
  } else {
    render_lines(ram, grey, bank, start & kBankOffsetMask, 0, std::min(picture_height(), kHeight), width);
  }
}

void LcdController::render_lines(const Sdram& ram, uint8_t* grey, uint32_t bank, uint32_t offset, int first_row,
                                 int rows, int width) const {
  unsigned bpp = mode() == Mode::kMono ? 1 : mode() == Mode::kGrey4 ? 2 : 4;
  unsigned per_word = 32 / bpp;
  uint32_t value_mask = (1u << bpp) - 1;

  // Grey level of each pixel value, after the mode's mapping and INVVD.
  uint8_t level[16] = {};
  uint32_t bluelut = reg(BLUELUT);
  for (uint32_t v = 0; v <= value_mask; ++v) {
    uint8_t l = mode() == Mode::kMono ? static_cast<uint8_t>(v * 15)
                : mode() == Mode::kGrey4 ? static_cast<uint8_t>((bluelut >> (4 * v)) & 0xF)
                                         : static_cast<uint8_t>(v);
    level[v] = (reg(LCDCON1) & INVVD) ? static_cast<uint8_t>(15 - l) : l;
  }

  bool swap = byte_swap();
  uint32_t stride = line_stride();
  for (int r = 0; r < rows; ++r) {
    uint8_t* out = grey + (first_row + r) * kWidth;
    uint32_t line = offset + static_cast<uint32_t>(r) * stride;
    for (int x0 = 0; x0 < width; x0 += per_word) {
      uint32_t fetch = line + static_cast<uint32_t>(x0 / per_word) * 4;
      uint8_t b[4];
      bool present = true;
      for (unsigned i = 0; i < 4 && present; ++i) {
        const uint8_t* p = ram.at(bank | ((fetch + i) & kBankOffsetMask));
        if (p) b[i] = *p;
        else present = false;
      }
      if (!present) continue;  // white
      uint32_t word = swap ? (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3]
                           : (uint32_t(b[3]) << 24) | (uint32_t(b[2]) << 16) | (uint32_t(b[1]) << 8) | b[0];
      int n = std::min<int>(per_word, width - x0);
      for (int k = 0; k < n; ++k) out[x0 + k] = level[(word >> (32 - bpp * (k + 1))) & value_mask];
    }
  }
}

}  // namespace sim
