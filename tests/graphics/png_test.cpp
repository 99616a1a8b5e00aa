// Screenshots: a drawn frame written as PNG and read back with libpng.
#include <gtest/gtest.h>
#include <png.h>

#include <vector>

#include "cli/PngWriter.h"
#include "graphics/BMMCanvas2D.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

struct Decoded {
    bool ok = false;
    unsigned width = 0, height = 0;
    std::uint32_t format = 0;
    std::vector<std::uint8_t> rgb;
};

Decoded ReadPng(const std::filesystem::path& path) {
    Decoded d;
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return d;
    d.width = img.width;
    d.height = img.height;
    d.format = img.format;
    img.format = PNG_FORMAT_RGB;
    d.rgb.resize(PNG_IMAGE_SIZE(img));
    d.ok = png_image_finish_read(&img, nullptr, d.rgb.data(), 0, nullptr) != 0;
    png_image_free(&img);
    return d;
}

TEST(PngWriter, WrittenFrameReadsBackPixelForPixel) {
    tBMMGDI4Bitmap page;
    ASSERT_TRUE(page.SetSize(512, 256, 0, false));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) page.SetPixel(x, y, static_cast<std::uint8_t>((x / 32 + y / 16) & 15));
    for (int i = 0; i < 16; ++i)
        page.SetPaletteEntry(i, BMMRgbQuad(static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(i * 8 + 1), static_cast<std::uint8_t>(250 - i)));
    TBMMFixedControl panel(1024, 512);
    TBMMBMPCanvas2D canvas;
    ASSERT_TRUE(canvas.Attach(&panel));
    ASSERT_TRUE(canvas.BeginFrame());
    ASSERT_TRUE(canvas.DrawBitmap(page));
    canvas.EndFrame();

    test::TempDir dir;
    const auto path = dir / "frame.png";
    std::string error;
    ASSERT_TRUE(cli::WritePng(path.string(), canvas.Image(), error)) << error;

    const std::vector<std::uint8_t> bytes = test::ReadBinary(path);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(png_sig_cmp(bytes.data(), 0, 8), 0);

    const Decoded d = ReadPng(path);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, 1024u);
    EXPECT_EQ(d.height, 512u);
    EXPECT_EQ(d.format & PNG_FORMAT_FLAG_ALPHA, 0u);  // written without alpha
    int mismatches = 0;
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 1024; ++x) {
            const std::uint32_t want = page.PaletteEntry(page.Pixel(x / 2, y / 2));
            const std::uint8_t* p = &d.rgb[(static_cast<std::size_t>(y) * 1024 + static_cast<std::size_t>(x)) * 3];
            if (p[0] != ((want >> 16) & 0xFF) || p[1] != ((want >> 8) & 0xFF) || p[2] != (want & 0xFF)) ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(PngWriter, RefusesEmptyImagesAndUnwritablePaths) {
    test::TempDir dir;
    std::string error;
    EXPECT_FALSE(cli::WritePng((dir / "empty.png").string(), tBMMImage32{}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "empty.png"));

    error.clear();
    tBMMImage32 img(4, 4, 0xFF123456u);
    EXPECT_FALSE(cli::WritePng((dir / "no-such-folder" / "x.png").string(), img, error));
    EXPECT_NE(error.find("x.png"), std::string::npos);
}

}  // namespace
}  // namespace velgard
