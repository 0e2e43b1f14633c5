// AT24C04 transactions.
#include "at24c04.h"

#include "timers.h"

static uint8 start_write(const at24c04_bus *bus, uint8 device)
{
    for (uint32 attempt = 1;; ++attempt) {
        const uint8 r = bus->put_start(device);
        if (r != IIC_NACK || attempt == AT24C04_START_TRIES)
            return r;
        bus->abort();
        bus->delay_ms(1);
    }
}

static uint8 give_up(const at24c04_bus *bus)
{
    bus->abort();
    return AT24C04_FAILED;
}

uint8 at24c04_store_on(const at24c04_bus *bus, const uint8 *image)
{
    // One transaction per aligned page: a page write wraps inside its page,
    // so a transaction must never cross a 16-byte boundary.
    for (uint16 page = 0; page < AT24C04_PAGES; ++page) {
        const uint8 *data = image + page * AT24C04_PAGE_SIZE;
        if (start_write(bus, at24c04_page_device_byte(page)) != IIC_OK)
            return give_up(bus);
        if (bus->put(at24c04_page_word_address(page)) != IIC_OK)
            return give_up(bus);
        for (uint16 j = 0; j + 1 < AT24C04_PAGE_SIZE; ++j)
            if (bus->put(data[j]) != IIC_OK)
                return give_up(bus);
        if (bus->put_stop(data[AT24C04_PAGE_SIZE - 1]) != IIC_OK)
            return give_up(bus);
    }
    return AT24C04_OK;
}

uint8 at24c04_load_on(const at24c04_bus *bus, uint8 *image)
{
    // One sequential read: the device's address counter runs on from 255 to
    // 256 across the block boundary, so block 0's device byte reaches all 512.
    if (start_write(bus, at24c04_device_byte(0, 0)) != IIC_OK)
        return give_up(bus);
    if (bus->put(0x00) != IIC_OK)
        return give_up(bus);
    if (bus->get_start(at24c04_device_byte(0, 1)) != IIC_OK)
        return give_up(bus);
    for (uint16 i = 0; i + 1 < AT24C04_SIZE; ++i)
        if (bus->get(&image[i]) != IIC_OK)
            return give_up(bus);
    // Not acknowledging the last byte ends the device's sequential read.
    if (bus->get_stop(1, &image[AT24C04_SIZE - 1]) != IIC_OK)
        return give_up(bus);
    return AT24C04_OK;
}

uint8 at24c04_bytewrite_on(const at24c04_bus *bus, uint16 addr, uint8 data)
{
    if (start_write(bus, at24c04_device_byte(addr, 0)) != IIC_OK)
        return give_up(bus);
    if (bus->put(static_cast<uint8>(addr & 0xFF)) != IIC_OK)
        return give_up(bus);
    if (bus->put_stop(data) != IIC_OK)
        return give_up(bus);
    return AT24C04_OK;
}

uint8 at24c04_byteread_on(const at24c04_bus *bus, uint16 addr, uint8 *data)
{
    // Random read: a dummy write sets the address, a repeated START (no
    // STOP before it) turns the bus round.
    if (start_write(bus, at24c04_device_byte(addr, 0)) != IIC_OK)
        return give_up(bus);
    if (bus->put(static_cast<uint8>(addr & 0xFF)) != IIC_OK)
        return give_up(bus);
    if (bus->get_start(at24c04_device_byte(addr, 1)) != IIC_OK)
        return give_up(bus);
    uint8 byte = 0;
    if (bus->get_stop(1, &byte) != IIC_OK)
        return give_up(bus);
    *data = byte;
    return AT24C04_OK;
}

// --- The board's bus ---------------------------------------------------------

static uint8 board_put_start(uint8 byte)
{
    iic_putByte_start(byte);
    return iic_result();
}

static uint8 board_put(uint8 byte)
{
    iic_putByte(byte);
    return iic_result();
}

static uint8 board_put_stop(uint8 byte)
{
    iic_putByte_stop(byte);
    return iic_result();
}

static uint8 board_get_start(uint8 byte)
{
    iic_getByte_start(byte);
    return iic_result();
}

static uint8 board_get(uint8 *byte)
{
    *byte = iic_getByte();
    return iic_result();
}

static uint8 board_get_stop(uint8 ack, uint8 *byte)
{
    *byte = iic_getByte_stop(ack);
    return iic_result();
}

static const at24c04_bus board_bus = {
    board_put_start, board_put, board_put_stop, board_get_start,
    board_get, board_get_stop, iic_abort, sw_delay_ms,
};

static uint8 last_status = AT24C04_OK;

void at24c04_load(uint8 *buffer)
{
    last_status = at24c04_load_on(&board_bus, buffer);
}

void at24c04_store(const uint8 *buffer)
{
    last_status = at24c04_store_on(&board_bus, buffer);
}

void at24c04_clear(void)
{
    static const uint8 zeros[AT24C04_SIZE] = {};
    at24c04_store(zeros);
}

void at24c04_bytewrite(uint16 addr, uint8 data)
{
    last_status = at24c04_bytewrite_on(&board_bus, addr, data);
}

void at24c04_byteRead(uint16 addr, uint8 *data)
{
    last_status = at24c04_byteread_on(&board_bus, addr, data);
}

uint8 at24c04_status(void)
{
    return last_status;
}
