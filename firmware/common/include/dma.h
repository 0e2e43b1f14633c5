// The chip's four DMA channels: bridge DMA 0 and 1 (BDMA, between memory and
// the peripherals of the APB bridge) and general DMA 0 and 1 (ZDMA). Only
// BDMA0 carries traffic in the phone (the IIS samples); the other channels
// get the same set-up and handler operations for other programs on the board.
#ifndef DMA_H
#define DMA_H

#include "types.h"

extern "C" {

// Clear the channel's seven registers (control, initial source, destination
// and count, current source, destination and count), in that order.
void bdma0_init(void);
void bdma1_init(void);
void zdma0_init(void);
void zdma1_init(void);

// Install `isr` for the channel's interrupt, clear a stale request and unmask
// the channel and the global bit.
void bdma0_open(isr_t isr);
void bdma1_open(isr_t isr);
void zdma0_open(isr_t isr);
void zdma1_open(isr_t isr);

// Mask the channel's interrupt and empty its vector slot.
void bdma0_close(void);
void bdma1_close(void);
void zdma0_close(void);
void zdma1_close(void);

}

#endif
