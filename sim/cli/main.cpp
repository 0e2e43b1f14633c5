// board-sim: runs a firmware ELF for the S3C44B0X teaching board.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "core/board.h"
#include "core/log.h"

int main(int argc, char** argv) {
  CLI::App app{"board-sim: the S3C44B0X teaching board, simulated"};
  std::string firmware, until_text, uart_in, uart_out, trace_path;
  unsigned cpi = 1;
  std::string ui = "none";
  app.add_option("firmware", firmware, "firmware ELF")->required();
  app.add_option("--until", until_text, "stop after this much virtual time");
  app.add_option("--ui", ui, "sdl|term|none");
  app.add_option("--uart-in", uart_in, "bytes for UART0's receiver");
  app.add_option("--uart-out", uart_out, "UART0 output file");
  app.add_option("--trace", trace_path, "register trace");
  app.add_option("--cpi", cpi, "cycles per instruction");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) ? 2 : 0;
  }
  sim::BoardOptions options;
  options.cycles_per_instruction = cpi;
  sim::Board board(options);
  std::string error;
  if (!board.load(firmware, &error)) {
    std::fprintf(stderr, "board-sim: %s\n", error.c_str());
    return 2;
  }
  std::FILE* trace = nullptr;
  if (!trace_path.empty()) {
    trace = std::fopen(trace_path.c_str(), "w");
    board.set_trace(trace);
  }
  board.add_console_listener([](uint8_t b) { std::fputc(b, stdout); });
  sim::VTime until = sim::kForever;
  if (!until_text.empty() && !sim::parse_duration(until_text, &until)) {
    std::fprintf(stderr, "board-sim: --until: not a duration: %s\n", until_text.c_str());
    return 2;
  }
  board.run_until(until);
  std::fflush(stdout);
  if (trace) std::fclose(trace);
  if (board.halted()) {
    std::fprintf(stderr, "board-sim: %s\n", board.halt_report().c_str());
    return 3;
  }
  return 0;
}
