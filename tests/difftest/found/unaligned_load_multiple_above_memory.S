@ seed 333001089: SYSCFG 0x0, tick 600, NCACHBE 0
@ Two LDMIBs from an unaligned base above the chip's memory (r11, set by
@ the seed, then moved by 58): the library splits each into the aligned
@ words it spans, ten pieces for the first. Its later pieces are its
@ own, not the second's (whose range overlaps it): charged at the
@ second's cycle, they came sixteen cycles late.
  msr cpsr_f, #0x10000000
  ldr r12, =L2 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L2:
  push {r1, r3, r4}
  pop {r1, r3, r4}
  push {r0, r1, r3, r4, r5}
  pop {r0, r1, r3, r4, r5}
  ldr r7, =L3
  bx r7
  .ltorg
  .arm
  .align 2
L3:
  strb r5, [r11], #58
  ldmib r11!, {r0, r2, r3, r4, r7}
  ldmib r11, {r0, r1, r4, r5, r6, r7}
