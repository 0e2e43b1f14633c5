// The telephone picture every screen shares: the status bar with signal,
// battery and sound marks, the main frame with the brand text, and the main
// menu. Everything is drawn in grey 15 with all interrupts masked, so the
// clock tick never draws into the middle of a screen.
#ifndef TELEFONO_LCD_H
#define TELEFONO_LCD_H

#include "s3c44b0x.h"
#include "types.h"

// The masked drawing sequence of every screen: the tick handler draws the
// clock at any moment, so a screen saves INTMSK in its own maskAux, masks
// everything, draws, and puts back exactly what it found.
inline void pantalla_enmascarar(int &maskAux)
{
    maskAux = static_cast<int>(reg32(INTMSK));
    reg32(INTMSK) = 0xFFFFFFFF;
}

inline void pantalla_restaurar(const int &maskAux)
{
    reg32(INTMSK) = static_cast<uint32>(maskAux);
}

// A string literal as the drivers' byte strings.
inline const uint8 *texto(const char *s)
{
    return reinterpret_cast<const uint8 *>(s);
}

extern "C" {

void ini_telefono(uint8 sonido);     // cleared screen, outlines, brand, marks (mute when sonido is 1)
void pinta_main_menu(uint8 sonido);  // ini_telefono, then the five menu lines
void pinta_telefono(uint8 sonido);   // ini_telefono, then the handset mark
// The speaker marks; they do not mask interrupts themselves.
void pinta_sonido(void);
void pinta_mute(void);

}

#endif
