// What board-sim reads from outside that nobody vetted: gdb's byte stream
// and scenario scripts with the pictures they name. Table tests of the rules
// (one quoting rule, one number and duration rule, files checked before they
// are opened), then bounded mutation loops from small corpora that hold the
// parsers to them: no crash, nothing held beyond its limit, every error one
// short line that is safe on a terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/vtime.h"
#include "frontends/gdb_stub.h"
#include "frontends/png_writer.h"
#include "frontends/quoting.h"
#include "frontends/scenario.h"

namespace sim {
namespace {

// A message as a terminal would show it: one line, no control byte, short.
void expect_safe_message(const std::string& message, const std::string& what, size_t max = 1200) {
  EXPECT_LE(message.size(), max) << what;
  for (unsigned char c : message) {
    ASSERT_FALSE(c < 0x20 || c == 0x7F) << what << ": byte " << int(c) << " in " << quoted_line(message);
  }
  for (size_t i = 0; i + 1 < message.size(); ++i)
    ASSERT_FALSE(static_cast<unsigned char>(message[i]) == 0xC2 && static_cast<unsigned char>(message[i + 1]) >= 0x80 &&
                 static_cast<unsigned char>(message[i + 1]) <= 0x9F)
        << what << ": a C1 control in " << quoted_line(message);
}

std::string temp_dir() {
  char name[] = "/tmp/board-sim-inputs-XXXXXX";
  const char* dir = ::mkdtemp(name);
  return dir ? std::string(dir) + "/" : std::string("/tmp/");
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// ---- one quoting rule ------------------------------------------------------

TEST(Quoting, EscapesControlsKeepsTextCutsLongLines) {
  const struct {
    std::string in, out;
  } table[] = {
      {"key 5", "key 5"},
      {"\x1b]0;pwned\x07", "\\x1B]0;pwned\\x07"},
      {"a\rb\nc\td\x7f", "a\\x0Db\\x0Ac\\x09d\\x7F"},
      {std::string("nul\0", 4), "nul\\x00"},
      {"A\xc3\xb1o \xe2\x82\xac", "A\xc3\xb1o \xe2\x82\xac"},  // UTF-8 stays readable
      {"csi \xc2\x9b" "2J", "csi \\xC2\\x9B2J"},              // U+009B, a C1 CSI
      {"lone \x9b and \xff", "lone \\x9B and \\xFF"},         // not UTF-8
      {"overlong \xc0\xaf", "overlong \\xC0\\xAF"},
  };
  for (const auto& row : table) EXPECT_EQ(quoted_line(row.in), row.out) << row.out;
  const std::string mega(1 << 20, 'y');
  EXPECT_EQ(quoted_line(mega), std::string(80, 'y') + "... (1048576 bytes)");
  // A cut in the middle of a character leaves no half of it raw.
  EXPECT_EQ(quoted_line(std::string(79, 'x') + "\xc3\xb1", 80), std::string(79, 'x') + "\\xC3... (81 bytes)");
}

// ---- numbers and durations, read one way -----------------------------------

TEST(InputRules, DurationsUpToTheLimitExactlyAndNoFurther) {
  const struct {
    const char* text;
    bool ok;
    VTime ps;
  } table[] = {
      {"1.5s", true, 1500 * kMillisecond},
      {"200ms", true, 200 * kMillisecond},
      {".5us", true, 500 * kNanosecond},
      {"2e-3s", true, 2 * kMillisecond},
      {"3", true, 3 * kSecond},
      {"2min", true, 120 * kSecond},
      {"1e7s", true, 10000000ull * kSecond},        // the limit itself, held exactly
      {"9999999.5s", true, 9999999500000000000ull},
      {"9223373s", true, 9223373000000000000ull},    // past 2^63 ps: no wrap
      {"10000000.000001s", false, 0},
      {"1e8s", false, 0},
      {"166667min", false, 0},
      {"1e400s", false, 0},
      {"-1s", false, 0},
      {"+1s", false, 0},
      {" 1s", false, 0},
      {"0x10ms", false, 0},
      {"inf", false, 0},
      {"nan", false, 0},
      {"1e", false, 0},
      {".s", false, 0},
      {"1 s", false, 0},
      {"", false, 0},
  };
  for (const auto& row : table) {
    VTime v = 12345;
    EXPECT_EQ(parse_duration(row.text, &v), row.ok) << row.text;
    if (row.ok) {
      EXPECT_EQ(v, row.ps) << row.text;
    }
  }
  EXPECT_EQ(later(kForever - 5, 10), kForever);
  EXPECT_EQ(later(5, 10), 15u);
}

TEST(InputRules, ScriptNumbers) {
  const struct {
    const char* text;
    bool ok;
    int value;
  } table[] = {
      {"10", true, 10}, {"010", true, 10}, {"0x40", true, 64}, {"0X1f", true, 31}, {"-3", true, -3},
      {"0x", false, 0}, {"1x", false, 0},  {" 5", false, 0},   {"4294967296", false, 0}, {"", false, 0},
  };
  for (const auto& row : table) {
    int v = -99;
    EXPECT_EQ(parse_script_int(row.text, &v), row.ok) << row.text;
    if (row.ok) {
      EXPECT_EQ(v, row.value) << row.text;
    }
  }
}

// ---- the scenario parser's error paths -------------------------------------

// Every way a line can be refused, each with control bytes in it and as a
// megabyte line: one line of bounded size, nothing raw.
TEST(ScenarioErrors, EveryRefusalQuotesSafely) {
  const std::string dir = temp_dir();
  const std::string evil = "\x1b]0;owned\x07\x1b[2J\r\xc2\x9b";
  const std::string mega(1 << 20, 'z');
  const std::vector<std::string> lines = {
      "EVIL",                              // unknown command
      "expect EVIL",                       // unknown expectation
      "wait EVIL",                         // not a duration
      "wait 1e8s",                         // past the limit
      "key EVIL",                          // not a number
      "key 3 hold EVIL",                   // not a hold
      "keydown 3 EVIL",
      "button EVIL",
      "button 0x40 hold EVIL",
      "adc 1 EVIL",
      "uart EVIL",                         // not quoted
      "uart \"EVIL\\q\"",                  // unknown escape
      "uart \"EVIL\\x1\"",                 // short \x
      "uart \"EVIL",                       // unterminated
      "uart \"EVIL\\",                     // lone backslash
      "expect lcd EVIL",
      "expect lcd \"x\" within EVIL",
      "expect no lcd \"x\" EVIL",
      "expect uart \"x\" EVIL 2s",
      "expect led EVIL on",
      "expect pixel 1 2 EVIL",
      "screenshot EVIL extra",
      "screenshot \"EVIL\\x00\"",
      "expect screen EVIL.png",            // no such picture
      "expect screen " + dir + "EVIL.png within 1s",
      "expect screen EVIL within",
      "eeprom 0 EVIL",
      "rtc EVIL 09:30:00",
      "wait 1s\x00EVIL",
  };
  for (const std::string& pattern : lines) {
    for (const std::string& fill : {evil, mega, evil + mega}) {
      std::string line = pattern;
      for (size_t at; (at = line.find("EVIL")) != std::string::npos;) line.replace(at, 4, fill);
      Scenario s;
      std::string error;
      const std::string what = quoted_line(pattern) + " with " + std::to_string(fill.size()) + " bytes";
      ASSERT_FALSE(s.parse("wait 1ms\n" + line + "\n", "t.scn", &error, dir)) << what;
      EXPECT_EQ(error.rfind("t.scn:2: ", 0), 0u) << what << ": " << quoted_line(error);
      expect_safe_message(error, what);
    }
  }
}

// ---- a scenario's pictures, checked as inputs ---------------------------

// A PNG of any declared size with a tiny image body (valid or not).
std::string png_bytes(uint32_t width, uint32_t height, bool with_data = true) {
  auto be32 = [](uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  auto chunk = [&](const std::string& kind, const std::string& data) {
    // CRC-32 as PNG wants it.
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : kind + data) {
      crc ^= c;
      for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return be32(static_cast<uint32_t>(data.size())) + kind + data + be32(crc ^ 0xFFFFFFFFu);
  };
  std::string ihdr = be32(width) + be32(height) + std::string("\x08\x00\x00\x00\x00", 5);
  // An empty zlib stream: libpng finds too little image data, if it reads on.
  std::string idat = with_data ? std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8) : "";
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", idat) + chunk("IEND", "");
}

TEST(ScenarioPictures, CheckedBeforeTheyAreOpened) {
  const std::string dir = temp_dir();
  ASSERT_EQ(::mkfifo((dir + "pipe.png").c_str(), 0600), 0);
  ::mkdir((dir + "folder.png").c_str(), 0700);
  write_file(dir + "huge.png", png_bytes(1000000, 1000000));
  write_file(dir + "wrap.png", png_bytes(0x10000, 0x10000));
  write_file(dir + "small.png", png_bytes(10, 12));
  write_file(dir + "junk.png", "not a picture\n");
  write_file(dir + "broken.png", png_bytes(320, 240));  // the right size, no pixels
  {
    std::ofstream(dir + "big.png") << "x";
    ASSERT_EQ(::truncate((dir + "big.png").c_str(), static_cast<off_t>(Scenario::kMaxPictureBytes) + 1), 0);
  }
  const struct {
    std::string file, says;
  } table[] = {
      {"pipe.png", "is a FIFO; a regular file is needed"},
      {"/dev/zero", "is a device"},
      {"folder.png", "is a directory"},
      {"big.png", "more than the 16 MiB"},
      {"huge.png", "is 1000000 x 1000000 pixels; the LCD is 320 x 240"},
      {"wrap.png", "is 65536 x 65536 pixels; the LCD is 320 x 240"},
      {"small.png", "is 10 x 12 pixels; the LCD is 320 x 240"},
      {"junk.png", "cannot read"},
      {"broken.png", "cannot read"},
      {"missing.png", "No such file"},
  };
  for (const auto& row : table) {
    Scenario s;
    std::string error;
    EXPECT_FALSE(s.parse("expect screen " + row.file + "\n", "p.scn", &error, dir)) << row.file;
    EXPECT_NE(error.find(row.says), std::string::npos) << row.file << ": " << error;
    expect_safe_message(error, row.file);
  }
  // The right picture is read, quoted names with their escapes too.
  std::vector<uint8_t> levels(320 * 240, 3);
  std::string error;
  ASSERT_TRUE(write_lcd_png(dir + "ok \"1\".png", levels.data(), error)) << error;
  Scenario s;
  EXPECT_TRUE(s.parse("expect screen \"ok \\\"1\\\".png\"\n", "p.scn", &error, dir)) << error;
  ASSERT_EQ(s.pictures().size(), 1u);
  EXPECT_EQ(s.pictures()[0].second, dir + "ok \"1\".png");
}

// ---- gdb's byte stream -----------------------------------------------------

std::string frame(const std::string& payload) {
  unsigned sum = 0;
  for (unsigned char c : payload) sum += c;
  char cs[4];
  std::snprintf(cs, sizeof cs, "#%02x", sum & 0xFF);
  return "$" + payload + cs;
}

std::vector<RspInput::Event> feed(RspInput& in, const std::string& bytes) {
  std::vector<RspInput::Event> events;
  in.feed(bytes.data(), bytes.size(), &events);
  return events;
}

std::string describe(const std::vector<RspInput::Event>& events) {
  std::string s;
  for (const RspInput::Event& e : events) {
    switch (e.kind) {
      case RspInput::Event::kPacket: s += (e.checksum_ok ? "P(" : "BAD(") + e.payload + ")"; break;
      case RspInput::Event::kTooLong: s += "LONG"; break;
      case RspInput::Event::kAck: s += "+"; break;
      case RspInput::Event::kNack: s += "-"; break;
      case RspInput::Event::kInterrupt: s += "^C"; break;
    }
  }
  return s;
}

TEST(RspInput, CutsTheStreamIntoWhatItMeans) {
  const struct {
    std::string bytes, events;
  } table[] = {
      {frame("?"), "P(?)"},
      {"+" + frame("g") + "-\x03", "+P(g)-^C"},
      {"$g#00", "BAD(g)"},
      {"$g#zz", "BAD(g)"},
      {"junk" + frame("qC"), "P(qC)"},
      {"$half$" + std::string("m0,4#fd"), "P(m0,4)"},                 // a packet cut short
      {frame(std::string("X0,1:\x03", 6)), std::string("P(X0,1:\x03)")},  // binary data is no Ctrl-C
      {"$" + std::string(20, 'a') + "#61" + frame("?"), "LONG" "P(?)"},  // 20 > the limit of 16 here
      {"$" + std::string(16, 'a'), ""},                               // exactly the limit: waits for '#'
  };
  for (const auto& row : table) {
    RspInput in(16);
    EXPECT_EQ(describe(feed(in, row.bytes)), row.events) << quoted_line(row.bytes);
  }
  // Byte by byte, the same.
  RspInput in(16);
  std::string events;
  for (char c : "+" + frame("s") + "\x03") events += describe(feed(in, std::string(1, c)));
  EXPECT_EQ(events, "+P(s)^C");
}

TEST(RspInput, AFloodWithoutAnEndHoldsNoMoreThanOnePacket) {
  RspInput in(GdbStub::kPacketSize);
  std::string chunk(1 << 16, 'A');
  size_t too_long = 0;
  for (int i = 0; i < 1024; ++i) {  // 64 MiB after one '$'
    std::string bytes = i == 0 ? "$" + chunk : chunk;
    for (const RspInput::Event& e : feed(in, bytes)) too_long += e.kind == RspInput::Event::kTooLong;
    ASSERT_LE(in.held(), GdbStub::kPacketSize);
  }
  EXPECT_EQ(too_long, 1u) << "refused once";
  EXPECT_EQ(describe(feed(in, "#00" + frame("?"))), "P(?)") << "taken up again at the next '$'";
}

// ---- fuzz: mutations of small corpora, a bounded number of rounds ---------

std::string mutate(std::mt19937& rng, std::string s, const std::vector<std::string>& dictionary) {
  const int edits = 1 + static_cast<int>(rng() % 6);
  for (int e = 0; e < edits; ++e) {
    const size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
    switch (rng() % 7) {
      case 0:  // flip a byte
        if (!s.empty()) s[at % s.size()] = static_cast<char>(rng());
        break;
      case 1:  // drop a run
        if (!s.empty()) s.erase(at % s.size(), 1 + rng() % 8);
        break;
      case 2:  // insert a random byte
        s.insert(at, 1, static_cast<char>(rng()));
        break;
      case 3:  // insert a word that means something
        s.insert(at, dictionary[rng() % dictionary.size()]);
        break;
      case 4:  // repeat a run
        if (!s.empty()) {
          const size_t from = at % s.size();
          std::string run = s.substr(from, 1 + rng() % 16);
          for (int k = 0, n = static_cast<int>(rng() % 64); k < n && s.size() < (1 << 16); ++k) s.insert(from, run);
        }
        break;
      case 5:  // a long digit string (numbers, durations)
        s.insert(at, std::string(1 + rng() % 30, static_cast<char>('0' + rng() % 10)));
        break;
      case 6:  // a control byte
        s.insert(at, 1, "\x00\x01\x03\x07\x1b\r\n\t\x7f\x9b"[rng() % 10]);
        break;
    }
  }
  return s;
}

TEST(Fuzz, ScenarioParser) {
  const std::string dir = temp_dir();
  std::vector<uint8_t> levels(320 * 240, 0);
  std::string error;
  ASSERT_TRUE(write_lcd_png(dir + "ref.png", levels.data(), error)) << error;
  write_file(dir + "lie.png", png_bytes(1000000, 1000000));
  ASSERT_EQ(::mkfifo((dir + "fifo.png").c_str(), 0600), 0);
  const std::vector<std::string> corpus = {
      "wait 1.5s\nkey 2 hold 300ms\nkeydown 5\nkeyup 5\n",
      "button 0x40 hold 1s\nbuttondown 0x80\nbuttonup 0x80\nadc 3 512\n",
      "uart \"Ana\\r\\x41\\\\\\\"\"\nuart1 \"x\"\n# a comment\n",
      "expect lcd \"1. Agenda\" within 3s\nexpect no lcd \"x\" within 1s\nexpect uart \"Intro\"\n",
      "expect led left on\nexpect pixel 319 239 15\nexpect uart1 \"y\" within 2min\n",
      "expect screen ref.png within 2s\nexpect screen lie.png\nexpect screen fifo.png\nscreenshot out.png\n",
      "rtc 2026-12-08 09:30:00\neeprom 0x040 4A75616E\n",
  };
  const std::vector<std::string> dictionary = {
      "wait ", "key ", "expect ", "screen ", "lcd ", "\"", "\\x", "\\", " within ", " hold ", "1e7s", "1e19",
      "0x",    "010", "ref.png",  "lie.png", "fifo.png", "/dev/zero", "#", "\r\n", "-", "4294967296", "9.9e6s"};
  std::mt19937 rng(20260308);
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::string text = mutate(rng, corpus[round % corpus.size()], dictionary);
    Scenario s;
    std::string why;
    if (!s.parse(text, "f.scn", &why, dir)) {
      ++refused;
      ASSERT_EQ(why.rfind("f.scn:", 0), 0u) << quoted_line(text, 400);
      expect_safe_message(why, quoted_line(text, 400));
    }
  }
  EXPECT_GT(refused, 300) << "the mutations reach the error paths";
}

TEST(Fuzz, RspStream) {
  const std::vector<std::string> corpus = {
      frame("qSupported:multiprocess+;swbreak+") + "+" + frame("?"),
      frame("P10=10000000") + frame("G" + std::string(136, '0')) + frame("m0c000000,1ff8"),
      frame("X0c100000,4:}\x03}]ab") + "\x03" + frame("vCont;c") + "-",
      frame("qRcmd,6b6579203520686f6c6420316537") + frame("Z0,c000010,4"),
  };
  const std::vector<std::string> dictionary = {"$", "#", "}", "+", "-", "\x03", "#00", "$?#3f", "*"};
  std::mt19937 rng(44);
  constexpr size_t kLimit = 64;
  for (int round = 0; round < 20000; ++round) {
    RspInput in(kLimit);
    const std::string bytes = mutate(rng, corpus[round % corpus.size()], dictionary);
    // Fed in random pieces: the cut must not matter.
    std::vector<RspInput::Event> whole = feed(in, bytes), pieces;
    RspInput again(kLimit);
    for (size_t at = 0; at < bytes.size();) {
      const size_t n = 1 + rng() % 9;
      for (RspInput::Event& e : feed(again, bytes.substr(at, n))) pieces.push_back(std::move(e));
      at += n;
    }
    ASSERT_EQ(describe(whole), describe(pieces)) << quoted_line(bytes, 400);
    for (const RspInput::Event& e : whole) ASSERT_LE(e.payload.size(), kLimit);
    ASSERT_LE(in.held(), kLimit);
    // Whatever came before, this ends it and is understood.
    std::vector<RspInput::Event> tail = feed(in, "#00" + frame("?"));
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ(describe({tail.back()}), "P(?)") << quoted_line(bytes, 400);
  }
}

TEST(ArmCpsr, OnlyValuesTheCoreCanHold) {
  for (uint32_t mode = 0; mode < 32; ++mode) {
    const bool real = mode == 0x10 || mode == 0x11 || mode == 0x12 || mode == 0x13 || mode == 0x17 || mode == 0x1B ||
                      mode == 0x1F;
    EXPECT_EQ(valid_arm7tdmi_cpsr(0xF00000C0u | mode), real) << mode;
    EXPECT_EQ(valid_arm7tdmi_cpsr(0x20u | mode), real) << "Thumb " << mode;
  }
  EXPECT_FALSE(valid_arm7tdmi_cpsr(0x13u | 1u << 24)) << "J: no Jazelle on an ARM7TDMI";
  EXPECT_FALSE(valid_arm7tdmi_cpsr(0x13u | 1u << 9)) << "E: no endianness switch";
  EXPECT_FALSE(valid_arm7tdmi_cpsr(0x13u | 1u << 27)) << "Q: ARMv5TE";
}

}  // namespace
}  // namespace sim
