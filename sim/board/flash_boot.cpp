// Booting the board from its own flash, without the monitor: what the chip
// does at power-on and after a watchdog reset.
#include <fstream>
#include <iterator>

#include "board/board.h"
#include "core/log.h"
#include "core/s3c44b0x.h"

namespace sim {

bool Board::load_flash(const std::string& image_path, std::string* error) {
  std::ifstream in(image_path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    *error = image_path + ": cannot be read";
    return false;
  }
  // An erased flash reads all ones; the image's bytes go over it once it
  // is known to fit.
  struct Piece {
    uint32_t address;
    const std::vector<uint8_t>* bytes;
  };
  std::vector<Piece> pieces;
  const std::string size_text = std::to_string(chip::kBank0Size >> 20) + " MB";
  elf_ = ElfImage();
  if (file.size() >= 4 && file[0] == 0x7F && file[1] == 'E' && file[2] == 'L' && file[3] == 'F') {
    if (!elf_.load(image_path, error)) return false;
    bool any = false;
    for (const ElfSegment& seg : elf_.segments()) {
      if (seg.bytes.empty()) continue;  // .bss and the like: the program's start-up code zeroes them
      if (seg.address >= chip::kBank0Size || seg.bytes.size() > chip::kBank0Size - seg.address) {
        *error = image_path + ": a segment loaded at " + hex32(seg.address) + " (" + std::to_string(seg.bytes.size()) +
                 " bytes) lies outside the flash in bank 0 (0x00000000.." + hex32(chip::kBank0Size - 1) +
                 "); link the image to be loaded there (.data's load address in the flash too)";
        return false;
      }
      pieces.push_back({seg.address, &seg.bytes});
      any = true;
    }
    if (!any) {
      *error = image_path + ": no loadable bytes for the flash";
      return false;
    }
  } else {
    if (file.empty()) {
      *error = image_path + ": an empty image";
      return false;
    }
    if (file.size() > chip::kBank0Size) {
      *error = image_path + ": " + std::to_string(file.size()) + " bytes do not fit in the board's flash (" +
               size_text + ")";
      return false;
    }
    pieces.push_back({0, &file});
  }
  core_->fill_rom(0xFFFFFFFF);
  for (const Piece& piece : pieces)
    core_->load_rom(chip::kBank0Base + piece.address, piece.bytes->data(), piece.bytes->size());
  loaded_ = true;
  flash_boot_ = true;
  ram_.clear();
  power_on();
  return true;
}

// The ARM7TDMI after reset: supervisor mode, ARM state, IRQ and FIQ
// disabled, at the reset vector. Its other registers are undefined on the
// board (0 here, every mode's). The chip's blocks are at their reset values
// (power_on): MCLK is Fin until PLLCON is written, the watchdog runs, the
// memory controller has its reset timings, SYSCFG has the cache off. The
// SDRAM keeps what it held across a watchdog reset.
void Board::reset_core() {
  for (uint32_t mode : {ArmCore::kUsr, ArmCore::kFiq, ArmCore::kIrq, ArmCore::kAbt, ArmCore::kUnd, ArmCore::kSvc}) {
    core_->set_cpsr(mode | ArmCore::kCpsrI | ArmCore::kCpsrF);
    for (int r = 0; r < 15; ++r) core_->set_reg(r, 0);
    if (mode != ArmCore::kUsr) core_->set_spsr(0);
  }
  core_->set_pc(0);
  core_->flush_code();
  // Data reads of the flash cost what BANKCON0 gives (its fetches do
  // already); and the SDRAM is watched until the program has set it up.
  core_->set_flash_reads_charged(true);
  if (!sdram_watch_ && !early_sdram_said_)
    sdram_watch_ = core_->watch_accesses(chip::kSdramBase, chip::kSdramBase + chip::kSdramSize,
                                         [this](uint32_t address, unsigned, bool write) { on_early_sdram(address, write); });
}

}  // namespace sim
