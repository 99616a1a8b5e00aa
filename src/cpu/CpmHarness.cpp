#include "cpu/CpmHarness.h"

namespace velgard {

CpmHarness::CpmHarness(std::uint8_t cpuKind, bool directMemory) {
    InstallCore(entries_, cpuKind);
    entries_.ReadMemory = Read;
    entries_.FetchByte = Read;
    entries_.WriteMemory = Write;
    entries_.ReadPort = PortIn;
    entries_.WritePort = PortOut;
    entries_.InterruptAck = NoInterrupt;
    state_.Entries = &entries_;
    state_.Owner = this;
    // No interrupt is ever requested: the core need not ask.
    static constexpr std::uint8_t kNeverPending = 0;
    state_.InterruptPending = &kNeverPending;
    if (directMemory) {
        for (std::size_t p = 0; p < pages_.size(); ++p) pages_[p] = &ram_[p << 8];
        state_.ReadPages = pages_.data();
        state_.WritePages = pages_.data();
    }
    entries_.Init(&state_);
}

bool CpmHarness::Load(std::span<const std::uint8_t> program, std::string* error) {
    if (program.size() > kMaxProgramSize) {
        if (error) {
            *error = "program is " + std::to_string(program.size()) +
                     " bytes; at most " + std::to_string(kMaxProgramSize) +
                     " fit in the TPA";
        }
        return false;
    }
    ram_.fill(0);
    ram_[0x0000] = 0xD3;  // OUT 0: warm boot
    ram_[0x0001] = 0x00;
    ram_[0x0005] = 0xD3;  // OUT 1: BDOS call
    ram_[0x0006] = 0x01;
    ram_[0x0007] = 0xC9;  // RET
    std::copy(program.begin(), program.end(), ram_.begin() + kLoadAddress);
    entries_.Init(&state_);
    state_.PC = kLoadAddress;
    output_.clear();
    instructions_ = 0;
    finished_ = false;
    return true;
}

bool CpmHarness::Run(std::uint64_t maxCycles) {
    // The core's run loop; warm boot ends it early (PortOut lowers the run
    // limit), so the run stops right after the OUT as a step-by-step loop
    // would.
    CpuState* s = &state_;
    if (!finished_) {
        std::uint64_t cycles = UINT64_MAX;
        if (maxCycles != 0) cycles = maxCycles > s->TotalCycles ? maxCycles - s->TotalCycles : 0;
        if (cycles != 0) instructions_ += entries_.Run(s, cycles);
    }
    return finished_;
}

std::uint8_t CpmHarness::Read(CpuState* s, std::uint16_t address) {
    return static_cast<CpmHarness*>(s->Owner)->ram_[address];
}

void CpmHarness::Write(CpuState* s, std::uint16_t address, std::uint8_t value) {
    static_cast<CpmHarness*>(s->Owner)->ram_[address] = value;
}

std::uint8_t CpmHarness::PortIn(CpuState*, std::uint8_t) { return 0; }

void CpmHarness::PortOut(CpuState* s, std::uint8_t port, std::uint8_t) {
    auto* self = static_cast<CpmHarness*>(s->Owner);
    if (port == 0) {
        self->finished_ = true;
        s->RunLimit = 0;
    } else if (port == 1) {
        self->Bdos();
    }
}

bool CpmHarness::NoInterrupt(CpuState*, std::uint16_t*) { return false; }

void CpmHarness::Bdos() {
    const std::uint8_t function = static_cast<std::uint8_t>(state_.BC & 0xFF);
    if (function == 2) {
        Emit(static_cast<char>(state_.DE & 0xFF));
    } else if (function == 9) {
        // The string ends at '$'; a missing terminator stops at the end of RAM.
        for (std::uint32_t a = state_.DE; a < ram_.size() && ram_[a] != '$'; ++a) {
            Emit(static_cast<char>(ram_[a]));
        }
    }
}

void CpmHarness::Emit(char c) {
    output_.push_back(c);
    if (sink_) sink_(c);
}

}  // namespace velgard
