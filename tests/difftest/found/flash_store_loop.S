@ seed 1: SYSCFG 0x0, tick 0, NCACHBE 0
@ A loop that stores to the flash, in the block of a store with the same
@ base register: the store skipped must be the loop's own.
  msr cpsr_f, #0x00000000
  mov r1, #0xE
  ldr r2, =0x01C00000
  str r1, [r2]            @ SYSCFG: cache and write buffer on
  ldr r2, =dt_sdram
  str r1, [r2]
  mov r2, #0x80
L1:
  str r1, [r2]
  add r2, r2, #4
  cmp r2, #0x100
  bne L1
