// The file that keeps the board's AT24C04 across runs: the 512 bytes of the
// array, raw, byte i = memory address i.
//
// A missing file means a new part (erased to 0xFF); the file is created on the
// first completed write cycle. A file of any other size is refused and never
// touched: it is probably not an EEPROM image, and overwriting it would lose
// someone's data. Each save goes to a temporary file in the same directory,
// is synced, and replaces the image by rename, so a simulator killed at any
// moment leaves either the old image or the new one, never a mix.
#pragma once
#include <string>

#include "devices/at24c04.h"

namespace sim {

class EepromFile {
 public:
  // $XDG_STATE_HOME/board-sim/eeprom.bin, else ~/.local/state/board-sim/eeprom.bin;
  // creates the directory. Empty, with *error set, when that cannot be done.
  static std::string default_path(std::string* error);

  // Reads the image at `path`, or starts erased when there is no file there
  // yet (its directory must exist). False, with *error set, for a file that
  // cannot be used.
  bool open(const std::string& path, std::string* error);

  // Replaces the file's contents atomically with `image`.
  bool save(const At24c04::Image& image, std::string* error);

  // Loads the image into the part and saves after each of its write cycles.
  // A failed save is logged; the simulation goes on with the part's contents.
  void attach(At24c04& eeprom);

  const std::string& path() const { return path_; }
  const At24c04::Image& image() const { return image_; }
  bool exists() const { return exists_; }  // false until the first save of a new image

 private:
  std::string path_;
  At24c04::Image image_{};
  bool exists_ = false;
};

}  // namespace sim
