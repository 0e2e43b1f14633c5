// The telephone picture every screen shares: the status bar with signal,
// battery and sound marks, the main frame with the brand text, and the main
// menu. Everything is drawn in grey 15 with all interrupts masked, so the
// clock tick never draws into the middle of a screen.
#ifndef TELEFONO_LCD_H
#define TELEFONO_LCD_H

#include "types.h"

extern "C" {

void ini_telefono(uint8 sonido);     // cleared screen, outlines, brand, marks (mute when sonido is 1)
void pinta_main_menu(uint8 sonido);  // ini_telefono, then the five menu lines
void pinta_telefono(uint8 sonido);   // ini_telefono, then the handset mark
// The speaker marks; they do not mask interrupts themselves.
void pinta_sonido(void);
void pinta_mute(void);

}

#endif
