#pragma once
// Helpers for the machine tests: a headless machine that runs one of our
// own 8080 test programs from the ROM slot, with a known font.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "machine/EmuKorvet.h"
#include "machine/HeadlessHost.h"

namespace velgard::programs {
#define VELGARD_PROGRAM(name)                 \
    extern const std::uint8_t name[];         \
    extern const std::size_t name##_size;
VELGARD_PROGRAM(irq)
VELGARD_PROGRAM(retrace)
VELGARD_PROGRAM(slices)
VELGARD_PROGRAM(screen)
VELGARD_PROGRAM(keys)
VELGARD_PROGRAM(busy)
VELGARD_PROGRAM(tones)
#undef VELGARD_PROGRAM
}  // namespace velgard::programs

namespace velgard::test {

// The ROM slot the test programs are put into: "Контур 2.0", 8192 bytes.
inline constexpr int kTestRom = 2;

// A font whose every glyph differs, with glyph 0 of bank 0 blank.
inline std::vector<std::uint8_t> PatternFont() {
    std::vector<std::uint8_t> font(8192);
    for (std::size_t i = 0; i < font.size(); ++i) {
        font[i] = static_cast<std::uint8_t>(i * 37 + (i >> 4) * 11 + (i >> 12) * 101 + 5);
    }
    for (int i = 0; i < 16; ++i) font[i] = 0;
    return font;
}

inline std::vector<std::uint8_t> RomWith(const std::uint8_t* program, std::size_t size) {
    std::vector<std::uint8_t> rom(8192, 0);
    for (std::size_t i = 0; i < size && i < rom.size(); ++i) rom[i] = program[i];
    return rom;
}

struct TestMachine {
    HeadlessHost host;
    std::unique_ptr<tComputer_I8080_Korvet> machine;
    std::uint64_t frames = 0;
    std::uint64_t stopAt = 0;
    std::function<void(std::uint64_t frame)> onFrame;

    explicit TestMachine(const std::uint8_t* program = nullptr, std::size_t size = 0) {
        machine = std::make_unique<tComputer_I8080_Korvet>(host);
        if (program) machine->Roms().ReplaceRom(kTestRom, RomWith(program, size));
        machine->Roms().ReplaceFont(PatternFont());
        host.SetPump([this] {
            ++frames;
            if (onFrame) onFrame(frames);
            if (stopAt && frames >= stopAt) machine->Stop();
        });
    }

    // Runs `count` frames as fast as the host allows.
    void RunFrames(std::uint64_t count, bool singlePage = false, TBMMCanvas2D* canvas = nullptr) {
        frames = 0;
        stopAt = count;
        machine->SetSync(false);
        machine->Run(canvas, kTestRom, singlePage);
    }

    tMemory_Korvet64Kb& Memory() { return machine->GetMemory(); }
    std::uint16_t RamWord(std::uint16_t address) {
        auto ram = Memory().Ram();
        return static_cast<std::uint16_t>(ram[address] | (ram[static_cast<std::uint16_t>(address + 1)] << 8));
    }
};

}  // namespace velgard::test
