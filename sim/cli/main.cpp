// board-sim: runs a firmware ELF on the simulated S3C44B0X teaching board.
//
// Exit status: 0 run over (every expect held), 1 an expect failed, 2 a bad
// option, file or script line, 3 the board halted.
#include <CLI/CLI.hpp>


#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "core/board.h"
#include "core/log.h"
#include "frontends/gdb_stub.h"
#include "frontends/interactive.h"
#include "frontends/lcd_text.h"
#include "frontends/png_writer.h"
#include "frontends/scenario.h"
#include "frontends/session.h"

namespace {

int usage_error(const std::string& message) {
  std::fprintf(stderr, "board-sim: %s\n", message.c_str());
  return 2;
}

bool read_file(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool display_available() {
#ifdef BOARD_SIM_HAVE_SDL
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
#else
  return false;
#endif
}

void on_signal(int) { sim::g_stop_requested = true; }

}  // namespace

int main(int argc, char** argv) {
  sim::Session s;
  std::string until_text, ui;
  unsigned cpi = 1;
  bool no_skip = false;
  int gdb_port = -1;
  CLI::App app{"board-sim: runs a firmware ELF on the simulated S3C44B0X teaching board"};
  app.add_option("firmware", s.firmware, "the firmware ELF (e.g. build/bin/phone.elf)")->required();
  app.add_option("--ui", ui, "sdl (a window), term (the terminal) or none; default: sdl with a display, else term")
      ->check(CLI::IsMember({"sdl", "term", "none"}));
  app.add_option("--script", s.script, "run a scenario; exit 0 when every expect holds, 1 when one fails");
  app.add_option("--until", until_text, "stop after this much virtual time (e.g. 2.5s, 300ms)");
  app.add_flag("--real-time", s.real_time, "pace virtual time to the wall clock");
  app.add_option("--uart-in", s.uart_in, "bytes fed to UART0's receiver at start, at the line rate");
  app.add_option("--uart-out", s.uart_out, "every byte the firmware sends on UART0, raw");
  app.add_option("--eeprom", s.eeprom, "the EEPROM image file (default: in the user's state directory)");
  app.add_flag("--eeprom-off", s.eeprom_off, "take the EEPROM off the IIC bus (it never answers)");
  app.add_option("--audio-out", s.audio_out, "what the codec plays, as one WAV timeline");
  app.add_option("--audio-in", s.audio_in, "a WAV file the codec's input hears");
  app.add_flag("--mic", s.mic, "the microphone as the codec's input (window only)");
  app.add_option("--clips", s.clips_dir, "a directory of WAV files replacing the generated key tones and call clips");
  app.add_option("--screenshot", s.screenshot, "the LCD at the end of the run, as a PNG");
  app.add_option("--fb-dump", s.fb_dump, "the LCD at the end as 76800 bytes, one grey level 0..15 per pixel");
  app.add_flag("--lcd-text", s.lcd_text, "print the text on the LCD at the end: \"x y size text\" per run");
  app.add_option("--trace", s.trace, "every register access: \"cycle R|W address value size\"");
  app.add_option("--cpi", cpi, "cycles per instruction (default 1)")->check(CLI::Range(1u, 64u));
  app.add_flag("--no-skip", no_skip, "emulate polling loops instead of skipping their time (slower)");
  app.add_option("--gdb", gdb_port, "wait for gdb on 127.0.0.1:PORT (0: any free port) and run under its control")
      ->check(CLI::Range(0, 65535));
  // Inputs of the board's switches and analogue inputs.
  bool no_bounce = false;
  std::vector<std::string> adc_inputs;
  app.add_flag("--no-bounce", no_bounce, "ideal keys and push-buttons (default: their contacts bounce)");
  app.add_option("--adc", adc_inputs, "what ADC channel CH (0..7) reads, CH=VALUE with VALUE 0..1023 (repeatable)")
      ->take_all();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::string what = e.what();
    return usage_error(what.empty() ? "bad command line (see --help)" : what + " (see --help)");
  }

  if (!until_text.empty() && !sim::parse_duration(until_text, &s.until))
    return usage_error("--until: '" + until_text + "' is not a duration (e.g. 2.5s, 300ms)");
  if (gdb_port >= 0) {
    if (!s.script.empty()) return usage_error("--gdb and --script do not go together: gdb drives the run");
    if (!ui.empty() && ui != "none") return usage_error("--gdb runs with --ui none (UART0 stays on this terminal)");
    ui = "none";
  }
  if (ui.empty()) ui = s.script.empty() ? (display_available() ? "sdl" : "term") : "none";
  s.ui = ui;
  if (s.ui == "sdl" && !s.script.empty()) return usage_error("--script runs headless; use it with --ui none");

  sim::Scenario scenario;
  std::string error;
  if (!s.script.empty() && !scenario.load(s.script, &error)) return usage_error(error);
  std::vector<uint8_t> uart_in;
  if (!s.uart_in.empty() && !read_file(s.uart_in, &uart_in)) return usage_error("--uart-in: cannot read " + s.uart_in);

  sim::BoardOptions options;
  options.cycles_per_instruction = cpi;
  options.skip_polling = !no_skip;
  options.bounce = !no_bounce;
  std::vector<std::pair<int, uint32_t>> adc_values;
  for (const std::string& a : adc_inputs) {
    int ch = -1;
    unsigned value = 0;
    char end = 0;
    if (std::sscanf(a.c_str(), "%d=%u%c", &ch, &value, &end) != 2 || ch < 0 || ch > 7 || value > 1023)
      return usage_error("--adc: '" + a + "' is not CH=VALUE with CH 0..7 and VALUE 0..1023");
    adc_values.emplace_back(ch, value);
  }
  sim::Board board(options);
  if (!board.load(s.firmware, &error)) return usage_error(error);
  for (auto [ch, value] : adc_values) board.adc().set_input(ch, value);

  if (s.eeprom.empty()) {
    s.eeprom = sim::EepromFile::default_path(&error);
    if (s.eeprom.empty()) return usage_error("--eeprom: " + error);
  }
  if (!board.use_eeprom_file(s.eeprom, &error)) return usage_error(error);
  if (s.eeprom_off) board.eeprom().set_connected(false);
  if (!s.clips_dir.empty() && !board.use_clips(s.clips_dir, &error)) return usage_error("--clips: " + error);
  if (!s.audio_out.empty() && !board.record_audio(s.audio_out, &error)) return usage_error("--audio-out: " + error);
  if (!s.audio_in.empty() && !board.hear_audio(s.audio_in, &error)) return usage_error("--audio-in: " + error);

  std::FILE* trace = nullptr;
  if (!s.trace.empty()) {
    trace = std::fopen(s.trace.c_str(), "w");
    if (!trace) return usage_error("--trace: cannot write " + s.trace);
    std::setvbuf(trace, nullptr, _IOFBF, 1 << 20);
    board.set_trace(trace);
  }
  std::FILE* uart_out = nullptr;
  if (!s.uart_out.empty()) {
    uart_out = std::fopen(s.uart_out.c_str(), "wb");
    if (!uart_out) return usage_error("--uart-out: cannot write " + s.uart_out);
    board.add_console_listener([uart_out](uint8_t b) { std::fputc(b, uart_out); });
  }
  if (!uart_in.empty()) board.uart_input(uart_in);

  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);

  sim::GdbStub gdb(board);
  if (gdb_port >= 0 && !gdb.listen(gdb_port, &error)) return usage_error("--gdb: " + error);

  int status = 0;
  bool ran = false;
  bool halt_printed = false;
  if (s.ui == "sdl") {
    ran = sim::run_sdl_ui(board, s);
    if (!ran) std::fprintf(stderr, "board-sim: no window; using the terminal mode\n");
  }
  if (!ran && (s.ui == "term" || s.ui == "sdl") && s.script.empty()) ran = sim::run_terminal_ui(board, s);
  if (!ran) {
    if (!s.script.empty()) {
      board.add_console_listener([](uint8_t b) {
        std::fputc(b, stdout);
        if (b == '\n') std::fflush(stdout);
      });
      std::string failure;
      bool early = false;
      if (!scenario.run(board, &failure, s.until, &early)) {
        std::fflush(stdout);
        std::fprintf(stderr, "board-sim: %s\n", failure.c_str());
        status = 1;
      } else if (s.until != sim::kForever && !board.halted()) {
        board.run_until(s.until, [] { return sim::g_stop_requested.load(); });
      }
    } else {
      if (gdb_port >= 0)
        std::fprintf(stderr, "board-sim: waiting for gdb on 127.0.0.1:%d (gdb-multiarch %s -ex 'target remote :%d')\n",
                     gdb.port(), s.firmware.c_str(), gdb.port());
      sim::RawConsole console;
      board.add_console_listener([](uint8_t b) {
        std::fputc(b, stdout);
        std::fflush(stdout);
      });
      auto poll_console = [&] {
        auto typed = console.read_available();
        if (!typed.empty()) board.uart_input(typed);
      };
      bool run_free = true;
      if (gdb_port >= 0) {
        sim::GdbStub::Options debug;
        debug.until = s.until;
        debug.real_time = s.real_time;
        debug.poll = poll_console;
        debug.quit = [] { return sim::g_stop_requested.load(); };
        debug.on_halt = [&] {
          std::fprintf(stderr, "board-sim: %s\n", board.halt_report().c_str());
          halt_printed = true;
        };
        // Detached, the board runs on as without a debugger.
        run_free = gdb.serve(debug) == sim::GdbStub::End::kDetached;
      }
      if (run_free) sim::run_paced(board, s.until, s.real_time, poll_console);
    }
  }
  std::fflush(stdout);

  // The outputs, whatever ended the run.
  board.finish_audio();
  std::vector<uint8_t> frame(sim::kLcdWidth * sim::kLcdHeight);
  board.screen(frame.data());
  if (!s.screenshot.empty() && !sim::write_lcd_png(s.screenshot, frame.data(), error)) {
    std::fprintf(stderr, "board-sim: --screenshot: %s\n", error.c_str());
    if (!status) status = 2;
  }
  if (!s.fb_dump.empty()) {
    std::FILE* f = std::fopen(s.fb_dump.c_str(), "wb");
    if (!f || std::fwrite(frame.data(), 1, frame.size(), f) != frame.size()) {
      std::fprintf(stderr, "board-sim: --fb-dump: cannot write %s\n", s.fb_dump.c_str());
      if (!status) status = 2;
    }
    if (f) std::fclose(f);
  }
  if (s.lcd_text) {
    const uint8_t* font = board.font();
    if (!font) std::fprintf(stderr, "board-sim: --lcd-text: the firmware has no `font` table\n");
    else std::fputs(sim::format_runs(sim::find_lcd_text(font, frame.data())).c_str(), stdout);
  }
  if (trace) std::fclose(trace);
  if (uart_out) std::fclose(uart_out);

  if (board.halted()) {
    if (!halt_printed) std::fprintf(stderr, "board-sim: %s\n", board.halt_report().c_str());
    if (status != 1) status = 3;
  }
  return status;
}
