// S3C44B0X LCD controller (user's manual, chapter "LCD controller"), as far as
// it decides the picture: which bytes of memory the controller fetches, in
// what order, and which grey level each pixel shows on the board's 320 x 240
// STN panel (grey 0 = white, 15 = black; shared/hardware-notes.md).
//
// The picture comes from the registers only, never from a fixed frame-buffer
// address:
// - ENVID (LCDCON1[0]) off: the controller drives nothing and the panel is
//   white.
// - MODESEL (LCDSADDR1[28:27]): 00 mono (1 bpp, bit 1 = black), 01 4 grey
//   (2 bpp; value v shows BLUELUT[4v+3:4v], the manual's 4-of-16 selection),
//   10 16 grey (4 bpp, no lookup table), 11 colour: not modelled, logged once,
//   the panel shows white.
// - Start address: LCDBANK (A[27:22]) and LCDBASEU (A[21:1]). Line n starts
//   (PAGEWIDTH + OFFSIZE) half-words after line n - 1. The address counter
//   has 22 bits: it wraps inside the 4 MB bank that LCDBANK selects.
// - Picture size: (HOZVAL + 1) x data lines wide (4 for the 4-bit panels,
//   8 for 8-bit single scan), LINEVAL + 1 lines high (twice that in dual scan,
//   whose lower half starts at LCDBASEL of the same bank). It is clipped to
//   the panel; where the controller sends nothing the panel is white.
// - Each fetched 32-bit word (the four bytes at the fetch address, little
//   endian; BSWP = 1 reverses them first) is shown from bit 31 down: in
//   16-grey mode the first pixel is bits 31..28, in 4-grey bits 31..30, in
//   mono bit 31.
// - INVVD (LCDCON1[1]) inverts the video data: level n shows as max - n.
// - Bytes outside SDRAM (the controller could fetch them from other banks)
//   show white; a word that is not wholly inside SDRAM counts as outside.
//
// Not modelled / judgement calls:
// - Dithering: DITHMODE and DP1_2..DP6_7 are stored (reset values from the
//   manual), but levels 1..14 are rendered as plain greys.
// - Timing: LINECNT (LCDCON1[31:22], read-only) counts the lines down from
//   LINEVAL to 0, computed from the clock when read: a line lasts
//   (HOZVAL + 1) VCLK, VCLK = MCLK / (2 x CLKVAL), plus WLH and WDLY
//   (4, 8, 12 or 16 MCLK each) and LINEBLANK x 8 MCLK, the manual's frame-
//   rate formula. It starts at LINEVAL when ENVID turns on, follows MCLK and
//   the timing fields from the moment they change (the line in progress
//   goes on at the new rate), and holds while the LCD clock is stopped.
//   Judgement call: with ENVID off the counter does not run and reads 0 (so
//   a read-modify-write of LCDCON1 before the scan starts writes back 0). CLKVAL 0 or 1 (no VCLK) gives no picture (the panel shows
//   white) and a frame rate under 25 Hz or over 1000 Hz one no STN panel
//   shows steadily: both are reported once. MMODE, MVAL and the
//   self-refresh bit (LCDCON3) change nothing. INVCLK/INVLINE/INVFRAME (sync
//   polarities) are logged once and otherwise ignored.
// - Clock and pins: with the LCD clock gated (CLKCON[6]) or stopped by STOP,
//   or while PCOND does not give PD0..PD7 to VD0..VD3, VCLK, VLINE, VM and
//   VFRAME, the panel gets nothing and shows white (reported once).
// - A line is read on from its start address for as many pixels as the
//   picture is wide; PAGEWIDTH only sets the distance between line starts.
//   With a consistent set-up (PAGEWIDTH = width x bpp / 16) this is what the
//   DMA fetches. A line that starts at a half-word (odd PAGEWIDTH + OFFSIZE)
//   is read as words from that address; the manual does not say otherwise.
// - In single scan LCDBASEL (the frame's end) is not used.
// - The registers keep every bit written except the read-only LINECNT and
//   bits the manual reserves in LCDCON1..3 and LCDSADDR1..3; the lookup and
//   dither registers keep all 32 bits (the phone writes DP3_4 = 0x77DBE and
//   tests may want to read it back).
#pragma once
#include <cstdint>

#include "core/memory.h"
#include "devices/clock_power.h"
#include "core/device.h"
#include "devices/ports.h"

namespace sim {

class LcdController : public Device {
 public:
  static constexpr int kWidth = 320;   // the board's panel
  static constexpr int kHeight = 240;
  static constexpr int kPixels = kWidth * kHeight;

  // Register offsets from the block's base (0x01F00000).
  enum Reg : uint32_t {
    LCDCON1 = 0x00,
    LCDCON2 = 0x04,
    LCDSADDR1 = 0x08,
    LCDSADDR2 = 0x0C,
    LCDSADDR3 = 0x10,
    REDLUT = 0x14,
    GREENLUT = 0x18,
    BLUELUT = 0x1C,
    DP1_2 = 0x20,
    DP4_7 = 0x24,
    DP3_5 = 0x28,
    DP2_3 = 0x2C,
    DP5_7 = 0x30,
    DP3_4 = 0x34,
    DP4_5 = 0x38,
    DP6_7 = 0x3C,
    LCDCON3 = 0x40,
    DITHMODE = 0x44,
  };
  static constexpr int kRegCount = 0x48 / 4;

  enum class Mode { kMono, kGrey4, kGrey16, kColour };
  enum class Panel { kDual4, kSingle4, kSingle8, kReserved };

  // Without a scheduler LINECNT reads 0.
  explicit LcdController(uint32_t base, Scheduler* scheduler = nullptr);
  void set_ports(Ports* ports) { ports_ = ports; }
  void mclk_changed() { retime(); }
  void set_clock_enabled(bool on);
  VTime stable_until(uint32_t offset) override;

  // One line's duration with the current registers and MCLK (0: no VCLK).
  VTime line_period() const;
  uint32_t line_count() const;

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;

  // The panel as the controller drives it now: kPixels bytes, row-major,
  // grey 0 (white) .. 15 (black).
  void render(const Sdram& ram, uint8_t* grey) const;

  bool output_enabled() const { return reg(LCDCON1) & 1; }
  Mode mode() const { return static_cast<Mode>((reg(LCDSADDR1) >> 27) & 3); }
  Panel panel() const { return static_cast<Panel>((reg(LCDCON1) >> 5) & 3); }
  bool byte_swap() const { return (reg(LCDSADDR2) >> 29) & 1; }
  // Address of the first word the controller fetches (upper half in dual scan).
  uint32_t start_address() const;
  // Start of the lower half (dual scan only).
  uint32_t lower_start_address() const;
  // Distance between line starts, in bytes.
  uint32_t line_stride() const;
  // The picture the controller sends, before clipping to the panel.
  int picture_width() const;
  int picture_height() const;

  uint32_t reg(uint32_t offset) const { return regs_[offset / 4]; }

 private:
  // Renders `rows` panel rows from `first_row` on, fetching from the bank
  // `bank` (A[27:22] in place) at 22-bit offset `offset`.
  void render_lines(const Sdram& ram, uint8_t* grey, uint32_t bank, uint32_t offset, int first_row, int rows,
                    int width) const;

  // Re-anchors the line counter at now, keeping the line in progress.
  void retime();
  bool scanning() const;
  void check_timing();

  Scheduler* scheduler_ = nullptr;
  Ports* ports_ = nullptr;
  mutable ClockGateState gate_;
  uint32_t regs_[kRegCount];
  // The line counter: line `anchor_line_` (0 = the first, LINEVAL) began at
  // anchor_, then one every period_; held_line_ while not scanning.
  VTime anchor_ = 0, period_ = 0;
  uint32_t anchor_line_ = 0;
  uint32_t held_line_ = 0;
  bool timing_reported_ = false;
  bool rate_reported_ = false;
  mutable bool colour_reported_ = false;
  mutable bool panel_reported_ = false;
  mutable bool polarity_reported_ = false;
};

}  // namespace sim
