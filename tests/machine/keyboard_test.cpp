// The Korvet key matrix: press sources, PC key mapping, matrix reads,
// picture hit test and the keys for typed characters.
#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "machine/KorvetKeyboard.h"

namespace velgard {
namespace {

TEST(KorvetKeyboard, KeyboardAndMousePressesCombine) {
    tKorvetKeyboard kb;
    std::vector<std::tuple<int, int, bool>> drawn;
    kb.SetKeyChangedHandler([&](int r, int c, bool down) { drawn.emplace_back(r, c, down); });

    // A (row 0, column 1) by the PC keyboard.
    EXPECT_TRUE(kb.KeyDown('A'));
    EXPECT_TRUE(kb.IsPressed(0, 1));
    EXPECT_TRUE(kb.Entry(0, 1).PressedByKeyboard);
    // Auto-repeat changes nothing.
    EXPECT_FALSE(kb.KeyDown('A'));
    // The mouse presses the same key: still one press drawn.
    EXPECT_TRUE(kb.MouseDown(0, 1));
    EXPECT_TRUE(kb.Entry(0, 1).PressedByMouse);
    EXPECT_EQ(kb.MouseKey(), (tKorvetKeyPos{0, 1}));
    // Releasing one source leaves the key down.
    EXPECT_TRUE(kb.KeyUp('A'));
    EXPECT_TRUE(kb.IsPressed(0, 1));
    EXPECT_FALSE(kb.KeyUp('A'));  // not held by the keyboard any more
    EXPECT_TRUE(kb.MouseUp());
    EXPECT_FALSE(kb.IsPressed(0, 1));
    EXPECT_EQ(kb.MouseKey(), (tKorvetKeyPos{-1, -1}));
    EXPECT_FALSE(kb.MouseUp());
    // Drawn down once, drawn up only by the last release.
    const std::vector<std::tuple<int, int, bool>> want = {{0, 1, true}, {0, 1, false}};
    EXPECT_EQ(drawn, want);

    // Mouse first, keyboard last.
    drawn.clear();
    EXPECT_TRUE(kb.MouseDown(6, 2));  // СТОП: a mouse-only key
    EXPECT_TRUE(kb.KeyDown(vk::kReturn));
    EXPECT_TRUE(kb.MouseUp());
    EXPECT_FALSE(kb.IsPressed(6, 2));
    EXPECT_TRUE(kb.IsPressed(6, 0));
    EXPECT_TRUE(kb.KeyUp(vk::kReturn));
    const std::vector<std::tuple<int, int, bool>> want2 = {
        {6, 2, true}, {6, 0, true}, {6, 2, false}, {6, 0, false}};
    EXPECT_EQ(drawn, want2);

    // Positions that are not keys cannot be pressed.
    EXPECT_FALSE(kb.MouseDown(9, 2));
    EXPECT_FALSE(kb.MouseDown(10, 5));
    EXPECT_FALSE(kb.MouseDown(11, 0));
    EXPECT_FALSE(kb.MouseDown(-1, 0));
    EXPECT_EQ(kb.MouseKey(), (tKorvetKeyPos{-1, -1}));
}

TEST(KorvetKeyboard, SecondMousePressReleasesTheFirst) {
    tKorvetKeyboard kb;
    EXPECT_TRUE(kb.MouseDown(1, 1));
    EXPECT_TRUE(kb.MouseDown(2, 2));
    EXPECT_FALSE(kb.IsPressed(1, 1));
    EXPECT_TRUE(kb.IsPressed(2, 2));
    EXPECT_TRUE(kb.MouseUp());
    EXPECT_EQ(kb.ReadMatrix(0xFF), 0);
}

TEST(KorvetKeyboard, ModifiersAreSeparateKeysAndReleaseAllClearsEverything) {
    tKorvetKeyboard kb;
    int redraws = 0;
    kb.SetRedrawHandler([&] { ++redraws; });
    EXPECT_FALSE(kb.ReleaseAll());  // nothing pressed: no redraw
    EXPECT_EQ(redraws, 0);

    // Right Shift pressed and released while left Shift is held.
    EXPECT_TRUE(kb.KeyDown(vk::kLShift));
    EXPECT_TRUE(kb.KeyDown(vk::kRShift));
    EXPECT_TRUE(kb.KeyUp(vk::kRShift));
    EXPECT_TRUE(kb.IsPressed(7, 0));
    EXPECT_FALSE(kb.IsPressed(7, 7));
    // The generic modifier codes are no keys of their own.
    EXPECT_FALSE(kb.KeyDown(vk::kShift));
    EXPECT_FALSE(kb.KeyDown(vk::kControl));
    EXPECT_FALSE(kb.KeyDown(vk::kMenu));

    EXPECT_TRUE(kb.KeyDown(vk::kF1));
    EXPECT_TRUE(kb.MouseDown(3, 6));
    EXPECT_TRUE(kb.ReleaseAll());
    EXPECT_EQ(redraws, 1);
    for (int r = 0; r < tKorvetKeyboard::kRows; ++r)
        for (int c = 0; c < tKorvetKeyboard::kColumns; ++c) EXPECT_FALSE(kb.IsPressed(r, c));
    EXPECT_EQ(kb.MouseKey(), (tKorvetKeyPos{-1, -1}));
    EXPECT_FALSE(kb.MouseUp());
    // Released keys can be pressed again at once.
    EXPECT_TRUE(kb.KeyDown(vk::kLShift));
}

TEST(KorvetKeyboard, VirtualKeyTable) {
    struct Map {
        std::uint16_t vk;
        int row, col;
    };
    const Map maps[] = {
        {vk::kOem7, 0, 0},     {'A', 0, 1},           {'G', 0, 7},           {'H', 1, 0},
        {'O', 1, 7},           {'W', 2, 7},           {'Z', 3, 2},           {vk::kOem4, 3, 3},
        {vk::kOem5, 3, 4},     {vk::kOem6, 3, 5},     {vk::kOemPlus, 3, 7},  {'0', 4, 0},
        {'7', 4, 7},           {'9', 5, 1},           {vk::kOem1, 5, 2},     {vk::kOem3, 5, 3},
        {vk::kOemComma, 5, 4}, {vk::kOemMinus, 5, 5}, {vk::kOemPeriod, 5, 6}, {vk::kOem2, 5, 7},
        {vk::kReturn, 6, 0},   {vk::kSubtract, 6, 1}, {vk::kMultiply, 6, 3}, {vk::kDivide, 6, 4},
        {vk::kBack, 6, 5},     {vk::kTab, 6, 6},      {vk::kSpace, 6, 7},    {vk::kLShift, 7, 0},
        {vk::kLMenu, 7, 1},    {vk::kRMenu, 7, 2},    {vk::kEscape, 7, 3},   {vk::kRControl, 7, 4},
        {vk::kLControl, 7, 5}, {vk::kCapital, 7, 6},  {vk::kRShift, 7, 7},   {vk::kInsert, 8, 0},
        {vk::kNumpad0, 8, 0},  {vk::kEnd, 8, 1},      {vk::kDown, 8, 2},     {vk::kNumpad0 + 2, 8, 2},
        {vk::kNext, 8, 3},     {vk::kLeft, 8, 4},     {vk::kClear, 8, 5},    {vk::kNumpad0 + 5, 8, 5},
        {vk::kRight, 8, 6},    {vk::kHome, 8, 7},     {vk::kUp, 9, 0},       {vk::kNumpad0 + 9, 9, 1},
        {vk::kPrior, 9, 1},    {vk::kDelete, 9, 6},   {vk::kDecimal, 9, 6},  {vk::kF1, 10, 0},
        {vk::kF1 + 4, 10, 4},
    };
    for (const Map& m : maps) {
        SCOPED_TRACE(m.vk);
        const auto key = tKorvetKeyboard::KeyForVirtualKey(m.vk);
        ASSERT_TRUE(key.has_value());
        EXPECT_EQ(*key, (tKorvetKeyPos{m.row, m.col}));
    }
    // Codes that reach no key; F6 and beyond have none, nor the codes past 255.
    for (std::uint16_t code : {0, 1, 16, 17, 18, 91, 117, 123, 144, 255, 256, 0x141, 0xFFFF}) {
        SCOPED_TRACE(code);
        EXPECT_FALSE(tKorvetKeyboard::KeyForVirtualKey(code).has_value());
        tKorvetKeyboard kb;
        EXPECT_FALSE(kb.KeyDown(code));
    }
    // Every key but Ч/^ and СТОП has a PC key; 80 keys in all.
    std::set<std::pair<int, int>> reached;
    for (int code = 0; code < 256; ++code)
        if (auto key = tKorvetKeyboard::KeyForVirtualKey(static_cast<std::uint16_t>(code))) reached.insert({key->Row, key->Column});
    EXPECT_EQ(reached.size(), 78u);
    EXPECT_FALSE(reached.contains({3, 6}));
    EXPECT_FALSE(reached.contains({6, 2}));
    int keys = 0;
    for (int r = 0; r < tKorvetKeyboard::kRows; ++r)
        for (int c = 0; c < tKorvetKeyboard::kColumns; ++c) keys += tKorvetKeyboard().Entry(r, c).Width > 0;
    EXPECT_EQ(keys, 80);
}

TEST(KorvetKeyboard, MatrixReads) {
    tKorvetKeyboard kb;
    EXPECT_EQ(kb.ReadMatrix(0xFF), 0);
    EXPECT_EQ(kb.ReadMatrix(0x1FF), 0);

    kb.KeyDown('A');  // row 0, column 1
    EXPECT_EQ(kb.ReadMatrix(0x01), 0x02);
    EXPECT_EQ(kb.ReadMatrix(0x02), 0x00);
    EXPECT_EQ(kb.ReadMatrix(0x110), 0x01);  // row 0 shifted down one column
    EXPECT_EQ(kb.ReadMatrix(0x120), 0x00);
    EXPECT_EQ(kb.ReadMatrix(0x10F), 0x00);  // bits 0-3 select no letter row
    EXPECT_EQ(kb.ReadMatrix(0x200), 0x00);
    EXPECT_EQ(kb.ReadMatrix(0x201), 0x00);
    EXPECT_EQ(kb.ReadMatrix(0xFFFF), 0x00);
    kb.KeyUp('A');

    // Column 0 of rows 0-3 is not seen in the upper half.
    kb.KeyDown(vk::kOem7);  // row 0, column 0 (Ю @)
    EXPECT_EQ(kb.ReadMatrix(0x01), 0x01);
    EXPECT_EQ(kb.ReadMatrix(0x1F0), 0x00);
    kb.KeyUp(vk::kOem7);

    kb.KeyDown(vk::kF1);  // row 10, column 0
    EXPECT_EQ(kb.ReadMatrix(0x104), 0x01);
    EXPECT_EQ(kb.ReadMatrix(0x04), 0x00);
    EXPECT_EQ(kb.ReadMatrix(0x108), 0x00);  // bit 3 selects nothing
    kb.KeyUp(vk::kF1);

    kb.KeyDown(vk::kInsert);  // keypad 0: row 8, column 0
    EXPECT_EQ(kb.ReadMatrix(0x101), 0x01);
    EXPECT_EQ(kb.ReadMatrix(0x01), 0x00);

    // Rows 8 and 9 in full through 0x103.
    for (std::uint16_t code = vk::kNumpad0; code <= vk::kNumpad0 + 9; ++code) kb.KeyDown(code);
    kb.KeyDown(vk::kDecimal);
    EXPECT_EQ(kb.ReadMatrix(0x101), 0xFF);
    EXPECT_EQ(kb.ReadMatrix(0x102), 0x43);  // keypad 8, 9 and the point
    EXPECT_EQ(kb.ReadMatrix(0x103), 0xFF);
    EXPECT_EQ(kb.ReadMatrix(0x104), 0x00);
    kb.ReleaseAll();

    // Several rows ORed; the lower half only sees rows 0-7.
    kb.KeyDown('C');          // row 0, column 3
    kb.KeyDown('K');          // row 1, column 3
    kb.KeyDown('Z');          // row 3, column 2
    kb.KeyDown(vk::kRShift);  // row 7, column 7
    kb.KeyDown(vk::kF1 + 4);  // row 10, column 4
    EXPECT_EQ(kb.ReadMatrix(0x03), 0x08);
    EXPECT_EQ(kb.ReadMatrix(0x09), 0x0C);
    EXPECT_EQ(kb.ReadMatrix(0x80), 0x80);
    EXPECT_EQ(kb.ReadMatrix(0xFF), 0x8C);
    EXPECT_EQ(kb.ReadMatrix(0x130), 0x04);       // rows 0, 1: column 3 -> bit 2
    EXPECT_EQ(kb.ReadMatrix(0x180), 0x02);       // row 3: column 2 -> bit 1
    EXPECT_EQ(kb.ReadMatrix(0x184), 0x12);       // row 3 and row 10
    EXPECT_EQ(kb.ReadMatrix(0x1FF), 0x16);
}

TEST(KorvetKeyboard, PictureHitTest) {
    using P = tKorvetKeyPos;
    // Inside keys.
    EXPECT_EQ(tKorvetKeyboard::HitTest(135, 88), (P{0, 1}));     // A: 122..148 x 75..101
    EXPECT_EQ(tKorvetKeyboard::HitTest(1, 1), (P{10, 0}));       // F1
    EXPECT_EQ(tKorvetKeyboard::HitTest(200, 140), (P{6, 7}));    // space bar
    EXPECT_EQ(tKorvetKeyboard::HitTest(466, 125), (P{9, 6}));    // keypad point
    // Neighbouring keys overlap by one pixel: A's left edge is inside W.
    EXPECT_EQ(tKorvetKeyboard::HitTest(122, 88), (P{2, 7}));
    EXPECT_EQ(tKorvetKeyboard::HitTest(123, 88), (P{0, 1}));
    // Edges with no neighbour belong to no key (both bounds strict).
    EXPECT_FALSE(tKorvetKeyboard::HitTest(22, 130).has_value());   // ФИКС left edge
    EXPECT_FALSE(tKorvetKeyboard::HitTest(10, 0).has_value());     // F1 top edge
    EXPECT_FALSE(tKorvetKeyboard::HitTest(467, 60).has_value());   // keypad 6 right edge
    EXPECT_FALSE(tKorvetKeyboard::HitTest(200, 151).has_value());  // space bar bottom edge
    // Overlapping borders: x = 37 lies inside F1 (0..38) and on F2's edge.
    EXPECT_EQ(tKorvetKeyboard::HitTest(37, 10), (P{10, 0}));
    // The ENTER extension, and its strict edges.
    EXPECT_EQ(tKorvetKeyboard::HitTest(360, 90), (P{6, 0}));
    EXPECT_FALSE(tKorvetKeyboard::HitTest(375, 90).has_value());
    EXPECT_FALSE(tKorvetKeyboard::HitTest(360, 100).has_value());
    // Outside the picture.
    EXPECT_FALSE(tKorvetKeyboard::HitTest(-5, -5).has_value());
    EXPECT_FALSE(tKorvetKeyboard::HitTest(500, 50).has_value());

    tKorvetKeyboard kb;
    EXPECT_FALSE(kb.MouseDownAt(22, 130));
    EXPECT_EQ(kb.ReadMatrix(0xFF), 0);
    EXPECT_TRUE(kb.MouseDownAt(360, 90));
    EXPECT_TRUE(kb.IsPressed(6, 0));
    EXPECT_TRUE(kb.MouseUp());
}

TEST(KorvetKeyboard, KeysForTypedCharacters) {
    using K = tKorvetTypedKey;
    using A = tKorvetAlphabet;
    auto key = [](char32_t ch) { return tKorvetKeyboard::KeyForChar(ch); };
    EXPECT_EQ(key(U'A'), (K{0, 1, false, A::Latin}));
    EXPECT_EQ(key(U'a'), (K{0, 1, true, A::Latin}));
    EXPECT_EQ(key(U'@'), (K{0, 0, false, A::Latin}));
    EXPECT_EQ(key(U'Z'), (K{3, 2, false, A::Latin}));
    EXPECT_EQ(key(U'_'), (K{3, 7, false, A::Latin}));
    EXPECT_EQ(key(U'{'), (K{3, 3, true, A::Latin}));
    EXPECT_EQ(key(U'~'), (K{3, 6, true, A::Latin}));
    EXPECT_EQ(key(U'0'), (K{4, 0, false, A::Any}));
    EXPECT_EQ(key(U'7'), (K{4, 7, false, A::Any}));
    EXPECT_EQ(key(U'9'), (K{5, 1, false, A::Any}));
    EXPECT_EQ(key(U'!'), (K{4, 1, true, A::Any}));
    EXPECT_EQ(key(U'$'), (K{4, 4, true, A::Any}));
    EXPECT_EQ(key(U'¤'), (K{4, 4, true, A::Any}));
    EXPECT_EQ(key(U'\''), (K{4, 7, true, A::Any}));
    EXPECT_EQ(key(U'('), (K{5, 0, true, A::Any}));
    EXPECT_EQ(key(U':'), (K{5, 2, false, A::Any}));
    EXPECT_EQ(key(U'*'), (K{5, 2, true, A::Any}));
    EXPECT_EQ(key(U'+'), (K{5, 3, true, A::Any}));
    EXPECT_EQ(key(U'='), (K{5, 5, true, A::Any}));
    EXPECT_EQ(key(U'?'), (K{5, 7, true, A::Any}));
    EXPECT_EQ(key(U','), (K{5, 4, false, A::Any}));
    EXPECT_EQ(key(U'<'), (K{5, 4, true, A::Any}));
    EXPECT_EQ(key(U'-'), (K{5, 5, false, A::Any}));
    EXPECT_EQ(key(U'.'), (K{5, 6, false, A::Any}));
    EXPECT_EQ(key(U'/'), (K{5, 7, false, A::Any}));
    EXPECT_EQ(key(U'"'), (K{4, 2, true, A::Any}));
    EXPECT_EQ(key(U' '), (K{6, 7, false, A::Any}));
    EXPECT_EQ(key(U'\n'), (K{6, 0, false, A::Any}));
    EXPECT_EQ(key(U'\r'), (K{6, 0, false, A::Any}));
    EXPECT_EQ(key(U'\t'), (K{6, 6, false, A::Any}));
    EXPECT_EQ(key(0x1B), (K{7, 3, false, A::Any}));
    // Cyrillic legends share the letter keys.
    EXPECT_EQ(key(U'Ю'), (K{0, 0, false, A::Cyrillic}));
    EXPECT_EQ(key(U'Ц'), (K{0, 3, false, A::Cyrillic}));
    EXPECT_EQ(key(U'Я'), (K{2, 1, false, A::Cyrillic}));
    EXPECT_EQ(key(U'я'), (K{2, 1, true, A::Cyrillic}));
    EXPECT_EQ(key(U'Ж'), (K{2, 6, false, A::Cyrillic}));
    EXPECT_EQ(key(U'Ч'), (K{3, 6, false, A::Cyrillic}));
    EXPECT_EQ(key(U'ъ'), (K{3, 7, true, A::Cyrillic}));
    // Characters without a key.
    for (char32_t ch : {char32_t{0}, U'Ё', U'ё', U'€', char32_t{0x7F}, U'é', char32_t{0x110000}}) {
        EXPECT_FALSE(key(ch).has_value()) << static_cast<unsigned>(ch);
    }
    // Every key found for a character is a real key of the table, and each
    // (key, shift, alphabet) types only one character.
    tKorvetKeyboard kb;
    std::set<std::tuple<int, int, bool, A>> seen;
    for (char32_t ch = 0; ch < 0x500; ++ch) {
        if (auto k = key(ch)) {
            EXPECT_GT(kb.Entry(k->Row, k->Column).Width, 0) << static_cast<unsigned>(ch);
            if (ch != U'\r' && ch != U'$') {
                EXPECT_TRUE(seen.insert({k->Row, k->Column, k->Shift, k->Alphabet}).second) << static_cast<unsigned>(ch);
            }
        }
    }
    // Letter keys: 32 + 31 Latin (shifted _ types nothing), 64 Cyrillic;
    // digit rows: 16 + 15; ENTER, TAB, back space, space, ESC.
    EXPECT_EQ(seen.size(), 63u + 64 + 16 + 15 + 5);
}

}  // namespace
}  // namespace velgard
