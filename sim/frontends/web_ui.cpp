#include "frontends/web_ui.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "frontends/console_input.h"
#include "frontends/gdb_stub.h"
#include "frontends/recorder.h"

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;
using view::Target;

constexpr auto kFrame = std::chrono::milliseconds(16);
constexpr VTime kFrameVirtual = 16 * kMillisecond;
constexpr VTime kFastChunk = 10 * kMillisecond;
// The time in the status line moves on every frame; alone, it is sent this
// often.
constexpr auto kStateEvery = std::chrono::milliseconds(100);

std::string hex_colour(uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", rgb & 0xFFFFFFu);
  return text;
}

const char* json_bool(bool v) { return v ? "true" : "false"; }

Clock::duration wall(VTime t) { return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(t / kNanosecond)); }

}  // namespace

// The page's sound. Frames are gathered between two exchanges and sent as
// one message; how much the page has still to play is estimated from the
// wall clock (the page plays them one after the other at the board's rate),
// which is what LiveAudioSink needs to keep the stream in time.
class WebFrontEnd::AudioOut : public AudioOutputDevice {
 public:
  explicit AudioOut(WebServer& server) : server_(server) {}
  unsigned rate() const override { return chip::kBoardSampleRate; }
  void queue(const AudioFrame* frames, size_t count) override { pending_.insert(pending_.end(), frames, frames + count); }
  size_t queued() const override {
    auto now = Clock::now();
    double ahead = end_ > now ? std::chrono::duration<double>(end_ - now).count() : 0.0;
    return pending_.size() + static_cast<size_t>(ahead * rate());
  }
  void send() {
    if (pending_.empty()) return;
    server_.publish_audio(pending_.data(), pending_.size());
    auto now = Clock::now();
    end_ = std::max(end_, now) + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(static_cast<double>(pending_.size()) / rate()));
    pending_.clear();
  }

 private:
  WebServer& server_;
  std::vector<AudioFrame> pending_;
  Clock::time_point end_{};
};

WebFrontEnd::WebFrontEnd(Board& board, const Session& session)
    : board_(board), session_(session), pacer_(board.now()), holds_(board, session), lcd_(kLcdWidth * kLcdHeight) {}

WebFrontEnd::~WebFrontEnd() { finish({}); }

std::string WebFrontEnd::hello_json() const {
  std::string j = "{\"t\":\"hello\",\"firmware\":" + web::json_string(session_.firmware) +
                  ",\"script\":" + web::json_string(session_.script) +
                  ",\"rate\":" + std::to_string(chip::kBoardSampleRate) + ",\"width\":" + std::to_string(kLcdWidth) +
                  ",\"height\":" + std::to_string(kLcdHeight) + ",\"maxUart\":" + std::to_string(web::kMaxUartBytes);
  j += ",\"palette\":[";
  for (int level = 0; level < 16; ++level) j += (level ? "," : "") + web::json_string(hex_colour(view::lcd_colour(level)));
  j += "],\"keys\":[";
  for (int k = 0; k < 16; ++k) {
    j += k ? "," : "";
    j += "{\"meaning\":" + web::json_string(view::key_meaning(k)) + ",\"menu\":" +
         std::to_string(view::key_menu_line(k)) + ",\"shortcut\":" +
         web::json_string(std::string(1, view::key_shortcut(k))) + "}";
  }
  j += "],\"buttons\":[";
  const struct {
    uint8_t mask;
    const char* does;
  } kButtons[] = {{0x40, "step"}, {0x80, "accept"}};
  for (const auto& b : kButtons) {
    j += b.mask == 0x40 ? "" : ",";
    j += "{\"mask\":" + std::to_string(b.mask) + ",\"does\":" + web::json_string(b.does) +
         ",\"shortcut\":" + web::json_string(std::string(1, view::button_shortcut(b.mask))) + "}";
  }
  // The window's help, with the page's own controls instead of the window's.
  j += "],\"help\":[";
  bool first = true;
  auto line = [&](const std::string& text) {
    j += (first ? "" : ",") + web::json_string(text);
    first = false;
  };
  for (const std::string& text : view::help_lines()) {
    if (text == "Window") break;
    line(text);
  }
  for (const char* text : {
           "Page",
           "  Tab           fast-forward on/off (real time by default)",
           "  F12           screenshot: the LCD as a PNG download",
           "  F1 or ?       this help          Ctrl-Q  quit board-sim (the driving page)",
           "  console       UART0: type a line, Enter sends it with a carriage return",
           "  Sound         plays the board's sound in this page",
           "  the first page open drives the board; the others watch",
       })
    line(text);
  j += "]}";
  return j;
}

bool WebFrontEnd::start(std::string* error) {
  if (!session_.web_origin.empty()) {
    std::string origin;
    if (!web::parse_origin(session_.web_origin, &origin, error)) {
      *error = "--web-origin: " + *error;
      return false;
    }
    server_.set_public_origin(origin);
  }
  if (!server_.start(session_.web_bind, session_.web_port, web::new_token(), hello_json(), error)) return false;
  audio_out_ = std::make_unique<AudioOut>(server_);
  audio_sink_ = std::make_unique<LiveAudioSink>(*audio_out_);
  audio_sink_->set_muted(true);  // until a page asks for the sound
  board_.add_audio_sink(audio_sink_.get());
  board_.add_console_listener([this](uint8_t b) { console_out_.push_back(static_cast<char>(b)); });
  log_warning("web", "open " + server_.url() + " in a browser" +
                         (session_.script.empty() ? std::string() : " to watch the script run"));
  publish();
  return true;
}

void WebFrontEnd::apply(const web::PageInput& in) {
  using web::Op;
  switch (in.op) {
    case Op::kQuit: quit_ = true; break;
    case Op::kFast: pacer_.set_fast(in.code != 0, board_.now()); break;
    default:
      // With a script, the scenario alone drives the board.
      if (!session_.script.empty()) return;
      switch (in.op) {
        case Op::kKeyDown:
        case Op::kKeyUp: holds_.hold({Target::kKey, in.code}, in.op == Op::kKeyDown); break;
        case Op::kButtonDown:
        case Op::kButtonUp: holds_.hold({Target::kButton, in.code}, in.op == Op::kButtonDown); break;
        case Op::kUart: {
          std::vector<uint8_t> bytes = console_input(in.bytes);
          if (bytes.empty()) return;
          board_.uart_input(bytes);
          if (session_.recorder) session_.recorder->console(bytes, board_.now());
          if (on_input) on_input({Op::kUart, 0, std::string(bytes.begin(), bytes.end())}, board_.now());
          return;
        }
        case Op::kReleaseAll: {
          std::vector<Target> held;
          for (const auto& [t, since] : holds_.down()) held.push_back(t);
          for (const Target& t : held) holds_.hold(t, false);
          break;
        }
        default: return;
      }
  }
  if (on_input) on_input(in, board_.now());
}

// The console's bytes leave for the UART at the line rate, back to back; the
// page may type far faster. As a terminal's line buffer, at most
// kConsoleInputLimit bytes wait: what fits goes, the rest is dropped and
// the page is told how much (one note a second at most, and one line on
// stderr the first time).
std::vector<uint8_t> WebFrontEnd::console_input(const std::string& typed) {
  const SerialTerminal& far = board_.uart0().far_end();
  const VTime byte_time = far.clock().bits(10);  // 8N1
  const VTime now = board_.now();
  uint64_t waiting = console_busy_until_ > now ? (console_busy_until_ - now + byte_time - 1) / byte_time : 0;
  size_t room = waiting >= kConsoleInputLimit ? 0 : kConsoleInputLimit - waiting;
  size_t take = std::min(room, typed.size());
  console_busy_until_ = std::max(console_busy_until_, now) + take * byte_time;
  if (take < typed.size()) {
    if (console_dropped_total_ == 0)
      log_warning("web", "the page types faster than UART0 takes it: past " + std::to_string(kConsoleInputLimit) +
                             " bytes waiting, console input is dropped (the page is told how much)");
    console_dropped_ += typed.size() - take;
    console_dropped_total_ += typed.size() - take;
  }
  return std::vector<uint8_t>(typed.begin(), typed.begin() + static_cast<std::ptrdiff_t>(take));
}

void WebFrontEnd::tell_console_drops() {
  auto now = Clock::now();
  if (console_dropped_ == 0 || now - console_told_ < std::chrono::seconds(1)) return;
  server_.publish_note("console: " + std::to_string(console_dropped_) + " bytes dropped: the firmware has not read the " +
                       std::to_string(kConsoleInputLimit) + " bytes typed before them yet");
  console_dropped_ = 0;
  console_told_ = now;
}

void WebFrontEnd::apply_inputs() {
  for (const web::PageInput& in : server_.take_inputs()) apply(in);
}

void WebFrontEnd::run_board_to(VTime until, Board::RunEnd end) {
  auto stop = [] { return g_stop_requested.load(); };
  if (session_.gdb) session_.gdb->run_until(until, stop);
  else board_.run_until(until, stop, end);
}

bool WebFrontEnd::held() const {
  return session_.gdb && (session_.gdb->holding() || session_.gdb->killed());
}

void WebFrontEnd::follow_gdb() {
  if (!session_.gdb) return;
  session_.gdb->poll(0);
  if (session_.gdb->killed()) quit_ = true;
  // Time stood still: the wall clock's lead is no debt to pay back.
  if (was_held_ && !held()) pacer_.restart(board_.now());
  was_held_ = held();
}

// Runs the board to `goal`, stopping at every pending release on the way.
void WebFrontEnd::run_to(VTime goal) {
  while (!board_.halted() && board_.now() < goal && !g_stop_requested && !held()) {
    const VTime release = holds_.next_release(), until = std::min(goal, release);
    run_board_to(until, paced_end(until, std::min(release, session_.until)));
    holds_.apply_releases();
  }
}

void WebFrontEnd::advance_interactive() {
  if (board_.halted()) return;
  const VTime until = session_.until;
  if (pacer_.fast() && holds_.busy()) {
    // A held key would repeat for many virtual seconds: about real time
    // until it is let go.
    run_to(std::min(board_.now() + kFrameVirtual, until));
  } else if (pacer_.fast()) {
    auto start = Clock::now();
    while (!board_.halted() && Clock::now() - start < kFrame && board_.now() < until && !g_stop_requested)
      run_to(std::min(board_.now() + kFastChunk, until));
  } else {
    run_to(std::min(pacer_.due(board_.now()), until));
  }
}

std::string WebFrontEnd::state_json() {
  uint16_t keys = 0;
  for (int k = 0; k < 16; ++k)
    if (board_.keypad().held(k)) keys |= static_cast<uint16_t>(1u << k);
  return ",\"codec\":" + web::json_string(codec_status(board_)) + ",\"eeprom\":" +
         web::json_string(board_.eeprom_path()) + ",\"halt\":" +
         web::json_string(board_.halted()                          ? board_.halt_reason()
                          : session_.gdb && session_.gdb->holding() ? session_.gdb->hold_text() +
                                                                          ": time stands still"
                                                                    : std::string()) +
         ",\"fast\":" +
         json_bool(pacer_.fast()) + ",\"leds\":{\"left\":" + json_bool(board_.led_lit(9)) + ",\"right\":" +
         json_bool(board_.led_lit(10)) + "},\"segments\":" + std::to_string(board_.segment_latch()) +
         ",\"keys\":" + std::to_string(keys) + ",\"buttons\":" + std::to_string(board_.buttons().state()) + "}";
}

void WebFrontEnd::publish() {
  tell_console_drops();
  if (!console_out_.empty()) {
    server_.publish_console(console_out_);
    console_out_.clear();
  }
  board_.screen(lcd_.data());
  if (lcd_ != last_lcd_) {
    server_.publish_frame(lcd_.data());
    last_lcd_ = lcd_;
  }
  if (audio_sink_) {
    bool muted = !server_.sound_wanted() || pacer_.fast();
    if (muted != sound_muted_) audio_sink_->set_muted(muted);
    sound_muted_ = muted;
    audio_out_->send();
  }
  // Everything but the time and the speed, to see whether it changed.
  std::string rest = state_json();
  auto now = Clock::now();
  if (rest != last_state_ || now - last_state_wall_ >= kStateEvery) {
    server_.publish_state("{\"t\":\"state\",\"time\":" + web::json_string(format_seconds(board_.now())) +
                          ",\"speed\":" + web::json_string(format_speed(pacer_.speed(board_.now()), pacer_.fast())) +
                          rest);
    last_state_ = rest;
    last_state_wall_ = now;
  }
}

void WebFrontEnd::poll() {
  apply_inputs();
  publish();
}

void WebFrontEnd::run() {
  while (!quit_ && !g_stop_requested) {
    auto frame_start = Clock::now();
    apply_inputs();
    follow_gdb();
    if (quit_) break;
    advance_interactive();
    publish();
    if (board_.now() >= session_.until) break;
    if (!pacer_.fast() || board_.halted() || held()) server_.wait_for_input(frame_start + kFrame);
  }
}

bool WebFrontEnd::advance(VTime target) {
  while (board_.now() < target && !board_.halted()) {
    auto frame_start = Clock::now();
    apply_inputs();
    follow_gdb();
    if (quit_ || g_stop_requested) return false;
    if (held()) {
      publish();
      server_.wait_for_input(frame_start + kFrame);
      continue;
    }
    if (pacer_.fast()) {
      while (board_.now() < target && !board_.halted() && Clock::now() - frame_start < kFrame && !g_stop_requested &&
             !held())
        run_board_to(std::min(target, board_.now() + kFastChunk), paced_end(board_.now() + kFastChunk, target));
      publish();
      continue;
    }
    VTime due = pacer_.due(board_.now());
    run_board_to(std::min(target, due), paced_end(due, target));
    publish();
    // Ahead of the wall clock: wait for it, or for the page.
    if (board_.now() < target)
      server_.wait_for_input(std::min(frame_start + kFrame, Clock::now() + wall(std::min(target - board_.now(), kFrameVirtual))));
  }
  return !quit_ && !g_stop_requested;
}

void WebFrontEnd::finish(const std::string& result) {
  if (finished_ || !audio_sink_) return;
  finished_ = true;
  publish();
  std::string why = !result.empty()            ? result
                    : quit_                    ? "the driving page quit board-sim"
                    : g_stop_requested         ? "board-sim was stopped"
                    : board_.halted()          ? "halted: " + board_.halt_reason()
                    : board_.now() >= session_.until ? "the run reached its --until time"
                                               : "the run is over";
  server_.stop("{\"t\":\"end\",\"why\":" + web::json_string(why) + "}");
  audio_sink_->set_muted(true);
}

}  // namespace sim
