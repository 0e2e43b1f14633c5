// The date and time editors. The edit runs with every interrupt masked (the
// buttons and the delays poll), so the tick never draws over the value being
// edited; the clock line comes back at the first tick afterwards.
#include "telefono_fecha_hora.h"

#include "keypad.h"
#include "lcd.h"
#include "pbs.h"
#include "s3c44b0x.h"
#include "telefono_lcd.h"
#include "timers.h"

static constexpr uint8 INK = 15;
static constexpr uint8 KEY_FECHA = 0;
static constexpr uint8 KEY_HORA = 1;
static constexpr uint8 KEY_ATRAS = 15;

const editor_fecha_hora EDITOR_HORA = {
    "%i:%i:%i",
    {{&rtc_time_t::hour, 24, 0}, {&rtc_time_t::min, 60, 0}, {&rtc_time_t::sec, 60, 0}},
};

const editor_fecha_hora EDITOR_FECHA = {
    "%i/%i/%i",
    {{&rtc_time_t::mday, 32, 1}, {&rtc_time_t::mon, 13, 1}, {&rtc_time_t::year, 99, 0}},
};

uint8 fecha_hora_paso(const campo_fecha_hora &campo, uint8 valor)
{
    // A value the clock should never hold (at or past the wrap) would
    // otherwise count up to 255 and round through 0.
    const int siguiente = valor + 1;
    return siguiente >= campo.wrap ? campo.first : static_cast<uint8>(siguiente);
}

void fecha_hora_tomar(const editor_fecha_hora &editor, const rtc_time_t &t, uint8 valores[CAMPOS_EDITOR])
{
    for (int f = 0; f < CAMPOS_EDITOR; ++f)
        valores[f] = t.*(editor.campos[f].field);
}

void fecha_hora_poner(const editor_fecha_hora &editor, rtc_time_t &t, const uint8 valores[CAMPOS_EDITOR])
{
    for (int f = 0; f < CAMPOS_EDITOR; ++f)
        t.*(editor.campos[f].field) = valores[f];
}

static int maskAux;

static void pinta_valores(const editor_fecha_hora &editor, const uint8 v[CAMPOS_EDITOR])
{
    lcd_printf_x2(100, 100, INK, texto(editor.formato), v[0], v[1], v[2]);
}

static void editar(const editor_fecha_hora &editor)
{
    pantalla_enmascarar(maskAux);

    rtc_time_t timer;
    rtc_gettime(&timer);
    uint8 valores[CAMPOS_EDITOR];
    fecha_hora_tomar(editor, timer, valores);
    pinta_valores(editor, valores);

    for (int f = 0; f < CAMPOS_EDITOR; ++f) {
        for (;;) {
            const uint8 b = pb_getchar();
            if (b == PB_LEFT) {
                valores[f] = fecha_hora_paso(editor.campos[f], valores[f]);
                pinta_valores(editor, valores);
                sw_delay_ms(100);
            } else if (b == PB_RIGHT) {
                break;
            }
        }
    }

    pantalla_restaurar(maskAux);

    // Only the edited fields are written back; the others are read again
    // now, so the time that passed in the editor is kept in them: setting the
    // date leaves the time of day running, and a time edit across midnight
    // keeps the new day. The tick stays out from this read to the end of the
    // write, as rtc_puttime keeps it out of its own writes.
    const uint32 mask = reg32(INTMSK);
    reg32(INTMSK) = mask | INT_TICK;
    rtc_gettime(&timer);
    fecha_hora_poner(editor, timer, valores);
    rtc_puttime(&timer);
    reg32(INTMSK) = mask;
}

void cambio_hora(void)
{
    editar(EDITOR_HORA);
}

void cambio_fecha(void)
{
    editar(EDITOR_FECHA);
}

void menu_fecha_hora(uint8 sonido)
{
    for (;;) {
        ini_telefono(sonido);
        pantalla_enmascarar(maskAux);
        lcd_printf(18, 79, INK, texto("1. Cambiar fecha"));
        lcd_printf(18, 97, INK, texto("2. Cambiar hora"));
        lcd_printf(18, 115, INK, texto("15. Atras"));
        pantalla_restaurar(maskAux);

        const uint8 key = keypad_getchar();
        keypad_wait_release(key);
        if (key == KEY_FECHA) {
            ini_telefono(sonido);
            cambio_fecha();
            break;
        }
        if (key == KEY_HORA) {
            ini_telefono(sonido);
            cambio_hora();
            break;
        }
        if (key == KEY_ATRAS)
            break;
    }
    ini_telefono(sonido);
}
