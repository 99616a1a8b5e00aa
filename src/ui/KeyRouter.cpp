#include "ui/KeyRouter.h"

#include <array>

#include "ui/Flags.h"

namespace velgard::ui {

namespace {

constexpr std::uint16_t kNoKey = 0xFFFF;  // a known key that reaches no Korvet key

// XKB keycodes (the evdev code + 8, the same on X11 and Wayland) of the
// keys that go by their physical position, with their virtual-key codes
// on a US keyboard. The keypad's digit keys are missing on purpose: what
// they mean depends on Num Lock, which the event's key tells.
constexpr std::array<std::uint16_t, 256> BuildScanCodeMap() {
    std::array<std::uint16_t, 256> m{};
    m[9] = vk::kEscape;
    for (int i = 0; i < 9; ++i) m[10 + i] = static_cast<std::uint16_t>('1' + i);
    m[19] = '0';
    m[20] = vk::kOemMinus;
    m[21] = vk::kOemPlus;
    m[22] = vk::kBack;
    m[23] = vk::kTab;
    const char row1[] = "QWERTYUIOP";
    for (int i = 0; i < 10; ++i) m[24 + i] = static_cast<std::uint16_t>(row1[i]);
    m[34] = vk::kOem4;
    m[35] = vk::kOem6;
    m[36] = vk::kReturn;
    m[37] = vk::kLControl;
    const char row2[] = "ASDFGHJKL";
    for (int i = 0; i < 9; ++i) m[38 + i] = static_cast<std::uint16_t>(row2[i]);
    m[47] = vk::kOem1;
    m[48] = vk::kOem7;
    m[49] = vk::kOem3;
    m[50] = vk::kLShift;
    m[51] = vk::kOem5;
    const char row3[] = "ZXCVBNM";
    for (int i = 0; i < 7; ++i) m[52 + i] = static_cast<std::uint16_t>(row3[i]);
    m[59] = vk::kOemComma;
    m[60] = vk::kOemPeriod;
    m[61] = vk::kOem2;
    m[62] = vk::kRShift;
    m[63] = vk::kMultiply;
    m[64] = vk::kLMenu;
    m[65] = vk::kSpace;
    m[66] = vk::kCapital;
    for (int i = 0; i < 10; ++i) m[67 + i] = static_cast<std::uint16_t>(vk::kF1 + i);  // F1-F10
    m[82] = vk::kSubtract;
    m[86] = 107;  // keypad +
    m[94] = kNoKey;  // the extra key left of Z on European keyboards
    m[95] = vk::kF1 + 10;
    m[96] = vk::kF1 + 11;
    m[104] = vk::kReturn;  // keypad Enter
    m[105] = vk::kRControl;
    m[106] = vk::kDivide;
    m[108] = vk::kRMenu;  // right Alt, AltGr
    m[110] = vk::kHome;
    m[111] = vk::kUp;
    m[112] = vk::kPrior;
    m[113] = vk::kLeft;
    m[114] = vk::kRight;
    m[115] = vk::kEnd;
    m[116] = vk::kDown;
    m[117] = vk::kNext;
    m[118] = vk::kInsert;
    m[119] = vk::kDelete;
    return m;
}
constexpr std::array<std::uint16_t, 256> kScanCodeMap = BuildScanCodeMap();

// The physical keys of the Russian ЙЦУКЕН layout, for events without a
// scan code: Cyrillic capital letters А-Я (U+0410-U+042F) in order.
constexpr std::uint16_t kCyrillicKeys[32] = {
    'F', vk::kOemComma, 'D', 'U', 'L', 'T', vk::kOem1, 'P',        // А Б В Г Д Е Ж З
    'B', 'Q', 'R', 'K', 'V', 'Y', 'J', 'G',                         // И Й К Л М Н О П
    'H', 'C', 'N', 'E', 'A', vk::kOem4, 'W', 'X',                   // Р С Т У Ф Х Ц Ч
    'I', 'O', vk::kOem6, 'S', 'M', vk::kOem7, vk::kOemPeriod, 'Z',  // Ш Щ Ъ Ы Ь Э Ю Я
};

std::optional<std::uint16_t> KeypadKey(int key) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<std::uint16_t>(vk::kNumpad0 + (key - Qt::Key_0));
    switch (key) {
        case Qt::Key_Asterisk: return vk::kMultiply;
        case Qt::Key_Plus: return 107;
        case Qt::Key_Minus: return vk::kSubtract;
        case Qt::Key_Period:
        case Qt::Key_Comma: return vk::kDecimal;
        case Qt::Key_Slash: return vk::kDivide;
        default: return std::nullopt;  // without Num Lock: the keys' other meanings below
    }
}

std::optional<std::uint16_t> KeyFromQtKey(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<std::uint16_t>('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<std::uint16_t>('0' + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return static_cast<std::uint16_t>(vk::kF1 + (key - Qt::Key_F1));
    if (key >= 0x410 && key <= 0x42F) return kCyrillicKeys[key - 0x410];
    switch (key) {
        case Qt::Key_Escape: return vk::kEscape;
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return vk::kTab;
        case Qt::Key_Backspace: return vk::kBack;
        case Qt::Key_Return:
        case Qt::Key_Enter: return vk::kReturn;
        case Qt::Key_Insert: return vk::kInsert;
        case Qt::Key_Delete: return vk::kDelete;
        case Qt::Key_Home: return vk::kHome;
        case Qt::Key_End: return vk::kEnd;
        case Qt::Key_Left: return vk::kLeft;
        case Qt::Key_Up: return vk::kUp;
        case Qt::Key_Right: return vk::kRight;
        case Qt::Key_Down: return vk::kDown;
        case Qt::Key_PageUp: return vk::kPrior;
        case Qt::Key_PageDown: return vk::kNext;
        case Qt::Key_Clear: return vk::kClear;
        case Qt::Key_CapsLock: return vk::kCapital;
        case Qt::Key_Space: return vk::kSpace;
        // Without a scan code the left keys are assumed.
        case Qt::Key_Shift: return vk::kLShift;
        case Qt::Key_Control: return vk::kLControl;
        case Qt::Key_Alt: return vk::kLMenu;
        case Qt::Key_AltGr: return vk::kRMenu;
        // Punctuation of a US layout, plain and shifted.
        case Qt::Key_Semicolon:
        case Qt::Key_Colon: return vk::kOem1;
        case Qt::Key_Equal:
        case Qt::Key_Plus: return vk::kOemPlus;
        case Qt::Key_Comma:
        case Qt::Key_Less: return vk::kOemComma;
        case Qt::Key_Minus:
        case Qt::Key_Underscore: return vk::kOemMinus;
        case Qt::Key_Period:
        case Qt::Key_Greater: return vk::kOemPeriod;
        case Qt::Key_Slash:
        case Qt::Key_Question: return vk::kOem2;
        case Qt::Key_QuoteLeft:
        case Qt::Key_AsciiTilde:
        case 0x401: return vk::kOem3;  // Ё sits there in the Russian layout
        case Qt::Key_BracketLeft:
        case Qt::Key_BraceLeft: return vk::kOem4;
        case Qt::Key_Backslash:
        case Qt::Key_Bar: return vk::kOem5;
        case Qt::Key_BracketRight:
        case Qt::Key_BraceRight: return vk::kOem6;
        case Qt::Key_Apostrophe:
        case Qt::Key_QuoteDbl: return vk::kOem7;
        case Qt::Key_Exclam: return '1';
        case Qt::Key_At: return '2';
        case Qt::Key_NumberSign: return '3';
        case Qt::Key_Dollar: return '4';
        case Qt::Key_Percent: return '5';
        case Qt::Key_AsciiCircum: return '6';
        case Qt::Key_Ampersand: return '7';
        case Qt::Key_Asterisk: return '8';
        case Qt::Key_ParenLeft: return '9';
        case Qt::Key_ParenRight: return '0';
        default: return std::nullopt;
    }
}

// The two keys of a modifier, or nothing for other keys.
struct tPair {
    std::uint16_t Left, Right;
};
std::optional<tPair> ModifierPair(std::uint16_t vkCode) {
    switch (vkCode) {
        case vk::kLShift:
        case vk::kRShift: return tPair{vk::kLShift, vk::kRShift};
        case vk::kLControl:
        case vk::kRControl: return tPair{vk::kLControl, vk::kRControl};
        case vk::kLMenu:
        case vk::kRMenu: return tPair{vk::kLMenu, vk::kRMenu};
        default: return std::nullopt;
    }
}

}  // namespace

tKeyRouter::tKeyRouter(tKorvetKeyboard& keyboard, const tFlags& flags)
    : keyboard_(keyboard), keyDownEx_(&flags.KeyDownEx) {}

tKeyRouter::tKeyRouter(tKorvetKeyboard& keyboard) : keyboard_(keyboard), keyDownEx_(&ownKeyDownEx_) {}

std::optional<std::uint16_t> tKeyRouter::VirtualKeyFor(const QKeyEvent& event) {
    const quint32 scanCode = event.nativeScanCode();
    if (scanCode > 0 && scanCode < kScanCodeMap.size() && kScanCodeMap[scanCode] != 0) {
        const std::uint16_t code = kScanCodeMap[scanCode];
        if (code == kNoKey) return std::nullopt;
        return code;
    }
    const int key = event.key();
    if (event.modifiers() & Qt::KeypadModifier) {
        if (const auto code = KeypadKey(key)) return code;
    }
    return KeyFromQtKey(key);
}

bool tKeyRouter::IsPhysicallyDown(std::uint16_t vkCode) const {
    switch (vkCode) {
        case vk::kShift: return held_[vk::kLShift] || held_[vk::kRShift];
        case vk::kControl: return held_[vk::kLControl] || held_[vk::kRControl];
        case vk::kMenu: return held_[vk::kLMenu] || held_[vk::kRMenu];
        default: return vkCode < held_.size() && held_[vkCode];
    }
}

bool tKeyRouter::HandleKeyEvent(const QKeyEvent* event) {
    const bool press = event->type() == QEvent::KeyPress;
    if (!press && event->type() != QEvent::KeyRelease) return false;
    const auto code = VirtualKeyFor(*event);
    if (!code) return press && IsPhysicallyDown(vk::kMenu);
    const std::uint16_t vkCode = *code;

    // Auto-repeat changes nothing: the key stays held (X11 also sends a
    // release before each repeated press; that one must not let go). A
    // repeated press of a key we do not know as held (held since before a
    // release-all) counts as its press.
    if (event->isAutoRepeat() && !(press && !held_[vkCode])) {
        if (const auto pair = ModifierPair(vkCode)) return press || pair->Left != vk::kLMenu;
        return vkCode == vk::kTab || (press && IsPhysicallyDown(vk::kMenu));
    }
    return press ? KeyPress(vkCode) : KeyRelease(vkCode);
}

bool tKeyRouter::KeyPress(std::uint16_t vkCode) {
    held_[vkCode] = true;
    if (const auto pair = ModifierPair(vkCode)) {
        // Both keys of the pair as they are held now.
        if (held_[pair->Left]) keyboard_.KeyDown(pair->Left);
        if (held_[pair->Right]) keyboard_.KeyDown(pair->Right);
        return true;
    }
    if (vkCode == vk::kTab) {
        keyboard_.KeyDown(vk::kTab);
        return true;
    }
    if (IsPhysicallyDown(vk::kMenu)) {
        // A key pressed with Alt held: the Alt keys that are held, and the key.
        if (held_[vk::kLMenu]) keyboard_.KeyDown(vk::kLMenu);
        if (held_[vk::kRMenu]) keyboard_.KeyDown(vk::kRMenu);
        keyboard_.KeyDown(vkCode);
        return true;
    }
    keyboard_.KeyDown(vkCode);
    // The combined Down arrow presses keypad 2 and keypad 5 together.
    if (KeyDownEx() && vkCode == vk::kDown) keyboard_.KeyDown(vk::kClear);
    return false;
}

bool tKeyRouter::KeyRelease(std::uint16_t vkCode) {
    held_[vkCode] = false;
    if (const auto pair = ModifierPair(vkCode)) {
        if (!held_[pair->Left]) keyboard_.KeyUp(pair->Left);
        if (!held_[pair->Right]) keyboard_.KeyUp(pair->Right);
        // A lone Alt goes on to the window, which may give the menu bar the focus.
        return pair->Left != vk::kLMenu;
    }
    if (vkCode == vk::kTab) {
        keyboard_.KeyUp(vk::kTab);
        return true;
    }
    if (IsPhysicallyDown(vk::kMenu)) {
        keyboard_.KeyUp(vkCode);
        return false;
    }
    // Keypad 5 stays down while the combined Down arrow holds it; the Down
    // arrow's release lets it go unless keypad 5 itself is held.
    if (!(KeyDownEx() && vkCode == vk::kClear && held_[vk::kDown])) keyboard_.KeyUp(vkCode);
    if (vkCode == vk::kDown && !held_[vk::kClear]) keyboard_.KeyUp(vk::kClear);
    return false;
}

void tKeyRouter::Tick() {
    if (probe_) {
        const Qt::KeyboardModifiers now = probe_();
        if (!(now & Qt::ShiftModifier)) held_[vk::kLShift] = held_[vk::kRShift] = false;
        if (!(now & Qt::ControlModifier)) held_[vk::kLControl] = held_[vk::kRControl] = false;
    }
    auto repairShift = [this](std::uint16_t code, bool& seen) {
        if (held_[code] && !seen) {
            seen = true;
            keyboard_.KeyDown(code);
        } else if (!held_[code] && seen) {
            seen = false;
            keyboard_.KeyUp(code);
        }
    };
    repairShift(vk::kLShift, tickLeftShift_);
    repairShift(vk::kRShift, tickRightShift_);
    if (!held_[vk::kLControl]) keyboard_.KeyUp(vk::kLControl);
    if (!held_[vk::kRControl]) keyboard_.KeyUp(vk::kRControl);
}

void tKeyRouter::ReleaseAll() {
    keyboard_.ReleaseAll();
    held_.reset();
    tickLeftShift_ = tickRightShift_ = false;
}

}  // namespace velgard::ui
