@ seed 27000440: SYSCFG 0xA, tick 600, NCACHBE 0
@ A counted poll with two reads a turn: found at the first, the second
@ must not start a new check before its turns pass (which forgot the
@ counter, and passed turns past the loop's end).
  msr cpsr_f, #0xF0000000
  ldr r9, =0x01E00000
  ldr r12, =0x03FFDFFF
  str r12, [r9, #0xC]
  umlal r4, r3, r2, r3
  adcpl r5, r1, r11
  ldr r9, =dt_sdram+1024
  mov r11, r9
  strh r6, [r11, #68]
  msr cpsr_c, #0x93
  tst r2, r9
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #204
  ldrh r2, [r11], r12
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #17
  ldrb r3, [r11, r12]
  umullhi r5, r0, r1, r11
  subs r8, r6, r4
  ldr r12, =L1 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L1:
  ldr r6, =0x00000400
  lsls r1, r5, #7
  add r5, r9
  cmp r3, #218
  ands r2, r2
  asrs r1, r5, #25
  ldr r7, =L2
  bx r7
  .ltorg
  .arm
  .align 2
L2:
  movsmi r6, r7, asr r12
  subs r3, r2, r0
  teq r9, r6, rrx
  mrs r2, cpsr
  ldr r9, =0x08000400
  mov r11, r9
  str r5, [r11], #-204
  smull r4, r8, r6, r5
  cmn r3, r4
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldr r1, [r11, #-52]
  mov r10, #18
L3:
  mvns r7, #749568
  subs r10, r10, #1
  bne L3
  movle r8, r6, asr r2
  subscs r4, r8, #3221225499
  mrs r3, cpsr
  eor r6, r6, r7, lsl #5
  ldr r9, =0x10001800
  mov r11, r9
  swp r3, r1, [r11]
  ldr r9, =dt_sdram+1024
  mov r11, r9
  str r3, [r11], #-60
  eor r6, r11, r11, lsr #30
  subs r0, r2, #3154116609
  ldr r9, =0x01E00000
  ldr r12, =0x03FFDFFF
  str r12, [r9, #0xC]
  andmi r0, r11, r1, lsl #22
  adds r6, r6, #126976
  rscle r6, r7, r4
  mov r10, #15
L4:
  ldr r9, =0x01E00000
  ldr r8, [r9, #0xC]
  mvnscc r6, r2, asr #7
  rsb r1, r11, r1, ror #26
  cmncc r3, #1294336
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #4
  ldrsh r8, [r11], -r12
  subs r10, r10, #1
  bne L4
  bcc L5
  andge r6, r2, r0, lsl #12
  rscs r5, r7, r7, lsl #15
L5:
  orrls r6, r1, r9
  ldr r9, =0x10001800
  mov r11, r9
  swp r4, r1, [r11]
  mov r10, #17
L6:
  teq r11, #32000
  ldr r9, =0x01E00000
  ldr r1, [r9, #0xC]
  rsc r7, r4, #14144
  ldr r9, =0x01E00000
  ldr r1, [r9, #0xC]
  subs r10, r10, #1
  bne L6
  tst r12, r4
  ldr r9, =0x10001800
  mov r11, r9
  swp r0, r3, [r11]
  ldr r9, =0x08000400
  mov r11, r9
  ldmdb r11!, {r2, r3, r4, r6, r7}
  orrlt r7, r2, r1
  mov r10, #18
L7:
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #91
  ldrsbpl r5, [r11], r12
  mov r6, #232
  subs r10, r10, #1
  bne L7
  ldr r9, =0x00000400
  mov r11, r9
  swpb r4, r5, [r11]
  ldr r12, =L8 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L8:
  ldr r6, =dt_sdram+1024
  push {r0, r2, r3, r4, r5}
  pop {r0, r2, r3, r4, r5}
  ldrb r3, [r6, #23]
  movs r4, #36
  strb r3, [r6, #29]
  movs r7, #156
  ldrb r3, [r6, r7]
  lsrs r1, r4, #28
  asrs r3, r4
  cmn r5, r4
  bvc L10
  adds r5, #127
L10:
  str r0, [r6, #104]
  ble L11
  adds r5, #221
L11:
  asrs r4, r1, #19
  bics r1, r3
  lsrs r5, r0, #7
  adds r5, r4, r2
  adcs r2, r0
  adds r5, r5, r4
  adds r2, #242
  movs r1, #91
  cmp r1, #44
  mov r1, r8
  ldr r1, [r6, #24]
  orrs r3, r1
  bpl L12
  adds r2, #205
L12:
  bcc L13
  movs r3, #88
L13:
  lsls r5, r1, #28
  asrs r5, r1, #2
  ldr r7, =L9
  bx r7
  .ltorg
  .arm
  .align 2
L9:
  mvn r8, r4, lsr #25
  ldr r12, =L14 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L14:
  ldr r6, =0x08000400
  subs r1, #1
  asrs r2, r0, #6
  push {r0, r1, r2, r4}
  pop {r0, r1, r2, r4}
  stmia r6!, {r1, r5}
  ldr r6, =0x08000400
  cmp r1, r11
  bls L16
  adds r0, #175
L16:
  adcs r3, r4
  ldr r7, =L15
  bx r7
  .ltorg
  .arm
  .align 2
L15:
  cmnvc r3, r5, ror r12
  ldr r9, =0x10001800
  mov r11, r9
  ldmda r11!, {r0, r1, r4, r5, r7, r8}
  bic r7, r9, #242688
  orrvs r5, r4, #3221225512
  ldr r9, =0x10001800
  mov r11, r9
  stmib r11, {r2, r3, r7}
  sbcs r5, r5, r12, lsr r4
  ldr r9, =0x08000400
  mov r11, r9
  ldmdb r11!, {r1, r2, r3, r4, r8}
  ldr r9, =0x01D50000
  ldr r7, [r9, #0x14]
  movle r0, r0, asr #6
  cmngt r11, r3, asr r5
  rsbs r8, r9, #576
  ldr r9, =0x10001800
  mov r11, r9
  swp r7, r2, [r11]
  mov r10, #7
L17:
  movge r1, #835584
  cmn r1, r4, lsl #1
  ldr r9, =0x08000400
  mov r11, r9
  swpb r6, r5, [r11]
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #202
  ldrsh r3, [r11], -r12
  smulls r4, r6, r5, r0
  subs r10, r10, #1
  bne L17
  smlalls r5, r0, r1, r0
  ldr r9, =0x00000400
  mov r11, r9
  strh r3, [r11, #-50]
  smlals r6, r7, r1, r7
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #38
  ldrbvs r0, [r11, -r12]
  ldr r9, =0x00000400
  mov r11, r9
  swpb r3, r6, [r11]
  ldr r9, =0x10001800
  mov r11, r9
  strb r3, [r11, #-3]!
  umulls r2, r4, r6, r1
  cmp r3, #78848
  ldr r9, =0x00000400
  mov r11, r9
  stmib r11, {r0, r2}
  ands r4, r0, r6, lsl #14
  umullcs r5, r2, r0, r3
  orr r0, r8, r7
  ldr r9, =0x10001800
  mov r11, r9
  strb r5, [r11, #-49]
  adds r6, r6, #5376
  eor r6, r11, r1, rrx
  mrs r6, cpsr
  smull r7, r8, r5, r12
  mrs r4, cpsr
  bic r0, r7, r8, lsl #5
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldmdbcs r11, {r0, r1, r3, r4, r5, r7, r8}
  cmpmi r11, r3
  rsb r5, r8, r11, ror #8
  ldr r9, =dt_sdram+1024
  mov r11, r9
  swpb r6, r8, [r11]
  mvn r2, #3221225475
  rsbhi r7, r4, r0, lsl r12
  rsbs r8, r8, r5, lsl #21
  mrs r6, cpsr
  ldr r9, =0x00000400
  mov r11, r9
  ldrsb r5, [r11, #-89]
  adcscs r1, r8, #16777216
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #140
  ldrsh r7, [r11], r12
  ldr r12, =L18 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L18:
  ldr r6, =0x00000400
  adds r0, #180
  adds r2, #66
  str r3, [r6, #116]
  asrs r2, r2
  adds r0, r5, #6
  adds r4, r5, r5
  asrs r2, r5, #8
  movs r7, #96
  ldrh r3, [r6, r7]
  lsrs r1, r4
  bics r5, r0
  add r3, r9
  mov r3, r11
  lsrs r0, r1
  ldrh r1, [r6, #44]
  add r3, r11
  rors r4, r0
  ldr r7, =L19
  bx r7
  .ltorg
  .arm
  .align 2
L19:
  mov r10, #10
L20:
  movs r4, #637534208
  mov r7, r3, rrx
  muls r8, r4, r1
  subs r10, r10, #1
  bne L20
