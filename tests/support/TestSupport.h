#pragma once
// Helpers shared by the test executables.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velgard::test {

// The folder of the classic CP/M processor exercisers (may not exist).
std::filesystem::path CpuTestsDir();

// Reads a whole file; an empty vector when it cannot be read.
std::vector<std::uint8_t> ReadBinary(const std::filesystem::path& path);
void WriteBinary(const std::filesystem::path& path, const std::vector<std::uint8_t>& data);

// A fresh, empty temporary folder, removed when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Runs velgard-cli with the given arguments (quoted for the shell) and
// captures its standard output and standard error.
struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};
CliResult RunCli(const std::vector<std::string>& args);

}  // namespace velgard::test
