#include "devices/seven_segment.h"

namespace sim {

SevenSegment::SevenSegment(uint32_t base) : Device("7-segment", base, 0x1000) {}

uint32_t SevenSegment::read(uint32_t offset, unsigned) {
  log_unmodelled(offset, false);
  return 0xFF;
}

void SevenSegment::write(uint32_t offset, uint32_t value, unsigned) {
  if (offset != 0) {
    log_unmodelled(offset, true);
    return;
  }
  latch_ = static_cast<uint8_t>(value);
}

char SevenSegment::normalise(char c) {
  if (c >= '0' && c <= '9') return c;
  switch (c) {
    case 'a': case 'A': return 'A';
    case 'b': case 'B': return 'b';
    case 'c': case 'C': return 'C';
    case 'd': case 'D': return 'd';
    case 'e': case 'E': return 'E';
    case 'f': case 'F': return 'F';
    default: return 0;
  }
}

char SevenSegment::shown() const {
  // Codes with the decimal point (bit 4) ignored.
  static const struct {
    uint8_t code;
    char ch;
  } kDigits[] = {{0x12, '0'}, {0x9F, '1'}, {0x31, '2'}, {0x15, '3'}, {0x9C, '4'}, {0x54, '5'},
                 {0x50, '6'}, {0x1F, '7'}, {0x10, '8'}, {0x1C, '9'}, {0x18, 'A'}, {0xD0, 'b'},
                 {0x72, 'C'}, {0x91, 'd'}, {0x70, 'E'}, {0x78, 'F'}};
  uint8_t code = latch_ | 0x10;
  if (code == 0xFF) return ' ';
  for (auto& d : kDigits)
    if ((d.code | 0x10) == code) return d.ch;
  return '?';
}

}  // namespace sim
