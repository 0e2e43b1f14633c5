// board-sim's window (SDL2): the picture of board_view.h scaled by a whole
// factor, the keypad and buttons under the mouse and the keyboard, sound on
// the default device, and UART0 on the terminal that started us.
//
// Judgement calls:
// - A key or button is held exactly as long as its mouse button or keyboard
//   key, but at least kMinHold of virtual time: a tap that comes and goes
//   between two slices of the run (or a synthetic one) would otherwise be
//   shorter than the firmware's 30 ms debounce and read as a bounce.
// - Fast-forward slows to about real time while a key or button is held,
//   so a press lasts as long for the firmware as for the person.
// - The board keeps running in real time while the window is in the
//   background; losing the focus releases the keys held on the keyboard,
//   whose release we would never hear.
// - A halted board leaves the window open on its last picture, with the
//   reason in the status area, until the window is closed.
#include <SDL.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "core/s3c44b0x.h"
#include "frontends/board_view.h"
#include "frontends/gdb_stub.h"
#include "frontends/interactive.h"
#include "frontends/key_holds.h"
#include "frontends/png_writer.h"
#include "frontends/recorder.h"
#include "frontends/sdl_audio.h"
#include "frontends/session.h"

namespace sim {

namespace {

constexpr Uint32 kFrameMs = 16;

using view::Target;

// Keyboard keys with a fixed meaning besides the letter shortcuts: the
// numeric keypad dials as a phone does, Enter calls, Escape goes back.
std::optional<Target> special_key(SDL_Keycode sym) {
  switch (sym) {
    case SDLK_KP_1: return Target{Target::kKey, 0};
    case SDLK_KP_2: return Target{Target::kKey, 1};
    case SDLK_KP_3: return Target{Target::kKey, 2};
    case SDLK_KP_4: return Target{Target::kKey, 4};
    case SDLK_KP_5: return Target{Target::kKey, 5};
    case SDLK_KP_6: return Target{Target::kKey, 6};
    case SDLK_KP_7: return Target{Target::kKey, 8};
    case SDLK_KP_8: return Target{Target::kKey, 9};
    case SDLK_KP_9: return Target{Target::kKey, 10};
    case SDLK_KP_0: return Target{Target::kKey, 13};
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return Target{Target::kKey, 14};
    case SDLK_ESCAPE:
    case SDLK_BACKSPACE: return Target{Target::kKey, 15};
    default: return std::nullopt;
  }
}

std::string next_screenshot_name() {
  char name[64];
  for (int i = 1; i < 10000; ++i) {
    std::snprintf(name, sizeof name, "board-sim-%03d.png", i);
    if (access(name, F_OK) != 0) break;
  }
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd)) return std::string(cwd) + "/" + name;
  return name;
}

class Window {
 public:
  Window(Board& board, const Session& session)
      : board_(board), session_(session), pacer_(board.now()), pixels_(view::kWidth * view::kHeight),
        lcd_(kLcdWidth * kLcdHeight), holds_(board, session) {}
  ~Window();

  bool open();
  void run();

 private:
  void handle(const SDL_Event& event);
  void set_keyboard_hold(SDL_Scancode code, std::optional<Target> target);
  void update_holds();
  void advance();
  void run_to(VTime goal);
  // gdb (--gdb) keeps the board still (or ended the program): nothing
  // runs, virtual time stands.
  bool held() const { return session_.gdb && (session_.gdb->holding() || session_.gdb->killed()); }
  void follow_gdb();
  void render();
  void screenshot();
  void open_audio();
  void flush_console();

  Board& board_;
  const Session& session_;
  Pacer pacer_;
  RawConsole console_;
  std::string console_out_;

  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  std::vector<uint32_t> pixels_;
  std::vector<uint8_t> lcd_;

  std::map<SDL_Scancode, Target> keyboard_;  // keyboard keys held, and what each holds
  std::optional<Target> mouse_;
  KeyHolds holds_;

  bool help_ = false;
  bool done_ = false;
  std::string message_;
  bool was_held_ = false;
};

// The sound objects outlive the window: the board keeps them as its sink and
// source until the program ends.
SdlAudioOutput g_audio_output;
std::unique_ptr<LiveAudioSink> g_audio_sink;
SdlAudioInput g_audio_input;
std::unique_ptr<LiveAudioSource> g_audio_source;

Window::~Window() {
  if (g_audio_sink) g_audio_sink->set_muted(true);
  g_audio_output.close();
  g_audio_input.close();
  if (texture_) SDL_DestroyTexture(texture_);
  if (renderer_) SDL_DestroyRenderer(renderer_);
  if (window_) SDL_DestroyWindow(window_);
  SDL_Quit();
}

bool Window::open() {
  // Our own SIGINT handler ends the run; SDL's would only post SDL_QUIT.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "board-sim: cannot open a window: %s\n", SDL_GetError());
    return false;
  }
  // When the display cannot be reached SDL falls back to drivers that show
  // nothing; a window nobody sees is no window, unless asked for by name.
  std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
  if ((driver == "offscreen" || driver == "dummy") && !std::getenv("SDL_VIDEODRIVER")) {
    std::fprintf(stderr, "board-sim: cannot open a window: the display cannot be reached\n");
    return false;
  }
  int scale = 2;
  SDL_Rect usable;
  if (SDL_GetDisplayUsableBounds(0, &usable) == 0) {
    scale = std::min(usable.w * 9 / 10 / view::kWidth, usable.h * 9 / 10 / view::kHeight);
    scale = std::max(1, std::min(scale, 4));
  }
  std::string title = "board-sim: " + session_.firmware;
  window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, view::kWidth * scale,
                             view::kHeight * scale, SDL_WINDOW_RESIZABLE);
  if (window_) renderer_ = SDL_CreateRenderer(window_, -1, 0);
  if (window_ && !renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
  if (renderer_)
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, view::kWidth,
                                 view::kHeight);
  if (!texture_) {
    std::fprintf(stderr, "board-sim: cannot open a window: %s\n", SDL_GetError());
    return false;
  }
  SDL_SetWindowMinimumSize(window_, view::kWidth, view::kHeight);
  SDL_RenderSetLogicalSize(renderer_, view::kWidth, view::kHeight);
  SDL_RenderSetIntegerScale(renderer_, SDL_TRUE);
  open_audio();
  return true;
}

void Window::open_audio() {
  std::string error;
  if (g_audio_output.open(chip::kBoardSampleRate, &error)) {
    g_audio_sink = std::make_unique<LiveAudioSink>(g_audio_output);
    board_.add_audio_sink(g_audio_sink.get());
  } else {
    std::fprintf(stderr, "board-sim: no audio device (%s); going on without sound\n", error.c_str());
  }
  if (session_.mic) {
    if (g_audio_input.open(chip::kBoardSampleRate, &error)) {
      g_audio_source = std::make_unique<LiveAudioSource>(g_audio_input);
      board_.set_audio_source(g_audio_source.get());
    } else {
      std::fprintf(stderr, "board-sim: --mic: no recording device (%s); the codec hears %s\n", error.c_str(),
                   session_.audio_in.empty() ? "silence" : session_.audio_in.c_str());
    }
  }
}

// Makes the board's keys and buttons follow what the mouse and the keyboard
// hold now.
void Window::update_holds() {
  std::set<Target> wanted;
  for (const auto& [code, target] : keyboard_) wanted.insert(target);
  if (mouse_) wanted.insert(*mouse_);
  for (const Target& t : wanted) holds_.hold(t, true);
  std::vector<Target> let_go;
  for (const auto& [t, since] : holds_.down())
    if (!wanted.count(t)) let_go.push_back(t);
  for (const Target& t : let_go) holds_.hold(t, false);
  holds_.apply_releases();
}

void Window::set_keyboard_hold(SDL_Scancode code, std::optional<Target> target) {
  if (target) keyboard_[code] = *target;
  else keyboard_.erase(code);
  update_holds();
}

void Window::handle(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT: done_ = true; break;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        keyboard_.clear();
        update_holds();
      }
      break;
    case SDL_KEYDOWN: {
      if (e.key.repeat) break;
      SDL_Keycode sym = e.key.keysym.sym;
      Uint16 mod = e.key.keysym.mod;
      if ((mod & KMOD_CTRL) && sym == SDLK_q) {
        done_ = true;
      } else if (sym == SDLK_F1 || sym == SDLK_QUESTION || (sym == SDLK_SLASH && (mod & KMOD_SHIFT))) {
        help_ = !help_;
      } else if (help_ && sym == SDLK_ESCAPE) {
        help_ = false;
      } else if (sym == SDLK_TAB) {
        pacer_.set_fast(!pacer_.fast(), board_.now());
        if (g_audio_sink) g_audio_sink->set_muted(pacer_.fast());
      } else if (sym == SDLK_F12) {
        screenshot();
      } else if (!(mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI))) {
        std::optional<Target> t = special_key(sym);
        if (!t && sym > 0 && sym < 128) {
          Target s = view::shortcut_target(static_cast<char>(sym));
          if (s.kind != Target::kNone) t = s;
        }
        if (t) set_keyboard_hold(e.key.keysym.scancode, t);
      }
      break;
    }
    case SDL_KEYUP:
      if (keyboard_.count(e.key.keysym.scancode)) set_keyboard_hold(e.key.keysym.scancode, std::nullopt);
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button != SDL_BUTTON_LEFT) break;
      if (help_) {
        help_ = false;
        break;
      }
      {
        Target t = view::hit(e.button.x, e.button.y);
        if (t.kind != Target::kNone) {
          mouse_ = t;
          update_holds();
        }
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT && mouse_) {
        mouse_.reset();
        update_holds();
      }
      break;
    default: break;
  }
}

// Runs the board to `goal`, stopping at every pending release on the way.
void Window::run_to(VTime goal) {
  auto stop = [] { return g_stop_requested.load(); };
  while (!board_.halted() && board_.now() < goal && !g_stop_requested && !held()) {
    const VTime release = holds_.next_release(), until = std::min(goal, release);
    if (session_.gdb) session_.gdb->run_until(until, stop);
    else board_.run_until(until, stop, paced_end(until, std::min(release, session_.until)));
    holds_.apply_releases();
  }
}

void Window::follow_gdb() {
  if (!session_.gdb) return;
  session_.gdb->poll(0);
  if (session_.gdb->killed()) done_ = true;
  // Time stood still: the wall clock's lead is no debt to pay back.
  if (was_held_ && !held()) pacer_.restart(board_.now());
  was_held_ = held();
}

void Window::advance() {
  if (board_.halted()) return;
  if (pacer_.fast() && holds_.busy()) {
    // A held key would repeat for many virtual seconds: go at about real
    // time until it is let go.
    run_to(std::min(board_.now() + kFrameMs * kMillisecond, session_.until));
  } else if (pacer_.fast()) {
    // As fast as the host goes, but back to the events every frame.
    Uint32 start = SDL_GetTicks();
    while (!board_.halted() && SDL_GetTicks() - start < kFrameMs && board_.now() < session_.until &&
           !g_stop_requested && !held()) {
      VTime goal = board_.now() + 10 * kMillisecond;
      run_to(std::min(goal, session_.until));
    }
  } else {
    run_to(std::min(pacer_.due(board_.now()), session_.until));
  }
  if (board_.now() >= session_.until) done_ = true;
}

void Window::flush_console() {
  std::vector<uint8_t> typed = console_.read_available();
  if (!typed.empty()) board_.uart_input(typed);
  if (!typed.empty() && session_.recorder) session_.recorder->console(typed, board_.now());
  if (!console_out_.empty()) {
    std::fwrite(console_out_.data(), 1, console_out_.size(), stdout);
    std::fflush(stdout);
    console_out_.clear();
  }
}

void Window::render() {
  board_.screen(lcd_.data());
  view::State s;
  s.lcd = lcd_.data();
  for (int k = 0; k < 16; ++k)
    if (board_.keypad().held(k)) s.keys_down |= static_cast<uint16_t>(1u << k);
  s.buttons_down = board_.buttons().state();
  s.led_left = board_.led_lit(9);
  s.led_right = board_.led_lit(10);
  s.segment_latch = board_.segment_latch();
  s.status[0] = "time " + format_seconds(board_.now()) + "   speed " +
                format_speed(pacer_.speed(board_.now()), pacer_.fast()) + "   " + codec_status(board_);
  s.status[1] = "EEPROM " + board_.eeprom_path();
  if (held() && board_.halted()) {
    s.status[2] = "halted: " + board_.halt_reason() + " (gdb looks at it)";
    s.alert = true;
  } else if (held()) {
    s.status[2] = session_.gdb->hold_text() + ": time stands still";
  } else if (board_.halted()) {
    s.status[2] = "halted: " + board_.halt_reason();
    s.alert = true;
  } else {
    s.status[2] = message_.empty() ? "F1 or ?: keys and help   Tab: fast-forward   F12: screenshot" : message_;
  }
  s.help = help_;
  view::draw(s, pixels_.data());

  SDL_UpdateTexture(texture_, nullptr, pixels_.data(), view::kWidth * 4);
  SDL_SetRenderDrawColor(renderer_, 0x12, 0x30, 0x1E, 0xFF);
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  SDL_RenderPresent(renderer_);
}

// The window as it is on the screen: the picture at the current whole scale.
void Window::screenshot() {
  float sx = 1, sy = 1;
  SDL_RenderGetScale(renderer_, &sx, &sy);
  int scale = std::max(1, static_cast<int>(sx + 0.5f));
  int w = view::kWidth * scale, h = view::kHeight * scale;
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t p = pixels_[(y / scale) * view::kWidth + x / scale];
      uint8_t* out = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      out[0] = static_cast<uint8_t>(p >> 16);
      out[1] = static_cast<uint8_t>(p >> 8);
      out[2] = static_cast<uint8_t>(p);
    }
  std::string path = next_screenshot_name(), error;
  if (write_png(path, rgb.data(), w, h, PngFormat::kRgb8, error)) message_ = "screenshot: " + path;
  else message_ = "screenshot failed: " + error;
  std::fprintf(stderr, "board-sim: %s\n", message_.c_str());
}

void Window::run() {
  board_.add_console_listener([this](uint8_t b) { console_out_.push_back(static_cast<char>(b)); });
  while (!done_ && !g_stop_requested) {
    Uint32 frame_start = SDL_GetTicks();
    SDL_Event e;
    while (SDL_PollEvent(&e)) handle(e);
    follow_gdb();
    flush_console();
    advance();
    flush_console();
    render();
    if (!pacer_.fast() || board_.halted() || held()) {
      Uint32 spent = SDL_GetTicks() - frame_start;
      if (spent < kFrameMs) SDL_WaitEventTimeout(nullptr, static_cast<int>(kFrameMs - spent));
    }
  }
}

}  // namespace

bool run_sdl_ui(Board& board, const Session& session) {
  Window window(board, session);
  if (!window.open()) return false;
  window.run();
  return true;
}

}  // namespace sim
