@ seed 1000018: SYSCFG 0xE, tick 600, NCACHBE 0
@ A Thumb block whose multiply takes its m from a register the block loads,
@ and whose code misses the cache, with the tick falling inside it: the
@ interrupt is taken at the boundary after the multiply, not at the block's
@ end (the charged cost alone put the tick after the block).
  msr cpsr_f, #0x70000000
  ldr r9, =0x08000400
  mov r11, r9
  swp r8, r6, [r11]
  rscsle r2, r2, r3
  ldr r9, =0x08000400
  mov r11, r9
  ldrle r4, [r11, #24]!
  ldr r9, =dt_sdram+1024
  mov r11, r9
  swpb r1, r7, [r11]
  rsbgt r3, r9, r12, asr #30
  ldr r9, =0x08000400
  mov r11, r9
  strb r8, [r11, #-6]!
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #56
  ldrsblt r5, [r11], r12
  bhi L1
  sub r6, r11, r5, ror #25
L1:
  ldr r9, =0x00000400
  mov r11, r9
  swp r5, r3, [r11]
  mrs r5, cpsr
  mov r10, #21
L2:
  ldr r9, =0x01E00000
  ldr r12, =0x07FFFFFF
  str r12, [r9, #0xC]
  ldr r12, =0x03FFDFFF
  str r12, [r9, #0xC]
  rsb r7, r4, r6, asr r9
  subs r10, r10, #1
  bne L2
  ldr r9, =dt_sdram+1024
  mov r11, r9
  stmiacs r11!, {r0, r3, r4, r8}
  orr r1, r5, r5
  mov r10, #20
L3:
  rsc r5, r12, r3
  orrs r3, r5, r0, lsr r4
  adcge r0, r9, #260
  orrs r6, r3, #9
  cmp r7, #69
  subs r10, r10, #1
  bne L3
  eor r1, r3, #738197506
  orr r0, r11, r11, lsl r9
  bvc L4
  bicle r7, r9, #1212416
  cmn r7, r9, asr #27
  ldr r9, =0x00000400
  mov r11, r9
  stmdb r11!, {r0, r1, r3, r4, r5, r7, r8}
L4:
  adcsne r5, r4, r9
  adcs r5, r0, r9, lsr #30
  ldr r9, =dt_sdram+1024
  mov r11, r9
  strb r4, [r11, #0]
  ble L5
  rsb r7, r9, r5, lsl r3
  ldr r9, =0x08000400
  mov r11, r9
  ldrh r0, [r11, #-230]
  ldr r9, =0x08000400
  mov r11, r9
  ldr r1, [r11], #-148
L5:
  ldr r9, =0x08000400
  mov r11, r9
  ldrsb r7, [r11, #-14]!
  ldr r12, =dt_ticks
  ldr r10, [r12]
L6:
  ldr r9, [r12]
  cmp r9, r10
  beq L6
  ldr r9, =dt_sdram+1024
  mov r11, r9
  swppl r0, r3, [r11]
  ldr r9, =dt_sdram+1024
  mov r11, r9
  swp r6, r3, [r11]
  sbc r4, r9, r6, asr r6
  mov r10, #17
L7:
  subs r1, r11, r6, ror #10
  bls L8
  rsbseq r6, r12, r3
L8:
  ldr r9, =0x08000400
  mov r11, r9
  ldmia r11, {r0, r1, r2, r5, r6, r7, r8}
  cmp r12, r3, lsr #1
  subs r10, r10, #1
  bne L7
  cmp r8, #11272192
  teqlt r7, r3, lsr #11
  tst r3, r6, rrx
  teq r12, r9
  subs r6, r11, r12
  smlalscs r6, r7, r5, r3
  ldr r12, =L9 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L9:
  ldr r6, =0x00000400
  asrs r2, r2, #27
  cmp r4, r0
  push {r0, r1, r2, r5}
  pop {r0, r1, r2, r5}
  lsrs r1, r1
  muls r2, r0
  lsls r5, r4, #7
  movs r1, #151
  ldrb r5, [r6, #2]
  movs r0, #44
  bls L11
  adds r2, #21
L11:
  adds r2, r4, r0
  subs r5, r4, r3
  movs r1, #196
  cmp r4, #197
  ldr r2, [r6, #36]
  str r4, [r6, #36]
  asrs r5, r0, #26
  rsbs r4, r3, #0
  lsrs r5, r1, #19
  cmp r1, r1
  bgt L12
  movs r5, #175
L12:
  strh r3, [r6, #32]
  ldr r7, =L10
  bx r7
  .ltorg
  .arm
  .align 2
L10:
  submi r5, r7, r4
  orr r3, r9, r7
  ldr r9, =0x08000400
  mov r11, r9
  strh r8, [r11, #152]!
  mov r10, #13
L13:
  umlalsls r2, r6, r8, r0
  tst r1, r6
  umullscc r2, r8, r5, r12
  mvn r1, r9
  cmn r5, #16646144
  subs r10, r10, #1
  bne L13
  sbc r5, r0, r7, ror r0
  sub r1, r2, r11
  cmpcs r11, r11, lsl #11
  subs r2, r12, r7
  eors r0, r11, r4, lsr r6
  ldr r9, =dt_sdram+1024
  mov r11, r9
  mov r12, #164
  ldrsh r0, [r11], -r12
  rscsmi r1, r2, #1744830467
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #75
  ldrsb r6, [r11], -r12
  cmn r2, r4
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #232
  ldrh r6, [r11], -r12
  mov r10, #19
L14:
  ldr r9, =0x01E00000
  ldr r5, [r9, #0xC]
  mla r1, r0, r8, r7
  orrs r3, r8, #402653184
  subs r10, r10, #1
  bne L14
  adc r3, r11, #50176
  bics r5, r11, r11, ror r7
  ldr r12, =L15 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L15:
  ldr r6, =dt_sdram+1024
  bge L17
  adds r2, #223
L17:
  rsbs r5, r4, #0
  ldmia r6!, {r3}
  ldr r6, =dt_sdram+1024
  bics r1, r3
  stmia r6!, {r0, r1, r2, r3, r5}
  ldr r6, =dt_sdram+1024
  muls r1, r5
  movs r5, #9
  lsrs r3, r3, #31
  adds r0, r2, r0
  tst r3, r0
  adds r4, r3, r0
  subs r2, r4, r0
  adds r3, r4, r1
  adds r5, r1, r5
  ldrb r5, [r6, #23]
  ldr r1, [r6, #108]
  movs r7, #116
  str r4, [r6, r7]
  lsls r4, r0
  adds r5, r3, #1
  movs r7, #172
  ldrb r3, [r6, r7]
  asrs r3, r5, #28
  asrs r3, r4, #27
  movs r7, #136
  ldrsh r2, [r6, r7]
  ldrb r0, [r6, #5]
  ldr r7, =L16
  bx r7
  .ltorg
  .arm
  .align 2
L16:
  beq L18
  sbc r3, r5, #242
  ldr r9, =0x08000400
  mov r11, r9
  ldrb r2, [r11], #-49
L18:
  ldr r12, =L19 + 1
  bx r12
  .ltorg
  .thumb
  .align 2
  .thumb_func
L19:
  ldr r6, =dt_sdram+1024
  adds r3, r4, #0
  subs r5, r1, #1
  push {r5}
  pop {r5}
  subs r1, #120
  adds r1, r0, r2
  mvns r2, r4
  subs r5, r2, r1
  lsls r2, r0, #18
  adds r1, #30
  mov r3, r9
  lsls r0, r2
  subs r3, r3, #5
  adds r5, r5, r4
  subs r3, r0, r3
  movs r7, #16
  strh r4, [r6, r7]
  cmn r0, r3
  lsls r0, r5, #10
  ldr r7, =L20
  bx r7
  .ltorg
  .arm
  .align 2
L20:
  ldr r12, =dt_ticks
  ldr r10, [r12]
L21:
  ldr r9, [r12]
  cmp r9, r10
  beq L21
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #41
  strhi r3, [r11, -r12, lsl #2]
  ldr r9, =0x00000400
  mov r11, r9
  ldrbeq r6, [r11], #58
  ldr r9, =0x00000400
  mov r11, r9
  stmiacc r11, {r2, r4, r6, r7}
  mov r10, #4
L22:
  sbcs r3, r1, #128
  subs r10, r10, #1
  bne L22
  subs r1, r2, r6, lsr #29
  movslt r4, r11
  orrgt r4, r0, r0, lsr #8
  adc r8, r2, r6
  ldr r9, =0x08000400
  mov r11, r9
  swp r7, r5, [r11]
  umlal r7, r2, r5, r11
  teq r5, #2392064
  adc r8, r2, r7
  ldr r9, =0x00000400
  mov r11, r9
  strbgt r7, [r11, #5]!
