// Sample transfer between memory and the UDA1341TS over IIS, moved by BDMA0.
// The S3C44B0X is master of the audio link: IIS format, two 16-bit channels,
// CODECLK 256 fs, bit clock 32 fs. A transfer is one blocking call; the
// channel's terminal-count interrupt (isr_dma) stops the interface and ends it.
#ifndef IIS_H
#define IIS_H

#include "s3c44b0x.h"
#include "types.h"

// Register words of a transfer. The count field of BDICNT0 is 20 bits wide,
// so only the low 20 bits of the byte count reach the channel.
constexpr uint32 IIS_BDMA_COUNT_MASK = 0x000FFFFF;
// Request source IIS, bits 27..26 = 01, interrupt at terminal count, no
// auto-reload, channel enabled.
constexpr uint32 IIS_BDICNT_BASE = 0x44D00000;
// Playing: half-words from memory, source incremented; memory to
// peripheral, into the IIS FIFO at a fixed address.
constexpr uint32 IIS_PLAY_SRC_BITS = 0x50000000;
constexpr uint32 IIS_PLAY_DST = 0x70000000 | IISFIF;             // 0x71D18010
// Recording: half-words from the IIS FIFO, source fixed; peripheral to
// memory, destination incremented.
constexpr uint32 IIS_REC_SRC = 0x70000000 | IISFIF;              // 0x71D18010
constexpr uint32 IIS_REC_DST_BITS = 0x90000000;

constexpr uint32 iis_bdma_count(uint32 lenght)
{
    return IIS_BDICNT_BASE | (lenght & IIS_BDMA_COUNT_MASK);
}

constexpr uint32 iis_play_source(uint32 buffer)
{
    return IIS_PLAY_SRC_BITS | buffer;
}

constexpr uint32 iis_rec_destination(uint32 buffer)
{
    return IIS_REC_DST_BITS | buffer;
}

extern "C" {

// Idle set-up (interface stopped), BDMA0 cleared and isr_dma installed.
void iis_init(void);

// Play or record `lenght` bytes (even, 2 .. 0xFFFFE) of interleaved 16-bit
// stereo samples. Both return when the channel has moved every byte, with
// the interface stopped; they need the BDMA0 interrupt and the global bit
// unmasked while they wait. A length whose low 20 bits are 0 would never
// reach terminal count, so it moves nothing and returns at once.
void iis_putSamples(uint16 *buffer, uint32 lenght);
void iis_getSamples(uint16 *buffer, uint32 lenght);

// Stops the interface and releases a waiting transfer; the channel is left as it is.
void iis_stop(void);

// BDMA0 terminal-count handler, installed by iis_init; never called directly.
void isr_dma(void);

}

#endif
