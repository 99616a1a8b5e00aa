// Text rendering into the page bitmaps, page selection and palettes.
#include <gtest/gtest.h>

#include "MachineTestSupport.h"
#include "graphics/BMMBitmap.h"

namespace velgard {
namespace {

using M = tMemory_Korvet64Kb;

class VideoTest : public ::testing::Test {
protected:
    void SetUp() override {
        machine = std::make_unique<tComputer_I8080_Korvet>(host);
        font = test::PatternFont();
        ASSERT_TRUE(machine->Roms().ReplaceFont(font));
        mem().LoadFont();
    }
    M& mem() { return machine->GetMemory(); }
    void Cell(int row, int column, std::uint8_t code) {
        mem().WriteByte(static_cast<std::uint16_t>(0x3C00 + row * 64 + column), code);
    }
    // The text bit the screen should show at (x, y) for a 64-column screen.
    bool TextBit64(int x, int y, int bank) const {
        const int n = (y / 16) * 64 + x / 8;
        std::uint8_t g = font[bank * 4096 + machine->GetMemory().CellCode(n) * 16 + y % 16];
        if (machine->GetMemory().CellAttribute(n) & 0x80) g = static_cast<std::uint8_t>(~g);
        return (g >> (7 - x % 8)) & 1;
    }
    bool TextBit32(int x, int y, int bank) const {
        const int n = (y / 16) * 64 + (x / 16) * 2;
        std::uint8_t g = font[bank * 4096 + machine->GetMemory().CellCode(n) * 16 + y % 16];
        if (machine->GetMemory().CellAttribute(n) & 0x80) g = static_cast<std::uint8_t>(~g);
        return (g >> (7 - (x % 16) / 2)) & 1;
    }

    HeadlessHost host;
    std::unique_ptr<tComputer_I8080_Korvet> machine;
    std::vector<std::uint8_t> font;
};

TEST_F(VideoTest, RowsAreDrawnInSixtyFourColumnsOverTheGraphics) {
    // Graphics under the text must survive: planes of every pixel = x mod 8.
    tBMMGDI4Bitmap& page0 = mem().PageBitmap(0);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) page0.SetPixel(x, y, static_cast<std::uint8_t>(x % 8));
    mem().WriteByte(0x3B3A, 0x10);  // inverse
    Cell(0, 0, 0);                  // blank glyph inverted: a solid block
    Cell(3, 63, 0x7F);
    mem().WriteByte(0x3B3A, 0x20);
    Cell(0, 1, 'A');
    Cell(15, 10, 0xFF);
    mem().SetDirty(false);
    tBMMGDI4Bitmap& frame = mem().UpdateFrame();
    ASSERT_EQ(&frame, &page0);
    EXPECT_TRUE(mem().IsDirty()) << "drawing changed pixels";
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(page0.Pixel(x, y), 8 | (x % 8)) << x << "," << y;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 512; ++x) {
            const int expected = (TextBit64(x, y, 0) ? 8 : 0) | (x % 8);
            ASSERT_EQ(page0.Pixel(x, y), expected) << x << "," << y;
        }
    }
    // Nothing is left to draw: a second update changes nothing.
    mem().SetDirty(false);
    mem().UpdateFrame();
    EXPECT_FALSE(mem().IsDirty());
    // Redrawing an unchanged row does not mark the frame either.
    mem().RenderTextRow(0, 3);
    EXPECT_FALSE(mem().IsDirty());
}

TEST_F(VideoTest, FontBankAndThirtyTwoColumns) {
    Cell(1, 0, 'a');
    Cell(1, 1, 'b');  // odd column: hidden in 32 columns
    Cell(1, 2, 'c');
    mem().UpdateFrame();
    // The bank changes nothing already drawn...
    mem().WriteByte(0x3B3A, 0x04);
    mem().UpdateFrame();
    tBMMGDI4Bitmap& page0 = mem().PageBitmap(0);
    for (int x = 0; x < 24; ++x)
        for (int y = 16; y < 32; ++y) ASSERT_EQ(page0.Pixel(x, y) >> 3, TextBit64(x, y, 0) ? 1 : 0);
    // ...until the row is written again.
    Cell(1, 63, ' ');
    mem().UpdateFrame();
    for (int x = 0; x < 24; ++x)
        for (int y = 16; y < 32; ++y) ASSERT_EQ(page0.Pixel(x, y) >> 3, TextBit64(x, y, 1) ? 1 : 0);
    // 32 double-width columns: only even cells, every row redrawn.
    mem().WriteByte(0x3B3A, 0x0C);
    mem().UpdateFrame();
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) ASSERT_EQ(page0.Pixel(x, y) >> 3, TextBit32(x, y, 1) ? 1 : 0) << x << "," << y;
    // Writing an odd cell changes nothing on the screen...
    std::vector<std::uint8_t> before;
    for (int x = 0; x < 512; ++x) before.push_back(page0.Pixel(x, 20));
    Cell(1, 3, 'z');
    mem().UpdateFrame();
    for (int x = 0; x < 512; ++x) ASSERT_EQ(page0.Pixel(x, 20), before[x]);
    // ...and 64 columns show it again.
    mem().WriteByte(0x3B3A, 0x04);
    mem().UpdateFrame();
    for (int x = 24; x < 32; ++x)
        for (int y = 16; y < 32; ++y) ASSERT_EQ(page0.Pixel(x, y) >> 3, TextBit64(x, y, 1) ? 1 : 0);
}

TEST_F(VideoTest, PagesAreBroughtUpToDateWhenShown) {
    Cell(2, 2, 'K');
    tBMMGDI4Bitmap& page0 = mem().UpdateFrame();
    EXPECT_EQ(&page0, &mem().PageBitmap(0));
    tBMMGDI4Bitmap& page2 = mem().PageBitmap(2);
    EXPECT_EQ(page2.Pixel(16, 32), 0) << "page 2 not drawn yet";
    // The cell changes while page 0 is shown; page 2 draws what is there when shown.
    Cell(2, 2, 'L');
    mem().WriteByte(0x3AFB, 0x48);  // text red
    mem().UpdateFrame();
    mem().WriteByte(0x3B3A, 0x02);  // show page 2
    EXPECT_EQ(&mem().UpdateFrame(), &page2);
    for (int y = 32; y < 48; ++y)
        for (int x = 16; x < 24; ++x) ASSERT_EQ(page2.Pixel(x, y) >> 3, TextBit64(x, y, 0) ? 1 : 0);
    EXPECT_EQ(page2.PaletteEntry(8), BMMRgbQuad(173, 0, 0));
    EXPECT_EQ(page2.PaletteEntry(0), BMMRgbQuad(0, 0, 0));
    EXPECT_EQ(mem().PageBitmap(3).PaletteEntry(8), 0u) << "page 3 has not been shown";
    EXPECT_TRUE(mem().PaletteRefresh(3));
    // A single-page machine shows page 0 whatever bits 1-0 say.
    mem().Reset(true);
    mem().WriteByte(0x3B3A, 0x03);
    EXPECT_EQ(&mem().UpdateFrame(), &mem().PageBitmap(0));
}

}  // namespace
}  // namespace velgard
