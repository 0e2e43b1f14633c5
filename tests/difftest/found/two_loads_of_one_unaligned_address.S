@ seed 333001089: SYSCFG 0x0, tick 600, NCACHBE 0
@ Two Thumb halfword loads of the same odd address, above the chip's
@ memory: the library splits each into the two aligned halfwords it spans.
@ The first load's second halfword is its own, not the next load's (which
@ computes the same address): charged at the next one's cycle, it came
@ six cycles late.
  msr cpsr_f, #0x10000000
  ldr r12, =L1 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L1:
  ldrh r5, [r6, r7]
  ldrsh r2, [r6, r7]
  ldr r7, =L2
  bx r7
  .ltorg
  .arm
  .align 2
L2:
