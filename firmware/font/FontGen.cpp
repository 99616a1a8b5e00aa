// velgard-fontgen: builds the 8192-byte character font of the machine.
// Bank 0 takes its glyphs from a console font through the character table
// of KorvetCharset.h; bank 1 is the 2 x 4 mosaic set.
//
//   velgard-fontgen FONT.psf[.gz] OUTPUT.bin
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "font/KorvetCharset.h"
#include "font/Psf.h"

using namespace velgard::font;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velgard-fontgen FONT.psf[.gz] OUTPUT.bin\n");
        return 2;
    }
    tPsfFont psf;
    std::string error;
    if (!psf.Load(argv[1], &error)) {
        std::fprintf(stderr, "velgard-fontgen: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::vector<std::uint8_t> out(8192, 0);
    int missing = 0;
    for (int code = 1; code < 256; ++code) {
        const char32_t ch = Bank0Char(static_cast<std::uint8_t>(code));
        if (ch == 0) continue;
        // Geometric block elements are always drawn by rule, so that the
        // mosaic and block characters line up exactly.
        auto glyph = SynthesisedBlock(ch);
        if (!glyph) glyph = psf.Find(ch);
        if (!glyph) {
            std::fprintf(stderr, "velgard-fontgen: no glyph for code %02X (U+%04X)\n", code,
                         static_cast<unsigned>(ch));
            ++missing;
            continue;
        }
        for (int j = 0; j < 16; ++j) out[static_cast<std::size_t>(code * 16 + j)] = (*glyph)[static_cast<std::size_t>(j)];
    }
    if (missing) return 1;
    for (int code = 0; code < 256; ++code) {
        const auto g = MosaicGlyph(static_cast<std::uint8_t>(code));
        for (int j = 0; j < 16; ++j) out[static_cast<std::size_t>(4096 + code * 16 + j)] = g[static_cast<std::size_t>(j)];
    }
    const std::string tmp = std::string(argv[2]) + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
        if (!f) {
            std::fprintf(stderr, "velgard-fontgen: cannot write %s\n", tmp.c_str());
            return 1;
        }
    }
    if (std::rename(tmp.c_str(), argv[2]) != 0) {
        std::fprintf(stderr, "velgard-fontgen: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
