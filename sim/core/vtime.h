// Virtual time of the simulated board.
//
// Time is kept in picoseconds so that both MCLK-driven blocks (whose period
// changes when the PLL is programmed) and blocks on their own crystals (the
// RTC's 32.768 kHz, the audio clock derived from MCLK) convert without
// drift: 8 MHz and 64 MHz give whole picosecond periods.
#pragma once
#include <cstdint>
#include <string>

namespace sim {

using VTime = uint64_t;  // picoseconds

constexpr VTime kPicosecond = 1;
constexpr VTime kNanosecond = 1000;
constexpr VTime kMicrosecond = 1000 * kNanosecond;
constexpr VTime kMillisecond = 1000 * kMicrosecond;
constexpr VTime kSecond = 1000 * kMillisecond;
constexpr VTime kForever = UINT64_MAX;

// "1.5s", "200ms", "250us", "10ns", "2min", or a plain number of seconds,
// up to kMaxDurationPs. Returns false for anything else (negative, empty,
// unknown unit, longer than that).
constexpr double kMaxDurationPs = 1e19;
bool parse_duration(const std::string& text, VTime* out);

// a + b, or kForever where that would wrap: a script of many long waits
// ends up waiting forever, never back at the start of time.
constexpr VTime later(VTime a, VTime b) { return b > kForever - a ? kForever : a + b; }

// "1.250000s" style, for messages.
std::string format_duration(VTime t);

}  // namespace sim
