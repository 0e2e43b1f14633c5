@ What a program sees of the clock between two of its own instructions: a
@ timer read twice around a run of nops in one block, and interrupts taken
@ at the instruction after the one that lets them through (a store to
@ INTMSK, an MSR, a store that sets IDLE). Each function is called on its
@ own by the system tests; the handler records where it returns to.
        .syntax unified
        .arm
        .equ INTCON, 0x01E00000
        .equ CLKCON, 0x01D80004
        .equ TIMERS, 0x01D50000
        .equ INT_TIMER0, 1 << 13
        .equ ALL_MASKED, 0x07FFFFFF
        .equ SLOT_TIMER0, 0x0C7FFF20 + 4 * 13

@ main reads the timer twice around the nops, keeps what it saw, and
@ stays (the system tests call the other functions on their own).
        .global main
        .type main, %function
main:   bl start_timer1
        ldr r0, =0x01D50020     @ TCNTO1
        bl read_twice
        ldr r1, =twice_result
        str r0, [r1]
1:      b 1b

@ r0 = a count register: its value before 100 nops minus its value after.
        .global read_twice
        .type read_twice, %function
read_twice:
        ldr r1, [r0]
        .rept 100
        nop
        .endr
        ldr r2, [r0]
        sub r0, r1, r2
        bx lr

@ The same in Thumb state.
        .thumb
        .thumb_func
        .global read_twice_thumb
        .type read_twice_thumb, %function
read_twice_thumb:
        ldr r1, [r0]
        .rept 100
        mov r8, r8
        .endr
        ldr r2, [r0]
        subs r0, r1, r2
        bx lr
        .arm

@ Timer 1 counting down from 0xFFFF at MCLK / 2, reloading.
        .global start_timer1
        .type start_timer1, %function
start_timer1:
        ldr r0, =TIMERS
        mov r1, #0
        str r1, [r0]            @ TCFG0: prescaler 0
        str r1, [r0, #4]        @ TCFG1: 1/2
        ldr r1, =0xFFFF
        str r1, [r0, #0x18]     @ TCNTB1
        ldr r1, [r0, #8]
        bic r1, r1, #0xF00
        orr r2, r1, #0x200      @ manual update
        str r2, [r0, #8]
        orr r2, r1, #0x900      @ start, auto-reload
        str r2, [r0, #8]
        bx lr

@ Timer 0 one-shot from r0 counts, its interrupt masked, the handler in
@ its slot, IRQs on in INTCON.
arm_timer0:
        ldr r2, =SLOT_TIMER0
        ldr r3, =record_return
        str r3, [r2]
        ldr r2, =INTCON
        mov r3, #1              @ vectored: the monitor goes through the source's slot
        str r3, [r2]
        ldr r3, =ALL_MASKED
        str r3, [r2, #0x0C]
        mov r3, #INT_TIMER0
        str r3, [r2, #0x24]     @ I_ISPC
        ldr r2, =TIMERS
        mov r3, #0
        str r3, [r2]
        str r3, [r2, #4]
        str r0, [r2, #0x0C]     @ TCNTB0
        ldr r3, [r2, #8]
        bic r3, r3, #0xF
        orr r1, r3, #2          @ manual update
        str r1, [r2, #8]
        orr r1, r3, #1          @ start, one-shot
        str r1, [r2, #8]
        ldr r2, =irq_return
        mov r3, #0
        str r3, [r2]
        bx lr

wait_pending:
        ldr r2, =INTCON
1:      ldr r3, [r2, #4]        @ INTPND
        tst r3, #INT_TIMER0
        beq 1b
        bx lr

@ The interrupt is pending and masked; unmasking it takes it at once
@ (`lead`: a branch, so that the store to INTMSK is first in its block).
        .macro unmask_pending_at name, after, lead
        .global \name
        .type \name, %function
\name:  push {r4, lr}
        mov r0, #10
        bl arm_timer0
        bl wait_pending
        ldr r1, =ALL_MASKED & ~(INT_TIMER0 | 1 << 26)
        ldr r2, =INTCON
        \lead
1:      str r1, [r2, #0x0C]     @ INTMSK
        .global \after
\after:
        .rept 8
        nop
        .endr
        ldr r0, =irq_return
        ldr r0, [r0]
        pop {r4, pc}
        .endm

        unmask_pending_at unmask_pending, after_unmask, ""
        unmask_pending_at unmask_pending_first, after_unmask_first, "b 1f"

@ r0 = TCNTB0, r1 = what INTMSK holds before the block of nops. The block
@ unmasks timer 0 (again, or for the first time) and the timer's request
@ comes during its nops: the interrupt comes at the same instruction
@ either way. Returns where the handler returned to.
        .global unmask_in_block
        .type unmask_in_block, %function
unmask_in_block:
        push {r4, lr}
        mov r4, r1
        bl arm_timer0
        ldr r2, =INTCON
        str r4, [r2, #0x0C]     @ INTMSK
        b 1f
        .balign 1024            @ (a translated block ends at a 1 KB page: all of this is one)
1:      ldr r1, =ALL_MASKED & ~(INT_TIMER0 | 1 << 26)
        str r1, [r2, #0x0C]     @ INTMSK: timer 0 unmasked
        .global unmask_in_block_nops
unmask_in_block_nops:
        .rept 200
        nop
        .endr
        .global unmask_in_block_end
unmask_in_block_end:
        ldr r0, =irq_return
        ldr r0, [r0]
        pop {r4, pc}

@ The interrupt is pending and unmasked while the CPSR's I bit is set;
@ clearing it takes the interrupt at once.
        .global msr_enable
        .type msr_enable, %function
msr_enable:
        push {r4, lr}
        mrs r4, cpsr
        orr r1, r4, #0x80
        msr cpsr_c, r1
        mov r0, #10
        bl arm_timer0
        bl wait_pending
        ldr r1, =ALL_MASKED & ~(INT_TIMER0 | 1 << 26)
        ldr r2, =INTCON
        str r1, [r2, #0x0C]
        bic r1, r4, #0x80
        msr cpsr_c, r1
        .global after_msr
after_msr:
        .rept 8
        nop
        .endr
        ldr r0, =irq_return
        ldr r0, [r0]
        pop {r4, pc}

@ IDLE until timer 0's interrupt: the core stops right after the store.
        .global idle_wake
        .type idle_wake, %function
idle_wake:
        push {r4, lr}
        ldr r0, =2000
        bl arm_timer0
        ldr r1, =ALL_MASKED & ~(INT_TIMER0 | 1 << 26)
        ldr r2, =INTCON
        str r1, [r2, #0x0C]
        ldr r2, =CLKCON
        ldr r1, [r2]
        orr r1, r1, #4
        str r1, [r2]
        .global after_idle
after_idle:
        .rept 8
        nop
        .endr
        ldr r0, =irq_return
        ldr r0, [r0]
        pop {r4, pc}

@ r0 = TCNTB0. Timer 0 unmasked, a block of nops whose first instruction
@ is a nop, or an LDMNE that fails (its flags, EQ, are those the block
@ starts with: it costs what the nop costs); or whose first three are nops,
@ or a MUL that takes as long. The timer's request comes during the nops:
@ the interrupt comes at the same time either way. Returns where the
@ handler returned to, from the block's start.
        .macro split_variant name, first:vararg
        .global \name
        .type \name, %function
\name:  push {r4, lr}
        bl arm_timer0
        ldr r1, =ALL_MASKED & ~(INT_TIMER0 | 1 << 26)
        ldr r2, =INTCON
        str r1, [r2, #0x0C]     @ INTMSK
        ldr r4, =scratch
        ldr r12, =0x12345678
        cmp r0, r0
        b 1f
1:      \first
        .rept 200
        nop
        .endr
        ldr r0, =irq_return
        ldr r0, [r0]
        ldr r1, =1b
        sub r0, r0, r1
        pop {r4, pc}
        .ltorg
        .endm

        split_variant split_after_nop, nop
        split_variant split_after_ldm, ldmiane r4, {r0-r3}
        split_variant split_after_nops, nop; nop; nop
        split_variant split_after_mul, mul r2, r3, r12   @ m = 4: 1S+4I, three nops' time

@ The IRQ handler: where it returns to, then everything masked again.
        .type record_return, %function
record_return:
        sub lr, lr, #4
        push {r0, r1}
        ldr r0, =irq_return
        str lr, [r0]
        ldr r0, =INTCON
        ldr r1, =ALL_MASKED
        str r1, [r0, #0x0C]
        mov r1, #INT_TIMER0
        str r1, [r0, #0x24]
        pop {r0, r1}
        movs pc, lr

        .ltorg
        .data
        .align 2
        .global irq_return
irq_return: .word 0
        .global twice_result
twice_result: .word 0
scratch: .space 16
