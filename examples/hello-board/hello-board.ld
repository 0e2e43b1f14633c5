/* Linked where the monitor loads programs, entered at main. The monitor
   copies .data and zeroes .bss itself. */
ENTRY(main)
SECTIONS
{
  . = 0x0C100000;
  .text : { *(.text*) *(.rodata*) }
  .data : { *(.data*) }
  .bss : { *(.bss*) *(COMMON) }
  /* The LCD's frame buffer, the sample clips and the monitor's stacks and
     table live above; a program that grows into them is refused here. */
  ASSERT(. <= 0x0C300000, "the program reaches 0x0C300000")
}
