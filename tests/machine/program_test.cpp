// The machine running our own 8080 test programs: interrupts, timer,
// retrace, slices, and text and graphics on the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "MachineTestSupport.h"
#include "graphics/BMMBitmap.h"
#include "graphics/BMMCanvas2D.h"

namespace velgard {
namespace {

using test::TestMachine;

TEST(ProgramTest, DisplayAndTimerInterruptsThroughTheController) {
    TestMachine t(programs::irq, programs::irq_size);
    constexpr int kFrames = 30;
    t.RunFrames(kFrames);
    EXPECT_FALSE(t.machine->Running());
    // Line 4 is raised at every frame end; the last one is raised as the
    // run stops, so the program has taken one fewer.
    EXPECT_EQ(t.RamWord(0x4000), kFrames - 1);
    // Channel 2 divides its 2 MHz clock by 10000: four interrupts a frame.
    // The first update raises OUT from its reset level 0, which counts too.
    // The program starts the channel within its first 1000 cycles.
    const int ticks = t.RamWord(0x4002);
    const auto cycles = static_cast<int>(t.machine->Cpu().TotalCycles);
    EXPECT_GE(ticks, (cycles - 1000) / 12500);
    EXPECT_LE(ticks, cycles / 12500 + 1);
    EXPECT_GE(ticks, 4 * kFrames - 4);
    // Every display interrupt found the retrace flag up, and between two of
    // them channel 1 (2 MHz, period 60000) counted one frame of 100 slices of at least 500
    // cycles each (2.5 MHz): 40000 counts plus the slices' small overruns.
    const int samples = t.RamWord(0x4004);
    ASSERT_EQ(samples, kFrames - 1);
    auto ram = t.Memory().Ram();
    for (int i = 0; i < samples; ++i) {
        EXPECT_EQ(ram[0x4010 + i * 4 + 2], 0xF6) << "status at display interrupt " << i;
    }
    for (int i = 1; i < samples; ++i) {
        const int a = ram[0x4010 + (i - 1) * 4] | (ram[0x4011 + (i - 1) * 4] << 8);
        const int b = ram[0x4010 + i * 4] | (ram[0x4011 + i * 4] << 8);
        const int counted = (a - b + 60000) % 60000;
        EXPECT_GE(counted, 40000 - 20) << i;
        EXPECT_LE(counted, 40000 + 100 * 17) << i;
    }
    EXPECT_EQ(t.machine->SliceCount(), static_cast<std::uint64_t>(kFrames) * 100);
}

TEST(ProgramTest, RetraceFlagCoversTheFirstSixteenSlicesOfEveryFrame) {
    TestMachine t(programs::retrace, programs::retrace_size);
    t.RunFrames(30);
    auto ram = t.Memory().Ram();
    // Runs of equal samples, one sample per 47 cycles.
    std::vector<std::pair<bool, int>> runs;
    for (int a = 0x4000; a < 0xB000; ++a) {
        ASSERT_TRUE(ram[a] == 0xF4 || ram[a] == 0xF6) << std::hex << a << ": " << int(ram[a]);
        const bool on = ram[a] == 0xF6;
        if (runs.empty() || runs.back().first != on) {
            runs.emplace_back(on, 1);
        } else {
            ++runs.back().second;
        }
    }
    ASSERT_GE(runs.size(), 40u);
    EXPECT_TRUE(runs.front().first) << "the flag is up from the start";
    // Each slice lasts 500 cycles plus less than one instruction (13 at most here).
    for (std::size_t i = 0; i + 1 < runs.size(); ++i) {
        const int cycles = runs[i].second * 47;
        if (runs[i].first) {
            EXPECT_GE(cycles, 16 * 500 - 47) << "retrace run " << i;
            EXPECT_LE(cycles, 16 * 512 + 47) << "retrace run " << i;
        } else {
            EXPECT_GE(cycles, 84 * 500 - 47) << "display run " << i;
            EXPECT_LE(cycles, 84 * 512 + 47) << "display run " << i;
        }
    }
}

TEST(ProgramTest, SlicesEndWhenTheirCyclesAreSpentAndDropTheExcess) {
    TestMachine t(programs::slices, programs::slices_size);
    std::vector<std::uint64_t> atFrameEnd;
    t.onFrame = [&](std::uint64_t) { atFrameEnd.push_back(t.machine->Cpu().TotalCycles); };
    t.RunFrames(12);
    // Replay the rule on the program's instruction stream: DI, then MVI (7)
    // and JMP (10) for ever. A step that uses up exactly the remaining
    // cycles ends the slice; what goes beyond the slice is not carried.
    std::vector<std::uint64_t> expected;
    std::uint64_t total = 0;
    int remaining = 500, slices = 0;
    bool first = true, mvi = true;
    while (expected.size() < atFrameEnd.size()) {
        int c;
        if (first) {
            c = 4;
            first = false;
        } else {
            c = mvi ? 7 : 10;
            mvi = !mvi;
        }
        total += c;
        if (c < remaining) {
            remaining -= c;
            continue;
        }
        remaining = 500;
        if (++slices % 100 == 0) expected.push_back(total);
    }
    ASSERT_EQ(atFrameEnd.size(), 12u);
    EXPECT_EQ(atFrameEnd, expected);
}

// The picture the screen program leaves, modelled pixel by pixel.
struct ScreenModel {
    std::array<std::array<std::uint8_t, 512 * 256>, 4> page{};
    void Set(int p, int x, int y, std::uint8_t planes) {
        auto& px = page[p][y * 512 + x];
        px = static_cast<std::uint8_t>((px & 8) | planes);
    }
    void Text(const std::vector<std::uint8_t>& font, int p, int row, int column, std::uint8_t code, bool inverse) {
        for (int j = 0; j < 16; ++j) {
            std::uint8_t g = font[code * 16 + j];
            if (inverse) g = static_cast<std::uint8_t>(~g);
            for (int k = 0; k < 8; ++k) {
                auto& px = page[p][(row * 16 + j) * 512 + column * 8 + k];
                px = static_cast<std::uint8_t>((px & 7) | (((g >> (7 - k)) & 1) << 3));
            }
        }
    }
};

void ExpectPage(const tBMMGDI4Bitmap& bitmap, const std::array<std::uint8_t, 512 * 256>& model, const char* what) {
    int wrong = 0;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 512; ++x) {
            if (bitmap.Pixel(x, y) != model[y * 512 + x] && ++wrong <= 5) {
                ADD_FAILURE() << what << ": pixel " << x << "," << y << " is " << int(bitmap.Pixel(x, y))
                              << ", expected " << int(model[y * 512 + x]);
            }
        }
    }
    EXPECT_EQ(wrong, 0) << what;
}

void AddText(ScreenModel& m, const std::vector<std::uint8_t>& font, int p) {
    // Every cell is drawn; the unwritten ones hold code 0 (blank).
    m.Text(font, p, 0, 0, 1, true);
    m.Text(font, p, 0, 1, 2, true);
    m.Text(font, p, 2, 5, 0x41, false);
    m.Text(font, p, 15, 63, 0xFF, false);
}

TEST(ProgramTest, ScreenProgramDrawsTextAndGraphicsOnFourPages) {
    TestMachine t(programs::screen, programs::screen_size);
    TBMMFixedControl control(512, 256);
    TBMMBMPCanvas2D canvas;
    ASSERT_TRUE(canvas.Attach(&control));
    int shownPage0 = 0;
    t.onFrame = [&](std::uint64_t) {
        if (t.Memory().ShownPage() == 0) ++shownPage0;
    };
    t.RunFrames(8, false, &canvas);
    ASSERT_GE(shownPage0, 1) << "page 0 was on the screen for a while";
    const auto font = test::PatternFont();

    ScreenModel m;
    // Page 0: colour 5 at row 10 pixels 24-27, colour 1 at row 20 pixels 0 and 7.
    for (int x = 24; x < 28; ++x) m.Set(0, x, 10, 5);
    m.Set(0, 0, 20, 1);
    m.Set(0, 7, 20, 1);
    // Page 2: colour 7 at row 100 pixels 80-87 (configuration 8), colour 3
    // at row 50 pixels 0-7 (configuration 12).
    for (int x = 80; x < 88; ++x) m.Set(2, x, 100, 7);
    for (int x = 0; x < 8; ++x) m.Set(2, x, 50, 3);
    AddText(m, font, 0);
    AddText(m, font, 2);

    auto& mem = t.Memory();
    EXPECT_EQ(mem.ShownPage(), 2);
    EXPECT_EQ(mem.Configuration(), 12);
    ExpectPage(mem.PageBitmap(0), m.page[0], "page 0");
    ExpectPage(mem.PageBitmap(2), m.page[2], "page 2");
    ExpectPage(mem.PageBitmap(1), m.page[1], "page 1");
    ExpectPage(mem.PageBitmap(3), m.page[3], "page 3");

    // The last frame on the canvas is page 2 in its palette: text red,
    // graphics colour 1 shown as colour 10, colour 7 as itself.
    const tBMMImage32& image = canvas.Image();
    ASSERT_EQ(image.Width(), 512);
    auto rgb = [](int index) {
        const auto& c = tMemory_Korvet64Kb::kColourTable[index];
        return 0xFF000000u | (c[0] << 16) | (c[1] << 8) | c[2];
    };
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 512; ++x) {
            const std::uint8_t v = m.page[2][y * 512 + x];
            const int colour = v & 8 ? 4 : (v == 1 ? 10 : v);
            ASSERT_EQ(image.Pixel(x, y), rgb(colour)) << x << "," << y;
        }
    }
    EXPECT_EQ(mem.PageBitmap(0).PaletteEntry(1), BMMRgbQuad(82, 255, 82));
}

TEST(ProgramTest, ScreenProgramOnASinglePageMachine) {
    TestMachine t(programs::screen, programs::screen_size);
    t.RunFrames(8, true);
    const auto font = test::PatternFont();
    ScreenModel m;
    for (int x = 24; x < 28; ++x) m.Set(0, x, 10, 5);
    m.Set(0, 0, 20, 1);
    m.Set(0, 7, 20, 1);
    for (int x = 80; x < 88; ++x) m.Set(0, x, 100, 7);
    for (int x = 0; x < 8; ++x) m.Set(0, x, 50, 3);
    AddText(m, font, 0);
    auto& mem = t.Memory();
    EXPECT_EQ(mem.ShownPage(), 0);
    ExpectPage(t.machine->GetFrame(), m.page[0], "the only page");
    ExpectPage(mem.PageBitmap(2), m.page[2], "page 2 stays unused");
}

}  // namespace
}  // namespace velgard
