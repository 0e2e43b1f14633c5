@ seed 32000406: SYSCFG 0x2, tick 0, NCACHBE 0
@ (written by hand) A store multiple down from address 0 (the flash): the range it covers
@ wraps past the top of the address space, and its faulting instruction
@ must still be found (the block's first store was taken, and the
@ instructions between ran twice).
  msr cpsr_f, #0x60000000
  ldr r9, =0x08000400
  str r12, [r9, #0xC]
  mov r1, #5
  mov r0, #0
  stmda r0, {r10}
  add r1, r1, #1
