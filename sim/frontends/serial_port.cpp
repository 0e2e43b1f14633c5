#include "frontends/serial_port.h"
#include "frontends/tcp_listen.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "core/log.h"

namespace sim {

namespace {

bool parse_port_number(const std::string& text, int* port) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *port = std::stoi(text);
  return *port <= 65535;
}

std::string bytes_text(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

}  // namespace

bool parse_serial_port(const std::string& text, SerialPortSpec* spec, std::string* error) {
  auto bad = [&] {
    *error = "'" + text + "' is not pty, tcp:PORT or tcp:ADDRESS:PORT (each may end in ,wait)";
    return false;
  };
  SerialPortSpec s;
  std::string body = text;
  const std::string wait = ",wait";
  if (body.size() > wait.size() && body.compare(body.size() - wait.size(), wait.size(), wait) == 0) {
    s.wait = true;
    body.resize(body.size() - wait.size());
  }
  if (body == "pty") {
    s.kind = SerialPortSpec::Kind::kPty;
  } else if (body.rfind("tcp:", 0) == 0) {
    s.kind = SerialPortSpec::Kind::kTcp;
    std::string rest = body.substr(4);
    size_t colon = rest.rfind(':');
    if (colon != std::string::npos) {
      s.address = rest.substr(0, colon);
      rest = rest.substr(colon + 1);
      in_addr a{};
      if (inet_pton(AF_INET, s.address.c_str(), &a) != 1) {
        *error = "'" + s.address + "' is not an IPv4 address (e.g. 127.0.0.1, 0.0.0.0)";
        return false;
      }
    }
    if (!parse_port_number(rest, &s.port)) return bad();
  } else {
    return bad();
  }
  *spec = s;
  return true;
}

SerialPort::SerialPort(Board& board, int uart) : board_(board), uart_(uart), name_("uart" + std::to_string(uart)) {
  auto listener = [this](uint8_t b) { from_board(b); };
  if (uart_ == 0) board_.add_console_listener(listener);
  else board_.add_uart1_listener(listener);
  board_.add_host_poll([this] { poll(); });
}

SerialPort::~SerialPort() {
  if (client_ >= 0 && client_ != master_fd_) ::close(client_);
  if (listen_fd_ >= 0) ::close(listen_fd_);
  if (master_fd_ >= 0) ::close(master_fd_);
}

bool SerialPort::open(const SerialPortSpec& spec, std::string* error) {
  spec_ = spec;
  if (spec.kind == SerialPortSpec::Kind::kPty) {
    int slave = -1;
    char name[128] = {};
    if (::openpty(&master_fd_, &slave, name, nullptr, nullptr) < 0) {
      *error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
      return false;
    }
    // Raw from the start: with the default line discipline the slave would
    // echo what the board sends back to the board, and turn its CRs into
    // LFs, until a client sets its own modes. The modes stay with the pty
    // when the slave is closed.
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    ::close(slave);
    fcntl(master_fd_, F_SETFL, fcntl(master_fd_, F_GETFL) | O_NONBLOCK);
    fcntl(master_fd_, F_SETFD, FD_CLOEXEC);
    where_ = name;
    return true;
  }
  int bound = 0;
  listen_fd_ = tcp_listen(spec.address, spec.port, true, &bound, error);
  if (listen_fd_ < 0) return false;
  spec_.port = bound;
  where_ = spec.address + ":" + std::to_string(spec_.port);
  return true;
}

std::string SerialPort::announcement() const {
  const SerialTerminal& far = uart_ == 0 ? board_.uart0().far_end() : board_.uart1().far_end();
  const std::string rate = std::to_string(far.baud());
  std::string line = (spec_.kind == SerialPortSpec::Kind::kPty ? "pty " : "tcp ") + where_ + " at " + rate +
                     " baud 8N1 (";
  if (spec_.kind == SerialPortSpec::Kind::kPty) line += "picocom -b " + rate + " " + where_;
  else line += "nc " + spec_.address + " " + std::to_string(spec_.port);
  return line + ")";
}

size_t SerialPort::read_ahead() const {
  const SerialTerminal& far = uart_ == 0 ? board_.uart0().far_end() : board_.uart1().far_end();
  // About 4 ms of line time: the board polls every millisecond of virtual
  // time, so the line never idles while the client has more to say.
  return std::max<size_t>(16, far.baud() / 2500);
}

void SerialPort::from_board(uint8_t byte) {
  if (client_ < 0) {
    ++lost_unconnected_;
    return;
  }
  if (output_.size() >= kOutputLimit) {
    if (!lost_slow_)
      log_warning(name_, "the client on " + where_ + " is not reading; what the firmware sends past " +
                             bytes_text(kOutputLimit) + " is dropped until it does");
    ++lost_slow_;
    return;
  }
  output_.push_back(static_cast<char>(byte));
}

void SerialPort::say_dropped() {
  if (!lost_slow_) return;
  log_warning(name_, "the client on " + where_ + " reads again; " + bytes_text(lost_slow_) +
                         " the firmware sent meanwhile were dropped");
  lost_slow_ = 0;
}

void SerialPort::drop_client() {
  if (spec_.kind == SerialPortSpec::Kind::kTcp) {
    ::close(client_);
  } else {
    // What the last client left unread in the pty is not for the next one.
    int slave = ::open(where_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave >= 0) {
      tcflush(slave, TCIFLUSH);
      ::close(slave);
    }
  }
  client_ = -1;
  lost_unconnected_ += output_.size();
  output_.clear();
  say_dropped();
}

void SerialPort::check_client() {
  if (spec_.kind == SerialPortSpec::Kind::kPty) {
    pollfd p{master_fd_, POLLIN | POLLOUT, 0};
    ::poll(&p, 1, 0);
    // A client that wrote and closed at once: what it wrote is read first
    // (the master reads it, then EIO).
    const bool open_now = !(p.revents & POLLHUP) || (client_ >= 0 && (p.revents & POLLIN));
    if (open_now && client_ < 0) client_ = master_fd_;
    else if (!open_now && client_ >= 0) drop_client();
  } else {
    while (true) {
      sockaddr_in from{};
      socklen_t len = sizeof from;
      int fd = ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&from), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) break;
      if (client_ >= 0) {
        char text[INET_ADDRSTRLEN] = "?";
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        log_warning(name_, "refused a second client from " + std::string(text) + ":" +
                               std::to_string(ntohs(from.sin_port)) + " on " + where_ + ": one at a time");
        ::close(fd);
        continue;
      }
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      client_ = fd;
    }
  }
  if (client_ >= 0 && !was_connected_ && lost_unconnected_) {
    log_warning(name_, "a client connected on " + where_ + "; the " + bytes_text(lost_unconnected_) +
                           " the firmware sent while none was went nowhere");
    lost_unconnected_ = 0;
  }
  was_connected_ = client_ >= 0;
}

void SerialPort::take_input() {
  SerialTerminal& far = uart_ == 0 ? board_.uart0().far_end() : board_.uart1().far_end();
  while (client_ >= 0 && far.queued() < read_ahead()) {
    uint8_t buf[4096];
    const size_t room = std::min(sizeof buf, read_ahead() - far.queued());
    ssize_t n = ::read(client_, buf, room);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {  // TCP: the client went away; a pty: EIO when every client closed it
      drop_client();
      was_connected_ = false;
      return;
    }
    std::vector<uint8_t> bytes(buf, buf + n);
    if (uart_ == 0) board_.uart_input(bytes);
    else board_.uart1_input(bytes);
    if (input_observer_) input_observer_(bytes);
  }
}

void SerialPort::flush_output() {
  while (client_ >= 0 && !output_.empty()) {
    ssize_t n = spec_.kind == SerialPortSpec::Kind::kTcp
                    ? ::send(client_, output_.data(), output_.size(), MSG_NOSIGNAL | MSG_DONTWAIT)
                    : ::write(client_, output_.data(), output_.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
      drop_client();
      was_connected_ = false;
      return;
    }
    output_.erase(0, static_cast<size_t>(n));
  }
  if (output_.empty()) say_dropped();
}

void SerialPort::poll() {
  check_client();
  flush_output();
  take_input();
}

bool SerialPort::wait_for_client(const std::function<bool()>& stop) {
  while (true) {
    check_client();
    if (connected()) return true;
    if (stop && stop()) return false;
    pollfd p{spec_.kind == SerialPortSpec::Kind::kTcp ? listen_fd_ : master_fd_, POLLIN, 0};
    // A pty says nothing when its slave is opened: look again shortly.
    ::poll(&p, 1, 20);
  }
}

void SerialPort::finish() {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(1);
  check_client();
  while (client_ >= 0 && !output_.empty() && Clock::now() < deadline) {
    flush_output();
    if (client_ < 0 || output_.empty()) break;
    pollfd p{client_, POLLOUT, 0};
    ::poll(&p, 1, 20);
  }
  if (!output_.empty()) {
    lost_slow_ += output_.size();
    output_.clear();
  }
  if (lost_slow_)
    log_warning(name_, "the client on " + where_ + " did not read the last " + bytes_text(lost_slow_) +
                           " the firmware sent");
  if (lost_unconnected_)
    log_warning(name_, bytes_text(lost_unconnected_) + " the firmware sent while no client was connected on " +
                           where_ + " went nowhere");
  lost_slow_ = lost_unconnected_ = 0;
}

}  // namespace sim
