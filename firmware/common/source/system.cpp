// System start-up, I/O ports and the default interrupt handlers.
#include "system.h"

#include "leds.h"
#include "s3c44b0x.h"
#include "segs.h"
#include "uart.h"

// A fatal exception or interrupt: there is nothing to return to, so the board
// stops here with both LEDs lit until it is reset.
[[noreturn]] static void fatal(const char *source)
{
    uart0_puts(reinterpret_cast<const uint8 *>("Error por la rutina de servicio de interrupcion "));
    uart0_puts(reinterpret_cast<const uint8 *>(source));
    led_on(LED_LEFT);
    led_on(LED_RIGHT);
    for (;;)
        asm volatile("");
}

IRQ_HANDLER void ISR_UNDEF_DUMMY(void) { fatal("ISR_UNDEF"); }
IRQ_HANDLER void ISR_SWI_DUMMY(void) { fatal("ISR_SWI"); }
IRQ_HANDLER void ISR_PABORT_DUMMY(void) { fatal("ISR_PABORT"); }
IRQ_HANDLER void ISR_DABORT_DUMMY(void) { fatal("ISR_DABORT"); }
IRQ_HANDLER void ISR_IRQ_DUMMY(void) { fatal("ISR_IRQ"); }
IRQ_HANDLER void ISR_FIQ_DUMMY(void) { fatal("ISR_FIQ"); }
IRQ_HANDLER void ISR_ADC_DUMMY(void) { fatal("ISR_ADC"); }
IRQ_HANDLER void ISR_RTC_DUMMY(void) { fatal("ISR_RTC"); }
IRQ_HANDLER void ISR_UTXD1_DUMMY(void) { fatal("ISR_UTXD1"); }
IRQ_HANDLER void ISR_UTXD0_DUMMY(void) { fatal("ISR_UTXD0"); }
IRQ_HANDLER void ISR_SIO_DUMMY(void) { fatal("ISR_SIO"); }
IRQ_HANDLER void ISR_IIC_DUMMY(void) { fatal("ISR_IIC"); }
IRQ_HANDLER void ISR_URXD1_DUMMY(void) { fatal("ISR_URXD1"); }
IRQ_HANDLER void ISR_URXD0_DUMMY(void) { fatal("ISR_URXD0"); }
IRQ_HANDLER void ISR_TIMER5_DUMMY(void) { fatal("ISR_TIMER5"); }
IRQ_HANDLER void ISR_TIMER4_DUMMY(void) { fatal("ISR_TIMER4"); }
IRQ_HANDLER void ISR_TIMER3_DUMMY(void) { fatal("ISR_TIMER3"); }
IRQ_HANDLER void ISR_TIMER2_DUMMY(void) { fatal("ISR_TIMER2"); }
IRQ_HANDLER void ISR_TIMER1_DUMMY(void) { fatal("ISR_TIMER1"); }
IRQ_HANDLER void ISR_TIMER0_DUMMY(void) { fatal("ISR_TIMER0"); }
IRQ_HANDLER void ISR_UERR01_DUMMY(void) { fatal("ISR_UERR01"); }
IRQ_HANDLER void ISR_WDT_DUMMY(void) { fatal("ISR_WDT"); }
IRQ_HANDLER void ISR_BDMA1_DUMMY(void) { fatal("ISR_BDMA1"); }
IRQ_HANDLER void ISR_BDMA0_DUMMY(void) { fatal("ISR_BDMA0"); }
IRQ_HANDLER void ISR_ZDMA1_DUMMY(void) { fatal("ISR_ZDMA1"); }
IRQ_HANDLER void ISR_ZDMA0_DUMMY(void) { fatal("ISR_ZDMA0"); }
IRQ_HANDLER void ISR_TICK_DUMMY(void) { fatal("ISR_TICK"); }
IRQ_HANDLER void ISR_PB_DUMMY(void) { fatal("ISR_PB"); }
IRQ_HANDLER void ISR_ETHERNET_DUMMY(void) { fatal("ISR_ETHERNET"); }
IRQ_HANDLER void ISR_TOUCHPAD_DUMMY(void) { fatal("ISR_TOUCHPAD"); }
IRQ_HANDLER void ISR_KEYPAD_DUMMY(void) { fatal("ISR_KEYPAD"); }
IRQ_HANDLER void ISR_USB_DUMMY(void) { fatal("ISR_USB"); }

void install_dummy_isr(void)
{
    // The reset slot (0x00) and the reserved one (0x14) are the monitor's.
    isr_slot_set(ISR_SLOT_UNDEF, ISR_UNDEF_DUMMY);
    isr_slot_set(ISR_SLOT_SWI, ISR_SWI_DUMMY);
    isr_slot_set(ISR_SLOT_PABORT, ISR_PABORT_DUMMY);
    isr_slot_set(ISR_SLOT_DABORT, ISR_DABORT_DUMMY);
    isr_slot_set(ISR_SLOT_IRQ, ISR_IRQ_DUMMY);
    isr_slot_set(ISR_SLOT_FIQ, ISR_FIQ_DUMMY);
    isr_slot_set(ISR_SLOT_ADC, ISR_ADC_DUMMY);
    isr_slot_set(ISR_SLOT_RTC, ISR_RTC_DUMMY);
    isr_slot_set(ISR_SLOT_UTXD1, ISR_UTXD1_DUMMY);
    isr_slot_set(ISR_SLOT_UTXD0, ISR_UTXD0_DUMMY);
    isr_slot_set(ISR_SLOT_SIO, ISR_SIO_DUMMY);
    isr_slot_set(ISR_SLOT_IIC, ISR_IIC_DUMMY);
    isr_slot_set(ISR_SLOT_URXD1, ISR_URXD1_DUMMY);
    isr_slot_set(ISR_SLOT_URXD0, ISR_URXD0_DUMMY);
    isr_slot_set(ISR_SLOT_TIMER5, ISR_TIMER5_DUMMY);
    isr_slot_set(ISR_SLOT_TIMER4, ISR_TIMER4_DUMMY);
    isr_slot_set(ISR_SLOT_TIMER3, ISR_TIMER3_DUMMY);
    isr_slot_set(ISR_SLOT_TIMER2, ISR_TIMER2_DUMMY);
    isr_slot_set(ISR_SLOT_TIMER1, ISR_TIMER1_DUMMY);
    isr_slot_set(ISR_SLOT_TIMER0, ISR_TIMER0_DUMMY);
    isr_slot_set(ISR_SLOT_UERR01, ISR_UERR01_DUMMY);
    isr_slot_set(ISR_SLOT_WDT, ISR_WDT_DUMMY);
    isr_slot_set(ISR_SLOT_BDMA1, ISR_BDMA1_DUMMY);
    isr_slot_set(ISR_SLOT_BDMA0, ISR_BDMA0_DUMMY);
    isr_slot_set(ISR_SLOT_ZDMA1, ISR_ZDMA1_DUMMY);
    isr_slot_set(ISR_SLOT_ZDMA0, ISR_ZDMA0_DUMMY);
    isr_slot_set(ISR_SLOT_TICK, ISR_TICK_DUMMY);
    isr_slot_set(ISR_SLOT_EINT4567, ISR_PB_DUMMY);
    isr_slot_set(ISR_SLOT_EINT3, ISR_ETHERNET_DUMMY);
    isr_slot_set(ISR_SLOT_EINT2, ISR_TOUCHPAD_DUMMY);
    isr_slot_set(ISR_SLOT_EINT1, ISR_KEYPAD_DUMMY);
    isr_slot_set(ISR_SLOT_EINT0, ISR_USB_DUMMY);
}

void port_init(void)
{
    reg32(PCONB) = 0x000001FF;     // PB0..PB8 memory interface, PB9/PB10 outputs (LEDs)
    reg32(PCOND) = 0x0000AAAA;     // port D drives the LCD
    reg32(PCONF) = 0x0000251A;     // PF0/PF1 IIC, PF2 PF4 PF5 PF6 outputs
    reg32(PUPF) = 0x00000074;
    reg32(PCONC) |= 0x000000FF;    // PC0..PC3 IIS
    reg32(PCONE) = (reg32(PCONE) & ~0x00030000u) | 0x00020000;   // PE8 CODECLK
    reg32(PUPC) = (reg32(PUPC) & ~0x0000000Fu) | 0x0000000B;
    reg32(PUPE) |= 0x00000100;
    reg32(PCONA) &= ~0x00000200u;  // PA9 output: L3DATA
    reg32(PCONB) &= ~0x00000030u;  // PB4 PB5 outputs: L3MODE, L3CLOCK
    leds_init();
    segs_init();
}

void sys_init(void)
{
    // The watchdog runs from reset and would restart the board within a second.
    reg32(WTCON) = 0;
    reg32(INTMSK) = 0xFFFFFFFF;
    reg32(PLLCON) = 0x00038021;    // MCLK = 8 x Fin = 64 MHz
    reg32(CLKCON) = 0x00007FF8;
    reg32(CLKSLOW) = 0x00000008;
    reg32(LOCKTIME) = 0x00000FFF;
    reg32(SBUSCON) = 0x8000001B;
    reg32(SYSCFG) = 0;             // cache and write buffer off
    reg32(I_PMST) = 0x00001F1B;
    reg32(I_PSLV) = 0x1B1B1B1B;
    reg32(INTMOD) = 0;             // no FIQ sources
    install_dummy_isr();
    reg32(EXTINTPND) = 0x0000000F;
    reg32(I_ISPC) = 0xFFFFFFFF;
    reg32(INTCON) = 0x00000001;    // vectored IRQ, IRQ line on, FIQ off
    port_init();
}
