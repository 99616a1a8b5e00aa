// The character font: what every code of bank 0 shows, the mosaic bank,
// and that the generator is reproducible.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "font/KorvetCharset.h"
#include "font/Psf.h"
#include "machine/RomImages.h"
#include "machine/Utf8.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

using font::Glyph;

Glyph FontGlyph(std::span<const std::uint8_t> font, int bank, int code) {
    Glyph g{};
    for (int j = 0; j < 16; ++j) g[static_cast<std::size_t>(j)] = font[static_cast<std::size_t>(bank * 4096 + code * 16 + j)];
    return g;
}

int Pixels(const Glyph& g) {
    int n = 0;
    for (auto b : g) n += __builtin_popcount(b);
    return n;
}

std::u32string Decode(const std::string& utf8) {
    std::u32string out;
    EXPECT_TRUE(DecodeUtf8(utf8, out)) << utf8;
    return out;
}

class FontTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(psf_.Load(VELGARD_CONSOLE_FONT, &error)) << error;
        ASSERT_EQ(font_.size(), tRomImages::kFontLength);
    }
    font::tPsfFont psf_;
    tRomImages images_;
    std::span<const std::uint8_t> font_ = images_.Font();
};

// The Cyrillic rows follow the keyboard legends of rows 0-3 (KOI-8 order):
// every code shows the console font's glyph of the intended letter.
TEST_F(FontTest, CyrillicRowsShowTheLettersOfTheKeyboardOrder) {
    const std::u32string lower = Decode("юабцдефгхийклмнопярстужвьызшэщчъ");
    const std::u32string upper = Decode("ЮАБЦДЕФГХИЙКЛМНОПЯРСТУЖВЬЫЗШЭЩЧЪ");
    ASSERT_EQ(lower.size(), 32u);
    ASSERT_EQ(upper.size(), 32u);
    for (int i = 0; i < 32; ++i) {
        for (int c = 0; c < 2; ++c) {
            const int code = (c ? 0xE0 : 0xC0) + i;
            const char32_t letter = c ? upper[static_cast<std::size_t>(i)] : lower[static_cast<std::size_t>(i)];
            EXPECT_EQ(font::Bank0Char(static_cast<std::uint8_t>(code)), letter) << "code " << code;
            const auto expected = psf_.Find(letter);
            ASSERT_TRUE(expected.has_value()) << "code " << code;
            EXPECT_EQ(FontGlyph(font_, 0, code), *expected) << "code " << code;
            EXPECT_GT(Pixels(FontGlyph(font_, 0, code)), 10) << "code " << code;
        }
    }
    // Letters that differ must look different: no two lower-case glyphs alike.
    for (int a = 0xC0; a < 0xE0; ++a)
        for (int b = a + 1; b < 0xE0; ++b) EXPECT_NE(FontGlyph(font_, 0, a), FontGlyph(font_, 0, b)) << a << " " << b;
}

TEST_F(FontTest, AsciiBlankAndPseudographicsOfBankZero) {
    EXPECT_EQ(Pixels(FontGlyph(font_, 0, 0)), 0) << "glyph 0 must be blank";
    EXPECT_EQ(Pixels(FontGlyph(font_, 0, ' ')), 0);
    for (int code = 0x21; code < 0x7F; ++code) {
        const auto expected = psf_.Find(static_cast<char32_t>(code));
        ASSERT_TRUE(expected.has_value());
        EXPECT_EQ(FontGlyph(font_, 0, code), *expected) << "code " << code;
    }
    // Every code from 01h to FFh but the space has a visible glyph.
    for (int code = 1; code < 256; ++code) {
        if (code == ' ') continue;
        EXPECT_GT(Pixels(FontGlyph(font_, 0, code)), 0) << "code " << code;
    }
    // Block elements are exact: full block, upper and lower half, shades.
    EXPECT_EQ(Pixels(FontGlyph(font_, 0, 0x8D)), 128);
    const Glyph upper = FontGlyph(font_, 0, 0x8B), lower = FontGlyph(font_, 0, 0x8C);
    for (int j = 0; j < 16; ++j) {
        EXPECT_EQ(upper[static_cast<std::size_t>(j)], j < 8 ? 0xFF : 0x00);
        EXPECT_EQ(lower[static_cast<std::size_t>(j)], j < 8 ? 0x00 : 0xFF);
    }
    // Box drawing from the console font: horizontal and vertical lines.
    EXPECT_EQ(FontGlyph(font_, 0, 0x80), *psf_.Find(U'─'));
    EXPECT_EQ(FontGlyph(font_, 0, 0x81), *psf_.Find(U'│'));
    EXPECT_EQ(FontGlyph(font_, 0, 0xBE), *psf_.Find(U'╬'));
}

// Bank 1: bit 2r lights the left and bit 2r + 1 the right 4 x 4 cell of
// cell row r.
TEST_F(FontTest, BankOneIsTheTwoByFourMosaic) {
    EXPECT_EQ(Pixels(FontGlyph(font_, 1, 0)), 0);
    EXPECT_EQ(Pixels(FontGlyph(font_, 1, 0xFF)), 128);
    for (int bit = 0; bit < 8; ++bit) {
        const Glyph g = FontGlyph(font_, 1, 1 << bit);
        EXPECT_EQ(Pixels(g), 16) << "bit " << bit;
        const int row = bit / 2;
        const std::uint8_t line = (bit & 1) ? 0x0F : 0xF0;
        for (int j = 0; j < 16; ++j)
            EXPECT_EQ(g[static_cast<std::size_t>(j)], j / 4 == row ? line : 0) << "bit " << bit << " line " << j;
    }
    // Combinations are the union of their cells.
    for (int code = 0; code < 256; ++code) {
        Glyph expected{};
        for (int bit = 0; bit < 8; ++bit) {
            if (!(code & (1 << bit))) continue;
            const Glyph g = FontGlyph(font_, 1, 1 << bit);
            for (int j = 0; j < 16; ++j) expected[static_cast<std::size_t>(j)] |= g[static_cast<std::size_t>(j)];
        }
        ASSERT_EQ(FontGlyph(font_, 1, code), expected) << "code " << code;
    }
}

TEST(FontGenerator, IsReproducibleAndRefusesWhatIsNoFont) {
    test::TempDir dir;
    const auto run = [&](const std::string& in, const std::filesystem::path& out) {
        const std::string cmd = std::string("'") + VELGARD_FONTGEN + "' '" + in + "' '" + out.string() + "' 2>/dev/null";
        return std::system(cmd.c_str());
    };
    ASSERT_EQ(run(VELGARD_CONSOLE_FONT, dir / "a.rom"), 0);
    ASSERT_EQ(run(VELGARD_CONSOLE_FONT, dir / "b.rom"), 0);
    const auto a = test::ReadBinary(dir / "a.rom");
    EXPECT_EQ(a.size(), 8192u);
    EXPECT_EQ(a, test::ReadBinary(dir / "b.rom"));
    tRomImages images;
    EXPECT_TRUE(std::equal(a.begin(), a.end(), images.Font().begin(), images.Font().end()))
        << "the embedded font is not what the generator makes";

    // A file that is not a console font: failure and no output.
    test::WriteBinary(dir / "junk.psf", std::vector<std::uint8_t>(600, 0x41));
    EXPECT_NE(run((dir / "junk.psf").string(), dir / "c.rom"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "c.rom"));
    // A truncated PSF1 header with a Unicode table flag but no glyphs.
    test::WriteBinary(dir / "short.psf", {0x36, 0x04, 0x02, 0x10, 0x00});
    EXPECT_NE(run((dir / "short.psf").string(), dir / "d.rom"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "d.rom"));
}

}  // namespace
}  // namespace velgard
