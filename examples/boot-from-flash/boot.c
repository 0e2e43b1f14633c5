/* A program that boots from the board's flash with its own start-up code
   (start.S): a timer tick at 100 Hz through its own IRQ dispatch, and a
   console on UART0 with a prompt. */
#define REG(a) (*(volatile unsigned int *)(a))
#define PCONE REG(0x01D20028)
#define ULCON0 REG(0x01D00000)
#define UCON0 REG(0x01D00004)
#define UFCON0 REG(0x01D00008)
#define UMCON0 REG(0x01D0000C)
#define UTRSTAT0 REG(0x01D00010)
#define UTXH0 (*(volatile unsigned char *)0x01D00020)
#define URXH0 (*(volatile unsigned char *)0x01D00024)
#define UBRDIV0 REG(0x01D00028)
#define TCFG0 REG(0x01D50000)
#define TCFG1 REG(0x01D50004)
#define TCON REG(0x01D50008)
#define TCNTB0 REG(0x01D5000C)
#define TCMPB0 REG(0x01D50010)
#define INTMSK REG(0x01E0000C)
#define I_ISPR REG(0x01E00020)
#define I_ISPC REG(0x01E00024)
#define PLLCON REG(0x01D80000)

#define IRQ_TIMER0 13
#define GLOBAL_MASK (1u << 26)

typedef void (*isr_t)(void);
static isr_t isr_table[26];     /* in .bss: zeroed by start.S */
static volatile unsigned ticks; /* .bss */
static volatile unsigned zeroed[4]; /* .bss */
static int answer = 42;         /* .data: copied from the flash by start.S */

/* Called by start.S's irq_entry for every IRQ (non-vectored mode): the
   source being served is the bit of I_ISPR. */
void irq_dispatch(void) {
  unsigned pending = I_ISPR;
  for (int k = 0; k < 26; ++k) {
    if (pending & (1u << k)) {
      if (isr_table[k]) isr_table[k]();
      I_ISPC = 1u << k;
      return;
    }
  }
}

static void install_isr(int source, isr_t handler) {
  isr_table[source] = handler;
  INTMSK &= ~((1u << source) | GLOBAL_MASK);
}

static void timer0_isr(void) { ticks++; }

/* Timer 0 at 100 Hz from MCLK 64 MHz: / (63 + 1) / 2 = 500 kHz, 5000 counts. */
static void timer_init(void) {
  TCFG0 = 63;
  TCFG1 = 0;
  TCNTB0 = 5000;
  TCMPB0 = 0;
  TCON = 0x2; /* manual update */
  TCON = 0x9; /* start, auto-reload */
  install_isr(IRQ_TIMER0, timer0_isr);
}

/* UART0 at 115200 baud 8N1 from MCLK 64 MHz: UBRDIV = 64 MHz / (16 x 115200) - 1 = 34. */
static void console_init(void) {
  PCONE = (PCONE & ~0x3Cu) | 0x28; /* PE1 TxD0, PE2 RxD0 */
  ULCON0 = 0x3;
  UCON0 = 0x5;
  UFCON0 = 0;
  UMCON0 = 0;
  UBRDIV0 = 34;
}

static void put(char c) {
  while (!(UTRSTAT0 & 2)) {
  }
  UTXH0 = (unsigned char)c;
}
static void puts_(const char *s) {
  while (*s) put(*s++);
}
static void put_dec(unsigned v) {
  char buf[11];
  int n = 0;
  do {
    buf[n++] = (char)('0' + v % 10);
    v /= 10;
  } while (v);
  while (n) put(buf[--n]);
}
static char get(void) {
  while (!(UTRSTAT0 & 1)) {
  }
  return (char)URXH0;
}

static int same(const char *a, const char *b) {
  while (*a && *a == *b) a++, b++;
  return *a == *b;
}

int main(void) {
  console_init();
  timer_init();
  puts_("boot-from-flash: PLLCON ");
  put_dec(PLLCON);
  puts_(", data ");
  put_dec((unsigned)answer);
  puts_(", bss ");
  put_dec(zeroed[0] + zeroed[1] + zeroed[2] + zeroed[3]);
  puts_("\r\n");
  for (;;) {
    char line[32];
    unsigned n = 0;
    puts_("boot> ");
    for (;;) {
      char c = get();
      if (c == '\r' || c == '\n') break;
      if (n < sizeof line - 1) line[n++] = c;
      put(c);
    }
    line[n] = 0;
    puts_("\r\n");
    if (same(line, "uptime")) {
      puts_("uptime ");
      put_dec(ticks / 100);
      puts_(" s\r\n");
    } else if (line[0]) {
      puts_("commands: uptime\r\n");
    }
  }
}
