@ seed 20000353: SYSCFG 0x2, tick 0, NCACHBE 0
@ A counted loop polling INTMSK seven times: the poll is recognised on its
@ last turn, and the core stops past the loop; no turn may pass there.
  msr cpsr_f, #0x30000000
  smlalle r7, r5, r2, r9
  mvns r1, #507904
  tst r6, r12, asr #31
  ldr r12, =L1 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L1:
  ldr r6, =0x08000400
  lsls r2, r3, #15
  lsls r1, r4, #30
  str r0, [r6, #0]
  movs r0, #243
  lsrs r0, r5, #20
  adds r5, r1, #1
  adds r1, r3, r2
  strb r2, [r6, #16]
  ldrh r4, [r6, #6]
  cmp r3, r2
  beq L3
  movs r0, #145
L3:
  ldmia r6!, {r0}
  ldr r6, =0x08000400
  subs r1, #214
  asrs r1, r4, #27
  add r3, r11
  orrs r0, r0
  movs r7, #124
  ldr r3, [r6, r7]
  ldrb r5, [r6, #6]
  adds r4, r3, #1
  ldr r7, =L2
  bx r7
  .ltorg
  .arm
  .align 2
L2:
  ldr r9, =0x00000400
  mov r11, r9
  swpb r2, r4, [r11]
  mov r10, #15
L4:
  mrs r5, cpsr
  subs r10, r10, #1
  bne L4
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #20
  strh r2, [r11], -r12
  mrs r0, cpsr
  ldr r9, =0x01D50000
  ldr r5, [r9, #0x14]
  mov r10, #19
L5:
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldr r0, [r11], #84
  smlals r1, r8, r3, r7
  subs r10, r10, #1
  bne L5
  ldr r9, =0x01E00000
  ldr r0, [r9, #0xC]
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldrbhi r1, [r11], #-26
  ldr r9, =0x00000400
  mov r11, r9
  stmdb r11!, {r1, r2, r3, r5, r6}
  ldr r9, =0x08000400
  mov r11, r9
  ldrblt r5, [r11, #40]
  ands r5, r4, r5
  bic r8, r11, r3
  cmn r8, #260096
  orrs r3, r9, r1
  tstcs r6, #2048
  ldr r9, =0x10001800
  mov r11, r9
  ldr r0, [r11], #44
  ldr r9, =0x01E00000
  ldr r7, [r9, #0xC]
  tst r5, r12, asr #19
  sbc r7, r4, r12
  ldr r9, =0x00000400
  mov r11, r9
  stmia r11!, {r0, r2, r3, r4, r5}
  eor r6, r5, #1036288
  smull r6, r7, r1, r7
  muleq r8, r3, r3
  smlalshi r3, r0, r4, r6
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldr r5, [r11, #108]
  ldr r12, =L6 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L6:
  ldr r6, =0x00000400
  lsls r2, r0, #4
  adds r4, r3, r4
  lsls r1, r2, #14
  push {r1, r2}
  pop {r1, r2}
  asrs r4, r4, #13
  orrs r5, r3
  subs r4, r2, #1
  adds r4, r5, #4
  subs r2, r3, r5
  sbcs r0, r1
  lsls r1, r3, #21
  ldmia r6!, {r0}
  ldr r6, =0x00000400
  adds r3, r2, #2
  subs r1, r1, r1
  ldrb r4, [r6, #10]
  adds r2, r1, r1
  ldr r7, =L7
  bx r7
  .ltorg
  .arm
  .align 2
L7:
  rscshi r2, r9, r3, lsl r6
  eor r4, r4, r12, lsl r11
  ldr r9, =0x01D50000
  ldr r5, [r9, #0x14]
  ldr r9, =0x08000400
  mov r11, r9
  ldmda r11, {r0, r2, r5, r6, r7, r8}
  mov r10, #7
L8:
  ldr r9, =0x01E00000
  ldr r2, [r9, #0xC]
  subs r10, r10, #1
  bne L8
  rsb r0, r12, r1
  ldr r9, =0x10001800
  mov r11, r9
  stmib r11, {r3}
  mov r10, #19
L9:
  bvs L10
  rsc r3, r9, #368
  ldr r9, =dt_sdram+1024
  mov r11, r9
  str r3, [r11, #180]!
  tst r0, #3520
L10:
  andscc r0, r11, #1808
  ldr r9, =0x08000400
  mov r11, r9
  strh r1, [r11, #-150]
  subs r10, r10, #1
  bne L9
  msr cpsr_f, r4
  rsc r3, r3, r5, lsl r7
  ldr r9, =0x00000400
  mov r11, r9
  stmib r11, {r0, r2, r4, r6, r7, r8}
  muls r6, r8, r12
  tst r9, r11
  mov r10, #8
L11:
  mul r2, r4, r5
  eorcs r8, r2, #272
  ldr r9, =0x00000400
  mov r11, r9
  ldmdb r11!, {r1, r2, r4, r5, r6}
  subs r10, r10, #1
  bne L11
  andscs r4, r3, #2096
  mlals r8, r3, r1, r6
  umulls r8, r7, r6, r4
  eor r3, r0, r9
  bls L12
  mvns r6, r8, lsr #8
  umulls r3, r7, r1, r7
L12:
  orr r7, r0, r6, ror r2
  ldr r9, =0x08000400
  mov r11, r9
  swpb r1, r4, [r11]
  tstls r3, r0, asr #7
  adcs r1, r11, r9, asr #21
  bic r5, r0, #868352
  ldr r9, =0x08000400
  mov r11, r9
  strb r2, [r11, #28]!
  ldr r9, =0x00000400
  mov r11, r9
  str r1, [r11, #-92]!
  sbc r8, r0, r1
  tst r9, #3489660931
  mla r1, r4, r6, r1
  ldr r9, =0x08000400
  mov r11, r9
  ldrb r7, [r11, #56]
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #41
  ldrble r0, [r11, r12]!
  rsc r6, r3, r2, lsl r2
  mov r10, #9
L13:
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #46
  ldrsh r6, [r11], r12
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #138
  ldrh r5, [r11], -r12
  subs r10, r10, #1
  bne L13
  ldr r9, =0x10001800
  mov r11, r9
  ldrb r0, [r11, #4]
  ldr r12, =L14 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L14:
  ldr r6, =0x00000400
  subs r3, r1, r0
  adds r5, r0, r5
  rors r3, r1
  add r5, r11
  lsls r5, r4, #9
  strb r2, [r6, #12]
  movs r1, #98
  cmp r5, r1
  str r5, [r6, #72]
  adds r0, #112
  bmi L16
  adds r3, #55
L16:
  rsbs r4, r0, #0
  mvns r3, r3
  bics r4, r1
  lsls r5, r2
  ldr r2, [r6, #20]
  eors r4, r3
  subs r3, r1, r4
  eors r1, r5
  subs r4, r3, r2
  asrs r2, r2, #4
  adds r1, r2, #3
  mov r2, r9
  lsls r2, r1
  movs r7, #24
  strb r3, [r6, r7]
  stmia r6!, {r1, r3, r4}
  ldr r6, =0x00000400
  ands r3, r3
  ldr r7, =L15
  bx r7
  .ltorg
  .arm
  .align 2
L15:
  ldr r12, =L17 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L17:
  ldr r6, =dt_sdram+1024
  mov r4, r9
  movs r7, #40
  ldrh r0, [r6, r7]
  ldr r0, [r6, #112]
  eors r1, r1
  ldr r3, [r6, #108]
  lsrs r4, r0, #17
  bls L19
  movs r0, #103
L19:
  str r2, [r6, #108]
  rsbs r3, r3, #0
  movs r7, #112
  ldrsh r5, [r6, r7]
  asrs r2, r1, #25
  subs r2, r3, #4
  bne L20
  adds r4, #160
L20:
  subs r1, r1, #7
  adds r4, r5, #5
  lsls r5, r2, #4
  ldr r7, =L18
  bx r7
  .ltorg
  .arm
  .align 2
L18:
  movsvc r2, r5, lsl r1
  cmpvc r7, #3221225503
  ldr r9, =0x01E00000
  ldr r0, [r9, #0xC]
  orrseq r8, r4, #1879048205
  rsbs r1, r2, #335544323
  smlal r6, r4, r0, r0
  ldr r9, =dt_sdram+1024
  mov r11, r9
  stmdb r11, {r4, r5, r7}
  eors r8, r0, r11
  mulhi r8, r2, r3
  mrs r4, cpsr
  cmpeq r5, r3, ror r2
  umull r5, r6, r4, r11
  ldr r9, =dt_sdram+1024
  mov r11, r9
  stmda r11!, {r3, r6}
