// velgard-cli run: powers the Korvet on headless and runs it for a number
// of frames, optionally typing text, recording the sound, resuming a saved
// machine state and saving the state and a screenshot at the end.
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/PngWriter.h"
#include "cli/TypeText.h"
#include "devices/SoundChannel.h"
#include "disk/FDC_WD279X.h"
#include "graphics/BMMCanvas2D.h"
#include "machine/EmuKorvet.h"
#include "machine/HeadlessHost.h"
#include "machine/RomImages.h"
#include "machine/KorvetKeyboard.h"

namespace velgard::cli {
namespace {

constexpr const char* kUsage =
    "run [--rom 0|1|2] [--rom-file FILE] [--pages 1|4] [--cpu 8080|z80] [--frames N] [--no-sync] "
    "[--type TEXT] [--screenshot FILE.png] [--drive A=IMAGE ...] [--save-disks] [--roms-dir DIR] "
    "[--wav FILE.wav] [--load-state FILE] [--save-state FILE]";

constexpr const char* kHelp =
    "Powers the Korvet on headless and runs it.\n"
    "\n"
    "  --rom 0|1|2          ROM set: 0 Korvet 2.0 + BASIC, 1 Korvet 1.1 + BASIC (the default),\n"
    "                       2 Kontur 2.0\n"
    "  --rom-file FILE      replace the chosen set's ROM by FILE (24,578 or 24,576 bytes for set 0,\n"
    "                       24,576 for set 1, 8,192 for set 2)\n"
    "  --pages 1|4          one or four graphics pages (default 4)\n"
    "  --cpu 8080|z80       the processor (default 8080)\n"
    "  --frames N           run at least N frames of 1/50 s (default 250); the run goes on\n"
    "                       until everything given to --type has been typed\n"
    "  --no-sync            run as fast as possible and print the speed\n"
    "  --type TEXT          type TEXT on the keyboard; \\r or \\n is Enter, \\t Tab, \\\\ a\n"
    "                       backslash, \\xNN the character NN (hex); Cyrillic letters are typed\n"
    "                       in the Cyrillic alphabet\n"
    "  --screenshot FILE    save the shown page as a 512x256 PNG at the end\n"
    "  --drive L=IMAGE      put a .kdi image into drive L (A-D); repeatable\n"
    "  --save-disks         answer Yes when the machine asks to save changed disks\n"
    "  --roms-dir DIR       take ROM dumps (korvet20.rom, korvet11.rom, kontur20.rom, font.rom) from DIR\n"
    "  --wav FILE           record the sound as a 22,050 Hz 8-bit mono WAV file\n"
    "  --load-state FILE    restore a saved machine right after power-on\n"
    "  --save-state FILE    save the whole machine at the end of the run\n"
    "\n"
    "Output files go into folders that must exist. Exit status: 0 done, 2 bad arguments or\n"
    "unusable input files, 1 a failure during the run (state, recording or screenshot).\n";

// Frames the run goes on after the last typed key, so that the machine
// can answer it before the screenshot is taken.
constexpr unsigned long long kSettleFrames = 25;

// The ROM sets, as the command line names them.
constexpr const char* kRomSetNames[] = {"Korvet 2.0 + BASIC", "Korvet 1.1 + BASIC", "Kontur 2.0"};

struct Options {
    int rom = 1;
    std::string romFile;
    bool singlePage = false;
    std::uint8_t cpu = kCpuI8080;
    unsigned long long frames = 250;
    bool sync = true;
    std::string text;
    bool typing = false;
    std::string screenshot;
    std::vector<std::pair<int, std::string>> drives;
    bool saveDisks = false;
    std::optional<std::string> romsDir;
    std::string wav;
    std::string loadState;
    std::string saveState;
};

int ParseOptions(const std::vector<std::string>& args, Options& o) {
    auto value = [&](std::size_t& i, const std::string& name, std::string& out) -> bool {
        if (i + 1 >= args.size()) return false;
        out = args[++i];
        (void)name;
        return true;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
        unsigned long long n = 0;
        if (a == "--rom") {
            if (!value(i, a, v) || !ParseNumber(v, 0, 2, n)) return Fail("run: --rom needs 0, 1 or 2");
            o.rom = static_cast<int>(n);
        } else if (a == "--rom-file") {
            if (!value(i, a, v) || v.empty()) return Fail("run: --rom-file needs a file name");
            o.romFile = v;
        } else if (a == "--pages") {
            if (!value(i, a, v) || (v != "1" && v != "4")) return Fail("run: --pages needs 1 or 4");
            o.singlePage = v == "1";
        } else if (a == "--cpu") {
            if (!value(i, a, v)) return Fail("run: --cpu needs 8080 or z80");
            if (v == "8080" || v == "i8080") {
                o.cpu = kCpuI8080;
            } else if (v == "z80" || v == "Z80") {
                o.cpu = kCpuZ80;
            } else {
                return Fail("run: unknown processor '" + v + "' (use 8080 or z80)");
            }
        } else if (a == "--frames") {
            if (!value(i, a, v) || !ParseNumber(v, 1, 100000000ULL, n))
                return Fail("run: --frames needs a number from 1 to 100000000");
            o.frames = n;
        } else if (a == "--no-sync") {
            o.sync = false;
        } else if (a == "--type") {
            if (!value(i, a, v)) return Fail("run: --type needs the text to type");
            o.text = v;
            o.typing = true;
        } else if (a == "--screenshot") {
            if (!value(i, a, v) || v.empty()) return Fail("run: --screenshot needs a file name");
            o.screenshot = v;
        } else if (a == "--drive") {
            if (!value(i, a, v) || v.size() < 3 || v[1] != '=')
                return Fail("run: --drive needs LETTER=IMAGE, e.g. A=disk.kdi");
            const char letter = static_cast<char>(v[0] >= 'a' && v[0] <= 'z' ? v[0] - 'a' + 'A' : v[0]);
            if (letter < 'A' || letter > 'D') return Fail("run: drive letter must be A, B, C or D");
            o.drives.emplace_back(letter - 'A', v.substr(2));
        } else if (a == "--save-disks") {
            o.saveDisks = true;
        } else if (a == "--wav") {
            if (!value(i, a, v) || v.empty()) return Fail("run: --wav needs a file name");
            o.wav = v;
        } else if (a == "--load-state") {
            if (!value(i, a, v) || v.empty()) return Fail("run: --load-state needs a file name");
            o.loadState = v;
        } else if (a == "--save-state") {
            if (!value(i, a, v) || v.empty()) return Fail("run: --save-state needs a file name");
            o.saveState = v;
        } else if (a == "--roms-dir") {
            if (!value(i, a, v) || v.empty()) return Fail("run: --roms-dir needs a folder");
            o.romsDir = v;
        } else {
            return Fail("run: unknown option '" + a + "' (usage: velgard-cli " + std::string(kUsage) + ")");
        }
    }
    return 0;
}

// The machine's own messages and questions are Russian texts: each is
// printed once, as it is, on stderr, and a question is followed by one
// English line that says how the command answered it.
class CliHost : public HeadlessHost {
public:
    void ShowMessage(const std::string& text, MessageKind kind) override {
        HeadlessHost::ShowMessage(text, kind);
        std::cerr << text << '\n';
    }
    bool AskYesNo(const std::string& text) override {
        const bool yes = HeadlessHost::AskYesNo(text);
        std::cerr << text << '\n'
                  << (yes ? "velgard-cli: run: the machine's question was answered Yes (--save-disks)\n"
                          : "velgard-cli: run: the machine's question was answered No (--save-disks answers Yes)\n");
        return yes;
    }
};

// Why a ROM file of `length` bytes does not fit ROM set `rom`, and which
// set would take it.
std::string RomLengthMessage(const std::string& file, int rom, std::size_t length) {
    std::string text = "run: " + file + ": " + std::to_string(length) + " bytes is not a length ROM set " +
                       std::to_string(rom) + " (" + kRomSetNames[rom] + ") takes";
    std::string others;
    for (int i = 0; i < tRomImages::kRomCount; ++i) {
        if (i != rom && tRomImages::AcceptableRomLength(i, length)) {
            others += others.empty() ? "" : " or ";
            others += "--rom " + std::to_string(i) + " (" + kRomSetNames[i] + ")";
        }
    }
    if (others.empty()) return text + "; no ROM set takes that length";
    return text + "; that length suits " + others;
}

int RunMachine(const std::vector<std::string>& args) {
    Options o;
    if (int status = ParseOptions(args, o)) return status;

    std::vector<TypeStep> steps;
    if (o.typing) {
        std::u32string text;
        std::string error;
        if (!ParseTypedText(o.text, text, error) || !PlanTyping(text, steps, error))
            return Fail("run: --type: " + error);
    }

    // Every file and folder is looked at before the machine starts, so that
    // a typing error costs no run.
    std::string error;
    if (o.romsDir) {
        std::error_code ec;
        if (!std::filesystem::exists(*o.romsDir, ec)) return Fail("run: --roms-dir: no such folder: " + *o.romsDir);
        if (!std::filesystem::is_directory(*o.romsDir, ec))
            return Fail("run: --roms-dir: " + *o.romsDir + " is a file, not a folder");
    }
    std::vector<unsigned char> romData;
    if (!o.romFile.empty()) {
        if (!ReadFile(o.romFile, romData, error)) return Fail("run: --rom-file: " + error);
        if (!tRomImages::AcceptableRomLength(o.rom, romData.size()))
            return Fail(RomLengthMessage(o.romFile, o.rom, romData.size()));
    }
    for (const auto& [drive, path] : o.drives) {
        if (!CheckInputFile(path, error))
            return Fail("run: drive " + tFCD_WD279X::DriveLetter(drive) + ": " + error);
    }
    if (!o.loadState.empty() && !CheckInputFile(o.loadState, error)) return Fail("run: --load-state: " + error);
    for (const auto& [option, path] : {std::pair<const char*, const std::string&>{"--screenshot", o.screenshot},
                                       {"--wav", o.wav},
                                       {"--save-state", o.saveState}}) {
        if (!path.empty() && !CheckOutputFile(path, error)) return Fail(std::string("run: ") + option + ": " + error);
    }

    CliHost host;
    host.SetAnswer(o.saveDisks);
    tKorvetKeyboard keyboard;
    auto machine = std::make_unique<tComputer_I8080_Korvet>(host);
    machine->GetMemory().SetKeyboard(&keyboard);
    machine->SetCpuKind(o.cpu);
    machine->SetSync(o.sync);

    // Users' own dumps first, then an explicitly given image.
    const std::filesystem::path romsDir =
        o.romsDir ? std::filesystem::path(*o.romsDir) : tRomImages::DefaultUserRomFolder();
    for (const std::string& warning : machine->Roms().LoadUserDumps(romsDir)) {
        std::cerr << "velgard-cli: " << warning << '\n';
    }
    if (!o.romFile.empty() &&
        !machine->Roms().ReplaceRom(o.rom, std::vector<std::uint8_t>(romData.begin(), romData.end()), &error)) {
        return Fail("run: " + o.romFile + ": " + error);
    }
    for (const auto& [drive, path] : o.drives) {
        if (!machine->LoadImage(drive, path) || !machine->HasImage(drive)) {
            return Fail("run: drive " + tFCD_WD279X::DriveLetter(drive) + ": the image " + path +
                        " was refused; nothing was run");
        }
        machine->SetLatch(drive, true);
    }

    if (!o.loadState.empty()) {
        // Served by the loop before the first instruction.
        machine->SetStateFilePath(o.loadState);
        machine->RequestLoadStateAtStart();
    }
    tTimer_i8254_SoundChannel* sound = machine->GetMemory().Sound();
    std::error_code ec;
    const bool wavExisted = !o.wav.empty() && std::filesystem::exists(o.wav, ec);
    if (!o.wav.empty() && (!sound || !sound->StartRecording(o.wav)))
        return Error("run: cannot create the recording " + o.wav);

    std::unique_ptr<Typist> typist;
    if (o.typing) typist = std::make_unique<Typist>(keyboard, std::move(steps));
    unsigned long long frames = 0;
    unsigned long long typedAt = 0;  // the frame the last key came up
    bool loadFailed = false;
    tComputer_I8080_Korvet* m = machine.get();
    host.SetPump([&] {
        ++frames;
        if (!o.loadState.empty() && m->LastLoadResult() != tComputer_I8080_Korvet::StateResult::Ok) {
            loadFailed = true;
            m->Stop();
            return;
        }
        bool typed = true;
        if (typist) {
            typist->Frame(frames);
            if (typist->Done() && typedAt == 0) typedAt = frames;
            typed = typedAt != 0 && frames >= typedAt + kSettleFrames;
        }
        // The frame count is a minimum: the text is always typed whole.
        if (frames >= o.frames && typed) {
            if (!o.saveState.empty()) {
                // Saved by the loop before it honours the stop: the state of
                // the instruction boundary right after this frame's end.
                m->SetStateFilePath(o.saveState);
                m->RequestSaveState();
            }
            m->Stop();
        }
    });

    const auto start = std::chrono::steady_clock::now();
    machine->Run(nullptr, static_cast<std::uint8_t>(o.rom), o.singlePage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double emulated = static_cast<double>(frames) / tComputer_I8080_Korvet::kFramesPerSecond;

    const bool recorded = sound && !o.wav.empty() ? sound->StopRecording() : true;
    if (loadFailed) {
        // Nothing was run: a recording this run created goes again.
        if (!o.wav.empty() && !wavExisted) std::filesystem::remove(o.wav, ec);
        return Error("run: the state file " + o.loadState + " was refused; nothing was run");
    }

    if (!o.sync) {
        std::printf("Ran %llu frames (%.2f emulated seconds) in %.3f s: %.1f times real time\n", frames, emulated,
                    seconds, seconds > 0 ? emulated / seconds : 0.0);
    } else {
        std::printf("Ran %llu frames (%.2f emulated seconds) in %.3f s\n", frames, emulated, seconds);
    }
    std::fflush(stdout);

    int status = 0;
    if (!recorded)
        status = Error("run: the recording " + o.wav + " could not be written (disk full?); an old file of that name is "
                       "left as it was");
    if (!o.saveState.empty() && m->LastSaveResult() != tComputer_I8080_Korvet::StateResult::Ok)
        status = Error("run: the state could not be saved to " + o.saveState + " (an old file there is unchanged)");

    if (!o.screenshot.empty()) {
        TBMMFixedControl control(tMemory_Korvet64Kb::kScreenWidth, tMemory_Korvet64Kb::kScreenHeight);
        TBMMBMPCanvas2D canvas;
        if (!canvas.Attach(&control) || !canvas.BeginFrame()) {
            status = Error("run: cannot prepare the screenshot canvas");
        } else {
            canvas.DrawBitmap(machine->GetFrame());
            canvas.EndFrame();
            if (!WritePng(o.screenshot, canvas.Image(), error)) status = Error("run: " + error);
        }
    }
    if (o.saveDisks) {
        for (const auto& [drive, path] : o.drives) {
            (void)path;
            machine->GetMemory().Fdc().SaveIfChanged(drive, false);
        }
    }
    return status;
}

const CommandRegistrar kRegistrar("run", kUsage, kHelp, RunMachine);

}  // namespace
}  // namespace velgard::cli
