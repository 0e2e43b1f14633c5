/*
 * Memory layout of the phone on the board's 8 MB SDRAM (0x0C000000..0x0C7FFFFF).
 *
 * The monitor loads the program at 0x0C100000 and enters it at main; it zeroes
 * what the program headers ask it to zero and runs no start-up code, so there
 * are no constructors. The frame buffer has a fixed home at 0x0C300000, where
 * the LCD controller's address registers point; above it lie the sample clips
 * (0x0C400000..) and the message buffer (0x0C700000..), written from outside
 * the program, and the stacks and vector table of the monitor at the top.
 */
ENTRY(main)

MEMORY
{
    IMAGE (rwx) : ORIGIN = 0x0C100000, LENGTH = 0x0C300000 - 0x0C100000
    FRAME (rw)  : ORIGIN = 0x0C300000, LENGTH = 38400
}

PHDRS
{
    image PT_LOAD;
    frame PT_LOAD;
}

SECTIONS
{
    .text : {
        *(.text .text.* .gnu.linkonce.t.*)
        *(.glue_7) *(.glue_7t) *(.vfp11_veneer) *(.v4_bx)
    } > IMAGE :image

    .rodata : {
        *(.rodata .rodata.* .gnu.linkonce.r.*)
    } > IMAGE :image

    .ARM.extab : { *(.ARM.extab* .gnu.linkonce.armextab.*) } > IMAGE :image
    .ARM.exidx : {
        __exidx_start = .;
        *(.ARM.exidx* .gnu.linkonce.armexidx.*)
        __exidx_end = .;
    } > IMAGE :image

    /* Nothing runs these: they must stay empty. */
    .preinit_array : { __preinit_array_start = .; KEEP(*(.preinit_array)) __preinit_array_end = .; } > IMAGE :image
    .init_array : { __init_array_start = .; KEEP(*(SORT(.init_array.*) .init_array)) __init_array_end = .; } > IMAGE :image
    .fini_array : { __fini_array_start = .; KEEP(*(SORT(.fini_array.*) .fini_array)) __fini_array_end = .; } > IMAGE :image

    .data : ALIGN(4) {
        *(.data .data.* .gnu.linkonce.d.*)
    } > IMAGE :image

    .bss (NOLOAD) : ALIGN(4) {
        __bss_start__ = .;
        *(.bss .bss.* .gnu.linkonce.b.*)
        *(COMMON)
        . = ALIGN(4);
        __bss_end__ = .;
    } > IMAGE :image

    __image_end = .;
    end = .;    /* newlib's idea of the heap start; no heap is ever grown */

    .lcdbuffer 0x0C300000 (NOLOAD) : {
        KEEP(*(.lcdbuffer))
    } > FRAME :frame

    /DISCARD/ : { *(.comment) *(.note.GNU-stack) }
}

ASSERT(__init_array_end == __init_array_start && __preinit_array_end == __preinit_array_start,
       "static constructors found: the monitor never runs them")
ASSERT(__image_end <= 0x0C300000, "the program image reaches the frame buffer at 0x0C300000")
ASSERT(SIZEOF(.lcdbuffer) == 38400, "lcdbuffer must be the frame buffer's 9600 words")
