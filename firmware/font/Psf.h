#pragma once
// A reader for Linux console fonts (PSF1 and PSF2, optionally gzip
// compressed) that keeps the Unicode table, and the synthesised block
// elements the Velgard font uses where a console font lacks them.
#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velgard::font {

using Glyph = std::array<std::uint8_t, 16>;

class tPsfFont {
public:
    // Reads `path`; a name ending in ".gz" is decompressed with `gzip -dc`.
    // Only 8-pixel-wide, 16-line fonts with a Unicode table are accepted.
    bool Load(const std::string& path, std::string* error) {
        std::vector<std::uint8_t> data;
        if (!ReadAll(path, data, error)) return false;
        return Parse(data, error);
    }

    // The glyph drawn for `ch`, if the font has one.
    std::optional<Glyph> Find(char32_t ch) const {
        auto it = map_.find(ch);
        if (it == map_.end()) return std::nullopt;
        return glyphs_[it->second];
    }

private:
    static bool ReadAll(const std::string& path, std::vector<std::uint8_t>& data,
                        std::string* error) {
        const bool gz = path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
        FILE* f = nullptr;
        if (gz) {
            std::string cmd = "gzip -dc '";
            for (char c : path) {
                if (c == '\'') cmd += "'\\''"; else cmd += c;
            }
            cmd += "'";
            f = popen(cmd.c_str(), "r");
        } else {
            f = std::fopen(path.c_str(), "rb");
        }
        if (!f) {
            if (error) *error = "cannot open " + path;
            return false;
        }
        std::uint8_t buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
        const int rc = gz ? pclose(f) : std::fclose(f);
        if (rc != 0 || data.empty()) {
            if (error) *error = "cannot read " + path;
            return false;
        }
        return true;
    }

    static std::uint32_t Le32(const std::vector<std::uint8_t>& d, std::size_t at) {
        return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (std::uint32_t(d[at + 3]) << 24);
    }

    bool Parse(const std::vector<std::uint8_t>& d, std::string* error) {
        auto fail = [&](const char* why) {
            if (error) *error = why;
            return false;
        };
        std::size_t count = 0, charSize = 0, offset = 0;
        bool psf2 = false;
        if (d.size() >= 4 && d[0] == 0x36 && d[1] == 0x04) {
            if (!(d[2] & 0x02)) return fail("the font has no Unicode table");
            count = (d[2] & 0x01) ? 512 : 256;
            charSize = d[3];
            offset = 4;
        } else if (d.size() >= 32 && Le32(d, 0) == 0x864AB572u) {
            psf2 = true;
            offset = Le32(d, 8);
            if (!(Le32(d, 12) & 1)) return fail("the font has no Unicode table");
            count = Le32(d, 16);
            charSize = Le32(d, 20);
            if (Le32(d, 24) != 16 || Le32(d, 28) != 8) return fail("not an 8 x 16 font");
        } else {
            return fail("not a PSF console font");
        }
        if (charSize != 16) return fail("not an 8 x 16 font");
        if (count == 0 || count > 4096 || offset + count * charSize > d.size())
            return fail("truncated font");
        glyphs_.resize(count);
        for (std::size_t g = 0; g < count; ++g)
            for (std::size_t j = 0; j < 16; ++j) glyphs_[g][j] = d[offset + g * charSize + j];

        std::size_t p = offset + count * charSize;
        std::size_t g = 0;
        bool inSequence = false;
        while (g < count && p < d.size()) {
            if (!psf2) {
                if (p + 1 >= d.size()) break;
                const std::uint16_t v = static_cast<std::uint16_t>(d[p] | (d[p + 1] << 8));
                p += 2;
                if (v == 0xFFFF) { ++g; inSequence = false; }
                else if (v == 0xFFFE) inSequence = true;
                else if (!inSequence) map_.emplace(v, g);
            } else {
                const std::uint8_t b = d[p];
                if (b == 0xFF) { ++g; ++p; inSequence = false; continue; }
                if (b == 0xFE) { inSequence = true; ++p; continue; }
                char32_t cp = 0;
                int extra = 0;
                if (b < 0x80) cp = b;
                else if ((b & 0xE0) == 0xC0) { cp = b & 0x1F; extra = 1; }
                else if ((b & 0xF0) == 0xE0) { cp = b & 0x0F; extra = 2; }
                else if ((b & 0xF8) == 0xF0) { cp = b & 0x07; extra = 3; }
                else return fail("bad UTF-8 in the Unicode table");
                ++p;
                for (int k = 0; k < extra; ++k, ++p) {
                    if (p >= d.size() || (d[p] & 0xC0) != 0x80) return fail("bad UTF-8 in the Unicode table");
                    cp = (cp << 6) | (d[p] & 0x3F);
                }
                if (!inSequence) map_.emplace(cp, g);
            }
        }
        if (map_.empty()) return fail("empty Unicode table");
        return true;
    }

    std::vector<Glyph> glyphs_;
    std::map<char32_t, std::size_t> map_;
};

// Block elements (U+2580-U+259F) are pure geometry; console fonts often lack
// some of them, so they are drawn here. Returns nothing for other characters.
inline std::optional<Glyph> SynthesisedBlock(char32_t ch) {
    Glyph g{};
    // quadrant bits: 1 upper left, 2 upper right, 4 lower left, 8 lower right
    auto quadrants = [&](int q) {
        for (int j = 0; j < 16; ++j) {
            const bool upper = j < 8;
            std::uint8_t b = 0;
            if (q & (upper ? 1 : 4)) b |= 0xF0;
            if (q & (upper ? 2 : 8)) b |= 0x0F;
            g[static_cast<std::size_t>(j)] = b;
        }
        return g;
    };
    switch (ch) {
        case U'▀': return quadrants(1 | 2);
        case U'▄': return quadrants(4 | 8);
        case U'█': return quadrants(15);
        case U'▌': return quadrants(1 | 4);
        case U'▐': return quadrants(2 | 8);
        case U'▖': return quadrants(4);
        case U'▗': return quadrants(8);
        case U'▘': return quadrants(1);
        case U'▝': return quadrants(2);
        case U'▙': return quadrants(1 | 4 | 8);
        case U'▛': return quadrants(1 | 2 | 4);
        case U'▜': return quadrants(1 | 2 | 8);
        case U'▟': return quadrants(2 | 4 | 8);
        case U'▚': return quadrants(1 | 8);
        case U'▞': return quadrants(2 | 4);
        case U'▁': g[14] = g[15] = 0xFF; return g;
        case U'▔': g[0] = g[1] = 0xFF; return g;
        case U'▏': for (auto& b : g) b = 0x80; return g;
        case U'▕': for (auto& b : g) b = 0x01; return g;
        case U'▓':
            for (int j = 0; j < 16; ++j) g[static_cast<std::size_t>(j)] = (j & 1) ? 0xDD : 0x77;
            return g;
        default: return std::nullopt;
    }
}

}  // namespace velgard::font
