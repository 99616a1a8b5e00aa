// The built-in BASIC's colour graphics against golden screenshots taken
// with velgard-cli, and SOUND recorded as a WAV file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "basic/support/BasicRun.h"
#include "basic/support/Golden.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

// Types the program lines (entering them is quick, so no key is lost) and
// RUN, and takes the screenshot at the end.
test::CliResult RunAndShoot(const std::string& cpu, const std::string& program, const std::filesystem::path& png,
                            int frames) {
    return test::RunCli({"run", "--no-sync", "--rom", "1", "--cpu", cpu, "--frames", std::to_string(frames),
                         "--roms-dir", png.parent_path().string(), "--type", "NEW\r" + program + "RUN\r",
                         "--screenshot", png.string()});
}

TEST(BasicScreen, GraphicsInAllColoursMatchTheGoldenPicture) {
    // Every colour: points, lines, boxes, filled boxes and circles, over
    // text in another colour; then a filled box read back with POINT.
    const std::string program =
        "10 CLS:COLOR 14\r"
        "20 FOR C=0 TO 7:X=C*60+8\r"
        "30 LINE (X,40)-(X+50,90),C,BF:LINE (X,100)-(X+50,150),C+1,B\r"
        "40 LINE (X,160)-(X+50,200),7-C:CIRCLE (X+25,225),20,C\r"
        "50 PSET (X+25,125),7-C:NEXT\r"
        "60 PRINT \"COLOURS\";POINT(30,60);POINT(90,60);POINT(440,60);POINT(600,0)\r";
    test::TempDir dir;
    for (const char* cpu : {"8080", "z80"}) {
        const auto png = dir / (std::string("colours") + cpu + ".png");
        const auto r = RunAndShoot(cpu, program, png, 4000);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(test::CompareWithBasicGolden(png, "graphics_colours"), "") << cpu;
    }
}

TEST(BasicScreen, ThirtyTwoColumnsPaletteAndLocate) {
    const std::string program =
        "10 SCREEN 1:COLOR 10,1\r"
        "20 PALETTE 2,12:LINE (0,0)-(511,255),2,B\r"
        "30 LOCATE 8,5:PRINT \"32 COLUMNS\"\r"
        "40 LOCATE 9,5:PRINT POS(0)\r";
    test::TempDir dir;
    const auto png = dir / "wide.png";
    const auto r = RunAndShoot("8080", program, png, 2500);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::CompareWithBasicGolden(png, "graphics_32_columns"), "");
}

// The main frequency of a WAV recording (22,050 Hz, 8 bits, the speaker
// on = 127, off = 0) from its rising edges.
double Frequency(const std::filesystem::path& wav) {
    std::ifstream in(wav, std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
    if (data.size() < 44) return 0;
    int crossings = 0;
    std::size_t first = 0, last = 0;
    for (std::size_t i = 45; i < data.size(); ++i) {
        if (data[i - 1] < 192 && data[i] >= 192) {
            if (!crossings) first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * 22050.0 / static_cast<double>(last - first);
}

TEST(BasicScreen, SoundPlaysItsFrequency) {
    for (bool z80 : {false, true}) {
        test::TempDir dir;
        test::BasicRun run;
        run.z80 = z80;
        run.wav = (dir / "tone.wav").string();
        run.typed = "SOUND 440,18\r";
        const auto r = run.Run();
        ASSERT_TRUE(r.Has("Ok")) << r.Screen();
        EXPECT_NEAR(Frequency(dir / "tone.wav"), 440.0, 3.0) << (z80 ? "Z80" : "8080");
    }
}

}  // namespace
}  // namespace velgard
