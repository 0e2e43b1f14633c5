#include "frontends/gdb_stub.h"
#include "frontends/tcp_listen.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "frontends/console_input.h"
#include "frontends/quoting.h"
#include "frontends/scenario.h"

namespace sim {

namespace {

constexpr size_t kPacketSize = GdbStub::kPacketSize;
constexpr size_t kMaxMemory = (kPacketSize - 16) / 2;
// How much one poll reads: a client that sends without pause gets its
// answers a chunk at a time, between the board's runs.
constexpr size_t kReadChunk = 4096;
constexpr int kChunksPerPoll = 16;
// r0..r15, then cpsr: the order of the target description, and of 'g'.
constexpr int kCpsrNumber = 16;
constexpr int kRegisterCount = 17;

const char kTargetXml[] =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE target SYSTEM \"gdb-target.dtd\">\n"
    "<target version=\"1.0\">\n"
    "  <architecture>armv4t</architecture>\n"
    "  <feature name=\"org.gnu.gdb.arm.core\">\n"
    "    <reg name=\"r0\" bitsize=\"32\"/>\n"
    "    <reg name=\"r1\" bitsize=\"32\"/>\n"
    "    <reg name=\"r2\" bitsize=\"32\"/>\n"
    "    <reg name=\"r3\" bitsize=\"32\"/>\n"
    "    <reg name=\"r4\" bitsize=\"32\"/>\n"
    "    <reg name=\"r5\" bitsize=\"32\"/>\n"
    "    <reg name=\"r6\" bitsize=\"32\"/>\n"
    "    <reg name=\"r7\" bitsize=\"32\"/>\n"
    "    <reg name=\"r8\" bitsize=\"32\"/>\n"
    "    <reg name=\"r9\" bitsize=\"32\"/>\n"
    "    <reg name=\"r10\" bitsize=\"32\"/>\n"
    "    <reg name=\"r11\" bitsize=\"32\"/>\n"
    "    <reg name=\"r12\" bitsize=\"32\"/>\n"
    "    <reg name=\"sp\" bitsize=\"32\" type=\"data_ptr\"/>\n"
    "    <reg name=\"lr\" bitsize=\"32\"/>\n"
    "    <reg name=\"pc\" bitsize=\"32\" type=\"code_ptr\"/>\n"
    "    <reg name=\"cpsr\" bitsize=\"32\"/>\n"
    "  </feature>\n"
    "</target>\n";

const char kHexDigits[] = "0123456789abcdef";

std::string hex_byte(unsigned v) { return {kHexDigits[(v >> 4) & 15], kHexDigits[v & 15]}; }

// Registers and memory travel as target-order (little-endian) bytes.
std::string hex_le32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += hex_byte(v >> (8 * i));
  return s;
}

std::string hex_encode(const std::string& text) {
  std::string s;
  for (unsigned char c : text) s += hex_byte(c);
  return s;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool hex_decode(const std::string& hex, std::vector<uint8_t>* bytes) {
  if (hex.size() % 2) return false;
  bytes->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = hex_value(hex[i]), lo = hex_value(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes->push_back(static_cast<uint8_t>(hi << 4 | lo));
  }
  return true;
}

bool parse_le32(const std::string& hex, uint32_t* v) {
  std::vector<uint8_t> b;
  if (hex.size() != 8 || !hex_decode(hex, &b)) return false;
  *v = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
  return true;
}

// A big-endian hex number (addresses, lengths, register numbers).
bool parse_number(const std::string& text, uint64_t* v) {
  if (text.empty() || text.size() > 16) return false;
  uint64_t n = 0;
  for (char c : text) {
    int d = hex_value(c);
    if (d < 0) return false;
    n = n << 4 | static_cast<uint64_t>(d);
  }
  *v = n;
  return true;
}

// "ADDR,LEN" -> address and length; the length is cut at the end of the
// 32-bit address space.
bool parse_range(const std::string& text, uint32_t* address, uint64_t* length) {
  size_t comma = text.find(',');
  uint64_t a;
  if (comma == std::string::npos || !parse_number(text.substr(0, comma), &a) || a > 0xFFFFFFFFu ||
      !parse_number(text.substr(comma + 1), length))
    return false;
  *address = static_cast<uint32_t>(a);
  *length = std::min<uint64_t>(*length, 0x100000000ull - a);
  return true;
}

// Binary data in a reply: these four bytes go as '}' and the byte ^ 0x20.
std::string escape_binary(const std::string& data) {
  std::string s;
  for (char c : data) {
    if (c == '$' || c == '#' || c == '}' || c == '*') {
      s += '}';
      s += static_cast<char>(c ^ 0x20);
    } else {
      s += c;
    }
  }
  return s;
}

std::vector<uint8_t> unescape_binary(const std::string& data) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '}' && i + 1 < data.size()) bytes.push_back(static_cast<uint8_t>(data[++i] ^ 0x20));
    else bytes.push_back(static_cast<uint8_t>(data[i]));
  }
  return bytes;
}

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

GdbStub::GdbStub(Board& board) : board_(board) {}

GdbStub::~GdbStub() {
  if (fd_ >= 0) ::close(fd_);
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

bool GdbStub::listen(int port, std::string* error) {
  listen_fd_ = tcp_listen("127.0.0.1", port, false, &port_, error);
  return listen_fd_ >= 0;
}

bool valid_arm7tdmi_cpsr(uint32_t cpsr) {
  switch (cpsr & 0x1F) {
    case ArmCore::kUsr:
    case ArmCore::kFiq:
    case ArmCore::kIrq:
    case ArmCore::kSvc:
    case ArmCore::kAbt:
    case ArmCore::kUnd:
    case ArmCore::kSys: return (cpsr & 0x0FFFFF00u) == 0;
    default: return false;
  }
}

void RspInput::reset() {
  state_ = State::kIdle;
  payload_.clear();
}

void RspInput::feed(const char* data, size_t n, std::vector<Event>* events) {
  for (size_t i = 0; i < n; ++i) {
    const char c = data[i];
    switch (state_) {
      case State::kIdle:
        // Acks, a request to resend, and Ctrl-C come between packets;
        // anything else there is noise.
        if (c == '$') {
          payload_.clear();
          state_ = State::kPayload;
        } else if (c == '+') {
          events->push_back({Event::kAck, {}});
        } else if (c == '-') {
          events->push_back({Event::kNack, {}});
        } else if (c == '\x03') {
          events->push_back({Event::kInterrupt, {}});
        }
        break;
      case State::kPayload:
        if (c == '#') {
          state_ = State::kSum1;
        } else if (c == '$') {
          payload_.clear();  // a packet cut short: the new one counts
        } else if (payload_.size() >= max_payload_) {
          payload_.clear();
          payload_.shrink_to_fit();
          state_ = State::kSkip;
          events->push_back({Event::kTooLong, {}});
        } else {
          payload_ += c;
        }
        break;
      case State::kSum1:
        sum_high_ = hex_value(c);
        state_ = State::kSum2;
        break;
      case State::kSum2: {
        unsigned sum = 0;
        for (unsigned char b : payload_) sum += b;
        const int low = hex_value(c);
        const bool ok = sum_high_ >= 0 && low >= 0 && static_cast<unsigned>(sum_high_ << 4 | low) == (sum & 0xFF);
        events->push_back({Event::kPacket, std::move(payload_), ok});
        payload_.clear();
        state_ = State::kIdle;
        break;
      }
      case State::kSkip:
        if (c == '$') state_ = State::kPayload;
        break;
    }
  }
}

bool GdbStub::serve_input() {
  char buf[kReadChunk];
  std::vector<RspInput::Event> events;
  for (int chunk = 0; chunk < kChunksPerPoll && fd_ >= 0; ++chunk) {
    const ssize_t got = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (got == 0) return false;
    if (got < 0) return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
    events.clear();
    input_.feed(buf, static_cast<size_t>(got), &events);
    for (const RspInput::Event& e : events) {
      if (fd_ < 0) break;
      take(e);
    }
  }
  return true;
}

void GdbStub::take(const RspInput::Event& e) {
  switch (e.kind) {
    case RspInput::Event::kAck: return;
    case RspInput::Event::kNack:
      if (!no_ack_ && !last_sent_.empty()) send_raw(last_sent_);
      return;
    case RspInput::Event::kInterrupt: interrupt_requested_ = true; return;
    case RspInput::Event::kTooLong:
      // Taken, and answered with an error: a "-" would only have it sent
      // again.
      if (!told_too_long_)
        log_warning("gdb", "the debugger sent a packet longer than the " + std::to_string(kPacketSize) +
                               " bytes it was told; refused");
      told_too_long_ = true;
      if (!no_ack_) send_raw("+");
      send_packet("E01");
      return;
    case RspInput::Event::kPacket:
      if (!no_ack_) {
        if (!e.checksum_ok) {
          send_raw("-");
          return;
        }
        send_raw("+");
      }
      handle(e.payload);
      return;
  }
}

void GdbStub::send_raw(const std::string& bytes) {
  if (fd_ < 0) return;
  out_ += bytes;
  flush_output();
}

void GdbStub::flush_output() {
  while (fd_ >= 0 && !out_.empty()) {
    const ssize_t n = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      out_.erase(0, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      break;
    } else {
      drop_connection("the debugger went away without detaching");
      return;
    }
  }
  if (fd_ >= 0 && out_.size() > kMaxPendingOutput)
    drop_connection("the debugger stopped reading its replies (256 KiB waiting); disconnected it");
}

void GdbStub::send_packet(const std::string& payload) {
  unsigned sum = 0;
  for (unsigned char c : payload) sum += c;
  last_sent_ = "$" + payload + "#" + hex_byte(sum & 0xFF);
  send_raw(last_sent_);
}

// A debugger that connects while another is attached is turned away at
// once: two debuggers driving one board would step on each other, and one
// left waiting in the backlog would seem to hang.
void GdbStub::accept_connection() {
  int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  if (fd_ >= 0) {
    ::close(fd);
    log_warning("gdb", "a second debugger tried to connect while one is attached; refused (one at a time)");
    return;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  fd_ = fd;
  input_.reset();
  out_.clear();
  told_too_long_ = false;
  last_sent_.clear();
  no_ack_ = false;
  interrupt_requested_ = false;
  running_ = false;  // a debugger finds the board stopped where it is
  signal_ = ever_attached_ ? kSigInt : kSigTrap;
  ever_attached_ = true;
}

// After a detach or a lost connection the board runs on by itself; the
// debugger's breakpoints go with it.
void GdbStub::drop_connection(const char* why) {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  out_.clear();
  out_.shrink_to_fit();
  running_ = false;
  clear_breakpoints();
  if (why && !exited_ && !killed_) log_warning("gdb", std::string(why) + "; the board runs on, and waits for no debugger");
}

void GdbStub::poll(int timeout_ms) {
  if (listen_fd_ < 0) return;
  const short want = static_cast<short>(POLLIN | (out_.empty() ? 0 : POLLOUT));
  pollfd p[2] = {{listen_fd_, POLLIN, 0}, {fd_, want, 0}};
  int n = ::poll(p, fd_ >= 0 ? 2 : 1, timeout_ms);
  if (n <= 0) return;
  if (p[0].revents & POLLIN) accept_connection();
  if (fd_ < 0 || p[1].fd < 0) return;
  if (p[1].revents & POLLOUT) flush_output();
  if (fd_ < 0 || !(p[1].revents & (POLLIN | POLLHUP | POLLERR))) return;
  if (!serve_input() && fd_ >= 0) drop_connection("the debugger went away without detaching");
}

bool GdbStub::holding() const {
  if (fd_ < 0) return !ever_attached_ && listen_fd_ >= 0 && !killed_;
  return !running_ && !exited_;
}

std::string GdbStub::hold_text() const {
  if (!holding()) return "";
  if (fd_ < 0) return "waiting for gdb on 127.0.0.1:" + std::to_string(port_);
  uint32_t pc = board_.core().pc();
  std::string where = board_.elf().describe(pc);
  return "stopped by gdb at " + hex32(pc) + (where.empty() ? "" : " (" + where + ")");
}

void GdbStub::run_until(VTime until, const std::function<bool()>& stop) {
  until = std::min(until, options_.until);
  while (!holding() && !killed_ && !board_.halted() && board_.now() < until && !(stop && stop())) {
    apply_inputs();
    VTime goal = inputs_.empty() ? until : std::min(until, inputs_.front().when);
    board_.run_until(std::max(goal, board_.now() + 1), stop);
    apply_inputs();
    if (fd_ < 0 || !running_) continue;
    // A Ctrl-C read by poll() stops the board once it has run on a little,
    // as it would on a board gdb interrupts.
    if (board_.at_breakpoint() || board_.halted() || board_.now() >= options_.until) report_stop(kSigTrap);
    else if (interrupt_requested_) report_stop(kSigInt);
  }
}

void GdbStub::serve_while_holding(const std::function<bool()>& stop) {
  while (holding() && !killed_ && !(stop && stop())) poll(50);
}

void GdbStub::end_of_run() {
  if (fd_ >= 0 && running_ && !exited_) {
    exited_ = true;
    send_packet("W00");
  }
  // gdb answers an exit by acking it and closing its end: let it, for up to
  // half a second, rather than leave it a broken connection.
  for (int i = 0; i < 10 && fd_ >= 0 && exited_; ++i) {
    pollfd p{fd_, static_cast<short>(POLLIN | (out_.empty() ? 0 : POLLOUT)), 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    if (p.revents & POLLOUT) flush_output();
    if (fd_ < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
    if (!serve_input()) break;
  }
  if (fd_ >= 0) drop_connection(nullptr);
  if (listen_fd_ >= 0) ::close(listen_fd_);
  listen_fd_ = -1;
}

void GdbStub::handle(const std::string& packet) {
  if (packet.empty()) {
    send_packet("");
    return;
  }
  std::string args = packet.substr(1);
  switch (packet[0]) {
    case '?': send_packet(stop_reply()); return;
    case 'g': send_packet(read_registers()); return;
    case 'G': send_packet(write_registers(args) ? "OK" : "E01"); return;
    case 'p': send_packet(read_register(args)); return;
    case 'P': send_packet(write_register(args) ? "OK" : "E01"); return;
    case 'm': send_packet(read_memory(args)); return;
    case 'M':
    case 'X': {
      size_t colon = args.find(':');
      uint32_t address;
      uint64_t length;
      std::vector<uint8_t> bytes;
      bool ok = colon != std::string::npos && parse_range(args.substr(0, colon), &address, &length);
      if (ok && packet[0] == 'M') ok = hex_decode(args.substr(colon + 1), &bytes);
      if (ok && packet[0] == 'X') bytes = unescape_binary(args.substr(colon + 1));
      ok = ok && bytes.size() == length && write_memory(address, bytes);
      send_packet(ok ? "OK" : "E01");
      return;
    }
    case 'c':
    case 's':
    case 'C':
    case 'S': {
      // "c[ADDR]", "s[ADDR]", "CSIG[;ADDR]": the signal means nothing to a board.
      std::string at = args;
      if (packet[0] == 'C' || packet[0] == 'S') {
        size_t semi = args.find(';');
        at = semi == std::string::npos ? "" : args.substr(semi + 1);
      }
      uint64_t pc;
      if (!at.empty() && parse_number(at, &pc)) board_.core().set_pc(static_cast<uint32_t>(pc));
      resume(packet[0] == 's' || packet[0] == 'S');
      return;
    }
    case 'H':
    case 'T': send_packet("OK"); return;
    case 'k':
      killed_ = true;
      drop_connection(nullptr);
      return;
    case 'D':
      send_packet("OK");
      log_warning("gdb", "the debugger detached; the board runs on");
      drop_connection(nullptr);
      return;
    case 'Z':
    case 'z': send_packet(breakpoint(packet)); return;
    case 'v':
      if (packet == "vCont?") {
        send_packet("vCont;c;C;s;S");
        return;
      }
      if (starts_with(packet, "vCont;")) {
        // One thread: the first action is the one for it. No action at all
        // is no request.
        char action = packet.size() > 6 ? packet[6] : 0;
        if (action == 'c' || action == 'C') resume(false);
        else if (action == 's' || action == 'S') resume(true);
        else send_packet("E01");
        return;
      }
      if (starts_with(packet, "vKill")) {
        send_packet("OK");
        killed_ = true;
        drop_connection(nullptr);
        return;
      }
      send_packet("");
      return;
    case 'q':
    case 'Q': {
      std::string reply = query(packet);
      send_packet(reply);
      if (packet == "QStartNoAckMode") no_ack_ = true;  // from the next packet on
      return;
    }
    default: send_packet(""); return;
  }
}

// A step happens at once; a continue hands the board to the front end's
// run loop until something stops it.
void GdbStub::resume(bool step) {
  interrupt_requested_ = false;
  if (exited_ || board_.halted() || board_.now() >= options_.until) {
    check_end_of_program();
    send_packet(stop_reply());
    return;
  }
  if (step) {
    board_.step();
    apply_inputs();
    report_stop(kSigTrap);
    return;
  }
  // Continuing from a breakpoint runs its instruction instead of stopping
  // there again.
  board_.core().pass_breakpoint_at_pc();
  running_ = true;
}

void GdbStub::check_end_of_program() {
  if (board_.halted()) {
    if (board_.core().pc() == Board::kMainReturnTrap) {
      exited_ = true;
      exit_code_ = static_cast<int>(board_.core().reg(ArmCore::R0) & 0xFF);
    } else {
      signal_ = kSigAbrt;
    }
    if (!halt_reported_) {
      halt_reported_ = true;
      send_packet("O" + hex_encode("board-sim: " + board_.halt_report() + "\n"));
      if (options_.on_halt) options_.on_halt();
    }
  } else if (board_.now() >= options_.until) {
    exited_ = true;
    exit_code_ = 0;
  }
}

void GdbStub::report_stop(int signal) {
  running_ = false;
  interrupt_requested_ = false;
  signal_ = signal;
  check_end_of_program();
  send_packet(stop_reply());
}

std::string GdbStub::query(const std::string& packet) {
  if (starts_with(packet, "qSupported"))
    return "PacketSize=" + std::string(hex_byte(kPacketSize >> 8)) + hex_byte(kPacketSize & 0xFF) +
           ";qXfer:features:read+;QStartNoAckMode+";
  if (packet == "QStartNoAckMode") return "OK";
  if (packet == "qAttached") return "0";  // quitting gdb kills: board-sim ends with it
  if (packet == "qC") return "QC1";
  if (packet == "qfThreadInfo") return "m1";
  if (packet == "qsThreadInfo") return "l";
  if (packet == "qSymbol::") return "OK";
  if (starts_with(packet, "qXfer:features:read:")) {
    std::string rest = packet.substr(std::strlen("qXfer:features:read:"));
    size_t colon = rest.find(':');
    if (colon == std::string::npos || rest.substr(0, colon) != "target.xml") return "E00";
    uint32_t offset;
    uint64_t length;
    if (!parse_range(rest.substr(colon + 1), &offset, &length)) return "E00";
    std::string xml = kTargetXml;
    if (offset >= xml.size()) return "l";
    std::string part = xml.substr(offset, length);
    return (offset + part.size() >= xml.size() ? "l" : "m") + escape_binary(part);
  }
  if (starts_with(packet, "qRcmd,")) {
    std::vector<uint8_t> bytes;
    if (!hex_decode(packet.substr(6), &bytes)) return "E01";
    return hex_encode(monitor_command(std::string(bytes.begin(), bytes.end())));
  }
  return "";
}

namespace {

const char kMonitorHelp[] =
    "monitor time            the board's virtual time, MCLK cycles and instructions since power-on\n"
    "monitor reg NAME        a peripheral register by its name in the manual (INTPND, UTRSTAT0, ...)\n"
    "monitor regs BLOCK      every register of a block: uart0 uart1 intc ports pwm rtc iic iis bdma\n"
    "                        lcd clock watchdog adc syscfg memctl (monitor regs: the list)\n"
    "                        (read without side effects: no received byte taken, no flag cleared)\n"
    "monitor key K [hold T]  keypad key K (0..15), held 100 ms (or T) of virtual time\n"
    "monitor button 0x40|0x80 [hold T]   a push-button, the same way\n"
    "monitor uart \"TEXT\"     bytes to UART0's receiver (escapes \\r \\n \\t \\xHH \\\\ \\\")\n"
    "                        (at most 4096 bytes wait for the receiver at a time)\n"
    "monitor irq             the last interrupt: its handler and the interrupted pc, mode, sp and lr\n"
    "                        (from a handler, `tbreak *PC` and `continue` stop where it returns)\n"
    "Inputs happen when the board runs on (continue, step); virtual time stands still meanwhile.\n";

std::string register_line(Board& board, const chip::RegisterInfo& r) {
  char text[96];
  if (r.write_only) {
    std::snprintf(text, sizeof text, "%-10s %08x  (write-only)\n", r.name.c_str(), r.address);
    return text;
  }
  Device* d = board.bus().find(r.address);
  if (!d) {
    std::snprintf(text, sizeof text, "%-10s %08x  (no device)\n", r.name.c_str(), r.address);
    return text;
  }
  uint32_t v = d->peek(r.address - d->base(), r.size);
  std::snprintf(text, sizeof text, "%-10s %08x  0x%0*x\n", r.name.c_str(), r.address, 2 * static_cast<int>(r.size), v);
  return text;
}

}  // namespace

// gdb's `monitor ...`.
std::string GdbStub::monitor_command(const std::string& command) {
  std::vector<std::string> w;
  std::string why;
  // A raw control byte is no part of any command: refused before anything
  // echoes it.
  const bool controls = std::any_of(command.begin(), command.end(), [](char c) {
    return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F;
  });
  if (controls) return "board-sim: cannot read the monitor command '" + quoted_line(command) + "' (a control byte)\n";
  if (!split_script_line(command, &w, &why)) {
    const size_t first = command.find_first_not_of(" \t");
    if (first != std::string::npos && command.compare(first, 5, "uart ") == 0)
      return "usage: monitor uart \"TEXT\" (" + why + ")\n";
    return "board-sim: cannot read the monitor command '" + quoted_line(command) + "' (" + why + ")\n";
  }
  if (w.empty() || w[0] == "help") return kMonitorHelp;
  const std::string& verb = w[0];
  if (verb == "time" && w.size() == 1) {
    char text[128];
    std::snprintf(text, sizeof text, "virtual time %s, %llu cycles, %llu instructions\n",
                  format_duration(board_.now()).c_str(), static_cast<unsigned long long>(board_.cycles()),
                  static_cast<unsigned long long>(board_.core().instructions()));
    return text;
  }
  if (verb == "irq" && w.size() == 1) return interrupt_entry();
  if (verb == "reg" && w.size() == 2) return show_registers(w[1], false);
  if (verb == "regs" && w.size() <= 2) return show_registers(w.size() == 2 ? w[1] : "", true);
  if (verb == "key" || verb == "button") {
    bool button = verb == "button";
    int code = -1;
    VTime hold = 100 * kMillisecond;
    bool ok = w.size() >= 2 && parse_script_int(w[1], &code) &&
              (button ? (code == 0x40 || code == 0x80 || code == 0xC0) : (code >= 0 && code <= 15));
    if (ok && w.size() != 2) ok = w.size() == 4 && w[2] == "hold" && parse_duration(w[3], &hold) && hold > 0;
    if (!ok) return button ? "usage: monitor button 0x40|0x80 [hold T]\n" : "usage: monitor key 0..15 [hold T]\n";
    return queue_press(button, code, hold);
  }
  if (verb == "uart") {
    std::string bytes;
    const bool quoted = w.size() == 2 && w[1].size() >= 2 && w[1].front() == '"' && w[1].back() == '"';
    if (!quoted || !unescape(w[1].substr(1, w[1].size() - 2), &bytes, &why))
      return "usage: monitor uart \"TEXT\"" + (why.empty() ? std::string() : " (" + why + ")") + "\n";
    // The receiver takes the bytes at the line rate while the board runs, and
    // not at all while gdb holds it: what may wait is bounded, as a
    // terminal's line is.
    const VTime frame = 10 * kSecond / std::max<uint32_t>(board_.uart0().far_end().baud(), 1);
    const VTime now = board_.now();
    const uint64_t waiting = uart_queued_until_ > now ? (uart_queued_until_ - now + frame - 1) / frame : 0;
    if (waiting + bytes.size() > kConsoleInputLimit)
      return "monitor uart: " + std::to_string(bytes.size()) + " byte(s) refused: " + std::to_string(waiting) +
             " still wait for UART0's receiver, and at most " + std::to_string(kConsoleInputLimit) +
             " may (let the board run to take them)\n";
    uart_queued_until_ = std::max(uart_queued_until_, now) + frame * bytes.size();
    board_.uart_input(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return std::to_string(bytes.size()) + " byte(s) for UART0's receiver, from " + format_duration(board_.now()) +
           " at the line rate\n";
  }
  return "board-sim: unknown monitor command '" + quoted_line(command) + "' (monitor help)\n";
}

// gdb unwinds an interrupt handler's frame as a call: its caller gets the
// handler's stack pointer and lr, not those of the interrupted mode, so
// `finish` waits for a frame that never comes back and `bt` runs off into
// the IRQ stack. The board saw the interrupted state as it entered the
// handler: this says where the handler will return, for a `tbreak` there.
std::string GdbStub::interrupt_entry() {
  const Board::InterruptEntry& e = board_.last_interrupt();
  if (!e.valid) return "no interrupt handler entered yet\n";
  auto mode_name = [](uint32_t cpsr) {
    switch (cpsr & 0x1F) {
      case ArmCore::kUsr: return "user";
      case ArmCore::kFiq: return "FIQ";
      case ArmCore::kIrq: return "IRQ";
      case ArmCore::kSvc: return "supervisor";
      case ArmCore::kAbt: return "abort";
      case ArmCore::kUnd: return "undefined";
      case ArmCore::kSys: return "system";
      default: return "unknown";
    }
  };
  auto where = [this](uint32_t a) {
    std::string d = board_.elf().describe(a);
    return hex32(a) + (d.empty() ? "" : " (" + d + ")");
  };
  std::string source = e.source >= 0 ? std::string(" from ") + chip::irq_name(e.source) : "";
  uint32_t mode = board_.core().cpsr() & 0x1F;
  std::string out = "last interrupt" + source +
                    " at " + format_duration(e.at) + ": handler " + where(e.handler) + ", its stack from " +
                    hex32(e.handler_sp) + "\n";
  out += "interrupted: pc " + where(e.pc) + ", cpsr " + hex32(e.cpsr) + " (" + mode_name(e.cpsr) + " mode), sp " +
         hex32(e.sp) + ", lr " + hex32(e.lr) + "\n";
  if (mode == ArmCore::kIrq || mode == ArmCore::kFiq)
    out += "to stop where the handler returns: tbreak *" + hex32(e.pc) + ", then continue\n";
  else
    out += "(the core is in " + std::string(mode_name(mode)) + " mode now, not in a handler)\n";
  return out;
}

std::string GdbStub::show_registers(const std::string& name, bool block) {
  if (block) {
    const chip::RegisterBlock* b = name.empty() ? nullptr : chip::find_register_block(name);
    if (!b) {
      std::string list;
      for (const chip::RegisterBlock& each : chip::register_blocks()) list += std::string(list.empty() ? "" : " ") + each.name;
      return (name.empty() ? "" : "no block '" + quoted_line(name, 40) + "'; ") + "blocks: " + list + "\n";
    }
    std::string out;
    for (const chip::RegisterInfo& r : b->registers) out += register_line(board_, r);
    return out;
  }
  const chip::RegisterInfo* r = chip::find_register(name);
  if (!r) return "no register '" + quoted_line(name, 40) + "' (monitor regs BLOCK lists a block's registers)\n";
  return register_line(board_, *r);
}

// The press starts now; its release is due `hold` of virtual time later,
// whenever the board gets there.
std::string GdbStub::queue_press(bool button, int code, VTime hold) {
  Board& b = board_;
  if (button) b.buttons().press(static_cast<uint8_t>(code));
  else b.keypad().key_down(code);
  TimedInput release{later(b.now(), hold), [&b, button, code] {
                       if (button) b.buttons().release(static_cast<uint8_t>(code));
                       else b.keypad().key_up(code);
                     }};
  auto at = std::upper_bound(inputs_.begin(), inputs_.end(), release.when,
                             [](VTime t, const TimedInput& i) { return t < i.when; });
  inputs_.insert(at, std::move(release));
  char text[96];
  if (button)
    std::snprintf(text, sizeof text, "button 0x%02x held from %s for %s\n", code, format_duration(b.now()).c_str(),
                  format_duration(hold).c_str());
  else
    std::snprintf(text, sizeof text, "key %d held from %s for %s\n", code, format_duration(b.now()).c_str(),
                  format_duration(hold).c_str());
  return text;
}

void GdbStub::apply_inputs() {
  while (!inputs_.empty() && inputs_.front().when <= board_.now()) {
    TimedInput next = std::move(inputs_.front());
    inputs_.erase(inputs_.begin());
    next.action();
  }
}

std::string GdbStub::stop_reply() {
  if (exited_) return "W" + hex_byte(static_cast<unsigned>(exit_code_));
  ArmCore& core = board_.core();
  std::string reply = "T" + hex_byte(static_cast<unsigned>(signal_)) + "thread:1;";
  for (int r : {ArmCore::SP, ArmCore::LR, ArmCore::PC}) reply += hex_byte(r) + ":" + hex_le32(core.reg(r)) + ";";
  reply += hex_byte(kCpsrNumber) + ":" + hex_le32(core.cpsr()) + ";";
  return reply;
}

std::string GdbStub::read_registers() {
  ArmCore& core = board_.core();
  std::string out;
  for (int r = 0; r < 16; ++r) out += hex_le32(core.reg(r));
  return out + hex_le32(core.cpsr());
}

bool GdbStub::write_registers(const std::string& hex) {
  if (hex.size() != 8 * kRegisterCount) return false;
  uint32_t values[kRegisterCount];
  for (int r = 0; r < kRegisterCount; ++r)
    if (!parse_le32(hex.substr(8 * r, 8), &values[r])) return false;
  ArmCore& core = board_.core();
  // A value the core cannot hold changes nothing, not even the other
  // registers. The mode first: r13 and r14 then go to the banks of the mode
  // written.
  if (values[kCpsrNumber] != core.cpsr()) {
    if (!valid_arm7tdmi_cpsr(values[kCpsrNumber])) return false;
    core.set_cpsr(values[kCpsrNumber]);
  }
  for (int r = 0; r < 16; ++r) core.set_reg(r, values[r]);
  return true;
}

std::string GdbStub::read_register(const std::string& args) {
  uint64_t n;
  if (!parse_number(args, &n) || n >= kRegisterCount) return "E01";
  ArmCore& core = board_.core();
  return hex_le32(n == kCpsrNumber ? core.cpsr() : core.reg(static_cast<int>(n)));
}

bool GdbStub::write_register(const std::string& args) {
  size_t eq = args.find('=');
  uint64_t n;
  uint32_t v;
  if (eq == std::string::npos || !parse_number(args.substr(0, eq), &n) || n >= kRegisterCount ||
      !parse_le32(args.substr(eq + 1), &v))
    return false;
  if (n == kCpsrNumber) {
    if (v == board_.core().cpsr()) return true;
    if (!valid_arm7tdmi_cpsr(v)) return false;
    board_.core().set_cpsr(v);
  } else {
    board_.core().set_reg(static_cast<int>(n), v);
  }
  return true;
}

// As much of the range as lies in SDRAM or the ROM, from its start: a
// shorter reply tells gdb where readable memory ends.
std::string GdbStub::read_memory(const std::string& args) {
  uint32_t address;
  uint64_t length;
  if (!parse_range(args, &address, &length)) return "E01";
  length = std::min<uint64_t>(length, kMaxMemory);
  Sdram& ram = board_.ram();
  ArmCore& core = board_.core();
  std::string out;
  uint64_t done = 0;
  while (done < length) {
    uint32_t at = address + static_cast<uint32_t>(done);
    uint32_t want = static_cast<uint32_t>(length - done);
    const uint8_t* p = nullptr;
    uint32_t n = 0;
    if (ram.contains(at)) {
      n = std::min<uint32_t>(want, ram.base() + ram.size() - at);
      p = ram.at(at, n);
    } else if (core.rom(at, 1)) {
      n = std::min<uint32_t>(want, chip::kBank0Base + chip::kBank0Size - at);
      p = core.rom(at, n);
    }
    if (!p) break;
    for (uint32_t i = 0; i < n; ++i) out += hex_byte(p[i]);
    done += n;
  }
  if (length > 0 && out.empty()) return "E01";
  return out;
}

bool GdbStub::write_memory(uint32_t address, const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return true;
  uint8_t* p = board_.ram().at(address, static_cast<uint32_t>(bytes.size()));
  if (!p) return false;
  std::copy(bytes.begin(), bytes.end(), p);
  // gdb may have patched code that was already translated.
  board_.core().flush_code(address, address + static_cast<uint32_t>(bytes.size()));
  return true;
}

// "Z0,ADDR,KIND" / "z0,...": breakpoints (0) and hardware breakpoints (1)
// are the same thing here; watchpoints are not supported.
std::string GdbStub::breakpoint(const std::string& packet) {
  if (packet.size() < 4 || (packet[1] != '0' && packet[1] != '1') || packet[2] != ',') return "";
  std::string rest = packet.substr(3);
  size_t comma = rest.find(',');
  uint64_t address;
  if (!parse_number(rest.substr(0, comma), &address) || address > 0xFFFFFFFFu) return "E01";
  int type = packet[1] - '0';
  uint32_t at = static_cast<uint32_t>(address);
  ArmCore& core = board_.core();
  if (packet[0] == 'Z') {
    breakpoints_.insert({type, at});
    core.add_breakpoint(at);
  } else {
    breakpoints_.erase({type, at});
    if (!breakpoints_.count({1 - type, at})) core.remove_breakpoint(at);
  }
  return "OK";
}

void GdbStub::clear_breakpoints() {
  for (const auto& [type, at] : breakpoints_) board_.core().remove_breakpoint(at);
  breakpoints_.clear();
}

}  // namespace sim
