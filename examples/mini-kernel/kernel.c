/* mini-kernel: a small kernel booted from the flash (start.S copies it to
   the SDRAM). A 100 Hz tick from PWM timer 0 through the interrupt
   controller in non-vectored mode (I_ISPR tells the source, I_ISPC clears
   it) or, after `vectored on` (or built with -DMK_VECTORED=1), in vectored
   mode; a console on UART0 driven by interrupts (16-byte FIFOs, Rx pulse
   requests at 4 bytes or at the time-out, Tx level requests while the FIFO
   holds 4 bytes or fewer) with a line editor; two user-mode tasks, each on
   its own stack, switched round-robin by SWI (yield, sleep) and by the
   tick; main is the shell, and the idle loop that stops the core in IDLE
   until an interrupt. */
#define REG(a) (*(volatile unsigned *)(a))
#define PCONE REG(0x01D20028)
#define ULCON0 REG(0x01D00000)
#define UCON0 REG(0x01D00004)
#define UFCON0 REG(0x01D00008)
#define UMCON0 REG(0x01D0000C)
#define UFSTAT0 REG(0x01D00018)
#define UTXH0 (*(volatile unsigned char *)0x01D00020)
#define URXH0 (*(volatile unsigned char *)0x01D00024)
#define UBRDIV0 REG(0x01D00028)
#define TCFG0 REG(0x01D50000)
#define TCFG1 REG(0x01D50004)
#define TCON REG(0x01D50008)
#define TCNTB0 REG(0x01D5000C)
#define TCMPB0 REG(0x01D50010)
#define INTCON REG(0x01E00000)
#define INTMSK REG(0x01E0000C)
#define I_ISPR REG(0x01E00020)
#define I_ISPC REG(0x01E00024)
#define CLKCON REG(0x01D80004)

#ifndef MK_VECTORED
#define MK_VECTORED 0
#endif
enum { SRC_UTXD0 = 3, SRC_URXD0 = 7, SRC_TIMER0 = 13, SRC_NONE = 26 };
#define BIT(s) (1u << (s))
#define GLOBAL_MASK BIT(26)
#define INTCON_VECTORED 0x1     /* IRQ line on, FIQ line off, vectored */
#define INTCON_NONVECTORED 0x5  /* the same with V = 1 */
enum { SWI_YIELD = 0, SWI_SLEEP = 1, SWI_TEST = 0x5A5A };

/* ---- Contexts and the scheduler ------------------------------------- */
struct ctx {
  unsigned r[13], sp, lr, pc, cpsr; /* start.S's switch_context reads this layout */
};
struct task {
  struct ctx ctx;
  const char *name;
  unsigned wake, sleeping, runs, yields, preempted, switched_in;
};
static struct task tasks[3] = {{.name = "main"}, {.name = "a"}, {.name = "b"}}; /* main: the shell and idle */
struct ctx *current = &tasks[0].ctx;
static int last_task = 2;
static volatile unsigned ticks, idle_entries, busy;
static unsigned switched, irq_nonvectored, irq_vectored, irq_tick, irq_rx, irq_tx, irq_spurious;
static struct {
  volatile unsigned kind, lr, spsr, count; /* the last undefined instruction (kind 0xFF00) or SWI */
} trap;

static struct task *cur(void) { return (struct task *)current; }

/* Round-robin over the two tasks, from the one after the last that ran;
   main when both sleep. */
static struct task *pick(void) {
  int first = current == &tasks[1].ctx ? 2 : current == &tasks[2].ctx ? 1 : 3 - last_task;
  if (!tasks[first].sleeping) return &tasks[first];
  if (!tasks[3 - first].sleeping) return &tasks[3 - first];
  return &tasks[0];
}

/* start.S's switch_context, *current saved: the context to resume. */
struct ctx *schedule(void) {
  struct task *next = pick();
  if (next != tasks) last_task = next - tasks;
  next->switched_in++;
  current = &next->ctx;
  return current;
}

static int tick(void) {
  ticks++;
  for (int k = 1; k <= 2; ++k)
    if (tasks[k].sleeping && (int)(ticks - tasks[k].wake) >= 0) tasks[k].sleeping = 0;
  if (pick() == cur()) return 0;
  if (cur() != tasks) cur()->preempted++; /* its slice is over, the other task runs */
  return 1;
}

void trap_record(unsigned kind, unsigned *frame, unsigned spsr, unsigned lr) {
  (void)frame;
  trap.kind = kind;
  trap.lr = lr;
  trap.spsr = spsr;
  trap.count++;
}

/* SWI: nonzero when another context runs next. */
int swi_service(unsigned number, unsigned *frame, unsigned spsr, unsigned lr) {
  struct task *t = cur();
  if (number == SWI_YIELD) {
    t->yields++;
    return pick() != t;
  }
  if (number == SWI_SLEEP && t != tasks) {
    t->wake = ticks + frame[0];
    t->sleeping = 1;
    return 1;
  }
  trap_record(number, frame, spsr, lr);
  return 0;
}

/* ---- The console: rings between main and the UART's interrupts ------ */
#define RX_SIZE 64u
#define TX_SIZE 256u
static char rx_buf[RX_SIZE], tx_buf[TX_SIZE];
static volatile unsigned rx_head, rx_tail, tx_head, tx_tail, rx_lost;

static void rx_drain(void) {
  unsigned st = UFSTAT0, n = (st & 0x100) ? 16 : st & 0xF; /* a full FIFO's count reads 0 */
  while (n--) {
    char c = (char)URXH0;
    if (rx_head - rx_tail < RX_SIZE) rx_buf[rx_head++ % RX_SIZE] = c;
    else rx_lost++;
  }
}

static void tx_fill(void) {
  unsigned st = UFSTAT0, room = (st & 0x200) ? 0 : 16 - ((st >> 4) & 0xF);
  while (room-- && tx_tail != tx_head) UTXH0 = (unsigned char)tx_buf[tx_tail++ % TX_SIZE];
  if (tx_tail == tx_head) INTMSK |= BIT(SRC_UTXD0); /* nothing more: the request waits, masked */
}

/* IRQ: source -1 from the non-vectored entry (I_ISPR tells it), else the
   source whose vector was taken. Nonzero when another context runs next. */
int irq_service(int source) {
  if (source < 0) {
    unsigned s = I_ISPR;
    for (source = 0; source < SRC_NONE && !(s & BIT(source)); ++source) {
    }
    irq_nonvectored++;
  } else {
    irq_vectored++;
  }
  switch (source) {
    case SRC_TIMER0: irq_tick++; I_ISPC = BIT(SRC_TIMER0); return tick();
    case SRC_URXD0: irq_rx++; I_ISPC = BIT(SRC_URXD0); rx_drain(); return 0; /* pulse: cleared first */
    case SRC_UTXD0: irq_tx++; tx_fill(); I_ISPC = BIT(SRC_UTXD0); return 0;  /* level: cleared after */
    default: {
      unsigned s = I_ISPR;
      INTMSK |= s;
      I_ISPC = s;
      irq_spurious++;
      return 0;
    }
  }
}

/* main runs in system mode: it may turn IRQs off (FIQ stays off). */
static inline void irq_off(void) { __asm__ volatile("msr cpsr_c, #0xDF" ::: "memory"); }
static inline void irq_on(void) { __asm__ volatile("msr cpsr_c, #0x5F" ::: "memory"); }

/* The idle loop: IRQs off, the condition checked, IDLE; the request that
   wakes the core is taken once IRQs are on again, none is missed. */
static void idle_until(int (*ready)(void)) {
  for (;;) {
    irq_off();
    if (ready()) break;
    idle_entries++;
    CLKCON |= 0x4;
    irq_on();
  }
  irq_on();
}

static int rx_ready(void) { return rx_head != rx_tail; }
static int tx_room(void) { return tx_head - tx_tail < TX_SIZE; }

static void put(char c) {
  if (!tx_room()) idle_until(tx_room);
  tx_buf[tx_head % TX_SIZE] = c;
  tx_head++;
  irq_off();
  INTMSK &= ~BIT(SRC_UTXD0);
  irq_on();
}
static void puts_(const char *s) {
  while (*s) put(*s++);
}
static void put_dec(unsigned v) {
  char buf[10];
  int n = 0;
  do buf[n++] = (char)('0' + v % 10);
  while (v /= 10);
  while (n) put(buf[--n]);
}
static void put_hex(unsigned v) {
  puts_("0x");
  for (int s = 28; s >= 0; s -= 4) put("0123456789ABCDEF"[(v >> s) & 0xF]);
}
static char get(void) {
  idle_until(rx_ready);
  return rx_buf[rx_tail++ % RX_SIZE];
}

/* The line editor: printable characters echoed, backspace or DEL erases
   one, Ctrl-U the line; CR, LF or CR LF ends it. */
static void read_line(char *line, unsigned size) {
  static int after_cr;
  unsigned n = 0;
  for (;;) {
    char c = get();
    int was_cr = after_cr;
    after_cr = c == '\r';
    if (c == '\r' || c == '\n') {
      if (c == '\n' && was_cr) continue;
      puts_("\r\n");
      line[n] = 0;
      return;
    }
    if ((c == 8 || c == 127 || c == 21) && n) {
      do puts_("\b \b");
      while (--n && c == 21);
    } else if (c >= ' ' && c <= '~' && n < size - 1) {
      line[n++] = c;
      put(c);
    }
  }
}

/* ---- The tasks (user mode) ------------------------------------------ */
static void sys_yield(void) { __asm__ volatile("swi %0" ::"i"(SWI_YIELD) : "memory"); }
static void sys_sleep(unsigned n) {
  register unsigned r0 __asm__("r0") = n;
  __asm__ volatile("swi %1" : "+r"(r0) : "i"(SWI_SLEEP) : "memory");
}

/* a: once a tick, hands over to b (yield) before it sleeps. */
static void task_a(void) {
  for (;;) {
    tasks[1].runs++;
    sys_yield();
    sys_sleep(1);
  }
}
/* b: once a tick; every 50th run it computes for two ticks, so that the
   tick takes the processor from it for a. */
static void task_b(void) {
  for (;;) {
    if (++tasks[2].runs % 50 == 0) {
      unsigned end = ticks + 2;
      while ((int)(ticks - end) < 0) busy++;
    }
    sys_sleep(1);
  }
}

static unsigned stack_a[256], stack_b[256];
static void start_task(int k, void (*entry)(void), unsigned *top) {
  tasks[k].ctx.sp = (unsigned)top;
  tasks[k].ctx.pc = (unsigned)entry;
  tasks[k].ctx.cpsr = 0x50; /* user mode, IRQ on, FIQ off, ARM */
}

/* ---- The shell ------------------------------------------------------- */
static const char *arg(const char *line, const char *cmd) {
  while (*cmd && *line == *cmd) line++, cmd++;
  if (*cmd || (*line && *line != ' ')) return 0;
  while (*line == ' ') line++;
  return line;
}

static void irq_mode(int vectored) {
  irq_off();
  INTCON = vectored ? INTCON_VECTORED : INTCON_NONVECTORED;
  irq_nonvectored = irq_vectored = 0;
  switched = 1;
  irq_on();
}
static void say_mode(void) { puts_((INTCON & 4) ? "irq non-vectored" : "irq vectored"); }

/* An undefined instruction, or a SWI the kernel does not serve, with Z and C
   set: its handler reports lr (the next instruction) and SPSR (the cpsr
   before it). */
static void trap_test(int swi) {
  unsigned next, cpsr, before = trap.count;
  if (swi)
    __asm__ volatile("msr cpsr_f, #0x60000000\n\tmrs %1, cpsr\n\tadr %0, 1f\n\tswi %2\n1:"
                     : "=&r"(next), "=&r"(cpsr)
                     : "i"(SWI_TEST)
                     : "cc", "memory");
  else
    __asm__ volatile("msr cpsr_f, #0x60000000\n\tmrs %1, cpsr\n\tadr %0, 1f\n\t.word 0xE7F000F0\n1:"
                     : "=&r"(next), "=&r"(cpsr)::"cc", "memory");
  puts_(swi ? "swi " : "undefined instruction");
  if (swi) put_hex(trap.kind);
  puts_(" at ");
  put_hex(next - 4);
  puts_(": lr ");
  put_hex(trap.lr);
  puts_(", spsr ");
  put_hex(trap.spsr);
  int right = trap.count == before + 1 && trap.lr == next && trap.spsr == cpsr &&
              trap.kind == (swi ? (unsigned)SWI_TEST : 0xFF00u);
  puts_(right ? "\r\nlr = the instruction + 4, spsr = cpsr before it: right\r\n" : "\r\nWRONG\r\n");
}

static void task_line(const struct task *t) {
  puts_("task ");
  puts_(t->name);
  puts_(": runs ");
  put_dec(t->runs);
  puts_(", yields ");
  put_dec(t->yields);
  puts_(", preempted ");
  put_dec(t->preempted);
  puts_(", switched in ");
  put_dec(t->switched_in);
  puts_("\r\n");
}

static void command(const char *line) {
  const char *a;
  if (!line[0]) return;
  if (arg(line, "uptime")) {
    unsigned t = ticks;
    puts_("uptime ");
    put_dec(t / 100);
    put('.');
    put((char)('0' + t / 10 % 10));
    put((char)('0' + t % 10));
    puts_(" s, ");
    put_dec(t);
    puts_(" ticks\r\n");
  } else if (arg(line, "tasks")) {
    task_line(&tasks[1]);
    task_line(&tasks[2]);
    puts_("idle: ");
    put_dec(idle_entries);
    puts_(" times in IDLE\r\n");
  } else if (arg(line, "irq")) {
    say_mode();
    puts_(switched ? " since the switch: " : " since boot: ");
    put_dec(irq_nonvectored);
    puts_(" through 0x18, ");
    put_dec(irq_vectored);
    puts_(" through the source vectors; tick ");
    put_dec(irq_tick);
    puts_(", rx ");
    put_dec(irq_rx);
    puts_(", tx ");
    put_dec(irq_tx);
    puts_(", spurious ");
    put_dec(irq_spurious);
    puts_(", rx lost ");
    put_dec(rx_lost);
    puts_("\r\n");
  } else if ((a = arg(line, "vectored"))) {
    if (arg(a, "on")) irq_mode(1);
    else if (arg(a, "off")) irq_mode(0);
    say_mode();
    puts_("\r\n");
  } else if (arg(line, "undef")) {
    trap_test(0);
  } else if (arg(line, "swi")) {
    trap_test(1);
  } else if ((a = arg(line, "echo"))) {
    puts_(a);
    puts_("\r\n");
  } else {
    puts_("commands: help uptime tasks irq vectored [on|off] undef swi echo TEXT\r\n");
  }
}

int main(void) {
  PCONE = (PCONE & ~0x3Cu) | 0x28; /* PE1 TxD0, PE2 RxD0 */
  ULCON0 = 0x3;                    /* 8N1 */
  UMCON0 = 0;
  UBRDIV0 = 34;    /* 115200 baud from MCLK 64 MHz */
  UFCON0 = 0x47;   /* FIFOs on and emptied; Rx trigger 4 bytes, Tx trigger 4 bytes */
  UCON0 = 0x285;   /* Rx and Tx by interrupt, Rx time-out, Rx pulse, Tx level */
  TCFG0 = 63;      /* timer 0: 64 MHz / 64 / 2 = 500 kHz */
  TCFG1 = 0;
  TCNTB0 = 4999;   /* 5000 counts a period: 100 Hz */
  TCMPB0 = 0;
  TCON = 0x2;      /* manual update */
  TCON = 0x9;      /* start, auto-reload */
  start_task(1, task_a, stack_a + 256);
  start_task(2, task_b, stack_b + 256);
  INTCON = MK_VECTORED ? INTCON_VECTORED : INTCON_NONVECTORED;
  INTMSK &= ~(GLOBAL_MASK | BIT(SRC_TIMER0) | BIT(SRC_URXD0));
  irq_on();
  puts_("mini-kernel: MCLK 64 MHz, tick 100 Hz, ");
  say_mode();
  puts_(", tasks a and b\r\n");
  for (;;) {
    char line[64];
    puts_("mk> ");
    read_line(line, sizeof line);
    command(line);
  }
}
