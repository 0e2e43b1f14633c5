// Says hello on the console, waits for it to leave the transmitter, returns.
// The two arithmetic functions are for Board::call: nothing here calls them.
#include "common.h"

int add3(int a, int b, int c) { return a + b + c; }

// Distinct weights, so that an argument passed in the wrong register or stack
// slot changes the result; e and f travel on the stack.
int weighted6(int a, int b, int c, int d, int e, int f) { return a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * f; }

int main(void) {
  WTCON = 0;
  console_init();
  puts_("hello\n");
  while (!(UTRSTAT0 & 4)) {
  }
  return 0;
}
