// The answering machine. Recording and playing wait for the DMA's
// terminal-count interrupt, so the mask is always restored before they start.
#include "telefono_contestador.h"

#include "keypad.h"
#include "lcd.h"
#include "leds.h"
#include "s3c44b0x.h"
#include "telefono_lcd.h"
#include "uda1341ts.h"

static constexpr uint8 INK = 15;
static constexpr uint8 KEY_GRABAR = 0;
static constexpr uint8 KEY_REPRODUCIR = 1;
static constexpr uint8 KEY_ATRAS = 15;
static constexpr uint8 VOLUMEN_MENSAJE = 63;

static int maskAux;

static uint16 *mensaje(void)
{
    return reinterpret_cast<uint16 *>(static_cast<uintptr_t>(MESSAGE_BUFFER));
}

void menu_contestador(uint8 sonido)
{
    for (;;) {
        pantalla_enmascarar(maskAux);
        lcd_printf(18, 79, INK, texto("1. Cambiar Contestador"));
        lcd_printf(18, 97, INK, texto("2. Reproducir Contestador"));
        lcd_printf(18, 115, INK, texto("15. Atras"));
        pantalla_restaurar(maskAux);

        const uint8 key = keypad_getchar();
        keypad_wait_release(key);
        switch (key) {
        case KEY_GRABAR:
            ini_telefono(sonido);
            grabar_contestador();
            return;
        case KEY_REPRODUCIR:
            ini_telefono(sonido);
            reproducir_contestador();
            return;
        case KEY_ATRAS:
            return;
        default:
            break;   // the menu again, drawn over itself
        }
    }
}

void grabar_contestador(void)
{
    pantalla_enmascarar(maskAux);
    lcd_printf_x2(100, 100, INK, texto("GRABANDO"));
    pantalla_restaurar(maskAux);

    led_on(LED_RIGHT);
    uda1341ts_rec(mensaje(), MESSAGE_BUFFER_BYTES);
    led_off(LED_RIGHT);
}

void reproducir_contestador(void)
{
    pantalla_enmascarar(maskAux);
    lcd_printf_x2(80, 100, INK, texto("REPRODUCIENDO"));
    pantalla_restaurar(maskAux);

    uda1341ts_play(mensaje(), MESSAGE_BUFFER_BYTES, VOLUMEN_MENSAJE);
}
