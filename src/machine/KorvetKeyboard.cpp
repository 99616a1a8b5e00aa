#include "machine/KorvetKeyboard.h"

#include <array>

namespace velgard {

namespace {

// A key of the picture: position in the matrix, rectangle, and the PC keys
// (virtual-key codes, 0 = none) that press it.
struct tKeyDef {
    std::uint8_t Row;
    std::uint8_t Column;
    std::int16_t Left;
    std::int16_t Top;
    std::uint16_t Width;
    std::uint16_t Height;
    std::uint16_t Vk1;
    std::uint16_t Vk2;
};

// clang-format off
constexpr tKeyDef kKeys[] = {
    // Row 0: Ю@ АA БB ЦC ДD ЕE ФF ГG
    {0, 0, 259, 100, 26, 26, vk::kOem7, 0},
    {0, 1, 122,  75, 26, 26, 'A', 0},
    {0, 2, 234, 100, 26, 26, 'B', 0},
    {0, 3,  63,  50, 26, 26, 'C', 0},
    {0, 4, 247,  75, 26, 26, 'D', 0},
    {0, 5, 138,  50, 26, 26, 'E', 0},
    {0, 6,  47,  75, 26, 26, 'F', 0},
    {0, 7, 188,  50, 26, 26, 'G', 0},
    // Row 1: ХH ИI ЙJ КK ЛL МM НN ОO
    {1, 0, 288,  50, 26, 26, 'H', 0},
    {1, 1, 159, 100, 26, 26, 'I', 0},
    {1, 2,  38,  50, 26, 26, 'J', 0},
    {1, 3, 113,  50, 26, 26, 'K', 0},
    {1, 4, 222,  75, 26, 26, 'L', 0},
    {1, 5, 134, 100, 26, 26, 'M', 0},
    {1, 6, 163,  50, 26, 26, 'N', 0},
    {1, 7, 197,  75, 26, 26, 'O', 0},
    // Row 2: ПP ЯQ РR СS ТT УU ЖV ВW
    {2, 0, 147,  75, 26, 26, 'P', 0},
    {2, 1,  59, 100, 26, 26, 'Q', 0},
    {2, 2, 172,  75, 26, 26, 'R', 0},
    {2, 3, 109, 100, 26, 26, 'S', 0},
    {2, 4, 184, 100, 26, 26, 'T', 0},
    {2, 5,  88,  50, 26, 26, 'U', 0},
    {2, 6, 272,  75, 26, 26, 'V', 0},
    {2, 7,  97,  75, 26, 26, 'W', 0},
    // Row 3: ЬX ЫY ЗZ Ш[ Э\ Щ] Ч^ Ъ_ (Ч^ only with the mouse)
    {3, 0, 209, 100, 26, 26, 'X', 0},
    {3, 1,  72,  75, 26, 26, 'Y', 0},
    {3, 2, 263,  50, 26, 26, 'Z', 0},
    {3, 3, 213,  50, 26, 26, vk::kOem4, 0},
    {3, 4, 297,  75, 26, 26, vk::kOem5, 0},
    {3, 5, 238,  50, 26, 26, vk::kOem6, 0},
    {3, 6,  84, 100, 26, 26, 0, 0},
    {3, 7, 325,  25, 26, 26, vk::kOemPlus, 0},
    // Row 4: digits 0-7
    {4, 0, 275,  25, 26, 26, '0', 0},
    {4, 1,  50,  25, 26, 26, '1', 0},
    {4, 2,  75,  25, 26, 26, '2', 0},
    {4, 3, 100,  25, 26, 26, '3', 0},
    {4, 4, 125,  25, 26, 26, '4', 0},
    {4, 5, 150,  25, 26, 26, '5', 0},
    {4, 6, 175,  25, 26, 26, '6', 0},
    {4, 7, 200,  25, 26, 26, '7', 0},
    // Row 5: 8( 9) :* ;+ ,< -= .> /?
    {5, 0, 225,  25, 26, 26, '8', 0},
    {5, 1, 250,  25, 26, 26, '9', 0},
    {5, 2, 313,  50, 26, 26, vk::kOem1, 0},
    {5, 3,  25,  25, 26, 26, vk::kOem3, 0},
    {5, 4, 284, 100, 26, 26, vk::kOemComma, 0},
    {5, 5, 300,  25, 26, 26, vk::kOemMinus, 0},
    {5, 6, 322,  75, 26, 26, vk::kOemPeriod, 0},
    {5, 7, 309, 100, 26, 26, vk::kOem2, 0},
    // Row 6: ENTER CLS СТОП DEL INS back-space TAB space (СТОП only with the mouse)
    {6, 0, 338,  50, 38, 26, vk::kReturn, 0},
    {6, 1, 441,   0, 26, 26, vk::kSubtract, 0},
    {6, 2, 338,   0, 38, 26, 0, 0},
    {6, 3, 416,   0, 26, 26, vk::kMultiply, 0},
    {6, 4, 391,   0, 26, 26, vk::kDivide, 0},
    {6, 5, 350,  25, 26, 26, vk::kBack, 0},
    {6, 6,   0,  50, 39, 26, vk::kTab, 0},
    {6, 7,  90, 125, 198, 26, vk::kSpace, 0},
    // Row 7: SHIFT АЛФ ГРФ ESC СЕЛ CTRL ФИКС SHIFT
    {7, 0,   0, 100, 60, 26, vk::kLShift, 0},
    {7, 1,  65, 125, 26, 26, vk::kLMenu, 0},
    {7, 2, 287, 125, 26, 26, vk::kRMenu, 0},
    {7, 3,   0,  25, 26, 26, vk::kEscape, 0},
    {7, 4, 312, 125, 42, 26, vk::kRControl, 0},
    {7, 5,   0,  75, 48, 26, vk::kLControl, 0},
    {7, 6,  22, 125, 44, 26, vk::kCapital, 0},
    {7, 7, 334, 100, 42, 26, vk::kRShift, 0},
    // Row 8: keypad 0-7
    {8, 0, 391, 100, 39, 26, vk::kInsert, vk::kNumpad0 + 0},
    {8, 1, 391,  75, 26, 26, vk::kEnd,    vk::kNumpad0 + 1},
    {8, 2, 416,  75, 26, 26, vk::kDown,   vk::kNumpad0 + 2},
    {8, 3, 441,  75, 26, 26, vk::kNext,   vk::kNumpad0 + 3},
    {8, 4, 391,  50, 26, 26, vk::kLeft,   vk::kNumpad0 + 4},
    {8, 5, 416,  50, 26, 26, vk::kClear,  vk::kNumpad0 + 5},
    {8, 6, 441,  50, 26, 26, vk::kRight,  vk::kNumpad0 + 6},
    {8, 7, 391,  25, 26, 26, vk::kHome,   vk::kNumpad0 + 7},
    // Row 9: keypad 8, 9 and the point
    {9, 0, 416,  25, 26, 26, vk::kUp,     vk::kNumpad0 + 8},
    {9, 1, 441,  25, 26, 26, vk::kPrior,  vk::kNumpad0 + 9},
    {9, 6, 429, 100, 38, 26, vk::kDelete, vk::kDecimal},
    // Row 10: F1/F6 ... F5/F10
    {10, 0,   0, 0, 38, 26, vk::kF1 + 0, 0},
    {10, 1,  37, 0, 38, 26, vk::kF1 + 1, 0},
    {10, 2,  75, 0, 38, 26, vk::kF1 + 2, 0},
    {10, 3, 112, 0, 38, 26, vk::kF1 + 3, 0},
    {10, 4, 149, 0, 38, 26, vk::kF1 + 4, 0},
};
// clang-format on

// Virtual-key code -> packed position (row * 8 + column + 1, 0 = no key).
constexpr std::array<std::uint8_t, 256> BuildVkMap() {
    std::array<std::uint8_t, 256> map{};
    for (const tKeyDef& k : kKeys) {
        const auto pos = static_cast<std::uint8_t>(k.Row * tKorvetKeyboard::kColumns + k.Column + 1);
        if (k.Vk1) map[k.Vk1] = pos;
        if (k.Vk2) map[k.Vk2] = pos;
    }
    return map;
}
constexpr std::array<std::uint8_t, 256> kVkMap = BuildVkMap();

// The picture area that belongs to ENTER besides its own rectangle.
constexpr int kEnterExtLeft = 347, kEnterExtRight = 375, kEnterExtTop = 74, kEnterExtBottom = 100;

const tKorvetKeyEntry kNoEntry{};

}  // namespace

tKorvetKeyboard::tKorvetKeyboard() {
    for (const tKeyDef& k : kKeys) {
        tKorvetKeyEntry& e = keys_[k.Row][k.Column];
        e.Left = k.Left;
        e.Top = k.Top;
        e.Width = k.Width;
        e.Height = k.Height;
    }
}

const tKorvetKeyEntry& tKorvetKeyboard::Entry(int row, int column) const {
    if (row < 0 || row >= kRows || column < 0 || column >= kColumns) return kNoEntry;
    return keys_[row][column];
}

tKorvetKeyEntry* tKorvetKeyboard::MutableEntry(int row, int column) {
    if (row < 0 || row >= kRows || column < 0 || column >= kColumns) return nullptr;
    tKorvetKeyEntry* e = &keys_[row][column];
    return e->Width ? e : nullptr;
}

std::optional<tKorvetKeyPos> tKorvetKeyboard::KeyForVirtualKey(std::uint16_t vkCode) {
    if (vkCode >= kVkMap.size() || kVkMap[vkCode] == 0) return std::nullopt;
    const int pos = kVkMap[vkCode] - 1;
    return tKorvetKeyPos{pos / kColumns, pos % kColumns};
}

bool tKorvetKeyboard::KeyDown(std::uint16_t vkCode) {
    const auto key = KeyForVirtualKey(vkCode);
    if (!key) return false;
    tKorvetKeyEntry& e = keys_[key->Row][key->Column];
    if (e.PressedByKeyboard) return false;  // auto-repeat
    e.PressedByKeyboard = true;
    if (!e.PressedByMouse) KeyChanged(key->Row, key->Column, true);
    return true;
}

bool tKorvetKeyboard::KeyUp(std::uint16_t vkCode) {
    const auto key = KeyForVirtualKey(vkCode);
    if (!key) return false;
    tKorvetKeyEntry& e = keys_[key->Row][key->Column];
    if (!e.PressedByKeyboard) return false;
    e.PressedByKeyboard = false;
    if (!e.PressedByMouse) KeyChanged(key->Row, key->Column, false);
    return true;
}

bool tKorvetKeyboard::MouseDown(int row, int column) {
    tKorvetKeyEntry* e = MutableEntry(row, column);
    if (!e || e->PressedByMouse) return false;
    // The mouse holds one key at a time: a press without a release first
    // lets go of the previous one, so that it cannot stay stuck.
    if (mouseKey_.Row >= 0) MouseUp();
    e->PressedByMouse = true;
    mouseKey_ = {row, column};
    if (!e->PressedByKeyboard) KeyChanged(row, column, true);
    return true;
}

bool tKorvetKeyboard::MouseDownAt(int x, int y) {
    const auto key = HitTest(x, y);
    return key && MouseDown(key->Row, key->Column);
}

bool tKorvetKeyboard::MouseUp() {
    tKorvetKeyEntry* e = MutableEntry(mouseKey_.Row, mouseKey_.Column);
    if (!e || !e->PressedByMouse) return false;
    e->PressedByMouse = false;
    const tKorvetKeyPos key = mouseKey_;
    mouseKey_ = {-1, -1};
    if (!e->PressedByKeyboard) KeyChanged(key.Row, key.Column, false);
    return true;
}

std::optional<tKorvetKeyPos> tKorvetKeyboard::HitTest(int x, int y) {
    for (const tKeyDef& k : kKeys) {  // listed in row, column order
        if (k.Width > 0 && k.Left < x && x < k.Left + k.Width && k.Top < y && y < k.Top + k.Height) {
            return tKorvetKeyPos{k.Row, k.Column};
        }
    }
    if (kEnterExtLeft < x && x < kEnterExtRight && kEnterExtTop < y && y < kEnterExtBottom) return kEnter;
    return std::nullopt;
}

bool tKorvetKeyboard::ReleaseAll() {
    bool any = false;
    for (auto& row : keys_) {
        for (auto& e : row) {
            any = any || e.Pressed();
            e.PressedByKeyboard = false;
            e.PressedByMouse = false;
        }
    }
    mouseKey_ = {-1, -1};
    if (any && redraw_) redraw_();
    return any;
}

std::uint8_t tKorvetKeyboard::ReadMatrix(std::uint16_t offset) const {
    unsigned result = 0;
    if (offset < 256) {
        for (int r = 0; r < 8; ++r) {
            if (!(offset & (1u << r))) continue;
            for (int c = 0; c < kColumns; ++c) {
                if (keys_[r][c].Pressed()) result |= 1u << c;
            }
        }
    } else if (offset < 512) {
        for (int r = 0; r < 4; ++r) {
            if (!(offset & (1u << (4 + r)))) continue;
            for (int c = 1; c < kColumns; ++c) {
                if (keys_[r][c].Pressed()) result |= 1u << (c - 1);
            }
        }
        for (int r = 8; r < kRows; ++r) {
            if (!(offset & (1u << (r - 8)))) continue;
            for (int c = 0; c < kColumns; ++c) {
                if (keys_[r][c].Pressed()) result |= 1u << c;
            }
        }
    }
    return static_cast<std::uint8_t>(result);
}

namespace {

// The Cyrillic legends of the letter keys, in key order (row 0 column 0 to
// row 3 column 7), capital letters.
constexpr char32_t kCyrillicLegends[32] = {
    U'Ю', U'А', U'Б', U'Ц', U'Д', U'Е', U'Ф', U'Г', U'Х', U'И', U'Й', U'К', U'Л', U'М', U'Н', U'О',
    U'П', U'Я', U'Р', U'С', U'Т', U'У', U'Ж', U'В', U'Ь', U'Ы', U'З', U'Ш', U'Э', U'Щ', U'Ч', U'Ъ',
};

// The two legends of the digit and punctuation keys (rows 4 and 5): without
// SHIFT and with it (0 where the key has no second legend).
constexpr char32_t kDigitRowPlain[16] = {
    U'0', U'1', U'2', U'3', U'4', U'5', U'6', U'7', U'8', U'9', U':', U';', U',', U'-', U'.', U'/',
};
constexpr char32_t kDigitRowShifted[16] = {
    0, U'!', U'"', U'#', U'¤', U'%', U'&', U'\'', U'(', U')', U'*', U'+', U'<', U'=', U'>', U'?',
};

// The characters typed with SHIFT on the Latin symbol keys @ [ \ ] ^.
constexpr char32_t kShiftedLatinSymbols[5][2] = {
    {U'`', 0}, {U'{', 27}, {U'|', 28}, {U'}', 29}, {U'~', 30},
};

tKorvetTypedKey Key(int index, bool shift, tKorvetAlphabet alphabet) {
    return tKorvetTypedKey{index / tKorvetKeyboard::kColumns, index % tKorvetKeyboard::kColumns, shift, alphabet};
}

}  // namespace

std::optional<tKorvetTypedKey> tKorvetKeyboard::KeyForChar(char32_t ch) {
    using A = tKorvetAlphabet;
    switch (ch) {
        case U'\r':
        case U'\n': return tKorvetTypedKey{6, 0, false, A::Any};
        case U'\t': return tKorvetTypedKey{6, 6, false, A::Any};
        case U'\b': return tKorvetTypedKey{6, 5, false, A::Any};
        case U' ': return tKorvetTypedKey{6, 7, false, A::Any};
        case 0x1B: return tKorvetTypedKey{7, 3, false, A::Any};
        case U'$': return tKorvetTypedKey{4, 4, true, A::Any};  // shown as ¤
        default: break;
    }
    // Capital Latin letters and @ [ \ ] ^ _: the legends of rows 0-3.
    if (ch >= 0x40 && ch <= 0x5F) return Key(static_cast<int>(ch - 0x40), false, A::Latin);
    if (ch >= U'a' && ch <= U'z') return Key(static_cast<int>(ch - 0x60), true, A::Latin);
    for (const auto& s : kShiftedLatinSymbols) {
        if (ch == s[0]) return Key(static_cast<int>(s[1]), true, A::Latin);
    }
    // Digits and punctuation: rows 4 and 5.
    for (int i = 0; i < 16; ++i) {
        if (ch == kDigitRowPlain[i]) return Key(32 + i, false, A::Any);
        if (kDigitRowShifted[i] != 0 && ch == kDigitRowShifted[i]) return Key(32 + i, true, A::Any);
    }
    // Cyrillic letters: the capital is the legend, the small letter comes
    // with SHIFT. Ё and ё have no key.
    for (int i = 0; i < 32; ++i) {
        if (ch == kCyrillicLegends[i]) return Key(i, false, A::Cyrillic);
        if (ch == kCyrillicLegends[i] + 0x20) return Key(i, true, A::Cyrillic);
    }
    return std::nullopt;
}

}  // namespace velgard
