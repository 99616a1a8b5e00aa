#include "ui/audio/SpeakerDevice.h"

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velgard {

void tPcSpeakerPorts::Out43(std::uint8_t value) {
    // Only words for channel 2 reach this model (bits 7-6 = 10).
    if ((value & 0xC0) != 0x80) return;
    if ((value & 0x30) == 0) return;  // a counter latch changes nothing here
    control_ = value;
    highNext_ = false;
    loaded_ = false;
}

void tPcSpeakerPorts::Out42(std::uint8_t value) {
    switch ((control_ >> 4) & 3) {
        case 1:
            count_ = value;
            loaded_ = true;
            break;
        case 2:
            count_ = static_cast<std::uint16_t>(value << 8);
            loaded_ = true;
            break;
        case 3:
            if (!highNext_) {
                count_ = static_cast<std::uint16_t>((count_ & 0xFF00) | value);
                highNext_ = true;
            } else {
                count_ = static_cast<std::uint16_t>((count_ & 0x00FF) | (value << 8));
                highNext_ = false;
                loaded_ = true;
            }
            break;
        default:
            break;
    }
}

int tPcSpeakerPorts::Mode() const {
    const int m = (control_ >> 1) & 7;
    return m >= 6 ? m - 4 : m;
}

bool tPcSpeakerPorts::Sounding() const {
    return loaded_ && (Mode() == 2 || Mode() == 3) && (port61_ & 3) == 3;
}

tSoundOutputDevice_Speaker::tSoundOutputDevice_Speaker(std::string devicePath)
    : path_(std::move(devicePath)) {
    tSoundOutputDevice_Speaker::Init();
}

tSoundOutputDevice_Speaker::~tSoundOutputDevice_Speaker() {
    // Silence the speaker before letting go of it.
    tSoundOutputDevice_Speaker::SetGate(0);
    tSoundOutputDevice_Speaker::SetEnable(0);
    Close();
}

void tSoundOutputDevice_Speaker::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void tSoundOutputDevice_Speaker::Init() {
    tSoundOutputDevice::Init();
    Close();
    available_ = 0;
    // O_APPEND changes nothing for the event device, and lets a plain file
    // standing in for it collect every event written.
    if (!path_.empty()) fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    available_ = 1;
    const std::uint8_t port61 = ports_.In61();
    gate_ = port61 & 1;
    enable_ = (port61 >> 1) & 1;
    SetGate(0);
    SetEnable(0);
    // Whatever the speaker played before, it is silent now.
    SendTone(0);
}

void tSoundOutputDevice_Speaker::SetEnable(std::uint8_t b) {
    enable_ = b;
    if (!available_) return;
    const std::uint8_t v = ports_.In61();
    ports_.Out61(static_cast<std::uint8_t>(b ? (v | 2) : (v & ~2)));
    UpdateTone();
}

void tSoundOutputDevice_Speaker::SetGate(std::uint8_t b) {
    gate_ = b;
    if (!available_) return;
    const std::uint8_t v = ports_.In61();
    ports_.Out61(static_cast<std::uint8_t>(b ? (v | 1) : (v & ~1)));
    UpdateTone();
}

void tSoundOutputDevice_Speaker::SetMode(std::uint8_t controlWord) {
    mode_ = controlWord;
    if (!available_ || (controlWord & 0xC0) == 0xC0) return;
    ports_.Out43(static_cast<std::uint8_t>((controlWord & 0x0F) | 0xB0));
    UpdateTone();
}

void tSoundOutputDevice_Speaker::SetCount(std::uint16_t n) {
    count_ = n;
    if (!available_) return;
    const std::uint16_t half = n > 1 ? static_cast<std::uint16_t>(n / 2) : n;
    ports_.Out42(static_cast<std::uint8_t>(half & 0xFF));
    ports_.Out42(static_cast<std::uint8_t>(half >> 8));
    UpdateTone();
}

std::uint32_t tSoundOutputDevice_Speaker::WantedHz() const {
    // A Korvet count of 0 stops the channel (it is not 65,536).
    if (!ports_.Sounding() || count_ == 0) return 0;
    const std::uint32_t hz = (tPcSpeakerPorts::kKorvetClock + count_ / 2) / count_;
    return hz >= kMinHz && hz <= kMaxHz ? hz : 0;
}

void tSoundOutputDevice_Speaker::UpdateTone() {
    const std::uint32_t hz = WantedHz();
    if (hz != toneHz_) SendTone(hz);
}

void tSoundOutputDevice_Speaker::SendTone(std::uint32_t hz) {
    toneHz_ = hz;
    if (fd_ < 0) return;
    input_event ev;
    std::memset(&ev, 0, sizeof ev);
    ev.type = EV_SND;
    ev.code = SND_TONE;
    ev.value = static_cast<std::int32_t>(hz);
    // A full or vanished device only loses this tone change.
    ssize_t r;
    do {
        r = ::write(fd_, &ev, sizeof ev);
    } while (r < 0 && errno == EINTR);
}

}  // namespace velgard
