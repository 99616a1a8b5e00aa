#pragma once
// Writes a 32-bit RGB image (tBMMImage32) as an 8-bit RGB PNG file.
#include <string>

#include "graphics/BMMCommon.h"

namespace velgard::cli {

// Writes `image` to `path` as an RGB PNG. False with a message in `error`
// when the image is empty or the file cannot be written.
bool WritePng(const std::string& path, const tBMMImage32& image, std::string& error);

}  // namespace velgard::cli
