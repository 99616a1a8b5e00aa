// The 8080 core's behaviour that the CP/M exercisers do not reach:
// interrupts, the EI delay, HLT, the order of bus accesses, the fixed PSW
// bits, the undocumented aliases and the snapshot block.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <vector>

#include "cpu/I8080.h"

namespace velgard {
namespace {

// One bus access as the core made it.
struct Access {
    char kind;  // 'F' fetch, 'R' data read, 'W' data write, 'I' port in, 'O' port out
    std::uint16_t address;
    std::uint8_t value;
    bool operator==(const Access&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Access& a) {
    return os << a.kind << ' ' << std::hex << a.address << '=' << unsigned{a.value} << std::dec;
}

// 64 KB of RAM behind recording callbacks, and one interrupt request line.
class I8080Test : public ::testing::Test {
protected:
    I8080Test() {
        InstallCore(entries_, kCpuI8080);
        entries_.ReadMemory = [](CpuState* s, std::uint16_t a) { return Self(s).Log('R', a, Self(s).ram[a]); };
        entries_.FetchByte = [](CpuState* s, std::uint16_t a) { return Self(s).Log('F', a, Self(s).ram[a]); };
        entries_.WriteMemory = [](CpuState* s, std::uint16_t a, std::uint8_t v) {
            Self(s).ram[a] = Self(s).Log('W', a, v);
        };
        entries_.ReadPort = [](CpuState* s, std::uint8_t p) { return Self(s).Log('I', p, Self(s).portValue); };
        entries_.WritePort = [](CpuState* s, std::uint8_t p, std::uint8_t v) { Self(s).Log('O', p, v); };
        entries_.InterruptAck = [](CpuState* s, std::uint16_t* address) {
            auto& self = Self(s);
            ++self.ackCalls;
            if (!self.request) return false;
            *address = *self.request;
            self.request.reset();
            return true;
        };
        state.Entries = &entries_;
        state.Owner = this;
        entries_.Init(&state);
    }

    static I8080Test& Self(CpuState* s) { return *static_cast<I8080Test*>(s->Owner); }

    std::uint8_t Log(char kind, std::uint16_t address, std::uint8_t value) {
        log.push_back({kind, address, value});
        return value;
    }

    void Put(std::uint16_t address, std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) ram[address++] = b;
    }

    // One Execute call; returns its T-states after checking the total grew by them.
    unsigned Step() {
        const std::uint64_t before = state.TotalCycles;
        entries_.Execute(&state);
        EXPECT_EQ(state.TotalCycles - before, state.LastCycles);
        return state.LastCycles;
    }

    // Runs the instruction at 0 with interrupts off; returns its accesses.
    std::vector<Access> Run(std::initializer_list<std::uint8_t> code) {
        Put(0, code);
        state.PC = 0;
        state.IFF = 0;
        log.clear();
        Step();
        return log;
    }

    std::array<std::uint8_t, 0x10000> ram{};
    std::vector<Access> log;
    std::optional<std::uint16_t> request;
    std::uint8_t portValue = 0;
    int ackCalls = 0;
    CpuState state;

private:
    CpuEntries entries_;
};

TEST_F(I8080Test, InitResetsEveryFieldAndAcceptsAPendingInterruptAtOnce) {
    state.A = 0x12;
    state.F = 0xFF;
    state.BC = state.DE = state.HL = state.PC = state.SP = 0x5555;
    state.IFF = 0;
    state.EIDelay = 2;
    state.TotalCycles = 999;
    state.LastCycles = 9;
    I8080_Init(&state);
    EXPECT_EQ(state.A, 0);
    EXPECT_EQ(state.F, 0x02);
    EXPECT_EQ(state.BC | state.DE | state.HL | state.PC | state.SP, 0);
    EXPECT_EQ(state.IFF, 0xFF);
    EXPECT_EQ(state.EIDelay, 0);
    EXPECT_EQ(state.TotalCycles, 0u);
    EXPECT_EQ(state.LastCycles, 0);
    EXPECT_EQ(state.Owner, this);

    request = 0x0038;
    EXPECT_EQ(Step(), 17u);
    EXPECT_EQ(state.PC, 0x0038);
    EXPECT_EQ(state.SP, 0xFFFE);  // pushed from SP = 0, wrapping
    EXPECT_EQ(state.TotalCycles, 17u);
}

TEST_F(I8080Test, InterruptAcceptancePushesPcDisablesAndCosts17) {
    Put(0x1234, {0x00});
    state.PC = 0x1234;
    state.SP = 0x8000;
    state.TotalCycles = 100;
    request = 0xABCD;
    EXPECT_EQ(Step(), 17u);
    EXPECT_EQ(state.TotalCycles, 117u);
    EXPECT_EQ(state.PC, 0xABCD);
    EXPECT_EQ(state.SP, 0x7FFE);
    EXPECT_EQ(state.IFF, 0);
    // The byte at PC is looked at as data (for the HLT skip), then the push
    // writes the low byte first.
    const std::vector<Access> expected = {{'R', 0x1234, 0x00}, {'W', 0x7FFE, 0x34}, {'W', 0x7FFF, 0x12}};
    EXPECT_EQ(log, expected);

    // With interrupts now disabled the controller is not even asked.
    request = 0x0008;
    const int asked = ackCalls;
    Put(0xABCD, {0x00});
    EXPECT_EQ(Step(), 4u);
    EXPECT_EQ(state.PC, 0xABCE);
    EXPECT_EQ(ackCalls, asked);
}

TEST_F(I8080Test, InterruptSkipsAnUnexecutedOrRepeatingHlt) {
    // PC on a HLT not yet executed: the return address lies after it.
    Put(0x0200, {0x76});
    state.PC = 0x0200;
    state.SP = 0x9000;
    request = 0x0010;
    Step();
    EXPECT_EQ(ram[0x8FFE], 0x01);
    EXPECT_EQ(ram[0x8FFF], 0x02);

    // A halted processor repeats HLT at 7 T-states until the request comes.
    state.PC = 0x0200;
    state.SP = 0x9000;
    state.IFF = 0xFF;
    ram[0x8FFE] = 0;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Step(), 7u);
        EXPECT_EQ(state.PC, 0x0200);
    }
    request = 0x0018;
    EXPECT_EQ(Step(), 17u);
    EXPECT_EQ(state.PC, 0x0018);
    EXPECT_EQ(ram[0x8FFE], 0x01);
}

TEST_F(I8080Test, HltWithInterruptsDisabledRepeatsForever) {
    Put(0x0000, {0xF3, 0x76});  // DI; HLT
    request = 0x0038;
    state.IFF = 0;
    Step();
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(Step(), 7u);
    EXPECT_EQ(state.PC, 0x0001);
    EXPECT_EQ(state.TotalCycles, 4u + 7000u);
    EXPECT_EQ(ackCalls, 0);
    EXPECT_TRUE(request.has_value());
}

TEST_F(I8080Test, EiLetsThreeInstructionsRunBeforeAnInterrupt) {
    Put(0x0000, {0xFB, 0x00, 0x00, 0x00, 0x00});  // EI; NOP x4
    state.IFF = 0;
    request = 0x0038;
    Step();  // EI
    EXPECT_EQ(state.IFF, 0xFF);
    EXPECT_EQ(state.EIDelay, 3);
    for (std::uint16_t pc = 2; pc <= 4; ++pc) {
        EXPECT_EQ(Step(), 4u);
        EXPECT_EQ(state.PC, pc);
    }
    EXPECT_EQ(state.EIDelay, 0);
    EXPECT_EQ(ackCalls, 0);
    EXPECT_EQ(Step(), 17u);  // the fourth call after EI
    EXPECT_EQ(state.PC, 0x0038);
    EXPECT_EQ(ram[0xFFFE], 0x04);
}

TEST_F(I8080Test, DiInsideTheEiDelayPreventsTheInterrupt) {
    Put(0x0000, {0xFB, 0x00, 0xF3, 0x00, 0x00, 0x00});  // EI; NOP; DI; NOP...
    state.IFF = 0;
    request = 0x0038;
    Step();
    Step();
    Step();  // DI with one instruction of delay left
    EXPECT_EQ(state.IFF, 0);
    EXPECT_EQ(state.EIDelay, 1);  // DI leaves the counter alone...
    Step();
    Step();
    EXPECT_EQ(state.EIDelay, 1);  // ...and it is not counted while disabled
    EXPECT_EQ(state.PC, 0x0005);
    EXPECT_EQ(ackCalls, 0);
}

TEST_F(I8080Test, EiThenHltHaltsAndIsWokenAfterTheDelay) {
    Put(0x0000, {0xFB, 0x76});
    state.IFF = 0;
    state.SP = 0x4000;
    request = 0x0020;
    Step();  // EI
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Step(), 7u);
    EXPECT_EQ(state.PC, 0x0001);
    EXPECT_EQ(Step(), 17u);
    EXPECT_EQ(state.PC, 0x0020);
    EXPECT_EQ(ram[0x3FFE], 0x02);  // returns after the HLT
}

TEST_F(I8080Test, DataAccessesUseReadWriteAndInlineBytesUseFetch) {
    state.HL = 0x1122;
    state.SP = 0x3000;
    ram[0x2000] = 0x5A;
    EXPECT_EQ(Run({0x3A, 0x00, 0x20}),  // LDA 2000
              (std::vector<Access>{{'F', 0, 0x3A}, {'F', 1, 0x00}, {'F', 2, 0x20}, {'R', 0x2000, 0x5A}}));
    EXPECT_EQ(state.A, 0x5A);
    EXPECT_EQ(state.LastCycles, 13);

    EXPECT_EQ(Run({0x22, 0x10, 0x20}),  // SHLD 2010: L, then H
              (std::vector<Access>{{'F', 0, 0x22}, {'F', 1, 0x10}, {'F', 2, 0x20},
                                   {'W', 0x2010, 0x22}, {'W', 0x2011, 0x11}}));
    EXPECT_EQ(state.LastCycles, 16);

    state.HL = 0x2000;
    EXPECT_EQ(Run({0x34}),  // INR M: read, compute, write back
              (std::vector<Access>{{'F', 0, 0x34}, {'R', 0x2000, 0x5A}, {'W', 0x2000, 0x5B}}));
    EXPECT_EQ(state.LastCycles, 10);

    EXPECT_EQ(Run({0x36, 0x77}),  // MVI M: fetch the immediate, then write
              (std::vector<Access>{{'F', 0, 0x36}, {'F', 1, 0x77}, {'W', 0x2000, 0x77}}));

    EXPECT_EQ(Run({0x86}), (std::vector<Access>{{'F', 0, 0x86}, {'R', 0x2000, 0x77}}));  // ADD M

    Put(0x3000, {0xCD, 0xAB});
    EXPECT_EQ(Run({0xE3}),  // XTHL: both reads, then both writes, low byte first
              (std::vector<Access>{{'F', 0, 0xE3}, {'R', 0x3000, 0xCD}, {'R', 0x3001, 0xAB},
                                   {'W', 0x3000, 0x00}, {'W', 0x3001, 0x20}}));
    EXPECT_EQ(state.HL, 0xABCD);
    EXPECT_EQ(state.LastCycles, 18);

    state.A = 0x99;
    portValue = 0x42;
    EXPECT_EQ(Run({0xD3, 0x80}), (std::vector<Access>{{'F', 0, 0xD3}, {'F', 1, 0x80}, {'O', 0x80, 0x99}}));
    EXPECT_EQ(Run({0xDB, 0xFE}), (std::vector<Access>{{'F', 0, 0xDB}, {'F', 1, 0xFE}, {'I', 0xFE, 0x42}}));
    EXPECT_EQ(state.A, 0x42);
}

TEST_F(I8080Test, StackAccessOrderAndWrapAround) {
    state.SP = 0x0001;
    state.DE = 0xBEEF;
    // PUSH lowers SP first, then writes low at SP and high at SP + 1,
    // wrapping modulo 64 KB.
    EXPECT_EQ(Run({0xD5}), (std::vector<Access>{{'F', 0, 0xD5}, {'W', 0xFFFF, 0xEF}, {'W', 0x0000, 0xBE}}));
    EXPECT_EQ(state.SP, 0xFFFF);
    EXPECT_EQ(state.LastCycles, 11);

    ram[0x0000] = 0xC1;  // POP B reads the same bytes back
    state.SP = 0xFFFF;
    log.clear();
    state.PC = 0;
    Step();
    EXPECT_EQ(log, (std::vector<Access>{{'F', 0, 0xC1}, {'R', 0xFFFF, 0xEF}, {'R', 0x0000, 0xC1}}));
    EXPECT_EQ(state.BC, 0xC1EF);
    EXPECT_EQ(state.SP, 0x0001);
    EXPECT_EQ(state.LastCycles, 10);

    // RST pushes the address after itself and jumps to n * 8.
    state.SP = 0x5000;
    Put(0x0100, {0xEF});
    state.PC = 0x0100;
    log.clear();
    EXPECT_EQ(Step(), 11u);
    EXPECT_EQ(state.PC, 0x0028);
    EXPECT_EQ(log, (std::vector<Access>{{'F', 0x100, 0xEF}, {'W', 0x4FFE, 0x01}, {'W', 0x4FFF, 0x01}}));
}

TEST_F(I8080Test, CallPushesBeforeFetchingItsTarget) {
    state.SP = 0x0003;  // the push lands on the call's own address bytes
    EXPECT_EQ(Run({0xCD, 0x34, 0x12}),
              (std::vector<Access>{{'F', 0, 0xCD}, {'W', 0x0001, 0x03}, {'W', 0x0002, 0x00},
                                   {'F', 1, 0x03}, {'F', 2, 0x00}}));
    EXPECT_EQ(state.PC, 0x0003);  // the target read is the freshly pushed word
    EXPECT_EQ(state.LastCycles, 17);
}

TEST_F(I8080Test, ConditionalTransfersSkipAddressesWhenNotTaken) {
    state.SP = 0x8000;
    state.F = 0x42;  // Z set
    EXPECT_EQ(Run({0xC4, 0x34, 0x12}), (std::vector<Access>{{'F', 0, 0xC4}}));  // CNZ
    EXPECT_EQ(state.LastCycles, 11);
    EXPECT_EQ(state.PC, 3);
    EXPECT_EQ(state.SP, 0x8000);

    EXPECT_EQ(Run({0xC2, 0x34, 0x12}), (std::vector<Access>{{'F', 0, 0xC2}}));  // JNZ
    EXPECT_EQ(state.LastCycles, 10);
    EXPECT_EQ(state.PC, 3);

    EXPECT_EQ(Run({0xC0}), (std::vector<Access>{{'F', 0, 0xC0}}));  // RNZ
    EXPECT_EQ(state.LastCycles, 5);
    EXPECT_EQ(state.PC, 1);

    Run({0xCC, 0x34, 0x12});  // CZ is taken
    EXPECT_EQ(state.LastCycles, 17);
    EXPECT_EQ(state.PC, 0x1234);
    EXPECT_EQ(state.SP, 0x7FFE);
    Run({0xC8});  // RZ is taken
    EXPECT_EQ(state.LastCycles, 11);
    EXPECT_EQ(state.PC, 0x0003);
    EXPECT_EQ(state.SP, 0x8000);

    // Parity and sign conditions: PO/PE on P, P/M on S.
    state.F = 0x82;  // S set, parity odd
    Run({0xE2, 0x00, 0x10});  // JPO taken
    EXPECT_EQ(state.PC, 0x1000);
    Run({0xF2, 0x00, 0x10});  // JP not taken
    EXPECT_EQ(state.PC, 3);
}

TEST_F(I8080Test, UndocumentedOpcodesAliasTheirDocumentedTwins) {
    for (std::uint8_t op : {0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38}) {
        const auto before = state;
        Run({op});
        EXPECT_EQ(state.LastCycles, 4) << int{op};
        EXPECT_EQ(state.PC, 1) << int{op};
        EXPECT_EQ(state.A, before.A);
        EXPECT_EQ(state.F, before.F);
    }
    Run({0xCB, 0x00, 0x40});  // JMP
    EXPECT_EQ(state.PC, 0x4000);
    EXPECT_EQ(state.LastCycles, 10);
    for (std::uint8_t op : {0xDD, 0xED, 0xFD}) {  // CALL
        state.SP = 0x9000;
        Run({op, 0x00, 0x50});
        EXPECT_EQ(state.PC, 0x5000) << int{op};
        EXPECT_EQ(state.SP, 0x8FFE);
        EXPECT_EQ(state.LastCycles, 17);
        EXPECT_EQ(ram[0x8FFE], 0x03);
    }
    Run({0xD9});  // RET
    EXPECT_EQ(state.PC, 0x0003);
    EXPECT_EQ(state.SP, 0x9000);
    EXPECT_EQ(state.LastCycles, 10);
}

TEST_F(I8080Test, FixedPswBits) {
    // POP PSW: the chip has no bits 5, 3 and 1 to load; they read 0, 0, 1.
    state.SP = 0x7000;
    Put(0x7000, {0xFF, 0xFF});
    Run({0xF1});
    EXPECT_EQ(state.F, 0xD7);
    EXPECT_EQ(state.A, 0xFF);
    Put(0x7000, {0x28, 0x00});
    state.SP = 0x7000;
    Run({0xF1});
    EXPECT_EQ(state.F, 0x02);

    // F written from outside (a snapshot, a debugger): STC and DAD keep the
    // other bits as they are, PUSH PSW stores them as they are...
    state.F = 0x28;
    Run({0x37});  // STC
    EXPECT_EQ(state.F, 0x29);
    state.F = 0xFF;
    state.HL = 0x0001;
    state.BC = 0x0001;
    Run({0x09});  // DAD B, no carry out
    EXPECT_EQ(state.F, 0xFE);
    EXPECT_EQ(state.HL, 0x0002);
    state.SP = 0x7002;
    state.A = 0x12;
    Run({0xF5});  // PUSH PSW
    EXPECT_EQ(ram[0x7000], 0xFE);
    EXPECT_EQ(ram[0x7001], 0x12);

    // ...while every other flag-writing instruction normalises them.
    state.F = 0xFD;
    state.A = 0x00;
    Run({0x3C});  // INR A
    EXPECT_EQ(state.F, 0x03);  // bit 1 set, 5 and 3 clear, CY kept, S Z AC P from 01
    state.F = 0x28;
    Run({0x07});  // RLC of 01
    EXPECT_EQ(state.F, 0x02);
    state.F = 0x28;
    Run({0x3F});  // CMC
    EXPECT_EQ(state.F, 0x03);

    // DAD carry out of bit 15.
    state.F = 0x02;
    state.HL = 0x8000;
    state.SP = 0x8001;
    Run({0x39});
    EXPECT_EQ(state.HL, 0x0001);
    EXPECT_EQ(state.F, 0x03);
    EXPECT_EQ(state.LastCycles, 10);
}

// Runs `op` with A, B and the carry given; returns A and F afterwards.
struct AluResult {
    std::uint8_t a, f;
};

class I8080FlagTest : public I8080Test {
protected:
    AluResult Alu(std::uint8_t op, std::uint8_t a, std::uint8_t b, std::uint8_t f = 0x02) {
        state.A = a;
        state.BC = static_cast<std::uint16_t>(b << 8);
        state.F = f;
        Run({op});
        return {state.A, state.F};
    }
    static bool Ac(const AluResult& r) { return (r.f & 0x10) != 0; }
    static bool Cy(const AluResult& r) { return (r.f & 0x01) != 0; }
};

TEST_F(I8080FlagTest, SubtractionUsesTheComplementAdditionCarries) {
    // 0x0 + 0xE + 1 has no carry out of bit 3.
    auto r = Alu(0x90, 0x10, 0x01);  // SUB B
    EXPECT_EQ(r.a, 0x0F);
    EXPECT_EQ(r.f, 0x04 | 0x02);
    r = Alu(0x90, 0x11, 0x01);  // 0x1 + 0xE + 1 carries
    EXPECT_EQ(r.a, 0x10);
    EXPECT_TRUE(Ac(r));
    r = Alu(0x90, 0x00, 0x01);  // borrow
    EXPECT_EQ(r.a, 0xFF);
    EXPECT_EQ(r.f, 0x80 | 0x04 | 0x02 | 0x01);  // S, P, AC clear, CY
    r = Alu(0x90, 0x42, 0x42);  // equal: Z, no borrow, AC from 2 + D + 1
    EXPECT_EQ(r.f, 0x40 | 0x10 | 0x04 | 0x02);

    r = Alu(0x98, 0x00, 0xFF, 0x03);  // SBB with borrow in: 0 - FF - 1
    EXPECT_EQ(r.a, 0x00);
    EXPECT_TRUE(Cy(r));
    EXPECT_FALSE(Ac(r));  // 0x0 + 0x0 + 0 does not carry
    r = Alu(0x98, 0x05, 0x04, 0x03);
    EXPECT_EQ(r.a, 0x00);
    EXPECT_FALSE(Cy(r));
    EXPECT_TRUE(Ac(r));  // 0x5 + 0xB + 0 carries

    r = Alu(0xB8, 0x10, 0x01);  // CMP: the flags of SUB, A unchanged
    EXPECT_EQ(r.a, 0x10);
    EXPECT_EQ(r.f, 0x04 | 0x02);  // 0F: even parity, AC and CY clear
    r = Alu(0xB8, 0x01, 0x02);
    EXPECT_EQ(r.a, 0x01);
    EXPECT_TRUE(Cy(r));

    state.A = 0x10;
    state.F = 0x02;
    Run({0xD6, 0x01});  // SUI follows the same rule
    EXPECT_EQ(state.A, 0x0F);
    EXPECT_EQ(state.F & 0x11, 0);
}

TEST_F(I8080FlagTest, AdditionAndIncrementDecrementAuxiliaryCarry) {
    auto r = Alu(0x80, 0x0F, 0x01);  // ADD
    EXPECT_EQ(r.a, 0x10);
    EXPECT_TRUE(Ac(r));
    EXPECT_FALSE(Cy(r));
    r = Alu(0x88, 0xFF, 0x00, 0x03);  // ADC: FF + 0 + 1
    EXPECT_EQ(r.a, 0x00);
    EXPECT_EQ(r.f, 0x40 | 0x10 | 0x04 | 0x02 | 0x01);

    r = Alu(0x04, 0x00, 0x0F);  // INR B: 0F -> 10 carries out of bit 3
    EXPECT_EQ(state.BC >> 8, 0x10);
    EXPECT_TRUE(Ac(r));
    r = Alu(0x04, 0x00, 0x10);
    EXPECT_FALSE(Ac(r));
    r = Alu(0x04, 0x00, 0xFF, 0x03);  // wraps to 0, CY untouched
    EXPECT_EQ(state.BC >> 8, 0x00);
    EXPECT_EQ(r.f, 0x40 | 0x10 | 0x04 | 0x02 | 0x01);

    r = Alu(0x05, 0x00, 0x10);  // DCR B: 10 -> 0F, no carry out of bit 3
    EXPECT_EQ(state.BC >> 8, 0x0F);
    EXPECT_FALSE(Ac(r));
    r = Alu(0x05, 0x00, 0x11);  // 11 -> 10
    EXPECT_TRUE(Ac(r));
    r = Alu(0x05, 0x00, 0x00);  // 00 -> FF
    EXPECT_EQ(r.f, 0x80 | 0x04 | 0x02);
}

TEST_F(I8080FlagTest, LogicalOperationsAuxiliaryCarryAndCarry) {
    auto r = Alu(0xA0, 0x08, 0x00, 0x03);  // ANA: AC from bit 3 of A OR B
    EXPECT_EQ(r.a, 0x00);
    EXPECT_EQ(r.f, 0x40 | 0x10 | 0x04 | 0x02);
    r = Alu(0xA0, 0xF0, 0x07);
    EXPECT_FALSE(Ac(r));
    r = Alu(0xA0, 0x00, 0x08);
    EXPECT_TRUE(Ac(r));
    state.A = 0x01;
    state.F = 0x02;
    Run({0xE6, 0x0F});  // ANI
    EXPECT_EQ(state.F & 0x10, 0x10);

    for (std::uint8_t op : {0xA8, 0xB0}) {  // XRA, ORA clear AC and CY
        r = Alu(op, 0x0F, 0x08, 0xD7);
        EXPECT_EQ(r.f & 0x11, 0) << int{op};
    }
    r = Alu(0xB0, 0x0F, 0x10);  // ORA: 1F, odd parity
    EXPECT_EQ(r.a, 0x1F);
    EXPECT_EQ(r.f, 0x02);
    r = Alu(0xA8, 0x5A, 0x5A);  // XRA: zero, even parity
    EXPECT_EQ(r.f, 0x40 | 0x04 | 0x02);
}

TEST_F(I8080FlagTest, DecimalAdjust) {
    auto r = Alu(0x27, 0x9A, 0x00);  // both corrections, carry out of bit 3
    EXPECT_EQ(r.a, 0x00);
    EXPECT_EQ(r.f, 0x40 | 0x10 | 0x04 | 0x02 | 0x01);
    r = Alu(0x27, 0x99, 0x00);  // valid BCD: nothing to do, CY stays clear
    EXPECT_EQ(r.a, 0x99);
    EXPECT_FALSE(Cy(r));
    EXPECT_FALSE(Ac(r));
    r = Alu(0x27, 0x19, 0x00, 0x12);  // AC set: +06 without a new carry out of bit 3
    EXPECT_EQ(r.a, 0x1F);
    EXPECT_FALSE(Ac(r));
    r = Alu(0x27, 0x00, 0x00, 0x03);  // CY set: +60, CY is never cleared
    EXPECT_EQ(r.a, 0x60);
    EXPECT_TRUE(Cy(r));
    r = Alu(0x27, 0xA0, 0x00);  // high nibble > 9
    EXPECT_EQ(r.a, 0x00);
    EXPECT_TRUE(Cy(r));
    r = Alu(0x27, 0x8B, 0x00);  // high 8 with low > 9: only +06
    EXPECT_EQ(r.a, 0x91);
    EXPECT_FALSE(Cy(r));
    EXPECT_TRUE(Ac(r));

    // A real decimal sum: 38 + 45 = 83.
    state.A = 0x38;
    state.BC = 0x4500;
    state.F = 0x02;
    Put(0x0000, {0x80, 0x27});
    state.PC = 0;
    state.IFF = 0;
    Step();
    Step();
    EXPECT_EQ(state.A, 0x83);
    EXPECT_EQ(state.F & 0x01, 0);
}

// The snapshot block: 16-byte tag, stored size, then the fields little-endian.
class I8080SnapshotTest : public I8080Test {
protected:
    void Fill(CpuState& s) {
        s.TotalCycles = 0x0102030405060708ull;
        s.LastCycles = 0x0A09;
        s.A = 0x0B;
        s.F = 0x0C;
        s.BC = 0x0E0D;
        s.DE = 0x100F;
        s.HL = 0x1211;
        s.PC = 0x1413;
        s.SP = 0x1615;
        s.IFF = 0x17;
        s.EIDelay = 0x18;
    }
    static constexpr std::array<std::uint8_t, 16> kTag = {0xF1, 0x9B, 0xC0, 0x60, 0x97, 0x76, 0x41, 0x42,
                                                          0x87, 0xD0, 0x7A, 0x35, 0x8F, 0xFF, 0x8B, 0xC1};
};

TEST_F(I8080SnapshotTest, SaveWritesTheDocumentedBlockAndLoadRestoresIt) {
    Fill(state);
    std::array<std::uint8_t, 50> buffer;
    buffer.fill(0xEE);
    std::uint32_t length = buffer.size();
    ASSERT_TRUE(I8080_SaveState(&state, buffer.data(), &length));
    EXPECT_EQ(length, 44u);
    EXPECT_TRUE(std::equal(kTag.begin(), kTag.end(), buffer.begin()));
    const std::uint8_t size[4] = {24, 0, 0, 0};
    EXPECT_EQ(std::memcmp(buffer.data() + 16, size, 4), 0);
    const std::uint8_t fields[24] = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x09, 0x0A, 0x0B, 0x0C,
                                     0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18};
    EXPECT_EQ(std::memcmp(buffer.data() + 20, fields, 24), 0);
    EXPECT_EQ(buffer[44], 0xEE);  // nothing past the block

    CpuState other;
    other.Owner = &buffer;
    length = 44;
    ASSERT_TRUE(I8080_LoadState(&other, buffer.data(), &length));
    EXPECT_EQ(length, 44u);
    EXPECT_EQ(other.TotalCycles, state.TotalCycles);
    EXPECT_EQ(other.LastCycles, state.LastCycles);
    EXPECT_EQ(other.A, state.A);
    EXPECT_EQ(other.F, state.F);
    EXPECT_EQ(other.BC, state.BC);
    EXPECT_EQ(other.DE, state.DE);
    EXPECT_EQ(other.HL, state.HL);
    EXPECT_EQ(other.PC, state.PC);
    EXPECT_EQ(other.SP, state.SP);
    EXPECT_EQ(other.IFF, state.IFF);
    EXPECT_EQ(other.EIDelay, state.EIDelay);
    EXPECT_EQ(other.Owner, &buffer);  // the links are never part of the block
    EXPECT_EQ(other.Entries, nullptr);
}

TEST_F(I8080SnapshotTest, SizeQueriesAndRefusals) {
    std::array<std::uint8_t, 44> buffer;
    buffer.fill(0xEE);
    std::uint32_t length = 0;
    EXPECT_FALSE(I8080_SaveState(&state, nullptr, &length));
    EXPECT_EQ(length, 44u);
    length = 43;
    EXPECT_FALSE(I8080_SaveState(&state, buffer.data(), &length));
    EXPECT_EQ(length, 44u);
    EXPECT_EQ(buffer[0], 0xEE);
    length = 44;
    EXPECT_FALSE(I8080_SaveState(nullptr, buffer.data(), &length));
    EXPECT_EQ(length, 0u);

    length = 0;
    EXPECT_FALSE(I8080_LoadState(&state, nullptr, &length));
    EXPECT_EQ(length, 44u);
    length = 44;
    EXPECT_FALSE(I8080_LoadState(nullptr, buffer.data(), &length));
    EXPECT_EQ(length, 0u);

    // A block of another kind: refused with length 0, the state untouched.
    Fill(state);
    CpuState saved = state;
    length = 44;
    ASSERT_TRUE(I8080_SaveState(&saved, buffer.data(), &length));
    buffer[15] ^= 1;
    std::memset(buffer.data() + 20, 0, 24);
    state.A = 0x77;
    length = 44;
    EXPECT_FALSE(I8080_LoadState(&state, buffer.data(), &length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(state.A, 0x77);
    EXPECT_EQ(state.TotalCycles, saved.TotalCycles);
    EXPECT_EQ(state.PC, saved.PC);

    // A buffer shorter than the block is refused before the tag is read.
    buffer[15] ^= 1;
    length = 43;
    EXPECT_FALSE(I8080_LoadState(&state, buffer.data(), &length));
    EXPECT_EQ(length, 44u);
    EXPECT_EQ(state.A, 0x77);
}

TEST_F(I8080SnapshotTest, StoredSizeDecidesWhatIsCopiedAndConsumed) {
    CpuState source;
    Fill(source);
    std::array<std::uint8_t, 44> buffer;
    std::uint32_t length = 44;
    ASSERT_TRUE(I8080_SaveState(&source, buffer.data(), &length));

    // An older, shorter block: only its 10 bytes (the cycle counters) load.
    buffer[16] = 10;
    I8080_Init(&state);
    state.A = 0x55;
    state.PC = 0x1234;
    length = 44;
    ASSERT_TRUE(I8080_LoadState(&state, buffer.data(), &length));
    EXPECT_EQ(length, 30u);
    EXPECT_EQ(state.TotalCycles, source.TotalCycles);
    EXPECT_EQ(state.LastCycles, source.LastCycles);
    EXPECT_EQ(state.A, 0x55);
    EXPECT_EQ(state.PC, 0x1234);

    // A size that ends inside a field copies that field's first bytes.
    buffer[16] = 19;  // up to the low byte of PC
    length = 44;
    ASSERT_TRUE(I8080_LoadState(&state, buffer.data(), &length));
    EXPECT_EQ(length, 39u);
    EXPECT_EQ(state.HL, source.HL);
    EXPECT_EQ(state.PC, 0x1213);

    // A longer (newer) block: the known 24 bytes load, its whole length is
    // reported so that the reader skips the rest.
    buffer[16] = 40;
    length = 44;
    ASSERT_TRUE(I8080_LoadState(&state, buffer.data(), &length));
    EXPECT_EQ(length, 60u);
    EXPECT_EQ(state.EIDelay, source.EIDelay);

    // A size whose block length cannot be expressed is a corrupt block.
    I8080_Init(&state);
    const std::uint8_t huge[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    std::memcpy(buffer.data() + 16, huge, 4);
    length = 44;
    EXPECT_FALSE(I8080_LoadState(&state, buffer.data(), &length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(state.TotalCycles, 0u);
    EXPECT_EQ(state.F, 0x02);
}

}  // namespace
}  // namespace velgard
