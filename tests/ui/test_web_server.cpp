// The web front end's server without a browser: the token on every request,
// who drives, what reaches the board, and the screen's flow control. The
// pages are Beast WebSocket clients on 127.0.0.1, every wait bounded.
#include <gtest/gtest.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "frontends/web_server.h"

namespace sim {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using namespace std::chrono_literals;

constexpr auto kWait = 3s;

struct Reply {
  int status = 0;
  std::string body;
};

// `upgrade`: the request a browser opens a WebSocket with.
Reply get(int port, const std::string& target, bool upgrade = false) {
  net::io_context ioc;
  beast::tcp_stream stream(ioc);
  stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)));
  http::request<http::empty_body> req(http::verb::get, target, 11);
  req.set(http::field::host, "127.0.0.1");
  if (upgrade) {
    req.set(http::field::upgrade, "websocket");
    req.set(http::field::connection, "Upgrade");
    req.set(http::field::sec_websocket_key, "dGhlIHNhbXBsZSBub25jZQ==");
    req.set(http::field::sec_websocket_version, "13");
  }
  http::write(stream, req);
  beast::flat_buffer buffer;
  http::response<http::string_body> res;
  stream.expires_after(kWait);
  http::read(stream, buffer, res);
  return {static_cast<int>(res.result_int()), res.body()};
}

// A page: a WebSocket client whose every read gives up after kWait.
class Client {
 public:
  bool connect(int port, const std::string& target) {
    ws_.next_layer().connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)));
    beast::error_code ec;
    ws_.handshake("127.0.0.1", target, ec);
    return !ec;
  }

  // The next message, or nothing within kWait.
  std::optional<std::string> read(bool* text = nullptr) {
    beast::flat_buffer buffer;
    bool done = false;
    beast::error_code error;
    ws_.async_read(buffer, [&](beast::error_code ec, size_t) {
      done = true;
      error = ec;
    });
    ioc_.restart();
    ioc_.run_for(kWait);
    if (!done) {
      beast::get_lowest_layer(ws_).cancel();
      ioc_.restart();
      ioc_.run();
      return std::nullopt;
    }
    if (error) return std::nullopt;
    if (text) *text = ws_.got_text();
    return beast::buffers_to_string(buffer.data());
  }

  // Reads until a JSON message containing `part`; false when none comes.
  bool read_text_with(const std::string& part, std::string* message = nullptr) {
    for (int i = 0; i < 50; ++i) {
      bool text = false;
      std::optional<std::string> m = read(&text);
      if (!m) return false;
      if (text && m->find(part) != std::string::npos) {
        if (message) *message = *m;
        return true;
      }
    }
    return false;
  }

  // Reads until a binary message of `kind`.
  std::optional<std::string> read_binary(web::Kind kind) {
    for (int i = 0; i < 50; ++i) {
      bool text = true;
      std::optional<std::string> m = read(&text);
      if (!m) return std::nullopt;
      if (!text && !m->empty() && static_cast<web::Kind>((*m)[0]) == kind) return m;
    }
    return std::nullopt;
  }

  void send(const std::string& bytes, bool text = false) {
    ws_.text(text);
    ws_.write(net::buffer(bytes));
  }
  void send(const web::PageInput& in) { send(web::encode_page_message(in)); }
  void close() { ws_.close(websocket::close_code::normal); }

 private:
  net::io_context ioc_;
  websocket::stream<tcp::socket> ws_{ioc_};
};

class WebServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = set_log_sink([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mu_);
      log_ += line + "\n";
    });
    std::string error;
    ASSERT_TRUE(server_.start("127.0.0.1", 0, token_, "{\"t\":\"hello\"}", &error)) << error;
    port_ = server_.port();
  }
  void TearDown() override {
    server_.stop("{\"t\":\"end\",\"why\":\"test\"}");
    set_log_sink(previous_);
  }
  std::string log() {
    std::lock_guard<std::mutex> lock(mu_);
    return log_;
  }
  // The board side's inputs within kWait, until `count` have come.
  std::vector<web::PageInput> inputs(size_t count) {
    std::vector<web::PageInput> all;
    auto deadline = std::chrono::steady_clock::now() + kWait;
    while (all.size() < count && std::chrono::steady_clock::now() < deadline) {
      server_.wait_for_input(deadline);
      for (auto& in : server_.take_inputs()) all.push_back(std::move(in));
    }
    return all;
  }
  std::string q() const { return "?token=" + token_; }

  const std::string token_ = web::new_token();
  WebServer server_;
  int port_ = 0;
  LogSink previous_;
  std::mutex mu_;
  std::string log_;
};

TEST_F(WebServerTest, EveryRequestWithoutTheTokenGets403AndNothingElse) {
  std::string wrong = token_;
  wrong[5] = wrong[5] == 'a' ? 'b' : 'a';
  const std::vector<std::string> targets = {
      "/", "/?token=" + wrong, "/app.js", "/style.css?token=", "/screen?token=" + token_.substr(1),
      "/nothing", "/ws?token=" + wrong};
  for (const std::string& target : targets) {
    Reply r = get(port_, target);
    EXPECT_EQ(r.status, 403) << target;
    EXPECT_EQ(r.body, "") << target;
  }
  for (const std::string& target : {std::string("/ws"), "/ws?token=" + wrong, "/ws?token=" + token_ + "0"}) {
    Reply r = get(port_, target, true);
    EXPECT_EQ(r.status, 403) << target;
    EXPECT_EQ(r.body, "") << target;
  }
  EXPECT_EQ(get(port_, "/ws" + q(), true).status, 101);
}

TEST_F(WebServerTest, ThePageAndItsFilesComeWithTheToken) {
  Reply page = get(port_, "/" + q());
  ASSERT_EQ(page.status, 200);
  EXPECT_EQ(page.body.find("__TOKEN__"), std::string::npos) << "the page's own requests need the token";
  EXPECT_NE(page.body.find("app.js?token=" + token_), std::string::npos);
  EXPECT_EQ(get(port_, "/app.js" + q()).status, 200);
  EXPECT_EQ(get(port_, "/style.css" + q()).status, 200);
  EXPECT_EQ(get(port_, "/nothing" + q()).status, 404);
  uint8_t frame[web::kScreenWidth * web::kScreenHeight];
  for (size_t i = 0; i < sizeof frame; ++i) frame[i] = static_cast<uint8_t>(i % 16);
  server_.publish_frame(frame);
  for (int i = 0; i < 100; ++i) {  // the network thread takes it over
    Reply screen = get(port_, "/screen" + q());
    ASSERT_EQ(screen.body.size(), sizeof frame);
    if (screen.body == std::string(reinterpret_cast<char*>(frame), sizeof frame)) return;
    std::this_thread::sleep_for(10ms);
  }
  ADD_FAILURE() << "/screen never showed the published frame";
}

TEST_F(WebServerTest, TheFirstPageDrivesAndTheOthersWatch) {
  Client a, b;
  ASSERT_TRUE(a.connect(port_, "/ws" + q()));
  ASSERT_TRUE(a.read_text_with("\"t\":\"hello\""));
  ASSERT_TRUE(a.read_text_with("\"role\":\"driver\""));
  ASSERT_TRUE(b.connect(port_, "/ws" + q()));
  ASSERT_TRUE(b.read_text_with("\"role\":\"watcher\""));

  b.send({web::Op::kKeyDown, 6, {}});
  ASSERT_TRUE(b.read_text_with("your input is ignored"));
  a.send({web::Op::kKeyDown, 5, {}});
  a.send({web::Op::kUart, 0, "Ana\r"});
  std::vector<web::PageInput> in = inputs(2);
  ASSERT_EQ(in.size(), 2u);
  EXPECT_EQ(in[0].op, web::Op::kKeyDown);
  EXPECT_EQ(in[0].code, 5);
  EXPECT_EQ(in[1].bytes, "Ana\r");

  // The driver goes: what it held is let go, and the watcher drives.
  a.close();
  in = inputs(1);
  ASSERT_EQ(in.size(), 1u);
  EXPECT_EQ(in[0].op, web::Op::kReleaseAll);
  ASSERT_TRUE(b.read_text_with("\"role\":\"driver\""));
  b.send({web::Op::kKeyUp, 6, {}});
  in = inputs(1);
  ASSERT_EQ(in.size(), 1u);
  EXPECT_EQ(in[0].op, web::Op::kKeyUp);
}

TEST_F(WebServerTest, BadMessagesAreDroppedWithANoteAndTheConnectionStays) {
  Client a;
  ASSERT_TRUE(a.connect(port_, "/ws" + q()));
  ASSERT_TRUE(a.read_text_with("\"role\":\"driver\""));
  a.send("key 5", true);
  a.send(std::string("\x01\x10", 2));
  a.send(std::string(2000, '\x05'));
  a.send({web::Op::kKeyDown, 1, {}});
  std::vector<web::PageInput> in = inputs(1);
  ASSERT_EQ(in.size(), 1u);
  EXPECT_EQ(in[0].code, 1);
  std::string notes = log();
  EXPECT_NE(notes.find("board-sim: web: page 1 (127.0.0.1:"), std::string::npos) << notes;
  EXPECT_NE(notes.find("dropped a text message"), std::string::npos) << notes;
  EXPECT_NE(notes.find("dropped key down with the operand 0x10"), std::string::npos) << notes;
  EXPECT_NE(notes.find("dropped a message of 2000 bytes"), std::string::npos) << notes;
}

TEST_F(WebServerTest, APageGetsTheNextFrameOnlyAfterItAcknowledgedTheLast) {
  std::vector<uint8_t> frame(web::kScreenWidth * web::kScreenHeight, 0);
  server_.publish_frame(frame.data());
  Client a;
  ASSERT_TRUE(a.connect(port_, "/ws" + q()));
  std::optional<std::string> first = a.read_binary(web::Kind::kScreen);
  ASSERT_TRUE(first);
  std::vector<uint8_t> mirror(frame.size(), 9);
  ASSERT_TRUE(web::apply_screen(*first, mirror.data()));
  EXPECT_EQ(mirror, frame);

  // Two frames while the first is not acknowledged: the page gets the
  // latest, as the rows that changed since what it has.
  frame[5 * web::kScreenWidth] = 7;
  server_.publish_frame(frame.data());
  frame[9 * web::kScreenWidth] = 3;
  server_.publish_frame(frame.data());
  server_.publish_console("hello");
  ASSERT_TRUE(a.read_binary(web::Kind::kConsole));  // sent meanwhile, and after the frames
  a.send({web::Op::kFrameAck, 0, {}});
  std::optional<std::string> next = a.read_binary(web::Kind::kScreen);
  ASSERT_TRUE(next);
  ASSERT_TRUE(web::apply_screen(*next, mirror.data()));
  EXPECT_EQ(mirror, frame);
  EXPECT_LT(next->size(), 3u + 2 * (4 + web::kRowBytes) + 1);
}

TEST_F(WebServerTest, StoppingTellsThePages) {
  Client a;
  ASSERT_TRUE(a.connect(port_, "/ws" + q()));
  ASSERT_TRUE(a.read_text_with("\"role\""));
  server_.stop("{\"t\":\"end\",\"why\":\"over\"}");
  EXPECT_TRUE(a.read_text_with("\"why\":\"over\""));
}

TEST(WebServerStart, ABusyPortOrABadAddressIsSaid) {
  WebServer first, second, third;
  std::string error;
  ASSERT_TRUE(first.start("127.0.0.1", 0, web::new_token(), "{}", &error)) << error;
  EXPECT_FALSE(second.start("127.0.0.1", first.port(), web::new_token(), "{}", &error));
  EXPECT_NE(error.find("cannot listen on 127.0.0.1:" + std::to_string(first.port())), std::string::npos) << error;
  EXPECT_FALSE(third.start("localhost.invalid", 0, web::new_token(), "{}", &error));
  EXPECT_NE(error.find("not an IP address"), std::string::npos) << error;
  EXPECT_NE(first.url().find("http://127.0.0.1:" + std::to_string(first.port()) + "/?token="), std::string::npos);
}

}  // namespace
}  // namespace sim
