@ seed 4000015: SYSCFG 0xA, tick 2000, NCACHBE 1
@ A wait for the tick on a counter in an NCACHBE area (its load costs more
@ than charged, every turn): the turns passed at once stop before the one
@ the tick falls in, reckoned with what a turn really costs.
  msr cpsr_f, #0x60000000
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #64
  ldrsbgt r5, [r11], -r12
  smlal r6, r0, r7, r4
  adcsgt r2, r0, r11, ror r5
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldrh r2, [r11, #46]
  ldr r9, =0x08000400
  mov r11, r9
  stmdbne r11!, {r3, r4, r5, r7}
  adcs r3, r0, r7, lsr #21
  ldr r9, =0x08000400
  mov r11, r9
  stmia r11!, {r0, r4, r5, r6, r7}
  orrs r5, r9, r4, asr r5
  andgt r4, r9, r0, ror r3
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #60
  strb r6, [r11, -r12]!
  tstcs r9, r4, asr r7
  smull r8, r5, r3, r4
  ldr r9, =0x10001800
  mov r11, r9
  ldmda r11, {r1, r2, r3, r4, r6, r7, r8}
  ldr r9, =0x00000400
  mov r11, r9
  ldmia r11, {r0, r1, r3, r4, r5, r6, r7, r8}
  sub r6, r0, #1073741866
  adcs r1, r5, r0
  subs r3, r9, #2785017856
  tst r1, r12, ror #10
  ldr r9, =0x01E00000
  ldr r12, =0x07FFFFFF
  str r12, [r9, #0xC]
  eors r6, r0, r6
  ldr r12, =0x03FFDFFF
  str r12, [r9, #0xC]
  rsbvs r4, r2, r6, rrx
  eors r6, r5, #207
  smull r3, r5, r7, r11
  and r7, r3, r11, lsl #10
  rsbs r3, r2, r11, ror r6
  bics r1, r12, r2
  ldr r9, =0x00000400
  mov r11, r9
  stmda r11, {r1, r2, r7}
  tst r9, r4, lsl #18
  mla r6, r8, r2, r7
  bicseq r1, r5, r6, lsr #12
  bge L1
  addsgt r6, r7, #243
L1:
  add r0, r0, #62464
  smlalpl r8, r6, r0, r8
  ldr r12, =L2 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L2:
  ldr r6, =dt_sdram+1024
  cmp r4, r2
  subs r2, r1, r4
  cmp r1, r5
  rors r3, r0
  ldr r7, =L3
  bx r7
  .ltorg
  .arm
  .align 2
L3:
  mla r2, r4, r8, r4
  orrmi r1, r8, r6, rrx
  eorvs r0, r5, r8
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #78
  ldrh r2, [r11], r12
  ldr r9, =dt_sdram+1024
  mov r11, r9
  swp r1, r6, [r11]
  cmnge r2, r1
  msr cpsr_f, #0xC0000000
  bicsne r5, r12, r0, asr r4
  mov r10, #10
L4:
  adds r4, r8, r1, rrx
  bic r7, r6, r7, lsr #27
  subs r10, r10, #1
  bne L4
  ldr r9, =dt_sdram+1024
  mov r11, r9
  strble r2, [r11], #-21
  msr cpsr_f, r0
  teq r12, r7, asr r0
  ldr r9, =0x01D50000
  ldr r0, [r9, #0x14]
  cmp r4, r12, lsl #16
  b L5
  ldr r9, =0x10001800
  mov r11, r9
  swpmi r5, r2, [r11]
L5:
  ldr r12, =L6 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L6:
  ldr r6, =dt_sdram+1024
  adds r1, r1, #6
  cmp r1, #6
  subs r5, r5, #7
  subs r5, r2, #7
  ldrb r1, [r6, #29]
  push {r0, r1, r2, r3, r5}
  pop {r0, r1, r2, r3, r5}
  add r2, r11
  adds r0, r1, #0
  movs r1, #208
  movs r0, #199
  cmp r5, #172
  cmp r0, #70
  bge L8
  movs r4, #222
L8:
  subs r0, r1, r2
  eors r3, r4
  sbcs r5, r1
  push {r1, r3}
  pop {r1, r3}
  eors r0, r4
  movs r2, #232
  movs r7, #152
  ldrb r1, [r6, r7]
  lsls r0, r1, #25
  rsbs r4, r0, #0
  ldr r7, =L7
  bx r7
  .ltorg
  .arm
  .align 2
L7:
  mvnpl r5, r2, lsl #2
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldrb r8, [r11, #-42]
  tst r4, #884998144
  mov r7, #4864
  teqpl r11, r0, lsl #7
  sub r1, r5, r4
  sbclt r4, r11, #1459617792
  ldr r9, =0x01D50000
  ldr r8, [r9, #0x14]
  mvns r0, r2, lsr #13
  bic r2, r0, r4, rrx
  ldr r9, =dt_sdram+1024
  mov r11, r9
  swpb r8, r7, [r11]
  cmp r12, r7, lsr r8
  bics r7, r8, #908
  ldr r9, =0x00000400
  mov r11, r9
  swp r2, r3, [r11]
  rsc r5, r2, r2, ror r1
  mvnshi r1, #50069504
  sbc r2, r11, r12, lsr r8
  ldr r9, =0x01D50000
  ldr r5, [r9, #0x14]
  sbc r8, r8, r5, asr #6
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #170
  ldrh r0, [r11], -r12
  eor r7, r6, r0, ror #15
  ldr r9, =0x01D50000
  ldr r0, [r9, #0x14]
  ldr r9, =0x01D50000
  ldr r6, [r9, #0x14]
  mla r7, r8, r2, r7
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #22
  ldrsb r7, [r11], r12
  mvns r1, r0, lsl r1
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #120
  ldrsbhi r0, [r11], r12
  sub r1, r9, r3
  movs r6, r6
  sbcle r8, r3, r9, lsr r4
  rsbvc r6, r2, r8, lsl #7
  rsb r7, r5, #2949120
  muls r6, r4, r5
  tst r1, r11, lsr #26
  orrle r4, r5, r9, lsr #27
  ldr r12, =L9 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L9:
  ldr r6, =0x10001800
  lsrs r4, r3, #21
  lsrs r5, r5, #9
  movs r7, #72
  ldr r0, [r6, r7]
  cmp r5, #72
  lsls r2, r4, #19
  ldr r7, =L10
  bx r7
  .ltorg
  .arm
  .align 2
L10:
  tst r2, #2952790018
  eors r8, r7, r5
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #104
  ldrsb r5, [r11], r12
  rsc r5, r4, r11
  ldr r9, =0x00000400
  mov r11, r9
  strb r5, [r11, #25]
  tst r2, #134217728
  ldr r9, =0x00000400
  mov r11, r9
  ldrsb r0, [r11, #102]!
  cmp r5, r0, rrx
  mulgt r5, r6, r9
  ldr r12, =dt_ticks
  ldr r10, [r12]
L11:
  ldr r9, [r12]
  cmp r9, r10
  beq L11
  movs r3, #238592
  ldr r12, =L12 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L12:
  ldr r6, =0x00000400
  lsrs r0, r0
  ldr r5, [r6, #72]
  lsls r4, r4, #7
  adds r1, #155
  adds r4, r1, #5
  movs r7, #220
  ldrh r1, [r6, r7]
  ldr r1, [r6, #24]
  movs r7, #112
  str r5, [r6, r7]
  adds r1, r1, #1
  ldr r3, [r6, #100]
  adds r0, r5, r3
  subs r2, r2, #1
  ldr r7, =L13
  bx r7
  .ltorg
  .arm
  .align 2
L13:
  cmp r2, r7, asr #1
  mov r10, #8
L14:
  rscpl r7, r1, r9, lsr #18
  bic r6, r0, r1
  tst r11, #4544
  movs r8, r2, lsr r8
  cmn r3, r2
  subs r10, r10, #1
  bne L14
  ldr r12, =L15 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L15:
  ldr r6, =dt_sdram+1024
  movs r7, #176
  ldr r1, [r6, r7]
  bics r0, r5
  bgt L17
  adds r2, #154
L17:
  sbcs r5, r0
  cmp r3, r1
  lsls r1, r0, #20
  subs r4, r4, r1
  cmp r4, r1
  lsls r0, r2, #8
  lsls r5, r0, #4
  movs r7, #8
  ldrb r4, [r6, r7]
  mvns r4, r3
  lsls r0, r0
  bpl L18
  adds r1, #113
L18:
  str r3, [r6, #52]
  lsrs r0, r5, #6
  ble L19
  movs r1, #151
L19:
  lsls r1, r2
  asrs r5, r3
  subs r0, r3, r2
  movs r7, #220
  ldrsb r2, [r6, r7]
  bics r3, r3
  mvns r0, r0
  stmia r6!, {r0, r1, r3}
  ldr r6, =dt_sdram+1024
  movs r7, #8
  str r1, [r6, r7]
  ldr r7, =L16
  bx r7
  .ltorg
  .arm
  .align 2
L16:
  ldr r9, =0x10001800
  mov r11, r9
  swpb r6, r8, [r11]
  ldr r9, =0x08000400
  mov r11, r9
  str r2, [r11, #-16]!
