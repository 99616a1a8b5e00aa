#pragma once
// Small shared types of the graphics library: rectangles with inclusive
// edges and the 32-bit RGB image that stands in for a device context.
#include <cstdint>
#include <utility>
#include <vector>

namespace velgard {

// A rectangle whose four edges all belong to it (Right and Bottom included).
struct tBMMRect {
    int Left = 0;
    int Top = 0;
    int Right = -1;
    int Bottom = -1;

    // The same rectangle with Left <= Right and Top <= Bottom.
    tBMMRect Normalized() const {
        tBMMRect r = *this;
        if (r.Left > r.Right) std::swap(r.Left, r.Right);
        if (r.Top > r.Bottom) std::swap(r.Top, r.Bottom);
        return r;
    }
    // Width and height counted with both edges (a normalised rectangle).
    long long Width() const { return static_cast<long long>(Right) - Left + 1; }
    long long Height() const { return static_cast<long long>(Bottom) - Top + 1; }
};

// A top-down 32-bit image: row 0 is the top, each pixel 0xFFRRGGBB (the
// layout of a window system's 32-bit RGB surface). It is what the off-screen
// canvas draws into and what screenshots are written from.
class tBMMImage32 {
public:
    tBMMImage32() = default;
    // Negative sizes count as 0. Every pixel becomes `fill`.
    tBMMImage32(int width, int height, std::uint32_t fill = 0xFF000000u) { Resize(width, height, fill); }

    // Changes the size; every pixel becomes `fill`.
    void Resize(int width, int height, std::uint32_t fill = 0xFF000000u) {
        width_ = width > 0 ? width : 0;
        height_ = height > 0 ? height : 0;
        if (width_ == 0 || height_ == 0) width_ = height_ = 0;
        pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), fill);
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return pixels_.empty(); }

    // Row y (0 = top); no range check.
    std::uint32_t* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_); }
    const std::uint32_t* Row(int y) const {
        return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
    }
    // Pixel (x, y); 0 outside the image.
    std::uint32_t Pixel(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
        return Row(y)[x];
    }
    const std::vector<std::uint32_t>& Pixels() const { return pixels_; }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// Colour table entries are RGBQUAD values: in memory blue, green, red, 0, so
// as a little-endian integer 0x00RRGGBB.
constexpr std::uint32_t BMMRgbQuad(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return (static_cast<std::uint32_t>(red) << 16) | (static_cast<std::uint32_t>(green) << 8) | blue;
}

}  // namespace velgard
