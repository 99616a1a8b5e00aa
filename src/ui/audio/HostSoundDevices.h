#pragma once
// The factory that gives the sound channel this host's devices: the PC
// speaker through the kernel's pcspkr event device (output mode 1) and the
// wave output through SDL's audio (output mode 2).
//
//   auto& sound = static_cast<tTimer_i8254_SoundChannel&>(*timer.Channel(0));
//   sound.SetDeviceFactory(std::make_unique<tHostSoundDevices>());
#include <memory>
#include <string>

#include "devices/EmuDevice.h"
#include "ui/audio/PortIO.h"

namespace velgard {

class tHostSoundDevices : public tSoundDeviceFactory {
public:
    // The speaker's device node is looked up through `access` each time a
    // speaker device is made; speakerDevice, when not empty, is used
    // instead.
    explicit tHostSoundDevices(tPortAccessConfig access = {}, std::string speakerDevice = {});

    std::unique_ptr<tSoundOutputDevice> CreateDevice(std::uint8_t mode) override;

    tPortAccess& PortAccess() { return access_; }

private:
    tPortAccess access_;
    std::string speakerDevice_;
};

}  // namespace velgard
