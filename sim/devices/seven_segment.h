// The board's one-digit 7-segment display behind a byte-wide write-only latch
// on the external bus (bank 1). A 0 bit lights its segment: bit 7 a, 6 b,
// 5 c, 4 decimal point, 3 d, 2 e, 1 g, 0 f. 0xFF is dark, as after power-on.
// Reading the latch returns what the open bus gives (0xFF) and is reported.
#pragma once
#include "core/device.h"

namespace sim {

class SevenSegment : public Device {
 public:
  explicit SevenSegment(uint32_t base);

  void reset() override { latch_ = 0xFF; }
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;

  uint8_t latch() const { return latch_; }
  // The character the lit segments show ('0'..'9', 'A'..'F' as the phone
  // draws them), ' ' when dark, '?' for any other pattern.
  char shown() const;
  // A character as shown() names it ('b' for 'B', 'A' for 'a' ...), or 0
  // for one the digit cannot show.
  static char normalise(char c);

 private:
  uint8_t latch_ = 0xFF;
};

}  // namespace sim
