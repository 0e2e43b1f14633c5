// What --record writes for a sequence of inputs, and the JUnit report's
// escaping: no board needed. (tests/phone/test_record.cpp replays a session
// on the phone; tests/ui/record_test.sh records one in the terminal mode.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "board/board.h"
#include "frontends/junit_report.h"
#include "frontends/recorder.h"
#include "frontends/scenario.h"

namespace sim {
namespace {

constexpr VTime ms = kMillisecond;

std::string temp_path(const std::string& name) {
  return ::testing::TempDir() + name + "-" + std::to_string(::getpid());
}

// The lines written for the inputs `give` makes, without the closing comment.
std::string recorded(const std::function<void(Recorder&)>& give, VTime end) {
  std::string path = temp_path("recorder.scn");
  Recorder r;
  std::string error;
  EXPECT_TRUE(r.open(path, 0, &error)) << error;
  give(r);
  EXPECT_TRUE(r.finish(end, &error)) << error;
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  std::remove(path.c_str());
  std::string text = ss.str();
  size_t last = text.rfind("# the session ended here");
  EXPECT_NE(last, std::string::npos) << text;
  // Whatever it wrote must read back as a script.
  Scenario check;
  EXPECT_TRUE(check.parse(text, "recorded", &error)) << error << "\n" << text;
  return text.substr(0, last);
}

TEST(Recorder, WritesEachInputWithExactTiming) {
  struct Case {
    const char* what;
    std::function<void(Recorder&)> give;
    VTime end;
    const char* expected;
  } cases[] = {
      {"a press with a person's pause after it is a key line",
       [](Recorder& r) {
         r.key_down(3, 1000 * ms);
         r.key_up(3, 1100 * ms);
         r.key_down(4, 2000 * ms);
         r.key_up(4, 2000 * ms + 250 * ms + 7);
       },
       3 * kSecond, "wait 1s\nkey 3\nwait 750ms\nkey 4 hold 250.000000007ms\nwait 599.999999993ms\n"},
      {"a release less than 150 ms before the next input is keydown/keyup",
       [](Recorder& r) {
         r.key_down(5, 10 * ms);
         r.key_up(5, 90 * ms);
         r.key_down(6, 200 * ms);
         r.key_up(6, 300 * ms);
       },
       400 * ms, "wait 10ms\nkeydown 5\nwait 80ms\nkeyup 5\nwait 110ms\nkeydown 6\nwait 100ms\nkeyup 6\nwait 100ms\n"},
      {"two keys held at once",
       [](Recorder& r) {
         r.key_down(1, 0);
         r.key_down(2, 50 * ms);
         r.key_up(1, 60 * ms);
         r.key_up(2, 70 * ms);
       },
       kSecond, "keydown 1\nwait 50ms\nkeydown 2\nwait 10ms\nkeyup 1\nwait 10ms\nkeyup 2\nwait 930ms\n"},
      {"buttons, and a key still held at the end",
       [](Recorder& r) {
         r.button_down(0x80, 100 * ms);
         r.button_up(0x80, 600 * ms);
         r.button_down(0x40, kSecond);
         r.button_up(0x40, kSecond + 30 * ms);
         r.key_down(15, 1100 * ms);
       },
       2 * kSecond,
       "wait 100ms\nbutton 0x80 hold 500ms\nwait 250ms\nbuttondown 0x40\nwait 30ms\nbuttonup 0x40\n"
       "wait 70ms\nkeydown 15\nwait 900ms\n"},
      {"console bytes of one instant on one line, escaped",
       [](Recorder& r) {
         r.console({'A', 'n', 'a', '\r'}, 5 * ms);
         r.console({'"', '\\', 0x01, 0xF1}, 5 * ms);
         r.console({'\n'}, 6 * ms);
       },
       6 * ms, "wait 5ms\nuart \"Ana\\r\\\"\\\\\\x01\\xF1\"\nwait 1ms\nuart \"\\n\"\n"},
      {"console bytes while a key is held",
       [](Recorder& r) {
         r.key_down(7, 0);
         r.console({'x'}, 40 * ms);
         r.key_up(7, 100 * ms);
       },
       kSecond, "keydown 7\nwait 40ms\nuart \"x\"\nwait 60ms\nkeyup 7\nwait 900ms\n"},
      {"a long quiet spell in waits of at most 1000 s",
       [](Recorder& r) { r.key_down(0, 2500 * kSecond + 1); }, 2500 * kSecond + 1,
       "wait 1000s\nwait 1000s\nwait 500000.000000001ms\nkeydown 0\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(recorded(c.give, c.end), c.expected) << c.what;
}

TEST(Recorder, DurationsReadBackToThePicosecond) {
  std::mt19937_64 random(12345);
  std::vector<VTime> values = {1, 999, kNanosecond + 1, 15625, kMillisecond, 150 * kMillisecond, kSecond - 1,
                               1000 * kSecond, 1000 * kSecond - 1};
  for (int i = 0; i < 2000; ++i) values.push_back(random() % (1000 * kSecond) + 1);
  for (VTime v : values) {
    VTime back = 0;
    std::string text = Recorder::duration_text(v);
    ASSERT_TRUE(parse_duration(text, &back)) << text;
    ASSERT_EQ(back, v) << text;
  }
}

TEST(Recorder, AnUnwritablePathIsAnError) {
  Recorder r;
  std::string error;
  EXPECT_FALSE(r.open("/nonexistent-dir/x.scn", 0, &error));
  EXPECT_NE(error.find("cannot write /nonexistent-dir/x.scn"), std::string::npos) << error;
}

TEST(Scenario, TheRtcAndEepromLinesAreCheckedAndSetTheBoard) {
  for (const char* bad : {"rtc 2026-02-29 10:00:00", "rtc 26-12-08 10:00:00", "rtc 2026-12-08 24:00:00",
                          "rtc 2026-12-08", "rtc 2026-12-08 10:00:00x", "eeprom 0x1F0 " "00112233445566778899AABBCCDDEEFF00",
                          "eeprom 0 ABC", "eeprom 0 GG", "eeprom 0", "expect screen", "expect screen a.png within"}) {
    Scenario s;
    std::string error;
    EXPECT_FALSE(s.parse(std::string(bad) + "\n", "t.scn", &error)) << bad;
    EXPECT_EQ(error.rfind("t.scn:1: expected", 0), 0u) << bad << ": " << error;
  }
  struct Day {
    const char* line;
    RtcTime want;
  } days[] = {
      {"rtc 2024-02-29 23:59:58", {24, 2, 29, 5, 23, 59, 58}},  // a Thursday
      {"rtc 2000-01-01 00:00:00", {0, 1, 1, 7, 0, 0, 0}},      // a Saturday
      {"rtc 2026-12-08 09:30:00", {26, 12, 8, 3, 9, 30, 0}},   // a Tuesday
  };
  for (const Day& d : days) {
    Board board;
    Scenario s;
    std::string error, failure;
    ASSERT_TRUE(s.parse(std::string(d.line) + "\neeprom 0x1FE 12AB\n", "t.scn", &error)) << error;
    ASSERT_TRUE(s.run(board, &failure)) << failure;
    RtcTime t = board.rtc().time();
    EXPECT_TRUE(t == d.want) << d.line << ": " << t.year << "-" << t.mon << "-" << t.mday << " day " << t.wday;
    EXPECT_EQ(board.eeprom().contents()[0x1FD], 0xFF);
    EXPECT_EQ(board.eeprom().contents()[0x1FE], 0x12);
    EXPECT_EQ(board.eeprom().contents()[0x1FF], 0xAB);
  }
}

TEST(JunitReport, TextIsEscapedForXml) {
  EXPECT_EQ(xml_escape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
  EXPECT_EQ(xml_escape("line\nnext\ttab\r"), "line&#10;next&#9;tab&#13;");
  // XML 1.0 cannot carry these at all, nor bytes that are not UTF-8.
  EXPECT_EQ(xml_escape(std::string("\x01\x1F\x7F", 3)), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(xml_escape("Espa\xF1" "a"), "Espa\xEF\xBF\xBD" "a");
  EXPECT_EQ(xml_escape("Espa\xC3\xB1" "a \xE2\x82\xAC"), "Espa\xC3\xB1" "a \xE2\x82\xAC");
  EXPECT_EQ(xml_escape("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // an overlong '/'
}

}  // namespace
}  // namespace sim
