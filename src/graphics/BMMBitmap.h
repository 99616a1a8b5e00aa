#pragma once
// The graphics library's bitmaps. The machine keeps each graphics memory page
// as one 512 x 256 tBMMGDI4Bitmap: 4 bits per pixel, the left pixel of a byte
// in the high nibble, rows stored bottom-up (the top row of the picture has
// the highest address) with a stride rounded up to a multiple of 4 bytes, and
// a 16-entry colour table of RGBQUAD values. The bitmap owns its pixel bytes
// and its colour table; canvases stretch it onto a surface.
//
// Class tree: tBMMBitmap -> tBMMDrawableBitmap -> tBMMGDIBitmap -> tBMMGDI4Bitmap.
// Each level writes its own part of the stream form after its parent's.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "graphics/BMMCommon.h"
#include "graphics/ByteStream.h"

namespace velgard {

// The format identifiers written into the stream form.
inline constexpr std::uint8_t kBMMFormatDrawable = 1;
inline constexpr std::uint8_t kBMMFormatGDI4 = 10;
// Format identifiers from this value on are unknown to the library.
inline constexpr std::uint8_t kBMMFormatLimit = 11;

class tBMMBitmap {
public:
    virtual ~tBMMBitmap() = default;
    tBMMBitmap(const tBMMBitmap&) = delete;
    tBMMBitmap& operator=(const tBMMBitmap&) = delete;

    // Allocates the pixel storage for width x height (negative sizes count
    // as 0). If `fill` is set, every byte of every row (padding included)
    // becomes `fillByte`. An unchanged size only does the fill. Returns false
    // (and leaves the bitmap empty) when the storage cannot be had.
    virtual bool SetSize(int width, int height, std::uint8_t fillByte, bool fill) = 0;
    // Releases the pixels: width = height = 0, empty.
    virtual void Clear();

    // Reads the stream form. The bitmap is cleared first; on any mismatch or
    // a short stream it is left empty and the result is false.
    bool LoadFromStream(tByteStream& stream);
    // Writes the stream form. An empty bitmap writes nothing and reports false.
    bool SaveToStream(tByteStream& stream) const;

    std::uint8_t FormatId() const { return formatId_; }
    int CreationParameter() const { return parameter_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Bytes per stored row, a multiple of 4.
    int Stride() const { return stride_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    // The pixel row with the lowest address (the bottom row of the picture);
    // null while empty.
    std::uint8_t* Bits() { return bits_; }
    const std::uint8_t* Bits() const { return bits_; }

    // Called whenever the pixel storage is re-established (after SetSize
    // with a new size, Clear, LoadFromStream): row pointers taken earlier
    // are no longer valid then.
    void SetChangeNotify(std::function<void()> notify) { notify_ = std::move(notify); }

protected:
    tBMMBitmap(std::uint8_t formatId, int parameter) : formatId_(formatId), parameter_(parameter) {}

    // The stream parts; each override calls its parent's first.
    virtual bool ReadFields(tByteStream& stream);
    virtual void WriteFields(tByteStream& stream) const;
    void NotifyChange() const {
        if (notify_) notify_();
    }

    std::uint8_t formatId_;
    int parameter_;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::uint8_t* bits_ = nullptr;

private:
    std::function<void()> notify_;
};

class tBMMDrawableBitmap : public tBMMBitmap {
public:
    bool Transparent() const { return transparent_; }
    std::uint32_t TransparentColor() const { return transparentColor_; }
    void SetTransparent(bool transparent, std::uint32_t color) {
        transparent_ = transparent;
        transparentColor_ = color;
    }

    // Draws the source rectangle of the bitmap into the destination rectangle
    // of `target`, stretching it (nearest neighbour). Both rectangles are
    // normalised first (edges inclusive). A source wholly outside the bitmap
    // or a destination wholly outside the target draws nothing and reports
    // true; an empty bitmap reports false.
    virtual bool DrawToCanvas(tBMMImage32& target, const tBMMRect& destination, const tBMMRect& source) const = 0;

protected:
    explicit tBMMDrawableBitmap(std::uint8_t formatId = kBMMFormatDrawable, int parameter = 0)
        : tBMMBitmap(formatId, parameter) {}
    bool ReadFields(tByteStream& stream) override;
    void WriteFields(tByteStream& stream) const override;

    bool transparent_ = false;
    std::uint32_t transparentColor_ = 0;
};

// A bitmap whose pixels are an owned block of bottom-up rows.
class tBMMGDIBitmap : public tBMMDrawableBitmap {
public:
    bool SetSize(int width, int height, std::uint8_t fillByte, bool fill) override;
    void Clear() override;
    int BitsPerPixel() const { return bitsPerPixel_; }

    // The largest pixel block a bitmap may have, in bytes.
    static constexpr std::size_t kMaxPixelBytes = std::size_t{1} << 28;

protected:
    tBMMGDIBitmap(std::uint8_t formatId, int parameter, int bitsPerPixel)
        : tBMMDrawableBitmap(formatId, parameter), bitsPerPixel_(bitsPerPixel) {}
    bool ReadFields(tByteStream& stream) override;
    void WriteFields(tByteStream& stream) const override;
    // Rebuilds the row pointers after the storage changed; overrides call
    // the parent's first. The change notification follows it.
    virtual void SetupRows();
    // Bytes per row for `width` pixels at this format, rounded up to 4.
    std::size_t StrideFor(int width) const;

    int bitsPerPixel_;
    std::vector<std::uint8_t> pixels_;
};

class tBMMGDI4Bitmap final : public tBMMGDIBitmap {
public:
    static constexpr int kColors = 16;

    explicit tBMMGDI4Bitmap(int parameter = 0);

    // The row table: entry 0 is the bottom row of the picture, entry
    // Height() - 1 the top row. Valid until the next SetSize or Clear.
    std::span<std::uint8_t* const> RowTable() const { return rows_; }
    // Row y of the picture counted from the top (y = 0 is the top row),
    // i.e. RowTable()[Height() - 1 - y]; null outside the bitmap.
    std::uint8_t* ScanLine(int y) {
        return y >= 0 && y < height_ ? rows_[static_cast<std::size_t>(height_ - 1 - y)] : nullptr;
    }
    const std::uint8_t* ScanLine(int y) const {
        return y >= 0 && y < height_ ? rows_[static_cast<std::size_t>(height_ - 1 - y)] : nullptr;
    }
    // The colour index of pixel (x, y), y = 0 at the top; 0 outside.
    std::uint8_t Pixel(int x, int y) const;
    // Sets pixel (x, y) to colour index `index` (low 4 bits); ignored outside.
    void SetPixel(int x, int y, std::uint8_t index);

    // Stores an RGBQUAD value (0x00RRGGBB) for colour index 0-15; other
    // indexes are ignored.
    void SetPaletteEntry(int index, std::uint32_t color);
    std::uint32_t PaletteEntry(int index) const {
        return index >= 0 && index < kColors ? colors_[static_cast<std::size_t>(index)] : 0;
    }
    const std::array<std::uint32_t, kColors>& ColorTable() const { return colors_; }

    bool DrawToCanvas(tBMMImage32& target, const tBMMRect& destination, const tBMMRect& source) const override;

protected:
    bool ReadFields(tByteStream& stream) override;
    void WriteFields(tByteStream& stream) const override;
    void SetupRows() override;

private:
    std::vector<std::uint8_t*> rows_;
    std::array<std::uint32_t, kColors> colors_{};
    // Source column of each destination column, kept between draws so that
    // drawing a frame of the same size allocates nothing.
    mutable std::vector<int> columns_;
    // DrawToCanvas at the bitmap's own size, wholly inside both, from an
    // even column.
    void CopyOneToOne(tBMMImage32& target, const tBMMRect& dst, const tBMMRect& src,
                      const std::array<std::uint32_t, kColors>& rgb) const;
};

}  // namespace velgard
