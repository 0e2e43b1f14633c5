@ seed 9000027: SYSCFG 0x2, tick 600, NCACHBE 1
@ Stores to an empty bank cost more than charged, then a load multiple of
@ the flash: the tick falls in the block only with both counted, so an
@ access that costs more must look at what the rest of the block may cost.
  msr cpsr_f, #0xA0000000
L1:
L2:
L3:
  ldr r9, =0x08000400
  mov r11, r9
  stmia r11, {r3, r4, r5, r8}
  smulllt r6, r1, r7, r1
  ldr r9, =0x10001800
  swpb r3, r0, [r11]
  ldr r9, =0x10001800
  ldr r0, [r11, #136]
  mov r10, #8
L4:
  bic r2, r8, #257949696
  subs r10, r10, #1
  bne L4
L5:
  ldrsbcs r3, [r11, #24]!
  ldr r9, =0x08000400
  swp r1, r8, [r11]
  ldr r9, =0x08000400
  stmia r11!, {r2, r3, r4, r7, r8}
  ldr r9, =0x00000400
  mov r11, r9
  ldmia r11, {r1, r3, r4, r6, r7, r8}
  mov r10, #18
L6:
  ldr r9, =dt_sdram+1024
  mov r11, r9
  stmib r11!, {r6, r8}
L7:
L8:
L9:
  ldrsh r0, [r11], r12
  b L10
  .ltorg
L10:
  .ltorg
  .thumb
  .align 2
  .thumb_func
L11:
  .ltorg
  .arm
  .align 2
L12:
  .ltorg
  .thumb
  .align 2
  .thumb_func
L13:
  .ltorg
  .arm
  .align 2
L14:
L15:
L16:
  .ltorg
  .thumb
  .align 2
  .thumb_func
L17:
L19:
L20:
L21:
  .ltorg
  .arm
  .align 2
L18:
