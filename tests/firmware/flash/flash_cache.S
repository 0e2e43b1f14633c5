/* Booted from the flash with the cache on: code and data from the flash
   go through the cache. Each loop turns four times and reads INTMSK at its
   head, so the register trace tells each turn's cycles: the first turn
   fills the lines its code (and its load) miss, from the flash; the next
   ones hit. */
        .section .vectors, "ax"
        .global _start
_start:
        b       reset
        .rept 7
        b       .
        .endr
reset:
        ldr     r0, =0x01D30000     /* WTCON: the watchdog off */
        mov     r1, #0
        str     r1, [r0]
        ldr     r0, =0x01C00000     /* SYSCFG: 8 KB of cache, no write buffer */
        mov     r1, #0x6
        str     r1, [r0]
        ldr     r8, =0x01E0000C     /* INTMSK, read as a time stamp */
        mov     r9, #4
        b       code_loop
        .ltorg

        .balign 16
code_loop:                          /* one line; `lines` four more */
        ldr     r0, [r8]
        bl      lines
        subs    r9, r9, #1
        bne     code_loop
        mov     r9, #4
        ldr     r1, =flash_data
        b       data_loop
        .ltorg

        .balign 16
data_loop:                          /* one line, and one line of data */
        ldr     r0, [r8]
        ldr     r2, [r1]
        subs    r9, r9, #1
        bne     data_loop
        ldr     r0, [r8]
        b       .

        .balign 16
        .global lines
lines:
        .rept 15
        mov     r0, r0
        .endr
        bx      lr

        .balign 16
flash_data:
        .word   0xCAFEF00D
