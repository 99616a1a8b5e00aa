// Cost of the sound per emulated frame: 100 slice records and 441 samples
// (one frame is 20 ms of emulated time, so the budget at real speed is
// 20 ms per frame for everything the machine does).
//
// Allocations are counted by replacing the global operator new of this
// benchmark executable; every sound benchmark reports the allocations per
// frame it saw and fails if there was any.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "devices/SoundChannel.h"

namespace {
std::atomic<std::uint64_t> gAllocations{0};
}  // namespace

// GCC takes the replaced delete's free() for a mismatch with new; here
// both sides are malloc/free on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { ::operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { ::operator delete(p); }
#pragma GCC diagnostic pop

namespace velgard {
namespace {

constexpr std::uint32_t kCpuClock = 2500000;

// A buffered device that only looks at the samples (as a real one copies
// them), so that the frame is not optimised away.
class tSinkDevice : public tSoundOutputDevice {
public:
    void PlayFrame(tFrame samples) override {
        unsigned sum = 0;
        for (auto s : samples) sum += s;
        benchmark::DoNotOptimize(sum);
    }
};

class tSinkFactory : public tSoundDeviceFactory {
public:
    std::unique_ptr<tSoundOutputDevice> CreateDevice(std::uint8_t mode) override {
        if (mode == kSoundOutputWave) return std::make_unique<tSinkDevice>();
        return nullptr;
    }
};

// Runs whole frames; `rewrite` writes a new count into the channel in every
// slice (new sound parameters every slice: the floating-point path).
void RunFrames(benchmark::State& state, bool rewrite) {
    const std::uint64_t setup = gAllocations.load();
    tTimer_i8254_SoundChannel ch(std::make_unique<tSinkFactory>());
    // Making the channel and its devices allocates: the counter must see it.
    if (gAllocations.load() == setup) {
        state.SkipWithError("the allocation counter does not count");
        return;
    }
    ch.Reset();
    ch.SetCpuClock(kCpuClock);
    ch.SetGate(1);
    ch.SetOutputEnable(1);
    ch.SetOutputMode(kSoundOutputWave);
    std::uint64_t now = 0;
    ch.WriteControl(0x36, now);
    ch.WriteCount(4535 & 0xFF, now);
    ch.WriteCount(4535 >> 8, now);
    for (int s = 99; s >= 0; --s) ch.Advance(s, now += 500);  // warm: has data

    std::uint16_t count = 1000;
    const std::uint64_t before = gAllocations.load();
    for (auto _ : state) {
        for (int s = 99; s >= 0; --s) {
            now += 500;
            if (rewrite) {
                count = static_cast<std::uint16_t>(count == 1000 ? 1001 : 1000);
                ch.WriteCount(static_cast<std::uint8_t>(count & 0xFF), now);
                ch.WriteCount(static_cast<std::uint8_t>(count >> 8), now);
            }
            ch.Advance(s, now);
        }
    }
    const std::uint64_t allocations = gAllocations.load() - before;
    state.counters["allocs/frame"] =
        benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
    if (allocations != 0) state.SkipWithError("the per-frame sound work allocated memory");
    state.SetItemsProcessed(state.iterations() * tTimer_i8254_SoundChannel::kFrameSamples);
}

void BM_SoundFrame_SteadyTone(benchmark::State& state) { RunFrames(state, false); }
void BM_SoundFrame_NewCountEverySlice(benchmark::State& state) { RunFrames(state, true); }

BENCHMARK(BM_SoundFrame_SteadyTone);
BENCHMARK(BM_SoundFrame_NewCountEverySlice);

}  // namespace
}  // namespace velgard
