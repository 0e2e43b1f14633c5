#include "devices/push_buttons.h"

#include "core/log.h"
#include "core/s3c44b0x.h"

namespace sim {

PushButtons::PushButtons(Ports& ports, Scheduler* scheduler) : ports_(ports) {
  for (int i = 0; i < 2; ++i) {
    uint8_t bit = static_cast<uint8_t>(1u << chip::kButtonPins[i]);
    bounce_[i] = std::make_unique<ContactBounce>(scheduler, "button" + std::to_string(i), 0x50423630u + i,
                                                 [this, bit](bool closed) {
                                                   if (closed) contact_ |= bit;
                                                   else contact_ &= static_cast<uint8_t>(~bit);
                                                   drive();
                                                 });
  }
  drive();
}

void PushButtons::reset() {
  for (auto& b : bounce_) b->settle();
  drive();
}

void PushButtons::set_bounce(bool on) {
  for (auto& b : bounce_) b->set_enabled(on);
}

uint8_t PushButtons::checked(uint8_t mask) const {
  if (mask & ~kButtonMask) log_warning("push-buttons", "no button with code " + hex32(mask & ~kButtonMask));
  return mask & kButtonMask;
}

void PushButtons::press(uint8_t mask) { set(checked(mask), true); }

void PushButtons::release(uint8_t mask) { set(checked(mask), false); }

void PushButtons::set(uint8_t mask, bool down) {
  for (int i = 0; i < 2; ++i) {
    uint8_t bit = static_cast<uint8_t>(1u << chip::kButtonPins[i]);
    if (!(mask & bit) || ((down_ & bit) != 0) == down) continue;
    down_ = down ? (down_ | bit) : (down_ & static_cast<uint8_t>(~bit));
    bounce_[i]->change(down);
  }
}

bool PushButtons::pressed(uint8_t mask) const {
  mask &= kButtonMask;
  return mask != 0 && (down_ & mask) == mask;
}

void PushButtons::drive() {
  for (int pin : chip::kButtonPins) {
    bool high = !((contact_ >> pin) & 1);
    // Only changes reach the port, so an edge-triggered EINT sees one edge.
    if (ports_.input_level(Ports::G, pin) != high) ports_.set_input(Ports::G, pin, high);
  }
}

}  // namespace sim
