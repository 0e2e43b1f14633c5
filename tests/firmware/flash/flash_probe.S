/* Booted from the flash: what the chip is at reset, and the accesses the
   board goes on after (the SDRAM before it is set up, a store to the flash,
   a read where nothing answers). Then an undefined instruction, whose
   handler loops as `for (;;);` does at -O0. */
        .section .vectors, "ax"
        .global _start
_start:
        b       reset
        b       undefined
        b       .
        b       .
        b       .
        b       .
        b       .
        b       .
reset:
        ldr     r0, =0x01D30000     /* WTCON: the watchdog off */
        mov     r1, #0
        str     r1, [r0]
        mov     r0, #0x0C000000
        ldr     r1, [r0]            /* the SDRAM before the memory controller is set up */
        ldr     r1, [r0, #4]
        mov     r2, #0x100
        ldr     r3, =0x12345678
        str     r3, [r2], #4        /* the flash ignores it; r2 moves on */
        ldr     r4, [r2, #-4]       /* the flash's own word */
        mov     r5, #0x0A000000
        ldr     r6, [r5]            /* bank 5: nothing answers */
        mrs     r7, cpsr
        .word   0xE7F000F0          /* undefined */
undefined:
        mov     r0, r0
        b       undefined
        .ltorg
        .org    0x100
        .word   0xCAFEF00D
