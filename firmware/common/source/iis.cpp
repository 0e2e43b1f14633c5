// IIS controller and BDMA0: the transfer protocol is a one-byte flag that the
// caller raises before it starts the interface and the terminal-count handler
// drops; the caller spins on it.
#include "iis.h"

#include "dma.h"

// IISCON
constexpr uint32 IISCON_ENABLE = 0x01;          // interface on
constexpr uint32 IISCON_PRESCALER = 0x02;
constexpr uint32 IISCON_RX_DMA = 0x10;
constexpr uint32 IISCON_TX_DMA = 0x20;
// IISMOD: master, IIS format, 16-bit channels, CODECLK 256 fs, bit clock
// 32 fs (0x09), plus the transfer direction in bits 7..6.
constexpr uint32 IISMOD_IDLE = 0x09;
constexpr uint32 IISMOD_TRANSMIT = 0x89;
constexpr uint32 IISMOD_RECEIVE = 0x49;
// IISPSR: both prescalers 7 (divide by 16): CODECLK = MCLK / 16 = 4 MHz.
constexpr uint32 IISPSR_DIV16 = 0x77;
// IISFCON: the FIFO of the direction in use, enabled and fed by DMA.
constexpr uint32 IISFCON_TX_DMA = 0xA00;
constexpr uint32 IISFCON_RX_DMA = 0x500;
// BDCON0 bits 3..2 = 00: the channel takes DMA requests.
constexpr uint32 BDCON_REQUEST_MASK = 0x0C;

// Written by the caller before the start and by isr_dma at the end; the
// caller's wait must read it from memory on every pass.
static volatile uint8 estado = 0;

static uint32 address_of(uint16 *buffer)
{
    return static_cast<uint32>(reinterpret_cast<uintptr_t>(buffer));
}

// The register order matters: the channel is armed before the interface is
// enabled, because the interface asks for data as soon as it runs, and the
// flag is raised before that too, so that a transfer finishing at once
// cannot be missed.
static void transfer(uint32 iismod, uint32 iisfcon, uint32 iiscon_bits,
                     uint32 source, uint32 destination, uint32 lenght)
{
    reg32(IISMOD) = iismod;
    reg32(IISFCON) = iisfcon;
    reg32(IISCON) |= iiscon_bits;
    reg32(BDISRC0) = source;
    reg32(BDIDES0) = destination;
    reg32(BDCON0) &= ~BDCON_REQUEST_MASK;
    reg32(BDICNT0) = iis_bdma_count(lenght);
    estado = 1;
    reg32(IISCON) |= IISCON_ENABLE;
    while (estado != 0) {
    }
}

void iis_init(void)
{
    estado = 0;
    reg32(IISCON) = 0;
    reg32(IISMOD) = IISMOD_IDLE;
    reg32(IISPSR) = IISPSR_DIV16;
    reg32(IISFCON) = 0;
    bdma0_init();
    bdma0_open(isr_dma);
}

void iis_putSamples(uint16 *buffer, uint32 lenght)
{
    if ((lenght & IIS_BDMA_COUNT_MASK) == 0)
        return;
    transfer(IISMOD_TRANSMIT, IISFCON_TX_DMA, IISCON_TX_DMA | IISCON_PRESCALER,
             iis_play_source(address_of(buffer)), IIS_PLAY_DST, lenght);
}

void iis_getSamples(uint16 *buffer, uint32 lenght)
{
    if ((lenght & IIS_BDMA_COUNT_MASK) == 0)
        return;
    transfer(IISMOD_RECEIVE, IISFCON_RX_DMA, IISCON_RX_DMA | IISCON_PRESCALER,
             IIS_REC_SRC, iis_rec_destination(address_of(buffer)), lenght);
}

void iis_stop(void)
{
    reg32(IISCON) &= ~IISCON_ENABLE;
    estado = 0;
}

IRQ_HANDLER void isr_dma(void)
{
    reg32(IISCON) &= ~IISCON_ENABLE;
    estado = 0;
    reg32(I_ISPC) = INT_BDMA0;
}
