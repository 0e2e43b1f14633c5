#include <gtest/gtest.h>

#include <string>

#include "uart.h"

namespace {

struct Edited {
    std::string line;
    int length;
    std::string echo;   // bytes handed to uart0_putchar
    bool done;
};

Edited edit(const std::string &received, uint32 size = UART_LINE_SIZE)
{
    std::string buf(size + 8, '\x7F');   // guard bytes past the buffer
    uart_line line;
    uart_line_start(&line, reinterpret_cast<uint8 *>(&buf[0]), size);
    Edited out{"", 0, "", false};
    for (char byte : received) {
        uint8 echo[3];
        uint32 n = uart_line_take(&line, static_cast<uint8>(byte), echo);
        out.echo.append(reinterpret_cast<char *>(echo), n);
    }
    out.done = line.done;
    out.length = static_cast<int>(line.len);
    if (line.done)
        out.line = std::string(buf.c_str());
    for (size_t i = size; i < buf.size(); ++i)
        EXPECT_EQ(buf[i], '\x7F') << "written past the buffer at " << i;
    return out;
}

TEST(UartLineEditing, LinesAsTheTerminalTypesThem)
{
    struct Case { const char *what; std::string in; std::string line; int length; std::string echo; };
    const Case cases[] = {
        {"backspace rubs out", "ab\bc\r", "ac", 2, "ab\b \bc"},
        {"empty line", "\r", "", 0, ""},
        {"backspace on an empty line", "\b\bx\r", "x", 1, "x"},
        {"line feed left from CR LF", "\nab\r", "\nab", 3, "\nab"},
        {"two words", "Juan Luis\r", "Juan Luis", 9, "Juan Luis"},
    };
    for (const Case &c : cases) {
        Edited e = edit(c.in);
        EXPECT_TRUE(e.done) << c.what;
        EXPECT_EQ(e.line, c.line) << c.what;
        EXPECT_EQ(e.length, c.length) << c.what;
        EXPECT_EQ(e.echo, c.echo) << c.what;
    }
}

TEST(UartLineEditing, WaitsForTheCarriageReturnAndStopsThere)
{
    Edited e = edit("abc");
    EXPECT_FALSE(e.done);
    EXPECT_EQ(e.echo, "abc");
    e = edit("a\rbc");
    EXPECT_EQ(e.line, "a");
    EXPECT_EQ(e.echo, "a");
}

TEST(UartLineEditing, FullLineKeepsItsFirstCharactersSilently)
{
    Edited e = edit(std::string(300, 'a') + "\r");
    EXPECT_EQ(e.length, 255);
    EXPECT_EQ(e.line, std::string(255, 'a'));
    EXPECT_EQ(e.echo, std::string(255, 'a'));

    // Room made by a backspace is usable again.
    e = edit(std::string(256, 'a') + "\bb\r");
    EXPECT_EQ(e.line, std::string(254, 'a') + "b");
    EXPECT_EQ(e.echo, std::string(255, 'a') + "\b \bb");

    e = edit("xyz\r", 1);
    EXPECT_EQ(e.line, "");
    EXPECT_EQ(e.echo, "");
}

TEST(UartOutput, LineFeedGoesOutAsLineFeedThenCarriageReturn)
{
    std::string wire;
    for (char c : std::string("Hola\n\r")) {
        uint8 out[2];
        uint32 n = uart_wire_bytes(static_cast<uint8>(c), out);
        wire.append(reinterpret_cast<char *>(out), n);
    }
    EXPECT_EQ(wire, std::string("Hola\n\r\r"));
}

} // namespace
