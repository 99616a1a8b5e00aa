// Z80 interpreter: what the instruction exercisers do not reach — reset
// state, interrupts, halting, prefix fall-backs, the undocumented forms,
// timing, bus callback order, flag bits 5/3 and the snapshot block.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "cpu/Cpu.h"
#include "cpu/Z80.h"

namespace velgard {
namespace {

using ::testing::ElementsAre;

constexpr std::uint8_t S = 0x80, Z = 0x40, Y = 0x20, H = 0x10, X = 0x08, PV = 0x04, N = 0x02,
                       C = 0x01;

// One bus access as the core made it.
struct Access {
    char kind;  // F fetch, R read, W write, I port in, O port out
    std::uint16_t address;
    std::uint8_t value;
    bool operator==(const Access&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Access& a) {
    return os << a.kind << ' ' << std::hex << a.address << '=' << int(a.value) << std::dec;
}

// A bare machine: flat RAM, a port log, and one interrupt request line.
class Z80Test : public ::testing::Test {
protected:
    Z80Test() {
        EXPECT_EQ(InstallCore(entries_, kCpuZ80), kCpuZ80);
        entries_.ReadMemory = [](CpuState* st, std::uint16_t a) { return Self(st)->Bus('R', a); };
        entries_.FetchByte = [](CpuState* st, std::uint16_t a) { return Self(st)->Bus('F', a); };
        entries_.WriteMemory = [](CpuState* st, std::uint16_t a, std::uint8_t v) {
            Z80Test* t = Self(st);
            t->ram_[a] = v;
            t->log_.push_back({'W', a, v});
        };
        entries_.ReadPort = [](CpuState* st, std::uint8_t port) {
            Z80Test* t = Self(st);
            t->log_.push_back({'I', port, t->portValue_});
            return t->portValue_;
        };
        entries_.WritePort = [](CpuState* st, std::uint8_t port, std::uint8_t v) {
            Self(st)->log_.push_back({'O', port, v});
        };
        entries_.InterruptAck = [](CpuState* st, std::uint16_t* address) {
            Z80Test* t = Self(st);
            ++t->acks_;
            if (!t->request_) return false;
            *address = *t->request_;
            t->request_.reset();
            return true;
        };
        s_.Entries = &entries_;
        s_.Owner = this;
        // Garbage everywhere, so that Init has to clear every field.
        s_.A = s_.F = 0x5A;
        s_.BC = s_.DE = s_.HL = s_.IX = s_.IY = s_.SP = s_.PC = 0x1234;
        s_.BC2 = s_.DE2 = s_.HL2 = 0x4321;
        s_.A2 = s_.F2 = s_.R = s_.I = s_.IFF1 = s_.IFF2 = s_.EIDelay = s_.IM = 0x77;
        s_.TotalCycles = 999;
        s_.LastCycles = 9;
        entries_.Init(&s_);
    }

    static Z80Test* Self(CpuState* st) { return static_cast<Z80Test*>(st->Owner); }

    std::uint8_t Bus(char kind, std::uint16_t a) {
        log_.push_back({kind, a, ram_[a]});
        return ram_[a];
    }

    void Poke(std::uint16_t at, std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) ram_[at++] = b;
    }
    std::uint16_t Peek16(std::uint16_t at) const {
        return static_cast<std::uint16_t>(ram_[at] | ram_[static_cast<std::uint16_t>(at + 1)] << 8);
    }

    // Places a program at PC = `at` and clears the access log.
    void Program(std::uint16_t at, std::initializer_list<std::uint8_t> bytes) {
        Poke(at, bytes);
        s_.PC = at;
        log_.clear();
    }

    // One Execute call; returns its T-states and checks TotalCycles follows.
    int Step() {
        const std::uint64_t before = s_.TotalCycles;
        entries_.Execute(&s_);
        EXPECT_EQ(s_.TotalCycles - before, s_.LastCycles);
        return s_.LastCycles;
    }

    std::array<std::uint8_t, 0x10000> ram_{};
    CpuEntries entries_{};
    CpuState s_{};
    std::vector<Access> log_;
    std::optional<std::uint16_t> request_;
    std::uint8_t portValue_ = 0;
    int acks_ = 0;
};

TEST_F(Z80Test, InitClearsEverythingAndDisablesInterrupts) {
    EXPECT_EQ(entries_.Execute, &Z80_Execute);
    EXPECT_EQ(s_.A, 0);
    EXPECT_EQ(s_.F, 0);
    EXPECT_EQ(s_.BC | s_.DE | s_.HL | s_.PC | s_.SP | s_.IX | s_.IY, 0);
    EXPECT_EQ(s_.A2 | s_.F2 | s_.BC2 | s_.DE2 | s_.HL2, 0);
    EXPECT_EQ(s_.R | s_.I | s_.IFF1 | s_.IFF2 | s_.EIDelay | s_.IM, 0);
    EXPECT_EQ(s_.TotalCycles, 0u);
    EXPECT_EQ(s_.LastCycles, 0);
    EXPECT_EQ(s_.Entries, &entries_);
    EXPECT_EQ(s_.Owner, this);

    // A pending request is neither asked for nor taken while disabled.
    request_ = 0x0030;
    Program(0x0000, {0x00, 0x00});
    EXPECT_EQ(Step(), 4);
    EXPECT_EQ(Step(), 4);
    EXPECT_EQ(s_.PC, 2);
    EXPECT_EQ(acks_, 0);
}

TEST_F(Z80Test, EnableInterruptWaitsThreeInstructionsThenMode0CallsTheVector) {
    s_.SP = 0x8000;
    Program(0x0100, {0xFB, 0x00, 0x00, 0x00, 0x00});  // EI, NOPs
    request_ = 0x0028;
    EXPECT_EQ(Step(), 4);  // EI
    EXPECT_EQ(s_.IFF1, 0xFF);
    EXPECT_EQ(s_.IFF2, 0xFF);
    EXPECT_EQ(s_.EIDelay, 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Step(), 4);
    EXPECT_EQ(acks_, 0);
    EXPECT_EQ(s_.PC, 0x0104);
    log_.clear();

    EXPECT_EQ(Step(), 19);  // IM 0: the call address taken as a CALL
    EXPECT_EQ(acks_, 1);
    EXPECT_EQ(s_.PC, 0x0028);
    EXPECT_EQ(s_.SP, 0x7FFE);
    EXPECT_EQ(s_.IFF1, 0);
    EXPECT_EQ(s_.IFF2, 0);
    // The byte at PC is looked at (for a HALT), then the low byte is pushed first.
    EXPECT_THAT(log_, ElementsAre(Access{'R', 0x0104, 0x00}, Access{'W', 0x7FFE, 0x04},
                                  Access{'W', 0x7FFF, 0x01}));
}

TEST_F(Z80Test, DisableWithinTheDelayKeepsTheRequestOut) {
    Program(0x0100, {0xFB, 0x00, 0xF3, 0x00, 0x00});  // EI, NOP, DI, NOP, NOP
    request_ = 0x0028;
    for (int i = 0; i < 5; ++i) Step();
    EXPECT_EQ(s_.PC, 0x0105);
    EXPECT_EQ(acks_, 0);
    EXPECT_TRUE(request_.has_value());
    // The counter ran down over NOP and DI, and stands still once disabled.
    EXPECT_EQ(s_.EIDelay, 1);
}

TEST_F(Z80Test, Modes1And2) {
    s_.SP = 0x8000;
    s_.IFF1 = s_.IFF2 = 0xFF;
    s_.IM = 1;
    Program(0x0200, {0x00});
    request_ = 0x1234;
    EXPECT_EQ(Step(), 13);
    EXPECT_EQ(s_.PC, 0x0038);
    EXPECT_EQ(Peek16(0x7FFE), 0x0200);

    // IM 2: the word at I * 256 + low byte of the controller's address.
    s_.IFF1 = s_.IFF2 = 0xFF;
    s_.IM = 2;
    s_.I = 0x12;
    Poke(0x1234, {0xCD, 0xAB});
    request_ = 0x5634;
    EXPECT_EQ(Step(), 19);
    EXPECT_EQ(s_.PC, 0xABCD);
    EXPECT_EQ(Peek16(0x7FFC), 0x0038);
    EXPECT_EQ(s_.IFF1 | s_.IFF2, 0);

    // The IM instructions themselves, 8 T-states each.
    Program(0x0300, {0xED, 0x46, 0xED, 0x56, 0xED, 0x5E});
    EXPECT_EQ(Step(), 8);
    EXPECT_EQ(s_.IM, 0);
    EXPECT_EQ(Step(), 8);
    EXPECT_EQ(s_.IM, 1);
    EXPECT_EQ(Step(), 8);
    EXPECT_EQ(s_.IM, 2);
}

TEST_F(Z80Test, HaltRepeatsUntilAnInterruptWhichReturnsPastIt) {
    s_.SP = 0x8000;
    Program(0x0100, {0x76, 0x3C});  // HALT, INC A
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Step(), 4);
        EXPECT_EQ(s_.PC, 0x0100);
    }
    EXPECT_EQ(s_.TotalCycles, 12u);

    s_.IFF1 = s_.IFF2 = 0xFF;
    s_.IM = 1;
    request_ = 0x0000;
    EXPECT_EQ(Step(), 13);
    EXPECT_EQ(Peek16(0x7FFE), 0x0101);  // the HALT is not run again after RET

    // ED 76 falls back onto the 76 and halts as well.
    Program(0x0400, {0xED, 0x76});
    EXPECT_EQ(Step(), 4);
    EXPECT_EQ(s_.PC, 0x0401);
    EXPECT_EQ(Step(), 4);
    EXPECT_EQ(s_.PC, 0x0401);
    s_.IFF1 = s_.IFF2 = 0xFF;
    request_ = 0x0000;
    Step();
    EXPECT_EQ(Peek16(s_.SP), 0x0402);
}

TEST_F(Z80Test, RetiAndRetnRestoreIff1FromIff2) {
    s_.SP = 0x8000;
    s_.IFF1 = s_.IFF2 = 0xFF;
    s_.IM = 1;
    Poke(0x0038, {0xED, 0x4D});  // RETI
    Program(0x0100, {0x00});
    request_ = 0x0000;
    Step();
    EXPECT_EQ(Step(), 14);
    EXPECT_EQ(s_.PC, 0x0100);
    EXPECT_EQ(s_.SP, 0x8000);
    EXPECT_EQ(s_.IFF1, 0);  // acceptance cleared IFF2 too: the handler needs EI

    // RETN brings back an IFF2 that survived (as after a non-maskable entry).
    s_.IFF1 = 0;
    s_.IFF2 = 0xFF;
    s_.SP = 0x7000;
    Poke(0x7000, {0x34, 0x12});
    Program(0x0200, {0xED, 0x45});
    EXPECT_EQ(Step(), 14);
    EXPECT_EQ(s_.PC, 0x1234);
    EXPECT_EQ(s_.IFF1, 0xFF);
}

TEST_F(Z80Test, PrefixFallBacks) {
    // DD 00: the prefix alone, then the NOP on the next call.
    Program(0x0100, {0xDD, 0x00, 0xDD, 0xDD, 0x21, 0x34, 0x12});
    EXPECT_EQ(Step(), 4);
    EXPECT_EQ(s_.PC, 0x0101);
    EXPECT_EQ(Step(), 4);
    EXPECT_EQ(s_.PC, 0x0102);
    // DD DD 21: the first DD falls back, the second prefixes LD IX,nn.
    EXPECT_EQ(Step(), 4);
    EXPECT_EQ(s_.PC, 0x0103);
    EXPECT_EQ(Step(), 14);
    EXPECT_EQ(s_.IX, 0x1234);
    EXPECT_EQ(s_.PC, 0x0107);

    // FD 41 (no index form): LD B,C runs unprefixed next.
    s_.BC = 0x0099;
    Program(0x0200, {0xFD, 0x41});
    EXPECT_EQ(Step(), 4);
    EXPECT_EQ(Step(), 4);
    EXPECT_EQ(s_.BC, 0x9999);

    // ED 00 and ED FF: two-byte no-operations.
    const CpuState before = s_;
    Program(0x0300, {0xED, 0x00, 0xED, 0xFF});
    Step();
    EXPECT_EQ(s_.PC, 0x0302);
    Step();
    EXPECT_EQ(s_.PC, 0x0304);
    EXPECT_EQ(s_.A, before.A);
    EXPECT_EQ(s_.F, before.F);
    EXPECT_EQ(s_.BC, before.BC);
    EXPECT_EQ(s_.SP, before.SP);

    // ED 54 (in 40-7F, not an ED instruction): ED costs 4, LD D,H follows.
    s_.HL = 0xAB00;
    s_.DE = 0;
    Program(0x0400, {0xED, 0x54});
    EXPECT_EQ(Step(), 4);
    EXPECT_EQ(s_.PC, 0x0401);
    EXPECT_EQ(Step(), 4);
    EXPECT_EQ(s_.DE, 0xAB00);
}

TEST_F(Z80Test, IndexedBitOperationsAndRegisterCopies) {
    s_.IX = 0x2000;
    s_.IY = 0x3010;
    s_.BC = 0x1111;
    Poke(0x2005, {0x81});
    Program(0x0100, {0xDD, 0xCB, 0x05, 0x06});  // RLC (IX+5)
    EXPECT_EQ(Step(), 23);
    EXPECT_EQ(ram_[0x2005], 0x03);
    EXPECT_EQ(s_.BC, 0x1111);
    EXPECT_EQ(s_.F & C, C);
    // Displacement, then operation byte (fetched), then the operand (read).
    EXPECT_EQ(log_[2], (Access{'F', 0x0102, 0x05}));
    EXPECT_EQ(log_[3], (Access{'F', 0x0103, 0x06}));
    EXPECT_EQ(log_[4], (Access{'R', 0x2005, 0x81}));

    Program(0x0110, {0xDD, 0xCB, 0x05, 0x00});  // RLC (IX+5),B
    EXPECT_EQ(Step(), 23);
    EXPECT_EQ(ram_[0x2005], 0x06);
    EXPECT_EQ(s_.BC >> 8, 0x06);

    // Negative displacement through IY: SET 7,(IY-16),A and RES 0,(IY-16),L.
    ram_[0x3000] = 0x01;
    s_.HL = 0;
    Program(0x0120, {0xFD, 0xCB, 0xF0, 0xFF, 0xFD, 0xCB, 0xF0, 0x85});
    EXPECT_EQ(Step(), 23);
    EXPECT_EQ(ram_[0x3000], 0x81);
    EXPECT_EQ(s_.A, 0x81);
    EXPECT_EQ(Step(), 23);
    EXPECT_EQ(ram_[0x3000], 0x80);
    EXPECT_EQ(s_.HL, 0x0080);

    // Every BIT form tests the memory operand and writes nothing.
    s_.BC = 0;
    for (std::uint8_t op : {0x78, 0x79, 0x7E, 0x7F}) {
        Program(0x0130, {0xFD, 0xCB, 0xF0, op});  // BIT 7,(IY-16)
        EXPECT_EQ(Step(), 20);
        EXPECT_EQ(s_.F & Z, 0) << int(op);
        EXPECT_EQ(log_.back().kind, 'R');
    }
    Program(0x0140, {0xFD, 0xCB, 0xF0, 0x40});  // BIT 0,(IY-16): the bit is 0
    Step();
    EXPECT_EQ(s_.F & Z, Z);
    EXPECT_EQ(s_.BC, 0);
}

TEST_F(Z80Test, ShiftsAndHalfIndexRegisters) {
    s_.BC = 0x8000;
    Program(0x0100, {0xCB, 0x30});  // SLL B
    EXPECT_EQ(Step(), 8);
    EXPECT_EQ(s_.BC, 0x0100);
    EXPECT_EQ(s_.F & C, C);

    // (HL) forms: shifts and SET take 15, BIT 12.
    s_.HL = 0x4000;
    ram_[0x4000] = 0x01;
    Program(0x0110, {0xCB, 0x3E, 0xCB, 0x46, 0xCB, 0xFE});  // SRL (HL), BIT 0,(HL), SET 7,(HL)
    EXPECT_EQ(Step(), 15);
    EXPECT_EQ(ram_[0x4000], 0x00);
    EXPECT_EQ(s_.F & (C | Z), C | Z);
    EXPECT_EQ(Step(), 12);
    EXPECT_EQ(s_.F & (Z | H), Z | H);
    EXPECT_EQ(Step(), 15);
    EXPECT_EQ(ram_[0x4000], 0x80);

    // IXH/IXL forms: H and L mean the halves, 9 T-states each.
    s_.IX = 0x1234;
    s_.HL = 0x5678;
    s_.A = 0x01;
    Program(0x0200, {0xDD, 0x26, 0xAB,    // LD IXH,n
                     0xDD, 0x6F,          // LD IXL,A
                     0xDD, 0x44,          // LD B,IXH
                     0xDD, 0x2C,          // INC IXL
                     0xDD, 0x85,          // ADD A,IXL
                     0xDD, 0x65,          // LD IXH,IXL
                     0xDD, 0x66, 0x10});  // LD H,(IX+10h): the real H
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Step(), 9) << i;
    EXPECT_EQ(s_.IX, 0x0202);
    EXPECT_EQ(s_.BC >> 8, 0xAB);
    EXPECT_EQ(s_.A, 0x03);
    EXPECT_EQ(s_.HL, 0x5678);
    ram_[0x0212] = 0xEE;
    EXPECT_EQ(Step(), 19);
    EXPECT_EQ(s_.HL, 0xEE78);
    EXPECT_EQ(s_.IX, 0x0202);
}

TEST_F(Z80Test, RefreshRegisterHoldsWhatWasLoaded) {
    s_.A = 0x5D;
    s_.IFF2 = 0xFF;
    Program(0x0100, {0xED, 0x4F, 0x00, 0x3E, 0x00, 0x01, 0x00, 0x00, 0xED, 0x5F});
    EXPECT_EQ(Step(), 9);  // LD R,A
    EXPECT_EQ(s_.R, 0x5D);
    Step();
    Step();
    Step();
    EXPECT_EQ(s_.A, 0);
    EXPECT_EQ(Step(), 9);  // LD A,R
    EXPECT_EQ(s_.A, 0x5D);
    EXPECT_EQ(s_.F & (S | Z | H | N | PV), PV);  // P/V shows IFF2

    s_.IFF2 = 0;
    s_.I = 0x80;
    Program(0x0200, {0xED, 0x57});  // LD A,I
    EXPECT_EQ(Step(), 9);
    EXPECT_EQ(s_.A, 0x80);
    EXPECT_EQ(s_.F & (S | PV), S);
}

TEST_F(Z80Test, BlockInstructionsRunOneIterationPerStep) {
    s_.HL = 0x1000;
    s_.DE = 0x2000;
    s_.BC = 3;
    Poke(0x1000, {0xA1, 0xA2, 0xA3});
    Program(0x0100, {0xED, 0xB0});  // LDIR
    EXPECT_EQ(Step(), 21);
    EXPECT_EQ(s_.PC, 0x0100);
    EXPECT_EQ(s_.F & PV, PV);
    EXPECT_EQ(Step(), 21);
    EXPECT_EQ(Step(), 16);
    EXPECT_EQ(s_.PC, 0x0102);
    EXPECT_EQ(s_.BC, 0);
    EXPECT_EQ(s_.HL, 0x1003);
    EXPECT_EQ(s_.DE, 0x2003);
    EXPECT_EQ(s_.F & (PV | H | N), 0);
    EXPECT_EQ(ram_[0x2000], 0xA1);
    EXPECT_EQ(ram_[0x2002], 0xA3);

    // CPDR stops on the match with BC still non-zero.
    s_.HL = 0x1002;
    s_.BC = 10;
    s_.A = 0xA2;
    Program(0x0200, {0xED, 0xB9});
    EXPECT_EQ(Step(), 21);
    EXPECT_EQ(Step(), 16);
    EXPECT_EQ(s_.PC, 0x0202);
    EXPECT_EQ(s_.HL, 0x1000);
    EXPECT_EQ(s_.BC, 8);
    EXPECT_EQ(s_.F & (Z | PV | N), Z | PV | N);

    // OTIR: (HL) goes out on port C alone (B stays out of the port number) and B counts down.
    s_.HL = 0x1000;
    s_.BC = 0x02FE;
    Program(0x0300, {0xED, 0xB3});
    EXPECT_EQ(Step(), 21);
    EXPECT_EQ(Step(), 16);
    EXPECT_THAT(log_, ::testing::Contains(Access{'O', 0xFE, 0xA1}));
    EXPECT_THAT(log_, ::testing::Contains(Access{'O', 0xFE, 0xA2}));
    EXPECT_EQ(s_.BC, 0x00FE);
    EXPECT_EQ(s_.F & (Z | N), Z | N);

    // INI: port in, B down, then the write; Z tells B reached 0.
    s_.HL = 0x3000;
    s_.BC = 0x0155;
    portValue_ = 0x77;
    Program(0x0400, {0xED, 0xA2});
    EXPECT_EQ(Step(), 16);
    EXPECT_EQ(ram_[0x3000], 0x77);
    EXPECT_EQ(s_.HL, 0x3001);
    EXPECT_EQ(s_.F & (Z | N), Z | N);
    EXPECT_THAT(log_, ElementsAre(Access{'F', 0x0400, 0xED}, Access{'F', 0x0401, 0xA2},
                                  Access{'I', 0x55, 0x77}, Access{'W', 0x3000, 0x77}));
}

TEST_F(Z80Test, SixteenBitHalfCarryComesFromBit11) {
    struct Case {
        std::uint8_t prefix, op;
        std::uint16_t a, b;
        std::uint8_t carryIn;
        std::uint16_t result;
        std::uint8_t flagsMask, flags;
    };
    const Case cases[] = {
        {0x00, 0x09, 0x0FF0, 0x0010, 0, 0x1000, H | C | N, H},       // ADD HL,BC
        {0x00, 0x09, 0x000F, 0x0001, 0, 0x0010, H | C | N, 0},       // no carry out of bit 11
        {0x00, 0x09, 0xF000, 0x1000, 0, 0x0000, H | C | N, C},       // C only
        {0xDD, 0x09, 0x0800, 0x0800, 0, 0x1000, H | C | N, H},       // ADD IX,BC
        {0xED, 0x4A, 0x0FFF, 0x0000, 1, 0x1000, 0xFF & ~(Y | X), H},  // ADC HL,BC
        {0xED, 0x4A, 0x7FFF, 0x0001, 0, 0x8000, 0xFF & ~(Y | X), S | H | PV},
        {0xED, 0x42, 0x1000, 0x0001, 0, 0x0FFF, 0xFF & ~(Y | X), H | N},      // SBC HL,BC
        {0xED, 0x42, 0x0001, 0x0000, 1, 0x0000, 0xFF & ~(Y | X), Z | N},
        {0xED, 0x42, 0x8000, 0x0001, 0, 0x7FFF, 0xFF & ~(Y | X), H | PV | N},
        {0xED, 0x42, 0x0000, 0x0001, 0, 0xFFFF, 0xFF & ~(Y | X), S | H | N | C},
    };
    for (const Case& c : cases) {
        s_.HL = s_.IX = c.a;
        s_.BC = c.b;
        s_.F = c.carryIn;
        if (c.prefix != 0) {
            Program(0x0100, {c.prefix, c.op});
        } else {
            Program(0x0100, {c.op});
        }
        const int t = Step();
        const std::uint16_t result = c.prefix == 0xDD ? s_.IX : s_.HL;
        EXPECT_EQ(result, c.result) << std::hex << int(c.op) << ' ' << c.a;
        EXPECT_EQ(s_.F & c.flagsMask, c.flags) << std::hex << int(c.op) << ' ' << c.a;
        EXPECT_EQ(t, c.prefix == 0 ? 11 : 15);
    }
    // ADD HL keeps S, Z, P/V and bits 5/3.
    s_.F = S | Z | Y | X | PV | N;
    s_.HL = 1;
    s_.BC = 1;
    Program(0x0100, {0x09});
    Step();
    EXPECT_EQ(s_.F, S | Z | Y | X | PV);
}

TEST_F(Z80Test, DecimalAdjustAndBits5And3) {
    s_.A = 0x27;
    Program(0x0100, {0xC6, 0x15, 0x27});  // ADD A,15h; DAA
    Step();
    EXPECT_EQ(Step(), 4);
    EXPECT_EQ(s_.A, 0x42);
    EXPECT_EQ(s_.F, H | PV);  // 0x42 has even parity and bits 5, 3 clear

    s_.A = 0x19;
    Program(0x0110, {0xC6, 0x09, 0x27});  // 19 + 09 = 28: bits 5 and 3 set
    Step();
    Step();
    EXPECT_EQ(s_.A, 0x28);
    EXPECT_EQ(s_.F, Y | X | PV);

    s_.A = 0x42;
    Program(0x0120, {0xD6, 0x15, 0x27});  // 42 - 15 = 27: bit 5 set, bit 3 clear
    Step();
    Step();
    EXPECT_EQ(s_.A, 0x27);
    EXPECT_EQ(s_.F, Y | PV | N);

    s_.A = 0x99;
    Program(0x0130, {0xC6, 0x01, 0x27});  // 99 + 01 = 00, carry
    Step();
    Step();
    EXPECT_EQ(s_.A, 0x00);
    EXPECT_EQ(s_.F, Z | H | PV | C);

    // Whole-flag writers clear bits 5/3; partial writers keep them.
    auto flagsAfter = [&](std::initializer_list<std::uint8_t> code, std::uint8_t a) {
        s_.A = a;
        s_.F = 0xFF;
        Program(0x0200, code);
        Step();
        return s_.F;
    };
    EXPECT_EQ(flagsAfter({0x3C}, 0x27) & (Y | X), 0);           // INC A
    EXPECT_EQ(flagsAfter({0xE6, 0xFF}, 0x28) & (Y | X), 0);     // AND n
    EXPECT_EQ(flagsAfter({0x3F}, 0x28), S | Z | PV | H);        // CCF
    EXPECT_EQ(flagsAfter({0x37}, 0x00), S | Z | Y | X | PV | C);  // SCF
    EXPECT_EQ(flagsAfter({0x2F}, 0x00), 0xFF);                  // CPL
    EXPECT_EQ(flagsAfter({0x07}, 0x00), S | Z | Y | X | PV);    // RLCA
    EXPECT_EQ(flagsAfter({0xCB, 0x47}, 0x01), S | Y | X | H | PV | C);  // BIT 0,A
    EXPECT_EQ(flagsAfter({0xED, 0x44}, 0x28) & (Y | X), 0);     // NEG
}

TEST_F(Z80Test, EightBitArithmeticFlags) {
    auto run = [&](std::uint8_t op, std::uint8_t a, std::uint8_t n, std::uint8_t f) {
        s_.A = a;
        s_.F = f;
        Program(0x0100, {op, n});
        Step();
    };
    run(0xC6, 0x7F, 0x01, 0);  // ADD: signed overflow, half carry
    EXPECT_EQ(s_.A, 0x80);
    EXPECT_EQ(s_.F, S | H | PV);
    run(0xCE, 0xFF, 0x00, C);  // ADC with carry in
    EXPECT_EQ(s_.A, 0x00);
    EXPECT_EQ(s_.F, Z | H | C);
    run(0xD6, 0x10, 0x01, 0);  // SUB: borrow out of bit 4
    EXPECT_EQ(s_.A, 0x0F);
    EXPECT_EQ(s_.F, H | N);
    run(0xDE, 0x80, 0x00, C);  // SBC: signed overflow
    EXPECT_EQ(s_.A, 0x7F);
    EXPECT_EQ(s_.F, H | PV | N);
    run(0xFE, 0x01, 0x02, 0);  // CP: A stays
    EXPECT_EQ(s_.A, 0x01);
    EXPECT_EQ(s_.F, S | H | N | C);
    run(0xEE, 0x0F, 0x0F, C);  // XOR
    EXPECT_EQ(s_.F, Z | PV);
    run(0xF6, 0x01, 0x00, 0);  // OR: odd parity
    EXPECT_EQ(s_.F, 0);

    s_.A = 0x80;
    s_.F = C;
    Program(0x0200, {0x3D, 0x3C, 0xED, 0x44});  // DEC A, INC A, NEG
    Step();
    EXPECT_EQ(s_.A, 0x7F);
    EXPECT_EQ(s_.F, H | PV | N | C);
    Step();
    EXPECT_EQ(s_.A, 0x80);
    EXPECT_EQ(s_.F, S | H | PV | C);
    EXPECT_EQ(Step(), 8);
    EXPECT_EQ(s_.A, 0x80);
    EXPECT_EQ(s_.F, S | PV | N | C);
}

TEST_F(Z80Test, PortNumbers) {
    s_.BC = 0x12FE;
    s_.A = 0x34;
    portValue_ = 0x80;
    Program(0x0100, {0xED, 0x78,          // IN A,(C)
                     0xED, 0x41,          // OUT (C),B
                     0xED, 0x71,          // OUT (C),0
                     0xED, 0x70,          // IN (C): flags only
                     0xDB, 0x99,          // IN A,(99h)
                     0xD3, 0x98});        // OUT (98h),A
    EXPECT_EQ(Step(), 12);
    EXPECT_EQ(s_.A, 0x80);
    EXPECT_EQ(s_.F & (S | Z | H | N), S);
    EXPECT_EQ(Step(), 12);
    EXPECT_EQ(Step(), 12);
    portValue_ = 0x00;
    s_.A = 0x55;
    EXPECT_EQ(Step(), 12);
    EXPECT_EQ(s_.A, 0x55);
    EXPECT_EQ(s_.F & Z, Z);
    portValue_ = 0x42;
    EXPECT_EQ(Step(), 11);
    EXPECT_EQ(s_.A, 0x42);
    EXPECT_EQ(Step(), 11);
    std::vector<Access> ports;
    for (const Access& a : log_) {
        if (a.kind == 'I' || a.kind == 'O') ports.push_back(a);
    }
    EXPECT_THAT(ports, ElementsAre(Access{'I', 0xFE, 0x80}, Access{'O', 0xFE, 0x12},
                                   Access{'O', 0xFE, 0x00}, Access{'I', 0xFE, 0x00},
                                   Access{'I', 0x99, 0x42}, Access{'O', 0x98, 0x42}));
}

TEST_F(Z80Test, CallAndPushCallbackOrder) {
    s_.SP = 0x8000;
    Program(0x0100, {0xCD, 0x34, 0x12});  // CALL 1234h
    EXPECT_EQ(Step(), 17);
    EXPECT_THAT(log_, ElementsAre(Access{'F', 0x0100, 0xCD}, Access{'W', 0x7FFE, 0x03},
                                  Access{'W', 0x7FFF, 0x01}, Access{'F', 0x0101, 0x34},
                                  Access{'F', 0x0102, 0x12}));
    EXPECT_EQ(s_.PC, 0x1234);

    s_.BC = 0xBBCC;
    Program(0x0200, {0xC5, 0xE1});  // PUSH BC, POP HL
    EXPECT_EQ(Step(), 11);
    EXPECT_EQ(Step(), 10);
    EXPECT_THAT(log_, ElementsAre(Access{'F', 0x0200, 0xC5}, Access{'W', 0x7FFC, 0xCC},
                                  Access{'W', 0x7FFD, 0xBB}, Access{'F', 0x0201, 0xE1},
                                  Access{'R', 0x7FFC, 0xCC}, Access{'R', 0x7FFD, 0xBB}));
    EXPECT_EQ(s_.HL, 0xBBCC);

    // A call or jump not taken reads no address bytes.
    s_.F = 0;
    Program(0x0300, {0xCC, 0x00, 0x40, 0xCA, 0x00, 0x40});  // CALL Z / JP Z
    EXPECT_EQ(Step(), 10);
    EXPECT_EQ(Step(), 10);
    EXPECT_EQ(s_.PC, 0x0306);
    EXPECT_THAT(log_, ElementsAre(Access{'F', 0x0300, 0xCC}, Access{'F', 0x0303, 0xCA}));
}

TEST_F(Z80Test, InstructionTimes) {
    struct Case {
        std::vector<std::uint8_t> code;
        int t;
    };
    // Flags are 0 before each case: Z and C clear, so NZ/NC are taken.
    const Case cases[] = {
        {{0x18, 0x00}, 12},             {{0x20, 0x00}, 12},       {{0x28, 0x00}, 7},
        {{0x10, 0x00}, 13},             {{0xC0}, 11},             {{0xC8}, 5},
        {{0xC4, 0, 0}, 17},             {{0xC9}, 10},             {{0xE3}, 19},
        {{0x01, 0, 0}, 10},             {{0x03}, 6},              {{0x22, 0, 0x50}, 16},
        {{0x32, 0, 0x50}, 13},          {{0x34}, 11},             {{0x36, 0}, 10},
        {{0xF9}, 6},                    {{0xE9}, 4},              {{0xC7}, 11},
        {{0xF5}, 11},                   {{0xF1}, 10},             {{0x08}, 4},
        {{0xD9}, 4},                    {{0xDD, 0x21, 0, 0}, 14}, {{0xDD, 0x22, 0, 0x50}, 20},
        {{0xDD, 0x2A, 0, 0x50}, 20},    {{0xDD, 0x23}, 10},       {{0xDD, 0x34, 1}, 23},
        {{0xDD, 0x36, 1, 2}, 19},       {{0xDD, 0x7E, 1}, 19},    {{0xDD, 0x77, 1}, 19},
        {{0xFD, 0xBE, 1}, 19},          {{0xDD, 0xE1}, 14},       {{0xFD, 0xE5}, 15},
        {{0xDD, 0xE3}, 23},             {{0xDD, 0xE9}, 8},        {{0xFD, 0xF9}, 10},
        {{0xFD, 0x2E, 5}, 9},           {{0xFD, 0xBD}, 9},        {{0xED, 0x43, 0, 0x50}, 20},
        {{0xED, 0x7B, 0, 0x50}, 20},    {{0xED, 0x67}, 18},       {{0xED, 0x6F}, 18},
        {{0xED, 0x47}, 9},              {{0xED, 0xA0}, 16},       {{0xED, 0xA1}, 16},
        {{0xED, 0xAB}, 16},             {{0xCB, 0x00}, 8},        {{0xCB, 0x86}, 15},
    };
    for (const Case& c : cases) {
        s_.SP = 0x8000;
        s_.HL = 0x6000;
        s_.IX = s_.IY = 0x6000;
        s_.BC = 0x0200;
        s_.F = 0;
        for (std::size_t i = 0; i < c.code.size(); ++i) ram_[0x0100 + i] = c.code[i];
        s_.PC = 0x0100;
        EXPECT_EQ(Step(), c.t) << "opcode " << std::hex << int(c.code[0]) << ' '
                               << (c.code.size() > 1 ? int(c.code[1]) : 0);
    }
}

TEST_F(Z80Test, RotatedExchangesAndRegisterSets) {
    s_.A = 0x11;
    s_.F = 0x22;
    s_.A2 = 0x33;
    s_.F2 = 0x44;
    s_.BC = 1;
    s_.DE = 2;
    s_.HL = 3;
    s_.BC2 = 4;
    s_.DE2 = 5;
    s_.HL2 = 6;
    s_.SP = 0x8000;
    Poke(0x8000, {0xCD, 0xAB});
    Program(0x0100, {0x08, 0xD9, 0xEB, 0xE3});  // EX AF,AF'; EXX; EX DE,HL; EX (SP),HL
    Step();
    EXPECT_EQ(s_.A, 0x33);
    EXPECT_EQ(s_.F, 0x44);
    EXPECT_EQ(s_.A2, 0x11);
    EXPECT_EQ(s_.F2, 0x22);
    Step();
    EXPECT_EQ(s_.BC, 4);
    EXPECT_EQ(s_.HL2, 3);
    Step();
    EXPECT_EQ(s_.DE, 6);
    EXPECT_EQ(s_.HL, 5);
    Step();
    EXPECT_EQ(s_.HL, 0xABCD);
    EXPECT_EQ(Peek16(0x8000), 5);

    // RRD and RLD move nibbles between A and (HL).
    s_.HL = 0x5000;
    ram_[0x5000] = 0x34;
    s_.A = 0x12;
    Program(0x0200, {0xED, 0x67, 0xED, 0x6F});
    Step();
    EXPECT_EQ(s_.A, 0x14);
    EXPECT_EQ(ram_[0x5000], 0x23);
    Step();
    EXPECT_EQ(s_.A, 0x12);
    EXPECT_EQ(ram_[0x5000], 0x34);
}

// ----------------------------------------------------------------- snapshot

TEST_F(Z80Test, SnapshotRoundTripAndLayout) {
    s_.TotalCycles = 0x0102030405060708ULL;
    s_.LastCycles = 0x0A0B;
    s_.A = 0x11;
    s_.F = 0x22;
    s_.BC = 0x3344;
    s_.DE = 0x5566;
    s_.HL = 0x7788;
    s_.PC = 0x99AA;
    s_.SP = 0xBBCC;
    s_.IX = 0xDDEE;
    s_.IY = 0xF00F;
    s_.R = 0x12;
    s_.I = 0x34;
    s_.A2 = 0x56;
    s_.F2 = 0x78;
    s_.BC2 = 0x9ABC;
    s_.DE2 = 0xDEF0;
    s_.HL2 = 0x1357;
    s_.IFF1 = 0xFF;
    s_.IFF2 = 0x00;
    s_.EIDelay = 2;
    s_.IM = 1;

    std::vector<std::uint8_t> block(kZ80StateBlockSize + 5, 0xEE);
    std::uint32_t length = static_cast<std::uint32_t>(block.size());
    ASSERT_TRUE(entries_.SaveState(&s_, block.data(), &length));
    EXPECT_EQ(length, 60u);
    const std::vector<std::uint8_t> expected = {
        0x4A, 0x3B, 0x28, 0x1B, 0xF9, 0x56, 0x43, 0x81, 0xB6, 0x8B, 0x2A, 0x81, 0xBE, 0x1B, 0x6F,
        0x86, 40,   0,    0,    0,    0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x0B, 0x0A,
        0x11, 0x22, 0x44, 0x33, 0x66, 0x55, 0x88, 0x77, 0xAA, 0x99, 0xCC, 0xBB, 0xEE, 0xDD, 0x0F,
        0xF0, 0x12, 0x34, 0x56, 0x78, 0xBC, 0x9A, 0xF0, 0xDE, 0x57, 0x13, 0xFF, 0x00, 0x02, 0x01,
        0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(block, expected);

    CpuState other{};
    other.Entries = &entries_;
    other.Owner = nullptr;
    entries_.Init(&other);
    length = 60;
    ASSERT_TRUE(entries_.LoadState(&other, block.data(), &length));
    EXPECT_EQ(length, 60u);
    EXPECT_EQ(other.Owner, nullptr);  // never part of the block
    std::vector<std::uint8_t> again(60);
    length = 60;
    ASSERT_TRUE(entries_.SaveState(&other, again.data(), &length));
    EXPECT_TRUE(std::equal(again.begin(), again.end(), block.begin()));
}

TEST_F(Z80Test, SnapshotRefusals) {
    std::vector<std::uint8_t> block(60);
    std::uint32_t length = 0;

    // Size queries: no buffer, or a buffer that is too short.
    EXPECT_FALSE(entries_.SaveState(&s_, nullptr, &length));
    EXPECT_EQ(length, 60u);
    length = 59;
    EXPECT_FALSE(entries_.SaveState(&s_, block.data(), &length));
    EXPECT_EQ(length, 60u);
    length = 0;
    EXPECT_FALSE(entries_.LoadState(&s_, nullptr, &length));
    EXPECT_EQ(length, 60u);
    length = 59;
    EXPECT_FALSE(entries_.LoadState(&s_, block.data(), &length));
    EXPECT_EQ(length, 60u);
    length = 60;
    EXPECT_FALSE(entries_.SaveState(nullptr, block.data(), &length));
    EXPECT_EQ(length, 0u);
    length = 60;
    EXPECT_FALSE(entries_.LoadState(nullptr, block.data(), &length));
    EXPECT_EQ(length, 0u);

    // A wrong tag (an i8080 block, say) changes nothing.
    s_.A = 0x42;
    s_.PC = 0x1234;
    length = 60;
    ASSERT_TRUE(entries_.SaveState(&s_, block.data(), &length));
    block[20 + 10] = 0x99;  // A in the block
    block[3] ^= 0x01;
    length = 60;
    EXPECT_FALSE(entries_.LoadState(&s_, block.data(), &length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(s_.A, 0x42);
    EXPECT_EQ(s_.PC, 0x1234);

    // A stored size of 9 covers TotalCycles and the low byte of LastCycles only.
    block[3] ^= 0x01;
    block[16] = 9;
    for (int i = 0; i < 10; ++i) block[20 + i] = static_cast<std::uint8_t>(0xA0 + i);
    s_.LastCycles = 0x1234;
    length = 60;
    ASSERT_TRUE(entries_.LoadState(&s_, block.data(), &length));
    EXPECT_EQ(length, 29u);
    EXPECT_EQ(s_.TotalCycles, 0xA7A6A5A4A3A2A1A0ULL);
    EXPECT_EQ(s_.LastCycles, 0x12A8);
    EXPECT_EQ(s_.A, 0x42);

    // A larger stored size (a later version's block) loads the 40 known
    // bytes and reports the whole block as consumed.
    block[16] = 44;
    length = 60;
    ASSERT_TRUE(entries_.LoadState(&s_, block.data(), &length));
    EXPECT_EQ(length, 64u);
    EXPECT_EQ(s_.A, 0x99);

    // A size whose block length would not fit in 32 bits is damage.
    block[16] = block[17] = block[18] = block[19] = 0xFF;
    s_.A = 0x01;
    length = 60;
    EXPECT_FALSE(entries_.LoadState(&s_, block.data(), &length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(s_.A, 0x01);
}

}  // namespace
}  // namespace velgard
