#pragma once
// The processor core interface shared by both cores.
//
// The machine owns one CpuState block and one CpuEntries table. Four table
// entries belong to the selected core (Init, Execute, SaveState, LoadState);
// six are bus callbacks the machine provides. A core touches memory, ports
// and the interrupt controller only through those callbacks, or through the
// fast paths the owner may offer in the state block (direct pages of plain
// memory, the controller's pending flag), which behave as the callbacks
// would. It executes exactly one instruction (or accepts one interrupt) per
// Execute call; Run executes such steps for a number of cycles in one call.

#include <array>
#include <cstdint>
#include <memory>

namespace velgard {

struct CpuEntries;

// The defaults of the fast-path fields below: no page is direct, and the
// interrupt acknowledge is always asked.
inline constexpr std::array<const std::uint8_t*, 256> kNoDirectReadPages{};
inline constexpr std::array<std::uint8_t*, 256> kNoDirectWritePages{};
inline constexpr std::uint8_t kInterruptAlwaysAsk = 1;

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

    // Fast paths the bus owner may offer; none of them is saved, and the
    // defaults send everything through the callbacks.
    //
    // ReadPages/WritePages: for each 256-byte page a pointer to its bytes
    // when an access to it is a plain memory access without side effects
    // (both FetchByte and ReadMemory would return that byte; WriteMemory
    // would only store it), else nullptr, and the access goes through the
    // callback. The owner keeps the tables current while the core runs.
    const std::uint8_t* const* ReadPages = kNoDirectReadPages.data();
    std::uint8_t* const* WritePages = kNoDirectWritePages.data();
    // Nonzero when InterruptAck might take an interrupt now; while it is 0
    // the core does not call InterruptAck (which would answer false and
    // change nothing).
    const std::uint8_t* InterruptPending = &kInterruptAlwaysAsk;
    // Run stops before a step when TotalCycles has reached this value; a
    // callback may set it to 0 to end a run after the current step. During
    // a run the owner keeps ReadPages, WritePages and InterruptPending where
    // they are; the tables' contents and the flag may change only inside a
    // callback (or between runs).
    std::uint64_t RunLimit = 0;
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
// Runs whole steps, each exactly as one Execute call, as long as TotalCycles
// is below TotalCycles-at-entry + `cycles` (and RunLimit is not lowered by a
// callback); returns the number of steps run.
using CpuRunFn = std::uint64_t (*)(CpuState*, std::uint64_t cycles);

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
    // Not one of the ten: the core's loop of steps, installed with the
    // core's entries. It keeps the dispatch and the cycle count in
    // registers instead of returning to the caller after every step.
    CpuRunFn Run = nullptr;
};

// Writes the four core entries of `kind` (anything but kCpuZ80 selects the
// i8080) into slots 1-4 of `entries`, and its Run, and returns the kind
// installed.
std::uint8_t InstallCore(CpuEntries& entries, std::uint8_t kind);

}  // namespace velgard
