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
#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "core/board.h"
#include "core/elf_image.h"
#include "core/log.h"
#include "test_firmwares.h"
#include "frontends/gdb_stub.h"

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
    timeval tv{10, 0};
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

  int read_byte() {
    unsigned char c;
    return ::recv(fd_, &c, 1, 0) == 1 ? c : -1;
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
  GdbStub::End end = GdbStub::End::kQuit;
  GdbClient gdb;
  ElfImage elf;

  void start(const std::string& name, unsigned cpi = 1) {
    BoardOptions options;
    options.cycles_per_instruction = cpi;
    board = std::make_unique<Board>(options);
    std::string error;
    ASSERT_TRUE(board->load(elf_path(name), &error)) << error;
    ASSERT_TRUE(elf.load(elf_path(name), &error)) << error;
    stub = std::make_unique<GdbStub>(*board);
    ASSERT_TRUE(stub->listen(0, &error)) << error;
    ASSERT_NE(stub->port(), 0);
    server = std::thread([this] { end = stub->serve({}); });
    ASSERT_TRUE(gdb.connect(stub->port()));
  }
  // Ends the session (the client goes away unless it already ended it).
  void finish() {
    gdb.close();
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
  EXPECT_EQ(end, GdbStub::End::kKilled);
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
  EXPECT_EQ(end, GdbStub::End::kKilled);
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
  EXPECT_EQ(end, GdbStub::End::kDetached);
  EXPECT_FALSE(board->halted());
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
  gdb.send("k");
  EXPECT_EQ(child.wait_status(), 3);
  EXPECT_NE(child.stderr_text.find("halted: main returned"), std::string::npos) << child.stderr_text;
}

TEST(GdbCommandLine, RefusesWhatCannotGoWithIt) {
  for (auto extra : std::vector<std::vector<std::string>>{{"--ui", "term"}, {"--script", "x.scn"}}) {
    Child child;
    std::vector<std::string> args{std::string(BIN_DIR) + "/board-sim", "--gdb", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(elf_path("hello"));
    child.spawn(args);
    EXPECT_EQ(child.wait_status(), 2) << extra[0];
    EXPECT_NE(child.stderr_text.find("--gdb"), std::string::npos) << child.stderr_text;
    EXPECT_EQ(std::count(child.stderr_text.begin(), child.stderr_text.end(), '\n'), 1) << child.stderr_text;
  }
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

}  // namespace
}  // namespace sim
