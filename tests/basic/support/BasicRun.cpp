#include "basic/support/BasicRun.h"

#include <memory>

#include "font/KorvetCharset.h"
#include "machine/EmuKorvet.h"
#include "machine/HeadlessHost.h"
#include "machine/KorvetKeyboard.h"
#include "machine/Utf8.h"
#include "devices/SoundChannel.h"

namespace velgard::test {
namespace {

constexpr int kStartFrame = 60;   // the power-on banner and prompt are up
constexpr int kHoldFrames = 3;
constexpr int kGapFrames = 1;
constexpr int kAlphabetRow = 7, kLatinColumn = 1, kCyrillicColumn = 2;
constexpr int kStopRow = 6, kStopColumn = 2;

std::string Utf8Of(std::uint8_t code) {
    std::string out;
    AppendUtf8(out, code < 0x20 ? U' ' : font::Bank0Char(code));
    return out;
}

}  // namespace

std::string BasicRun::Result::Screen() const {
    std::string s;
    for (const auto& r : rows) s += r + "\n";
    return s;
}

std::vector<std::string> BasicRun::Result::After(const std::string& prefix) const {
    int from = -1;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i)
        if (rows[static_cast<std::size_t>(i)].rfind(prefix, 0) == 0) from = i;
    std::vector<std::string> out;
    if (from < 0) return out;
    int to = static_cast<int>(rows.size());
    while (to > from + 1 && rows[static_cast<std::size_t>(to - 1)].empty()) --to;
    if (to > from + 1 && rows[static_cast<std::size_t>(to - 1)] == "Ok") --to;
    for (int i = from + 1; i < to; ++i) out.push_back(rows[static_cast<std::size_t>(i)]);
    return out;
}

bool BasicRun::Result::Has(const std::string& row) const {
    for (const auto& r : rows)
        if (r == row) return true;
    return false;
}

BasicRun::Result BasicRun::Run() const {
    HeadlessHost host;
    tKorvetKeyboard keyboard;
    auto machine = std::make_unique<tComputer_I8080_Korvet>(host);
    machine->GetMemory().SetKeyboard(&keyboard);
    machine->SetCpuKind(z80 ? kCpuZ80 : kCpuI8080);
    machine->SetSync(false);
    if (!driveA.empty()) {
        machine->LoadImage(0, driveA);
        machine->SetLatch(0, true);
    }
    tTimer_i8254_SoundChannel* sound = machine->GetMemory().Sound();
    if (!wav.empty() && sound) sound->StartRecording(wav);

    std::u32string text;
    DecodeUtf8(typed, text);
    int frame = 0;
    std::size_t next = 0;
    int wait = 0;
    bool down = false, shift = false;
    tKorvetAlphabet alphabet = tKorvetAlphabet::Latin;
    int settled = 0;
    int quiet = 0;            // frames the screen has not changed
    bool afterEnter = false;  // wait for the line to be dealt with
    std::uint32_t lastHash = 0;
    tComputer_I8080_Korvet* m = machine.get();
    auto screenHash = [&] {
        auto& mem = m->GetMemory();
        const std::uint16_t base = mem.Configuration() == 0 ? 0x3C00 : 0xFC00;
        std::uint32_t h = 2166136261u;
        for (int i = 0; i < 1024; ++i) h = (h ^ mem.ReadByte(static_cast<std::uint16_t>(base + i))) * 16777619u;
        return h;
    };

    auto lastRowIsOk = [&] {
        auto& mem = m->GetMemory();
        const std::uint16_t base = mem.Configuration() == 0 ? 0x3C00 : 0xFC00;
        for (int r = 15; r >= 0; --r) {
            std::string row;
            for (int c = 0; c < 64; ++c) row += static_cast<char>(mem.ReadByte(static_cast<std::uint16_t>(base + r * 64 + c)));
            while (!row.empty() && (row.back() == ' ' || row.back() == 0)) row.pop_back();
            if (row.empty()) continue;
            return row == "Ok";
        }
        return false;
    };

    std::vector<int> seen(watch.size(), -1);
    host.SetPump([&] {
        ++frame;
        if (!watch.empty()) {
            auto& mem = m->GetMemory();
            const std::uint16_t base = mem.Configuration() == 0 ? 0x3C00 : 0xFC00;
            for (int r = 0; r < 16; ++r) {
                std::string row;
                for (int c = 0; c < 64; ++c) row += static_cast<char>(mem.ReadByte(static_cast<std::uint16_t>(base + r * 64 + c)));
                while (!row.empty() && (row.back() == ' ' || row.back() == 0)) row.pop_back();
                for (std::size_t w = 0; w < watch.size(); ++w)
                    if (seen[w] < 0 && row == watch[w]) seen[w] = frame;
            }
        }
        if (frame >= maxFrames) m->Stop();
        if (frame < kStartFrame) return;
        const std::uint32_t h = screenHash();
        quiet = h == lastHash ? quiet + 1 : 0;
        lastHash = h;
        if (wait > 0) {
            --wait;
            return;
        }
        if (down) {
            keyboard.MouseUp();
            if (shift) keyboard.KeyUp(vk::kLShift);
            down = shift = false;
            wait = kGapFrames;
            return;
        }
        if (afterEnter) {
            if (quiet < 8) return;  // a long line takes a few frames to enter
            afterEnter = false;
        }
        while (next < text.size()) {
            if (text[next] == 1) {
                ++next;
                wait = 25;
                return;
            }
            if (text[next] == 3) {  // СТОП
                ++next;
                keyboard.MouseDown(kStopRow, kStopColumn);
                down = true;
                wait = kHoldFrames;
                return;
            }
            const auto key = tKorvetKeyboard::KeyForChar(text[next]);
            if (!key) {
                ++next;
                continue;
            }
            if (key->Alphabet != tKorvetAlphabet::Any && key->Alphabet != alphabet) {
                alphabet = key->Alphabet;
                keyboard.MouseDown(kAlphabetRow, alphabet == tKorvetAlphabet::Cyrillic ? kCyrillicColumn : kLatinColumn);
                down = true;
                wait = kHoldFrames;
                return;
            }
            afterEnter = text[next] == U'\r';
            ++next;
            shift = key->Shift;
            if (shift) keyboard.KeyDown(vk::kLShift);
            keyboard.MouseDown(key->Row, key->Column);
            down = true;
            wait = kHoldFrames;
            return;
        }
        // Everything typed: wait for the prompt to stay.
        if (lastRowIsOk()) {
            if (++settled >= settleFrames) m->Stop();
        } else {
            settled = 0;
        }
    });
    machine->Run(nullptr, static_cast<std::uint8_t>(rom), false);

    Result result;
    result.frames = frame;
    result.watchFrames = seen;
    auto& memory = machine->GetMemory();
    result.configuration = memory.Configuration();
    const std::uint16_t base = result.configuration == 0 ? 0x3C00 : 0xFC00;
    for (int r = 0; r < 16; ++r) {
        std::string row;
        for (int c = 0; c < 64; ++c) row += Utf8Of(memory.ReadByte(static_cast<std::uint16_t>(base + r * 64 + c)));
        while (!row.empty() && row.back() == ' ') row.pop_back();
        result.rows.push_back(row);
    }
    if (sound) sound->StopRecording();
    return result;
}

std::vector<std::string> RunProgram(const std::string& program, bool z80, int rom) {
    BasicRun run;
    run.rom = rom;
    run.z80 = z80;
    std::string typed;
    for (char c : program) typed += c == '\n' ? '\r' : c;
    if (!typed.empty() && typed.back() != '\r') typed += '\r';
    run.typed = "NEW\r" + typed + "RUN\r";
    return run.Run().After("RUN");
}

}  // namespace velgard::test
