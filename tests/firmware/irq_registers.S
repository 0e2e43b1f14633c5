@ An interrupt taken through the RAM vector table must come back with every
@ register of the interrupted code intact. The watchdog, in interrupt mode
@ with a short count, interrupts a loop that keeps known values in r0..r12
@ and checks them after every pass; the handler clobbers them all.
        .arm
        .global main
        .type main, %function
        .equ WTCON,  0x01D30000
        .equ WTDAT,  0x01D30004
        .equ WTCNT,  0x01D30008
        .equ INTMSK, 0x01E0000C
        .equ I_ISPC, 0x01E00024
        .equ INTCON, 0x01E00000
        .equ SLOT_WDT, 0x0C7FFF5C
        .equ UTRSTAT0, 0x01D00010
        .equ UTXH0, 0x01D00020

main:   ldr r0, =WTCON
        mov r1, #0
        str r1, [r0]
        ldr r0, =0x01D00000     @ console: ULCON0 3, UCON0 5, UBRDIV0 34 (115200 baud at the monitor's 64 MHz)
        mov r1, #3
        str r1, [r0]
        mov r1, #5
        str r1, [r0, #4]
        mov r1, #34
        str r1, [r0, #0x28]
        ldr r0, =SLOT_WDT
        ldr r1, =handler
        str r1, [r0]
        ldr r0, =INTCON
        mov r1, #1              @ vectored IRQ, IRQ line on
        str r1, [r0]
        ldr r0, =INTMSK
        ldr r1, =~((1 << 15) | (1 << 26))
        str r1, [r0]
        ldr r0, =WTDAT
        ldr r1, =300            @ 4800 MCLK: some 25 interrupts while it prints at 115200 baud
        str r1, [r0]
        ldr r0, =WTCNT
        str r1, [r0]
        ldr r0, =WTCON
        ldr r1, =0x0024         @ prescaler 0, /16, enabled, interrupt on, no reset
        str r1, [r0]

        ldr r0, =0x11111111
        ldr r1, =0x22222222
        ldr r2, =0x33333333
        ldr r3, =0x44444444
        ldr r4, =0x55555555
        ldr r5, =0x66666666
        ldr r6, =0x77777777
        ldr r7, =0x88888888
        ldr r8, =0x99999999
        ldr r9, =0xAAAAAAAA
        ldr r10, =0xBBBBBBBB
        ldr r11, =0xCCCCCCCC
        ldr r12, =0xDDDDDDDD
        mov r13, r13
check:  ldr r14, =0x11111111
        cmp r0, r14
        bne bad
        ldr r14, =0x22222222
        cmp r1, r14
        bne bad
        ldr r14, =0x33333333
        cmp r2, r14
        bne bad
        ldr r14, =0x44444444
        cmp r3, r14
        bne bad
        ldr r14, =0x55555555
        cmp r4, r14
        bne bad
        ldr r14, =0x66666666
        cmp r5, r14
        bne bad
        ldr r14, =0x77777777
        cmp r6, r14
        bne bad
        ldr r14, =0x88888888
        cmp r7, r14
        bne bad
        ldr r14, =0x99999999
        cmp r8, r14
        bne bad
        ldr r14, =0xAAAAAAAA
        cmp r9, r14
        bne bad
        ldr r14, =0xBBBBBBBB
        cmp r10, r14
        bne bad
        ldr r14, =0xCCCCCCCC
        cmp r11, r14
        bne bad
        ldr r14, =0xDDDDDDDD
        cmp r12, r14
        bne bad
        ldr r14, =count
        ldr r14, [r14]
        cmp r14, #20            @ twenty interrupts served: done
        blo check
        adr r0, good_text
        b say

bad:    adr r0, bad_text
say:    ldr r1, =UTRSTAT0
1:      ldrb r2, [r0], #1
        cmp r2, #0
        beq 3f
2:      ldr r3, [r1]
        tst r3, #2
        beq 2b
        str r2, [r1, #0x10]
        b 1b
3:      ldr r3, [r1]
        tst r3, #4
        beq 3b
        ldr r0, =WTCON
        mov r1, #0
        str r1, [r0]
        ldr r0, =INTMSK
        mvn r1, #0
        str r1, [r0]
4:      b 4b

handler:
        stmfd sp!, {r0-r12}
        ldr r0, =count
        ldr r1, [r0]
        add r1, r1, #1
        str r1, [r0]
        ldr r0, =I_ISPC
        mov r1, #(1 << 15)
        str r1, [r0]
        mov r0, #0
        mov r1, #0
        mov r2, #0
        mov r3, #0
        mov r4, #0
        mov r5, #0
        mov r6, #0
        mov r7, #0
        mov r8, #0
        mov r9, #0
        mov r10, #0
        mov r11, #0
        mov r12, #0
        ldmfd sp!, {r0-r12}
        subs pc, lr, #4

good_text: .asciz "registers intact\n"
bad_text:  .asciz "registers corrupted\n"
        .align 2
        .data
        .global count           @ the system test reads it by name
        .type count, %object
count:  .word 0
