// A running machine allocates nothing from frame to frame.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "MachineTestSupport.h"
#include "devices/SoundChannel.h"
#include "graphics/BMMCanvas2D.h"

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
// Called through a pointer so that the compiler does not pair the inlined
// replacement functions with the library's own.
void (*volatile gFree)(void*) = std::free;
}  // namespace

// Counts every allocation of this test program while counting is on.
void* operator new(std::size_t size) {
    if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { gFree(p); }
void operator delete(void* p, std::size_t) noexcept { gFree(p); }

namespace velgard {
namespace {

// A canvas that takes the frames and does nothing with them: the test
// measures the machine's own work (how a canvas scales a frame is the
// graphics library's affair).
class SinkCanvas : public TBMMCanvas2D {
public:
    SinkCanvas() : TBMMCanvas2D(TBMMCanvasKind::Bitmap) {}
    bool BeginFrame() override { return true; }
    bool DrawBitmap(const tBMMDrawableBitmap&) override {
        ++frames;
        return true;
    }
    void EndFrame() override {}
    int frames = 0;

protected:
    tBMMImage32* Surface() override { return nullptr; }
    bool CreateSurface() override { return true; }
    void ReleaseSurface() override {}
};

TEST(AllocationTest, FramesWithTextGraphicsAndInterruptsAllocateNothing) {
    struct Program {
        const std::uint8_t* code;
        std::size_t size;
    };
    for (const Program& p : {Program{programs::busy, programs::busy_size}, Program{programs::irq, programs::irq_size},
                              Program{programs::tones, programs::tones_size}}) {
        test::TestMachine t(p.code, p.size);
        SinkCanvas canvas;
        // The sound channel renders every frame; with the tone program its
        // output is switched on for part of the time.
        int soundingFrames = 0;
        t.onFrame = [&](std::uint64_t frame) {
            if (frame == 2) gCounting = true;
            if (frame == 40) gCounting = false;
            const tTimer_i8254_SoundChannel* sound = t.Memory().Sound();
            if (sound && sound->HasData() && sound->OutputEnable()) ++soundingFrames;
        };
        gAllocations = 0;
        t.RunFrames(41, false, &canvas);
        gCounting = false;
        EXPECT_EQ(gAllocations.load(), 0);
        EXPECT_GE(canvas.frames, 1);
        EXPECT_EQ(static_cast<std::uint64_t>(canvas.frames), t.machine->FramesDrawn());
        if (p.code == programs::tones) {
            EXPECT_GE(soundingFrames, 10);
        }
    }
    // The off-screen canvas that the headless tool draws into: stretching
    // a frame of an unchanged size allocates nothing either.
    {
        test::TestMachine t(programs::busy, programs::busy_size);
        TBMMFixedControl panel(1024, 512);
        TBMMBMPCanvas2D canvas;
        ASSERT_TRUE(canvas.Attach(&panel));
        t.onFrame = [&](std::uint64_t frame) {
            if (frame == 2) gCounting = true;
            if (frame == 40) gCounting = false;
        };
        gAllocations = 0;
        t.RunFrames(41, false, &canvas);
        gCounting = false;
        EXPECT_EQ(gAllocations.load(), 0);
        EXPECT_EQ(canvas.Image().Width(), 1024);
    }
    // The counter itself works.
    gCounting = true;
    auto probe = std::make_unique<int>(1);
    gCounting = false;
    EXPECT_EQ(gAllocations.load(), 1);
}

}  // namespace
}  // namespace velgard
