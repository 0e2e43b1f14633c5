@ seed 9300027950: SYSCFG 0x0, tick 2000, NCACHBE 0
@ An STMDB to an empty bank, then a STRB at its base register's address:
@ the byte store is the STRB's, not a word beyond the multiple's own.
  .syntax unified
  .text
  .arm
  .align 2
  .global dt_body
dt_body:
  push {r4-r11, lr}
  ldr r12, =dt_init
  ldmia r12, {r0-r8, r10, r11}
  ldr r9, =dt_sdram+1024
  msr cpsr_f, #0x70000000
  stmdb r11, {r1, r3, r6}
  strb r5, [r11], #45
  msr cpsr_c, #0x13
  ldr r12, =dt_regs
  stmia r12, {r0-r11}
  mrs r0, cpsr
  str r0, [r12, #48]
  pop {r4-r11, pc}
  .ltorg
