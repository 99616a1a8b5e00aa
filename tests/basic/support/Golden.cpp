#include "basic/support/Golden.h"

#include <png.h>

#include <cstdlib>
#include <vector>

namespace velgard::test {
namespace {

bool ReadRgb(const std::filesystem::path& path, unsigned& w, unsigned& h, std::vector<std::uint8_t>& rgb) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_RGB;
    w = img.width;
    h = img.height;
    rgb.resize(PNG_IMAGE_SIZE(img));
    const bool ok = png_image_finish_read(&img, nullptr, rgb.data(), 0, nullptr) != 0;
    png_image_free(&img);
    return ok;
}

}  // namespace

std::string CompareWithBasicGolden(const std::filesystem::path& png, const std::string& name) {
    const auto golden = std::filesystem::path(VELGARD_BASIC_GOLDEN_DIR) / (name + ".png");
    const char* update = std::getenv("VELGARD_UPDATE_GOLDEN");
    unsigned w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    std::vector<std::uint8_t> shot, want;
    if (!ReadRgb(png, w1, h1, shot)) return "cannot read the screenshot " + png.string();
    std::string diff;
    if (!ReadRgb(golden, w2, h2, want)) {
        diff = "no golden picture " + golden.string();
    } else if (w1 != w2 || h1 != h2) {
        diff = "size differs from " + golden.string();
    } else {
        std::size_t n = 0;
        for (std::size_t i = 0; i < shot.size(); ++i) n += shot[i] != want[i];
        if (n) diff = std::to_string(n) + " colour values differ from " + golden.string();
    }
    if (!diff.empty() && update && std::string(update) == "1") {
        std::filesystem::copy_file(png, golden, std::filesystem::copy_options::overwrite_existing);
        return {};
    }
    return diff;
}

}  // namespace velgard::test
