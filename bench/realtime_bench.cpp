// What a machine at real time costs the host: our own firmware (ROM set 0,
// no disk, so it waits in its monitor for a key) runs headless with
// synchronisation on for 500 frames, ten emulated seconds, and the process
// CPU time is set against the wall time ("cpu_share", 0.03 = 3 % of one
// core). The loop should sleep through nearly all of its waits.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>

#include "machine/EmuKorvet.h"
#include "machine/HeadlessHost.h"

namespace {

using namespace velgard;

constexpr int kFrames = 500;

void BM_RealTimeCpuUse(benchmark::State& state) {
    HeadlessHost host;
    auto machine = std::make_unique<tComputer_I8080_Korvet>(host);
    machine->SetCpuKind(static_cast<std::uint8_t>(state.range(0)));
    machine->SetSync(true);
    int frames = 0;
    host.SetPump([&] {
        if (++frames >= kFrames) machine->Stop();
    });
    double cpuSeconds = 0, wallSeconds = 0;
    std::uint64_t skipped = 0;
    for (auto _ : state) {
        frames = 0;
        const std::clock_t cpu0 = std::clock();
        const auto wall0 = std::chrono::steady_clock::now();
        machine->Run(nullptr, 0, false);
        wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        cpuSeconds += static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
        skipped += machine->FramesSkipped();
    }
    state.counters["cpu_share"] = cpuSeconds / wallSeconds;
    // Emulated seconds per real second: 1.0 when the pacing holds.
    state.counters["speed"] = static_cast<double>(state.iterations()) * kFrames / 50.0 / wallSeconds;
    state.counters["skipped"] = static_cast<double>(skipped);
}
BENCHMARK(BM_RealTimeCpuUse)->ArgName("cpu")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
