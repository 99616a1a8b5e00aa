#include "devices/EmuDevice.h"

namespace velgard {

tSoundOutputDevice::tSoundOutputDevice() {
    enable_ = 0;
    gate_ = 0;
    tSoundOutputDevice::Init();
}

void tSoundOutputDevice::SetEnable(std::uint8_t b) { enable_ = b; }

void tSoundOutputDevice::SetGate(std::uint8_t b) { gate_ = b; }

void tSoundOutputDevice::SetMode(std::uint8_t) {}

void tSoundOutputDevice::SetCount(std::uint16_t n) { count_ = n; }

void tSoundOutputDevice::Init() {
    SetEnable(0);
    SetGate(0);
    mode_ = 0;
    count_ = 0;
    available_ = 1;
}

bool tSoundOutputDevice::IsBuffered() const { return true; }

void tSoundOutputDevice::PlayFrame(tFrame) {}

std::unique_ptr<tSoundOutputDevice> tNoSoundDeviceFactory::CreateDevice(std::uint8_t mode) {
    if (mode == kSoundOutputNone) return std::make_unique<tSoundOutputDevice>();
    return nullptr;
}

}  // namespace velgard
