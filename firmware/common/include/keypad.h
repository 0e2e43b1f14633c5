// The 4 x 4 key matrix, polled. Key numbers are 4 x row + column, 0..15;
// 0xFF when a scan decodes no single key, 0xFE when a timed read runs out.
#ifndef KEYPAD_H
#define KEYPAD_H

#include "types.h"

constexpr uint8 KEY_NONE = 0xFF;
constexpr uint8 KEY_TIMEOUT = 0xFE;

extern "C" {

void keypad_init(void);                  // nothing to set up
uint8 key_read(void);                    // one scan of the matrix, no waiting
void keypad_wait_keydown(uint8 scancode);
void keypad_wait_keyup(uint8 scancode);
void keypad_wait_any_keydown(void);
void keypad_wait_any_keyup(void);
// Blocks until a key is down and returns its scan at once; it does not wait
// for the release, so a key still held is read again by the next call.
uint8 keypad_getchar(void);
uint8 keypad_getchartime(uint16 *ms);    // *ms: press to the end of the release pause
uint8 keypad_timeout_getchar(uint16 n);  // n seconds, 1..6
void keypad_open(void (*isr)(void));
void keypad_close(void);

// Makes one press act once: after the press debounce pause, waits until
// `key` (as read by keypad_getchar) is no longer down, then the release
// debounce pause. A key let go while the caller was busy (a key tone, say)
// costs no further wait, so a person keying at a normal pace is never
// ahead of the phone; another key already down is left for the next read.
void keypad_wait_release(uint8 key);

// Key number from the low nibbles read at the four row addresses (row 0
// first): a nibble with exactly one 0 bit names the column (bit 3 = column
// 0); a later row overrides an earlier one; anything else decodes nothing.
uint8 keypad_decode(const uint8 rows[4]);

}

#endif
