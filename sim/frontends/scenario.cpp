#include "frontends/scenario.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "frontends/lcd_text.h"
#include "frontends/png_writer.h"
#include "frontends/quoting.h"
#include "frontends/run_files.h"

namespace sim {

namespace {
constexpr VTime kDefaultHold = 100 * kMillisecond;
constexpr VTime kPersonsPause = 150 * kMillisecond;
constexpr VTime kDefaultWithin = 2 * kSecond;
constexpr VTime kPollStep = 10 * kMillisecond;

// Splits a line into words; a double-quoted string is one word, kept with
// its quotes so that the parser knows it was quoted.
bool tokenize(const std::string& line, std::vector<std::string>* words, std::string* error) {
  size_t i = 0;
  while (i < line.size()) {
    if (isspace(static_cast<unsigned char>(line[i]))) {
      ++i;
      continue;
    }
    if (line[i] == '#') break;
    if (line[i] == '"') {
      size_t j = i + 1;
      while (j < line.size() && line[j] != '"') j += line[j] == '\\' ? 2 : 1;
      if (j >= line.size()) {
        *error = "unterminated string";
        return false;
      }
      words->push_back(line.substr(i, j - i + 1));
      i = j + 1;
      continue;
    }
    size_t j = i;
    while (j < line.size() && !isspace(static_cast<unsigned char>(line[j]))) ++j;
    words->push_back(line.substr(i, j - i));
    i = j;
  }
  return true;
}

// A decimal or 0x-hexadecimal number that fits an int; anything else (a
// number that would wrap, "010" read as octal, trailing bytes) is refused.
bool parse_int(const std::string& word, int* out) {
  if (word.empty() || isspace(static_cast<unsigned char>(word[0]))) return false;
  const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(word.c_str(), &end, hex ? 16 : 10);
  if (*end || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

bool is_quoted(const std::string& w) { return w.size() >= 2 && w.front() == '"' && w.back() == '"'; }

bool unescape_body(const std::string& body, std::string* out, std::string* error);

// A file name as written: bare, or quoted like any script string (with the
// same escapes). Never empty, and no NUL, which would cut it short.
bool file_name(const std::string& word, std::string* out) {
  std::string why;
  if (is_quoted(word)) {
    if (!unescape_body(word.substr(1, word.size() - 2), out, &why)) return false;
  } else {
    *out = word;
  }
  return !out->empty() && out->find('\0') == std::string::npos;
}

// A line as a report names it: its words, one space apart, comment cut.
std::string statement(const std::string& line) {
  std::vector<std::string> words;
  std::string error;
  tokenize(line, &words, &error);
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

bool leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int mon) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return mon == 2 && leap_year(year) ? 29 : kDays[mon - 1];
}

// 1 = Sunday .. 7 = Saturday, as the RTC's BCDDATE counts (Sakamoto's rule).
int weekday(int year, int mon, int mday) {
  static const int kOffset[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (mon < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + kOffset[mon - 1] + mday) % 7 + 1;
}

// Console text inside a one-line message: control bytes as script escapes.
std::string escaped(const std::string& text);

}  // namespace

std::string escape(const std::string& text, bool ascii) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (c == '"' || c == '\\') out += std::string("\\") + static_cast<char>(c);
    else if (c < 0x20 || c == 0x7F || (ascii && c >= 0x80)) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else out += static_cast<char>(c);
  }
  return out;
}

namespace {
std::string escaped(const std::string& text) { return escape(text); }
bool unescape_body(const std::string& body, std::string* out, std::string* error) {
  return unescape(body, out, error);
}
}  // namespace

bool unescape(const std::string& body, std::string* out, std::string* error) {
  out->clear();
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (++i >= body.size()) {
      *error = "a lone backslash at the end of a string";
      return false;
    }
    switch (body[i]) {
      case 'r': out->push_back('\r'); break;
      case 'n': out->push_back('\n'); break;
      case 't': out->push_back('\t'); break;
      case '\\': out->push_back('\\'); break;
      case '"': out->push_back('"'); break;
      case 'x': {
        if (i + 2 >= body.size() + 0 || !isxdigit(static_cast<unsigned char>(body[i + 1])) ||
            !isxdigit(static_cast<unsigned char>(body[i + 2]))) {
          *error = "\\x needs two hex digits";
          return false;
        }
        out->push_back(static_cast<char>(std::stoi(body.substr(i + 1, 2), nullptr, 16)));
        i += 2;
        break;
      }
      default:
        *error = "unknown escape \\" + quoted_line(body.substr(i, 1)) + " (use \\r \\n \\t \\xHH \\\\ \\\")";
        return false;
    }
  }
  return true;
}

bool parse_script_int(const std::string& word, int* out) { return parse_int(word, out); }

bool split_script_line(const std::string& line, std::vector<std::string>* words, std::string* error) {
  return tokenize(line, words, error);
}

bool Scenario::load(const std::string& path, std::string* error) {
  std::vector<uint8_t> bytes;
  std::string why;
  if (!read_regular_file(path, kMaxBytes, &bytes, &why)) {
    *error = "cannot read the script " + why;
    return false;
  }
  size_t slash = path.rfind('/');
  return parse(std::string(bytes.begin(), bytes.end()), path, error,
               slash == std::string::npos ? "" : path.substr(0, slash + 1));
}

bool Scenario::parse(const std::string& text, const std::string& name, std::string* error,
                     const std::string& base_dir) {
  name_ = name;
  base_dir_ = base_dir;
  commands_.clear();
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    auto bad = [&](const std::string& why) {
      *error = name + ":" + std::to_string(number) + ": " + why + ": " + quoted_line(line);
      return false;
    };
    std::vector<std::string> w;
    std::string why;
    if (line.find('\0') != std::string::npos) return bad("a NUL byte in the line");
    if (!tokenize(line, &w, &why)) return bad(why);
    if (w.empty()) continue;
    Command c{};
    c.line = number;
    c.source = line;
    size_t next = 1;
    auto duration_at = [&](size_t i, VTime* out) {
      if (i >= w.size() || !parse_duration(w[i], out)) return false;
      c.duration_text = w[i];
      return true;
    };
    auto string_at = [&](size_t i, std::string* out) {
      if (i >= w.size() || !is_quoted(w[i])) return false;
      return unescape(w[i].substr(1, w[i].size() - 2), out, &why);
    };
    // Optional trailing "hold D" or "within D".
    auto trailing = [&](const char* keyword, VTime* out, bool* present) {
      if (next == w.size()) return true;
      if (w[next] != keyword || !duration_at(next + 1, out) || next + 2 != w.size()) return false;
      if (present) *present = true;
      next = w.size();
      return true;
    };
    const std::string& verb = w[0];
    if (parse_extra(w, &c, &why)) {
      if (!why.empty()) return bad(why);
    } else if (verb == "wait") {
      c.kind = Kind::kWait;
      if (w.size() != 2 || !duration_at(1, &c.duration)) return bad("expected: wait DURATION (e.g. 1.5s, 200ms)");
    } else if (verb == "key" || verb == "keydown" || verb == "keyup") {
      c.kind = verb == "key" ? Kind::kKey : verb == "keydown" ? Kind::kKeyDown : Kind::kKeyUp;
      if (w.size() < 2 || !parse_int(w[1], &c.number) || c.number < 0 || c.number > 15)
        return bad("expected a key number 0..15");
      next = 2;
      c.duration = kDefaultHold;
      c.duration_text = "100ms";
      if (c.kind == Kind::kKey ? !trailing("hold", &c.duration, nullptr) : w.size() != 2)
        return bad(c.kind == Kind::kKey ? "expected: key N [hold DURATION]" : "expected: " + verb + " N");
    } else if (verb == "button" || verb == "buttondown" || verb == "buttonup") {
      c.kind = verb == "button" ? Kind::kButton : verb == "buttondown" ? Kind::kButtonDown : Kind::kButtonUp;
      if (w.size() < 2 || !parse_int(w[1], &c.number) || (c.number != 0x40 && c.number != 0x80 && c.number != 0xC0))
        return bad("expected a push-button 0x40 or 0x80 (0xC0 for both)");
      next = 2;
      c.duration = kDefaultHold;
      c.duration_text = "100ms";
      if (c.kind == Kind::kButton ? !trailing("hold", &c.duration, nullptr) : w.size() != 2)
        return bad("expected: " + verb + (c.kind == Kind::kButton ? " 0x40|0x80 [hold DURATION]" : " 0x40|0x80"));
    } else if (verb == "adc") {
      c.kind = Kind::kAdc;
      if (w.size() != 3 || !parse_int(w[1], &c.x) || c.x < 0 || c.x > 7 || !parse_int(w[2], &c.number) ||
          c.number < 0 || c.number > 1023)
        return bad("expected: adc CH VALUE (CH 0..7, VALUE 0..1023)");
    } else if (verb == "uart" || verb == "uart1") {
      c.kind = Kind::kUart;
      c.number = verb == "uart1" ? 1 : 0;  // the port
      if (w.size() != 2 || !string_at(1, &c.text)) return bad(why.empty() ? "expected: " + verb + " \"TEXT\"" : why);
    } else if (verb == "screenshot") {
      c.kind = Kind::kScreenshot;
      if (w.size() != 2 || !file_name(w[1], &c.text)) return bad("expected: screenshot FILE.png");
    } else if (verb == "expect") {
      if (w.size() < 2) return bad("expected: expect lcd|no lcd|uart|uart1|led|pixel ...");
      const std::string& what = w[1];
      if (what == "lcd" || what == "uart" || what == "uart1" || (what == "no" && w.size() > 2 && w[2] == "lcd")) {
        c.kind = what == "lcd" ? Kind::kExpectLcd : what == "no" ? Kind::kExpectNoLcd : Kind::kExpectUart;
        c.number = what == "uart1" ? 1 : 0;  // the port
        size_t at = what == "no" ? 3 : 2;
        if (!string_at(at, &c.text)) return bad(why.empty() ? "expected a quoted text" : why);
        next = at + 1;
        c.duration = kDefaultWithin;
        c.duration_text = "2s";
        if (!trailing("within", &c.duration, &c.has_within)) return bad("expected: ... \"TEXT\" [within DURATION]");
      } else if (what == "led") {
        c.kind = Kind::kExpectLed;
        if (w.size() != 4 || (w[2] != "left" && w[2] != "right") || (w[3] != "on" && w[3] != "off"))
          return bad("expected: expect led left|right on|off");
        c.number = w[2] == "left" ? 9 : 10;
        c.flag = w[3] == "on";
      } else if (what == "pixel") {
        c.kind = Kind::kExpectPixel;
        if (w.size() != 5 || !parse_int(w[2], &c.x) || !parse_int(w[3], &c.y) || !parse_int(w[4], &c.number) ||
            c.x < 0 || c.x >= kLcdWidth || c.y < 0 || c.y >= kLcdHeight || c.number < 0 || c.number > 15)
          return bad("expected: expect pixel X Y GREY with X 0..319, Y 0..239, GREY 0..15");
      } else {
        return bad("unknown expectation '" + quoted_line(what, 40) +
                   "' (lcd, no lcd, uart, uart1, led, pixel, screen, segs, digit)");
      }
    } else {
      return bad("unknown command '" + quoted_line(verb, 40) + "'");
    }
    commands_.push_back(std::move(c));
  }
  return true;
}

bool Scenario::fail(const Command& c, const std::string& why, std::string* failure) {
  *failure = name_ + ":" + std::to_string(c.line) + ": " + quoted_line(c.source) + ": " + why;
  size_t index = static_cast<size_t>(&c - commands_.data());
  Outcome failed{Outcome::kFailed, c.line, statement(c.source), why, command_started_,
                 running_ ? running_->now() : command_started_};
  if (index < outcome_of_.size() && outcome_of_[index] != std::string::npos) {
    outcomes_[outcome_of_[index]] = failed;
  } else {
    auto at = std::find_if(outcomes_.begin(), outcomes_.end(), [&](const Outcome& o) { return o.line > c.line; });
    outcomes_.insert(at, failed);
  }
  skip_rest("not reached: line " + std::to_string(c.line) + " failed");
  return false;
}

void Scenario::skip_rest(const std::string& why) {
  for (Outcome& o : outcomes_)
    if (o.result == Outcome::kSkipped) o.message = why;
}

// Commands beyond the first set: reference pictures, the RTC and the
// EEPROM. True when `w` is one of them; *why is then empty or says what is
// wrong with it.
bool Scenario::parse_extra(const std::vector<std::string>& w, Command* c, std::string* why) const {
  if (w[0] == "expect" && w.size() >= 2 && w[1] == "screen") {
    c->kind = Kind::kExpectScreen;
    c->duration = kDefaultWithin;
    c->duration_text = "2s";
    std::string name;
    if ((w.size() != 3 && !(w.size() == 5 && w[3] == "within" && parse_duration(w[4], &c->duration))) ||
        !file_name(w[2], &name)) {
      *why = "expected: expect screen FILE.png [within DURATION]";
      return true;
    }
    if (w.size() == 5) c->duration_text = w[4];
    c->has_within = w.size() == 5;
    std::string path = !name.empty() && name[0] == '/' ? name : base_dir_ + name;
    c->text = path;
    auto picture = std::make_shared<std::vector<uint8_t>>();
    int width = 0, height = 0;
    const PngShape lcd{kLcdWidth, kLcdHeight, kMaxPictureBytes};
    if (read_grey16_png(path, lcd, picture.get(), &width, &height, *why)) {
      c->picture = std::move(picture);
    } else if (width != 0 && height != 0 && (width != kLcdWidth || height != kLcdHeight)) {
      *why = quoted_path(path) + " is " + std::to_string(width) + " x " + std::to_string(height) + " pixels; the LCD is " +
             std::to_string(kLcdWidth) + " x " + std::to_string(kLcdHeight) + " (take it with screenshot or --screenshot)";
    }
    return true;
  }
  if (w[0] == "expect" && w.size() >= 2 && (w[1] == "segs" || w[1] == "digit")) {
    const bool segs = w[1] == "segs";
    c->kind = segs ? Kind::kExpectSegs : Kind::kExpectDigit;
    bool ok = w.size() == 3 || (w.size() == 5 && w[3] == "within" && parse_duration(w[4], &c->duration));
    if (ok && w.size() == 5) {
      c->has_within = true;
      c->duration_text = w[4];
    }
    if (ok && segs) {
      ok = parse_int(w[2], &c->number) && c->number >= 0 && c->number <= 0xFF;
    } else if (ok) {
      std::string ch = is_quoted(w[2]) ? w[2].substr(1, w[2].size() - 2) : w[2];
      c->number = ch == "off" ? ' ' : ch.size() == 1 ? SevenSegment::normalise(ch[0]) : 0;
      ok = c->number != 0;
    }
    if (!ok)
      *why = segs ? "expected: expect segs BYTE [within DURATION] (the latch, 0x00..0xFF; a 0 bit lights its segment)"
                  : "expected: expect digit C [within DURATION] with C one of 0..9 A b C d E F, or off";
    return true;
  }
  if (w[0] == "eeprom") {
    c->kind = Kind::kEeprom;
    bool ok = w.size() == 3 && parse_int(w[1], &c->number) && c->number >= 0 && w[2].size() % 2 == 0;
    for (size_t i = 0; ok && i < w[2].size(); i += 2) {
      ok = isxdigit(static_cast<unsigned char>(w[2][i])) && isxdigit(static_cast<unsigned char>(w[2][i + 1]));
      if (ok) c->text.push_back(static_cast<char>(std::stoi(w[2].substr(i, 2), nullptr, 16)));
    }
    if (!ok || c->text.empty() || c->number + c->text.size() > At24c04::kSize)
      *why = "expected: eeprom OFFSET HEXBYTES, within the EEPROM's " + std::to_string(At24c04::kSize) +
             " bytes (e.g. eeprom 0x000 FFFF)";
    return true;
  }
  if (w[0] == "rtc") {
    c->kind = Kind::kRtc;
    int year = 0, mon = 0, mday = 0, hour = 0, min = 0, sec = 0;
    char tail = 0;
    bool ok = w.size() == 3 &&
              std::sscanf(w[1].c_str(), "%4d-%2d-%2d%c", &year, &mon, &mday, &tail) == 3 &&
              std::sscanf(w[2].c_str(), "%2d:%2d:%2d%c", &hour, &min, &sec, &tail) == 3 && year >= 1900 &&
              mon >= 1 && mon <= 12 && mday >= 1 && mday <= days_in_month(year, mon) && hour >= 0 && hour <= 23 &&
              min >= 0 && min <= 59 && sec >= 0 && sec <= 59;
    if (!ok) {
      *why = "expected: rtc YYYY-MM-DD HH:MM:SS (a real date, e.g. rtc 2026-12-08 09:30:00)";
      return true;
    }
    c->rtc.year = year % 100;
    c->rtc.mon = mon;
    c->rtc.mday = mday;
    c->rtc.wday = weekday(year, mon, mday);
    c->rtc.hour = hour;
    c->rtc.min = min;
    c->rtc.sec = sec;
    return true;
  }
  return false;
}

int Scenario::lcd_text_line() const {
  for (const Command& c : commands_)
    if (c.kind == Kind::kExpectLcd || c.kind == Kind::kExpectNoLcd) return c.line;
  return 0;
}

std::vector<std::pair<int, std::string>> Scenario::pictures() const {
  std::vector<std::pair<int, std::string>> files;
  for (const Command& c : commands_)
    if (c.kind == Kind::kExpectScreen) files.emplace_back(c.line, c.text);
  return files;
}

std::vector<std::pair<int, std::string>> Scenario::screenshots() const {
  std::vector<std::pair<int, std::string>> files;
  for (const Command& c : commands_)
    if (c.kind == Kind::kScreenshot) files.emplace_back(c.line, c.text);
  return files;
}

bool Scenario::run(Board& board, std::string* failure, VTime until, bool* stopped_early) {
  if (stopped_early) *stopped_early = false;
  stopped_at_line_ = 0;
  running_ = &board;
  outcomes_.clear();
  outcome_of_.assign(commands_.size(), std::string::npos);
  for (size_t i = 0; i < commands_.size(); ++i) {
    std::string what = statement(commands_[i].source);
    if (what.compare(0, 7, "expect ") != 0) continue;
    outcome_of_[i] = outcomes_.size();
    outcomes_.push_back({Outcome::kSkipped, commands_[i].line, what, "not reached", 0, 0});
  }
  auto stop_requested = [this] { return stop_ && stop_(); };
  size_t uart_cursor[2] = {0, 0};  // per port: where the next uart expect starts looking
  auto uart_output = [&](int port) -> const std::string& { return port ? board.uart1_output() : board.console(); };
  std::vector<uint8_t> frame(kLcdWidth * kLcdHeight), last(frame.size(), 0xFF);
  std::vector<TextRun> runs;
  // The glyph table is hashed once per run, not at every look at the screen.
  std::unique_ptr<LcdTextFinder> finder;
  if (board.font()) finder = std::make_unique<LcdTextFinder>(board.font());
  auto screen_text = [&]() -> const std::vector<TextRun>& {
    board.screen(frame.data());
    if (frame != last) {
      last = frame;
      runs = finder ? finder->find(frame.data()) : std::vector<TextRun>{};
    }
    return runs;
  };
  auto describe_screen = [&]() {
    std::string s;
    for (const TextRun& r : screen_text()) s += (s.empty() ? "" : " | ") + r.text;
    return s.empty() ? std::string("(no text)") : s;
  };
  // The run must end before the script does: --until, a signal, a halt.
  auto cut = [&] { return board.halted() || board.now() >= until || stop_requested(); };
  // Lets time pass; false when the run must end. An advance hook that
  // declines to go on ends the run as --until would. Time counts from where
  // the script is as written, not from where the board stopped: a run ends
  // at an instruction boundary, possibly a little past its target, and those
  // little bits must not add up over many lines (a recorded session relies
  // on every input landing where it was given).
  VTime script_time = board.now();
  auto pass = [&](VTime duration) {
    // Far behind the board, the script follows it (a command that let time
    // pass on its own).
    if (board.now() > later(script_time, kMillisecond)) script_time = board.now();
    script_time = later(script_time, duration);
    VTime target = std::min(until, script_time);
    if (!advance_) board.run_until(target, stop_requested);
    else if (!advance_(target)) until = board.now();
    return !cut();
  };
  // Waits up to `within` for `holds`, looking every 10 ms of virtual time.
  // kCut: the run ended before the time was up, so nothing can be said.
  auto wait_for = [&](VTime within, const std::function<bool()>& holds) {
    VTime deadline = later(board.now(), within);
    for (;;) {
      if (holds()) return Wait::kHeld;
      if (board.now() >= deadline) return Wait::kTimedOut;
      if (cut()) return Wait::kCut;
      pass(std::min(kPollStep, deadline - board.now()));
    }
  };
  auto end_early = [&](const Command& c) {
    if (stopped_early) *stopped_early = true;
    stopped_at_line_ = c.line;
    skip_rest("not reached: the run ended at " + format_duration(board.now()) + " (--until, or stopped)");
    return true;
  };
  // A halt is the board's failure, not the line's: the run stops, and the
  // expects from this line on were never reached.
  auto halted_at = [&](const Command& c) {
    stopped_at_line_ = c.line;
    *failure = board.halt_report();
    skip_rest("not reached: the board halted at " + format_duration(board.now()) + " (line " +
              std::to_string(c.line) + ")");
    return false;
  };
  // An expect whose wait the run cut short: after main returned nothing
  // will change, so it fails now; after a halt or at --until it is not judged.
  auto cut_short = [&](const Command& c, const std::string& not_yet) {
    if (board.main_returned())
      return fail(c, not_yet + " when main returned (" + std::to_string(board.main_result()) + ") at " +
                         format_duration(board.now()),
                  failure);
    return board.halted() ? halted_at(c) : end_early(c);
  };
  for (size_t i = 0; i < commands_.size(); ++i) {
    const Command& c = commands_[i];
    command_started_ = board.now();
    if (board.halted() && !board.main_returned()) return halted_at(c);
    if (board.now() >= until || stop_requested()) return end_early(c);
    switch (c.kind) {
      case Kind::kWait:
        // A signal in the script's last wait still ends it early, at that line.
        if (!pass(c.duration) && stop_requested()) return end_early(c);
        break;
      case Kind::kKey:
        board.keypad().key_down(c.number);
        pass(c.duration);
        board.keypad().key_up(c.number);
        pass(kPersonsPause);
        break;
      case Kind::kKeyDown: board.keypad().key_down(c.number); break;
      case Kind::kKeyUp: board.keypad().key_up(c.number); break;
      case Kind::kButton:
        board.buttons().press(static_cast<uint8_t>(c.number));
        pass(c.duration);
        board.buttons().release(static_cast<uint8_t>(c.number));
        pass(kPersonsPause);
        break;
      case Kind::kButtonDown: board.buttons().press(static_cast<uint8_t>(c.number)); break;
      case Kind::kButtonUp: board.buttons().release(static_cast<uint8_t>(c.number)); break;
      case Kind::kAdc: board.adc().set_input(c.x, static_cast<uint32_t>(c.number)); break;
      case Kind::kUart: {
        std::vector<uint8_t> bytes(c.text.begin(), c.text.end());
        if (c.number) board.uart1_input(bytes);
        else board.uart_input(bytes);
        break;
      }
      case Kind::kScreenshot: {
        board.screen(frame.data());
        std::string error;
        if (!write_lcd_png(c.text, frame.data(), error)) return fail(c, error, failure);
        break;
      }
      case Kind::kExpectLcd: {
        if (!board.font()) return fail(c, "the firmware has no `font` table to read the screen with", failure);
        const Wait r = wait_for(c.duration, [&] { return lcd_contains(screen_text(), c.text); });
        if (r == Wait::kCut) return cut_short(c, "not on the screen; it shows: " + describe_screen());
        if (r == Wait::kTimedOut)
          return fail(c, "not on the screen within " + c.duration_text + "; the screen shows: " + describe_screen(),
                      failure);
        break;
      }
      case Kind::kExpectNoLcd: {
        if (!board.font()) return fail(c, "the firmware has no `font` table to read the screen with", failure);
        const Wait r = c.has_within ? wait_for(c.duration, [&] { return !lcd_contains(screen_text(), c.text); })
                                    : lcd_contains(screen_text(), c.text) ? Wait::kTimedOut : Wait::kHeld;
        if (r == Wait::kCut) return cut_short(c, "the text is still on the screen");
        if (r == Wait::kTimedOut) return fail(c, "the text is on the screen; it shows: " + describe_screen(), failure);
        break;
      }
      case Kind::kExpectUart: {
        size_t& cursor = uart_cursor[c.number];
        size_t found = std::string::npos;
        const Wait r = wait_for(c.duration, [&] {
          found = uart_output(c.number).find(c.text, cursor);
          return found != std::string::npos;
        });
        if (r == Wait::kCut) return cut_short(c, "not sent on UART" + std::to_string(c.number));
        if (r == Wait::kTimedOut) {
          std::string since = uart_output(c.number).substr(cursor);
          if (since.size() > 200) since = "..." + since.substr(since.size() - 200);
          return fail(c, "not sent on UART" + std::to_string(c.number) + " within " + c.duration_text +
                         "; it sent since the last " + (c.number ? "uart1" : "uart") + " expect: \"" +
                         escaped(since) + "\"", failure);
        }
        cursor = found + c.text.size();
        break;
      }
      case Kind::kExpectLed: {
        bool lit = board.led_lit(c.number);
        if (lit != c.flag) return fail(c, std::string("the LED is ") + (lit ? "on" : "off"), failure);
        break;
      }
      case Kind::kExpectPixel: {
        board.screen(frame.data());
        int grey = frame[c.y * kLcdWidth + c.x];
        if (grey != c.number) return fail(c, "the pixel's grey level is " + std::to_string(grey), failure);
        break;
      }
      case Kind::kExpectScreen: {
        const std::vector<uint8_t>& want = *c.picture;
        const Wait r = wait_for(c.duration, [&] {
          board.screen(frame.data());
          return frame == want;
        });
        if (r == Wait::kCut) return cut_short(c, "not the picture");
        if (r == Wait::kTimedOut) {
          size_t differ = 0, first = 0;
          for (size_t k = frame.size(); k-- > 0;)
            if (frame[k] != want[k]) {
              ++differ;
              first = k;
            }
          return fail(c, "not the picture within " + c.duration_text + ": " + std::to_string(differ) +
                             " pixels differ, the first at " + std::to_string(first % kLcdWidth) + " " +
                             std::to_string(first / kLcdWidth) + " (grey " + std::to_string(frame[first]) +
                             " on the LCD, " + std::to_string(want[first]) + " in the picture)",
                      failure);
        }
        break;
      }
      case Kind::kExpectSegs:
      case Kind::kExpectDigit: {
        const SevenSegment& segs = board.seven_segment();
        auto holds = [&] { return c.kind == Kind::kExpectSegs ? segs.latch() == c.number : segs.shown() == c.number; };
        const Wait r = c.has_within ? wait_for(c.duration, holds) : holds() ? Wait::kHeld : Wait::kTimedOut;
        char latch[8];
        std::snprintf(latch, sizeof latch, "0x%02X", segs.latch());
        const char shown = segs.shown();
        const std::string now = std::string("the latch holds ") + latch + (shown == ' ' ? " (dark)" : shown == '?'
                                    ? " (no character)" : std::string(" (the digit shows ") + shown + ")");
        if (r == Wait::kCut) return cut_short(c, now);
        if (r == Wait::kTimedOut) return fail(c, c.has_within ? now + " after " + c.duration_text : now, failure);
        break;
      }
      case Kind::kRtc: board.rtc().set_start_time(c.rtc); break;
      case Kind::kEeprom: {
        At24c04::Image image = board.eeprom().contents();
        std::copy(c.text.begin(), c.text.end(), image.begin() + c.number);
        board.eeprom().set_contents(image);
        break;
      }
    }
    // A wait, key or button that a signal cut short did not happen as written.
    if (outcome_of_[i] == std::string::npos && stop_requested()) return end_early(c);
    if (outcome_of_[i] != std::string::npos) {
      Outcome& o = outcomes_[outcome_of_[i]];
      o.result = Outcome::kPassed;
      o.started = command_started_;
      o.ended = board.now();
    }
    if (board.halted() && !board.main_returned()) return halted_at(c);
  }
  if (board.halted() && !board.main_returned()) {
    *failure = board.halt_report();
    return false;
  }
  return true;
}

}  // namespace sim
