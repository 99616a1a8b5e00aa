#pragma once
// The Korvet key matrix: 11 rows x 8 columns of keys, each pressed while
// the PC keyboard or the mouse (on the picture of the keyboard) holds it.
// The machine's program reads the matrix through the keyboard window of the
// memory map (ReadMatrix).
//
// Rows 0-7 follow the machine's character codes: rows 0-3 are the letter
// keys in the order of their Latin legends (@ A-Z [ \ ] ^ _, the Cyrillic
// legends Ю А Б Ц ... Ч Ъ on the same keys), row 4 the digits 0-7, row 5
// 8 9 : ; , - . /, row 6 the editing keys, row 7 the modifiers. Rows 8-10
// are the keypad and the function keys.
#include <cstdint>
#include <functional>
#include <optional>

namespace velgard {

// Windows virtual-key codes of the PC keys that reach the Korvet keyboard.
namespace vk {
inline constexpr std::uint16_t kBack = 8;
inline constexpr std::uint16_t kTab = 9;
inline constexpr std::uint16_t kClear = 12;  // keypad 5 without Num Lock
inline constexpr std::uint16_t kReturn = 13;
inline constexpr std::uint16_t kShift = 16;    // generic: resolved to left/right
inline constexpr std::uint16_t kControl = 17;  // generic: resolved to left/right
inline constexpr std::uint16_t kMenu = 18;     // generic Alt: resolved to left/right
inline constexpr std::uint16_t kCapital = 20;  // Caps Lock
inline constexpr std::uint16_t kEscape = 27;
inline constexpr std::uint16_t kSpace = 32;
inline constexpr std::uint16_t kPrior = 33;  // Page Up
inline constexpr std::uint16_t kNext = 34;   // Page Down
inline constexpr std::uint16_t kEnd = 35;
inline constexpr std::uint16_t kHome = 36;
inline constexpr std::uint16_t kLeft = 37;
inline constexpr std::uint16_t kUp = 38;
inline constexpr std::uint16_t kRight = 39;
inline constexpr std::uint16_t kDown = 40;
inline constexpr std::uint16_t kInsert = 45;
inline constexpr std::uint16_t kDelete = 46;
inline constexpr std::uint16_t k0 = 48;  // digits '0'-'9' are 48-57
inline constexpr std::uint16_t kA = 65;  // letters 'A'-'Z' are 65-90
inline constexpr std::uint16_t kNumpad0 = 96;  // keypad 0-9 are 96-105
inline constexpr std::uint16_t kMultiply = 106;
inline constexpr std::uint16_t kSubtract = 109;
inline constexpr std::uint16_t kDecimal = 110;
inline constexpr std::uint16_t kDivide = 111;
inline constexpr std::uint16_t kF1 = 112;  // F1-F12 are 112-123
inline constexpr std::uint16_t kLShift = 160;
inline constexpr std::uint16_t kRShift = 161;
inline constexpr std::uint16_t kLControl = 162;
inline constexpr std::uint16_t kRControl = 163;
inline constexpr std::uint16_t kLMenu = 164;  // left Alt
inline constexpr std::uint16_t kRMenu = 165;  // right Alt
inline constexpr std::uint16_t kOem1 = 186;       // ; :
inline constexpr std::uint16_t kOemPlus = 187;    // = +
inline constexpr std::uint16_t kOemComma = 188;   // , <
inline constexpr std::uint16_t kOemMinus = 189;   // - _
inline constexpr std::uint16_t kOemPeriod = 190;  // . >
inline constexpr std::uint16_t kOem2 = 191;       // / ?
inline constexpr std::uint16_t kOem3 = 192;       // ` ~
inline constexpr std::uint16_t kOem4 = 219;       // [ {
inline constexpr std::uint16_t kOem5 = 220;       // \ |
inline constexpr std::uint16_t kOem6 = 221;       // ] }
inline constexpr std::uint16_t kOem7 = 222;       // ' "
}  // namespace vk

struct tKorvetKeyPos {
    int Row = -1;
    int Column = -1;
    bool operator==(const tKorvetKeyPos&) const = default;
};

// One entry of the key table: the key's rectangle in the 467 x 151 keyboard
// picture and its two press flags. An entry of width 0 is not a key.
struct tKorvetKeyEntry {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::uint16_t Width = 0;
    std::uint16_t Height = 0;
    bool PressedByKeyboard = false;
    bool PressedByMouse = false;
    bool Pressed() const { return PressedByKeyboard || PressedByMouse; }
};

// The alphabet the keyboard must be in for a typed character.
enum class tKorvetAlphabet : std::uint8_t {
    Any,       // digits, punctuation, space and control keys
    Latin,     // the Latin legends of the letter keys
    Cyrillic,  // the Cyrillic legends of the letter keys
};

// The key that types a character: press SHIFT with it when Shift is set.
struct tKorvetTypedKey {
    int Row = 0;
    int Column = 0;
    bool Shift = false;
    tKorvetAlphabet Alphabet = tKorvetAlphabet::Any;
    bool operator==(const tKorvetTypedKey&) const = default;
};

class tKorvetKeyboard {
public:
    static constexpr int kRows = 11;
    static constexpr int kColumns = 8;
    // The keyboard picture's size; the window draws it at (21, 13).
    static constexpr int kPictureWidth = 467;
    static constexpr int kPictureHeight = 151;
    // The ENTER key (row 6, column 0) owns a second area of the picture.
    static constexpr tKorvetKeyPos kEnter{6, 0};
    // The left SHIFT key, used to type the shifted characters.
    static constexpr tKorvetKeyPos kShiftKey{7, 0};

    tKorvetKeyboard();

    // The key table entry at (row, column); an out-of-range position gives
    // an all-zero entry.
    const tKorvetKeyEntry& Entry(int row, int column) const;
    bool IsPressed(int row, int column) const { return Entry(row, column).Pressed(); }

    // The Korvet key that a PC key (Windows virtual-key code) presses, if any.
    static std::optional<tKorvetKeyPos> KeyForVirtualKey(std::uint16_t vkCode);

    // PC keyboard press and release by virtual-key code. Unmapped codes and
    // repeated presses (auto-repeat) do nothing. True when the key's
    // pressed-by-keyboard flag changed.
    bool KeyDown(std::uint16_t vkCode);
    bool KeyUp(std::uint16_t vkCode);

    // Mouse press of the key at (row, column): true when its pressed-by-mouse
    // flag was set now; it becomes the mouse key. Positions that are not keys
    // do nothing.
    bool MouseDown(int row, int column);
    // Mouse press at picture coordinates (x, y), through HitTest.
    bool MouseDownAt(int x, int y);
    // Releases the mouse key, wherever the pointer is; true if one was held.
    bool MouseUp();
    // The key held by the mouse, or (-1, -1).
    tKorvetKeyPos MouseKey() const { return mouseKey_; }

    // The key under picture point (x, y): rows 0-10 and columns 0-7 in
    // order, the first entry with left < x < left + width and
    // top < y < top + height (border lines belong to no key); else the ENTER
    // extension 347 < x < 375, 74 < y < 100; else none.
    static std::optional<tKorvetKeyPos> HitTest(int x, int y);

    // Releases every key from both sources; true if any key had been pressed.
    bool ReleaseAll();

    // The byte the machine reads at `offset` of its keyboard window (bit = 1
    // for a pressed key):
    //  - offset < 256: the rows 0-7 selected by the offset's bits, ORed;
    //  - 256 <= offset < 512: rows 0-3 selected by bits 4-7, each shifted
    //    down one column (column c gives bit c - 1, column 0 is not seen),
    //    ORed with rows 8-10 selected by bits 0-2; bit 3 selects nothing;
    //  - offset >= 512: 0.
    std::uint8_t ReadMatrix(std::uint16_t offset) const;

    // The key (and shift, and alphabet) that types `ch` (a Unicode code
    // point: ASCII, the Cyrillic letters, '¤'); none if no key types it.
    // Letters: the capital letter is the key's legend without SHIFT, the
    // small letter comes with SHIFT. '\r' and '\n' are ENTER, '\t' TAB, '\b'
    // the back space key, 0x1B ESC.
    static std::optional<tKorvetTypedKey> KeyForChar(char32_t ch);

    // Called when a key's drawn state changes (down = true when it is now
    // drawn pressed), so a window can redraw that key's rectangle.
    void SetKeyChangedHandler(std::function<void(int row, int column, bool down)> handler) {
        keyChanged_ = std::move(handler);
    }
    // Called by ReleaseAll when something had been pressed: redraw the whole
    // picture.
    void SetRedrawHandler(std::function<void()> handler) { redraw_ = std::move(handler); }

private:
    tKorvetKeyEntry* MutableEntry(int row, int column);
    void KeyChanged(int row, int column, bool down) const {
        if (keyChanged_) keyChanged_(row, column, down);
    }

    tKorvetKeyEntry keys_[kRows][kColumns];
    tKorvetKeyPos mouseKey_{-1, -1};
    std::function<void(int, int, bool)> keyChanged_;
    std::function<void()> redraw_;
};

}  // namespace velgard
