// The file that keeps the board's AT24C04 across runs: the 512 bytes of the
// array, raw, byte i = memory address i.
//
// A missing file means a new part (erased to 0xFF); the file is created on the
// first completed write cycle. A file of any other size is refused and never
// touched: it is probably not an EEPROM image, and overwriting it would lose
// someone's data. Each save goes to a temporary file in the same directory,
// is synced, and replaces the image by rename, so a simulator killed at any
// moment leaves either the old image or the new one, never a mix.
//
// What open() makes sure of before the run, so that the firmware's writes are
// not lost one by one later: the file is writable (a file without its owner's
// write bit is refused, for root too: someone made it read-only on purpose),
// and its directory takes a temporary file of the image's size (a full disk or
// a read-only directory is found here). A symlink is followed: the image is
// replaced atomically where the link points, and the link stays.
//
// Temporary files are named ".NAME.board-sim-HOST-PID.XXXXXX". open() removes
// those of this host whose process is gone (a run that was killed between
// create and rename), and any older than ten minutes (a save takes
// milliseconds), the temporary files of older versions (".NAME.XXXXXX")
// included; a live run's file is never touched.
//
// Another program that changes the file during the run is noticed at the
// next save (the file is not what board-sim read or last wrote) and reported
// once; the board's image then replaces it, as the part's contents are what
// the firmware sees.
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>

#include "devices/at24c04.h"

namespace sim {

class EepromFile {
 public:
  // $XDG_STATE_HOME/board-sim/eeprom.bin, else ~/.local/state/board-sim/eeprom.bin;
  // creates the directory. Empty, with *error set, when that cannot be done.
  static std::string default_path(std::string* error);

  // Reads the image at `path`, or starts erased when there is no file there
  // yet, after the checks above. False, with *error set, for a file that
  // cannot be used.
  bool open(const std::string& path, std::string* error);

  // Replaces the file's contents atomically with `image`.
  bool save(const At24c04::Image& image, std::string* error);

  // Loads the image into the part and saves after each of its write cycles.
  // The first failed save is reported once (later ones are silent); every
  // write cycle tries again.
  void attach(At24c04& eeprom);
  // At the end of the run: true when the file holds the part's contents
  // (after one more try if a save had failed). False, with *error.
  bool finish(std::string* error);
  bool save_failed() const { return save_failed_; }

  const std::string& path() const { return path_; }
  const std::string& target() const { return target_; }  // the file the link points to, or path()
  const At24c04::Image& image() const { return image_; }
  bool exists() const { return exists_; }  // false until the first save of a new image

  // Test seam: writes the temporary file's bytes (default: write(2)).
  using Writer = std::function<ssize_t(int fd, const void* data, size_t size)>;
  void set_writer(Writer writer) { writer_ = std::move(writer); }

 private:
  // `sync`: on the disk before it returns (a save), or only taken (the
  // check at start, whose file goes at once).
  bool write_temporary(const At24c04::Image& image, std::string* tmp, std::string* error, bool sync = true);
  void remove_stale_temporaries();
  void notice_external_change();

  std::string path_, target_;
  At24c04::Image image_{};  // what the file holds, as board-sim last read or wrote it
  bool exists_ = false;
  At24c04* part_ = nullptr;
  bool save_failed_ = false;
  bool failure_reported_ = false;
  bool change_reported_ = false;
  Writer writer_;
};

}  // namespace sim
