@ seed 1: SYSCFG 0x0, tick 600, NCACHBE 0
@ Loads multiple from the empty bank with the tick on: one that the tick
@ falls inside makes its block longer than its start told, and the
@ interrupt is taken right after it, not at the block's end.
  mov r10, #40
L1:
  ldr r11, =0x08000400
  ldmia r11, {r0-r7}
  add r8, r8, #1
  add r8, r8, #1
  add r8, r8, #1
  subs r10, r10, #1
  bne L1
