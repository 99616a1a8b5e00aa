// velgard-cli run: argument checking, the emulated speed report and the
// screenshot of the shown page.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>

#include "MachineTestSupport.h"
#include "disk/CPM_Disk.h"
#include "disk/FDC_WD279X.h"
#include "machine/KorvetKeyboard.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

using test::RunCli;

struct Png {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    std::array<std::uint8_t, 3> At(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

bool ReadPng(const std::filesystem::path& path, Png& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) != 0;
}

TEST(RunCliTest, ScreenshotShowsThePageTheProgramLeft) {
    test::TempDir dir;
    const auto rom = dir / "screen.rom";
    test::WriteBinary(rom, test::RomWith(programs::screen, programs::screen_size));
    const auto shot = dir / "shot.png";
    const auto r = RunCli({"run", "--rom", "2", "--rom-file", rom.string(), "--frames", "10", "--no-sync",
                           "--roms-dir", dir.Path().string(), "--screenshot", shot.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("times real time"), std::string::npos) << r.out;
    Png png;
    ASSERT_TRUE(ReadPng(shot, png));
    EXPECT_EQ(png.width, 512);
    EXPECT_EQ(png.height, 256);
    // Page 2 is shown: colour 7 at row 100 pixels 80-87, colour 3 at row 50
    // pixels 0-7, black elsewhere in those rows (no text there).
    using C = std::array<std::uint8_t, 3>;
    for (int x = 80; x < 88; ++x) EXPECT_EQ(png.At(x, 100), (C{173, 170, 173})) << x;
    for (int x = 0; x < 8; ++x) EXPECT_EQ(png.At(x, 50), (C{0, 170, 173})) << x;
    EXPECT_EQ(png.At(88, 100), (C{0, 0, 0}));
    EXPECT_EQ(png.At(8, 50), (C{0, 0, 0}));
    EXPECT_EQ(png.At(24, 10), (C{0, 0, 0})) << "page 0's graphics are not shown";

    // The same program on a single page shows everything on page 0, where
    // colour 1 is shown as colour 10 by the palette.
    const auto r1 = RunCli({"run", "--rom", "2", "--rom-file", rom.string(), "--frames", "10", "--no-sync",
                            "--pages", "1", "--roms-dir", dir.Path().string(), "--screenshot", shot.string()});
    ASSERT_EQ(r1.status, 0) << r1.err;
    ASSERT_TRUE(ReadPng(shot, png));
    EXPECT_EQ(png.At(0, 20), (C{82, 255, 82}));
    EXPECT_EQ(png.At(24, 10), (C{173, 0, 173}));
    EXPECT_EQ(png.At(80, 100), (C{173, 170, 173}));
}

TEST(RunCliTest, TypedTextReachesTheKeyMatrixKeyByKey) {
    test::TempDir dir;
    const auto rom = dir / "keys.rom";
    test::WriteBinary(rom, test::RomWith(programs::keys, programs::keys_size));
    const auto shot = dir / "keys.png";
    const std::string text = "Hi 7.7";
    const auto r = RunCli({"run", "--rom", "2", "--rom-file", rom.string(), "--frames", "120", "--no-sync",
                           "--roms-dir", dir.Path().string(), "--type", text, "--screenshot", shot.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    Png png;
    ASSERT_TRUE(ReadPng(shot, png));
    // One plotted byte per typed character, in order, even for repeated
    // keys: each key was released before the next went down.
    for (std::size_t i = 0; i <= text.size(); ++i) {
        int column = -1;
        if (i < text.size()) {
            const auto key = tKorvetKeyboard::KeyForChar(static_cast<char32_t>(text[i]));
            ASSERT_TRUE(key.has_value()) << text[i];
            ASSERT_LT(key->Row, 7);
            column = key->Column;
        }
        for (int k = 0; k < 8; ++k) {
            const bool lit = png.At(static_cast<int>(i) * 8 + k, 0)[0] != 0;
            EXPECT_EQ(lit, 7 - k == column) << "character " << i << " pixel " << k;
        }
    }
}

TEST(RunCliTest, DrivesTakeImagesBeforePowerOn) {
    test::TempDir dir;
    const auto image = dir / "blank.kdi";
    test::WriteBinary(image, MakeBlankDiskImage());
    // Through the machine: the drive operations reach the controller's drives.
    HeadlessHost host;
    tComputer_I8080_Korvet machine(host);
    EXPECT_FALSE(machine.HasImage(1));
    ASSERT_TRUE(machine.LoadImage(1, image.string()));
    EXPECT_TRUE(machine.HasImage(1));
    EXPECT_FALSE(machine.HasImage(0));
    EXPECT_EQ(machine.FileName(1), machine.GetMemory().Fdc().FileName(1));
    EXPECT_NE(machine.FileName(1).find("blank.kdi"), std::string::npos);
    EXPECT_FALSE(machine.DiskInfo(1).empty());
    machine.SetLatch(1, true);
    EXPECT_TRUE(machine.IsLatchClosed(1));
    EXPECT_TRUE(machine.GetMemory().Fdc().IsReady(1));
    const auto copy = dir / "copy.kdi";
    EXPECT_TRUE(machine.SaveImage(1, copy.string()));
    EXPECT_EQ(test::ReadBinary(copy), test::ReadBinary(image));
    EXPECT_TRUE(machine.EjectImage(1));
    EXPECT_FALSE(machine.HasImage(1));
    // Through the command line, into two drives.
    const auto r = RunCli({"run", "--frames", "5", "--no-sync", "--roms-dir", dir.Path().string(), "--drive",
                           "A=" + image.string(), "--drive", "d=" + copy.string()});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(RunCliTest, BadArgumentsAndFilesExitWithStatusTwo) {
    test::TempDir dir;
    const auto shortRom = dir / "short.rom";
    test::WriteBinary(shortRom, std::vector<std::uint8_t>(100, 0));
    const auto missing = (dir / "missing.bin").string();
    const std::vector<std::vector<std::string>> bad = {
        {"run", "--rom", "3"},
        {"run", "--rom"},
        {"run", "--pages", "2"},
        {"run", "--cpu", "6502"},
        {"run", "--frames", "0"},
        {"run", "--frames", "ten"},
        {"run", "--drive", "E=disk.kdi"},
        {"run", "--drive", "A"},
        {"run", "--drive", "A=" + missing},
        {"run", "--rom-file", missing},
        {"run", "--rom", "2", "--rom-file", shortRom.string()},
        {"run", "--roms-dir", missing},
        {"run", "--screenshot"},
        {"run", "--bogus"},
        {"run", "--type", "\xE2\x82"},
        {"run", "--type", "\xE2\x82\xAC"},
    };
    for (const auto& args : bad) {
        const auto r = RunCli(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_EQ(r.status, 2) << joined;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << joined << ": " << r.err;
        EXPECT_EQ(r.err.rfind("velgard-cli: ", 0), 0u) << joined << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << joined;
    }
}

}  // namespace
}  // namespace velgard
