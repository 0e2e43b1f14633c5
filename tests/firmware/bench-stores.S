@ The benchmark's loop: a store-heavy pass over a 38400-byte buffer, like
@ clearing and redrawing the frame buffer, 400 times; then it stops for good
@ (interrupts masked, branch to itself), which the board reports as a halt.
        .arm
        .global main
        .type main, %function
        .global bench_end
main:   ldr r0, =0x01D30000     @ watchdog off
        mov r1, #0
        str r1, [r0]
        mov r3, #0
        ldr r4, =400
outer:  ldr r0, =0x0C300000
        ldr r2, =9600
inner:  ldr r1, [r0]
        add r1, r1, r3
        str r1, [r0], #4
        str r3, [r0, #0x100]
        subs r2, r2, #1
        bne inner
        add r3, r3, #1
        subs r4, r4, #1
        bne outer
        ldr r0, =0x01E0000C     @ INTMSK: everything masked
        mvn r1, #0
        str r1, [r0]
bench_end:
        b bench_end
