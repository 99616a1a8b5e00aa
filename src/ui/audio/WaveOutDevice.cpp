#include "ui/audio/WaveOutDevice.h"

#include <SDL.h>

#include <array>

namespace velgard {

namespace {

SDL_AudioSpec WantedFormat() {
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = tSoundOutputDevice::kSampleRate;
    want.format = AUDIO_U8;
    want.channels = 1;
    want.samples = 512;
    want.callback = nullptr;  // fed through SDL's queue
    return want;
}

SDL_AudioDeviceID OpenDevice() {
    const SDL_AudioSpec want = WantedFormat();
    SDL_AudioSpec have;
    // No allowed changes: SDL converts to whatever the hardware takes, so
    // the queue always holds our own bytes.
    return SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
}

}  // namespace

tSoundOutputDevice_WaveOut::tSoundOutputDevice_WaveOut(bool holdPlayback) : hold_(holdPlayback) {
    tSoundOutputDevice_WaveOut::Init();
}

tSoundOutputDevice_WaveOut::~tSoundOutputDevice_WaveOut() {
    Close();
    if (audioStarted_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void tSoundOutputDevice_WaveOut::Init() {
    tSoundOutputDevice::Init();
    Close();
    available_ = 0;
    if (!audioStarted_) audioStarted_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (!audioStarted_) return;
    const SDL_AudioDeviceID probe = OpenDevice();
    if (probe == 0) return;
    SDL_CloseAudioDevice(probe);
    available_ = 1;
}

bool tSoundOutputDevice_WaveOut::Open() {
    if (device_ != 0) return true;
    if (!audioStarted_) return false;
    device_ = OpenDevice();
    if (device_ == 0) return false;
    SDL_PauseAudioDevice(device_, hold_ ? 1 : 0);
    return true;
}

void tSoundOutputDevice_WaveOut::Close() {
    if (device_ == 0) return;
    SDL_ClearQueuedAudio(device_);
    SDL_CloseAudioDevice(device_);
    device_ = 0;
}

int tSoundOutputDevice_WaveOut::QueuedFrames() const {
    if (device_ == 0) return 0;
    const std::uint32_t bytes = SDL_GetQueuedAudioSize(device_);
    return static_cast<int>((bytes + kFrameSamples - 1) / kFrameSamples);
}

void tSoundOutputDevice_WaveOut::HoldPlayback(bool hold) {
    hold_ = hold;
    if (device_ != 0) SDL_PauseAudioDevice(device_, hold ? 1 : 0);
}

void tSoundOutputDevice_WaveOut::PlayFrame(tFrame samples) {
    if (!Open() || QueuedFrames() >= kQueueFrames) {
        ++dropped_;
        return;
    }
    std::array<std::uint8_t, kFrameSamples> bytes;
    for (int i = 0; i < kFrameSamples; ++i) bytes[i] = samples[i] ? 127 : 0;
    // As with any audio queue, a refused write only loses this frame.
    SDL_QueueAudio(device_, bytes.data(), kFrameSamples);
}

}  // namespace velgard
