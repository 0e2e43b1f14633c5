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
//   expect segs 0x12 [within T]        the 7-segment latch holds this byte
//   expect digit 7 [within T]          the 7-segment digit shows this character
//                                      (0..9 A b C d E F, `off` when dark)
//   expect screen REF.png [within 2s]  the LCD equals a picture as screenshot
//                             writes it (REF relative to the script's directory)
//   screenshot FILE.png
//   rtc 2026-12-08 09:30:00   the RTC's calendar from now on (and after a
//                             reset), the day of the week from the date
//   eeprom 0x040 4A75616E     these bytes in the EEPROM's array from OFFSET on
//                             (the EEPROM file follows at the firmware's next write)
//
// `#` starts a comment. The whole script is checked before it runs, so a bad
// line stops nothing half-way; reference pictures are read then too, after
// the checks every input gets (a regular file within kMaxPictureBytes, a PNG
// header that declares the LCD's size).
#pragma once
#include <memory>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "board/board.h"

namespace sim {

class Scenario {
 public:
  // Reads and checks a script. On error, *error is "FILE:LINE: why".
  bool load(const std::string& path, std::string* error);
  // `base_dir`: where relative reference pictures are (load(): the script's
  // directory; otherwise the current one).
  bool parse(const std::string& text, const std::string& name, std::string* error,
             const std::string& base_dir = "");

  // Runs it. True when every expect held; otherwise *failure says which line
  // failed and why. Stops early at `until` or when the stop function says so
  // (then true, with *stopped_early set): an expect whose time was not up is
  // not judged. A halt stops the run (false, *failure the halt report): no
  // line fails for it, and the expects from the line it cut short on are
  // never reached. After `main` returned, the rest is judged on the board as
  // it stands, at once.
  bool run(Board& board, std::string* failure, VTime until = kForever, bool* stopped_early = nullptr);
  // Checked between slices of virtual time (e.g. a signal's flag).
  void set_stop(std::function<bool()> stop) { stop_ = std::move(stop); }
  // The line the last run stopped early at, 0 if it did not.
  int stopped_at_line() const { return stopped_at_line_; }

  size_t size() const { return commands_.size(); }
  // The first line that reads the LCD's text (expect lcd, expect no lcd),
  // which needs the firmware's font; 0 if none does.
  int lcd_text_line() const;

  // What became of each expect of the last run, in script order, for
  // reports: held, failed (with the message run() gave), or never reached
  // (after a failure, a halt or --until). A line other than an expect that
  // fails (a key pressed on a halted board) is listed as failed too.
  struct Outcome {
    enum Result { kPassed, kFailed, kSkipped } result = kSkipped;
    int line = 0;
    std::string source;   // the line as written, comment cut
    std::string message;  // why it failed or was skipped
    VTime started = 0, ended = 0;  // virtual time spent on it
  };
  const std::vector<Outcome>& outcomes() const { return outcomes_; }
  // The files its screenshot commands write, with their lines.
  std::vector<std::pair<int, std::string>> screenshots() const;
  // The reference pictures its expect screen lines read (as found), with
  // their lines.
  std::vector<std::pair<int, std::string>> pictures() const;

  static constexpr uint64_t kMaxBytes = 4u << 20;  // a script larger than this is not a script
  static constexpr uint64_t kMaxPictureBytes = 16u << 20;  // a reference PNG of the 320 x 240 LCD

  // How the script lets time pass: by default board.run_until(target). A
  // front end that shows the run (the web page) paces it and publishes
  // frames on the way; returning false ends the run there, as `until` does.
  void set_advance(std::function<bool(VTime target)> advance) { advance_ = std::move(advance); }

 private:
  enum class Kind {
    kWait, kKey, kKeyDown, kKeyUp, kButton, kButtonDown, kButtonUp, kUart,
    kExpectLcd, kExpectNoLcd, kExpectUart, kExpectLed, kExpectPixel, kScreenshot,
    kExpectScreen, kRtc, kEeprom,
    kAdc,  // adc CH VALUE: channel in x, value in number
    kExpectSegs, kExpectDigit,  // the 7-segment latch byte / its character (in number)
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
    std::shared_ptr<const std::vector<uint8_t>> picture;  // expect screen: grey levels
    RtcTime rtc;
  };
  // What waiting for an expect came to; kCut: the run ended before the
  // time was up, so nothing can be said.
  enum class Wait { kHeld, kTimedOut, kCut };
  bool fail(const Command& c, const std::string& why, std::string* failure);
  bool parse_extra(const std::vector<std::string>& words, Command* c, std::string* why) const;

  std::string name_;
  std::string base_dir_;  // where the script lives: reference pictures are looked for there
  std::vector<Command> commands_;
  std::vector<Outcome> outcomes_;
  std::vector<size_t> outcome_of_;  // per command: its index in outcomes_, or npos
  VTime command_started_ = 0;
  const Board* running_ = nullptr;  // the board of the run in progress
  void skip_rest(const std::string& why);
  std::function<bool()> stop_;
  int stopped_at_line_ = 0;
  std::function<bool(VTime)> advance_;
};

// How scripts, and gdb's monitor commands, read their words and numbers:
// one rule for both. Words are split at spaces, a double-quoted string (with
// its escapes) being one word kept with its quotes; `#` starts a comment.
// False on an unterminated string.
bool split_script_line(const std::string& line, std::vector<std::string>* words, std::string* error);
// A decimal or 0x-hexadecimal number that fits an int ("010" is ten, never
// octal); false for anything else, trailing bytes included.
bool parse_script_int(const std::string& word, int* out);

// The text of a quoted script string with its escapes resolved; false on a
// bad escape.
bool unescape(const std::string& quoted_body, std::string* out, std::string* error);

// The inverse: bytes as the body of a script string (\r \n \t \" \\ and \xHH
// for other control bytes; bytes from 0x80 up too when `ascii` is set).
std::string escape(const std::string& bytes, bool ascii = false);

}  // namespace sim
