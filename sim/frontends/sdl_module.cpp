// The window module's entry point, looked up by name by the loader in
// board-sim (cli/window_loader.cpp).
#include "frontends/session.h"

extern "C" __attribute__((visibility("default"))) bool board_sim_run_window(sim::Board& board,
                                                                            const sim::Session& session) {
  return sim::run_sdl_ui(board, session);
}
