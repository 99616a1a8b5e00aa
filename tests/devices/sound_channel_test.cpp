// Timer channel 0 as the Korvet's sound: phases, frames, devices, snapshot.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "devices/SoundChannel.h"

namespace velgard {
namespace {

constexpr std::uint32_t kCpuClock = 2500000;
constexpr std::uint64_t kSliceCycles = 500;

// Everything a device was told, in order, and every frame it was given.
struct tDeviceLog {
    std::vector<std::string> calls;
    std::vector<std::vector<std::uint8_t>> frames;
};

class tLoggingDevice : public tSoundOutputDevice {
public:
    tLoggingDevice(tDeviceLog& log, bool buffered, bool available)
        : log_(log), buffered_(buffered) {
        available_ = available ? 1 : 0;
    }
    void SetEnable(std::uint8_t b) override {
        tSoundOutputDevice::SetEnable(b);
        log_.calls.push_back("enable " + std::to_string(b));
    }
    void SetGate(std::uint8_t b) override {
        tSoundOutputDevice::SetGate(b);
        log_.calls.push_back("gate " + std::to_string(b));
    }
    void SetMode(std::uint8_t w) override {
        mode_ = w;
        log_.calls.push_back("mode " + std::to_string(w));
    }
    void SetCount(std::uint16_t n) override {
        tSoundOutputDevice::SetCount(n);
        log_.calls.push_back("count " + std::to_string(n));
    }
    void Init() override {
        log_.calls.push_back("init");
    }
    bool IsBuffered() const override { return buffered_; }
    void PlayFrame(tFrame samples) override { log_.frames.emplace_back(samples.begin(), samples.end()); }

private:
    tDeviceLog& log_;
    bool buffered_;
};

// Speaker (mode 1) and wave (mode 2) devices that log into shared logs.
class tTestFactory : public tSoundDeviceFactory {
public:
    bool speakerAvailable = true;
    bool waveAvailable = true;
    tDeviceLog speaker, wave;
    int created = 0;
    std::unique_ptr<tSoundOutputDevice> CreateDevice(std::uint8_t mode) override {
        ++created;
        if (mode == kSoundOutputSpeaker) return std::make_unique<tLoggingDevice>(speaker, false, speakerAvailable);
        if (mode == kSoundOutputWave) return std::make_unique<tLoggingDevice>(wave, true, waveAvailable);
        return nullptr;
    }
};

// The channel driven as the machine drives it: 2.5 MHz processor, 500-cycle
// slices numbered 99 down to 0.
struct tRig {
    tTimer_i8254_SoundChannel ch;
    std::uint64_t now = 0;

    explicit tRig(std::unique_ptr<tSoundDeviceFactory> factory = nullptr) : ch(std::move(factory)) {
        ch.Reset();
        ch.SetCpuClock(kCpuClock);
        ch.SetGate(1);
        ch.SetOutputEnable(1);
    }
    void Program(std::uint8_t control, std::uint16_t count) {
        ch.WriteControl(control, now);
        ch.WriteCount(static_cast<std::uint8_t>(count & 0xFF), now);
        ch.WriteCount(static_cast<std::uint8_t>(count >> 8), now);
    }
    void Slice(int s) {
        now += kSliceCycles;
        ch.Advance(s, now);
    }
    void Frame() {
        for (int s = 99; s >= 0; --s) Slice(s);
    }
    // Runs `frames` frames and returns the samples rendered by them (each
    // frame's samples come out at the start of the next one).
    std::vector<std::uint8_t> Render(int frames) {
        std::vector<std::uint8_t> out;
        for (int f = 0; f < frames; ++f) {
            Slice(99);
            out.insert(out.end(), ch.LastFrame().begin(), ch.LastFrame().end());
            for (int s = 98; s >= 0; --s) Slice(s);
        }
        return out;
    }
};

// High for `high` samples, low for `low`, starting high.
std::vector<std::uint8_t> Square(std::size_t n, int high, int low) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = (i % static_cast<std::size_t>(high + low)) < static_cast<std::size_t>(high);
    return v;
}

TEST(SoundChannel, SquareWaveLengthsAndPhaseAcrossFrames) {
    // N = 4535 at 2 MHz: t * 22,050 = 49.99... -> v = 50, H = L = 25 (441 Hz).
    tRig rig;
    rig.Program(0x36, 4535);
    rig.Frame();  // recorded, rendered at the start of the next frame
    const auto& first = rig.ch.Record(99);
    EXPECT_EQ(first.changed, 1);
    EXPECT_EQ(first.level, 1);
    EXPECT_EQ(first.high, 25);
    EXPECT_EQ(first.low, 25);
    EXPECT_EQ(first.remaining, 25);
    for (int s = 0; s < 99; ++s) EXPECT_EQ(rig.ch.Record(s).changed, 0) << s;

    // Four frames with nothing written: the tone runs on from record 99 of
    // each frame without a break in its phase.
    std::vector<std::uint8_t> samples = rig.Render(4);
    EXPECT_EQ(samples, Square(4 * 441, 25, 25));
    for (int s = 0; s < 100; ++s) EXPECT_EQ(rig.ch.Record(s).changed, 0) << s;

    // Rewriting the same count keeps the phase (no click).
    rig.ch.WriteCount(4535 & 0xFF, rig.now);
    rig.ch.WriteCount(4535 >> 8, rig.now);
    std::vector<std::uint8_t> more = rig.Render(2);
    samples.insert(samples.end(), more.begin(), more.end());
    EXPECT_EQ(samples, Square(6 * 441, 25, 25));

    // v = 5 (N = 453: t * 22,050 = 4.99): H = 3, L = 2.
    rig.Program(0x36, 453);
    rig.Render(1);
    std::vector<std::uint8_t> five = rig.Render(1);
    EXPECT_EQ(rig.ch.HighLength(), 3);
    EXPECT_EQ(rig.ch.LowLength(), 2);
    // The new tone starts high at the first sample of its frame.
    EXPECT_EQ(five, Square(441, 3, 2));
}

TEST(SoundChannel, OutputEnableAndSoundOnSilenceWithoutLosingPhase) {
    tRig rig;
    rig.Program(0x36, 4535);
    rig.Frame();
    // Frame A: enable drops for slices 60..30 only.
    rig.Slice(99);
    std::vector<std::uint8_t> a(rig.ch.LastFrame().begin(), rig.ch.LastFrame().end());
    for (int s = 98; s >= 0; --s) {
        if (s == 60) rig.ch.SetOutputEnable(0);
        if (s == 30) rig.ch.SetOutputEnable(1);
        rig.Slice(s);
    }
    std::vector<std::uint8_t> b = rig.Render(2);
    ASSERT_EQ(a, Square(441, 25, 25));

    // Slices 60..31 had the enable off (recorded at their ends).
    const std::vector<std::uint8_t> ideal = Square(3 * 441, 25, 25);
    auto offset = [](int s) { return s >= 59 ? (99 - s) * 5 : 41 * 5 + (58 - s) * 4; };
    for (std::size_t i = 0; i < b.size(); ++i) {
        const std::size_t pos = i;
        bool silent = false;
        if (pos < 441) {
            for (int s = 60; s > 30; --s) {
                const int from = offset(s);
                const int len = s >= 59 ? 5 : 4;
                if (static_cast<int>(pos) >= from && static_cast<int>(pos) < from + len) silent = true;
            }
        }
        EXPECT_EQ(b[i], silent ? 0 : ideal[441 + i]) << "sample " << i;
    }

    // Sound off: every sample 0, the device's enable 0; on again restores
    // the enable and the tone in phase.
    rig.ch.SetSoundOn(0);
    EXPECT_EQ(rig.ch.Device().Enable(), 0);
    std::vector<std::uint8_t> off = rig.Render(1);
    EXPECT_EQ(off, std::vector<std::uint8_t>(441, 0));
    rig.ch.SetSoundOn(1);
    EXPECT_EQ(rig.ch.Device().Enable(), 1);
    rig.Slice(99);
    std::vector<std::uint8_t> back(rig.ch.LastFrame().begin(), rig.ch.LastFrame().end());
    // Rendered while sound was on again: the fourth frame after the start.
    const std::vector<std::uint8_t> ideal5 = Square(5 * 441, 25, 25);
    EXPECT_EQ(back, std::vector<std::uint8_t>(ideal5.begin() + 4 * 441, ideal5.end()));
}

TEST(SoundChannel, PhasesOfTheOtherModes) {
    // Count 0 in mode 3 stops the channel: H = L = -1, constant high.
    {
        tRig rig;
        rig.Program(0x36, 0);
        rig.Frame();
        EXPECT_EQ(rig.ch.Record(99).high, -1);
        EXPECT_EQ(rig.ch.Record(99).low, -1);
        EXPECT_EQ(rig.ch.Record(99).level, 1);
        EXPECT_EQ(rig.Render(2), std::vector<std::uint8_t>(882, 1));
    }
    // Mode 2: first phase rounded (H 50, L 0), later phases rounded up
    // (H 50, L 1): 50 high, 1 low, repeating.
    {
        tRig rig;
        rig.Program(0x34, 4535);
        rig.Frame();
        EXPECT_EQ(rig.ch.Record(99).remaining, 50);
        EXPECT_EQ(rig.ch.Record(99).high, 50);
        EXPECT_EQ(rig.ch.Record(99).low, 1);
        std::vector<std::uint8_t> s = rig.Render(2);
        std::vector<std::uint8_t> want(882);
        for (std::size_t i = 0; i < want.size(); ++i) want[i] = i < 50 ? 1 : ((i - 50) % 51 == 0 ? 0 : 1);
        EXPECT_EQ(s, want);
    }
    // Mode 0: low for the period (50 samples), then high for ever.
    {
        tRig rig;
        rig.Program(0x30, 4535);
        rig.Frame();
        EXPECT_EQ(rig.ch.Record(99).level, 0);
        EXPECT_EQ(rig.ch.Record(99).remaining, 50);
        EXPECT_LT(rig.ch.Record(99).high, 0);
        std::vector<std::uint8_t> s = rig.Render(2);
        for (std::size_t i = 0; i < s.size(); ++i) ASSERT_EQ(s[i], i < 50 ? 0 : 1) << i;
    }
    // Mode 1: nothing until the gate triggers; then low for the period, high after.
    {
        tRig rig;
        rig.Program(0x32, 4535);
        rig.Frame();
        EXPECT_EQ(rig.Render(1), std::vector<std::uint8_t>(441, 1));
        rig.ch.SetGate(0);
        rig.ch.SetGate(1);
        rig.Slice(99);
        for (int s = 98; s >= 0; --s) rig.Slice(s);
        EXPECT_EQ(rig.ch.Record(99).changed, 1);
        EXPECT_EQ(rig.ch.Record(99).level, 0);
        std::vector<std::uint8_t> s = rig.Render(1);
        for (std::size_t i = 0; i < s.size(); ++i) ASSERT_EQ(s[i], i < 50 ? 0 : 1) << i;
    }
    // Modes 4 and 5: high throughout (the strobe is shorter than a sample).
    for (std::uint8_t control : {std::uint8_t{0x38}, std::uint8_t{0x3A}}) {
        tRig rig;
        rig.Program(control, 4535);
        if (control == 0x3A) {
            rig.ch.SetGate(0);
            rig.ch.SetGate(1);
        }
        rig.Frame();
        EXPECT_EQ(rig.ch.Record(99).changed, 1) << int(control);
        EXPECT_EQ(rig.Render(3), std::vector<std::uint8_t>(3 * 441, 1)) << int(control);
    }
    // Waiting for a count after a mode 3 control word: constant high.
    {
        tRig rig;
        rig.ch.WriteControl(0x36, rig.now);
        rig.Frame();
        EXPECT_EQ(rig.ch.Record(99).high, -1);
        EXPECT_EQ(rig.Render(1), std::vector<std::uint8_t>(441, 1));
    }
}

TEST(SoundChannel, DeviceSelectionAndForwarding) {
    auto owned = std::make_unique<tTestFactory>();
    tTestFactory& f = *owned;
    f.speakerAvailable = false;
    tRig rig(std::move(owned));
    EXPECT_FALSE(rig.ch.SpeakerAvailable());
    EXPECT_TRUE(rig.ch.WaveAvailable());
    EXPECT_EQ(rig.ch.OutputMode(), kSoundOutputNone);

    // An unusable speaker falls back to mode 0.
    rig.ch.SetOutputMode(kSoundOutputSpeaker);
    EXPECT_EQ(rig.ch.OutputMode(), kSoundOutputNone);
    EXPECT_FALSE(rig.ch.SpeakerAvailable());

    // A usable one is set up from the registers: mode, count (not while
    // waiting for one), enable, gate inverted then gate, sound on.
    f.speakerAvailable = true;
    rig.ch.WriteControl(0x36, rig.now);
    f.speaker.calls.clear();
    rig.ch.SetOutputMode(kSoundOutputSpeaker);
    EXPECT_EQ(rig.ch.OutputMode(), kSoundOutputSpeaker);
    EXPECT_TRUE(rig.ch.SpeakerAvailable());
    EXPECT_EQ(f.speaker.calls,
              (std::vector<std::string>{"mode 54", "enable 1", "gate 0", "gate 1", "enable 1"}));

    // Register writes reach the speaker as they happen; a two-byte count
    // only when complete.
    f.speaker.calls.clear();
    rig.ch.WriteCount(0xE8, rig.now);
    EXPECT_TRUE(f.speaker.calls.empty());
    rig.ch.WriteCount(0x03, rig.now);
    rig.ch.SetGate(0);
    rig.ch.SetOutputEnable(0);
    rig.ch.WriteControl(0x34, rig.now);
    rig.ch.SetSoundOn(0);
    EXPECT_EQ(f.speaker.calls,
              (std::vector<std::string>{"count 1000", "gate 0", "enable 0", "mode 52", "enable 0"}));
    // No frames for a device that follows the registers.
    rig.Frame();
    rig.Frame();
    EXPECT_TRUE(f.speaker.frames.empty());
    EXPECT_FALSE(rig.ch.HasData());

    // The wave device: set up, then synchronised once per slice, the inputs
    // that go off first and those that come on last.
    rig.ch.SetSoundOn(1);
    rig.ch.SetGate(1);
    rig.ch.SetOutputEnable(1);
    rig.ch.SetOutputMode(kSoundOutputWave);
    EXPECT_EQ(rig.ch.OutputMode(), kSoundOutputWave);
    f.wave.calls.clear();
    rig.ch.SetOutputEnable(0);
    rig.ch.SetGate(0);
    rig.ch.WriteControl(0x36, rig.now);
    EXPECT_TRUE(f.wave.calls.empty());  // nothing at once for a buffered device
    rig.ch.WriteCount(0x10, rig.now);
    rig.ch.WriteCount(0x27, rig.now);
    rig.ch.SetGate(1);
    rig.ch.SetOutputEnable(1);
    rig.Slice(99);
    // Gate and enable went off and on again between two slices: they match.
    EXPECT_EQ(f.wave.calls, (std::vector<std::string>{"mode 54", "count 10000"}));
    f.wave.calls.clear();
    rig.ch.SetOutputEnable(0);
    rig.ch.WriteControl(0x36, rig.now);
    rig.Slice(98);
    EXPECT_EQ(f.wave.calls, (std::vector<std::string>{"enable 0", "mode 54"}));
    for (int s = 97; s >= 0; --s) rig.Slice(s);
    rig.Frame();
    rig.Frame();
    ASSERT_EQ(f.wave.frames.size(), 2u);
    // Slice 99 played the tone's first 5 samples (all in its high half);
    // from slice 98 on the output enable was 0.
    std::vector<std::uint8_t> want(441, 0);
    std::fill(want.begin(), want.begin() + 5, 1);
    EXPECT_EQ(f.wave.frames[0], want);
    EXPECT_EQ(f.wave.frames[1], std::vector<std::uint8_t>(441, 0));

    // An unusable wave device also falls back to mode 0.
    f.waveAvailable = false;
    rig.ch.SetOutputMode(kSoundOutputWave);
    EXPECT_EQ(rig.ch.OutputMode(), kSoundOutputNone);
    EXPECT_FALSE(rig.ch.WaveAvailable());
    // Reset initialises the device and turns the sound on.
    rig.ch.SetSoundOn(0);
    rig.ch.Reset();
    EXPECT_EQ(rig.ch.SoundOn(), 1);
    EXPECT_FALSE(rig.ch.HasData());
    EXPECT_EQ(rig.ch.FrameCounter(), 0u);
}

TEST(SoundChannel, NoFactoryMeansOnlyTheNullDevice) {
    tRig rig;
    EXPECT_FALSE(rig.ch.SpeakerAvailable());
    EXPECT_FALSE(rig.ch.WaveAvailable());
    rig.ch.SetOutputMode(kSoundOutputWave);
    EXPECT_EQ(rig.ch.OutputMode(), kSoundOutputNone);
    rig.ch.SetOutputMode(7);
    EXPECT_EQ(rig.ch.OutputMode(), kSoundOutputNone);
    EXPECT_TRUE(rig.ch.Device().IsBuffered());
    // Frames are still rendered (and dropped by the null device); the frame
    // counter runs 1..50 and wraps to 1.
    rig.Program(0x36, 4535);
    for (int i = 0; i < 51; ++i) rig.Frame();
    EXPECT_EQ(rig.ch.FrameCounter(), 50u);
    rig.Frame();
    EXPECT_EQ(rig.ch.FrameCounter(), 1u);
}

TEST(SoundChannel, SnapshotLayoutAndRoundTrip) {
    tRig rig;
    rig.Program(0x36, 4535);
    rig.Frame();
    rig.Frame();
    for (int s = 99; s >= 40; --s) rig.Slice(s);  // mid-frame
    rig.ch.SetSoundOn(0);

    tByteStream out;
    ASSERT_TRUE(rig.ch.SaveState(out));
    ASSERT_EQ(out.Size(), 2812u);
    const auto& d = out.Data();
    auto u64 = [&](std::size_t at) {
        std::uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | d[at + static_cast<std::size_t>(i)];
        return static_cast<std::int64_t>(v);
    };
    EXPECT_EQ(u64(82), rig.ch.HighLength());
    EXPECT_EQ(u64(90), rig.ch.LowLength());
    EXPECT_EQ(u64(98), rig.ch.Remaining());
    EXPECT_EQ(d[106], 1);  // has data
    EXPECT_EQ(d[107] | d[108] << 8 | d[109] << 16 | d[110] << 24, static_cast<int>(rig.ch.FrameCounter()));
    for (int s : {0, 57, 99}) {
        const std::size_t at = 111 + static_cast<std::size_t>(s) * 27;
        const auto& r = rig.ch.Record(s);
        EXPECT_EQ(d[at], r.changed);
        EXPECT_EQ(d[at + 1], r.level);
        EXPECT_EQ(d[at + 2], r.enable);
        EXPECT_EQ(u64(at + 3), r.high);
        EXPECT_EQ(u64(at + 11), r.low);
        EXPECT_EQ(u64(at + 19), r.remaining);
    }
    EXPECT_EQ(d[2811], 0);  // sound on

    // A restored channel goes on exactly as the original.
    tRig copy;
    tByteStream in(out.Data());
    ASSERT_TRUE(copy.ch.LoadState(in));
    EXPECT_EQ(copy.ch.SoundOn(), 0);
    EXPECT_EQ(copy.ch.Kind(), tTimer_i8254_Channel::kKindSound);
    copy.now = rig.now;
    rig.ch.SetSoundOn(1);
    copy.ch.SetSoundOn(1);
    for (int s = 39; s >= 0; --s) {
        rig.Slice(s);
        copy.Slice(s);
    }
    EXPECT_EQ(rig.Render(3), copy.Render(3));

    // A block cut short is refused.
    std::vector<std::uint8_t> cut(out.Data().begin(), out.Data().end() - 1);
    tByteStream shortStream(cut);
    tRig other;
    EXPECT_FALSE(other.ch.LoadState(shortStream));

    // Inside the timer: sound channel 0 and two plain channels, 2,975 bytes.
    tTimer_i8254 timer;
    timer.InstallChannel(0, std::make_unique<tTimer_i8254_SoundChannel>());
    tByteStream block;
    ASSERT_TRUE(timer.SaveState(block));
    EXPECT_EQ(block.Size(), 2975u);
    EXPECT_EQ(block.Data()[0], tTimer_i8254_Channel::kKindSound);
    tByteStream back(block.Data());
    EXPECT_TRUE(timer.LoadState(back));
    EXPECT_EQ(timer.Channel(0)->Kind(), tTimer_i8254_Channel::kKindSound);
}

TEST(SoundChannel, CorruptSnapshotLengthsCannotHangTheRenderer) {
    tRig rig;
    rig.Program(0x36, 4535);
    rig.Frame();
    tByteStream out;
    ASSERT_TRUE(rig.ch.SaveState(out));
    // Record 99: H = L = R = 0, which no channel produces.
    const std::size_t at = 111 + 99 * 27;
    for (std::size_t i = 3; i < 27; ++i) out.Data()[at + i] = 0;
    tRig copy;
    tByteStream in(out.Data());
    ASSERT_TRUE(copy.ch.LoadState(in));
    // The level of record 99 stays for good.
    EXPECT_EQ(copy.Render(1), std::vector<std::uint8_t>(441, copy.ch.Record(99).level));
}

}  // namespace
}  // namespace velgard
