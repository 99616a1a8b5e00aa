// The 16-colour page bitmap: storage layout, colour table, stream form.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "graphics/BMMBitmap.h"

namespace velgard {
namespace {

constexpr std::size_t kPageRecordSize = 65633;

// Offsets of the fields of the stream form.
constexpr std::size_t kOffVersion1 = 8, kOffFormat = 9, kOffVersion2 = 13, kOffTransparent = 14,
                      kOffVersion3 = 19, kOffWidth = 20, kOffHeight = 24, kOffCheck = 28, kOffPixels = 32;

void PutI32(std::vector<std::uint8_t>& d, std::size_t at, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) d[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(u >> (8 * i));
}

// A 512 x 256 page with a recognisable picture and colour table.
void MakePage(tBMMGDI4Bitmap& b) {
    ASSERT_TRUE(b.SetSize(512, 256, 0, false));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) b.SetPixel(x, y, static_cast<std::uint8_t>((x * 7 + y * 3) & 15));
    for (int i = 0; i < 16; ++i) b.SetPaletteEntry(i, BMMRgbQuad(static_cast<std::uint8_t>(i * 16), 0x55, static_cast<std::uint8_t>(255 - i)));
}

std::vector<std::uint8_t> PageRecord() {
    tBMMGDI4Bitmap b;
    MakePage(b);
    tByteStream s;
    EXPECT_TRUE(b.SaveToStream(s));
    return s.Data();
}

TEST(BMMGDI4Bitmap, PageLayoutIsBottomUpFourBitRows) {
    tBMMGDI4Bitmap b;
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.FormatId(), 10);
    EXPECT_EQ(b.Bits(), nullptr);
    ASSERT_TRUE(b.SetSize(512, 256, 0, false));
    EXPECT_FALSE(b.Empty());
    EXPECT_EQ(b.Width(), 512);
    EXPECT_EQ(b.Height(), 256);
    EXPECT_EQ(b.Stride(), 256);
    auto rows = b.RowTable();
    ASSERT_EQ(rows.size(), 256u);
    // Entry 0 is the bottom row at the lowest address; rows are stride apart.
    EXPECT_EQ(rows[0], b.Bits());
    for (std::size_t r = 1; r < rows.size(); ++r) EXPECT_EQ(rows[r] - rows[r - 1], 256);
    // Row y counted from the top is entry height - 1 - y.
    EXPECT_EQ(b.ScanLine(0), rows[255]);
    EXPECT_EQ(b.ScanLine(255), rows[0]);
    EXPECT_EQ(b.ScanLine(-1), nullptr);
    EXPECT_EQ(b.ScanLine(256), nullptr);

    // Even x: high nibble of byte x / 2; odd x: low nibble.
    b.SetPixel(10, 0, 0x9);
    b.SetPixel(11, 0, 0x4);
    b.SetPixel(511, 255, 0xF);
    EXPECT_EQ(b.ScanLine(0)[5], 0x94);
    EXPECT_EQ(b.Bits()[255], 0x0F);  // bottom-right pixel: last byte of the lowest row
    EXPECT_EQ(b.Pixel(10, 0), 0x9);
    EXPECT_EQ(b.Pixel(11, 0), 0x4);
    // Writing through a row pointer is what the picture shows.
    b.RowTable()[255 - 7][100] = 0xA3;
    EXPECT_EQ(b.Pixel(200, 7), 0xA);
    EXPECT_EQ(b.Pixel(201, 7), 0x3);
    // Outside the bitmap: nothing read, nothing written.
    b.SetPixel(512, 0, 1);
    b.SetPixel(-1, 0, 1);
    EXPECT_EQ(b.Pixel(512, 0), 0);
    EXPECT_EQ(b.Pixel(0, -1), 0);
}

TEST(BMMGDI4Bitmap, StrideRoundsUpAndSizesAreChecked) {
    tBMMGDI4Bitmap b;
    ASSERT_TRUE(b.SetSize(1, 3, 0, false));
    EXPECT_EQ(b.Stride(), 4);
    ASSERT_TRUE(b.SetSize(9, 2, 0, false));
    EXPECT_EQ(b.Stride(), 8);  // 5 bytes of pixels -> 8
    ASSERT_TRUE(b.SetSize(16, 2, 0, false));
    EXPECT_EQ(b.Stride(), 8);

    // Negative and zero sizes leave the bitmap empty.
    EXPECT_TRUE(b.SetSize(-5, 10, 0, false));
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
    EXPECT_TRUE(b.RowTable().empty());

    // A size beyond the storage limit is refused and leaves it empty.
    EXPECT_FALSE(b.SetSize(1 << 30, 1 << 30, 0, false));
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Bits(), nullptr);
}

TEST(BMMGDI4Bitmap, FillAndChangeNotification) {
    tBMMGDI4Bitmap b;
    int notified = 0;
    b.SetChangeNotify([&] { ++notified; });
    ASSERT_TRUE(b.SetSize(6, 2, 0xAB, true));
    EXPECT_EQ(notified, 1);
    // Padding bytes are filled too.
    for (int r = 0; r < 2; ++r)
        for (int i = 0; i < b.Stride(); ++i) EXPECT_EQ(b.RowTable()[static_cast<std::size_t>(r)][i], 0xAB);
    const std::uint8_t* before = b.Bits();
    // The same size only fills: storage and row pointers stay.
    ASSERT_TRUE(b.SetSize(6, 2, 0x11, true));
    EXPECT_EQ(b.Bits(), before);
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(b.Pixel(5, 1), 1);
    // The same size without fill changes nothing.
    ASSERT_TRUE(b.SetSize(6, 2, 0x77, false));
    EXPECT_EQ(b.Pixel(5, 1), 1);
    // A new size re-establishes the storage.
    ASSERT_TRUE(b.SetSize(8, 2, 0, false));
    EXPECT_EQ(notified, 2);
    b.Clear();
    EXPECT_EQ(notified, 3);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Stride(), 0);
}

TEST(BMMGDI4Bitmap, PaletteEntriesOutsideZeroToFifteenAreIgnored) {
    tBMMGDI4Bitmap b;
    b.SetPaletteEntry(0, 0x00112233);
    b.SetPaletteEntry(15, 0x00AABBCC);
    const auto before = b.ColorTable();
    b.SetPaletteEntry(16, 0x00FFFFFF);
    b.SetPaletteEntry(-1, 0x00FFFFFF);
    EXPECT_EQ(b.ColorTable(), before);
    EXPECT_EQ(b.PaletteEntry(0), 0x00112233u);
    EXPECT_EQ(b.PaletteEntry(15), 0x00AABBCCu);
    EXPECT_EQ(b.PaletteEntry(16), 0u);
    EXPECT_EQ(BMMRgbQuad(0x12, 0x34, 0x56), 0x00123456u);
}

TEST(BMMGDI4Bitmap, PageRecordLayoutAndRoundTrip) {
    tBMMGDI4Bitmap b;
    MakePage(b);
    b.SetTransparent(true, 0x00123456);
    tByteStream s;
    ASSERT_TRUE(b.SaveToStream(s));
    const auto& d = s.Data();
    ASSERT_EQ(d.size(), kPageRecordSize);
    EXPECT_EQ(std::memcmp(d.data(), "BMBITMAP", 8), 0);
    const std::vector<std::uint8_t> head(d.begin() + 8, d.begin() + kOffPixels);
    const std::vector<std::uint8_t> expected = {
        0,  10, 0, 0, 0,          // version, format 10
        0,  1,                    // version, transparent
        0x56, 0x34, 0x12, 0x00,   // transparent colour
        0,                        // version
        0, 2, 0, 0,  0, 1, 0, 0,  // 512, 256
        0, 0, 2, 0,               // 131072
    };
    EXPECT_EQ(head, expected);
    // Pixel rows in memory order: the bottom row of the picture first.
    EXPECT_EQ(0, std::memcmp(d.data() + kOffPixels, b.ScanLine(255), 256));
    EXPECT_EQ(0, std::memcmp(d.data() + kOffPixels + 255 * 256, b.ScanLine(0), 256));
    const std::size_t tail = kOffPixels + 256 * 256;
    EXPECT_EQ(d[tail], 0);  // version
    // Colour entries as blue, green, red, 0.
    EXPECT_EQ(d[tail + 1 + 4 * 3 + 0], 255 - 3);
    EXPECT_EQ(d[tail + 1 + 4 * 3 + 1], 0x55);
    EXPECT_EQ(d[tail + 1 + 4 * 3 + 2], 3 * 16);
    EXPECT_EQ(d[tail + 1 + 4 * 3 + 3], 0);

    tBMMGDI4Bitmap c;
    tByteStream in(d);
    ASSERT_TRUE(c.LoadFromStream(in));
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(c.Width(), 512);
    EXPECT_EQ(c.Height(), 256);
    EXPECT_TRUE(c.Transparent());
    EXPECT_EQ(c.TransparentColor(), 0x00123456u);
    EXPECT_EQ(c.ColorTable(), b.ColorTable());
    EXPECT_EQ(0, std::memcmp(c.Bits(), b.Bits(), 256 * 256));

    // Loading replaces an existing picture of another size too.
    tBMMGDI4Bitmap small;
    ASSERT_TRUE(small.SetSize(3, 3, 0xFF, true));
    tByteStream again(d);
    ASSERT_TRUE(small.LoadFromStream(again));
    EXPECT_EQ(small.Width(), 512);
    EXPECT_EQ(small.Pixel(1, 2), b.Pixel(1, 2));
}

TEST(BMMGDI4Bitmap, EmptyBitmapWritesNothing) {
    tBMMGDI4Bitmap b;
    tByteStream s;
    EXPECT_FALSE(b.SaveToStream(s));
    EXPECT_EQ(s.Size(), 0u);
}

// Every refusal of LoadFromStream reports false and leaves the bitmap empty.
TEST(BMMGDI4Bitmap, LoadRefusesEveryMismatch) {
    const std::vector<std::uint8_t> good = PageRecord();
    ASSERT_EQ(good.size(), kPageRecordSize);
    const std::size_t tailVersion = kOffPixels + 256 * 256;

    struct Case {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> spoil;
    };
    const std::vector<Case> cases = {
        {"magic", [](auto& d) { d[3] = 'X'; }},
        {"bitmap version", [](auto& d) { d[kOffVersion1] = 1; }},
        {"format of another bitmap", [](auto& d) { PutI32(d, kOffFormat, 1); }},
        {"unknown format", [](auto& d) { PutI32(d, kOffFormat, 11); }},
        {"negative format", [](auto& d) { PutI32(d, kOffFormat, -246); }},  // low byte still 10
        {"drawable version", [](auto& d) { d[kOffVersion2] = 2; }},
        {"transparency flag", [](auto& d) { d[kOffTransparent] = 2; }},
        {"pixel store version", [](auto& d) { d[kOffVersion3] = 1; }},
        {"colour table version", [=](auto& d) { d[tailVersion] = 1; }},
        {"negative width", [](auto& d) {
             PutI32(d, kOffWidth, -512);
             PutI32(d, kOffCheck, -512 * 256);
         }},
        {"negative height", [](auto& d) {
             PutI32(d, kOffHeight, -256);
             PutI32(d, kOffCheck, -512 * 256);
         }},
        {"both negative", [](auto& d) {
             PutI32(d, kOffWidth, -512);
             PutI32(d, kOffHeight, -256);
         }},
        {"product mismatch", [](auto& d) { PutI32(d, kOffCheck, 512 * 256 - 1); }},
        {"product overflowing 32 bits", [](auto& d) {
             // 65536 x 65536 wraps to 0 in 32-bit arithmetic.
             PutI32(d, kOffWidth, 65536);
             PutI32(d, kOffHeight, 65536);
             PutI32(d, kOffCheck, 0);
         }},
        {"zero size", [](auto& d) {
             PutI32(d, kOffWidth, 0);
             PutI32(d, kOffCheck, 0);
         }},
        {"more rows than the stream holds", [](auto& d) {
             PutI32(d, kOffHeight, 4096);
             PutI32(d, kOffCheck, 512 * 4096);
         }},
        {"truncated in the header", [](auto& d) { d.resize(kOffCheck + 2); }},
        {"truncated in the pixels", [](auto& d) { d.resize(kOffPixels + 1000); }},
        {"truncated in the colour table", [](auto& d) { d.resize(d.size() - 1); }},
        {"empty stream", [](auto& d) { d.clear(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> data = good;
        c.spoil(data);
        tBMMGDI4Bitmap b;
        ASSERT_TRUE(b.SetSize(16, 16, 0x55, true));  // a previous picture
        tByteStream s(std::move(data));
        EXPECT_FALSE(b.LoadFromStream(s));
        EXPECT_TRUE(b.Empty());
        EXPECT_EQ(b.Width(), 0);
        EXPECT_EQ(b.Height(), 0);
        EXPECT_EQ(b.Bits(), nullptr);
        EXPECT_TRUE(b.RowTable().empty());
    }

    // The unspoilt record loads (the cases above fail for their own reason).
    tBMMGDI4Bitmap ok;
    tByteStream s(good);
    EXPECT_TRUE(ok.LoadFromStream(s));
}

// An owner that puts its own storage back from the change notification
// (as a machine page does) must not make the load write past it.
TEST(BMMGDI4Bitmap, LoadSurvivesANotificationThatResizes) {
    // A valid record of a 1024 x 256 bitmap.
    tBMMGDI4Bitmap big;
    ASSERT_TRUE(big.SetSize(1024, 256, 0x12, true));
    tByteStream record;
    ASSERT_TRUE(big.SaveToStream(record));

    tBMMGDI4Bitmap page;
    page.SetChangeNotify([&] {
        if (page.Width() != 512 || page.Height() != 256) page.SetSize(512, 256, 0, true);
    });
    ASSERT_TRUE(page.SetSize(512, 256, 0, true));
    ASSERT_TRUE(record.Seek(0));
    EXPECT_FALSE(page.LoadFromStream(record));
    // The owner's notification keeps giving it a 512 x 256 page.
    EXPECT_EQ(page.Width(), 512);
    EXPECT_EQ(page.Height(), 256);
    EXPECT_EQ(page.RowTable().size(), 256u);

    // A matching record loads through the same owner.
    tBMMGDI4Bitmap other;
    MakePage(other);
    tByteStream s;
    ASSERT_TRUE(other.SaveToStream(s));
    ASSERT_TRUE(s.Seek(0));
    EXPECT_TRUE(page.LoadFromStream(s));
    EXPECT_EQ(page.Pixel(300, 100), other.Pixel(300, 100));
    EXPECT_EQ(0, std::memcmp(page.Bits(), other.Bits(), 256 * 256));
}

}  // namespace
}  // namespace velgard
