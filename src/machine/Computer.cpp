// The machine: processor, bus callbacks and the emulation loop with its
// real-time pacing.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "devices/PIC_I8259A.h"
#include "devices/SoundChannel.h"
#include "devices/TIMER_I8253.h"
#include "disk/FDC_WD279X.h"
#include "graphics/BMMBitmap.h"
#include "graphics/BMMCanvas2D.h"
#include "machine/EmuKorvet.h"
#include "machine/Host.h"

namespace velgard {

namespace {
constexpr std::int32_t kMaxSkippedInARow = 5;
constexpr double kFactorStart = 0.9;
constexpr double kFactorMin = 0.1;
constexpr double kFactorDown = 0.02;
constexpr double kFactorUp = 0.05;
}  // namespace

tComputer_I8080_Korvet::tComputer_I8080_Korvet(tHost& host) : host_(host) {
    memory_ = std::make_unique<tMemory_Korvet64Kb>(*this, host_);
    clock_ = 2500000;
    sync_ = true;
    running_ = stopRequested_ = paused_ = resynchronise_ = false;
    sliceCount_ = 0;
    stateFile_ = DefaultStateFilePath();
    cyclesPerSlice_ = clock_ / (kFramesPerSecond * kSlicesPerFrame);
    // round(100 x 0.1628) - 1, rounding half to even, never below 0.
    retraceSlices_ = std::max<std::int32_t>(
        0, static_cast<std::int32_t>(std::nearbyint(kSlicesPerFrame * kRetraceShare)) - 1);
    SetCpuKind(kCpuI8080);
}

tComputer_I8080_Korvet::~tComputer_I8080_Korvet() {
    cpuState_.reset();
    memory_.reset();
}

// ---- Processor -------------------------------------------------------------

std::uint8_t tComputer_I8080_Korvet::BusRead(CpuState* s, std::uint16_t address) {
    return static_cast<tComputer_I8080_Korvet*>(s->Owner)->memory_->Read(address);
}

void tComputer_I8080_Korvet::BusWrite(CpuState* s, std::uint16_t address, std::uint8_t value) {
    static_cast<tComputer_I8080_Korvet*>(s->Owner)->memory_->Write(address, value);
}

// The Korvet's devices are all memory-mapped: port reads give 0 and port
// writes reach nothing.
std::uint8_t tComputer_I8080_Korvet::BusPortRead(CpuState*, std::uint8_t) { return 0; }
void tComputer_I8080_Korvet::BusPortWrite(CpuState*, std::uint8_t, std::uint8_t) {}

bool tComputer_I8080_Korvet::BusInterruptAck(CpuState* s, std::uint16_t* address) {
    return static_cast<tComputer_I8080_Korvet*>(s->Owner)->memory_->Pic().Acknowledge(*address);
}

void tComputer_I8080_Korvet::SetCpuKind(std::uint8_t kind) {
    cpuState_.reset();
    cpuKind_ = InstallCore(entries_, kind == kCpuZ80 ? kCpuZ80 : kCpuI8080);
    cpuState_ = std::make_unique<CpuState>();
    cpuState_->Entries = &entries_;
    cpuState_->Owner = this;
    entries_.ReadMemory = BusRead;
    entries_.WriteMemory = BusWrite;
    entries_.ReadPort = BusPortRead;
    entries_.WritePort = BusPortWrite;
    entries_.FetchByte = BusRead;
    entries_.InterruptAck = BusInterruptAck;
    AttachFastPaths();
}

void tComputer_I8080_Korvet::AttachFastPaths() {
    // Plain RAM and ROM pages are read and written by the core directly, and
    // the interrupt controller's pending flag spares it the acknowledge call
    // while nothing is to be taken; the callbacks behave the same.
    CpuState* cpu = cpuState_.get();
    cpu->ReadPages = memory_->DirectReadPages();
    cpu->WritePages = memory_->DirectWritePages();
    cpu->InterruptPending = memory_->Pic().PendingFlag();
}

// ---- Run control -----------------------------------------------------------

void tComputer_I8080_Korvet::NotifyStateChange() {
    if (onStateChange_) onStateChange_(*this);
}

void tComputer_I8080_Korvet::SetSoundOn(bool on) {
    if (tTimer_i8254_SoundChannel* sound = memory_->Sound()) sound->SetSoundOn(on ? 1 : 0);
}

void tComputer_I8080_Korvet::Pause() {
    if (!running_ || paused_) return;
    paused_ = true;
    resynchronise_ = false;
    SetSoundOn(false);
    NotifyStateChange();
}

void tComputer_I8080_Korvet::Resume() {
    if (!running_ || !paused_) return;
    SetSoundOn(true);
    paused_ = false;
    resynchronise_ = true;
    NotifyStateChange();
}

void tComputer_I8080_Korvet::RecomputeSlicePeriod() {
    loop_.slicePeriod = static_cast<std::uint64_t>(std::llround(
        static_cast<double>(loop_.frequency) * loop_.factor / (kFramesPerSecond * kSlicesPerFrame)));
}

void tComputer_I8080_Korvet::StartTiming() {
    LoopState& t = loop_;
    t.remaining = cyclesPerSlice_;
    t.sliceIndex = kSlicesPerFrame;
    t.frequency = host_.CounterFrequency();
    const std::uint64_t now = host_.ReadCounter();
    t.fpsWindowEnd = now + t.frequency;
    t.framePeriod = t.frequency / kFramesPerSecond;
    t.frameNow = now;
    t.frameDeadline = now + t.framePeriod;
    t.factor = kFactorStart;
    RecomputeSlicePeriod();
    t.sliceNow = now;
    t.sliceDeadline = now + t.slicePeriod;
    t.drawn = t.frame50 = t.skipped = 0;
    // A first guess at how late a sleep ends: 60 microseconds.
    t.sleepLateness = t.frequency * 60 / 1'000'000;
}

void tComputer_I8080_Korvet::WaitUntil(std::uint64_t deadline, std::uint64_t& now, bool exact) {
    now = host_.ReadCounter();
    if (now < deadline && host_.CounterIsRealTime()) {
        // The host's sleep ends late by a fairly steady amount (tens of
        // microseconds on Linux, more on a busy host). The loop sleeps for
        // what is left less the lateness it has seen lately. What remains
        // after that is polled only at frame end, where real time is kept;
        // a slice, whose 180-microsecond wait only spreads the frame's work
        // over the frame, then begins that little early instead, so that a
        // machine at real time sleeps through nearly all of its time.
        const double nsPerCount = 1e9 / static_cast<double>(loop_.frequency);
        // A single long stall (the host was busy) counts as no more than a
        // fifth of a millisecond.
        const std::uint64_t cap = loop_.frequency / 5000;
        while (now < deadline) {
            const std::uint64_t left = deadline - now;
            if (left <= loop_.sleepLateness) {
                // Too close to sleep. The guess shrinks a little, so that a
                // guess grown too large recovers even when no sleep is left
                // to measure it.
                loop_.sleepLateness -= loop_.sleepLateness / 8;
                if (!exact) return;
                break;
            }
            const std::uint64_t asked = left - loop_.sleepLateness;
            std::this_thread::sleep_for(
                std::chrono::nanoseconds(static_cast<std::int64_t>(static_cast<double>(asked) * nsPerCount)));
            const std::uint64_t woke = host_.ReadCounter();
            const std::uint64_t late = woke > now + asked ? woke - (now + asked) : 0;
            // A running mean over the last eight or so sleeps.
            loop_.sleepLateness = (loop_.sleepLateness * 7 + std::min(late, cap)) / 8;
            now = woke;
        }
    }
    // Busy polling for the last stretch (and always for a simulated
    // counter, which does not move by itself).
    while (now < deadline) now = host_.ReadCounter();
}

void tComputer_I8080_Korvet::EndOfRun() {
    paused_ = false;
    memory_->Timer().Reset();
    running_ = false;
    NotifyStateChange();
}

void tComputer_I8080_Korvet::Run(TBMMCanvas2D* canvas, std::uint8_t romIndex, bool singlePage) {
    if (running_) return;
    running_ = true;
    stopRequested_ = false;
    paused_ = false;
    try {
        CpuState* cpu = cpuState_.get();
        entries_.Init(cpu);
        tMemory_Korvet64Kb& mem = *memory_;
        mem.Reset(singlePage);
        mem.LoadROM(romIndex);
        mem.LoadFont();
        SetSoundOn(true);
        mem.SetRetraceFlag(tMemory_Korvet64Kb::kRetraceOn);
        mem.Fdc().ClearInterruptRequest();

        tTimer_i8254& timer = mem.Timer();
        timer.SetCpuClock(static_cast<std::uint32_t>(clock_));
        if (auto* ch = timer.Channel(0)) {
            ch->SetOutputEnable(0);
            ch->SetGate(1);
        }
        for (int i = 1; i <= 2; ++i) {
            if (auto* ch = timer.Channel(i)) {
                ch->SetGate(1);
                ch->SetOutputEnable(1);
            }
        }

        sliceCount_ = 0;
        fps_ = 0;
        framesDrawn_ = framesSkipped_ = framesCompleted_ = 0;
        StartTiming();

        loop_.syncCopy = sync_;
        paused_ = false;
        resynchronise_ = false;
        NotifyStateChange();
        saveRequested_ = false;
        loadRequested_ = loadAtStart_;
        loadAtStart_ = false;

        CpuRunFn run = entries_.Run;
        for (;;) {
            // Save and load requests are served between two steps, so a
            // state is always that of an instruction boundary. A request
            // made together with a stop is still served before the loop
            // ends.
            if (saveRequested_ || loadRequested_) {
                if (saveRequested_) {
                    saveRequested_ = loadRequested_ = false;
                    SaveStateFile();
                }
                if (loadRequested_) {
                    saveRequested_ = loadRequested_ = false;
                    LoadStateFile(canvas);
                    // The load may have replaced the core and the
                    // configuration.
                    memory_->RefreshDirectPages();
                    AttachFastPaths();
                    cpu = cpuState_.get();
                    run = entries_.Run;
                }
            }
            if (stopRequested_) break;
            if (paused_) {
                host_.ProcessMessages();
                continue;
            }
            if (resynchronise_) {
                // After a pause every deadline restarts from now: the next
                // slice and frame get their full period, and a fresh FPS
                // window counts only the frames after the pause.
                resynchronise_ = false;
                const std::uint64_t now = host_.ReadCounter();
                loop_.frameNow = loop_.sliceNow = loop_.fpsNow = now;
                loop_.frameDeadline = now + loop_.framePeriod;
                loop_.sliceDeadline = now + loop_.slicePeriod;
                loop_.fpsWindowEnd = now + loop_.frequency;
                loop_.drawn = 0;
            }
            // The rest of the slice in one call: steps run while the
            // cycles they took are below what the slice has left, so the
            // slice ends with the step that reaches or crosses its end, and
            // cycles beyond it are not carried over. Nothing the loop
            // checks above can change within a slice: stop, pause, state
            // requests and the sync switch come from the message processing
            // at frame end.
            run(cpu, static_cast<std::uint64_t>(loop_.remaining));
            SliceEnd(canvas);
        }
    } catch (...) {
        EndOfRun();
        throw;
    }
    EndOfRun();
}

void tComputer_I8080_Korvet::SliceEnd(TBMMCanvas2D* canvas) {
    tMemory_Korvet64Kb& mem = *memory_;
    tFCD_WD279X& fdc = mem.Fdc();
    tPIC_i8259A& pic = mem.Pic();
    if (fdc.TakeInterruptRequest()) pic.SetRequest(7, true);
    if (loop_.sliceIndex == kSlicesPerFrame - retraceSlices_) mem.SetRetraceFlag(0);
    loop_.remaining = cyclesPerSlice_;
    loop_.sliceIndex -= 1;
    sliceCount_ += 1;
    tTimer_i8254& timer = mem.Timer();
    const std::uint64_t now = cpuState_->TotalCycles;
    timer.Advance(loop_.sliceIndex, now);
    tTimer_i8254_Channel* ch2 = timer.Channel(2);
    if (ch2 && ch2->Event()) {
        pic.SetRequest(5, true);
        ch2->ClearEvent();
    }
    if (loop_.sliceIndex == 0) {
        FrameEnd(canvas);
    } else if (loop_.syncCopy) {
        SliceWait();
    }
}

void tComputer_I8080_Korvet::SliceWait() {
    LoopState& t = loop_;
    if (!host_.CounterIsRealTime()) {
        // A simulated counter: polled, exactly as the pacing rule says.
        WaitUntil(t.sliceDeadline, t.sliceNow, true);
        t.sliceDeadline = t.sliceNow + t.slicePeriod;
        return;
    }
    // On the real clock a sleep costs the host more than a slice of work,
    // so the loop sleeps only once the slices have got a millisecond or
    // more ahead of their deadlines; until then a slice that is ahead
    // begins at once and the next deadline follows from this one rather
    // than from now. The work of a frame is thus still spread over the
    // frame, in steps of about a millisecond instead of 200 microseconds,
    // and the frame end keeps real time exactly.
    const std::uint64_t now = host_.ReadCounter();
    if (now >= t.sliceDeadline) {
        t.sliceNow = now;
        t.sliceDeadline = now + t.slicePeriod;
    } else if (t.sliceDeadline - now < t.frequency / 1000) {
        t.sliceNow = now;
        t.sliceDeadline += t.slicePeriod;
    } else {
        WaitUntil(t.sliceDeadline, t.sliceNow, false);
        t.sliceDeadline = t.sliceNow + t.slicePeriod;
    }
}

void tComputer_I8080_Korvet::FrameEnd(TBMMCanvas2D* canvas) {
    tMemory_Korvet64Kb& mem = *memory_;
    LoopState& t = loop_;
    t.sliceIndex = kSlicesPerFrame;
    mem.SetRetraceFlag(tMemory_Korvet64Kb::kRetraceOn);
    ++framesCompleted_;

    if (t.syncCopy) t.frameNow = host_.ReadCounter();
    if (t.syncCopy && t.frameNow >= t.frameDeadline && t.skipped != kMaxSkippedInARow) {
        // Late: this frame is not drawn and the slices get less real time.
        t.factor -= kFactorDown;
        if (t.factor < kFactorMin) t.factor = kFactorMin;
        RecomputeSlicePeriod();
        t.skipped += 1;
        ++framesSkipped_;
    } else {
        if (mem.IsDirty()) {
            if (canvas) {
                canvas->BeginFrame();
                canvas->DrawBitmap(mem.UpdateFrame());
                canvas->EndFrame();
            } else {
                mem.UpdateFrame();
            }
            mem.SetDirty(false);
            ++framesDrawn_;
        }
        t.drawn += 1;
        t.skipped = 0;
    }

    host_.ProcessMessages();

    if (t.syncCopy && t.frameNow < t.frameDeadline) WaitUntil(t.frameDeadline, t.frameNow, true);

    t.frame50 += 1;
    if (t.frame50 == kFramesPerSecond) {
        t.frame50 = 0;
        t.frameDeadline = t.frameNow + t.framePeriod;
        if (t.drawn == kFramesPerSecond) t.factor += kFactorUp;
        if (!(t.factor <= kFactorStart)) t.factor = kFactorStart;
        RecomputeSlicePeriod();
    } else {
        t.frameDeadline += t.framePeriod;
    }

    if (sync_ != t.syncCopy) {
        t.syncCopy = sync_;
        t.frameNow = host_.ReadCounter();
        t.frameDeadline = t.frameNow + t.framePeriod;
        t.fpsWindowEnd = 0;
    }

    t.sliceNow = t.frameNow;
    t.sliceDeadline = t.frameNow + t.slicePeriod;

    t.fpsNow = t.syncCopy ? t.frameNow : host_.ReadCounter();
    if (t.fpsNow >= t.fpsWindowEnd) {
        const double x = static_cast<double>(t.drawn) /
                         (static_cast<double>(t.fpsNow - t.fpsWindowEnd) / static_cast<double>(t.frequency) + 1.0);
        if (x > 49.0 && x < 51.0) {
            fps_ = 50;
        } else {
            fps_ = static_cast<std::int32_t>(std::lround(x));
        }
        t.fpsWindowEnd = t.fpsNow + t.frequency;
        t.drawn = 0;
    }

    mem.Pic().SetRequest(4, true);
}

// ---- Drives and views ------------------------------------------------------

bool tComputer_I8080_Korvet::LoadImage(int drive, const std::string& fileName) {
    return memory_->Fdc().LoadImage(drive, fileName);
}

bool tComputer_I8080_Korvet::SaveImage(int drive, const std::string& fileName) {
    return memory_->Fdc().SaveImage(drive, fileName, false);
}

std::string tComputer_I8080_Korvet::FileName(int drive) const { return memory_->Fdc().FileName(drive); }
std::string tComputer_I8080_Korvet::DiskInfo(int drive) const { return memory_->Fdc().DiskInfo(drive); }
bool tComputer_I8080_Korvet::EjectImage(int drive) { return memory_->Fdc().EjectImage(drive); }
bool tComputer_I8080_Korvet::IsLatchClosed(int drive) const { return memory_->Fdc().IsLatchClosed(drive); }
void tComputer_I8080_Korvet::SetLatch(int drive, bool closed) { memory_->Fdc().SetLatch(drive, closed); }
bool tComputer_I8080_Korvet::HasImage(int drive) const { return memory_->Fdc().HasImage(drive); }

tBMMGDI4Bitmap& tComputer_I8080_Korvet::GetFrame() { return memory_->UpdateFrame(); }
tTimer_i8254& tComputer_I8080_Korvet::GetTimer() { return memory_->Timer(); }

}  // namespace velgard
