@ seed 9018027055: SYSCFG 0x2, tick 0, NCACHBE 0
@ A byte store to an odd SDRAM address, then in the same block a store
@ multiple to an unaligned address in an empty bank at the same offset in
@ its page. The store path sees the byte store (an unaligned address) and
@ looks for the block's unaligned word store at that page offset: the STMIB
@ matched with the registers as they were, though it reaches a bank and
@ not the RAM, and was said as an unaligned word store the oracle, whose
@ blocks hold one instruction, never saw.
  ldr r9, =0x080003D7
  ldr r11, =0x0C5003DB
  strb r1, [r11]
  stmib r9, {r0}
