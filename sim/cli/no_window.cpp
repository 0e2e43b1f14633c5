// Builds without SDL have no window; board-sim falls back to the terminal.
#include "frontends/session.h"

namespace sim {
bool run_sdl_ui(Board&, const Session&) { return false; }
}  // namespace sim
