// The built-in ROM images and their replacement by users' dumps.
#include <gtest/gtest.h>

#include <string>

#include "machine/RomImages.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

TEST(BuiltinRoms, HaveExactLengthsAndTheirLayout) {
    tRomImages images;
    const std::array<std::size_t, 3> lengths = {24578, 24576, 8192};
    for (int i = 0; i < 3; ++i) {
        const auto rom = images.Rom(i);
        ASSERT_EQ(rom.size(), lengths[static_cast<std::size_t>(i)]);
        EXPECT_TRUE(images.IsBuiltinRom(i));
        EXPECT_EQ(rom[0], 0xF3) << "the first instruction must disable interrupts";
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&rom[0x80]), 7), "VELGARD");
        EXPECT_EQ(rom[0x88], i) << "ROM set number";
        EXPECT_EQ(rom[0x89], i < 2 ? 1 : 0) << "room for BASIC";
        // The core must fit in the first 8 KB, which every ROM set shows.
        EXPECT_EQ(rom[0x1FFF], 0xFF);
    }
    // The BASIC room of the 24 KB images, and Korvet 2.0's two extra bytes.
    for (int i = 0; i < 2; ++i) {
        const auto rom = images.Rom(i);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&rom[0x2000]), 18), "VELGARD BASIC AREA");
        EXPECT_EQ(rom[0x5FFF], 0xFF);
    }
    EXPECT_EQ(images.Rom(0)[24576], 0xFF);
    EXPECT_EQ(images.Rom(0)[24577], 0xFF);
    // The sets differ only where they name themselves.
    const auto a = images.Rom(0), b = images.Rom(1);
    std::size_t differing = 0;
    for (std::size_t k = 0; k < b.size(); ++k) differing += a[k] != b[k];
    EXPECT_GT(differing, 0u);
    EXPECT_LT(differing, 8u);
}

class UserDumps : public ::testing::Test {
protected:
    test::TempDir dir_;
    tRomImages images_;
};

TEST_F(UserDumps, RightLengthReplacesWrongLengthIsIgnoredWithAWarning) {
    std::vector<std::uint8_t> kontur(8192, 0x11);
    std::vector<std::uint8_t> korvet11(24577, 0x22);  // one byte too many
    std::vector<std::uint8_t> korvet20(24576, 0x33);  // the 24 KB variant is accepted
    std::vector<std::uint8_t> font(8191, 0x44);       // one byte short
    test::WriteBinary(dir_ / "kontur20.rom", kontur);
    test::WriteBinary(dir_ / "korvet11.rom", korvet11);
    test::WriteBinary(dir_ / "korvet20.rom", korvet20);
    test::WriteBinary(dir_ / "font.rom", font);
    const std::vector<std::uint8_t> builtinFont(images_.Font().begin(), images_.Font().end());
    const std::vector<std::uint8_t> builtin11(images_.Rom(1).begin(), images_.Rom(1).end());

    const auto warnings = images_.LoadUserDumps(dir_.Path());

    ASSERT_EQ(warnings.size(), 2u);
    const std::string all = warnings[0] + "\n" + warnings[1];
    EXPECT_NE(all.find("korvet11.rom: wrong length 24577 bytes (24576 expected)"), std::string::npos) << all;
    EXPECT_NE(all.find("font.rom: wrong length 8191 bytes (8192 expected)"), std::string::npos) << all;
    EXPECT_FALSE(images_.IsBuiltinRom(2));
    EXPECT_TRUE(std::equal(kontur.begin(), kontur.end(), images_.Rom(2).begin(), images_.Rom(2).end()));
    EXPECT_FALSE(images_.IsBuiltinRom(0));
    EXPECT_EQ(images_.Rom(0).size(), 24576u);
    EXPECT_TRUE(images_.IsBuiltinRom(1));
    EXPECT_TRUE(std::equal(builtin11.begin(), builtin11.end(), images_.Rom(1).begin(), images_.Rom(1).end()));
    EXPECT_TRUE(std::equal(builtinFont.begin(), builtinFont.end(), images_.Font().begin(), images_.Font().end()));
}

TEST_F(UserDumps, FontOfRightLengthAndOddEntriesAndMissingFolder) {
    std::vector<std::uint8_t> font(8192, 0x5A);
    test::WriteBinary(dir_ / "font.rom", font);
    std::filesystem::create_directory(dir_ / "korvet20.rom");   // a folder, not a dump
    test::WriteBinary(dir_ / "KORVET11.ROM", std::vector<std::uint8_t>(24576, 1));  // other name
    test::WriteBinary(dir_ / "kontur20.rom", std::vector<std::uint8_t>(2u << 20, 7));  // 2 MB
    const auto warnings = images_.LoadUserDumps(dir_.Path());
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("korvet20.rom: not a regular file"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("kontur20.rom: wrong length 2097152 bytes (8192 expected)"), std::string::npos)
        << warnings[1];
    EXPECT_TRUE(std::equal(font.begin(), font.end(), images_.Font().begin(), images_.Font().end()));
    EXPECT_TRUE(images_.IsBuiltinRom(0));
    EXPECT_TRUE(images_.IsBuiltinRom(1));
    EXPECT_TRUE(images_.IsBuiltinRom(2));

    tRomImages fresh;
    EXPECT_TRUE(fresh.LoadUserDumps(dir_ / "no-such-folder").empty());
    EXPECT_TRUE(fresh.LoadUserDumps({}).empty());
    EXPECT_TRUE(fresh.IsBuiltinRom(2));
}

TEST(UserRomFolder, BesideTheSettingsFile) {
    test::TempDir dir;
    // A writable program folder holds the settings, so roms/ lies there.
    EXPECT_EQ(tRomImages::UserRomFolderFor(dir.Path(), "/xdg", "/home/u"), dir.Path() / "roms");
    // Otherwise $XDG_CONFIG_HOME/velgard, by default ~/.config/velgard.
    const auto gone = dir / "no-such-folder";
    EXPECT_EQ(tRomImages::UserRomFolderFor(gone, "/xdg", "/home/u"), std::filesystem::path("/xdg/velgard/roms"));
    EXPECT_EQ(tRomImages::UserRomFolderFor(gone, nullptr, "/home/u"),
              std::filesystem::path("/home/u/.config/velgard/roms"));
    EXPECT_EQ(tRomImages::UserRomFolderFor(gone, "", "/home/u"),
              std::filesystem::path("/home/u/.config/velgard/roms"));
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    EXPECT_EQ(tRomImages::UserRomFolderFor(gone, "rel", "/home/u"),
              std::filesystem::path("/home/u/.config/velgard/roms"));
    EXPECT_TRUE(tRomImages::UserRomFolderFor(gone, nullptr, nullptr).empty());
    EXPECT_EQ(tRomImages::DefaultUserRomFolder().filename(), "roms");
}

}  // namespace
}  // namespace velgard
