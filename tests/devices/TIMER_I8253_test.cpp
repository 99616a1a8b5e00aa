// The interval timer: the six counting modes against the processor's cycle
// total, BCD, latches and read-back, gates, output events, the sound
// parameters a channel hands to the sound channel, and the snapshot blocks.
#include "devices/TIMER_I8253.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace velgard {
namespace {

constexpr std::uint64_t T0 = 1000;
constexpr std::uint32_t kCpu = 2500000;

// A channel that shows the sound parameters (and can pose as another kind,
// as the sound channel does).
class ProbeChannel : public tTimer_i8254_Channel {
public:
    explicit ProbeChannel(std::uint8_t kind = kKindPlain, bool keepPhase = false) {
        kind_ = kind;
        keepPhase_ = keepPhase ? 1 : 0;
    }
    // True once after the sound parameters changed.
    bool TakeChanged() {
        const bool c = soundChanged_ != 0;
        soundChanged_ = 0;
        return c;
    }
    std::uint8_t Level() const { return soundLevel_; }
    double High() const { return highFraction_; }
    double Low() const { return lowFraction_; }
    double LaterHigh() const { return laterHighFraction_; }
    double LaterLow() const { return laterLowFraction_; }
};

// A timer whose channels are all probes.
struct ProbeTimer {
    tTimer_i8254 timer;
    ProbeChannel* ch[3];
    explicit ProbeTimer(bool keepPhase = false) {
        for (int i = 0; i < 3; ++i) {
            auto p = std::make_unique<ProbeChannel>(tTimer_i8254_Channel::kKindPlain, keepPhase);
            ch[i] = p.get();
            timer.InstallChannel(i, std::move(p));
            ch[i]->SetGate(1);
            ch[i]->SetOutputEnable(1);
        }
        timer.SetCpuClock(kCpu);
    }
};

std::unique_ptr<tTimer_i8254> MakeTimer() {
    auto t = std::make_unique<tTimer_i8254>();
    t->SetCpuClock(kCpu);
    return t;
}

// Control word for channel i, LSB then MSB, `mode`, binary or BCD.
std::uint8_t Control(int i, int mode, bool bcd = false) {
    return static_cast<std::uint8_t>((i << 6) | 0x30 | (mode << 1) | (bcd ? 1 : 0));
}

void Program(tTimer_i8254& t, int i, int mode, std::uint16_t count, std::uint64_t now) {
    t.WriteControl(Control(i, mode), now);
    t.WriteCount(i, static_cast<std::uint8_t>(count & 0xFF), now);
    t.WriteCount(i, static_cast<std::uint8_t>(count >> 8), now);
}

// Reads LSB then MSB of channel i (unlatched unless a latch is pending).
int Read16(tTimer_i8254& t, int i, std::uint64_t now) {
    const int lo = t.ReadCount(i, now);
    const int hi = t.ReadCount(i, now);
    return lo | (hi << 8);
}

int OutAt(tTimer_i8254& t, int i, std::uint64_t now) {
    t.Channel(i)->Advance(-1, now);
    return t.Channel(i)->Out();
}

TEST(TimerTest, SquareWaveMode3) {
    auto t = MakeTimer();
    Program(*t, 0, 3, 1024, T0);
    auto* ch = t->Channel(0);
    EXPECT_EQ(ch->Mode(), 3);
    EXPECT_DOUBLE_EQ(ch->Period(), 1280.0);
    EXPECT_TRUE(ch->SquareWave());
    EXPECT_EQ(Read16(*t, 0, T0 + 320), 768);
    EXPECT_EQ(OutAt(*t, 0, T0 + 640), 1);
    EXPECT_EQ(OutAt(*t, 0, T0 + 641), 0);
    EXPECT_EQ(OutAt(*t, 0, T0 + 1279), 0);
    ch->ClearEvent();
    EXPECT_EQ(OutAt(*t, 0, T0 + 1280), 1);
    EXPECT_TRUE(ch->Event());
    EXPECT_EQ(Read16(*t, 0, T0 + 1280 + 320), 768);
    // The count runs from N down to 1, never 0, and wraps with the period.
    EXPECT_EQ(Read16(*t, 0, T0 + 1279), 1);
    EXPECT_EQ(Read16(*t, 0, T0 + 5 * 1280), 1024);

    // Odd N = 5: high for 3/5 of the period, low for 2/5. A fast processor
    // clock gives 100 cycles per input clock.
    ProbeTimer p;
    p.timer.SetCpuClock(200000000);
    Program(p.timer, 1, 7, 5, T0);  // mode 7 acts as mode 3
    EXPECT_EQ(p.ch[1]->Mode(), 3);
    EXPECT_DOUBLE_EQ(p.ch[1]->Period(), 500.0);
    EXPECT_EQ(OutAt(p.timer, 1, T0 + 300), 1);
    EXPECT_EQ(OutAt(p.timer, 1, T0 + 301), 0);
    EXPECT_EQ(OutAt(p.timer, 1, T0 + 499), 0);
    EXPECT_EQ(OutAt(p.timer, 1, T0 + 500), 1);
    EXPECT_EQ(Read16(p.timer, 1, T0 + 100), 4);
    EXPECT_EQ(p.ch[1]->Level(), 1);
    EXPECT_DOUBLE_EQ(p.ch[1]->High(), 0.6);
    EXPECT_DOUBLE_EQ(p.ch[1]->Low(), 0.4);
    EXPECT_DOUBLE_EQ(p.ch[1]->LaterHigh(), 0.6);
    EXPECT_TRUE(p.ch[1]->TakeChanged());

    // Count 0 stops the channel: CE 0, OUT high, no square wave.
    Program(*t, 2, 3, 0, T0);
    EXPECT_EQ(Read16(*t, 2, T0 + 777), 0);
    EXPECT_EQ(t->Channel(2)->Out(), 1);
    EXPECT_FALSE(t->Channel(2)->SquareWave());
    EXPECT_DOUBLE_EQ(t->Channel(2)->Period(), 0.0);
    // A count of 0 is never loaded: the null count bit stays set.
    EXPECT_TRUE(t->Channel(2)->NullCount());
    t->WriteControl(0xE8, T0 + 800);  // read-back, status of channel 2
    EXPECT_EQ(t->ReadCount(2, T0 + 800), 0xF6);
}

TEST(TimerTest, RateGeneratorMode2AndNewCountAtPeriodEnd) {
    ProbeTimer p;
    tTimer_i8254& t = p.timer;
    Program(t, 0, 2, 100, T0);  // period 125 cycles
    EXPECT_EQ(OutAt(t, 0, T0 + 1), 1);
    // On an input clock edge the count is exact: 55 cycles = 44 clocks,
    // 120 cycles = 96 clocks (not one more from rounding).
    EXPECT_EQ(Read16(t, 0, T0 + 55), 56);
    EXPECT_EQ(Read16(t, 0, T0 + 120), 4);
    EXPECT_EQ(Read16(t, 0, T0 + 125 + 90), 28);
    EXPECT_EQ(Read16(t, 0, T0 + 124), 1);
    EXPECT_EQ(t.Channel(0)->Out(), 0);  // low while the count is 1
    p.ch[0]->ClearEvent();
    EXPECT_EQ(OutAt(t, 0, T0 + 125), 1);
    EXPECT_TRUE(p.ch[0]->Event());
    EXPECT_DOUBLE_EQ(p.ch[0]->High(), 0.99);
    EXPECT_DOUBLE_EQ(p.ch[0]->Low(), 0.01);

    // A new count written in the fourth period waits for its end.
    t.WriteCount(0, 40, T0 + 425);
    t.WriteCount(0, 0, T0 + 425);
    EXPECT_TRUE(p.ch[0]->NullCount());
    EXPECT_EQ(Read16(t, 0, T0 + 435), 52);
    EXPECT_EQ(OutAt(t, 0, T0 + 499), 0);
    // From T0 + 500 the period is 40 clocks = 50 cycles.
    EXPECT_EQ(Read16(t, 0, T0 + 525), 20);
    EXPECT_FALSE(p.ch[0]->NullCount());
    EXPECT_DOUBLE_EQ(p.ch[0]->Period(), 50.0);
    EXPECT_EQ(OutAt(t, 0, T0 + 549), 0);
    EXPECT_EQ(OutAt(t, 0, T0 + 550), 1);

    // A falling gate stops the count with OUT high; the rising gate
    // restarts it from the count register.
    Program(t, 1, 2, 100, T0);
    EXPECT_EQ(Read16(t, 1, T0 + 124), 1);
    EXPECT_EQ(p.ch[1]->Out(), 0);
    p.ch[1]->ClearEvent();
    p.ch[1]->SetGate(0);
    EXPECT_EQ(p.ch[1]->Out(), 1);
    EXPECT_TRUE(p.ch[1]->Event());
    EXPECT_EQ(p.ch[1]->LoadedCount(), 0);
    EXPECT_EQ(Read16(t, 1, T0 + 200), 1);  // CE held while the gate is low
    EXPECT_EQ(p.ch[1]->Out(), 1);
    p.ch[1]->SetGate(1);
    EXPECT_EQ(Read16(t, 1, T0 + 300), 100);
    EXPECT_EQ(Read16(t, 1, T0 + 350), 60);
}

TEST(TimerTest, InterruptOnTerminalCountMode0) {
    auto t = MakeTimer();
    auto* ch = t->Channel(0);
    t->WriteControl(Control(0, 0), T0);
    EXPECT_TRUE(ch->WaitingForCount());
    EXPECT_EQ(ch->Out(), 0);
    t->WriteCount(0, 100, T0 + 5);
    EXPECT_EQ(Read16(*t, 0, T0 + 8), 0);
    EXPECT_EQ(ch->Out(), 0);
    t->WriteCount(0, 0, T0 + 10);  // count complete: loads now
    EXPECT_FALSE(ch->WaitingForCount());
    EXPECT_EQ(Read16(*t, 0, T0 + 10 + 62), 51);
    EXPECT_EQ(ch->Out(), 0);
    EXPECT_FALSE(ch->Event());
    EXPECT_EQ(OutAt(*t, 0, T0 + 134), 0);
    EXPECT_EQ(OutAt(*t, 0, T0 + 135), 1);
    EXPECT_TRUE(ch->Event());
    EXPECT_EQ(Read16(*t, 0, T0 + 10000), 0);
    EXPECT_EQ(ch->Out(), 1);
    EXPECT_DOUBLE_EQ(ch->Period(), 0.0);

    // A new count restarts it with OUT low.
    t->WriteCount(0, 200, T0 + 10000);
    t->WriteCount(0, 0, T0 + 10000);
    EXPECT_EQ(ch->Out(), 0);
    EXPECT_EQ(Read16(*t, 0, T0 + 10000), 200);
    // Only the LSB of the next count: CE and OUT hold until the MSB.
    t->WriteCount(0, 0x10, T0 + 10100);
    EXPECT_EQ(Read16(*t, 0, T0 + 10200), 120);
    EXPECT_EQ(Read16(*t, 0, T0 + 10400), 120);
    EXPECT_EQ(ch->Out(), 0);
    t->WriteCount(0, 0x00, T0 + 10400);
    EXPECT_EQ(Read16(*t, 0, T0 + 10410), 8);

    // A low gate holds CE and OUT.
    Program(*t, 1, 0, 1000, T0);
    auto* c1 = t->Channel(1);
    EXPECT_EQ(Read16(*t, 1, T0 + 125), 900);
    c1->SetGate(0);
    EXPECT_EQ(Read16(*t, 1, T0 + 5000), 900);
    EXPECT_EQ(c1->Out(), 0);

    // Count 0 stops the channel with OUT high and is never loaded: the
    // status keeps showing null count until a real count loads.
    auto* c2 = t->Channel(2);
    Program(*t, 2, 0, 0, T0 + 20000);
    EXPECT_EQ(OutAt(*t, 2, T0 + 20100), 1);
    EXPECT_EQ(Read16(*t, 2, T0 + 20100), 0);
    EXPECT_TRUE(c2->NullCount());
    t->WriteControl(0xE8, T0 + 20200);
    EXPECT_EQ(t->ReadCount(2, T0 + 20200), 0xF0);  // OUT 1, null count, control 0x30
    t->WriteCount(2, 100, T0 + 20300);
    t->WriteCount(2, 0, T0 + 20300);
    EXPECT_FALSE(c2->NullCount());
    EXPECT_EQ(c2->Out(), 0);
    EXPECT_EQ(Read16(*t, 2, T0 + 20300 + 25), 80);
}

TEST(TimerTest, OneShotAndStrobeModes) {
    ProbeTimer p;
    tTimer_i8254& t = p.timer;
    // Mode 1 waits for a rising gate.
    Program(t, 0, 1, 100, T0);
    EXPECT_EQ(p.ch[0]->Out(), 1);
    EXPECT_EQ(Read16(t, 0, T0 + 500), 0);
    EXPECT_EQ(p.ch[0]->Out(), 1);
    p.ch[0]->SetGate(0);
    p.ch[0]->SetGate(1);
    p.ch[0]->Advance(-1, T0 + 1000);  // the trigger loads here
    EXPECT_EQ(Read16(t, 0, T0 + 1025), 80);
    EXPECT_EQ(p.ch[0]->Out(), 0);
    EXPECT_EQ(p.ch[0]->Level(), 0);
    EXPECT_DOUBLE_EQ(p.ch[0]->Low(), 1.0);
    EXPECT_LT(p.ch[0]->LaterHigh(), 0);  // then high for ever
    EXPECT_EQ(OutAt(t, 0, T0 + 1125), 1);
    EXPECT_EQ(Read16(t, 0, T0 + 1200), 0);
    // Retriggered: a full new period from the new trigger.
    p.ch[0]->SetGate(0);
    p.ch[0]->SetGate(1);
    EXPECT_EQ(Read16(t, 0, T0 + 2000), 100);
    EXPECT_EQ(p.ch[0]->Out(), 0);

    // Mode 4: high while counting, low for one clock, then high again.
    Program(t, 1, 4, 100, T0);  // period (N + 1) clocks = 126.25 cycles
    p.ch[1]->ClearEvent();
    EXPECT_EQ(OutAt(t, 1, T0 + 126), 1);
    EXPECT_EQ(OutAt(t, 1, T0 + 127), 0);
    EXPECT_EQ(OutAt(t, 1, T0 + 128), 1);
    EXPECT_TRUE(p.ch[1]->Event());
    EXPECT_EQ(OutAt(t, 1, T0 + 5000), 1);
    EXPECT_DOUBLE_EQ(p.ch[1]->Period(), 0.0);
    EXPECT_EQ(p.ch[1]->Level(), 1);
    EXPECT_DOUBLE_EQ(p.ch[1]->High(), 100.0 / 101.0);
    // Count 0 stops the channel instead of strobing for ever.
    Program(t, 1, 4, 0, T0 + 6000);
    EXPECT_EQ(OutAt(t, 1, T0 + 6001), 1);
    EXPECT_EQ(OutAt(t, 1, T0 + 9000), 1);
    EXPECT_EQ(Read16(t, 1, T0 + 9000), 0);

    // Mode 5: the same strobe, started by a rising gate.
    Program(t, 2, 5, 100, T0);
    EXPECT_EQ(OutAt(t, 2, T0 + 500), 1);
    EXPECT_EQ(Read16(t, 2, T0 + 500), 0);
    p.ch[2]->SetGate(0);
    p.ch[2]->SetGate(1);
    p.ch[2]->Advance(-1, T0 + 1000);
    EXPECT_EQ(Read16(t, 2, T0 + 1000 + 25), 81);  // ceil(100 - 25 * 100 / 126.25)
    EXPECT_EQ(OutAt(t, 2, T0 + 1126), 1);
    EXPECT_EQ(OutAt(t, 2, T0 + 1127), 0);
    EXPECT_EQ(OutAt(t, 2, T0 + 1128), 1);
}

TEST(TimerTest, LatchReadBackAndReadWriteModes) {
    auto t = MakeTimer();
    Program(*t, 1, 2, 1000, T0);
    // Counter latch; a second latch before reading is ignored.
    t->WriteControl(0x40, T0 + 125);
    t->WriteControl(0x40, T0 + 250);
    EXPECT_EQ(Read16(*t, 1, T0 + 400), 900);
    EXPECT_EQ(Read16(*t, 1, T0 + 250), 800);  // unlatched again

    // Read-back of COUNT and STATUS: status first, then the count.
    t->WriteControl(0xC4, T0 + 375);
    EXPECT_EQ(t->ReadCount(1, T0 + 999), 0xB4);  // OUT 1, count loaded, control 0x34
    EXPECT_EQ(Read16(*t, 1, T0 + 999), 700);
    // Read-back is ignored while something is latched.
    t->WriteControl(0x40, T0 + 500);
    t->WriteControl(0xC4, T0 + 600);
    EXPECT_EQ(Read16(*t, 1, T0 + 600), 600);
    // Status alone: after it the count reads live again. A count written
    // and not yet loaded shows as null count.
    t->WriteCount(1, 0x10, T0 + 600);
    t->WriteCount(1, 0x00, T0 + 600);
    t->WriteControl(0xE4, T0 + 610);
    EXPECT_EQ(t->ReadCount(1, T0 + 610), 0xF4);
    EXPECT_EQ(Read16(*t, 1, T0 + 625), 500);

    // Read-back reaches every channel its bits 1-3 select.
    Program(*t, 0, 0, 100, T0);
    Program(*t, 2, 3, 100, T0);
    t->WriteControl(0xDA, T0 + 25);  // count of channels 0 and 2
    EXPECT_EQ(Read16(*t, 0, T0 + 60), 80);
    EXPECT_EQ(Read16(*t, 2, T0 + 60), 80);
    EXPECT_EQ(Read16(*t, 1, T0 + 625), 500);  // channel 1 was not latched

    // LSB only and MSB only.
    t->WriteControl(0x14, T0);  // channel 0, LSB, mode 2
    t->WriteCount(0, 0x80, T0);
    EXPECT_EQ(t->Channel(0)->CountRegister(), 0x80);
    EXPECT_EQ(t->ReadCount(0, T0 + 10), 0x78);  // 128 - 8
    EXPECT_EQ(t->ReadCount(0, T0 + 20), 0x70);
    t->WriteControl(0x24, T0);  // channel 0, MSB, mode 2
    t->WriteCount(0, 0x04, T0);
    EXPECT_EQ(t->Channel(0)->CountRegister(), 0x400);
    EXPECT_EQ(t->ReadCount(0, T0 + 320), 0x03);  // 1024 - 256 = 0x300
    // Latched reads follow the same read mode.
    t->WriteControl(0x00, T0 + 320);
    EXPECT_EQ(t->ReadCount(0, T0 + 400), 0x03);
    EXPECT_EQ(t->ReadCount(0, T0 + 400), 0x02);  // live again: 1024 - 320
}

TEST(TimerTest, BcdCounting) {
    auto t = MakeTimer();
    t->WriteControl(Control(0, 0, true), T0);
    t->WriteCount(0, 0x12, T0);
    t->WriteCount(0, 0x34, T0);
    EXPECT_EQ(t->Channel(0)->CountRegister(), 3412);
    EXPECT_EQ(t->Channel(0)->LoadedCount(), 3412);
    EXPECT_EQ(t->ReadCount(0, T0), 0x12);
    EXPECT_EQ(t->ReadCount(0, T0), 0x34);
    // 1000 clocks later: 2412.
    t->WriteControl(0x00, T0 + 1250);
    EXPECT_EQ(t->ReadCount(0, T0 + 2000), 0x12);
    EXPECT_EQ(t->ReadCount(0, T0 + 2000), 0x24);

    // Nibbles above 9: A counts as 0 ... F as 5.
    t->WriteControl(Control(1, 2, true), T0);
    t->WriteCount(1, 0xFA, T0);
    t->WriteCount(1, 0x01, T0);
    EXPECT_EQ(t->Channel(1)->CountRegister(), 150);

}

TEST(TimerTest, OutputEventsAndEnable) {
    auto t = MakeTimer();
    auto* ch2 = t->Channel(2);
    EXPECT_EQ(ch2->Gate(), 1);
    EXPECT_EQ(ch2->OutputEnable(), 1);
    // Mode 3 leaves OUT as it was until the channel is next updated.
    t->WriteControl(Control(2, 3), T0);
    EXPECT_EQ(ch2->Out(), 0);
    EXPECT_FALSE(ch2->Event());
    Program(*t, 2, 3, 100, T0);  // OUT rises when the count loads
    EXPECT_TRUE(ch2->Event());
    ch2->ClearEvent();
    t->Advance(50, T0 + 100);
    EXPECT_EQ(ch2->Out(), 0);
    EXPECT_FALSE(ch2->Event());
    t->Advance(49, T0 + 125);
    EXPECT_TRUE(ch2->Event());
    ch2->ClearEvent();
    // With output enable 0 the rising edge raises nothing.
    ch2->SetOutputEnable(0);
    t->Advance(48, T0 + 200);
    EXPECT_EQ(ch2->Out(), 0);
    t->Advance(47, T0 + 250);
    EXPECT_EQ(ch2->Out(), 1);
    EXPECT_FALSE(ch2->Event());
    // Reset keeps gate and output enable and raises no event.
    ch2->SetGate(0);
    t->Reset();
    EXPECT_EQ(ch2->Gate(), 0);
    EXPECT_EQ(ch2->OutputEnable(), 0);
    EXPECT_EQ(ch2->Out(), 0);
    EXPECT_EQ(ch2->CpuClock(), tTimer_i8254_Channel::kDefaultClock);
    EXPECT_EQ(ch2->Mode(), -1);
    EXPECT_FALSE(ch2->Event());
}

// The machine updates the channels once per 500-cycle slice. The rising
// edges at the ends of the periods of modes 2 and 3 must still each be
// seen, even when the low phase (one input clock in mode 2) falls between
// two updates.
TEST(TimerTest, PeriodEdgesBetweenSliceUpdatesAreNotLost) {
    auto t = MakeTimer();
    auto* ch2 = t->Channel(2);
    auto countEvents = [&](std::uint64_t from, int slices) {
        int events = 0;
        for (int i = 1; i <= slices; ++i) {
            t->Advance(99, from + static_cast<std::uint64_t>(i) * 500);
            if (ch2->Event()) ++events;
            ch2->ClearEvent();
        }
        return events;
    };
    // Mode 2, N = 1000: a period of 1250 cycles; 50 slices hold 20 periods.
    Program(*t, 2, 2, 1000, T0);
    ch2->ClearEvent();
    EXPECT_EQ(countEvents(T0, 50), 20);
    // Mode 3 with a period shorter than a slice: an edge in every slice.
    const std::uint64_t t1 = T0 + 50 * 500;
    Program(*t, 2, 3, 100, t1);
    ch2->ClearEvent();
    EXPECT_EQ(countEvents(t1, 10), 10);
    // Output enable 0: the edges raise nothing.
    ch2->SetOutputEnable(0);
    EXPECT_EQ(countEvents(t1 + 10 * 500, 10), 0);
    // A new count taking over at a period end still counts that edge.
    ch2->SetOutputEnable(1);
    const std::uint64_t t2 = t1 + 20 * 500;
    Program(*t, 2, 2, 1000, t2);
    ch2->ClearEvent();
    t->Advance(99, t2 + 1000);
    EXPECT_FALSE(ch2->Event());
    t->WriteCount(2, 0xD0, t2 + 1100);
    t->WriteCount(2, 0x07, t2 + 1100);  // 2000, from the end of this period
    t->Advance(99, t2 + 1300);
    EXPECT_TRUE(ch2->Event());
    EXPECT_EQ(ch2->LoadedCount(), 2000);

    // A timer restored from a snapshot taken right after an update counts
    // the same edges from there on as the one that ran on.
    const std::uint64_t t3 = t2 + 1500;
    t->Advance(99, t3);
    ch2->ClearEvent();
    tByteStream saved;
    ASSERT_TRUE(t->SaveState(saved));
    auto restored = MakeTimer();
    saved.Seek(0);
    ASSERT_TRUE(restored->LoadState(saved));
    restored->SyncPeriods(t3);
    int ranOn = 0, afterLoad = 0;
    for (int i = 1; i <= 40; ++i) {
        const std::uint64_t now = t3 + static_cast<std::uint64_t>(i) * 500;
        t->Advance(99, now);
        restored->Advance(99, now);
        ranOn += ch2->Event() ? 1 : 0;
        afterLoad += restored->Channel(2)->Event() ? 1 : 0;
        ch2->ClearEvent();
        restored->Channel(2)->ClearEvent();
    }
    EXPECT_EQ(ranOn, 8);  // 20000 cycles of 2500-cycle periods
    EXPECT_EQ(afterLoad, ranOn);
}

TEST(TimerTest, SoundParametersFollowTheMode) {
    ProbeTimer plain(false);
    ProbeTimer sound(true);
    for (ProbeTimer* p : {&plain, &sound}) {
        Program(p->timer, 0, 3, 1000, T0);
        EXPECT_TRUE(p->ch[0]->TakeChanged());
        p->ch[0]->Advance(99, T0 + 10);
        EXPECT_FALSE(p->ch[0]->TakeChanged());  // nothing new: no restart
        // The same count rewritten: the sound channel keeps its phase.
        p->timer.WriteCount(0, 1000 & 0xFF, T0 + 2000);
        p->timer.WriteCount(0, 1000 >> 8, T0 + 2000);
        p->ch[0]->Advance(98, T0 + 3000);
        EXPECT_EQ(p->ch[0]->TakeChanged(), p == &plain);
    }
    ProbeChannel& ch = *sound.ch[0];
    // A different count always restarts.
    sound.timer.WriteCount(0, 0xF4, T0 + 4000);
    sound.timer.WriteCount(0, 0x00, T0 + 4000);
    ch.Advance(97, T0 + 5300);
    EXPECT_TRUE(ch.TakeChanged());
    EXPECT_DOUBLE_EQ(ch.High(), 0.5);
    // Gate low: constant high, square wave off; each shares -1.
    ch.SetGate(0);
    ch.Advance(96, T0 + 6000);
    EXPECT_TRUE(ch.TakeChanged());
    EXPECT_FALSE(ch.SquareWave());
    EXPECT_EQ(ch.Level(), 1);
    EXPECT_LT(ch.High(), 0);
    EXPECT_LT(ch.Low(), 0);
    ch.Advance(95, T0 + 6500);
    EXPECT_FALSE(ch.TakeChanged());
    // Mode 0 while waiting for its count: constant low.
    sound.timer.WriteControl(Control(0, 0), T0 + 7000);
    ch.Advance(94, T0 + 7000);
    EXPECT_TRUE(ch.TakeChanged());
    EXPECT_EQ(ch.Level(), 0);
    EXPECT_LT(ch.LaterLow(), 0);
}

TEST(TimerTest, ChannelInstallAndAbsentChannels) {
    tTimer_i8254 t;
    auto probe = std::make_unique<ProbeChannel>(tTimer_i8254_Channel::kKindSound, true);
    ProbeChannel* raw = probe.get();
    t.InstallChannel(0, std::move(probe));
    EXPECT_EQ(t.Channel(0), raw);
    EXPECT_EQ(t.Channel(0)->Kind(), tTimer_i8254_Channel::kKindSound);
    EXPECT_EQ(t.Channel(3), nullptr);
    EXPECT_EQ(t.Channel(-1), nullptr);
    t.InstallChannel(1, nullptr);
    EXPECT_EQ(t.Channel(1), nullptr);
    t.WriteControl(0x74, T0);  // channel 1 absent: ignored
    t.WriteCount(1, 5, T0);
    EXPECT_EQ(t.ReadCount(1, T0), 0);
    t.Advance(0, T0);
    t.SetCpuClock(kCpu);
    EXPECT_EQ(raw->CpuClock(), kCpu);
    t.InstallChannel(5, std::make_unique<tTimer_i8254_Channel>());  // ignored, freed
    EXPECT_EQ(t.Channel(2)->Kind(), tTimer_i8254_Channel::kKindPlain);
}

// Channel block layout and the timer's kind bytes.
TEST(TimerTest, SnapshotLayoutAndRoundTrip) {
    auto t = MakeTimer();
    Program(*t, 0, 3, 1024, T0);
    Program(*t, 1, 2, 0x1234, T0);
    Program(*t, 2, 0, 500, T0);
    t->WriteControl(0x80, T0 + 320);  // latch channel 2
    t->Advance(10, T0 + 320);

    tByteStream s;
    ASSERT_TRUE(t->SaveState(s));
    ASSERT_EQ(s.Size(), 3 * (1 + tTimer_i8254_Channel::kStateSize));
    const auto& d = s.Data();
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(d[81], 0);
    EXPECT_EQ(d[162], 0);
    const std::uint8_t* c1 = d.data() + 82;  // channel 1's block
    EXPECT_EQ(c1[0] | (c1[1] << 8), 0x1234);  // CR
    EXPECT_EQ(c1[8], 0x74);                   // control word
    EXPECT_EQ(c1[10], 1);                     // gate
    EXPECT_EQ(c1[11], 1);                     // output enable
    auto u32 = [](const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); };
    EXPECT_EQ(u32(c1 + 15), 2000000u);  // channel clock
    EXPECT_EQ(u32(c1 + 19), kCpu);      // processor clock
    double start = 0, period = 0;
    std::memcpy(&start, c1 + 23, 8);
    std::memcpy(&period, c1 + 33, 8);
    EXPECT_DOUBLE_EQ(start, double(T0));
    EXPECT_DOUBLE_EQ(period, 0x1234 * 1.25);
    EXPECT_EQ(c1[31] | (c1[32] << 8), 0x1234);  // N
    const std::uint8_t* c0 = d.data() + 1;
    EXPECT_EQ(c0[79], 1);  // square wave
    const std::uint8_t* c2 = d.data() + 163;
    EXPECT_EQ(c2[9], 1);                        // latched
    EXPECT_EQ(c2[4] | (c2[5] << 8), 500 - 256);  // OL

    // Loaded into a timer with a different history, it goes on the same.
    auto u = MakeTimer();
    Program(*u, 1, 4, 7, 50);
    u->Channel(0)->SetOutputEnable(0);
    s.Seek(0);
    ASSERT_TRUE(u->LoadState(s));
    tByteStream again;
    ASSERT_TRUE(u->SaveState(again));
    EXPECT_EQ(again.Data(), s.Data());
    EXPECT_EQ(u->Channel(0)->Mode(), 3);
    EXPECT_EQ(u->Channel(0)->OutputEnable(), 1);
    for (std::uint64_t now : {T0 + 400, T0 + 900, T0 + 2000}) {
        for (int i = 0; i < 3; ++i) EXPECT_EQ(Read16(*u, i, now), Read16(*t, i, now)) << i << " " << now;
    }
}

TEST(TimerTest, SnapshotKindsAndRefusals) {
    auto plain = MakeTimer();
    Program(*plain, 0, 3, 100, T0);
    tByteStream s;
    ASSERT_TRUE(plain->SaveState(s));

    // Kind 0 over an installed sound-kind channel replaces it.
    tTimer_i8254 t;
    t.InstallChannel(0, std::make_unique<ProbeChannel>(tTimer_i8254_Channel::kKindSound, true));
    s.Seek(0);
    ASSERT_TRUE(t.LoadState(s));
    EXPECT_EQ(t.Channel(0)->Kind(), tTimer_i8254_Channel::kKindPlain);
    EXPECT_EQ(dynamic_cast<ProbeChannel*>(t.Channel(0)), nullptr);
    EXPECT_EQ(t.Channel(0)->LoadedCount(), 100);

    // Kind 255 removes a channel.
    auto noChannel = s.Data();
    noChannel.erase(noChannel.begin() + 82, noChannel.begin() + 162);
    noChannel[81] = 255;
    tByteStream s2(noChannel);
    ASSERT_TRUE(t.LoadState(s2));
    EXPECT_EQ(t.Channel(1), nullptr);
    EXPECT_NE(t.Channel(2), nullptr);
    // Saving it again writes 255 and no block.
    tByteStream s3;
    ASSERT_TRUE(t.SaveState(s3));
    EXPECT_EQ(s3.Data(), noChannel);

    // A kind this timer cannot make: refused, the channel removed.
    auto soundKind = s.Data();
    soundKind[0] = 1;
    tTimer_i8254 u;
    tByteStream s4(soundKind);
    EXPECT_FALSE(u.LoadState(s4));
    EXPECT_EQ(u.Channel(0), nullptr);

    // A timer that knows the kind makes one and reads its block.
    struct KindTimer : tTimer_i8254 {
        std::unique_ptr<tTimer_i8254_Channel> CreateChannel(std::uint8_t kind) override {
            if (kind == tTimer_i8254_Channel::kKindSound)
                return std::make_unique<ProbeChannel>(tTimer_i8254_Channel::kKindSound, true);
            return tTimer_i8254::CreateChannel(kind);
        }
    } k;
    tByteStream s5(soundKind);
    ASSERT_TRUE(k.LoadState(s5));
    ASSERT_NE(dynamic_cast<ProbeChannel*>(k.Channel(0)), nullptr);
    EXPECT_EQ(k.Channel(0)->LoadedCount(), 100);

    // A short stream: false; the channels read so far keep what they read.
    auto cut = s.Data();
    cut.resize(81 + 40);
    tTimer_i8254 v;
    tByteStream s6(cut);
    EXPECT_FALSE(v.LoadState(s6));
    EXPECT_EQ(v.Channel(0)->LoadedCount(), 100);
    EXPECT_EQ(v.Channel(1)->Mode(), -1);

    // A block with an impossible period is refused and leaves the channel
    // reset rather than computing with it.
    auto nan = s.Data();
    const double bad = std::nan("");
    std::memcpy(nan.data() + 1 + 33, &bad, 8);
    tTimer_i8254 w;
    tByteStream s7(nan);
    EXPECT_FALSE(w.LoadState(s7));
    EXPECT_EQ(w.Channel(0)->Mode(), -1);
    EXPECT_EQ(w.ReadCount(0, T0), 0);
}

}  // namespace
}  // namespace velgard

namespace velgard {
namespace {

// A count loads on the chip's next input clock after the write, not at the
// machine's next update: the count read afterwards runs from the write.
TEST(TimerTest, ANewCountLoadsAtTheWriteNotAtTheNextUpdate) {
    for (int mode : {0, 2, 3, 4}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        auto t = MakeTimer();
        tTimer_i8254_Channel* c = t->Channel(1);
        c->SetGate(1);
        Program(*t, 1, mode, 1000, T0);
        // Read back at the very cycle of the write: loaded, null count clear.
        t->WriteControl(0xE4, T0);
        const std::uint8_t status = t->ReadCount(1, T0);
        EXPECT_EQ(status & 0x40, 0) << "null count";
        EXPECT_EQ(status & 0x3F, Control(1, mode) & 0x3F);
        EXPECT_FALSE(c->NullCount());
        EXPECT_EQ(Read16(*t, 1, T0), 1000) << "N right after loading";
        // 300 cycles (240 input clocks) later, with no update in between:
        // counted from the write, not loaded by this read (which would
        // show 1000). Mode 4 spreads N over its N + 1 clocks.
        const int expected = mode == 4 ? 761 : 760;
        EXPECT_EQ(Read16(*t, 1, T0 + 300), expected);
    }

    // Mode 2 running: a new count waits for the end of the period with the
    // null-count bit set, then loads at that end even if nothing looks in
    // between.
    auto t = MakeTimer();
    Program(*t, 1, 2, 1000, T0);  // period: 1250 cycles
    t->WriteCount(1, 100, T0 + 500);
    t->WriteCount(1, 0, T0 + 500);
    t->WriteControl(0xE4, T0 + 501);
    EXPECT_EQ(t->ReadCount(1, T0 + 501) & 0x40, 0x40) << "written, not yet loaded";
    EXPECT_EQ(Read16(*t, 1, T0 + 625), 500) << "the old count runs on";
    // The period ended at T0 + 1250; 50 cycles (40 clocks) into the new one.
    EXPECT_EQ(Read16(*t, 1, T0 + 1300), 60);
    t->WriteControl(0xE4, T0 + 1300);
    EXPECT_EQ(t->ReadCount(1, T0 + 1300) & 0x40, 0);
}

}  // namespace
}  // namespace velgard
