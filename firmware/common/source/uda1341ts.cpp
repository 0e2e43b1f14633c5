// UDA1341TS operations. The converters are powered only around a transfer:
// the DAC for playing, the ADC for recording, both off afterwards.
#include "uda1341ts.h"

#include "iis.h"
#include "l3.h"

const uda_command uda1341ts_init_commands[UDA_INIT_COMMANDS] = {
    {UDA_ADDR_STATUS, L3_ADDRESS_MODE},
    {0x40, L3_DATA_MODE},   // status 0: reset
    {0x20, L3_DATA_MODE},   // status 0: reset released, system clock 256 fs
    {0x00, L3_DATA_MODE},   // status 0: system clock 512 fs
    {0x80, L3_DATA_MODE},   // status 1: gains 0 dB, ADC and DAC off
    {UDA_ADDR_DATA0, L3_ADDRESS_MODE},
    {0xC2, L3_DATA_MODE},   // extended address: register 2
    {0xE1, L3_DATA_MODE},   // extended data: mixer on input channel 1
};

const uda_command uda1341ts_dac_on[UDA_PAIR] = {
    {UDA_ADDR_STATUS, L3_ADDRESS_MODE},
    {0x81, L3_DATA_MODE},   // status 1: DAC on
};

const uda_command uda1341ts_adc_on[UDA_PAIR] = {
    {UDA_ADDR_STATUS, L3_ADDRESS_MODE},
    {0xA2, L3_DATA_MODE},   // status 1: input gain +6 dB, ADC on
};

const uda_command uda1341ts_power_off[UDA_PAIR] = {
    {UDA_ADDR_STATUS, L3_ADDRESS_MODE},
    {0x80, L3_DATA_MODE},   // status 1: ADC and DAC off
};

// Only read from an interrupt handler can it be anything but idle, since
// play and rec block.
static volatile uint8 udaStatus = UDA_IDLE;

static void send(const uda_command *commands, uint32 n)
{
    for (uint32 i = 0; i < n; ++i)
        L3_putByte(commands[i].byte, commands[i].mode);
}

static void send_data0(uint8 data)
{
    const uda_command pair[UDA_PAIR] = {{UDA_ADDR_DATA0, L3_ADDRESS_MODE}, {data, L3_DATA_MODE}};
    send(pair, UDA_PAIR);
}

void uda1341ts_init(void)
{
    L3_init();
    udaStatus = UDA_IDLE;
    send(uda1341ts_init_commands, UDA_INIT_COMMANDS);
}

void uda1341ts_play(uint16 *buffer, uint32 lenght, uint8 volume)
{
    udaStatus = UDA_PLAYING;
    send_data0(uda1341ts_volume_code(volume));
    send(uda1341ts_dac_on, UDA_PAIR);
    iis_putSamples(buffer, lenght);
    udaStatus = UDA_IDLE;
    send(uda1341ts_power_off, UDA_PAIR);
}

void uda1341ts_rec(uint16 *buffer, uint32 lenght)
{
    udaStatus = UDA_RECORDING;
    send(uda1341ts_adc_on, UDA_PAIR);
    iis_getSamples(buffer, lenght);
    udaStatus = UDA_IDLE;
    send(uda1341ts_power_off, UDA_PAIR);
}

void uda1341ts_mute(uint8 on)
{
    send_data0(uda1341ts_mute_code(on));
}

uint8 uda1341ts_status(void)
{
    return udaStatus;
}
