// Address-book image: packing, reading back, counting the stored contacts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "telefono_agenda.h"

namespace {

const uint8 *u8(const char *s)
{
    return reinterpret_cast<const uint8 *>(s);
}

std::string field_text(const uint8 *field)
{
    return std::string(reinterpret_cast<const char *>(field), strnlen(reinterpret_cast<const char *>(field), 16));
}

contacto make(const char *nombre, const char *numero)
{
    contacto c;
    agenda_texto(c.nombre, u8(nombre));
    agenda_texto(c.numero, u8(numero));
    return c;
}

}  // namespace

TEST(AgendaTexto, KeepsAtMost15CharactersAndNeverLeavesTheField)
{
    const struct { const char *in, *kept; } cases[] = {
        {"", ""},
        {"Ana", "Ana"},
        {"123456789012345", "123456789012345"},
        {"1234567890123456", "123456789012345"},
        {"Maximiliano-Alejandro-de-la-Sierra", "Maximiliano-Ale"},
    };
    for (const auto &c : cases) {
        uint8 guarded[AGENDA_TEXTO + 2];
        memset(guarded, 0xCC, sizeof guarded);
        agenda_texto(guarded, u8(c.in));
        EXPECT_EQ(field_text(guarded), c.kept) << c.in;
        EXPECT_EQ(guarded[AGENDA_TEXTO - 1], 0) << c.in;
        for (size_t i = strlen(c.kept); i < AGENDA_TEXTO; ++i)
            EXPECT_EQ(guarded[i], 0) << c.in << " byte " << i;
        EXPECT_EQ(guarded[AGENDA_TEXTO], 0xCC) << c.in;
        EXPECT_EQ(guarded[AGENDA_TEXTO + 1], 0xCC) << c.in;
    }
}

TEST(AgendaImagen, RecordIHoldsNameThenNumberAt32I)
{
    for (int i : {0, 1, 7, 8, 15}) {
        SCOPED_TRACE(i);
        std::vector<uint8> image(AGENDA_IMAGEN, 0xAA);
        const contacto c = make("Ana", "600123456");
        agenda_empaquetar(image.data(), i, &c);

        for (int b = 0; b < AGENDA_IMAGEN; ++b) {
            if (b >= 32 * i && b < 32 * i + 32)
                continue;
            ASSERT_EQ(image[b], 0xAA) << "byte " << b << " outside the record";
        }
        EXPECT_EQ(0, memcmp(&image[32 * i], "Ana\0", 4));
        EXPECT_EQ(0, memcmp(&image[32 * i + 16], "600123456\0", 10));

        contacto back;
        agenda_desempaquetar(image.data(), i, &back);
        EXPECT_EQ(field_text(back.nombre), "Ana");
        EXPECT_EQ(field_text(back.numero), "600123456");
    }
}

TEST(AgendaImagen, ReadingATornRecordEndsItsTexts)
{
    std::vector<uint8> image(AGENDA_IMAGEN, 0xFF);   // erased: no 0 anywhere
    contacto c;
    agenda_desempaquetar(image.data(), 3, &c);
    EXPECT_EQ(c.nombre[15], 0);
    EXPECT_EQ(c.numero[15], 0);
    EXPECT_EQ(field_text(c.nombre).size(), 15u);
}

TEST(AgendaImagen, CountsContactsFromRecordZeroWhileNamesAreTexts)
{
    auto with = [](int n) {
        std::vector<uint8> image(AGENDA_IMAGEN, 0);
        for (int i = 0; i < n; ++i) {
            const contacto c = make(("n" + std::to_string(i)).c_str(), "1");
            agenda_empaquetar(image.data(), i, &c);
        }
        return image;
    };
    struct Case {
        const char *what;
        std::vector<uint8> image;
        int count;
    };
    std::vector<Case> cases = {
        {"erased", std::vector<uint8>(AGENDA_IMAGEN, 0xFF), 0},
        {"all zeros", std::vector<uint8>(AGENDA_IMAGEN, 0), 0},
        {"three", with(3), 3},
        {"full", with(16), 16},
    };

    // The old format's leftovers: contacts followed by an erased tail.
    Case tail{"two then erased", with(2), 2};
    std::fill(tail.image.begin() + 64, tail.image.end(), 0xFF);
    cases.push_back(tail);

    // A name that fills its 16 bytes has no end: it and what follows do not count.
    Case torn{"torn name at 2", with(5), 2};
    std::fill(torn.image.begin() + 64, torn.image.begin() + 80, 'x');
    cases.push_back(torn);

    // A 15-character name with its 0 in the last byte counts.
    Case longest{"15 characters", with(1), 1};
    memcpy(&longest.image[0], "ABCDEFGHIJKLMNO", 16);
    cases.push_back(longest);

    // An empty name ends the list even when records after it look valid.
    Case gap{"gap at 1", with(4), 1};
    gap.image[32] = 0;
    cases.push_back(gap);

    for (const auto &c : cases)
        EXPECT_EQ(agenda_contar(c.image.data()), c.count) << c.what;
}
