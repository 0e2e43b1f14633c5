// The messages between board-sim and its web page, and the token checks.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "frontends/web_protocol.h"

namespace sim {
namespace web {
namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> v;
  for (int b : list) v.push_back(static_cast<uint8_t>(b));
  return v;
}

TEST(WebProtocol, PageMessagesDecodeToTheirInputs) {
  struct Case {
    std::vector<uint8_t> message;
    Op op;
    int code;
  } cases[] = {
      {bytes({0x01, 0}), Op::kKeyDown, 0},      {bytes({0x02, 15}), Op::kKeyUp, 15},
      {bytes({0x03, 0x40}), Op::kButtonDown, 0x40}, {bytes({0x04, 0x80}), Op::kButtonUp, 0x80},
      {bytes({0x06, 1}), Op::kFast, 1},         {bytes({0x06, 0}), Op::kFast, 0},
      {bytes({0x07}), Op::kQuit, 0},            {bytes({0x08}), Op::kFrameAck, 0},
      {bytes({0x09, 1}), Op::kSound, 1},        {bytes({0x0A}), Op::kReleaseAll, 0},
  };
  for (const Case& c : cases) {
    PageInput in;
    std::string why;
    ASSERT_TRUE(decode_page_message(c.message.data(), c.message.size(), &in, &why)) << why;
    EXPECT_EQ(in.op, c.op);
    EXPECT_EQ(in.code, c.code);
    std::string again = encode_page_message(in);
    EXPECT_EQ(std::vector<uint8_t>(again.begin(), again.end()), c.message);
  }
}

TEST(WebProtocol, ConsoleInputKeepsEveryByte) {
  std::string line("Ana\r\x00\xff", 6);
  std::string m = encode_page_message({Op::kUart, 0, line});
  PageInput in;
  std::string why;
  ASSERT_TRUE(decode_page_message(reinterpret_cast<const uint8_t*>(m.data()), m.size(), &in, &why)) << why;
  EXPECT_EQ(in.op, Op::kUart);
  EXPECT_EQ(in.bytes, line);

  std::string longest(kMaxUartBytes, 'x');
  m = encode_page_message({Op::kUart, 0, longest});
  EXPECT_TRUE(decode_page_message(reinterpret_cast<const uint8_t*>(m.data()), m.size(), &in, &why)) << why;
  m.push_back('x');
  EXPECT_FALSE(decode_page_message(reinterpret_cast<const uint8_t*>(m.data()), m.size(), &in, &why));
  EXPECT_NE(why.find("at most"), std::string::npos) << why;
}

TEST(WebProtocol, BadPageMessagesAreRefusedWithAReason) {
  struct Case {
    std::vector<uint8_t> message;
    const char* why;
  } cases[] = {
      {{}, "empty"},
      {bytes({0x00}), "unknown opcode 0x00"},
      {bytes({0x42, 1}), "unknown opcode 0x42"},
      {bytes({0x01}), "one operand"},
      {bytes({0x01, 3, 4}), "one operand"},
      {bytes({0x01, 16}), "operand 0x10"},
      {bytes({0x03, 0x20}), "operand 0x20"},
      {bytes({0x04, 0xC0}), "operand 0xC0"},
      {bytes({0x06, 2}), "operand 0x02"},
      {bytes({0x09, 0xFF}), "operand 0xFF"},
      {bytes({0x07, 0}), "no operand"},
      {bytes({0x08, 1}), "no operand"},
      {bytes({0x05}), "without bytes"},
  };
  for (const Case& c : cases) {
    PageInput in;
    in.op = Op::kQuit;
    std::string why;
    EXPECT_FALSE(decode_page_message(c.message.data(), c.message.size(), &in, &why)) << c.why;
    EXPECT_NE(why.find(c.why), std::string::npos) << "got: " << why;
    EXPECT_EQ(in.op, Op::kQuit) << "a refused message left an input behind";
  }
}

std::vector<uint8_t> pattern(int seed) {
  std::vector<uint8_t> f(kScreenWidth * kScreenHeight);
  for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<uint8_t>((i * 7 + seed * 3 + i / kScreenWidth) % 16);
  return f;
}

// (first row, row count) of each band in a screen message.
std::vector<std::pair<int, int>> bands(const std::string& m) {
  std::vector<std::pair<int, int>> out;
  auto u16 = [&](size_t at) { return static_cast<uint8_t>(m[at]) | static_cast<uint8_t>(m[at + 1]) << 8; };
  size_t at = 3;
  for (int b = 0; b < u16(1); ++b) {
    out.push_back({u16(at), u16(at + 2)});
    at += 4 + static_cast<size_t>(u16(at + 2)) * kRowBytes;
  }
  return out;
}

TEST(WebProtocol, AWholeFramePacksTwoPixelsAByte) {
  std::vector<uint8_t> f = pattern(1);
  std::string m = encode_screen(nullptr, f.data());
  ASSERT_EQ(m.size(), 3u + 4u + 38400u);
  EXPECT_EQ(m[0], static_cast<char>(Kind::kScreen));
  EXPECT_EQ(bands(m), (std::vector<std::pair<int, int>>{{0, 240}}));
  EXPECT_EQ(static_cast<uint8_t>(m[7]), f[0] << 4 | f[1]);  // the left pixel in the high nibble
  std::vector<uint8_t> out(f.size(), 0);
  ASSERT_TRUE(apply_screen(m, out.data()));
  EXPECT_EQ(out, f);
}

TEST(WebProtocol, OnlyChangedRowsAreSentInBands) {
  std::vector<uint8_t> before = pattern(1);
  struct Case {
    std::vector<int> rows;  // rows changed
    std::vector<std::pair<int, int>> bands;
  } cases[] = {
      {{0}, {{0, 1}}},
      {{239}, {{239, 1}}},
      {{10, 11, 12}, {{10, 3}}},
      {{5, 7}, {{5, 1}, {7, 1}}},
      {{0, 100, 101, 239}, {{0, 1}, {100, 2}, {239, 1}}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> after = before;
    for (int row : c.rows) after[row * kScreenWidth + 319] ^= 0x0F;
    std::string m = encode_screen(before.data(), after.data());
    EXPECT_EQ(bands(m), c.bands);
    std::vector<uint8_t> mirror = before;
    ASSERT_TRUE(apply_screen(m, mirror.data()));
    EXPECT_EQ(mirror, after);
  }
  EXPECT_TRUE(encode_screen(before.data(), before.data()).empty());
}

TEST(WebProtocol, LevelsPastFifteenAreSentAsFifteen) {
  std::vector<uint8_t> f(kScreenWidth * kScreenHeight, 0);
  f[0] = 200;
  f[1] = 16;
  std::string m = encode_screen(nullptr, f.data());
  EXPECT_EQ(static_cast<uint8_t>(m[7]), 0xFF);
}

TEST(WebProtocol, MalformedScreenMessagesLeaveTheFrameAlone) {
  std::vector<uint8_t> f = pattern(2);
  std::string whole = encode_screen(nullptr, f.data());
  std::string band_past_end = whole;
  band_past_end[3] = 1;  // rows 1..240
  std::string cases[] = {
      "",
      std::string("\x02\x00\x00", 3),                         // not a screen message
      whole.substr(0, whole.size() - 1),                        // a row cut short
      whole + "x",                                              // trailing bytes
      band_past_end,
      std::string("\x01\x01\x00\x00\x00", 5),                   // band header cut short
  };
  for (const std::string& m : cases) {
    std::vector<uint8_t> frame(f.size(), 9);
    EXPECT_FALSE(apply_screen(m, frame.data())) << m.size();
    EXPECT_EQ(frame, std::vector<uint8_t>(f.size(), 9));
  }
}

TEST(WebProtocol, AudioIsLittleEndianLeftThenRight) {
  AudioFrame frames[] = {{1, -1}, {-32768, 32767}};
  std::string m = encode_audio(frames, 2);
  EXPECT_EQ(m, std::string("\x03\x01\x00\xff\xff\x00\x80\xff\x7f", 9));
  EXPECT_EQ(encode_console("ok\r\n"), "\x02ok\r\n");
}

TEST(WebProtocol, JsonStringsAreEscapedAndValidUtf8) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"l1\nl2\r\t", "\"l1\\nl2\\r\\t\""},
      {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
      {"A\xc3\xb1o \xe2\x82\xac \xf0\x9f\x93\x9e", "\"A\xc3\xb1o \xe2\x82\xac \xf0\x9f\x93\x9e\""},  // kept
      {"A\xf1o", "\"A\xef\xbf\xbdo\""},                  // Latin-1 byte
      {"\xc0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\""},       // overlong NUL
      {"\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},  // a surrogate
      {"\xe2\x82", "\"\xef\xbf\xbd\xef\xbf\xbd\""},       // cut short at the end
      {"\xf4\x90\x80\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},  // past U+10FFFF
  };
  for (const Case& c : cases) EXPECT_EQ(json_string(c.in), c.out) << c.in;
}

TEST(WebProtocol, TokensAre128RandomBitsInHex) {
  std::set<std::string> seen;
  for (int i = 0; i < 8; ++i) {
    std::string t = new_token();
    ASSERT_EQ(t.size(), 32u);
    EXPECT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos) << t;
    seen.insert(t);
  }
  EXPECT_EQ(seen.size(), 8u);
}

TEST(WebProtocol, OnlyTheWholeTokenMatches) {
  const std::string token = "0123456789abcdef0123456789abcdef";
  EXPECT_TRUE(token_matches(token, token));
  std::string first = token, last = token;
  first[0] = '1';
  last[31] = '0';
  for (const std::string& wrong :
       {first, last, token.substr(0, 31), token + "0", std::string(), std::string("0123456789ABCDEF0123456789ABCDEF")})
    EXPECT_FALSE(token_matches(wrong, token)) << wrong;
  EXPECT_FALSE(token_matches("", ""));
}

TEST(WebProtocol, TheTokenIsTakenFromTheQuery) {
  struct Case {
    const char* target;
    bool found;
    const char* value;
    const char* path;
  } cases[] = {
      {"/?token=abc", true, "abc", "/"},
      {"/app.js?x=1&token=abc&y=2", true, "abc", "/app.js"},
      {"/ws?token=", true, "", "/ws"},
      {"/ws?token", true, "", "/ws"},
      {"/?tokens=abc", false, "", "/"},
      {"/?xtoken=abc", false, "", "/"},
      {"/token=abc", false, "", "/token=abc"},
      {"/?token=abc#frag", true, "abc", "/"},
      {"/?token=first&token=second", true, "first", "/"},
  };
  for (const Case& c : cases) {
    std::string_view value;
    EXPECT_EQ(query_param(c.target, "token", &value), c.found) << c.target;
    if (c.found) {
      EXPECT_EQ(value, c.value) << c.target;
    }
    EXPECT_EQ(target_path(c.target), c.path);
  }
}

TEST(WebProtocol, HostsAndOriginsAreOurOwnOrRefused) {
  Audience audience{{"lab-server"}, "https://lab.example.org"};
  struct Case {
    std::string host;
    bool allowed;
  } hosts[] = {
      {"127.0.0.1:8044", true}, {"localhost", true},      {"LOCALHOST.:8044", true}, {"[::1]:8044", true},
      {"10.1.2.3", true},       {"lab-server:8044", true}, {"lab.example.org", true}, {"evil.example:8044", false},
      {"127.0.0.1.evil", false}, {"", false},             {"a:b:c", false},         {"[::1", false},
      {"host:99999999", false}, {"user@localhost", false}, {"localhost/x", false},
  };
  for (const Case& c : hosts) EXPECT_EQ(host_allowed(c.host, audience), c.allowed) << c.host;

  struct OriginCase {
    std::string origin;
    bool present;
    std::string host;
    bool allowed;
  } origins[] = {
      {"", false, "127.0.0.1:8044", true},
      {"http://127.0.0.1:8044", true, "127.0.0.1:8044", true},
      {"HTTP://LocalHost:8044", true, "localhost:8044", true},
      {"https://lab.example.org", true, "127.0.0.1:8044", true},
      {"http://127.0.0.1:8000", true, "127.0.0.1:8044", false},
      {"http://localhost:8044", true, "127.0.0.1:8044", false},
      {"http://evil.example:8044", true, "evil.example:8044", false},
      {"null", true, "127.0.0.1:8044", false},
      {"file://127.0.0.1:8044", true, "127.0.0.1:8044", false},
  };
  for (const OriginCase& c : origins)
    EXPECT_EQ(origin_allowed(c.origin, c.present, c.host, audience), c.allowed) << c.origin << " to " << c.host;

  std::string origin, why;
  EXPECT_TRUE(parse_origin("HTTPS://Lab.Example.org:8443/", &origin, &why)) << why;
  EXPECT_EQ(origin, "https://lab.example.org:8443");
  for (const char* bad : {"lab.example.org", "ftp://lab.example.org", "https://lab.example.org/board", "https://"}) {
    EXPECT_FALSE(parse_origin(bad, &origin, &why)) << bad;
    EXPECT_NE(why.find(bad), std::string::npos) << why;
  }
}

}  // namespace
}  // namespace web
}  // namespace sim
