// The whole machine, headless and unsynced, running a program that keeps
// the processor busy and writes text and graphics all the time, so that
// every frame has rows to draw. Reported as emulated seconds per real
// second ("x_realtime").
//
// The sound pair runs the same busy loop after switching a 441 Hz tone on,
// once with the machine's sound channel on timer channel 0 (recording every
// slice and rendering every frame for the null device) and once with a
// plain timer channel in its place, which makes no sound at all.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "cpu/Cpu.h"
#include "devices/SoundChannel.h"
#include "devices/TIMER_I8253.h"
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

// Tone prologue at 0000 (timer channel 0 in mode 3 with count 4535, output
// enable on through I/O 33h), then the busy program moved to 0100h.
//   3E 36 / 32 03 3B    mvi a, 36h / sta 3B03h
//   3E B7 / 32 00 3B    mvi a, 0B7h / sta 3B00h
//   3E 11 / 32 00 3B    mvi a, 11h / sta 3B00h
//   3E 07 / 32 33 3B    mvi a, 07h / sta 3B33h
//   C3 00 01            jmp 0100h
const std::uint8_t kTonePrologue[] = {
    0x3E, 0x36, 0x32, 0x03, 0x3B, 0x3E, 0xB7, 0x32, 0x00, 0x3B, 0x3E, 0x11,
    0x32, 0x00, 0x3B, 0x3E, 0x07, 0x32, 0x33, 0x3B, 0xC3, 0x00, 0x01,
};

std::vector<std::uint8_t> BusyRom(bool tone) {
    std::vector<std::uint8_t> rom(8192, 0);
    if (!tone) {
        std::copy(std::begin(kBusyProgram), std::end(kBusyProgram), rom.begin());
        return rom;
    }
    std::copy(std::begin(kTonePrologue), std::end(kTonePrologue), rom.begin());
    std::copy(std::begin(kBusyProgram), std::end(kBusyProgram), rom.begin() + 0x100);
    // The three jump targets' high bytes: 0014h and 001Fh become 0114h and 011Fh.
    for (std::size_t at : {0x1Bu, 0x27u, 0x2Cu}) rom[0x100 + at] = 0x01;
    return rom;
}

enum class Sound { Default, On, Off };

void RunMachine(benchmark::State& state, std::uint8_t cpuKind, Sound sound = Sound::Default) {
    HeadlessHost host;
    auto machine = std::make_unique<tComputer_I8080_Korvet>(host);
    machine->Roms().ReplaceRom(kRom, BusyRom(sound != Sound::Default));
    if (sound == Sound::Off) {
        machine->GetTimer().InstallChannel(0, std::make_unique<tTimer_i8254_Channel>());
    } else if (!machine->GetMemory().Sound()) {
        state.SkipWithError("the machine has no sound channel");
        return;
    }
    machine->SetCpuKind(cpuKind);
    machine->SetSync(false);
    int frames = 0;
    std::uint64_t drawn = 0;
    // Whether the tone was sounding at the end of each run (the timer is
    // reset when a run ends, so it is looked at from the last frame).
    std::uint64_t toneRuns = 0;
    host.SetPump([&] {
        if (++frames >= kFramesPerRun) {
            const tTimer_i8254_Channel* ch = machine->GetTimer().Channel(0);
            if (ch && ch->Mode() == 3 && ch->OutputEnable() == 1) ++toneRuns;
            machine->Stop();
        }
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
    if (sound != Sound::Default)
        state.counters["tone"] = static_cast<double>(toneRuns) / static_cast<double>(state.iterations());
}

void BM_MachineI8080(benchmark::State& state) { RunMachine(state, kCpuI8080); }
void BM_MachineZ80(benchmark::State& state) { RunMachine(state, kCpuZ80); }
void BM_MachineI8080SoundOn(benchmark::State& state) { RunMachine(state, kCpuI8080, Sound::On); }
void BM_MachineI8080SoundOff(benchmark::State& state) { RunMachine(state, kCpuI8080, Sound::Off); }
void BM_MachineZ80SoundOn(benchmark::State& state) { RunMachine(state, kCpuZ80, Sound::On); }
void BM_MachineZ80SoundOff(benchmark::State& state) { RunMachine(state, kCpuZ80, Sound::Off); }

BENCHMARK(BM_MachineI8080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MachineZ80)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MachineI8080SoundOn)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MachineI8080SoundOff)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MachineZ80SoundOn)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MachineZ80SoundOff)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
