/* mini-kernel: the vectors and the reset code stay in the flash at 0; the
   rest of the program (code, constants, .data) is linked in the SDRAM and
   copied there from the flash by the reset code (start.S). */
ENTRY(_start)
MEMORY
{
  flash (rx) : ORIGIN = 0x00000000, LENGTH = 2M
  sdram (rwx) : ORIGIN = 0x0C000000, LENGTH = 8M
}
SECTIONS
{
  .boot : {
    KEEP(*(.vectors))        /* the exception vectors at 0, the source vectors from 0x20 */
  } > flash
  .text : {
    _ram_start = .;
    *(.text*) *(.rodata*)
    . = ALIGN(4);
  } > sdram AT > flash
  .data : {
    *(.data*)
    . = ALIGN(4);
    _ram_end = .;
  } > sdram AT > flash
  _ram_load = LOADADDR(.text);
  ASSERT(LOADADDR(.data) - LOADADDR(.text) == ADDR(.data) - ADDR(.text), "copied in one piece")
  .bss (NOLOAD) : {
    _bss_start = .;
    *(.bss*) *(COMMON)
    . = ALIGN(4);
    _bss_end = .;
  } > sdram
  /* The stacks of the exception modes and of main grow down from the top of
     the SDRAM (start.S); each task has its own in .bss. */
  _stack_top = ORIGIN(sdram) + LENGTH(sdram);
}
