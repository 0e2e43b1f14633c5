#include "frontends/png_writer.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "frontends/quoting.h"
#include "frontends/run_files.h"

namespace sim {

namespace {
// libpng reports errors through a callback that must not return: it records
// the message here and longjmps back to write_rows.
struct PngErrorState {
  char message[256];
};

void on_png_error(png_structp png, png_const_charp message) {
  auto* state = static_cast<PngErrorState*>(png_get_error_ptr(png));
  std::snprintf(state->message, sizeof state->message, "%s", message ? message : "unknown libpng error");
  png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

// Only plain data lives in this frame: the longjmp from libpng skips no
// destructor. Returns false with state->message set.
bool write_rows(FILE* file, png_bytep* rows, int width, int height, int colour_type, PngErrorState* state) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, state, on_png_error, on_png_warning);
  if (!png) {
    std::snprintf(state->message, sizeof state->message, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(state->message, sizeof state->message, "out of memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, colour_type,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}
}  // namespace

bool write_png(const std::string& path, const uint8_t* pixels, int width, int height, PngFormat format,
               std::string& error, int stride) {
  int channels = format == PngFormat::kRgb8 ? 3 : 1;
  if (width <= 0 || height <= 0) {
    error = "cannot write " + quoted_path(path) + ": empty image (" + std::to_string(width) + " x " + std::to_string(height) + ")";
    return false;
  }
  if (stride == 0) stride = width * channels;

  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    rows[static_cast<size_t>(y)] = const_cast<png_bytep>(pixels + static_cast<size_t>(y) * static_cast<size_t>(stride));

  // A regular file (or a new one) is written beside its place and renamed
  // over it, so nobody sees half a picture; anything else (a pipe, a device)
  // is written in place.
  struct stat st;
  bool in_place = ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
  std::string target = in_place ? path : path + ".tmp." + std::to_string(::getpid());

  // A FIFO nobody reads would block the open forever (and a signal with
  // it): opened without waiting, it is an error at once.
  FILE* file = nullptr;
  if (in_place) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) file = ::fdopen(fd, "wb");
    if (!file && fd >= 0) ::close(fd);
    if (!file && errno == ENXIO) {
      error = "cannot write " + quoted_path(path) + ": nothing reads from it";
      return false;
    }
  } else {
    file = std::fopen(target.c_str(), "wb");
  }
  if (!file) {
    error = "cannot write " + quoted_path(path) + ": " + std::strerror(errno);
    return false;
  }
  PngErrorState state{};
  bool ok = write_rows(file, rows.data(), width, height,
                       format == PngFormat::kRgb8 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, &state);
  if (!ok) error = "cannot write " + quoted_path(path) + ": " + state.message;
  if (std::fflush(file) != 0 && ok) {
    ok = false;
    error = "cannot write " + quoted_path(path) + ": " + std::strerror(errno);
  }
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    error = "cannot write " + quoted_path(path) + ": " + std::strerror(errno);
  }
  if (in_place) return ok;
  if (ok && std::rename(target.c_str(), path.c_str()) != 0) {
    ok = false;
    error = "cannot write " + quoted_path(path) + ": " + std::strerror(errno);
  }
  if (!ok) std::remove(target.c_str());
  return ok;
}

bool write_grey16_png(const std::string& path, const uint8_t* levels, int width, int height, std::string& error) {
  if (width <= 0 || height <= 0) {
    error = "cannot write " + quoted_path(path) + ": empty image (" + std::to_string(width) + " x " + std::to_string(height) + ")";
    return false;
  }
  std::vector<uint8_t> grey(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (size_t i = 0; i < grey.size(); ++i) {
    unsigned level = levels[i] > 15 ? 15 : levels[i];
    grey[i] = static_cast<uint8_t>(255 - 17 * level);
  }
  return write_png(path, grey.data(), width, height, PngFormat::kGrey8, error);
}

bool write_lcd_png(const std::string& path, const uint8_t* levels, std::string& error) {
  return write_grey16_png(path, levels, 320, 240, error);
}

bool read_grey_png(const std::string& path, const PngShape& want, std::vector<uint8_t>* pixels, int* width,
                   int* height, std::string& error) {
  *width = *height = 0;
  pixels->clear();
  // The file's type and size first, without waiting on a FIFO: a picture is
  // an input like any other.
  std::vector<uint8_t> bytes;
  std::string why;
  if (!read_regular_file(path, want.max_bytes, &bytes, &why)) {
    // read_regular_file says "PATH: why", the path quoted.
    error = "cannot read " + why;
    return false;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    error = "cannot read " + quoted_path(path) + ": " + (image.message[0] ? image.message : "not a PNG file");
    png_image_free(&image);
    return false;
  }
  // The header's size decides before any pixel memory is taken: a header
  // may claim a million pixels square in a file of 69 bytes.
  *width = static_cast<int>(std::min<png_uint_32>(image.width, INT32_MAX));
  *height = static_cast<int>(std::min<png_uint_32>(image.height, INT32_MAX));
  if (image.width != static_cast<png_uint_32>(want.width) || image.height != static_cast<png_uint_32>(want.height)) {
    error = quoted_path(path) + " is " + std::to_string(image.width) + " x " + std::to_string(image.height) +
            " pixels, not " + std::to_string(want.width) + " x " + std::to_string(want.height);
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_GRAY;
  pixels->assign(static_cast<size_t>(want.width) * static_cast<size_t>(want.height), 0);
  if (!png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr)) {
    error = "cannot read " + quoted_path(path) + ": " + (image.message[0] ? image.message : "not a PNG file");
    png_image_free(&image);
    pixels->clear();
    return false;
  }
  return true;
}

bool read_grey16_png(const std::string& path, const PngShape& want, std::vector<uint8_t>* levels, int* width,
                     int* height, std::string& error) {
  if (!read_grey_png(path, want, levels, width, height, error)) return false;
  for (uint8_t& v : *levels) v = static_cast<uint8_t>((255 - v + 8) / 17);
  return true;
}

}  // namespace sim
