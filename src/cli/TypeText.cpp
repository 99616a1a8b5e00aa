#include "cli/TypeText.h"

#include <cstdio>

#include "machine/KorvetKeyboard.h"
#include "machine/Utf8.h"

namespace velgard::cli {

namespace {

int HexDigit(char32_t c) {
    if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a' + 10);
    if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A' + 10);
    return -1;
}

std::string CodePoint(char32_t c) {
    char b[16];
    std::snprintf(b, sizeof b, "U+%04X", static_cast<unsigned>(c));
    return b;
}

// The alphabet keys: row 7, АЛФ in column 1, ГРФ in column 2.
constexpr int kAlphabetRow = 7, kLatinColumn = 1, kCyrillicColumn = 2;

}  // namespace

bool ParseTypedText(std::string_view text, std::u32string& out, std::string& error) {
    std::u32string raw;
    if (!DecodeUtf8(text, raw)) {
        error = "the text is not valid UTF-8";
        return false;
    }
    out.clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != U'\\') {
            out.push_back(raw[i]);
            continue;
        }
        if (i + 1 >= raw.size()) {
            error = "the text ends with a lone backslash (type \\\\ for a backslash)";
            return false;
        }
        const char32_t e = raw[++i];
        switch (e) {
            case U'r': out.push_back(U'\r'); break;
            case U'n': out.push_back(U'\n'); break;
            case U't': out.push_back(U'\t'); break;
            case U'\\': out.push_back(U'\\'); break;
            case U'x': {
                const int hi = i + 1 < raw.size() ? HexDigit(raw[i + 1]) : -1;
                const int lo = i + 2 < raw.size() ? HexDigit(raw[i + 2]) : -1;
                if (hi < 0 || lo < 0) {
                    error = "\\x needs two hexadecimal digits, e.g. \\x1B";
                    return false;
                }
                out.push_back(static_cast<char32_t>(hi * 16 + lo));
                i += 2;
                break;
            }
            default:
                error = "unknown escape \\" + (e < 0x80 && e >= 0x20 ? std::string(1, static_cast<char>(e)) : CodePoint(e)) +
                        " (known: \\r \\n \\t \\\\ \\xNN)";
                return false;
        }
    }
    return true;
}

bool PlanTyping(std::u32string_view text, std::vector<TypeStep>& steps, std::string& error) {
    steps.clear();
    tKorvetAlphabet alphabet = tKorvetAlphabet::Latin;
    for (char32_t ch : text) {
        const auto key = tKorvetKeyboard::KeyForChar(ch);
        if (!key) {
            error = "no Korvet key types the character " + CodePoint(ch);
            return false;
        }
        // Letters need the right alphabet: АЛФ selects the Latin one, ГРФ
        // the Cyrillic one.
        if (key->Alphabet != tKorvetAlphabet::Any && key->Alphabet != alphabet) {
            alphabet = key->Alphabet;
            steps.push_back(TypeStep{kAlphabetRow,
                                     alphabet == tKorvetAlphabet::Cyrillic ? kCyrillicColumn : kLatinColumn, false});
        }
        steps.push_back(TypeStep{key->Row, key->Column, key->Shift});
    }
    return true;
}

void Typist::Frame(unsigned long long frame) {
    if (frame < kStartFrame) return;
    if (wait_ > 0) {
        --wait_;
        return;
    }
    if (down_) {
        keyboard_.MouseUp();
        if (shift_) keyboard_.KeyUp(vk::kLShift);
        down_ = shift_ = false;
        wait_ = kGapFrames;
        return;
    }
    if (next_ >= steps_.size()) return;
    const TypeStep& s = steps_[next_++];
    shift_ = s.shift;
    if (shift_) keyboard_.KeyDown(vk::kLShift);
    keyboard_.MouseDown(s.row, s.column);
    down_ = true;
    wait_ = kHoldFrames;
}

unsigned long long Typist::FramesNeeded(std::size_t steps) {
    // Per key: the press frame, the hold, the release frame and the gap.
    return kStartFrame + steps * static_cast<unsigned long long>(kHoldFrames + kGapFrames + 2);
}

}  // namespace velgard::cli
