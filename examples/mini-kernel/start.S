/* mini-kernel's start-up code and exception entries.

   In the flash (section .boot): the processor's vectors at 0, the
   interrupt controller's source vectors from 0x20 (vectored mode), each a
   `ldr pc` to its handler in the SDRAM, and the reset code: watchdog off,
   PLL, memory controller, a stack for every mode, the program copied to the
   SDRAM, .bss zeroed, then main in system mode.

   In the SDRAM (copied at start-up with the rest of the program): the IRQ,
   SWI and undefined-instruction entries and the context switch. A context
   (struct ctx in kernel.c) is r0..r12, sp, lr, pc, cpsr: 17 words. */
        .equ WTCON,    0x01D30000
        .equ INTMSK,   0x01E0000C
        .equ PLLCON,   0x01D80000
        .equ LOCKTIME, 0x01D8000C
        .equ MEMCTL,   0x01C80000

        .equ MODE_FIQ, 0x11
        .equ MODE_IRQ, 0x12
        .equ MODE_SVC, 0x13
        .equ MODE_ABT, 0x17
        .equ MODE_UND, 0x1B
        .equ MODE_SYS, 0x1F
        .equ NO_INT,   0xC0

        .section .vectors, "ax"
        .arm
        .global _start
_start:
        b       reset               /* 0x00 */
        ldr     pc, v_undef         /* 0x04 */
        ldr     pc, v_swi           /* 0x08 */
        ldr     pc, v_abort         /* 0x0C prefetch abort */
        ldr     pc, v_abort         /* 0x10 data abort */
        b       .                   /* 0x14 */
        ldr     pc, v_irq           /* 0x18: IRQs in non-vectored mode */
        ldr     pc, v_abort         /* 0x1C FIQ: never enabled */

/* The source vectors of the vectored mode (INTCON[2] = 0), 0x20 .. 0xC0. */
        .macro  vec addr, target
        .org    \addr
        ldr     pc, \target
        .endm
        vec 0x20, v_spurious        /* EINT0 .. EINT3, EINT4567, TICK */
        vec 0x24, v_spurious
        vec 0x28, v_spurious
        vec 0x2C, v_spurious
        vec 0x30, v_spurious
        vec 0x34, v_spurious
        vec 0x40, v_spurious        /* ZDMA0/1, BDMA0/1, WDT, UERR */
        vec 0x44, v_spurious
        vec 0x48, v_spurious
        vec 0x4C, v_spurious
        vec 0x50, v_spurious
        vec 0x54, v_spurious
        vec 0x60, v_timer0          /* TIMER0: the tick */
        vec 0x64, v_spurious
        vec 0x68, v_spurious
        vec 0x6C, v_spurious
        vec 0x70, v_spurious
        vec 0x74, v_spurious
        vec 0x80, v_urxd0           /* URXD0 */
        vec 0x84, v_spurious
        vec 0x88, v_spurious
        vec 0x8C, v_spurious
        vec 0x90, v_utxd0           /* UTXD0 */
        vec 0x94, v_spurious
        vec 0xA0, v_spurious        /* RTC alarm */
        vec 0xC0, v_spurious        /* ADC */

v_undef:    .word undef_entry
v_swi:      .word swi_entry
v_abort:    .word abort_entry
v_irq:      .word irq_entry
v_spurious: .word vec_spurious
v_timer0:   .word vec_timer0
v_urxd0:    .word vec_urxd0
v_utxd0:    .word vec_utxd0

reset:
        ldr     r0, =WTCON          /* the watchdog would reset the chip in about 8 s */
        mov     r1, #0
        str     r1, [r0]
        ldr     r0, =INTMSK
        ldr     r1, =0x07FFFFFF
        str     r1, [r0]
        ldr     r0, =LOCKTIME       /* PLL: (0x38 + 8) x 8 MHz / ((2 + 2) x 2) = 64 MHz */
        ldr     r1, =0xFFF
        str     r1, [r0]
        ldr     r0, =PLLCON
        ldr     r1, =0x00038021
        str     r1, [r0]
        ldr     r0, =memory_setup   /* 13 registers, MRSRB6 last */
        ldmia   r0, {r1-r13}
        ldr     r0, =MEMCTL
        stmia   r0, {r1-r13}

        ldr     r0, =_stack_top     /* a stack for every mode, IRQ and FIQ off */
        msr     cpsr_c, #(MODE_UND | NO_INT)
        mov     sp, r0
        sub     r0, r0, #0x400
        msr     cpsr_c, #(MODE_ABT | NO_INT)
        mov     sp, r0
        sub     r0, r0, #0x400
        msr     cpsr_c, #(MODE_FIQ | NO_INT)
        mov     sp, r0
        sub     r0, r0, #0x400
        msr     cpsr_c, #(MODE_IRQ | NO_INT)
        mov     sp, r0
        sub     r0, r0, #0x1000
        msr     cpsr_c, #(MODE_SVC | NO_INT)
        mov     sp, r0
        sub     r0, r0, #0x1000
        msr     cpsr_c, #(MODE_SYS | NO_INT)
        mov     sp, r0

        ldr     r0, =_ram_load      /* code, constants and .data to the SDRAM */
        ldr     r1, =_ram_start
        ldr     r2, =_ram_end
1:      cmp     r1, r2
        ldrlo   r3, [r0], #4
        strlo   r3, [r1], #4
        blo     1b
        ldr     r1, =_bss_start
        ldr     r2, =_bss_end
        mov     r3, #0
2:      cmp     r1, r2
        strlo   r3, [r1], #4
        blo     2b
        ldr     pc, =main           /* in the SDRAM, system mode, IRQs still off */
        .ltorg

memory_setup:
        .word 0x01000002                /* BWSCON: bank 6 16-bit, bank 0 16-bit */
        .word 0x0700, 0x0700, 0x0700    /* BANKCON0..2: Tacc 14 clocks */
        .word 0x0700, 0x0700, 0x0700    /* BANKCON3..5 */
        .word 0x00018001, 0x00018001    /* BANKCON6/7: SDRAM, Trcd 2 clocks, 9 column bits */
        .word 0x00AC041B                /* REFRESH: on, 15.6 us */
        .word 0x00000006                /* BANKSIZE: 8 MB */
        .word 0x00000020, 0x00000020    /* MRSRB6/7: CAS latency 2 */

/* ---- In the SDRAM ------------------------------------------------------ */
        .text
/* IRQ, non-vectored: irq_service(-1) finds the source in I_ISPR. In
   vectored mode each source's vector comes here with its number. */
irq_entry:
        sub     lr, lr, #4
        stmfd   sp!, {r0-r3, r12, lr}
        mvn     r0, #0
        b       irq_common
        .macro  vstub name, source
\name:  sub     lr, lr, #4
        stmfd   sp!, {r0-r3, r12, lr}
        mov     r0, #\source
        b       irq_common
        .endm
        vstub   vec_timer0, 13
        vstub   vec_urxd0, 7
        vstub   vec_utxd0, 3
        vstub   vec_spurious, 26    /* a source this kernel never unmasks */
irq_common:
        bl      irq_service         /* returns nonzero: another context runs next */
        cmp     r0, #0
        ldmeqfd sp!, {r0-r3, r12, pc}^
        ldmfd   sp!, {r0-r3, r12, lr}
        b       switch_context

/* SWI: swi_service(number, frame, spsr, lr); frame[0] is the caller's r0
   (the argument, and what it finds there after the SWI). */
swi_entry:
        stmfd   sp!, {r0-r3, r12, lr}
        mrs     r2, spsr
        tst     r2, #0x20           /* Thumb: the number is the low byte of the halfword */
        ldrneh  r0, [lr, #-2]
        bicne   r0, r0, #0xFF00
        ldreq   r0, [lr, #-4]
        biceq   r0, r0, #0xFF000000
        mov     r1, sp
        mov     r3, lr
        bl      swi_service
        cmp     r0, #0
        ldmeqfd sp!, {r0-r3, r12, pc}^
        ldmfd   sp!, {r0-r3, r12, lr}
        b       switch_context

/* The undefined instruction: recorded with lr and SPSR, then skipped (lr
   is the next instruction in both states). */
undef_entry:
        stmfd   sp!, {r0-r3, r12, lr}
        mov     r0, #0xFF00
        mov     r1, sp
        mrs     r2, spsr
        mov     r3, lr
        bl      trap_record
        ldmfd   sp!, {r0-r3, r12, pc}^

/* Aborts and FIQ: recorded, then the board stops here. */
abort_entry:
        mov     r0, #0xFF000000
        mov     r1, sp
        mrs     r2, spsr
        mov     r3, lr
        bl      trap_record
        b       .

/* Entered from an exception with every register of the context it
   interrupted as it was, its pc in lr and its cpsr in SPSR: saves that
   context in *current, asks schedule() for the next and resumes it. The
   contexts run in user or system mode, whose registers the ^ forms reach. */
switch_context:
        stmfd   sp!, {r0}
        ldr     r0, =current
        ldr     r0, [r0]
        stmib   r0, {r1-r14}^
        nop
        ldmfd   sp!, {r1}
        str     r1, [r0]
        str     lr, [r0, #60]
        mrs     r1, spsr
        str     r1, [r0, #64]
        bl      schedule            /* r0: the next context (now *current) */
        ldr     r1, [r0, #64]
        msr     spsr_cxsf, r1
        ldr     lr, [r0, #60]
        ldmib   r0, {r1-r14}^
        nop
        ldr     r0, [r0]
        movs    pc, lr
