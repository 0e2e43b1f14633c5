// How much console input a front end may hold for the UART's receiver before
// the firmware takes it: the web page's console field and gdb's
// `monitor uart` both queue bytes that leave at the line rate, so a client
// that types faster than that must meet a limit, as a terminal's line
// buffer does (a Linux tty holds 4096 bytes a line and drops the rest).
// As there, what fits is kept and the rest dropped, and the person is told
// how much was dropped: nothing goes silently.
#pragma once
#include <cstddef>

namespace sim {

constexpr std::size_t kConsoleInputLimit = 4096;

}  // namespace sim
