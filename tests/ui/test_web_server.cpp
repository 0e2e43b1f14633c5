// The web front end's server without a browser: the token on every request,
// who drives, what reaches the board, and the screen's flow control. The
// pages are Beast WebSocket clients on 127.0.0.1, every wait bounded.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

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

using Headers = std::vector<std::pair<std::string, std::string>>;

// `upgrade`: the request a browser opens a WebSocket with. `headers` replace
// the Host (127.0.0.1) or come in addition; an empty value removes one.
Reply get(int port, const std::string& target, bool upgrade = false, const Headers& headers = {}) {
  net::io_context ioc;
  beast::tcp_stream stream(ioc);
  stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)));
  http::request<http::empty_body> req(http::verb::get, target, 11);
  req.set(http::field::host, "127.0.0.1");
  for (const auto& [name, value] : headers) {
    if (value.empty()) req.erase(name);
    else req.set(name, value);
  }
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
  // `receive_buffer`: a small one makes a page that does not read fall
  // behind soon.
  bool connect(int port, const std::string& target, int receive_buffer = 0) {
    ws_.next_layer().open(tcp::v4());
    if (receive_buffer) ws_.next_layer().set_option(net::socket_base::receive_buffer_size(receive_buffer));
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
    start({});
  }
  // Tests of the limits start again with their own.
  void start(const WebServer::Limits& limits, const std::string& public_origin = "") {
    server_.emplace();
    server_->set_limits(limits);
    if (!public_origin.empty()) server_->set_public_origin(public_origin);
    std::string error;
    ASSERT_TRUE(server_->start("127.0.0.1", 0, token_, "{\"t\":\"hello\"}", &error)) << error;
    port_ = server_->port();
  }
  void TearDown() override {
    server_->stop("{\"t\":\"end\",\"why\":\"test\"}");
    server_.reset();
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
      server_->wait_for_input(deadline);
      for (auto& in : server_->take_inputs()) all.push_back(std::move(in));
    }
    return all;
  }
  std::string q() const { return "?token=" + token_; }

  const std::string token_ = web::new_token();
  std::optional<WebServer> server_;
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
  server_->publish_frame(frame);
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
  server_->publish_frame(frame.data());
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
  server_->publish_frame(frame.data());
  frame[9 * web::kScreenWidth] = 3;
  server_->publish_frame(frame.data());
  server_->publish_console("hello");
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
  server_->stop("{\"t\":\"end\",\"why\":\"over\"}");
  EXPECT_TRUE(a.read_text_with("\"why\":\"over\""));
}

// A raw connection: what a script (or an attacker) sends, byte for byte.
class Raw {
 public:
  explicit Raw(int port) : socket_(ioc_) {
    socket_.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)));
  }
  void send(const std::string& bytes) { net::write(socket_, net::buffer(bytes)); }
  // The status of the HTTP answer, 0 when none comes within kWait.
  int status() {
    std::string got;
    char chunk[4096];
    auto deadline = std::chrono::steady_clock::now() + kWait;
    socket_.non_blocking(true);
    while (got.find("\r\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      beast::error_code ec;
      size_t n = socket_.read_some(net::buffer(chunk), ec);
      if (ec == net::error::would_block) std::this_thread::sleep_for(5ms);
      else if (ec) break;
      else got.append(chunk, n);
    }
    return got.size() > 12 ? std::atoi(got.c_str() + 9) : 0;
  }
  // Whether board-sim has closed this connection.
  bool closed() {
    socket_.non_blocking(true);
    char c;
    beast::error_code ec;
    socket_.read_some(net::buffer(&c, 1), ec);
    return ec && ec != net::error::would_block;
  }

 private:
  net::io_context ioc_;
  tcp::socket socket_;
};

std::string upgrade_request(int port, const std::string& target) {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
         "Sec-WebSocket-Version: 13\r\n\r\n";
}

// A page's binary message as a browser frames it (masked).
std::string masked_frame(const std::string& payload) {
  std::string f = {'\x82', static_cast<char>(0x80 | payload.size())};
  const char mask[4] = {0x12, 0x34, 0x56, 0x78};
  f.append(mask, 4);
  for (size_t i = 0; i < payload.size(); ++i) f.push_back(static_cast<char>(payload[i] ^ mask[i % 4]));
  return f;
}

TEST_F(WebServerTest, APageThatFallsBehindIsClosedWhileAnotherWatchesAndTheServerGoesOn) {
  WebServer::Limits limits;
  limits.queued_bytes = 1024 * 1024;
  server_->stop("{}");
  start(limits);
  Client stuck, watcher;
  // The stuck page comes first: it is closed in the middle of the walk over
  // the pages that sends each of them the console.
  ASSERT_TRUE(stuck.connect(port_, "/ws" + q(), 4096));
  ASSERT_TRUE(watcher.connect(port_, "/ws" + q()));
  ASSERT_TRUE(watcher.read_text_with("\"role\":\"watcher\""));
  const std::string chunk(64 * 1024, 'x');
  bool closed = false;
  for (int i = 0; i < 600 && !closed; ++i) {
    server_->publish_console(chunk);
    ASSERT_TRUE(watcher.read_binary(web::Kind::kConsole)) << "after " << i << " chunks";
    closed = log().find("cannot keep up with the board; closing it") != std::string::npos;
  }
  ASSERT_TRUE(closed) << log();
  ASSERT_TRUE(watcher.read_text_with("\"role\":\"driver\""));
  server_->publish_console("still here");
  std::optional<std::string> m = watcher.read_binary(web::Kind::kConsole);
  ASSERT_TRUE(m);
  Client late;
  ASSERT_TRUE(late.connect(port_, "/ws" + q()));
  EXPECT_TRUE(late.read_text_with("\"role\":\"watcher\""));
}

TEST_F(WebServerTest, IdleConnectionsWithoutTheTokenCannotLockThePageOut) {
  WebServer::Limits limits;
  limits.anonymous = 8;
  limits.connections = 24;
  server_->stop("{}");
  start(limits);
  std::vector<std::unique_ptr<Raw>> idle;
  for (int i = 0; i < 300; ++i) idle.push_back(std::make_unique<Raw>(port_));
  EXPECT_EQ(get(port_, "/" + q()).status, 200);
  Client page;
  ASSERT_TRUE(page.connect(port_, "/ws" + q()));
  EXPECT_TRUE(page.read_text_with("\"role\":\"driver\""));
  // The oldest went as new ones came: a handful stay open.
  size_t open = 0;
  for (int tries = 0; tries < 100; ++tries) {
    open = 0;
    for (auto& c : idle) open += c->closed() ? 0 : 1;
    if (open <= limits.anonymous) break;
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_LE(open, limits.anonymous);
}

TEST_F(WebServerTest, AFailingAcceptWaitsBeforeItTriesAgainAndIsSaidOnce) {
  net::io_context ioc;
  tcp::socket client(ioc);
  client.open(tcp::v4());
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> spent;
  for (int fd; (fd = dup(0)) >= 0;) spent.push_back(fd);
  // The kernel completes the connection; board-sim has no descriptor for it.
  client.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port_)));
  std::string request = "GET /" + q() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  net::write(client, net::buffer(request));
  std::this_thread::sleep_for(700ms);
  for (int fd : spent) ::close(fd);
  setrlimit(RLIMIT_NOFILE, &saved);
  std::string notes = log();
  size_t said = 0;
  for (size_t at = notes.find("cannot accept"); at != std::string::npos; at = notes.find("cannot accept", at + 1))
    ++said;
  EXPECT_EQ(said, 1u) << notes;
  // Then the connection waiting is served.
  std::string answer;
  char chunk[4096];
  beast::error_code ec;
  client.non_blocking(true);
  auto deadline = std::chrono::steady_clock::now() + kWait;
  while (answer.size() < 12 && std::chrono::steady_clock::now() < deadline) {
    size_t n = client.read_some(net::buffer(chunk), ec);
    if (ec == net::error::would_block) std::this_thread::sleep_for(5ms);
    else if (ec) break;
    else answer.append(chunk, n);
  }
  EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 200") << answer.substr(0, 100);
  EXPECT_NE(log().find("accepts connections again"), std::string::npos) << log();
}

TEST_F(WebServerTest, OnlyOurOwnPagesAndNamesAreServed) {
  server_->stop("{}");
  start({}, "https://lab.example.org");
  const std::string self = "127.0.0.1:" + std::to_string(port_);
  struct Case {
    Headers headers;
    bool upgrade;
    int status;
  } cases[] = {
      {{{"Host", self}}, false, 200},
      {{{"Host", "localhost:" + std::to_string(port_)}}, false, 200},
      {{{"Host", "[::1]:9000"}}, false, 200},  // an ssh tunnel's other port
      {{{"Host", "LAB.example.org"}}, false, 200},
      {{{"Host", "evil.example"}}, false, 403},  // DNS rebinding
      {{{"Host", "evil.example:" + std::to_string(port_)}}, false, 403},
      {{{"Host", "localhost.evil.example"}}, false, 403},
      {{{"Host", ""}}, false, 403},
      {{{"Host", self}}, true, 101},  // no Origin: no browser
      {{{"Host", self}, {"Origin", "http://" + self}}, true, 101},
      {{{"Host", self}, {"Origin", "https://lab.example.org"}}, true, 101},
      {{{"Host", self}, {"Origin", "http://127.0.0.1:8000"}}, true, 403},  // another local server's page
      {{{"Host", self}, {"Origin", "http://localhost:" + std::to_string(port_)}}, true, 403},
      {{{"Host", self}, {"Origin", "null"}}, true, 403},
      {{{"Host", "evil.example:" + std::to_string(port_)}, {"Origin", "http://evil.example:" + std::to_string(port_)}},
       true, 403},
  };
  for (const Case& c : cases) {
    Reply r = get(port_, (c.upgrade ? "/ws" : "/") + q(), c.upgrade, c.headers);
    std::string what;
    for (const auto& [name, value] : c.headers) what += name + ": " + value + "  ";
    EXPECT_EQ(r.status, c.status) << what << (c.upgrade ? "(upgrade)" : "");
    if (r.status == 403) {
      EXPECT_EQ(r.body, "") << what;
    }
  }
  std::string notes = log();
  EXPECT_NE(notes.find("refused a request for the host 'evil.example'"), std::string::npos) << notes;
  EXPECT_NE(notes.find("refused a WebSocket from a page of 'http://127.0.0.1:8000'"), std::string::npos) << notes;
}

TEST_F(WebServerTest, AReloadKeyLoadsThePageOnceAndNothingElse) {
  Reply page = get(port_, "/" + q());
  ASSERT_EQ(page.status, 200);
  const std::string tag = "name=\"board-sim-reload\" content=\"";
  size_t at = page.body.find(tag);
  ASSERT_NE(at, std::string::npos);
  std::string key = page.body.substr(at + tag.size(), 32);
  EXPECT_EQ(get(port_, "/app.js?reload=" + key).status, 403);
  EXPECT_EQ(get(port_, "/ws?reload=" + key, true).status, 403);
  Reply again = get(port_, "/?reload=" + key);
  EXPECT_EQ(again.status, 200);
  EXPECT_NE(again.body.find("content=\"" + token_ + "\""), std::string::npos);
  EXPECT_EQ(get(port_, "/?reload=" + key).status, 403) << "a reload key serves once";
}

TEST_F(WebServerTest, ThePageLimitCountsHandshakesInProgress) {
  WebServer::Limits limits;
  limits.pages = 4;
  server_->stop("{}");
  start(limits);
  std::vector<std::unique_ptr<Raw>> upgrades;
  for (int i = 0; i < 12; ++i) upgrades.push_back(std::make_unique<Raw>(port_));
  for (auto& u : upgrades) u->send(upgrade_request(port_, "/ws" + q()));
  int in = 0, refused = 0;
  for (auto& u : upgrades) {
    int status = u->status();
    in += status == 101;
    refused += status == 503;
  }
  EXPECT_EQ(in, 4);
  EXPECT_EQ(refused, 8);
}

TEST_F(WebServerTest, ASilentDriverHandsTheDriveOn) {
  WebServer::Limits limits;
  limits.silence = 600ms;
  server_->stop("{}");
  start(limits);
  Client silent, next;
  ASSERT_TRUE(silent.connect(port_, "/ws" + q()));
  ASSERT_TRUE(silent.read_text_with("\"role\":\"driver\""));
  ASSERT_TRUE(next.connect(port_, "/ws" + q()));
  ASSERT_TRUE(next.read_text_with("\"role\":\"watcher\""));
  // `silent` reads no more, so it answers no ping; `next` does.
  ASSERT_TRUE(next.read_text_with("\"role\":\"driver\"")) << log();
  EXPECT_NE(log().find("answered nothing for"), std::string::npos) << log();
  std::vector<web::PageInput> in = inputs(1);
  ASSERT_EQ(in.size(), 1u);
  EXPECT_EQ(in[0].op, web::Op::kReleaseAll);
}

TEST_F(WebServerTest, FramesRightBehindTheUpgradeReachTheBoard) {
  Raw page(port_);
  page.send(upgrade_request(port_, "/ws" + q()) + masked_frame(web::encode_page_message({web::Op::kKeyDown, 5, {}})) +
            masked_frame(web::encode_page_message({web::Op::kUart, 0, "Ana\r"})));
  EXPECT_EQ(page.status(), 101);
  std::vector<web::PageInput> in = inputs(2);
  ASSERT_EQ(in.size(), 2u);
  EXPECT_EQ(in[0].op, web::Op::kKeyDown);
  EXPECT_EQ(in[0].code, 5);
  EXPECT_EQ(in[1].bytes, "Ana\r");
}

TEST_F(WebServerTest, ADriverThatSendsFasterThanTheBoardTakesIsToldAndBounded) {
  WebServer::Limits limits;
  limits.inputs = 8;
  server_->stop("{}");
  start(limits);
  Client a;
  ASSERT_TRUE(a.connect(port_, "/ws" + q()));
  ASSERT_TRUE(a.read_text_with("\"role\":\"driver\""));
  for (int i = 0; i < 100; ++i) a.send({web::Op::kKeyDown, i % 16, {}});
  ASSERT_TRUE(a.read_text_with("behind on your input"));
  std::this_thread::sleep_for(300ms);  // the rest of the 100 reach the server, and are dropped
  std::vector<web::PageInput> in = server_->take_inputs();
  EXPECT_EQ(in.size(), 8u);
  a.send({web::Op::kKeyUp, 3, {}});
  in = inputs(1);
  ASSERT_EQ(in.size(), 1u);
  EXPECT_EQ(in[0].op, web::Op::kKeyUp);
  std::string notes = log();
  EXPECT_EQ(notes.find("meanwhile is dropped"), notes.rfind("meanwhile is dropped")) << "said once on stderr";
}

TEST_F(WebServerTest, TheBoardsNotesReachTheDrivingPage) {
  Client a;
  ASSERT_TRUE(a.connect(port_, "/ws" + q()));
  ASSERT_TRUE(a.read_text_with("\"role\":\"driver\""));
  server_->publish_note("console: 12 bytes dropped");
  EXPECT_TRUE(a.read_text_with("console: 12 bytes dropped"));
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
