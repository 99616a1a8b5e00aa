#pragma once
// Sound output devices: what makes the Korvet's timer channel 0 audible on
// the host.
//
// tSoundOutputDevice is the base of all devices and at the same time the
// null device: it remembers what it was told and stays silent. A device is
// either buffered (it receives one frame of 441 samples at 22,050 Hz every
// 20 ms of emulated time from the sound channel) or it follows the chip's
// register writes as they happen (SetMode, SetCount, SetGate, SetEnable) and
// makes its tone by itself, as the PC speaker does.
//
// The core holds no audio library. The devices that reach the host's sound
// (SDL audio, the PC speaker) live in src/ui/audio and are handed to the
// sound channel through a tSoundDeviceFactory.
#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace velgard {

class tSoundOutputDevice {
public:
    static constexpr int kSampleRate = 22050;   // samples per second
    static constexpr int kFrameSamples = 441;   // one frame of 20 ms
    using tFrame = std::span<const std::uint8_t, kFrameSamples>;

    // enable = gate = 0, then the base Init. A derived class runs its own
    // Init from its constructor (a virtual call from here reaches only the
    // base).
    tSoundOutputDevice();
    virtual ~tSoundOutputDevice() = default;

    tSoundOutputDevice(const tSoundOutputDevice&) = delete;
    tSoundOutputDevice& operator=(const tSoundOutputDevice&) = delete;

    // The speaker data input (the channel's output enable) and the gate.
    virtual void SetEnable(std::uint8_t b);
    virtual void SetGate(std::uint8_t b);
    // A timer control word as the Korvet program wrote it.
    virtual void SetMode(std::uint8_t controlWord);
    // A complete count as loaded into the count register.
    virtual void SetCount(std::uint16_t n);
    // Silences the device and decides whether it can be used.
    virtual void Init();
    // True: wants rendered frames through PlayFrame. False: follows the
    // register writes.
    virtual bool IsBuffered() const;
    // One frame of samples, each 0 or 1.
    virtual void PlayFrame(tFrame samples);

    std::uint8_t Enable() const { return enable_; }
    std::uint8_t Gate() const { return gate_; }
    std::uint8_t Mode() const { return mode_; }
    std::uint16_t Count() const { return count_; }
    bool Available() const { return available_ != 0; }

protected:
    std::uint8_t enable_ = 0;
    std::uint8_t gate_ = 0;
    std::uint8_t mode_ = 0;
    std::uint16_t count_ = 0;
    std::uint8_t available_ = 0;
};

// Output modes of the sound channel.
enum : std::uint8_t {
    kSoundOutputNone = 0,
    kSoundOutputSpeaker = 1,
    kSoundOutputWave = 2,
};

// Makes the host's devices for output modes 1 (PC speaker) and 2 (wave
// output). The sound channel asks it at creation (to learn what is
// available) and whenever an output mode is chosen.
class tSoundDeviceFactory {
public:
    virtual ~tSoundDeviceFactory() = default;
    // A new device for the mode, or nullptr when this host has no such
    // device. The caller checks Available() itself.
    virtual std::unique_ptr<tSoundOutputDevice> CreateDevice(std::uint8_t mode) = 0;
};

// The factory of a host without sound: no speaker, no wave output.
class tNoSoundDeviceFactory : public tSoundDeviceFactory {
public:
    std::unique_ptr<tSoundOutputDevice> CreateDevice(std::uint8_t mode) override;
};

}  // namespace velgard
