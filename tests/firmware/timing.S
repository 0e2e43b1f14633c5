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

@ The multiplier computed in the block; ten multiplies in one block.
        .global loop_mul_late
        .type loop_mul_late, %function
loop_mul_late:
1:      mov r12, r1
        mul r2, r3, r12
        subs r0, r0, #1
        bne 1b
        bx lr
@ The multiplier computed in the block and changed after the multiply.
        .global loop_mul_around
        .type loop_mul_around, %function
loop_mul_around:
1:      mov r12, r1
        mul r2, r3, r12
        mov r12, #0
        subs r0, r0, #1
        bne 1b
        bx lr
        .global loop_mul10
        .type loop_mul10, %function
loop_mul10:
1:      .rept 10
        mul r2, r3, r1
        .endr
        subs r0, r0, #1
        bne 1b
        bx lr
        loop loop_sfr, ldr r2, [r1]
        loop loop_sfr_byte, ldrb r2, [r1]

@ A conditional instruction after the loop's count: it runs at every turn
@ but the last, where its condition fails (NE after the count reaches 0).
        .macro cond_loop name, body:vararg
        .global \name
        .type \name, %function
\name:  push {r4, r5}
        ldr r4, =buffer
1:      subs r0, r0, #1
        \body
        bne 1b
        pop {r4, r5}
        bx lr
        .endm

@ The same before the loop's count, `before` run ahead of the loop and
@ `top` at the top of each turn. With nothing at the top, the flags the
@ block starts with tell (those of the count at the end of the turn before;
@ the first turn, where its condition fails, starts with Z set by the cmp).
@ With a TST of the count at the top, neither the block's start nor its
@ end tells: it runs at the turns where the count is odd.
        .macro flags_loop name, before, top, body:vararg
        .global \name
        .type \name, %function
\name:  push {r4, r5}
        ldr r4, =buffer
        ldr r12, =0x12345678
        \before
        b 1f                    @ (the loop's block starts at its top)
1:      \top
        \body
        subs r0, r0, #1
        bne 1b
        pop {r4, r5}
        bx lr
        .endm

        flags_loop first_nop, "cmp r0, r0", "", nop
        flags_loop first_ldr, "cmp r0, r0", "", ldrne r2, [r4]
        flags_loop first_ldm, "cmp r0, r0", "", ldmiane r4, {r2, r3, r5, r12}
        flags_loop first_str, "cmp r0, r0", "", strne r2, [r4]
        flags_loop between_nop, "", "tst r0, #1", nop
        flags_loop between_ldr, "", "tst r0, #1", ldrne r2, [r4]
        flags_loop between_stm, "", "tst r0, #1", stmiane r4, {r2, r3, r5, r12}
        flags_loop between_mul, "", "tst r0, #1", mulne r2, r3, r12
@ The same with a compare, or a result, whose register nothing after it
@ changes: the register tells at the block's end.
        flags_loop told_nop, "", "and r5, r0, #1; tst r5, #1", nop
        flags_loop told_ldr, "", "and r5, r0, #1; tst r5, #1", ldrne r2, [r4]
        flags_loop told_ldm, "", "and r5, r0, #1; cmp r5, #1", ldmiaeq r4, {r2, r3, r12}
        flags_loop told_result, "", "and r5, r0, #1; ands r5, r5, #1", ldrne r2, [r4]
        flags_loop told_carry, "", "and r5, r0, #1; subs r3, r5, #1", ldrcs r2, [r4]

        cond_loop cond_nop, nop
        cond_loop cond_ldr, ldrne r2, [r4]
        cond_loop cond_str, strne r2, [r4]
        cond_loop cond_ldm, ldmiane r4, {r2, r3, r5, r12}
        cond_loop cond_stm, stmiane r4, {r2, r3, r5, r12}
        cond_loop cond_shift, addne r2, r2, r3, lsl r1

@ Data walks: r0 turns, each a word at the next 16-byte line from r1 on
@ (with the cache on, a line no turn has touched yet).
        .global walk_ldr, walk_str
        .type walk_ldr, %function
        .type walk_str, %function
walk_ldr:
1:      ldr r2, [r1], #16
        subs r0, r0, #1
        bne 1b
        bx lr
walk_str:
1:      str r2, [r1], #16
        subs r0, r0, #1
        bne 1b
        bx lr

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

@ Delay loops as compilers write them, r0 turns each (r1: the start of a
@ count up); each returns its counter. Their turns pass at once where the
@ board can count them, and must cost what running them costs.
        .macro delay name
        .global \name
        .type \name, %function
\name:
        .endm

        delay delay_volatile_down      @ volatile int n = r0; while (n != 0) n = n - 1;
        sub sp, sp, #8
        str r0, [sp, #4]
        ldr r3, [sp, #4]
        cmp r3, #0
        beq 2f
1:      ldr r3, [sp, #4]
        sub r3, r3, #1
        str r3, [sp, #4]
        ldr r3, [sp, #4]
        cmp r3, #0
        bne 1b
2:      ldr r0, [sp, #4]
        add sp, sp, #8
        bx lr

        delay delay_volatile_up        @ for (volatile int i = r1; i < r0; i++);
        sub sp, sp, #8
        str r1, [sp, #4]
        b 2f
1:      ldr r3, [sp, #4]
        add r3, r3, #1
        str r3, [sp, #4]
2:      ldr r3, [sp, #4]
        cmp r3, r0
        blt 1b
        ldr r0, [sp, #4]
        add sp, sp, #8
        bx lr

        delay delay_literal_up         @ for (i = r1; i <= 99999; i++), the bound from the literal pool
        mov r3, r1
1:      add r3, r3, #1
        ldr r2, =99999
        cmp r3, r2
        ble 1b
        mov r0, r3
        bx lr

        delay delay_unsigned_up        @ for (u = r1; u < r0; u++), unsigned
        mov r3, r1
1:      add r3, r3, #1
        cmp r3, r0
        bcc 1b
        mov r0, r3
        bx lr

        delay delay_subs               @ subs/bne: r0 = 0 turns 2^32 times
1:      subs r0, r0, #1
        bne 1b
        bx lr

        delay delay_down_to_zero       @ while (--n > 0), signed: compared before the step
1:      cmp r0, #1
        sub r0, r0, #1
        bgt 1b
        bx lr

        delay delay_with_work          @ not a pure count: a second register moves too
        mov r2, #0
1:      add r2, r2, #3
        subs r0, r0, #1
        bne 1b
        mov r0, r2
        bx lr

@ Register polls that are not (all) waits. r0 = turns at most: polls INTMSK,
@ which nothing changes, with its time-out counted in a register; returns
@ the turns left (0).
        .global poll_with_timeout
        .type poll_with_timeout, %function
poll_with_timeout:
        ldr r1, =0x01E0000C
1:      ldr r2, [r1]
        cmp r2, #0
        beq 2f
        subs r0, r0, #1
        bne 1b
2:      bx lr

@ The RTC on; r1 = BCDSEC's address, r3 = the second now (r2 used).
        .macro rtc_second_now
        ldr r1, =0x01D70040     @ RTCCON: RTCEN
        mov r2, #1
        strb r2, [r1]
        ldr r1, =0x01D70070     @ BCDSEC
        ldrb r3, [r1]
        .endm

@ r0 = turns: waits for the RTC's second to change or the turns to run out,
@ counting down (a poll with a time-out); returns the turns left (0: out).
        .global poll_second_down
        .type poll_second_down, %function
poll_second_down:
        rtc_second_now
1:      ldrb r2, [r1]
        cmp r2, r3
        bne 2f
        subs r0, r0, #1
        bne 1b
2:      bx lr

@ r0 = a limit: the same, counting up with CMP to a register; returns the
@ turns counted.
        .global poll_second_up
        .type poll_second_up, %function
poll_second_up:
        rtc_second_now
        mov r12, #0
1:      ldrb r2, [r1]
        cmp r2, r3
        bne 2f
        add r12, r12, #1
        cmp r12, r0
        blo 1b
2:      mov r0, r12
        bx lr

@ r0 = a buffer: waits for the RTC's second to change, storing the same
@ byte at every turn (a wait all the same); returns BCDSEC.
        .global wait_second_storing
        .type wait_second_storing, %function
wait_second_storing:
        rtc_second_now
        mov r2, #5
1:      strb r2, [r0]
        ldrb r12, [r1]
        cmp r12, r3
        beq 1b
        mov r0, r12
        bx lr

@ r0 = a buffer: the same wait, counting its turns in the buffer (the
@ registers are the same at every read); returns the count.
        .global wait_second_counting
        .type wait_second_counting, %function
wait_second_counting:
        ldr r1, =0x01D70040
        mov r2, #1
        strb r2, [r1]
        ldr r1, =0x01D70070
        ldrb r3, [r1]
        mov r2, #0
        str r2, [r0]
1:      ldr r2, [r0]
        add r2, r2, #1
        str r2, [r0]
        mov r2, #0
        ldrb r12, [r1]
        cmp r12, r3
        beq 1b
        ldr r0, [r0]
        bx lr

@ r0 = TCNTB0: starts timer 0 (MCLK / 2) and waits on TCNTO0, r1 = 0 until
@ it reads 0, 1 while it reads above 100, 2 while its bit 4 is set; returns
@ what the last read gave.
        .global wait_timer
        .type wait_timer, %function
wait_timer:
        ldr r2, =0x01D50000
        mov r3, #0
        str r3, [r2]            @ TCFG0: prescaler 0
        str r3, [r2, #4]        @ TCFG1: 1/2
        str r0, [r2, #0xC]      @ TCNTB0
        mov r3, #2
        str r3, [r2, #8]        @ TCON: manual update
        mov r3, #1
        str r3, [r2, #8]        @ TCON: start, one-shot
        cmp r1, #1
        beq 2f
        bhi 3f
1:      ldr r3, [r2, #0x14]
        cmp r3, #0
        bne 1b
        b 4f
2:      ldr r3, [r2, #0x14]
        cmp r3, #100
        bhi 2b
        b 4f
3:      ldr r3, [r2, #0x14]
        tst r3, #16
        bne 3b
4:      mov r0, r3
        bx lr

@ r0 = where, r1 = an instruction: stores it there followed by `bx lr` and
@ calls it; the program writes its own code.
        .global patch_and_call
        .type patch_and_call, %function
patch_and_call:
        push {r4, lr}
        str r1, [r0]
        ldr r2, =0xE12FFF1E
        str r2, [r0, #4]
        mov lr, pc
        bx r0
        pop {r4, lr}
        bx lr

@ r0 = turns per phase: four phases, each calling its four functions r0
@ times in turn, twice over. Each function has a conditional load that
@ only a hook settles (between an ADDS whose result replaced its operand,
@ for a condition of C, and a compare); returns the sum of what it
@ computed.
        .global hooked_phases
        .type hooked_phases, %function
hooked_phases:
        push {r4-r8, lr}
        mov r7, r0
        ldr r1, =buffer
        mov r0, #0
        mov r3, #2
2:      ldr r5, =hooked_table
        mov r8, #4
3:      mov r4, r7
4:      mov r6, #0
5:      mov lr, pc
        ldr pc, [r5, r6]
        add r6, r6, #4
        cmp r6, #16
        bne 5b
        subs r4, r4, #1
        bne 4b
        add r5, r5, #16
        subs r8, r8, #1
        bne 3b
        subs r3, r3, #1
        bne 2b
        pop {r4-r8, lr}
        bx lr
        .irp n, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
hooked_\n:
        adds r0, r0, #(\n + 1) << 26
        ldrcs r2, [r1, #4 * (\n % 4)]
        cmp r2, #\n
        addne r0, r0, r2
        bx lr
        .endr
        .align 2
hooked_table:
        .irp n, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
        .word hooked_\n
        .endr
        .ltorg

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
        .global code_buffer
code_buffer: .space 64
