#pragma once
// The wave output: plays the sound channel's frames (441 samples, 20 ms)
// as unsigned 8-bit mono PCM at 22,050 Hz through SDL's audio.
//
// The host device is opened lazily on the first frame (a failed open drops
// the frame; the next one tries again) and stays open until Init or
// destruction. A sample 1 is played as 127, a sample 0 as 0. At most five
// frames (100 ms) wait in SDL's queue; a frame arriving while five are
// still queued, even partly played, is dropped, so the sound never lags the
// emulation by more than that.
//
// The device is available when SDL's audio can be started and a device
// with this format opened (SDL converts where the hardware's own format
// differs). SDL_AUDIODRIVER chooses the driver as usual; the "dummy" and
// "disk" drivers let the device run without sound hardware.
#include <cstdint>

#include "devices/EmuDevice.h"

namespace velgard {

class tSoundOutputDevice_WaveOut : public tSoundOutputDevice {
public:
    static constexpr int kQueueFrames = 5;

    // holdPlayback keeps the opened device paused, so that queued frames
    // stay queued (a driver that has played nothing yet); for tests.
    explicit tSoundOutputDevice_WaveOut(bool holdPlayback = false);
    ~tSoundOutputDevice_WaveOut() override;

    void Init() override;
    bool IsBuffered() const override { return true; }
    void PlayFrame(tFrame samples) override;

    bool IsOpen() const { return device_ != 0; }
    // Frames waiting in the queue, a partly played one included.
    int QueuedFrames() const;
    // Frames dropped because the queue was full or the device did not open.
    std::uint64_t DroppedFrames() const { return dropped_; }
    // Lets held playback go on (or holds it again).
    void HoldPlayback(bool hold);

private:
    bool Open();
    void Close();

    bool hold_;
    bool audioStarted_ = false;  // this object holds a reference on SDL's audio
    std::uint32_t device_ = 0;   // SDL_AudioDeviceID; 0 = closed
    std::uint64_t dropped_ = 0;
};

}  // namespace velgard
