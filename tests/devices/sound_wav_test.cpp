// The WAV recording of the rendered sound.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <algorithm>
#include <vector>

#include "devices/SoundChannel.h"
#include "devices/WavRecorder.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

namespace fs = std::filesystem;

std::uint32_t U32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<std::uint32_t>(d[at + 3]) << 24;
}
std::uint16_t U16(const std::vector<std::uint8_t>& d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}

// Checks the 44-byte header of an 8-bit mono 22,050 Hz PCM file with
// `data` sample bytes.
void ExpectHeader(const std::vector<std::uint8_t>& d, std::uint32_t data) {
    ASSERT_GE(d.size(), 44u);
    EXPECT_EQ(std::string(d.begin(), d.begin() + 4), "RIFF");
    EXPECT_EQ(U32(d, 4), 36 + data);
    EXPECT_EQ(std::string(d.begin() + 8, d.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(U32(d, 16), 16u);
    EXPECT_EQ(U16(d, 20), 1);       // PCM
    EXPECT_EQ(U16(d, 22), 1);       // mono
    EXPECT_EQ(U32(d, 24), 22050u);  // samples per second
    EXPECT_EQ(U32(d, 28), 22050u);  // bytes per second
    EXPECT_EQ(U16(d, 32), 1);       // block alignment
    EXPECT_EQ(U16(d, 34), 8);       // bits per sample
    EXPECT_EQ(std::string(d.begin() + 36, d.begin() + 40), "data");
    EXPECT_EQ(U32(d, 40), data);
}

TEST(WavRecorder, ChannelRecordingHasHeaderAndTheRenderedSamples) {
    test::TempDir dir;
    const auto path = dir / "tone.wav";
    tTimer_i8254_SoundChannel ch;
    ch.Reset();
    ch.SetCpuClock(2500000);
    ch.SetGate(1);
    ch.SetOutputEnable(1);
    ASSERT_TRUE(ch.StartRecording(path.string()));
    ch.WriteControl(0x36, 0);
    ch.WriteCount(4535 & 0xFF, 0);
    ch.WriteCount(4535 >> 8, 0);
    std::uint64_t now = 0;
    std::vector<std::uint8_t> rendered;
    for (int f = 0; f < 4; ++f) {
        for (int s = 99; s >= 0; --s) {
            now += 500;
            ch.Advance(s, now);
            if (s == 99 && f > 0) rendered.insert(rendered.end(), ch.LastFrame().begin(), ch.LastFrame().end());
        }
    }
    EXPECT_EQ(ch.Recorder()->DataBytes(), 3u * 441);
    ASSERT_TRUE(ch.StopRecording());
    EXPECT_EQ(ch.Recorder(), nullptr);

    const auto d = test::ReadBinary(path);
    ASSERT_EQ(d.size(), 44u + 3 * 441);
    ExpectHeader(d, 3 * 441);
    ASSERT_EQ(rendered.size(), 3u * 441);
    for (std::size_t i = 0; i < rendered.size(); ++i) {
        ASSERT_EQ(d[44 + i], rendered[i] ? 255 : 128) << i;
        ASSERT_EQ(rendered[i], (i % 50) < 25 ? 1 : 0) << i;
    }
    // Stopping without a recording reports false.
    EXPECT_FALSE(ch.StopRecording());
}

TEST(WavRecorder, HeaderKeptCurrentAndFailuresReported) {
    test::TempDir dir;
    const auto path = dir / "long.wav";
    {
        tWavRecorder rec;
        ASSERT_TRUE(rec.Open(path.string()));
        ASSERT_NE(rec.WritingPath(), path.string()) << "written beside the target first";
        EXPECT_FALSE(fs::exists(path));
        ExpectHeader(test::ReadBinary(rec.WritingPath()), 0);  // valid from the start
        std::vector<std::uint8_t> frame(441);
        for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = i % 3 == 0 ? 1 : (i % 3 == 1 ? 0 : 5);
        for (int f = 0; f < 51; ++f) rec.WriteSamples(frame);  // past one second
        // Cut short now (no Close): the header already covers the first
        // full second written.
        const auto mid = test::ReadBinary(rec.WritingPath());
        ASSERT_GE(mid.size(), 44u + 22050);
        const std::uint32_t covered = U32(mid, 40);
        EXPECT_GE(covered, 22050u);
        EXPECT_LE(covered, mid.size() - 44);
        EXPECT_EQ(U32(mid, 4), covered + 36);
        EXPECT_EQ(mid[44], 255);
        EXPECT_EQ(mid[45], 128) << "silence is the midpoint";
        EXPECT_EQ(mid[46], 255);  // any non-zero sample counts as 1
    }  // the destructor closes the file
    const auto d = test::ReadBinary(path);
    ExpectHeader(d, 51 * 441);
    EXPECT_EQ(d.size(), 44u + 51 * 441);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1)
        << "the temporary file became the recording";

    tWavRecorder bad;
    EXPECT_FALSE(bad.Open((dir / "no-such-folder" / "x.wav").string()));
    EXPECT_TRUE(bad.Failed());
    EXPECT_FALSE(bad.IsOpen());
    bad.WriteSamples(std::vector<std::uint8_t>(10, 1));  // ignored, no crash
    EXPECT_EQ(bad.DataBytes(), 0u);

#ifdef __linux__
    // A full disk: every write fails and Close says so.
    tWavRecorder full;
    if (full.Open("/dev/full")) {
        full.WriteSamples(std::vector<std::uint8_t>(100000, 1));
        EXPECT_FALSE(full.Close());
        EXPECT_TRUE(full.Failed());
    } else {
        EXPECT_TRUE(full.Failed());
    }
#endif
}

// A full disk, imitated by a file size limit (as `ulimit -f` sets it).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST(WavRecorder, AFailedRecordingLeavesTheOldFileAsItWas) {
    test::TempDir dir;
    const auto path = dir / "old.wav";
    const std::vector<std::uint8_t> old(1000, 0x42);
    test::WriteBinary(path, old);
    {
        FileSizeLimit limit(64 * 1024);
        tWavRecorder rec;
        ASSERT_TRUE(rec.Open(path.string()));
        for (int f = 0; f < 400; ++f) rec.WriteSamples(std::vector<std::uint8_t>(441, 1));
        EXPECT_TRUE(rec.Failed());
        EXPECT_FALSE(rec.Close());
    }
    EXPECT_EQ(test::ReadBinary(path), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1)
        << "no temporary file is left behind";

    // Silence alone: every byte is the midpoint, the header says so.
    {
        tWavRecorder rec;
        ASSERT_TRUE(rec.Open(path.string()));
        rec.WriteSamples(std::vector<std::uint8_t>(300, 0));
        ASSERT_TRUE(rec.Close());
    }
    const auto d = test::ReadBinary(path);
    ExpectHeader(d, 300);
    ASSERT_EQ(d.size(), 344u);
    EXPECT_TRUE(std::all_of(d.begin() + 44, d.end(), [](std::uint8_t b) { return b == 128; }));
}

}  // namespace
}  // namespace velgard
