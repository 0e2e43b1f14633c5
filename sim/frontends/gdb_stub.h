// A server of GDB's remote serial protocol for the board, so that
// `gdb-multiarch FIRMWARE.elf -ex 'target remote :PORT'` debugs the firmware
// running on the simulated board: registers, memory, breakpoints, steps and
// continues, Ctrl-C. The board keeps its own virtual clock throughout: a
// step or a continue advances it exactly as a run without a debugger does.
//
// Memory reads and writes reach SDRAM and the monitor's ROM only (writes:
// SDRAM only). The device registers are not served: reading one has side
// effects on the board (a UART's receive register, a pending bit), which a
// debugger's look must not have.
#pragma once
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/board.h"
#include "core/vtime.h"

namespace sim {

class GdbStub {
 public:
  enum class End {
    kKilled,        // gdb killed the program (kill, quit)
    kDetached,      // gdb detached: the board may run on by itself
    kDisconnected,  // the connection closed without either
    kQuit,          // `quit` returned true
  };
  struct Options {
    VTime until = kForever;  // the run ends there: gdb is told the program exited
    bool real_time = false;  // pace virtual time to the wall clock while running
    std::function<void()> poll;           // between chunks of running (the console)
    std::function<bool()> quit;           // checked while waiting and running
    std::function<void()> on_halt;        // once, when the board halts
  };

  explicit GdbStub(Board& board);
  ~GdbStub();
  GdbStub(const GdbStub&) = delete;
  GdbStub& operator=(const GdbStub&) = delete;

  // Listens on 127.0.0.1:port (0: a free port, see port()). False with a
  // one-line reason.
  bool listen(int port, std::string* error);
  int port() const { return port_; }

  // Waits for one debugger and serves it. The board stays stopped until it
  // says continue or step.
  End serve(const Options& options);

 private:
  enum : int { kSigInt = 2, kSigTrap = 5, kSigAbrt = 6 };

  bool wait_for_client(const Options& options);
  // Reads what the socket holds, waiting up to timeout_ms; false at the end
  // of the connection.
  bool receive(int timeout_ms);
  // Takes the next complete packet from the input, handling acks and
  // interrupt requests before it; false when none is complete.
  bool next_packet(std::string* packet);
  void scan_out_of_band();
  void send_packet(const std::string& payload);
  void send_raw(const std::string& bytes);

  // Returns true when the session is over (*end says how).
  bool handle(const std::string& packet, const Options& options, End* end);
  bool resume(bool step, const Options& options, End* end);
  std::string stop_reply();
  std::string query(const std::string& packet);
  std::string monitor_command(const std::string& command);
  std::string read_registers();
  bool write_registers(const std::string& hex);
  std::string read_register(const std::string& args);
  bool write_register(const std::string& args);
  std::string read_memory(const std::string& args);
  bool write_memory(uint32_t address, const std::vector<uint8_t>& bytes);
  std::string breakpoint(const std::string& packet);

  Board& board_;
  int listen_fd_ = -1;
  int fd_ = -1;
  int port_ = 0;
  std::string in_;
  std::string last_sent_;
  bool no_ack_ = false;
  bool interrupt_requested_ = false;

  int signal_ = kSigTrap;
  bool exited_ = false;  // gdb was told the program exited (W)
  int exit_code_ = 0;
  bool halt_reported_ = false;
  std::set<std::pair<int, uint32_t>> breakpoints_;  // (Z type, address)
};

}  // namespace sim
