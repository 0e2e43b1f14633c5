// Says hello on the console, waits for it to leave the transmitter, returns.
#include "common.h"

int main(void) {
  WTCON = 0;
  console_init();
  puts_("hello\n");
  while (!(UTRSTAT0 & 4)) {
  }
  return 0;
}
