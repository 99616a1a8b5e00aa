#pragma once
// Routing of PC key events to the Korvet key matrix.
//
// Qt key events are turned into the Windows virtual-key codes of the key
// table. Keys whose meaning depends on the keyboard layout (letters,
// digits, punctuation) go by their physical position, read from the
// event's native scan code (the XKB keycode on X11 and Wayland), so a
// Russian layout still presses the Korvet key under the finger. Left and
// right Shift, Ctrl and Alt are told apart the same way. Which PC keys are
// physically held is kept from the key events themselves.
//
// The main window feeds every key event of the application to
// HandleKeyEvent (from an event filter), calls Tick every 5 ms while the
// application is active, and ReleaseAll when a menu opens or the
// application loses the focus. The router owns no widget.
#include <QKeyEvent>
#include <bitset>
#include <cstdint>
#include <functional>
#include <optional>

#include "machine/KorvetKeyboard.h"

namespace velgard::ui {

class tFlags;

class tKeyRouter {
public:
    // "KeyDownEx" (the combined Down arrow) read from the settings at every
    // event.
    tKeyRouter(tKorvetKeyboard& keyboard, const tFlags& flags);
    // "KeyDownEx" kept here (SetKeyDownEx).
    explicit tKeyRouter(tKorvetKeyboard& keyboard);
    tKeyRouter(const tKeyRouter&) = delete;
    tKeyRouter& operator=(const tKeyRouter&) = delete;

    void SetKeyDownEx(bool on) { ownKeyDownEx_ = on; }
    bool KeyDownEx() const { return *keyDownEx_; }

    // Handles a KeyPress or KeyRelease event. True when the event is
    // consumed and must go no further: Tab (so that it never moves the
    // focus), Shift and Ctrl, an Alt press and any key pressed while Alt is
    // held. Other events return false and go on to the window.
    bool HandleKeyEvent(const QKeyEvent* event);

    // The repair of modifier state, every 5 ms: a Shift key physically held
    // but not yet seen by the tick is pressed, one no longer held is
    // released; Ctrl keys no longer held are released. With a modifier
    // probe set, a Shift or Ctrl that the probe says is up is taken as
    // released even when its release event never arrived.
    void Tick();

    // Releases every Korvet key and forgets the held PC keys: after a menu
    // or another application had the keyboard, their releases may never
    // come here.
    void ReleaseAll();

    // Whether the PC key with this virtual-key code is held. The generic
    // codes 16, 17 and 18 ask for either of the two keys.
    bool IsPhysicallyDown(std::uint16_t vkCode) const;

    // The modifiers as the window system reports them right now (for
    // example QGuiApplication::queryKeyboardModifiers), for Tick.
    void SetModifierProbe(std::function<Qt::KeyboardModifiers()> probe) { probe_ = std::move(probe); }

    // The virtual-key code of a key event, if it has one.
    static std::optional<std::uint16_t> VirtualKeyFor(const QKeyEvent& event);

private:
    bool KeyPress(std::uint16_t vk);
    bool KeyRelease(std::uint16_t vk);

    tKorvetKeyboard& keyboard_;
    bool ownKeyDownEx_ = false;
    const bool* keyDownEx_;
    std::bitset<256> held_;
    // Left and right Shift as the tick last saw them.
    bool tickLeftShift_ = false;
    bool tickRightShift_ = false;
    std::function<Qt::KeyboardModifiers()> probe_;
};

}  // namespace velgard::ui
