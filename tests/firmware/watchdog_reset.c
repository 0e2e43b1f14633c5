// Leaves the watchdog as the chip resets it (running, reset output on), says
// so on the console and waits: the watchdog must reset the board, which then
// runs the program again from the monitor.
#include "common.h"

int main(void) {
  console_init();
  puts_("watchdog left running\n");
  // Reads a register that never changes, so the simulator skips the wait.
  for (;;) {
    (void)UTRSTAT0;
  }
}
