// Canvases: the attach/frame state machine and stretching a page onto the
// off-screen canvas.
#include <gtest/gtest.h>

#include "graphics/BMMCanvas2D.h"

namespace velgard {
namespace {

// Opaque colour of the image for colour index i of TestPage.
std::uint32_t Rgb(int i) { return 0xFF000000u | BMMRgbQuad(static_cast<std::uint8_t>(i * 17), static_cast<std::uint8_t>(255 - i), 0x40); }

// A 512 x 256 page whose pixel (x, y) has colour (x + 3y) mod 16, with a
// colour table of 16 distinct colours.
void TestPage(tBMMGDI4Bitmap& b) {
    ASSERT_TRUE(b.SetSize(512, 256, 0, false));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) b.SetPixel(x, y, static_cast<std::uint8_t>((x + 3 * y) & 15));
    for (int i = 0; i < 16; ++i) b.SetPaletteEntry(i, Rgb(i) & 0x00FFFFFFu);
}

TEST(BMMCanvas2D, AttachFrameDetachStates) {
    TBMMBMPCanvas2D canvas;
    EXPECT_EQ(canvas.Kind(), TBMMCanvasKind::Bitmap);
    EXPECT_FALSE(canvas.Attached());
    EXPECT_FALSE(canvas.BeginFrame());  // not attached
    EXPECT_FALSE(canvas.Attach(nullptr));
    EXPECT_FALSE(canvas.Attached());

    TBMMFixedControl panel(640, 320);
    ASSERT_TRUE(canvas.Attach(&panel));
    EXPECT_TRUE(canvas.Attached());
    EXPECT_EQ(canvas.Control(), &panel);
    EXPECT_EQ(canvas.Width(), 640);
    EXPECT_EQ(canvas.Height(), 320);
    EXPECT_EQ(canvas.PenColor(), 0u);
    EXPECT_EQ(canvas.BrushColor(), 0xFFFFFFu);
    EXPECT_FLOAT_EQ(canvas.LineWidth(), 1.0f);

    ASSERT_TRUE(canvas.BeginFrame());
    EXPECT_TRUE(canvas.Drawing());
    EXPECT_FALSE(canvas.BeginFrame());  // already drawing
    canvas.EndFrame();
    EXPECT_FALSE(canvas.Drawing());

    // Every frame follows the control's size without re-attaching.
    panel.SetSize(300, 200);
    ASSERT_TRUE(canvas.BeginFrame());
    EXPECT_EQ(canvas.Width(), 300);
    EXPECT_EQ(canvas.Image().Width(), 300);
    EXPECT_EQ(canvas.Image().Height(), 200);

    // Attaching again resets first (ending the frame in progress).
    TBMMFixedControl other(100, 50);
    ASSERT_TRUE(canvas.Attach(&other));
    EXPECT_FALSE(canvas.Drawing());
    EXPECT_EQ(canvas.Control(), &other);
    EXPECT_EQ(canvas.Width(), 100);

    canvas.SetLineWidth(25.0f);
    EXPECT_FLOAT_EQ(canvas.LineWidth(), 10.0f);
    canvas.SetLineWidth(-3.0f);
    EXPECT_FLOAT_EQ(canvas.LineWidth(), 0.0f);
    canvas.SetClipRect({1, 2, 3, 4});
    ASSERT_TRUE(canvas.BeginFrame());
    canvas.Reset();
    EXPECT_FALSE(canvas.Attached());
    EXPECT_FALSE(canvas.Drawing());
    EXPECT_EQ(canvas.Control(), nullptr);
    EXPECT_EQ(canvas.Width(), 0);
    EXPECT_EQ(canvas.ClipRect().Width(), 0);
    EXPECT_FALSE(canvas.BeginFrame());

    canvas.Refresh();  // detached: nothing happens
    EXPECT_FALSE(canvas.Drawing());
}

TEST(BMMCanvas2D, DoubleSizeShowsEveryPixelAsTwoByTwoBlock) {
    tBMMGDI4Bitmap page;
    TestPage(page);
    TBMMFixedControl panel(1024, 512);
    TBMMBMPCanvas2D canvas;
    ASSERT_TRUE(canvas.Attach(&panel));
    ASSERT_TRUE(canvas.BeginFrame());
    ASSERT_TRUE(canvas.DrawBitmap(page));
    canvas.EndFrame();
    const tBMMImage32& img = canvas.Image();
    ASSERT_EQ(img.Width(), 1024);
    ASSERT_EQ(img.Height(), 512);
    int mismatches = 0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 1024; ++x)
            if (img.Pixel(x, y) != Rgb(page.Pixel(x / 2, y / 2))) ++mismatches;
    EXPECT_EQ(mismatches, 0);
    // The top-left corner of the picture is the top row (stored last).
    EXPECT_EQ(img.Pixel(0, 0), Rgb(0));
    EXPECT_EQ(img.Pixel(1023, 511), Rgb((511 + 3 * 255) & 15));
}

TEST(BMMCanvas2D, UnevenStretchAndColourTableChanges) {
    tBMMGDI4Bitmap page;
    TestPage(page);
    TBMMFixedControl panel(700, 300);
    TBMMBMPCanvas2D canvas;
    ASSERT_TRUE(canvas.Attach(&panel));
    ASSERT_TRUE(canvas.DrawBitmap(page));  // draws without BeginFrame too
    const tBMMImage32& img = canvas.Image();
    ASSERT_EQ(img.Width(), 700);
    int mismatches = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 700; ++x)
            if (img.Pixel(x, y) != Rgb(page.Pixel(x * 512 / 700, y * 256 / 300))) ++mismatches;
    EXPECT_EQ(mismatches, 0);
    // The last destination column and row show the last source pixel.
    EXPECT_EQ(img.Pixel(699, 299), Rgb(page.Pixel(511, 255)));

    // The colours come from the colour table at the time of drawing.
    page.SetPaletteEntry(0, BMMRgbQuad(1, 2, 3));
    ASSERT_TRUE(canvas.DrawBitmap(page));
    EXPECT_EQ(img.Pixel(0, 0), 0xFF010203u);
}

TEST(BMMCanvas2D, NothingDrawnWhenDetachedOrEmpty) {
    tBMMGDI4Bitmap page;
    TestPage(page);
    TBMMBMPCanvas2D canvas;
    EXPECT_FALSE(canvas.DrawBitmap(page));  // detached
    TBMMFixedControl panel(64, 32);
    ASSERT_TRUE(canvas.Attach(&panel));
    tBMMGDI4Bitmap empty;
    EXPECT_FALSE(canvas.DrawBitmap(empty));
    EXPECT_EQ(canvas.Image().Pixel(5, 5), 0xFF000000u);  // untouched
    // A panel of no size has no surface.
    panel.SetSize(0, 0);
    ASSERT_TRUE(canvas.BeginFrame());
    EXPECT_FALSE(canvas.DrawBitmap(page));
    canvas.EndFrame();
    // The picture stays available after detaching.
    panel.SetSize(64, 32);
    ASSERT_TRUE(canvas.BeginFrame());
    ASSERT_TRUE(canvas.DrawBitmap(page));
    canvas.Reset();
    EXPECT_EQ(canvas.Image().Width(), 64);
    EXPECT_EQ(canvas.Image().Pixel(63, 31), Rgb(page.Pixel(504, 248)));
}

TEST(BMMGDI4Bitmap, DrawToCanvasRectangles) {
    tBMMGDI4Bitmap b;
    ASSERT_TRUE(b.SetSize(4, 2, 0, false));
    for (int i = 0; i < 8; ++i) {
        b.SetPixel(i % 4, i / 4, static_cast<std::uint8_t>(i + 1));
        b.SetPaletteEntry(i + 1, BMMRgbQuad(static_cast<std::uint8_t>(i + 1), 0, 0));
    }
    auto red = [](const tBMMImage32& img, int x, int y) { return static_cast<int>((img.Pixel(x, y) >> 16) & 0xFF); };
    const std::uint32_t kBack = 0xFF00FF00u;

    // Source entirely right of (or below) the bitmap: nothing drawn, success.
    tBMMImage32 img(8, 8, kBack);
    EXPECT_TRUE(b.DrawToCanvas(img, {0, 0, 7, 7}, {4, 0, 9, 1}));
    EXPECT_TRUE(b.DrawToCanvas(img, {0, 0, 7, 7}, {0, 2, 3, 5}));
    // Destination entirely outside the target.
    EXPECT_TRUE(b.DrawToCanvas(img, {8, 0, 15, 7}, {0, 0, 3, 1}));
    EXPECT_TRUE(b.DrawToCanvas(img, {-9, -9, -1, -1}, {0, 0, 3, 1}));
    for (std::uint32_t p : img.Pixels()) ASSERT_EQ(p, kBack);

    // Reversed rectangles are normalised; one to one copy at an offset.
    ASSERT_TRUE(b.DrawToCanvas(img, {5, 3, 2, 2}, {3, 1, 0, 0}));
    EXPECT_EQ(red(img, 2, 2), 1);
    EXPECT_EQ(red(img, 5, 2), 4);
    EXPECT_EQ(red(img, 2, 3), 5);
    EXPECT_EQ(red(img, 5, 3), 8);
    EXPECT_EQ(img.Pixel(1, 2), kBack);
    EXPECT_EQ(img.Pixel(6, 3), kBack);
    EXPECT_EQ(img.Pixel(2, 4), kBack);

    // A destination running off the target is clipped, keeping the scale.
    tBMMImage32 clip(3, 3, kBack);
    ASSERT_TRUE(b.DrawToCanvas(clip, {-2, -1, 5, 2}, {0, 0, 3, 1}));  // 8 x 4 -> 2 x 2 blocks
    EXPECT_EQ(red(clip, 0, 0), 2);  // x -2,-1 -> pixel 0; x 0,1 -> pixel 1; row -1,0 -> row 0
    EXPECT_EQ(red(clip, 2, 0), 3);
    EXPECT_EQ(red(clip, 0, 1), 6);
    EXPECT_EQ(red(clip, 2, 2), 7);

    // A source rectangle partly outside the bitmap draws only what exists.
    tBMMImage32 part(4, 1, kBack);
    ASSERT_TRUE(b.DrawToCanvas(part, {0, 0, 3, 0}, {2, 0, 5, 0}));
    EXPECT_EQ(red(part, 0, 0), 3);
    EXPECT_EQ(red(part, 1, 0), 4);
    EXPECT_EQ(part.Pixel(2, 0), kBack);
    EXPECT_EQ(part.Pixel(3, 0), kBack);

    tBMMGDI4Bitmap empty;
    EXPECT_FALSE(empty.DrawToCanvas(img, {0, 0, 7, 7}, {0, 0, 3, 1}));
}

// The picture at its own size (whole words of two pixels) and from an odd
// source column (pixel by pixel) show every pixel in its palette colour.
TEST(BMMGDI4Bitmap, OneToOneDrawShowsEveryPixel) {
    tBMMGDI4Bitmap b;
    ASSERT_TRUE(b.SetSize(512, 256, 0, true));
    for (int i = 0; i < 16; ++i) b.SetPaletteEntry(i, BMMRgbQuad(static_cast<std::uint8_t>(i * 16 + 1), 7, 9));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) b.SetPixel(x, y, static_cast<std::uint8_t>((x * 7 + y * 13 + (x >> 3)) & 15));
    auto expected = [&](int x, int y) { return 0xFF000000u | (b.PaletteEntry(b.Pixel(x, y)) & 0x00FFFFFFu); };

    tBMMImage32 whole(514, 257, 0);
    ASSERT_TRUE(b.DrawToCanvas(whole, {2, 1, 513, 256}, {0, 0, 511, 255}));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) ASSERT_EQ(whole.Pixel(x + 2, y + 1), expected(x, y)) << x << "," << y;
    EXPECT_EQ(whole.Pixel(1, 1), 0u);
    EXPECT_EQ(whole.Pixel(2, 0), 0u);

    tBMMImage32 odd(9, 2, 0);
    ASSERT_TRUE(b.DrawToCanvas(odd, {0, 0, 8, 1}, {101, 40, 109, 41}));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(odd.Pixel(x, y), expected(101 + x, 40 + y)) << x << "," << y;
}

}  // namespace
}  // namespace velgard

namespace velgard {
namespace {

// A canvas that counts what it does with its drawing surface.
class CountingCanvas final : public TBMMCanvas2D {
public:
    explicit CountingCanvas(int& created, int& released, bool fail = false)
        : TBMMCanvas2D(TBMMCanvasKind::GDI), created_(created), released_(released), fail_(fail) {}
    ~CountingCanvas() override { Reset(); }

protected:
    tBMMImage32* Surface() override { return nullptr; }
    bool CreateSurface() override {
        ++created_;
        return !fail_;
    }
    void ReleaseSurface() override { ++released_; }

private:
    int& created_;
    int& released_;
    bool fail_;
};

TEST(BMMCanvas2D, SurfaceIsReleasedOnceWhenFreedOrWhenAttachFails) {
    TBMMFixedControl panel(10, 10);
    int created = 0, released = 0;
    {
        CountingCanvas canvas(created, released);
        ASSERT_TRUE(canvas.Attach(&panel));
        ASSERT_TRUE(canvas.BeginFrame());
    }  // freed while drawing
    EXPECT_EQ(created, 1);
    EXPECT_EQ(released, 1);

    created = released = 0;
    {
        CountingCanvas canvas(created, released);
        ASSERT_TRUE(canvas.Attach(&panel));
        ASSERT_TRUE(canvas.Attach(&panel));  // re-attaching releases the old surface
        EXPECT_EQ(released, 1);
        canvas.Detach();
        canvas.Detach();  // a second Detach has nothing to release
        EXPECT_EQ(released, 2);
    }
    EXPECT_EQ(created, 2);
    EXPECT_EQ(released, 2);

    created = released = 0;
    {
        CountingCanvas canvas(created, released, /*fail=*/true);
        EXPECT_FALSE(canvas.Attach(&panel));
        EXPECT_FALSE(canvas.Attached());
        EXPECT_EQ(canvas.Control(), nullptr);
        EXPECT_FALSE(canvas.BeginFrame());
    }
    EXPECT_EQ(created, 1);
    EXPECT_EQ(released, 1);
}

}  // namespace
}  // namespace velgard
