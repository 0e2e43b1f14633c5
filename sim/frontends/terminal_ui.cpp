#include "frontends/session.h"

#include <cstdio>

namespace sim {

bool run_terminal_ui(Board&, const Session&) {
  std::fprintf(stderr, "board-sim: the terminal mode is not available in this build\n");
  return false;
}

}  // namespace sim
