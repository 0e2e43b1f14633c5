// The sound menu. The codec command goes out before the screen is redrawn,
// with interrupts as the main loop left them; only the drawing is masked.
#include "telefono_sonido.h"

#include "keypad.h"
#include "lcd.h"
#include "s3c44b0x.h"
#include "telefono_lcd.h"
#include "uda1341ts.h"

static constexpr uint8 INK = 15;
static constexpr uint8 KEY_MUTE = 0;
static constexpr uint8 KEY_UNMUTE = 1;
static constexpr uint8 KEY_ATRAS = 15;

static int maskAux;

static void mask_all(void)
{
    maskAux = static_cast<int>(reg32(INTMSK));
    reg32(INTMSK) = 0xFFFFFFFF;
}

static void unmask(void)
{
    reg32(INTMSK) = static_cast<uint32>(maskAux);
}

static const uint8 *text(const char *s)
{
    return reinterpret_cast<const uint8 *>(s);
}

uint8 menu_sonido(uint8 sonido)
{
    for (;;) {
        mask_all();
        lcd_printf(18, 79, INK, text("1. Mute"));
        lcd_printf(18, 97, INK, text("2. Unmute"));
        lcd_printf(18, 115, INK, text("15. Atras"));
        unmask();

        const uint8 key = keypad_getchar();
        keypad_wait_release(key);
        switch (key) {
        case KEY_MUTE:
            uda1341ts_mute(1);
            ini_telefono(1);
            return 1;
        case KEY_UNMUTE:
            uda1341ts_mute(0);
            ini_telefono(0);
            return 0;
        case KEY_ATRAS:
            return sonido;
        default:
            break;   // the menu again, drawn over itself
        }
    }
}
