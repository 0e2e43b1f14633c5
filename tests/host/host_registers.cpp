// The register file behind reg32/reg16/reg8 in the host build of the firmware:
// every address of the chip and the board reads back what was last written
// (0 at first). Tests reset it before they run code that touches registers.
#include <unordered_map>

#include "s3c44b0x.h"

static std::unordered_map<uint32, uint32> &registers()
{
    static std::unordered_map<uint32, uint32> words;
    return words;
}

volatile uint32 &host_register(uint32 address)
{
    return registers()[address & ~3u];
}

void host_registers_reset(void)
{
    registers().clear();
}
