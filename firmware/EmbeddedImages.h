#pragma once
// The built-in ROM images and character font, assembled and generated at
// build time from firmware/ and embedded into the core.
#include <cstddef>
#include <cstdint>

namespace velgard::embedded {

extern const std::uint8_t kKorvet20Rom[];
extern const std::size_t kKorvet20Rom_size;
extern const std::uint8_t kKorvet11Rom[];
extern const std::size_t kKorvet11Rom_size;
extern const std::uint8_t kKontur20Rom[];
extern const std::size_t kKontur20Rom_size;
extern const std::uint8_t kFont[];
extern const std::size_t kFont_size;

}  // namespace velgard::embedded
