// Scenario scripts: a board session written down, one command per line.
//
//   wait 1.5s                 let virtual time pass
//   key 2 [hold 300ms]        press keypad key 0..15, hold (100 ms), release,
//                             then a person's pause of 150 ms
//   keydown 5 / keyup 5       no pause added
//   button 0x40 [hold 1s]     push-button 0x40 or 0x80, like key
//   buttondown 0x80 / buttonup 0x80
//   uart "Ana\r"              bytes to UART0's receiver (\r \n \t \xHH \\ \")
//   expect lcd "TEXT" [within 3s]      TEXT in one run of text on the LCD
//   expect no lcd "TEXT" [within 1s]   not on the LCD (now, or by then)
//   expect uart "TEXT" [within 2s]     console output since the last uart expect
//   uart1 "..." / expect uart1 "..."   the same for UART1 (its own far end)
//   expect led left|right on|off
//   expect pixel X Y GREY
//   screenshot FILE.png
//
// `#` starts a comment. The whole script is checked before it runs, so a bad
// line stops nothing half-way.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/board.h"

namespace sim {

class Scenario {
 public:
  // Reads and checks a script. On error, *error is "FILE:LINE: why".
  bool load(const std::string& path, std::string* error);
  bool parse(const std::string& text, const std::string& name, std::string* error);

  // Runs it. True when every expect held; otherwise *failure says which line
  // failed and why. Stops early at `until` or when the stop function says so
  // (then true, with *stopped_early set): an expect whose time was not up is
  // not judged. A halt fails the line that was running or comes next.
  bool run(Board& board, std::string* failure, VTime until = kForever, bool* stopped_early = nullptr);
  // Checked between slices of virtual time (e.g. a signal's flag).
  void set_stop(std::function<bool()> stop) { stop_ = std::move(stop); }
  // The line the last run stopped early at, 0 if it did not.
  int stopped_at_line() const { return stopped_at_line_; }

  size_t size() const { return commands_.size(); }
  // The files its screenshot commands write, with their lines.
  std::vector<std::pair<int, std::string>> screenshots() const;

  static constexpr uint64_t kMaxBytes = 4u << 20;  // a script larger than this is not a script

  // How the script lets time pass: by default board.run_until(target). A
  // front end that shows the run (the web page) paces it and publishes
  // frames on the way; returning false ends the run there, as `until` does.
  void set_advance(std::function<bool(VTime target)> advance) { advance_ = std::move(advance); }

 private:
  enum class Kind {
    kWait, kKey, kKeyDown, kKeyUp, kButton, kButtonDown, kButtonUp, kUart,
    kExpectLcd, kExpectNoLcd, kExpectUart, kExpectLed, kExpectPixel, kScreenshot,
  };
  struct Command {
    Kind kind;
    int line;
    std::string source;
    int number = 0;       // key, button mask, LED pin, grey level, UART port
    int x = 0, y = 0;
    bool flag = false;    // LED on
    VTime duration = 0;   // wait, hold, within
    std::string duration_text;  // as written (or the default's), for messages
    bool has_within = false;
    std::string text;     // expected text, bytes to send, file name
  };
  bool fail(const Command& c, const std::string& why, std::string* failure) const;

  std::string name_;
  std::vector<Command> commands_;
  std::function<bool()> stop_;
  int stopped_at_line_ = 0;
  std::function<bool(VTime)> advance_;
};

// The text of a quoted script string with its escapes resolved; false on a
// bad escape.
bool unescape(const std::string& quoted_body, std::string* out, std::string* error);

}  // namespace sim
