// The window lives in a module (board-sim-sdl.so beside the program) that is
// loaded only when a run opens it: SDL and the twenty-odd libraries it
// brings (X11, Wayland, PulseAudio, D-Bus) cost a headless run about as
// much as everything else it does before the board starts. Without the
// module (board-sim copied alone to another machine) there is no window,
// and board-sim falls back to the terminal as it does without a display.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "core/log.h"
#include "frontends/session.h"

namespace sim {

namespace {

std::string module_path() {
  char self[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "board-sim-sdl.so";
  std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1) + "board-sim-sdl.so";
}

}  // namespace

bool run_sdl_ui(Board& board, const Session& session) {
  const std::string path = module_path();
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    log_warning("window", std::string("cannot load the window's module: ") + ::dlerror());
    return false;
  }
  using Entry = bool (*)(Board&, const Session&);
  auto entry = reinterpret_cast<Entry>(::dlsym(module, "board_sim_run_window"));
  if (!entry) {
    log_warning("window", path + " has no window in it");
    return false;
  }
  // The module stays loaded: SDL's threads may outlive the window.
  return entry(board, session);
}

}  // namespace sim
