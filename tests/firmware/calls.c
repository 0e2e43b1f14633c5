// A program of known shape for the coverage and profile tests: main calls
// middle() three times, middle calls leaf() twice, a software interrupt runs
// a two-instruction handler, and never_called() never runs. The first three
// are written in assembly so that their instruction counts do not depend on
// the compiler: leaf 3, middle 4 (10 with its calls), swi_handler 2.
// Built with -g: coverage needs the line table.
#include "common.h"

#define SWI_SLOT REG(0x0C7FFF08)

__attribute__((naked, noinline)) int leaf(int x) {
  __asm__ volatile(
      "add r0, r0, #1\n\t"
      "add r0, r0, #2\n\t"
      "bx lr\n\t");
}

__attribute__((naked, noinline)) int middle(int x) {
  __asm__ volatile(
      "stmfd sp!, {lr}\n\t"
      "bl leaf\n\t"
      "bl leaf\n\t"
      "ldmfd sp!, {pc}\n\t");
}

__attribute__((naked)) void swi_handler(void) {
  __asm__ volatile(
      "add r0, r0, #1\n\t"
      "movs pc, lr\n\t");
}

int never_called(int x) { return x * 3 + 1; }

volatile int result;

int main(void) {
  WTCON = 0;
  SWI_SLOT = (unsigned)swi_handler;
  int v = 0;
  for (int i = 0; i < 3; ++i) v = middle(v);
  register int r0 __asm__("r0") = v;
  __asm__ volatile("swi 0" : "+r"(r0) : : "lr", "memory");
  result = r0;
  return 0;
}
