#include "cli/PngWriter.h"

#include <png.h>

#include <cstdint>
#include <vector>

#include "disk/AtomicFile.h"

namespace velgard::cli {

bool WritePng(const std::string& path, const tBMMImage32& image, std::string& error) {
    if (image.Empty()) {
        error = path + ": the image is empty";
        return false;
    }
    const auto width = static_cast<std::size_t>(image.Width());
    const auto height = static_cast<std::size_t>(image.Height());
    std::vector<std::uint8_t> rgb(width * height * 3);
    std::uint8_t* out = rgb.data();
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint32_t* row = image.Row(static_cast<int>(y));
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            *out++ = static_cast<std::uint8_t>(p >> 16);
            *out++ = static_cast<std::uint8_t>(p >> 8);
            *out++ = static_cast<std::uint8_t>(p);
        }
    }

    // Encoded in memory first, then written as a whole through a temporary
    // file renamed over the target: a failed write leaves an old file as
    // it was.
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(width);
    png.height = static_cast<png_uint_32>(height);
    png.format = PNG_FORMAT_RGB;
    const auto stride = static_cast<png_int_32>(width * 3);
    png_alloc_size_t size = 0;
    std::vector<std::uint8_t> encoded;
    bool ok = png_image_write_to_memory(&png, nullptr, &size, 0, rgb.data(), stride, nullptr) != 0;
    if (ok) {
        encoded.resize(size);
        ok = png_image_write_to_memory(&png, encoded.data(), &size, 0, rgb.data(), stride, nullptr) != 0;
        encoded.resize(size);
    }
    if (!ok) {
        error = path + ": cannot encode the PNG image (" + png.message + ")";
        png_image_free(&png);
        return false;
    }
    png_image_free(&png);
    std::string reason;
    if (WriteFileAtomically(path, encoded, &reason) != AtomicWriteStatus::Ok) {
        error = "cannot write the screenshot " + path + " (an old file is left as it was): " + reason;
        return false;
    }
    return true;
}

}  // namespace velgard::cli
