// Menu "2. Fecha y Hora": the date or the time stepped field by field with
// the push-buttons (0x40 one step up, 0x80 next field) and written to the
// clock.
#ifndef TELEFONO_FECHA_HORA_H
#define TELEFONO_FECHA_HORA_H

#include "rtc.h"
#include "types.h"

// One edited field: where it lives in the time record and how it wraps. A
// step that reaches `wrap` (or starts at or above it) gives `first`.
struct campo_fecha_hora {
    uint8 rtc_time_t::*field;
    uint8 wrap;
    uint8 first;
};

constexpr int CAMPOS_EDITOR = 3;

struct editor_fecha_hora {
    const char *formato;                          // the line drawn, three %i
    campo_fecha_hora campos[CAMPOS_EDITOR];       // in editing order
};

extern const editor_fecha_hora EDITOR_HORA;    // hour, minute, second
extern const editor_fecha_hora EDITOR_FECHA;   // day of the month, month, year

uint8 fecha_hora_paso(const campo_fecha_hora &campo, uint8 valor);

// The editor's three values out of a record, and back into one; the record's
// other fields are left as they are.
void fecha_hora_tomar(const editor_fecha_hora &editor, const rtc_time_t &t, uint8 valores[CAMPOS_EDITOR]);
void fecha_hora_poner(const editor_fecha_hora &editor, rtc_time_t &t, const uint8 valores[CAMPOS_EDITOR]);

extern "C" {

void menu_fecha_hora(uint8 sonido);
// Called by the menu only.
void cambio_hora(void);
void cambio_fecha(void);

}

#endif
