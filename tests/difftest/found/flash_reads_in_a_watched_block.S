@ seed 2000011: SYSCFG 0x6, tick 5000, NCACHBE 1
@ A load multiple from the flash in a block whose other loads are watched
@ (the cache on): every access of the block counts in its plan, the flash's
@ too, or the later loads are priced as the load multiple's.
  msr cpsr_f, #0x90000000
  ldr r12, =dt_ticks
  ldr r10, [r12]
L1:
  ldr r9, [r12]
  cmp r9, r10
  beq L1
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldrb r8, [r11], #10
  orrne r0, r1, r0, lsr r11
  umlal r8, r4, r5, r12
  ldr r9, =0x00000400
  mov r11, r9
  ldrsb r5, [r11, #9]
  mvnshi r2, r9, lsl r12
  bhi L2
  rsc r6, r5, #42205184
  teqgt r6, r9
L2:
  cmp r7, r4, ror #23
  subseq r4, r8, r1
  ldr r9, =0x00000400
  mov r11, r9
  stmib r11, {r0, r3, r4}
  ldr r9, =0x08000400
  mov r11, r9
  ldrsbne r2, [r11, #-94]
  ldr r12, =L3 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L3:
  ldr r6, =dt_sdram+1024
  rors r4, r3
  bmi L5
  adds r0, #25
L5:
  ldr r5, [r6, #100]
  rors r2, r1
  adds r5, r1, #3
  ldr r7, =L4
  bx r7
  .ltorg
  .arm
  .align 2
L4:
  ldr r12, =L6 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L6:
  ldr r6, =0x00000400
  cmp r5, r3
  adds r2, r5, #5
  asrs r5, r4, #1
  orrs r5, r4
  ldmia r6!, {r0, r1, r2, r4, r5}
  ldr r6, =0x00000400
  subs r0, #132
  muls r1, r1
  cmp r1, #241
  sbcs r5, r1
  ands r3, r5
  subs r5, r5, #4
  lsrs r1, r2, #14
  ldr r7, =L7
  bx r7
  .ltorg
  .arm
  .align 2
L7:
  eors r4, r12, r2, asr r11
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #63
  ldrbcs r0, [r11, r12]
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldmda r11!, {r1, r3, r7}
  bics r3, r8, #53248
  movs r5, #1052770304
  ldr r9, =0x00000400
  mov r11, r9
  ldmda r11, {r3, r4, r6, r8}
  smlalcs r7, r6, r3, r8
  mul r8, r1, r1
  umull r0, r4, r1, r3
  bics r2, r1, r3, rrx
  umlal r4, r8, r0, r6
  ldr r9, =0x00000400
  mov r11, r9
  strb r3, [r11, #45]
  bls L8
  bics r6, r8, r1, ror #12
  eors r6, r3, r7, rrx
  tstcc r5, #71680
L8:
  bls L9
  sbcs r4, r1, #6160384
  mov r7, r8
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldmiavs r11!, {r0, r2, r6, r8}
L9:
  adds r2, r11, r2, lsl r6
  mrs r7, cpsr
  ldr r9, =0x00000400
  mov r11, r9
  swpmi r4, r7, [r11]
  ldr r9, =0x01D50000
  ldr r6, [r9, #0x14]
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #84
  strh r0, [r11], -r12
  ldr r9, =0x08000400
  mov r11, r9
  ldrcs r7, [r11, #84]
  umlals r3, r1, r5, r1
  ldr r12, =L10 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L10:
  ldr r6, =0x00000400
  movs r7, #164
  ldrsh r5, [r6, r7]
  movs r5, #0
  tst r1, r0
  bgt L12
  movs r2, #232
L12:
  movs r7, #44
  ldrsh r4, [r6, r7]
  orrs r2, r5
  bvs L13
  movs r5, #55
L13:
  strh r0, [r6, #10]
  mvns r4, r0
  adds r0, r4, r2
  cmp r2, #236
  rors r0, r1
  ands r0, r4
  movs r7, #224
  str r4, [r6, r7]
  str r1, [r6, #32]
  adds r5, r0, #0
  cmp r2, #101
  ldr r7, =L11
  bx r7
  .ltorg
  .arm
  .align 2
L11:
  adc r5, r6, #114688
  ldr r12, =L14 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L14:
  ldr r6, =dt_sdram+1024
  ldr r1, [r6, #88]
  lsls r0, r5, #1
  asrs r3, r5, #4
  adds r2, #121
  lsls r5, r5, #5
  adds r3, r3, r0
  ldr r7, =L15
  bx r7
  .ltorg
  .arm
  .align 2
L15:
  mvn r5, r4, asr #6
  adc r8, r9, r5, rrx
  ldr r9, =0x08000400
  mov r11, r9
  ldrh r3, [r11, #-206]!
  ldr r9, =0x01D50000
  ldr r2, [r9, #0x14]
  tst r1, r5
  mrs r0, cpsr
  ands r3, r9, r12, lsl r2
  orrseq r7, r0, r4, lsl #17
  ldr r12, =L16 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L16:
  ldr r6, =0x00000400
  add r5, r11
  lsls r3, r4
  bmi L18
  movs r4, #252
L18:
  strh r0, [r6, #44]
  add r4, r11
  strh r1, [r6, #20]
  lsrs r0, r1, #7
  adds r5, r4, #1
  subs r2, #141
  mov r3, r11
  adds r3, #173
  subs r1, r0, #2
  bgt L19
  adds r1, #118
L19:
  ldmia r6!, {r3, r5}
  ldr r6, =0x00000400
  cmp r4, r8
  eors r0, r5
  ldr r5, [r6, #64]
  lsls r0, r3, #27
  ldr r7, =L17
  bx r7
  .ltorg
  .arm
  .align 2
L17:
  ldr r9, =0x01E00000
  ldr r7, [r9, #0xC]
  and r1, r4, r1
  ldr r9, =dt_sdram+1024
  mov r11, r9
  swpb r5, r2, [r11]
  orrhi r8, r7, r12, lsr #29
  ldr r9, =0x01D50000
  ldr r7, [r9, #0x14]
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldrsh r3, [r11, #-92]
  mov r10, #8
L20:
  ldr r9, =dt_sdram+1024
  mov r11, r9
  swpbne r5, r8, [r11]
  teq r2, r6, rrx
  umull r3, r2, r6, r12
  subs r10, r10, #1
  bne L20
  sbcs r1, r6, r2
  biccs r2, r0, r3, lsr r4
  ldr r9, =0x08000400
  mov r11, r9
  stmdb r11, {r0, r1, r2, r5, r6, r7}
  mov r10, #16
L21:
  ldr r9, =0x01D50000
  ldr r5, [r9, #0x14]
  subs r0, r12, #1073741862
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #28
  ldrsbpl r8, [r11], -r12
  eor r8, r11, r11, asr #26
  subs r10, r10, #1
  bne L21
  ldr r9, =0x08000400
  mov r11, r9
  stmib r11!, {r2, r4, r8}
  mrs r5, cpsr
  bcs L22
  ldr r9, =0x00000400
  mov r11, r9
  strne r4, [r11, #-212]
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #42
  strh r1, [r11], r12
L22:
  rsc r8, r12, r5, ror #15
  ldr r12, =L23 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L23:
  ldr r6, =dt_sdram+1024
  sbcs r3, r0
  lsls r0, r1
  adds r0, #34
  bge L25
  adds r1, #87
L25:
  subs r4, r1, r2
  add r5, r11
  rsbs r0, r2, #0
  bne L26
  movs r4, #235
L26:
  bcc L27
  adds r3, #116
L27:
  movs r7, #148
  str r5, [r6, r7]
  orrs r5, r3
  ldr r7, =L24
  bx r7
  .ltorg
  .arm
  .align 2
L24:
  ldr r12, =L28 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L28:
  ldr r6, =0x08000400
  lsrs r1, r2
  ldmia r6!, {r0, r3}
  ldr r6, =0x08000400
  subs r1, r0, #4
  bics r3, r4
  movs r7, #128
  ldrh r4, [r6, r7]
  lsls r1, r1, #20
  adds r3, r2, #2
  add r2, r8
  adds r3, r5, r0
  strb r2, [r6, #31]
  movs r7, #60
  strh r1, [r6, r7]
  push {r0, r1, r2, r4, r5}
  pop {r0, r1, r2, r4, r5}
  cmp r1, r9
  asrs r4, r0
  ands r3, r3
  ldr r7, =L29
  bx r7
  .ltorg
  .arm
  .align 2
L29:
  add r2, r9, r1, lsl #26
  bic r8, r5, r8, ror r4
  mov r0, r0, lsl #19
  ldr r9, =0x00000400
  mov r11, r9
  swpb r6, r1, [r11]
  adc r5, r7, r2, ror #1
  ldr r12, =dt_ticks
  ldr r10, [r12]
L30:
  ldr r9, [r12]
  cmp r9, r10
  beq L30
  umulls r6, r2, r0, r0
  mla r7, r6, r11, r11
  mov r10, #3
L31:
  mlage r0, r5, r0, r4
  b L32
  rsbseq r3, r7, r1, lsr #22
  ldr r9, =dt_sdram+1024
  mov r11, r9
  ldmib r11!, {r0, r1, r2, r3, r5, r8}
L32:
  msr cpsr_f, #0xF0000000
  umullvs r3, r4, r6, r3
  subs r10, r10, #1
  bne L31
