// Menu "3. Llamar": a number dialled on the keypad, a key tone per digit,
// then "Llamando a..." and the call sounds.
#ifndef TELEFONO_LLAMADA_H
#define TELEFONO_LLAMADA_H

#include "types.h"

// Digits a number holds; further digit keys are ignored.
constexpr int LLAMADA_MAX_DIGITOS = 10;

constexpr uint8 KEY_LLAMAR = 14;
constexpr uint8 KEY_COLGAR = 15;

// The digit a key dials on the telephone layout 1 2 3 / 4 5 6 / 7 8 9 / _ 0 _
// in the first three columns, or -1 for a key that dials nothing.
int llamada_digito(uint8 tecla);

// Address of the key tone a digit key plays: key k's own 6400-byte clip.
uint32 llamada_tono(uint8 tecla);

extern "C" {

void llamada(uint8 sonido);

}

#endif
