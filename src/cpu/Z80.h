#pragma once
// The Zilog Z80 interpreter: the four core entries.
#include "cpu/Cpu.h"

namespace velgard {

inline constexpr std::uint32_t kZ80StateBlockSize = 60;

void Z80_Init(CpuState* s);
void Z80_Execute(CpuState* s);
std::uint64_t Z80_Run(CpuState* s, std::uint64_t cycles);
bool Z80_SaveState(CpuState* s, std::uint8_t* buffer, std::uint32_t* length);
bool Z80_LoadState(CpuState* s, const std::uint8_t* buffer, std::uint32_t* length);

}  // namespace velgard
