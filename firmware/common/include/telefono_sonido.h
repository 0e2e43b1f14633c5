// Menu "4. Sonido": mutes or unmutes the codec and returns the new sound state.
#ifndef TELEFONO_SONIDO_H
#define TELEFONO_SONIDO_H

#include "types.h"

extern "C" {

// sonido: 0 sound on, 1 muted. Returns the state after the menu.
uint8 menu_sonido(uint8 sonido);

}

#endif
