#include "devices/SoundChannel.h"

#include <cmath>

namespace velgard {

namespace {

// Samples of a phase lasting `seconds`: rounded to nearest (halves to
// even) or up. A negative share gives a negative length: a phase that never
// ends. Lengths beyond any frame are capped well inside 64 bits.
constexpr double kLongest = 4.0e18;

std::int64_t ToSamples(double x) {
    if (!(x == x)) return -1;  // NaN: treat as endless
    if (x > kLongest) return static_cast<std::int64_t>(kLongest);
    if (x < -kLongest) return -static_cast<std::int64_t>(kLongest);
    return static_cast<std::int64_t>(x);
}

std::int64_t RoundSamples(double x) { return ToSamples(std::nearbyint(x)); }
std::int64_t CeilSamples(double x) { return ToSamples(std::ceil(x)); }

}  // namespace

tTimer_i8254_SoundChannel::tTimer_i8254_SoundChannel(std::unique_ptr<tSoundDeviceFactory> factory)
    : factory_(std::move(factory)), device_(std::make_unique<tSoundOutputDevice>()) {
    kind_ = kKindSound;
    keepPhase_ = 1;
    ProbeDevices();
}

tTimer_i8254_SoundChannel::~tTimer_i8254_SoundChannel() = default;

void tTimer_i8254_SoundChannel::ProbeDevices() {
    speakerAvailable_ = 0;
    waveAvailable_ = 0;
    if (!factory_) return;
    if (auto speaker = factory_->CreateDevice(kSoundOutputSpeaker))
        speakerAvailable_ = speaker->Available() ? 1 : 0;
    if (auto wave = factory_->CreateDevice(kSoundOutputWave)) waveAvailable_ = wave->Available() ? 1 : 0;
}

void tTimer_i8254_SoundChannel::SetDeviceFactory(std::unique_ptr<tSoundDeviceFactory> factory) {
    factory_ = std::move(factory);
    device_ = std::make_unique<tSoundOutputDevice>();
    ProbeDevices();
    SetOutputMode(kSoundOutputNone);
}

void tTimer_i8254_SoundChannel::Reset() {
    tTimer_i8254_Channel::Reset();
    device_->Init();
    soundOn_ = 1;
    hasData_ = 0;
    frameCounter_ = 0;
}

void tTimer_i8254_SoundChannel::SetOutputMode(std::uint8_t mode) {
    // The old device goes first: the speaker is silenced and the wave
    // device closed before a new one opens.
    device_ = std::make_unique<tSoundOutputDevice>();
    std::unique_ptr<tSoundOutputDevice> fresh;
    if ((mode == kSoundOutputSpeaker || mode == kSoundOutputWave) && factory_) {
        fresh = factory_->CreateDevice(mode);
        const std::uint8_t available = fresh && fresh->Available() ? 1 : 0;
        (mode == kSoundOutputSpeaker ? speakerAvailable_ : waveAvailable_) = available;
        if (!available) fresh.reset();
    } else if (mode == kSoundOutputSpeaker) {
        speakerAvailable_ = 0;
    } else if (mode == kSoundOutputWave) {
        waveAvailable_ = 0;
    }
    if (fresh) {
        device_ = std::move(fresh);
        outputMode_ = mode;
    } else {
        outputMode_ = kSoundOutputNone;
    }
    SetUpDevice();
}

void tTimer_i8254_SoundChannel::SetUpDevice() {
    device_->SetMode(control_);
    if (!waitingForCount_) device_->SetCount(cr_);
    device_->SetEnable(outputEnable_);
    device_->SetGate(gate_ ? 0 : 1);
    device_->SetGate(gate_);
    SetSoundOn(soundOn_);
}

void tTimer_i8254_SoundChannel::SetSoundOn(std::uint8_t on) {
    soundOn_ = on ? 1 : 0;
    device_->SetEnable(soundOn_ ? outputEnable_ : 0);
}

bool tTimer_i8254_SoundChannel::StartRecording(const std::string& path) {
    auto recorder = std::make_unique<tWavRecorder>();
    if (!recorder->Open(path)) return false;
    recorder_ = std::move(recorder);
    return true;
}

bool tTimer_i8254_SoundChannel::StopRecording() {
    if (!recorder_) return false;
    const bool ok = recorder_->Close();
    recorder_.reset();
    return ok;
}

bool tTimer_i8254_SoundChannel::WriteControl(std::uint8_t control, std::uint64_t now) {
    const bool newMode = tTimer_i8254_Channel::WriteControl(control, now);
    if (newMode) {
        if (!device_->IsBuffered()) device_->SetMode(control_);
        modeChanged_ = 1;
        countChanged_ = 0;
    }
    return newMode;
}

void tTimer_i8254_SoundChannel::WriteCount(std::uint8_t value, std::uint64_t now) {
    // The write completes a count in write states 1 (LSB only), 2 (MSB
    // only) and 4 (MSB of a two-byte count).
    const int state = writeState_ != 0 ? writeState_ : RwMode();
    tTimer_i8254_Channel::WriteCount(value, now);
    if (state == 1 || state == 2 || state == 4) {
        if (!device_->IsBuffered()) device_->SetCount(cr_);
        countChanged_ = 1;
    }
}

void tTimer_i8254_SoundChannel::SetGate(std::uint8_t level) {
    tTimer_i8254_Channel::SetGate(level);
    if (!device_->IsBuffered()) device_->SetGate(gate_);
}

void tTimer_i8254_SoundChannel::SetOutputEnable(std::uint8_t level) {
    tTimer_i8254_Channel::SetOutputEnable(level);
    if (!device_->IsBuffered()) device_->SetEnable(outputEnable_);
}

void tTimer_i8254_SoundChannel::Advance(int slice, std::uint64_t now) {
    Update(now);
    if (slice < 0 || slice >= kSlices) return;
    const bool buffered = device_->IsBuffered();
    // A recording needs the rendered frames whatever device plays.
    if (!buffered && !recorder_) return;
    if (buffered) SynchroniseDevice();
    if (slice == kSlices - 1 && hasData_) {
        RenderFrame();
        if (buffered) device_->PlayFrame(frame_);
        if (recorder_) recorder_->WriteSamples(frame_);
        if (++frameCounter_ > 50) frameCounter_ = 1;
    }
    RecordSlice(slice);
}

void tTimer_i8254_SoundChannel::SynchroniseDevice() {
    // Inputs that go off are passed first, the ones that come on last.
    tSoundOutputDevice& d = *device_;
    if (d.Enable() != outputEnable_ && outputEnable_ == 0) d.SetEnable(0);
    if (d.Gate() != gate_ && gate_ == 0) d.SetGate(0);
    if (modeChanged_) {
        d.SetMode(control_);
        modeChanged_ = 0;
    }
    if (countChanged_) {
        d.SetCount(cr_);
        countChanged_ = 0;
    }
    if (d.Gate() != gate_ && gate_ == 1) d.SetGate(1);
    if (d.Enable() != outputEnable_ && outputEnable_ == 1) d.SetEnable(1);
}

void tTimer_i8254_SoundChannel::NextPhase(std::uint8_t& level) {
    // A phase of 0 samples is passed over at once; if both were 0 (only a
    // corrupt snapshot can say so) the level stays for good.
    for (int i = 0; i < 2 && remaining_ == 0; ++i) {
        level ^= 1;
        remaining_ = level ? high_ : low_;
    }
    if (remaining_ == 0) remaining_ = -1;
}

void tTimer_i8254_SoundChannel::RenderFrame() {
    // Each frame starts from the state stored in its first slice.
    records_[kSlices - 1].changed = 1;
    std::uint8_t level = level_;
    std::size_t pos = 0;
    for (int s = kSlices - 1; s >= 0; --s) {
        const tSliceRecord& r = records_[static_cast<std::size_t>(s)];
        if (r.changed) {
            level = r.level;
            high_ = r.high;
            low_ = r.low;
            remaining_ = r.remaining;
        }
        if (remaining_ == 0) NextPhase(level);
        const std::uint8_t audible = (r.enable && soundOn_) ? 1 : 0;
        const int count = s >= kSlices - kLongSlices ? 5 : 4;
        for (int k = 0; k < count; ++k) {
            frame_[pos++] = (level && audible) ? 1 : 0;
            if (remaining_ > 0 && --remaining_ == 0) NextPhase(level);
        }
    }
    level_ = level;
}

void tTimer_i8254_SoundChannel::RecordSlice(int slice) {
    tSliceRecord& r = records_[static_cast<std::size_t>(slice)];
    r.changed = soundChanged_;
    if (soundChanged_) {
        soundChanged_ = 0;
        const double t = cpuClock_ ? period_ / static_cast<double>(cpuClock_) : 0;
        const double samples = t * kSampleRate;
        if (squareWave_) {
            const std::int64_t v = RoundSamples(samples);
            high_ = v - v / 2;
            low_ = v / 2;
        } else {
            high_ = RoundSamples(samples * highFraction_);
            low_ = RoundSamples(samples * lowFraction_);
        }
        if (high_ == 0 && low_ == 0) high_ = low_ = -1;
        remaining_ = soundLevel_ ? high_ : low_;
        if (!squareWave_) {
            high_ = CeilSamples(samples * laterHighFraction_);
            low_ = CeilSamples(samples * laterLowFraction_);
            if (high_ == 0 && low_ == 0) high_ = low_ = -1;
        }
        level_ = soundLevel_;
    }
    // Unchanged records keep the generator's present level, so that the
    // next frame, which starts from record 99, runs on in phase.
    r.level = level_;
    r.high = high_;
    r.low = low_;
    r.remaining = remaining_;
    r.enable = outputEnable_;
    hasData_ = 1;
}

bool tTimer_i8254_SoundChannel::SaveState(tByteStream& s) const {
    const std::size_t before = s.Position();
    if (!tTimer_i8254_Channel::SaveState(s)) return false;
    s.WriteU8(modeChanged_);
    s.WriteU8(countChanged_);
    s.WriteI64(high_);
    s.WriteI64(low_);
    s.WriteI64(remaining_);
    s.WriteU8(hasData_);
    s.WriteU32(frameCounter_);
    for (const tSliceRecord& r : records_) {
        s.WriteU8(r.changed);
        s.WriteU8(r.level);
        s.WriteU8(r.enable);
        s.WriteI64(r.high);
        s.WriteI64(r.low);
        s.WriteI64(r.remaining);
    }
    s.WriteU8(soundOn_);
    return s.Position() == before + kSoundStateSize;
}

bool tTimer_i8254_SoundChannel::LoadState(tByteStream& s) {
    if (!tTimer_i8254_Channel::LoadState(s)) return false;
    // The base block has reset the channel and read its part; the sound
    // fields follow. Nothing is taken over unless all of them could be read.
    std::uint8_t modeChanged = 0, countChanged = 0, hasData = 0, soundOn = 0;
    std::int64_t high = 0, low = 0, remaining = 0;
    std::uint32_t frameCounter = 0;
    std::array<tSliceRecord, kSlices> records{};
    bool ok = s.ReadU8(modeChanged) && s.ReadU8(countChanged) && s.ReadI64(high) && s.ReadI64(low) &&
              s.ReadI64(remaining) && s.ReadU8(hasData) && s.ReadU32(frameCounter);
    for (tSliceRecord& r : records) {
        if (!ok) break;
        ok = s.ReadU8(r.changed) && s.ReadU8(r.level) && s.ReadU8(r.enable) && s.ReadI64(r.high) &&
             s.ReadI64(r.low) && s.ReadI64(r.remaining);
        r.level = r.level ? 1 : 0;
    }
    ok = ok && s.ReadU8(soundOn);
    if (!ok) return false;
    modeChanged_ = modeChanged;
    countChanged_ = countChanged;
    high_ = high;
    low_ = low;
    remaining_ = remaining;
    hasData_ = hasData;
    frameCounter_ = frameCounter;
    records_ = records;
    level_ = records_[kSlices - 1].level;
    kind_ = kKindSound;
    SetUpDevice();
    SetSoundOn(soundOn);
    return true;
}

std::unique_ptr<tTimer_i8254_Channel> tTimer_i8254_WithSound::CreateChannel(std::uint8_t kind) {
    if (kind == tTimer_i8254_Channel::kKindSound) return std::make_unique<tTimer_i8254_SoundChannel>();
    return tTimer_i8254::CreateChannel(kind);
}

}  // namespace velgard
