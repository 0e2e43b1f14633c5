// The board's 4 x 4 key matrix on the external bus (bank 3) and its combined
// key-down line on PG1.
//
// A byte read in the matrix's page drives the rows whose select line, address
// bit 1 (row 0) to bit 4 (row 3), is 0, and returns the four column lines on
// data bits 3..0, active low: key 4 x row + column pulls bit 3 - column low.
// The four row addresses the firmware reads are 0x060000FD, FB, F7 and EF.
// With several select bits low the rows' columns are wired together, so the
// read gives the AND of those rows. Data bits 7..4 are not driven and read 1.
//
// PG1 is low while any key is held, which is also what raises EINT1 when the
// port model has the pin configured as an interrupt.
//
// Judgement calls:
// - Any other read in the page (no row selected, address bit 0 or bits 5..7
//   low, or a read wider than a byte) returns all ones and is reported once
//   per address; writes are ignored and reported.
// - Keys bounce (ContactBounce) when the keypad has a scheduler and bounce
//   is on: the matrix and PG1 see the contacts, held() the key as pressed.
// - Held keys belong to the outside world and survive reset(), which drives
//   PG1 again (the board resets the ports first).
#pragma once
#include <array>
#include <memory>

#include "devices/contact_bounce.h"
#include "core/device.h"
#include "devices/ports.h"

namespace sim {

class Keypad : public Device {
 public:
  static constexpr int kKeys = 16;

  // Without a scheduler the keys are ideal switches.
  Keypad(uint32_t base, Ports& ports, Scheduler* scheduler = nullptr);
  void set_bounce(bool on);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;

  // k = 4 x row + column, 0..15; other numbers are reported and ignored.
  void key_down(int k);
  void key_up(int k);
  void release_all();
  bool held(int k) const { return k >= 0 && k < kKeys && ((held_ >> k) & 1); }
  bool any_held() const { return held_ != 0; }

  // The four column lines of one row, active low, on bits 3..0.
  uint8_t columns(int row) const;

 private:
  void drive_line();

  Ports& ports_;
  uint16_t held_ = 0;     // bit k: key k is down
  uint16_t contact_ = 0;  // bit k: key k's contact is closed (differs from held_ while it bounces)
  std::array<std::unique_ptr<ContactBounce>, kKeys> bounce_;
};

}  // namespace sim
