// Headless runs of velgard-cli: screenshots of the firmware and the demo
// disk against the golden pictures, and users' own ROM dumps.
#include <gtest/gtest.h>

#include <png.h>

#include <string>

#include "machine/RomImages.h"
#include "firmware/support/FirmwareRun.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

test::CliResult RunHeadless(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"run", "--no-sync"};
    all.insert(all.end(), args.begin(), args.end());
    return test::RunCli(all);
}

TEST(Screens, BannerOfEveryRomSetOnBothProcessorsMatchesItsGoldenPicture) {
    test::TempDir dir;
    for (int rom = 0; rom < 3; ++rom) {
        for (const char* cpu : {"8080", "z80"}) {
            const auto png = dir / ("banner" + std::to_string(rom) + cpu + ".png");
            // An empty roms/ folder keeps users' dumps out of the picture.
            // At frame 125 the blinking cursor is in a shown phase.
            const auto r = RunHeadless({"--rom", std::to_string(rom), "--cpu", cpu, "--frames", "125", "--roms-dir",
                                dir.Path().string(), "--screenshot", png.string()});
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(test::CompareWithGolden(png, "banner_rom" + std::to_string(rom)), "") << cpu;
        }
    }
}

TEST(Screens, TypedMonitorSessionMatchesItsGoldenPicture) {
    test::TempDir dir;
    for (const char* cpu : {"8080", "z80"}) {
        // Frame 725 falls into a shown phase of the blinking cursor.
        const auto png = dir / (std::string("session") + cpu + ".png");
        const auto r = RunHeadless({"--rom", "2", "--cpu", cpu, "--frames", "725", "--roms-dir", dir.Path().string(), "--type",
                            "M 7000 56 65 6C 67\rD 7000 700F\rQ\rD 7G\rH\r", "--screenshot", png.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(test::CompareWithGolden(png, "monitor_session"), "") << cpu;
    }
}

// Typed Cyrillic and Latin letters: the typist selects the alphabet with
// ГРФ and АЛФ before the letters that need it.
TEST(Screens, TypedCyrillicAndLatinTextMatchesItsGoldenPicture) {
    test::TempDir dir;
    const auto png = dir / "alphabets.png";  // frame 275: the cursor is shown
    const auto r = RunHeadless({"--rom", "2", "--frames", "275", "--roms-dir", dir.Path().string(), "--type",
                                "привет Hello МИР\r", "--screenshot", png.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::CompareWithGolden(png, "typed_alphabets"), "");
}

TEST(Screens, DemoDiskFirstScreenMatchesItsGoldenPicture) {
    test::TempDir dir;
    for (const char* cpu : {"8080", "z80"}) {
        const auto png = dir / (std::string("demo") + cpu + ".png");
        const auto r = RunHeadless({"--cpu", cpu, "--frames", "150", "--roms-dir", dir.Path().string(), "--drive",
                            std::string("A=") + VELGARD_DEMO_DISK, "--screenshot", png.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(test::CompareWithGolden(png, "demo_first_screen"), "") << cpu;
    }
}

struct Rgb {
    unsigned width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};

Rgb ReadRgb(const std::filesystem::path& path) {
    Rgb p;
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return p;
    img.format = PNG_FORMAT_RGB;
    p.pixels.resize(PNG_IMAGE_SIZE(img));
    if (png_image_finish_read(&img, nullptr, p.pixels.data(), 0, nullptr)) {
        p.width = img.width;
        p.height = img.height;
    }
    png_image_free(&img);
    return p;
}

// The cursor blinks from the frame interrupt: shown for half a second,
// hidden for half a second. Two screenshots half a second apart differ,
// and only inside the cursor's cell (8 x 16 pixels in 64 columns, 16 x 16
// in 32 columns, where only every other cell is shown).
TEST(Screens, BlinkingCursorIsTheOnlyDifferenceHalfASecondApart) {
    struct Case {
        std::vector<std::string> args;
        unsigned left, top, width;  // the cursor cell in the picture
    } cases[] = {
        // The monitor's set, "Контур 2.0".
        {{"--rom", "2", "--frames", "100"}, 8, 32, 8},  // after the prompt
        {{"--rom", "2", "--cpu", "z80", "--type", "M 7000", "--frames", "150"}, 56, 32, 8},
        // 32 columns through the entry at 006Fh, then "AB" typed.
        {{"--rom", "2", "--type", "M 7100 3E 1 CD 6F 0 C9\rG 7100\rAB", "--frames", "450"}, 48, 0, 16},
    };
    test::TempDir dir;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(n));
        std::vector<Rgb> shots;
        for (int later = 0; later < 2; ++later) {
            const auto png = dir / ("cursor" + std::to_string(n) + "_" + std::to_string(later) + ".png");
            auto args = c.args;
            if (later) args[args.size() - 1] = std::to_string(std::stoi(args.back()) + 25);
            args.insert(args.end(), {"--roms-dir", dir.Path().string(), "--screenshot", png.string()});
            const auto r = RunHeadless(args);
            ASSERT_EQ(r.status, 0) << r.err;
            shots.push_back(ReadRgb(png));
            ASSERT_EQ(shots.back().width, 512u);
        }
        std::size_t inside = 0, outside = 0;
        for (unsigned y = 0; y < 256; ++y) {
            for (unsigned x = 0; x < 512; ++x) {
                const std::size_t i = (y * 512 + x) * 3;
                if (std::equal(&shots[0].pixels[i], &shots[0].pixels[i + 3], &shots[1].pixels[i])) continue;
                const bool inCell = x >= c.left && x < c.left + c.width && y >= c.top && y < c.top + 16;
                ++(inCell ? inside : outside);
            }
        }
        EXPECT_EQ(outside, 0u);
        EXPECT_EQ(inside, c.width * 16) << "the whole cell changes";
        ++n;
    }
}

// A user's 8 KB "Контур 2.0" dump in roms/: a tiny program that fills the
// character memory with the full block, so the whole screen turns white.
TEST(Screens, RomsFolderDumpOfRightLengthIsUsedWrongLengthIsIgnored) {
    const std::vector<std::uint8_t> program = {
        0xF3,              // DI
        0x21, 0x00, 0x3C,  // LXI H,3C00h
        0x36, 0x8D,        // loop: MVI M,8Dh (the full block)
        0x23,              // INX H
        0x7C,              // MOV A,H
        0xFE, 0x40,        // CPI 40h
        0xC2, 0x04, 0x00,  // JNZ loop
        0xC3, 0x0D, 0x00,  // JMP $
    };
    std::vector<std::uint8_t> rom(8192, 0xFF);
    std::copy(program.begin(), program.end(), rom.begin());

    test::TempDir dir;
    test::WriteBinary(dir / "kontur20.rom", rom);
    const auto white = dir / "white.png";
    auto r = RunHeadless({"--rom", "2", "--frames", "20", "--roms-dir", dir.Path().string(), "--screenshot", white.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&img, white.c_str()));
    img.format = PNG_FORMAT_GRAY;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(img));
    ASSERT_TRUE(png_image_finish_read(&img, nullptr, pixels.data(), 0, nullptr));
    png_image_free(&img);
    std::size_t dark = 0;
    for (auto p : pixels) dark += p < 250;
    EXPECT_EQ(dark, 0u) << "the user's ROM did not run";

    // One byte more: ignored with a warning; the built-in firmware starts.
    rom.push_back(0);
    test::WriteBinary(dir / "kontur20.rom", rom);
    const auto banner = dir / "banner.png";
    r = RunHeadless({"--rom", "2", "--frames", "125", "--roms-dir", dir.Path().string(), "--screenshot", banner.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("kontur20.rom: wrong length 8193 bytes (8192 expected)"), std::string::npos) << r.err;
    EXPECT_EQ(test::CompareWithGolden(banner, "banner_rom2"), "");
}

}  // namespace
}  // namespace velgard
