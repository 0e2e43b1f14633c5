// --ui web: the board in a browser page served by board-sim (web_server.h),
// for labs where board-sim runs on another machine and for a projector.
//
// The page shows what the window shows (the LCD in its 16 greys, the keypad
// with what each key does, the push-buttons, the LEDs, the 7-segment digit,
// the status line) and is UART0's console; the sound plays in the page. The
// board runs here, on the caller's thread, paced to the wall clock as in the
// window; the page's inputs are applied between slices of the run, so a run
// stays deterministic for the inputs it got.
//
// Judgement calls:
// - As in the window, a key or button is held as long as the page holds it
//   but at least kMinHold of virtual time, and fast-forward slows to real
//   time while something is held.
// - UART0 is the page's console pane (board-sim's main also copies it to
//   stdout, as with --script); stdin is not read: board-sim may run in the
//   background of a server's shell.
// - With --script the scenario drives the board and the pages watch it run
//   in real time: the driving page may fast-forward or quit, its keys and
//   console input are ignored. The run ends with the scenario, as headless.
// - Console input the firmware has not read yet is bounded as a terminal's
//   line buffer is (kConsoleInputLimit); what does not fit is dropped and
//   the page told.
// - A halted board stays on the page with the reason in the status line
//   until the driving page quits or board-sim is stopped, as in the window.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "board/board.h"
#include "frontends/board_view.h"
#include "frontends/interactive.h"
#include "frontends/key_holds.h"
#include "frontends/live_audio.h"
#include "frontends/session.h"
#include "frontends/web_protocol.h"
#include "frontends/web_server.h"

namespace sim {

class WebFrontEnd {
 public:
  static constexpr VTime kMinHold = KeyHolds::kMinHold;

  WebFrontEnd(Board& board, const Session& session);
  ~WebFrontEnd();
  WebFrontEnd(const WebFrontEnd&) = delete;
  WebFrontEnd& operator=(const WebFrontEnd&) = delete;

  // Listens (session.web_bind, session.web_port) and prints the address to
  // open; false with the reason.
  bool start(std::string* error);
  // The interactive run: until the driving page quits, a stop request,
  // or session.until.
  void run();
  // How a scenario lets time pass while pages watch: runs to `target` in
  // real time (or fast-forward), exchanging with the pages on the way.
  // False when the run must end now (the driving page quit, Ctrl-C).
  bool advance(VTime target);
  // One exchange with the pages: their inputs applied to the board, the
  // board's picture and state published. For a loop that runs the board
  // itself (a debugger's), between its chunks.
  void poll();
  // Tells the pages how the run ended (`result`: e.g. a script's failure,
  // may be empty) and closes them.
  void finish(const std::string& result);

  bool quit_requested() const { return quit_; }

  // Every input the driving page applies, when it reaches the board (for a
  // recorder of what the person did).
  std::function<void(const web::PageInput& input, VTime at)> on_input;

 private:
  class AudioOut;

  void apply_inputs();
  // What of the page's console bytes may go to UART0 now (the rest is
  // dropped and counted).
  std::vector<uint8_t> console_input(const std::string& typed);
  void tell_console_drops();
  void apply(const web::PageInput& input);
  void run_to(VTime goal);
  // Runs the board towards `until`, through gdb's hold when --gdb is on.
  void run_board_to(VTime until, Board::RunEnd end = Board::RunEnd::exact);
  // gdb (--gdb) keeps the board still, or ended the program.
  bool held() const;
  void follow_gdb();
  void advance_interactive();
  void publish();
  std::string state_json();
  std::string hello_json() const;

  Board& board_;
  const Session& session_;
  WebServer server_;
  Pacer pacer_;
  std::unique_ptr<AudioOut> audio_out_;
  std::unique_ptr<LiveAudioSink> audio_sink_;
  KeyHolds holds_;
  std::string console_out_;
  std::vector<uint8_t> lcd_, last_lcd_;
  std::string last_state_;
  std::chrono::steady_clock::time_point last_state_wall_;
  bool sound_muted_ = true;
  bool quit_ = false;
  bool finished_ = false;
  bool was_held_ = false;
  VTime console_busy_until_ = 0;  // when the console bytes sent so far have left
  uint64_t console_dropped_ = 0, console_dropped_total_ = 0;
  std::chrono::steady_clock::time_point console_told_{};
};

}  // namespace sim
