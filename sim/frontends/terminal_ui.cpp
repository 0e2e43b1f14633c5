// board-sim's terminal mode: the whole phone from a plain terminal, over ssh
// too. UART0 is the terminal (raw: keys go to the firmware as typed, Enter
// as a carriage return). The text on the LCD, read with the firmware's own
// font, is printed as a block between two rules whenever it changes, with
// the LEDs and the 7-segment digit in the top rule (a firmware without a
// font gets the block too, for those). Keypad keys and the
// push-buttons go through the prefix key Ctrl-K:
//
//   Ctrl-K 0..15   keypad key, held 100 ms, then 150 ms before the next
//   Ctrl-K a, b    push-button 0x40, 0x80 (held the same way)
//   Ctrl-K l       print the LCD again      Ctrl-K f   fast-forward on/off
//   Ctrl-K ?       help                     Ctrl-K q   quit
//   Ctrl-K Ctrl-K  a Ctrl-K for the firmware
//
// Judgement calls:
// - A change of the LCD's text is printed once it has held for one check
//   (50 ms of virtual time), so a screen caught half drawn is not shown.
// - A change that only turns digits into other digits is printed only
//   within a second of virtual time after a key or button, and never for a
//   run that has been seen changing its digits on its own (the clock in the
//   status bar, once a second): stepping a date shows, the ticking clock
//   does not bury the console.
// - "Ctrl-K 1" waits half a second of wall time for a second digit (10..15);
//   a space or Enter ends the number at once.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <tuple>

#include "core/log.h"
#include "frontends/gdb_stub.h"
#include "frontends/interactive.h"
#include "frontends/lcd_text.h"
#include "frontends/recorder.h"
#include "frontends/session.h"

namespace sim {

namespace {

constexpr VTime kHold = 100 * kMillisecond;
constexpr VTime kPause = 150 * kMillisecond;
constexpr VTime kCheckEvery = 50 * kMillisecond;
constexpr VTime kInputShowsDigits = kSecond;
constexpr auto kSecondDigitWait = std::chrono::milliseconds(500);
constexpr uint8_t kPrefix = 0x0B;  // Ctrl-K
constexpr int kRuleWidth = 60;

const char kOneLineHelp[] = "board-sim: Ctrl-K 0..15 keypad key, Ctrl-K a/b button 0x40/0x80, Ctrl-K ? help\n";

const char kHelp[] =
    "  What you type goes to UART0's receiver (Enter sends a carriage return), except after Ctrl-K:\n"
    "  Ctrl-K 0..15   keypad key k (held 100 ms); Ctrl-K 1 waits 0.5 s for 10..15, or type Ctrl-K 1 Space\n"
    "  Ctrl-K a / b   push-button 0x40 (step) / 0x80 (accept)\n"
    "  Ctrl-K l       print the LCD again      Ctrl-K f   fast-forward on/off\n"
    "  Ctrl-K q       quit (Ctrl-C too)        Ctrl-K Ctrl-K   a Ctrl-K for the console\n"
    "  The phone: keys 0..4 pick main-menu lines 1..5; keys 0 1 2 / 4 5 6 / 8 9 10 / 13 dial 1..9 / 0,\n"
    "  key 14 calls, key 15 goes back; in the date and time editors 0x40 steps and 0x80 accepts.\n";

struct Press {
  bool button = false;
  int code = 0;  // key 0..15, or the button's mask
};

bool same_text(const std::vector<TextRun>& a, const std::vector<TextRun>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].x != b[i].x || a[i].y != b[i].y || a[i].size != b[i].size || a[i].text != b[i].text) return false;
  return true;
}

using RunPlace = std::tuple<int, int, int>;  // x, y, size

// When the two screens differ only in digits, the places of the runs that
// differ; otherwise nothing.
std::optional<std::set<RunPlace>> digit_changes(const std::vector<TextRun>& a, const std::vector<TextRun>& b) {
  if (a.size() != b.size()) return std::nullopt;
  std::set<RunPlace> places;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].x != b[i].x || a[i].y != b[i].y || a[i].size != b[i].size || a[i].text.size() != b[i].text.size())
      return std::nullopt;
    for (size_t j = 0; j < a[i].text.size(); ++j) {
      char p = a[i].text[j], q = b[i].text[j];
      if (p == q) continue;
      if (!std::isdigit(static_cast<unsigned char>(p)) || !std::isdigit(static_cast<unsigned char>(q)))
        return std::nullopt;
      places.insert({a[i].x, a[i].y, a[i].size});
    }
  }
  return places;
}

size_t display_width(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// The runs laid out as lines of a 40-column text screen: one line per text
// row (runs less than half a cell apart in y share it), each run at its
// column x / 8.
std::vector<std::string> layout(const std::vector<TextRun>& runs) {
  std::vector<std::string> lines;
  int line_y = -100;
  size_t width = 0;
  for (const TextRun& r : runs) {  // sorted by y, then x
    if (r.y - line_y > 8) {
      lines.emplace_back();
      line_y = r.y;
      width = 0;
    }
    size_t column = static_cast<size_t>(r.x / 8);
    if (width > 0 && column <= width) column = width + 1;
    lines.back().append(column - width, ' ');
    lines.back() += r.text;
    width = column + display_width(r.text);
  }
  return lines;
}

class TerminalMode {
 public:
  TerminalMode(Board& board, const Session& session) : board_(board), session_(session), pacer_(board.now()) {
    if (board.font()) finder_ = std::make_unique<LcdTextFinder>(board.font());
  }
  void run();

 private:
  void feed(uint8_t byte);
  void to_console(uint8_t byte);
  void take_number(int key);
  void queue_press(Press p) { presses_.push_back(p); }
  void do_presses();
  VTime next_press_event() const;
  void advance();
  void check_screen(bool force);
  void print_block(const std::vector<TextRun>& runs);
  std::string indicators() const;
  void out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }
  void note(const std::string& text);
  // gdb (--gdb) keeps the board still (or ended the program): nothing
  // runs, virtual time stands.
  bool held() const { return session_.gdb && (session_.gdb->holding() || session_.gdb->killed()); }
  void run_board(VTime until, Board::RunEnd end);
  void follow_gdb();

  Board& board_;
  const Session& session_;
  RawConsole console_;
  Pacer pacer_;
  std::unique_ptr<LcdTextFinder> finder_;
  bool done_ = false;

  // The prefix key.
  enum class Prefix { kNone, kWaiting, kAfterOne } prefix_ = Prefix::kNone;
  std::chrono::steady_clock::time_point after_one_since_;

  // Presses, one at a time.
  std::deque<Press> presses_;
  std::optional<Press> held_;
  VTime release_at_ = 0;
  VTime next_free_ = 0;
  std::optional<VTime> last_press_;

  // What the terminal shows.
  std::string console_tail_;  // console output since its last line end
  std::vector<uint8_t> frame_ = std::vector<uint8_t>(kLcdWidth * kLcdHeight);
  VTime next_check_ = 0;
  std::vector<TextRun> printed_, candidate_;
  bool have_candidate_ = false;
  std::set<RunPlace> ticking_;  // runs seen changing their digits on their own
  std::string printed_indicators_, candidate_indicators_;
  std::string hold_shown_;  // the gdb hold last printed
};

void TerminalMode::run_board(VTime until, Board::RunEnd end) {
  auto stop = [] { return g_stop_requested.load(); };
  if (session_.gdb) session_.gdb->run_until(until, stop);
  else board_.run_until(until, stop, end);
}

// Answers gdb, and says once whenever its hold on the board begins, moves
// or ends.
void TerminalMode::follow_gdb() {
  if (!session_.gdb) return;
  session_.gdb->poll(0);
  if (session_.gdb->killed()) {
    done_ = true;
    return;
  }
  std::string hold = session_.gdb->hold_text();
  if (hold == hold_shown_) return;
  if (!hold.empty()) note(hold + "; virtual time stands still");
  else note("gdb lets the board run");
  if (hold.empty()) pacer_.restart(board_.now());
  hold_shown_ = hold;
  std::fflush(stdout);
}

void TerminalMode::note(const std::string& text) {
  out((console_tail_.empty() ? "" : "\n") + std::string("-- ") + text + " --\n" + console_tail_);
}

void TerminalMode::take_number(int key) {
  queue_press({false, key});
  prefix_ = Prefix::kNone;
}

void TerminalMode::to_console(uint8_t b) {
  board_.uart_input({b});
  if (session_.recorder) session_.recorder->console({b}, board_.now());
}

void TerminalMode::feed(uint8_t b) {
  switch (prefix_) {
    case Prefix::kNone:
      if (b == kPrefix) prefix_ = Prefix::kWaiting;
      else to_console(b);
      return;
    case Prefix::kAfterOne:
      if (b >= '0' && b <= '5') {
        take_number(10 + (b - '0'));
        return;
      }
      take_number(1);
      if (b == ' ' || b == '\r' || b == '\n') return;
      feed(b);
      return;
    case Prefix::kWaiting:
      prefix_ = Prefix::kNone;
      if (b == '1') {
        prefix_ = Prefix::kAfterOne;
        after_one_since_ = std::chrono::steady_clock::now();
      } else if (b >= '0' && b <= '9') {
        take_number(b - '0');
      } else if (b == 'a' || b == 'A') {
        queue_press({true, 0x40});
      } else if (b == 'b' || b == 'B') {
        queue_press({true, 0x80});
      } else if (b == 'l' || b == 'L') {
        check_screen(true);
      } else if (b == 'f' || b == 'F') {
        pacer_.set_fast(!pacer_.fast(), board_.now());
        note(pacer_.fast() ? "fast-forward" : "real time");
      } else if (b == 'q' || b == 'Q') {
        done_ = true;
      } else if (b == '?' || b == 'h' || b == 'H') {
        out(std::string(console_tail_.empty() ? "" : "\n") + kHelp + console_tail_);
      } else if (b == kPrefix) {
        to_console(kPrefix);
      } else {
        out("\a");
      }
      return;
  }
}

// What a queued press is on the board: a keypad key or a push-button.
view::Target target(const Press& p) {
  return {p.button ? view::Target::kButton : view::Target::kKey, p.code};
}

void TerminalMode::do_presses() {
  VTime now = board_.now();
  if (held_ && now >= release_at_) {
    apply_target(board_, session_.recorder, target(*held_), false);
    held_.reset();
    next_free_ = now + kPause;
  }
  if (!held_ && !presses_.empty() && now >= next_free_) {
    held_ = presses_.front();
    presses_.pop_front();
    apply_target(board_, session_.recorder, target(*held_), true);
    release_at_ = now + kHold;
    last_press_ = now;
  }
}

VTime TerminalMode::next_press_event() const {
  if (held_) return release_at_;
  if (!presses_.empty()) return std::max(next_free_, board_.now() + 1);
  return kForever;
}

void TerminalMode::advance() {
  auto step_to = [&](VTime goal) {
    while (!board_.halted() && board_.now() < goal && !g_stop_requested && !held()) {
      // (the screen's next look is the pace's too)
      const VTime press = next_press_event(), stop = std::min({goal, press, next_check_});
      run_board(std::max(stop, board_.now() + 1), paced_end(stop, std::min(press, session_.until)));
      do_presses();
      if (board_.now() >= next_check_) check_screen(false);
    }
  };
  if (pacer_.fast()) {
    auto start = std::chrono::steady_clock::now();
    while (!board_.halted() && !g_stop_requested && board_.now() < session_.until && !held() &&
           std::chrono::steady_clock::now() - start < std::chrono::milliseconds(15))
      step_to(std::min(board_.now() + 10 * kMillisecond, session_.until));
  } else {
    step_to(std::min(pacer_.due(board_.now()), session_.until));
  }
  do_presses();
}

std::string TerminalMode::indicators() const {
  std::string text = std::string("LED PB9 ") + (board_.led_lit(9) ? "ON" : "off") + "  PB10 " +
                     (board_.led_lit(10) ? "ON" : "off");
  char digit = board_.seven_segment().shown();
  if (digit == '?') {
    char latch[8];
    std::snprintf(latch, sizeof latch, "0x%02X", board_.seven_segment().latch());
    text += std::string("  7-seg ") + latch;
  } else if (digit != ' ') {
    text += std::string("  7-seg ") + digit;
  }
  return text;
}

void TerminalMode::check_screen(bool force) {
  next_check_ = board_.now() + kCheckEvery;
  // Without the firmware's font the block still shows the LEDs and the digit.
  std::vector<TextRun> runs;
  if (finder_) {
    board_.screen(frame_.data());
    runs = finder_->find(frame_.data());
  }
  std::string now_indicators = indicators();

  if (force) {
    print_block(runs);
    printed_indicators_ = now_indicators;
    return;
  }
  // Runs that tick on their own are no news: neither their digits nor their
  // coming and going (a cleared screen, the clock drawn again a moment later).
  auto steady = [&](const std::vector<TextRun>& all) {
    std::vector<TextRun> kept;
    for (const TextRun& r : all)
      if (!ticking_.count({r.x, r.y, r.size})) kept.push_back(r);
    return kept;
  };
  bool unchanged = now_indicators == printed_indicators_ && same_text(steady(runs), steady(printed_));
  if (unchanged) {
    have_candidate_ = false;
    return;
  }
  // Wait until the new picture has held for one check.
  if (!have_candidate_ || !same_text(runs, candidate_) || now_indicators != candidate_indicators_) {
    candidate_ = runs;
    candidate_indicators_ = now_indicators;
    have_candidate_ = true;
    return;
  }
  have_candidate_ = false;
  if (now_indicators == printed_indicators_) {
    if (auto places = digit_changes(runs, printed_)) {
      bool recent_input = last_press_ && board_.now() - *last_press_ <= kInputShowsDigits;
      bool all_ticking = std::includes(ticking_.begin(), ticking_.end(), places->begin(), places->end());
      if (!recent_input) ticking_.insert(places->begin(), places->end());
      if (all_ticking || !recent_input) return;
    }
  }
  print_block(runs);
  printed_indicators_ = now_indicators;
}

void TerminalMode::print_block(const std::vector<TextRun>& runs) {
  printed_ = runs;
  std::string top = "== LCD ";
  const std::string shown = indicators();
  top.append(kRuleWidth - top.size() - shown.size() - 4, '=');
  top += " " + shown + " ==";

  std::string block = console_tail_.empty() ? "" : "\n";
  block += top + "\n";
  for (const std::string& line : layout(runs)) block += "  " + line + "\n";
  if (!finder_) block += "  (the LCD's text needs the firmware's `font` table)\n";
  else if (runs.empty()) block += "  (no text)\n";
  block += std::string(kRuleWidth, '=') + "\n";
  block += console_tail_;  // the console's unfinished line, e.g. a prompt
  out(block);
  std::fflush(stdout);
}

void TerminalMode::run() {
  board_.add_console_listener([this](uint8_t b) {
    std::fputc(b, stdout);
    note_stdout_byte(b);
    if (b == '\n' || b == '\r') console_tail_.clear();
    else console_tail_.push_back(static_cast<char>(b));
  });
  printed_indicators_ = indicators();  // a dark board with a blank LCD prints nothing
  out(kOneLineHelp);
  if (!finder_)
    out("board-sim: the firmware has no `font` table, so the LCD's text cannot be shown here (the LEDs and the "
        "7-segment digit are)\n");
  if (session_.mic) out("board-sim: --mic needs the window; the codec's input hears --audio-in or silence\n");
  std::fflush(stdout);

  // With gdb, a halted board stays for gdb to look at until it lets go.
  while (!done_ && !g_stop_requested && (!board_.halted() || held()) && board_.now() < session_.until) {
    follow_gdb();
    for (uint8_t b : console_.read_available()) feed(b);
    if (prefix_ == Prefix::kAfterOne && std::chrono::steady_clock::now() - after_one_since_ >= kSecondDigitWait)
      take_number(1);
    advance();
    std::fflush(stdout);
    if (!pacer_.fast() || held()) {
      // Wakes at once for a key; at the end of the input, poll would not wait.
      pollfd p{STDIN_FILENO, POLLIN, 0};
      if (console_.at_end()) usleep(5000);
      else ::poll(&p, 1, 5);
    }
  }
  if (board_.halted()) check_screen(true);
  // What follows board-sim in the terminal starts on a line of its own.
  if (!console_tail_.empty()) out("\n");
  std::fflush(stdout);
}

}  // namespace

bool run_terminal_ui(Board& board, const Session& session) {
  TerminalMode mode(board, session);
  mode.run();
  return true;
}

}  // namespace sim
