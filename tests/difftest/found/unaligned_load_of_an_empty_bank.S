@ seed 1000003: SYSCFG 0xA, tick 600, NCACHBE 0
@ An unaligned word load of an empty bank reaches it as the two aligned
@ words it spans: the block's search for the load must take the aligned
@ address as its, or the read is charged at the block's first instruction,
@ a cycle early.
  msr cpsr_f, #0x50000000
  mov r12, #33
  ldr r7, [r11, -r12, lsl #2]
  ldr r12, =L1 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L1:
  ldr r7, =L2
  bx r7
  .ltorg
  .arm
  .align 2
L2:
L3:
L4:
L5:
L6:
L7:
L8:
L9:
L10:
  ldr r12, =L11 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L11:
L13:
L14:
L15:
  .ltorg
  .arm
  .align 2
L12:
  .ltorg
  .thumb
  .align 2
  .thumb_func
L16:
L18:
L19:
L20:
L21:
  .ltorg
  .arm
  .align 2
L17:
  .ltorg
  .thumb
  .align 2
  .thumb_func
L22:
L24:
  .ltorg
  .arm
  .align 2
L23:
  .ltorg
  .thumb
  .align 2
  .thumb_func
L25:
L27:
L28:
L29:
  ldr r7, =L26
  bx r7
  .ltorg
  .arm
  .align 2
L26:
