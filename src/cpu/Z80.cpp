// PLACEHOLDER: replaced by the real interpreter.
#include "cpu/Z80.h"
namespace velgard {
void Z80_Init(CpuState*) {}
void Z80_Execute(CpuState* s) { s->LastCycles = 4; s->TotalCycles += 4; }
bool Z80_SaveState(CpuState*, std::uint8_t*, std::uint32_t*) { return false; }
bool Z80_LoadState(CpuState*, const std::uint8_t*, std::uint32_t*) { return false; }
}
