// Sets the console up only after a while, then echoes what it receives:
// bytes the far end sent before that met a receiver not yet set up.
#include "common.h"

int main(void) {
  WTCON = 0;
  for (volatile int i = 0; i < 20000; ++i) {
  }
  console_init();
  puts_("ready\n");
  for (;;) {
    while (!(UTRSTAT0 & 1)) {
    }
    put((char)REG(0x01D00024));
  }
}
