@ seed 331001053: SYSCFG 0x6, tick 600, NCACHBE 0
@ Two SWPs of the same address in an empty bank: a SWP makes two accesses,
@ a read and a write. The second SWP's read is its own, not a third access
@ of the first: charged at the first's cycle, it came four cycles early.
  msr cpsr_f, #0x50000000
  swp r0, r2, [r11]
  swp r1, r6, [r11]
