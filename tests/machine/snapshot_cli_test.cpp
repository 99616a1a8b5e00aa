// velgard-cli run with --wav, --save-state and --load-state: a machine
// stopped, saved and resumed in a new process goes on exactly as one that
// was never interrupted; the recorded sound has the notes the program
// played; the firmware's beep is heard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "MachineTestSupport.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

// The samples of an 8-bit mono 22,050 Hz WAV file as 0/1.
std::vector<std::uint8_t> WavSamples(const fs::path& path) {
    const auto d = test::ReadBinary(path);
    EXPECT_GE(d.size(), 44u);
    if (d.size() < 44) return {};
    EXPECT_EQ(std::string(d.begin(), d.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(d.begin() + 8, d.begin() + 12), "WAVE");
    EXPECT_EQ(d[22] | (d[23] << 8), 1) << "mono";
    EXPECT_EQ(d[24] | (d[25] << 8) | (d[26] << 16), 22050);
    EXPECT_EQ(d[34], 8) << "bits per sample";
    const std::size_t data = d[40] | (d[41] << 8) | (d[42] << 16) | (static_cast<std::size_t>(d[43]) << 24);
    EXPECT_EQ(data, d.size() - 44);
    std::vector<std::uint8_t> s;
    for (std::size_t i = 44; i < d.size(); ++i) {
        EXPECT_TRUE(d[i] == 128 || d[i] == 255) << i;
        s.push_back(d[i] == 255 ? 1 : 0);
    }
    return s;
}

// A stretch of sound: where it starts and ends, and the lengths of its
// high and low runs (the first and the last run may be cut).
struct Note {
    std::size_t start = 0, end = 0;
    std::vector<std::size_t> highs, lows;
};

// Sound stretches are separated by at least `silence` zero samples.
std::vector<Note> FindNotes(const std::vector<std::uint8_t>& s, std::size_t silence = 400) {
    std::vector<Note> notes;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && !s[i]) ++i;
        if (i == s.size()) break;
        Note n;
        n.start = i;
        std::size_t lastHigh = i;
        while (i < s.size()) {
            const std::uint8_t level = s[i];
            std::size_t j = i;
            while (j < s.size() && s[j] == level) ++j;
            if (!level && (j - i >= silence || j == s.size())) break;
            (level ? n.highs : n.lows).push_back(j - i);
            if (level) lastHigh = j;
            i = j;
        }
        n.end = lastHigh;
        notes.push_back(n);
    }
    return notes;
}

struct Expected {
    std::size_t high, low, length;
};

void CheckNote(const Note& n, const Expected& e) {
    ASSERT_GE(n.highs.size(), 4u);
    // Every whole run, i.e. all but the first and the last ones.
    for (std::size_t k = 1; k + 1 < n.highs.size(); ++k) EXPECT_EQ(n.highs[k], e.high) << "high run " << k;
    for (std::size_t k = 1; k + 1 < n.lows.size(); ++k) EXPECT_EQ(n.lows[k], e.low) << "low run " << k;
    // The output enable is seen once per 500-cycle slice (4 or 5 samples),
    // and the note may begin and end in a low half of its period.
    const double length = static_cast<double>(n.end - n.start);
    EXPECT_NEAR(length, static_cast<double>(e.length), static_cast<double>(e.high + e.low + 10));
}

class SnapshotCliTest : public ::testing::Test {
protected:
    test::TempDir dir;
    fs::path rom;
    void SetUp() override {
        rom = dir / "tones.rom";
        test::WriteBinary(rom, test::RomWith(programs::tones, programs::tones_size));
    }
    test::CliResult Run(const std::string& cpu, int frames, std::vector<std::string> more) {
        std::vector<std::string> args = {"run", "--rom", "2", "--rom-file", rom.string(), "--roms-dir",
                                         dir.Path().string(), "--no-sync", "--cpu", cpu,
                                         "--frames", std::to_string(frames)};
        args.insert(args.end(), more.begin(), more.end());
        return RunCli(args);
    }
};

TEST_F(SnapshotCliTest, RecordedTuneHasTheNotesPeriodsAndLengths) {
    const fs::path wav = dir / "tune.wav";
    const auto r = Run("8080", 45, {"--wav", wav.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto s = WavSamples(wav);
    EXPECT_EQ(s.size(), 44u * 441) << "one frame behind the emulation";
    const auto notes = FindNotes(s);
    ASSERT_GE(notes.size(), 3u);
    // Counts 4535, 9070 and 2268 at 2 MHz: 50, 100 and 25 samples a
    // period; 10, 5 and 8 frames long; 4 frames of silence between them.
    {
        SCOPED_TRACE("441 Hz");
        CheckNote(notes[0], {25, 25, 4410});
    }
    {
        SCOPED_TRACE("220.5 Hz");
        CheckNote(notes[1], {50, 50, 2205});
    }
    {
        SCOPED_TRACE("882 Hz");
        CheckNote(notes[2], {13, 12, 3528});
    }
    const double gap1 = static_cast<double>(notes[1].start) - static_cast<double>(notes[0].end);
    EXPECT_NEAR(gap1, 1764.0, 40.0);
    // Before the first note: only silence.
    EXPECT_EQ(std::count(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(notes[0].start), 1), 0);
}

TEST_F(SnapshotCliTest, ResumedRunMatchesAnUninterruptedOneOnBothProcessors) {
    for (const std::string cpu : {"8080", "z80"}) {
        SCOPED_TRACE(cpu);
        // Uninterrupted: 40 frames. Interrupted: 17 frames (in the middle of
        // the second note), a new process, 23 frames more.
        const auto whole = Run(cpu, 40,
                               {"--wav", (dir / "whole.wav").string(), "--save-state", (dir / "whole.sav").string(),
                                "--screenshot", (dir / "whole.png").string()});
        ASSERT_EQ(whole.status, 0) << whole.err;
        const auto first = Run(cpu, 17,
                               {"--wav", (dir / "first.wav").string(), "--save-state", (dir / "mid.sav").string()});
        ASSERT_EQ(first.status, 0) << first.err;
        // The resumed run is started with the other processor selected: the
        // state brings its own.
        const auto second = Run(cpu == "z80" ? "8080" : "z80", 23,
                                {"--load-state", (dir / "mid.sav").string(), "--wav", (dir / "second.wav").string(),
                                 "--save-state", (dir / "second.sav").string(), "--screenshot",
                                 (dir / "second.png").string()});
        ASSERT_EQ(second.status, 0) << second.err;
        EXPECT_EQ(second.err, "");

        // RAM, screen, every chip and the loop's counters: the same, but
        // for the frames-drawn and FPS figures, which follow the host's pace.
        auto a = test::ReadBinary(dir / "whole.sav");
        auto b = test::ReadBinary(dir / "second.sav");
        ASSERT_EQ(a.size(), b.size());
        ASSERT_GT(a.size(), 32u);
        EXPECT_EQ(a[0], cpu == "z80" ? 1 : 0);
        EXPECT_EQ(b[0], a[0]);
        for (auto* v : {&a, &b}) {
            std::fill(v->end() - 12, v->end() - 8, 0);  // frames drawn
            std::fill(v->end() - 4, v->end(), 0);       // FPS
        }
        EXPECT_TRUE(a == b) << "the resumed machine differs";
        EXPECT_EQ(test::ReadBinary(dir / "whole.png"), test::ReadBinary(dir / "second.png"));

        // The sound: the two recordings together are the whole one.
        const auto w = WavSamples(dir / "whole.wav");
        auto joined = WavSamples(dir / "first.wav");
        const auto tail = WavSamples(dir / "second.wav");
        EXPECT_EQ(tail.size(), 23u * 441);
        joined.insert(joined.end(), tail.begin(), tail.end());
        ASSERT_EQ(joined.size(), w.size());
        EXPECT_TRUE(joined == w) << "the sound differs after the resumption";
        EXPECT_GT(std::count(tail.begin(), tail.end(), 1), 1000) << "the tune plays on";
    }
}

TEST_F(SnapshotCliTest, FirmwareBeepIsHeardWhenTheMonitorCallsIt) {
    // The monitor's G command calls the beep entry at 006Ch; the firmware
    // plays a 1 kHz tone (count 2000: 22 samples a period) for 8700 turns
    // of a 24-cycle loop on the i8080: 208,800 cycles, 1,842 samples.
    const fs::path wav = dir / "beep.wav";
    // (ROM set 2 starts in the monitor; the "+BAS" sets start in BASIC.)
    const auto r = RunCli({"run", "--no-sync", "--rom", "2", "--frames", "130", "--roms-dir", dir.Path().string(),
                           "--type", "G 6C\r", "--wav", wav.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto s = WavSamples(wav);
    const auto notes = FindNotes(s);
    ASSERT_EQ(notes.size(), 1u);
    CheckNote(notes[0], {11, 11, 1842});

    // Without the command nothing is heard.
    const auto quiet = RunCli({"run", "--no-sync", "--frames", "130", "--roms-dir", dir.Path().string(), "--wav",
                               (dir / "quiet.wav").string()});
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    const auto q = WavSamples(dir / "quiet.wav");
    EXPECT_EQ(q.size(), 129u * 441);
    EXPECT_EQ(std::count(q.begin(), q.end(), 1), 0);
}

TEST_F(SnapshotCliTest, BadStateAndRecordingArgumentsAreRefusedClearly) {
    auto expectFail = [](const test::CliResult& r, int status, const std::string& text) {
        EXPECT_EQ(r.status, status) << r.out;
        EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << "nothing but the error: " << r.out;
    };
    expectFail(Run("8080", 5, {"--load-state", (dir / "none.sav").string()}), 2, "--load-state: no such file");
    expectFail(Run("8080", 5, {"--load-state", dir.Path().string()}), 2, "is a folder, not a file");
    expectFail(Run("8080", 5, {"--wav"}), 2, "--wav needs a file name");
    expectFail(Run("8080", 5, {"--save-state"}), 2, "--save-state needs a file name");
    // Missing output folders are refused, never created.
    for (const char* option : {"--wav", "--save-state", "--screenshot"}) {
        expectFail(Run("8080", 5, {option, (dir / "no" / "such" / "x").string()}), 2, "does not exist");
        EXPECT_FALSE(fs::exists(dir / "no")) << option;
        expectFail(Run("8080", 5, {option, dir.Path().string()}), 2, "is a folder");
    }

    // A damaged state: the machine's message once, one English line saying
    // what the command did, exit 1, no run reported.
    test::WriteBinary(dir / "junk.sav", std::vector<std::uint8_t>(5000, 0xA5));
    const auto junk = Run("8080", 5, {"--load-state", (dir / "junk.sav").string()});
    expectFail(junk, 1, "was refused; nothing was run");
    EXPECT_EQ(junk.err, std::string("Загрузка почему-то не получилась!\nvelgard-cli: run: the state file ") +
                            (dir / "junk.sav").string() + " was refused; nothing was run\n");

    // A state file that cannot be replaced.
    test::WriteBinary(dir / "ro.sav", {1, 2, 3});
    fs::permissions(dir / "ro.sav", fs::perms::owner_read);
    const auto ro = Run("8080", 5, {"--save-state", (dir / "ro.sav").string()});
    fs::permissions(dir / "ro.sav", fs::perms::owner_all);
    EXPECT_EQ(ro.status, 1);
    EXPECT_NE(ro.err.find("could not be saved"), std::string::npos) << ro.err;
    EXPECT_NE(ro.err.find("Не удалось удалить старый файл!"), std::string::npos) << ro.err;
    EXPECT_EQ(test::ReadBinary(dir / "ro.sav"), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(SnapshotCliTest, AFullDiskLeavesOldOutputFilesAsTheyWere) {
    // `ulimit -f 64` (64 KB) stops the state file (350 KB), a WAV of ten
    // seconds (220 KB) and a screenshot of the monitor's screen is small;
    // each target holds an old file that must stay byte for byte.
    const std::vector<std::uint8_t> old(100, 0x5A);
    for (const char* name : {"s.sav", "w.wav"}) test::WriteBinary(dir / name, old);
    const std::string command = "ulimit -f 64; trap '' XFSZ; '" + std::string(VELGARD_CLI) +
                                "' run --no-sync --frames 500 --roms-dir '" + dir.Path().string() +
                                "' --save-state '" + (dir / "s.sav").string() + "' --wav '" +
                                (dir / "w.wav").string() + "' >/dev/null 2>'" + (dir / "err.txt").string() + "'";
    const int status = std::system(("bash -c \"" + command + "\"").c_str());
    EXPECT_NE(status, 0);
    EXPECT_EQ(test::ReadBinary(dir / "s.sav"), old);
    EXPECT_EQ(test::ReadBinary(dir / "w.wav"), old);
    const auto e = test::ReadBinary(dir / "err.txt");
    const std::string err(e.begin(), e.end());
    EXPECT_NE(err.find("the recording " + (dir / "w.wav").string() + " could not be written"), std::string::npos)
        << err;
    EXPECT_NE(err.find("the state could not be saved"), std::string::npos) << err;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace velgard
