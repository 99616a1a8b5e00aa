// The whole machine, headless and unsynced, running a program that keeps
// the processor busy and writes text and graphics all the time, so that
// every frame has rows to draw. Reported as emulated seconds per real
// second ("x_realtime").
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "cpu/Cpu.h"
#include "machine/EmuKorvet.h"
#include "machine/HeadlessHost.h"

namespace {

using namespace velgard;

// The busy program, 8080 code (the Z80 runs the same bytes):
//   0000 F3          di
//   0001 31 00 B0    lxi sp, 0B000h
//   0004 3E 20       mvi a, 20h        ; configuration 8: graphics at C000h
//   0006 32 7F 3A    sta 3A7Fh
//   0009 3E 8E       mvi a, 8Eh        ; direct mode, colour 7
//   000B 32 BF 3A    sta 3ABFh
//   000E 21 00 3C    lxi h, 3C00h      ; character memory
//   0011 11 00 C0    lxi d, 0C000h     ; graphics window
//   0014 34    loop: inr m             ; read and rewrite a character cell
//   0015 23          inx h
//   0016 7C          mov a, h
//   0017 FE 40       cpi 40h
//   0019 C2 1F 00    jnz gfx
//   001C 21 00 3C    lxi h, 3C00h
//   001F 1A     gfx: ldax d            ; read and rewrite a graphics byte
//   0020 2F          cma
//   0021 12          stax d
//   0022 13          inx d
//   0023 7A          mov a, d
//   0024 B7          ora a
//   0025 C2 14 00    jnz loop
//   0028 16 C0       mvi d, 0C0h
//   002A C3 14 00    jmp loop
const std::uint8_t kBusyProgram[] = {
    0xF3, 0x31, 0x00, 0xB0, 0x3E, 0x20, 0x32, 0x7F, 0x3A, 0x3E, 0x8E, 0x32, 0xBF, 0x3A,
    0x21, 0x00, 0x3C, 0x11, 0x00, 0xC0, 0x34, 0x23, 0x7C, 0xFE, 0x40, 0xC2, 0x1F, 0x00,
    0x21, 0x00, 0x3C, 0x1A, 0x2F, 0x12, 0x13, 0x7A, 0xB7, 0xC2, 0x14, 0x00, 0x16, 0xC0,
    0xC3, 0x14, 0x00,
};
constexpr int kRom = 2;           // the 8192-byte ROM slot
constexpr int kFramesPerRun = 50;  // one emulated second

void RunMachine(benchmark::State& state, std::uint8_t cpuKind) {
    HeadlessHost host;
    auto machine = std::make_unique<tComputer_I8080_Korvet>(host);
    std::vector<std::uint8_t> rom(8192, 0);
    std::copy(std::begin(kBusyProgram), std::end(kBusyProgram), rom.begin());
    machine->Roms().ReplaceRom(kRom, rom);
    machine->SetCpuKind(cpuKind);
    machine->SetSync(false);
    int frames = 0;
    std::uint64_t drawn = 0;
    host.SetPump([&] {
        if (++frames >= kFramesPerRun) machine->Stop();
    });
    for (auto _ : state) {
        frames = 0;
        machine->Run(nullptr, kRom, false);
        drawn += machine->FramesDrawn();
    }
    const double emulatedSeconds = static_cast<double>(state.iterations()) * kFramesPerRun / 50.0;
    state.counters["x_realtime"] = benchmark::Counter(emulatedSeconds, benchmark::Counter::kIsRate);
    state.counters["drawn_per_frame"] =
        static_cast<double>(drawn) / (static_cast<double>(state.iterations()) * kFramesPerRun);
}

void BM_MachineI8080(benchmark::State& state) { RunMachine(state, kCpuI8080); }
void BM_MachineZ80(benchmark::State& state) { RunMachine(state, kCpuZ80); }

BENCHMARK(BM_MachineI8080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MachineZ80)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
