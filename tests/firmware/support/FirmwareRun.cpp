#include "firmware/support/FirmwareRun.h"

#include <png.h>

#include <cstdlib>
#include <memory>

#include "font/KorvetCharset.h"
#include "machine/EmuKorvet.h"
#include "machine/HeadlessHost.h"
#include "machine/KorvetKeyboard.h"
#include "machine/Utf8.h"
#include "devices/PIC_I8259A.h"
#include "support/TestSupport.h"

namespace velgard::test {

std::vector<KeyChord> Keys(const std::string& text) {
    std::vector<KeyChord> keys;
    for (char c : text) {
        if (c >= 'A' && c <= 'Z') keys.push_back({static_cast<std::uint16_t>(c)});
        else if (c >= 'a' && c <= 'z') keys.push_back({static_cast<std::uint16_t>(c - 32)});
        else if (c >= '0' && c <= '9') keys.push_back({static_cast<std::uint16_t>(c)});
        else if (c == ' ') keys.push_back({32});
        else if (c == '\r') keys.push_back({13});
        else if (c == '?') keys.push_back({vk::kLShift, 191});
        else if (c == '.') keys.push_back({190});
    }
    return keys;
}

std::string FirmwareRun::Result::Row(int r) const {
    std::string s(reinterpret_cast<const char*>(text.data()) + r * 64, 64);
    while (!s.empty() && (s.back() == ' ' || s.back() == 0)) s.pop_back();
    return s;
}

bool FirmwareRun::Result::HasRowStartingWith(const std::string& prefix) const {
    for (int r = 0; r < 16; ++r) {
        if (Row(r).rfind(prefix, 0) == 0) return true;
    }
    return false;
}

FirmwareRun::Result FirmwareRun::Run() const {
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
    int frame = 0;
    std::size_t next = 0;
    int wait = 0;
    bool down = false;
    tComputer_I8080_Korvet* m = machine.get();
    host.SetPump([&] {
        ++frame;
        if (observe) observe(frame, m->GetMemory());
        if (control) control(frame, *m);
        if (frame >= frames) m->Stop();
        if (frame < 50) return;
        if (wait > 0) {
            --wait;
            return;
        }
        if (down) {
            for (auto vk : keys[next - 1]) {
                if (vk >= MatrixKey(0, 0)) keyboard.MouseUp();
                else keyboard.KeyUp(vk);
            }
            down = false;
            wait = 3;
        } else if (next < keys.size()) {
            for (auto vk : keys[next]) {
                if (vk >= MatrixKey(0, 0)) keyboard.MouseDown((vk - MatrixKey(0, 0)) / 8, (vk - MatrixKey(0, 0)) % 8);
                else keyboard.KeyDown(vk);
            }
            ++next;
            down = true;
            wait = holdFrames;
        }
    });
    machine->Run(nullptr, static_cast<std::uint8_t>(rom), false);

    Result result;
    auto& memory = machine->GetMemory();
    result.configuration = static_cast<std::uint8_t>(memory.Configuration());
    const std::uint16_t text = result.configuration == 7 ? 0xFC00 : 0x3C00;
    for (int i = 0; i < 1024; ++i) {
        result.text[static_cast<std::size_t>(i)] = memory.ReadByte(static_cast<std::uint16_t>(text + i));
        result.attributes[static_cast<std::size_t>(i)] = memory.CellAttribute(i);
    }
    result.systemRegister = memory.SystemRegister();
    result.ram.assign(memory.Ram().begin(), memory.Ram().end());
    const CpuState& cpu = machine->Cpu();
    result.pc = cpu.PC;
    result.sp = cpu.SP;
    result.hl = cpu.HL;
    result.interruptsEnabled = cpu.IFF != 0;
    result.interruptMask = memory.Pic().Imr();
    result.port32 = memory.Port32Register();
    for (const auto& msg : host.Messages()) result.messages.push_back(msg.text);
    return result;
}

std::string Koi(const std::string& utf8) {
    std::string out;
    std::u32string points;
    DecodeUtf8(utf8, points);
    for (char32_t cp : points) {
        int code = -1;
        for (int k = 0x20; k < 256 && code < 0; ++k)
            if (font::Bank0Char(static_cast<std::uint8_t>(k)) == cp) code = k;
        out += static_cast<char>(code < 0 ? '?' : code);
    }
    return out;
}

namespace {

struct Picture {
    bool ok = false;
    unsigned width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

Picture ReadPng(const std::filesystem::path& path) {
    Picture p;
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return p;
    img.format = PNG_FORMAT_RGB;
    p.width = img.width;
    p.height = img.height;
    p.rgb.resize(PNG_IMAGE_SIZE(img));
    p.ok = png_image_finish_read(&img, nullptr, p.rgb.data(), 0, nullptr) != 0;
    png_image_free(&img);
    return p;
}

}  // namespace

std::string CompareWithGolden(const std::filesystem::path& png, const std::string& name) {
    const std::filesystem::path golden = std::filesystem::path(VELGARD_GOLDEN_DIR) / (name + ".png");
    const char* update = std::getenv("VELGARD_UPDATE_GOLDEN");
    const bool mayUpdate = update && std::string(update) == "1";
    const Picture shot = ReadPng(png);
    if (!shot.ok) return "cannot read the screenshot " + png.string();
    const Picture want = ReadPng(golden);
    std::string diff;
    if (!want.ok) {
        diff = "no golden picture " + golden.string();
    } else if (want.width != shot.width || want.height != shot.height) {
        diff = "size differs from " + golden.string();
    } else {
        std::size_t differing = 0;
        for (std::size_t i = 0; i < shot.rgb.size(); i += 3) {
            if (shot.rgb[i] != want.rgb[i] || shot.rgb[i + 1] != want.rgb[i + 1] || shot.rgb[i + 2] != want.rgb[i + 2])
                ++differing;
        }
        if (differing) diff = std::to_string(differing) + " pixels differ from " + golden.string();
    }
    if (!diff.empty() && mayUpdate) {
        std::filesystem::copy_file(png, golden, std::filesystem::copy_options::overwrite_existing);
        return {};
    }
    return diff;
}

}  // namespace velgard::test
