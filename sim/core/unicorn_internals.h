// The functions of Unicorn 2.0.1's inside that this program calls or stands
// in for, with QEMU's names and signatures (Unicorn's engine first where it
// adds one; target_ulong is 32 bits for ARM).
//
// Unicorn is linked from its static archive (sim/CMakeLists.txt): the
// dynamic loader then has none of the library's 37,000 symbol relocations to
// bind at each start, which were most of a short run's start-up. Each
// function whose __real_NAME is declared below is linked with --wrap (the
// build reads the names from here): every call of NAME from another of the
// library's files, and from this program, reaches __wrap_NAME, this
// program's (unicorn_stores.cpp, unicorn_sdram.cpp), and __real_NAME is the
// library's own. A call from inside NAME's own file is not redirected; the
// ones there are:
// - translate-all.c's range invalidations (uc_ctl_remove_cache) take the
//   library's page locks, which work as always, only slower;
// - its uc_gen_tb (uc_ctl_request_cache, which this program never asks
//   for) translates without the mark of unicorn_sdram.cpp;
// - cputlb.c's split of an unaligned store into bytes goes to the
//   library's byte store, which calls the hooks as this program's does and
//   takes this program's page locks (their observer sees each byte);
// - uc.c's own maps and unmaps, inside uc_mem_protect and uc_mem_unmap,
//   happen within the calls this program brackets.
// (A version without these functions fails to link; with any version but
// 2.0.1 the stand-ins pass every call on: unicorn_stores.h.)
#pragma once
#include <cstdint>

#include <unicorn/unicorn.h>

extern "C" {

// The library's own, called directly.
void* qemu_get_cpu_arm(void* uc, int index);
void tlb_set_dirty_arm(void* cpu, uint32_t address);
void tlb_flush_page_arm(void* cpu, uint32_t address);
bool cpu_restore_state_arm(void* cpu, uintptr_t host_pc, bool will_exit);
uint64_t qemu_ram_addr_from_host_arm(void* uc, const void* host);
void tb_invalidate_phys_page_fast_arm(void* uc, void* pages, uint64_t start, int size, uintptr_t return_address);

// Stood in for: the store path's page locks and the mapping lookup
// (unicorn_stores.cpp), and every change of the mappings.
void* __real_page_collection_lock_arm(void* uc, uint64_t start, uint64_t end);
void __real_page_collection_unlock_arm(void* collection);
void* __real_memory_mapping(void* uc, uint64_t address);
uc_err __real_uc_mem_map(uc_engine* uc, uint64_t address, size_t size, uint32_t perms);
uc_err __real_uc_mem_map_ptr(uc_engine* uc, uint64_t address, size_t size, uint32_t perms, void* ptr);
uc_err __real_uc_mmio_map(uc_engine* uc, uint64_t address, size_t size, uc_cb_mmio_read_t read_cb,
                          void* user_data_read, uc_cb_mmio_write_t write_cb, void* user_data_write);
uc_err __real_uc_mem_unmap(uc_engine* uc, uint64_t address, size_t size);
uc_err __real_uc_mem_protect(uc_engine* uc, uint64_t address, size_t size, uint32_t perms);
uc_err __real_uc_close(uc_engine* uc);

// Stood in for: the translated code's load and store helpers (the
// operation index's memop and MMU index; the return address into the
// translated code), and its one maker of blocks (unicorn_sdram.cpp).
uint64_t __real_helper_ret_ldub_mmu_arm(void* env, uint32_t address, uint32_t oi, uintptr_t return_address);
uint64_t __real_helper_le_lduw_mmu_arm(void* env, uint32_t address, uint32_t oi, uintptr_t return_address);
uint64_t __real_helper_le_ldul_mmu_arm(void* env, uint32_t address, uint32_t oi, uintptr_t return_address);
void __real_helper_ret_stb_mmu_arm(void* env, uint32_t address, uint8_t value, uint32_t oi, uintptr_t return_address);
void __real_helper_le_stw_mmu_arm(void* env, uint32_t address, uint16_t value, uint32_t oi, uintptr_t return_address);
void __real_helper_le_stl_mmu_arm(void* env, uint32_t address, uint32_t value, uint32_t oi, uintptr_t return_address);
void* __real_tb_gen_code_arm(void* cpu, uint32_t pc, uint32_t cs_base, uint32_t flags, int cflags);

}  // extern "C"
