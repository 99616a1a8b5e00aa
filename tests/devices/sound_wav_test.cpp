// The WAV recording of the rendered sound.
#include <gtest/gtest.h>

#include <vector>

#include "devices/SoundChannel.h"
#include "devices/WavRecorder.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

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
        ASSERT_EQ(d[44 + i], rendered[i] ? 127 : 0) << i;
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
        ExpectHeader(test::ReadBinary(path), 0);  // valid from the start
        std::vector<std::uint8_t> frame(441);
        for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = i % 3 == 0 ? 1 : (i % 3 == 1 ? 0 : 5);
        for (int f = 0; f < 51; ++f) rec.WriteSamples(frame);  // past one second
        // Cut short now (no Close): the header already covers the first
        // full second written.
        const auto mid = test::ReadBinary(path);
        ASSERT_GE(mid.size(), 44u + 22050);
        const std::uint32_t covered = U32(mid, 40);
        EXPECT_GE(covered, 22050u);
        EXPECT_LE(covered, mid.size() - 44);
        EXPECT_EQ(U32(mid, 4), covered + 36);
        EXPECT_EQ(mid[44], 127);
        EXPECT_EQ(mid[45], 0);
        EXPECT_EQ(mid[46], 127);  // any non-zero sample counts as 1
    }  // the destructor closes the file
    const auto d = test::ReadBinary(path);
    ExpectHeader(d, 51 * 441);
    EXPECT_EQ(d.size(), 44u + 51 * 441);

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

}  // namespace
}  // namespace velgard
