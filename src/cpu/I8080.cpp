// PLACEHOLDER: replaced by the real interpreter.
#include "cpu/I8080.h"
namespace velgard {
void I8080_Init(CpuState*) {}
void I8080_Execute(CpuState* s) { s->LastCycles = 4; s->TotalCycles += 4; }
bool I8080_SaveState(CpuState*, std::uint8_t*, std::uint32_t*) { return false; }
bool I8080_LoadState(CpuState*, const std::uint8_t*, std::uint32_t*) { return false; }
}
