@ seed 1: SYSCFG 0x0, tick 0, NCACHBE 0
@ Timer reads around the write that turns the cache on: the clock never
@ goes back (the block's costs at the new timing).
  msr cpsr_f, #0x00000000
  ldr r9, =0x01D50000
  mov r1, #0
  str r1, [r9]            @ TCFG0
  str r1, [r9, #4]        @ TCFG1
  ldr r1, =0xFFFF
  str r1, [r9, #0xC]      @ TCNTB0
  mov r1, #2
  str r1, [r9, #8]
  mov r1, #1
  str r1, [r9, #8]        @ TCON: start
  ldr r0, [r9, #0x14]
  ldr r2, =0x01C00000
  mov r1, #6
  str r1, [r2]            @ SYSCFG: the cache on
  ldr r3, [r9, #0x14]
  add r4, r4, r5
  ldr r5, [r9, #0x14]
  mov r1, #0
  str r1, [r9, #8]
