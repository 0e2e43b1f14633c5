// The gdb stub, driven over a real TCP socket the way gdb drives it: packets
// with checksums and acks, registers, memory, breakpoints, steps, Ctrl-C,
// the halt, and board-sim's --gdb option end to end. Time is read from the
// board (`monitor time`, or after the session), never from the wall clock;
// the socket's timeouts only keep a broken stub from hanging the test.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "board/board.h"
#include "core/elf_image.h"
#include "core/log.h"
#include "test_firmwares.h"
#include "core/s3c44b0x.h"
#include "frontends/gdb_stub.h"
#include "frontends/quoting.h"

namespace sim {
namespace {


std::string hex_le32(uint32_t v) {
  char s[9];
  std::snprintf(s, sizeof s, "%02x%02x%02x%02x", v & 0xFF, v >> 8 & 0xFF, v >> 16 & 0xFF, v >> 24);
  return s;
}

uint32_t le32_at(const std::string& hex, size_t word) {
  uint32_t v = 0;
  for (int b = 3; b >= 0; --b) v = v << 8 | std::stoul(hex.substr(8 * word + 2 * b, 2), nullptr, 16);
  return v;
}

std::string hex_of(const std::string& text) {
  std::string s;
  char b[3];
  for (unsigned char c : text) {
    std::snprintf(b, sizeof b, "%02x", c);
    s += b;
  }
  return s;
}

std::string text_of(const std::string& hex) {
  std::string s;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) s += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
  return s;
}

std::string addr(uint32_t a) {
  char s[9];
  std::snprintf(s, sizeof s, "%x", a);
  return s;
}

// The other end of the protocol, as gdb plays it.
class GdbClient {
 public:
  ~GdbClient() { close(); }

  bool connect(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    // Only a guard against a stub that never answers on a loaded machine.
    timeval tv{60, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int one = 1;  // as gdb does: small packets go at once
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  void send_raw(const std::string& bytes) { ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), (ssize_t)bytes.size()); }
  static std::string frame(const std::string& payload) {
    unsigned sum = 0;
    for (unsigned char c : payload) sum += c;
    char cs[3];
    std::snprintf(cs, sizeof cs, "%02x", sum & 0xFF);
    return "$" + payload + "#" + cs;
  }
  void send(const std::string& payload) {
    send_raw(frame(payload));
    if (!no_ack_) {
      EXPECT_EQ(read_byte(), '+') << "no ack for " << payload;
    }
  }

  // The next packet from the stub, checked and acked ("<eof>" if none).
  std::string reply() {
    int c;
    while ((c = read_byte()) == '+') {
    }
    if (c != '$') return "<eof>";
    std::string payload;
    while ((c = read_byte()) != '#' && c >= 0) payload += static_cast<char>(c);
    std::string sum{static_cast<char>(read_byte()), static_cast<char>(read_byte())};
    EXPECT_EQ(frame(payload).substr(frame(payload).size() - 2), sum) << "checksum of " << payload;
    if (!no_ack_) send_raw("+");
    return payload;
  }
  std::string request(const std::string& payload) {
    send(payload);
    return reply();
  }
  // Resumes and returns the stop reply; the console output ('O' packets)
  // sent before it goes to *output.
  std::string resume(const std::string& packet, std::string* output = nullptr) {
    send(packet);
    std::string r;
    while ((r = reply()).size() > 1 && r[0] == 'O') {
      if (output) *output += text_of(r.substr(1));
    }
    return r;
  }
  void no_ack() { no_ack_ = true; }
  // The stub closed the connection (rather than the read timing out).
  bool closed_by_peer() {
    unsigned char c;
    return ::recv(fd_, &c, 1, 0) == 0;
  }

  int read_byte() {
    unsigned char c;
    return ::recv(fd_, &c, 1, 0) == 1 ? c : -1;
  }
  // Sends without failing the test: false once the stub has closed its end
  // (or the send waited 10 s).
  bool try_send(const std::string& bytes) {
    timeval tv{10, 0};
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }

 private:
  int fd_ = -1;
  bool no_ack_ = false;
};

// "T05thread:1;0f:...;" -> the value of register n.
uint32_t stop_register(const std::string& stop, int n) {
  char key[8];
  std::snprintf(key, sizeof key, ";%02x:", n);
  size_t at = stop.find(key);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no register " << n << " in " << stop;
    return 0;
  }
  return le32_at(stop.substr(at + 4, 8), 0);
}

struct GdbStubTest : ::testing::Test {
  LogCapture log;
  std::unique_ptr<Board> board;
  std::unique_ptr<GdbStub> stub;
  std::thread server;
  std::atomic<bool> stop_server{false};
  bool end_on_detach = true;  // the server loop ends when the debugger goes
  GdbClient gdb;
  ElfImage elf;

  bool bounce = true;  // the keys' and buttons' contacts bounce, as by default
  void start(const std::string& name, unsigned cpi = 1) {
    BoardOptions options;
    options.cycles_per_instruction = cpi;
    options.bounce = bounce;
    board = std::make_unique<Board>(options);
    std::string error;
    ASSERT_TRUE(board->load(elf_path(name), &error)) << error;
    ASSERT_TRUE(elf.load(elf_path(name), &error)) << error;
    stub = std::make_unique<GdbStub>(*board);
    ASSERT_TRUE(stub->listen(0, &error)) << error;
    ASSERT_NE(stub->port(), 0);
    server = std::thread([this] { serve(); });
    ASSERT_TRUE(gdb.connect(stub->port()));
  }
  // A front end's run loop, as board-sim's headless one: the board runs in
  // chunks of virtual time as the stub lets it, the stub polled between.
  void serve() {
    bool had_client = false;
    while (!stop_server) {
      stub->poll(stub->holding() ? 20 : 0);
      had_client = had_client || stub->attached();
      if (stub->killed() || (end_on_detach && had_client && !stub->attached())) break;
      if (!stub->holding()) {
        stub->run_until(board->now() + 10 * kMillisecond);
        ++chunks_run;
      }
    }
  }
  std::atomic<int> chunks_run{0};
  std::string monitor(const std::string& command) { return text_of(gdb.request("qRcmd," + hex_of(command))); }
  // Ends the session (the client goes away unless it already ended it).
  void finish() {
    gdb.close();
    if (!end_on_detach) stop_server = true;
    if (server.joinable()) server.join();
  }
  ~GdbStubTest() override { finish(); }

  uint32_t symbol(const std::string& name) {
    auto s = elf.symbol(name);
    EXPECT_TRUE(s) << name;
    return s ? s->address : 0;
  }
  // The ELF's own bytes at [address, address + n), as hex.
  std::string elf_bytes(uint32_t address, uint32_t n) {
    for (const ElfSegment& seg : elf.segments()) {
      if (address >= seg.address && address + n <= seg.address + seg.bytes.size()) {
        std::string s;
        char b[3];
        for (uint32_t i = 0; i < n; ++i) {
          std::snprintf(b, sizeof b, "%02x", seg.bytes[address - seg.address + i]);
          s += b;
        }
        return s;
      }
    }
    ADD_FAILURE() << "no ELF bytes at " << addr(address);
    return "";
  }
  VTime vtime() {
    std::string out = monitor("time");
    std::smatch m;
    EXPECT_TRUE(std::regex_search(out, m, std::regex("virtual time ([0-9.]+)s"))) << out;
    return m.empty() ? 0 : static_cast<VTime>(std::stod(m[1]) * 1e6 + 0.5) * kMicrosecond;
  }
  uint64_t cycles() {
    std::string out = text_of(gdb.request("qRcmd," + hex_of("time")));
    std::smatch m;
    EXPECT_TRUE(std::regex_search(out, m, std::regex("([0-9]+) cycles"))) << out;
    return m.empty() ? 0 : std::stoull(m[1]);
  }
  std::vector<uint32_t> registers() {
    std::string g = gdb.request("g");
    EXPECT_EQ(g.size(), 17u * 8) << g;
    std::vector<uint32_t> r;
    for (size_t i = 0; i < g.size() / 8; ++i) r.push_back(le32_at(g, i));
    r.resize(17);
    return r;
  }
};

TEST_F(GdbStubTest, StopsAtMainAndDescribesTheCore) {
  start("hello");
  std::string features = gdb.request("qSupported:multiprocess+;swbreak+;xmlRegisters=i386");
  EXPECT_NE(features.find("PacketSize="), std::string::npos) << features;
  EXPECT_NE(features.find("qXfer:features:read+"), std::string::npos) << features;

  // The target description, read in pieces as gdb does: 'm' while more
  // follows, 'l' with the last piece.
  std::string xml, piece;
  for (uint32_t offset = 0; offset < 100000; offset += 0x80) {
    piece = gdb.request("qXfer:features:read:target.xml:" + addr(offset) + ",80");
    ASSERT_FALSE(piece.empty());
    xml += piece.substr(1);
    if (piece[0] == 'l') break;
    ASSERT_EQ(piece[0], 'm');
  }
  EXPECT_NE(xml.find("<feature name=\"org.gnu.gdb.arm.core\">"), std::string::npos) << xml;
  std::regex reg_name("<reg name=\"([a-z0-9]+)\"");
  std::vector<std::string> names;
  for (std::sregex_iterator it(xml.begin(), xml.end(), reg_name), e; it != e; ++it) names.push_back((*it)[1]);
  EXPECT_EQ(names, (std::vector<std::string>{"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9", "r10",
                                             "r11", "r12", "sp", "lr", "pc", "cpsr"}));

  uint32_t main_at = symbol("main");
  std::string stop = gdb.request("?");
  EXPECT_EQ(stop.substr(0, 3), "T05") << stop;
  EXPECT_EQ(stop_register(stop, 15), main_at);

  // What the monitor leaves for main: supervisor mode with IRQs on, its
  // stack, and the trap that catches main's return in lr.
  std::vector<uint32_t> r = registers();
  EXPECT_EQ(r[15], main_at);
  EXPECT_EQ(r[13], 0x0C7FEC00u);
  EXPECT_EQ(r[14], Board::kMainReturnTrap);
  EXPECT_EQ(r[16], ArmCore::kSvc | ArmCore::kCpsrF);
  EXPECT_EQ(gdb.request("pf"), hex_le32(main_at));
  EXPECT_EQ(gdb.request("p10"), hex_le32(r[16]));
  EXPECT_EQ(gdb.request("p11"), "E01");

  // Registers written one by one and all at once.
  EXPECT_EQ(gdb.request("P3=" + hex_le32(0xCAFEF00D)), "OK");
  EXPECT_EQ(gdb.request("p3"), hex_le32(0xCAFEF00D));
  r = registers();
  r[4] = 0x01020304;
  std::string g;
  for (uint32_t v : r) g += hex_le32(v);
  EXPECT_EQ(gdb.request("G" + g), "OK");
  EXPECT_EQ(gdb.request("p4"), hex_le32(0x01020304));
  EXPECT_EQ(gdb.request("p3"), hex_le32(0xCAFEF00D));
  EXPECT_EQ(gdb.request("G1234"), "E01");

  gdb.send("k");
  finish();
  EXPECT_TRUE(stub->killed());
  EXPECT_EQ(board->now(), 0u) << "nothing runs until gdb says so";
}

// Each request and what the stub answers, at main of hello.
TEST_F(GdbStubTest, AnswersTheQueriesGdbMakes) {
  start("hello");
  const struct {
    const char* request;
    const char* reply;
  } table[] = {
      {"qAttached", "0"},
      {"qC", "QC1"},
      {"qfThreadInfo", "m1"},
      {"qsThreadInfo", "l"},
      {"Hg0", "OK"},
      {"Hc-1", "OK"},
      {"T1", "OK"},
      {"vCont?", "vCont;c;C;s;S"},
      {"vCont;", "E01"},  // no action is no request to run
      {"vCont;x", "E01"},
      {"vMustReplyEmpty", ""},
      {"qOffsets", ""},
      {"qXfer:features:read:other.xml:0,100", "E00"},
      // Watchpoints are not offered.
      {"Z2,c100000,4", ""},
      {"Z4,c100000,4", ""},
      // Device registers are not read: their reads change the devices.
      {"m1d00010,4", "E01"},
      {"m1e00000,4", "E01"},
      {"m2140000,1", "E01"},
      // Nothing there.
      {"m10000000,4", "E01"},
      {"mffffffff,4", "E01"},
      // The monitor's ROM: every word a permanently undefined instruction.
      {"m100,8", "f000f0e7f000f0e7"},
      // A read running off the end of SDRAM stops there.
      {"m0c7ffffe,4", "0000"},
      // Writes reach SDRAM only.
      {"M100,4:00000000", "E01"},
      {"M1d00020,1:41", "E01"},
      {"M0c7ffffe,4:01020304", "E01"},
      {"Mzz,4:00", "E01"},
      {"M0c200000,2:123", "E01"},
      {"X0c200000,0:", "OK"},
      {"qRcmd,zz", "E01"},
      {"qNoSuchThing", ""},
  };
  for (const auto& row : table) EXPECT_EQ(gdb.request(row.request), row.reply) << row.request;
  EXPECT_NE(text_of(gdb.request("qRcmd," + hex_of("bogus"))).find("unknown monitor command 'bogus'"),
            std::string::npos);
  gdb.send("k");
  finish();
  EXPECT_TRUE(log.lines.empty()) << log.lines.front();
}

TEST_F(GdbStubTest, ReadsAndWritesMemory) {
  start("hello");
  uint32_t main_at = symbol("main");
  EXPECT_EQ(gdb.request("m" + addr(main_at) + ",40"), elf_bytes(main_at, 0x40));
  EXPECT_EQ(gdb.request("m" + addr(main_at) + ",0"), "");

  EXPECT_EQ(gdb.request("M0c200000,4:11223344"), "OK");
  EXPECT_EQ(gdb.request("m0c200000,4"), "11223344");
  EXPECT_EQ(board->ram().read32(0x0C200000), 0x44332211u);
  // Binary writes: '#', '$', '}' and '*' travel escaped as '}' and c ^ 0x20.
  std::string payload = "X0c200010,6:";
  for (char c : std::string("#$}*\x01z")) {
    if (c == '#' || c == '$' || c == '}' || c == '*') {
      payload += '}';
      payload += static_cast<char>(c ^ 0x20);
    } else {
      payload += c;
    }
  }
  EXPECT_EQ(gdb.request(payload), "OK");
  EXPECT_EQ(gdb.request("m0c200010,6"), "23247d2a017a");

  // Code patched through gdb runs as patched, even code already translated:
  // main's first instruction, run once, becomes "mov r0, #42".
  EXPECT_EQ(gdb.resume("s").substr(0, 3), "T05");
  EXPECT_EQ(gdb.request("M" + addr(main_at) + ",4:2a00a0e3"), "OK");
  EXPECT_EQ(gdb.request("Pf=" + hex_le32(main_at)), "OK");
  EXPECT_EQ(stop_register(gdb.resume("s"), 15), main_at + 4);
  EXPECT_EQ(gdb.request("p0"), hex_le32(42));
  gdb.send("k");
  finish();
}

// A corrupted packet is refused with '-' and taken when sent again; without
// acks (QStartNoAckMode) the exchange goes on bare.
TEST_F(GdbStubTest, ChecksumsAndAcks) {
  start("hello");
  gdb.send_raw("$qC#00");
  EXPECT_EQ(gdb.read_byte(), '-');
  EXPECT_EQ(gdb.request("qC"), "QC1");
  // A reply lost on the way: gdb asks for it again with '-'.
  gdb.send("qC");
  EXPECT_EQ(gdb.reply(), "QC1");
  gdb.send_raw("-");
  EXPECT_EQ(gdb.reply(), "QC1");
  EXPECT_EQ(gdb.request("QStartNoAckMode"), "OK");
  gdb.no_ack();
  EXPECT_EQ(gdb.request("qC"), "QC1");
  EXPECT_EQ(gdb.request("p10"), hex_le32(ArmCore::kSvc | ArmCore::kCpsrF));
  gdb.send("k");
  finish();
}

// A breakpoint in hello's main, a step from it, then on to main's return:
// gdb is told the program exited with main's result, and the clock counts
// exactly the instructions run.
TEST_F(GdbStubTest, BreakpointStepAndExit) {
  const unsigned cpi = 3;
  start("hello", cpi);
  uint32_t main_at = symbol("main");
  // gdb's own single step on an ARM: a breakpoint on the next instruction,
  // then continue. (main's first instructions, the console set-up, run
  // straight through.)
  EXPECT_EQ(gdb.request("Z0," + addr(main_at + 4) + ",4"), "OK");
  std::string stop = gdb.resume("c");
  EXPECT_EQ(stop_register(stop, 15), main_at + 4);
  EXPECT_EQ(cycles(), 1 * cpi);
  EXPECT_EQ(gdb.request("z0," + addr(main_at + 4) + ",4"), "OK");

  uint32_t bp = main_at + 8;
  EXPECT_EQ(gdb.request("Z0," + addr(bp) + ",4"), "OK");
  stop = gdb.resume("c");
  EXPECT_EQ(stop.substr(0, 3), "T05") << stop;
  EXPECT_EQ(stop_register(stop, 15), bp);
  EXPECT_EQ(cycles(), 2 * cpi) << "two instructions before the breakpoint";

  stop = gdb.resume("s");
  EXPECT_EQ(stop.substr(0, 3), "T05") << stop;
  EXPECT_EQ(stop_register(stop, 15), bp + 4);
  EXPECT_EQ(cycles(), 3 * cpi);
  stop = gdb.resume("vCont;s:1");
  EXPECT_EQ(stop_register(stop, 15), bp + 8);
  EXPECT_EQ(cycles(), 4 * cpi);

  EXPECT_EQ(gdb.request("z0," + addr(bp) + ",4"), "OK");
  std::string output;
  stop = gdb.resume("vCont;c", &output);
  EXPECT_EQ(stop, "W00");
  EXPECT_NE(output.find("halted: main returned"), std::string::npos) << output;
  EXPECT_EQ(gdb.resume("c"), "W00") << "the program is over";
  gdb.send("k");
  finish();
  EXPECT_EQ(board->console(), "hello\n");
}

// irq_registers: the watchdog interrupts a loop holding known values in
// r0..r12. Steps through main's straight start to the store of the handler's
// address, a breakpoint on the handler, a look at the interrupted registers,
// and every entry of the handler stopping exactly once.
TEST_F(GdbStubTest, BreakpointInAnInterruptHandler) {
  const unsigned cpi = 2;
  start("irq_registers", cpi);
  uint32_t main_at = symbol("main");
  const std::string slot = "m0c7fff5c,4";  // the WDT's vectored slot
  uint32_t pc = main_at;
  int steps = 0;
  while (gdb.request(slot) == "00000000" && steps < 40) {
    std::string stop = gdb.resume("s");
    ++steps;
    ASSERT_EQ(stop_register(stop, 15), pc + 4) << "step " << steps;
    pc += 4;
    ASSERT_EQ(cycles(), static_cast<uint64_t>(steps) * cpi);
  }
  uint32_t handler = le32_at(gdb.request(slot), 0);
  // stmfd sp!, {r0-r12}, as in the ELF.
  EXPECT_EQ(gdb.request("m" + addr(handler) + ",4"), "ff1f2de9");
  EXPECT_EQ(gdb.request("m" + addr(handler) + ",20"), elf_bytes(handler, 0x20));

  EXPECT_EQ(gdb.request("Z1," + addr(handler) + ",4"), "OK");
  std::string stop = gdb.resume("c");
  ASSERT_EQ(stop.substr(0, 3), "T05") << stop;
  EXPECT_EQ(stop_register(stop, 15), handler);
  std::vector<uint32_t> r = registers();
  for (int i = 0; i < 13; ++i) EXPECT_EQ(r[i], 0x11111111u * (i + 1)) << "r" << i;
  EXPECT_EQ(r[16] & 0x1F, ArmCore::kIrq);
  EXPECT_TRUE(r[16] & ArmCore::kCpsrI);
  EXPECT_GT(r[14], main_at) << "lr_irq points into main's loop";

  // One step: the handler saves r0..r12 on the IRQ stack.
  stop = gdb.resume("s");
  EXPECT_EQ(stop_register(stop, 15), handler + 4);
  EXPECT_EQ(stop_register(stop, 13), r[13] - 52);
  std::string saved;
  for (int i = 0; i < 13; ++i) saved += hex_le32(0x11111111u * (i + 1));
  EXPECT_EQ(gdb.request("m" + addr(r[13] - 52) + ",34"), saved);

  // Each entry stops once; the program then says whether the registers came
  // back intact and finishes: an endless loop in main with every interrupt
  // masked and the watchdog off. That is no halt: gdb stops there at a
  // breakpoint, and after a continue the board runs on until interrupted.
  uint32_t final_loop = 0;
  for (uint32_t a = main_at; a < main_at + 0x400 && !final_loop; a += 4)
    if (elf_bytes(a, 4) == "feffffea") final_loop = a;  // b .
  ASSERT_NE(final_loop, 0u);
  EXPECT_EQ(gdb.request("Z1," + addr(final_loop) + ",4"), "OK");
  int hits = 1;
  while ((stop = gdb.resume("c")).substr(0, 3) == "T05" && stop_register(stop, 15) == handler && hits < 100) ++hits;
  EXPECT_EQ(stop.substr(0, 3), "T05") << stop;
  EXPECT_EQ(stop_register(stop, 15), final_loop);
  uint32_t count = le32_at(gdb.request("m" + addr(symbol("count")) + ",4"), 0);
  EXPECT_EQ(static_cast<uint32_t>(hits), count);
  EXPECT_GE(count, 20u);
  EXPECT_EQ(gdb.request("z1," + addr(handler) + ",4"), "OK");
  EXPECT_EQ(gdb.request("z1," + addr(final_loop) + ",4"), "OK");
  gdb.send("c");
  gdb.send_raw("\x03");
  stop = gdb.reply();
  EXPECT_EQ(stop.substr(0, 3), "T02") << stop;
  EXPECT_EQ(stop_register(stop, 15), final_loop);
  EXPECT_FALSE(board->halted());
  EXPECT_EQ(gdb.request("vKill;1"), "OK");
  finish();
  EXPECT_TRUE(stub->killed());
  EXPECT_EQ(board->console(), "registers intact\n");
}

// A program that never stops by itself: Ctrl-C (0x03) stops it with SIGINT,
// after which gdb detaches and the board is free to run on.
TEST_F(GdbStubTest, CtrlCStopsAndDetachLetsGo) {
  start("watchdog_reset");
  gdb.send("c");
  gdb.send_raw("\x03");
  std::string stop = gdb.reply();
  EXPECT_EQ(stop.substr(0, 3), "T02") << stop;
  EXPECT_EQ(gdb.request("?").substr(0, 3), "T02");
  EXPECT_GT(cycles(), 0u);
  EXPECT_EQ(gdb.request("D"), "OK");
  finish();
  EXPECT_FALSE(stub->killed());
  EXPECT_FALSE(stub->attached());
  EXPECT_FALSE(board->halted());
}

// A byte waiting in UART0's receive register, looked at through `monitor`
// as often as one likes: it stays there (and its interrupt request stays
// pending) until the firmware itself reads it and answers it.
TEST_F(GdbStubTest, MonitorShowsRegistersWithoutSideEffects) {
  start("echo");
  uint32_t take = symbol("take_byte"), answered = symbol("answered");
  EXPECT_EQ(gdb.request("Z0," + addr(take) + ",4"), "OK");
  EXPECT_NE(monitor("uart \"A\"").find("1 byte(s) for UART0's receiver"), std::string::npos);
  ASSERT_EQ(stop_register(gdb.resume("c"), 15), take);
  auto value = [&](const std::string& name) {
    std::smatch m;
    std::string line = monitor("reg " + name);
    EXPECT_TRUE(std::regex_search(line, m, std::regex("^" + name + " +[0-9a-f]{8}  0x([0-9a-f]+)\n$", std::regex::icase)))
        << line;
    return m.empty() ? ~0u : static_cast<uint32_t>(std::stoul(m[1], nullptr, 16));
  };
  for (int look = 0; look < 3; ++look) {
    EXPECT_EQ(value("URXH0"), 0x41u) << "look " << look;
    EXPECT_EQ(value("utrstat0") & 1, 1u) << "receive data ready, look " << look;
    EXPECT_EQ(value("UERSTAT0"), 0u);
    EXPECT_NE(value("INTPND") & (1u << chip::kIrqUrxd0), 0u) << "URXD0 requested (masked), look " << look;
  }
  EXPECT_EQ(value("ULCON0"), 3u);
  EXPECT_EQ(value("INTMSK"), 0x07FFFFFFu);
  std::string uart0 = monitor("regs uart0");
  EXPECT_NE(uart0.find("URXH0      01d00024  0x41\n"), std::string::npos) << uart0;
  EXPECT_NE(uart0.find("UTXH0      01d00020  (write-only)\n"), std::string::npos) << uart0;
  EXPECT_EQ(std::count(uart0.begin(), uart0.end(), '\n'), 11) << uart0;
  EXPECT_NE(monitor("regs intc").find("I_ISPC     01e00024  (write-only)"), std::string::npos);
  EXPECT_NE(monitor("regs").find("blocks: uart0 uart1 intc ports"), std::string::npos);
  EXPECT_NE(monitor("regs nosuch").find("no block 'nosuch'"), std::string::npos);
  EXPECT_NE(monitor("reg NOSUCH").find("no register 'NOSUCH'"), std::string::npos);
  EXPECT_NE(monitor("help").find("monitor reg NAME"), std::string::npos);

  // Every register of every block, looked at: nothing changes, nothing is reported.
  for (const chip::RegisterBlock& b : chip::register_blocks()) monitor(std::string("regs ") + b.name);
  EXPECT_EQ(value("URXH0"), 0x41u);
  EXPECT_EQ(value("UTRSTAT0") & 1, 1u);

  EXPECT_EQ(gdb.request("z0," + addr(take) + ",4"), "OK");
  EXPECT_EQ(gdb.request("Z0," + addr(answered) + ",4"), "OK");
  EXPECT_EQ(stop_register(gdb.resume("c"), 15), answered);
  EXPECT_EQ(value("UTRSTAT0") & 1, 0u) << "the firmware took the byte";
  gdb.send("k");
  finish();
  EXPECT_EQ(board->console().substr(0, 11), "ready\ngot A");
  for (const std::string& line : log.lines) ADD_FAILURE() << "reported: " << line;
}

// `monitor key` and `monitor button` press at once and release after their
// hold, in virtual time: PDATG shows the keypad's line (PG1) and the
// button's pin (PG6) low while held.
TEST_F(GdbStubTest, MonitorPressesKeysAndButtons) {
  bounce = false;  // the pins follow the contacts at once
  start("echo");
  auto pdatg = [&] {
    std::string line = monitor("reg PDATG");
    return static_cast<uint32_t>(std::stoul(line.substr(line.find("0x") + 2), nullptr, 16));
  };
  EXPECT_EQ(pdatg() & 0xC2, 0xC2u) << "nothing held";
  EXPECT_NE(monitor("key 5 hold 2ms").find("key 5 held from 0.000000s for 0.002000s"), std::string::npos);
  EXPECT_NE(monitor("button 0x40 hold 2ms").find("button 0x40 held"), std::string::npos);
  EXPECT_EQ(pdatg() & 0xC2, 0x80u) << "key and button 0x40 down";
  for (const char* bad : {"key 16", "key", "key 3 hold", "key 3 hold soon", "button 0x41", "button 0x40 for 1s"})
    EXPECT_NE(monitor(bad).find("usage: monitor"), std::string::npos) << bad;
  EXPECT_NE(monitor("uart \"A").find("usage: monitor uart"), std::string::npos);
  EXPECT_NE(monitor("uart \"\\q\"").find("unknown escape"), std::string::npos);

  // The first answer comes within the holds; a stop after them (the run
  // loop stops at each release on its way) finds both released.
  uint32_t answered = symbol("answered");
  EXPECT_NE(monitor("uart \"x\"").find("1 byte"), std::string::npos);
  EXPECT_EQ(gdb.request("Z0," + addr(answered) + ",4"), "OK");
  EXPECT_EQ(stop_register(gdb.resume("c"), 15), answered);
  EXPECT_EQ(pdatg() & 0xC2, 0x80u) << "within the holds";
  EXPECT_EQ(gdb.request("z0," + addr(answered) + ",4"), "OK");
  gdb.send("c");
  gdb.send_raw("\x03");
  EXPECT_EQ(gdb.reply().substr(0, 3), "T02");
  EXPECT_GE(vtime(), 2 * kMillisecond);
  EXPECT_EQ(pdatg() & 0xC2, 0xC2u) << "both released";
  gdb.send("k");
  finish();
}

// A CPSR the ARM7TDMI cannot hold (mode bits naming no mode, bits ARMv4T
// reserves) is refused, by P and by G, and changes nothing: the board goes
// on. (Mode 0 after user mode took the emulator down.)
TEST_F(GdbStubTest, RefusesRegisterValuesTheCoreCannotHold) {
  start("hello");
  const uint32_t start_cpsr = registers()[16];
  const struct {
    uint32_t cpsr;
    bool ok;
  } table[] = {
      {ArmCore::kUsr, true}, {0x00, false},        {0x01, false},          {ArmCore::kSys, true},
      {0x15, false},         {0x1E, false},        {0xF00000DFu, true},    {0x010000D3u, false},
      {0x000002D3u, false},  {ArmCore::kUsr, true}, {0x1A, false},         {ArmCore::kIrq | 0xC0u, true},
      {ArmCore::kFiq, true}, {ArmCore::kAbt, true}, {ArmCore::kUnd, true}, {start_cpsr, true},
  };
  uint32_t now = start_cpsr;
  for (const auto& row : table) {
    EXPECT_EQ(gdb.request("P10=" + hex_le32(row.cpsr)), row.ok ? "OK" : "E01") << std::hex << row.cpsr;
    if (row.ok) now = row.cpsr;
    EXPECT_EQ(gdb.request("p10"), hex_le32(now)) << std::hex << row.cpsr;
  }
  // G: all or nothing.
  std::vector<uint32_t> r = registers();
  r[0] = 0x5A5A5A5A;
  r[16] = 0;
  std::string g;
  for (uint32_t v : r) g += hex_le32(v);
  EXPECT_EQ(gdb.request("G" + g), "E01");
  EXPECT_NE(gdb.request("p0"), hex_le32(0x5A5A5A5A)) << "a refused G writes no register";
  EXPECT_EQ(gdb.request("p10"), hex_le32(start_cpsr));
  EXPECT_EQ(gdb.resume("s").substr(0, 3), "T05") << "the board runs on";
  gdb.send("k");
  finish();
}

// Packets longer than the PacketSize the stub announced are refused as they
// come, with an error (said once on stderr), and the stream is taken up at
// the next '$'; a megabyte M writes nothing.
TEST_F(GdbStubTest, RefusesPacketsLongerThanAnnounced) {
  start("hello");
  EXPECT_NE(gdb.request("qSupported").find("PacketSize=4000;"), std::string::npos);
  EXPECT_EQ(gdb.request("m0c200000,4"), "00000000");
  gdb.send_raw(GdbClient::frame("M0c200000,80000:" + std::string(0x100000, '1')));
  EXPECT_EQ(gdb.read_byte(), '+');
  EXPECT_EQ(gdb.reply(), "E01");
  EXPECT_EQ(gdb.request("m0c200000,4"), "00000000");
  // A '$' and 8 MiB with no end in sight, then a real packet.
  gdb.send_raw("$");
  const std::string chunk(1 << 16, 'A');
  for (int i = 0; i < 128; ++i) gdb.send_raw(chunk);
  gdb.send_raw("#00");
  EXPECT_EQ(gdb.read_byte(), '+');
  EXPECT_EQ(gdb.reply(), "E01");
  EXPECT_EQ(gdb.request("?").substr(0, 3), "T05");
  // Exactly PacketSize bytes is a packet.
  std::string longest = "qRcmd," + hex_of("time");
  longest += std::string(GdbStub::kPacketSize - longest.size(), '0');
  EXPECT_NE(gdb.request(longest), "E01");
  gdb.send("k");
  finish();
  EXPECT_EQ(std::count_if(log.lines.begin(), log.lines.end(),
                          [](const std::string& l) { return l.find("longer than the 16384 bytes") != std::string::npos; }),
            1);
}

// A debugger that sends and never reads: what waits for it is bounded; it
// is dropped (said once), the board runs on, and the next one is served.
TEST_F(GdbStubTest, ADebuggerThatStopsReadingIsDropped) {
  end_on_detach = false;
  start("watchdog_reset");
  const std::string request = GdbClient::frame("m" + addr(0x0C000000) + ",1ff8");
  int sent = 0;
  while (sent < 200000 && gdb.try_send(request)) ++sent;
  EXPECT_LT(sent, 200000) << "never dropped";
  for (int i = 0; i < 1000 && stub->attached(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(stub->attached());
  int before = chunks_run;
  for (int i = 0; i < 2000 && chunks_run < before + 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(chunks_run, before + 2) << "the board runs on";
  gdb.close();
  ASSERT_TRUE(gdb.connect(stub->port()));
  EXPECT_EQ(gdb.request("?").substr(0, 1), "T");
  gdb.send("k");
  finish();
  EXPECT_EQ(std::count_if(log.lines.begin(), log.lines.end(),
                          [](const std::string& l) { return l.find("stopped reading its replies") != std::string::npos; }),
            1);
}

// The monitor reads words, numbers, quotes and durations as scripts do, never
// echoes a control byte, and bounds what waits for UART0's receiver as the
// web page's console does.
TEST_F(GdbStubTest, MonitorInputRules) {
  start("hello");
  const struct {
    std::string command, says;
  } table[] = {
      {"key 010 hold 1ms", "key 10 held"},  // ten, not octal eight
      {"key 0x3 hold 1ms", "key 3 held"},
      {"key 5 hold 1e7s", "for 10000000.000000s"},
      {"key 5 hold 1.1e7s", "usage: monitor key"},
      {"key 5 hold 0x10ms", "usage: monitor key"},
      {"uart \"a\"b\"", "usage: monitor uart"},
      {"uart \"a\" b", "usage: monitor uart"},
      {"uart x\"a\"", "usage: monitor uart"},
      {"uart \"a\\\"b\"", "3 byte(s)"},
      {std::string("\0", 1), "cannot read the monitor command '\\x00'"},
      {std::string("time\0", 5), "cannot read the monitor command"},
      {"\x1b]0;x\x07", "cannot read the monitor command '\\x1B]0;x\\x07'"},
      {"reg \xc2\x9bZ", "no register '\\xC2\\x9BZ'"},
      {"no\xc2\x9b", "unknown monitor command 'no\\xC2\\x9B'"},
  };
  for (const auto& row : table) {
    std::string out = monitor(row.command);
    EXPECT_NE(out.find(row.says), std::string::npos) << quoted_line(row.command) << " -> " << quoted_line(out);
    EXPECT_EQ(std::count_if(out.begin(), out.end(), [](char c) { return (c >= 0 && c < 0x20 && c != '\n') || c == 0x7F; }),
              0) << quoted_line(out);
  }
  // The board stands still under gdb: what is queued stays queued.
  EXPECT_NE(monitor("uart \"" + std::string(4000, 'a') + "\"").find("4000 byte(s)"), std::string::npos);
  EXPECT_NE(monitor("uart \"" + std::string(200, 'b') + "\"").find("200 byte(s) refused: 4003 still wait"),
            std::string::npos);
  EXPECT_NE(monitor("uart \"" + std::string(93, 'c') + "\"").find("93 byte(s) for UART0"), std::string::npos);
  EXPECT_NE(monitor("uart \"d\"").find("refused"), std::string::npos);
  gdb.send("k");
  finish();
}

// Mutated packets of every kind the stub parses, each answered once, and
// the stub and the board still there after all of them. (Resumes, kills and
// detaches are left out: they change the conversation, not the parser.)
TEST_F(GdbStubTest, MutatedPacketsAreEachAnswered) {
  start("hello");
  EXPECT_EQ(gdb.request("QStartNoAckMode"), "OK");
  gdb.no_ack();
  const std::vector<std::string> corpus = {
      "P10=10000000", "P10=00000000", "Pf=0000100c", "P3=efbeadde", "p10", "p0", "g",
      "G" + std::string(8 * 16, '0') + "d3000000", "m0c000000,1ff8", "m100,8", "M0c200000,4:11223344",
      "X0c200010,2:ab", "Z0,c100000,4", "z0,c100000,4", "Z1,0,2", "qXfer:features:read:target.xml:0,ffb",
      "qSupported:multiprocess+", "qRcmd," + hex_of("key 010 hold 1e7s"), "qRcmd," + hex_of("uart \"a\\x41\""),
      "qRcmd," + hex_of("regs uart0"), "qRcmd," + hex_of("reg INTPND"), "qRcmd," + hex_of("irq"), "Hg0", "T1", "?",
  };
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    std::string packet = corpus[rng() % corpus.size()];
    for (int e = 0, n = 1 + static_cast<int>(rng() % 4); e < n; ++e) {
      const size_t at = rng() % (packet.size() + 1);
      switch (rng() % 4) {
        case 0: if (at < packet.size()) packet[at] = static_cast<char>(rng()); break;
        case 1: if (at < packet.size()) packet.erase(at, 1 + rng() % 4); break;
        case 2: packet.insert(at, 1, "0f,:;=-x\x00\xff" "9"[rng() % 11]); break;
        case 3: packet.insert(at, std::string(1 + rng() % 20, "0f9"[rng() % 3])); break;
      }
    }
    for (char& c : packet)
      if (c == '$' || c == '#') c = 'x';
    if (packet.empty() || std::string("cCsSkDvRr!").find(packet[0]) != std::string::npos) packet.insert(0, "q");
    std::string reply = gdb.request(packet);
    ASSERT_NE(reply, "<eof>") << quoted_line(packet);
    if (round % 100 == 0) {
      ASSERT_EQ(gdb.request("qC"), "QC1") << "after " << quoted_line(packet);
    }
  }
  EXPECT_TRUE(stub->attached());
  gdb.send("k");
  finish();
}

// Issue: a second debugger hung. Now it is closed at once, with a note,
// and the first one goes on undisturbed.
TEST_F(GdbStubTest, RefusesASecondDebugger) {
  start("hello");
  EXPECT_EQ(gdb.request("?").substr(0, 3), "T05");
  GdbClient second;
  ASSERT_TRUE(second.connect(stub->port()));
  EXPECT_TRUE(second.closed_by_peer());
  EXPECT_EQ(gdb.request("qC"), "QC1");
  EXPECT_EQ(gdb.resume("c"), "W00");
  gdb.send("k");
  finish();
  EXPECT_EQ(std::count_if(log.lines.begin(), log.lines.end(),
                          [](const std::string& l) { return l.find("a second debugger") != std::string::npos; }),
            1);
}

// After a detach the board runs on by itself, and a new debugger is
// accepted: it finds the board stopped where it is, and holds it there.
TEST_F(GdbStubTest, AcceptsANewDebuggerAfterDetach) {
  end_on_detach = false;
  start("watchdog_reset");
  gdb.send("c");
  gdb.send_raw("\x03");
  EXPECT_EQ(gdb.reply().substr(0, 3), "T02");
  uint64_t at_detach = cycles();
  EXPECT_EQ(gdb.request("D"), "OK");
  gdb.close();
  int before = chunks_run;
  for (int i = 0; i < 10000 && chunks_run < before + 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_GE(chunks_run, before + 2) << "the board runs on without a debugger";

  ASSERT_TRUE(gdb.connect(stub->port()));
  EXPECT_EQ(gdb.request("?").substr(0, 1), "T");
  uint64_t held_at = cycles();
  EXPECT_GT(held_at, at_detach);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));  // a few turns of the run loop
  EXPECT_EQ(cycles(), held_at) << "virtual time stands still while gdb holds the board";
  EXPECT_EQ(gdb.resume("s").substr(0, 3), "T05");
  EXPECT_GT(cycles(), held_at);
  gdb.send("k");
  finish();
  EXPECT_TRUE(stub->killed());
}

// board-sim --gdb, end to end: it says where to connect, waits, and ends with
// the run (the halt's status, 3, when main returns).
struct Child {
  pid_t pid = -1;
  int err = -1;  // its stderr
  std::string stderr_text;

  void spawn(const std::vector<std::string>& args) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      dup2(fds[1], 2);
      int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      std::vector<char*> argv;
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    ::close(fds[1]);
    err = fds[0];
  }
  // Reads stderr until a line matches (or it ends), up to 10 s of I/O.
  std::string line_matching(const std::regex& re) {
    std::smatch m;
    char buf[256];
    while (!std::regex_search(stderr_text, m, re)) {
      pollfd p{err, POLLIN, 0};
      if (::poll(&p, 1, 10000) <= 0) break;
      ssize_t n = ::read(err, buf, sizeof buf);
      if (n <= 0) break;
      stderr_text.append(buf, static_cast<size_t>(n));
    }
    return m.empty() ? "" : m[1].str();
  }
  int wait_status() {
    char buf[256];
    ssize_t n;
    while ((n = ::read(err, buf, sizeof buf)) > 0) stderr_text.append(buf, static_cast<size_t>(n));
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  ~Child() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (err >= 0) ::close(err);
  }
};

TEST(GdbCommandLine, WaitsForGdbAndEndsWithTheRun) {
  Child child;
  std::string eeprom = std::string(BIN_DIR) + "/../tests/system/cli/gdb.eeprom";
  child.spawn({std::string(BIN_DIR) + "/board-sim", "--ui", "none", "--gdb", "0", "--eeprom", eeprom,
               elf_path("hello")});
  std::string port = child.line_matching(std::regex("waiting for gdb on 127\\.0\\.0\\.1:([0-9]+)"));
  ASSERT_FALSE(port.empty()) << child.stderr_text;
  GdbClient gdb;
  ASSERT_TRUE(gdb.connect(std::stoi(port)));
  EXPECT_EQ(gdb.request("?").substr(0, 3), "T05");
  EXPECT_EQ(gdb.resume("c"), "W00");
  // The program is over: board-sim ends the run, as gdb ends the session.
  EXPECT_TRUE(gdb.closed_by_peer());
  EXPECT_EQ(child.wait_status(), 0) << "main returning is the program's end, no halt";
  EXPECT_NE(child.stderr_text.find("main returned 0 at"), std::string::npos) << child.stderr_text;
}

// The web page and gdb share the run: the board stands still until gdb lets
// it go, the page is served meanwhile, and the program's end gdb saw is said
// when the person stops board-sim.
TEST(GdbCommandLine, GoesWithTheWebPage) {
  Child child;
  std::string eeprom = std::string(BIN_DIR) + "/../tests/system/cli/gdb-web.eeprom";
  child.spawn({std::string(BIN_DIR) + "/board-sim", "--ui", "web", "--web-port", "0", "--gdb", "0", "--eeprom",
               eeprom, elf_path("hello")});
  std::string port = child.line_matching(std::regex("waiting for gdb on 127\\.0\\.0\\.1:([0-9]+)"));
  ASSERT_FALSE(port.empty()) << child.stderr_text;
  EXPECT_FALSE(child.line_matching(std::regex("open (http://127\\.0\\.0\\.1:[0-9]+/)")).empty()) << child.stderr_text;
  GdbClient gdb;
  ASSERT_TRUE(gdb.connect(std::stoi(port)));
  EXPECT_EQ(gdb.request("?").substr(0, 3), "T05");
  EXPECT_EQ(gdb.resume("c"), "W00");
  kill(child.pid, SIGTERM);
  EXPECT_EQ(child.wait_status(), 143);
  EXPECT_NE(child.stderr_text.find("main returned 0 at"), std::string::npos) << child.stderr_text;
}

// Whatever a debugger does, SIGTERM ends board-sim at once: here one that
// lets the board run, then asks for megabytes it never reads.
TEST(GdbCommandLine, SigtermEndsItWhateverTheDebuggerDoes) {
  Child child;
  std::string eeprom = std::string(BIN_DIR) + "/../tests/system/cli/gdb-term.eeprom";
  child.spawn({std::string(BIN_DIR) + "/board-sim", "--ui", "none", "--gdb", "0", "--eeprom", eeprom,
               elf_path("watchdog_reset")});
  std::string port = child.line_matching(std::regex("waiting for gdb on 127\\.0\\.0\\.1:([0-9]+)"));
  ASSERT_FALSE(port.empty()) << child.stderr_text;
  GdbClient gdb;
  ASSERT_TRUE(gdb.connect(std::stoi(port)));
  EXPECT_EQ(gdb.request("?").substr(0, 3), "T05");
  gdb.send("c");
  const std::string request = GdbClient::frame("m" + addr(0x0C000000) + ",1ff8");
  for (int i = 0; i < 300 && gdb.try_send(request); ++i) {
  }
  const auto signalled = std::chrono::steady_clock::now();
  kill(child.pid, SIGTERM);
  int status = 0;
  pid_t done = 0;
  // A second is the promise; the bound is looser only for a loaded machine.
  while ((done = waitpid(child.pid, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() - signalled < std::chrono::seconds(5))
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const auto took = std::chrono::steady_clock::now() - signalled;
  ASSERT_EQ(done, child.pid) << "still running 5 s after SIGTERM";
  child.pid = -1;
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  EXPECT_TRUE(WIFEXITED(status)) << status;
}

// --gdb goes with the window, the terminal and headless runs, scripts
// included; it refuses a port it cannot listen on.
TEST(GdbCommandLine, RefusesWhatCannotGoWithIt) {
  int taken = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(taken, 1), 0);
  socklen_t len = sizeof a;
  getsockname(taken, reinterpret_cast<sockaddr*>(&a), &len);
  const struct {
    std::string ui, port;
  } table[] = {{"none", "70000"}, {"none", "-3"}, {"none", std::to_string(ntohs(a.sin_port))}};
  for (const auto& row : table) {
    Child child;
    child.spawn({std::string(BIN_DIR) + "/board-sim", "--ui", row.ui, "--gdb", row.port, elf_path("hello")});
    EXPECT_EQ(child.wait_status(), 2) << row.ui << " " << row.port;
    EXPECT_NE(child.stderr_text.find("--gdb"), std::string::npos) << child.stderr_text;
    EXPECT_EQ(std::count(child.stderr_text.begin(), child.stderr_text.end(), '\n'), 1) << child.stderr_text;
  }
  ::close(taken);
}

// --gdb with --script: the script's input happens at its virtual time
// (10 ms) however long gdb keeps the board stopped, the breakpoint before
// the firmware reads it stops the run there, and once gdb lets go the
// script runs to its end and board-sim exits with its result.
TEST(GdbCommandLine, ScriptInputsAtTheirTimes) {
  std::string dir = std::string(BIN_DIR) + "/../tests/system/cli/";
  std::string script = dir + "gdb_script.scn";
  {
    std::FILE* f = std::fopen(script.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs("wait 10ms\nuart \"A\"\nexpect uart \"got A\" within 1s\nwait 5ms\n", f);
    std::fclose(f);
  }
  ElfImage elf;
  std::string error;
  ASSERT_TRUE(elf.load(elf_path("echo"), &error)) << error;
  Child child;
  child.spawn({std::string(BIN_DIR) + "/board-sim", "--gdb", "0", "--eeprom", dir + "gdb_script.eeprom", "--script",
               script, elf_path("echo")});
  std::string port = child.line_matching(std::regex("waiting for gdb on 127\\.0\\.0\\.1:([0-9]+)"));
  ASSERT_FALSE(port.empty()) << child.stderr_text;
  GdbClient gdb;
  ASSERT_TRUE(gdb.connect(std::stoi(port)));
  auto vtime = [&] {
    std::string out = text_of(gdb.request("qRcmd," + hex_of("time")));
    std::smatch m;
    EXPECT_TRUE(std::regex_search(out, m, std::regex("virtual time ([0-9.]+)s"))) << out;
    return m.empty() ? 0 : static_cast<VTime>(std::stod(m[1]) * 1e6 + 0.5) * kMicrosecond;
  };
  EXPECT_EQ(vtime(), 0u) << "stopped at main until gdb continues";
  uint32_t take = elf.symbol("take_byte")->address;
  EXPECT_EQ(gdb.request("Z0," + addr(take) + ",4"), "OK");
  EXPECT_EQ(stop_register(gdb.resume("c"), 15), take);
  VTime at_take = vtime();
  // The byte was sent at 10 ms and took most of a frame (87 us at 115200
  // baud: it is ready once its stop bit is sampled) to arrive; the firmware
  // reads it within microseconds.
  EXPECT_GE(at_take, 10 * kMillisecond + 78 * kMicrosecond);
  EXPECT_LT(at_take, 10 * kMillisecond + 120 * kMicrosecond);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(vtime(), at_take);
  EXPECT_EQ(gdb.request("z0," + addr(take) + ",4"), "OK");
  EXPECT_EQ(gdb.resume("c"), "W00") << "the script ran to its end";
  EXPECT_EQ(child.wait_status(), 0) << child.stderr_text;
}

}  // namespace
}  // namespace sim

namespace sim {
namespace {

// With a breakpoint set that the program never reaches, every firmware runs
// exactly as without one, to the cycle: the hook only instruments its own
// block, and slices that end elsewhere resume where they should.
TEST(GdbBreakpointElsewhere, ChangesNothing) {
  const struct {
    const char* firmware;
    VTime run;
  } table[] = {
      {"hello", kSecond}, {"irq_registers", kSecond}, {"data_abort", kSecond},
      {"watchdog_reset", 200 * kMillisecond}, {"phone", 1500 * kMillisecond},
  };
  for (const auto& row : table) {
    LogCapture log;
    struct Outcome {
      uint64_t cycles, instructions;
      std::string console;
      uint32_t pc;
      bool halted;
    } outcome[2];
    for (int with_breakpoint = 0; with_breakpoint < 2; ++with_breakpoint) {
      BoardOptions options;
      options.rtc_start = RtcTime{};
      Board board(options);
      std::string error;
      ASSERT_TRUE(board.load(elf_path(row.firmware), &error)) << error;
      if (with_breakpoint) board.core().add_breakpoint(0x0C7F0000);
      board.run_until(row.run);
      outcome[with_breakpoint] = {board.cycles(), board.core().instructions(), board.console(), board.core().pc(),
                                  board.halted()};
    }
    EXPECT_EQ(outcome[1].cycles, outcome[0].cycles) << row.firmware;
    EXPECT_EQ(outcome[1].instructions, outcome[0].instructions) << row.firmware;
    EXPECT_EQ(outcome[1].console, outcome[0].console) << row.firmware;
    EXPECT_EQ(outcome[1].pc, outcome[0].pc) << row.firmware;
    EXPECT_EQ(outcome[1].halted, outcome[0].halted) << row.firmware;
  }
}

// A debugger's step runs exactly one instruction whichever way it hands on
// (step_paths: each s_* label is one kind), stops where the next one is
// about to run, and a program stepped to its end finishes as it runs
// without a debugger: same instructions, cycles, registers and memory. The
// Thumb BL pair is one step of two instructions (Unicorn runs it as one);
// the step into main's return trap runs nothing and halts.
TEST(GdbStep, OneInstructionWhicheverWayItGoes) {
  const struct {
    const char* from;
    const char* to;
    uint64_t instructions;
    bool thumb_after;
  } table[] = {
      {"s_fall", "s_cmp", 1, false},           {"s_cmp", "s_beq", 1, false},
      {"s_beq", "s_beq_to", 1, false},         {"s_beq_to", "s_bne_next", 1, false},
      {"s_bl", "arm_leaf", 1, false},          {"s_leaf_ret", "s_after_bl", 1, false},
      {"s_bxne", "s_bxne_next", 1, false},     {"s_ldm_pc", "s_after_mid", 1, false},
      {"s_ldr_pc", "s_ldr_to", 1, false},      {"s_bx_thumb", "thumb_fn", 1, true},
      {"s_tbl", "thumb_leaf", 2, true},        {"s_tpop", "s_after_tbl", 1, true},
      {"s_tbx", "s_arm_back", 1, false},       {"s_swi", "swi_handler", 1, false},
  };
  ElfImage elf;
  std::string error;
  ASSERT_TRUE(elf.load(elf_path("step_paths"), &error)) << error;
  auto at = [&](const char* name) {
    auto s = elf.symbol(name);
    EXPECT_TRUE(s) << name;
    return s ? s->address & ~1u : 0;
  };
  for (unsigned cpi : {0u, 2u}) {
    struct Outcome {
      uint64_t cycles, instructions;
      uint32_t regs[16], cpsr, result;
      bool halted;
      std::string reason;
    } outcome[2];
    struct Step {
      uint32_t from, to, cpsr, lr;
      uint64_t instructions;
    };
    std::vector<Step> steps;
    for (int stepping = 0; stepping < 2; ++stepping) {
      BoardOptions options;
      options.rtc_start = RtcTime{};
      options.cycles_per_instruction = cpi;
      Board board(options);
      ASSERT_TRUE(board.load(elf_path("step_paths"), &error)) << error;
      // Code already translated by a run holds no stop for a step until
      // the step has its block translated again.
      for (const char* function : {"arm_mid", "thumb_fn"}) {
        uint32_t result = 0;
        ASSERT_TRUE(board.call(function, {0}, &result, kMillisecond, &error)) << error;
      }
      if (stepping) {
        while (!board.halted() && steps.size() < 200) {
          Step s{board.core().pc(), 0, 0, 0, board.core().instructions()};
          board.step();
          s.to = board.core().pc();
          s.cpsr = board.core().cpsr();
          s.lr = board.core().reg(ArmCore::LR);
          s.instructions = board.core().instructions() - s.instructions;
          steps.push_back(s);
        }
      } else {
        board.run_until(kSecond);
      }
      Outcome& o = outcome[stepping];
      o.cycles = board.cycles();
      o.instructions = board.core().instructions();
      for (int r = 0; r < 16; ++r) o.regs[r] = board.core().reg(r);
      o.cpsr = board.core().cpsr();
      o.result = board.ram().read32(at("result"));
      o.halted = board.halted();
      o.reason = board.halt_reason();
    }
    ASSERT_TRUE(outcome[0].halted && outcome[1].halted) << "cpi " << cpi;
    EXPECT_EQ(outcome[1].reason, "main returned");
    EXPECT_EQ(outcome[1].result, 1u + 2 + 4 + 6 + 1 + 6) << "cpi " << cpi;
    EXPECT_EQ(outcome[1].result, outcome[0].result) << "cpi " << cpi;
    EXPECT_EQ(outcome[1].instructions, outcome[0].instructions) << "cpi " << cpi;
    EXPECT_EQ(outcome[1].cycles, outcome[0].cycles) << "cpi " << cpi;
    EXPECT_EQ(outcome[1].cpsr, outcome[0].cpsr) << "cpi " << cpi;
    for (int r = 0; r < 16; ++r) EXPECT_EQ(outcome[1].regs[r], outcome[0].regs[r]) << "r" << r << ", cpi " << cpi;

    uint32_t tbl = at("s_tbl");
    for (const Step& s : steps) {
      uint64_t expected = s.from == tbl ? 2 : s.from == Board::kMainReturnTrap ? 0 : 1;
      EXPECT_EQ(s.instructions, expected) << "step from " << std::hex << s.from << ", cpi " << cpi;
    }
    EXPECT_EQ(steps.back().from, Board::kMainReturnTrap);
    for (const auto& row : table) {
      uint32_t from = at(row.from);
      auto it = std::find_if(steps.begin(), steps.end(), [&](const Step& s) { return s.from == from; });
      ASSERT_NE(it, steps.end()) << row.from << " was never stepped";
      EXPECT_EQ(it->to, at(row.to)) << row.from << ", cpi " << cpi;
      EXPECT_EQ(it->instructions, row.instructions) << row.from << ", cpi " << cpi;
      EXPECT_EQ((it->cpsr & ArmCore::kCpsrT) != 0, row.thumb_after) << row.from << ", cpi " << cpi;
      if (it->to == at("swi_handler")) {
        EXPECT_EQ(it->lr, at("s_after_swi")) << "the SWI was taken";
      }
    }
  }
}

}  // namespace
}  // namespace sim
