/* Test programs booted from the flash (--flash): linked at address 0. */
ENTRY(_start)
SECTIONS
{
  . = 0;
  .text : { KEEP(*(.vectors)) *(.text*) *(.rodata*) }
}
