// The board's two push-buttons on PG6 and PG7, low while pressed. A button
// is named by its PDATG bit mask, 0x40 or 0x80, the code the firmware uses.
// The port model turns the level changes into EINT4567 requests (and their
// EXTINTPND bits) when the pins are configured as interrupts.
//
// Not a bus device: the buttons are seen only through port G. With a
// scheduler the buttons bounce (ContactBounce) unless set_bounce(false);
// presses survive reset(), which ends a bounce in progress and drives the
// pins again (the board resets the ports first).
#pragma once
#include <cstdint>
#include <memory>

#include "devices/contact_bounce.h"

#include "devices/ports.h"

namespace sim {

class PushButtons {
 public:
  static constexpr uint8_t kButtonMask = 0xC0;

  // Without a scheduler the buttons are ideal switches.
  explicit PushButtons(Ports& ports, Scheduler* scheduler = nullptr);

  void reset();
  void set_bounce(bool on);
  // `mask` may name both buttons; bits outside 0xC0 are reported and ignored.
  void press(uint8_t mask);
  void release(uint8_t mask);
  // True when every button in `mask` is down (and mask names at least one).
  bool pressed(uint8_t mask) const;
  uint8_t state() const { return down_; }

 private:
  void drive();
  void set(uint8_t mask, bool down);
  uint8_t checked(uint8_t mask) const;

  Ports& ports_;
  uint8_t down_ = 0;
  uint8_t contact_ = 0;  // the contacts as they are (differ from down_ while bouncing)
  std::unique_ptr<ContactBounce> bounce_[2];  // PG6, PG7
};

}  // namespace sim
