// Bringing the S3C44B0X from the monitor's hand-over to the state every driver
// expects: watchdog off, MCLK 64 MHz, cache off, every interrupt source masked
// with a diagnostic default handler in each slot of the RAM vector table, and
// the port pins the drivers use switched to their functions.
#ifndef SYSTEM_H
#define SYSTEM_H

#include "types.h"

extern "C" {

void sys_init(void);
// Called by sys_init only.
void port_init(void);
void install_dummy_isr(void);

// Default handlers: each reports its source on the console, lights both LEDs
// and halts.
void ISR_UNDEF_DUMMY(void);
void ISR_SWI_DUMMY(void);
void ISR_PABORT_DUMMY(void);
void ISR_DABORT_DUMMY(void);
void ISR_IRQ_DUMMY(void);
void ISR_FIQ_DUMMY(void);
void ISR_ADC_DUMMY(void);
void ISR_RTC_DUMMY(void);
void ISR_UTXD1_DUMMY(void);
void ISR_UTXD0_DUMMY(void);
void ISR_SIO_DUMMY(void);
void ISR_IIC_DUMMY(void);
void ISR_URXD1_DUMMY(void);
void ISR_URXD0_DUMMY(void);
void ISR_TIMER5_DUMMY(void);
void ISR_TIMER4_DUMMY(void);
void ISR_TIMER3_DUMMY(void);
void ISR_TIMER2_DUMMY(void);
void ISR_TIMER1_DUMMY(void);
void ISR_TIMER0_DUMMY(void);
void ISR_UERR01_DUMMY(void);
void ISR_WDT_DUMMY(void);
void ISR_BDMA1_DUMMY(void);
void ISR_BDMA0_DUMMY(void);
void ISR_ZDMA1_DUMMY(void);
void ISR_ZDMA0_DUMMY(void);
void ISR_TICK_DUMMY(void);
void ISR_PB_DUMMY(void);
void ISR_ETHERNET_DUMMY(void);
void ISR_TOUCHPAD_DUMMY(void);
void ISR_KEYPAD_DUMMY(void);
void ISR_USB_DUMMY(void);

}

#endif
