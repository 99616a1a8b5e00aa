#pragma once
// The ROM images and the character font the machine runs with: our own
// built-in firmware and font, each replaceable by a user's own dump.
#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace velgard {

class tRomImages {
public:
    static constexpr int kRomCount = 3;
    // 0: "Корвет 2.0"+BAS, 1: "Корвет 1.1"+BAS, 2: "Контур 2.0".
    static constexpr std::array<std::size_t, kRomCount> kRomLength = {24578, 24576, 8192};
    static constexpr std::size_t kFontLength = 8192;
    // File names of users' own dumps in a roms/ folder.
    static constexpr std::array<const char*, kRomCount> kRomFileName = {
        "korvet20.rom", "korvet11.rom", "kontur20.rom"};
    static constexpr const char* kFontFileName = "font.rom";

    // Starts with the built-in images.
    tRomImages();

    // Index outside 0-2 is read as 1.
    std::span<const std::uint8_t> Rom(int index) const;
    std::span<const std::uint8_t> Font() const { return font_; }
    bool IsBuiltinRom(int index) const;

    // True when `length` is acceptable for ROM `index`: the exact length, and
    // for "Корвет 2.0" also 24576.
    static bool AcceptableRomLength(int index, std::size_t length);

    // Replace an image; refused (false, with a message) for a wrong length.
    bool ReplaceRom(int index, std::vector<std::uint8_t> data, std::string* error = nullptr);
    bool ReplaceFont(std::vector<std::uint8_t> data, std::string* error = nullptr);

    // Takes the user's dumps found in `folder` (korvet20.rom, korvet11.rom,
    // kontur20.rom, font.rom); returns one warning per file that was
    // present but ignored.
    std::vector<std::string> LoadUserDumps(const std::filesystem::path& folder);

    // The roms/ folder beside the settings file, where users put their dumps.
    // The settings live in the program's folder when it is writable, else in
    // $XDG_CONFIG_HOME/velgard (by default ~/.config/velgard).
    static std::filesystem::path DefaultUserRomFolder();

    // The same rule with its inputs given: the program's folder and the
    // values of XDG_CONFIG_HOME and HOME (either may be null). Empty when
    // no folder can be named.
    static std::filesystem::path UserRomFolderFor(const std::filesystem::path& programFolder,
                                                  const char* xdgConfigHome, const char* home);

private:
    std::array<std::vector<std::uint8_t>, kRomCount> roms_;
    std::array<bool, kRomCount> builtin_{};
    std::vector<std::uint8_t> font_;
};

}  // namespace velgard
