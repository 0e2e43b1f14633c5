// IIC master by polling IICCON's pending bit. Each phase is bounded, so a
// controller that never finishes (or a bus held low) cannot hang the caller;
// the outcome is kept for iic_result.
#include "iic.h"

#include "s3c44b0x.h"
#include "timers.h"

// IICCON
constexpr uint32 IICCON_ACK = 0x80;
constexpr uint32 IICCON_TXRX_INT = 0x20;
constexpr uint32 IICCON_PENDING = 0x10;
// Acknowledge on, IICCLK = MCLK/16, interrupt flag on, prescaler 15:
// SCL = MCLK/256, 250 kHz.
constexpr uint32 IICCON_INIT = 0xAF;
// IICSTAT
constexpr uint32 IICSTAT_MASTER_TX_START = 0xF0;
constexpr uint32 IICSTAT_MASTER_RX_START = 0xB0;
constexpr uint32 IICSTAT_IDLE = 0x10;       // slave receive, output enabled
constexpr uint32 IICSTAT_BUSY = 0x20;       // cleared: STOP
constexpr uint32 IICSTAT_LAST_BIT = 0x01;   // 1: the byte sent was not acknowledged
constexpr uint32 IICADD_OWN = 0x08;

// The EEPROM's internal write cycle after a STOP.
constexpr uint16 IIC_WRITE_CYCLE_MS = 5;

static uint8 last_result = IIC_OK;

// Clearing the pending bit releases SCL and lets the controller run the next
// phase; the bit comes back once the phase, acknowledge clock included, is over.
static void wait_phase(boolean check_ack)
{
    reg32(IICCON) &= ~IICCON_PENDING;
    for (uint32 n = 0; n < IIC_POLL_LIMIT; ++n) {
        if (reg32(IICCON) & IICCON_PENDING) {
            last_result = (check_ack && (reg32(IICSTAT) & IICSTAT_LAST_BIT)) ? IIC_NACK : IIC_OK;
            return;
        }
    }
    last_result = IIC_TIMEOUT;
}

static void stop(void)
{
    reg32(IICSTAT) &= ~IICSTAT_BUSY;
    // The STOP goes out only once the pending bit is cleared.
    reg32(IICCON) &= ~IICCON_PENDING;
}

void iic_init(void)
{
    reg32(IICCON) = IICCON_INIT;
    reg32(IICSTAT) = IICSTAT_IDLE;
    reg32(IICADD) = IICADD_OWN;
}

void iic_putByte_start(uint8 byte)
{
    reg32(IICDS) = byte;
    reg32(IICSTAT) = IICSTAT_MASTER_TX_START;
    wait_phase(TRUE);
}

void iic_putByte(uint8 byte)
{
    reg32(IICDS) = byte;
    wait_phase(TRUE);
}

void iic_putByte_stop(uint8 byte)
{
    reg32(IICDS) = byte;
    wait_phase(TRUE);
    stop();
    sw_delay_ms(IIC_WRITE_CYCLE_MS);
}

void iic_getByte_start(uint8 byte)
{
    reg32(IICDS) = byte;
    reg32(IICSTAT) = IICSTAT_MASTER_RX_START;
    wait_phase(TRUE);
}

uint8 iic_getByte(void)
{
    wait_phase(FALSE);
    return static_cast<uint8>(reg32(IICDS) & 0xFF);
}

uint8 iic_getByte_stop(uint8 ack)
{
    if (ack == 0)
        reg32(IICCON) |= IICCON_ACK;
    else if (ack == 1)
        // No acknowledge tells the EEPROM that this byte is the last.
        reg32(IICCON) &= ~IICCON_ACK;
    wait_phase(FALSE);
    const uint8 byte = static_cast<uint8>(reg32(IICDS) & 0xFF);
    stop();
    sw_delay_ms(IIC_WRITE_CYCLE_MS);
    reg32(IICCON) |= IICCON_ACK;
    return byte;
}

void iic_open(isr_t isr)
{
    isr_slot_set(ISR_SLOT_IIC, isr);
    reg32(I_ISPC) = INT_IIC;
    reg32(INTMSK) &= ~(INT_IIC | INT_GLOBAL);
    reg32(IICCON) |= IICCON_TXRX_INT;
}

void iic_close(void)
{
    reg32(IICCON) &= ~IICCON_TXRX_INT;
    reg32(INTMSK) |= INT_IIC;
    isr_slot_set(ISR_SLOT_IIC, nullptr);
}

uint8 iic_result(void)
{
    return last_result;
}

void iic_abort(void)
{
    stop();
    reg32(IICCON) |= IICCON_ACK;
}
