#pragma once
// The Intel 8080 interpreter: the four core entries.
#include "cpu/Cpu.h"

namespace velgard {

inline constexpr std::uint32_t kI8080StateBlockSize = 44;

void I8080_Init(CpuState* s);
void I8080_Execute(CpuState* s);
std::uint64_t I8080_Run(CpuState* s, std::uint64_t cycles);
bool I8080_SaveState(CpuState* s, std::uint8_t* buffer, std::uint32_t* length);
bool I8080_LoadState(CpuState* s, const std::uint8_t* buffer, std::uint32_t* length);

}  // namespace velgard
