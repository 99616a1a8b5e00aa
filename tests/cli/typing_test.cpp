// The text of run --type: its escapes, the keys it presses (the alphabet
// switched for Cyrillic letters) and what the firmware then shows.
#include <gtest/gtest.h>

#include <memory>

#include "cli/TypeText.h"
#include "font/KorvetCharset.h"
#include "machine/EmuKorvet.h"
#include "machine/HeadlessHost.h"
#include "machine/KorvetKeyboard.h"
#include "machine/Utf8.h"

namespace velgard {
namespace {

using cli::ParseTypedText;
using cli::PlanTyping;
using cli::Typist;
using cli::TypeStep;

std::u32string Parse(const std::string& text) {
    std::u32string out;
    std::string error;
    EXPECT_TRUE(ParseTypedText(text, out, error)) << text << ": " << error;
    return out;
}

std::string ParseError(const std::string& text) {
    std::u32string out;
    std::string error;
    EXPECT_FALSE(ParseTypedText(text, out, error)) << text;
    return error;
}

TEST(TypedText, EscapesAreUnderstood) {
    EXPECT_EQ(Parse("H\\r"), U"H\r");
    EXPECT_EQ(Parse("a\\nb\\tc"), U"a\nb\tc");
    EXPECT_EQ(Parse("\\\\"), U"\\");
    EXPECT_EQ(Parse("\\\\r"), U"\\r") << "an escaped backslash does not start an escape";
    EXPECT_EQ(Parse("\\x1B\\x41\\x7e"), U"\x1B" U"A~");
    EXPECT_EQ(Parse("D 0 FF\\rD 100 1FF\\r"), U"D 0 FF\rD 100 1FF\r");
    EXPECT_EQ(Parse("Привет\\r"), U"Привет\r");
    EXPECT_EQ(Parse(""), U"");
    EXPECT_EQ(Parse("\r"), U"\r") << "a real carriage return is taken as it is";
}

TEST(TypedText, BadEscapesAndBadUtf8AreRefusedWithAReason) {
    EXPECT_NE(ParseError("abc\\").find("lone backslash"), std::string::npos);
    EXPECT_NE(ParseError("\\q").find("unknown escape \\q"), std::string::npos);
    EXPECT_NE(ParseError("\\x4").find("two hexadecimal digits"), std::string::npos);
    EXPECT_NE(ParseError("\\x").find("two hexadecimal digits"), std::string::npos);
    EXPECT_NE(ParseError("\\xG1").find("two hexadecimal digits"), std::string::npos);
    EXPECT_NE(ParseError("\\Ж").find("U+0416"), std::string::npos);
    EXPECT_NE(ParseError("\xD0").find("UTF-8"), std::string::npos);
}

TEST(TypedText, CyrillicLettersSwitchToTheCyrillicAlphabetAndBack) {
    std::vector<TypeStep> steps;
    std::string error;
    ASSERT_TRUE(PlanTyping(U"AБ1бA", steps, error)) << error;
    const TypeStep cyrillic{7, 2, false}, latin{7, 1, false};
    const auto a = tKorvetKeyboard::KeyForChar(U'A'), be = tKorvetKeyboard::KeyForChar(U'Б'),
               one = tKorvetKeyboard::KeyForChar(U'1'), small = tKorvetKeyboard::KeyForChar(U'б');
    ASSERT_TRUE(a && be && one && small);
    const std::vector<TypeStep> want = {{a->Row, a->Column, a->Shift},        cyrillic,
                                        {be->Row, be->Column, be->Shift},     {one->Row, one->Column, one->Shift},
                                        {small->Row, small->Column, true},    latin,
                                        {a->Row, a->Column, a->Shift}};
    EXPECT_EQ(steps, want);
    EXPECT_FALSE(PlanTyping(U"Ё", steps, error));
    EXPECT_NE(error.find("U+0401"), std::string::npos) << error;
}

// Types `text` into the monitor of the built-in firmware and returns the
// text row the monitor echoed it on.
std::string TypeIntoMonitor(const std::string& text, unsigned long long& framesUsed) {
    std::u32string points;
    std::vector<TypeStep> steps;
    std::string error;
    EXPECT_TRUE(ParseTypedText(text, points, error) && PlanTyping(points, steps, error)) << error;
    HeadlessHost host;
    tKorvetKeyboard keyboard;
    auto machine = std::make_unique<tComputer_I8080_Korvet>(host);
    machine->GetMemory().SetKeyboard(&keyboard);
    machine->SetSync(false);
    Typist typist(keyboard, steps);
    unsigned long long frames = 0;
    tComputer_I8080_Korvet* m = machine.get();
    host.SetPump([&] {
        typist.Frame(++frames);
        if ((typist.Done() && frames > 60) || frames > 5000) m->Stop();
    });
    machine->Run(nullptr, 2, false);  // "Контур 2.0": the monitor
    framesUsed = frames;
    EXPECT_LE(frames, Typist::FramesNeeded(steps.size())) << "FramesNeeded is an upper bound";
    auto& memory = machine->GetMemory();
    const std::uint16_t base = memory.Configuration() == 7 ? 0xFC00 : 0x3C00;
    for (int row = 0; row < 16; ++row) {
        std::string line;
        for (int col = 0; col < 64; ++col) line += static_cast<char>(memory.ReadByte(static_cast<std::uint16_t>(base + row * 64 + col)));
        if (line[0] == '>' && line[1] != ' ') {
            while (!line.empty() && line.back() == ' ') line.pop_back();
            return line;
        }
    }
    return {};
}

std::string Koi(const std::u32string& text) {
    std::string out;
    for (char32_t cp : text) {
        int code = -1;
        for (int k = 0x20; k < 256 && code < 0; ++k)
            if (font::Bank0Char(static_cast<std::uint8_t>(k)) == cp) code = k;
        out += static_cast<char>(code < 0 ? '?' : code);
    }
    return out;
}

TEST(TypedText, CyrillicReachesTheMachineAsCyrillic) {
    unsigned long long frames = 0;
    const std::string row = TypeIntoMonitor("ПРИВЕТ 12 HI", frames);
    std::string want(1, '>');
    want.append(Koi(U"ПРИВЕТ 12 HI"));
    EXPECT_EQ(row, want) << "echoed by the monitor";
}

}  // namespace
}  // namespace velgard
