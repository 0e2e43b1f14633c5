// The address book. The RAM copy (agenda, buffer, cont) always matches an
// image the EEPROM accepted or returned: a contact is committed only after
// its store succeeded, and a failed load leaves the copy as it was.
#include "telefono_agenda.h"

#include <string.h>

#include "at24c04.h"
#include "keypad.h"
#include "lcd.h"
#include "s3c44b0x.h"
#include "telefono_lcd.h"
#include "uart.h"

static_assert(AGENDA_IMAGEN == AT24C04_SIZE, "the image is the whole EEPROM");

static constexpr uint8 INK = 15;
static constexpr uint8 KEY_ANADIR = 0;
static constexpr uint8 KEY_MOSTRAR = 1;
static constexpr uint8 KEY_ATRAS = 15;

// --- Image logic -------------------------------------------------------------

void agenda_texto(uint8 campo[AGENDA_TEXTO], const uint8 *texto)
{
    int n = 0;
    for (; n < AGENDA_TEXTO - 1 && texto[n] != 0; ++n)
        campo[n] = texto[n];
    for (; n < AGENDA_TEXTO; ++n)
        campo[n] = 0;
}

void agenda_empaquetar(uint8 imagen[AGENDA_IMAGEN], int i, const contacto *c)
{
    uint8 *registro = imagen + AGENDA_REGISTRO * i;
    memcpy(registro, c->nombre, AGENDA_TEXTO);
    memcpy(registro + AGENDA_TEXTO, c->numero, AGENDA_TEXTO);
}

void agenda_desempaquetar(const uint8 imagen[AGENDA_IMAGEN], int i, contacto *c)
{
    const uint8 *registro = imagen + AGENDA_REGISTRO * i;
    memcpy(c->nombre, registro, AGENDA_TEXTO);
    memcpy(c->numero, registro + AGENDA_TEXTO, AGENDA_TEXTO);
    c->nombre[AGENDA_TEXTO - 1] = 0;
    c->numero[AGENDA_TEXTO - 1] = 0;
}

int agenda_contar(const uint8 imagen[AGENDA_IMAGEN])
{
    int n = 0;
    for (; n < AGENDA_CONTACTOS; ++n) {
        const uint8 *nombre = imagen + AGENDA_REGISTRO * n;
        if (nombre[0] == 0 || memchr(nombre, 0, AGENDA_TEXTO) == nullptr)
            break;
    }
    return n;
}

// --- Screen ------------------------------------------------------------------

static contacto agenda[AGENDA_CONTACTOS];
static uint8 buffer[AGENDA_IMAGEN];
static int cont = 0;
static int maskAux;

// The EEPROM is read on the first entry after start-up; until a read has
// worked nothing is stored, so an image of blanks never overwrites contacts
// that a silent EEPROM still holds.
static boolean cargada = FALSE;

// Scratch image for a load or a store that may fail.
static uint8 imagen[AGENDA_IMAGEN];
// One console line's first word: a line holds at most 255 characters.
static uint8 palabra[UART_LINE_SIZE];
static_assert(UART_LINE_SIZE == 256, "the %255s below");

static void error_eeprom(void)
{
    uart0_puts(texto("\nError de EEPROM. \n"));
}

// Reads the EEPROM into the RAM copy; on failure says so and keeps the copy.
static boolean cargar(void)
{
    at24c04_load(imagen);
    if (at24c04_status() != AT24C04_OK) {
        error_eeprom();
        return FALSE;
    }
    memcpy(buffer, imagen, AGENDA_IMAGEN);
    cont = agenda_contar(buffer);
    memset(agenda, 0, sizeof agenda);
    for (int i = 0; i < cont; ++i)
        agenda_desempaquetar(buffer, i, &agenda[i]);
    cargada = TRUE;
    return TRUE;
}

// The first word of one console line, cut to a field; FALSE when the line
// had none (empty, or blanks only).
static boolean leer_texto(uint8 campo[AGENDA_TEXTO])
{
    palabra[0] = 0;
    uart0_scanf(texto("%255s"), palabra);
    agenda_texto(campo, palabra);
    return campo[0] != 0;
}

void menu_agenda(uint8 sonido)
{
    if (!cargada)
        cargar();

    for (;;) {
        ini_telefono(sonido);
        pantalla_enmascarar(maskAux);
        lcd_printf(18, 79, INK, texto("1. Anadir contacto"));
        lcd_printf(18, 97, INK, texto("2. Mostrar contactos"));
        lcd_printf(18, 115, INK, texto("15. Atras"));
        pantalla_restaurar(maskAux);

        const uint8 key = keypad_getchar();
        keypad_wait_release(key);
        switch (key) {
        case KEY_ANADIR:
            ini_telefono(sonido);
            anadir_contacto();
            return;
        case KEY_MOSTRAR:
            ini_telefono(sonido);
            mostrar_contactos();
            return;
        case KEY_ATRAS:
            return;
        default:
            break;
        }
    }
}

void anadir_contacto(void)
{
    pantalla_enmascarar(maskAux);
    lcd_printf_x2(70, 100, INK, texto("Mirar la UART"));
    pantalla_restaurar(maskAux);

    if (!cargada && !cargar())
        return;
    if (cont >= AGENDA_CONTACTOS) {
        uart0_puts(texto("\nAgenda llena. \n"));
        return;
    }

    contacto nuevo;
    uart0_puts(texto("\nIntroduzca el Nombre: \n"));
    if (!leer_texto(nuevo.nombre)) {
        uart0_puts(texto("\nNombre vacio. \n"));
        return;
    }
    uart0_puts(texto("\nIntroduzca el Numero: \n"));
    leer_texto(nuevo.numero);

    memcpy(imagen, buffer, AGENDA_IMAGEN);
    agenda_empaquetar(imagen, cont, &nuevo);
    at24c04_store(imagen);
    if (at24c04_status() != AT24C04_OK) {
        error_eeprom();
        return;
    }
    memcpy(buffer, imagen, AGENDA_IMAGEN);
    agenda[cont] = nuevo;
    ++cont;
    uart0_puts(texto("\nContacto anadido. \n"));
}

void mostrar_contactos(void)
{
    // What the EEPROM holds now; after a failed read, the RAM copy.
    cargar();
    for (int i = 0; i < cont; ++i) {
        uart0_printf(texto("\nNombre: %s \n"), agenda[i].nombre);
        uart0_printf(texto("Numero: %s \n "), agenda[i].numero);
    }
}
