@ seed 1000005: SYSCFG 0xE, tick 0, NCACHBE 1
@ A conditional multiply in a block of its own (the oracle): its m and its
@ condition are settled before it runs.
  msr cpsr_f, #0x80000000
L1:
L2:
  ldr r12, =L3 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L3:
L5:
  ldr r7, =L4
  bx r7
  .ltorg
  .arm
  .align 2
L4:
L6:
L7:
  smullvc r8, r5, r3, r5
L8:
L9:
L10:
L11:
L12:
  ldr r12, =L13 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L13:
L15:
  ldr r7, =L14
  bx r7
  .ltorg
  .arm
  .align 2
L14:
L16:
  ldr r12, =L17 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L17:
L19:
  ldr r7, =L18
  bx r7
  .ltorg
  .arm
  .align 2
L18:
