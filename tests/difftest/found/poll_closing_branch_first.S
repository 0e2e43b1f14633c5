@ seed 20000407: SYSCFG 0x2, tick 5000, NCACHBE 0
@ A counted poll whose closing BNE is a block of its own: the turn starts
@ with the branch on the flags the SUBS of the turn before left.
  msr cpsr_f, #0xF0000000
  mov r10, #23
L1:
  ldr r9, =0x01E00000
  ldr r0, [r9, #0xC]
  tstlt r1, #548864
  cmnle r9, r6
  subs r10, r10, #1
  bne L1
  ldr r12, =L2 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L2:
  ldr r6, =0x10001800
  asrs r0, r4, #28
  rors r3, r2
  muls r1, r4
  bics r1, r4
  cmp r0, #35
  adcs r2, r0
  ble L4
  movs r5, #62
L4:
  movs r7, #80
  strh r3, [r6, r7]
  movs r7, #124
  ldr r0, [r6, r7]
  movs r7, #228
  ldrsh r5, [r6, r7]
  adds r3, #36
  movs r4, #191
  asrs r3, r1, #5
  movs r7, #88
  strh r2, [r6, r7]
  mov r0, r9
  adds r1, r5, r0
  adds r2, r3, r3
  movs r7, #48
  ldrsb r3, [r6, r7]
  lsrs r3, r4, #18
  tst r4, r2
  adcs r4, r4
  subs r2, r1, r5
  lsrs r5, r1, #22
  subs r4, r3, #3
  bgt L5
  adds r3, #150
L5:
  movs r7, #84
  str r1, [r6, r7]
  lsls r4, r3, #12
  push {r0, r3, r4, r5}
  pop {r0, r3, r4, r5}
  ldr r7, =L3
  bx r7
  .ltorg
  .arm
  .align 2
L3:
  mrs r2, cpsr
  ldr r9, =0x00000400
  mov r11, r9
  ldr r7, [r11], #240
  sbc r8, r11, r2
  mov r3, r0
  mla r0, r6, r7, r4
  ldr r9, =dt_sdram+1024
  mov r11, r9
  stmda r11!, {r0, r1, r2, r3, r4}
  msr cpsr_f, #0x10000000
  ldr r9, =0x00000400
  mov r11, r9
  swpb r0, r4, [r11]
  tsteq r0, r12, rrx
  ldr r12, =L6 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L6:
  ldr r6, =0x00000400
  asrs r0, r1, #9
  bvc L8
  movs r2, #46
L8:
  subs r3, r4, r1
  bpl L9
  movs r5, #106
L9:
  lsrs r2, r4, #16
  rors r1, r1
  subs r2, r5, r3
  asrs r3, r2
  lsrs r3, r2, #12
  asrs r4, r5, #3
  ldrh r5, [r6, #2]
  bne L10
  adds r0, #170
L10:
  subs r2, r0, #3
  strb r2, [r6, #2]
  tst r4, r2
  stmia r6!, {r0, r1, r2, r3, r5}
  ldr r6, =0x00000400
  cmp r2, r11
  lsrs r1, r4, #24
  lsls r0, r0, #1
  bls L11
  movs r0, #71
L11:
  tst r2, r5
  subs r3, r5, r4
  lsls r0, r2, #8
  ldr r7, =L7
  bx r7
  .ltorg
  .arm
  .align 2
L7:
  cmp r1, r9, ror #16
  ldr r9, =dt_sdram+1024
  mov r11, r9
  strh r5, [r11, #172]
  mov r10, #14
L12:
  umulls r0, r1, r8, r3
  movge r8, r5, lsr #27
  adds r3, r9, r9, lsr r9
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #17
  strb r4, [r11, r12]!
  subs r10, r10, #1
  bne L12
  rscsne r1, r5, r1
  andsgt r4, r6, r3, lsr #3
  mvn r8, r4, asr r3
  umlalslt r8, r0, r1, r8
  cmnhi r12, #3103784960
  ldr r9, =dt_sdram+1024
  mov r11, r9
  stmia r11!, {r0, r1}
  ldr r9, =0x08000400
  mov r11, r9
  ldmdb r11!, {r4}
  ldr r9, =0x01E00000
  ldr r12, =0x07FFFFFF
  str r12, [r9, #0xC]
  tst r2, r3, lsr #12
  ldr r12, =0x03FFDFFF
  str r12, [r9, #0xC]
  ldr r12, =L13 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L13:
  ldr r6, =dt_sdram+1024
  ldrh r0, [r6, #6]
  beq L15
  movs r3, #13
L15:
  bics r3, r4
  strb r3, [r6, #31]
  bics r2, r3
  subs r0, r3, r1
  rsbs r3, r5, #0
  lsrs r5, r0, #21
  movs r7, #160
  ldrb r4, [r6, r7]
  adcs r2, r4
  strh r4, [r6, #16]
  ldr r5, [r6, #100]
  cmp r1, r0
  adds r0, r4, #4
  ldmia r6!, {r0, r1, r2, r3}
  ldr r6, =dt_sdram+1024
  str r2, [r6, #36]
  cmp r4, r11
  add r5, r9
  ldrb r1, [r6, #8]
  movs r0, #170
  subs r3, r1, r1
  lsrs r3, r2, #25
  cmp r1, #90
  lsrs r1, r1, #20
  movs r3, #114
  rors r5, r0
  cmp r4, #106
  stmia r6!, {r0, r2, r3, r4, r5}
  ldr r6, =dt_sdram+1024
  ldr r7, =L14
  bx r7
  .ltorg
  .arm
  .align 2
L14:
  bics r1, r5, r4, asr #32
  bic r4, r4, r2
  smlal r7, r6, r0, r12
  rsc r8, r3, r5
  add r4, r9, r8, rrx
  sub r7, r12, r0, ror #1
  cmplt r12, r8, ror #17
  tstpl r5, #1610612736
  eors r8, r1, #2382364672
  ldr r9, =0x08000400
  mov r11, r9
  strvc r4, [r11], #-200
  umlal r8, r2, r1, r1
  rsc r5, r3, #14090240
  sbc r1, r5, r2
  tst r4, r12
  teq r12, #146432
  ldr r9, =dt_sdram+1024
  mov r11, r9
  str r3, [r11, #0]
  mov r6, r0, lsr #4
  msr cpsr_f, #0x70000000
  mvns r8, r7, asr #22
  ldr r9, =0x01D50000
  ldr r7, [r9, #0x14]
  cmn r1, r9, asr #20
  msr cpsr_f, #0x10000000
  rscs r8, r4, r3, lsr r9
  umlals r5, r0, r1, r1
  cmn r3, r4, ror r8
  orrs r1, r2, r3
  smlalne r3, r8, r4, r4
  ldr r9, =0x08000400
  mov r11, r9
  ldrh r3, [r11, #-78]!
  teq r6, #81788928
  cmpmi r9, #23552
  ldr r9, =0x08000400
  mov r11, r9
  str r2, [r11], #-224
  subeq r2, r0, r1, ror r2
  ldr r12, =L16 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L16:
  ldr r6, =0x08000400
  ldrb r2, [r6, #13]
  cmn r4, r2
  movs r7, #100
  ldrsb r0, [r6, r7]
  cmp r1, #55
  subs r0, r1, r5
  ldr r7, =L17
  bx r7
  .ltorg
  .arm
  .align 2
L17:
  orrsvc r7, r7, #97280
  umlalgt r2, r3, r5, r5
  mlasle r8, r0, r9, r5
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldmdb r11, {r2, r5, r7}
  sbcsle r6, r12, r4
  add r7, r7, #2684354570
  sbcge r7, r7, r4, ror #15
  ldr r9, =0x08000400
  mov r11, r9
  stmdb r11, {r1, r3, r6, r7, r8}
  ldr r12, =L18 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L18:
  ldr r6, =dt_sdram+1024
  ldmia r6!, {r2, r3, r4, r5}
  ldr r6, =dt_sdram+1024
  mov r2, r11
  cmp r1, r11
  bhi L20
  movs r5, #39
L20:
  ldr r7, =L19
  bx r7
  .ltorg
  .arm
  .align 2
L19:
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #10
  str r1, [r11, -r12, lsl #2]!
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #8
  ldrb r5, [r11, -r12]
  umulllt r8, r1, r3, r5
  sbc r1, r7, #1275068417
  cmnvs r11, r5, lsr r12
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #188
  ldrshlt r8, [r11], r12
  adds r8, r3, r0, lsl r6
  tst r3, #7471104
  ldr r12, =L21 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L21:
  ldr r6, =dt_sdram+1024
  ldrh r2, [r6, #6]
  adds r5, r4, #6
  adds r3, #226
  tst r5, r5
  cmp r3, #59
  adds r2, r4, r3
  adds r5, r3, #2
  mvns r2, r1
  adds r3, #177
  subs r2, r3, #2
  movs r1, #172
  movs r1, #219
  subs r5, r2, r4
  orrs r3, r1
  ldr r7, =L22
  bx r7
  .ltorg
  .arm
  .align 2
L22:
  ldr r9, =0x10001800
  mov r11, r9
  ldmia r11!, {r0, r4, r5, r6, r7}
  mrs r7, cpsr
  sbc r6, r11, r2
  teq r1, r2
  and r5, r4, r2, lsl #22
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #20
  ldr r4, [r11, -r12, lsl #2]
  mla r6, r5, r7, r8
  tsthi r4, r11
  eorcs r2, r6, r4, lsl #19
  ldr r9, =0x00000400
  mov r11, r9
  strb r7, [r11], #51
  rscs r0, r0, r3, lsr #30
  teq r2, r5
  msr cpsr_c, #0x13
  blt L23
  smlal r1, r8, r0, r5
  bicsle r5, r11, r3
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #51
  ldrbvc r2, [r11, r12]
L23:
