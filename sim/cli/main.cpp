// board-sim: runs a firmware ELF on the simulated S3C44B0X teaching board.
//
// Exit status (the first that applies): 2 a bad option, file or script line
// (nothing was run or written), 3 the board halted, 1 an expect failed, 4 a
// file could not be written during or at the end of the run (the EEPROM
// image, an output: data was lost), 128 + N the run was ended by signal N
// (SIGINT 130, SIGTERM 143) with every output written, 0 otherwise: the run
// reached --until or the script's end, or the program finished (an endless
// loop at its end, or main returned: its value is printed, not returned).
#include <malloc.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "board/board.h"
#include "board/clips.h"
#include "core/log.h"
#include "core/memory.h"
#include "debug/debug_info.h"
#include "debug/execution_recorder.h"
#include "frontends/coverage.h"
#include "frontends/gdb_stub.h"
#include "frontends/interactive.h"
#include "frontends/junit_report.h"
#include "frontends/lcd_text.h"
#include "frontends/png_writer.h"
#include "frontends/profile.h"
#include "frontends/recorder.h"
#include "frontends/run_files.h"
#include "frontends/scenario.h"
#include "frontends/serial_port.h"
#include "frontends/session.h"
#include "frontends/web_ui.h"

namespace {

int usage_error(const std::string& message) {
  std::fprintf(stderr, "board-sim: %s\n", message.c_str());
  return 2;
}

// Exit statuses beyond 0..3 (see the top of the file).
constexpr int kWriteFailed = 4;

// The largest inputs board-sim reads whole. UART0 at 115200 baud takes about
// 11 KiB a second, so 16 MiB is over 20 minutes of input.
constexpr uint64_t kMaxFirmware = 256ull << 20;  // an ELF with its debug sections
constexpr uint64_t kMaxUartIn = 16ull << 20;
constexpr uint64_t kMaxWav = 1ull << 30;

// An empty value would silently mean the default (`--eeprom ""`: the user's
// own EEPROM file; `--until ""`: for ever). Options added later are covered
// too: every option that takes a value is checked.
bool refuse_empty_values(const CLI::App& app, std::string* error) {
  for (const CLI::Option* o : app.get_options()) {
    if (o->get_items_expected_min() == 0) continue;  // a flag
    for (const std::string& value : o->results()) {
      if (value.empty()) {
        *error = (o->get_positional() ? o->get_name() : o->get_name(false, true)) + ": an empty value is not allowed";
        return false;
      }
    }
  }
  return true;
}

volatile std::sig_atomic_t g_signal = 0;

// The first signal asks the run to end (outputs written); the handler is
// reset, so a second one ends board-sim at once.
void on_signal(int signo) {
  g_signal = signo;
  sim::g_stop_requested = true;
}

void install_signal_handlers() {
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sa.sa_flags = SA_RESETHAND | SA_RESTART;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

// The console on stdout; a report on stderr must not be glued to the end of
// its unfinished line (see log.h).
void console_byte(uint8_t b) {
  std::fputc(b, stdout);
  sim::note_stdout_byte(b);
}
void report(const std::string& line) { sim::log_line(line); }

// The one line about how the program's run ended on the board.
std::string end_report(const sim::Board& board) {
  if (!board.main_returned()) return board.halt_report();
  return "main returned " + std::to_string(board.main_result()) + " at " + sim::format_duration(board.now()) +
         " of virtual time; last console line: \"" + board.last_console_line() + "\"";
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

// The heap the emulator's engine and the board build at start (about 4 MB:
// the engine's system registers, its memory map, the board's tables) is
// made real in one request: on a virtual machine a page fault may cost ten
// microseconds, a page made real in bulk one, and a short run faulted in
// some 750 pages one by one. (A kernel without MADV_POPULATE_WRITE, 5.14,
// leaves them to fault as before.)
void populate_heap() {
  constexpr size_t kStartHeap = 4 << 20;
  // (from the heap, not a mapping of its own; and kept when freed)
  mallopt(M_MMAP_THRESHOLD, static_cast<int>(2 * kStartHeap));
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(4 * kStartHeap));
  if (void* block = std::malloc(kStartHeap)) {
    sim::populate_pages(block, kStartHeap);
    std::free(block);
  }
  mallopt(M_MMAP_THRESHOLD, 128 << 10);  // (glibc's first)
}

}  // namespace

int main(int argc, char** argv) {
  populate_heap();
  // First of all: a signal at any moment ends the run with its outputs.
  install_signal_handlers();
  sim::Session s;
  std::string until_text, ui;
  unsigned cpi = 0;  // 0: the cycle model
  bool no_skip = false;
  int gdb_port = -1;
  CLI::App app{"board-sim: runs a firmware ELF on the simulated S3C44B0X teaching board"};
  app.footer("Exit status: 0 the run reached --until or the script's end, or the program finished (main returned:\n"
             "its value is printed, not the status), 1 an expect failed, 2 a bad option, file or script line\n"
             "(nothing run or written), 3 the board halted, 4 a file could not be written (EEPROM image, an\n"
             "output), 130/143 ended by SIGINT/SIGTERM (outputs written).");
  app.set_version_flag("--version", "board-sim " BOARD_SIM_VERSION, "print board-sim's version and exit");
  app.add_flag("--verbose", s.verbose, "also report the firmware's harmless habits (e.g. the phone's IICADD write)");
  auto* firmware_option =
      app.add_option("firmware", s.firmware, "the firmware ELF (e.g. build/bin/phone.elf), loaded by the monitor");
  // Required unless --flash names the image: so that an option taking every
  // value after it (--adc) still leaves the firmware to the positional.
  if (std::none_of(argv + 1, argv + argc, [](const char* a) {
        return std::string(a) == "--flash" || std::string(a).rfind("--flash=", 0) == 0;
      }))
    firmware_option->required();
  std::string flash_image;
  app.add_option("--flash", flash_image,
                 "boot IMAGE from bank 0's flash at reset, without the monitor (a raw binary for address 0, or an "
                 "ELF whose bytes load there); instead of a firmware ELF");
  bool strict_bus = false;
  app.add_flag("--strict-bus", strict_bus,
               "halt at an access where nothing answers (an empty bank) or a plain write to the flash (default: "
               "the program goes on as on the board, the first one said once)");
  app.add_option("--ui", ui,
                 "sdl (a window), term (the terminal), web (a page in the browser) or none; default: sdl with a "
                 "display, else term")
      ->check(CLI::IsMember({"sdl", "term", "web", "none"}));
  app.add_option("--script", s.script, "run a scenario; exit 0 when every expect holds, 1 when one fails");
  app.add_option("--until", until_text, "stop after this much virtual time (e.g. 2.5s, 300ms)");
  app.add_flag("--real-time", s.real_time, "pace virtual time to the wall clock");
  app.add_option("--uart-in", s.uart_in, "bytes fed to UART0's receiver at start, at the line rate");
  app.add_option("--uart-out", s.uart_out,
                 "every byte the far end receives from UART0, raw (garbled where the two line rates disagree)");
  // UART1 and the far ends' line rate.
  app.add_option("--uart-baud", s.uart_baud, "the far end's line rate on both UARTs, 8N1 (default 115200)")
      ->check(CLI::Range(50u, 4000000u));
  app.add_option("--uart1-in", s.uart1_in,
                 "bytes fed to UART1's receiver, at the line rate, from when the program turns it on");
  app.add_option("--uart1-out", s.uart1_out, "every byte the far end receives from UART1, raw");
  // The UARTs' far ends as host serial ports, for minicom, picocom, pyserial.
  std::string port_text[2];
  for (int u = 0; u < 2; ++u)
    app.add_option("--uart" + std::to_string(u), port_text[u],
                   "UART" + std::to_string(u) +
                       "'s far end as a pseudo-terminal (pty) or a TCP socket (tcp:PORT, tcp:ADDRESS:PORT; "
                       "127.0.0.1 by default), paced to real time; ,wait holds the board until a client connects");
  app.add_option("--eeprom", s.eeprom, "the EEPROM image file (default: in the user's state directory)");
  app.add_flag("--eeprom-off", s.eeprom_off, "take the EEPROM off the IIC bus (it never answers; no file is used)");
  app.add_option("--audio-out", s.audio_out, "what the codec plays, as one WAV timeline");
  app.add_option("--audio-in", s.audio_in, "a WAV file the codec's input hears");
  app.add_flag("--mic", s.mic, "the microphone as the codec's input (window only)");
  app.add_option("--clips", s.clips_dir, "a directory of WAV files replacing the generated key tones and call clips");
  app.add_option("--screenshot", s.screenshot, "the LCD at the end of the run, as a PNG");
  app.add_option("--fb-dump", s.fb_dump, "the LCD at the end as 76800 bytes, one grey level 0..15 per pixel");
  app.add_flag("--lcd-text", s.lcd_text, "print the text on the LCD at the end: \"x y size text\" per run");
  app.add_option("--trace", s.trace, "every register access: \"cycle R|W address value size\"");
  app.add_option("--cpi", cpi, "a fixed cost per instruction instead of the cycle model")->check(CLI::Range(1u, 64u));
  app.add_flag("--no-skip", no_skip, "emulate polling loops instead of skipping their time (slower)");
  bool reference = false;
  app.add_flag("--reference", reference,
               "the oracle: one instruction at a time, the same cycle model, no skipping, splitting or fast stores "
               "(exact by construction, many times slower)");
  uint64_t xtal_hz = sim::ClockPower::kFinHz;
  app.add_option("--xtal", xtal_hz,
                 "the board's crystal in Hz (default 8000000, this board's), for programs written for another "
                 "S3C44B0X board: MCLK = Fin until PLLCON is written, then (MDIV+8) x Fin / ((PDIV+2) x 2^SDIV)")
      ->check(CLI::Range(uint64_t{1000000}, uint64_t{80000000}));
  bool check_alignment = false;
  app.add_flag("--check-alignment", check_alignment,
               "also say unaligned loads, and stores into the LCD's frame buffer, once per instruction (slower; other "
               "unaligned stores are said anyway)");
  app.add_option("--gdb", gdb_port, "wait for gdb on 127.0.0.1:PORT (0: any free port) and run under its control; "
              "goes with every --ui (sdl, term, web, none) and with --script")
      ->check(CLI::Range(0, 65535));
  // Inputs of the board's switches and analogue inputs.
  bool no_bounce = false;
  std::vector<std::string> adc_inputs;
  app.add_flag("--no-bounce", no_bounce, "ideal keys and push-buttons (default: their contacts bounce)");
  app.add_option("--adc", adc_inputs, "what ADC channel CH (0..7) reads, CH=VALUE with VALUE 0..1023 (repeatable)")
      ->take_all();
  // What ran: lines and functions (lcov), costs (callgrind).
  std::string coverage_path, profile_path;
  app.add_option("--coverage", coverage_path, "lcov tracefile of the firmware lines and functions that ran");
  app.add_option("--profile", profile_path, "costs by function and line, callgrind format");
  // --ui web
  app.add_option("--web-port", s.web_port, "where --ui web serves its page (default 8044; 0: any free port)")
      ->check(CLI::Range(0, 65535));
  app.add_option("--web-bind", s.web_bind,
                 "the address --ui web listens on (default 127.0.0.1; e.g. 0.0.0.0 for every network)");
  app.add_option("--web-origin", s.web_origin,
                 "the page's address as the browser sees it behind a tunnel or a reverse proxy "
                 "(e.g. https://lab.example.org): requests for it are served");
  // Record and report.
  app.add_option("--record", s.record, "write what you do in the window or the terminal as a scenario script");
  app.add_option("--junit", s.junit, "write a JUnit XML report of --script: one testcase per expect");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::string what = e.what();
    return usage_error(what.empty() ? "bad command line (see --help)" : what + " (see --help)");
  }

  std::string error;
  if (!refuse_empty_values(app, &error)) return usage_error(error);
  const bool flash_boot = !flash_image.empty();
  if (flash_boot && !s.firmware.empty())
    return usage_error("--flash boots its image without the monitor: give no firmware ELF with it (an ELF image "
                       "carries its own symbols: --flash FILE.elf)");
  if (!flash_boot && s.firmware.empty()) return usage_error("firmware is required: a firmware ELF, or --flash IMAGE");
  if (flash_boot && !s.clips_dir.empty())
    return usage_error("--clips: the monitor puts the clips in SDRAM, and a --flash run has no monitor");
  if (flash_boot) s.firmware = flash_image;
  sim::set_log_verbose(s.verbose);
  if (!until_text.empty() && !sim::parse_duration(until_text, &s.until))
    return usage_error("--until: '" + until_text + "' is not a duration (e.g. 2.5s, 300ms)");
  if (!s.record.empty() && !s.script.empty())
    return usage_error("--record writes what a person does in the window or the terminal; a --script run has nobody");
  if (!s.junit.empty() && s.script.empty()) return usage_error("--junit reports the expects of a --script run");
  sim::SerialPortSpec port_spec[2];
  bool port_used[2] = {false, false};
  for (int u = 0; u < 2; ++u) {
    if (port_text[u].empty()) continue;
    if (!sim::parse_serial_port(port_text[u], &port_spec[u], &error))
      return usage_error("--uart" + std::to_string(u) + ": " + error);
    port_used[u] = true;
  }
  // The recording holds UART0's console but not UART1's far end: a replay
  // would miss what the client sent.
  if (port_used[1] && !s.record.empty())
    return usage_error("--record does not record UART1: what --uart1's client sends would be missing from the replay");
  if (ui.empty()) ui = s.script.empty() ? (display_available() ? "sdl" : "term") : "none";
  s.ui = ui;
  // A scenario runs headless, or watched in the browser page.
  // The web page runs the board its own way, without the debugger's hold.
  if (s.ui != "none" && s.ui != "web" && !s.script.empty())
    return usage_error("--script runs headless or with --ui web; use it with --ui none (or without --ui)");
  if (s.eeprom_off && !s.eeprom.empty())
    return usage_error("--eeprom-off and --eeprom do not go together: with the EEPROM off the bus no file is used");
  // (The terminal mode says so itself.)
  if (s.mic && s.ui != "sdl" && s.ui != "term")
    sim::log_warning("--mic", "ignored: the microphone needs the window (--ui sdl)");
  if (s.eeprom.empty() && !s.eeprom_off) {
    s.eeprom = sim::EepromFile::default_path(&error);
    if (s.eeprom.empty()) return usage_error("--eeprom: " + error);
  }

  sim::Scenario scenario;
  // A CI job reads the report even when the script or the firmware is bad.
  auto junit_error = [&](const std::string& message) {
    if (s.junit.empty()) return;
    sim::JunitRun report;
    report.script = s.script;
    report.firmware = s.firmware;
    report.error = message;
    std::string why;
    if (!sim::write_junit(s.junit, report, &why)) std::fprintf(stderr, "board-sim: --junit: %s\n", why.c_str());
  };
  if (!s.script.empty() && !scenario.load(s.script, &error)) {
    junit_error(error);
    return usage_error(error);
  }

  // Every file the run names, checked together before anything is read into
  // the board or written (see run_files.h). One line per option that names a
  // file: inputs with their size limit, outputs.
  sim::RunFiles files;
  files.input(flash_boot ? "--flash" : "firmware", s.firmware, kMaxFirmware);
  files.input("--script", s.script, sim::Scenario::kMaxBytes);
  files.input("--uart-in", s.uart_in, kMaxUartIn);
  files.input("--uart1-in", s.uart1_in, kMaxUartIn);
  files.input("--audio-in", s.audio_in, kMaxWav);
  if (!s.clips_dir.empty())
    for (const sim::ClipSlot& slot : sim::clip_slots()) files.input("--clips", s.clips_dir + "/" + slot.file, kMaxWav);
  files.output("--eeprom", s.eeprom);
  files.output("--uart-out", s.uart_out);
  files.output("--uart1-out", s.uart1_out);
  files.output("--audio-out", s.audio_out);
  files.output("--screenshot", s.screenshot);
  files.output("--fb-dump", s.fb_dump);
  files.output("--trace", s.trace);
  files.output("--coverage", coverage_path);
  files.output("--profile", profile_path);
  files.output("--record", s.record);
  files.output("--junit", s.junit);
  {
    // A script's screenshots are outputs too (the same name twice in one
    // script is one file, written again).
    std::vector<std::string> seen;
    for (const auto& [line, path] : scenario.screenshots()) {
      if (std::find(seen.begin(), seen.end(), path) != seen.end()) continue;
      seen.push_back(path);
      files.output(s.script + ":" + std::to_string(line) + ": screenshot", path);
    }
    for (const auto& [line, path] : scenario.pictures())
      files.input(s.script + ":" + std::to_string(line) + ": expect screen", path, sim::Scenario::kMaxPictureBytes);
  }
  if (!files.check(&error)) return usage_error(error);

  std::vector<uint8_t> uart_in;
  if (!s.uart_in.empty() && !sim::read_regular_file(s.uart_in, kMaxUartIn, &uart_in, &error))
    return usage_error("--uart-in: " + error);
  std::vector<uint8_t> uart1_in;
  if (!s.uart1_in.empty() && !sim::read_regular_file(s.uart1_in, kMaxUartIn, &uart1_in, &error))
    return usage_error("--uart1-in: " + error);

  sim::BoardOptions options;
  options.cycles_per_instruction = cpi;
  options.skip_polling = !no_skip;
  options.reference = reference;
  options.xtal_hz = xtal_hz;
  options.bounce = !no_bounce;
  options.check_alignment = check_alignment;
  options.strict_bus = strict_bus;
  std::vector<std::pair<int, uint32_t>> adc_values;
  for (const std::string& a : adc_inputs) {
    int ch = -1;
    unsigned value = 0;
    char end = 0;
    if (std::sscanf(a.c_str(), "%d=%u%c", &ch, &value, &end) != 2 || ch < 0 || ch > 7 || value > 1023)
      return usage_error("--adc: '" + a + "' is not CH=VALUE with CH 0..7 and VALUE 0..1023");
    adc_values.emplace_back(ch, value);
  }
  options.uart_baud = s.uart_baud;
  sim::Board board(options);
  if (!(flash_boot ? board.load_flash(s.firmware, &error) : board.load(s.firmware, &error))) {
    junit_error(error);
    return usage_error(error);
  }
  for (auto [ch, value] : adc_values) board.adc().set_input(ch, value);
  // `expect lcd` reads the screen with the firmware's own font: without one
  // every such line would fail, however right the program is.
  if (const int line = scenario.lcd_text_line(); line && !board.font()) {
    auto symbol = board.elf().symbol("font");
    std::string why = s.script + ":" + std::to_string(line) + ": expect lcd reads the LCD's text with the firmware's " +
                      "font, a table `const unsigned char font[256][16]` (glyph c's 16 rows, the MSB the left " +
                      "pixel), and " + s.firmware +
                      (symbol ? " has a `font` of " + std::to_string(symbol->size) + " bytes instead of 4096"
                              : " has no symbol `font`") +
                      " (expect pixel and expect screen need none)";
    junit_error(why);
    return usage_error(why);
  }

  if (s.eeprom_off) board.eeprom().set_connected(false);
  else if (!board.use_eeprom_file(s.eeprom, &error)) return usage_error("--eeprom: " + error);
  if (!s.clips_dir.empty() && !board.use_clips(s.clips_dir, &error)) return usage_error("--clips: " + error);
  // The port before any output is created: a refusal writes nothing.
  sim::GdbStub gdb(board);
  if (gdb_port >= 0 && !gdb.listen(gdb_port, &error)) return usage_error("--gdb: " + error);
  std::unique_ptr<sim::SerialPort> ports[2];
  for (int u = 0; u < 2; ++u) {
    if (!port_used[u]) continue;
    ports[u] = std::make_unique<sim::SerialPort>(board, u);
    if (!ports[u]->open(port_spec[u], &error)) return usage_error("--uart" + std::to_string(u) + ": " + error);
  }
  // A client on the other end of a port talks in real time.
  const bool any_port = port_used[0] || port_used[1];
  if (any_port) s.real_time = true;
  // Coverage and profile: the firmware's DWARF, and a recorder on the core
  // (without either option the board runs without one). Their files are
  // opened now so that a bad path fails before the run.
  sim::DebugInfo debug_info;
  std::unique_ptr<sim::ExecutionRecorder> recorder;
  std::ofstream coverage_out, profile_out;
  if (!coverage_path.empty() || !profile_path.empty()) {
    if (!debug_info.load(board.elf(), &error)) return usage_error(error);
    if (!coverage_path.empty()) {
      if (!debug_info.has_lines())
        return usage_error("--coverage: " + s.firmware + " has no DWARF line table (build it with -g)");
      coverage_out.open(coverage_path, std::ios::trunc);
      if (!coverage_out) return usage_error("--coverage: cannot write " + coverage_path);
    }
    if (!profile_path.empty()) {
      profile_out.open(profile_path, std::ios::trunc);
      if (!profile_out) return usage_error("--profile: cannot write " + profile_path);
      if (!debug_info.has_lines())
        sim::log_warning("profile", s.firmware + " has no DWARF line table (built without -g): costs by function only");
    }
    recorder = std::make_unique<sim::ExecutionRecorder>(board, !profile_path.empty());
  }
  if (!s.audio_in.empty() && !board.hear_audio(s.audio_in, &error)) return usage_error("--audio-in: " + error);
  if (!s.audio_out.empty() && !board.record_audio(s.audio_out, &error)) return usage_error("--audio-out: " + error);

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
  // The recording starts with what the replay cannot take from elsewhere:
  // the RTC's calendar (the host's clock), the EEPROM's array (its file
  // changes as the session goes) and the bytes of --uart-in.
  sim::Recorder session_recorder;
  if (!s.record.empty()) {
    if (!session_recorder.open(s.record, board.now(), &error)) return usage_error("--record: " + error);
    std::string again;
    if (!s.audio_in.empty()) again += " --audio-in " + s.audio_in;
    if (!s.clips_dir.empty()) again += " --clips " + s.clips_dir;
    if (s.eeprom_off) again += " --eeprom-off";
    if (cpi) again += " --cpi " + std::to_string(cpi);
    if (no_skip) again += " --no-skip";
    if (reference) again += " --reference";
    if (xtal_hz != sim::ClockPower::kFinHz) again += " --xtal " + std::to_string(xtal_hz);
    if (strict_bus) again += " --strict-bus";
    session_recorder.comment("Recorded by board-sim --record from " + s.firmware + ". Replay it with");
    session_recorder.comment("  board-sim --script " + s.record + " --eeprom SCRATCH.bin" + again +
                             (flash_boot ? " --flash " : " ") + s.firmware);
    session_recorder.comment("(the EEPROM's contents at the start are below: any scratch file will do).");
    session_recorder.rtc(board.rtc().time());
    session_recorder.eeprom(board.eeprom().contents().data(), board.eeprom().contents().size());
    if (s.mic) sim::log_warning("--record", std::string("the microphone is not recorded; a replay hears ") +
                                                (s.audio_in.empty() ? "silence" : s.audio_in));
    s.recorder = &session_recorder;
    session_recorder.console(uart_in, board.now());
    if (ports[0])
      ports[0]->set_input_observer([&](const std::vector<uint8_t>& bytes) { session_recorder.console(bytes, board.now()); });
  }
  if (!uart_in.empty()) board.uart_input(uart_in);
  std::FILE* uart1_out = nullptr;
  if (!s.uart1_out.empty()) {
    uart1_out = std::fopen(s.uart1_out.c_str(), "wb");
    if (!uart1_out) return usage_error("--uart1-out: cannot write " + s.uart1_out);
    board.add_uart1_listener([uart1_out](uint8_t b) { std::fputc(b, uart1_out); });
  }
  // UART1 is off at reset: its input waits until the program turns it on.
  if (!uart1_in.empty()) board.uart1().receive_when_enabled(uart1_in);

  bool halt_printed = false;
  if (gdb_port >= 0) {
    sim::GdbStub::Options debug;
    debug.until = s.until;
    debug.on_halt = [&] {
      report(end_report(board));
      halt_printed = true;
    };
    gdb.set_options(debug);
    s.gdb = &gdb;
    std::fprintf(stderr, "board-sim: waiting for gdb on 127.0.0.1:%d (gdb-multiarch %s -ex 'target remote :%d')\n",
                 gdb.port(), s.firmware.c_str(), gdb.port());
    // The scenario's time passes as gdb lets it: its inputs happen at their
    // virtual times however long gdb keeps the board stopped.
    scenario.set_advance([&](sim::VTime t) {
      sim::run_board(board, &gdb, t, [] { return sim::g_stop_requested.load(); });
      return !gdb.killed() && !sim::g_stop_requested;
    });
  }

  // The ports' names are the first thing a harness reads; with ,wait the
  // board stays at power-on until each such port has its client.
  for (int u = 0; u < 2; ++u)
    if (ports[u]) sim::log_warning("uart" + std::to_string(u), ports[u]->announcement());
  for (int u = 0; u < 2; ++u) {
    if (!ports[u] || !port_spec[u].wait || sim::g_stop_requested) continue;
    sim::log_warning("uart" + std::to_string(u), "waiting for a client on " + ports[u]->where() +
                                                     " before the board starts");
    ports[u]->wait_for_client([] { return sim::g_stop_requested.load(); });
  }
  // A script's time follows the wall clock while a client talks on a port.
  sim::Pacer script_pacer(board.now());
  if (any_port && s.ui != "web" && !s.script.empty())
    scenario.set_advance([&](sim::VTime t) {
      auto stop = [] { return sim::g_stop_requested.load(); };
      while (!board.halted() && board.now() < t && !stop() && !(s.gdb && gdb.killed())) {
        sim::VTime target = std::min(t, board.now() + 10 * sim::kMillisecond);
        sim::VTime due = script_pacer.due(board.now());
        if (due < target) std::this_thread::sleep_for(std::chrono::nanoseconds((target - due) / sim::kNanosecond));
        sim::run_board(board, s.gdb, target, stop);
      }
      return !stop() && !(s.gdb && gdb.killed());
    });

  int status = 0;
  bool ran = false;
  auto write_failed = [&](const std::string& what) {
    report(what);
    if (!status) status = kWriteFailed;
  };
  std::unique_ptr<sim::WebFrontEnd> web;
  if (s.ui == "web") {
    web = std::make_unique<sim::WebFrontEnd>(board, s);
    if (!web->start(&error)) return usage_error("--ui web: " + error);
    if (!s.script.empty()) scenario.set_advance([&](sim::VTime target) { return web->advance(target); });
    if (s.script.empty()) {
      // The page is the console; stdout gets it too, as with a script.
      board.add_console_listener([](uint8_t b) {
        console_byte(b);
        std::fflush(stdout);
      });
      web->run();
      ran = true;
    }
  }
  if (s.ui == "sdl") {
    ran = sim::run_sdl_ui(board, s);
    if (!ran) std::fprintf(stderr, "board-sim: no window; using the terminal mode\n");
  }
  if (!ran && (s.ui == "term" || s.ui == "sdl") && s.script.empty()) ran = sim::run_terminal_ui(board, s);
  if (!ran) {
    if (!s.script.empty()) {
      board.add_console_listener([](uint8_t b) {
        console_byte(b);
        if (b == '\n') std::fflush(stdout);
      });
      std::string failure;
      bool early = false;
      scenario.set_stop([] { return sim::g_stop_requested.load(); });
      if (!scenario.run(board, &failure, s.until, &early)) {
        // A halt is reported below, once, whatever line it cut short; after
        // main returned, the script's lines are still judged.
        if (!board.halted() || board.main_returned()) {
          report(failure);
          status = 1;
        }
      } else if (early && web && web->quit_requested()) {
        sim::log_warning("script", "the driving page quit at " + s.script + ":" +
                                       std::to_string(scenario.stopped_at_line()) +
                                       ": that line and the ones after it were not judged");
      } else if (early && !sim::g_stop_requested) {
        sim::log_warning("script", "--until " + until_text + " ended the run at " + s.script + ":" +
                                       std::to_string(scenario.stopped_at_line()) +
                                       ": that line and the ones after it were not judged");
      } else if (early) {
        sim::log_warning("script", std::string("stopped by ") + (g_signal == SIGINT ? "SIGINT" : "SIGTERM") + " at " +
                                       s.script + ":" + std::to_string(scenario.stopped_at_line()) +
                                       ": that line and the ones after it were not judged");
      } else if (s.until != sim::kForever && !board.halted()) {
        if (web) web->advance(s.until);
        else sim::run_board(board, s.gdb, s.until, [] { return sim::g_stop_requested.load(); });
      }
      if (web) web->finish(status ? "the script failed: " + failure : "the script is over");
    } else if (ports[0]) {
      // The port is UART0's far end: board-sim's own terminal is left alone
      // (a harness may run board-sim in the background).
      sim::run_paced(board, s.until, s.real_time, {}, s.gdb);
    } else {
      sim::RawConsole console;
      board.add_console_listener([](uint8_t b) {
        console_byte(b);
        std::fflush(stdout);
      });
      auto poll_console = [&] {
        auto typed = console.read_available();
        if (!typed.empty()) board.uart_input(typed);
        if (s.recorder) s.recorder->console(typed, board.now());
      };
      sim::run_paced(board, s.until, s.real_time, poll_console, s.gdb);
    }
  }
  if (web) web->finish({});
  for (auto& port : ports)
    if (port) port->finish();
  if (s.gdb) {
    // A debugger looking at the board where the run ended (a halt) keeps it.
    gdb.serve_while_holding([] { return sim::g_stop_requested.load(); });
    gdb.end_of_run();
  }
  std::fflush(stdout);

  // A halt decides the status, and its report is the one line about it.
  // `main` returning is the program's own end, no halt: its value is said,
  // and the status is the script's (0 without one).
  if (board.halted()) {
    if (!halt_printed) report(end_report(board));
    if (!board.main_returned()) status = 3;
  }

  // The outputs, whatever ended the run.
  if (session_recorder.is_open() && !session_recorder.finish(board.now(), &error)) write_failed("--record: " + error);
  if (!s.junit.empty()) {
    sim::JunitRun report;
    report.script = s.script;
    report.firmware = s.firmware;
    report.outcomes = scenario.outcomes();
    if (board.halted() && !board.main_returned()) report.error = board.halt_report();
    report.duration = board.now();
    if (!sim::write_junit(s.junit, report, &error)) write_failed("--junit: " + error);
  }
  if (!board.finish_audio(&error)) write_failed("--audio-out: " + error);
  if (sim::EepromFile* eeprom = board.eeprom_file(); eeprom && !eeprom->finish(&error))
    write_failed("--eeprom: " + error);
  std::vector<uint8_t> frame(sim::kLcdWidth * sim::kLcdHeight);
  board.screen(frame.data());
  if (!s.screenshot.empty() && !sim::write_lcd_png(s.screenshot, frame.data(), error))
    write_failed("--screenshot: " + error);
  if (!s.fb_dump.empty()) {
    std::FILE* f = std::fopen(s.fb_dump.c_str(), "wb");
    const bool ok = f && std::fwrite(frame.data(), 1, frame.size(), f) == frame.size();
    if ((f && std::fclose(f) != 0) || !ok) write_failed("--fb-dump: cannot write " + s.fb_dump);
  }
  if (s.lcd_text) {
    const uint8_t* font = board.font();
    if (!font) std::fprintf(stderr, "board-sim: --lcd-text: the firmware has no `font` table\n");
    else std::fputs(sim::format_runs(sim::find_lcd_text(font, frame.data())).c_str(), stdout);
  }
  auto close_output = [&](std::FILE* f, const std::string& option, const std::string& path) {
    if (!f) return;
    const bool bad = std::ferror(f) != 0;
    if ((std::fclose(f) != 0 || bad)) write_failed(option + ": cannot write " + path + " (a full disk?)");
  };
  if (recorder) {
    recorder->finish();
    if (coverage_out.is_open()) {
      std::string name = std::filesystem::path(s.script.empty() ? s.firmware : s.script).stem().string();
      sim::write_lcov(coverage_out, name, debug_info, *recorder);
      coverage_out.close();
      if (!coverage_out) write_failed("--coverage: cannot write " + coverage_path);
    }
    if (profile_out.is_open()) {
      std::string command;
      for (int i = 0; i < argc; ++i) command += (i ? " " : "") + std::string(argv[i]);
      sim::write_callgrind(profile_out, command, debug_info, *recorder);
      profile_out.close();
      if (!profile_out) write_failed("--profile: cannot write " + profile_path);
    }
  }
  close_output(trace, "--trace", s.trace);
  close_output(uart_out, "--uart-out", s.uart_out);
  close_output(uart1_out, "--uart1-out", s.uart1_out);
  std::fflush(stdout);

  if (!status && g_signal) status = 128 + g_signal;
  // Every output is written and closed: taking the board apart (Unicorn's
  // translation buffers, the SDRAM's mappings) would only make a short run
  // slower. The web page's server still says goodbye to its browsers.
  if (!web) {
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
