// DMA channel set-up and interrupt installation. The channels differ only in
// their register block and interrupt source, so each operation is one line
// over the channel's table row.
#include "dma.h"
#include "s3c44b0x.h"

namespace {

struct dma_channel {
    uint32 base;   // control register; the other six follow at 4-byte steps
    uint32 irq;    // bit in INTMSK / I_ISPC
};

constexpr dma_channel BDMA0 = {BDCON0, INT_BDMA0};
constexpr dma_channel BDMA1 = {BDCON1, INT_BDMA1};
constexpr dma_channel ZDMA0 = {ZDCON0, INT_ZDMA0};
constexpr dma_channel ZDMA1 = {ZDCON1, INT_ZDMA1};

constexpr uint32 DMA_REGISTERS = 7;

void dma_clear(const dma_channel &ch)
{
    for (uint32 i = 0; i < DMA_REGISTERS; ++i)
        reg32(ch.base + 4 * i) = 0;
}

}  // namespace

void bdma0_init(void) { dma_clear(BDMA0); }
void bdma1_init(void) { dma_clear(BDMA1); }
void zdma0_init(void) { dma_clear(ZDMA0); }
void zdma1_init(void) { dma_clear(ZDMA1); }

void bdma0_open(isr_t isr) { isr_install(BDMA0.irq, isr); }
void bdma1_open(isr_t isr) { isr_install(BDMA1.irq, isr); }
void zdma0_open(isr_t isr) { isr_install(ZDMA0.irq, isr); }
void zdma1_open(isr_t isr) { isr_install(ZDMA1.irq, isr); }

void bdma0_close(void) { isr_remove(BDMA0.irq); }
void bdma1_close(void) { isr_remove(BDMA1.irq); }
void zdma0_close(void) { isr_remove(ZDMA0.irq); }
void zdma1_close(void) { isr_remove(ZDMA1.irq); }
