#include "core/elf_image.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace sim {

namespace {
struct ElfHandle {
  int fd = -1;
  Elf* elf = nullptr;
  ~ElfHandle() {
    if (elf) elf_end(elf);
    if (fd >= 0) close(fd);
  }
};
}  // namespace

bool ElfImage::load(const std::string& path, std::string* error) {
  path_ = path;
  segments_.clear();
  symbols_.clear();
  functions_.clear();
  by_address_.clear();
  auto fail = [&](const std::string& why) {
    *error = path + ": " + why;
    return false;
  };
  if (elf_version(EV_CURRENT) == EV_NONE) return fail("libelf initialisation failed");
  ElfHandle h;
  h.fd = open(path.c_str(), O_RDONLY);
  if (h.fd < 0) return fail("cannot open the file");
  h.elf = elf_begin(h.fd, ELF_C_READ, nullptr);
  if (!h.elf || elf_kind(h.elf) != ELF_K_ELF) return fail("not an ELF file");
  GElf_Ehdr ehdr;
  if (!gelf_getehdr(h.elf, &ehdr)) return fail("unreadable ELF header");
  if (ehdr.e_ident[EI_CLASS] != ELFCLASS32 || ehdr.e_machine != EM_ARM)
    return fail("not a 32-bit ARM program (built for another processor?)");
  if (ehdr.e_ident[EI_DATA] != ELFDATA2LSB) return fail("big-endian ARM program; the board is little-endian");
  if (ehdr.e_type != ET_EXEC) return fail("not an executable (a relocatable object or library?)");
  entry_ = static_cast<uint32_t>(ehdr.e_entry);

  size_t count = 0;
  if (elf_getphdrnum(h.elf, &count) != 0) return fail("unreadable program headers");
  off_t file_size = lseek(h.fd, 0, SEEK_END);
  for (size_t i = 0; i < count; ++i) {
    GElf_Phdr ph;
    if (!gelf_getphdr(h.elf, static_cast<int>(i), &ph)) return fail("unreadable program header");
    if (ph.p_type != PT_LOAD || ph.p_memsz == 0) continue;
    if (ph.p_filesz > ph.p_memsz || ph.p_offset + ph.p_filesz > static_cast<uint64_t>(file_size))
      return fail("truncated or malformed segment");
    ElfSegment seg;
    seg.address = static_cast<uint32_t>(ph.p_paddr);
    seg.memory_size = static_cast<uint32_t>(ph.p_memsz);
    seg.bytes.resize(ph.p_filesz);
    if (ph.p_filesz && pread(h.fd, seg.bytes.data(), ph.p_filesz, static_cast<off_t>(ph.p_offset)) !=
                           static_cast<ssize_t>(ph.p_filesz))
      return fail("cannot read a segment");
    segments_.push_back(std::move(seg));
  }
  if (segments_.empty()) return fail("no loadable segments");

  Elf_Scn* scn = nullptr;
  while ((scn = elf_nextscn(h.elf, scn))) {
    GElf_Shdr sh;
    if (!gelf_getshdr(scn, &sh) || sh.sh_type != SHT_SYMTAB) continue;
    Elf_Data* data = elf_getdata(scn, nullptr);
    if (!data || sh.sh_entsize == 0) continue;
    size_t n = sh.sh_size / sh.sh_entsize;
    for (size_t k = 0; k < n; ++k) {
      GElf_Sym sym;
      if (!gelf_getsym(data, static_cast<int>(k), &sym)) continue;
      int type = GELF_ST_TYPE(sym.st_info);
      // Assembly labels often carry no type; take the global ones.
      bool untyped_global = type == STT_NOTYPE && GELF_ST_BIND(sym.st_info) == STB_GLOBAL && sym.st_shndx != SHN_UNDEF;
      if (type != STT_FUNC && type != STT_OBJECT && !untyped_global) continue;
      const char* name = elf_strptr(h.elf, sh.sh_link, sym.st_name);
      if (!name || !*name) continue;
      ElfSymbol s{static_cast<uint32_t>(sym.st_value) & ~(type == STT_FUNC ? 1u : 0u),
                  static_cast<uint32_t>(sym.st_size), type != STT_OBJECT,
                  type == STT_FUNC && (sym.st_value & 1) != 0};
      // A global definition wins over a local one of the same name.
      if (GELF_ST_BIND(sym.st_info) != STB_LOCAL || !symbols_.count(name)) symbols_[name] = s;
      by_address_[s.address] = {name, s.size};
      if (s.is_function) functions_.emplace_back(name, s);
    }
  }
  return true;
}

std::optional<ElfSymbol> ElfImage::symbol(const std::string& name) const {
  auto it = symbols_.find(name);
  if (it == symbols_.end()) return std::nullopt;
  return it->second;
}

std::string ElfImage::describe(uint32_t address) const {
  auto it = by_address_.upper_bound(address);
  if (it == by_address_.begin()) return "";
  --it;
  uint32_t offset = address - it->first;
  if (it->second.second && offset >= it->second.second) return "";
  char buf[32];
  std::snprintf(buf, sizeof buf, "+0x%X", offset);
  return it->second.first + (offset ? buf : "");
}

}  // namespace sim
