// What a person did at the board, written down as a scenario script
// (board-sim --record FILE.scn), so that `--script FILE.scn` does it again:
// the same inputs at the same virtual times, hence the same screens,
// console bytes and audio.
//
// Front-end-neutral: the window, the terminal mode and the web page tell it
// each input as they give it to the board, stamped with the board's virtual
// time then, and finish() at the end of the run. Calls come from the thread
// that runs the board, in time order.
//
// What it writes:
// - `wait` lines for the virtual time between inputs, exact to the
//   picosecond (e.g. `wait 1234.567890125ms`), never longer than 1000 s
//   each, so that a double's precision in the parser loses nothing.
// - A press released before anything else happens, with 150 ms or more
//   before the next input, as `key K [hold T]` / `button M [hold T]` (the
//   script then adds its 150 ms pause itself); any other press as
//   keydown/keyup (buttondown/buttonup) with the waits between.
// - Console bytes as `uart "..."` with escapes, one line per instant.
// - At the end, a wait up to the virtual time of the quit.
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/vtime.h"
#include "devices/rtc.h"
#include "frontends/board_view.h"

namespace sim {

class Recorder {
 public:
  Recorder() = default;
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Creates the file now, so that a bad path is an error before the
  // session starts. `start`: the virtual time the recording starts at.
  bool open(const std::string& path, VTime start, std::string* error);
  bool is_open() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

  // Before any input: a comment line; the RTC's calendar at the start (an
  // `rtc` line), which the board takes from the host's clock; the EEPROM's
  // array at the start (`eeprom` lines), which comes from a file that the
  // session changes.
  void comment(const std::string& text);
  void rtc(const RtcTime& start);
  void eeprom(const uint8_t* bytes, size_t size);

  void key_down(int key, VTime at);
  void key_up(int key, VTime at);
  void button_down(uint8_t mask, VTime at);
  void button_up(uint8_t mask, VTime at);
  void console(const std::vector<uint8_t>& bytes, VTime at);

  // Writes what is pending and the last wait, up to `now`, and closes the
  // file. False with "cannot write PATH: why".
  bool finish(VTime now, std::string* error);

  // "1234.567890125ms", "2s", "150ms": exact, as the script parser reads it.
  static std::string duration_text(VTime t);

 private:
  struct Press {
    bool button = false;
    int code = 0;
    VTime down = 0;
    std::optional<VTime> up;
  };
  void settle(VTime next);
  void wait_until(VTime t);
  void line(const std::string& text);
  std::string target(const Press& p) const;

  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::string path_;
  bool write_failed_ = false;
  int write_errno_ = 0;
  VTime written_to_ = 0;        // the script's virtual time after its last line
  std::optional<Press> press_;  // a press whose form is not decided yet
  std::string uart_;            // console bytes at uart_at_, not yet written
  VTime uart_at_ = 0;
};

class Board;
// A front end's press (down) or release of a key or button: the board gets
// it now, and the recorder, if there is one, writes it with the board's time.
void apply_target(Board& board, Recorder* recorder, view::Target target, bool down);

}  // namespace sim
