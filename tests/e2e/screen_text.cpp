// velgard-screen-text WINDOW.xwd: reads the Korvet screen out of an X window
// dump of the desktop program (xwd -id) and prints its 16 text rows, the
// characters recognised by the built-in font. Letters whose glyphs are the
// same (Latin "a" and Cyrillic "а") read as the one of the lower code;
// `--canon TEXT` prints a text the same way, so the two can be compared.
// With --colours it prints the number of distinct colours on the screen.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "KorvetCharset.h"
#include "machine/RomImages.h"
#include "machine/Utf8.h"
#include "ui/ScreenCanvas.h"

namespace {

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0xRRGGBB
    std::uint32_t At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0;
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

std::uint32_t Be32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return (std::uint32_t{d[at]} << 24) | (std::uint32_t{d[at + 1]} << 16) | (std::uint32_t{d[at + 2]} << 8) | d[at + 3];
}

// An XWD file of a TrueColor window, 24 or 32 bits per pixel, ZPixmap.
bool ReadXwd(const char* path, Image& image, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (d.size() < 100) return error = "not an XWD file", false;
    const std::uint32_t headerSize = Be32(d, 0), version = Be32(d, 4), format = Be32(d, 8);
    const std::uint32_t width = Be32(d, 16), height = Be32(d, 20), byteOrder = Be32(d, 28);
    const std::uint32_t bpp = Be32(d, 44), bytesPerLine = Be32(d, 48), ncolors = Be32(d, 76);
    if (version != 7 || format != 2 || (bpp != 32 && bpp != 24)) return error = "unsupported XWD layout", false;
    const std::size_t start = headerSize + std::size_t{ncolors} * 12;
    if (start + std::size_t{bytesPerLine} * height > d.size()) return error = "truncated XWD file", false;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.resize(std::size_t{width} * height);
    const std::size_t step = bpp / 8;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t* p = &d[start + std::size_t{y} * bytesPerLine + x * step];
            std::uint32_t v = 0;
            if (byteOrder == 0) {  // LSBFirst
                v = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
            } else {
                v = step == 4 ? (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3]
                              : (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
            }
            image.pixels[std::size_t{y} * width + x] = v & 0xFFFFFF;
        }
    }
    return true;
}

// For every code, the lowest code with the same glyph.
std::array<std::uint8_t, 256> Canonical(std::span<const std::uint8_t> font) {
    std::array<std::uint8_t, 256> canon{};
    for (int code = 0; code < 256; ++code) {
        canon[static_cast<std::size_t>(code)] = static_cast<std::uint8_t>(code);
        for (int other = 0; other < code; ++other) {
            if (std::equal(font.begin() + other * 16, font.begin() + other * 16 + 16, font.begin() + code * 16)) {
                canon[static_cast<std::size_t>(code)] = static_cast<std::uint8_t>(other);
                break;
            }
        }
    }
    return canon;
}

}  // namespace

int main(int argc, char** argv) {
    const bool colours = argc == 3 && std::string(argv[1]) == "--colours";
    const bool canonOnly = argc == 3 && std::string(argv[1]) == "--canon";
    if (argc != 2 && !colours && !canonOnly) {
        std::fprintf(stderr, "usage: velgard-screen-text [--colours] WINDOW.xwd | --canon TEXT\n");
        return 2;
    }
    velgard::tRomImages roms;
    const auto font = roms.Font();
    const auto canon = Canonical(font);
    if (canonOnly) {
        std::u32string text;
        if (!velgard::DecodeUtf8(argv[2], text)) return 2;
        std::string out;
        for (char32_t ch : text) {
            char32_t shown = ch;
            for (int code = 0; code < 256; ++code) {
                if (velgard::font::Bank0Char(static_cast<std::uint8_t>(code)) == ch) {
                    shown = velgard::font::Bank0Char(canon[static_cast<std::size_t>(code)]);
                    break;
                }
            }
            velgard::AppendUtf8(out, shown == 0 ? U' ' : shown);
        }
        std::printf("%s\n", out.c_str());
        return 0;
    }
    Image image;
    std::string error;
    if (!ReadXwd(argv[argc - 1], image, error)) {
        std::fprintf(stderr, "velgard-screen-text: %s\n", error.c_str());
        return 1;
    }
    // The centre panel: the rows whose first pixel is black, below the
    // first wholly black row.
    int top = -1;
    for (int y = 0; y < image.height && top < 0; ++y) {
        bool black = true;
        for (int x = 0; x < image.width && black; ++x) black = image.At(x, y) == 0;
        if (black) top = y;
    }
    if (top < 0) {
        std::fprintf(stderr, "velgard-screen-text: no screen panel in the picture\n");
        return 1;
    }
    int bottom = top;
    while (bottom + 1 < image.height && image.At(0, bottom + 1) == 0) ++bottom;
    const QRect r = velgard::ui::ScreenRect(image.width, bottom - top + 1);
    auto pixel = [&](int x, int y) {  // Korvet pixel (x, y) of 512 x 256
        return image.At(r.x() + x * r.width() / 512, top + r.y() + y * r.height() / 256);
    };
    if (colours) {
        std::set<std::uint32_t> seen;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 512; ++x) seen.insert(pixel(x, y));
        std::printf("%zu\n", seen.size());
        return 0;
    }
    for (int row = 0; row < 16; ++row) {
        std::string line;
        for (int col = 0; col < 64; ++col) {
            std::array<std::uint8_t, 16> cell{};
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 8; ++x)
                    if (pixel(col * 8 + x, row * 16 + y) != 0) cell[static_cast<std::size_t>(y)] |= 0x80 >> x;
            // The glyph of bank 0 nearest to the cell, plain or inverted
            // (the cursor).
            int best = 0, bestDistance = 1000;
            for (int code = 0; code < 256; ++code) {
                int plain = 0, inverted = 0;
                for (int y = 0; y < 16; ++y) {
                    const std::uint8_t g = font[static_cast<std::size_t>(code * 16 + y)];
                    plain += __builtin_popcount(g ^ cell[static_cast<std::size_t>(y)]);
                    inverted += __builtin_popcount(static_cast<std::uint8_t>(~g) ^ cell[static_cast<std::size_t>(y)]);
                }
                const int d = std::min(plain, inverted);
                if (d < bestDistance) bestDistance = d, best = code;
            }
            const char32_t ch = bestDistance > 10 ? U'?' : velgard::font::Bank0Char(static_cast<std::uint8_t>(best));
            velgard::AppendUtf8(line, ch == 0 ? U' ' : ch);
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::printf("%s\n", line.c_str());
    }
    return 0;
}
