@ seed 331001053: SYSCFG 0x6, tick 600, NCACHBE 0
@ The block from L5 holds more multiplies and conditional instructions
@ than one block can settle, so it runs up to the first it cannot; the
@ tick fell inside that first part. The part ran whole, and the tick's
@ interrupt (its handler's write to I_ISPC) came 29 cycles late.
  msr cpsr_f, #0x50000000
  ldr r6, =0x08000400
  movs r7, #136
  strb r4, [r6, #5]
  lsls r4, r5, #22
  ldmia r6!, {r0, r1, r3, r5}
  ldr r6, =0x08000400
  lsrs r2, r3, #1
  eors r4, r4
  tst r5, r0
  mvns r3, r4
  str r2, [r6, #56]
  ldr r9, =0x08000400
  mov r11, r9
  mov r12, #19
  str r7, [r11, r12, lsl #2]!
  mla r1, r5, r8, r9
  rscs r5, r7, r12, asr r3
  ldr r1, [r6, #12]
  bls L7
L7:
  adds r3, r3, #2
  adds r0, r5, #0
  movs r7, #140
  str r1, [r6, r7]
  lsrs r0, r5, #26
  ldr r7, =L5
  bx r7
  .ltorg
L5:
  swp r0, r2, [r11]
  swp r1, r6, [r11]
  ldr r9, =0x00000400
  str r6, [r11, -r12, lsl #2]!
  umlal r5, r7, r6, r0
  tst r9, #805306368
  ldr r9, =0x08000400
  mov r11, r9
  ldrsb r5, [r11, #116]
  cmn r11, r8
  umullcs r2, r0, r6, r1
  ldr r9, =0x00000400
  mov r11, r9
  mov r12, #4
  ldr r4, [r11, -r12, lsl #2]
  ldr r4, [r9, #0x14]
  bics r8, r4, #177209344
  smullvs r7, r0, r8, r9
  andsvs r0, r3, r9, lsr r11
  tstcc r0, r9, asr r9
  mov r11, r9
  ldmdbne r11!, {r1, r2, r6, r7, r8}
  mov r11, r9
  ldrhi r2, [r11, #-64]
  ldrle r4, [r11, r12, lsl #2]!
  mov r11, r9
  mov r11, r9
  strbge r4, [r11, #32]
  adds r3, r11, r5, asr #27
  umlal r5, r4, r8, r12
  ldr r12, =L19 + 1
L19:
