// Video generation: the text layer drawn from character memory and font
// into bit 3 of every pixel of a graphics page's bitmap, and the palette
// carried into the bitmap's colour table.
#include <array>
#include <bit>
#include <cstring>

#include "graphics/BMMBitmap.h"
#include "machine/EmuKorvet.h"

namespace velgard {

namespace {

// A glyph line of 8 pixels spread over the text bits of the bitmap bytes
// that hold them: bit 7 of a byte is its left pixel's text bit, bit 3 its
// right pixel's. Narrow: 4 bytes for 8 pixels; wide (32 columns): 8 bytes,
// each glyph pixel doubled. Kept as the bytes' in-memory image so that a
// glyph line is merged with one masked word operation.
template <typename Word, int Bytes>
struct TextTable {
    std::array<Word, 256> bits{};
    constexpr TextTable() {
        for (int g = 0; g < 256; ++g) {
            std::array<std::uint8_t, Bytes> b{};
            for (int k = 0; k < 8; ++k) {
                if (!((g >> (7 - k)) & 1)) continue;
                if (Bytes == 4) {
                    b[k / 2] = static_cast<std::uint8_t>(b[k / 2] | ((k & 1) ? 0x08 : 0x80));
                } else {
                    b[k] = 0x88;
                }
            }
            bits[g] = std::bit_cast<Word>(b);
        }
    }
};
constexpr TextTable<std::uint32_t, 4> kNarrow;
constexpr TextTable<std::uint64_t, 8> kWide;

// Merges `bits` into the text bits of the 8 bytes at `px`; returns the bits
// that changed.
inline std::uint64_t PutTextBits(std::uint8_t* px, std::uint64_t bits) {
    constexpr std::uint64_t kKeep = 0x7777777777777777ULL;
    std::uint64_t old;
    std::memcpy(&old, px, sizeof old);
    const std::uint64_t merged = (old & kKeep) | bits;
    std::memcpy(px, &merged, sizeof merged);
    return merged ^ old;
}

static_assert(std::endian::native == std::endian::little,
              "two narrow glyph lines are joined as the low and high half of a word");

}  // namespace

void tMemory_Korvet64Kb::RenderTextRow(int page, int row) {
    page &= 3;
    row &= 15;
    const bool wide = (systemRegister_ & 0x08) != 0;
    const int bank = (systemRegister_ & 0x04) ? 4096 : 0;
    std::uint8_t* const* lines = &rows_[page][row * 16];
    // The row's glyphs and inversions first, then the picture line by line,
    // eight bitmap bytes (two narrow cells or one wide one) a word.
    std::array<const std::uint8_t*, kTextColumns> glyph;
    std::array<std::uint8_t, kTextColumns> invert;
    for (int c = 0; c < kTextColumns; ++c) {
        const int n = row * kTextColumns + c;
        glyph[c] = &font_[bank + chars_[n * 2 + 1] * 16];
        invert[c] = (chars_[n * 2] & 0x80) ? 0xFF : 0x00;
    }
    std::uint64_t changed = 0;
    for (int j = 0; j < 16; ++j) {
        std::uint8_t* line = lines[j];
        if (wide) {
            // In 32-column mode only the even cells are shown, each 16
            // pixels wide.
            for (int c = 0; c < kTextColumns; c += 2) {
                const std::uint8_t g = static_cast<std::uint8_t>(glyph[c][j] ^ invert[c]);
                changed |= PutTextBits(line + c * 4, kWide.bits[g]);
            }
        } else {
            for (int c = 0; c < kTextColumns; c += 2) {
                const std::uint8_t g0 = static_cast<std::uint8_t>(glyph[c][j] ^ invert[c]);
                const std::uint8_t g1 = static_cast<std::uint8_t>(glyph[c + 1][j] ^ invert[c + 1]);
                const std::uint64_t bits = kNarrow.bits[g0] | (std::uint64_t{kNarrow.bits[g1]} << 32);
                changed |= PutTextBits(line + c * 4, bits);
            }
        }
    }
    if (changed != 0) dirty_ = true;
}

tBMMGDI4Bitmap& tMemory_Korvet64Kb::UpdateFrame() {
    const int p = ShownPage();
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << p);
    for (int r = 0; r < kTextRows; ++r) {
        if (textRowFlags_[r] & bit) {
            RenderTextRow(p, r);
            textRowFlags_[r] = static_cast<std::uint8_t>(textRowFlags_[r] & ~bit);
        }
    }
    if (paletteRefresh_[p]) {
        for (int i = 0; i < 16; ++i) {
            // Colour values are kept as red, green, blue bytes; the bitmap's
            // colour table wants blue, green, red.
            const std::uint32_t v = colourValues_[i];
            const std::uint32_t bgr = ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF) | (v & 0xFF000000u);
            bitmaps_[p]->SetPaletteEntry(i, bgr);
        }
        paletteRefresh_[p] = 0;
    }
    return *bitmaps_[p];
}

}  // namespace velgard
