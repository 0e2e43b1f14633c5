@ seed 1: SYSCFG 0x0, tick 0, NCACHBE 0
@ A block cut short to end before a group no hook was left for runs in a
@ slice of its own, translated anew, and its plan groups the instructions
@ differently: the last multiply before the cut leaves its multiplier alone
@ to the new end, so the block's end settles it, and the ADDSGT that shared
@ its group heads one of its own, which wants a hook the full pool cannot
@ give. Run whole, that part charged the failed ADDSGT as run: one cycle
@ late. Each block has four groups; its copies use up the pool, and one of
@ them meets it with one to three hooks left unless the free count is a
@ multiple of four. (This twin takes two hooks first: one of the two meets
@ every count.)
  b 2f
  .ltorg
2:
  msr cpsr_f, #0x00000000
  .rept 2
  movs r4, #0
  addsgt r7, r7, r6, lsl r9
  b 1f
1:
  .endr
  .rept 140
  movs r4, #0
  mul r5, r0, r4
  addsgt r7, r7, r6, lsl r9
  mul r4, r0, r5
  addsgt r7, r7, r6, lsl r9
  mul r5, r0, r4
  addsgt r7, r7, r6, lsl r9
  mul r4, r0, r5
  addsgt r7, r7, r6, lsl r9
  mov r5, #0
  b 1f
1:
  .endr
