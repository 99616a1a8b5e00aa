// The cores' run loop against Execute: the same program, cut into slices
// the way the machine cuts it, must leave the same registers, memory, cycle
// total and the same sequence of bus callbacks, whether memory is reached
// through direct pages or callbacks and whether the interrupt controller is
// asked through its pending flag or before every instruction.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "cpu/Cpu.h"

namespace velgard {
namespace {

// 8080 code that the Z80 runs alike: a loop that reads two counters from a
// device page (80xx), stores into RAM, pokes the device (which raises an
// interrupt request now and then), and halts one time in eight until an
// interrupt wakes it. The service routine at 0038h counts in A000h
// (modulo 256).
//
// 0000 LXI SP,0F000h / EI / LXI H,9000h
// 0007 loop: LDA 8001h / MOV M,A / INX H / MOV A,H / ANI 0Fh / ORI 90h / MOV H,A
// 0012 STA 8000h / LDA 8002h / ANI 7 / JNZ loop / HLT / JMP loop
// 0038 PUSH PSW / LDA 0A000h / INR A / STA 0A000h / POP PSW / EI / RET
constexpr std::uint8_t kMain[] = {
    0x31, 0x00, 0xF0, 0xFB, 0x21, 0x00, 0x90, 0x3A, 0x01, 0x80, 0x77, 0x23, 0x7C, 0xE6, 0x0F, 0xF6, 0x90,
    0x67, 0x32, 0x00, 0x80, 0x3A, 0x02, 0x80, 0xE6, 0x07, 0xC2, 0x07, 0x00, 0x76, 0xC3, 0x07, 0x00,
};
constexpr std::uint8_t kService[] = {0xF5, 0x3A, 0x00, 0xA0, 0x3C, 0x32, 0x00, 0xA0, 0xF1, 0xFB, 0xC9};

constexpr std::uint8_t kDevicePage = 0x80;

struct Rig {
    std::array<std::uint8_t, 0x10000> ram{};
    std::array<std::uint8_t*, 256> pages{};
    CpuEntries entries{};
    CpuState state{};
    std::uint8_t request = 0;  // the pending flag
    std::uint8_t counter1 = 0, counter2 = 0;
    unsigned writes = 0;
    unsigned taken = 0;  // interrupts accepted
    std::vector<std::uint32_t> log;  // kind << 16 | address of every callback

    Rig(std::uint8_t kind, bool direct) {
        InstallCore(entries, kind);
        entries.ReadMemory = [](CpuState* s, std::uint16_t a) { return Self(s).Read('R', a); };
        entries.FetchByte = [](CpuState* s, std::uint16_t a) { return Self(s).Read('F', a); };
        entries.WriteMemory = [](CpuState* s, std::uint16_t a, std::uint8_t v) { Self(s).Write(a, v); };
        entries.ReadPort = [](CpuState*, std::uint8_t) -> std::uint8_t { return 0; };
        entries.WritePort = [](CpuState*, std::uint8_t, std::uint8_t) {};
        entries.InterruptAck = [](CpuState* s, std::uint16_t* address) {
            Rig& r = Self(s);
            r.log.push_back('A' << 16);
            if (!r.request) return false;
            r.request = 0;
            ++r.taken;
            *address = 0x0038;
            return true;
        };
        state.Entries = &entries;
        state.Owner = this;
        if (direct) {
            for (int p = 0; p < 256; ++p) pages[p] = p == kDevicePage ? nullptr : &ram[static_cast<std::size_t>(p) << 8];
            state.ReadPages = pages.data();
            state.WritePages = pages.data();
            state.InterruptPending = &request;
        }
        entries.Init(&state);
        std::copy(std::begin(kMain), std::end(kMain), ram.begin());
        std::copy(std::begin(kService), std::end(kService), ram.begin() + 0x38);
        state.PC = 0;
        state.IFF = 0;
        state.IFF2 = 0;
    }
    static Rig& Self(CpuState* s) { return *static_cast<Rig*>(s->Owner); }

    std::uint8_t Read(char kind, std::uint16_t a) {
        // Only the device page is logged: with direct pages the others
        // never reach a callback.
        if ((a >> 8) != kDevicePage) return ram[a];
        log.push_back(static_cast<std::uint32_t>(kind << 16 | a));
        if (a == 0x8001) return counter1++;
        if (a == 0x8002) return counter2 += 3;
        return 0;
    }
    void Write(std::uint16_t a, std::uint8_t v) {
        if ((a >> 8) != kDevicePage) {
            ram[a] = v;
            return;
        }
        log.push_back(static_cast<std::uint32_t>('W' << 16 | a));
        if (a == 0x80FF) state.RunLimit = 0;  // ends a run early
        if (++writes % 5 == 0) request = 1;
    }
    // What the machine does between slices: a request every fourth.
    void SliceEnd(unsigned slice) {
        if (slice % 4 == 3) request = 1;
    }
};

// `slices` slices of 500 cycles, through Run or step by step.
void RunSlices(Rig& rig, unsigned slices, bool useRun) {
    for (unsigned slice = 0; slice < slices; ++slice) {
        if (useRun) {
            rig.entries.Run(&rig.state, 500);
        } else {
            std::int32_t remaining = 500;
            for (;;) {
                rig.entries.Execute(&rig.state);
                const std::int32_t c = rig.state.LastCycles;
                if (c >= remaining) break;
                remaining -= c;
            }
        }
        rig.SliceEnd(slice);
    }
}

void ExpectSame(const Rig& a, const Rig& b) {
    const CpuState& x = a.state;
    const CpuState& y = b.state;
    EXPECT_EQ(x.TotalCycles, y.TotalCycles);
    EXPECT_EQ(x.LastCycles, y.LastCycles);
    EXPECT_EQ(x.A, y.A);
    EXPECT_EQ(x.F, y.F);
    EXPECT_EQ(x.BC, y.BC);
    EXPECT_EQ(x.DE, y.DE);
    EXPECT_EQ(x.HL, y.HL);
    EXPECT_EQ(x.PC, y.PC);
    EXPECT_EQ(x.SP, y.SP);
    EXPECT_EQ(x.IFF, y.IFF);
    EXPECT_EQ(x.EIDelay, y.EIDelay);
    EXPECT_EQ(x.IFF2, y.IFF2);
    EXPECT_TRUE(a.ram == b.ram);
}

// The acknowledge calls differ by design (the pending flag spares the
// unanswered ones); every other callback must come in the same order.
std::vector<std::uint32_t> WithoutAcks(const std::vector<std::uint32_t>& log) {
    std::vector<std::uint32_t> out;
    for (std::uint32_t e : log)
        if ((e >> 16) != 'A') out.push_back(e);
    return out;
}

class RunTest : public ::testing::TestWithParam<std::uint8_t> {};

TEST_P(RunTest, RunMatchesExecuteSliceBySlice) {
    constexpr unsigned kSlices = 400;
    Rig byRun(GetParam(), true), byStep(GetParam(), true), byCallbacks(GetParam(), false);
    RunSlices(byRun, kSlices, true);
    RunSlices(byStep, kSlices, false);
    RunSlices(byCallbacks, kSlices, false);
    // The program did what it is for: interrupts were taken, HLT waited.
    EXPECT_GT(byRun.taken, 100u);
    EXPECT_EQ(byRun.ram[0xA000], static_cast<std::uint8_t>(byRun.taken));
    EXPECT_GE(byRun.state.TotalCycles, 500u * kSlices);
    {
        SCOPED_TRACE("run against step by step");
        ExpectSame(byRun, byStep);
        EXPECT_EQ(byRun.log, byStep.log);
    }
    {
        SCOPED_TRACE("run against callbacks only");
        ExpectSame(byRun, byCallbacks);
        EXPECT_EQ(WithoutAcks(byRun.log), WithoutAcks(byCallbacks.log));
    }
}

TEST_P(RunTest, ACallbackEndsTheRunAfterTheCurrentInstruction) {
    Rig rig(GetParam(), true);
    // MVI A,1 / STA 80FFh / MVI A,2 / JMP 0005h
    const std::uint8_t program[] = {0x3E, 0x01, 0x32, 0xFF, 0x80, 0x3E, 0x02, 0xC3, 0x05, 0x00};
    std::copy(std::begin(program), std::end(program), rig.ram.begin());
    const std::uint64_t steps = rig.entries.Run(&rig.state, 1'000'000);
    EXPECT_EQ(steps, 2u);
    EXPECT_EQ(rig.state.PC, 5);
    EXPECT_EQ(rig.state.A, 1);
    EXPECT_EQ(rig.state.TotalCycles, 7u + 13u);
    EXPECT_EQ(rig.state.LastCycles, 13);
    // A run of no cycles runs nothing; the next run goes on from there.
    EXPECT_EQ(rig.entries.Run(&rig.state, 0), 0u);
    EXPECT_EQ(rig.entries.Run(&rig.state, 1), 1u);
    EXPECT_EQ(rig.state.A, 2);
}

INSTANTIATE_TEST_SUITE_P(BothCores, RunTest, ::testing::Values(kCpuI8080, kCpuZ80),
                         [](const auto& info) { return info.param == kCpuZ80 ? "Z80" : "I8080"; });

}  // namespace
}  // namespace velgard
