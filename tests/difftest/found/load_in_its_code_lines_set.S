@ seed 220000685: SYSCFG 0x2, tick 0, NCACHBE 0
@ A load whose line shares its cache set with the code line it runs in,
@ with more of the block's instructions in that line: their fetch looks
@ the code line up again after the load, and the set's order then
@ decides a later load's fill.
  msr cpsr_f, #0xD0000000
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #8
  ldrbne r1, [r11, -r12]
  orr r8, r8, #255852544
  addhi r2, r8, #32768000
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldr r0, [r11, #-100]
  ldr r9, =0x10001800
  mov r11, r9
  ldr r2, [r11], #-132
  mrs r4, cpsr
  eor r2, r12, #4043309056
  ldr r12, =L1 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L1:
  ldr r6, =0x00000400
  ands r4, r0
  adds r3, r3, #6
  adds r5, r3, r5
  bls L3
  adds r0, #169
L3:
  bne L4
  movs r5, #106
L4:
  movs r7, #196
  ldrsb r0, [r6, r7]
  asrs r4, r4
  asrs r1, r5, #4
  ldr r7, =L2
  bx r7
  .ltorg
  .arm
  .align 2
L2:
  sublt r6, r12, r5, lsr #29
  biceq r5, r4, r2, lsr #29
  eor r2, r11, r3, lsr r11
  ldr r9, =0x00000400
  mov r11, r9
  ldr r3, [r11, #40]
  orrvc r1, r7, #1245184
  ldr r9, =0x08000400
  mov r11, r9
  stmdagt r11, {r3, r4, r6}
  orrscs r6, r7, r7
  mov r10, #23
L5:
  movslt r4, #211
  subs r10, r10, #1
  bne L5
  tst r0, r3, lsr r0
  msr cpsr_f, r5
  umlalvs r4, r7, r5, r7
  sbcs r5, r6, #168
  subsls r8, r1, r4, lsl #16
  addsls r2, r6, r9, lsl r11
  rsb r5, r8, r0, asr #25
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #46
  ldrsh r7, [r11], r12
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #18
  ldrb r0, [r11, -r12]!
  ldr r9, =0x10001800
  mov r11, r9
  swpb r1, r7, [r11]
  ldr r9, =0x08000400
  mov r11, r9
  ldmib r11, {r0, r1, r2, r4, r6}
  mvnvc r6, r0, ror r12
  mul r2, r8, r1
  mov r10, #14
L6:
  mrs r6, cpsr
  subs r10, r10, #1
  bne L6
  rsc r6, r4, #1520
  ldr r9, =0x01E00000
  ldr r12, =0x07FFFFFF
  str r12, [r9, #0xC]
  ldr r12, =0x07FFFFFF
  str r12, [r9, #0xC]
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldr r4, [r11, #172]
  cmp r8, r12
  eors r4, r12, r1, ror r2
  b L7
  rsbpl r8, r11, r0, lsl #7
  umlal r7, r2, r8, r2
L7:
  ldr r9, =0x01D50000
  ldr r0, [r9, #0x14]
  b L8
  sbc r6, r1, #512
  teq r5, r7
  rscsle r3, r4, r8, lsl #31
L8:
  mov r10, #5
L9:
  mrs r4, cpsr
  msr cpsr_c, #0x93
  subs r10, r10, #1
  bne L9
  movls r6, r0, lsr #11
  mulsvc r5, r1, r9
  mlaeq r8, r4, r2, r8
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #13
  strb r5, [r11, r12]
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #22
  ldrb r8, [r11, -r12]
  teq r4, r9
  mvnslt r6, r12, asr r4
  smullls r7, r2, r3, r2
  ldr r9, =0x10001800
  mov r11, r9
  swp r5, r7, [r11]
  suble r7, r0, #2293760
  adds r1, r0, #1426063360
  rsc r4, r2, r2
  ands r4, r7, #44032
  ldr r12, =L10 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L10:
  ldr r6, =dt_sdram+1024
  ldmia r6!, {r0, r1, r3, r4, r5}
  ldr r6, =dt_sdram+1024
  sbcs r2, r5
  movs r7, #16
  str r5, [r6, r7]
  adds r2, r3, r2
  ldrh r0, [r6, #54]
  ldrb r3, [r6, #11]
  lsls r2, r0, #31
  lsrs r4, r5, #28
  subs r3, r0, r2
  lsrs r5, r3, #16
  bge L12
  movs r5, #211
L12:
  subs r2, r3, #4
  add r0, r8
  bgt L13
  adds r2, #195
L13:
  adds r1, #94
  movs r7, #76
  ldrsh r3, [r6, r7]
  cmp r3, r1
  cmp r0, r0
  subs r4, #161
  bgt L14
  movs r2, #237
L14:
  adcs r0, r4
  adds r4, r0, r1
  ldr r7, =L11
  bx r7
  .ltorg
  .arm
  .align 2
L11:
  rscpl r4, r12, #39
  orrge r1, r11, #3221225498
  mov r10, #19
L15:
  bgt L16
  adcscc r4, r12, r7, lsr r9
L16:
  eors r1, r2, r12
  subs r10, r10, #1
  bne L15
  ldr r9, =0x08000400
  mov r11, r9
  ldmdb r11, {r0, r3, r4, r5, r6}
  ldr r12, =L17 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L17:
  ldr r6, =dt_sdram+1024
  ldrh r0, [r6, #10]
  mvns r0, r2
  movs r7, #44
  ldrb r3, [r6, r7]
  lsls r2, r0, #1
  push {r0}
  pop {r0}
  movs r7, #76
  str r2, [r6, r7]
  asrs r3, r4, #10
  ldrb r0, [r6, #27]
  movs r4, #238
  sbcs r2, r0
  subs r3, r0, r5
  strb r4, [r6, #2]
  movs r7, #4
  ldrsb r2, [r6, r7]
  bics r2, r0
  adds r3, r5, r3
  adds r3, r1, #3
  cmp r5, r3
  muls r4, r5
  bpl L19
  adds r5, #78
L19:
  movs r7, #228
  ldrsb r2, [r6, r7]
  lsrs r0, r3, #26
  push {r1, r5}
  pop {r1, r5}
  adds r0, #91
  str r3, [r6, #48]
  ands r1, r3
  ldr r7, =L18
  bx r7
  .ltorg
  .arm
  .align 2
L18:
  cmn r4, #2147483667
  tst r11, r12, lsl #3
  orr r3, r2, r4
  cmnne r7, r2, asr #16
  ldr r9, =0x00000400
  mov r11, r9
  swpb r6, r5, [r11]
  orreq r8, r9, r8, lsr r1
  mla r3, r2, r6, r2
  ldr r9, =dt_sdram+1024
  mov r11, r9
  swpb r5, r0, [r11]
  ldr r12, =L20 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L20:
  ldr r6, =0x00000400
  ldrb r4, [r6, #9]
  sbcs r4, r1
  bpl L22
  adds r2, #18
L22:
  mov r3, r8
  rors r1, r5
  mvns r2, r0
  ands r3, r5
  asrs r2, r4, #25
  push {r0, r1, r2}
  pop {r0, r1, r2}
  blt L23
  adds r2, #139
L23:
  sbcs r2, r2
  ldrb r1, [r6, #1]
  lsls r0, r2, #28
  ldr r7, =L21
  bx r7
  .ltorg
  .arm
  .align 2
L21:
  bcc L24
  teq r1, r6
L24:
  ldr r9, =0x01D50000
  ldr r3, [r9, #0x14]
  ldr r12, =L25 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L25:
  ldr r6, =0x00000400
  asrs r5, r1, #7
  movs r7, #56
  strh r1, [r6, r7]
  movs r4, #235
  asrs r1, r1, #8
  rors r1, r3
  subs r5, r1, #3
  ble L27
  adds r3, #17
L27:
  movs r7, #144
  strh r4, [r6, r7]
  subs r5, r3, #1
  subs r2, r0, r5
  lsrs r2, r5, #5
  adds r3, r5, r5
  bcs L28
  movs r5, #136
L28:
  ldmia r6!, {r0, r3}
  ldr r6, =0x00000400
  adds r0, r5, #4
  strh r5, [r6, #2]
  asrs r4, r0, #10
  adds r4, #135
  mov r1, r9
  lsls r2, r5, #9
  bics r2, r1
  push {r0, r2, r3, r4, r5}
  pop {r0, r2, r3, r4, r5}
  cmp r4, r4
  ands r1, r5
  adds r5, #209
  ldr r7, =L26
  bx r7
  .ltorg
  .arm
  .align 2
L26:
  mla r6, r7, r2, r4
  orr r5, r2, r6, lsr #10
  ldr r9, =0x00000400
  mov r11, r9
  swp r3, r4, [r11]
  adds r4, r7, r6
  ldr r9, =0x01E00000
  ldr r6, [r9, #0xC]
  add r6, r2, #1216
  adcvc r7, r11, r12
  adc r5, r6, #9216
  umlals r5, r3, r6, r12
  adcs r8, r11, r12, lsl r6
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldr r2, [r11, #40]
  mov r10, #21
L29:
  msr cpsr_f, #0x00000000
  umlal r6, r5, r7, r2
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldr r6, [r11], #-220
  ldr r9, =0x08000400
  mov r11, r9
  swp r8, r5, [r11]
  subs r10, r10, #1
  bne L29
  cmn r12, r5
  umlals r1, r2, r7, r4
  teq r1, r4
  ldr r9, =0x00000400
  mov r11, r9
  stmdb r11, {r0, r1, r2, r3, r5, r6, r7, r8}
  sbcs r3, r8, r11, rrx
  b L30
  ldr r9, =0x08000400
  mov r11, r9
  ldrb r0, [r11, #9]!
  adcpl r8, r7, r4, lsl #20
L30:
  rsb r5, r3, r0, asr #29
  mov r10, #20
L31:
  ldr r9, =0x00000400
  mov r11, r9
  strb r6, [r11, #-15]
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #28
  ldrb r5, [r11, r12]
  subs r10, r10, #1
  bne L31
  rsb r7, r6, r5, lsl #14
  msr cpsr_f, #0xD0000000
  tst r4, r2, lsl #30
  rsc r6, r4, r1, asr #2
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldrb r6, [r11, #46]!
  ldr r9, =0x08000400
  mov r11, r9
  stmdb r11!, {r0, r3, r4, r5, r6, r8}
  ldr r9, =0x00000400
  mov r11, r9
  str r4, [r11, #112]!
  sub r3, r3, r9, asr #1
  ldr r9, =0x08000400
  mov r11, r9
  stmda r11!, {r0, r1, r3, r4, r5, r6, r7, r8}
  ldr r12, =L32 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L32:
  ldr r6, =0x00000400
  str r0, [r6, #64]
  str r5, [r6, #8]
  str r3, [r6, #40]
  subs r0, r5, r3
  bge L34
  movs r4, #47
L34:
  ldr r7, =L33
  bx r7
  .ltorg
  .arm
  .align 2
L33:
  bcs L35
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #33
  ldr r4, [r11, -r12, lsl #2]!
  eorspl r3, r3, r6, rrx
  mlaeq r5, r2, r12, r5
L35:
  cmp r1, r1, ror r9
  andslt r1, r7, r3, lsr #21
  ldr r9, =0x01D50000
  ldr r7, [r9, #0x14]
  mov r10, #23
L36:
  ldr r9, =0x00000400
  mov r11, r9
  ldmib r11!, {r0, r1, r3, r4, r5, r7, r8}
  bvs L37
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #10
  strlt r0, [r11, -r12, lsl #2]!
L37:
  teqcc r12, r1, lsl r4
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #98
  ldrhvs r5, [r11], -r12
  umullslt r1, r2, r6, r12
  subs r10, r10, #1
  bne L36
  ldr r12, =L38 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L38:
  ldr r6, =0x08000400
  add r1, r11
  cmp r1, #137
  bvs L40
  adds r2, #117
L40:
  adds r5, r4, #1
  asrs r5, r1, #23
  adds r0, #143
  rors r1, r2
  mov r1, r8
  lsrs r3, r1, #26
  cmp r5, r3
  movs r7, #140
  ldrb r0, [r6, r7]
  mvns r5, r3
  rors r5, r2
  lsls r3, r0, #6
  cmp r3, #197
  strb r3, [r6, #3]
  adds r0, #174
  push {r0, r5}
  pop {r0, r5}
  str r3, [r6, #64]
  movs r7, #20
  ldrh r5, [r6, r7]
  adds r0, r0, #6
  bgt L41
  adds r4, #212
L41:
  lsls r4, r5, #22
  str r4, [r6, #56]
  adds r0, r5, #0
  muls r3, r3
  ldr r7, =L39
  bx r7
  .ltorg
  .arm
  .align 2
L39:
  and r1, r9, r9, asr #22
  and r6, r5, r0, ror #8
  rsc r6, r4, r9, lsl r0
  ldr r9, =dt_sdram+1024
  mov r11, r9
  stmib r11, {r1, r6}
  msr cpsr_f, #0x70000000
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #2
  ldrb r1, [r11, r12]
  mov r10, #18
L42:
  cmn r7, #13248
  subs r10, r10, #1
  bne L42
  addvs r1, r3, #9699328
  adc r1, r12, r9, asr r2
  ldr r9, =0x08000400
  mov r11, r9
  ldmible r11!, {r0, r1, r3, r4, r5, r6, r7}
  andpl r2, r11, #14680064
  adds r0, r4, #1031798784
  teq r8, r11
  orr r7, r0, r11, asr r9
  ldr r9, =0x10001800
  mov r11, r9
  ldrh r3, [r11, #94]!
  ldr r9, =0x00000400
  mov r11, r9
  stmib r11, {r6}
  umlals r7, r0, r6, r12
  eor r1, r6, r6, rrx
  ldr r12, =L43 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L43:
  ldr r6, =0x10001800
  lsrs r1, r5
  ldr r0, [r6, #4]
  sbcs r2, r0
  adds r3, #156
  bvs L45
  movs r4, #107
L45:
  movs r7, #204
  ldrsh r0, [r6, r7]
  ldr r1, [r6, #64]
  subs r2, r3, #5
  movs r7, #144
  ldrb r0, [r6, r7]
  movs r7, #160
  strh r1, [r6, r7]
  subs r4, r0, #2
  subs r4, r3, r0
  adds r4, r4, r0
  push {r1, r2, r4}
  pop {r1, r2, r4}
  movs r5, #216
  asrs r2, r1, #4
  push {r0}
  pop {r0}
  ldr r7, =L44
  bx r7
  .ltorg
  .arm
  .align 2
L44:
  teq r5, r6, asr r0
  ldr r9, =0x08000400
  mov r11, r9
  str r7, [r11, #-144]!
  teq r0, r6, lsl #1
  mov r10, #5
L46:
  ldr r9, =0x00000400
  mov r11, r9
  ldrsb r5, [r11, #-66]
  blt L47
  mul r7, r5, r7
  ldr r9, =0x00000400
  mov r11, r9
  ldr r1, [r11], #32
  smlalvc r2, r3, r6, r7
L47:
  subs r10, r10, #1
  bne L46
  ldr r9, =0x00000400
  mov r11, r9
  ldmda r11!, {r2, r3, r6, r7}
  mla r3, r1, r9, r3
  mov r5, #4026531855
  beq L48
  sbcvc r6, r0, r11, ror #20
  mla r3, r5, r11, r6
L48:
  ldr r9, =0x00000400
  mov r11, r9
  ldmdble r11, {r1, r2, r5, r8}
  sbcge r5, r7, #3959422976
  adcle r7, r4, r4, ror #12
  orr r5, r11, r6, lsr r9
  ldr r9, =0x08000400
  mov r11, r9
  swpb r0, r4, [r11]
  mvn r2, r3, lsr #25
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldr r3, [r11, #204]!
  ldr r9, =0x00000400
  mov r11, r9
  str r4, [r11, #-200]!
  bic r3, r0, r7, ror #10
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #51
  str r6, [r11, r12, lsl #2]!
  bics r3, r4, r0
  ldr r9, =0x00000400
  mov r11, r9
  ldr r8, [r11, #-32]
  rsbs r1, r1, #1610612750
  msr cpsr_f, r3
  cmp r8, #3375104
  and r4, r7, r8
  smullscs r1, r5, r2, r9
  teq r8, r9
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldr r8, [r11], #152
  mla r5, r0, r7, r7
  mlas r2, r0, r1, r7
  umullmi r6, r7, r2, r2
  ldr r9, =0x00000400
  mov r11, r9
  swpb r4, r3, [r11]
  ldr r12, =L49 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L49:
  ldr r6, =0x08000400
  lsls r3, r4, #19
  ldrb r5, [r6, #1]
  push {r1, r2, r4}
  pop {r1, r2, r4}
  eors r0, r2
  lsrs r3, r0, #15
  cmn r5, r1
  subs r2, r0, r5
  push {r0}
  pop {r0}
  rsbs r5, r3, #0
  cmp r1, #109
  cmp r3, r9
  movs r2, #194
  bvc L51
  movs r0, #2
L51:
  str r1, [r6, #32]
  lsls r2, r1, #24
  adds r5, r4, r4
  ldr r7, =L50
  bx r7
  .ltorg
  .arm
  .align 2
L50:
  ldr r9, =0x01D50000
  ldr r6, [r9, #0x14]
  teq r0, #56064
  ldr r9, =dt_sdram+1024
  mov r11, r9
  strbcs r0, [r11, #25]
  mlas r2, r4, r1, r4
  ldr r9, =0x00000400
  mov r11, r9
  str r3, [r11, #-92]!
  mvn r1, r11
  ldr r9, =0x10001800
  mov r11, r9
  swp r0, r8, [r11]
  sub r2, r2, r8, lsl #3
  rscs r5, r8, r6, lsl r5
  umullvc r3, r6, r2, r11
  ldr r12, =L52 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L52:
  ldr r6, =0x00000400
  subs r3, r5, r3
  subs r1, #167
  bics r5, r5
  strh r4, [r6, #14]
  push {r0, r2, r3, r4, r5}
  pop {r0, r2, r3, r4, r5}
  strh r0, [r6, #50]
  str r1, [r6, #68]
  movs r7, #108
  ldrsb r5, [r6, r7]
  bhi L54
  adds r4, #49
L54:
  add r0, r11
  lsls r4, r2
  movs r7, #12
  ldr r1, [r6, r7]
  asrs r3, r2, #8
  adds r0, #97
  cmn r2, r3
  lsrs r3, r3
  adds r0, r1, r5
  bgt L55
  movs r3, #111
L55:
  stmia r6!, {r2, r4, r5}
  ldr r6, =0x00000400
  ldrh r2, [r6, #8]
  movs r7, #168
  ldrb r2, [r6, r7]
  bgt L56
  adds r4, #193
L56:
  asrs r1, r1, #13
  lsls r5, r0
  mov r5, r8
  ldr r7, =L53
  bx r7
  .ltorg
  .arm
  .align 2
L53:
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #18
  ldrsb r8, [r11], -r12
  sbc r3, r9, r4, lsr #11
  ldr r12, =L57 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L57:
  ldr r6, =dt_sdram+1024
  movs r7, #16
  str r1, [r6, r7]
  ldr r5, [r6, #40]
  cmp r0, #152
  subs r4, r2, #1
  push {r1}
  pop {r1}
  str r0, [r6, #80]
  adds r5, r5, r4
  adds r4, r0, #1
  movs r7, #220
  strh r3, [r6, r7]
  ble L59
  adds r1, #220
L59:
  bls L60
  adds r1, #63
L60:
  ldrb r0, [r6, #23]
  subs r3, r1, #4
  bne L61
  adds r0, #159
L61:
  ldr r5, [r6, #52]
  bics r5, r0
  orrs r1, r2
  beq L62
  adds r2, #49
L62:
  ldr r7, =L58
  bx r7
  .ltorg
  .arm
  .align 2
L58:
  rsc r3, r11, r11, asr #22
  ldr r9, =0x00000400
  mov r11, r9
  ldrb r2, [r11], #2
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #55
  strb r7, [r11, r12]!
  mov r10, #5
L63:
  tst r8, #57
  subs r10, r10, #1
  bne L63
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #9
  ldrb r2, [r11, r12]!
  ldr r9, =0x01E00000
  ldr r12, =0x07FFFFFF
  str r12, [r9, #0xC]
  msr cpsr_f, #0xB0000000
  cmp r5, #1342177292
  ldr r12, =L64 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L64:
  ldr r6, =0x00000400
  push {r2, r4, r5}
  pop {r2, r4, r5}
  tst r1, r0
  add r0, r8
  bics r5, r3
  subs r3, r1, r3
  lsrs r4, r0
  sbcs r5, r0
  adds r2, r1, #2
  lsrs r5, r3, #26
  subs r1, #38
  adds r3, r1, #1
  stmia r6!, {r0}
  ldr r6, =0x00000400
  ands r4, r1
  subs r1, r0, r3
  adcs r3, r3
  movs r7, #172
  ldr r2, [r6, r7]
  subs r1, r2, r1
  asrs r2, r0, #11
  ldr r1, [r6, #96]
  ldr r7, =L65
  bx r7
  .ltorg
  .arm
  .align 2
L65:
  ldr r9, =0x00000400
  mov r11, r9
  swp r1, r3, [r11]
  ldr r9, =0x01D50000
  ldr r7, [r9, #0x14]
  umull r1, r8, r3, r6
  ldr r9, =0x01D50000
  ldr r5, [r9, #0x14]
  mov r10, #4
L66:
  mul r6, r8, r3
  and r3, r1, r0, lsr #16
  eor r6, r0, r2, rrx
  subs r10, r10, #1
  bne L66
  sbcs r6, r1, #14
  adc r0, r1, r7
  mov r8, r0, ror #28
  sbccs r5, r3, #17408
  movs r3, r0, lsr #13
  eors r4, r0, #66060288
  mlas r1, r2, r7, r1
  umlalcs r8, r2, r3, r11
  bic r0, r0, #4288
  ldr r12, =L67 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L67:
  ldr r6, =0x00000400
  bmi L69
  movs r4, #161
L69:
  cmp r5, #82
  push {r4, r5}
  pop {r4, r5}
  bmi L70
  adds r1, #239
L70:
  adds r2, r4, r4
  cmp r3, #205
  eors r0, r1
  subs r3, #88
  lsls r0, r0
  subs r4, #20
  muls r0, r3
  ldrh r0, [r6, #54]
  subs r1, #40
  ldr r7, =L68
  bx r7
  .ltorg
  .arm
  .align 2
L68:
  bpl L71
  subsmi r6, r7, r11
L71:
  cmp r6, r7, lsr #22
  cmn r5, #2063597568
  umlal r8, r1, r4, r8
  ldr r9, =0x08000400
  mov r11, r9
  ldr r1, [r11, #200]!
  umlals r4, r1, r8, r12
  mrs r7, cpsr
  rsb r2, r11, r0
  mrs r4, cpsr
  teqne r0, r5
  mov r10, #9
L72:
  biceq r7, r9, r5, asr r4
  sbc r6, r2, r9, lsl #8
  sub r1, r4, r5
  smullmi r0, r2, r7, r4
  orr r7, r12, r0, lsl #9
  subs r10, r10, #1
  bne L72
  msr cpsr_f, r11
  teqlt r3, r1
  adds r6, r4, r3, lsl #4
  mvn r8, r3, rrx
  ldr r12, =L73 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L73:
  ldr r6, =0x08000400
  bics r1, r5
  adds r2, r5, r3
  subs r0, #25
  subs r4, #234
  adds r3, r2, #4
  movs r7, #168
  ldr r4, [r6, r7]
  cmp r0, #137
  subs r3, r1, #5
  mvns r5, r3
  str r3, [r6, #24]
  ldrh r0, [r6, #46]
  bics r2, r0
  ands r5, r5
  lsls r4, r1, #2
  ldr r7, =L74
  bx r7
  .ltorg
  .arm
  .align 2
L74:
  sub r4, r8, r7, ror #28
  add r6, r12, r3, lsl #14
  ldr r9, =0x08000400
  mov r11, r9
  ldmdage r11, {r1, r2, r3, r4, r5, r6, r7, r8}
  bics r6, r7, r7
  eors r7, r0, r2, asr #14
  cmppl r1, r6, lsr #9
  ldr r9, =dt_sdram+1024
  mov r11, r9
  stmibls r11, {r3, r4, r5, r6, r7, r8}
  mov r10, #12
L75:
  teq r3, r12
  ldr r9, =0x08000400
  mov r11, r9
  ldmdb r11!, {r0, r2, r3, r6}
  mrs r6, cpsr
  muls r5, r8, r0
  subs r10, r10, #1
  bne L75
  adc r6, r5, r12, ror r0
  msr cpsr_f, r2
  bvc L76
  teq r12, r7, rrx
  mul r4, r8, r5
L76:
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #146
  ldrhle r8, [r11], -r12
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldrbgt r8, [r11, #-60]!
  msr cpsr_f, #0xC0000000
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldmdb r11!, {r1, r2, r3, r4, r5, r6}
  bcc L77
  mvnvs r4, r9, lsr r0
  add r7, r9, r5
  ldr r9, =dt_sdram+1024
  mov r11, r9
  str r0, [r11, #-232]!
L77:
  ldr r9, =0x00000400
  mov r11, r9
  swp r1, r0, [r11]
  ldr r9, =0x01E00000
  ldr r2, [r9, #0xC]
  msr cpsr_c, #0x93
  rsb r2, r8, #1342177283
  mlaeq r7, r8, r3, r12
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #51
  ldrsb r8, [r11], r12
  bmi L78
  umull r3, r8, r7, r6
  sbchi r4, r4, r3, asr #8
L78:
  eorshi r3, r3, r11
  sbcls r3, r8, #9109504
  ldr r9, =dt_sdram+1024
  mov r11, r9
  stmib r11, {r0, r1, r2, r3, r4, r6, r7, r8}
  umlalpl r6, r3, r4, r0
  ldr r9, =0x01D50000
  ldr r5, [r9, #0x14]
  mov r10, #3
L79:
  msr cpsr_f, #0x60000000
  rsc r1, r0, r11, asr #2
  ldr r9, =0x00000400
  mov r11, r9
  swp r5, r3, [r11]
  sub r6, r3, r12, lsl #12
  subs r10, r10, #1
  bne L79
  sbcs r6, r9, #57
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldrle r5, [r11, #-216]!
  ldr r9, =0x01E00000
  ldr r1, [r9, #0xC]
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldr r3, [r11, #-100]
  tst r5, r5, asr #29
  bic r6, r4, r7, ror r4
  eorsvs r0, r0, r11, asr r2
  ldr r9, =0x08000400
  mov r11, r9
  str r4, [r11, #-124]
  msr cpsr_f, r3
  b L80
  sbc r3, r1, r6
L80:
  movs r1, r6, rrx
  sbcne r7, r3, r4, asr #18
  sub r8, r0, r5
  sbccs r5, r9, #14483456
  mlaeq r7, r0, r0, r5
  mov r10, #8
L81:
  add r7, r12, r2, lsr r7
  subs r10, r10, #1
  bne L81
  adcsmi r0, r2, r0, rrx
  ldr r9, =0x08000400
  mov r11, r9
  strb r4, [r11, #37]
  subs r6, r9, #3408
  bmi L82
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldmib r11!, {r1, r2, r4, r6, r7, r8}
  smlals r0, r6, r1, r2
L82:
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #180
  ldrshcs r3, [r11], -r12
  blt L83
  subsls r8, r11, r9, asr #18
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #36
  strh r3, [r11], -r12
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldr r2, [r11, #240]!
L83:
  eor r8, r1, r5, ror r5
  blt L84
  teq r4, r0
  teqcc r8, r11
  orr r8, r9, r3
L84:
  mrs r2, cpsr
  orr r8, r12, r5
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #60
  strh r1, [r11], -r12
  ldr r9, =0x10001800
  mov r11, r9
  strh r6, [r11, #30]
  sbc r4, r0, #256
  mvns r1, #2147483676
  ldr r9, =0x10001800
  mov r11, r9
  strls r0, [r11, #-96]
  ldr r12, =L85 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L85:
  ldr r6, =0x10001800
  bcc L87
  adds r4, #185
L87:
  push {r2, r3, r4, r5}
  pop {r2, r3, r4, r5}
  ands r2, r3
  strb r3, [r6, #4]
  sbcs r0, r1
  adds r4, #118
  push {r0, r4}
  pop {r0, r4}
  movs r7, #208
  ldr r5, [r6, r7]
  adds r4, r3, #5
  subs r2, r0, r2
  asrs r0, r2, #10
  subs r4, #240
  cmp r4, #43
  adcs r4, r3
  ldr r5, [r6, #96]
  asrs r0, r5, #23
  sbcs r4, r0
  subs r4, #213
  lsrs r5, r4, #4
  lsls r3, r2, #24
  rsbs r0, r5, #0
  ldr r7, =L86
  bx r7
  .ltorg
  .arm
  .align 2
L86:
  ble L88
  smlal r7, r3, r4, r2
L88:
  sbcs r7, r12, r11
  movs r1, r11, asr r8
  ldr r9, =0x10001800
  mov r11, r9
  swpb r1, r0, [r11]
  ldr r9, =0x08000400
  mov r11, r9
  swp r2, r1, [r11]
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldmdb r11!, {r1, r4, r5, r7, r8}
  adcne r3, r3, r2, lsl r9
  eors r2, r7, #49664
  tst r7, r12, lsl r11
  eors r0, r11, r12, rrx
  msr cpsr_f, #0xA0000000
  add r8, r0, r2, rrx
  subs r2, r2, r8
  ldr r9, =0x08000400
  mov r11, r9
  stmia r11, {r1, r3, r4, r5, r6, r7, r8}
  ldr r9, =0x08000400
  mov r11, r9
  ldmibvs r11!, {r0, r2, r4, r6, r7, r8}
  adcsmi r0, r9, #102400
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #50
  strge r7, [r11, -r12, lsl #2]
  smlals r3, r1, r2, r0
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldmdaeq r11, {r0, r2, r4, r5, r6, r7, r8}
  cmple r0, r5, ror #31
  ldr r9, =0x00000400
  mov r11, r9
  stmdblt r11!, {r1, r3, r4, r5, r6, r7}
  sbc r7, r4, r12, lsl r2
  mrs r1, cpsr
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldmia r11!, {r8}
  mov r10, #2
L89:
  andpl r3, r7, #192937984
  eors r0, r1, #822083584
  msr cpsr_f, #0x40000000
  eorlt r2, r3, r5, lsr r8
  movs r3, r8, rrx
  subs r10, r10, #1
  bne L89
  cmp r0, #2621440
  sbcs r5, r0, r7, lsl #3
  ldr r9, =0x10001800
  mov r11, r9
  ldrsh r6, [r11, #-152]!
  ands r5, r11, r1, lsl #26
  mov r10, #4
L90:
  tst r1, r5
  mul r3, r0, r7
  sbcs r7, r6, r5, asr r2
  bics r3, r1, r1
  subs r10, r10, #1
  bne L90
  sbcspl r2, r1, r1, lsr #23
  ldr r9, =0x10001800
  mov r11, r9
  ldr r1, [r11, #20]
  teq r8, #966656
  ldr r9, =0x01E00000
  ldr r6, [r9, #0xC]
  subgt r6, r3, r0
  msr cpsr_f, r5
  movs r1, r3
  sbc r6, r7, r2
  eor r4, r6, #2147483671
  tst r8, r7, lsl #4
  cmppl r6, #536870915
  ldr r12, =L91 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L91:
  ldr r6, =0x10001800
  sbcs r1, r2
  adds r3, r4, r2
  adds r4, r3, #6
  adds r5, r0, r1
  adds r4, r5, #7
  bgt L93
  adds r1, #28
L93:
  cmp r4, #152
  mov r5, r9
  bne L94
  movs r3, #183
L94:
  movs r7, #108
  str r0, [r6, r7]
  lsrs r2, r2
  push {r0, r1, r5}
  pop {r0, r1, r5}
  asrs r3, r5, #7
  ldr r2, [r6, #72]
  bcc L95
  adds r5, #226
L95:
  ldr r7, =L92
  bx r7
  .ltorg
  .arm
  .align 2
L92:
  tst r9, r6, lsl #8
  bics r5, r8, r3, lsl #15
  mov r10, #8
L96:
  subscs r6, r7, #3719168
  bhi L97
  ldr r9, =0x10001800
  mov r11, r9
  ldrsb r1, [r11, #47]!
L97:
  bic r0, r2, r2
  subs r10, r10, #1
  bne L96
  ands r1, r3, #2588672
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #178
  ldrh r0, [r11], -r12
  ldr r9, =0x08000400
  mov r11, r9
  stmdb r11!, {r5}
  mov r10, #2
L98:
  sbcmi r5, r3, r1, lsr r0
  b L99
  ldr r9, =0x08000400
  mov r11, r9
  ldrsheq r2, [r11, #-244]
  ldr r9, =0x10001800
  mov r11, r9
  stmib r11!, {r0, r6, r8}
L99:
  subs r10, r10, #1
  bne L98
  ldr r9, =0x10001800
  mov r11, r9
  mov r12, #46
  str r4, [r11, -r12, lsl #2]!
  mov r10, #14
L100:
  rsb r3, r7, r4, asr r2
  subs r10, r10, #1
  bne L100
  ldr r9, =dt_sdram+1024
  mov r11, r9
  strb r0, [r11], #56
  mvn r1, #141557760
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #140
  strhhi r1, [r11], -r12
