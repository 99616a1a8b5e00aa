#pragma once
// Images and helpers shared by the disk tests.
#include <cstdint>
#include <vector>

#include "disk/CPM_Disk.h"

namespace velgard::test {

// A blank, accepted 819,200-byte CP/M image (the layout "disk new" writes).
inline std::vector<std::uint8_t> BlankImage() { return MakeBlankDiskImage(); }

// An image whose every byte tells its offset: (offset * 7 + offset / 1024) & 0xFF,
// with an accepted header.
inline std::vector<std::uint8_t> PatternImage(std::size_t size = 819200) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>((i * 7 + i / 1024) & 0xFF);
    const auto blank = MakeBlankDiskImage();
    for (std::size_t i = 0; i < 32 && i < size; ++i) image[i] = blank[i];
    return image;
}

inline std::vector<std::uint8_t> Bytes(std::size_t n, std::uint32_t seed) {
    std::vector<std::uint8_t> v(n);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    return v;
}

}  // namespace velgard::test
