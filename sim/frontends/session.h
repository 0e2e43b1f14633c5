// What one run of board-sim was asked to do, shared by the command line and
// the front ends (headless, terminal, window).
#pragma once
#include <atomic>
#include <string>

#include "board/board.h"
#include "core/vtime.h"

namespace sim {

class GdbStub;
class Recorder;

struct Session {
  std::string firmware;
  std::string ui;              // "sdl", "term", "web" or "none"
  std::string script;          // scenario file, or empty
  VTime until = kForever;
  bool real_time = false;
  std::string uart_in, uart_out, trace, screenshot, fb_dump;
  bool lcd_text = false;
  std::string audio_out, audio_in, clips_dir;
  bool mic = false;
  std::string eeprom;          // the EEPROM image file
  bool eeprom_off = false;     // take the EEPROM off the bus
  std::string uart1_in, uart1_out;  // UART1's far end, as uart_in / uart_out for UART0
  uint32_t uart_baud = SerialTerminal::kDefaultBaud;  // both far ends' line rate, 8N1
  GdbStub* gdb = nullptr;      // --gdb: the debugger's hold on the run, or none
  std::string record;          // --record: the scenario file to write
  std::string junit;           // --junit: the report of --script's expects
  // Where the front ends tell the person's inputs (nullptr: not recording).
  Recorder* recorder = nullptr;
  bool verbose = false;        // also the reports that are not the user's to fix
  // --ui web: where the page is served.
  int web_port = 8044;         // 0: any free port
  std::string web_bind = "127.0.0.1";
  // The page's address behind a tunnel or a reverse proxy (--web-origin),
  // e.g. "https://lab.example.org"; empty: the address served.
  std::string web_origin;
};

// Set by SIGINT/SIGTERM: the run ends and the outputs are still written.
extern std::atomic<bool> g_stop_requested;

// How a front end's run to `until` ends: at a block's end when `until` is
// only the pace's (a frame's, a chunk's) and comes before `exact_at`, the
// next time an input is due (a key's release, a script's step, the
// session's end); exactly otherwise (Board::RunEnd).
inline Board::RunEnd paced_end(VTime until, VTime exact_at) {
  return until < exact_at ? Board::RunEnd::block_end : Board::RunEnd::exact;
}

// Runs the board in real time (when asked) until `until`, a halt or a stop
// request; `poll` runs between chunks of about 10 ms of virtual time. With
// gdb, the board runs as gdb lets it, and the run goes on while gdb holds
// the board (at a halt too) until gdb kills it, detaches or goes away.
void run_paced(Board& board, VTime until, bool real_time, const std::function<void()>& poll = {},
               GdbStub* gdb = nullptr);

// Runs the board to `until` (or a halt or a stop request) the way the front
// ends do with gdb attached: as gdb lets it, answering gdb meanwhile; while
// gdb holds the board, virtual time stands still. Without gdb, the board's
// own run_until.
void run_board(Board& board, GdbStub* gdb, VTime until, const std::function<bool()>& stop = {});

// The front ends. Each returns when the run is over; false if it could not
// start (the reason printed), so the caller may fall back.
bool run_terminal_ui(Board& board, const Session& session);
bool run_sdl_ui(Board& board, const Session& session);

}  // namespace sim
