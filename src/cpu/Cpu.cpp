#include "cpu/Cpu.h"

#include "cpu/I8080.h"
#include "cpu/Z80.h"

namespace velgard {

std::uint8_t InstallCore(CpuEntries& entries, std::uint8_t kind) {
    if (kind == kCpuZ80) {
        entries.Init = Z80_Init;
        entries.Execute = Z80_Execute;
        entries.SaveState = Z80_SaveState;
        entries.LoadState = Z80_LoadState;
        entries.Run = Z80_Run;
        return kCpuZ80;
    }
    entries.Init = I8080_Init;
    entries.Execute = I8080_Execute;
    entries.SaveState = I8080_SaveState;
    entries.LoadState = I8080_LoadState;
    entries.Run = I8080_Run;
    return kCpuI8080;
}

}  // namespace velgard
