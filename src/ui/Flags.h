#pragma once
// The user's settings between runs: an INI file read once at start and
// written once at exit (atomically: a temporary file beside it, flushed and
// renamed over it).
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velgard::ui {

// The program's folder with a trailing '/', computed once from
// /proc/self/exe.
const std::string& ProgramFolder();

// Where the settings file lives: "<program name>.ini" in the program's
// folder when that folder is writable, else in $XDG_CONFIG_HOME/velgard
// (by default ~/.config/velgard), the rule the ROM dumps follow too.
std::filesystem::path DefaultSettingsPath();

struct tWindowPlacement {
    bool Valid = false;  // false: no stored placement, centre the window
    int X = 0, Y = 0, Width = 0, Height = 0;
    bool FullScreen = false;
};

class tFlags {
public:
    static constexpr int kDrives = 4;

    // Section "Settings"
    std::string OpenDiskFolder;   // "OpenDiskFolder"
    std::string OpenFilesFolder;  // "OpenFilesFolder"
    // Section "Floppy"
    std::array<std::string, kDrives> DiskImage;  // "DiskImage[n]"
    std::array<bool, kDrives> DriveClosed{};     // "DriveClosed[n]"
    // Section "Keyboard"
    bool KeyDownEx = false;
    bool ShowFullscreenKeyboard = false;
    // Section "Sound": 0 none, 1 PC speaker, 2 wave output
    std::uint8_t Device = 2;
    // Section "Computer"
    std::uint8_t ROMIndex = 1;
    std::uint8_t GZUPagesCount = 4;
    std::uint8_t CPUKind = 0;
    // Section "Window" (ours: placement of the main window)
    tWindowPlacement Window;

    // Fills every field from `file`; a missing, unreadable or damaged file
    // (or key) gives the defaults, with a line in Warnings() for a file that
    // exists but cannot be read or parsed. `programFolder` is the default of
    // both dialog folders.
    void Load(const std::filesystem::path& file, const std::string& programFolder);
    // Writes the file anew. False (with the reason in *error) when it could
    // not be written; the old file then stays as it was.
    bool Save(const std::filesystem::path& file, std::string* error = nullptr) const;

    const std::vector<std::string>& Warnings() const { return warnings_; }

private:
    std::vector<std::string> warnings_;
};

}  // namespace velgard::ui
