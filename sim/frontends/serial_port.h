// A UART's far end on the host, for the tools that talk to the real board
// through a serial port: a pseudo-terminal (minicom, picocom, screen,
// pyserial) or a TCP socket (nc, socat, pyserial's socket:// URLs).
//
// The far end stays the board's SerialTerminal: what the client writes
// leaves at the far end's line rate (--uart-baud, 8N1), what the far end
// decodes from the board goes to the client. The line settings a client
// gives the pty (its baud rate) change nothing: a pty carries bytes, not
// bit times.
//
// Judgement calls, as serial ports and other emulators' serial back ends
// behave:
// - Input is taken from the host only while the far end has a few
//   milliseconds of line time queued, so a client that writes faster than
//   the line meets the kernel's flow control (its write blocks, TCP's
//   window closes) and nothing it sent is lost or reordered.
// - What the board sends while no client is connected goes nowhere, as on a
//   cable with nothing at its end; how many bytes is said when a client
//   connects (or at the end). `,wait` keeps the board at power-on until the
//   first client connects, so a harness misses nothing.
// - A client that stops reading: up to kOutputLimit bytes wait for it,
//   past that the newest are dropped and their count said once it reads
//   again (or at the end). Nothing is dropped silently.
// - A pty that every client has closed, or a TCP client that went away,
//   waits for the next one; stale bytes the previous client left unread are
//   not handed to the next.
// - TCP: one client at a time; another is closed at once and said on
//   stderr. 127.0.0.1 unless an address is given (tcp:ADDR:PORT).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "board/board.h"

namespace sim {

struct SerialPortSpec {
  enum class Kind { kPty, kTcp };
  Kind kind = Kind::kPty;
  std::string address = "127.0.0.1";
  int port = 0;       // tcp: 0 takes any free port
  bool wait = false;  // hold the board until the first client connects
};

// "pty", "tcp:PORT" or "tcp:ADDR:PORT", each optionally followed by ",wait".
bool parse_serial_port(const std::string& text, SerialPortSpec* spec, std::string* error);

class SerialPort {
 public:
  static constexpr size_t kOutputLimit = 64 * 1024;

  // `uart` is 0 or 1: the port becomes that UART's far end on the host.
  SerialPort(Board& board, int uart);
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  bool open(const SerialPortSpec& spec, std::string* error);
  const SerialPortSpec& spec() const { return spec_; }
  // "/dev/pts/3" or "127.0.0.1:5555"
  const std::string& where() const { return where_; }
  // The line board-sim prints about the port (without "board-sim: uartN: ").
  std::string announcement() const;
  bool connected() const { return client_ >= 0; }

  // Exchanges what is waiting both ways, accepts or notices clients. The
  // board calls it between slices while it runs.
  void poll();
  // Polls until a client is connected or `stop` says so; false if stopped.
  bool wait_for_client(const std::function<bool()>& stop);
  // At the end of the run: what still waits for the client is delivered
  // (for at most about a second), and what was dropped is said.
  void finish();
  // Told of the bytes the client sent, as they go to the far end (--record).
  void set_input_observer(std::function<void(const std::vector<uint8_t>&)> observer) {
    input_observer_ = std::move(observer);
  }

 private:
  void from_board(uint8_t byte);
  void check_client();
  void take_input();
  void flush_output();
  void drop_client();
  void say_dropped();
  size_t read_ahead() const;

  Board& board_;
  int uart_;
  std::string name_;  // "uart0"
  SerialPortSpec spec_;
  std::string where_;
  int listen_fd_ = -1;  // tcp
  int master_fd_ = -1;  // pty
  int client_ = -1;     // the fd bytes go through while a client is there
  bool was_connected_ = false;
  std::string output_;  // decoded from the board, not yet taken by the client
  uint64_t lost_unconnected_ = 0;  // sent while nobody was connected
  uint64_t lost_slow_ = 0;         // dropped past kOutputLimit
  std::function<void(const std::vector<uint8_t>&)> input_observer_;
};

}  // namespace sim
