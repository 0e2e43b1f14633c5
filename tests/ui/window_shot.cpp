// Reads a screenshot of board-sim's window (F12) back for the window test:
//
//   window-shot FIRMWARE.elf SHOT.png   the LCD's text as --lcd-text prints it
//                                       ("x y size text"), then "led 9 on|off",
//                                       "led 10 on|off" and "segments a..g."
//                                       (the lit ones, "-" for none)
//   window-shot --key-centre K SHOT.png  "x y": where keypad key K is in the shot
//
// The picture is divided by its whole scale, the LCD area turned back into
// grey levels through the panel's palette, and the indicators compared with
// how board_view draws them lit and dark.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/board.h"
#include "frontends/board_view.h"
#include "frontends/lcd_text.h"

namespace {

namespace view = sim::view;

struct Shot {
  int scale = 0;
  std::vector<uint32_t> pixels;  // view::kWidth x view::kHeight, 0x00RRGGBB
};

bool read_shot(const char* path, Shot* shot) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path)) {
    std::fprintf(stderr, "window-shot: %s: %s\n", path, image.message);
    return false;
  }
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
    std::fprintf(stderr, "window-shot: %s: %s\n", path, image.message);
    return false;
  }
  int w = static_cast<int>(image.width), h = static_cast<int>(image.height);
  if (w % view::kWidth || h % view::kHeight || w / view::kWidth != h / view::kHeight || w == 0) {
    std::fprintf(stderr, "window-shot: %s is %dx%d, not the window at a whole scale of %dx%d\n", path, w, h,
                 view::kWidth, view::kHeight);
    return false;
  }
  shot->scale = w / view::kWidth;
  shot->pixels.resize(view::kWidth * view::kHeight);
  for (int y = 0; y < view::kHeight; ++y)
    for (int x = 0; x < view::kWidth; ++x) {
      const uint8_t* p = &rgb[(static_cast<size_t>(y) * shot->scale * w + x * shot->scale) * 3];
      shot->pixels[y * view::kWidth + x] = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
  return true;
}

uint32_t centre(const std::vector<uint32_t>& px, view::Rect r) {
  return px[(r.y + r.h / 2) * view::kWidth + r.x + r.w / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--key-centre") == 0) {
    Shot shot;
    if (!read_shot(argv[3], &shot)) return 2;
    view::Rect r = view::key_rect(std::atoi(argv[2]));
    std::printf("%d %d\n", (r.x + r.w / 2) * shot.scale, (r.y + r.h / 2) * shot.scale);
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: window-shot FIRMWARE.elf SHOT.png | window-shot --key-centre K SHOT.png\n");
    return 2;
  }
  sim::Board board;
  std::string error;
  if (!board.load(argv[1], &error) || !board.font()) {
    std::fprintf(stderr, "window-shot: %s\n", error.empty() ? "the firmware has no font" : error.c_str());
    return 2;
  }
  Shot shot;
  if (!read_shot(argv[2], &shot)) return 2;

  view::Rect lcd = view::lcd_rect();
  std::vector<uint8_t> grey(lcd.w * lcd.h);
  for (int y = 0; y < lcd.h; ++y)
    for (int x = 0; x < lcd.w; ++x)
      grey[y * lcd.w + x] = static_cast<uint8_t>(view::lcd_level(shot.pixels[(lcd.y + y) * view::kWidth + lcd.x + x]));
  std::fputs(sim::format_runs(sim::find_lcd_text(board.font(), grey.data(), lcd.w, lcd.h)).c_str(), stdout);

  // How the indicators look lit and dark.
  std::vector<uint32_t> lit(view::kWidth * view::kHeight), dark(lit.size());
  view::State on, off;
  on.led_left = on.led_right = true;
  on.segment_latch = 0x00;
  view::draw(on, lit.data());
  view::draw(off, dark.data());
  for (int pin : {9, 10}) {
    uint32_t seen = centre(shot.pixels, view::led_rect(pin));
    const char* state = seen == centre(lit, view::led_rect(pin)) ? "on" : seen == centre(dark, view::led_rect(pin)) ? "off" : "?";
    std::printf("led %d %s\n", pin, state);
  }
  std::string segments;
  for (char s : std::string("abcdefg.")) {
    uint32_t seen = centre(shot.pixels, view::segment_rect(s));
    if (seen == centre(lit, view::segment_rect(s))) segments += s;
    else if (seen != centre(dark, view::segment_rect(s))) segments += '?';
  }
  std::printf("segments %s\n", segments.empty() ? "-" : segments.c_str());
  return 0;
}
