// UDA1341TS audio codec: commands over L3, samples over IIS (iis.h). Each
// codec operation is a fixed list of (byte, mode) pairs, with at most one
// sample transfer in the middle.
#ifndef UDA1341TS_H
#define UDA1341TS_H

#include "types.h"

// L3 address bytes: device address 000101, then the transfer type.
constexpr uint8 UDA_ADDR_DATA0 = 0x14;    // volume, mute, extended registers
constexpr uint8 UDA_ADDR_STATUS = 0x16;   // status registers 0 and 1

// udaStatus values.
constexpr uint8 UDA_IDLE = 0;
constexpr uint8 UDA_RECORDING = 1;
constexpr uint8 UDA_PLAYING = 2;

struct uda_command {
    uint8 byte;
    uint8 mode;    // L3_ADDRESS_MODE or L3_DATA_MODE
};

// Start-up: reset, 256 fs then 512 fs, converters off, mixer on input 1.
constexpr uint32 UDA_INIT_COMMANDS = 8;
extern const uda_command uda1341ts_init_commands[UDA_INIT_COMMANDS];

// Two-command sequences: address byte, then one data byte.
constexpr uint32 UDA_PAIR = 2;
extern const uda_command uda1341ts_dac_on[UDA_PAIR];
extern const uda_command uda1341ts_adc_on[UDA_PAIR];     // with the +6 dB input gain
extern const uda_command uda1341ts_power_off[UDA_PAIR];

// Volume 0..63 (63 loudest) to the codec's attenuation code: only the low six
// bits of `volume` count.
constexpr uint8 uda1341ts_volume_code(uint8 volume)
{
    return static_cast<uint8>(63 - (volume & 0x3F));
}

// DATA0 mode register: mute bit (bit 2) set for any `on` other than 0.
constexpr uint8 uda1341ts_mute_code(uint8 on)
{
    return on ? 0x84 : 0x80;
}

extern "C" {

void uda1341ts_init(void);
void uda1341ts_play(uint16 *buffer, uint32 lenght, uint8 volume);
void uda1341ts_rec(uint16 *buffer, uint32 lenght);
void uda1341ts_mute(uint8 on);
uint8 uda1341ts_status(void);

}

#endif
