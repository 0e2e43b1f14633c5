// The samples of the clips board-sim generates (clips.h says what they
// are), computed. board-sim itself copies them from a table that the build
// makes with this code (cli/clip_table.cpp): computing them took a
// millisecond of every start.
#pragma once
#include <cstdint>
#include <vector>

namespace sim {

// The DTMF rows' and columns' frequencies in Hz.
inline constexpr double kDtmfRows[4] = {697, 770, 852, 941};
inline constexpr double kDtmfColumns[4] = {1209, 1336, 1477, 1633};

// Each clip's bytes, in the order of clip_slots(), as 16-bit stereo
// little-endian frames up to the end of its sound: the rest of its slot is
// silence.
std::vector<std::vector<uint8_t>> compute_clip_sounds();

// The table the build made (clip_table.cpp in the build tree): the clips'
// sounds one after the other, and each one's length in bytes.
extern const unsigned char kClipSoundBytes[];
extern const uint32_t kClipSoundLengths[18];

}  // namespace sim
