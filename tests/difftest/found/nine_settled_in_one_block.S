@ seed 31000469: SYSCFG 0x0, tick 0, NCACHBE 0
@ A block with nine conditional instructions and multiplies whose cost a
@ hook settles: past the eighth the block cannot settle them, so it runs
@ up to the ninth and the rest as a block of its own (it was charged as
@ run).
  msr cpsr_f, #0xB0000000
  subs r2, r11, #905216
  mrs r0, cpsr
  rsc r1, r12, r4
  umulls r7, r5, r0, r4
  b L1
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #194
  strh r6, [r11], r12
  teqhi r1, #3221225504
L1:
  cmp r7, r5, lsl r6
  ldr r9, =0x01D50000
  ldr r4, [r9, #0x14]
  ldr r12, =L2 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L2:
L4:
  .ltorg
  .arm
  .align 2
L3:
  .ltorg
  .thumb
  .align 2
  .thumb_func
L5:
L7:
L8:
  .ltorg
  .arm
  .align 2
L6:
  .ltorg
  .thumb
  .align 2
  .thumb_func
L9:
L11:
  .ltorg
  .arm
  .align 2
L10:
  .ltorg
  .thumb
  .align 2
  .thumb_func
L12:
L14:
L15:
  strb r5, [r6, #20]
  movs r7, #112
  ldrsb r2, [r6, r7]
  ldr r7, =L13
  bx r7
  .ltorg
  .arm
  .align 2
L13:
  mov r10, #15
L16:
  smlals r6, r3, r4, r2
  subs r10, r10, #1
  bne L16
  cmn r7, r4, lsr #4
  rscs r6, r2, r11
  mrs r5, cpsr
  sbcs r3, r7, #369098752
  msr cpsr_c, #0x13
  mvns r7, r4, lsr r0
  orr r0, r1, #4
  mov r10, #14
L17:
  smlallt r6, r1, r5, r0
  cmn r2, r5
  ldrhls r1, [r11, #-20]
  mov r11, r9
  swpbmi r4, r2, [r11]
  umull r1, r5, r0, r11
  ldrsbcc r8, [r11, #-9]!
  smullpl r2, r5, r3, r7
  adceq r4, r3, r8, lsl r1
  muleq r5, r0, r11
  strbge r4, [r11], #-13
L18:
  msr cpsr_f, r11
