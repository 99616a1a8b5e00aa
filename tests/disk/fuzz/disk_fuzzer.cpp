// libFuzzer target: the image checks, the disk information text, the
// controller's register traffic and every file system operation on an
// arbitrary image.
#include <cstdint>
#include <string>

#include "disk/CPM_Disk.h"
#include "disk/FDC_WD279X.h"
#include "fuzz/DiskFuzzInput.h"

namespace {

class QuietHost : public velgard::tHost {
public:
    void ProcessMessages() override {}
    std::uint64_t CounterFrequency() override { return 1; }
    std::uint64_t ReadCounter() override { return 0; }
    void ShowMessage(const std::string&, velgard::MessageKind) override {}
    bool AskYesNo(const std::string&) override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velgard;
    std::vector<std::uint8_t> image = fuzz::ImageFromInput(data, size);
    image.shrink_to_fit();
    (void)IsAcceptedDiskFormat(image);
    (void)DiskInfoText(image);

    QuietHost host;
    {
        tFCD_WD279X fdc(host);
        if (fdc.InsertImage(0, image.data(), image.size(), "", false)) {
            (void)fdc.DiskInfo(0);
            // A whole track side read and written at the start and the end of the disk.
            for (std::uint8_t track : {std::uint8_t{0}, std::uint8_t{79}}) {
                const std::uint8_t side = track == 0 ? 0 : 1;
                fdc.WriteDriveControl(static_cast<std::uint8_t>(0x01 | (side << 4)));
                fdc.WriteTrack(track);
                fdc.WriteSector(1);
                fdc.WriteCommand(0x90);
                for (int i = 0; i < 5 * 1024 + 2; ++i) (void)fdc.ReadData();
                fdc.WriteCommand(0xB0);
                for (int i = 0; i < 5 * 1024 + 2; ++i) fdc.WriteData(static_cast<std::uint8_t>(i));
            }
        }
    }

    const int count = CountFiles(image);
    // A few files are enough: each look-up scans the whole directory.
    for (int i = 0; i < count && i < 6; ++i) {
        CpmFileInfo info;
        if (!GetFileInfo(image, i, info)) __builtin_trap();
        tFileArray contents;
        ReadFile(image, info.name, info.erased, contents);
        if (contents.size() != info.size) __builtin_trap();
    }
    (void)FreeSpace(image);
    {
        auto copy = image;
        const std::vector<std::uint8_t> file(size % 5000 + 1, 0x5A);
        const auto before = copy;
        if (ImportFileEx(copy, "fuzz.dat", file) != ImportResult::Ok && copy != before) __builtin_trap();
    }
    if (count > 0) {
        CpmFileInfo info;
        if (GetFileInfo(image, 0, info)) {
            auto copy = image;
            RestoreFile(copy, info.name, info.erased);
            EraseFile(copy, info.name, info.erased);
        }
    }
    ClearDisk(image);
    return 0;
}
