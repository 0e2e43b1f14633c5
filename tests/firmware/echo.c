// Answers every byte that arrives on the console with a line "got X".
// take_byte and answered are functions of their own so that a debugger can
// stop the program just before it reads a byte and just after it answered.
#include "common.h"

#define URXH0 REG(0x01D00024)

__attribute__((noinline)) char take_byte(void) { return (char)URXH0; }

__attribute__((noinline)) void answered(void) { __asm__ volatile(""); }

int main(void) {
  WTCON = 0;
  console_init();
  puts_("ready\n");
  for (;;) {
    while (!(UTRSTAT0 & 1)) {
    }
    char c = take_byte();
    puts_("got ");
    put(c);
    put('\n');
    while (!(UTRSTAT0 & 4)) {
    }
    answered();
  }
}
