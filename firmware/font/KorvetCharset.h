#pragma once
// The character set of Velgard's font: for every code of bank 0 the Unicode
// character whose glyph is drawn for it. Shared by the font generator and
// its tests, so that both agree on what every code should show.
//
// Bank 0 follows the Korvet's KOI-8 style code page:
//   0x00        blank
//   0x01-0x1F   symbols and arrows (printable only by writing character memory)
//   0x20-0x7E   ASCII, 0x7F a house sign
//   0x80-0xBF   box drawing and block elements (KOI-8 positions where KOI-8
//               has a line or block character there)
//   0xC0-0xDF   lower-case Cyrillic in the order of the keyboard legends
//   0xE0-0xFF   the same letters in upper case
// Bank 1 is generated (2 x 4 mosaic blocks, see MosaicGlyph) and has no table.
#include <array>
#include <cstdint>

namespace velgard::font {

inline constexpr std::array<char32_t, 32> kLowControlSymbols = {
    0,      U'☺', U'☻', U'♦', U'•', U'◈', U'●', U'¤',  // 00-07
    U'←', U'→', U'↑', U'↓', U'↔', U'↕', U'↨', U'▲',  // 08-0F
    U'▶', U'▼', U'◀', U'‼', U'¶', U'§', U'∟', U'°',  // 10-17
    U'±', U'²', U'·', U'÷', U'≤', U'≥', U'√', U'≈',  // 18-1F
};

inline constexpr std::array<char32_t, 64> kPseudoGraphics = {
    U'─', U'│', U'┌', U'┐', U'└', U'┘', U'├', U'┤',  // 80-87
    U'┬', U'┴', U'┼', U'▀', U'▄', U'█', U'▌', U'▐',  // 88-8F
    U'░', U'▒', U'▓', U'▖', U'■', U'▗', U'▘', U'▝',  // 90-97
    U'▙', U'▛', U'▜', U'▟', U'▚', U'▞', U'▁', U'▔',  // 98-9F
    U'═', U'║', U'╒', U'▏', U'╓', U'╔', U'╕', U'╖',  // A0-A7
    U'╗', U'╘', U'╙', U'╚', U'╛', U'╜', U'╝', U'╞',  // A8-AF
    U'╟', U'╠', U'╡', U'▕', U'╢', U'╣', U'╤', U'╥',  // B0-B7
    U'╦', U'╧', U'╨', U'╩', U'╪', U'╫', U'╬', U'╳',  // B8-BF
};

// The 32 letters in the order of the keys of rows 0-3 (Ю А Б Ц ... Ч Ъ).
inline constexpr std::array<char32_t, 32> kCyrillicLower = {
    U'ю', U'а', U'б', U'ц', U'д', U'е', U'ф', U'г',
    U'х', U'и', U'й', U'к', U'л', U'м', U'н', U'о',
    U'п', U'я', U'р', U'с', U'т', U'у', U'ж', U'в',
    U'ь', U'ы', U'з', U'ш', U'э', U'щ', U'ч', U'ъ',
};

inline constexpr std::array<char32_t, 32> kCyrillicUpper = {
    U'Ю', U'А', U'Б', U'Ц', U'Д', U'Е', U'Ф', U'Г',
    U'Х', U'И', U'Й', U'К', U'Л', U'М', U'Н', U'О',
    U'П', U'Я', U'Р', U'С', U'Т', U'У', U'Ж', U'В',
    U'Ь', U'Ы', U'З', U'Ш', U'Э', U'Щ', U'Ч', U'Ъ',
};

// Unicode character of bank 0 code `code`; 0 means a blank glyph.
constexpr char32_t Bank0Char(std::uint8_t code) {
    if (code < 0x20) return kLowControlSymbols[code];
    if (code < 0x7F) return code;
    if (code == 0x7F) return U'⌂';
    if (code < 0xC0) return kPseudoGraphics[code - 0x80];
    if (code < 0xE0) return kCyrillicLower[code - 0xC0];
    return kCyrillicUpper[code - 0xE0];
}

// Bank 1: 2 x 4 mosaic. The glyph is cut into 8 cells of 4 pixels by
// 4 scan lines; bit 2r of the code lights the left cell of cell row r
// (r = 0 at the top), bit 2r + 1 the right one.
constexpr std::array<std::uint8_t, 16> MosaicGlyph(std::uint8_t code) {
    std::array<std::uint8_t, 16> g{};
    for (int line = 0; line < 16; ++line) {
        const int r = line / 4;
        std::uint8_t bits = 0;
        if (code & (1u << (2 * r))) bits |= 0xF0;
        if (code & (1u << (2 * r + 1))) bits |= 0x0F;
        g[static_cast<std::size_t>(line)] = bits;
    }
    return g;
}

}  // namespace velgard::font
