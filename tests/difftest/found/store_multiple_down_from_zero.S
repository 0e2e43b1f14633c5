@ seed 32000406: SYSCFG 0x2, tick 0, NCACHBE 0
@ (written by hand) A store multiple down from address 0 (the flash): the range it covers
@ wraps past the top of the address space, and its faulting instruction
@ must still be found (the block's first store was taken, and the
@ instructions between ran twice).
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
  msr cpsr_f, #0x60000000
  ldr r9, =0x08000400
  str r12, [r9, #0xC]
  mov r1, #5
  mov r0, #0
  stmda r0, {r10}
  add r1, r1, #1
  msr cpsr_c, #0x13
  ldr r12, =dt_regs
  stmia r12, {r0-r11}
  mrs r0, cpsr
  str r0, [r12, #48]
  pop {r4-r11, pc}
  .ltorg
