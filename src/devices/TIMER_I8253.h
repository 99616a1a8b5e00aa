#pragma once
// The Korvet's three-channel interval timer (Intel 8253/8254).
//
// The model is not clocked tick by tick: every operation that needs the
// present moment receives the processor's cycle total ("now", cycles since
// the processor's Init), and a channel computes its count and output from
// the time passed since its count was loaded, in double precision. The
// machine loop advances every channel once per 500-cycle slice so that the
// outputs and the interrupt event of channel 2 stay current.
//
// A channel also keeps the parameters the sound channel (which derives from
// tTimer_i8254_Channel and is installed as channel 0) turns into samples:
// the share of a period during which its output is high or low in the first
// phase and in the phases after it, and the level the output starts at.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "graphics/ByteStream.h"

namespace velgard {

class tTimer_i8254_Channel {
public:
    // Kind byte written before each channel's block.
    static constexpr std::uint8_t kKindPlain = 0;
    static constexpr std::uint8_t kKindSound = 1;
    static constexpr std::uint8_t kKindNone = 255;
    static constexpr std::uint32_t kDefaultClock = 2000000;
    // Size of the plain channel's snapshot block.
    static constexpr std::size_t kStateSize = 80;

    tTimer_i8254_Channel();
    virtual ~tTimer_i8254_Channel() = default;
    tTimer_i8254_Channel(const tTimer_i8254_Channel&) = delete;
    tTimer_i8254_Channel& operator=(const tTimer_i8254_Channel&) = delete;

    std::uint8_t Kind() const { return kind_; }

    // OUT 0 (without an event), counts, latches, states and control word 0,
    // both clocks 2 MHz, idle routine. Gate and output enable are kept.
    virtual void Reset();
    // Control byte addressed to this channel (a read-back byte is handed to
    // every channel it selects). True when a new mode was set.
    virtual bool WriteControl(std::uint8_t control, std::uint64_t now);
    // One byte of the count, in the order the RW bits ask for. A complete
    // count loads at once, as on the chip's next input clock (modes 2 and 3:
    // when the running period ends), not at the next update.
    virtual void WriteCount(std::uint8_t value, std::uint64_t now);
    // One byte of the latched or the current count (or latched status).
    virtual std::uint8_t ReadCount(std::uint64_t now);
    // Recomputes CE and OUT at now. The slice index (99..0 within a frame)
    // is for the sound channel; -1 means update only.
    virtual void Advance(int slice, std::uint64_t now);
    virtual void SetGate(std::uint8_t level);
    virtual void SetOutputEnable(std::uint8_t level);
    // After a snapshot load at cycle total `now`: takes the periods of a
    // running mode 2 or 3 as seen, so that edge counting goes on where the
    // saved machine left it (the machine saves right after a slice end).
    void SyncPeriods(std::uint64_t now);
    void SetCpuClock(std::uint32_t hz) { cpuClock_ = hz; }
    void SetChannelClock(std::uint32_t hz) { channelClock_ = hz; }

    // Set by a rising OUT edge while output enable is 1; the machine clears
    // it when it has raised the interrupt.
    bool Event() const { return event_ != 0; }
    void ClearEvent() { event_ = 0; }

    // The 80-byte block (the sound channel appends its own fields).
    // LoadState resets the channel, reads the block and re-selects the mode
    // routine; a short stream or corrupt values leave it reset, false.
    virtual bool SaveState(tByteStream& stream) const;
    virtual bool LoadState(tByteStream& stream);

    // Views.
    std::uint8_t Out() const { return out_; }
    std::uint8_t Gate() const { return gate_; }
    std::uint8_t OutputEnable() const { return outputEnable_; }
    std::uint16_t CountRegister() const { return cr_; }
    std::uint16_t CountingElement() const { return ce_; }
    std::uint16_t LoadedCount() const { return n_; }
    std::uint8_t ControlWord() const { return control_; }
    std::uint8_t Status() const { return status_; }
    bool NullCount() const { return (status_ & kStatusNullCount) != 0; }
    bool WaitingForCount() const { return waitingForCount_ != 0; }
    bool SquareWave() const { return squareWave_ != 0; }
    double Period() const { return period_; }
    double StartTime() const { return startTime_; }
    std::uint32_t CpuClock() const { return cpuClock_; }
    std::uint32_t ChannelClock() const { return channelClock_; }
    // Counting mode 0-5 (6 and 7 fold onto 2 and 3); -1 while idle.
    int Mode() const { return routine_; }

protected:
    static constexpr std::uint8_t kStatusOut = 0x80;
    static constexpr std::uint8_t kStatusNullCount = 0x40;
    static constexpr int kIdle = -1;

    // Runs the mode routine at now and sets OUT from it.
    void Update(std::uint64_t now);
    // OUT = v; a rising edge with output enable 1 sets the event.
    void SetOut(std::uint8_t v);
    // A rising OUT edge that happened between two updates.
    void RaisePeriodEdge();
    std::uint8_t RwMode() const { return (control_ >> 4) & 3; }
    bool Bcd() const { return (control_ & 1) != 0; }
    void RebuildStatus();
    void SelectRoutine();

    // Sound parameters: constant level, or phases as shares of the period
    // (a negative share never ends). Only a change marks soundChanged_.
    void SetSoundConstant(std::uint8_t level);
    void SetSoundPhases(std::uint8_t level, double high, double low, double laterHigh,
                        double laterLow);

    std::uint8_t kind_ = kKindPlain;
    std::uint16_t cr_ = 0;   // count register, as written
    std::uint16_t ce_ = 0;   // counting element, as last computed
    std::uint16_t ol_ = 0;   // output latch
    std::uint8_t status_ = 0;
    std::uint8_t latchedStatus_ = 0;
    std::uint8_t control_ = 0;
    std::uint8_t latched_ = 0;
    std::uint8_t gate_ = 0;
    std::uint8_t outputEnable_ = 0;
    std::uint8_t out_ = 0;
    std::uint8_t writeState_ = 0;
    std::uint8_t readState_ = 0;
    std::uint32_t channelClock_ = kDefaultClock;
    std::uint32_t cpuClock_ = kDefaultClock;
    double startTime_ = 0;
    std::uint16_t n_ = 0;  // loaded count of the current period
    double period_ = 0;    // N input clocks in processor cycles; 0 = stopped
    double highFraction_ = 0, lowFraction_ = 0;
    double laterHighFraction_ = 0, laterLowFraction_ = 0;
    std::uint8_t soundChanged_ = 0;
    std::uint8_t soundLevel_ = 0;
    std::uint8_t keepPhase_ = 0;
    std::uint8_t previousGate_ = 0;
    std::uint8_t waitingForCount_ = 0;
    std::uint8_t event_ = 0;
    std::uint8_t squareWave_ = 0;
    int routine_ = kIdle;
    // Periods of modes 2 and 3 completed since the last load, as of the last
    // update; -1 = not known (after a reset or a snapshot load). Not saved:
    // SyncPeriods restores it after a snapshot load.
    double periodsSeen_ = -1;

private:
    struct Result {
        std::uint16_t ce;
        std::uint8_t out;
    };
    Result RunMode0or1(double now, bool gateTriggered);
    Result RunMode2or3(double now, bool square);
    Result RunMode4or5(double now, bool gateTriggered);
    // Starts a period of N = CR at `start`.
    void Load(double start, double clocks);
    // elapsed / period * N at now (elapsed at least 0).
    double ScaledElapsed(double now) const;
    // Counts left in a one-shot period: ceil((1 - elapsed / period) * N).
    double OneShotCount(double now) const;
    std::uint8_t ReadByteOf(std::uint16_t value, bool high) const;
};

class tTimer_i8254 {
public:
    static constexpr int kChannels = 3;

    // Three plain channels, each with gate 1 and output enable 1.
    tTimer_i8254();
    virtual ~tTimer_i8254() = default;
    tTimer_i8254(const tTimer_i8254&) = delete;
    tTimer_i8254& operator=(const tTimer_i8254&) = delete;

    // Resets the installed channels.
    virtual void Reset();
    // Bits 7-6 select channel 0-2; 3 is read-back, handed to channel 0, 1, 2
    // when bit 1, 2, 3 is set.
    virtual void WriteControl(std::uint8_t control, std::uint64_t now);
    // Counter registers of the I/O page; an absent channel ignores writes
    // and reads as 0.
    void WriteCount(int index, std::uint8_t value, std::uint64_t now);
    std::uint8_t ReadCount(int index, std::uint64_t now);
    // Advances the three channels (slice index as for the channel).
    void Advance(int slice, std::uint64_t now);
    // SyncPeriods on every channel.
    void SyncPeriods(std::uint64_t now);
    // Stores the processor clock in all channels.
    virtual void SetCpuClock(std::uint32_t hz);
    // Installs `channel` at index 0-2 (nullptr removes it), freeing the old
    // one, and resets the new one. Other indices are ignored.
    void InstallChannel(int index, std::unique_ptr<tTimer_i8254_Channel> channel);
    // The channel at index 0-2, or nullptr.
    tTimer_i8254_Channel* Channel(int index) const;

    // Per channel: kind byte (255 = none) and the channel's block.
    virtual bool SaveState(tByteStream& stream) const;
    // Resets the timer; a kind byte that differs from the installed
    // channel's replaces the channel with a new one of that kind (255 or an
    // unknown kind removes it). False on a stream error or when a kind
    // cannot be created; the channels read so far keep what they read.
    virtual bool LoadState(tByteStream& stream);

protected:
    // A new channel of `kind` for LoadState; nullptr when none can be made.
    virtual std::unique_ptr<tTimer_i8254_Channel> CreateChannel(std::uint8_t kind);

private:
    std::array<std::unique_ptr<tTimer_i8254_Channel>, kChannels> channels_;
};

}  // namespace velgard
