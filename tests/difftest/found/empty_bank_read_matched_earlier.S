@ seed 1: SYSCFG 0x6, tick 0, NCACHBE 0
@ An empty bank's read in a block whose earlier load, with the registers
@ as they are now, gives the same address: the read is the later one's.
  mov r9, #1024
  mov r11, r9
  mov r12, #1
  ldr r6, [r11, r12, lsl #2]!
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #3
  add r0, r0, r1
  add r0, r0, r1
  ldr r1, [r11, r12, lsl #2]
  add r0, r0, r1
