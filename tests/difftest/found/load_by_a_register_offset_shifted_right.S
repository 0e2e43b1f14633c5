@ seed 1: SYSCFG 0x6, tick 0, NCACHBE 0
@ A load from an empty bank by a register offset shifted right: found by
@ its own shift, not as if it were a left one.
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #0x40
  add r0, r0, r1
  add r0, r0, r1
  ldr r1, [r11, r12, lsr #4]
  add r0, r0, r1
  ldr r1, [r11, -r12, asr #2]
  add r0, r0, r1
  ldr r1, [r11, r12, ror #3]
  add r0, r0, r1
