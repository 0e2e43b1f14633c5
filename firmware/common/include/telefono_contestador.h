// Menu "5. Contestador": one message recorded from the codec into the SDRAM
// message buffer and played back.
#ifndef TELEFONO_CONTESTADOR_H
#define TELEFONO_CONTESTADOR_H

#include "types.h"

extern "C" {

void menu_contestador(uint8 sonido);
// Called by the menu only. Both block for the whole buffer (about 5 s).
void grabar_contestador(void);
void reproducir_contestador(void);

}

#endif
