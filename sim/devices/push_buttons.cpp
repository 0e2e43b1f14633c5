#include "devices/push_buttons.h"

#include "core/log.h"
#include "core/s3c44b0x.h"

namespace sim {

PushButtons::PushButtons(Ports& ports) : ports_(ports) { drive(); }

uint8_t PushButtons::checked(uint8_t mask) const {
  if (mask & ~kButtonMask) log_warning("push-buttons", "no button with code " + hex32(mask & ~kButtonMask));
  return mask & kButtonMask;
}

void PushButtons::press(uint8_t mask) {
  down_ |= checked(mask);
  drive();
}

void PushButtons::release(uint8_t mask) {
  down_ &= static_cast<uint8_t>(~checked(mask));
  drive();
}

bool PushButtons::pressed(uint8_t mask) const {
  mask &= kButtonMask;
  return mask != 0 && (down_ & mask) == mask;
}

void PushButtons::drive() {
  for (int pin : chip::kButtonPins) {
    bool high = !((down_ >> pin) & 1);
    // Only changes reach the port, so an edge-triggered EINT sees one edge.
    if (ports_.input_level(Ports::G, pin) != high) ports_.set_input(Ports::G, pin, high);
  }
}

}  // namespace sim
