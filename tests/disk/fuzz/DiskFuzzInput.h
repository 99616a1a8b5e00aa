#pragma once
// Turns a small fuzzer input into a disk image: bytes 0-2 give the image
// size (up to 1 MB), the next 32 bytes the header, and the rest lands at the
// directory the header names, so short inputs reach the directory code.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velgard::fuzz {

inline constexpr std::size_t kPrefix = 3;

inline std::vector<std::uint8_t> ImageFromInput(const std::uint8_t* data, std::size_t size) {
    if (size < kPrefix) return {};
    const std::size_t imageSize = (data[0] | (data[1] << 8) | (static_cast<std::size_t>(data[2]) << 16)) % (1048576 + 1);
    std::vector<std::uint8_t> image(imageSize, 0xE5);
    data += kPrefix;
    size -= kPrefix;
    std::size_t header = size < 32 ? size : 32;
    for (std::size_t i = 0; i < header && i < imageSize; ++i) image[i] = data[i];
    if (imageSize >= 32 && size > 32) {
        const std::uint64_t trackSize = (image[0x0C] | (image[0x0D] << 8)) * (128ULL << (image[0x0A] & 7));
        const std::uint64_t start = (image[0x1D] | (image[0x1E] << 8)) * trackSize;
        for (std::size_t i = 32; i < size && start + (i - 32) < imageSize; ++i) image[start + (i - 32)] = data[i];
    }
    return image;
}

}  // namespace velgard::fuzz
