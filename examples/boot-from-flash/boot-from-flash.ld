/* A program in the board's flash (bank 0, at address 0 after reset) that
   runs without the monitor: its code and constants stay in the flash, its
   .data is copied to the SDRAM by its own start-up code (start.S), which
   also zeroes .bss. */
ENTRY(_start)
MEMORY
{
  flash (rx) : ORIGIN = 0x00000000, LENGTH = 2M
  sdram (rwx) : ORIGIN = 0x0C000000, LENGTH = 8M
}
SECTIONS
{
  .text : {
    KEEP(*(.vectors))        /* the exception vectors, at 0 */
    *(.text*) *(.rodata*)
  } > flash
  .data : {
    _data_start = .;
    *(.data*)
    . = ALIGN(4);
    _data_end = .;
  } > sdram AT > flash
  _data_load = LOADADDR(.data);
  .bss (NOLOAD) : {
    _bss_start = .;
    *(.bss*) *(COMMON)
    . = ALIGN(4);
    _bss_end = .;
  } > sdram
  /* The stacks of every mode grow down from the top of the SDRAM. */
  _stack_top = ORIGIN(sdram) + LENGTH(sdram);
}
