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
#include "devices/SoundChannel.h"
#include "disk/FDC_WD279X.h"
#include "graphics/BMMCanvas2D.h"
#include "machine/EmuKorvet.h"
#include "machine/HeadlessHost.h"
#include "machine/Utf8.h"
#include "machine/KorvetKeyboard.h"

namespace velgard::cli {
namespace {

constexpr const char* kUsage =
    "run [--rom 0|1|2] [--rom-file FILE] [--pages 1|4] [--cpu 8080|z80] [--frames N] [--no-sync] "
    "[--type TEXT] [--screenshot FILE.png] [--drive A=IMAGE ...] [--save-disks] [--roms-dir DIR] "
    "[--wav FILE.wav] [--load-state FILE] [--save-state FILE]";

// Typing: the key goes down, stays down for a few frames, comes up, and the
// next key waits a few frames more, so that the machine's keyboard scan
// sees every press once.
constexpr int kTypeStartFrame = 50;
constexpr int kHoldFrames = 3;
constexpr int kGapFrames = 3;

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

// Presses the keys of a text one after the other, driven once per frame.
class Typist {
public:
    Typist(tKorvetKeyboard& keyboard, std::u32string text) : keyboard_(keyboard), text_(std::move(text)) {}

    void Frame(unsigned long long frame) {
        if (frame < kTypeStartFrame || next_ > text_.size()) return;
        if (wait_ > 0) {
            --wait_;
            return;
        }
        if (down_) {
            keyboard_.MouseUp();
            if (shift_) keyboard_.KeyUp(vk::kLShift);
            down_ = shift_ = false;
            wait_ = kGapFrames;
            return;
        }
        while (next_ < text_.size()) {
            const auto key = tKorvetKeyboard::KeyForChar(text_[next_]);
            if (!key) {  // reported before the run
                ++next_;
                continue;
            }
            // Letters need the right alphabet: АЛФ selects the Latin one,
            // ГРФ the Cyrillic one (the machine starts with the Latin).
            if (key->Alphabet != tKorvetAlphabet::Any && key->Alphabet != alphabet_) {
                alphabet_ = key->Alphabet;
                keyboard_.MouseDown(kAlphabetRow, alphabet_ == tKorvetAlphabet::Cyrillic ? kCyrillicColumn
                                                                                         : kLatinColumn);
                down_ = true;
                wait_ = kHoldFrames;
                return;
            }
            ++next_;
            shift_ = key->Shift;
            if (shift_) keyboard_.KeyDown(vk::kLShift);
            keyboard_.MouseDown(key->Row, key->Column);
            down_ = true;
            wait_ = kHoldFrames;
            return;
        }
        next_ = text_.size() + 1;
    }

private:
    tKorvetKeyboard& keyboard_;
    std::u32string text_;
    std::size_t next_ = 0;
    int wait_ = 0;
    bool down_ = false;
    bool shift_ = false;
    tKorvetAlphabet alphabet_ = tKorvetAlphabet::Latin;
    static constexpr int kAlphabetRow = 7, kLatinColumn = 1, kCyrillicColumn = 2;
};

int RunMachine(const std::vector<std::string>& args) {
    Options o;
    if (int status = ParseOptions(args, o)) return status;

    std::u32string text;
    if (o.typing) {
        if (!DecodeUtf8(o.text, text)) return Fail("run: --type text is not valid UTF-8");
        for (char32_t ch : text) {
            if (!tKorvetKeyboard::KeyForChar(ch)) {
                return Fail("run: no Korvet key types the character U+" +
                            [](char32_t c) {
                                char b[16];
                                std::snprintf(b, sizeof b, "%04X", static_cast<unsigned>(c));
                                return std::string(b);
                            }(ch));
            }
        }
    }

    HeadlessHost host;
    host.SetAnswer(o.saveDisks);
    host.SetEcho(&std::cerr);
    tKorvetKeyboard keyboard;
    auto machine = std::make_unique<tComputer_I8080_Korvet>(host);
    machine->GetMemory().SetKeyboard(&keyboard);
    machine->SetCpuKind(o.cpu);
    machine->SetSync(o.sync);

    // Users' own dumps first, then an explicitly given image.
    std::filesystem::path romsDir = o.romsDir ? std::filesystem::path(*o.romsDir) : tRomImages::DefaultUserRomFolder();
    if (o.romsDir && !std::filesystem::is_directory(romsDir)) return Fail("run: no such folder: " + *o.romsDir);
    for (const std::string& warning : machine->Roms().LoadUserDumps(romsDir)) {
        std::cerr << "velgard-cli: " << warning << '\n';
    }
    if (!o.romFile.empty()) {
        std::vector<unsigned char> data;
        std::string error;
        if (!ReadFile(o.romFile, data, error)) return Fail(error);
        if (!tRomImages::AcceptableRomLength(o.rom, data.size())) {
            return Fail("run: " + o.romFile + ": " + std::to_string(data.size()) + " bytes is not a length ROM " +
                        std::to_string(o.rom) + " can have");
        }
        if (!machine->Roms().ReplaceRom(o.rom, std::vector<std::uint8_t>(data.begin(), data.end()), &error)) {
            return Fail("run: " + o.romFile + ": " + error);
        }
    }
    for (const auto& [drive, path] : o.drives) {
        if (!std::filesystem::is_regular_file(path)) return Fail("run: no such disk image: " + path);
        if (!machine->LoadImage(drive, path) || !machine->HasImage(drive)) {
            return Fail("run: drive " + tFCD_WD279X::DriveLetter(drive) + ": cannot use the image " + path);
        }
        machine->SetLatch(drive, true);
    }

    if (!o.loadState.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(o.loadState, ec)) return Fail("run: no such state file: " + o.loadState);
        // Served by the loop before the first instruction.
        machine->SetStateFilePath(o.loadState);
        machine->RequestLoadStateAtStart();
    }
    tTimer_i8254_SoundChannel* sound = machine->GetMemory().Sound();
    if (!o.wav.empty() && (!sound || !sound->StartRecording(o.wav)))
        return Fail("run: cannot create the recording " + o.wav);

    std::unique_ptr<Typist> typist;
    if (o.typing) typist = std::make_unique<Typist>(keyboard, text);
    unsigned long long frames = 0;
    bool loadFailed = false;
    tComputer_I8080_Korvet* m = machine.get();
    host.SetPump([&] {
        ++frames;
        if (!o.loadState.empty() && m->LastLoadResult() != tComputer_I8080_Korvet::StateResult::Ok) {
            loadFailed = true;
            m->Stop();
            return;
        }
        if (typist) typist->Frame(frames);
        if (frames >= o.frames) {
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

    if (!o.sync) {
        std::printf("Ran %llu frames (%.2f emulated seconds) in %.3f s: %.1f times real time\n", frames, emulated,
                    seconds, seconds > 0 ? emulated / seconds : 0.0);
    } else {
        std::printf("Ran %llu frames (%.2f emulated seconds) in %.3f s\n", frames, emulated, seconds);
    }

    const bool recorded = sound && !o.wav.empty() ? sound->StopRecording() : true;
    if (loadFailed) return Fail("run: the state file " + o.loadState + " could not be loaded");
    if (!recorded) return Fail("run: the recording " + o.wav + " could not be written completely");
    if (!o.saveState.empty() && m->LastSaveResult() != tComputer_I8080_Korvet::StateResult::Ok)
        return Fail("run: the state could not be saved to " + o.saveState);

    int status = 0;
    if (!o.screenshot.empty()) {
        TBMMFixedControl control(tMemory_Korvet64Kb::kScreenWidth, tMemory_Korvet64Kb::kScreenHeight);
        TBMMBMPCanvas2D canvas;
        std::string error;
        if (!canvas.Attach(&control) || !canvas.BeginFrame()) {
            status = Fail("run: cannot prepare the screenshot canvas");
        } else {
            canvas.DrawBitmap(machine->GetFrame());
            canvas.EndFrame();
            if (!WritePng(o.screenshot, canvas.Image(), error)) status = Fail("run: " + error);
        }
    }
    if (o.saveDisks) {
        for (const auto& [drive, path] : o.drives) {
            (void)path;
            machine->GetMemory().Fdc().SaveIfChanged(drive, false);
        }
    }
    std::fflush(stdout);
    return status;
}

const CommandRegistrar kRegistrar("run", kUsage, RunMachine);

}  // namespace
}  // namespace velgard::cli
