#pragma once
// The text of `run --type`: decoding its escapes and pressing its keys on
// the Korvet keyboard, one key per few frames.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velgard {
class tKorvetKeyboard;
}

namespace velgard::cli {

// Decodes the text given to --type: UTF-8, where a backslash starts an
// escape: \r and \n (Enter), \t (Tab), \\ (a backslash) and \xNN (the
// character with the two hexadecimal digits NN, e.g. \x1B for Escape).
// False with a one-line reason on malformed UTF-8 or an unknown or cut
// escape.
bool ParseTypedText(std::string_view text, std::u32string& out, std::string& error);

// One key press: a key of the matrix, with or without Shift. Switching the
// alphabet (АЛФ for Latin, ГРФ for Cyrillic letters) is a press too.
struct TypeStep {
    int row = 0;
    int column = 0;
    bool shift = false;
    bool operator==(const TypeStep&) const = default;
};

// The presses that type `text`, the machine starting in the Latin
// alphabet. False with a reason when a character has no key.
bool PlanTyping(std::u32string_view text, std::vector<TypeStep>& steps, std::string& error);

// Presses the planned keys one after the other, driven once per frame:
// the key goes down, stays down for a few frames, comes up, and the next
// key waits a few frames more, so that the keyboard scan sees every press
// once. Typing starts at frame kStartFrame, when the firmware is ready.
class Typist {
public:
    static constexpr unsigned long long kStartFrame = 50;
    static constexpr int kHoldFrames = 3;
    static constexpr int kGapFrames = 3;

    Typist(tKorvetKeyboard& keyboard, std::vector<TypeStep> steps)
        : keyboard_(keyboard), steps_(std::move(steps)) {}

    // Called at the end of each frame (frames count from 1).
    void Frame(unsigned long long frame);
    // True once every key has been pressed and released.
    bool Done() const { return next_ >= steps_.size() && !down_ && wait_ == 0; }
    // The last frame a text of `steps` presses needs (at least).
    static unsigned long long FramesNeeded(std::size_t steps);

private:
    tKorvetKeyboard& keyboard_;
    std::vector<TypeStep> steps_;
    std::size_t next_ = 0;
    int wait_ = 0;
    bool down_ = false;
    bool shift_ = false;
};

}  // namespace velgard::cli
