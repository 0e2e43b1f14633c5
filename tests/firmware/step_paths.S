@ Every way an instruction can hand on to the next, for the single-step
@ test: straight on, conditional branches taken and not, BL and returns by
@ BX, LDR pc and LDM/POP with the pc, into Thumb and back, a Thumb BL pair,
@ and a software interrupt with its return. Each s_* label is a stepped
@ instruction; the test knows where each one goes. The test calls arm_mid
@ and thumb_fn first, so that their code is translated before the steps.
        .syntax unified
        .arm
        .global main
        .type main, %function
main:   ldr r0, =0x01D30000         @ WTCON: the watchdog off
        mov r1, #0
        str r1, [r0]
        ldr r0, =0x0C7FFF08         @ the monitor's SWI slot
        adr r1, swi_handler
        str r1, [r0]
        stmfd sp!, {r4, lr}
        .global s_fall, s_cmp, s_beq, s_beq_to, s_bne_next, s_bne_to
s_fall: mov r4, #5
s_cmp:  cmp r4, #5
s_beq:  beq s_beq_to
        mov r4, #99                 @ skipped
s_beq_to:
        bne s_bne_to                @ not taken
s_bne_next:
        add r4, r4, #1
s_bne_to:
        .global s_bl, s_after_bl, arm_leaf, s_leaf_ret
        mov r0, #0
s_bl:   bl arm_leaf
s_after_bl:
        .global s_bxne, s_bxne_next, s_bl_mid, arm_mid, s_ldm_pc, s_after_mid
s_bxne: bxne lr                     @ not taken: Z is still that of the cmp
s_bxne_next:
s_bl_mid:
        bl arm_mid
s_after_mid:
        .global s_ldr_pc, s_ldr_to, s_bx_thumb, thumb_fn, s_tbl, thumb_leaf, s_tpop, s_tbx, s_arm_back
s_ldr_pc:
        ldr pc, =s_ldr_to
        mov r4, #99                 @ skipped
s_ldr_to:
        ldr r12, =thumb_fn          @ bit 0 set: a Thumb function
        ldr lr, =s_arm_back
s_bx_thumb:
        bx r12
s_arm_back:
        .global s_swi, s_after_swi, swi_handler, s_after_tbl
        add r0, r0, r4
s_swi:  swi 0
s_after_swi:
        add r0, r0, r4
        ldr r1, =result
        str r0, [r1]
        ldmfd sp!, {r4, pc}

        .type arm_leaf, %function
arm_leaf:
        add r0, r0, #1
s_leaf_ret:
        bx lr

        .type arm_mid, %function
arm_mid:
        stmfd sp!, {lr}
        add r0, r0, #2
s_ldm_pc:
        ldmfd sp!, {pc}

swi_handler:
        add r0, r0, #1
        movs pc, lr
        .ltorg

        .thumb
        .type thumb_fn, %function
        .thumb_func
thumb_fn:
        push {lr}
s_tbl:  bl thumb_leaf
s_after_tbl:
        pop {r1}
        mov lr, r1
s_tbx:  bx lr

        .type thumb_leaf, %function
        .thumb_func
thumb_leaf:
        push {lr}
        adds r0, #4
s_tpop: pop {pc}

        .data
        .global result
result: .word 0
