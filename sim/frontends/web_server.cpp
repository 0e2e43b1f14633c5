#include "frontends/web_server.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/core/buffered_read_stream.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <thread>

#include "core/log.h"

namespace sim {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Message = std::shared_ptr<const std::string>;

constexpr size_t kMaxHeaderBytes = 8 * 1024;
// Larger messages end the connection; smaller ones that are still too long
// for any page message are dropped with a note (web_protocol.h).
constexpr size_t kMaxReadMessage = 64 * 1024;
// A page this far behind on its sends stops getting sound (past
// Limits::queued_bytes it is closed).
constexpr size_t kAudioBehind = 256 * 1024;
constexpr size_t kMaxPendingAudio = 256;  // messages waiting for the network thread
constexpr size_t kConsoleHistory = 64 * 1024;
// What the board printed that the network thread has not taken yet: past
// this, the oldest goes (a page that connects later gets kConsoleHistory).
constexpr size_t kMaxPendingConsole = 1024 * 1024;
constexpr size_t kMaxNoteBytes = 1024;
// Reload keys handed out and not used yet: the oldest go first.
constexpr size_t kMaxReloadKeys = 16;
constexpr int kMaxNotesPerPage = 5;
constexpr auto kRequestTimeout = std::chrono::seconds(20);
constexpr auto kHandshakeTimeout = std::chrono::seconds(10);
// accept() failing (out of descriptors): the first retry, and the longest
// wait between two.
constexpr auto kAcceptRetryFirst = std::chrono::milliseconds(50);
constexpr auto kAcceptRetryMost = std::chrono::seconds(1);
constexpr auto kStopGrace = std::chrono::milliseconds(500);

constexpr size_t kFrameBytes = web::kScreenWidth * web::kScreenHeight;

Message make_message(std::string text) { return std::make_shared<const std::string>(std::move(text)); }

std::string content_type(std::string_view name) {
  auto ends = [&](std::string_view ext) {
    return name.size() >= ext.size() && name.substr(name.size() - ext.size()) == ext;
  };
  if (ends(".html")) return "text/html; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  if (ends(".js")) return "text/javascript; charset=utf-8";
  if (ends(".png")) return "image/png";
  if (ends(".svg")) return "image/svg+xml";
  return "application/octet-stream";
}

const WebAsset* find_asset(std::string_view path) {
  if (path.empty() || path[0] != '/') return nullptr;
  std::string_view name = path == "/" ? std::string_view("index.html") : path.substr(1);
  for (size_t i = 0; i < kWebAssetCount; ++i)
    if (name == kWebAssets[i].name) return &kWebAssets[i];
  return nullptr;
}

std::string endpoint_text(const tcp::endpoint& e) {
  std::string address = e.address().to_string();
  if (e.address().is_v6()) address = "[" + address + "]";
  return address + ":" + std::to_string(e.port());
}

}  // namespace
}  // namespace sim

// A page's WebSocket reads through a buffer that starts with whatever the
// browser sent right behind its upgrade request; closing it closes the TCP
// stream beneath.
namespace boost::beast {
template <class Stream, class Buffer>
void teardown(role_type role, buffered_read_stream<Stream, Buffer>& s, error_code& ec) {
  using websocket::teardown;
  teardown(role, s.next_layer(), ec);
}
template <class Stream, class Buffer, class Handler>
void async_teardown(role_type role, buffered_read_stream<Stream, Buffer>& s, Handler&& handler) {
  using websocket::async_teardown;
  async_teardown(role, s.next_layer(), std::forward<Handler>(handler));
}
}  // namespace boost::beast

namespace sim {

namespace {
using PageStream = beast::buffered_read_stream<beast::tcp_stream, beast::flat_buffer>;
}  // namespace

class Page;
class HttpSession;

// The HTTP connections not (yet) upgraded to a page, oldest first; each
// entry goes with its session. Outlives the io_context, whose destruction
// may end the last sessions.
struct SessionList {
  std::list<HttpSession*> sessions;
};

class WebServer::Impl {
 public:
  SessionList http;
  // Declared (nearly) first so that it goes last: sockets must not outlive it.
  net::io_context ioc{1};
  tcp::acceptor acceptor{ioc};
  std::optional<net::steady_timer> stop_timer;
  net::steady_timer accept_timer{ioc};
  std::thread thread;
  std::string token, hello, url;
  int port = 0;
  Limits limits;
  size_t max_connections = 0;  // limits.connections, and the descriptors
  web::Audience audience;

  // Board side -> network side.
  std::mutex mu;
  std::vector<uint8_t> published_frame;
  uint64_t published_frame_seq = 0;
  std::string published_state;
  uint64_t published_state_seq = 0;
  std::string published_console;
  bool console_cut = false;
  std::string published_note;
  std::vector<Message> published_audio;
  std::atomic<bool> flush_posted{false};
  std::atomic<bool> stopped{false};
  // Network side -> board side.
  std::deque<web::PageInput> inputs;
  std::condition_variable input_ready;
  std::atomic<int> sound_pages{0};

  // Network thread only.
  bool stopping = false;
  std::vector<uint8_t> frame;
  uint64_t frame_seq = 0;
  Message state;
  uint64_t state_seq = 0;
  std::string console_history;
  std::list<std::shared_ptr<Page>> pages;  // in the order they connected
  Page* driver = nullptr;
  int next_page = 1;
  size_t handshakes = 0;  // upgrades accepted, WebSocket not open yet
  bool reap_posted = false;
  bool accept_failing = false;
  std::chrono::milliseconds accept_retry = kAcceptRetryFirst;
  size_t inputs_dropped = 0;  // since the board last took its inputs (under mu)
  bool told_host = false, told_origin = false, told_full = false;
  std::deque<std::string> reload_keys;

  void accept();
  void on_accept(beast::error_code ec, tcp::socket socket);
  size_t connections() const;
  // Makes room for one more connection: the oldest connection that has not
  // shown the token goes, else the oldest idle one. False when none can go.
  bool make_room(const HttpSession* keep, bool anonymous_only);
  std::string new_reload_key();
  bool take_reload_key(std::string_view key);
  void reap();
  void post_flush();
  void flush();
  void send_frame(Page& page);
  void page_open(const std::shared_ptr<Page>& page);
  void page_gone(Page* page);
  void handshake_done() { --handshakes; }
  void page_input(Page& page, web::PageInput input);
  void send_role(Page& page);
  void push_input(web::PageInput input);
};

// One open page: its WebSocket, what it has been sent, and its send queue
// (Beast allows one write at a time).
class Page : public std::enable_shared_from_this<Page> {
 public:
  // `early`: what the browser sent behind its upgrade request (its first
  // frames), read before the WebSocket's own reads.
  Page(tcp::socket socket, net::const_buffer early, WebServer::Impl& server, int id)
      : ws_(std::move(socket)), server_(server), id_(id) {
    beast::error_code ec;
    auto remote = beast::get_lowest_layer(ws_).socket().remote_endpoint(ec);
    peer_ = ec ? std::string("?") : endpoint_text(remote);
    auto& buffer = ws_.next_layer().buffer();
    buffer.commit(net::buffer_copy(buffer.prepare(early.size()), early));
    ws_.next_layer().capacity(0);  // then straight from the socket
  }

  int id() const { return id_; }
  bool open() const { return open_; }

  void start(http::request<http::empty_body> request) {
    beast::get_lowest_layer(ws_).expires_never();
    websocket::stream_base::timeout timeouts;
    timeouts.handshake_timeout = kHandshakeTimeout;
    timeouts.idle_timeout = server_.limits.silence;
    timeouts.keep_alive_pings = true;
    ws_.set_option(timeouts);
    ws_.set_option(websocket::stream_base::decorator(
        [](websocket::response_type& res) { res.set(http::field::server, "board-sim"); }));
    ws_.read_message_max(kMaxReadMessage);
    ws_.async_accept(request, [self = shared_from_this()](beast::error_code ec) {
      self->server_.handshake_done();
      if (ec) return;
      self->open_ = true;
      self->server_.page_open(self);
      self->read();
    });
  }

  void send(const Message& message, bool text) {
    if (!open_ || closing_) return;
    if (queued_ + message->size() > server_.limits.queued_bytes) {
      note("cannot keep up with the board; closing it");
      close_now();
      return;
    }
    queued_ += message->size();
    queue_.push_back({message, text});
    if (!writing_) write_next();
  }
  size_t queued() const { return queued_; }

  // Sends what is queued, then closes.
  void finish(const Message& last) {
    send(last, true);
    closing_ = true;
    if (!writing_) close_gracefully();
  }

  void note(const std::string& what) { log_warning("web", "page " + std::to_string(id_) + " (" + peer_ + "): " + what); }

  // What the network side keeps for the page.
  std::vector<uint8_t> frame;  // what it has been sent
  bool has_frame = false;
  uint64_t frame_seq = 0;
  bool frame_in_flight = false;
  uint64_t state_seq = 0;
  bool sound = false;
  bool told_ignored = false;
  bool told_slow_input = false;

 private:
  struct Out {
    Message data;
    bool text;
  };

  void read() {
    ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, size_t) { self->on_read(ec); });
  }

  void on_read(beast::error_code ec) {
    if (ec) {
      if (ec == websocket::error::message_too_big)
        note("sent a message over " + std::to_string(kMaxReadMessage / 1024) + " KB; closing it");
      else if (ec == beast::error::timeout && open_)
        note("answered nothing for " + std::to_string(server_.limits.silence.count() / 1000) + " s; closing it");
      gone();
      return;
    }
    if (!ws_.got_binary()) {
      bad("a text message (pages send binary messages)");
    } else {
      auto data = buffer_.cdata();
      web::PageInput input;
      std::string why;
      if (web::decode_page_message(static_cast<const uint8_t*>(data.data()), data.size(), &input, &why))
        server_.page_input(*this, std::move(input));
      else
        bad(why);
    }
    buffer_.consume(buffer_.size());
    if (open_) read();
  }

  void bad(const std::string& why) {
    ++bad_messages_;
    if (bad_messages_ <= kMaxNotesPerPage) note("dropped " + why);
    if (bad_messages_ == kMaxNotesPerPage) note("drops its further bad messages without a note");
  }

  void write_next() {
    if (queue_.empty()) {
      writing_ = false;
      if (closing_) close_gracefully();
      return;
    }
    writing_ = true;
    ws_.text(queue_.front().text);
    ws_.async_write(net::buffer(*queue_.front().data), [self = shared_from_this()](beast::error_code ec, size_t) {
      if (ec) {
        self->gone();
        return;
      }
      self->queued_ -= self->queue_.front().data->size();
      self->queue_.pop_front();
      self->write_next();
    });
  }

  void close_gracefully() {
    if (close_sent_ || !open_) return;
    close_sent_ = true;
    ws_.async_close(websocket::close_code::going_away, [self = shared_from_this()](beast::error_code) { self->gone(); });
  }

  void close_now() {
    beast::error_code ec;
    beast::get_lowest_layer(ws_).socket().shutdown(tcp::socket::shutdown_both, ec);
    gone();
  }

  void gone() {
    if (!open_) return;
    open_ = false;
    server_.page_gone(this);
  }

  websocket::stream<PageStream> ws_;
  WebServer::Impl& server_;
  int id_;
  std::string peer_;
  beast::flat_buffer buffer_;
  std::deque<Out> queue_;
  size_t queued_ = 0;
  bool writing_ = false;
  bool open_ = false;
  bool closing_ = false;
  bool close_sent_ = false;
  int bad_messages_ = 0;
};

// One HTTP connection: requests for the page's files, /screen, and the
// upgrade to a page's WebSocket. The token is checked before anything else.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(tcp::socket socket, WebServer::Impl& server) : stream_(std::move(socket)), server_(server) {
    server_.http.sessions.push_back(this);
    entry_ = std::prev(server_.http.sessions.end());
  }
  ~HttpSession() { server_.http.sessions.erase(entry_); }

  void read() {
    parser_.emplace();
    parser_->header_limit(kMaxHeaderBytes);
    busy_ = false;
    stream_.expires_after(kRequestTimeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, size_t) { self->on_read(ec); });
  }

  bool anonymous() const { return anonymous_; }
  // Between two requests (or before the first): nothing lost by closing.
  bool idle() const { return !busy_ && !closed_; }
  bool closed() const { return closed_; }

  void close() {
    if (closed_) return;
    closed_ = true;
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
    stream_.socket().close(ec);
  }

 private:
  void on_read(beast::error_code ec) {
    busy_ = true;
    if (closed_) return;
    if (ec == http::error::header_limit) return respond(http::status::request_header_fields_too_large, {}, "", false);
    if (ec == http::error::unexpected_body) return respond(http::status::bad_request, {}, "", false);
    if (ec) return close();
    http::request<http::empty_body> request = parser_->release();
    std::string_view host(request[http::field::host].data(), request[http::field::host].size());
    if (!web::host_allowed(host, server_.audience)) {
      if (!server_.told_host)
        log_warning("web", "refused a request for the host '" + std::string(host.substr(0, 100)) +
                               "' (behind a tunnel or a proxy, --web-origin names the page's address)");
      server_.told_host = true;
      return respond(http::status::forbidden, {}, "", false);
    }
    std::string_view target(request.target().data(), request.target().size());
    std::string_view path = web::target_path(target);
    std::string_view given;
    bool token = web::query_param(target, "token", &given) && web::token_matches(given, server_.token);
    // The page alone may also come with a reload key, once.
    bool reload = !token && !websocket::is_upgrade(request) && (path == "/" || path == "/index.html") &&
                  web::query_param(target, "reload", &given) && server_.take_reload_key(given);
    if (!token && !reload) return respond(http::status::forbidden, {}, "", false);
    anonymous_ = false;
    if (websocket::is_upgrade(request)) {
      auto origin = request.find(http::field::origin);
      bool has_origin = origin != request.end();
      std::string_view origin_text = has_origin ? std::string_view(origin->value().data(), origin->value().size())
                                                : std::string_view();
      if (!web::origin_allowed(origin_text, has_origin, host, server_.audience)) {
        if (!server_.told_origin)
          log_warning("web", "refused a WebSocket from a page of '" + std::string(origin_text.substr(0, 100)) +
                                 "' (only board-sim's own page may drive the board; behind a proxy, "
                                 "--web-origin names the page's address)");
        server_.told_origin = true;
        return respond(http::status::forbidden, {}, "", false);
      }
      if (path != "/ws") return respond(http::status::not_found, {}, "", false);
      size_t pages = server_.handshakes;
      for (const auto& p : server_.pages) pages += p->open() ? 1 : 0;
      if (server_.stopping || pages >= server_.limits.pages) {
        if (!server_.stopping && !server_.told_full)
          log_warning("web", "refused a page: " + std::to_string(server_.limits.pages) + " pages are open");
        server_.told_full = true;
        return respond(http::status::service_unavailable, {}, "", false);
      }
      // What came behind the request is the page's first frames.
      auto early = buffer_.cdata();
      ++server_.handshakes;
      auto page = std::make_shared<Page>(stream_.release_socket(), early, server_, server_.next_page++);
      closed_ = true;
      page->start(std::move(request));
      return;
    }
    bool keep = request.keep_alive();
    if (request.method() != http::verb::get) return respond(http::status::method_not_allowed, {}, "", keep);
    if (path == "/screen") {
      std::string body(kFrameBytes, '\0');
      if (server_.frame.size() == kFrameBytes) body.assign(server_.frame.begin(), server_.frame.end());
      return respond(http::status::ok, std::move(body), "application/octet-stream", keep);
    }
    const WebAsset* asset = find_asset(path);
    if (!asset) return respond(http::status::not_found, {}, "", keep);
    std::string body(reinterpret_cast<const char*>(asset->data), asset->size);
    if (std::string_view(asset->name) == "index.html") {
      // The page's own requests carry the token too, and its next load a
      // reload key of its own.
      auto fill = [&body](const std::string& placeholder, const std::string& value) {
        for (size_t at = body.find(placeholder); at != std::string::npos; at = body.find(placeholder, at))
          body.replace(at, placeholder.size(), value);
      };
      fill("__TOKEN__", server_.token);
      fill("__RELOAD__", server_.new_reload_key());
    }
    respond(http::status::ok, std::move(body), content_type(asset->name), keep);
  }

  void respond(http::status status, std::string body, const std::string& type, bool keep_alive) {
    auto res = std::make_shared<http::response<http::string_body>>(status, 11);
    res->set(http::field::server, "board-sim");
    res->set(http::field::cache_control, "no-store");
    if (status == http::status::ok) {
      res->set(http::field::content_type, type);
      res->set("X-Content-Type-Options", "nosniff");
      res->set("Referrer-Policy", "no-referrer");
      res->set("Content-Security-Policy",
               "default-src 'self'; img-src 'self' data: blob:; connect-src 'self'; base-uri 'none'; "
               "form-action 'none'; frame-ancestors 'none'");
    }
    res->keep_alive(keep_alive);
    res->body() = std::move(body);
    res->prepare_payload();
    http::async_write(stream_, *res, [self = shared_from_this(), res](beast::error_code ec, size_t) {
      if (ec || !res->keep_alive()) self->finish();
      else self->read();
    });
  }

  // The answer is out: no more requests on this connection.
  void finish() {
    if (closed_) return;
    busy_ = false;
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
    // Whatever the client still sends is read and dropped until it closes
    // (or the time-out), so that the answer is not lost to a reset.
    stream_.expires_after(std::chrono::seconds(2));
    drain_.resize(512);
    drain();
  }

  void drain() {
    stream_.async_read_some(net::buffer(drain_), [self = shared_from_this()](beast::error_code ec, size_t) {
      if (ec || self->closed_) return self->close();
      self->drain();
    });
  }

  beast::tcp_stream stream_;
  WebServer::Impl& server_;
  std::list<HttpSession*>::iterator entry_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::empty_body>> parser_;
  std::string drain_;
  bool anonymous_ = true;
  bool busy_ = false;
  bool closed_ = false;
};

void WebServer::Impl::accept() {
  acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) { on_accept(ec, std::move(socket)); });
}

void WebServer::Impl::on_accept(beast::error_code ec, tcp::socket socket) {
  if (stopping || ec == net::error::operation_aborted) return;
  if (ec) {
    // Out of descriptors, or memory: said once, and tried again after a
    // wait that grows, never at once (that would spin).
    if (!accept_failing)
      log_warning("web", "cannot accept connections: " + ec.message() + "; trying again (said once)");
    accept_failing = true;
    if (ec == net::error::no_descriptors) make_room(nullptr, false);
    accept_timer.expires_after(accept_retry);
    accept_retry = std::min<std::chrono::milliseconds>(accept_retry * 2, kAcceptRetryMost);
    accept_timer.async_wait([this](beast::error_code e) {
      if (!e && !stopping) accept();
    });
    return;
  }
  if (accept_failing) log_warning("web", "accepts connections again");
  accept_failing = false;
  accept_retry = kAcceptRetryFirst;
  auto session = std::make_shared<HttpSession>(std::move(socket), *this);
  size_t anonymous = 0;
  for (const HttpSession* s : http.sessions) anonymous += s->anonymous() && !s->closed() ? 1 : 0;
  bool room = true;
  if (anonymous > limits.anonymous) room = make_room(session.get(), true);
  if (room && connections() > max_connections) room = make_room(session.get(), false);
  if (room) session->read();
  else session->close();
  accept();
}

size_t WebServer::Impl::connections() const {
  size_t n = handshakes;
  for (const HttpSession* s : http.sessions) n += s->closed() ? 0 : 1;
  for (const auto& p : pages) n += p->open() ? 1 : 0;
  return n;
}

bool WebServer::Impl::make_room(const HttpSession* keep, bool anonymous_only) {
  HttpSession* victim = nullptr;
  for (HttpSession* s : http.sessions)
    if (s != keep && !s->closed() && s->anonymous() && s->idle()) {
      victim = s;
      break;
    }
  if (!victim && !anonymous_only)
    for (HttpSession* s : http.sessions)
      if (s != keep && s->idle()) {
        victim = s;
        break;
      }
  if (!victim) return false;
  victim->close();
  return true;
}

std::string WebServer::Impl::new_reload_key() {
  if (reload_keys.size() >= kMaxReloadKeys) reload_keys.pop_front();
  reload_keys.push_back(web::new_token());
  return reload_keys.back();
}

bool WebServer::Impl::take_reload_key(std::string_view key) {
  for (auto it = reload_keys.begin(); it != reload_keys.end(); ++it)
    if (web::token_matches(key, *it)) {
      reload_keys.erase(it);
      return true;
    }
  return false;
}

void WebServer::Impl::post_flush() {
  if (!flush_posted.exchange(true)) net::post(ioc, [this] { flush(); });
}

void WebServer::Impl::flush() {
  flush_posted = false;
  std::string console, note;
  bool console_cut = false;
  std::vector<Message> audio;
  Message new_state;
  {
    std::lock_guard<std::mutex> lock(mu);
    if (published_frame_seq != frame_seq) {
      frame = published_frame;
      frame_seq = published_frame_seq;
    }
    if (published_state_seq != state_seq) {
      new_state = make_message(published_state);
      state_seq = published_state_seq;
    }
    console.swap(published_console);
    std::swap(console_cut, this->console_cut);
    note.swap(published_note);
    audio.swap(published_audio);
  }
  if (stopping) return;
  if (console_cut) log_warning("web", "the pages fell behind the console; its oldest bytes were dropped");
  if (new_state) state = new_state;
  if (!console.empty()) {
    console_history += console;
    if (console_history.size() > kConsoleHistory)
      console_history.erase(0, console_history.size() - kConsoleHistory);
  }
  Message console_message = console.empty() ? nullptr : make_message(web::encode_console(console));
  for (const auto& page : pages) {
    if (!page->open()) continue;
    if (console_message) page->send(console_message, false);
    if (page->sound)
      for (const Message& m : audio)
        if (page->queued() < kAudioBehind) page->send(m, false);
    if (state && page->state_seq != state_seq) {
      page->send(state, true);
      page->state_seq = state_seq;
    }
    send_frame(*page);
  }
  if (!note.empty() && driver && driver->open())
    driver->send(make_message("{\"t\":\"note\",\"text\":" + web::json_string(note) + "}"), true);
}

void WebServer::Impl::send_frame(Page& page) {
  if (!page.open() || page.frame_in_flight || frame_seq == 0 || page.frame_seq == frame_seq) return;
  std::string m = web::encode_screen(page.has_frame ? page.frame.data() : nullptr, frame.data());
  page.frame = frame;
  page.has_frame = true;
  page.frame_seq = frame_seq;
  if (m.empty()) return;
  page.frame_in_flight = true;
  page.send(make_message(std::move(m)), false);
}

void WebServer::Impl::send_role(Page& page) {
  std::string json = std::string("{\"t\":\"role\",\"role\":\"") + (driver == &page ? "driver" : "watcher") +
                     "\",\"page\":" + std::to_string(page.id()) + "}";
  page.send(make_message(json), true);
}

void WebServer::Impl::page_open(const std::shared_ptr<Page>& page) {
  if (stopping) {
    page->finish(make_message("{\"t\":\"end\",\"why\":\"board-sim is ending\"}"));
    return;
  }
  pages.push_back(page);
  if (!driver) driver = page.get();
  page->send(make_message(hello), true);
  send_role(*page);
  if (!console_history.empty()) page->send(make_message(web::encode_console(console_history)), false);
  if (state) {
    page->send(state, true);
    page->state_seq = state_seq;
  }
  send_frame(*page);
}

// The page is closed (open() is false from now on); it leaves the list in
// reap(), posted, so that no loop over the pages sees its entry go.
void WebServer::Impl::page_gone(Page* page) {
  if (page->sound) --sound_pages;
  page->sound = false;
  if (reap_posted) return;
  reap_posted = true;
  net::post(ioc, [this] { reap(); });
}

void WebServer::Impl::reap() {
  reap_posted = false;
  std::vector<std::shared_ptr<Page>> gone;  // freed after the walk
  for (auto it = pages.begin(); it != pages.end();) {
    if ((*it)->open()) {
      ++it;
      continue;
    }
    gone.push_back(*it);
    it = pages.erase(it);
  }
  if (stopping && pages.empty()) ioc.stop();
  bool driver_gone = false;
  for (const auto& p : gone) driver_gone |= p.get() == driver;
  if (!driver_gone) return;
  driver = nullptr;
  // Whatever the driver held is let go; the page open longest drives next.
  push_input({web::Op::kReleaseAll, 0, {}});
  if (!pages.empty()) driver = pages.front().get();
  if (driver && !stopping) {
    send_role(*driver);
    driver->note("drives the board now");
  }
}

void WebServer::Impl::page_input(Page& page, web::PageInput input) {
  switch (input.op) {
    case web::Op::kFrameAck:
      page.frame_in_flight = false;
      send_frame(page);
      return;
    case web::Op::kSound:
      if (page.sound != (input.code != 0)) sound_pages += input.code ? 1 : -1;
      page.sound = input.code != 0;
      return;
    default: break;
  }
  if (&page != driver) {
    if (!page.told_ignored)
      page.send(make_message("{\"t\":\"note\",\"text\":\"another page drives the board: your input is ignored\"}"),
                true);
    page.told_ignored = true;
    return;
  }
  push_input(std::move(input));
}

void WebServer::Impl::push_input(web::PageInput input) {
  bool dropped = false, first = false;
  {
    std::lock_guard<std::mutex> lock(mu);
    // Letting go is never dropped: a key must not stay held.
    if (inputs.size() < limits.inputs || input.op == web::Op::kReleaseAll) {
      inputs.push_back(std::move(input));
    } else {
      dropped = true;
      first = inputs_dropped++ == 0;
    }
  }
  if (!dropped) {
    input_ready.notify_all();
    return;
  }
  // The page is told each time the board falls behind (take_inputs starts
  // afresh), stderr once.
  if (first && driver && driver->open()) {
    if (!driver->told_slow_input)
      driver->note("sends faster than the board takes it; what it sends meanwhile is dropped (said once)");
    driver->told_slow_input = true;
    driver->send(make_message("{\"t\":\"note\",\"text\":\"board-sim is behind on your input: "
                              "what you sent meanwhile was dropped\"}"),
                 true);
  }
}

WebServer::WebServer() : impl_(std::make_unique<Impl>()) {}

WebServer::~WebServer() {
  stop("{\"t\":\"end\",\"why\":\"board-sim has ended\"}");
  impl_->pages.clear();
}

bool WebServer::start(const std::string& bind, int port, const std::string& token, const std::string& hello,
                      std::string* error) {
  Impl& s = *impl_;
  beast::error_code ec;
  net::ip::address address = net::ip::make_address(bind, ec);
  if (ec) {
    *error = "'" + bind + "' is not an IP address (e.g. 127.0.0.1, 0.0.0.0, ::1)";
    return false;
  }
  tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
  s.acceptor.open(endpoint.protocol(), ec);
  if (!ec) s.acceptor.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) s.acceptor.bind(endpoint, ec);
  if (!ec) s.acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (ec) {
    *error = "cannot listen on " + endpoint_text(endpoint) + ": " + ec.message() +
             (port ? " (--web-port N takes another port, 0 any free one)" : "");
    return false;
  }
  s.port = s.acceptor.local_endpoint().port();
  s.token = token;
  s.hello = hello;
  std::string host;
  if (address.is_unspecified()) {
    // Every address of this machine: name it as the others would.
    char name[256] = "";
    host = gethostname(name, sizeof name) == 0 && name[0] ? name : "localhost";
  } else {
    host = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
  }
  s.audience.names = {host};
  s.url = (s.audience.public_origin.empty() ? "http://" + host + ":" + std::to_string(s.port)
                                            : s.audience.public_origin) +
          "/?token=" + token;
  // Half the descriptors at most, the rest for the board's files and the
  // listener; the connections' own cap below that.
  rlimit files{};
  s.max_connections = s.limits.connections;
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
    s.max_connections = std::max<size_t>(2, std::min<size_t>(s.max_connections, files.rlim_cur / 2));
  s.accept();

  // SIGINT and SIGTERM stay with the board's thread.
  sigset_t block, saved;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &block, &saved);
  s.thread = std::thread([&s] {
    for (;;) {
      try {
        s.ioc.run();
        return;
      } catch (const std::exception& e) {
        log_warning("web", std::string("network thread: ") + e.what());
      }
    }
  });
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  return true;
}

std::string WebServer::url() const { return impl_->url; }
int WebServer::port() const { return impl_->port; }

void WebServer::publish_frame(const uint8_t* levels) {
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->published_frame.assign(levels, levels + kFrameBytes);
    ++impl_->published_frame_seq;
  }
  impl_->post_flush();
}

void WebServer::publish_state(const std::string& json) {
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->published_state = json;
    ++impl_->published_state_seq;
  }
  impl_->post_flush();
}

void WebServer::publish_console(std::string_view bytes) {
  if (bytes.empty()) return;
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::string& c = impl_->published_console;
    c.append(bytes);
    if (c.size() > kMaxPendingConsole) {
      c.erase(0, c.size() - kMaxPendingConsole);
      impl_->console_cut = true;
    }
  }
  impl_->post_flush();
}

void WebServer::publish_note(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->published_note = text.substr(0, kMaxNoteBytes);
  }
  impl_->post_flush();
}

void WebServer::set_limits(const Limits& limits) { impl_->limits = limits; }

void WebServer::set_public_origin(const std::string& origin) { impl_->audience.public_origin = origin; }

void WebServer::publish_audio(const AudioFrame* frames, size_t count) {
  if (count == 0 || !sound_wanted()) return;
  Message m = make_message(web::encode_audio(frames, count));
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (impl_->published_audio.size() >= kMaxPendingAudio) return;
    impl_->published_audio.push_back(std::move(m));
  }
  impl_->post_flush();
}

bool WebServer::sound_wanted() const { return impl_->sound_pages > 0; }

std::vector<web::PageInput> WebServer::take_inputs() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  std::vector<web::PageInput> out(std::make_move_iterator(impl_->inputs.begin()),
                                  std::make_move_iterator(impl_->inputs.end()));
  impl_->inputs.clear();
  impl_->inputs_dropped = 0;
  return out;
}

void WebServer::wait_for_input(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(impl_->mu);
  impl_->input_ready.wait_until(lock, deadline, [this] { return !impl_->inputs.empty(); });
}

void WebServer::stop(const std::string& last_message) {
  Impl& s = *impl_;
  if (!s.thread.joinable() || s.stopped.exchange(true)) return;
  net::post(s.ioc, [&s, last = make_message(last_message)] {
    s.flush();
    s.stopping = true;
    beast::error_code ec;
    s.acceptor.close(ec);
    s.accept_timer.cancel();
    for (const auto& page : s.pages) page->finish(last);
    for (HttpSession* session : s.http.sessions) session->close();
    if (s.pages.empty()) s.ioc.stop();
    // Pages that do not answer the close, and idle keep-alive connections,
    // are not waited for.
    s.stop_timer.emplace(s.ioc, kStopGrace);
    s.stop_timer->async_wait([&s](beast::error_code) { s.ioc.stop(); });
  });
  s.thread.join();
}

}  // namespace sim
