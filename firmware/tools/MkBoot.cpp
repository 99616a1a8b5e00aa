// velgard-mkboot: writes a boot program into the system tracks of a disk
// image made by `velgard-cli disk new`, following the firmware's boot
// contract (docs/boot-contract.md).
//
//   velgard-mkboot IMAGE.kdi PROGRAM.bin
//
// PROGRAM.bin starts with the 32-byte disk header as it will lie in memory:
// words 0 (load address) and 2 (start address) are taken from it; word 4
// (sectors to load) is set here, bytes 6-30 keep the disk's own format
// description and byte 31 gets the header checksum.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Read(const char* path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    if (!ok) return {};
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

unsigned Word(const std::vector<std::uint8_t>& d, std::size_t at) { return d[at] | (d[at + 1] << 8); }

int Fail(const std::string& message) {
    std::fprintf(stderr, "velgard-mkboot: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velgard-mkboot IMAGE.kdi PROGRAM.bin\n");
        return 2;
    }
    bool ok = false;
    std::vector<std::uint8_t> image = Read(argv[1], ok);
    if (!ok) return Fail(std::string("cannot read ") + argv[1]);
    const std::vector<std::uint8_t> program = Read(argv[2], ok);
    if (!ok) return Fail(std::string("cannot read ") + argv[2]);

    if (image.size() < 32 || image[6] != 0 || image[10] != 3 || image[11] != 1 || Word(image, 12) != 5 ||
        Word(image, 14) < 80)
        return Fail("the image is not a 133 mm double-sided disk of 5 sectors of 1024 bytes");
    const std::size_t systemBytes = static_cast<std::size_t>(Word(image, 29)) * 5 * 1024;
    if (program.size() < 32) return Fail("the program is shorter than its 32-byte header");
    if (program.size() > systemBytes || program.size() > image.size())
        return Fail("the program (" + std::to_string(program.size()) + " bytes) does not fit into the " +
                    std::to_string(systemBytes) + " bytes of the system tracks");
    const unsigned load = Word(program, 0);
    const std::size_t sectors = (program.size() + 1023) / 1024;
    if (load == 0) return Fail("load address 0 marks a disk that is not bootable");
    if (load + sectors * 1024 > 0xF800)
        return Fail("the program would reach the device pages at F800h");

    for (std::size_t i = 0; i < program.size(); ++i) {
        if (i >= 6 && i < 32) continue;  // the disk's own header stays
        image[i] = program[i];
    }
    image[4] = static_cast<std::uint8_t>(sectors);
    image[5] = static_cast<std::uint8_t>(sectors >> 8);
    unsigned sum = 0x66;
    for (int i = 0; i < 31; ++i) sum += image[static_cast<std::size_t>(i)];
    image[31] = static_cast<std::uint8_t>(sum);

    const std::string tmp = std::string(argv[1]) + ".boot";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        if (!out) return Fail("cannot write " + tmp);
    }
    if (std::rename(tmp.c_str(), argv[1]) != 0) return Fail(std::string("cannot write ") + argv[1]);
    return 0;
}
