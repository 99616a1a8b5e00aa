#include "devices/TIMER_I8253.h"

#include <cmath>

namespace velgard {
namespace {

// A computed count as a 16-bit value: NaN and negatives give 0, anything
// above the counter's range gives 0xFFFF (no double reaches an integer
// conversion out of range).
std::uint16_t ClampCount(double x) {
    if (!(x > 0)) return 0;
    if (x >= 65535.0) return 0xFFFF;
    return static_cast<std::uint16_t>(x);
}

// Four BCD digits, lowest nibble first; a nibble above 9 counts as
// (nibble + 6) AND 15, as the chip's decimal counter treats it.
std::uint16_t DecodeBcd(std::uint16_t v) {
    unsigned result = 0;
    unsigned scale = 1;
    for (int i = 0; i < 4; ++i) {
        unsigned d = (v >> (4 * i)) & 0xF;
        if (d > 9) d = (d + 6) & 0xF;
        result += d * scale;
        scale *= 10;
    }
    return static_cast<std::uint16_t>(result);
}

std::uint16_t EncodeBcd(std::uint16_t v) {
    unsigned x = v % 10000u;
    unsigned result = 0;
    for (int i = 0; i < 4; ++i) {
        result |= (x % 10) << (4 * i);
        x /= 10;
    }
    return static_cast<std::uint16_t>(result);
}

bool FiniteNonNegative(double v) { return std::isfinite(v) && v >= 0; }

}  // namespace

// ---------------------------------------------------------------------------
// Channel

tTimer_i8254_Channel::tTimer_i8254_Channel() { Reset(); }

void tTimer_i8254_Channel::Reset() {
    periodsSeen_ = -1;
    out_ = 0;  // directly: a reset raises no event
    cr_ = ce_ = ol_ = 0;
    latched_ = 0;
    latchedStatus_ = 0;
    n_ = 0;
    writeState_ = readState_ = 0;
    channelClock_ = cpuClock_ = kDefaultClock;
    control_ = 0;
    status_ = 0;
    RebuildStatus();
    startTime_ = 0;
    period_ = 0;
    highFraction_ = lowFraction_ = laterHighFraction_ = laterLowFraction_ = 0;
    soundChanged_ = 0;
    soundLevel_ = 0;
    previousGate_ = gate_;
    waitingForCount_ = 0;
    event_ = 0;
    squareWave_ = 0;
    routine_ = kIdle;
}

void tTimer_i8254_Channel::RebuildStatus() {
    status_ = static_cast<std::uint8_t>((out_ ? kStatusOut : 0) | (status_ & kStatusNullCount) | (control_ & 0x3F));
}

void tTimer_i8254_Channel::SelectRoutine() {
    // A control word always has RW bits; none means the channel was never
    // programmed (reset), which runs the idle routine.
    if ((control_ & 0x30) == 0) {
        routine_ = kIdle;
        return;
    }
    int mode = (control_ >> 1) & 7;
    if (mode >= 6) mode -= 4;  // 6 and 7 act as 2 and 3
    routine_ = mode;
}

void tTimer_i8254_Channel::SyncPeriods(std::uint64_t now) {
    if ((routine_ == 2 || routine_ == 3) && period_ > 0 && n_ != 0 && gate_ && !waitingForCount_) {
        periodsSeen_ = std::floor(ScaledElapsed(static_cast<double>(now)) / n_);
    }
}

void tTimer_i8254_Channel::RaisePeriodEdge() {
    if (outputEnable_ == 1) event_ = 1;
}

void tTimer_i8254_Channel::SetOut(std::uint8_t v) {
    v = v ? 1 : 0;
    if (outputEnable_ == 1 && out_ == 0 && v == 1) event_ = 1;
    out_ = v;
}

void tTimer_i8254_Channel::SetSoundConstant(std::uint8_t level) {
    level = level ? 1 : 0;
    if (soundLevel_ == level && highFraction_ == -1 && lowFraction_ == -1 && laterHighFraction_ == -1 &&
        laterLowFraction_ == -1)
        return;
    SetSoundPhases(level, -1, -1, -1, -1);
}

void tTimer_i8254_Channel::SetSoundPhases(std::uint8_t level, double high, double low, double laterHigh,
                                          double laterLow) {
    soundLevel_ = level ? 1 : 0;
    highFraction_ = high;
    lowFraction_ = low;
    laterHighFraction_ = laterHigh;
    laterLowFraction_ = laterLow;
    soundChanged_ = 1;
}

void tTimer_i8254_Channel::Load(double start, double clocks) {
    startTime_ = start;
    periodsSeen_ = 0;
    n_ = cr_;
    status_ &= static_cast<std::uint8_t>(~kStatusNullCount);
    period_ = channelClock_ ? clocks * static_cast<double>(cpuClock_) / static_cast<double>(channelClock_) : 0;
}

double tTimer_i8254_Channel::ScaledElapsed(double now) const {
    // elapsed / period * N, multiplied first: with whole processor cycles
    // and the usual clocks this is exact on every input clock edge, so a
    // count never reads one too high from rounding.
    double elapsed = now - startTime_;
    if (elapsed < 0) elapsed = 0;
    return elapsed * n_ / period_;
}

double tTimer_i8254_Channel::OneShotCount(double now) const {
    // ceil((1 - elapsed / period) * N)
    return std::ceil(n_ - ScaledElapsed(now));
}

// Modes 0 (interrupt on terminal count) and 1 (retriggerable one-shot):
// OUT low while counting down from N, then CE 0 and OUT high.
tTimer_i8254_Channel::Result tTimer_i8254_Channel::RunMode0or1(double now, bool gateTriggered) {
    if (!gateTriggered) {
        if (waitingForCount_) {
            SetSoundConstant(0);
            return {0, 0};
        }
        // Gate low, or a two-byte count half written: everything holds.
        if (!gate_ || writeState_ == 4) {
            SetSoundConstant(out_);
            return {ce_, out_};
        }
        if (status_ & kStatusNullCount) {
            if (cr_ != 0) {
                Load(now, cr_);
                SetSoundPhases(0, 0, 1, -1, -1);
            } else {
                // A count of 0 is never loaded: the channel stops and the
                // null count bit stays set.
                n_ = 0;
                period_ = 0;
                SetSoundConstant(1);
            }
        }
    } else {
        if (waitingForCount_) {
            SetSoundConstant(1);
            return {0, 1};
        }
        if (previousGate_ == 0 && gate_ == 1) {
            previousGate_ = 1;
            if (cr_ != 0) {
                Load(now, cr_);
                SetSoundPhases(0, 0, 1, -1, -1);
            }
        }
    }
    if (period_ <= 0 || n_ == 0) return {0, 1};
    const double x = OneShotCount(now);
    if (x > 0) return {ClampCount(x), 0};
    period_ = 0;  // the count stops at 0
    return {0, 1};
}

// Modes 2 (rate generator) and 3 (square wave): the count runs from N down
// to 1 once per period and reloads. A new count takes over when the running
// period ends; a rising gate restarts the count at once.
tTimer_i8254_Channel::Result tTimer_i8254_Channel::RunMode2or3(double now, bool square) {
    if (waitingForCount_) {
        SetSoundConstant(1);
        return {0, 1};
    }
    if (!gate_) {
        if (square) squareWave_ = 0;
        SetSoundConstant(1);
        return {ce_, 1};
    }
    const bool retrigger = previousGate_ == 0;
    if (retrigger) previousGate_ = 1;
    const bool running = period_ > 0;
    if (retrigger || ((status_ & kStatusNullCount) && (!running || now - startTime_ >= period_))) {
        if (cr_ == 0) {
            // Count 0 stops the channel without loading it (null count stays).
            n_ = 0;
            period_ = 0;
            squareWave_ = 0;
            SetSoundConstant(1);
        } else {
            // The running period has ended: its closing edge happened.
            if (running && !retrigger) RaisePeriodEdge();
            // Rewriting the same count keeps the sound channel's phase.
            const bool keep = !retrigger && keepPhase_ && cr_ == n_;
            Load(retrigger || !running ? now : startTime_ + period_, cr_);
            const double n = n_;
            if (square) {
                squareWave_ = 1;
                if (!keep) {
                    const double high = (n_ % 2 == 0) ? 0.5 : (n + 1) / (2 * n);
                    const double low = (n_ % 2 == 0) ? 0.5 : (n - 1) / (2 * n);
                    SetSoundPhases(1, high, low, high, low);
                }
            } else if (!keep) {
                SetSoundPhases(1, (n - 1) / n, 1 / n, (n - 1) / n, 1 / n);
            }
        }
    }
    if (period_ <= 0 || n_ == 0) return {0, 1};
    // f = fractional part of elapsed / period, kept as f * N (input clocks
    // into the period); CE = ceil((1 - f) * N), at least 1.
    const double n = n_;
    const double scaled = ScaledElapsed(now);
    // Both modes raise OUT at the end of every period. The channels are
    // updated only now and then (once per slice), and a short low phase,
    // one input clock in mode 2, would mostly fall between two updates:
    // count the periods instead, so that no rising edge is lost.
    const double periods = std::floor(scaled / n);
    if (periodsSeen_ >= 0 && periods > periodsSeen_) RaisePeriodEdge();
    periodsSeen_ = periods;
    const double fn = std::fmod(scaled, n);
    double c = std::ceil(n - fn);
    if (c < 1) c = 1;
    const std::uint16_t ce = ClampCount(c);
    if (!square) return {ce, static_cast<std::uint8_t>(ce == 1 ? 0 : 1)};
    // High while f <= high share: N/2 clocks for even N, (N + 1)/2 for odd.
    const double highClocks = (n_ % 2 == 0) ? n / 2 : (n + 1) / 2;
    return {ce, static_cast<std::uint8_t>(fn <= highClocks ? 1 : 0)};
}

// Modes 4 (software strobe) and 5 (hardware strobe): OUT high while
// counting, one clock low when the count runs out, then high again.
tTimer_i8254_Channel::Result tTimer_i8254_Channel::RunMode4or5(double now, bool gateTriggered) {
    if (waitingForCount_) {
        SetSoundConstant(1);
        return {0, 1};
    }
    bool load = false;
    if (!gateTriggered) {
        if (!gate_) {
            SetSoundConstant(out_);
            return {ce_, out_};
        }
        load = (status_ & kStatusNullCount) != 0;
    } else if (previousGate_ == 0 && gate_ == 1) {
        previousGate_ = 1;
        load = true;
    }
    if (load) {
        if (cr_ != 0) {
            Load(now, static_cast<double>(cr_) + 1);
            const double n = n_;
            SetSoundPhases(1, n / (n + 1), 0, -1, 0);
        } else {
            // A count of 0 stops the channel: no strobe.
            n_ = 0;
            period_ = 0;
            status_ &= static_cast<std::uint8_t>(~kStatusNullCount);
            SetSoundConstant(1);
        }
    }
    if (period_ <= 0 || n_ == 0) return {0, 1};
    const double x = OneShotCount(now);
    if (x > 0) return {ClampCount(x), 1};
    if (x == 0) return {0, 0};
    period_ = 0;
    return {0, 1};
}

void tTimer_i8254_Channel::Update(std::uint64_t now) {
    const double t = static_cast<double>(now);
    Result r{0, 0};
    switch (routine_) {
        case 0: r = RunMode0or1(t, false); break;
        case 1: r = RunMode0or1(t, true); break;
        case 2: r = RunMode2or3(t, false); break;
        case 3: r = RunMode2or3(t, true); break;
        case 4: r = RunMode4or5(t, false); break;
        case 5: r = RunMode4or5(t, true); break;
        default:
            SetSoundConstant(0);
            break;
    }
    ce_ = r.ce;
    SetOut(r.out);
}

bool tTimer_i8254_Channel::WriteControl(std::uint8_t c, std::uint64_t now) {
    if ((c & 0xC0) == 0xC0) {  // read-back
        if (latched_) return false;
        Update(now);
        if (!(c & 0x20)) {  // COUNT (active low)
            ol_ = ce_;
            readState_ = RwMode();
            latched_ = 1;
        } else {
            readState_ = 0;
        }
        if (!(c & 0x10)) {  // STATUS (active low)
            RebuildStatus();
            latchedStatus_ = status_;
            readState_ |= 4;
            latched_ = 1;
        }
        return false;
    }
    if ((c & 0x30) == 0) {  // counter latch; a second one before reading is ignored
        if (!latched_) {
            Update(now);
            ol_ = ce_;
            readState_ = RwMode();
            latched_ = 1;
        }
        return false;
    }
    // A new mode: bring the old one up to this moment first, so that an
    // output edge it made before the change still counts.
    Update(now);
    control_ = c;
    cr_ = ce_ = n_ = 0;
    latched_ = 0;
    readState_ = writeState_ = 0;
    status_ |= kStatusNullCount;
    startTime_ = static_cast<double>(now);
    period_ = 0;
    previousGate_ = gate_;
    waitingForCount_ = 1;
    squareWave_ = 0;
    SelectRoutine();
    switch (routine_) {
        case 0: SetOut(0); break;
        case 3: break;  // OUT follows at the next update
        default: SetOut(1); break;
    }
    RebuildStatus();
    return true;
}

void tTimer_i8254_Channel::WriteCount(std::uint8_t value, std::uint64_t now) {
    // Bring CE and OUT to the moment of the write: a half-written count in
    // mode 0 holds them where they are now.
    Update(now);
    if (writeState_ == 0) writeState_ = RwMode();
    bool complete = false;
    switch (writeState_) {
        case 1:
            cr_ = value;
            complete = true;
            break;
        case 2:
            cr_ = static_cast<std::uint16_t>(value << 8);
            complete = true;
            break;
        case 3:
            cr_ = value;
            writeState_ = 4;
            break;
        case 4:
            cr_ = static_cast<std::uint16_t>((value << 8) | (cr_ & 0xFF));
            complete = true;
            break;
        default:
            writeState_ = 0;
            return;
    }
    if (!complete) return;
    writeState_ = 0;
    status_ |= kStatusNullCount;
    waitingForCount_ = 0;
    if (Bcd()) cr_ = DecodeBcd(cr_);
    if ((routine_ == 2 || routine_ == 3) && period_ > 0) {
        // The new count takes over when the running period ends: measure
        // the period from the start of the current one.
        const double t = static_cast<double>(now);
        if (t > startTime_) startTime_ += std::floor((t - startTime_) / period_) * period_;
    }
    // The chip moves a newly written count into the counting element on
    // its next input clock, less than one clock after the write. Modes that
    // load on the write do so here, at the moment of the write, and not at
    // the next update (the next slice or access) as a model driven only by
    // updates would: so a count read right after the write already shows
    // N and then counts down from the write, and the null-count bit is
    // clear at once. Modes 2 and 3 keep the new count waiting (null count
    // set) until the running period ends, as the chip does.
    Update(now);
}

std::uint8_t tTimer_i8254_Channel::ReadByteOf(std::uint16_t value, bool high) const {
    if (Bcd()) value = EncodeBcd(value);
    return static_cast<std::uint8_t>(high ? value >> 8 : value & 0xFF);
}

std::uint8_t tTimer_i8254_Channel::ReadCount(std::uint64_t now) {
    std::uint8_t v = 0;
    if (latched_) {
        switch (readState_) {
            case 1:
                v = ReadByteOf(ol_, false);
                readState_ = 0;
                latched_ = 0;
                break;
            case 2:
                v = ReadByteOf(ol_, true);
                readState_ = 0;
                latched_ = 0;
                break;
            case 3:
                v = ReadByteOf(ol_, false);
                readState_ = 2;
                break;
            case 4: case 5: case 6: case 7:
                v = latchedStatus_;
                readState_ &= static_cast<std::uint8_t>(~4);
                latched_ = readState_ != 0 ? 1 : 0;
                break;
            default:
                readState_ = 0;
                latched_ = 0;
                break;
        }
        return v;
    }
    Update(now);
    if (readState_ == 0) readState_ = RwMode();
    switch (readState_) {
        case 1:
            v = ReadByteOf(ce_, false);
            readState_ = 0;
            break;
        case 2:
            v = ReadByteOf(ce_, true);
            readState_ = 0;
            break;
        case 3:
            v = ReadByteOf(ce_, false);
            readState_ = 2;
            break;
        default:
            readState_ = 0;
            break;
    }
    return v;
}

void tTimer_i8254_Channel::Advance(int /*slice*/, std::uint64_t now) { Update(now); }

void tTimer_i8254_Channel::SetGate(std::uint8_t level) {
    const std::uint8_t g = level ? 1 : 0;
    if (g == gate_) return;
    previousGate_ = gate_;
    gate_ = g;
    if (routine_ == 2 && g == 0) {  // modes 2 and 6: a falling gate stops the count, OUT high
        n_ = 0;
        SetOut(1);
    }
}

void tTimer_i8254_Channel::SetOutputEnable(std::uint8_t level) { outputEnable_ = level ? 1 : 0; }

bool tTimer_i8254_Channel::SaveState(tByteStream& s) const {
    const std::size_t before = s.Position();
    s.WriteU16(cr_);
    s.WriteU16(ce_);
    s.WriteU16(ol_);
    s.WriteU8(status_);
    s.WriteU8(latchedStatus_);
    s.WriteU8(control_);
    s.WriteU8(latched_);
    s.WriteU8(gate_);
    s.WriteU8(outputEnable_);
    s.WriteU8(out_);
    s.WriteU8(writeState_);
    s.WriteU8(readState_);
    s.WriteU32(channelClock_);
    s.WriteU32(cpuClock_);
    s.WriteF64(startTime_);
    s.WriteU16(n_);
    s.WriteF64(period_);
    s.WriteF64(highFraction_);
    s.WriteF64(lowFraction_);
    s.WriteF64(laterHighFraction_);
    s.WriteF64(laterLowFraction_);
    s.WriteU8(soundChanged_);
    s.WriteU8(soundLevel_);
    s.WriteU8(keepPhase_);
    s.WriteU8(previousGate_);
    s.WriteU8(waitingForCount_);
    s.WriteU8(event_);
    s.WriteU8(squareWave_);
    return s.Position() == before + kStateSize;
}

bool tTimer_i8254_Channel::LoadState(tByteStream& stream) {
    Reset();
    std::uint8_t raw[kStateSize];
    if (!stream.Read(raw, sizeof raw)) return false;
    tByteStream s(std::vector<std::uint8_t>(raw, raw + sizeof raw));
    std::uint16_t cr = 0, ce = 0, ol = 0, n = 0;
    std::uint8_t b[9] = {};
    std::uint32_t channelClock = 0, cpuClock = 0;
    double start = 0, period = 0, hf = 0, lf = 0, lhf = 0, llf = 0;
    std::uint8_t t[7] = {};
    // The block is complete in memory: these reads cannot run short.
    s.ReadU16(cr);
    s.ReadU16(ce);
    s.ReadU16(ol);
    s.Read(b, sizeof b);
    s.ReadU32(channelClock);
    s.ReadU32(cpuClock);
    s.ReadF64(start);
    s.ReadU16(n);
    s.ReadF64(period);
    s.ReadF64(hf);
    s.ReadF64(lf);
    s.ReadF64(lhf);
    s.ReadF64(llf);
    s.Read(t, sizeof t);
    // Times and shares that no channel can produce mark a corrupt block.
    if (!FiniteNonNegative(start) || !FiniteNonNegative(period) || !std::isfinite(hf) || !std::isfinite(lf) ||
        !std::isfinite(lhf) || !std::isfinite(llf))
        return false;
    cr_ = cr;
    ce_ = ce;
    ol_ = ol;
    status_ = b[0];
    latchedStatus_ = b[1];
    control_ = b[2];
    latched_ = b[3];
    gate_ = b[4] ? 1 : 0;
    outputEnable_ = b[5] ? 1 : 0;
    out_ = b[6] ? 1 : 0;
    writeState_ = b[7];
    readState_ = b[8];
    channelClock_ = channelClock;
    cpuClock_ = cpuClock;
    startTime_ = start;
    n_ = n;
    period_ = period;
    highFraction_ = hf;
    lowFraction_ = lf;
    laterHighFraction_ = lhf;
    laterLowFraction_ = llf;
    soundChanged_ = t[0];
    soundLevel_ = t[1] ? 1 : 0;
    keepPhase_ = t[2];
    previousGate_ = t[3] ? 1 : 0;
    waitingForCount_ = t[4];
    event_ = t[5];
    squareWave_ = t[6];
    SelectRoutine();
    return true;
}

// ---------------------------------------------------------------------------
// Timer

tTimer_i8254::tTimer_i8254() {
    for (auto& ch : channels_) {
        ch = std::make_unique<tTimer_i8254_Channel>();
        ch->SetGate(1);
        ch->SetOutputEnable(1);
    }
}

void tTimer_i8254::Reset() {
    for (auto& ch : channels_)
        if (ch) ch->Reset();
}

void tTimer_i8254::WriteControl(std::uint8_t control, std::uint64_t now) {
    const int select = control >> 6;
    if (select < kChannels) {
        if (channels_[select]) channels_[select]->WriteControl(control, now);
        return;
    }
    // Read-back: bits 1, 2, 3 select channels 0, 1, 2.
    for (int i = 0; i < kChannels; ++i)
        if ((control & (2 << i)) && channels_[i]) channels_[i]->WriteControl(control, now);
}

void tTimer_i8254::WriteCount(int index, std::uint8_t value, std::uint64_t now) {
    if (auto* ch = Channel(index)) ch->WriteCount(value, now);
}

std::uint8_t tTimer_i8254::ReadCount(int index, std::uint64_t now) {
    auto* ch = Channel(index);
    return ch ? ch->ReadCount(now) : 0;
}

void tTimer_i8254::SyncPeriods(std::uint64_t now) {
    for (auto& ch : channels_) {
        if (ch) ch->SyncPeriods(now);
    }
}

void tTimer_i8254::Advance(int slice, std::uint64_t now) {
    for (auto& ch : channels_)
        if (ch) ch->Advance(slice, now);
}

void tTimer_i8254::SetCpuClock(std::uint32_t hz) {
    for (auto& ch : channels_)
        if (ch) ch->SetCpuClock(hz);
}

void tTimer_i8254::InstallChannel(int index, std::unique_ptr<tTimer_i8254_Channel> channel) {
    if (index < 0 || index >= kChannels) return;
    channels_[static_cast<std::size_t>(index)] = std::move(channel);
    if (auto* ch = channels_[static_cast<std::size_t>(index)].get()) ch->Reset();
}

tTimer_i8254_Channel* tTimer_i8254::Channel(int index) const {
    if (index < 0 || index >= kChannels) return nullptr;
    return channels_[static_cast<std::size_t>(index)].get();
}

std::unique_ptr<tTimer_i8254_Channel> tTimer_i8254::CreateChannel(std::uint8_t kind) {
    if (kind == tTimer_i8254_Channel::kKindPlain) return std::make_unique<tTimer_i8254_Channel>();
    return nullptr;
}

bool tTimer_i8254::SaveState(tByteStream& stream) const {
    for (const auto& ch : channels_) {
        if (!ch) {
            stream.WriteU8(tTimer_i8254_Channel::kKindNone);
            continue;
        }
        stream.WriteU8(ch->Kind());
        if (!ch->SaveState(stream)) return false;
    }
    return true;
}

bool tTimer_i8254::LoadState(tByteStream& stream) {
    Reset();
    for (int i = 0; i < kChannels; ++i) {
        std::uint8_t kind = 0;
        if (!stream.ReadU8(kind)) return false;
        if (kind == tTimer_i8254_Channel::kKindNone) {
            InstallChannel(i, nullptr);
            continue;
        }
        tTimer_i8254_Channel* ch = Channel(i);
        if (!ch || ch->Kind() != kind) {
            auto fresh = CreateChannel(kind);
            // An unknown kind: no channel, and no way to know its block's
            // length, so the rest of the stream cannot be read.
            const bool made = fresh != nullptr;
            InstallChannel(i, std::move(fresh));
            if (!made) return false;
            ch = Channel(i);
        }
        if (!ch->LoadState(stream)) return false;
    }
    return true;
}

}  // namespace velgard
