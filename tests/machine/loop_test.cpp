// The emulation loop's pacing, frame skipping, FPS figure, pause and resume,
// with an injected counter so that nothing waits for real time.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "MachineTestSupport.h"
#include "devices/PIC_I8259A.h"
#include "disk/FDC_WD279X.h"
#include "graphics/BMMCanvas2D.h"

namespace velgard {
namespace {

using test::TestMachine;

// A canvas that only counts the calls the loop makes on it.
class CountingCanvas : public TBMMCanvas2D {
public:
    CountingCanvas() : TBMMCanvas2D(TBMMCanvasKind::Bitmap) {}
    bool BeginFrame() override {
        ++begins;
        return true;
    }
    bool DrawBitmap(const tBMMDrawableBitmap&) override {
        ++draws;
        return true;
    }
    void EndFrame() override { ++ends; }
    int begins = 0, draws = 0, ends = 0;

protected:
    tBMMImage32* Surface() override { return nullptr; }
    bool CreateSurface() override { return true; }
    void ReleaseSurface() override {}
};

// A fake counter: every reading moves it on by `step`.
struct FakeClock {
    std::uint64_t now = 0;
    std::uint64_t step = 1;
    std::uint64_t reads = 0;
    std::uint64_t Read() {
        ++reads;
        now += step;
        return now;
    }
};

void RunSynced(TestMachine& t, std::uint64_t frames, TBMMCanvas2D* canvas = nullptr) {
    t.frames = 0;
    t.stopAt = frames;
    t.machine->SetSync(true);
    t.machine->Run(canvas, test::kTestRom, false);
}

TEST(LoopTest, WithoutSyncNoFrameIsSkippedAndOnlyChangedFramesAreDrawn) {
    TestMachine t(programs::slices, programs::slices_size);
    FakeClock clock;
    clock.step = 1'000'000;  // a very slow host: one second per reading
    t.host.SetCounter([&] { return clock.Read(); }, 1'000'000);
    CountingCanvas canvas;
    t.frames = 0;
    t.stopAt = 40;
    t.machine->SetSync(false);
    t.machine->Run(&canvas, test::kTestRom, false);
    EXPECT_EQ(t.machine->FramesSkipped(), 0u);
    EXPECT_EQ(t.machine->FramesCompleted(), 40u);
    // Only the first frame had something new (the reset screen).
    EXPECT_EQ(canvas.begins, 1);
    EXPECT_EQ(canvas.draws, 1);
    EXPECT_EQ(canvas.ends, 1);
    EXPECT_FALSE(t.machine->IsFrameDirty());
    // Without sync the counter is read once at the start and once a frame.
    EXPECT_EQ(clock.reads, 1u + 40u);
}

TEST(LoopTest, ALateHostSkipsAtMostFiveFramesInARow) {
    TestMachine t(programs::slices, programs::slices_size);
    FakeClock clock;
    const std::uint64_t frequency = 1'000'000;
    clock.step = frequency;  // every reading is a second later: always late
    t.host.SetCounter([&] { return clock.Read(); }, frequency);
    std::vector<std::int32_t> inARow;
    t.onFrame = [&](std::uint64_t) { inARow.push_back(t.machine->SkippedInARow()); };
    RunSynced(t, 60);
    ASSERT_EQ(inARow.size(), 60u);
    for (std::size_t i = 0; i < inARow.size(); ++i) {
        EXPECT_EQ(inARow[i], static_cast<std::int32_t>((i + 1) % 6)) << "frame " << i + 1;
    }
    EXPECT_EQ(t.machine->FramesSkipped(), 50u);
    // The factor fell by 0.02 per late frame and stops at 0.1.
    EXPECT_DOUBLE_EQ(t.machine->Factor(), 0.1);
    EXPECT_EQ(t.machine->SlicePeriod(), static_cast<std::uint64_t>(std::llround(frequency * 0.1 / 5000)));
}

TEST(LoopTest, AnOnTimeHostKeepsRealTimeAndPublishesFifty) {
    TestMachine t(programs::slices, programs::slices_size);
    FakeClock clock;
    const std::uint64_t frequency = 50'000;  // a frame is 1000 counts
    t.host.SetCounter([&] { return clock.Read(); }, frequency);
    std::vector<std::uint64_t> frameTimes;
    std::vector<std::int32_t> fps;
    t.onFrame = [&](std::uint64_t) {
        frameTimes.push_back(clock.now);
        fps.push_back(t.machine->FPS());
    };
    RunSynced(t, 120);
    EXPECT_EQ(t.machine->FramesSkipped(), 0u);
    EXPECT_DOUBLE_EQ(t.machine->Factor(), 0.9);
    EXPECT_EQ(t.machine->SlicePeriod(), 9u);
    // Frames follow each other at the frame period (re-anchored every 50).
    for (std::size_t i = 1; i < frameTimes.size(); ++i) {
        const auto gap = frameTimes[i] - frameTimes[i - 1];
        EXPECT_GE(gap, 995u) << i;
        EXPECT_LE(gap, 1010u) << i;
    }
    // The first figure appears after a second of frames.
    EXPECT_EQ(fps[10], 0);
    EXPECT_EQ(fps[60], 50);
    EXPECT_EQ(fps[119], 50);
}

TEST(LoopTest, FpsFigureIsRoundedWithFiftyForNearlyFifty) {
    TestMachine t(programs::slices, programs::slices_size);
    const double F = 1'000'000;
    auto& m = *t.machine;
    const std::uint64_t t50 = 1'000'000 + std::llround(F * (50.0 / 49.6 - 1.0));
    const std::uint64_t w2 = t50 + 1'000'000;
    const std::uint64_t w3 = w2 + 1'000'000;
    const std::uint64_t t151 = w3 + std::llround(F * (50.0 / 48.6 - 1.0));
    t.host.SetCounter(
        [&]() -> std::uint64_t {
            const std::uint64_t k = m.FramesCompleted();
            if (k < 50) return k;
            if (k == 50) return t50;
            if (k < 101) return t50 + (k - 50);
            if (k == 101) return w2;  // 51 frames in exactly one second
            if (k < 151) return w2 + (k - 101);
            if (k == 151) return t151;
            return t151 + (k - 151);
        },
        1'000'000);
    std::vector<std::int32_t> fps{0};
    t.onFrame = [&](std::uint64_t) { fps.push_back(m.FPS()); };
    t.RunFrames(153);
    // The pump runs before the figure of its frame is published.
    EXPECT_EQ(fps[50], 0);
    EXPECT_EQ(fps[51], 50) << "49.6";
    EXPECT_EQ(fps[102], 51) << "51.0";
    EXPECT_EQ(fps[152], 49) << "48.6";
}

TEST(LoopTest, PauseAndResumeRestartTheDeadlines) {
    TestMachine t(programs::slices, programs::slices_size);
    FakeClock clock;
    t.host.SetCounter([&] { return clock.Read(); }, 50'000);
    auto& m = *t.machine;
    std::vector<std::string> states;
    m.SetOnStateChange([&](tComputer_I8080_Korvet& machine) {
        states.push_back(!machine.Running() ? "stopped" : machine.Paused() ? "paused" : "running");
    });
    std::uint64_t pausedPumps = 0;
    std::uint64_t skippedAtResume = 0;
    std::uint64_t timeAt10 = 0, timeAt30 = 0;
    t.host.SetPump([&] {
        if (m.Paused()) {
            // A long pause: 200 seconds go by, then the user resumes.
            if (++pausedPumps == 3) {
                clock.now += 10'000'000;
                skippedAtResume = m.FramesSkipped();
                m.Resume();
                m.Resume();  // only once
            }
            return;
        }
        ++t.frames;
        if (t.frames == 5) {
            m.Pause();
            m.Pause();  // only once
            m.Run(nullptr, 0, false);  // running already: returns at once
        }
        if (t.frames == 10) timeAt10 = clock.now;
        if (t.frames == 30) {
            timeAt30 = clock.now;
            m.Stop();
        }
    });
    m.Pause();  // not running: nothing happens
    RunSynced(t, 0);
    EXPECT_EQ(pausedPumps, 3u);
    EXPECT_EQ(states, (std::vector<std::string>{"running", "paused", "running", "stopped"}));
    // No catching up: after the first frame at most one frame is late, and
    // the frames take real time again.
    EXPECT_LE(m.FramesSkipped() - skippedAtResume, 1u);
    EXPECT_GE(timeAt30 - timeAt10, 20u * 1000u - 10u);
    EXPECT_LE(timeAt30 - timeAt10, 20u * 1000u + 1000u);
    EXPECT_FALSE(m.Running());
    EXPECT_FALSE(m.Paused());
}

TEST(LoopTest, SwitchingSyncOffAndOnTakesEffectAtTheNextFrame) {
    TestMachine t(programs::slices, programs::slices_size);
    FakeClock clock;
    t.host.SetCounter([&] { return clock.Read(); }, 50'000);
    auto& m = *t.machine;
    std::vector<std::uint64_t> readsAt;
    std::vector<std::int32_t> fps;
    t.onFrame = [&](std::uint64_t frame) {
        readsAt.push_back(clock.reads);
        fps.push_back(m.FPS());
        if (frame == 10) m.SetSync(false);
        if (frame == 20) m.SetSync(true);
    };
    RunSynced(t, 40);
    // Synced frames read the counter in every slice; unsynced ones once
    // (for the FPS figure), and they never wait.
    EXPECT_GT(readsAt[5] - readsAt[4], 100u);
    for (int f = 12; f < 19; ++f) EXPECT_EQ(readsAt[f] - readsAt[f - 1], 1u) << f;
    EXPECT_GT(readsAt[30] - readsAt[29], 100u);
    // The switch publishes a figure at once and opens a fresh window.
    EXPECT_EQ(fps[9], 0);
    EXPECT_GT(fps[10], 0);
    // Switching back on restarts the frame deadline: nothing is late.
    EXPECT_EQ(m.FramesSkipped(), 0u);
}

TEST(LoopTest, AnErrorEndsTheRunStopped) {
    TestMachine t(programs::slices, programs::slices_size);
    int changes = 0;
    t.machine->SetOnStateChange([&](tComputer_I8080_Korvet&) { ++changes; });
    t.onFrame = [&](std::uint64_t frame) {
        if (frame == 3) {
            t.machine->Pause();
            throw std::runtime_error("window failure");
        }
    };
    t.machine->SetSync(false);
    EXPECT_THROW(t.machine->Run(nullptr, test::kTestRom, false), std::runtime_error);
    EXPECT_FALSE(t.machine->Running());
    EXPECT_FALSE(t.machine->Paused());
    EXPECT_EQ(changes, 3) << "start, pause, end of run";
    // The machine can be started again.
    t.onFrame = nullptr;
    t.RunFrames(2);
    EXPECT_EQ(t.machine->FramesCompleted(), 2u);
}

TEST(LoopTest, SliceEndsPassTheFloppyRequestToLineSeven) {
    // The program runs with interrupts off, so requests stay in IRR.
    TestMachine t(programs::slices, programs::slices_size);
    auto& mem = t.Memory();
    std::vector<std::uint8_t> irr;
    std::vector<bool> fdcRequest;
    t.onFrame = [&](std::uint64_t frame) {
        irr.push_back(mem.Pic().Irr());
        fdcRequest.push_back(mem.Fdc().InterruptRequest());
        if (frame == 2) {
            mem.WriteByte(0x3B18, 0xD8);  // Force Interrupt, immediate
            irr.push_back(mem.Pic().Irr());
            fdcRequest.push_back(mem.Fdc().InterruptRequest());
        }
    };
    t.RunFrames(4);
    ASSERT_EQ(irr.size(), 5u);
    // Line 4 comes after the first frame was handled, not before.
    EXPECT_EQ(irr[0], 0x00);
    EXPECT_EQ(irr[1], 0x10);
    EXPECT_EQ(irr[2], 0x10) << "the controller's request waits for a slice end";
    EXPECT_TRUE(fdcRequest[2]);
    EXPECT_EQ(irr[3], 0x90);
    EXPECT_FALSE(fdcRequest[3]) << "taken from the controller";
}

// The steady clock, counting how often the loop reads it.
class CountingRealTimeHost : public HeadlessHost {
public:
    std::uint64_t ReadCounter() override {
        ++reads;
        return HeadlessHost::ReadCounter();
    }
    std::uint64_t reads = 0;
};

TEST(LoopTest, AtRealTimeTheLoopSleepsInsteadOfPolling) {
    CountingRealTimeHost host;
    EXPECT_TRUE(host.CounterIsRealTime());
    tComputer_I8080_Korvet m(host);
    m.Roms().ReplaceRom(test::kTestRom, test::RomWith(programs::slices, programs::slices_size));
    constexpr std::uint64_t kFrames = 10;
    std::uint64_t frames = 0;
    host.SetPump([&] {
        if (++frames >= kFrames) m.Stop();
    });
    m.SetSync(true);
    m.Run(nullptr, test::kTestRom, false);
    EXPECT_EQ(m.FramesCompleted(), kFrames);
    // Polling through 20 ms a frame reads the clock hundreds of thousands
    // of times; sleeping through the waits leaves a few reads per slice and
    // the polled tails of the sleeps.
    EXPECT_LT(host.reads, kFrames * 30'000) << "the loop polled instead of sleeping";

    // An injected counter is not real time: the loop only polls it.
    HeadlessHost simulated;
    simulated.SetCounter([] { return std::uint64_t{0}; }, 1000);
    EXPECT_FALSE(simulated.CounterIsRealTime());
}

TEST(LoopTest, ProcessorKindSelectsTheCoreAndKeepsTheBus) {
    HeadlessHost host;
    tComputer_I8080_Korvet m(host);
    EXPECT_EQ(m.CpuKind(), kCpuI8080);
    m.SetCpuKind(kCpuZ80);
    EXPECT_EQ(m.CpuKind(), kCpuZ80);
    EXPECT_EQ(m.Cpu().Owner, &m);
    EXPECT_EQ(m.Cpu().Entries, &m.Entries());
    m.SetCpuKind(7);
    EXPECT_EQ(m.CpuKind(), kCpuI8080);
    // The bus callbacks reach the memory map.
    m.GetMemory().SetConfiguration(3 << 2);
    m.Entries().WriteMemory(&m.Cpu(), 0x8000, 0x5A);
    EXPECT_EQ(m.Entries().ReadMemory(&m.Cpu(), 0x8000), 0x5A);
    EXPECT_EQ(m.Entries().FetchByte(&m.Cpu(), 0x8000), 0x5A);
    m.Entries().WritePort(&m.Cpu(), 0x80, 1);
    EXPECT_EQ(m.Entries().ReadPort(&m.Cpu(), 0x80), 0);
    std::uint16_t address = 0;
    EXPECT_FALSE(m.Entries().InterruptAck(&m.Cpu(), &address));
    m.GetMemory().Pic().SetRequest(4, true);
    EXPECT_TRUE(m.Entries().InterruptAck(&m.Cpu(), &address));
    EXPECT_EQ(address, 0x0020);
}

}  // namespace
}  // namespace velgard
