@ seed 5000021: SYSCFG 0x6, tick 0, NCACHBE 0
@ A multiply whose multiplier the block computes before it, and an MRS
@ after it writes that register: the MRS's write must count, or the m is
@ taken from the CPSR at the block's end.
  msr cpsr_f, #0xE0000000
  ldr r12, =L1 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L1:
L3:
L4:
  .ltorg
  .arm
  .align 2
L2:
L5:
L6:
  .ltorg
  .thumb
  .align 2
  .thumb_func
L7:
L9:
L10:
  rsbs r3, r3, #0
  ldr r7, =L8
  bx r7
  .ltorg
  .arm
  .align 2
L8:
  umulls r7, r3, r8, r7
  .ltorg
  .thumb
  .align 2
  .thumb_func
L11:
L13:
  .ltorg
  .arm
  .align 2
L12:
L14:
  .ltorg
  .thumb
  .align 2
  .thumb_func
L15:
L17:
  .ltorg
  .arm
  .align 2
L16:
L18:
  umlals r3, r2, r4, r7
L19:
  mrs r7, cpsr
L20:
