#pragma once
// Runs the machine with the built-in firmware in-process, pressing keys
// frame by frame, and reads the text screen back; and compares velgard-cli
// screenshots with the golden pictures of tests/firmware/golden.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace velgard {
class tMemory_Korvet64Kb;
class tComputer_I8080_Korvet;
}

namespace velgard::test {

// One step of typing: the PC keys (virtual-key codes) held together for
// a few frames, then released. MatrixKey(row, column) in a chord presses
// that key of the Korvet matrix itself, as the mouse does (one a chord).
using KeyChord = std::vector<std::uint16_t>;
constexpr std::uint16_t MatrixKey(int row, int column) {
    return static_cast<std::uint16_t>(0x1000 + row * 8 + column);
}

// Chords for an ASCII text: letters unshifted (the capitals of the
// legends), digits, space, Enter for '\r'; other characters are not used.
std::vector<KeyChord> Keys(const std::string& text);

struct FirmwareRun {
    int rom = 2;                  // "Контур 2.0": the monitor at power-on
    bool z80 = false;
    int frames = 150;
    std::vector<KeyChord> keys;   // typed from frame 50 on
    int holdFrames = 3;           // how long each chord stays down
    std::string driveA;           // disk image for drive A, or none
    // Called at the end of every frame with the frame number (from 1).
    std::function<void(int, const tMemory_Korvet64Kb&)> observe;
    // Called at the end of every frame, after `observe`, with the machine
    // itself (to open a drive's door, for example).
    std::function<void(int, tComputer_I8080_Korvet&)> control;

    struct Result {
        std::array<std::uint8_t, 1024> text{};  // character codes, row-major
        std::array<std::uint8_t, 1024> attributes{};
        std::uint8_t configuration = 0;
        std::uint8_t systemRegister = 0;
        std::vector<std::string> messages;      // host messages shown
        std::vector<std::uint8_t> ram;           // all 64 KB at the end
        // The processor and the devices at the end of the run.
        std::uint16_t pc = 0, sp = 0, hl = 0;
        bool interruptsEnabled = false;
        std::uint8_t interruptMask = 0;          // the controller's OCW1
        std::uint8_t port32 = 0;
        // Text row r as a string of character codes, trailing blanks cut.
        std::string Row(int r) const;
        // True when some row starts with `prefix`.
        bool HasRowStartingWith(const std::string& prefix) const;
    };
    Result Run() const;
};

// The machine's character codes of a UTF-8 text (ASCII and the Cyrillic
// letters of the font).
std::string Koi(const std::string& utf8);

// Compares a PNG with the golden picture `name` (tests/firmware/golden).
// With VELGARD_UPDATE_GOLDEN=1 in the environment a missing or differing
// golden picture is written instead (only ever on purpose).
// Returns an empty string on a match, else what differs.
std::string CompareWithGolden(const std::filesystem::path& png, const std::string& name);

}  // namespace velgard::test
