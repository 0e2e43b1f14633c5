@ bench-inflate's compressed image (made at build time by
@ bench-inflate-data.py), and the program's end.
        .section .rodata.deflated, "a"
        .balign 4
        .global deflated
        .global deflated_end
deflated:
        .incbin "bench-inflate.deflate"
deflated_end:

        .text
        .arm
        .global bench_end
        .type bench_end, %function
bench_end:
        b bench_end
