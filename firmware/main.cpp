// The phone: start-up, the main loop and the clock shown in the status bar.
#include "dma.h"
#include "iic.h"
#include "iis.h"
#include "keypad.h"
#include "lcd.h"
#include "leds.h"
#include "rtc.h"
#include "s3c44b0x.h"
#include "system.h"
#include "telefono_agenda.h"
#include "telefono_contestador.h"
#include "telefono_fecha_hora.h"
#include "telefono_lcd.h"
#include "telefono_llamada.h"
#include "telefono_sonido.h"
#include "timers.h"
#include "uart.h"
#include "uda1341ts.h"

// Sound state shown by every screen: 0 sound on, 1 muted. Only the main loop
// writes it, from the sound menu's result.
static uint8 sonido = 0;

// Written and read by the tick handler only.
static rtc_time_t timer;

// The clock line "h:m:s - d/m/y" is 13 to 19 characters long; it is always
// drawn 19 wide so that a shorter line blanks what a longer one left behind.
static constexpr int CLOCK_LINE_CHARS = 19;
static constexpr uint16 CLOCK_X = 10;
static constexpr uint16 CLOCK_Y = 12;

extern "C" IRQ_HANDLER void rtc_interruption(void)
{
    reg32(I_ISPC) = INT_TICK;

    rtc_gettime(&timer);
    int n = lcd_printf(CLOCK_X, CLOCK_Y, 15, reinterpret_cast<const uint8 *>("%i:%i:%i - %i/%i/%i"),
                       timer.hour, timer.min, timer.sec, timer.mday, timer.mon, timer.year);
    for (; n >= 0 && n < CLOCK_LINE_CHARS; ++n)
        lcd_putchar(static_cast<uint16>(CLOCK_X + 8 * n), CLOCK_Y, 15, ' ');
}

int main(void)
{
    sys_init();
    uart0_init();
    timers_init();
    keypad_init();
    bdma0_init();
    iis_init();
    uda1341ts_init();
    leds_init();
    rtc_init();
    lcd_init();
    iic_init();
    lcd_clear();
    lcd_on();
    pinta_main_menu(sonido);
    // Last: from here on the tick handler draws into the status bar.
    rtc_open(rtc_interruption, 127);

    for (;;) {
        uint8 key = keypad_getchar();
        // A press held past this point must not choose a line of the next screen.
        keypad_wait_release(key);

        switch (key) {
        case 0:
            ini_telefono(sonido);
            menu_agenda(sonido);
            break;
        case 1:
            ini_telefono(sonido);
            menu_fecha_hora(sonido);
            break;
        case 2:
            ini_telefono(sonido);
            llamada(sonido);
            break;
        case 3:
            ini_telefono(sonido);
            sonido = menu_sonido(sonido);
            break;
        case 4:
            ini_telefono(sonido);
            menu_contestador(sonido);
            break;
        default:
            break;
        }
        pinta_main_menu(sonido);
    }
}
