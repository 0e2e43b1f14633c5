// The phone screen: status bar, main frame, brand text and the main menu.
#include "telefono_lcd.h"

#include "lcd.h"
#include "s3c44b0x.h"

static constexpr uint8 INK = 15;

// INTMSK as found when a drawing sequence started; restored when it ends, so
// a source masked before the call is still masked after it.
static int maskAux;

// Speaker body and cone, shared by both sound marks.
static void pinta_altavoz(void)
{
    for (uint16 x = 256; x <= 259; ++x)
        lcd_draw_vline(14, 18, x, INK, 1);
    for (uint16 i = 0; i <= 4; ++i)
        lcd_draw_vline(static_cast<uint16>(13 - i), static_cast<uint16>(19 + i), static_cast<uint16>(260 + i), INK, 1);
}

void pinta_sonido(void)
{
    pinta_altavoz();

    lcd_putpixel(266, 18, INK);
    lcd_putpixel(266, 14, INK);
    lcd_draw_vline(15, 18, 267, INK, 1);

    lcd_putpixel(267, 12, INK);
    lcd_putpixel(267, 20, INK);
    lcd_putpixel(268, 19, INK);
    lcd_putpixel(268, 13, INK);
    lcd_draw_vline(14, 19, 269, INK, 1);

    for (uint16 i = 0; i <= 2; ++i) {
        lcd_putpixel(static_cast<uint16>(269 + i), static_cast<uint16>(10 + i), INK);
        lcd_putpixel(static_cast<uint16>(269 + i), static_cast<uint16>(21 - i), INK);
    }
    lcd_draw_vline(13, 19, 271, INK, 1);
}

void pinta_mute(void)
{
    pinta_altavoz();

    lcd_putpixel(266, 11, INK);
    lcd_putpixel(274, 11, INK);
    lcd_putpixel(266, 19, INK);
    lcd_putpixel(274, 19, INK);
    for (uint16 i = 0; i <= 2; ++i) {
        lcd_putpixel(static_cast<uint16>(267 + i), static_cast<uint16>(12 + i), INK);
        lcd_putpixel(static_cast<uint16>(273 - i), static_cast<uint16>(12 + i), INK);
        lcd_putpixel(static_cast<uint16>(267 + i), static_cast<uint16>(18 - i), INK);
        lcd_putpixel(static_cast<uint16>(273 - i), static_cast<uint16>(18 - i), INK);
    }
    lcd_putpixel(270, 15, INK);
}

void ini_telefono(uint8 sonido)
{
    pantalla_enmascarar(maskAux);

    lcd_clear();
    lcd_draw_box(4, 4, 316, 32, INK, 3);
    lcd_draw_box(4, 40, 316, 236, INK, 3);
    lcd_puts_x2(100, 45, INK, texto("MORVANE"));

    // Signal strength: a staircase of five pairs of columns standing on row 21.
    for (uint16 i = 0; i <= 4; ++i) {
        lcd_draw_vline(static_cast<uint16>(22 - 2 * i), 22, static_cast<uint16>(295 + 3 * i), INK, 1);
        lcd_draw_vline(static_cast<uint16>(21 - 2 * i), 22, static_cast<uint16>(296 + 3 * i), INK, 1);
    }

    // Battery: outline, terminal, three full cells.
    lcd_draw_box(278, 13, 291, 22, INK, 1);
    lcd_draw_vline(15, 21, 292, INK, 1);
    for (uint16 i = 0; i <= 2; ++i) {
        lcd_draw_vline(15, 21, static_cast<uint16>(279 + 4 * i), INK, 1);
        lcd_draw_vline(15, 21, static_cast<uint16>(280 + 4 * i), INK, 1);
        lcd_draw_vline(15, 21, static_cast<uint16>(281 + 4 * i), INK, 1);
    }

    if (sonido == 1)
        pinta_mute();
    else
        pinta_sonido();

    pantalla_restaurar(maskAux);
}

void pinta_main_menu(uint8 sonido)
{
    ini_telefono(sonido);

    pantalla_enmascarar(maskAux);
    lcd_puts(18, 79, INK, texto("1. Agenda"));
    lcd_puts(18, 97, INK, texto("2. Fecha y Hora"));
    lcd_puts(18, 115, INK, texto("3. Llamar"));
    lcd_puts(18, 133, INK, texto("4. Sonido"));
    lcd_puts(18, 151, INK, texto("5. Contestador"));
    pantalla_restaurar(maskAux);
}

void pinta_telefono(uint8 sonido)
{
    ini_telefono(sonido);

    // Handset lying on its back, left of the speaker: ear cups, bridge, handle.
    pantalla_enmascarar(maskAux);
    lcd_draw_vline(19, 22, 251, INK, 1);
    lcd_draw_hline(245, 251, 22, INK, 1);
    lcd_draw_vline(19, 22, 245, INK, 1);
    lcd_draw_hline(238, 244, 18, INK, 1);
    lcd_draw_vline(19, 22, 237, INK, 1);
    lcd_draw_hline(231, 237, 22, INK, 1);
    lcd_draw_vline(19, 22, 231, INK, 1);
    lcd_draw_vline(17, 18, 250, INK, 1);
    lcd_draw_vline(17, 18, 232, INK, 1);
    lcd_draw_hline(233, 235, 16, INK, 1);
    lcd_draw_hline(247, 249, 16, INK, 1);
    lcd_draw_hline(236, 246, 15, INK, 1);
    pantalla_restaurar(maskAux);
}
