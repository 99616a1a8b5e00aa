#pragma once
#include <filesystem>
#include <string>

namespace velgard::test {

// Compares a PNG with the golden picture `name` in tests/basic/golden; with
// VELGARD_UPDATE_GOLDEN=1 a missing or differing one is written instead.
// Returns an empty string on a match, else what differs.
std::string CompareWithBasicGolden(const std::filesystem::path& png, const std::string& name);

}  // namespace velgard::test
