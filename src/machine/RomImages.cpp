// PLACEHOLDER built-in data (zero-filled) until the firmware build embeds the real images.
#include "machine/RomImages.h"

#include <fstream>
#include <iterator>

namespace velgard {

tRomImages::tRomImages() {
    for (int i = 0; i < kRomCount; ++i) {
        roms_[i].assign(kRomLength[i], 0);
        builtin_[i] = true;
    }
    font_.assign(kFontLength, 0);
}

std::span<const std::uint8_t> tRomImages::Rom(int index) const {
    if (index < 0 || index >= kRomCount) index = 1;
    return roms_[index];
}

bool tRomImages::IsBuiltinRom(int index) const {
    if (index < 0 || index >= kRomCount) index = 1;
    return builtin_[index];
}

bool tRomImages::AcceptableRomLength(int index, std::size_t length) {
    if (index < 0 || index >= kRomCount) return false;
    return length == kRomLength[index] || (index == 0 && length == 24576);
}

bool tRomImages::ReplaceRom(int index, std::vector<std::uint8_t> data, std::string* error) {
    if (!AcceptableRomLength(index, data.size())) {
        if (error) *error = "wrong length " + std::to_string(data.size());
        return false;
    }
    roms_[index] = std::move(data);
    builtin_[index] = false;
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

std::vector<std::string> tRomImages::LoadUserDumps(const std::filesystem::path&) { return {}; }

std::filesystem::path tRomImages::DefaultUserRomFolder() { return "roms"; }

}  // namespace velgard
