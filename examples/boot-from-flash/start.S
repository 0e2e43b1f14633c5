/* Start-up code for a program booted from the S3C44B0X's flash: what the
   monitor would otherwise do, from the reset vector on. After reset the
   core is in supervisor mode with IRQ and FIQ off, MCLK is the 8 MHz
   crystal, the watchdog runs and the SDRAM is not usable yet. */
        .equ WTCON,    0x01D30000
        .equ INTCON,   0x01E00000
        .equ INTMSK,   0x01E0000C
        .equ PLLCON,   0x01D80000
        .equ LOCKTIME, 0x01D8000C
        .equ MEMCTL,   0x01C80000   /* BWSCON, BANKCON0..7, REFRESH, BANKSIZE, MRSRB6/7 */

        .equ MODE_USR, 0x10
        .equ MODE_FIQ, 0x11
        .equ MODE_IRQ, 0x12
        .equ MODE_SVC, 0x13
        .equ MODE_ABT, 0x17
        .equ MODE_UND, 0x1B
        .equ MODE_SYS, 0x1F
        .equ NO_INT,   0xC0         /* I and F */

        .section .vectors, "ax"
        .arm
        .global _start
_start:
        b       reset               /* 0x00 */
        b       undefined_trap      /* 0x04 */
        b       swi_trap            /* 0x08 */
        b       prefetch_trap       /* 0x0C */
        b       data_trap           /* 0x10 */
        b       .                   /* 0x14 reserved */
        b       irq_entry           /* 0x18: IRQs in non-vectored mode */
        b       fiq_trap            /* 0x1C */

        .text
reset:
        /* The watchdog first: it would reset the chip in about 8 s. */
        ldr     r0, =WTCON
        mov     r1, #0
        str     r1, [r0]
        ldr     r0, =INTMSK
        ldr     r1, =0x07FFFFFF
        str     r1, [r0]

        /* PLL: Fout = (0x38 + 8) x 8 MHz / ((2 + 2) x 2^1) = 64 MHz. */
        ldr     r0, =LOCKTIME
        ldr     r1, =0xFFF
        str     r1, [r0]
        ldr     r0, =PLLCON
        ldr     r1, =0x00038021
        str     r1, [r0]

        /* The memory controller in one go, MRSRB6 last: its write ends the
           SDRAM's power-up sequence. */
        ldr     r0, =memory_setup
        ldmia   r0, {r1-r13}
        ldr     r0, =MEMCTL
        stmia   r0, {r1-r13}

        /* A stack for every mode, IRQ and FIQ still off. */
        ldr     r0, =_stack_top
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
        msr     cpsr_c, #(MODE_SYS | NO_INT)
        mov     sp, r0
        sub     r0, r0, #0x1000
        msr     cpsr_c, #(MODE_SVC | NO_INT)
        mov     sp, r0

        /* .data from its copy in the flash, .bss zeroed. */
        ldr     r0, =_data_load
        ldr     r1, =_data_start
        ldr     r2, =_data_end
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

        /* IRQs through irq_entry (non-vectored), FIQ line off; then IRQs on
           in the CPSR. Each source stays masked until main unmasks it. */
        ldr     r0, =INTCON
        mov     r1, #0x5
        str     r1, [r0]
        msr     cpsr_c, #(MODE_SVC | 0x40)

        bl      main
        b       .

/* The IRQ dispatch: every IRQ source's handler is a plain C function,
   called by irq_dispatch (boot.c) with the interrupted registers saved. */
irq_entry:
        sub     lr, lr, #4
        stmfd   sp!, {r0-r3, r12, lr}
        bl      irq_dispatch
        ldmfd   sp!, {r0-r3, r12, pc}^

/* Exceptions this program does not expect: each stops in its own loop. */
undefined_trap: b .
swi_trap:       b .
prefetch_trap:  b .
data_trap:      b .
fiq_trap:       b .

        .section .rodata
        .align 2
memory_setup:
        .word 0x01000002                /* BWSCON: bank 6 16-bit, bank 0 16-bit (OM pins) */
        .word 0x0700, 0x0700, 0x0700    /* BANKCON0..2: Tacc 14 clocks */
        .word 0x0700, 0x0700, 0x0700    /* BANKCON3..5 */
        .word 0x00018001, 0x00018001    /* BANKCON6/7: SDRAM, Trcd 2 clocks, 9 column bits */
        .word 0x00AC041B                /* REFRESH: on, 15.6 us */
        .word 0x00000006                /* BANKSIZE: 8 MB */
        .word 0x00000020, 0x00000020    /* MRSRB6/7: CAS latency 2 */
