// A soak test of the machine state: the firmware boots the demo disk and
// runs it unsynced for ten emulated minutes on each processor, saving the
// state and loading it back (one frame later, so that the frame between is
// run twice) every few seconds. It must end with the same RAM and the same
// screen as a run left alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "graphics/BMMBitmap.h"
#include "machine/EmuKorvet.h"
#include "machine/HeadlessHost.h"
#include "machine/KorvetKeyboard.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

namespace fs = std::filesystem;

constexpr unsigned long long kFrames = 10 * 60 * 50;  // ten emulated minutes
constexpr unsigned long long kEvery = 4 * 50;          // a save and a load every four seconds
constexpr unsigned long long kFirst = 10 * 50;         // once the demo has loaded from the disk

struct Outcome {
    std::vector<std::uint8_t> ram;
    std::vector<std::uint8_t> screen;
    unsigned long long cycles = 0;
    int rewinds = 0;
    std::vector<std::string> messages;
};

Outcome Soak(std::uint8_t cpu, const fs::path& disk, const fs::path& state) {
    HeadlessHost host;
    tKorvetKeyboard keyboard;
    auto machine = std::make_unique<tComputer_I8080_Korvet>(host);
    machine->GetMemory().SetKeyboard(&keyboard);
    machine->SetCpuKind(cpu);
    machine->SetSync(false);
    EXPECT_TRUE(machine->LoadImage(0, disk.string()));
    machine->SetLatch(0, true);
    if (!state.empty()) machine->SetStateFilePath(state);

    Outcome out;
    unsigned long long pumps = 0, frame = 0, savedAt = 0;
    tComputer_I8080_Korvet* m = machine.get();
    host.SetPump([&] {
        ++pumps;
        ++frame;
        if (!state.empty()) {
            if (savedAt != 0 && frame == savedAt + 1) {
                // Back to the end of frame savedAt: this frame runs again.
                m->RequestLoadState();
                frame = savedAt;
                savedAt = 0;
                ++out.rewinds;
            } else if (frame >= kFirst && frame % kEvery == 0 && frame < kFrames) {
                m->RequestSaveState();
                savedAt = frame;
            }
        }
        if (frame >= kFrames) m->Stop();
    });
    machine->Run(nullptr, 1, false);
    auto& memory = machine->GetMemory();
    out.ram.assign(memory.Ram().begin(), memory.Ram().end());
    const tBMMGDI4Bitmap& screen = machine->GetFrame();
    out.screen.assign(screen.Bits(), screen.Bits() + 65536);
    out.cycles = machine->Cpu().TotalCycles;
    for (const auto& msg : host.Messages()) out.messages.push_back(msg.text);
    return out;
}

TEST(SnapshotSoak, TenMinutesOfSavesAndLoadsEndLikeARunLeftAlone) {
    const fs::path disk = fs::path(VELGARD_BINARY_DIR) / "firmware" / "demo.kdi";
    if (!fs::exists(disk)) GTEST_SKIP() << "the demo disk " << disk << " has not been built";
    test::TempDir dir;
    // The disk image is copied: nothing may write to the built one.
    fs::copy_file(disk, dir / "demo.kdi");
    for (std::uint8_t cpu : {kCpuI8080, kCpuZ80}) {
        SCOPED_TRACE(cpu == kCpuZ80 ? "Z80" : "i8080");
        const Outcome alone = Soak(cpu, dir / "demo.kdi", {});
        const Outcome soaked = Soak(cpu, dir / "demo.kdi", dir / "soak.sav");
        EXPECT_EQ(soaked.rewinds, static_cast<int>((kFrames - 1) / kEvery - (kFirst - 1) / kEvery));
        EXPECT_TRUE(soaked.messages.empty()) << soaked.messages.front();
        EXPECT_EQ(soaked.cycles, alone.cycles);
        EXPECT_TRUE(soaked.ram == alone.ram) << "RAM differs";
        EXPECT_TRUE(soaked.screen == alone.screen) << "the screen differs";
        // The demo ran: its screen is not blank.
        EXPECT_TRUE(std::any_of(alone.screen.begin(), alone.screen.end(), [](std::uint8_t b) { return b != 0; }));
    }
}

}  // namespace
}  // namespace velgard
