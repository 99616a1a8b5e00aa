#include "ui/audio/HostSoundDevices.h"

#include "ui/audio/SpeakerDevice.h"
#include "ui/audio/WaveOutDevice.h"

namespace velgard {

tHostSoundDevices::tHostSoundDevices(tPortAccessConfig access, std::string speakerDevice)
    : access_(std::move(access)), speakerDevice_(std::move(speakerDevice)) {}

std::unique_ptr<tSoundOutputDevice> tHostSoundDevices::CreateDevice(std::uint8_t mode) {
    switch (mode) {
        case kSoundOutputNone:
            return std::make_unique<tSoundOutputDevice>();
        case kSoundOutputSpeaker:
            return std::make_unique<tSoundOutputDevice_Speaker>(
                speakerDevice_.empty() ? access_.FindSpeakerDevice() : speakerDevice_);
        case kSoundOutputWave:
            return std::make_unique<tSoundOutputDevice_WaveOut>();
        default:
            return nullptr;
    }
}

}  // namespace velgard
