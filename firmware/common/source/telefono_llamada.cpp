// The call screen.
#include "telefono_llamada.h"

#include "keypad.h"
#include "lcd.h"
#include "s3c44b0x.h"
#include "telefono_lcd.h"
#include "timers.h"
#include "uda1341ts.h"

static constexpr uint8 INK = 15;
static constexpr uint8 VOLUMEN = 32;
static constexpr int X_PRIMERO = 83;   // x before the first digit
static constexpr int PASO_X = 17;      // a 16-pixel cell and one blank column
static constexpr int LLAMADAS_A = 5;
static constexpr int LLAMADAS_B = 20;

static int maskAux;

static uint16 *clip(uint32 address)
{
    return reinterpret_cast<uint16 *>(static_cast<uintptr_t>(address));
}

int llamada_digito(uint8 tecla)
{
    static const int8 digitos[16] = {
        1, 2, 3, -1,
        4, 5, 6, -1,
        7, 8, 9, -1,
        -1, 0, -1, -1,
    };
    return tecla < 16 ? digitos[tecla] : -1;
}

// Every key has its own tone block: 9 and 0 sound as 9 and 0, not as 8.
uint32 llamada_tono(uint8 tecla)
{
    return KEY_TONE_BASE + tecla * KEY_TONE_STEP;
}

void llamada(uint8 sonido)
{
    int numero[LLAMADA_MAX_DIGITOS] = {};
    int i = 0;
    int x = X_PRIMERO;
    int aux = 0;
    uint8 finish = 0;
    uint8 call = 0;

    while (!finish) {
        const uint8 tecla = keypad_getchar();

        const int digito = llamada_digito(tecla);
        if (digito >= 0) {
            // A full number takes no more digits: no tone, nothing stored
            // or drawn past the tenth place.
            if (i < LLAMADA_MAX_DIGITOS) {
                numero[i] = digito;
                aux = digito;
                x += PASO_X;
                ++i;
                uda1341ts_play(clip(llamada_tono(tecla)), KEY_TONE_BYTES, VOLUMEN);
            }
        } else if (tecla == KEY_LLAMAR) {
            finish = 1;
            call = 1;
        } else if (tecla == KEY_COLGAR) {
            finish = 1;
        }

        timer3_delay_ms(100);

        // For a key that added nothing this draws the last digit again where
        // it already is.
        if (i > 0) {
            pantalla_enmascarar(maskAux);
            lcd_printf_x2(static_cast<uint16>(x), 100, INK, texto("%i"), aux);
            pantalla_restaurar(maskAux);
        }

        // The digit acts at its press, so that a person dialling at a normal
        // pace is never ahead of the phone; a key still held after its tone
        // must not dial again.
        keypad_wait_release(tecla);
    }

    if (!call)
        return;

    ini_telefono(sonido);
    pantalla_enmascarar(maskAux);
    lcd_printf_x2(50, 100, INK, texto("Llamando a..."));
    for (int j = 0; j < i; ++j)
        lcd_printf_x2(static_cast<uint16>(100 + PASO_X * j), 140, INK, texto("%i"), numero[j]);
    pantalla_restaurar(maskAux);

    // The clips play unmasked: each transfer ends on the DMA interrupt.
    for (int j = 0; j < LLAMADAS_A; ++j)
        uda1341ts_play(clip(CALL_CLIP_A), CALL_CLIP_A_BYTES, VOLUMEN);
    for (int j = 0; j < LLAMADAS_B; ++j)
        uda1341ts_play(clip(CALL_CLIP_B), CALL_CLIP_B_BYTES, VOLUMEN);
}
