// No font: lights the left LED and shows 4 on the 7-segment digit, prints a
// prompt without a line end, and finishes in an endless loop.
#include "common.h"

#define PCONB REG(0x01D20008)
#define PDATB REG(0x01D2000C)
#define SEGS (*(volatile unsigned char *)0x02140000)

int main(void) {
  WTCON = 0;
  PCONB &= ~(1u << 9);
  PDATB &= ~(1u << 9);
  SEGS = 0x9C;
  puts_("prompt> ");
  while (!(UTRSTAT0 & 4)) {
  }
  for (;;) {
  }
}
