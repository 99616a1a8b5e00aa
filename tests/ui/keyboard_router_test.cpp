// PC key events reaching the Korvet key matrix: physical keys under other
// layouts, left and right modifiers, auto-repeat, the combined Down arrow,
// Tab, release-all and the modifier repair tick.
#include <QKeyEvent>

#include <gtest/gtest.h>

#include "machine/KorvetKeyboard.h"
#include "ui/Flags.h"
#include "ui/KeyRouter.h"

namespace velgard::ui {
namespace {

// XKB keycodes.
constexpr quint32 kScanA = 38, kScanTab = 23, kScanDown = 116, kScanSlash = 61, kScanKp5 = 84;
constexpr quint32 kScanLShift = 50, kScanRShift = 62, kScanLCtrl = 37, kScanRCtrl = 105, kScanLAlt = 64,
                  kScanRAlt = 108;

QKeyEvent Key(QEvent::Type type, int key, quint32 scan = 0, Qt::KeyboardModifiers mods = Qt::NoModifier,
              bool autoRepeat = false) {
    return QKeyEvent(type, key, mods, scan, 0, 0, QString(), autoRepeat);
}

std::optional<std::uint16_t> Vk(int key, quint32 scan = 0, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const QKeyEvent e = Key(QEvent::KeyPress, key, scan, mods);
    return tKeyRouter::VirtualKeyFor(e);
}

struct KeyRouter : ::testing::Test {
    tKorvetKeyboard keyboard;
    tKeyRouter router{keyboard};

    bool Press(int key, quint32 scan = 0, Qt::KeyboardModifiers mods = Qt::NoModifier, bool repeat = false) {
        const QKeyEvent e = Key(QEvent::KeyPress, key, scan, mods, repeat);
        return router.HandleKeyEvent(&e);
    }
    bool Release(int key, quint32 scan = 0, Qt::KeyboardModifiers mods = Qt::NoModifier, bool repeat = false) {
        const QKeyEvent e = Key(QEvent::KeyRelease, key, scan, mods, repeat);
        return router.HandleKeyEvent(&e);
    }
    bool Pressed(int row, int column) const { return keyboard.IsPressed(row, column); }
    int PressedCount() const {
        int n = 0;
        for (int r = 0; r < tKorvetKeyboard::kRows; ++r)
            for (int c = 0; c < tKorvetKeyboard::kColumns; ++c) n += keyboard.IsPressed(r, c);
        return n;
    }
};

TEST(KeyRouterMapping, PhysicalKeysWinOverTheLayout) {
    // Russian layout: the key of A gives Ф, the key of / gives '.'.
    EXPECT_EQ(Vk(0x0424, kScanA), std::optional<std::uint16_t>('A'));
    EXPECT_EQ(Vk(Qt::Key_Period, kScanSlash), vk::kOem2);
    EXPECT_EQ(Vk(Qt::Key_Exclam, 10), std::optional<std::uint16_t>('1'));
    // Modifiers told apart by their keycodes.
    EXPECT_EQ(Vk(Qt::Key_Shift, kScanLShift), vk::kLShift);
    EXPECT_EQ(Vk(Qt::Key_Shift, kScanRShift), vk::kRShift);
    EXPECT_EQ(Vk(Qt::Key_Control, kScanLCtrl), vk::kLControl);
    EXPECT_EQ(Vk(Qt::Key_Control, kScanRCtrl), vk::kRControl);
    EXPECT_EQ(Vk(Qt::Key_Alt, kScanLAlt), vk::kLMenu);
    EXPECT_EQ(Vk(Qt::Key_AltGr, kScanRAlt), vk::kRMenu);
    // The extra key of European keyboards reaches nothing.
    EXPECT_EQ(Vk(Qt::Key_Less, 94), std::nullopt);
}

TEST(KeyRouterMapping, KeypadFollowsNumLockAndEventsWithoutScanCodesUseTheKey) {
    const auto keypad = Qt::KeypadModifier;
    EXPECT_EQ(Vk(Qt::Key_7, 79, keypad), vk::kNumpad0 + 7);  // Num Lock on
    EXPECT_EQ(Vk(Qt::Key_Home, 79, keypad), vk::kHome);      // Num Lock off
    EXPECT_EQ(Vk(Qt::Key_5, kScanKp5, keypad), vk::kNumpad0 + 5);
    EXPECT_EQ(Vk(Qt::Key_Clear, kScanKp5, keypad), vk::kClear);
    EXPECT_EQ(Vk(Qt::Key_Period, 91, keypad), vk::kDecimal);
    EXPECT_EQ(Vk(Qt::Key_Delete, 91, keypad), vk::kDelete);
    EXPECT_EQ(Vk(Qt::Key_Asterisk, 0, keypad), vk::kMultiply);
    EXPECT_EQ(Vk(Qt::Key_Asterisk), std::optional<std::uint16_t>('8'));
    EXPECT_EQ(Vk(Qt::Key_A), std::optional<std::uint16_t>('A'));
    EXPECT_EQ(Vk(0x0424), std::optional<std::uint16_t>('A'));  // Ф without a scan code
    EXPECT_EQ(Vk(0x042E), vk::kOemPeriod);                     // Ю
    EXPECT_EQ(Vk(Qt::Key_Backtab), vk::kTab);
    EXPECT_EQ(Vk(Qt::Key_Shift), vk::kLShift);
    EXPECT_EQ(Vk(Qt::Key_F12), vk::kF1 + 11);
    EXPECT_EQ(Vk(Qt::Key_Meta), std::nullopt);
}

TEST_F(KeyRouter, LeftAndRightModifiersPressTheirOwnKorvetKeys) {
    EXPECT_TRUE(Press(Qt::Key_Shift, kScanRShift));
    EXPECT_TRUE(Pressed(7, 7));
    EXPECT_FALSE(Pressed(7, 0));
    EXPECT_TRUE(Press(Qt::Key_Shift, kScanLShift));
    EXPECT_TRUE(Pressed(7, 0));
    // Right Shift let go while the left one is held: left stays pressed.
    EXPECT_TRUE(Release(Qt::Key_Shift, kScanRShift));
    EXPECT_FALSE(Pressed(7, 7));
    EXPECT_TRUE(Pressed(7, 0));
    EXPECT_TRUE(router.IsPhysicallyDown(vk::kShift));
    EXPECT_TRUE(Release(Qt::Key_Shift, kScanLShift));
    EXPECT_EQ(PressedCount(), 0);
    EXPECT_FALSE(router.IsPhysicallyDown(vk::kShift));

    EXPECT_TRUE(Press(Qt::Key_Control, kScanRCtrl));
    EXPECT_TRUE(Pressed(7, 4));  // СЕЛ
    EXPECT_TRUE(Press(Qt::Key_Control, kScanLCtrl));
    EXPECT_TRUE(Pressed(7, 5));  // CTRL
    EXPECT_TRUE(Release(Qt::Key_Control, kScanLCtrl));
    EXPECT_TRUE(Pressed(7, 4));
    EXPECT_FALSE(Pressed(7, 5));
    EXPECT_TRUE(Release(Qt::Key_Control, kScanRCtrl));

    EXPECT_TRUE(Press(Qt::Key_Alt, kScanLAlt));
    EXPECT_TRUE(Pressed(7, 1));  // АЛФ
    // A key pressed with Alt held is consumed; its release goes on.
    EXPECT_TRUE(Press(Qt::Key_A, kScanA, Qt::AltModifier));
    EXPECT_TRUE(Pressed(0, 1));
    EXPECT_FALSE(Release(Qt::Key_A, kScanA, Qt::AltModifier));
    EXPECT_FALSE(Pressed(0, 1));
    // Alt's own release is not consumed (the menu bar may want it).
    EXPECT_FALSE(Release(Qt::Key_Alt, kScanLAlt));
    EXPECT_TRUE(Press(Qt::Key_AltGr, kScanRAlt));
    EXPECT_TRUE(Pressed(7, 2));  // ГРФ
    EXPECT_FALSE(Release(Qt::Key_AltGr, kScanRAlt));
    EXPECT_EQ(PressedCount(), 0);
}

TEST_F(KeyRouter, AutoRepeatChangesNothing) {
    int changes = 0;
    keyboard.SetKeyChangedHandler([&](int, int, bool) { ++changes; });
    EXPECT_FALSE(Press(Qt::Key_A, kScanA));
    EXPECT_TRUE(Pressed(0, 1));
    // X11's repeat: a release and a press, both marked as repeated.
    for (int i = 0; i < 3; ++i) {
        Release(Qt::Key_A, kScanA, Qt::NoModifier, true);
        EXPECT_TRUE(Pressed(0, 1));
        Press(Qt::Key_A, kScanA, Qt::NoModifier, true);
    }
    EXPECT_EQ(changes, 1);
    Release(Qt::Key_A, kScanA);
    EXPECT_EQ(PressedCount(), 0);
    EXPECT_EQ(changes, 2);

    // A key held through a release-all comes back with its next repeat.
    EXPECT_FALSE(Press(Qt::Key_Down, kScanDown));
    router.ReleaseAll();
    EXPECT_FALSE(Pressed(8, 2));
    Press(Qt::Key_Down, kScanDown, Qt::NoModifier, true);
    EXPECT_TRUE(Pressed(8, 2));
    Release(Qt::Key_Down, kScanDown);
    EXPECT_FALSE(Pressed(8, 2));
}

TEST_F(KeyRouter, CombinedDownArrowPressesKeypadTwoAndFive) {
    // Off: Down is keypad 2 alone.
    Press(Qt::Key_Down, kScanDown);
    EXPECT_TRUE(Pressed(8, 2));
    EXPECT_FALSE(Pressed(8, 5));
    Release(Qt::Key_Down, kScanDown);
    EXPECT_EQ(PressedCount(), 0);

    router.SetKeyDownEx(true);
    Press(Qt::Key_Down, kScanDown);
    EXPECT_TRUE(Pressed(8, 2));
    EXPECT_TRUE(Pressed(8, 5));
    EXPECT_EQ(PressedCount(), 2);
    Release(Qt::Key_Down, kScanDown);
    EXPECT_EQ(PressedCount(), 0);

    // Keypad 5 (without Num Lock) let go while Down is held stays down...
    const auto kp = Qt::KeypadModifier;
    Press(Qt::Key_Down, kScanDown);
    Press(Qt::Key_Clear, kScanKp5, kp);
    Release(Qt::Key_Clear, kScanKp5, kp);
    EXPECT_TRUE(Pressed(8, 5));
    Release(Qt::Key_Down, kScanDown);
    EXPECT_EQ(PressedCount(), 0);
    // ...and keypad 5 held by itself outlasts the Down arrow.
    Press(Qt::Key_Down, kScanDown);
    Press(Qt::Key_Clear, kScanKp5, kp);
    Release(Qt::Key_Down, kScanDown);
    EXPECT_FALSE(Pressed(8, 2));
    EXPECT_TRUE(Pressed(8, 5));
    Release(Qt::Key_Clear, kScanKp5, kp);
    EXPECT_EQ(PressedCount(), 0);
}

TEST(KeyRouterSettings, CombinedDownArrowFollowsTheSettingLive) {
    tKorvetKeyboard keyboard;
    tFlags flags;
    tKeyRouter router(keyboard, flags);
    const QKeyEvent down = Key(QEvent::KeyPress, Qt::Key_Down, kScanDown);
    const QKeyEvent up = Key(QEvent::KeyRelease, Qt::Key_Down, kScanDown);
    flags.KeyDownEx = true;
    EXPECT_TRUE(router.KeyDownEx());
    router.HandleKeyEvent(&down);
    EXPECT_TRUE(keyboard.IsPressed(8, 5));
    router.HandleKeyEvent(&up);
    flags.KeyDownEx = false;
    router.HandleKeyEvent(&down);
    EXPECT_TRUE(keyboard.IsPressed(8, 2));
    EXPECT_FALSE(keyboard.IsPressed(8, 5));
}

TEST_F(KeyRouter, TabIsConsumedOtherKeysGoOn) {
    EXPECT_TRUE(Press(Qt::Key_Tab, kScanTab));
    EXPECT_TRUE(Pressed(6, 6));
    EXPECT_TRUE(Press(Qt::Key_Tab, kScanTab, Qt::NoModifier, true));  // repeated: still consumed
    EXPECT_TRUE(Release(Qt::Key_Tab, kScanTab));
    EXPECT_FALSE(Pressed(6, 6));
    EXPECT_TRUE(Press(Qt::Key_Backtab, kScanTab, Qt::ShiftModifier));
    EXPECT_TRUE(Release(Qt::Key_Backtab, kScanTab, Qt::ShiftModifier));
    EXPECT_FALSE(Press(Qt::Key_F11, 95));
    EXPECT_FALSE(Release(Qt::Key_F11, 95));
    EXPECT_FALSE(Press(Qt::Key_Return, 36));
    EXPECT_TRUE(Pressed(6, 0));
    EXPECT_FALSE(Release(Qt::Key_Return, 36));
    // Only presses and releases are handled.
    const QKeyEvent shortcut = Key(QEvent::ShortcutOverride, Qt::Key_Tab, kScanTab);
    EXPECT_FALSE(router.HandleKeyEvent(&shortcut));
    EXPECT_FALSE(Pressed(6, 6));
}

TEST_F(KeyRouter, ReleaseAllLetsGoOfEverythingAndForgetsHeldKeys) {
    Press(Qt::Key_A, kScanA);
    Press(Qt::Key_Shift, kScanLShift);
    Press(Qt::Key_Control, kScanRCtrl);
    keyboard.MouseDown(6, 2);  // СТОП with the mouse
    EXPECT_EQ(PressedCount(), 4);
    router.ReleaseAll();
    EXPECT_EQ(PressedCount(), 0);
    EXPECT_FALSE(router.IsPhysicallyDown(vk::kShift));
    EXPECT_FALSE(router.IsPhysicallyDown('A'));
    // The tick does not bring the forgotten Shift back; the late releases
    // change nothing.
    router.Tick();
    EXPECT_EQ(PressedCount(), 0);
    Release(Qt::Key_A, kScanA);
    Release(Qt::Key_Shift, kScanLShift);
    EXPECT_EQ(PressedCount(), 0);
}

TEST_F(KeyRouter, TickRepairsShiftAndCtrl) {
    Press(Qt::Key_Shift, kScanLShift);
    router.Tick();
    // Something else let go of the Korvet SHIFT while the PC key is held:
    // nothing repairs it until the tick has seen the key up...
    keyboard.KeyUp(vk::kLShift);
    router.Tick();
    EXPECT_FALSE(Pressed(7, 0));
    // ...but a Shift the tick had not seen yet is pressed by it.
    Press(Qt::Key_Shift, kScanRShift);
    keyboard.KeyUp(vk::kRShift);
    router.Tick();
    EXPECT_TRUE(Pressed(7, 7));
    // Released keys: the tick's memory is cleared, the matrix follows.
    Release(Qt::Key_Shift, kScanRShift);
    keyboard.KeyDown(vk::kRShift);  // stuck
    router.Tick();
    EXPECT_FALSE(Pressed(7, 7));
    Release(Qt::Key_Shift, kScanLShift);

    // Ctrl keys that are not held are released at every tick.
    keyboard.KeyDown(vk::kLControl);
    keyboard.KeyDown(vk::kRControl);
    Press(Qt::Key_Control, kScanRCtrl);
    router.Tick();
    EXPECT_FALSE(Pressed(7, 5));
    EXPECT_TRUE(Pressed(7, 4));
    Release(Qt::Key_Control, kScanRCtrl);
    EXPECT_EQ(PressedCount(), 0);
}

TEST_F(KeyRouter, TickTrustsTheModifierProbeAboutLostReleases) {
    Qt::KeyboardModifiers reported = Qt::ShiftModifier | Qt::ControlModifier;
    router.SetModifierProbe([&] { return reported; });
    Press(Qt::Key_Shift, kScanLShift);
    Press(Qt::Key_Control, kScanLCtrl);
    router.Tick();
    EXPECT_TRUE(Pressed(7, 0));
    EXPECT_TRUE(Pressed(7, 5));
    // Both releases went to another window.
    reported = Qt::NoModifier;
    router.Tick();
    EXPECT_FALSE(Pressed(7, 0));
    EXPECT_FALSE(Pressed(7, 5));
    EXPECT_FALSE(router.IsPhysicallyDown(vk::kShift));
    EXPECT_FALSE(router.IsPhysicallyDown(vk::kControl));
}

}  // namespace
}  // namespace velgard::ui
