// The wave output through SDL's own dummy and disk audio drivers (no sound
// hardware needed).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "support/TestSupport.h"
#include "ui/audio/WaveOutDevice.h"

namespace velgard {
namespace {

// Sets an environment variable for one test.
class tEnv {
public:
    tEnv(const char* name, const std::string& value) : name_(name) { ::setenv(name, value.c_str(), 1); }
    ~tEnv() { ::unsetenv(name_); }

private:
    const char* name_;
};

std::array<std::uint8_t, 441> Frame(int seed) {
    std::array<std::uint8_t, 441> f{};
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = ((i + static_cast<std::size_t>(seed)) / 7) % 2;
    return f;
}

TEST(WaveOutDevice, OpensLazilyQueuesFiveFramesAndDropsTheSixth) {
    tEnv driver("SDL_AUDIODRIVER", "dummy");
    tSoundOutputDevice_WaveOut wave(/*holdPlayback=*/true);
    ASSERT_TRUE(wave.Available());
    EXPECT_TRUE(wave.IsBuffered());
    EXPECT_FALSE(wave.IsOpen());  // nothing opened before the first frame
    for (int i = 0; i < 5; ++i) wave.PlayFrame(Frame(i));
    EXPECT_TRUE(wave.IsOpen());
    EXPECT_EQ(wave.QueuedFrames(), 5);
    EXPECT_EQ(wave.DroppedFrames(), 0u);
    wave.PlayFrame(Frame(5));  // the driver has played none: dropped
    EXPECT_EQ(wave.QueuedFrames(), 5);
    EXPECT_EQ(wave.DroppedFrames(), 1u);
    // Init closes the device; the next frame opens it again.
    wave.Init();
    EXPECT_FALSE(wave.IsOpen());
    EXPECT_TRUE(wave.Available());
    wave.PlayFrame(Frame(0));
    EXPECT_TRUE(wave.IsOpen());
    EXPECT_EQ(wave.QueuedFrames(), 1);
}

TEST(WaveOutDevice, PlaysTheSamplesAsBytes127And0) {
    test::TempDir dir;
    const auto out = dir / "audio.raw";
    tEnv driver("SDL_AUDIODRIVER", "disk");
    tEnv file("SDL_DISKAUDIOFILE", out.string());
    std::vector<std::uint8_t> expected;
    {
        tSoundOutputDevice_WaveOut wave(/*holdPlayback=*/true);
        ASSERT_TRUE(wave.Available());
        for (int i = 0; i < 6; ++i) {
            const auto f = Frame(i);
            wave.PlayFrame(f);
            if (i < 5)
                for (auto s : f) expected.push_back(s ? 127 : 0);
        }
        EXPECT_EQ(wave.DroppedFrames(), 1u);
        wave.HoldPlayback(false);
        // The disk driver writes in real time: 100 ms of sound.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (wave.QueuedFrames() > 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(wave.QueuedFrames(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }  // closed: the file is complete
    auto bytes = test::ReadBinary(out);
    // While held the driver writes silence (128); then come our frames.
    const auto first = std::find_if(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 128; });
    ASSERT_GE(static_cast<std::size_t>(bytes.end() - first), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), first));
    // Nothing of the dropped sixth frame follows.
    const auto rest = first + static_cast<std::ptrdiff_t>(expected.size());
    EXPECT_TRUE(std::all_of(rest, bytes.end(), [](std::uint8_t b) { return b == 128; }));
}

TEST(WaveOutDevice, UnavailableWithoutAnAudioDriver) {
    tEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    tSoundOutputDevice_WaveOut wave;
    EXPECT_FALSE(wave.Available());
    wave.PlayFrame(Frame(0));
    EXPECT_FALSE(wave.IsOpen());
    EXPECT_EQ(wave.DroppedFrames(), 1u);
}

}  // namespace
}  // namespace velgard
