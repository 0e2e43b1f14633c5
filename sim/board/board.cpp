#include "board/board.h"

#include <algorithm>
#include <ctime>

#include "board/clips.h"
#include "board/memory_timing.h"
#include "core/log.h"
#include "core/s3c44b0x.h"
#include "devices/wav_audio.h"

namespace sim {

namespace {
constexpr uint32_t kUdf = 0xE7F000F0;          // permanently undefined: the monitor's traps
constexpr VTime kMaxSlice = kMillisecond;

RtcTime host_local_time() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return RtcTime::from_tm(tm);
}

}  // namespace

Board::Board(BoardOptions options)
    : options_(options),
      bus_(scheduler_),
      clock_(chip::kClockPower, scheduler_),
      intc_(chip::kIntc),
      watchdog_(chip::kWatchdog, scheduler_, intc_),
      ports_(chip::kPorts, intc_),
      uart0_("uart0", chip::kUart0, scheduler_, intc_, chip::kIrqUrxd0, chip::kIrqUtxd0, chip::kIrqUerr01),
      uart1_("uart1", chip::kUart1, scheduler_, intc_, chip::kIrqUrxd1, chip::kIrqUtxd1, chip::kIrqUerr01),
      segs_(chip::kSegsLatch),
      lcd_(chip::kLcd, &scheduler_),
      timers_(chip::kPwm, scheduler_, intc_),
      rtc_(chip::kRtc, scheduler_, intc_, options.rtc_start ? *options.rtc_start : host_local_time()),
      keypad_(chip::kKeypadBase, ports_, &scheduler_),
      buttons_(ports_, &scheduler_),
      iic_(chip::kIic, scheduler_, intc_),
      eeprom_(scheduler_),
      iis_(chip::kIis, scheduler_),
      bdma_(chip::kBdma, intc_, ram_),
      zdma_(chip::kZdma),
      adc_(chip::kAdc, scheduler_, intc_),
      memctl_(chip::kMemCtl),
      syscfg_(chip::kSysCfg),
      cache_memories_(chip::kCacheTags, kCacheMemoriesMapped) {
  clock_.set_fin_hz(options_.xtal_hz);  // (power_on resets the clock from it)
  // Reset order matters: the ports first, then the devices that drive pins.
  for (Device* d : std::initializer_list<Device*>{&clock_, &intc_, &watchdog_, &ports_, &uart0_, &uart1_, &segs_,
                                                  &lcd_, &timers_, &rtc_, &keypad_, &iic_, &iis_, &bdma_, &zdma_})
    attach(d);
  keypad_.set_bounce(options_.bounce);
  buttons_.set_bounce(options_.bounce);
  iic_.attach(eeprom_);
  iis_.set_dma(&bdma_);
  bdma_.set_pacer(&iis_);
  iis_.set_codec(&codec_);
  codec_.attach(ports_);
  codec_.set_sync([this] { iis_.sync(); });
  codec_.set_output(&audio_out_);
  // The cache mode and the memory controller's timing decide what the core's
  // cycles cost, and the internal SRAM's window.
  attach(&memctl_);
  attach(&syscfg_);
  // Blocks set up by the firmware whose settings change nothing in the model:
  // bus priorities.
  other_devices_.push_back(std::make_unique<RegisterFile>("sbuscon", chip::kSbusCon, 0x4,
                                                          std::vector<RegisterFile::ResetValue>{{0, 0x80001B1B}}, true));
  // Blocks the board does not use: their registers hold what is written and
  // the first access to each is reported.
  other_devices_.push_back(std::make_unique<RegisterFile>("sio", chip::kSio, 0x14));
  sio_ = static_cast<RegisterFile*>(other_devices_.back().get());
  sio_->set_gate(ClockPower::kSio);
  for (auto& d : other_devices_) attach(d.get());
  attach(&adc_);

  attach(&cache_memories_);
  std::vector<std::pair<uint32_t, uint32_t>> mmio{{chip::kSfrBase, chip::kSfrSize},
                                                  {chip::kSegsLatch, 0x1000},
                                                  {chip::kKeypadBase, chip::kKeypadSize},
                                                  {chip::kCacheTags, kCacheMemoriesMapped}};
  // Where nothing answers, an access goes on as on the board (EmptyBank);
  // with strict_bus it stays unmapped, and the core's fault halts the board.
  if (!options_.strict_bus) {
    for (auto [base, size] : empty_ranges()) {
      empty_banks_.push_back(
          std::make_unique<EmptyBank>(base, size, [this](uint32_t address, bool write) { on_empty_access(address, write); }));
      bus_.attach(empty_banks_.back().get());
      mmio.emplace_back(base, size);
    }
  }
  core_ = std::make_unique<ArmCore>(ram_, bus_, mmio);
  cache_memories_.set_flush_listener([this] { core_->invalidate_cache(); });
  if (options_.reference) options_.skip_polling = false;
  core_->set_cycles_per_instruction(options_.cycles_per_instruction);
  core_->set_idle_skip(options_.skip_polling);
  core_->set_reference(options_.reference);
  if (options_.check_alignment) core_->watch_unaligned_loads();
  memctl_.set_listener([this] { timing_changed(); });
  syscfg_.set_listener([this] { timing_changed(); });
  timing_changed();

  scheduler_.set_inflight_source(core_->inflight_cycles());
  wire_timekeeper();
  bus_.set_position_source(core_->access_position());
  bus_.set_pc_source(core_->access_pc());
  bus_.set_idle_detection(options_.skip_polling);
  bus_.set_idle_listener([this] { core_->request_stop(); });
  bus_.set_state_checker([this] { core_->begin_state_check(); }, [this] { return core_->state_unchanged(); });
  if (options_.skip_polling)
    core_->set_register_predictor([this](uint32_t address, uint64_t cycles, uint32_t* value) {
      Device* d = bus_.find(address);
      return d && d->predict(address - d->base(), scheduler_.now() + cycles * scheduler_.cycle_period(), value);
    });
  uart0_.far_end().set_listener([this](uint8_t byte) {
    console_.push_back(static_cast<char>(byte));
    for (auto& l : console_listeners_) l(byte);
  });
  wire_clocks();
  uart1_.far_end().set_listener([this](uint8_t byte) {
    uart1_output_.push_back(static_cast<char>(byte));
    for (auto& l : uart1_listeners_) l(byte);
  });
  set_uart_baud(options_.uart_baud);
  watchdog_.set_reset_handler([this] {
    reset_requested_ = true;
    if (core_->running()) core_->request_stop();
  });
}

Board::~Board() = default;

// The core keeps time at the instruction (see ArmCore): it asks the board to
// fire the events due before a register access, whether an exception is to
// be taken at a boundary, and whether an access must end the instruction
// stream there (an exception it made takeable, IDLE).
void Board::wire_timekeeper() {
  scheduler_.set_deadline_listener([this](VTime when) {
    if (!core_->running()) return;
    core_->limit_at(cycles_into_slice(when));
    refresh_event_cycle();
  });
  intc_.set_listener([this] { note_requests(); });
  // Unmasking a source may make its next event one that can interrupt.
  intc_.set_routing_listener([this] {
    if (core_->running()) refresh_event_cycle();
  });
  ArmCore::Timekeeper keeper;
  keeper.fire_due = [this] {
    if (scheduler_.next_deadline() > scheduler_.now()) return;
    scheduler_.fire_due();
    // What those events armed may come before the slice's end.
    uint64_t at = cycles_into_slice(scheduler_.next_deadline());
    if (at != UINT64_MAX) core_->limit_at(at);
    refresh_event_cycle();
  };
  keeper.exception_now = [this] { return exception_now(); };
  keeper.stop_after = [this] { return stop_after_access(); };
  core_->set_timekeeper(std::move(keeper));
}

// The next event that could make an exception takeable: one that may request
// a source the interrupt controller would pass on now, or one that says
// nothing of what it requests (a reset, perhaps). The core splits blocks
// only at those; the others fire at the next register access or slice end,
// each at its own due time, which no instruction of the block can tell.
// The end of a run that ends exactly is such a point too: whoever runs the
// board may change its inputs there (a script's button, a key's release,
// the debugger), and an interrupt that requests is taken at the first
// instruction boundary after it, as on the chip, not after the rest of a
// block the run ended in. (A run that may end at a block's end, a frame's,
// has none: RunEnd::block_end.)
VTime Board::split_deadline() const { return std::min(event_deadline(), run_end_); }

VTime Board::event_deadline() const {
  constexpr uint32_t kNotASource = ~((1u << chip::kIrqCount) - 1);
  return scheduler_.next_deadline(intc_.takeable_sources() | kNotASource);
}

void Board::refresh_event_cycle() {
  const VTime event = event_deadline();
  const VTime at = std::min(event, run_end_);  // (split_deadline)
  core_->set_event_cycle(after_sync(cycles_into_slice(at)), at < event);
}

// When a request rises, the synchroniser's latency counts from then.
void Board::note_requests() {
  bool irq = intc_.irq_asserted(), fiq = intc_.fiq_asserted();
  uint64_t now = scheduler_.cycles();
  if (irq && !irq_up_) irq_since_ = now;
  if (fiq && !fiq_up_) fiq_since_ = now;
  irq_up_ = irq;
  fiq_up_ = fiq;
  if (core_->running()) tell_requests();
}

uint64_t Board::requests_seen_from() const {
  uint64_t from = UINT64_MAX;
  if (irq_up_) from = irq_since_ + ArmCore::kSyncCycles;
  if (fiq_up_) from = std::min(from, fiq_since_ + ArmCore::kSyncCycles);
  return from;
}

void Board::tell_requests() {
  uint64_t from = requests_seen_from();
  core_->set_exception_request(from != UINT64_MAX, from != UINT64_MAX ? slice_cycle(from) : 0);
}

// `when` in cycles from the start of the slice in progress (or the next
// one), rounded up; UINT64_MAX for never.
uint64_t Board::cycles_into_slice(VTime when) const {
  if (when == kForever) return UINT64_MAX;
  VTime base = scheduler_.slice_base(), per = scheduler_.cycle_period();
  return when > base ? (when - base + per - 1) / per : 0;
}

bool Board::exception_now() const {
  if (reset_requested_) return true;
  if (!irq_up_ && !fiq_up_) return false;
  uint32_t cpsr = core_->cpsr();
  uint64_t now = scheduler_.cycles();
  return (fiq_up_ && !(cpsr & ArmCore::kCpsrF) && now >= fiq_since_ + ArmCore::kSyncCycles) ||
         (irq_up_ && !(cpsr & ArmCore::kCpsrI) && now >= irq_since_ + ArmCore::kSyncCycles);
}

// An instruction whose access made a request takeable lasts long enough
// (at least two cycles) for the synchroniser: it is taken right after it.
bool Board::stop_after_access() const {
  if (reset_requested_ || clock_.core_stopped()) return true;
  if (!irq_up_ && !fiq_up_) return false;
  uint32_t cpsr = core_->cpsr();
  return (fiq_up_ && !(cpsr & ArmCore::kCpsrF)) || (irq_up_ && !(cpsr & ArmCore::kCpsrI));
}

// What the core needs to know as a slice begins: when the next event may
// make an exception takeable, and the requests standing.
void Board::prepare_slice() {
  slice_base_cycles_ = scheduler_.cycles();
  // Drawing goes to the LCD's frame buffer: its stores may take the fast path.
  const uint32_t frame = lcd_.start_address();
  core_->set_fast_stores(frame, frame + lcd_.line_stride() * static_cast<uint32_t>(std::max(lcd_.picture_height(), 0)));
  refresh_event_cycle();
  tell_requests();
  core_->set_fiq_possible(intc_.fiq_possible());
}

void Board::timing_changed() {
  if (!core_) return;
  core_->set_timing(memory_timing(memctl_, syscfg_));
  core_->set_sram_window(syscfg_.sram_begin(), syscfg_.sram_end());
}

void Board::attach(Device* device) {
  devices_.push_back(device);
  bus_.attach(device);
}

bool Board::load(const std::string& elf_path, std::string* error) {
  if (!elf_.load(elf_path, error)) return false;
  for (const ElfSegment& seg : elf_.segments()) {
    if (!ram_.contains(seg.address, seg.memory_size)) {
      *error = elf_path + ": a segment at " + hex32(seg.address) + " (" + std::to_string(seg.memory_size) +
               " bytes) lies outside the board's SDRAM (0x0C000000..0x0C7FFFFF); link the program for this board";
      return false;
    }
  }
  if (!elf_.symbol("main")) {
    *error = elf_path + ": no `main` symbol; the monitor enters the program at main";
    return false;
  }
  loaded_ = true;
  flash_boot_ = false;
  core_->set_flash_reads_charged(false);
  ram_.clear();
  // Nothing of the monitor's ROM is for the program to run: every word traps,
  // so a jump into it is reported instead of running through zeros.
  core_->fill_rom(kUdf);
  power_on();
  return true;
}

void Board::power_on() {
  scheduler_.cancel_all();
  for (Device* d : devices_)
    if (!(keep_rtc_ && d == &rtc_)) d->reset();
  buttons_.reset();
  eeprom_.reset();
  codec_.reset();
  halted_ = false;
  halt_reason_.clear();
  reset_requested_ = false;
  carry_ = 0;
  finished_ = false;
  main_returned_ = false;
  main_result_ = 0;
  swi_taken_ = false;
  bus_.forget_history();
  if (flash_boot_)
    reset_core();
  else
    monitor_setup();
}

void Board::set_uart_baud(uint32_t baud) {
  uart0_.far_end().set_baud(baud);
  uart1_.far_end().set_baud(baud);
}

bool Board::use_eeprom_file(const std::string& path, std::string* error) {
  auto file = std::make_unique<EepromFile>();
  if (!file->open(path, error)) return false;
  file->attach(eeprom_);
  eeprom_file_ = std::move(file);
  return true;
}

bool Board::record_audio(const std::string& wav_path, std::string* error) {
  auto sink = std::make_unique<WavFileSink>();
  if (!sink->open(wav_path, chip::kBoardSampleRate, error)) return false;
  audio_out_.add(sink.get());
  wav_sink_ = std::move(sink);
  return true;
}

bool Board::hear_audio(const std::string& wav_path, std::string* error) {
  auto source = std::make_unique<WavFileSource>();
  if (!source->open(wav_path, error)) return false;
  codec_.set_input(source.get());
  wav_source_ = std::move(source);
  return true;
}

bool Board::use_clips(const std::string& dir, std::string* error) {
  if (!load_clips(ram_, dir, error)) {
    generate_clips(ram_);
    return false;
  }
  clips_dir_ = dir;
  return true;
}

const std::string& Board::eeprom_path() const {
  static const std::string none;
  return eeprom_file_ ? eeprom_file_->path() : none;
}

const uint8_t* Board::font() const {
  auto s = elf_.symbol("font");
  if (!s || s->size < 4096) return nullptr;
  return ram_.at(s->address, 4096);
}

std::optional<uint32_t> Board::symbol_address(const std::string& name) const {
  auto s = elf_.symbol(name);
  if (!s) return std::nullopt;
  return s->address;
}

void Board::halt(const std::string& reason) {
  halted_ = true;
  halt_reason_ = reason;
  halt_pc_ = core_->pc();
  // What the firmware handed to the UART before it stopped still goes out,
  // as it would on the board: its last message is usually the reason.
  VTime limit = scheduler_.now() + 50 * kMillisecond;
  while (!(uart0_.transmit_idle() && uart1_.transmit_idle()) && scheduler_.next_deadline() <= limit)
    scheduler_.advance_to(scheduler_.next_deadline());
}

std::string Board::last_console_line() const {
  size_t end = console_.size();
  while (end > 0 && (console_[end - 1] == '\n' || console_[end - 1] == '\r')) --end;
  size_t begin = console_.find_last_of("\r\n", end ? end - 1 : 0);
  begin = (begin == std::string::npos || end == 0) ? 0 : begin + 1;
  return end > begin ? console_.substr(begin, end - begin) : "";
}

std::string Board::halt_report() const {
  std::string where = elf_.describe(halt_pc_);
  std::string report = "halted: " + halt_reason_ + " at pc " + hex32(halt_pc_);
  if (!where.empty()) report += " (" + where + ")";
  report += "; last console line: \"" + last_console_line() + "\"";
  return report;
}

bool Board::take_interrupts() {
  uint32_t cpsr = core_->cpsr();
  const uint64_t now = scheduler_.cycles();
  note_requests();
  if (!(cpsr & ArmCore::kCpsrF) && intc_.fiq_asserted() && now >= fiq_since_ + ArmCore::kSyncCycles) {
    if (enter_exception(Exception::kFiq, core_->pc() + 4)) pass_core_cycles(core_->exception_entry_cycles());
    return true;
  }
  if (!(cpsr & ArmCore::kCpsrI) && intc_.irq_asserted() && now >= irq_since_ + ArmCore::kSyncCycles) {
    int source = intc_.highest_irq();
    intc_.acknowledge_irq(source);
    if (enter_exception(Exception::kIrq, core_->pc() + 4, source))
      pass_core_cycles(core_->exception_entry_cycles());
    return true;
  }
  return false;
}

void Board::handle_slice(const ArmCore::Slice& slice, VTime until) {
  pass_core_cycles(slice.cycles);
  bool entered = false;
  switch (slice.stop) {
    case ArmCore::Stop::kException:
      if (flash_boot_ && slice.exception == 1) {
        // No monitor: its traps are the program's own flash.
        entered = enter_exception(Exception::kUndefined, slice.pc + ((core_->cpsr() & ArmCore::kCpsrT) ? 2 : 4));
      } else if (slice.exception == 1 && slice.pc == kMainReturnTrap) {
        core_->set_pc(slice.pc);
        main_returned_ = true;
        main_result_ = static_cast<int32_t>(core_->reg(ArmCore::R0));
        halt("main returned");
      } else if (slice.exception == 1 && slice.pc == kCallReturnTrap && in_call_) {
        core_->set_pc(slice.pc);
        call_returned_ = true;
      } else if (slice.exception == 1 && slice.pc < chip::kBank0Base + chip::kBank0Size) {
        core_->set_pc(slice.pc);
        halt("the program jumped into the monitor's ROM (lr " + hex32(core_->reg(ArmCore::LR)) + ")");
      } else if (slice.exception == 1) {
        entered = enter_exception(Exception::kUndefined, slice.pc + ((core_->cpsr() & ArmCore::kCpsrT) ? 2 : 4));
      } else if (slice.exception == 2) {
        swi_taken_ = true;
        entered = enter_exception(Exception::kSwi, slice.pc);
      } else {
        core_->set_pc(slice.pc);
        entered = enter_exception(Exception::kPrefetchAbort, slice.pc + 4);  // BKPT on ARMv4T
      }
      break;
    case ArmCore::Stop::kFault:
      core_->set_pc(slice.fault_pc);
      if (slice.fault_fetch)
        entered = enter_exception(Exception::kPrefetchAbort, slice.fault_pc + 4);
      else if (!bus_fault(slice))
        entered = enter_exception(Exception::kDataAbort, slice.fault_pc + 8);
      break;
    case ArmCore::Stop::kBreakpoint: at_breakpoint_ = true; break;
    case ArmCore::Stop::kBudget: break;
  }
  if (entered) pass_core_cycles(core_->exception_entry_cycles());
  // A wait on memory (see ArmCore::take_idle): nothing changes before the
  // next event. The loop's turns pass at once, as many as emulating them
  // would run before the slice that reaches the event (or the end of the
  // run) ends, so that the program goes on at the very cycle it would
  // without skipping. Skipped turns are not counted as instructions: the
  // count stays that of the instructions run.
  // The turns pass up to the one the core would stop at or cut short at an
  // event (ArmCore::turns_before_stop), so that it runs as it would.
  if (core_->take_idle() && !exception_now()) {
    // (Between slices the next one starts now: cycles into it are cycles from now.)
    VTime now = scheduler_.now(), target = std::min(scheduler_.next_deadline(), until);
    if (target > now && target != kForever) {
      uint64_t need = cycles_into_slice(target);
      uint64_t split = after_sync(cycles_into_slice(split_deadline()));
      uint64_t from = requests_seen_from(), cycles_now = scheduler_.cycles();
      if (from != UINT64_MAX) split = std::min(split, from > cycles_now ? from - cycles_now : 0);
      uint32_t bits = ArmCore::kCpsrI | (intc_.fiq_possible() ? ArmCore::kCpsrF : 0u);
      bool splittable = core_->idle_turn_has_msr() || (core_->cpsr() & bits) != bits;
      uint64_t turn = core_->idle_turn_cycles();
      uint64_t turns = ArmCore::turns_before_stop(need, split, turn, core_->idle_turn_last_boundary(), splittable);
      pass_core_cycles(turns * turn);
    }
  }
  // A register poll (see Bus): whole turns of the loop pass at once, all but
  // the last before the time its registers or the next event may change;
  // that one and the rest run as they would, so that the program sees the
  // change at the same cycle as without skipping.
  // (Its turns pass from a turn's start: not from an instruction inside the
  // block, where a split at an event or a register access ended the slice,
  // nor from past the loop, which a poll counting its turns leaves after
  // the checked turn when that was its last.)
  // (Nor after an event that ran since the poll was found, at the slice's
  // end typically: what it changed, the turns would read.)
  if (bus_.idle_detected() && (exception_now() || core_->ended_inside_block() || !core_->at_poll_turn_start() ||
                               bus_.events_since_found()))
    bus_.take_idle_until();
  if (bus_.idle_detected()) {
    uint64_t turn = bus_.idle_turn_cycles();
    VTime now = scheduler_.now(), target = std::min({bus_.take_idle_until(), scheduler_.next_deadline(), until});
    if (target > now && target != kForever && turn) {
      uint64_t need = (target - now + scheduler_.cycle_period() - 1) / scheduler_.cycle_period();
      // (a poll that counts its turns: only as many as leave its time-out
      // to come when it would)
      uint64_t turns = need / turn >= 2 ? std::min(need / turn - 1, core_->poll_turns_limit()) : 0;
      if (turns) {
        bus_.trace_poll_turns(scheduler_.cycles(), turns);
        pass_core_cycles(turns * turn);
        core_->pass_poll_turns(turns);
      }
    }
  }
  if (!irq_return_said_ && (core_->cpsr() & 0x1F) == ArmCore::kIrq) check_irq_return("", false);
  if (reset_requested_) {
    watchdog_reset();
    at_breakpoint_ = false;  // the program starts again from main
  }
  update_watches();
}

// A branch to itself (or back over instructions that change nothing: the
// `mov r0, r0; b .-4` that `while (1);` becomes at -O0) leaves only through
// an interrupt or the watchdog.
// - An interrupt is possible: nothing happens until the next event, so the
//   time passes at once (the usual idle loop).
// - None is, but the watchdog runs with its reset on: the time passes to its
//   reset (or to an earlier event), as on the board.
// - Neither, in an exception handler (IRQ, FIQ, abort, undefined mode, or
//   supervisor mode with IRQs off after a SWI was taken: the SWI handler):
//   the board is stuck, a halt (the firmware's fatal handlers end this way).
// - Neither, in the mode main runs in (supervisor, or system/user if the
//   program switched): the program has finished, a student's `for (;;);`
//   after its work. That is no failure: it is said once and the board runs
//   on, its time passing at once.
void Board::check_stuck(VTime until) {
  uint32_t pc = core_->pc();
  uint32_t cpsr = core_->cpsr();
  if (!endless_loop_at(pc, (cpsr & ArmCore::kCpsrT) != 0)) return;
  bool irq_possible = !(cpsr & ArmCore::kCpsrI) && !(intc_.intcon() & 2) && !(intc_.mask() & chip::kGlobalMaskBit) &&
                      (intc_.mask() & 0x3FFFFFF) != 0x3FFFFFF;
  bool fiq_possible = !(cpsr & ArmCore::kCpsrF) && !(intc_.intcon() & 1) && !(intc_.mask() & chip::kGlobalMaskBit);
  const bool watchdog_resets = (watchdog_.read(0, 4) & 0x21) == 0x21;  // WTCON: enabled, reset output on
  if (!irq_possible && !fiq_possible && !watchdog_resets) {
    const uint32_t mode = cpsr & 0x1F;
    const char* handler = mode == ArmCore::kIrq   ? "the IRQ handler"
                          : mode == ArmCore::kFiq ? "the FIQ handler"
                          : mode == ArmCore::kAbt ? "an abort handler"
                          : mode == ArmCore::kUnd ? "the undefined-instruction handler"
                          : mode == ArmCore::kSvc && (cpsr & ArmCore::kCpsrI) && swi_taken_
                              ? "the software-interrupt handler"
                              : nullptr;
    if (handler) {
      if (mode == ArmCore::kIrq) check_irq_return(" and loops for ever", true);
      halt(std::string("stuck in a loop that no interrupt can leave, in ") + handler);
      return;
    }
    if (!finished_) {
      finished_ = true;
      std::string where = elf_.describe(pc);
      log_warning("board", "the program has finished: it loops for ever at pc " + hex32(pc) +
                               (where.empty() ? "" : " (" + where + ")") +
                               " with no interrupt or watchdog that could end it; the board runs on (said once)");
    }
  }
  if (!options_.skip_polling) return;
  // An interrupt that can be taken now is taken at the next slice: skipping
  // to the next event first would space out a level-triggered source's or an
  // unacknowledged EXTINTPND's re-entries.
  if ((!(cpsr & ArmCore::kCpsrI) && intc_.irq_asserted()) || (!(cpsr & ArmCore::kCpsrF) && intc_.fiq_asserted()))
    return;
  // Whole turns of the branch pass, to the first that starts at or after
  // the next event, as running them would.
  VTime target = std::min(scheduler_.next_deadline(), until);
  VTime now = scheduler_.now(), per = scheduler_.cycle_period();
  if (target > now && target != kForever) {
    uint64_t turn = std::max<uint64_t>(core_->instruction_cycles(pc), 1);
    uint64_t need = (target - now + per - 1) / per;
    pass_core_cycles((need + turn - 1) / turn * turn);
  }
  if (reset_requested_) watchdog_reset();
}

// The RTC runs from the board's backup battery: a watchdog reset restarts the
// chip's blocks but the calendar counts on, with its seconds phase. Its
// control registers (RTCCON, RTCALM, RTCRST, TICNT) go to their reset values
// like every other block's; the alarm time registers keep what they hold.
void Board::watchdog_reset() {
  // Said for the first reset only: a program that leaves the watchdog on
  // resets about once a second, and a long run would print little else.
  if (++resets_ == 1)
    log_warning("board", "the watchdog reset the chip at " + format_duration(now()) +
                             (flash_boot_ ? "; the program starts again at the reset vector"
                                          : "; the monitor starts the program again") +
                             " (later resets are not reported)");
  keep_rtc_ = true;
  power_on();
  keep_rtc_ = false;
  for (uint32_t offset : {0x40u, 0x50u, 0x6Cu, 0x8Cu}) rtc_.write(offset, 0, 1);
}

bool Board::finish_audio(std::string* error) {
  audio_out_.finish(now());
  auto* wav = static_cast<WavFileSink*>(wav_sink_.get());
  if (wav && wav->failed()) {
    if (error) *error = wav->error();
    return false;
  }
  return true;
}

// The core's cycles pass, but the board's time no further than the end of
// the run: what is left is an instruction still in progress when the run
// stops, and the next slice starts with it. So a run ends at its time to
// the picosecond, and two runs back to back do what one would.
void Board::pass_core_cycles(uint64_t n) {
  VTime now = scheduler_.now(), per = scheduler_.cycle_period();
  bool cut = false;
  if (run_end_ != kForever) {
    uint64_t room = run_end_ > now ? (run_end_ - now) / per : 0;
    if (n > room) {
      carry_ += n - room;
      n = room;
      cut = true;
    }
  }
  scheduler_.run_cycles(n);
  if (cut && scheduler_.now() < run_end_) scheduler_.advance_to(run_end_);
}

void Board::run_until(VTime until, const std::function<bool()>& stop, RunEnd end) {
  at_breakpoint_ = false;
  if (!loaded_) return;
  // (the slices end at `until` as always: the core stops before the first
  // block that starts at or after it)
  run_end_ = end == RunEnd::exact ? until : kForever;
  while (!halted_ && scheduler_.now() < until) {
    if (stop && stop()) break;
    if (!host_polls_.empty() && scheduler_.now() >= next_host_poll_) {
      next_host_poll_ = scheduler_.now() + kMaxSlice;
      for (auto& poll : host_polls_) poll();
    }
    if (clock_.core_stopped()) {  // IDLE, SL_IDLE, STOP: no instruction runs
      sleep(until);
      continue;
    }
    if (carry_) {  // the instruction the last run stopped in ends first
      uint64_t carried = carry_;
      carry_ = 0;
      pass_core_cycles(carried);
      continue;
    }
    take_interrupts();
    if (halted_) break;
    // An exception's entry that the run's end cut short: the rest of it
    // passes before the handler's first instruction, in the next run.
    if (carry_) continue;
    VTime now = scheduler_.now();
    VTime deadline = std::min({scheduler_.next_deadline(), until, now + kMaxSlice});
    VTime per_cycle = scheduler_.cycle_period();
    uint64_t budget = deadline > now ? (deadline - now + per_cycle - 1) / per_cycle : 1;
    prepare_slice();
    ArmCore::Slice slice = core_->run(budget);
    handle_slice(slice, until);
    if (at_breakpoint_) break;
    if (!halted_) check_stuck(until);
  }
}

void Board::step() {
  at_breakpoint_ = false;
  if (!loaded_ || halted_) return;
  if (take_interrupts() || halted_) return;
  VTime until = now() + kMaxSlice;
  run_end_ = until;
  if (carry_) {
    uint64_t carried = carry_;
    carry_ = 0;
    pass_core_cycles(carried);
  }
  prepare_slice();
  handle_slice(core_->step(), until);
  at_breakpoint_ = false;
  if (!halted_) check_stuck(until);
}

bool Board::call(const std::string& function, const std::vector<uint32_t>& args, uint32_t* result, VTime limit,
                 std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = function + ": " + why;
    return false;
  };
  auto sym = elf_.symbol(function);
  if (!sym || !sym->is_function) return fail("no such function in " + elf_.path());
  if (flash_boot_) return fail("a call returns through the monitor's trap, and a board booted from its flash has no monitor");
  if (halted_) return fail("the board is halted (" + halt_reason_ + ")");

  uint32_t saved_cpsr = core_->cpsr();
  uint32_t saved[16];
  for (int r = 0; r < 16; ++r) saved[r] = core_->reg(r);

  uint32_t sp = (saved[ArmCore::SP] - 256) & ~7u;  // leave the interrupted frame alone
  if (args.size() > 4) {
    sp -= 4 * static_cast<uint32_t>(args.size() - 4);
    sp &= ~7u;
    for (size_t i = 4; i < args.size(); ++i) ram_.write32(sp + 4 * static_cast<uint32_t>(i - 4), args[i]);
  }
  for (size_t i = 0; i < 4; ++i) core_->set_reg(static_cast<int>(i), i < args.size() ? args[i] : 0);
  core_->set_reg(ArmCore::SP, sp);
  core_->set_reg(ArmCore::LR, kCallReturnTrap);
  core_->set_cpsr((saved_cpsr & ~ArmCore::kCpsrT) | (sym->thumb ? ArmCore::kCpsrT : 0u));
  core_->set_pc(sym->address);

  in_call_ = true;
  call_returned_ = false;
  run_until(now() + limit, [this] { return call_returned_; });
  in_call_ = false;
  if (halted_) return fail(halt_report());
  bool returned = call_returned_;
  if (returned && result) *result = core_->reg(ArmCore::R0);
  core_->set_cpsr(saved_cpsr);
  for (int r = 0; r < 16; ++r) core_->set_reg(r, saved[r]);
  if (!returned) return fail("did not return within " + format_duration(limit));
  return true;
}

}  // namespace sim
