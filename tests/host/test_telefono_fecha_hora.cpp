// Date and time editors: wrap rules and the fields they write back.
#include <gtest/gtest.h>

#include <cstring>

#include "telefono_fecha_hora.h"

TEST(FechaHora, EachStepWrapsToTheFieldsFirstValue)
{
    const struct { const editor_fecha_hora *editor; int campo; uint8 from, to; } cases[] = {
        {&EDITOR_HORA, 0, 22, 23}, {&EDITOR_HORA, 0, 23, 0},
        {&EDITOR_HORA, 1, 58, 59}, {&EDITOR_HORA, 1, 59, 0},
        {&EDITOR_HORA, 2, 0, 1}, {&EDITOR_HORA, 2, 59, 0},
        {&EDITOR_FECHA, 0, 30, 31}, {&EDITOR_FECHA, 0, 31, 1},
        {&EDITOR_FECHA, 1, 11, 12}, {&EDITOR_FECHA, 1, 12, 1},
        {&EDITOR_FECHA, 2, 13, 14}, {&EDITOR_FECHA, 2, 98, 0},
        // Start values at or above the wrap go to the first value at once.
        {&EDITOR_HORA, 0, 24, 0}, {&EDITOR_HORA, 0, 165, 0},
        {&EDITOR_HORA, 1, 60, 0}, {&EDITOR_HORA, 2, 255, 0},
        {&EDITOR_FECHA, 0, 32, 1}, {&EDITOR_FECHA, 0, 99, 1},
        {&EDITOR_FECHA, 1, 13, 1}, {&EDITOR_FECHA, 1, 255, 1},
        {&EDITOR_FECHA, 2, 99, 0}, {&EDITOR_FECHA, 2, 200, 0},
        // Below the range the count simply goes on.
        {&EDITOR_FECHA, 0, 0, 1}, {&EDITOR_FECHA, 1, 0, 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(fecha_hora_paso(c.editor->campos[c.campo], c.from), c.to)
            << c.editor->formato << " field " << c.campo << " from " << int(c.from);
}

TEST(FechaHora, EditorsWriteBackOnlyTheirOwnFields)
{
    const rtc_time_t now = {41, 42, 43, 44, 45, 46, 47};   // sec min hour mday wday mon year
    const uint8 edited[3] = {1, 2, 3};
    const struct { const editor_fecha_hora *editor; rtc_time_t expected; } cases[] = {
        {&EDITOR_HORA, {3, 2, 1, 44, 45, 46, 47}},
        {&EDITOR_FECHA, {41, 42, 43, 1, 45, 2, 3}},
    };
    for (const auto &c : cases) {
        rtc_time_t t = now;
        fecha_hora_poner(*c.editor, t, edited);
        EXPECT_EQ(0, memcmp(&t, &c.expected, sizeof t)) << c.editor->formato;

        uint8 taken[3];
        fecha_hora_tomar(*c.editor, c.expected, taken);
        EXPECT_EQ(0, memcmp(taken, edited, 3)) << c.editor->formato;
    }
}
