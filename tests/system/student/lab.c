/*
 * A first lab as a student writes it: ordinary C that needs the C library
 * and libgcc (a division by a variable, an initialised array, snprintf),
 * the 7-segment digit counting the seconds' tenths, and a main that ends.
 */
#include <stdio.h>
#include <string.h>

#define REG(a) (*(volatile unsigned int *)(a))
#define WTCON REG(0x01D30000)
#define UTRSTAT0 REG(0x01D00010)
#define UTXH0 REG(0x01D00020)
#define SEGS (*(volatile unsigned char *)0x02140000)

/* Active low: bit 7 a, 6 b, 5 c, 4 dp, 3 d, 2 e, 1 g, 0 f. */
static const unsigned char digits[10] = {0x12, 0x9F, 0x31, 0x15, 0x9C, 0x54, 0x50, 0x1F, 0x10, 0x1C};

volatile unsigned samples = 7; /* volatile: the division stays a division */

static void print(const char *s) {
  for (; *s; ++s) {
    while (!(UTRSTAT0 & 2)) {
    }
    UTXH0 = (unsigned char)*s;
  }
}

int main(void) {
  WTCON = 0;
  char line[64] = {0};
  int readings[8] = {100, 200, 300, 400, 500, 600, 700};
  int sum = 0;
  for (unsigned i = 0; i < samples; ++i) sum += readings[i];
  unsigned mean = (unsigned)sum / samples;
  int signed_part = -sum / (int)samples;
  snprintf(line, sizeof line, "mean %u, %d, rest %u, len %u\r\n", mean, signed_part, (unsigned)sum % samples,
           (unsigned)strlen(line));
  print(line);
  SEGS = digits[mean / 100 % 10];
  while (!(UTRSTAT0 & 4)) {
  }
  return (int)(mean / 10);
}
