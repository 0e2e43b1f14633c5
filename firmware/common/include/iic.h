// IIC controller as bus master, one byte phase per call, polled. These are
// the building blocks of a transaction: a START with the device byte, more
// bytes, a STOP. The controller's interrupt stays masked; only its pending
// bit is watched.
#ifndef IIC_H
#define IIC_H

#include "types.h"

// Outcome of the most recent byte phase (iic_result).
constexpr uint8 IIC_OK = 0;
constexpr uint8 IIC_NACK = 1;      // a byte we sent was not acknowledged
constexpr uint8 IIC_TIMEOUT = 2;   // the controller never finished the phase

// Polls of the pending bit before a phase is given up. A phase is 9 bit
// times at MCLK/256 (36 us at 64 MHz); this many polls take some
// milliseconds even at one cycle per instruction.
constexpr uint32 IIC_POLL_LIMIT = 50000;

extern "C" {

void iic_init(void);

// Transmit: START in master-transmit mode with the device byte (write bit),
// further bytes, and the last byte followed by STOP and the EEPROM's 5 ms
// write cycle.
void iic_putByte_start(uint8 byte);
void iic_putByte(uint8 byte);
void iic_putByte_stop(uint8 byte);

// Receive: (repeated) START in master-receive mode with the device byte
// (read bit), acknowledged bytes, and the last byte answered with `ack`
// (0 acknowledge, 1 not) followed by STOP and a 5 ms pause.
void iic_getByte_start(uint8 byte);
uint8 iic_getByte(void);
uint8 iic_getByte_stop(uint8 ack);

void iic_open(isr_t isr);
void iic_close(void);

// IIC_OK, IIC_NACK or IIC_TIMEOUT for the last byte phase of the calls
// above. Only bytes this side sends are checked for an acknowledge: the
// device bytes, word addresses and data of the put operations.
uint8 iic_result(void);

// Ends a transaction that went wrong half-way: STOP, pending bit cleared and
// acknowledge back on, so that the next START finds the controller as
// iic_init left it.
void iic_abort(void);

}

#endif
