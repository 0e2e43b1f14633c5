@ seed 1: SYSCFG 0x0, tick 600, NCACHBE 0
@ (written by hand, after seeds 902 to 927 at 16,000 instructions a
@ program) 600 blocks, each with a conditional multiply whose flags neither
@ its block's start nor its end tells: past the hooks' number each block
@ runs up to the multiply and the rest as a block of its own, whose start
@ tells the multiply's condition and m. It was charged as run with m = 2:
@ a failed MLAEQ three cycles dear.
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
  .if n % 2
  mlaeq r4, r5, r6, r4
  .else
  mlane r4, r5, r7, r4
  .endif
  adds r7, r7, #0
  b 1f
1:
  .set n, n + 1
  .endr
  b 4f
  .ltorg
4:
