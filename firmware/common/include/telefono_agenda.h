// Menu "1. Agenda": contacts typed on the console, kept in RAM and stored in
// the EEPROM as a 512-byte image, listed on the console.
//
// Image format (no header, no count): record i at 32 x i holds the name
// (16 bytes, a text of at most 15 characters and its 0) and then the number
// (16 bytes, likewise), for i = 0..15. The stored contacts are the records
// from 0 on whose name is a non-empty text ended within its field.
#ifndef TELEFONO_AGENDA_H
#define TELEFONO_AGENDA_H

#include "types.h"

constexpr int AGENDA_CONTACTOS = 16;
constexpr int AGENDA_TEXTO = 16;                  // field bytes, the 0 included
constexpr int AGENDA_REGISTRO = 2 * AGENDA_TEXTO;
constexpr int AGENDA_IMAGEN = AGENDA_CONTACTOS * AGENDA_REGISTRO;   // 512

// The RAM record keeps the texts in the other order from the image.
typedef struct {
    uint8 numero[AGENDA_TEXTO];
    uint8 nombre[AGENDA_TEXTO];
} contacto;

// The first 15 characters of `texto` into `campo`, the rest of the field 0.
void agenda_texto(uint8 campo[AGENDA_TEXTO], const uint8 *texto);

// Record i of the image from a contact, and back. Reading ends each field
// with a 0 in its last byte, so a torn record can never run into the next.
void agenda_empaquetar(uint8 imagen[AGENDA_IMAGEN], int i, const contacto *c);
void agenda_desempaquetar(const uint8 imagen[AGENDA_IMAGEN], int i, contacto *c);

// How many contacts the image holds: 0 for an erased (0xFF) or all-zero image.
int agenda_contar(const uint8 imagen[AGENDA_IMAGEN]);

extern "C" {

void menu_agenda(uint8 sonido);
// Called by the menu only.
void anadir_contacto(void);
void mostrar_contactos(void);

}

#endif
