// Chip and board facts in one place: the S3C44B0X special function registers
// that the phone's drivers use (datasheet names, little-endian addresses), the
// interrupt sources with their RAM vector slots, and the addresses of the
// board's devices and of the SDRAM areas that lie outside the program.
//
// Access: every register is read or written as a 32-bit volatile word at its
// address, reg32(INTMSK) |= INT_TICK. Only the board's byte-wide devices (the
// keypad rows, the 7-segment latch) and the IIS FIFO entry take narrower
// accesses, through reg8 / reg16.
#ifndef S3C44B0X_H
#define S3C44B0X_H

#include "types.h"

#ifndef FIRMWARE_HOST_BUILD

inline volatile uint32 &reg32(uint32 address)
{
    return *reinterpret_cast<volatile uint32 *>(static_cast<uintptr_t>(address));
}

inline volatile uint16 &reg16(uint32 address)
{
    return *reinterpret_cast<volatile uint16 *>(static_cast<uintptr_t>(address));
}

inline volatile uint8 &reg8(uint32 address)
{
    return *reinterpret_cast<volatile uint8 *>(static_cast<uintptr_t>(address));
}

#else

// Host build of the firmware logic: the chip's address space is a plain
// register file kept by the host tests (tests/host/host_registers.cpp), so
// code that only writes and reads registers runs there; nothing behaves like
// the hardware, and a wait on a status bit waits for ever.
volatile uint32 &host_register(uint32 address);   // the word holding `address`
void host_registers_reset(void);                  // every register back to 0

inline volatile uint32 &reg32(uint32 address)
{
    return host_register(address);
}

inline volatile uint16 &reg16(uint32 address)
{
    return reinterpret_cast<volatile uint16 *>(&host_register(address))[(address >> 1) & 1];
}

inline volatile uint8 &reg8(uint32 address)
{
    return reinterpret_cast<volatile uint8 *>(&host_register(address))[address & 3];
}

#endif

// ---------------------------------------------------------------------------
// System configuration and bus priority
constexpr uint32 SYSCFG = 0x01C00000;   // cache and write buffer
constexpr uint32 SBUSCON = 0x01C40000;  // system bus master priority

// ---------------------------------------------------------------------------
// Clock and power management
constexpr uint32 PLLCON = 0x01D80000;   // MDIV [19:12], PDIV [9:4], SDIV [1:0]
constexpr uint32 CLKCON = 0x01D80004;   // per-block clock enables [14:3]
constexpr uint32 CLKSLOW = 0x01D80008;
constexpr uint32 LOCKTIME = 0x01D8000C;

// ---------------------------------------------------------------------------
// Watchdog: enabled at reset (WTCON 0x8021), so it is the first thing to stop.
constexpr uint32 WTCON = 0x01D30000;
constexpr uint32 WTDAT = 0x01D30004;
constexpr uint32 WTCNT = 0x01D30008;

// ---------------------------------------------------------------------------
// Interrupt controller
constexpr uint32 INTCON = 0x01E00000;   // [2] V, [1] I, [0] F: 0 enables
constexpr uint32 INTPND = 0x01E00004;   // read-only
constexpr uint32 INTMOD = 0x01E00008;   // 1 = FIQ
constexpr uint32 INTMSK = 0x01E0000C;   // 1 = masked; bit 26 masks everything
constexpr uint32 I_PSLV = 0x01E00010;
constexpr uint32 I_PMST = 0x01E00014;
constexpr uint32 I_CSLV = 0x01E00018;   // read-only
constexpr uint32 I_CMST = 0x01E0001C;   // read-only
constexpr uint32 I_ISPR = 0x01E00020;   // read-only: the source in service
constexpr uint32 I_ISPC = 0x01E00024;   // write-1-to-clear; the only way to clear INTPND
constexpr uint32 F_ISPR = 0x01E00038;   // read-only
constexpr uint32 F_ISPC = 0x01E0003C;   // write-1-to-clear, FIQ

// Interrupt source bits, the same in INTPND, INTMSK, INTMOD and I_ISPC.
constexpr uint32 INT_ADC = 1u << 0;
constexpr uint32 INT_RTC = 1u << 1;       // alarm
constexpr uint32 INT_UTXD1 = 1u << 2;
constexpr uint32 INT_UTXD0 = 1u << 3;
constexpr uint32 INT_SIO = 1u << 4;
constexpr uint32 INT_IIC = 1u << 5;
constexpr uint32 INT_URXD1 = 1u << 6;
constexpr uint32 INT_URXD0 = 1u << 7;
constexpr uint32 INT_TIMER5 = 1u << 8;
constexpr uint32 INT_TIMER4 = 1u << 9;
constexpr uint32 INT_TIMER3 = 1u << 10;
constexpr uint32 INT_TIMER2 = 1u << 11;
constexpr uint32 INT_TIMER1 = 1u << 12;
constexpr uint32 INT_TIMER0 = 1u << 13;
constexpr uint32 INT_UERR01 = 1u << 14;
constexpr uint32 INT_WDT = 1u << 15;
constexpr uint32 INT_BDMA1 = 1u << 16;
constexpr uint32 INT_BDMA0 = 1u << 17;
constexpr uint32 INT_ZDMA1 = 1u << 18;
constexpr uint32 INT_ZDMA0 = 1u << 19;
constexpr uint32 INT_TICK = 1u << 20;
constexpr uint32 INT_EINT4567 = 1u << 21; // push-buttons
constexpr uint32 INT_EINT3 = 1u << 22;
constexpr uint32 INT_EINT2 = 1u << 23;
constexpr uint32 INT_EINT1 = 1u << 24;    // keypad
constexpr uint32 INT_EINT0 = 1u << 25;
constexpr uint32 INT_GLOBAL = 1u << 26;   // INTMSK only: masks every source

// ---------------------------------------------------------------------------
// I/O ports. In PUPx a 0 bit turns the pull-up on.
constexpr uint32 PCONA = 0x01D20000;
constexpr uint32 PDATA = 0x01D20004;
constexpr uint32 PCONB = 0x01D20008;
constexpr uint32 PDATB = 0x01D2000C;    // LEDs PB9, PB10; L3MODE PB4, L3CLOCK PB5
constexpr uint32 PCONC = 0x01D20010;
constexpr uint32 PDATC = 0x01D20014;
constexpr uint32 PUPC = 0x01D20018;
constexpr uint32 PCOND = 0x01D2001C;
constexpr uint32 PDATD = 0x01D20020;
constexpr uint32 PUPD = 0x01D20024;
constexpr uint32 PCONE = 0x01D20028;
constexpr uint32 PDATE = 0x01D2002C;
constexpr uint32 PUPE = 0x01D20030;
constexpr uint32 PCONF = 0x01D20034;
constexpr uint32 PDATF = 0x01D20038;
constexpr uint32 PUPF = 0x01D2003C;
constexpr uint32 PCONG = 0x01D20040;
constexpr uint32 PDATG = 0x01D20044;    // keypad line PG1, buttons PG6 / PG7
constexpr uint32 PUPG = 0x01D20048;
constexpr uint32 SPUCR = 0x01D2004C;
constexpr uint32 EXTINT = 0x01D20050;   // trigger mode, 3 bits per EINTn
constexpr uint32 EXTINTPND = 0x01D20054; // [3:0] EINT4..7, write 1 to clear

// ---------------------------------------------------------------------------
// UART0 (UART1 is the same block at +0x4000; the phone does not use it)
constexpr uint32 ULCON0 = 0x01D00000;
constexpr uint32 UCON0 = 0x01D00004;
constexpr uint32 UFCON0 = 0x01D00008;
constexpr uint32 UMCON0 = 0x01D0000C;
constexpr uint32 UTRSTAT0 = 0x01D00010; // [2] tx empty, [1] tx holding empty, [0] rx ready
constexpr uint32 UERSTAT0 = 0x01D00014; // cleared by reading
constexpr uint32 UFSTAT0 = 0x01D00018;
constexpr uint32 UMSTAT0 = 0x01D0001C;
constexpr uint32 UTXH0 = 0x01D00020;
constexpr uint32 URXH0 = 0x01D00024;
constexpr uint32 UBRDIV0 = 0x01D00028;

constexpr uint32 UTRSTAT_RX_READY = 1u << 0;
constexpr uint32 UTRSTAT_TX_HOLDING_EMPTY = 1u << 1;

// ---------------------------------------------------------------------------
// PWM timers. Timer n's buffers and observation register lie 0x0C apart;
// timer 5 has no compare buffer.
constexpr uint32 TCFG0 = 0x01D50000;    // prescalers: [7:0] timers 0/1, [15:8] 2/3, [23:16] 4/5
constexpr uint32 TCFG1 = 0x01D50004;    // divider mux, 4 bits per timer
constexpr uint32 TCON = 0x01D50008;
constexpr uint32 TCNTB0 = 0x01D5000C;
constexpr uint32 TCMPB0 = 0x01D50010;
constexpr uint32 TCNTO0 = 0x01D50014;
constexpr uint32 TCNTB1 = 0x01D50018;
constexpr uint32 TCMPB1 = 0x01D5001C;
constexpr uint32 TCNTO1 = 0x01D50020;
constexpr uint32 TCNTB2 = 0x01D50024;
constexpr uint32 TCMPB2 = 0x01D50028;
constexpr uint32 TCNTO2 = 0x01D5002C;
constexpr uint32 TCNTB3 = 0x01D50030;
constexpr uint32 TCMPB3 = 0x01D50034;
constexpr uint32 TCNTO3 = 0x01D50038;
constexpr uint32 TCNTB4 = 0x01D5003C;
constexpr uint32 TCMPB4 = 0x01D50040;
constexpr uint32 TCNTO4 = 0x01D50044;
constexpr uint32 TCNTB5 = 0x01D50048;
constexpr uint32 TCNTO5 = 0x01D5004C;

// ---------------------------------------------------------------------------
// Real-time clock: byte registers, accessed as words whose low 8 bits count.
constexpr uint32 RTCCON = 0x01D70040;   // [0] RTCEN: the BCD registers take writes only while 1
constexpr uint32 RTCALM = 0x01D70050;
constexpr uint32 ALMSEC = 0x01D70054;
constexpr uint32 ALMMIN = 0x01D70058;
constexpr uint32 ALMHOUR = 0x01D7005C;
constexpr uint32 ALMDAY = 0x01D70060;
constexpr uint32 ALMMON = 0x01D70064;
constexpr uint32 ALMYEAR = 0x01D70068;
constexpr uint32 RTCRST = 0x01D7006C;
constexpr uint32 BCDSEC = 0x01D70070;
constexpr uint32 BCDMIN = 0x01D70074;
constexpr uint32 BCDHOUR = 0x01D70078;
constexpr uint32 BCDDAY = 0x01D7007C;   // day of the month
constexpr uint32 BCDDATE = 0x01D70080;  // day of the week
constexpr uint32 BCDMON = 0x01D70084;
constexpr uint32 BCDYEAR = 0x01D70088;
constexpr uint32 TICNT = 0x01D7008C;    // [7] tick enable, [6:0] period - 1 in 1/128 s

// ---------------------------------------------------------------------------
// IIC controller
constexpr uint32 IICCON = 0x01D60000;
constexpr uint32 IICSTAT = 0x01D60004;
constexpr uint32 IICADD = 0x01D60008;
constexpr uint32 IICDS = 0x01D6000C;

// ---------------------------------------------------------------------------
// IIS controller
constexpr uint32 IISCON = 0x01D18000;
constexpr uint32 IISMOD = 0x01D18004;
constexpr uint32 IISPSR = 0x01D18008;
constexpr uint32 IISFCON = 0x01D1800C;
constexpr uint32 IISFIF = 0x01D18010;   // FIFO entry, half-word

// ---------------------------------------------------------------------------
// Bridge DMA (BDMA0 at 0x01F80000, BDMA1 at 0x01F80020) and general DMA
// (ZDMA0 at 0x01E80000, ZDMA1 at 0x01E80020): seven registers each, in the
// order control, initial source, destination and count, current source,
// destination and count.
constexpr uint32 BDCON0 = 0x01F80000;
constexpr uint32 BDISRC0 = 0x01F80004;
constexpr uint32 BDIDES0 = 0x01F80008;
constexpr uint32 BDICNT0 = 0x01F8000C;
constexpr uint32 BDCSRC0 = 0x01F80010;
constexpr uint32 BDCDES0 = 0x01F80014;
constexpr uint32 BDCCNT0 = 0x01F80018;

constexpr uint32 BDCON1 = 0x01F80020;
constexpr uint32 BDISRC1 = 0x01F80024;
constexpr uint32 BDIDES1 = 0x01F80028;
constexpr uint32 BDICNT1 = 0x01F8002C;
constexpr uint32 BDCSRC1 = 0x01F80030;
constexpr uint32 BDCDES1 = 0x01F80034;
constexpr uint32 BDCCNT1 = 0x01F80038;

constexpr uint32 ZDCON0 = 0x01E80000;
constexpr uint32 ZDISRC0 = 0x01E80004;
constexpr uint32 ZDIDES0 = 0x01E80008;
constexpr uint32 ZDICNT0 = 0x01E8000C;
constexpr uint32 ZDCSRC0 = 0x01E80010;
constexpr uint32 ZDCDES0 = 0x01E80014;
constexpr uint32 ZDCCNT0 = 0x01E80018;

constexpr uint32 ZDCON1 = 0x01E80020;
constexpr uint32 ZDISRC1 = 0x01E80024;
constexpr uint32 ZDIDES1 = 0x01E80028;
constexpr uint32 ZDICNT1 = 0x01E8002C;
constexpr uint32 ZDCSRC1 = 0x01E80030;
constexpr uint32 ZDCDES1 = 0x01E80034;
constexpr uint32 ZDCCNT1 = 0x01E80038;

// ---------------------------------------------------------------------------
// LCD controller
constexpr uint32 LCDCON1 = 0x01F00000;  // [0] ENVID
constexpr uint32 LCDCON2 = 0x01F00004;
constexpr uint32 LCDSADDR1 = 0x01F00008;
constexpr uint32 LCDSADDR2 = 0x01F0000C;
constexpr uint32 LCDSADDR3 = 0x01F00010;
constexpr uint32 REDLUT = 0x01F00014;
constexpr uint32 GREENLUT = 0x01F00018;
constexpr uint32 BLUELUT = 0x01F0001C;
constexpr uint32 DP1_2 = 0x01F00020;
constexpr uint32 DP4_7 = 0x01F00024;
constexpr uint32 DP3_5 = 0x01F00028;
constexpr uint32 DP2_3 = 0x01F0002C;
constexpr uint32 DP5_7 = 0x01F00030;
constexpr uint32 DP3_4 = 0x01F00034;
constexpr uint32 DP4_5 = 0x01F00038;
constexpr uint32 DP6_7 = 0x01F0003C;
constexpr uint32 LCDCON3 = 0x01F00040;
constexpr uint32 DITHMODE = 0x01F00044;

// ===========================================================================
// Board

// 7-segment display: byte-wide write-only latch on bank 1; a 0 bit lights.
constexpr uint32 SEGS_LATCH = 0x02140000;

// Keypad matrix on bank 3: one byte read per row, the row chosen by the one
// address bit (1..4) that is 0; columns on data bits 3..0, active low.
constexpr uint32 KEYPAD_ROW0 = 0x060000FD;
constexpr uint32 KEYPAD_ROW1 = 0x060000FB;
constexpr uint32 KEYPAD_ROW2 = 0x060000F7;
constexpr uint32 KEYPAD_ROW3 = 0x060000EF;

// Port bits of the board's lines.
constexpr uint32 PDATB_LED_LEFT = 1u << 9;    // active low
constexpr uint32 PDATB_LED_RIGHT = 1u << 10;  // active low
constexpr uint32 PDATG_KEYDOWN = 1u << 1;     // 0 while any key is held
constexpr uint32 PDATG_PB6 = 1u << 6;         // 0 while pressed
constexpr uint32 PDATG_PB7 = 1u << 7;

// The monitor's RAM vector table: 34 handler addresses (0 = none). The first
// eight follow the exception vectors; interrupt source k (its bit number in
// INTMSK) has the slot VECTOR_TABLE + 0x20 + 4k.
constexpr uint32 VECTOR_TABLE = 0x0C7FFF00;
constexpr uint32 ISR_SLOT_RESET = 0x0C7FFF00;
constexpr uint32 ISR_SLOT_UNDEF = 0x0C7FFF04;
constexpr uint32 ISR_SLOT_SWI = 0x0C7FFF08;
constexpr uint32 ISR_SLOT_PABORT = 0x0C7FFF0C;
constexpr uint32 ISR_SLOT_DABORT = 0x0C7FFF10;
constexpr uint32 ISR_SLOT_RESERVED = 0x0C7FFF14;
constexpr uint32 ISR_SLOT_IRQ = 0x0C7FFF18;
constexpr uint32 ISR_SLOT_FIQ = 0x0C7FFF1C;

// Slot of the interrupt source whose INTMSK bit is `mask` (one bit set).
constexpr uint32 isr_slot(uint32 mask)
{
    return VECTOR_TABLE + 0x20 + 4 * static_cast<uint32>(__builtin_ctz(mask));
}

constexpr uint32 ISR_SLOT_ADC = isr_slot(INT_ADC);     // 0x0C7FFF20
constexpr uint32 ISR_SLOT_RTC = isr_slot(INT_RTC);     // 0x0C7FFF24
constexpr uint32 ISR_SLOT_UTXD1 = isr_slot(INT_UTXD1); // 0x0C7FFF28
constexpr uint32 ISR_SLOT_UTXD0 = isr_slot(INT_UTXD0); // 0x0C7FFF2C
constexpr uint32 ISR_SLOT_SIO = isr_slot(INT_SIO);     // 0x0C7FFF30
constexpr uint32 ISR_SLOT_IIC = isr_slot(INT_IIC);     // 0x0C7FFF34
constexpr uint32 ISR_SLOT_URXD1 = isr_slot(INT_URXD1); // 0x0C7FFF38
constexpr uint32 ISR_SLOT_URXD0 = isr_slot(INT_URXD0); // 0x0C7FFF3C
constexpr uint32 ISR_SLOT_TIMER5 = isr_slot(INT_TIMER5); // 0x0C7FFF40
constexpr uint32 ISR_SLOT_TIMER4 = isr_slot(INT_TIMER4); // 0x0C7FFF44
constexpr uint32 ISR_SLOT_TIMER3 = isr_slot(INT_TIMER3); // 0x0C7FFF48
constexpr uint32 ISR_SLOT_TIMER2 = isr_slot(INT_TIMER2); // 0x0C7FFF4C
constexpr uint32 ISR_SLOT_TIMER1 = isr_slot(INT_TIMER1); // 0x0C7FFF50
constexpr uint32 ISR_SLOT_TIMER0 = isr_slot(INT_TIMER0); // 0x0C7FFF54
constexpr uint32 ISR_SLOT_UERR01 = isr_slot(INT_UERR01); // 0x0C7FFF58
constexpr uint32 ISR_SLOT_WDT = isr_slot(INT_WDT);     // 0x0C7FFF5C
constexpr uint32 ISR_SLOT_BDMA1 = isr_slot(INT_BDMA1); // 0x0C7FFF60
constexpr uint32 ISR_SLOT_BDMA0 = isr_slot(INT_BDMA0); // 0x0C7FFF64
constexpr uint32 ISR_SLOT_ZDMA1 = isr_slot(INT_ZDMA1); // 0x0C7FFF68
constexpr uint32 ISR_SLOT_ZDMA0 = isr_slot(INT_ZDMA0); // 0x0C7FFF6C
constexpr uint32 ISR_SLOT_TICK = isr_slot(INT_TICK);   // 0x0C7FFF70
constexpr uint32 ISR_SLOT_EINT4567 = isr_slot(INT_EINT4567); // 0x0C7FFF74
constexpr uint32 ISR_SLOT_EINT3 = isr_slot(INT_EINT3); // 0x0C7FFF78
constexpr uint32 ISR_SLOT_EINT2 = isr_slot(INT_EINT2); // 0x0C7FFF7C
constexpr uint32 ISR_SLOT_EINT1 = isr_slot(INT_EINT1); // 0x0C7FFF80
constexpr uint32 ISR_SLOT_EINT0 = isr_slot(INT_EINT0); // 0x0C7FFF84
static_assert(ISR_SLOT_TICK == 0x0C7FFF70, "tick slot");
static_assert(ISR_SLOT_EINT0 == 0x0C7FFF84, "last slot");

// Writes a handler's address (or 0) into a slot of the table.
inline void isr_slot_set(uint32 slot, isr_t isr)
{
    reg32(slot) = static_cast<uint32>(reinterpret_cast<uintptr_t>(isr));
}

// The installation protocol every driver's open follows for a source: the
// handler into its slot, a stale request cleared, then the source and the
// global bit unmasked. close masks the source (the global bit stays as it
// is) and empties the slot; the default handler is not put back.
inline void isr_install(uint32 mask, isr_t isr)
{
    isr_slot_set(isr_slot(mask), isr);
    reg32(I_ISPC) |= mask;
    reg32(INTMSK) &= ~(mask | INT_GLOBAL);
}

inline void isr_remove(uint32 mask)
{
    reg32(INTMSK) |= mask;
    isr_slot_set(isr_slot(mask), nullptr);
}

// ---------------------------------------------------------------------------
// SDRAM outside the program image
constexpr uint32 PROGRAM_BASE = 0x0C100000;
constexpr uint32 LCD_BUFFER_BASE = 0x0C300000;  // 9600 words, 16 greys

// Key tones: 6400 bytes each, key k's clip at KEY_TONE_BASE + k * KEY_TONE_STEP.
constexpr uint32 KEY_TONE_BASE = 0x0C400000;
constexpr uint32 KEY_TONE_STEP = 0x2000;
constexpr uint32 KEY_TONE_BYTES = 6400;
constexpr uint32 CALL_CLIP_A = 0x0C4FA000;
constexpr uint32 CALL_CLIP_A_BYTES = 288000;
constexpr uint32 CALL_CLIP_B = 0x0C56A000;
constexpr uint32 CALL_CLIP_B_BYTES = 25600;

// The answering machine's message: 0x0C700000 .. 0x0C74E1FF.
constexpr uint32 MESSAGE_BUFFER = 0x0C700000;
constexpr uint32 MESSAGE_BUFFER_BYTES = 320000;

#endif
