// The IIC controller and the AT24C04 driven register for register as the
// phone firmware's iic and at24c04 drivers drive them, and the image file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <chrono>
#include <vector>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "devices/at24c04.h"
#include "devices/eeprom_file.h"
#include "devices/iic.h"
#include "devices/intc.h"

namespace sim {
namespace {

enum : uint32_t { IICCON = 0x0, IICSTAT = 0x4, IICADD = 0x8, IICDS = 0xC };
constexpr VTime kMclk64 = kSecond / 64000000;
constexpr VTime kPhase64 = 9 * 16 * 16 * kMclk64;  // IICCON 0xAF at 64 MHz: 36 us

// Sees every byte on the bus. It acknowledges everything and releases SDA on
// reads, so the wired-AND bus still carries the EEPROM's answers.
struct BusSpy : IicSlave {
  std::string trace;
  void start() override { trace += "S "; }
  bool address(uint8_t b) override { return note("", b), true; }
  bool write(uint8_t b) override { return note("W", b), true; }
  uint8_t read() override { return 0xFF; }
  void master_ack(bool ack) override { trace += ack ? "R+ " : "R- "; }
  void stop() override { trace += "P"; }
  void note(const char* what, uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%s%02X ", what, b);
    trace += buf;
  }
};

At24c04::Image erased() {
  At24c04::Image image;
  image.fill(0xFF);
  return image;
}

At24c04::Image pattern() {
  At24c04::Image image;
  for (unsigned i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i ^ (i >> 8) * 0x5A);
  return image;
}

class IicAt24c04 : public ::testing::Test {
 protected:
  IicAt24c04() : intc(chip::kIntc), iic(chip::kIic, sched, intc), eeprom(sched) {
    sched.set_cycle_period(kMclk64);
    iic.attach(eeprom);
    previous_sink = set_log_sink([this](const std::string& line) { logs.push_back(line); });
  }
  ~IicAt24c04() override { set_log_sink(previous_sink); }

  uint32_t r(uint32_t reg) { return iic.read(reg, 4); }
  void w(uint32_t reg, uint32_t value) { iic.write(reg, value, 4); }
  void delay(VTime t) { sched.advance_to(sched.now() + t); }

  // The firmware's iic driver.
  void iic_init() { w(IICCON, 0xAF), w(IICSTAT, 0x10), w(IICADD, 0x08); }
  // Counts the slave's NACKs; in a read the ACK bit is the master's own.
  void wait_phase(bool slave_acks = true) {
    w(IICCON, r(IICCON) & ~0x10u);
    for (int guard = 0; !(r(IICCON) & 0x10); ++guard) {
      if (guard == 100 || sched.next_deadline() == kForever) return ADD_FAILURE() << "pending bit never set";
      sched.advance_to(sched.next_deadline());
    }
    if (slave_acks) nacks += r(IICSTAT) & 1;
  }
  void putByte_start(uint8_t b) { w(IICDS, b), w(IICSTAT, 0xF0), wait_phase(); }
  void putByte(uint8_t b) { w(IICDS, b), wait_phase(); }
  void putByte_stop(uint8_t b, VTime after = 5 * kMillisecond) {
    w(IICDS, b), wait_phase();
    w(IICSTAT, r(IICSTAT) & ~0x20u), w(IICCON, r(IICCON) & ~0x10u);
    delay(after);
  }
  void getByte_start(uint8_t b) { w(IICDS, b), w(IICSTAT, 0xB0), wait_phase(); }
  uint8_t getByte() { return wait_phase(false), r(IICDS) & 0xFF; }
  uint8_t getByte_stop(uint8_t ack) {
    if (ack == 0) w(IICCON, r(IICCON) | 0x80);
    if (ack == 1) w(IICCON, r(IICCON) & ~0x80u);
    wait_phase(false);
    uint8_t b = r(IICDS) & 0xFF;
    w(IICSTAT, r(IICSTAT) & ~0x20u), w(IICCON, r(IICCON) & ~0x10u);
    delay(5 * kMillisecond);
    w(IICCON, r(IICCON) | 0x80);
    return b;
  }

  // The firmware's at24c04 driver.
  void bytewrite(uint16_t addr, uint8_t data) {
    putByte_start(0xA0 | (addr >> 8) << 1), putByte(addr & 0xFF), putByte_stop(data);
  }
  uint8_t byteRead(uint16_t addr) {
    putByte_start(0xA0 | (addr >> 8) << 1), putByte(addr & 0xFF), getByte_start(0xA1 | (addr >> 8) << 1);
    return getByte_stop(1);
  }
  At24c04::Image load() {
    At24c04::Image buffer;
    putByte_start(0xA0), putByte(0x00), getByte_start(0xA1);
    for (int i = 0; i < 511; ++i) buffer[i] = getByte();
    buffer[511] = getByte_stop(1);
    return buffer;
  }
  void store(const At24c04::Image& buffer) {
    for (int i = 0; i < 32; ++i) {
      putByte_start(0xA0 | ((i & 0x10) >> 4) << 1);
      putByte((i & 0x0F) << 4);
      for (int j = 0; j < 15; ++j) putByte(buffer[16 * i + j]);
      putByte_stop(buffer[16 * i + 15]);
    }
  }

  Scheduler sched;
  Intc intc;
  Iic iic;
  At24c04 eeprom;
  int nacks = 0;
  std::vector<std::string> logs;
  LogSink previous_sink;
};

TEST_F(IicAt24c04, ByteWriteThenRandomRead) {
  iic_init();
  const struct { uint16_t addr; uint8_t data; } cases[] = {{0x000, 0x12}, {0x0FF, 0x34}, {0x100, 0x56}, {0x1FF, 0x78}};
  for (auto c : cases) bytewrite(c.addr, c.data);
  for (auto c : cases) {
    EXPECT_EQ(eeprom.contents()[c.addr], c.data) << c.addr;
    EXPECT_EQ(byteRead(c.addr), c.data) << c.addr;
  }
  EXPECT_EQ(byteRead(0x001), 0xFF);  // a new part is erased
  EXPECT_EQ(nacks, 0);
  EXPECT_FALSE(r(IICSTAT) & 0x20) << "bus left busy";
}

TEST_F(IicAt24c04, PageWriteWrapsInsideThePage) {
  iic_init();
  const struct { uint16_t start; int count; } cases[] = {{0x00C, 8}, {0x1F8, 16}, {0x120, 20}};
  for (auto c : cases) {
    At24c04::Image expected = eeprom.contents();
    putByte_start(0xA0 | (c.start >> 8) << 1), putByte(c.start & 0xFF);
    for (int i = 0; i < c.count; ++i) {
      uint8_t data = static_cast<uint8_t>(0x40 + i);
      expected[(c.start & ~0xF) | ((c.start + i) & 0xF)] = data;
      if (i + 1 < c.count) putByte(data);
      else putByte_stop(data);
    }
    EXPECT_EQ(eeprom.contents(), expected) << "page write at " << c.start;
  }
  EXPECT_EQ(std::count_if(logs.begin(), logs.end(), [](auto& l) { return l.find("at24c04") != l.npos; }), 1)
      << "only the 20-byte write overruns its page";
}

TEST_F(IicAt24c04, WriteCycleIgnoresTheBusForFiveMilliseconds) {
  iic_init();
  // When the next START comes after the STOP. A part still in its cycle misses
  // the START, so it stays silent even if the device byte ends after the cycle.
  const struct { VTime after_stop; bool ack; } cases[] = {
      {0, false}, {4 * kMillisecond, false}, {5 * kMillisecond - 1, false},
      {5 * kMillisecond, true}, {6 * kMillisecond, true}};
  for (auto c : cases) {
    putByte_start(0xA0), putByte(0x42), putByte_stop(0x99, c.after_stop);
    EXPECT_EQ(eeprom.write_cycle_busy(), c.after_stop < 5 * kMillisecond);
    EXPECT_EQ(eeprom.contents()[0x42], c.after_stop < 5 * kMillisecond ? 0xFF : 0x99);
    putByte_start(0xA0);
    EXPECT_EQ(r(IICSTAT) & 1, c.ack ? 0u : 1u) << format_duration(c.after_stop);
    putByte(0x42), getByte_start(0xA1);
    EXPECT_EQ(getByte_stop(1), c.ack ? 0x99 : 0xFF) << format_duration(c.after_stop);
    eeprom.set_contents(erased());
  }
}

TEST_F(IicAt24c04, SequentialReadRunsAcrossTheBlockAndWraps) {
  iic_init();
  eeprom.set_contents(pattern());
  const struct { uint16_t start; uint16_t addrs[4]; } cases[] = {
      {0x0FE, {0x0FE, 0x0FF, 0x100, 0x101}}, {0x1FE, {0x1FE, 0x1FF, 0x000, 0x001}}};
  for (auto c : cases) {
    putByte_start(0xA0 | (c.start >> 8) << 1), putByte(c.start & 0xFF), getByte_start(0xA1 | (c.start >> 8) << 1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(getByte(), pattern()[c.addrs[i]]) << c.start << "+" << i;
    EXPECT_EQ(getByte_stop(1), pattern()[c.addrs[3]]);
    // The NACK ended the read; a current-address read goes on from there.
    getByte_start(0xA1);
    EXPECT_EQ(getByte_stop(1), pattern()[c.addrs[3] + 1]);
  }
  EXPECT_EQ(nacks, 0);
}

TEST_F(IicAt24c04, WholeDeviceLoadAndStore) {
  BusSpy spy;
  iic.attach(spy);
  iic_init();
  eeprom.set_contents(pattern());
  VTime t0 = sched.now();
  EXPECT_EQ(load(), pattern());
  EXPECT_EQ(sched.now() - t0, 515 * kPhase64 + 5 * kMillisecond);
  std::string expected = "S A0 W00 S A1 ";
  for (int i = 0; i < 511; ++i) expected += "R+ ";
  EXPECT_EQ(spy.trace, expected + "R- P");

  spy.trace.clear();
  int cycles = 0;
  eeprom.set_write_listener([&](const At24c04::Image&) { ++cycles; });
  At24c04::Image image;
  for (unsigned i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(511 - i);
  t0 = sched.now();
  store(image);
  EXPECT_GE(sched.now() - t0, 160 * kMillisecond);
  EXPECT_EQ(cycles, 32);
  EXPECT_EQ(eeprom.contents(), image);
  EXPECT_EQ(load(), image);
  EXPECT_EQ(spy.trace.substr(0, 9), "S A0 W00 ");
  EXPECT_NE(spy.trace.find("S A2 WF0 "), std::string::npos);
  EXPECT_EQ(nacks, 0);
}

TEST_F(IicAt24c04, PendingBitAfterOneBytePhase) {
  const struct { VTime mclk; uint8_t iiccon; uint64_t cycles; bool irq; } cases[] = {
      {kMclk64, 0xAF, 9 * 16 * 16, true},          // the firmware's setting: 36 us
      {kMclk64, 0x80, 9 * 16 * 1, false},          // prescaler 0
      {kMclk64, 0xE3, 9 * 512 * 4, true},          // MCLK/512
      {kSecond / 8000000, 0xAF, 9 * 16 * 16, true}  // before the PLL is set
  };
  for (auto c : cases) {
    sched.set_cycle_period(c.mclk);
    intc.reset();
    w(IICCON, c.iiccon), w(IICSTAT, 0x10);
    const VTime phase = c.cycles * c.mclk;
    for (int byte = 0; byte < 2; ++byte) {
      const VTime t0 = sched.now();
      if (byte == 0) w(IICDS, 0xA0), w(IICSTAT, 0xF0);
      else w(IICCON, c.iiccon & ~0x10);
      sched.advance_to(t0 + phase - 1);
      EXPECT_FALSE(r(IICCON) & 0x10) << int(c.iiccon);
      sched.advance_to(t0 + phase);
      EXPECT_TRUE(r(IICCON) & 0x10) << int(c.iiccon);
      EXPECT_EQ((intc.pending() >> chip::kIrqIic) & 1, c.irq ? 1u : 0u);
      // Writing 1 to the pending bit neither clears it nor resumes the bus.
      w(IICCON, c.iiccon | 0x10);
      EXPECT_TRUE(r(IICCON) & 0x10);
      EXPECT_EQ(sched.next_deadline(), kForever);
    }
    w(IICSTAT, 0xD0);
    EXPECT_TRUE(r(IICSTAT) & 0x20) << "SCL is held: the STOP waits for the pending bit to clear";
    w(IICCON, c.iiccon);
    EXPECT_FALSE(r(IICSTAT) & 0x20);
    EXPECT_FALSE(r(IICCON) & 0x10);
  }
}

TEST_F(IicAt24c04, NobodyAnswersAMissingDevice) {
  iic_init();
  const struct { bool connected; uint8_t device; bool ack; } cases[] = {
      {true, 0xA0, true}, {true, 0xA2, true}, {true, 0xB0, false}, {false, 0xA0, false}, {false, 0xA2, false}};
  for (auto c : cases) {
    eeprom.set_contents(pattern());
    eeprom.set_connected(c.connected);
    nacks = 0;
    putByte_start(c.device), putByte(0x10), putByte_stop(0x55);
    EXPECT_EQ(nacks, c.ack ? 0 : 3) << int(c.device);
    const uint16_t addr = (c.device & 2) << 7 | 0x10;
    EXPECT_EQ(eeprom.contents()[addr], c.ack ? 0x55 : pattern()[addr]);
    EXPECT_EQ(byteRead(0x011), c.connected ? pattern()[0x011] : 0xFF);
    eeprom.set_connected(true);
  }
}

TEST_F(IicAt24c04, AddressAndDataRegistersFollowTheOutputEnable) {
  iic_init();  // the firmware writes IICADD with output already enabled
  w(IICADD, 0x10);
  EXPECT_EQ(r(IICADD), 0u);
  // The phone's own harmless habit: said with --verbose only.
  EXPECT_EQ(logs.size(), 0u);
  set_log_verbose(true);
  w(IICADD, 0x10);
  w(IICADD, 0x10);
  set_log_verbose(false);
  EXPECT_EQ(logs.size(), 1u) << "misuse is reported once";
  w(IICSTAT, 0x00), w(IICADD, 0x08), w(IICDS, 0x5A);
  EXPECT_EQ(r(IICADD), 0x08u);
  EXPECT_EQ(r(IICDS), 0u);
  w(IICSTAT, 0x10), w(IICDS, 0x5A);
  EXPECT_EQ(r(IICDS), 0x5Au);
}

// The image file.
class EepromFileTest : public ::testing::Test {
 protected:
  EepromFileTest() {
    std::string tmpl = ::testing::TempDir() + "eeprom-XXXXXX";
    dir = ::mkdtemp(tmpl.data());
    path = dir + "/eeprom.bin";
  }
  ~EepromFileTest() override { std::filesystem::remove_all(dir); }

  static std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void spit(const std::string& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  }
  long entries() const {
    auto it = std::filesystem::directory_iterator(dir);
    return std::distance(begin(it), end(it));
  }

  std::string dir, path;
};

TEST_F(EepromFileTest, NewImageIsErasedAndCreatedByTheFirstWriteCycle) {
  Scheduler sched;
  At24c04 eeprom(sched);
  EepromFile file;
  std::string error;
  ASSERT_TRUE(file.open(path, &error)) << error;
  EXPECT_FALSE(file.exists());
  EXPECT_EQ(file.image(), eeprom.contents());
  EXPECT_EQ(eeprom.contents()[0], 0xFF);
  file.attach(eeprom);
  eeprom.start();
  ASSERT_TRUE(eeprom.address(0xA2) && eeprom.write(0x07) && eeprom.write(0x3C));
  eeprom.stop();
  EXPECT_EQ(access(path.c_str(), F_OK), -1) << "nothing written before the write cycle ends";
  sched.advance_to(At24c04::kWriteCycle);
  std::string expected(512, '\xFF');
  expected[0x107] = 0x3C;
  EXPECT_EQ(slurp(path), expected);
  EXPECT_EQ(entries(), 1) << "temporary file left behind";

  EepromFile again;  // the next run
  ASSERT_TRUE(again.open(path, &error)) << error;
  EXPECT_EQ(again.image()[0x107], 0x3C);
}

TEST_F(EepromFileTest, WrongSizeIsRefusedAndLeftAlone) {
  for (size_t size : {0, 511, 513, 4096}) {
    std::string bytes(size, '\x5A');
    spit(path, bytes);
    EepromFile file;
    std::string error;
    EXPECT_FALSE(file.open(path, &error)) << size;
    EXPECT_NE(error.find("512"), std::string::npos) << error;
    EXPECT_EQ(slurp(path), bytes);
  }
  EepromFile file;
  std::string error;
  EXPECT_FALSE(file.open(dir + "/missing/eeprom.bin", &error));
  EXPECT_FALSE(file.open(dir, &error)) << "a directory";
}

TEST_F(EepromFileTest, SaveReplacesTheFileByRename) {
  spit(path, std::string(512, '\x11'));
  const std::string old_link = dir + "/old-link";
  ASSERT_EQ(link(path.c_str(), old_link.c_str()), 0);
  EepromFile file;
  std::string error;
  ASSERT_TRUE(file.open(path, &error)) << error;
  At24c04::Image image;
  image.fill(0x22);
  ASSERT_TRUE(file.save(image, &error)) << error;
  EXPECT_EQ(slurp(path), std::string(512, '\x22'));
  // The old file was never written in place: its other name still holds it whole.
  EXPECT_EQ(slurp(old_link), std::string(512, '\x11'));
  unlink(old_link.c_str());
  EXPECT_EQ(entries(), 1) << "temporary file left behind";
}

TEST_F(EepromFileTest, DefaultPathIsInTheStateDirectory) {
  const char* saved_xdg = std::getenv("XDG_STATE_HOME");
  const std::string saved_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  std::string error;
  setenv("XDG_STATE_HOME", dir.c_str(), 1);
  EXPECT_EQ(EepromFile::default_path(&error), dir + "/board-sim/eeprom.bin") << error;
  unsetenv("XDG_STATE_HOME");
  setenv("HOME", dir.c_str(), 1);
  EXPECT_EQ(EepromFile::default_path(&error), dir + "/.local/state/board-sim/eeprom.bin") << error;
  struct stat st;
  EXPECT_EQ(stat((dir + "/.local/state/board-sim").c_str(), &st), 0);
  if (saved_xdg) setenv("XDG_STATE_HOME", saved_xdg, 1);
  setenv("HOME", saved_home.c_str(), 1);
}

// One byte written through the part's bus protocol, its write cycle over.
void write_byte(At24c04& eeprom, Scheduler& sched, uint8_t address, uint8_t value) {
  eeprom.start();
  ASSERT_TRUE(eeprom.address(0xA0) && eeprom.write(address) && eeprom.write(value));
  eeprom.stop();
  sched.advance_to(sched.now() + At24c04::kWriteCycle);
}

struct Logs {
  std::vector<std::string> lines;
  LogSink previous = set_log_sink([this](const std::string& l) { lines.push_back(l); });
  ~Logs() { set_log_sink(previous); }
  int count(const std::string& text) const {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string& l) { return l.find(text) != std::string::npos; }));
  }
};

// What open() refuses before the run, so that no write of the firmware is
// lost later: a read-only file (its owner's write bit, for root too) and a
// directory that takes no temporary file.
TEST_F(EepromFileTest, AnImageThatCouldNotBeSavedIsRefusedAtStart) {
  spit(path, std::string(512, '\x33'));
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EepromFile file;
  std::string error;
  EXPECT_FALSE(file.open(path, &error));
  EXPECT_NE(error.find("read-only"), std::string::npos) << error;
  EXPECT_EQ(slurp(path), std::string(512, '\x33'));
  EXPECT_FALSE(file.open("/proc/board-sim-eeprom.bin", &error));
  EXPECT_NE(error.find("cannot save"), std::string::npos) << error;
  EXPECT_EQ(entries(), 1) << "the probe's temporary file is gone";
}

// Through a symlink the image is replaced where the link points, atomically
// there, and the link stays a link.
TEST_F(EepromFileTest, ASymlinkIsWrittenThroughToItsTarget) {
  ASSERT_EQ(mkdir((dir + "/real").c_str(), 0755), 0);
  const std::string target = dir + "/real/image.bin";
  spit(target, std::string(512, '\x44'));
  ASSERT_EQ(symlink("real/image.bin", path.c_str()), 0);
  EepromFile file;
  std::string error;
  ASSERT_TRUE(file.open(path, &error)) << error;
  EXPECT_EQ(file.image()[0], 0x44);
  At24c04::Image image;
  image.fill(0x55);
  ASSERT_TRUE(file.save(image, &error)) << error;
  struct stat st;
  ASSERT_EQ(lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
  EXPECT_EQ(slurp(target), std::string(512, '\x55'));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir + "/real"), {}), 1) << "temporary file left";

  // A link to a file not there yet: the first save creates the target.
  const std::string link2 = dir + "/new-link.bin";
  ASSERT_EQ(symlink("real/new.bin", link2.c_str()), 0);
  EepromFile fresh;
  ASSERT_TRUE(fresh.open(link2, &error)) << error;
  ASSERT_TRUE(fresh.save(image, &error)) << error;
  ASSERT_EQ(lstat(link2.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(slurp(dir + "/real/new.bin"), std::string(512, '\x55'));
}

// Temporary files of killed runs go; a live run's stay, as do fresh ones
// board-sim cannot judge (another host's, an older version's).
TEST_F(EepromFileTest, StaleTemporaryFilesAreRemovedLiveOnesKept) {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  for (char* c = host; *c; ++c)
    if (*c == '.' || *c == '/') *c = '_';
  long pid_max = 4194304;
  std::ifstream("/proc/sys/kernel/pid_max") >> pid_max;
  const std::string ours = dir + "/.eeprom.bin.board-sim-" + host + "-";
  const std::string dead = ours + std::to_string(pid_max + 1) + ".Ab12Cd";
  const std::string live = ours + std::to_string(getppid()) + ".Ef34Gh";
  const std::string other_host = dir + "/.eeprom.bin.board-sim-elsewhere-1.Ij56Kl";
  const std::string old_fresh = dir + "/.eeprom.bin.Mn78Op";
  const std::string old_stale = dir + "/.eeprom.bin.Qr90St";
  const std::string unrelated = dir + "/.eeprom.bin.notes";
  for (const std::string& f : {dead, live, other_host, old_fresh, old_stale, unrelated}) spit(f, "x");
  const auto hour_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  std::filesystem::last_write_time(old_stale, hour_ago);
  EepromFile file;
  std::string error;
  ASSERT_TRUE(file.open(path, &error)) << error;
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_FALSE(std::filesystem::exists(old_stale));
  for (const std::string& f : {live, other_host, old_fresh, unrelated}) EXPECT_TRUE(std::filesystem::exists(f)) << f;
}

// Another program changed the file: said once, before the next write, and
// the board's image replaces it.
TEST_F(EepromFileTest, AnExternalChangeIsSaidOnceBeforeTheNextWrite) {
  Logs logs;
  Scheduler sched;
  At24c04 eeprom(sched);
  spit(path, std::string(512, '\x66'));
  EepromFile file;
  std::string error;
  ASSERT_TRUE(file.open(path, &error)) << error;
  file.attach(eeprom);
  write_byte(eeprom, sched, 0x01, 0x01);
  EXPECT_EQ(logs.count("changed by another program"), 0) << "our own writes are no change";
  spit(path, std::string(512, '\x77'));
  write_byte(eeprom, sched, 0x02, 0x02);
  EXPECT_EQ(logs.count("changed by another program"), 1);
  std::string expected(512, '\x66');
  expected[1] = 1, expected[2] = 2;
  EXPECT_EQ(slurp(path), expected);
  spit(path, std::string(512, '\x78'));
  write_byte(eeprom, sched, 0x03, 0x03);
  EXPECT_EQ(logs.count("changed by another program"), 1) << "said once";
}

// A write that fails during the run (a full disk, through the test seam):
// one line, every write cycle tries again, and finish() says whether the
// file holds the part's contents in the end.
TEST_F(EepromFileTest, AFailedSaveIsSaidOnceAndFinishTellsTheEnd) {
  Logs logs;
  Scheduler sched;
  At24c04 eeprom(sched);
  EepromFile file;
  std::string error;
  ASSERT_TRUE(file.open(path, &error)) << error;
  file.attach(eeprom);
  file.set_writer([](int, const void*, size_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  });
  for (int i = 0; i < 3; ++i) write_byte(eeprom, sched, static_cast<uint8_t>(i), 0x10);
  EXPECT_EQ(logs.lines.size(), 1u);
  EXPECT_NE(logs.lines[0].find("No space left on device"), std::string::npos) << logs.lines[0];
  EXPECT_TRUE(file.save_failed());
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(entries(), 0) << "no temporary file left";
  EXPECT_FALSE(file.finish(&error));
  EXPECT_NE(error.find("does not hold what the firmware wrote"), std::string::npos) << error;

  // Space again: the last try at the end saves the part's contents.
  file.set_writer(nullptr);
  EXPECT_TRUE(file.finish(&error)) << error;
  std::string expected(512, '\xFF');
  expected[0] = expected[1] = expected[2] = 0x10;
  EXPECT_EQ(slurp(path), expected);
}

}  // namespace
}  // namespace sim
