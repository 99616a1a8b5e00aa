#include "cli/PngWriter.h"

#include <png.h>

#include <cstdint>
#include <vector>

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

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(width);
    png.height = static_cast<png_uint_32>(height);
    png.format = PNG_FORMAT_RGB;
    const int ok = png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), static_cast<png_int_32>(width * 3), nullptr);
    if (!ok) {
        error = path + ": cannot write the PNG file (" + png.message + ")";
        png_image_free(&png);
        return false;
    }
    png_image_free(&png);
    return true;
}

}  // namespace velgard::cli
