// The machine state file: its layout byte for byte, resuming a saved
// machine on either processor, refusing damaged files without harm to the
// running machine, pause, and keeping the old file when it cannot be
// replaced.
#include <gtest/gtest.h>
#include <unistd.h>


#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "MachineTestSupport.h"
#include "cpu/I8080.h"
#include "cpu/Z80.h"
#include "devices/PIC_I8259A.h"
#include "devices/SoundChannel.h"
#include "graphics/BMMBitmap.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

namespace fs = std::filesystem;
using Machine = tComputer_I8080_Korvet;

// Offsets inside the memory map block (ROM image of L bytes).
struct MemoryLayout {
    std::size_t rom;  // L
    std::size_t ram = 0;
    std::size_t pageMaps = 65536;
    std::size_t records = 65536 + 8192;
    std::size_t romLength = records + 448;
    std::size_t romImage() const { return romLength + 4; }
    std::size_t palette() const { return romImage() + rom; }
    std::size_t colourTable() const { return palette() + 16; }
    std::size_t chars() const { return colourTable() + 64; }
    std::size_t bitmap(int p) const { return chars() + 2048 + static_cast<std::size_t>(p) * 65633; }
    std::size_t paletteRefresh() const { return bitmap(4); }
    std::size_t textRows() const { return paletteRefresh() + 4; }
    std::size_t colourValues() const { return textRows() + 16; }
    std::size_t font() const { return colourValues() + 64; }
    std::size_t configuration() const { return font() + 8192; }
    std::size_t systemRegister() const { return configuration() + 2; }
    std::size_t timer() const { return configuration() + 8; }
    std::size_t pic() const { return timer() + 2975; }
    std::size_t bases() const { return pic() + 32; }
    std::size_t flags() const { return bases() + 12; }
    std::size_t size() const { return flags() + 9; }
};

std::uint32_t U32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (static_cast<std::uint32_t>(d[at + 3]) << 24);
}
std::uint16_t U16(const std::vector<std::uint8_t>& d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}
void PutU32(std::vector<std::uint8_t>& d, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) d[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The loop's values at the end of the file.
constexpr std::size_t kLoopBytes = 32;
// The check trailer after them: "VGCK" and the CRC-32 of all bytes before.
constexpr std::size_t kTrailerBytes = 8;
// Bytes of "drawn" and FPS, which depend on how fast the host ran (and the
// sum over them).
bool SameExceptPace(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size() || a.size() < kLoopBytes + kTrailerBytes) return false;
    auto x = a, y = b;
    for (auto* v : {&x, &y}) {
        const std::size_t loop = v->size() - kTrailerBytes - kLoopBytes;
        std::fill_n(v->begin() + static_cast<std::ptrdiff_t>(loop + 20), 4, 0);  // drawn
        std::fill_n(v->begin() + static_cast<std::ptrdiff_t>(loop + 28), 4, 0);  // FPS
        std::fill_n(v->end() - 4, 4, 0);                                         // CRC
    }
    return x == y;
}

// CRC-32 as zip computes it, bit by bit.
std::uint32_t SlowCrc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// A machine running the tone program, with a deterministic counter and a
// script of actions per frame.
struct Rig : test::TestMachine {
    std::uint64_t clock = 0;
    explicit Rig(std::uint8_t cpu = kCpuI8080, const std::uint8_t* program = programs::tones,
                 std::size_t size = programs::tones_size)
        : test::TestMachine(program, size) {
        host.SetCounter([this] { return clock += 1000; }, 1'000'000);
        machine->SetCpuKind(cpu);
    }
    void SaveAt(std::uint64_t frame, const fs::path& path) {
        auto previous = onFrame;
        onFrame = [this, frame, path, previous](std::uint64_t f) {
            if (previous) previous(f);
            if (f == frame) {
                machine->SetStateFilePath(path);
                machine->RequestSaveState();
            }
        };
    }
    void LoadAt(std::uint64_t frame, const fs::path& path) {
        auto previous = onFrame;
        onFrame = [this, frame, path, previous](std::uint64_t f) {
            if (previous) previous(f);
            if (f == frame) {
                machine->SetStateFilePath(path);
                machine->RequestLoadState();
            }
        };
    }
};

TEST(SnapshotTest, FileLayoutIsExactOnBothProcessors) {
    test::TempDir dir;
    for (std::uint8_t cpu : {kCpuI8080, kCpuZ80}) {
        SCOPED_TRACE(cpu == kCpuZ80 ? "Z80" : "i8080");
        const fs::path path = dir / "layout.sav";
        Rig rig(cpu);
        rig.SaveAt(30, path);  // saved as the loop leaves: right after frame 30
        rig.RunFrames(30);
        ASSERT_EQ(rig.machine->LastSaveResult(), Machine::StateResult::Ok);
        const auto d = test::ReadBinary(path);
        const std::size_t cpuBlock = cpu == kCpuZ80 ? kZ80StateBlockSize : kI8080StateBlockSize;
        const MemoryLayout m{8192};
        ASSERT_EQ(d.size(), 1 + cpuBlock + m.size() + kLoopBytes + kTrailerBytes);
        EXPECT_EQ(std::string(d.end() - 8, d.end() - 4), "VGCK");
        EXPECT_EQ(U32(d, d.size() - 4), SlowCrc32(d.data(), d.size() - 8));
        ASSERT_EQ(m.size(), 358344u);

        // Processor kind and block: tag, s = 24 or 40, registers.
        EXPECT_EQ(d[0], cpu);
        EXPECT_EQ(U32(d, 17), cpuBlock - 20);
        std::vector<std::uint8_t> block(cpuBlock);
        std::uint32_t length = static_cast<std::uint32_t>(block.size());
        ASSERT_TRUE(rig.machine->Entries().SaveState(&rig.machine->Cpu(), block.data(), &length));
        EXPECT_TRUE(std::equal(block.begin(), block.end(), d.begin() + 1));

        // Memory map block.
        const std::size_t M = 1 + cpuBlock;
        tMemory_Korvet64Kb& mem = rig.Memory();
        EXPECT_TRUE(std::equal(mem.Ram().begin(), mem.Ram().end(), d.begin() + static_cast<std::ptrdiff_t>(M)));
        EXPECT_EQ(U16(d, M + 0x9000), 0) << "the tune has not come round yet";
        EXPECT_EQ(d[M + m.pageMaps + 8 * 256 + 0xC0], tMemory_Korvet64Kb::kPageGraphics);
        EXPECT_EQ(U16(d, M + m.records + (8 * 7 + 6) * 2), 0xC000) << "configuration 8's graphics window";
        EXPECT_EQ(U32(d, M + m.romLength), 8192u);
        EXPECT_TRUE(std::equal(programs::tones, programs::tones + programs::tones_size,
                               d.begin() + static_cast<std::ptrdiff_t>(M + m.romImage())));
        EXPECT_EQ(d[M + m.palette() + 8], 15);
        EXPECT_EQ(d[M + m.colourTable() + 4 * 9 + 2], 255) << "colour 9 is 82, 85, 255";
        EXPECT_EQ(d[M + m.chars() + 1], mem.CellCode(0));
        EXPECT_GE(mem.CellCode(0), 1) << "the first note has been played";
        for (int p = 0; p < 4; ++p) {
            const std::size_t b = M + m.bitmap(p);
            EXPECT_EQ(std::string(d.begin() + static_cast<std::ptrdiff_t>(b),
                                  d.begin() + static_cast<std::ptrdiff_t>(b + 8)),
                      "BMBITMAP");
            EXPECT_EQ(U32(d, b + 9), 10u);
            EXPECT_EQ(U32(d, b + 20), 512u);
            EXPECT_EQ(U32(d, b + 24), 256u);
            EXPECT_EQ(U32(d, b + 28), 131072u);
        }
        // Page 0's pixel rows, bottom row first: the graphics byte at C000h
        // is the top row's left end.
        const tBMMGDI4Bitmap& page0 = mem.PageBitmap(0);
        EXPECT_TRUE(std::equal(page0.Bits(), page0.Bits() + 65536,
                               d.begin() + static_cast<std::ptrdiff_t>(M + m.bitmap(0) + 32)));
        EXPECT_EQ(d[M + m.bitmap(0) + 32 + 255 * 256], page0.Bits()[255 * 256]);
        EXPECT_TRUE(std::equal(mem.Font().begin(), mem.Font().end(),
                               d.begin() + static_cast<std::ptrdiff_t>(M + m.font())));
        EXPECT_EQ(U16(d, M + m.configuration()), 8);
        EXPECT_EQ(U16(d, M + m.configuration() + 4), 0x8E) << "colour register";
        // Timer: sound channel 0 (kind 1, 2,812 bytes), two plain channels.
        EXPECT_EQ(d[M + m.timer()], tTimer_i8254_Channel::kKindSound);
        EXPECT_EQ(d[M + m.timer() + 1 + 2812], tTimer_i8254_Channel::kKindPlain);
        EXPECT_EQ(d[M + m.timer() + 1 + 2812 + 81], tTimer_i8254_Channel::kKindPlain);
        EXPECT_EQ(d[M + m.timer() + 1 + 8], 0x36) << "channel 0's control word";
        EXPECT_TRUE(std::equal(tPIC_i8259A::kStateTag.begin(), tPIC_i8259A::kStateTag.end(),
                               d.begin() + static_cast<std::ptrdiff_t>(M + m.pic())));
        EXPECT_EQ(U16(d, M + m.bases() + 2), 0x3A00) << "system page base";
        EXPECT_EQ(U16(d, M + m.bases() + 10), 0xC000) << "graphics window base";
        EXPECT_EQ(d[M + m.flags() + 7], 1) << "direct mode";
        EXPECT_EQ(d[M + m.flags() + 8], 0) << "four pages";

        // Loop values.
        const std::size_t L = M + m.size();
        std::uint64_t slices = 0;
        for (int i = 7; i >= 0; --i) slices = (slices << 8) | d[L + static_cast<std::size_t>(i)];
        EXPECT_EQ(slices, 3000u);
        EXPECT_EQ(U32(d, L + 8), 500u) << "remaining";
        EXPECT_EQ(U32(d, L + 12), 100u) << "slice index";
        EXPECT_EQ(U32(d, L + 16), 0u) << "skipped";
        EXPECT_EQ(U32(d, L + 24), 30u) << "frames since re-anchoring";
    }
}

TEST(SnapshotTest, Z80StateSwitchesAnI8080MachineAndRunsOnTheSame) {
    // The tone program, and the interrupt program whose timer channel 2
    // interrupts (mode 3) must go on at the same moments after the load.
    struct Program {
        const char* name;
        const std::uint8_t* code;
        std::size_t size;
        std::uint16_t counter;  // a RAM word the program keeps counting (0: character cell 0)
    };
    for (const Program& p : {Program{"tones", programs::tones, programs::tones_size, 0},
                             Program{"irq", programs::irq, programs::irq_size, 0x4002}}) {
        SCOPED_TRACE(p.name);
        test::TempDir dir;
        Rig first(kCpuZ80, p.code, p.size);
        first.SaveAt(10, dir / "at10.sav");
        first.SaveAt(25, dir / "at25.sav");
        first.RunFrames(25);

        Rig second(kCpuI8080, p.code, p.size);
        second.machine->SetStateFilePath(dir / "at10.sav");
        second.machine->RequestLoadStateAtStart();
        second.onFrame = [&](std::uint64_t f) {
            if (f == 1) {
                EXPECT_EQ(second.machine->CpuKind(), kCpuZ80);
                EXPECT_EQ(second.machine->LastLoadResult(), Machine::StateResult::Ok);
                EXPECT_EQ(second.machine->SliceCount(), 1100u);
            }
        };
        second.SaveAt(15, dir / "resumed.sav");
        second.RunFrames(15);
        EXPECT_EQ(second.machine->CpuKind(), kCpuZ80);
        EXPECT_TRUE(second.host.Messages().empty());
        const auto a = test::ReadBinary(dir / "at25.sav");
        const auto b = test::ReadBinary(dir / "resumed.sav");
        ASSERT_FALSE(a.empty());
        EXPECT_TRUE(SameExceptPace(a, b));
        auto counted = [&p](Rig& r) { return p.counter ? r.RamWord(p.counter) : r.Memory().CellCode(0); };
        EXPECT_EQ(counted(second), counted(first));
        EXPECT_GT(counted(first), 0);
    }
}

TEST(SnapshotTest, DamagedFilesAreRefusedAndTheMachineRunsOnUnchanged) {
    test::TempDir dir;
    const fs::path good = dir / "good.sav";
    {
        Rig rig;
        rig.SaveAt(5, good);
        rig.RunFrames(5);
    }
    auto g = test::ReadBinary(good);
    ASSERT_GT(g.size(), kTrailerBytes);
    // Without its check trailer, as files were written before it existed:
    // every case below is caught by the structural checks alone.
    g.resize(g.size() - kTrailerBytes);
    const std::size_t M = 1 + kI8080StateBlockSize;
    const MemoryLayout m{8192};

    // What a machine that is left alone holds after 20 frames.
    const fs::path reference = dir / "reference.sav";
    {
        Rig rig;
        rig.SaveAt(20, reference);
        rig.RunFrames(20);
    }
    const auto ref = test::ReadBinary(reference);
    ASSERT_FALSE(ref.empty());

    struct Damage {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Damage> cases;
    auto with = [&](const char* what, auto change) {
        auto d = g;
        change(d);
        cases.push_back({what, d});
    };
    with("processor tag", [](auto& d) { d[5] ^= 0x40; });
    with("kind says Z80 over an i8080 block", [](auto& d) { d[0] = kCpuZ80; });
    with("page bitmap magic", [&](auto& d) { d[M + m.bitmap(2) + 3] = 'X'; });
    with("page bitmap version", [&](auto& d) { d[M + m.bitmap(1) + 19] = 1; });
    with("page bitmap size", [&](auto& d) { PutU32(d, M + m.bitmap(3) + 20, 0x7FFFFFFF); });
    with("interrupt controller tag", [&](auto& d) { d[M + m.pic() + 2] ^= 1; });
    with("interrupt controller version", [&](auto& d) { d[M + m.pic() + 16] = 7; });
    with("timer channel 0 not the sound channel", [&](auto& d) { d[M + m.timer()] = 0; });
    with("timer channel kind unknown", [&](auto& d) { d[M + m.timer() + 2813] = 9; });
    with("configuration number", [&](auto& d) { d[M + m.configuration()] = 40; });
    with("system register", [&](auto& d) { d[M + m.systemRegister() + 1] = 0x12; });
    with("page map", [&](auto& d) { d[M + m.pageMaps + 300] ^= 3; });
    with("ROM length", [&](auto& d) { PutU32(d, M + m.romLength, 0x40000000); });
    with("slice index", [&](auto& d) { PutU32(d, d.size() - kLoopBytes + 12, 0); });
    with("remaining cycles", [&](auto& d) { PutU32(d, d.size() - kLoopBytes + 8, 0xFFFFFFF0u); });
    with("one byte more", [](auto& d) { d.push_back(0); });
    for (std::size_t keep : {std::size_t{0}, std::size_t{1}, std::size_t{30}, M + 1000, g.size() / 2,
                             g.size() - kLoopBytes, g.size() - 1}) {
        auto d = g;
        d.resize(keep);
        cases.push_back({"truncated", d});
    }
    {
        std::mt19937 random(7);
        std::vector<std::uint8_t> noise(g.size());
        for (auto& b : noise) b = static_cast<std::uint8_t>(random());
        cases.push_back({"random bytes", noise});
        noise[0] = 0;
        std::copy_n(g.begin() + 1, 20, noise.begin() + 1);  // a sound processor header
        cases.push_back({"random bytes after a sound header", noise});
    }

    for (const Damage& c : cases) {
        SCOPED_TRACE(c.what + std::string(", ") + std::to_string(c.bytes.size()) + " bytes");
        const fs::path bad = dir / "bad.sav";
        test::WriteBinary(bad, c.bytes);
        const fs::path after = dir / "after.sav";
        Rig rig;
        rig.LoadAt(10, bad);
        rig.SaveAt(20, after);
        rig.RunFrames(20);
        ASSERT_EQ(rig.host.Messages().size(), 1u);
        EXPECT_EQ(rig.host.Messages()[0].text, Machine::kMsgLoadFailed);
        EXPECT_EQ(rig.machine->LastLoadResult(), Machine::StateResult::Failed);
        EXPECT_EQ(rig.frames, 20u) << "the run went on";
        EXPECT_EQ(test::ReadBinary(after), ref) << "the running machine was changed";
    }

    // No file at all.
    Rig rig;
    rig.LoadAt(3, dir / "missing.sav");
    rig.RunFrames(6);
    ASSERT_EQ(rig.host.Messages().size(), 1u);
    EXPECT_EQ(rig.host.Messages()[0].text, Machine::kMsgNoStateFile);
    EXPECT_EQ(rig.frames, 6u);
}

TEST(SnapshotTest, SavingAndLoadingWhilePausedKeepTheMachinePaused) {
    test::TempDir dir;
    const fs::path path = dir / "paused.sav";
    Rig rig;
    tTimer_i8254_SoundChannel* sound = rig.Memory().Sound();
    ASSERT_NE(sound, nullptr);
    std::uint64_t pumps = 0;
    std::vector<std::string> failures;
    auto expect = [&](bool ok, const char* what) {
        if (!ok) failures.push_back(what + std::string(" at pump ") + std::to_string(pumps));
    };
    std::uint64_t slicesAtPause = 0;
    rig.host.SetPump([&] {
        ++pumps;
        Machine& m = *rig.machine;
        if (pumps == 12) {
            m.Pause();
            slicesAtPause = m.SliceCount();
            expect(sound->SoundOn() == 0, "sound off when paused");
        } else if (pumps == 13) {
            m.SetStateFilePath(path);
            m.RequestSaveState();
        } else if (pumps == 14) {
            expect(m.LastSaveResult() == Machine::StateResult::Ok, "saved while paused");
            expect(m.Paused(), "still paused after the save");
            m.RequestLoadState();
        } else if (pumps == 15) {
            expect(m.LastLoadResult() == Machine::StateResult::Ok, "loaded while paused");
            expect(m.Paused(), "still paused after the load");
            expect(sound->SoundOn() == 0, "sound still off after the load");
            expect(m.SliceCount() == slicesAtPause, "nothing ran while paused");
            m.Resume();
            expect(sound->SoundOn() == 1, "sound on after resuming");
        } else if (pumps == 20) {
            m.Stop();
        }
    });
    rig.machine->SetSync(false);
    rig.machine->Run(nullptr, test::kTestRom, false);
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(rig.machine->SliceCount(), slicesAtPause + 5 * 100);

    // The state saved while paused resumes with sound in a running machine.
    Rig other;
    other.machine->SetStateFilePath(path);
    other.machine->RequestLoadStateAtStart();
    bool soundOn = false;
    other.onFrame = [&](std::uint64_t) { soundOn = other.Memory().Sound()->SoundOn() == 1; };
    other.RunFrames(2);
    EXPECT_EQ(other.machine->LastLoadResult(), Machine::StateResult::Ok);
    EXPECT_TRUE(soundOn);
    EXPECT_FALSE(other.machine->Paused());
}

TEST(SnapshotTest, OldFileIsKeptWhenItCannotBeReplaced) {
    test::TempDir dir;
    const fs::path path = dir / "state.sav";
    // Saving twice in a row replaces the file.
    {
        Rig rig;
        rig.SaveAt(3, path);
        rig.RunFrames(3);
        const auto first = test::ReadBinary(path);
        Rig again;
        again.SaveAt(4, path);
        again.RunFrames(4);
        const auto second = test::ReadBinary(path);
        ASSERT_EQ(first.size(), second.size());
        EXPECT_NE(first, second);
        EXPECT_TRUE(again.host.Messages().empty());
        for (const auto& e : fs::directory_iterator(dir.Path()))
            EXPECT_EQ(e.path().filename(), "state.sav") << "no temporary file is left behind";
    }

    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    test::WriteBinary(path, old);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Rig rig;
    rig.SaveAt(3, path);
    rig.RunFrames(6);
    fs::permissions(path, fs::perms::owner_all);
    ASSERT_EQ(rig.host.Messages().size(), 1u);
    EXPECT_EQ(rig.host.Messages()[0].text, Machine::kMsgCannotDeleteOld);
    EXPECT_EQ(rig.machine->LastSaveResult(), Machine::StateResult::Failed);
    EXPECT_EQ(test::ReadBinary(path), old);
    EXPECT_EQ(rig.frames, 6u) << "the run went on";

    // A folder that cannot be made: the save fails with its message, the
    // run goes on.
    Rig blocked;
    blocked.SaveAt(2, dir / "state.sav" / "inside" / "x.sav");
    blocked.RunFrames(4);
    ASSERT_EQ(blocked.host.Messages().size(), 1u);
    EXPECT_EQ(blocked.host.Messages()[0].text, Machine::kMsgSaveFailed);
    EXPECT_EQ(blocked.frames, 4u);
}

TEST(SnapshotTest, DefaultStateFileIsBesideTheProgramOrInTheConfigurationFolder) {
    const fs::path p = Machine::DefaultStateFilePath();
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(p.filename(), exe.filename().replace_extension(".sav"));
    if (p.parent_path() != exe.parent_path()) {
        EXPECT_EQ(p.parent_path().filename(), "velgard");
    }
    HeadlessHost host;
    Machine machine(host);
    EXPECT_EQ(machine.StateFilePath(), p);
}

}  // namespace
}  // namespace velgard

namespace velgard {
namespace {

TEST(SnapshotTest, TheCheckSumRefusesWhatTheStructureCannotSeeAndOldFilesStillLoad) {
    test::TempDir dir;
    const fs::path good = dir / "good.sav";
    {
        Rig rig;
        rig.SaveAt(5, good);
        rig.RunFrames(5);
    }
    const auto g = test::ReadBinary(good);
    ASSERT_GT(g.size(), kTrailerBytes);
    const std::size_t ram = 1 + kI8080StateBlockSize;
    auto oldFormat = g;
    oldFormat.resize(g.size() - kTrailerBytes);

    // Loads `bytes` at frame 3 and saves at frame 8: the load's result and
    // the machine it left.
    auto load = [&](const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& after) {
        test::WriteBinary(dir / "in.sav", bytes);
        Rig rig;
        rig.LoadAt(3, dir / "in.sav");
        rig.SaveAt(8, dir / "out.sav");
        rig.RunFrames(8);
        after = test::ReadBinary(dir / "out.sav");
        return rig.machine->LastLoadResult();
    };
    std::vector<std::uint8_t> fromGood, fromOld, fromFlipped, fromOldFlipped, untouched;
    ASSERT_EQ(load(g, fromGood), Machine::StateResult::Ok);
    ASSERT_EQ(load(oldFormat, fromOld), Machine::StateResult::Ok) << "a file without the trailer still loads";
    EXPECT_TRUE(SameExceptPace(fromGood, fromOld));

    // One flipped bit in RAM: a value like any other to the structure.
    auto flipped = g;
    flipped[ram + 0x4000] ^= 0x10;
    EXPECT_EQ(load(flipped, fromFlipped), Machine::StateResult::Failed);
    {
        Rig rig;
        rig.SaveAt(8, dir / "untouched.sav");
        rig.RunFrames(8);
        untouched = test::ReadBinary(dir / "untouched.sav");
    }
    EXPECT_TRUE(SameExceptPace(fromFlipped, untouched)) << "the refused load left the machine alone";
    auto oldFlipped = oldFormat;
    oldFlipped[ram + 0x4000] ^= 0x10;
    EXPECT_EQ(load(oldFlipped, fromOldFlipped), Machine::StateResult::Ok)
        << "without a trailer only the structure is checked";

    // A damaged trailer is damage too.
    for (std::size_t at : {g.size() - 8, g.size() - 1}) {
        auto bad = g;
        bad[at] ^= 1;
        std::vector<std::uint8_t> ignored;
        EXPECT_EQ(load(bad, ignored), Machine::StateResult::Failed) << at;
    }
}

TEST(SnapshotTest, AnOldFileInAWriteProtectedFolderCannotBeDeleted) {
    test::TempDir dir;
    const fs::path folder = dir / "locked";
    fs::create_directory(folder);
    const fs::path path = folder / "state.sav";
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    test::WriteBinary(path, old);
    // The superuser writes into any folder without write bits; the
    // immutable attribute stops even them.
    const bool root = ::geteuid() == 0;
    const std::string lock = root ? "chattr +i '" + folder.string() + "' 2>/dev/null" : "";
    if (root && std::system(lock.c_str()) != 0) GTEST_SKIP() << "chattr +i is not available here";
    if (!root) fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    Rig rig;
    rig.SaveAt(2, path);
    rig.RunFrames(4);
    if (root) {
        ASSERT_EQ(std::system(("chattr -i '" + folder.string() + "'").c_str()), 0);
    } else {
        fs::permissions(folder, fs::perms::owner_all);
    }
    ASSERT_EQ(rig.host.Messages().size(), 1u);
    EXPECT_EQ(rig.host.Messages()[0].text, Machine::kMsgCannotDeleteOld);
    EXPECT_EQ(test::ReadBinary(path), old);
    EXPECT_EQ(rig.frames, 4u) << "the run went on";
}

}  // namespace
}  // namespace velgard
