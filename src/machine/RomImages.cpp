// The built-in ROM images and font (assembled and generated at build time,
// see firmware/) and their replacement by users' own dumps.
#include "machine/RomImages.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "EmbeddedImages.h"

namespace velgard {

namespace {

struct BuiltinImage {
    const std::uint8_t* data;
    const std::size_t* size;
};

const std::array<BuiltinImage, tRomImages::kRomCount> kBuiltinRoms = {{
    {embedded::kKorvet20Rom, &embedded::kKorvet20Rom_size},
    {embedded::kKorvet11Rom, &embedded::kKorvet11Rom_size},
    {embedded::kKontur20Rom, &embedded::kKontur20Rom_size},
}};

// Reads a user's dump, refusing anything larger than `limit` bytes without
// reading it; false when the file cannot be read.
bool ReadDump(const std::filesystem::path& path, std::size_t limit, std::vector<std::uint8_t>& data,
              std::uintmax_t& size) {
    std::error_code ec;
    size = std::filesystem::file_size(path, ec);
    if (ec) return false;
    if (size > limit) return true;  // the caller reports the length
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad() || data.size() != size) return false;
    return true;
}

std::string ExpectedLengths(int index) {
    if (index < 0) return std::to_string(tRomImages::kFontLength);
    std::string text = std::to_string(tRomImages::kRomLength[static_cast<std::size_t>(index)]);
    if (index == 0) text += " or 24576";
    return text;
}

}  // namespace

tRomImages::tRomImages() {
    for (int i = 0; i < kRomCount; ++i) {
        const auto& b = kBuiltinRoms[static_cast<std::size_t>(i)];
        roms_[static_cast<std::size_t>(i)].assign(b.data, b.data + *b.size);
        builtin_[static_cast<std::size_t>(i)] = true;
    }
    font_.assign(embedded::kFont, embedded::kFont + embedded::kFont_size);
}

std::span<const std::uint8_t> tRomImages::Rom(int index) const {
    if (index < 0 || index >= kRomCount) index = 1;
    return roms_[static_cast<std::size_t>(index)];
}

bool tRomImages::IsBuiltinRom(int index) const {
    if (index < 0 || index >= kRomCount) index = 1;
    return builtin_[static_cast<std::size_t>(index)];
}

bool tRomImages::AcceptableRomLength(int index, std::size_t length) {
    if (index < 0 || index >= kRomCount) return false;
    return length == kRomLength[static_cast<std::size_t>(index)] || (index == 0 && length == 24576);
}

bool tRomImages::ReplaceRom(int index, std::vector<std::uint8_t> data, std::string* error) {
    if (!AcceptableRomLength(index, data.size())) {
        if (error) *error = "wrong length " + std::to_string(data.size());
        return false;
    }
    roms_[static_cast<std::size_t>(index)] = std::move(data);
    builtin_[static_cast<std::size_t>(index)] = false;
    return true;
}

bool tRomImages::ReplaceFont(std::vector<std::uint8_t> data, std::string* error) {
    if (data.size() != kFontLength) {
        if (error) *error = "wrong length " + std::to_string(data.size());
        return false;
    }
    font_ = std::move(data);
    return true;
}

std::vector<std::string> tRomImages::LoadUserDumps(const std::filesystem::path& folder) {
    std::vector<std::string> warnings;
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return warnings;

    // index -1 stands for the font
    for (int index = -1; index < kRomCount; ++index) {
        const char* name =
            index < 0 ? kFontFileName : kRomFileName[static_cast<std::size_t>(index)];
        const auto path = folder / name;
        if (!std::filesystem::exists(path, ec)) continue;
        if (!std::filesystem::is_regular_file(path, ec)) {
            warnings.push_back(path.string() + ": not a regular file; the built-in image is used");
            continue;
        }
        std::vector<std::uint8_t> data;
        std::uintmax_t size = 0;
        if (!ReadDump(path, 1u << 20, data, size)) {
            warnings.push_back(path.string() + ": cannot be read; the built-in image is used");
            continue;
        }
        const bool ok = index < 0 ? size == kFontLength : AcceptableRomLength(index, size);
        if (!ok) {
            warnings.push_back(path.string() + ": wrong length " + std::to_string(size) +
                               " bytes (" + ExpectedLengths(index) +
                               " expected); the built-in image is used");
            continue;
        }
        if (index < 0) {
            ReplaceFont(std::move(data));
        } else {
            ReplaceRom(index, std::move(data));
        }
    }
    return warnings;
}

std::filesystem::path tRomImages::UserRomFolderFor(const std::filesystem::path& programFolder,
                                                   const char* xdgConfigHome, const char* home) {
    if (!programFolder.empty() && ::access(programFolder.c_str(), W_OK) == 0)
        return programFolder / "roms";
    std::filesystem::path config;
    if (xdgConfigHome && *xdgConfigHome && std::filesystem::path(xdgConfigHome).is_absolute()) {
        config = xdgConfigHome;
    } else if (home && *home) {
        config = std::filesystem::path(home) / ".config";
    } else {
        return {};
    }
    return config / "velgard" / "roms";
}

std::filesystem::path tRomImages::DefaultUserRomFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::filesystem::path programFolder = ec ? std::filesystem::path() : exe.parent_path();
    return UserRomFolderFor(programFolder, std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

}  // namespace velgard
