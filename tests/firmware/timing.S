@ Short instruction sequences whose cycles the system tests check against
@ the ARM7TDMI's cycle table: each loop runs r0 times. Also the
@ coprocessor instructions the ARM7TDMI lacks, and the internal SRAM.
        .syntax unified
        .arm
        .global main
        .type main, %function
main:   bx lr

        .macro loop name, body:vararg
        .global \name
        .type \name, %function
\name:  push {r4, r5}
        ldr r4, =buffer
1:      \body
        subs r0, r0, #1
        bne 1b
        pop {r4, r5}
        bx lr
        .endm

        loop loop_subs, nop
        loop loop_ldr, ldr r2, [r4]
        loop loop_str, str r2, [r4]
        loop loop_ldm, ldmia r4, {r2, r3, r5, r12}
        loop loop_stm, stmia r4, {r2, r3, r5, r12}
        loop loop_mul, mul r2, r3, r1
        loop loop_sfr, ldr r2, [r1]

@ r0 = address, r1 = value: stores the value there and reads it back.
        .global store_load
        .type store_load, %function
store_load:
        str r1, [r0]
        ldr r0, [r0]
        bx lr

@ The coprocessor instructions: each is undefined on the ARM7TDMI; the
@ handler (und_handler, installed by the test) returns 0xBAD in r0.
        .global read_cp15, write_cp15, cdp_p14, ldc_p3, und_handler
        .type read_cp15, %function
        .type write_cp15, %function
        .type cdp_p14, %function
        .type ldc_p3, %function
        .type und_handler, %function
read_cp15:
        mov r0, #0
        mrc p15, 0, r0, c1, c0, 0
        bx lr
write_cp15:
        mov r0, #0
        mcr p15, 0, r0, c1, c0, 0
        bx lr
cdp_p14:
        mov r0, #0
        cdp p14, 0, c0, c1, c2, 0
        bx lr
ldc_p3:
        mov r0, #0
        ldr r1, =buffer
        ldc p3, c0, [r1]
        bx lr
und_handler:
        ldr r0, =0xBAD
        movs pc, lr

        .thumb
        .global loop_thumb
        .type loop_thumb, %function
        .thumb_func
loop_thumb:
1:      subs r0, r0, #1
        bne 1b
        bx lr

        .data
        .align 4
buffer: .space 64
