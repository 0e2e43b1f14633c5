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

uint8 menu_sonido(uint8 sonido)
{
    for (;;) {
        pantalla_enmascarar(maskAux);
        lcd_printf(18, 79, INK, texto("1. Mute"));
        lcd_printf(18, 97, INK, texto("2. Unmute"));
        lcd_printf(18, 115, INK, texto("15. Atras"));
        pantalla_restaurar(maskAux);

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
