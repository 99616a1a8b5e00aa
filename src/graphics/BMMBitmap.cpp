#include "graphics/BMMBitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace velgard {

namespace {

constexpr std::uint8_t kMagic[8] = {'B', 'M', 'B', 'I', 'T', 'M', 'A', 'P'};
constexpr std::uint8_t kVersion = 0;

bool ReadVersion(tByteStream& s) {
    std::uint8_t v;
    return s.ReadU8(v) && v == kVersion;
}

}  // namespace

// ---- tBMMBitmap ------------------------------------------------------------

void tBMMBitmap::Clear() {
    width_ = height_ = stride_ = 0;
    bits_ = nullptr;
    NotifyChange();
}

bool tBMMBitmap::LoadFromStream(tByteStream& stream) {
    Clear();
    if (ReadFields(stream)) return true;
    Clear();
    return false;
}

bool tBMMBitmap::SaveToStream(tByteStream& stream) const {
    if (Empty()) return false;
    WriteFields(stream);
    return true;
}

bool tBMMBitmap::ReadFields(tByteStream& s) {
    std::uint8_t magic[8];
    if (!s.Read(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0) return false;
    if (!ReadVersion(s)) return false;
    std::int32_t format;
    if (!s.ReadI32(format)) return false;
    return format >= 0 && format < kBMMFormatLimit && format == formatId_;
}

void tBMMBitmap::WriteFields(tByteStream& s) const {
    s.Write(kMagic, sizeof kMagic);
    s.WriteU8(kVersion);
    s.WriteI32(formatId_);
}

// ---- tBMMDrawableBitmap ----------------------------------------------------

bool tBMMDrawableBitmap::ReadFields(tByteStream& s) {
    if (!tBMMBitmap::ReadFields(s)) return false;
    if (!ReadVersion(s)) return false;
    std::uint8_t flag;
    std::uint32_t color;
    if (!s.ReadU8(flag) || flag >= 2) return false;
    if (!s.ReadU32(color)) return false;
    transparent_ = flag != 0;
    transparentColor_ = color;
    return true;
}

void tBMMDrawableBitmap::WriteFields(tByteStream& s) const {
    tBMMBitmap::WriteFields(s);
    s.WriteU8(kVersion);
    s.WriteU8(transparent_ ? 1 : 0);
    s.WriteU32(transparentColor_);
}

// ---- tBMMGDIBitmap ---------------------------------------------------------

std::size_t tBMMGDIBitmap::StrideFor(int width) const {
    const std::size_t bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel_);
    return (bits + 31) / 32 * 4;
}

bool tBMMGDIBitmap::SetSize(int width, int height, std::uint8_t fillByte, bool fill) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == 0 || height == 0) width = height = 0;
    if (width == width_ && height == height_) {
        if (fill) std::fill(pixels_.begin(), pixels_.end(), fillByte);
        return true;
    }
    pixels_.clear();
    pixels_.shrink_to_fit();
    width_ = height_ = stride_ = 0;
    bits_ = nullptr;
    if (width != 0) {
        const std::size_t stride = StrideFor(width);
        if (stride > kMaxPixelBytes || static_cast<std::size_t>(height) > kMaxPixelBytes / stride) {
            SetupRows();
            NotifyChange();
            return false;
        }
        try {
            pixels_.assign(stride * static_cast<std::size_t>(height), fill ? fillByte : std::uint8_t{0});
        } catch (const std::bad_alloc&) {
            pixels_.clear();
            SetupRows();
            NotifyChange();
            return false;
        }
        width_ = width;
        height_ = height;
        stride_ = static_cast<int>(stride);
        bits_ = pixels_.data();
    }
    SetupRows();
    NotifyChange();
    return true;
}

void tBMMGDIBitmap::Clear() {
    pixels_.clear();
    pixels_.shrink_to_fit();
    width_ = height_ = stride_ = 0;
    bits_ = nullptr;
    SetupRows();
    tBMMDrawableBitmap::Clear();
}

void tBMMGDIBitmap::SetupRows() {}

bool tBMMGDIBitmap::ReadFields(tByteStream& s) {
    if (!tBMMDrawableBitmap::ReadFields(s)) return false;
    if (!ReadVersion(s)) return false;
    std::int32_t width, height, check;
    if (!s.ReadI32(width) || !s.ReadI32(height) || !s.ReadI32(check)) return false;
    if (width < 0 || height < 0) return false;
    if (static_cast<std::int64_t>(width) * height != check) return false;
    // A record without pixels is never written; loading one would leave an
    // empty bitmap behind a successful load.
    if (width == 0 || height == 0) return false;
    // The rows must be in the stream before any storage is taken for them.
    const std::size_t stride = StrideFor(width);
    if (stride > kMaxPixelBytes || static_cast<std::size_t>(height) > kMaxPixelBytes / stride) return false;
    const std::size_t bytes = stride * static_cast<std::size_t>(height);
    if (s.Remaining() < bytes) return false;
    if (!SetSize(width, height, 0, false)) return false;
    // The change notification may have re-established other storage.
    if (width_ != width || height_ != height || pixels_.size() != bytes) return false;
    return s.Read(pixels_.data(), bytes);
}

void tBMMGDIBitmap::WriteFields(tByteStream& s) const {
    tBMMDrawableBitmap::WriteFields(s);
    s.WriteU8(kVersion);
    s.WriteI32(width_);
    s.WriteI32(height_);
    s.WriteI32(width_ * height_);
    s.Write(pixels_.data(), pixels_.size());
}

// ---- tBMMGDI4Bitmap --------------------------------------------------------

tBMMGDI4Bitmap::tBMMGDI4Bitmap(int parameter) : tBMMGDIBitmap(kBMMFormatGDI4, parameter, 4) {}

void tBMMGDI4Bitmap::SetupRows() {
    tBMMGDIBitmap::SetupRows();
    rows_.assign(static_cast<std::size_t>(height_), nullptr);
    for (int r = 0; r < height_; ++r) {
        rows_[static_cast<std::size_t>(r)] = bits_ + static_cast<std::size_t>(r) * static_cast<std::size_t>(stride_);
    }
}

std::uint8_t tBMMGDI4Bitmap::Pixel(int x, int y) const {
    if (x < 0 || x >= width_) return 0;
    const std::uint8_t* row = ScanLine(y);
    if (!row) return 0;
    const std::uint8_t b = row[x >> 1];
    return (x & 1) ? (b & 0x0F) : (b >> 4);
}

void tBMMGDI4Bitmap::SetPixel(int x, int y, std::uint8_t index) {
    if (x < 0 || x >= width_) return;
    std::uint8_t* row = ScanLine(y);
    if (!row) return;
    std::uint8_t& b = row[x >> 1];
    index &= 0x0F;
    b = (x & 1) ? static_cast<std::uint8_t>((b & 0xF0) | index) : static_cast<std::uint8_t>((b & 0x0F) | (index << 4));
}

void tBMMGDI4Bitmap::SetPaletteEntry(int index, std::uint32_t color) {
    if (index < 0 || index >= kColors) return;
    colors_[static_cast<std::size_t>(index)] = color;
}

bool tBMMGDI4Bitmap::ReadFields(tByteStream& s) {
    if (!tBMMGDIBitmap::ReadFields(s)) return false;
    if (!ReadVersion(s)) return false;
    std::array<std::uint32_t, kColors> colors{};
    for (auto& c : colors) {
        if (!s.ReadU32(c)) return false;
    }
    colors_ = colors;
    return true;
}

void tBMMGDI4Bitmap::WriteFields(tByteStream& s) const {
    tBMMGDIBitmap::WriteFields(s);
    s.WriteU8(kVersion);
    for (std::uint32_t c : colors_) s.WriteU32(c);
}

// A byte of two pixels becomes a word of two colours from a table, with no
// column arithmetic. Kept apart from the stretching loop, which it would
// otherwise crowd.
__attribute__((noinline)) void tBMMGDI4Bitmap::CopyOneToOne(tBMMImage32& target, const tBMMRect& dst,
                                                            const tBMMRect& src,
                                                            const std::array<std::uint32_t, kColors>& rgb) const {
    static_assert(std::endian::native == std::endian::little, "the left pixel is the word's low half");
    std::array<std::uint64_t, 256> pairs;
    for (unsigned b = 0; b < 256; ++b) pairs[b] = rgb[b >> 4] | (std::uint64_t{rgb[b & 0x0F]} << 32);
    const int bytes = src.Width() / 2;
    for (int y = dst.Top; y <= dst.Bottom; ++y) {
        const std::uint8_t* row = ScanLine(src.Top + (y - dst.Top)) + src.Left / 2;
        std::uint32_t* out = target.Row(y) + dst.Left;
        for (int i = 0; i < bytes; ++i) std::memcpy(out + 2 * i, &pairs[row[i]], sizeof(std::uint64_t));
    }
}

bool tBMMGDI4Bitmap::DrawToCanvas(tBMMImage32& target, const tBMMRect& destination, const tBMMRect& source) const {
    if (Empty()) return false;
    const tBMMRect dst = destination.Normalized();
    const tBMMRect src = source.Normalized();
    // Wholly outside: nothing to draw, which is no failure.
    if (src.Right < 0 || src.Bottom < 0 || src.Left >= width_ || src.Top >= height_) return true;
    if (dst.Right < 0 || dst.Bottom < 0 || dst.Left >= target.Width() || dst.Top >= target.Height()) return true;

    // Nearest neighbour: destination pixel d of the rectangle shows source
    // pixel src.Left + d * srcWidth / dstWidth. Destination pixels outside
    // the target, and those whose source pixel lies outside the bitmap, are
    // left alone.
    const long long dw = dst.Width(), dh = dst.Height();
    const long long sw = src.Width(), sh = src.Height();
    const int x0 = std::max(dst.Left, 0), x1 = std::min(dst.Right, target.Width() - 1);
    const int y0 = std::max(dst.Top, 0), y1 = std::min(dst.Bottom, target.Height() - 1);

    std::array<std::uint32_t, kColors> rgb;
    for (int i = 0; i < kColors; ++i) rgb[static_cast<std::size_t>(i)] = 0xFF000000u | (colors_[static_cast<std::size_t>(i)] & 0x00FFFFFFu);

    // The same size, wholly inside both, from an even column: the picture
    // at its own size, the common case.
    if (dw == sw && dh == sh && (src.Left & 1) == 0 && (sw & 1) == 0 && src.Left >= 0 && src.Top >= 0 &&
        src.Right < width_ && src.Bottom < height_ && dst.Left >= 0 && dst.Top >= 0 &&
        dst.Right < target.Width() && dst.Bottom < target.Height()) {
        CopyOneToOne(target, dst, src, rgb);
        return true;
    }

    // Source column of every destination column, -1 when outside the bitmap.
    std::vector<int>& columns = columns_;
    columns.resize(static_cast<std::size_t>(x1 - x0 + 1));
    for (int x = x0; x <= x1; ++x) {
        const long long sx = src.Left + (static_cast<long long>(x) - dst.Left) * sw / dw;
        columns[static_cast<std::size_t>(x - x0)] = (sx >= 0 && sx < width_) ? static_cast<int>(sx) : -1;
    }
    for (int y = y0; y <= y1; ++y) {
        const long long sy = src.Top + (static_cast<long long>(y) - dst.Top) * sh / dh;
        if (sy < 0 || sy >= height_) continue;
        const std::uint8_t* row = ScanLine(static_cast<int>(sy));
        std::uint32_t* out = target.Row(y);
        for (int x = x0; x <= x1; ++x) {
            const int sx = columns[static_cast<std::size_t>(x - x0)];
            if (sx < 0) continue;
            const std::uint8_t b = row[sx >> 1];
            out[x] = rgb[(sx & 1) ? (b & 0x0F) : (b >> 4)];
        }
    }
    return true;
}

}  // namespace velgard
