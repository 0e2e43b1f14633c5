// PNG files of the LCD and of the window, written (and read back, for
// reference pictures) with libpng.
//
// Needs nothing from the board: the caller hands over pixels. Every function
// returns false with a one-line reason in `error` ("cannot write out.png: No
// such file or directory"). A regular file is written under a temporary name
// in the same directory and renamed into place, so a failed write leaves the
// old file (or none), never half a picture; pipes and devices are written
// directly.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class PngFormat {
  kGrey8,  // one byte per pixel, 0 black .. 255 white
  kRgb8,   // three bytes per pixel, R G B
};

// Any image: `height` rows of `width` pixels, rows `stride` bytes apart
// (0 means packed: width x bytes per pixel).
bool write_png(const std::string& path, const uint8_t* pixels, int width, int height, PngFormat format,
               std::string& error, int stride = 0);

// An LCD frame of grey levels (0 white .. 15 black; higher values count as
// 15) as an 8-bit greyscale PNG: level n becomes 255 - 17n.
bool write_grey16_png(const std::string& path, const uint8_t* levels, int width, int height, std::string& error);

// The board's 320 x 240 panel (76800 bytes, as LcdController::render gives).
bool write_lcd_png(const std::string& path, const uint8_t* levels, std::string& error);

// What a picture to be read must be: its size in pixels, and the most bytes
// its file may have.
struct PngShape {
  int width = 0, height = 0;
  uint64_t max_bytes = 0;
};

// Reads a PNG of want.width x want.height pixels as 8-bit grey, one byte per
// pixel, row-major: colour is converted to its luminance, 16-bit samples cut
// to 8, transparency laid on black. The file must be a regular one within
// want.max_bytes (see read_regular_file), and the size its header declares is
// checked before any pixel memory is allocated. False with a one-line
// reason: "cannot read PATH: why" (missing, a FIFO, too large, not a PNG), or
// "PATH is W x H pixels, not ..." with *width and *height set to the header's.
bool read_grey_png(const std::string& path, const PngShape& want, std::vector<uint8_t>* pixels, int* width,
                   int* height, std::string& error);

// A picture as write_grey16_png writes it, back to grey levels 0..15: each
// pixel to the nearest level (255 - 17n), so a picture that went through an
// editor's colour conversion still reads as it was drawn.
bool read_grey16_png(const std::string& path, const PngShape& want, std::vector<uint8_t>* levels, int* width,
                     int* height, std::string& error);

}  // namespace sim
