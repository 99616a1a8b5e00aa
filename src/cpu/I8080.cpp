// The Intel 8080 interpreter.
//
// One Execute call runs one instruction or accepts one interrupt; Run runs
// such steps for a number of cycles. Every byte the processor touches goes
// through the machine's bus callbacks (the opcode, immediates and inline
// addresses through FetchByte in address order, data through ReadMemory/
// WriteMemory, ports through ReadPort/WritePort), except on the pages the
// owner offers as direct pages, which hold plain memory that the callbacks
// would only read or store. The registers live in CpuState between calls,
// so the machine may read or change them at any time between two steps.
//
// Each opcode is one instantiation of Step<opcode>, in which the opcode's
// fields (register, pair, condition, ALU operation) are compile-time
// constants: straight-line code without decoding at run time. Execute
// reaches them through a table of 256 handlers; Run has them all inlined
// into one jump table and keeps the registers in a local block (Local)
// instead of the state block.
#include "cpu/I8080.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

namespace velgard {
namespace {

static_assert(std::endian::native == std::endian::little,
              "register pairs are addressed as little-endian bytes");

// PSW bits. Bit 1 reads as 1 and bits 3 and 5 as 0 in every flag value an
// instruction computes, POP PSW included: the chip has no flip-flops behind
// them. Only a value written into F from outside (a snapshot, the machine)
// can differ there; STC and DAD then keep it, every other flag-writing
// instruction normalises it.
constexpr std::uint8_t kFlagS = 0x80;
constexpr std::uint8_t kFlagZ = 0x40;
constexpr std::uint8_t kFlagAC = 0x10;
constexpr std::uint8_t kFlagP = 0x04;
constexpr std::uint8_t kFlagOne = 0x02;
constexpr std::uint8_t kFlagCY = 0x01;

constexpr std::uint8_t kOpHlt = 0x76;
constexpr std::uint16_t kInterruptCycles = 17;

// S, Z and P of an 8-bit result, with the fixed bit 1 already set.
constexpr std::array<std::uint8_t, 256> MakeSzpTable() {
    std::array<std::uint8_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v) {
        std::uint8_t f = kFlagOne;
        if (v & 0x80) f |= kFlagS;
        if (v == 0) f |= kFlagZ;
        if ((std::popcount(v) & 1) == 0) f |= kFlagP;
        t[v] = f;
    }
    return t;
}
constexpr std::array<std::uint8_t, 256> kSzp = MakeSzpTable();

#define VG_INLINE inline __attribute__((always_inline))

VG_INLINE std::uint8_t& HighByte(std::uint16_t& pair) {
    return reinterpret_cast<std::uint8_t*>(&pair)[1];
}
VG_INLINE std::uint8_t& LowByte(std::uint16_t& pair) {
    return reinterpret_cast<std::uint8_t*>(&pair)[0];
}

// The registers of a run, kept in a local block that the compiler holds in
// host registers: its address never leaves the run, so the direct memory
// stores cannot alias it. Before any callback the block is written back to
// the state (Sync) and read again afterwards (Resync), so a callback sees
// and may change the processor exactly as after Execute; the cycle total
// goes back with it, for the devices that read it.
struct Local {
    std::uint8_t A, F;
    std::uint16_t BC, DE, HL, PC, SP;
    std::uint8_t IFF, EIDelay;
    std::uint8_t pending;
    std::uint64_t total;
    std::uint64_t limit;
    const std::uint8_t* const* ReadPages;
    std::uint8_t* const* WritePages;
    CpuState* state;

    explicit Local(CpuState* s) : state(s) { Load(); }
    VG_INLINE void Load() {
        CpuState* s = state;
        A = s->A;
        F = s->F;
        BC = s->BC;
        DE = s->DE;
        HL = s->HL;
        PC = s->PC;
        SP = s->SP;
        IFF = s->IFF;
        EIDelay = s->EIDelay;
        total = s->TotalCycles;
        limit = s->RunLimit;
        ReadPages = s->ReadPages;
        WritePages = s->WritePages;
        pending = *s->InterruptPending;
    }
    VG_INLINE void Store() const {
        CpuState* s = state;
        s->A = A;
        s->F = F;
        s->BC = BC;
        s->DE = DE;
        s->HL = HL;
        s->PC = PC;
        s->SP = SP;
        s->IFF = IFF;
        s->EIDelay = EIDelay;
        s->TotalCycles = total;
    }
};

VG_INLINE CpuState* Sync(CpuState* s) { return s; }
VG_INLINE void Resync(CpuState*) {}
VG_INLINE bool MayInterrupt(const CpuState* s) { return *s->InterruptPending != 0; }
VG_INLINE CpuState* Sync(Local* l) {
    l->Store();
    return l->state;
}
VG_INLINE void Resync(Local* l) { l->Load(); }
// Between callbacks nothing can change the controller's flag, so a run
// reads it only when it reloads after one.
VG_INLINE bool MayInterrupt(const Local* l) { return l->pending != 0; }

// Register by its 3-bit code: 0 B, 1 C, 2 D, 3 E, 4 H, 5 L, 7 A (6 is M).
template <unsigned R, typename S>
VG_INLINE std::uint8_t& Reg(S* s) {
    static_assert(R != 6 && R < 8);
    if constexpr (R == 0) return HighByte(s->BC);
    else if constexpr (R == 1) return LowByte(s->BC);
    else if constexpr (R == 2) return HighByte(s->DE);
    else if constexpr (R == 3) return LowByte(s->DE);
    else if constexpr (R == 4) return HighByte(s->HL);
    else if constexpr (R == 5) return LowByte(s->HL);
    else return s->A;
}

// Register pair by its 2-bit code: 0 BC, 1 DE, 2 HL, 3 SP.
template <unsigned P, typename S>
VG_INLINE std::uint16_t& Pair(S* s) {
    if constexpr (P == 0) return s->BC;
    else if constexpr (P == 1) return s->DE;
    else if constexpr (P == 2) return s->HL;
    else return s->SP;
}

// Condition by its 3-bit code: NZ, Z, NC, C, PO, PE, P, M.
template <unsigned C>
VG_INLINE bool Condition(std::uint8_t f) {
    constexpr std::uint8_t kMask[4] = {kFlagZ, kFlagCY, kFlagP, kFlagS};
    const bool set = (f & kMask[C >> 1]) != 0;
    return (C & 1) ? set : !set;
}

// Memory through the owner's direct pages where it offers them, through the
// callbacks everywhere else.
template <typename S>
VG_INLINE std::uint8_t FetchAt(S* s, const CpuEntries* e, std::uint16_t address) {
    if (const std::uint8_t* page = s->ReadPages[address >> 8]) [[likely]] return page[address & 0xFF];
    CpuState* bus = Sync(s);
    const std::uint8_t v = e->FetchByte(bus, address);
    Resync(s);
    return v;
}

template <typename S>
VG_INLINE std::uint8_t ReadAt(S* s, const CpuEntries* e, std::uint16_t address) {
    if (const std::uint8_t* page = s->ReadPages[address >> 8]) [[likely]] return page[address & 0xFF];
    CpuState* bus = Sync(s);
    const std::uint8_t v = e->ReadMemory(bus, address);
    Resync(s);
    return v;
}

template <typename S>
VG_INLINE void WriteAt(S* s, const CpuEntries* e, std::uint16_t address, std::uint8_t value) {
    if (std::uint8_t* page = s->WritePages[address >> 8]) [[likely]] {
        page[address & 0xFF] = value;
        return;
    }
    CpuState* bus = Sync(s);
    e->WriteMemory(bus, address, value);
    Resync(s);
}

template <typename S>
VG_INLINE std::uint8_t PortIn(S* s, const CpuEntries* e, std::uint8_t port) {
    CpuState* bus = Sync(s);
    const std::uint8_t v = e->ReadPort(bus, port);
    Resync(s);
    return v;
}

template <typename S>
VG_INLINE void PortOut(S* s, const CpuEntries* e, std::uint8_t port, std::uint8_t value) {
    CpuState* bus = Sync(s);
    e->WritePort(bus, port, value);
    Resync(s);
}

// The fetch helpers take PC in a register (the address after the opcode,
// already stored in s->PC by Execute) rather than reloading it from the state
// block: the reload would wait for that store to be forwarded, a delay that
// lies on the chain from one instruction's PC to the next one's.
template <typename S>
VG_INLINE std::uint16_t FetchWord(S* s, const CpuEntries* e, std::uint16_t pc) {
    const std::uint8_t lo = FetchAt(s, e, pc);
    const std::uint8_t hi = FetchAt(s, e, static_cast<std::uint16_t>(pc + 1));
    s->PC = static_cast<std::uint16_t>(pc + 2);
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

template <typename S>
VG_INLINE std::uint8_t FetchImmediate(S* s, const CpuEntries* e, std::uint16_t pc) {
    const std::uint8_t v = FetchAt(s, e, pc);
    s->PC = static_cast<std::uint16_t>(pc + 1);
    return v;
}

template <typename S>
VG_INLINE std::uint16_t ReadWord(S* s, const CpuEntries* e, std::uint16_t address) {
    const std::uint8_t lo = ReadAt(s, e, address);
    const std::uint8_t hi = ReadAt(s, e, static_cast<std::uint16_t>(address + 1));
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

template <typename S>
VG_INLINE void WriteWord(S* s, const CpuEntries* e, std::uint16_t address,
                         std::uint16_t value) {
    WriteAt(s, e, address, static_cast<std::uint8_t>(value));
    WriteAt(s, e, static_cast<std::uint16_t>(address + 1), static_cast<std::uint8_t>(value >> 8));
}

// SP is lowered first; then the low byte goes to SP and the high byte to SP + 1.
template <typename S>
VG_INLINE void Push(S* s, const CpuEntries* e, std::uint16_t value) {
    const std::uint16_t sp = static_cast<std::uint16_t>(s->SP - 2);
    s->SP = sp;
    WriteWord(s, e, sp, value);
}

template <typename S>
VG_INLINE std::uint16_t Pop(S* s, const CpuEntries* e) {
    const std::uint16_t sp = s->SP;
    const std::uint16_t value = ReadWord(s, e, sp);
    s->SP = static_cast<std::uint16_t>(sp + 2);
    return value;
}

// Operand of an ALU or move instruction by register code; 6 reads M.
template <unsigned R, typename S>
VG_INLINE std::uint8_t Source(S* s, const CpuEntries* e) {
    if constexpr (R == 6) return ReadAt(s, e, s->HL);
    else return Reg<R>(s);
}

// The chip subtracts by adding the complement: A + NOT v + (1 - borrow).
// AC is the carry out of bit 3 of that addition, CY the inverted carry out of
// bit 7 (the borrow).
template <typename S>
VG_INLINE unsigned Subtract(S* s, unsigned v, unsigned borrow) {
    const unsigned a = s->A;
    const unsigned r = a - v - borrow;
    s->F = static_cast<std::uint8_t>(kSzp[r & 0xFF] | (~(a ^ v ^ r) & kFlagAC) | ((r >> 8) & kFlagCY));
    return r & 0xFF;
}

// ALU operation by its 3-bit code: ADD ADC SUB SBB ANA XRA ORA CMP.
template <unsigned Op, typename S>
VG_INLINE void Alu(S* s, unsigned v) {
    const unsigned a = s->A;
    if constexpr (Op == 0 || Op == 1) {
        const unsigned r = a + v + (Op == 1 ? (s->F & kFlagCY) : 0u);
        s->F = static_cast<std::uint8_t>(kSzp[r & 0xFF] | ((a ^ v ^ r) & kFlagAC) | (r >> 8));
        s->A = static_cast<std::uint8_t>(r);
    } else if constexpr (Op == 2 || Op == 3) {
        s->A = static_cast<std::uint8_t>(Subtract(s, v, Op == 3 ? (s->F & kFlagCY) : 0u));
    } else if constexpr (Op == 4) {
        // AND: the chip sets AC from bit 3 of the operands' OR.
        const unsigned r = a & v;
        s->F = static_cast<std::uint8_t>(kSzp[r] | (((a | v) & 0x08) << 1));
        s->A = static_cast<std::uint8_t>(r);
    } else if constexpr (Op == 5) {
        const unsigned r = a ^ v;
        s->F = kSzp[r];
        s->A = static_cast<std::uint8_t>(r);
    } else if constexpr (Op == 6) {
        const unsigned r = a | v;
        s->F = kSzp[r];
        s->A = static_cast<std::uint8_t>(r);
    } else {
        Subtract(s, v, 0);
    }
}

template <typename S>
VG_INLINE std::uint8_t Increment(S* s, std::uint8_t v) {
    const std::uint8_t r = static_cast<std::uint8_t>(v + 1);
    s->F = static_cast<std::uint8_t>(kSzp[r] | ((r & 0x0F) == 0 ? kFlagAC : 0) | (s->F & kFlagCY));
    return r;
}

// DCR adds 0xFF: the carry out of bit 3 is present unless the low nibble
// of the result is 0xF.
template <typename S>
VG_INLINE std::uint8_t Decrement(S* s, std::uint8_t v) {
    const std::uint8_t r = static_cast<std::uint8_t>(v - 1);
    s->F = static_cast<std::uint8_t>(kSzp[r] | ((r & 0x0F) != 0x0F ? kFlagAC : 0) | (s->F & kFlagCY));
    return r;
}

template <typename S>
VG_INLINE void DecimalAdjust(S* s) {
    const unsigned a = s->A;
    const unsigned lo = a & 0x0F;
    const unsigned hi = a >> 4;
    unsigned carry = s->F & kFlagCY;
    unsigned correction = 0;
    if ((s->F & kFlagAC) || lo > 9) correction |= 0x06;
    if (carry || hi > 9 || (hi >= 9 && lo > 9)) {
        correction |= 0x60;
        carry = kFlagCY;
    }
    const unsigned r = a + correction;
    s->F = static_cast<std::uint8_t>(kSzp[r & 0xFF] | ((a ^ correction ^ r) & kFlagAC) | carry);
    s->A = static_cast<std::uint8_t>(r);
}

// The rotates write only CY, and normalise the three fixed bits.
template <typename S>
VG_INLINE void SetRotateCarry(S* s, unsigned carry) {
    s->F = static_cast<std::uint8_t>((s->F & (kFlagS | kFlagZ | kFlagAC | kFlagP)) | kFlagOne | carry);
}

// One instruction, the opcode already fetched and s->PC already advanced
// past it to `pc`; returns its T-states.
template <unsigned Op, typename S>
VG_INLINE unsigned Step(S* s, const CpuEntries* e, std::uint16_t pc) {
    constexpr unsigned kX = Op >> 6;
    constexpr unsigned kY = (Op >> 3) & 7;
    constexpr unsigned kZ = Op & 7;
    constexpr unsigned kP = kY >> 1;
    constexpr unsigned kQ = kY & 1;

    if constexpr (Op == kOpHlt) {
        // No halted state: PC goes back onto the HLT, which runs again on
        // every call until an interrupt is accepted.
        s->PC = static_cast<std::uint16_t>(pc - 1);
        return 7;
    } else if constexpr (kX == 1) {
        // MOV r,r / MOV r,M / MOV M,r
        if constexpr (kY == 6) {
            WriteAt(s, e, s->HL, Reg<kZ>(s));
            return 7;
        } else if constexpr (kZ == 6) {
            Reg<kY>(s) = ReadAt(s, e, s->HL);
            return 7;
        } else {
            Reg<kY>(s) = Reg<kZ>(s);
            return 5;
        }
    } else if constexpr (kX == 2) {
        Alu<kY>(s, Source<kZ>(s, e));
        return kZ == 6 ? 7 : 4;
    } else if constexpr (kX == 0) {
        if constexpr (kZ == 0) {
            return 4;  // NOP and its aliases 08, 10, ..., 38
        } else if constexpr (kZ == 1) {
            if constexpr (kQ == 0) {
                Pair<kP>(s) = FetchWord(s, e, pc);  // LXI
            } else {
                const std::uint32_t r = std::uint32_t{s->HL} + Pair<kP>(s);  // DAD
                s->HL = static_cast<std::uint16_t>(r);
                s->F = static_cast<std::uint8_t>((s->F & ~kFlagCY) | (r >> 16));
            }
            return 10;
        } else if constexpr (kZ == 2) {
            if constexpr (kP < 2) {
                if constexpr (kQ == 0) WriteAt(s, e, Pair<kP>(s), s->A);  // STAX
                else s->A = ReadAt(s, e, Pair<kP>(s));                    // LDAX
                return 7;
            } else if constexpr (kP == 2) {
                const std::uint16_t address = FetchWord(s, e, pc);
                if constexpr (kQ == 0) WriteWord(s, e, address, s->HL);  // SHLD
                else s->HL = ReadWord(s, e, address);                     // LHLD
                return 16;
            } else {
                const std::uint16_t address = FetchWord(s, e, pc);
                if constexpr (kQ == 0) WriteAt(s, e, address, s->A);  // STA
                else s->A = ReadAt(s, e, address);                     // LDA
                return 13;
            }
        } else if constexpr (kZ == 3) {
            if constexpr (kQ == 0) ++Pair<kP>(s);  // INX
            else --Pair<kP>(s);                    // DCX
            return 5;
        } else if constexpr (kZ == 4 || kZ == 5) {
            if constexpr (kY == 6) {
                const std::uint16_t hl = s->HL;
                const std::uint8_t v = ReadAt(s, e, hl);
                WriteAt(s, e, hl, kZ == 4 ? Increment(s, v) : Decrement(s, v));
                return 10;
            } else {
                Reg<kY>(s) = kZ == 4 ? Increment(s, Reg<kY>(s)) : Decrement(s, Reg<kY>(s));
                return 5;
            }
        } else if constexpr (kZ == 6) {
            const std::uint8_t v = FetchImmediate(s, e, pc);
            if constexpr (kY == 6) {
                WriteAt(s, e, s->HL, v);  // MVI M
                return 10;
            } else {
                Reg<kY>(s) = v;
                return 7;
            }
        } else {
            const unsigned a = s->A;
            if constexpr (kY == 0) {  // RLC
                s->A = static_cast<std::uint8_t>((a << 1) | (a >> 7));
                SetRotateCarry(s, a >> 7);
            } else if constexpr (kY == 1) {  // RRC
                s->A = static_cast<std::uint8_t>((a >> 1) | (a << 7));
                SetRotateCarry(s, a & 1);
            } else if constexpr (kY == 2) {  // RAL
                s->A = static_cast<std::uint8_t>((a << 1) | (s->F & kFlagCY));
                SetRotateCarry(s, a >> 7);
            } else if constexpr (kY == 3) {  // RAR
                s->A = static_cast<std::uint8_t>((a >> 1) | ((s->F & kFlagCY) << 7));
                SetRotateCarry(s, a & 1);
            } else if constexpr (kY == 4) {
                DecimalAdjust(s);
            } else if constexpr (kY == 5) {
                s->A = static_cast<std::uint8_t>(~a);  // CMA
            } else if constexpr (kY == 6) {
                s->F |= kFlagCY;  // STC: the other seven bits stay as they are
            } else {
                // CMC
                s->F = static_cast<std::uint8_t>(
                    ((s->F & (kFlagS | kFlagZ | kFlagAC | kFlagP | kFlagCY)) | kFlagOne) ^ kFlagCY);
            }
            return 4;
        }
    } else {
        if constexpr (kZ == 0) {  // Rcc
            if (Condition<kY>(s->F)) {
                s->PC = Pop(s, e);
                return 11;
            }
            return 5;
        } else if constexpr (kZ == 1) {
            if constexpr (kQ == 0) {
                const std::uint16_t v = Pop(s, e);
                if constexpr (kP == 3) {
                    // POP PSW: the chip has no flip-flops behind bits 5, 3
                    // and 1, so they read back fixed whatever was popped.
                    s->F = static_cast<std::uint8_t>((v & (kFlagS | kFlagZ | kFlagAC | kFlagP | kFlagCY)) | kFlagOne);
                    s->A = static_cast<std::uint8_t>(v >> 8);
                } else {
                    Pair<kP>(s) = v;
                }
                return 10;
            } else if constexpr (kP < 2) {
                s->PC = Pop(s, e);  // RET and its alias D9
                return 10;
            } else if constexpr (kP == 2) {
                s->PC = s->HL;  // PCHL
                return 5;
            } else {
                s->SP = s->HL;  // SPHL
                return 5;
            }
        } else if constexpr (kZ == 2) {  // Jcc: not taken skips the address unread
            if (Condition<kY>(s->F)) {
                s->PC = FetchWord(s, e, pc);
            } else {
                s->PC = static_cast<std::uint16_t>(pc + 2);
            }
            return 10;
        } else if constexpr (kZ == 3) {
            if constexpr (kY < 2) {
                s->PC = FetchWord(s, e, pc);  // JMP and its alias CB
                return 10;
            } else if constexpr (kY == 2) {
                PortOut(s, e, FetchImmediate(s, e, pc), s->A);  // OUT
                return 10;
            } else if constexpr (kY == 3) {
                const std::uint8_t port = FetchImmediate(s, e, pc);  // IN
                s->A = PortIn(s, e, port);
                return 10;
            } else if constexpr (kY == 4) {  // XTHL
                const std::uint16_t sp = s->SP;
                const std::uint16_t v = ReadWord(s, e, sp);
                WriteWord(s, e, sp, s->HL);
                s->HL = v;
                return 18;
            } else if constexpr (kY == 5) {  // XCHG
                std::swap(s->DE, s->HL);
                return 4;
            } else if constexpr (kY == 6) {  // DI: the EI delay is left as it is
                s->IFF = 0;
                return 4;
            } else {  // EI: three more instructions run before an interrupt
                s->IFF = 0xFF;
                s->EIDelay = 3;
                return 4;
            }
        } else if constexpr (kZ == 4 || (kZ == 5 && kQ == 1)) {
            // CALL (CD and its aliases DD, ED, FD) and Ccc. The return address
            // is pushed before the target is fetched; a call not taken skips
            // the address unread.
            if constexpr (kZ == 4) {
                if (!Condition<kY>(s->F)) {
                    s->PC = static_cast<std::uint16_t>(pc + 2);
                    return 11;
                }
            }
            Push(s, e, static_cast<std::uint16_t>(pc + 2));
            const std::uint8_t lo = FetchAt(s, e, pc);
            const std::uint8_t hi = FetchAt(s, e, static_cast<std::uint16_t>(pc + 1));
            s->PC = static_cast<std::uint16_t>(lo | (hi << 8));
            return 17;
        } else if constexpr (kZ == 5) {  // PUSH
            if constexpr (kP == 3) Push(s, e, static_cast<std::uint16_t>(s->F | (s->A << 8)));
            else Push(s, e, Pair<kP>(s));
            return 11;
        } else if constexpr (kZ == 6) {
            Alu<kY>(s, FetchImmediate(s, e, pc));
            return 7;
        } else {  // RST
            Push(s, e, pc);
            s->PC = kY * 8;
            return 11;
        }
    }
}

template <typename S>
VG_INLINE void AcceptInterrupt(S* s, const CpuEntries* e,
                                                     std::uint16_t vector) {
    std::uint16_t pc = s->PC;
    // An interrupt that wakes a HLT (or arrives just before one) returns
    // past it.
    if (ReadAt(s, e, pc) == kOpHlt) pc = static_cast<std::uint16_t>(pc + 1);
    Push(s, e, pc);
    s->PC = vector;
    s->IFF = 0;
}

// Snapshot block: tag, stored size, then the fields from TotalCycles on.
constexpr std::array<std::uint8_t, 16> kStateTag = {0xF1, 0x9B, 0xC0, 0x60, 0x97, 0x76, 0x41, 0x42,
                                                    0x87, 0xD0, 0x7A, 0x35, 0x8F, 0xFF, 0x8B, 0xC1};
constexpr std::uint32_t kHeaderSize = 20;
constexpr std::uint32_t kFieldsSize = 24;
static_assert(kHeaderSize + kFieldsSize == kI8080StateBlockSize);

void PutLE(std::uint8_t*& p, std::uint64_t v, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i) *p++ = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint64_t GetLE(const std::uint8_t*& p, unsigned bytes) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < bytes; ++i) v |= std::uint64_t{*p++} << (8 * i);
    return v;
}

void StoreFields(const CpuState& s, std::uint8_t* out) {
    PutLE(out, s.TotalCycles, 8);
    PutLE(out, s.LastCycles, 2);
    PutLE(out, s.A, 1);
    PutLE(out, s.F, 1);
    PutLE(out, s.BC, 2);
    PutLE(out, s.DE, 2);
    PutLE(out, s.HL, 2);
    PutLE(out, s.PC, 2);
    PutLE(out, s.SP, 2);
    PutLE(out, s.IFF, 1);
    PutLE(out, s.EIDelay, 1);
}

void LoadFields(CpuState& s, const std::uint8_t* in) {
    s.TotalCycles = GetLE(in, 8);
    s.LastCycles = static_cast<std::uint16_t>(GetLE(in, 2));
    s.A = static_cast<std::uint8_t>(GetLE(in, 1));
    s.F = static_cast<std::uint8_t>(GetLE(in, 1));
    s.BC = static_cast<std::uint16_t>(GetLE(in, 2));
    s.DE = static_cast<std::uint16_t>(GetLE(in, 2));
    s.HL = static_cast<std::uint16_t>(GetLE(in, 2));
    s.PC = static_cast<std::uint16_t>(GetLE(in, 2));
    s.SP = static_cast<std::uint16_t>(GetLE(in, 2));
    s.IFF = static_cast<std::uint8_t>(GetLE(in, 1));
    s.EIDelay = static_cast<std::uint8_t>(GetLE(in, 1));
}

using HandlerFn = unsigned (*)(CpuState*, const CpuEntries*, std::uint16_t);

template <unsigned Op>
unsigned Handler(CpuState* s, const CpuEntries* e, std::uint16_t pc) {
    return Step<Op>(s, e, pc);
}

template <std::size_t... Op>
constexpr std::array<HandlerFn, 256> MakeHandlers(std::index_sequence<Op...>) {
    return {&Handler<Op>...};
}
constexpr std::array<HandlerFn, 256> kHandlers = MakeHandlers(std::make_index_sequence<256>());

// One step: an interrupt acceptance or one instruction. Returns its T-states
// and leaves the cycle books to the caller.
template <bool Inline, typename S>
VG_INLINE unsigned OneStep(S* s, const CpuEntries* e) {
    if (s->IFF != 0) [[likely]] {
        if (s->EIDelay == 0) [[likely]] {
            if (MayInterrupt(s)) [[unlikely]] {
                std::uint16_t vector = 0;
                CpuState* bus = Sync(s);
                const bool taken = e->InterruptAck(bus, &vector);
                Resync(s);
                if (taken) {
                    AcceptInterrupt(s, e, vector);
                    return kInterruptCycles;
                }
            }
        } else {
            --s->EIDelay;
        }
    }
    const std::uint16_t pc = s->PC;
    const std::uint16_t next = static_cast<std::uint16_t>(pc + 1);
    s->PC = next;
    if constexpr (Inline) {
        // Every handler inlined into one jump table.
        switch (FetchAt(s, e, pc)) {
#define VG_CASE(n) \
    case (n):      \
        return Step<(n)>(s, e, next);
#define VG_R4(n) VG_CASE(n) VG_CASE((n) + 1) VG_CASE((n) + 2) VG_CASE((n) + 3)
#define VG_R16(n) VG_R4(n) VG_R4((n) + 4) VG_R4((n) + 8) VG_R4((n) + 12)
#define VG_R64(n) VG_R16(n) VG_R16((n) + 16) VG_R16((n) + 32) VG_R16((n) + 48)
            VG_R64(0) VG_R64(64) VG_R64(128) VG_R64(192)
#undef VG_R64
#undef VG_R16
#undef VG_R4
#undef VG_CASE
        }
        __builtin_unreachable();
    } else {
        return kHandlers[FetchAt(s, e, pc)](s, e, next);
    }
}

}  // namespace

void I8080_Init(CpuState* s) {
    s->A = 0;
    s->F = kFlagOne;
    s->BC = s->DE = s->HL = 0;
    s->PC = s->SP = 0;
    s->IFF = 0xFF;  // the 8080 core starts with interrupts enabled
    s->EIDelay = 0;
    s->TotalCycles = 0;
    s->LastCycles = 0;
}

void I8080_Execute(CpuState* s) {
    const unsigned cycles = OneStep<false>(s, s->Entries);
    s->LastCycles = static_cast<std::uint16_t>(cycles);
    s->TotalCycles += cycles;
}

std::uint64_t I8080_Run(CpuState* s, std::uint64_t cycles) {
    const CpuEntries* e = s->Entries;
    const std::uint64_t start = s->TotalCycles;
    s->RunLimit = cycles > UINT64_MAX - start ? UINT64_MAX : start + cycles;
    Local l(s);
    std::uint64_t steps = 0;
    unsigned last = s->LastCycles;
    while (l.total < l.limit) {
        last = OneStep<true>(&l, e);
        l.total += last;
        ++steps;
    }
    l.Store();
    s->LastCycles = static_cast<std::uint16_t>(last);
    return steps;
}

bool I8080_SaveState(CpuState* s, std::uint8_t* buffer, std::uint32_t* length) {
    if (length == nullptr) return false;
    if (s == nullptr) {
        *length = 0;
        return false;
    }
    if (buffer == nullptr || *length < kI8080StateBlockSize) {
        *length = kI8080StateBlockSize;
        return false;
    }
    std::memcpy(buffer, kStateTag.data(), kStateTag.size());
    std::uint8_t* p = buffer + kStateTag.size();
    PutLE(p, kFieldsSize, 4);
    StoreFields(*s, p);
    *length = kI8080StateBlockSize;
    return true;
}

bool I8080_LoadState(CpuState* s, const std::uint8_t* buffer, std::uint32_t* length) {
    if (length == nullptr) return false;
    if (s == nullptr) {
        *length = 0;
        return false;
    }
    if (buffer == nullptr || *length < kI8080StateBlockSize) {
        *length = kI8080StateBlockSize;
        return false;
    }
    if (!std::equal(kStateTag.begin(), kStateTag.end(), buffer)) {
        *length = 0;
        return false;
    }
    const std::uint8_t* p = buffer + kStateTag.size();
    const std::uint64_t stored = GetLE(p, 4);
    // A stored size so large that the block's length does not fit the
    // length field is a corrupt block: refuse it rather than report a
    // wrapped-around length.
    if (stored + kHeaderSize > UINT32_MAX) {
        *length = 0;
        return false;
    }
    // A shorter block (an older layout) replaces only the fields it holds.
    std::uint8_t fields[kFieldsSize];
    StoreFields(*s, fields);
    std::memcpy(fields, p, std::min<std::uint64_t>(stored, kFieldsSize));
    LoadFields(*s, fields);
    *length = static_cast<std::uint32_t>(stored + kHeaderSize);
    return true;
}

}  // namespace velgard
