// libFuzzer targets for every input the program reads or turns into a file:
//   --target=state  the machine state file, through the whole checked load
//                   (a successful load then runs one frame)
//   --target=kdi    a .kdi file loaded into a drive, its header and the
//                   controller reading it
//   --target=cpm    the CP/M file system operations on an arbitrary image
//   --target=wav    the WAV recorder fed arbitrary sample runs
//   --target=png    the PNG writer fed arbitrary images
//   --target=type   the --type text: escapes, the key plan and the typist
// One binary serves all six so that the core is built for fuzzing once;
// libFuzzer leaves the flags that start with "--" to the target.
#include <png.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/PngWriter.h"
#include "cli/TypeText.h"
#include "disk/CPM_Disk.h"
#include "disk/FDC_WD279X.h"
#include "devices/WavRecorder.h"
#include "machine/EmuKorvet.h"
#include "machine/HeadlessHost.h"
#include "machine/KorvetKeyboard.h"

namespace {

using namespace velgard;

enum class Target { None, State, Kdi, Cpm, Wav, Png, Type };
Target g_target = Target::None;
std::string g_scratch;  // a file of this process's own

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "velgard_fuzzer: %s\n", what);
    std::abort();
}

void WriteScratch(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(g_scratch.c_str(), "wb");
    if (!f) Broken("cannot write the scratch file");
    if (size && std::fwrite(data, 1, size, f) != size) Broken("cannot write the scratch file");
    std::fclose(f);
}

std::vector<std::uint8_t> ReadScratch() {
    std::ifstream in(g_scratch, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- state ---------------------------------------------------------------

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

class StopOnMessageHost : public HeadlessHost {
public:
    tComputer_I8080_Korvet* machine = nullptr;
    void ShowMessage(const std::string& text, MessageKind kind) override {
        HeadlessHost::ShowMessage(text, kind);
        if (machine) machine->Stop();
    }
};

struct StateRig {
    StopOnMessageHost host;
    tKorvetKeyboard keyboard;
    std::unique_ptr<tComputer_I8080_Korvet> machine;
    StateRig() {
        host.SetCounter([] { return std::uint64_t{0}; }, 1000000);
        machine = std::make_unique<tComputer_I8080_Korvet>(host);
        host.machine = machine.get();
        machine->GetMemory().SetKeyboard(&keyboard);
        machine->SetSync(false);
        machine->SetStateFilePath(g_scratch);
        host.SetPump([this] { machine->Stop(); });
    }
};

// The first byte chooses: odd seals the rest with a correct check trailer
// (so that mutations reach the structural checks), even takes it as it is.
void FuzzState(const std::uint8_t* data, std::size_t size) {
    static StateRig rig;
    if (size == 0) return;
    std::vector<std::uint8_t> file(data + 1, data + size);
    if (data[0] & 1) {
        const std::uint32_t crc = Crc32(file.data(), file.size());
        for (char c : std::string_view("VGCK")) file.push_back(static_cast<std::uint8_t>(c));
        for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    }
    WriteScratch(file.data(), file.size());
    rig.host.ClearMessages();
    rig.machine->RequestLoadStateAtStart();
    rig.machine->Run(nullptr, 1, false);
    const bool ok = rig.machine->LastLoadResult() == tComputer_I8080_Korvet::StateResult::Ok;
    if (ok != rig.host.Messages().empty()) Broken("a load result disagrees with its message");
}

// ---- kdi -----------------------------------------------------------------

class QuietHost : public tHost {
public:
    void ProcessMessages() override {}
    std::uint64_t CounterFrequency() override { return 1; }
    std::uint64_t ReadCounter() override { return 0; }
    void ShowMessage(const std::string&, MessageKind) override {}
    bool AskYesNo(const std::string&) override { return false; }
};

void FuzzKdi(const std::uint8_t* data, std::size_t size) {
    WriteScratch(data, size);
    QuietHost host;
    tFCD_WD279X fdc(host);
    const bool loaded = fdc.LoadImage(0, g_scratch);
    const std::span<const std::uint8_t> image(data, size);
    const bool accepted = size >= kMinImageFileSize && size <= kMaxImageFileSize && IsAcceptedDiskFormat(image);
    if (loaded && !accepted) Broken("a drive took an image the format check refuses");
    (void)DiskInfoText(image);
    if (!loaded) return;
    (void)fdc.DiskInfo(0);
    // Read the first sector of each side of cylinders 0 and 1.
    for (std::uint8_t track : {std::uint8_t{0}, std::uint8_t{1}}) {
        for (std::uint8_t side : {std::uint8_t{0}, std::uint8_t{1}}) {
            fdc.WriteDriveControl(static_cast<std::uint8_t>(0x01 | (side << 4)));
            fdc.WriteTrack(track);
            fdc.WriteSector(1);
            fdc.WriteCommand(0x80);
            for (int i = 0; i < 1100; ++i) (void)fdc.ReadData();
        }
    }
}

// ---- cpm -----------------------------------------------------------------

void FuzzCpm(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> image(data, data + size);
    // The last bytes double as a host file name.
    const std::size_t nameLength = std::min<std::size_t>(size, 20);
    const std::string host(reinterpret_cast<const char*>(data + size - nameLength), nameLength);
    const std::string cpmName = CpmNameFor(host);
    if (!cpmName.empty() && !IsValidCpmName(cpmName)) Broken("CpmNameFor formed an invalid name");
    if (!IsCpmImage(image)) return;
    const int count = CountFiles(image);
    for (int i = 0; i < count && i < 4; ++i) {
        CpmFileInfo info;
        if (!GetFileInfo(image, i, info)) Broken("a listed file has no information");
        tFileArray contents;
        ReadFile(image, info.name, info.erased, contents);
        if (contents.size() != info.size) Broken("a file reads other than its size");
    }
    {
        auto copy = image;
        const std::vector<std::uint8_t> file(size % 3000 + 1, 0x5A);
        if (ImportFileNamed(copy, cpmName.empty() ? "FUZZ.DAT" : cpmName, file) != ImportResult::Ok &&
            copy != image)
            Broken("a refused import changed the image");
    }
    if (count > 0) {
        CpmFileInfo info;
        if (GetFileInfo(image, 0, info)) {
            auto copy = image;
            const std::uint64_t free = FreeSpace(copy);
            if (!info.erased && MarkFileErased(copy, info.name) > 0 && FreeSpace(copy) < free)
                Broken("erasing a file took space");
            RestoreFile(copy, info.name, true);
            RestoreFile(copy, info.name, info.erased);
            EraseFile(copy, info.name, false);
        }
    }
    ClearDisk(image);
}

// ---- wav -----------------------------------------------------------------

void FuzzWav(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> expected;
    {
        tWavRecorder rec;
        if (!rec.Open(g_scratch)) Broken("cannot open the recording");
        // Runs: a length byte, then that many samples.
        for (std::size_t i = 0; i < size;) {
            const std::size_t n = std::min<std::size_t>(data[i], size - i - 1);
            ++i;
            rec.WriteSamples(std::span<const std::uint8_t>(data + i, n));
            for (std::size_t k = 0; k < n; ++k) expected.push_back(data[i + k] ? 255 : 128);
            i += n;
        }
        if (!rec.Close()) Broken("the recording failed");
    }
    const auto file = ReadScratch();
    if (file.size() != 44 + expected.size()) Broken("the WAV file has the wrong length");
    const std::uint32_t dataSize = file[40] | file[41] << 8 | file[42] << 16 | static_cast<std::uint32_t>(file[43]) << 24;
    if (dataSize != expected.size()) Broken("the data chunk size is wrong");
    if (!std::equal(expected.begin(), expected.end(), file.begin() + 44)) Broken("the samples differ");
}

// ---- png -----------------------------------------------------------------

void FuzzPng(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return;
    const int width = data[0] % 48, height = data[1] % 48;
    tBMMImage32 image(width, height);
    std::size_t at = 2;
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            std::uint32_t p = 0;
            for (int k = 0; k < 3; ++k) p = (p << 8) | (size > 2 ? data[2 + (at++ - 2) % (size - 2)] : 0);
            image.Row(y)[x] = p;
        }
    }
    std::string error;
    const bool ok = cli::WritePng(g_scratch, image, error);
    if (ok == image.Empty()) Broken("WritePng took an empty image or refused a real one");
    if (!ok) return;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, g_scratch.c_str())) Broken("the PNG cannot be read back");
    png.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) Broken("the PNG cannot be decoded");
    if (static_cast<int>(png.width) != width || static_cast<int>(png.height) != height) Broken("wrong PNG size");
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = image.Row(y)[x];
            const std::uint8_t* q = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            if (q[0] != ((p >> 16) & 0xFF) || q[1] != ((p >> 8) & 0xFF) || q[2] != (p & 0xFF))
                Broken("a PNG pixel differs");
        }
    }
}

// ---- type ----------------------------------------------------------------

void FuzzType(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::u32string points;
    std::string error;
    if (!cli::ParseTypedText(text, points, error)) {
        if (error.empty()) Broken("a refusal without a reason");
        return;
    }
    std::vector<cli::TypeStep> steps;
    if (!cli::PlanTyping(points, steps, error)) return;
    if (steps.size() < points.size()) Broken("fewer key presses than characters");
    tKorvetKeyboard keyboard;
    cli::Typist typist(keyboard, steps);
    const unsigned long long frames = cli::Typist::FramesNeeded(steps.size());
    for (unsigned long long f = 1; f <= frames; ++f) typist.Frame(f);
    if (!typist.Done()) Broken("the typist needs more frames than FramesNeeded says");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i) {
        const std::string_view a((*argv)[i]);
        if (a.rfind("--target=", 0) != 0) continue;
        const std::string_view t = a.substr(9);
        g_target = t == "state" ? Target::State
                   : t == "kdi" ? Target::Kdi
                   : t == "cpm" ? Target::Cpm
                   : t == "wav" ? Target::Wav
                   : t == "png" ? Target::Png
                   : t == "type" ? Target::Type
                                 : Target::None;
    }
    if (g_target == Target::None) {
        std::fprintf(stderr, "velgard_fuzzer: give --target=state|kdi|cpm|wav|png|type\n");
        std::exit(2);
    }
    const char* tmp = std::getenv("TMPDIR");
    g_scratch = std::string(tmp && *tmp ? tmp : "/tmp") + "/velgard-fuzz-" + std::to_string(::getpid()) + ".tmp";
    std::atexit([] { std::remove(g_scratch.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    switch (g_target) {
        case Target::State: FuzzState(data, size); break;
        case Target::Kdi: FuzzKdi(data, size); break;
        case Target::Cpm: FuzzCpm(data, size); break;
        case Target::Wav: FuzzWav(data, size); break;
        case Target::Png: FuzzPng(data, size); break;
        case Target::Type: FuzzType(data, size); break;
        case Target::None: break;
    }
    return 0;
}
