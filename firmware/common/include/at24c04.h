// AT24C04 serial EEPROM on the IIC bus: 512 bytes in two blocks of 256 (the
// block is bit 1 of the device byte), written in aligned pages of 16.
//
// The transactions are built over a small bus interface (at24c04_bus) so that
// their layout and their failure handling can be exercised without the
// controller; the public operations run them on the board's IIC driver.
#ifndef AT24C04_H
#define AT24C04_H

#include "iic.h"
#include "types.h"

constexpr uint16 AT24C04_SIZE = 512;
constexpr uint16 AT24C04_PAGE_SIZE = 16;
constexpr uint16 AT24C04_PAGES = AT24C04_SIZE / AT24C04_PAGE_SIZE;   // 32

// at24c04_status
constexpr uint8 AT24C04_OK = 0;
constexpr uint8 AT24C04_FAILED = 1;

// While the device runs an internal write cycle it ignores the bus and
// answers its device byte with no acknowledge; a START so refused is tried
// again, 1 ms apart, this many times in all before the operation fails.
constexpr uint32 AT24C04_START_TRIES = 6;

// Device byte: 1010, A2 A1 = 00, block (address bit 8), read bit.
constexpr uint8 at24c04_device_byte(uint16 addr, uint8 read)
{
    return static_cast<uint8>(0xA0 | (((addr >> 8) & 1) << 1) | (read & 1));
}

// Page n (0..31) of the whole device: its block's write device byte and its
// word address inside the block.
constexpr uint8 at24c04_page_device_byte(uint16 page)
{
    return at24c04_device_byte(static_cast<uint16>(page * AT24C04_PAGE_SIZE), 0);
}

constexpr uint8 at24c04_page_word_address(uint16 page)
{
    return static_cast<uint8>((page & 0x0F) << 4);
}

// One byte phase each, with the iic.h operations' meaning; every operation
// returns IIC_OK, IIC_NACK or IIC_TIMEOUT.
struct at24c04_bus {
    uint8 (*put_start)(uint8 byte);
    uint8 (*put)(uint8 byte);
    uint8 (*put_stop)(uint8 byte);
    uint8 (*get_start)(uint8 byte);
    uint8 (*get)(uint8 *byte);
    uint8 (*get_stop)(uint8 ack, uint8 *byte);
    void (*abort)(void);              // ends a failed transaction
    void (*delay_ms)(uint16 n);
};

// The operations over a given bus; each returns AT24C04_OK or AT24C04_FAILED
// and gives up at the first failed phase. A failed load may have filled part
// of the image.
uint8 at24c04_load_on(const at24c04_bus *bus, uint8 *image);
uint8 at24c04_store_on(const at24c04_bus *bus, const uint8 *image);
uint8 at24c04_bytewrite_on(const at24c04_bus *bus, uint16 addr, uint8 data);
uint8 at24c04_byteread_on(const at24c04_bus *bus, uint16 addr, uint8 *data);

extern "C" {

// Whole device: one sequential read from address 0; 32 page writes.
void at24c04_load(uint8 *buffer);
void at24c04_store(const uint8 *buffer);
void at24c04_clear(void);

// One byte at addr (0..511). A failed read leaves *data as it was.
void at24c04_bytewrite(uint16 addr, uint8 data);
void at24c04_byteRead(uint16 addr, uint8 *data);

// AT24C04_OK when the last of the operations above completed with every
// byte acknowledged, AT24C04_FAILED when it was given up.
uint8 at24c04_status(void);

}

#endif
