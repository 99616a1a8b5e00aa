// Writes the fuzzer's seed corpus into the folder given: compact inputs
// (see DiskFuzzInput.h) for a blank disk, a disk with files, an erased file
// and a few damaged headers.
#include <cstdio>
#include <string>
#include <vector>

#include "disk/CPM_Disk.h"

namespace {

void Write(const std::string& folder, const std::string& name, const std::vector<std::uint8_t>& image,
           std::size_t directoryBytes) {
    std::vector<std::uint8_t> input = {static_cast<std::uint8_t>(image.size() & 0xFF),
                                       static_cast<std::uint8_t>((image.size() >> 8) & 0xFF),
                                       static_cast<std::uint8_t>(image.size() >> 16)};
    input.insert(input.end(), image.begin(), image.begin() + 32);
    input.insert(input.end(), image.begin() + 10240, image.begin() + 10240 + static_cast<long>(directoryBytes));
    const std::string path = folder + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(input.data(), 1, input.size(), f);
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    using namespace velgard;
    const std::string folder = argv[1];
    auto blank = MakeBlankDiskImage();
    Write(folder, "blank", blank, 512);
    auto files = blank;
    ImportFile(files, "a.txt", std::vector<std::uint8_t>(300, 'a'));
    ImportFile(files, "b.bin", std::vector<std::uint8_t>(40000, 'b'));
    Write(folder, "files", files, 256);
    files[10240] = 0xE5;
    Write(folder, "erased", files, 256);
    auto small = files;
    small[0x15] = 100;
    small[0x16] = 0;
    Write(folder, "smalldisk", small, 256);
    auto odd = files;
    odd[0x10] = 3;
    odd[0x13] = 0;
    Write(folder, "oddrecords", odd, 256);
    return 0;
}
