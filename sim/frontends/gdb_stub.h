// A server of GDB's remote serial protocol for the board, so that
// `gdb-multiarch FIRMWARE.elf -ex 'target remote :PORT'` debugs the firmware
// running on the simulated board: registers, memory, breakpoints, steps and
// continues, Ctrl-C, and `monitor` commands for the board (its peripheral
// registers by name, keys, buttons, console input, the virtual time).
//
// The stub does not own the run: the front end's loop (window, terminal,
// scenario or the headless runner) drives the board through run_until()
// and calls poll() between its chunks, so keys, buttons and the console
// keep working whenever gdb lets the board run. While gdb holds the board
// stopped (and before the first debugger continues) run_until() does not
// run it: virtual time stands still. A step or a continue advances the
// clock exactly as a run without a debugger does.
//
// One debugger at a time: another connection meanwhile is closed at once,
// with a note on stderr. After `detach` (or a dropped connection) the
// board runs on, and the next debugger to connect stops it where it is.
//
// Memory reads reach SDRAM and the monitor's ROM, writes SDRAM only. The
// device registers are not served as memory: a read of one can change the
// device (a UART's receive register, an error flag), which a debugger's look
// must not. `monitor reg NAME` and `monitor regs BLOCK` show them through
// Device::peek instead, by their names in the manual.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "board/board.h"
#include "core/vtime.h"

namespace sim {

// A CPSR value the ARM7TDMI can hold: its mode bits name one of the seven
// modes, and the bits ARMv4T leaves reserved (27..8) are clear. Anything
// else written to the emulated core would take the emulator down.
bool valid_arm7tdmi_cpsr(uint32_t cpsr);

// gdb's byte stream cut into what it means: packets ($...#cs) with their
// checksum's verdict, acks, and Ctrl-C between packets. A packet longer than
// max_payload is refused as it grows (never kept whole) and the stream taken
// up again at the next '$' (which no packet holds unescaped); so whatever a
// client sends, at most one packet's bytes are held between calls.
class RspInput {
 public:
  struct Event {
    enum Kind { kPacket, kTooLong, kAck, kNack, kInterrupt } kind;
    std::string payload;     // kPacket
    bool checksum_ok = true;  // kPacket
  };
  explicit RspInput(size_t max_payload) : max_payload_(max_payload) {}
  // Takes bytes; each thing they complete is appended to *events.
  void feed(const char* data, size_t n, std::vector<Event>* events);
  void reset();
  size_t held() const { return payload_.size(); }

 private:
  enum class State { kIdle, kPayload, kSum1, kSum2, kSkip };
  State state_ = State::kIdle;
  size_t max_payload_;
  std::string payload_;
  int sum_high_ = 0;  // the checksum's first digit (-1: not hex)
};

class GdbStub {
 public:
  // The largest packet gdb may send (as qSupported says), and so the largest
  // memory reply.
  static constexpr size_t kPacketSize = 0x4000;
  // What may wait to go to a debugger that does not read it; past this it
  // is dropped rather than let the stub's memory grow or the board wait.
  static constexpr size_t kMaxPendingOutput = 256u << 10;

  struct Options {
    VTime until = kForever;         // the run ends there: gdb is told the program exited
    std::function<void()> on_halt;  // once, when the board halts while gdb runs it
  };

  explicit GdbStub(Board& board);
  ~GdbStub();
  GdbStub(const GdbStub&) = delete;
  GdbStub& operator=(const GdbStub&) = delete;

  // Listens on 127.0.0.1:port (0: a free port, see port()). False with a
  // one-line reason.
  bool listen(int port, std::string* error);
  int port() const { return port_; }
  void set_options(Options options) { options_ = std::move(options); }

  // Takes a debugger that connects (refusing a second one), reads what it
  // sent and answers it; steps happen here. Waits up to timeout_ms for the
  // socket when nothing is there yet.
  void poll(int timeout_ms = 0);
  // The board is gdb's to keep still: from the start until the first
  // debugger continues, and whenever the debugger has it stopped.
  bool holding() const;
  bool attached() const { return fd_ >= 0; }
  // gdb killed the program (kill, or quit): the run is over.
  bool killed() const { return killed_; }
  // What holds the board, for a status line: "waiting for gdb on
  // 127.0.0.1:1234", "stopped by gdb at 0x0c100010 (main+0x10)"; empty
  // while the board runs.
  std::string hold_text() const;

  // Runs the board towards `until` unless gdb holds it. Ends early at a
  // breakpoint, a halt, Options::until or a Ctrl-C (gdb is told, and holds
  // the board from then on), or when `stop` says so. Inputs given with
  // `monitor key/button` are released at their virtual times on the way.
  void run_until(VTime until, const std::function<bool()>& stop = {});
  // Keeps answering gdb for as long as it holds the board (e.g. at a halt,
  // after the front end's own run is over), or until `stop` says so.
  void serve_while_holding(const std::function<bool()>& stop = {});
  // The run is over: a debugger waiting for the board to stop is told the
  // program exited; the connection closes.
  void end_of_run();

 private:
  enum : int { kSigInt = 2, kSigTrap = 5, kSigAbrt = 6 };
  struct TimedInput {
    VTime when;
    std::function<void()> action;
  };

  void accept_connection();
  void drop_connection(const char* why);
  // Reads what the socket holds (a bounded amount, so that a flood does not
  // keep the board from running) and answers it; false at the end of the
  // connection.
  bool serve_input();
  void take(const RspInput::Event& event);
  void send_packet(const std::string& payload);
  // Queues bytes for the debugger and sends what the socket takes now,
  // never waiting for it.
  void send_raw(const std::string& bytes);
  void flush_output();

  void handle(const std::string& packet);
  void resume(bool step);
  // The board stopped under gdb: tells it why, and holds the board.
  void report_stop(int signal);
  void check_end_of_program();
  std::string stop_reply();
  std::string query(const std::string& packet);
  std::string monitor_command(const std::string& command);
  std::string show_registers(const std::string& name, bool block);
  std::string interrupt_entry();
  std::string queue_press(bool button, int code, VTime hold);
  void apply_inputs();
  std::string read_registers();
  bool write_registers(const std::string& hex);
  std::string read_register(const std::string& args);
  bool write_register(const std::string& args);
  std::string read_memory(const std::string& args);
  bool write_memory(uint32_t address, const std::vector<uint8_t>& bytes);
  std::string breakpoint(const std::string& packet);
  void clear_breakpoints();

  Board& board_;
  Options options_;
  int listen_fd_ = -1;
  int fd_ = -1;
  int port_ = 0;
  RspInput input_{kPacketSize};
  std::string out_;  // sent when the socket takes it
  std::string last_sent_;
  bool told_too_long_ = false;  // a packet over kPacketSize was said, for this debugger
  VTime uart_queued_until_ = 0;  // when the bytes of `monitor uart` have all gone
  bool no_ack_ = false;
  bool interrupt_requested_ = false;

  bool ever_attached_ = false;
  bool running_ = false;  // gdb said continue and waits for the stop
  bool killed_ = false;
  int signal_ = kSigTrap;
  bool exited_ = false;  // gdb was told the program exited (W)
  int exit_code_ = 0;
  bool halt_reported_ = false;
  std::set<std::pair<int, uint32_t>> breakpoints_;  // (Z type, address)
  std::vector<TimedInput> inputs_;                  // releases due, in time order
};

}  // namespace sim
