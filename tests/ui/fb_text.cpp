// The text on a screen given as grey levels (the --fb-dump layout: 76800
// bytes, one grey level per pixel), read with the firmware's font and
// printed as --lcd-text prints it ("x y size text"). The web test reads the
// page's canvas back with it.
//   fb-text FIRMWARE.elf SCREEN.bin
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "board/board.h"
#include "frontends/lcd_text.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fb-text FIRMWARE.elf SCREEN.bin\n");
    return 2;
  }
  sim::Board board;
  std::string error;
  if (!board.load(argv[1], &error) || !board.font()) {
    std::fprintf(stderr, "fb-text: %s\n", error.empty() ? "the firmware has no font" : error.c_str());
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  std::vector<uint8_t> grey((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (grey.size() != static_cast<size_t>(sim::kLcdWidth * sim::kLcdHeight)) {
    std::fprintf(stderr, "fb-text: %s holds %zu bytes, not %d\n", argv[2], grey.size(), sim::kLcdWidth * sim::kLcdHeight);
    return 2;
  }
  std::fputs(sim::format_runs(sim::find_lcd_text(board.font(), grey.data())).c_str(), stdout);
  return 0;
}
