#include "core/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <vector>

namespace sim {

void populate_pages(void* begin, size_t length) {
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
  if (length == 0) return;
  const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const uintptr_t from = reinterpret_cast<uintptr_t>(begin) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(begin) + length + page - 1) & ~(page - 1);
  ::madvise(reinterpret_cast<void*>(from), end - from, MADV_POPULATE_WRITE);
}

FilledMemory::FilledMemory(uint32_t size) : size_(size) {
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  bytes_ = static_cast<uint8_t*>(p);
  fd_ = ::memfd_create("board-sim rom", MFD_CLOEXEC);
  fill(0);
}

FilledMemory::~FilledMemory() {
  ::munmap(bytes_, size_);
  if (fd_ >= 0) ::close(fd_);
}

void FilledMemory::fill(uint32_t word) {
  std::vector<uint8_t> piece(64 << 10);
  for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<uint8_t>(word >> (8 * (i & 3)));
  // The file's pages are written by the kernel (no fault each; none at all
  // for zeros, a hole), and the mapping over the same addresses drops every
  // page written since.
  if (fd_ >= 0 && ::ftruncate(fd_, 0) == 0 && ::ftruncate(fd_, size_) == 0) {
    bool written = true;
    for (uint32_t at = 0; word != 0 && at < size_ && written; at += static_cast<uint32_t>(piece.size())) {
      const size_t n = std::min<size_t>(piece.size(), size_ - at);
      written = ::pwrite(fd_, piece.data(), n, at) == static_cast<ssize_t>(n);
    }
    if (written && ::mmap(bytes_, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, fd_, 0) != MAP_FAILED)
      return;
  }
  // Without a memory file: plain memory, written whole.
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    if (::mmap(bytes_, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED)
      throw std::bad_alloc();
  }
  for (uint32_t at = 0; at < size_; at += static_cast<uint32_t>(piece.size()))
    std::copy_n(piece.begin(), std::min<size_t>(piece.size(), size_ - at), bytes_ + at);
}

}  // namespace sim
