@ seed 1: SYSCFG 0x0, tick 600, NCACHBE 0
@ (written by hand) 600 blocks, each with a conditional add (which fails) whose flags
@ neither its block's start nor its end tells: more groups than the core
@ hooks, so past the hooks' number each block runs up to that add and the
@ rest as a block of its own.
  b 2f
  .ltorg
2:
  ldr r12, =dt_regs
  b 3f
  .ltorg
3:
  .set n, 0
  .rept 600
  adds r3, r3, #(1 + n % 7)
  addeq r4, r4, r5, lsl r6
  adds r7, r7, #0
  b 1f
1:
  .set n, n + 1
  .endr
  b 4f
  .ltorg
4:
