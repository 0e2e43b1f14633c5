// Keypad: scans of the matrix on bank 3 and the key-down line on PG1.
#include "keypad.h"

#include "s3c44b0x.h"
#include "timers.h"

static constexpr uint16 PRESS_DEBOUNCE_MS = 30;
static constexpr uint16 RELEASE_DEBOUNCE_MS = 100;

static constexpr uint32 row_address[4] = {KEYPAD_ROW0, KEYPAD_ROW1, KEYPAD_ROW2, KEYPAD_ROW3};

uint8 keypad_decode(const uint8 rows[4])
{
    uint8 key = KEY_NONE;
    for (uint8 row = 0; row < 4; ++row) {
        switch (rows[row] & 0x0F) {
        case 0x7: key = static_cast<uint8>(4 * row + 0); break;
        case 0xB: key = static_cast<uint8>(4 * row + 1); break;
        case 0xD: key = static_cast<uint8>(4 * row + 2); break;
        case 0xE: key = static_cast<uint8>(4 * row + 3); break;
        default: break;     // no key, or several in this row
        }
    }
    return key;
}

static bool key_down(void)
{
    return (reg32(PDATG) & PDATG_KEYDOWN) == 0;
}

static void wait_key_down(void)
{
    while (!key_down()) {
    }
}

static void wait_all_up(void)
{
    while (key_down()) {
    }
}

uint8 key_read(void)
{
    uint8 rows[4];
    for (int row = 0; row < 4; ++row)
        rows[row] = reg8(row_address[row]);
    return keypad_decode(rows);
}

void keypad_init(void)
{
}

void keypad_wait_keydown(uint8 scancode)
{
    while (key_read() != scancode) {
    }
    sw_delay_ms(PRESS_DEBOUNCE_MS);
}

void keypad_wait_keyup(uint8 scancode)
{
    keypad_wait_keydown(scancode);
    wait_all_up();
    sw_delay_ms(RELEASE_DEBOUNCE_MS);
}

void keypad_wait_any_keydown(void)
{
    wait_key_down();
    sw_delay_ms(PRESS_DEBOUNCE_MS);
}

void keypad_wait_any_keyup(void)
{
    wait_key_down();
    sw_delay_ms(PRESS_DEBOUNCE_MS);
    wait_all_up();
    sw_delay_ms(RELEASE_DEBOUNCE_MS);
}

uint8 keypad_getchar(void)
{
    wait_key_down();
    return key_read();
}

void keypad_wait_release(uint8 key)
{
    // The press may still bounce right after keypad_getchar saw it; a bounce
    // taken for the release would let the same press act twice.
    sw_delay_ms(PRESS_DEBOUNCE_MS);
    if (key > 15) {
        // Nothing single was decoded: wait for the whole keypad to be free.
        wait_all_up();
    } else {
        if (key_read() != key)
            return;
        while (key_read() == key) {
        }
    }
    sw_delay_ms(RELEASE_DEBOUNCE_MS);
}

uint8 keypad_getchartime(uint16 *ms)
{
    wait_key_down();
    uint8 tecla = key_read();
    timer3_start();
    sw_delay_ms(PRESS_DEBOUNCE_MS);
    wait_all_up();
    sw_delay_ms(RELEASE_DEBOUNCE_MS);
    *ms = static_cast<uint16>(timer3_stop() / 10);
    return tecla;
}

uint8 keypad_timeout_getchar(uint16 n)
{
    timer3_start_timeout(static_cast<uint16>(n * 10000u));
    while (!timer3_timeout() && !key_down()) {
    }
    sw_delay_ms(PRESS_DEBOUNCE_MS);
    uint8 scancode = key_read();
    wait_all_up();
    sw_delay_ms(RELEASE_DEBOUNCE_MS);
    return scancode == KEY_NONE ? KEY_TIMEOUT : scancode;
}

void keypad_open(void (*isr)(void))
{
    isr_install(INT_EINT1, isr);
}

void keypad_close(void)
{
    isr_remove(INT_EINT1);
}
