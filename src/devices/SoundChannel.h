#pragma once
// The Korvet's sound: timer channel 0 with a sound output device.
//
// tTimer_i8254_SoundChannel is a timer channel that the machine installs as
// channel 0. It owns one tSoundOutputDevice and serves two kinds of it:
//
// - a device that follows the chip's register writes (the PC speaker):
//   every new control word, complete count, gate and output enable change
//   is passed on at once;
// - a buffered device (the wave output, or the silent null device): in
//   every 500-cycle slice of a frame the channel records the state of its
//   output (27 bytes), and at the start of the next frame turns the 100
//   records into 441 samples at 22,050 Hz, one frame (20 ms) behind the
//   emulation.
//
// The output is described in samples: a high phase of H samples, a low
// phase of L samples, R samples left in the current one; a negative length
// never ends. The timer channel says what the phases are as shares of its
// period, and the channel turns them into samples whenever they change.
// Rewriting the same count in modes 2 and 3 changes nothing, so a tone
// runs on without a click; the phase also keeps counting while the output
// enable is 0, so the tone resumes in phase.
//
// Using it (the machine):
//   timer.InstallChannel(0, std::make_unique<tTimer_i8254_SoundChannel>());
//   auto& sound = static_cast<tTimer_i8254_SoundChannel&>(*timer.Channel(0));
//   sound.SetDeviceFactory(...);   // the host's devices (front end)
//   sound.SetOutputMode(kSoundOutputWave);
//   sound.SetSoundOn(1) on start and resume, SetSoundOn(0) on pause;
//   timer.Advance(slice, now) once per slice, slice 99 ... 0 in a frame;
//   sound.StartRecording("out.wav") ... sound.StopRecording().
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "devices/EmuDevice.h"
#include "devices/TIMER_I8253.h"
#include "devices/WavRecorder.h"

namespace velgard {

class tTimer_i8254_SoundChannel : public tTimer_i8254_Channel {
public:
    static constexpr int kSlices = 100;
    static constexpr int kFrameSamples = tSoundOutputDevice::kFrameSamples;
    static constexpr int kSampleRate = tSoundOutputDevice::kSampleRate;
    // Slices 99 ... 59 yield 5 samples each, slices 58 ... 0 yield 4.
    static constexpr int kLongSlices = 41;
    static constexpr std::size_t kRecordSize = 27;
    // The 80-byte channel block plus the sound fields.
    static constexpr std::size_t kSoundStateSize = kStateSize + 2 + 3 * 8 + 1 + 4 + kSlices * kRecordSize + 1;

    // The state of the output in one slice.
    struct tSliceRecord {
        std::uint8_t changed = 0;  // new sound parameters start in this slice
        std::uint8_t level = 0;    // output level at which they start
        std::uint8_t enable = 0;   // the channel's output enable in this slice
        std::int64_t high = 0;     // H, L, R as defined above
        std::int64_t low = 0;
        std::int64_t remaining = 0;
    };

    // Starts with the null device (output mode 0). Without a factory only
    // the null device exists; with one, the speaker and the wave device are
    // made once to learn whether they can be used.
    explicit tTimer_i8254_SoundChannel(std::unique_ptr<tSoundDeviceFactory> factory = nullptr);
    ~tTimer_i8254_SoundChannel() override;

    // Channel operations with the sound added.
    void Reset() override;
    bool WriteControl(std::uint8_t control, std::uint64_t now) override;
    void WriteCount(std::uint8_t value, std::uint64_t now) override;
    void Advance(int slice, std::uint64_t now) override;
    void SetGate(std::uint8_t level) override;
    void SetOutputEnable(std::uint8_t level) override;
    bool SaveState(tByteStream& stream) const override;
    bool LoadState(tByteStream& stream) override;

    // Replaces the host's device factory, probes the speaker and the wave
    // device again and selects output mode 0.
    void SetDeviceFactory(std::unique_ptr<tSoundDeviceFactory> factory);
    // 0 none, 1 PC speaker, 2 wave output. A device that cannot be used
    // (and any other value) selects mode 0. The new device is set up from
    // the channel's registers.
    void SetOutputMode(std::uint8_t mode);
    // 0 while the emulation is paused, 1 while it runs.
    void SetSoundOn(std::uint8_t on);

    // Records every rendered frame into a WAV file until StopRecording;
    // false when the file cannot be created. Frames are rendered for the
    // recording whatever the output mode.
    bool StartRecording(const std::string& path);
    // Closes the recording; true when it was written completely.
    bool StopRecording();
    const tWavRecorder* Recorder() const { return recorder_.get(); }

    std::uint8_t OutputMode() const { return outputMode_; }
    bool SpeakerAvailable() const { return speakerAvailable_ != 0; }
    bool WaveAvailable() const { return waveAvailable_ != 0; }
    // The front end stores what the port access check says after it has
    // removed the speaker driver.
    void SetSpeakerAvailable(bool available) { speakerAvailable_ = available ? 1 : 0; }
    std::uint8_t SoundOn() const { return soundOn_; }
    const tSoundOutputDevice& Device() const { return *device_; }
    tSoundOutputDevice& Device() { return *device_; }

    // Views for tests and the debugger.
    const tSliceRecord& Record(int slice) const { return records_[static_cast<std::size_t>(slice)]; }
    std::int64_t HighLength() const { return high_; }
    std::int64_t LowLength() const { return low_; }
    std::int64_t Remaining() const { return remaining_; }
    bool HasData() const { return hasData_ != 0; }
    std::uint32_t FrameCounter() const { return frameCounter_; }
    // The last frame rendered (samples 0/1).
    const std::array<std::uint8_t, kFrameSamples>& LastFrame() const { return frame_; }

private:
    void ProbeDevices();
    // Passes the channel's registers to a freshly chosen device.
    void SetUpDevice();
    void SynchroniseDevice();
    void RenderFrame();
    void RecordSlice(int slice);
    // After a phase has run out: flips the level and starts the next phase.
    void NextPhase(std::uint8_t& level);

    std::unique_ptr<tSoundDeviceFactory> factory_;
    std::unique_ptr<tSoundOutputDevice> device_;
    std::unique_ptr<tWavRecorder> recorder_;
    std::uint8_t speakerAvailable_ = 0;
    std::uint8_t waveAvailable_ = 0;
    std::uint8_t soundOn_ = 1;
    std::uint8_t outputMode_ = kSoundOutputNone;
    std::uint8_t modeChanged_ = 0;
    std::uint8_t countChanged_ = 0;
    std::int64_t high_ = -1;
    std::int64_t low_ = -1;
    std::int64_t remaining_ = -1;
    // The generator's present level: the level that the samples of the
    // current phase have.
    std::uint8_t level_ = 0;
    std::array<tSliceRecord, kSlices> records_{};
    std::uint8_t hasData_ = 0;
    std::uint32_t frameCounter_ = 0;
    std::array<std::uint8_t, kFrameSamples> frame_{};
};

// A timer that can also make a sound channel when a snapshot asks for one
// (kind 1), so that a snapshot whose channel 0 is the sound channel loads
// whatever channel 0 was installed before. A channel made this way starts
// with the null device.
class tTimer_i8254_WithSound : public tTimer_i8254 {
protected:
    std::unique_ptr<tTimer_i8254_Channel> CreateChannel(std::uint8_t kind) override;
};

}  // namespace velgard
