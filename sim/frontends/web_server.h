// The network side of --ui web: an HTTP and WebSocket server (Boost.Beast
// over Asio) on a thread of its own, serving the page embedded in board-sim
// and streaming the board to every page that is open.
//
// The board stays on the caller's thread. The two sides meet only here,
// under one mutex: the board side publishes what the pages should see (the
// latest frame, the state text, console bytes, sound) and takes the inputs
// of the driving page; the network side never touches the board.
//
// - Every request, page or WebSocket, needs ?token=<the token>; without it,
//   or with a wrong one, the answer is 403 with nothing in it. The page
//   itself may also be asked for with a one-time reload key (?reload=...,
//   handed to the page it serves), so that the page can take the token out
//   of the address bar and still be reloaded.
// - Only our own pages: a request whose Host is not an IP address,
//   localhost or a name we serve (DNS rebinding), and a WebSocket whose
//   Origin is not the address it was sent to (a page from elsewhere), get
//   403 (web_protocol.h, Audience).
// - No client can take the server down or lock the others out: HTTP
//   connections are capped, those that have not shown the token the more so
//   (the oldest go first when a new one comes), a failing accept() waits
//   before it tries again, and every queue a client fills is bounded.
// - The first page to connect drives; the others watch, and what they send
//   for the board is ignored. When the driving page goes, the page that has
//   been open longest takes over (it is told so), and whatever the old
//   driver held is let go.
// - A page gets a screen message only after it acknowledged the last one,
//   with the rows that changed since: a slow page sees fewer frames, never a
//   backlog. Sound goes only to pages that asked for it and is dropped for a
//   page that falls behind; a page that cannot keep up with the rest is
//   closed. A page that answers nothing (not even the WebSocket's pings)
//   for Limits::silence is closed too, and a driving one hands the drive on.
// - Pages leave the list of pages only between two walks over it: a page
//   closed while the list is being walked (one that fell behind, during a
//   send to every page) is removed afterwards.
// - GET /screen?token=... answers the latest frame as 76800 bytes, one grey
//   level per pixel (the --fb-dump layout), for tests and tools.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "devices/audio.h"
#include "frontends/web_protocol.h"

namespace sim {

// The page's files, embedded at build time (the generated web_assets.cpp).
struct WebAsset {
  const char* name;  // "index.html", "app.js", ...
  const unsigned char* data;
  size_t size;
};
extern const WebAsset kWebAssets[];
extern const size_t kWebAssetCount;

class WebServer {
 public:
  struct Limits {
    size_t pages = 16;  // open and opening
    // HTTP connections and pages together; never more than half the file
    // descriptors board-sim may open (RLIMIT_NOFILE).
    size_t connections = 256;
    size_t anonymous = 32;  // connections that have not shown the token yet
    // A page this far behind on its sends is closed.
    size_t queued_bytes = 8 * 1024 * 1024;
    // A page that sends nothing (pongs included) this long is closed; it is
    // pinged halfway.
    std::chrono::milliseconds silence{20000};
    // Inputs from the driving page not yet taken by the board.
    size_t inputs = 1024;
  };

  WebServer();
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Listens on `bind`:`port` (0: any free port) and starts serving. `hello`
  // is the first message every page gets. False with the reason.
  bool start(const std::string& bind, int port, const std::string& token, const std::string& hello,
             std::string* error);
  // Before start().
  void set_limits(const Limits& limits);
  // The page's address as the browser sees it behind a tunnel or a reverse
  // proxy ("https://lab.example.org", web::parse_origin's form): its Host
  // and Origin are accepted, and url() names it.
  void set_public_origin(const std::string& origin);
  // What to open: http://ADDRESS:PORT/?token=...
  std::string url() const;
  int port() const;

  // The board side: any thread, never blocks on the network.
  void publish_frame(const uint8_t* levels);  // 320 x 240 grey levels
  void publish_state(const std::string& json);
  void publish_console(std::string_view bytes);
  void publish_audio(const AudioFrame* frames, size_t count);
  bool sound_wanted() const;  // a page plays the sound
  // A note for the driving page's status line (the latest one waiting).
  void publish_note(const std::string& text);
  // The driving page's inputs since the last call, in order.
  std::vector<web::PageInput> take_inputs();
  // Returns when an input is waiting, or at `deadline`.
  void wait_for_input(std::chrono::steady_clock::time_point deadline);

  // Sends `last_message` (JSON) to every page, closes them and the
  // listener, and ends the network thread (bounded: about half a second).
  void stop(const std::string& last_message);

  class Impl;  // the network side, in web_server.cpp

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim
