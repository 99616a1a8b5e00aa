#pragma once
// Runs a CP/M program on the bare processor: 64 KB of flat RAM, the program
// at 0x0100, OUT 0 at 0x0000 (warm boot ends the run) and OUT 1; RET at
// 0x0005 (a BDOS call; C = 2 prints E, C = 9 prints the string at DE up to
// '$'). No interrupt is ever requested. Memory is reached the way the
// machine's cores reach it: through direct pages (all of RAM is plain), or,
// with `directMemory` false, through the CpuEntries callbacks for every
// byte; either way the exercisers test the cores as they run.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "cpu/Cpu.h"

namespace velgard {

class CpmHarness {
public:
    static constexpr std::uint16_t kLoadAddress = 0x0100;
    static constexpr std::size_t kMaxProgramSize = 0x10000 - kLoadAddress;

    using OutputSink = std::function<void(char)>;

    explicit CpmHarness(std::uint8_t cpuKind, bool directMemory = true);

    // Clears RAM, installs the two traps and the program, and resets the
    // processor. Returns false (with a message) if the program does not fit.
    bool Load(std::span<const std::uint8_t> program, std::string* error = nullptr);

    // Console output goes to the sink as it is produced, and is also kept.
    void SetOutputSink(OutputSink sink) { sink_ = std::move(sink); }

    // Runs until warm boot, or until `maxCycles` have passed (0 = no limit).
    // Returns true when the program ended by warm boot.
    bool Run(std::uint64_t maxCycles = 0);

    const std::string& Output() const { return output_; }
    std::uint64_t Cycles() const { return state_.TotalCycles; }
    std::uint64_t Instructions() const { return instructions_; }
    CpuState& State() { return state_; }
    std::array<std::uint8_t, 0x10000>& Ram() { return ram_; }

private:
    static std::uint8_t Read(CpuState* s, std::uint16_t address);
    static void Write(CpuState* s, std::uint16_t address, std::uint8_t value);
    static std::uint8_t PortIn(CpuState* s, std::uint8_t port);
    static void PortOut(CpuState* s, std::uint8_t port, std::uint8_t value);
    static bool NoInterrupt(CpuState* s, std::uint16_t* address);

    void Bdos();
    void Emit(char c);

    std::array<std::uint8_t, 0x10000> ram_{};
    std::array<std::uint8_t*, 256> pages_{};
    CpuEntries entries_{};
    CpuState state_{};
    std::string output_;
    OutputSink sink_;
    std::uint64_t instructions_ = 0;
    bool finished_ = false;
};

}  // namespace velgard
