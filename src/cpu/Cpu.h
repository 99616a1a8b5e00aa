#pragma once
// The processor core interface shared by both cores.
//
// The machine owns one CpuState block and one CpuEntries table. Four table
// entries belong to the selected core (Init, Execute, SaveState, LoadState);
// six are bus callbacks the machine provides. A core touches memory, ports
// and the interrupt controller only through those callbacks, and executes
// exactly one instruction (or accepts one interrupt) per Execute call.

#include <cstdint>
#include <memory>

namespace velgard {

struct CpuEntries;

// Processor kinds as stored in settings and snapshots.
enum : std::uint8_t { kCpuI8080 = 0, kCpuZ80 = 1 };

// The state block. The header (Entries, Owner, TotalCycles, LastCycles) is
// common to both cores; the i8080 uses A..EIDelay, the Z80 all fields.
// Register pairs hold the low register in the low byte (C of BC, E of DE,
// L of HL, IXL of IX, IYL of IY). The snapshot blocks serialise the fields
// explicitly, little-endian, in the documented order, so the in-memory
// layout here is free.
struct CpuState {
    const CpuEntries* Entries = nullptr;
    void* Owner = nullptr;
    std::uint64_t TotalCycles = 0;
    std::uint16_t LastCycles = 0;

    std::uint8_t A = 0, F = 0;
    std::uint16_t BC = 0, DE = 0, HL = 0;
    std::uint16_t PC = 0, SP = 0;
    union {
        std::uint8_t IFF = 0;  // i8080: 0 = disabled, 0xFF = enabled
        std::uint8_t IFF1;     // Z80: the same flip-flop
    };
    std::uint8_t EIDelay = 0;  // instructions still to run after EI

    // Z80 only.
    std::uint16_t IX = 0, IY = 0;
    std::uint8_t R = 0, I = 0;
    std::uint8_t A2 = 0, F2 = 0;  // A', F'
    std::uint16_t BC2 = 0, DE2 = 0, HL2 = 0;  // BC', DE', HL'
    std::uint8_t IFF2 = 0;
    std::uint8_t IM = 0;
};

using CpuInitFn = void (*)(CpuState*);
using CpuExecuteFn = void (*)(CpuState*);
// SaveState/LoadState: `length` is in/out as documented for the snapshot
// blocks: the buffer's size on entry, the size needed or consumed on exit.
using CpuSaveFn = bool (*)(CpuState*, std::uint8_t* buffer, std::uint32_t* length);
using CpuLoadFn = bool (*)(CpuState*, const std::uint8_t* buffer, std::uint32_t* length);
using CpuReadFn = std::uint8_t (*)(CpuState*, std::uint16_t address);
using CpuWriteFn = void (*)(CpuState*, std::uint16_t address, std::uint8_t value);
using CpuPortReadFn = std::uint8_t (*)(CpuState*, std::uint8_t port);
using CpuPortWriteFn = void (*)(CpuState*, std::uint8_t port, std::uint8_t value);
// Returns true with the call address of the request to take, or false.
using CpuInterruptAckFn = bool (*)(CpuState*, std::uint16_t* address);

// The ten entries, in table order.
struct CpuEntries {
    CpuInitFn Init = nullptr;
    CpuExecuteFn Execute = nullptr;
    CpuSaveFn SaveState = nullptr;
    CpuLoadFn LoadState = nullptr;
    CpuReadFn ReadMemory = nullptr;
    CpuWriteFn WriteMemory = nullptr;
    CpuPortReadFn ReadPort = nullptr;
    CpuPortWriteFn WritePort = nullptr;
    CpuReadFn FetchByte = nullptr;
    CpuInterruptAckFn InterruptAck = nullptr;
};

// Writes the four core entries of `kind` (anything but kCpuZ80 selects the
// i8080) into slots 1-4 of `entries` and returns the kind installed.
std::uint8_t InstallCore(CpuEntries& entries, std::uint8_t kind);

}  // namespace velgard
