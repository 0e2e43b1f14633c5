// The simulated teaching board: the ARM core, the chip's blocks, the board's
// devices and the resident monitor, on one virtual clock.
//
// This is the API that the command line, the window, the scripts and the
// tests share: load a firmware ELF, run for a time or until a condition,
// drive the inputs, read the outputs, trace register accesses, and call a
// firmware function by name on the real ARM code.
#pragma once
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/arm_core.h"
#include "core/bus.h"
#include "core/elf_image.h"
#include "core/memory.h"
#include "core/scheduler.h"
#include "devices/adc.h"
#include "devices/at24c04.h"
#include "devices/cache_memories.h"
#include "devices/empty_bank.h"
#include "devices/audio.h"
#include "devices/dma.h"
#include "devices/iis.h"
#include "devices/uda1341ts.h"
#include "devices/clock_power.h"
#include "devices/eeprom_file.h"
#include "devices/iic.h"
#include "devices/intc.h"
#include "devices/keypad.h"
#include "devices/lcd_controller.h"
#include "devices/memory_controller.h"
#include "devices/ports.h"
#include "devices/push_buttons.h"
#include "devices/pwm_timers.h"
#include "devices/rtc.h"
#include "devices/register_file.h"
#include "devices/seven_segment.h"
#include "devices/syscfg.h"
#include "devices/uart.h"
#include "devices/watchdog.h"

namespace sim {

struct BoardOptions {
  // 0: every instruction costs its ARM7TDMI cycles in the memory it runs
  // from (core/arm_timing.h); N: a fixed N MCLK cycles per instruction.
  unsigned cycles_per_instruction = 0;
  bool skip_polling = true;  // skip the time the firmware spends polling registers or memory
  // What the RTC holds at power-on; unset: the host's local time.
  std::optional<RtcTime> rtc_start;
  // The line rate of both UARTs' far ends (the terminal, --uart-in, scripts), 8N1.
  uint32_t uart_baud = SerialTerminal::kDefaultBaud;
  // The keys' and push-buttons' contacts bounce at each press and release
  // (devices/contact_bounce.h); false for ideal switches.
  bool bounce = true;
  // Also watch every load for an unaligned address (slower: each load calls
  // back); unaligned stores are said either way.
  bool check_alignment = false;
  // An access where nothing answers (an empty bank) or a plain write to the
  // flash halts the board, with the address and the pc. Without it the
  // board goes on as the real one does, and the first is said once.
  bool strict_bus = false;
  // The oracle (ArmCore::set_reference): one instruction per slice, no
  // skipping (skip_polling is ignored), no splits or fast stores. Slow.
  bool reference = false;
  // The board's crystal, Fin: MCLK = Fin until PLLCON is written, then the
  // PLL's Fout from it.
  uint64_t xtal_hz = ClockPower::kFinHz;
};

constexpr int kLcdWidth = 320;
constexpr int kLcdHeight = 240;

class Board {
 public:
  explicit Board(BoardOptions options = {});
  ~Board();

  // Reads the ELF and powers the board on: the monitor loads it and stands
  // ready to enter `main`. False with a one-line reason on failure.
  bool load(const std::string& elf_path, std::string* error);
  // Puts an image in bank 0's flash and powers the board on without the
  // monitor: the core at the reset vector, every register at its reset
  // value. The image is a raw binary for address 0, or an ELF whose loaded
  // bytes all lie in the flash (by load address). False with a reason.
  bool load_flash(const std::string& image_path, std::string* error);
  // The board boots its own program from the flash (load_flash).
  bool flash_boot() const { return flash_boot_; }
  // Power-on reset: devices to reset values, image reloaded, monitor set-up.
  void power_on();

  // Where a run that reaches `until` ends.
  // - exact: at the first instruction boundary at or after `until`, as a
  //   runner that acts at that very time needs (a script's step, a key's
  //   release, the debugger's input): a block the time falls inside is
  //   split there, and an interrupt the runner's input then requests is
  //   taken at the boundary after it.
  // - block_end: at the end of the block the core is in at `until`, for a
  //   runner whose inputs come when they come (the frames of a window, the
  //   terminal or the web page, the wall clock's pace): an input lands at
  //   an instruction boundary all the same, the run's end, and is exact
  //   from there; no block is split for the run's end, which costs a short
  //   translation (and often the block's own anew) for every block that
  //   may reach it. now() is then at most a block's time past `until`.
  enum class RunEnd { exact, block_end };
  // Runs until virtual time `until`, a halt, or `stop` (checked between
  // slices, at least every millisecond of virtual time) returns true.
  void run_until(VTime until, const std::function<bool()>& stop = {}, RunEnd end = RunEnd::exact);
  void run_for(VTime duration) { run_until(now() + duration); }

  // Debugging. Breakpoints live on the core (core().add_breakpoint): a
  // run_until that reaches one ends before its instruction runs.
  bool at_breakpoint() const { return at_breakpoint_; }
  // One instruction as a slice of its own, the clock and the interrupts
  // handled as between any two slices: an interrupt due is taken instead,
  // and the step ends at the first instruction of its handler.
  void step();

  VTime now() const { return scheduler_.now(); }
  // MCLK cycles since power-on. A run ends at its time exactly; the core
  // may be inside an instruction then, whose cycles it has spent already
  // (they count here; now() reaches them when the board runs on).
  uint64_t cycles() const { return scheduler_.cycles() + carry_; }

  bool halted() const { return halted_; }
  const std::string& halt_reason() const { return halt_reason_; }
  // "halted: <reason> at pc 0x... (function+0x..); last console line: "...""
  std::string halt_report() const;
  // `main` returned to the monitor (a halt whose reason is "main returned"):
  // the program ended by itself, with this value in r0.
  bool main_returned() const { return main_returned_; }
  int32_t main_result() const { return main_result_; }
  // Watchdog resets since power-on.
  int resets() const { return resets_; }
  // The program sits in an endless loop in main's mode that no interrupt or
  // watchdog can end (see check_stuck): it has finished, which is no halt.
  bool finished() const { return finished_; }

  // Inputs.
  // Bytes the far end of UART0 (UART1) sends, back to back at its rate.
  void uart_input(const std::vector<uint8_t>& bytes) { uart0_.receive(bytes); }
  void uart1_input(const std::vector<uint8_t>& bytes) { uart1_.receive(bytes); }
  // Both far ends' line rate (8N1).
  void set_uart_baud(uint32_t baud);
  Keypad& keypad() { return keypad_; }
  PushButtons& buttons() { return buttons_; }

  // The EEPROM's image lives in this file from now on (see EepromFile).
  bool use_eeprom_file(const std::string& path, std::string* error);
  const std::string& eeprom_path() const;
  EepromFile* eeprom_file() { return eeprom_file_.get(); }
  At24c04& eeprom() { return eeprom_; }

  // Audio: what the codec plays goes to every sink added (a WAV file, the
  // window's sound device); what it hears comes from one source (silence
  // without). The sample clips come from WAV files in `dir` instead of being
  // generated; false with a reason if one is missing or of the wrong size.
  void add_audio_sink(AudioSink* sink) { audio_out_.add(sink); }
  bool record_audio(const std::string& wav_path, std::string* error);
  bool hear_audio(const std::string& wav_path, std::string* error);
  void set_audio_source(AudioSource* source) { codec_.set_input(source); }
  bool use_clips(const std::string& dir, std::string* error);
  // Ends the audio timeline at now() (pads the WAV file with silence).
  // False, with *error, when --audio-out's file could not be written whole.
  bool finish_audio(std::string* error = nullptr);
  Uda1341ts& codec() { return codec_; }
  Iis& iis() { return iis_; }
  Bdma& bdma() { return bdma_; }

  // The LCD as the controller scans it: 320 x 240 grey levels, 0 = white.
  void screen(uint8_t* grey) const { lcd_.render(ram_, grey); }
  // The firmware's 8 x 16 font (256 glyphs x 16 bytes), or nullptr.
  const uint8_t* font() const;

  // Outputs. The console is what UART0's far end decodes from the line,
  // garbled where the firmware's rate or frame does not match its own.
  const std::string& console() const { return console_; }
  // What UART1's far end decodes, and a listener for each byte of it.
  const std::string& uart1_output() const { return uart1_output_; }
  void add_uart1_listener(std::function<void(uint8_t)> listener) { uart1_listeners_.push_back(std::move(listener)); }
  std::string last_console_line() const;
  void add_console_listener(std::function<void(uint8_t)> listener) { console_listeners_.push_back(std::move(listener)); }
  bool led_lit(int pin) const { return ports_.led_lit(pin); }  // 9 left, 10 right
  uint8_t segment_latch() const { return segs_.latch(); }

  // The firmware.
  const ElfImage& elf() const { return elf_; }
  std::optional<uint32_t> symbol_address(const std::string& name) const;
  // Calls a function of the firmware with up to 4 word arguments (more go on
  // the stack) and returns r0, running the board meanwhile (interrupts are
  // served). The interrupted state is restored afterwards. Fails (false, with
  // *error) for an unknown symbol, a halt, or when `limit` passes first.
  bool call(const std::string& function, const std::vector<uint32_t>& args, uint32_t* result,
            VTime limit = kSecond, std::string* error = nullptr);

  // Called between slices, about every millisecond of virtual time, while
  // run_until runs the board: where the host's serial ports exchange bytes.
  void add_host_poll(std::function<void()> poll) { host_polls_.push_back(std::move(poll)); }

  // Register trace ("cycle R|W address value size"), nullptr to stop.
  void set_trace(std::FILE* file) { bus_.set_trace(file); }

  // Told of each exception the board enters, before the processor changes
  // mode: the vector's offset (0x04 undefined ... 0x18 IRQ, 0x1C FIQ,
  // 0x20 + 4k IRQ source k when vectored), the link address and the handler
  // (profiles show exceptions as calls).
  using ExceptionObserver = std::function<void(uint32_t offset, uint32_t link, uint32_t handler)>;
  void add_exception_observer(ExceptionObserver observer) { exception_observers_.push_back(std::move(observer)); }

  // Parts, for tests and front ends.
  Scheduler& scheduler() { return scheduler_; }
  Sdram& ram() { return ram_; }
  Bus& bus() { return bus_; }
  ArmCore& core() { return *core_; }
  Intc& intc() { return intc_; }
  Ports& ports() { return ports_; }
  Uart& uart0() { return uart0_; }
  Uart& uart1() { return uart1_; }
  ClockPower& clock() { return clock_; }
  Watchdog& watchdog() { return watchdog_; }
  SevenSegment& seven_segment() { return segs_; }
  LcdController& lcd() { return lcd_; }
  PwmTimers& timers() { return timers_; }
  Rtc& rtc() { return rtc_; }
  Iic& iic() { return iic_; }
  Adc& adc() { return adc_; }
  MemoryController& memory_controller() { return memctl_; }
  SysCfg& syscfg() { return syscfg_; }

  // The last IRQ or FIQ the monitor entered a handler for, as it found the
  // interrupted code (for debuggers: gdb cannot unwind through the mode
  // switch, see `monitor irq`).
  struct InterruptEntry {
    bool valid = false;
    int source = -1;     // IRQ source, -1 for FIQ or the non-vectored IRQ vector
    uint32_t handler = 0;
    uint32_t pc = 0;     // where the interrupted code goes on
    uint32_t cpsr = 0;   // its CPSR (the handler's SPSR)
    uint32_t sp = 0, lr = 0;  // its mode's sp and lr
    uint32_t handler_sp = 0;  // the handler's sp at entry
    VTime at = 0;
  };
  const InterruptEntry& last_interrupt() const { return last_interrupt_; }

  // Monitor facts.
  static constexpr uint32_t kMainReturnTrap = 0x100;  // LR given to main
  static constexpr uint32_t kCallReturnTrap = 0x104;  // LR given to call()

 private:
  enum class Exception { kUndefined, kSwi, kPrefetchAbort, kDataAbort, kIrq, kFiq };
  // The cache's tag and LRU memories, to the end of the page the LRU words end in.
  static constexpr uint32_t kCacheMemoriesMapped = 0x3000;
  void attach(Device* device);
  void monitor_setup();
  void reset_core();
  // Board memory that is no plain RAM (bus_faults.cpp).
  std::vector<std::pair<uint32_t, uint32_t>> empty_ranges() const;
  void on_empty_access(uint32_t address, bool write);
  void on_early_sdram(uint32_t address, bool write);
  bool bus_fault(const ArmCore::Slice& slice);
  bool skip_store(const ArmCore::Slice& slice);
  bool code_word(uint32_t address, unsigned width, uint32_t* word) const;
  bool endless_loop_at(uint32_t pc, bool thumb) const;
  void update_watches();
  bool take_interrupts();
  // Instruction-exact time (ArmCore::Timekeeper): requests and when they
  // rose, in MCLK cycles since power-on.
  void wire_timekeeper();
  void note_requests();
  bool exception_now() const;
  bool stop_after_access() const;
  void prepare_slice();
  VTime split_deadline() const;
  VTime event_deadline() const;  // the next event of split_deadline, the run's end aside
  void refresh_event_cycle();
  uint64_t requests_seen_from() const;  // the first cycle a standing request is seen
  void tell_requests();
  uint64_t cycles_into_slice(VTime when) const;
  static uint64_t after_sync(uint64_t cycle) {
    return cycle == UINT64_MAX ? cycle : cycle + ArmCore::kSyncCycles;
  }
  uint64_t slice_cycle(uint64_t absolute) const {
    return absolute > slice_base_cycles_ ? absolute - slice_base_cycles_ : 0;
  }
  bool irq_up_ = false, fiq_up_ = false;
  uint64_t irq_since_ = 0, fiq_since_ = 0;
  uint64_t slice_base_cycles_ = 0;
  void pass_core_cycles(uint64_t n);
  VTime run_end_ = kForever;  // the end of the run in progress (kForever: none, or RunEnd::block_end)
  uint64_t carry_ = 0;        // cycles of the core past it
  bool enter_exception(Exception kind, uint32_t link, int irq_source = -1);
  void handle_slice(const ArmCore::Slice& slice, VTime until);
  void halt(const std::string& reason);
  void check_stuck(VTime until);
  void watchdog_reset();
  // Power modes and clocks (board_power.cpp).
  void wire_clocks();
  void sleep(VTime until);
  void timing_changed();

  BoardOptions options_;
  Scheduler scheduler_;
  Sdram ram_;
  Bus bus_;
  ClockPower clock_;
  Intc intc_;
  Watchdog watchdog_;
  Ports ports_;
  Uart uart0_;
  Uart uart1_;
  SevenSegment segs_;
  LcdController lcd_;
  PwmTimers timers_;
  Rtc rtc_;
  Keypad keypad_;
  PushButtons buttons_;
  Iic iic_;
  At24c04 eeprom_;
  std::unique_ptr<EepromFile> eeprom_file_;
  Iis iis_;
  Bdma bdma_;
  Zdma zdma_;
  Adc adc_;
  MemoryController memctl_;
  SysCfg syscfg_;
  CacheMemories cache_memories_;
  std::vector<std::unique_ptr<EmptyBank>> empty_banks_;
  Uda1341ts codec_;
  AudioFanout audio_out_;
  std::unique_ptr<AudioSink> wav_sink_;
  std::unique_ptr<AudioSource> wav_source_;
  std::string clips_dir_;
  std::vector<std::unique_ptr<Device>> other_devices_;
  RegisterFile* sio_ = nullptr;  // one of other_devices_, with its CLKCON gate
  std::vector<Device*> devices_;
  std::unique_ptr<ArmCore> core_;
  ElfImage elf_;
  bool loaded_ = false;
  bool flash_boot_ = false;
  bool bus_misuse_said_ = false;  // the first access to nothing or write to the flash
  bool early_sdram_said_ = false;
  int sdram_watch_ = 0;          // data accesses to the SDRAM before it is set up
  bool sdram_watch_done_ = false;

  bool halted_ = false;
  std::string halt_reason_;
  uint32_t halt_pc_ = 0;
  bool reset_requested_ = false;
  int resets_ = 0;
  bool finished_ = false;
  bool main_returned_ = false;
  int32_t main_result_ = 0;
  // Said once per run: an IRQ handler that returned like a plain function.
  bool irq_return_said_ = false;
  void check_irq_return(const char* what, bool trouble);
  bool swi_taken_ = false;  // since power-on: a loop in SVC mode with IRQs off may be the SWI handler
  bool keep_rtc_ = false;   // power_on for a watchdog reset: the RTC keeps its time
  bool in_call_ = false;
  bool call_returned_ = false;
  bool at_breakpoint_ = false;
  InterruptEntry last_interrupt_;

  std::string console_;
  std::vector<std::function<void(uint8_t)>> console_listeners_;
  std::string uart1_output_;
  std::vector<std::function<void(uint8_t)>> uart1_listeners_;
  std::vector<ExceptionObserver> exception_observers_;
  std::vector<std::function<void()>> host_polls_;
  VTime next_host_poll_ = 0;
};

}  // namespace sim
