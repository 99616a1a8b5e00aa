// The PC speaker device against a plain file standing in for the kernel's
// pcspkr event device.
#include <gtest/gtest.h>

#include <linux/input.h>

#include <cstring>
#include <memory>
#include <vector>

#include "devices/SoundChannel.h"
#include "support/TestSupport.h"
#include "ui/audio/HostSoundDevices.h"
#include "ui/audio/SpeakerDevice.h"

namespace velgard {
namespace {

// The tones (Hz) written to the fake device so far; every record must be
// an EV_SND / SND_TONE event.
std::vector<int> Tones(const std::filesystem::path& path) {
    const auto bytes = test::ReadBinary(path);
    EXPECT_EQ(bytes.size() % sizeof(input_event), 0u);
    std::vector<int> tones;
    for (std::size_t at = 0; at + sizeof(input_event) <= bytes.size(); at += sizeof(input_event)) {
        input_event ev;
        std::memcpy(&ev, bytes.data() + at, sizeof ev);
        EXPECT_EQ(ev.type, EV_SND);
        EXPECT_EQ(ev.code, SND_TONE);
        tones.push_back(ev.value);
    }
    return tones;
}

TEST(SpeakerDevice, PortsTakeTheWritesAsAPcTimerWould) {
    test::TempDir dir;
    const auto node = dir / "event0";
    test::WriteBinary(node, {});
    tSoundOutputDevice_Speaker spk(node.string());
    ASSERT_TRUE(spk.Available());
    EXPECT_FALSE(spk.IsBuffered());
    EXPECT_EQ(Tones(node), (std::vector<int>{0}));  // silenced on Init

    // Mode word: (w AND 0x0F) OR 0xB0; a read-back word writes nothing.
    spk.SetMode(0x36);
    EXPECT_EQ(spk.Ports().Control(), 0xB6);
    spk.SetMode(0xC2);
    EXPECT_EQ(spk.Ports().Control(), 0xB6);
    EXPECT_EQ(spk.Mode(), 0xC2);
    // The count is halved for the PC's channel, except 0 and 1.
    spk.SetCount(1000);
    EXPECT_EQ(spk.Ports().Count(), 500);
    EXPECT_TRUE(spk.Ports().CountLoaded());
    spk.SetCount(1);
    EXPECT_EQ(spk.Ports().Count(), 1);
    spk.SetMode(0x37);  // BCD bit passes through
    EXPECT_EQ(spk.Ports().Control(), 0xB7);
    EXPECT_FALSE(spk.Ports().CountLoaded());  // a new mode waits for its count
    // Gate and enable are bits 0 and 1 of port 0x61.
    spk.SetGate(1);
    EXPECT_EQ(spk.Ports().In61(), 1);
    spk.SetEnable(1);
    EXPECT_EQ(spk.Ports().In61(), 3);
    spk.SetGate(0);
    EXPECT_EQ(spk.Ports().In61(), 2);
    EXPECT_EQ(Tones(node), (std::vector<int>{0}));  // never a sounding state
}

TEST(SpeakerDevice, TonesFollowGateEnableModeAndCount) {
    test::TempDir dir;
    const auto node = dir / "event0";
    test::WriteBinary(node, {});
    {
        tSoundOutputDevice_Speaker spk(node.string());
        spk.SetMode(0x36);
        spk.SetCount(4535);  // 2,000,000 / 4535 = 441 Hz, the Korvet's pitch
        spk.SetGate(1);
        EXPECT_EQ(spk.ToneHz(), 0u);  // enable still off
        spk.SetEnable(1);
        EXPECT_EQ(spk.ToneHz(), 441u);
        spk.SetCount(4535);  // the same tone again: nothing new written
        spk.SetEnable(0);
        spk.SetEnable(1);
        spk.SetCount(1000);  // 2 kHz
        spk.SetMode(0x34);   // mode 2: silent until the count is written
        spk.SetCount(2000);  // 1 kHz pulses
        spk.SetMode(0x30);   // mode 0 makes no tone
        spk.SetCount(2000);
        spk.SetMode(0x36);
        spk.SetCount(0);  // a Korvet count of 0 stops the channel
        spk.SetCount(50);  // 40 kHz: beyond the speaker
        spk.SetCount(0x9000);  // 54 Hz
    }  // destruction silences
    EXPECT_EQ(Tones(node), (std::vector<int>{0, 441, 0, 441, 2000, 0, 1000, 0, 54, 0}));

    // No device node: unavailable, nothing written anywhere.
    tSoundOutputDevice_Speaker none((dir / "missing").string());
    EXPECT_FALSE(none.Available());
    none.SetMode(0x36);
    none.SetCount(4535);
    none.SetGate(1);
    none.SetEnable(1);
    EXPECT_EQ(none.ToneHz(), 0u);
    EXPECT_EQ(none.Ports().Control(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    tSoundOutputDevice_Speaker empty("");
    EXPECT_FALSE(empty.Available());
}

TEST(SpeakerDevice, SoundChannelPlaysTheProgrammedToneOnTheSpeaker) {
    test::TempDir dir;
    // A fake sysfs with a keyboard and the speaker, and its event node.
    std::filesystem::create_directories(dir / "sys" / "event0" / "device");
    std::filesystem::create_directories(dir / "sys" / "event4" / "device");
    std::filesystem::create_directories(dir / "dev");
    auto text = [](const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
    test::WriteBinary(dir / "sys" / "event0" / "device" / "name", text("AT Translated Set 2 keyboard\n"));
    test::WriteBinary(dir / "sys" / "event4" / "device" / "name", text("PC Speaker\n"));
    test::WriteBinary(dir / "dev" / "event4", {});
    tPortAccessConfig cfg;
    cfg.sysInputFolder = (dir / "sys").string();
    cfg.deviceFolder = (dir / "dev").string();
    cfg.rulesFolder = (dir / "rules").string();

    // No wave output here (restored however the test ends).
    struct tNoAudio {
        tNoAudio() { ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1); }
        ~tNoAudio() { ::unsetenv("SDL_AUDIODRIVER"); }
    } noAudio;
    tTimer_i8254 timer;
    timer.InstallChannel(0, std::make_unique<tTimer_i8254_SoundChannel>(std::make_unique<tHostSoundDevices>(cfg)));
    auto& sound = static_cast<tTimer_i8254_SoundChannel&>(*timer.Channel(0));
    EXPECT_TRUE(sound.SpeakerAvailable());
    EXPECT_FALSE(sound.WaveAvailable());
    timer.SetCpuClock(2500000);
    sound.SetGate(1);
    sound.SetOutputEnable(0);  // as the machine starts a run
    sound.SetOutputMode(kSoundOutputSpeaker);
    ASSERT_EQ(sound.OutputMode(), kSoundOutputSpeaker);

    std::uint64_t now = 1000;
    timer.WriteControl(0x36, now);         // channel 0, LSB+MSB, mode 3
    timer.WriteCount(0, 0xD0, now);        // 2000 = 1 kHz
    timer.WriteCount(0, 0x07, now);
    sound.SetOutputEnable(1);              // port 0x32 bit 3
    for (int s = 99; s >= 0; --s) timer.Advance(s, now += 500);
    sound.SetSoundOn(0);                   // pause
    sound.SetSoundOn(1);                   // resume
    timer.WriteCount(0, 0xE8, now);        // 1000 = 2 kHz
    timer.WriteCount(0, 0x03, now);
    sound.SetGate(0);
    sound.SetOutputMode(kSoundOutputNone);  // the speaker is let go silent
    // The probe at creation and the chosen device each start silent.
    EXPECT_EQ(Tones(dir / "dev" / "event4"), (std::vector<int>{0, 0, 1000, 0, 1000, 2000, 0}));
}

}  // namespace
}  // namespace velgard
