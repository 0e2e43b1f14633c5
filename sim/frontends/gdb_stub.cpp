#include "frontends/gdb_stub.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/s3c44b0x.h"

namespace sim {

namespace {

// Virtual time run between two looks at the socket (Ctrl-C) and the console.
constexpr VTime kChunk = 10 * kMillisecond;
// The largest packet gdb may send us, and so the largest memory reply.
constexpr size_t kPacketSize = 0x4000;
constexpr size_t kMaxMemory = (kPacketSize - 16) / 2;
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
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) {
    *error = std::string("cannot open a socket: ") + std::strerror(errno);
    return false;
  }
  int one = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || ::listen(listen_fd_, 1) < 0) {
    *error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
    ::close(listen_fd_);
    listen_fd_ = -1;
    return false;
  }
  socklen_t len = sizeof addr;
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  return true;
}

bool GdbStub::wait_for_client(const Options& options) {
  while (true) {
    if (options.quit && options.quit()) return false;
    pollfd p{listen_fd_, POLLIN, 0};
    int n = ::poll(&p, 1, 100);
    if (n < 0 && errno != EINTR) return false;
    if (n <= 0) continue;
    fd_ = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd_ < 0) continue;
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // One debugger per run: nobody else may connect meanwhile.
    ::close(listen_fd_);
    listen_fd_ = -1;
    return true;
  }
}

bool GdbStub::receive(int timeout_ms) {
  pollfd p{fd_, POLLIN, 0};
  int n = ::poll(&p, 1, timeout_ms);
  if (n < 0) return errno == EINTR;
  if (n == 0) return true;
  char buf[4096];
  ssize_t got = ::read(fd_, buf, sizeof buf);
  if (got < 0) return errno == EINTR || errno == EAGAIN;
  if (got == 0) return false;
  in_.append(buf, static_cast<size_t>(got));
  return true;
}

void GdbStub::send_raw(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the connection is gone; the next read says so
    done += static_cast<size_t>(n);
  }
}

void GdbStub::send_packet(const std::string& payload) {
  unsigned sum = 0;
  for (unsigned char c : payload) sum += c;
  last_sent_ = "$" + payload + "#" + hex_byte(sum & 0xFF);
  send_raw(last_sent_);
}

// Acks, a request to resend, and Ctrl-C (0x03) come between packets.
void GdbStub::scan_out_of_band() {
  while (!in_.empty() && in_[0] != '$') {
    if (in_[0] == '-' && !no_ack_ && !last_sent_.empty()) send_raw(last_sent_);
    if (in_[0] == '\x03') interrupt_requested_ = true;
    in_.erase(0, 1);
  }
}

bool GdbStub::next_packet(std::string* packet) {
  while (true) {
    scan_out_of_band();
    if (in_.empty()) return false;
    size_t hash = in_.find('#');
    if (hash == std::string::npos || in_.size() < hash + 3) return false;
    std::string payload = in_.substr(1, hash - 1);
    uint64_t sum_sent = 0;
    bool sum_ok = parse_number(in_.substr(hash + 1, 2), &sum_sent);
    in_.erase(0, hash + 3);
    unsigned sum = 0;
    for (unsigned char c : payload) sum += c;
    if (!no_ack_) {
      if (!sum_ok || sum_sent != (sum & 0xFF)) {
        send_raw("-");
        continue;
      }
      send_raw("+");
    }
    *packet = payload;
    return true;
  }
}

GdbStub::End GdbStub::serve(const Options& options) {
  if (listen_fd_ < 0 || !wait_for_client(options)) return End::kQuit;
  while (true) {
    std::string packet;
    while (!next_packet(&packet)) {
      if (options.quit && options.quit()) return End::kQuit;
      if (!receive(100)) return End::kDisconnected;
    }
    End end;
    if (handle(packet, options, &end)) return end;
  }
}

bool GdbStub::handle(const std::string& packet, const Options& options, End* end) {
  if (packet.empty()) {
    send_packet("");
    return false;
  }
  std::string args = packet.substr(1);
  switch (packet[0]) {
    case '?': send_packet(stop_reply()); return false;
    case 'g': send_packet(read_registers()); return false;
    case 'G': send_packet(write_registers(args) ? "OK" : "E01"); return false;
    case 'p': send_packet(read_register(args)); return false;
    case 'P': send_packet(write_register(args) ? "OK" : "E01"); return false;
    case 'm': send_packet(read_memory(args)); return false;
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
      return false;
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
      return resume(packet[0] == 's' || packet[0] == 'S', options, end);
    }
    case 'H':
    case 'T': send_packet("OK"); return false;
    case 'k': *end = End::kKilled; return true;
    case 'D':
      send_packet("OK");
      *end = End::kDetached;
      return true;
    case 'Z':
    case 'z': send_packet(breakpoint(packet)); return false;
    case 'v':
      if (packet == "vCont?") {
        send_packet("vCont;c;C;s;S");
        return false;
      }
      if (starts_with(packet, "vCont;")) {
        // One thread: the first action is the one for it.
        char action = packet.size() > 6 ? packet[6] : 'c';
        if (action == 'c' || action == 'C') return resume(false, options, end);
        if (action == 's' || action == 'S') return resume(true, options, end);
        send_packet("E01");
        return false;
      }
      if (starts_with(packet, "vKill")) {
        send_packet("OK");
        *end = End::kKilled;
        return true;
      }
      send_packet("");
      return false;
    case 'q':
    case 'Q': {
      std::string reply = query(packet);
      send_packet(reply);
      if (packet == "QStartNoAckMode") no_ack_ = true;  // from the next packet on
      return false;
    }
    default: send_packet(""); return false;
  }
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

// gdb's `monitor ...`.
std::string GdbStub::monitor_command(const std::string& command) {
  if (command == "time") {
    char text[128];
    std::snprintf(text, sizeof text, "virtual time %s, %llu cycles, %llu instructions\n",
                  format_duration(board_.now()).c_str(), static_cast<unsigned long long>(board_.cycles()),
                  static_cast<unsigned long long>(board_.core().instructions()));
    return text;
  }
  if (command == "help" || command.empty())
    return "monitor time: the board's virtual time, MCLK cycles and instructions since power-on\n";
  return "board-sim: unknown monitor command '" + command + "' (monitor help)\n";
}

bool GdbStub::resume(bool step, const Options& options, End* end) {
  if (!exited_ && !board_.halted() && board_.now() < options.until) {
    interrupt_requested_ = false;
    if (step) {
      board_.step();
    } else {
      // Continuing from a breakpoint runs its instruction instead of
      // stopping there again.
      board_.core().pass_breakpoint_at_pc();
      auto wall_start = std::chrono::steady_clock::now();
      VTime virtual_start = board_.now();
      while (true) {
        board_.run_until(std::min(options.until, board_.now() + kChunk));
        if (board_.halted() || board_.at_breakpoint() || board_.now() >= options.until) break;
        if (!receive(0)) {
          *end = End::kDisconnected;
          return true;
        }
        scan_out_of_band();
        if (interrupt_requested_) break;
        if (options.quit && options.quit()) {
          *end = End::kQuit;
          return true;
        }
        if (options.poll) options.poll();
        if (options.real_time)
          std::this_thread::sleep_until(wall_start +
                                        std::chrono::nanoseconds((board_.now() - virtual_start) / kNanosecond));
      }
    }
    signal_ = interrupt_requested_ ? kSigInt : kSigTrap;
    interrupt_requested_ = false;
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
        if (options.on_halt) options.on_halt();
      }
    } else if (board_.now() >= options.until) {
      exited_ = true;
      exit_code_ = 0;
    }
  }
  send_packet(stop_reply());
  return false;
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
  // The mode first: r13 and r14 then go to the banks of the mode written.
  if (values[kCpsrNumber] != core.cpsr()) core.set_cpsr(values[kCpsrNumber]);
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
  if (n == kCpsrNumber) board_.core().set_cpsr(v);
  else board_.core().set_reg(static_cast<int>(n), v);
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

}  // namespace sim
