#pragma once
// The PC speaker as a sound output device.
//
// On a PC the Korvet's timer channel 0 is reproduced by the PC's own timer
// channel 2 (ports 0x42, 0x43) and the speaker gate and data bits of port
// 0x61: the sound channel forwards each control word, complete count, gate
// and enable change as it happens, and the timer makes the tone by itself.
// tPcSpeakerPorts models exactly those ports; the device writes to them as
// a PC program would (mode word (w AND 0x0F) OR 0xB0 unless it is a
// read-back, the halved count LSB then MSB, port 0x61 bit 0 = gate,
// bit 1 = enable).
//
// Linux gives a user program no such ports; its pcspkr input device plays
// a tone of a given frequency instead. The device therefore turns the
// ports' state into that tone: a square wave at the Korvet channel's own
// pitch, 2,000,000 / count Hz, while gate and enable are both on and the
// PC channel runs in mode 2 or 3 with a loaded count; silence otherwise.
// The pitch is taken from the Korvet count, not from the halved PC count:
// the halved count sounds right only at 1 MHz, and the PC timer runs at
// 1.19 MHz, which put every note about three semitones sharp.
//
// A tone change is one struct input_event (EV_SND, SND_TONE, Hz; 0 Hz =
// silence) written to the event device, and is written only when the tone
// differs from the one playing. The device path is given by the caller, so
// a plain file or a pipe can stand in for the device.
#include <cstdint>
#include <string>

#include "devices/EmuDevice.h"

namespace velgard {

// PC timer channel 2 and the speaker bits of port 0x61, as far as a speaker
// program reaches them.
class tPcSpeakerPorts {
public:
    static constexpr std::uint32_t kKorvetClock = 2000000;  // Korvet channel input, Hz

    void Out43(std::uint8_t value);  // control word for channel 2
    void Out42(std::uint8_t value);  // count byte of channel 2
    void Out61(std::uint8_t value) { port61_ = value; }
    std::uint8_t In61() const { return port61_; }

    std::uint8_t Control() const { return control_; }
    // Count register of channel 2 as written through port 0x42.
    std::uint16_t Count() const { return count_; }
    // A complete count was written since the last control word.
    bool CountLoaded() const { return loaded_; }
    // Counting mode 0-5 (6 and 7 act as 2 and 3).
    int Mode() const;
    // The channel runs as a rate or square wave generator with its gate on
    // and the speaker data bit on: the speaker sounds.
    bool Sounding() const;

private:
    std::uint8_t port61_ = 0;
    std::uint8_t control_ = 0;
    std::uint16_t count_ = 0;
    bool highNext_ = false;
    bool loaded_ = false;
};

class tSoundOutputDevice_Speaker : public tSoundOutputDevice {
public:
    // Highest and lowest tone the kernel's pcspkr driver plays; outside
    // them it is silent.
    static constexpr std::uint32_t kMinHz = 21;
    static constexpr std::uint32_t kMaxHz = 32766;

    // devicePath: the pcspkr event device ("" = none: the device is
    // unavailable).
    explicit tSoundOutputDevice_Speaker(std::string devicePath);
    ~tSoundOutputDevice_Speaker() override;

    void SetEnable(std::uint8_t b) override;
    void SetGate(std::uint8_t b) override;
    void SetMode(std::uint8_t controlWord) override;
    void SetCount(std::uint16_t n) override;
    void Init() override;
    bool IsBuffered() const override { return false; }

    const tPcSpeakerPorts& Ports() const { return ports_; }
    // The tone last sent to the device, Hz (0 = silent).
    std::uint32_t ToneHz() const { return toneHz_; }
    // The tone the ports ask for now.
    std::uint32_t WantedHz() const;

private:
    void Close();
    // Sends the wanted tone when it differs from the one playing.
    void UpdateTone();
    void SendTone(std::uint32_t hz);

    std::string path_;
    int fd_ = -1;
    tPcSpeakerPorts ports_;
    std::uint32_t toneHz_ = 0;
};

}  // namespace velgard
