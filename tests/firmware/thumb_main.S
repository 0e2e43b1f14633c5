@ A program whose main is Thumb code: the monitor must enter it in Thumb
@ state (in ARM state these half-words are other instructions).
        .syntax unified
        .thumb
        .global main
        .type main, %function
        .thumb_func
main:   ldr r1, =marker
        movs r0, #42
        str r0, [r1]
        bx lr

        .data
        .global marker
marker: .word 0
