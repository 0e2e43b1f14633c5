ENTRY(main)
SECTIONS
{
  . = 0x0C100000;
  .text : { *(.text*) *(.rodata*) }
  .data : { *(.data*) }
  .bss : { *(.bss*) *(COMMON) }
}
