#include "frontends/session.h"

#include <chrono>
#include <thread>

namespace sim {

std::atomic<bool> g_stop_requested{false};

void run_paced(Board& board, VTime until, bool real_time, const std::function<void()>& poll) {
  constexpr VTime kChunk = 10 * kMillisecond;
  auto wall_start = std::chrono::steady_clock::now();
  VTime virtual_start = board.now();
  while (!board.halted() && board.now() < until && !g_stop_requested) {
    board.run_until(std::min(until, board.now() + kChunk), [] { return g_stop_requested.load(); });
    if (poll) poll();
    if (real_time) {
      auto due = wall_start + std::chrono::nanoseconds((board.now() - virtual_start) / kNanosecond);
      std::this_thread::sleep_until(due);
    }
  }
}

}  // namespace sim
