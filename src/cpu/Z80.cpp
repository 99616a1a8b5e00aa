// The Zilog Z80 interpreter.
//
// One Execute call runs one whole instruction, prefixes included, or accepts
// one interrupt; Run runs such steps for a number of cycles. Every memory,
// port and interrupt access goes through the machine's CpuEntries callbacks,
// except memory on the direct pages the owner offers and the interrupt
// acknowledge while the owner's pending flag is clear. Each prefix level is
// one switch over a compile-time decoded handler template, so a step costs
// one jump-table dispatch per opcode byte and no allocation. Run keeps the
// common registers of unprefixed instructions in a local block (Local).
//
// Particulars of this core: bits 5 and 3 of F are not computed (whole-byte
// flag writers clear them, partial writers keep them, DAA copies them from
// its result); R changes only through LD R,A; a HALT re-executes itself
// until an interrupt is accepted; the block instructions run one iteration
// per step.
#include "cpu/Z80.h"

#include <cstring>

#include "cpu/Z80Tables.h"

namespace velgard {
namespace {

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using namespace z80;

#define VZ_INLINE [[gnu::always_inline]] inline

constexpr const FlagTables& kT = kFlagTables;

// ------------------------------------------------------------ run registers

// The registers of a run, kept in a local block that the compiler holds in
// host registers: its address never leaves the run, so the direct memory
// stores cannot alias it. Before any callback, and around the prefixed
// instructions (which run on the state block itself), the block is written
// back to the state (Sync) and read again afterwards (Resync), so a
// callback sees and may change the processor exactly as after Execute.
struct Local {
    // The registers most instructions use live here...
    u8 A, F;
    u16 BC, DE, HL, PC, SP;
    u8 IFF1, EIDelay;
    u16 LastCycles;
    u8 pending;
    std::uint64_t TotalCycles;
    std::uint64_t limit;
    const u8* const* ReadPages;
    u8* const* WritePages;
    CpuState* state;
    // ...the others stay in the state block, so that a callback costs
    // only the few above.
    u16& IX;
    u16& IY;
    u8& R;
    u8& I;
    u8& A2;
    u8& F2;
    u16& BC2;
    u16& DE2;
    u16& HL2;
    u8& IFF2;
    u8& IM;

    explicit Local(CpuState* s)
        : state(s), IX(s->IX), IY(s->IY), R(s->R), I(s->I), A2(s->A2), F2(s->F2), BC2(s->BC2),
          DE2(s->DE2), HL2(s->HL2), IFF2(s->IFF2), IM(s->IM) {
        Load();
    }
    VZ_INLINE void Load() {
        const CpuState* s = state;
        A = s->A;
        F = s->F;
        BC = s->BC;
        DE = s->DE;
        HL = s->HL;
        PC = s->PC;
        SP = s->SP;
        IFF1 = s->IFF1;
        EIDelay = s->EIDelay;
        LastCycles = s->LastCycles;
        TotalCycles = s->TotalCycles;
        limit = s->RunLimit;
        ReadPages = s->ReadPages;
        WritePages = s->WritePages;
        pending = *s->InterruptPending;
    }
    VZ_INLINE void Store() const {
        CpuState* s = state;
        s->A = A;
        s->F = F;
        s->BC = BC;
        s->DE = DE;
        s->HL = HL;
        s->PC = PC;
        s->SP = SP;
        s->IFF1 = IFF1;
        s->EIDelay = EIDelay;
        s->LastCycles = LastCycles;
        s->TotalCycles = TotalCycles;
    }
};

VZ_INLINE CpuState* Sync(CpuState* s) { return s; }
VZ_INLINE void Resync(CpuState*) {}
VZ_INLINE bool MayInterrupt(const CpuState* s) { return *s->InterruptPending != 0; }
VZ_INLINE CpuState* Sync(Local* l) {
    l->Store();
    return l->state;
}
VZ_INLINE void Resync(Local* l) { l->Load(); }
// Between callbacks nothing can change the controller's flag, so a run
// reads it only when it reloads after one.
VZ_INLINE bool MayInterrupt(const Local* l) { return l->pending != 0; }

// A prefixed instruction, run on the state block.
template <typename S, typename Fn>
VZ_INLINE void Prefixed(S* s, Fn run) {
    CpuState* state = Sync(s);
    run(state);
    Resync(s);
}

// ---------------------------------------------------------------- bus access

// Memory goes through the owner's direct pages where it offers them, and
// through the callbacks everywhere else.
template <typename S>
VZ_INLINE u8 Fetch(S* s) {
    const u16 pc = s->PC++;
    if (const u8* page = s->ReadPages[pc >> 8]) [[likely]] return page[pc & 0xFF];
    CpuState* bus = Sync(s);
    const u8 v = bus->Entries->FetchByte(bus, pc);
    Resync(s);
    return v;
}

template <typename S>
VZ_INLINE u16 Fetch16(S* s) {
    const u8 lo = Fetch(s);
    const u8 hi = Fetch(s);
    return static_cast<u16>(lo | hi << 8);
}

template <typename S>
VZ_INLINE u8 Read(S* s, u16 address) {
    if (const u8* page = s->ReadPages[address >> 8]) [[likely]] return page[address & 0xFF];
    CpuState* bus = Sync(s);
    const u8 v = bus->Entries->ReadMemory(bus, address);
    Resync(s);
    return v;
}

template <typename S>
VZ_INLINE void Write(S* s, u16 address, u8 value) {
    if (u8* page = s->WritePages[address >> 8]) [[likely]] {
        page[address & 0xFF] = value;
        return;
    }
    CpuState* bus = Sync(s);
    bus->Entries->WriteMemory(bus, address, value);
    Resync(s);
}

template <typename S>
VZ_INLINE u16 Read16(S* s, u16 address) {
    const u8 lo = Read(s, address);
    const u8 hi = Read(s, static_cast<u16>(address + 1));
    return static_cast<u16>(lo | hi << 8);
}

template <typename S>
VZ_INLINE void Write16(S* s, u16 address, u16 value) {
    Write(s, address, static_cast<u8>(value));
    Write(s, static_cast<u16>(address + 1), static_cast<u8>(value >> 8));
}

template <typename S>
VZ_INLINE u8 PortIn(S* s, u8 port) {
    CpuState* bus = Sync(s);
    const u8 v = bus->Entries->ReadPort(bus, port);
    Resync(s);
    return v;
}

template <typename S>
VZ_INLINE void PortOut(S* s, u8 port, u8 value) {
    CpuState* bus = Sync(s);
    bus->Entries->WritePort(bus, port, value);
    Resync(s);
}

// SP is lowered first; the low byte goes to SP, the high byte to SP + 1.
template <typename S>
VZ_INLINE void Push(S* s, u16 value) {
    const u16 sp = static_cast<u16>(s->SP - 2);
    s->SP = sp;
    Write(s, sp, static_cast<u8>(value));
    Write(s, static_cast<u16>(sp + 1), static_cast<u8>(value >> 8));
}

template <typename S>
VZ_INLINE u16 Pop(S* s) {
    const u16 sp = s->SP;
    const u8 lo = Read(s, sp);
    const u8 hi = Read(s, static_cast<u16>(sp + 1));
    s->SP = static_cast<u16>(sp + 2);
    return static_cast<u16>(lo | hi << 8);
}

// ------------------------------------------------------------------ registers

VZ_INLINE u8 Hi(u16 v) { return static_cast<u8>(v >> 8); }
VZ_INLINE u8 Lo(u16 v) { return static_cast<u8>(v); }
VZ_INLINE void SetHi(u16& pair, u8 v) { pair = static_cast<u16>((pair & 0x00FF) | v << 8); }
VZ_INLINE void SetLo(u16& pair, u8 v) { pair = static_cast<u16>((pair & 0xFF00) | v); }

// The "HL" of an instruction: HL itself (X = 0), IX (X = 1, DD prefix) or
// IY (X = 2, FD prefix).
template <int X, typename S>
VZ_INLINE u16& IndexReg(S* s) {
    if constexpr (X == 0) {
        return s->HL;
    } else if constexpr (X == 1) {
        return s->IX;
    } else {
        return s->IY;
    }
}

// 8-bit register by its opcode field: 0 B, 1 C, 2 D, 3 E, 4 H, 5 L, 7 A.
// Under a DD/FD prefix 4 and 5 name the halves of the index register.
template <int r, int X = 0, typename S>
VZ_INLINE u8 GetR(S* s) {
    static_assert(r != 6, "(HL) is not a register");
    if constexpr (r == 0) return Hi(s->BC);
    if constexpr (r == 1) return Lo(s->BC);
    if constexpr (r == 2) return Hi(s->DE);
    if constexpr (r == 3) return Lo(s->DE);
    if constexpr (r == 4) return Hi(IndexReg<X>(s));
    if constexpr (r == 5) return Lo(IndexReg<X>(s));
    if constexpr (r == 7) return s->A;
}

template <int r, int X = 0, typename S>
VZ_INLINE void SetR(S* s, u8 v) {
    static_assert(r != 6, "(HL) is not a register");
    if constexpr (r == 0) SetHi(s->BC, v);
    if constexpr (r == 1) SetLo(s->BC, v);
    if constexpr (r == 2) SetHi(s->DE, v);
    if constexpr (r == 3) SetLo(s->DE, v);
    if constexpr (r == 4) SetHi(IndexReg<X>(s), v);
    if constexpr (r == 5) SetLo(IndexReg<X>(s), v);
    if constexpr (r == 7) s->A = v;
}

// Register pair by its opcode field: 0 BC, 1 DE, 2 HL/IX/IY, 3 SP.
template <int p, int X = 0, typename S>
VZ_INLINE u16& Pair(S* s) {
    if constexpr (p == 0) return s->BC;
    if constexpr (p == 1) return s->DE;
    if constexpr (p == 2) return IndexReg<X>(s);
    if constexpr (p == 3) return s->SP;
}

// Condition codes: NZ, Z, NC, C, PO, PE, P, M.
template <int cc, typename S>
VZ_INLINE bool Condition(const S* s) {
    constexpr u8 masks[4] = {kFlagZ, kFlagC, kFlagPV, kFlagS};
    const bool set = (s->F & masks[cc >> 1]) != 0;
    return (cc & 1) ? set : !set;
}

// The operand address of an indexed instruction: IX/IY plus the signed
// displacement byte that follows the opcode.
template <int X, typename S>
VZ_INLINE u16 IndexedAddress(S* s) {
    const auto d = static_cast<std::int8_t>(Fetch(s));
    return static_cast<u16>(IndexReg<X>(s) + d);
}

// ----------------------------------------------------------------- arithmetic

// ADD ADC SUB SBC AND XOR OR CP by the opcode's y field.
template <int y, typename S>
VZ_INLINE void Alu(S* s, u8 v) {
    const unsigned a = s->A;
    if constexpr (y == 0 || y == 1) {
        const unsigned c = (y == 1) ? (s->F & kFlagC) : 0u;
        const unsigned r = a + v + c;
        s->A = static_cast<u8>(r);
        s->F = static_cast<u8>(kT.sz[r & 0xFF] | ((a ^ v ^ r) & kFlagH) |
                               ((~(a ^ v) & (a ^ r) & 0x80) >> 5) | (r >> 8));
    } else if constexpr (y == 2 || y == 3 || y == 7) {
        const unsigned c = (y == 3) ? (s->F & kFlagC) : 0u;
        const unsigned r = a - v - c;
        if constexpr (y != 7) s->A = static_cast<u8>(r);
        s->F = static_cast<u8>(kT.sz[r & 0xFF] | kFlagN | ((a ^ v ^ r) & kFlagH) |
                               (((a ^ v) & (a ^ r) & 0x80) >> 5) | ((r >> 8) & 1));
    } else if constexpr (y == 4) {
        s->A = static_cast<u8>(a & v);
        s->F = static_cast<u8>(kT.szp[s->A] | kFlagH);
    } else if constexpr (y == 5) {
        s->A = static_cast<u8>(a ^ v);
        s->F = kT.szp[s->A];
    } else {
        s->A = static_cast<u8>(a | v);
        s->F = kT.szp[s->A];
    }
}

template <typename S>
VZ_INLINE u8 Inc(S* s, u8 v) {
    const u8 r = static_cast<u8>(v + 1);
    s->F = static_cast<u8>((s->F & kFlagC) | kT.sz[r] | ((r & 0x0F) == 0 ? kFlagH : 0) |
                           (r == 0x80 ? kFlagPV : 0));
    return r;
}

template <typename S>
VZ_INLINE u8 Dec(S* s, u8 v) {
    const u8 r = static_cast<u8>(v - 1);
    s->F = static_cast<u8>((s->F & kFlagC) | kFlagN | kT.sz[r] | ((v & 0x0F) == 0 ? kFlagH : 0) |
                           (v == 0x80 ? kFlagPV : 0));
    return r;
}

// ADD HL/IX/IY,rr: C from bit 15, H from bit 11; S Z P/V and bits 5, 3 kept.
template <typename S>
VZ_INLINE u16 Add16(S* s, u16 a, u16 b) {
    const u32 r = static_cast<u32>(a) + b;
    s->F = static_cast<u8>((s->F & (kFlagS | kFlagZ | kFlagPV | kFlagY | kFlagX)) |
                           (((a ^ b ^ r) >> 8) & kFlagH) | (r >> 16));
    return static_cast<u16>(r);
}

template <typename S>
VZ_INLINE u16 Adc16(S* s, u16 a, u16 b) {
    const u32 r = static_cast<u32>(a) + b + (s->F & kFlagC);
    const u16 r16 = static_cast<u16>(r);
    s->F = static_cast<u8>(((r16 >> 8) & kFlagS) | (r16 == 0 ? kFlagZ : 0) |
                           (((a ^ b ^ r) >> 8) & kFlagH) |
                           ((~(a ^ b) & (a ^ r) & 0x8000) >> 13) | (r >> 16));
    return r16;
}

template <typename S>
VZ_INLINE u16 Sbc16(S* s, u16 a, u16 b) {
    const u32 r = static_cast<u32>(a) - b - (s->F & kFlagC);
    const u16 r16 = static_cast<u16>(r);
    s->F = static_cast<u8>(((r16 >> 8) & kFlagS) | (r16 == 0 ? kFlagZ : 0) | kFlagN |
                           (((a ^ b ^ r) >> 8) & kFlagH) |
                           (((a ^ b) & (a ^ r) & 0x8000) >> 13) | ((r >> 16) & 1));
    return r16;
}

// CB rotates and shifts by the y field: RLC RRC RL RR SLA SRA SLL SRL.
template <int y, typename S>
VZ_INLINE u8 Shift(S* s, u8 v) {
    unsigned r = 0;
    unsigned c = 0;
    if constexpr (y == 0) {
        c = v >> 7;
        r = (v << 1) | c;
    } else if constexpr (y == 1) {
        c = v & 1;
        r = (v >> 1) | (c << 7);
    } else if constexpr (y == 2) {
        c = v >> 7;
        r = (v << 1) | (s->F & kFlagC);
    } else if constexpr (y == 3) {
        c = v & 1;
        r = (v >> 1) | ((s->F & kFlagC) << 7);
    } else if constexpr (y == 4) {
        c = v >> 7;
        r = v << 1;
    } else if constexpr (y == 5) {
        c = v & 1;
        r = (v >> 1) | (v & 0x80);
    } else if constexpr (y == 6) {
        c = v >> 7;
        r = (v << 1) | 1;
    } else {
        c = v & 1;
        r = v >> 1;
    }
    const u8 result = static_cast<u8>(r);
    s->F = static_cast<u8>(kT.szp[result] | c);
    return result;
}

// BIT b: Z when the bit is clear, H = 1, N = 0; the rest of F stays.
template <int b, typename S>
VZ_INLINE void Bit(S* s, u8 v) {
    s->F = static_cast<u8>((s->F & (kFlagS | kFlagY | kFlagX | kFlagPV | kFlagC)) | kFlagH |
                           ((v & (1u << b)) ? 0 : kFlagZ));
}

// Rotate/shift, RES or SET (x = 0, 2, 3) of one CB operand.
template <int x, int y, typename S>
VZ_INLINE u8 CbModify(S* s, u8 v) {
    if constexpr (x == 0) {
        return Shift<y>(s, v);
    } else if constexpr (x == 2) {
        return static_cast<u8>(v & ~(1u << y));
    } else {
        return static_cast<u8>(v | (1u << y));
    }
}

// ----------------------------------------------------------- the DD/FD table

// Second bytes that form an index instruction after DD or FD. Any other byte
// makes the prefix fall back: it costs 4 T-states on its own and the byte
// runs as an unprefixed instruction on the next step.
constexpr bool IndexImplemented(unsigned op) {
    switch (op) {
        case 0x09: case 0x19: case 0x29: case 0x39:
        case 0x21: case 0x22: case 0x23: case 0x2A: case 0x2B:
        case 0x24: case 0x25: case 0x26: case 0x2C: case 0x2D: case 0x2E:
        case 0x34: case 0x35: case 0x36:
        case 0x44: case 0x45: case 0x4C: case 0x4D: case 0x54: case 0x55:
        case 0x5C: case 0x5D: case 0x7C: case 0x7D:
        case 0x46: case 0x4E: case 0x56: case 0x5E: case 0x66: case 0x6E: case 0x7E:
        case 0x60: case 0x61: case 0x62: case 0x63: case 0x64: case 0x65: case 0x67:
        case 0x68: case 0x69: case 0x6A: case 0x6B: case 0x6C: case 0x6D: case 0x6F:
        case 0x70: case 0x71: case 0x72: case 0x73: case 0x74: case 0x75: case 0x77:
        case 0x84: case 0x85: case 0x86: case 0x8C: case 0x8D: case 0x8E:
        case 0x94: case 0x95: case 0x96: case 0x9C: case 0x9D: case 0x9E:
        case 0xA4: case 0xA5: case 0xA6: case 0xAC: case 0xAD: case 0xAE:
        case 0xB4: case 0xB5: case 0xB6: case 0xBC: case 0xBD: case 0xBE:
        case 0xCB: case 0xE1: case 0xE3: case 0xE5: case 0xE9: case 0xF9:
            return true;
        default:
            return false;
    }
}

// Expands M(n) for n = 0..255.
#define VZ_R4(M, n) M(n) M((n) + 1) M((n) + 2) M((n) + 3)
#define VZ_R16(M, n) VZ_R4(M, n) VZ_R4(M, (n) + 4) VZ_R4(M, (n) + 8) VZ_R4(M, (n) + 12)
#define VZ_R64(M, n) VZ_R16(M, n) VZ_R16(M, (n) + 16) VZ_R16(M, (n) + 32) VZ_R16(M, (n) + 48)
#define VZ_R256(M) VZ_R64(M, 0) VZ_R64(M, 64) VZ_R64(M, 128) VZ_R64(M, 192)

void CbPrefix(CpuState* s);
template <int X>
void IndexPrefix(CpuState* s);
template <int X>
void IndexCbPrefix(CpuState* s);
void EdPrefix(CpuState* s);

// ----------------------------------------------- unprefixed and DD/FD opcodes

// One opcode of the unprefixed table (X = 0) or of the DD/FD table (X = 1
// for IX, 2 for IY), decoded at compile time from its x/y/z/p/q fields.
template <int X, unsigned op, typename S>
VZ_INLINE void Op(S* s) {
    constexpr int x = op >> 6;
    constexpr int y = (op >> 3) & 7;
    constexpr int z = op & 7;
    constexpr int p = y >> 1;
    constexpr int q = y & 1;
    constexpr bool indexed = X != 0;

    if constexpr (indexed && !IndexImplemented(op)) {
        --s->PC;
        s->LastCycles = 4;
    } else if constexpr (x == 0) {
        if constexpr (z == 0) {
            if constexpr (y == 0) {  // NOP
                s->LastCycles = 4;
            } else if constexpr (y == 1) {  // EX AF,AF'
                const u8 a = s->A, f = s->F;
                s->A = s->A2;
                s->F = s->F2;
                s->A2 = a;
                s->F2 = f;
                s->LastCycles = 4;
            } else if constexpr (y == 2) {  // DJNZ e
                const u8 b = static_cast<u8>(Hi(s->BC) - 1);
                SetHi(s->BC, b);
                const auto d = static_cast<std::int8_t>(Fetch(s));
                if (b != 0) {
                    s->PC = static_cast<u16>(s->PC + d);
                    s->LastCycles = 13;
                } else {
                    s->LastCycles = 8;
                }
            } else if constexpr (y == 3) {  // JR e
                const auto d = static_cast<std::int8_t>(Fetch(s));
                s->PC = static_cast<u16>(s->PC + d);
                s->LastCycles = 12;
            } else {  // JR cc,e
                const auto d = static_cast<std::int8_t>(Fetch(s));
                if (Condition<y - 4>(s)) {
                    s->PC = static_cast<u16>(s->PC + d);
                    s->LastCycles = 12;
                } else {
                    s->LastCycles = 7;
                }
            }
        } else if constexpr (z == 1) {
            if constexpr (q == 0) {  // LD rr,nn
                Pair<p, X>(s) = Fetch16(s);
                s->LastCycles = indexed ? 14 : 10;
            } else {  // ADD HL,rr
                const u16 v = Pair<p, X>(s);
                IndexReg<X>(s) = Add16(s, IndexReg<X>(s), v);
                s->LastCycles = indexed ? 15 : 11;
            }
        } else if constexpr (z == 2) {
            if constexpr (p == 0 || p == 1) {  // LD (BC),A / LD (DE),A / LD A,(BC) / LD A,(DE)
                const u16 address = (p == 0) ? s->BC : s->DE;
                if constexpr (q == 0) {
                    Write(s, address, s->A);
                } else {
                    s->A = Read(s, address);
                }
                s->LastCycles = 7;
            } else if constexpr (p == 2) {  // LD (nn),HL / LD HL,(nn)
                const u16 address = Fetch16(s);
                if constexpr (q == 0) {
                    Write16(s, address, IndexReg<X>(s));
                } else {
                    IndexReg<X>(s) = Read16(s, address);
                }
                s->LastCycles = indexed ? 20 : 16;
            } else {  // LD (nn),A / LD A,(nn)
                const u16 address = Fetch16(s);
                if constexpr (q == 0) {
                    Write(s, address, s->A);
                } else {
                    s->A = Read(s, address);
                }
                s->LastCycles = 13;
            }
        } else if constexpr (z == 3) {  // INC rr / DEC rr
            u16& rr = Pair<p, X>(s);
            rr = static_cast<u16>(q == 0 ? rr + 1 : rr - 1);
            s->LastCycles = indexed ? 10 : 6;
        } else if constexpr (z == 4 || z == 5) {  // INC r / DEC r
            if constexpr (y == 6) {
                u16 address;
                if constexpr (indexed) {
                    address = IndexedAddress<X>(s);
                } else {
                    address = s->HL;
                }
                const u8 v = Read(s, address);
                Write(s, address, z == 4 ? Inc(s, v) : Dec(s, v));
                s->LastCycles = indexed ? 23 : 11;
            } else {
                const u8 v = GetR<y, X>(s);
                SetR<y, X>(s, z == 4 ? Inc(s, v) : Dec(s, v));
                s->LastCycles = indexed ? 9 : 4;
            }
        } else if constexpr (z == 6) {  // LD r,n
            if constexpr (y == 6) {
                u16 address;
                if constexpr (indexed) {
                    address = IndexedAddress<X>(s);
                } else {
                    address = s->HL;
                }
                Write(s, address, Fetch(s));
                s->LastCycles = indexed ? 19 : 10;
            } else {
                SetR<y, X>(s, Fetch(s));
                s->LastCycles = indexed ? 9 : 7;
            }
        } else {  // accumulator and flag operations
            const u8 a = s->A;
            const u8 f = s->F;
            const u8 kept = static_cast<u8>(f & (kFlagS | kFlagZ | kFlagPV | kFlagY | kFlagX));
            if constexpr (y == 0) {  // RLCA
                s->A = static_cast<u8>(a << 1 | a >> 7);
                s->F = static_cast<u8>(kept | (a >> 7));
            } else if constexpr (y == 1) {  // RRCA
                s->A = static_cast<u8>(a >> 1 | a << 7);
                s->F = static_cast<u8>(kept | (a & 1));
            } else if constexpr (y == 2) {  // RLA
                s->A = static_cast<u8>(a << 1 | (f & kFlagC));
                s->F = static_cast<u8>(kept | (a >> 7));
            } else if constexpr (y == 3) {  // RRA
                s->A = static_cast<u8>(a >> 1 | (f & kFlagC) << 7);
                s->F = static_cast<u8>(kept | (a & 1));
            } else if constexpr (y == 4) {  // DAA
                const unsigned index = a | (f & kFlagC) << 8 | (f & kFlagH) << 5 | (f & kFlagN) << 9;
                const u16 e = kT.daa[index];
                s->A = static_cast<u8>(e >> 8);
                s->F = static_cast<u8>(e);
            } else if constexpr (y == 5) {  // CPL
                s->A = static_cast<u8>(~a);
                s->F = static_cast<u8>(f | kFlagH | kFlagN);
            } else if constexpr (y == 6) {  // SCF
                s->F = static_cast<u8>(kept | kFlagC);
            } else {  // CCF
                s->F = static_cast<u8>((f & (kFlagS | kFlagZ | kFlagPV)) | (f & kFlagC) << 4 |
                                       ((f & kFlagC) ^ kFlagC));
            }
            s->LastCycles = 4;
        }
    } else if constexpr (x == 1) {
        if constexpr (op == 0x76) {  // HALT: stay on it until an interrupt
            --s->PC;
            s->LastCycles = 4;
        } else if constexpr (z == 6) {  // LD r,(HL) / LD r,(IX+d)
            u16 address;
            if constexpr (indexed) {
                address = IndexedAddress<X>(s);
            } else {
                address = s->HL;
            }
            SetR<y>(s, Read(s, address));
            s->LastCycles = indexed ? 19 : 7;
        } else if constexpr (y == 6) {  // LD (HL),r / LD (IX+d),r
            u16 address;
            if constexpr (indexed) {
                address = IndexedAddress<X>(s);
            } else {
                address = s->HL;
            }
            Write(s, address, GetR<z>(s));
            s->LastCycles = indexed ? 19 : 7;
        } else {  // LD r,r'
            SetR<y, X>(s, GetR<z, X>(s));
            s->LastCycles = indexed ? 9 : 4;
        }
    } else if constexpr (x == 2) {  // ALU with a register or memory operand
        if constexpr (z == 6) {
            u16 address;
            if constexpr (indexed) {
                address = IndexedAddress<X>(s);
            } else {
                address = s->HL;
            }
            Alu<y>(s, Read(s, address));
            s->LastCycles = indexed ? 19 : 7;
        } else {
            Alu<y>(s, GetR<z, X>(s));
            s->LastCycles = indexed ? 9 : 4;
        }
    } else {
        if constexpr (z == 0) {  // RET cc
            if (Condition<y>(s)) {
                s->PC = Pop(s);
                s->LastCycles = 11;
            } else {
                s->LastCycles = 5;
            }
        } else if constexpr (z == 1) {
            if constexpr (q == 0) {  // POP rr
                const u16 v = Pop(s);
                if constexpr (p == 3) {
                    s->A = Hi(v);
                    s->F = Lo(v);
                } else {
                    Pair<p, X>(s) = v;
                }
                s->LastCycles = indexed ? 14 : 10;
            } else if constexpr (p == 0) {  // RET
                s->PC = Pop(s);
                s->LastCycles = 10;
            } else if constexpr (p == 1) {  // EXX
                const u16 bc = s->BC, de = s->DE, hl = s->HL;
                s->BC = s->BC2;
                s->DE = s->DE2;
                s->HL = s->HL2;
                s->BC2 = bc;
                s->DE2 = de;
                s->HL2 = hl;
                s->LastCycles = 4;
            } else if constexpr (p == 2) {  // JP (HL)
                s->PC = IndexReg<X>(s);
                s->LastCycles = indexed ? 8 : 4;
            } else {  // LD SP,HL
                s->SP = IndexReg<X>(s);
                s->LastCycles = indexed ? 10 : 6;
            }
        } else if constexpr (z == 2) {  // JP cc,nn: not taken skips the address unread
            if (Condition<y>(s)) {
                s->PC = Fetch16(s);
            } else {
                s->PC = static_cast<u16>(s->PC + 2);
            }
            s->LastCycles = 10;
        } else if constexpr (z == 3) {
            if constexpr (y == 0) {  // JP nn
                s->PC = Fetch16(s);
                s->LastCycles = 10;
            } else if constexpr (y == 1) {  // CB prefix
                if constexpr (indexed) {
                    Prefixed(s, [](CpuState* c) { IndexCbPrefix<X>(c); });
                } else {
                    Prefixed(s, [](CpuState* c) { CbPrefix(c); });
                }
            } else if constexpr (y == 2) {  // OUT (n),A
                const u8 port = Fetch(s);
                PortOut(s, port, s->A);
                s->LastCycles = 11;
            } else if constexpr (y == 3) {  // IN A,(n)
                const u8 port = Fetch(s);
                s->A = PortIn(s, port);
                s->LastCycles = 11;
            } else if constexpr (y == 4) {  // EX (SP),HL
                const u16 sp = s->SP;
                const u16 v = Read16(s, sp);
                Write16(s, sp, IndexReg<X>(s));
                IndexReg<X>(s) = v;
                s->LastCycles = indexed ? 23 : 19;
            } else if constexpr (y == 5) {  // EX DE,HL
                const u16 de = s->DE;
                s->DE = s->HL;
                s->HL = de;
                s->LastCycles = 4;
            } else if constexpr (y == 6) {  // DI
                s->IFF1 = 0;
                s->IFF2 = 0;
                s->LastCycles = 4;
            } else {  // EI: three more instructions run before an interrupt
                s->IFF1 = 0xFF;
                s->IFF2 = 0xFF;
                s->EIDelay = 3;
                s->LastCycles = 4;
            }
        } else if constexpr (z == 4) {  // CALL cc,nn: push first, then read the target
            if (Condition<y>(s)) {
                Push(s, static_cast<u16>(s->PC + 2));
                s->PC = Fetch16(s);
                s->LastCycles = 17;
            } else {
                s->PC = static_cast<u16>(s->PC + 2);
                s->LastCycles = 10;
            }
        } else if constexpr (z == 5) {
            if constexpr (q == 0) {  // PUSH rr
                if constexpr (p == 3) {
                    Push(s, static_cast<u16>(s->A << 8 | s->F));
                } else {
                    Push(s, Pair<p, X>(s));
                }
                s->LastCycles = indexed ? 15 : 11;
            } else if constexpr (p == 0) {  // CALL nn
                Push(s, static_cast<u16>(s->PC + 2));
                s->PC = Fetch16(s);
                s->LastCycles = 17;
            } else if constexpr (p == 1) {
                Prefixed(s, [](CpuState* c) { IndexPrefix<1>(c); });
            } else if constexpr (p == 2) {
                Prefixed(s, [](CpuState* c) { EdPrefix(c); });
            } else {
                Prefixed(s, [](CpuState* c) { IndexPrefix<2>(c); });
            }
        } else if constexpr (z == 6) {  // ALU n
            Alu<y>(s, Fetch(s));
            s->LastCycles = 7;
        } else {  // RST
            Push(s, s->PC);
            s->PC = static_cast<u16>(y * 8);
            s->LastCycles = 11;
        }
    }
}

// ------------------------------------------------------------------ CB table

template <unsigned op, typename S>
VZ_INLINE void CbOp(S* s) {
    constexpr int x = op >> 6;
    constexpr int y = (op >> 3) & 7;
    constexpr int z = op & 7;
    if constexpr (z == 6) {
        const u16 address = s->HL;
        const u8 v = Read(s, address);
        if constexpr (x == 1) {
            Bit<y>(s, v);
            s->LastCycles = 12;
        } else {
            Write(s, address, CbModify<x, y>(s, v));
            s->LastCycles = 15;
        }
    } else {
        const u8 v = GetR<z>(s);
        if constexpr (x == 1) {
            Bit<y>(s, v);
        } else {
            SetR<z>(s, CbModify<x, y>(s, v));
        }
        s->LastCycles = 8;
    }
}

// DDCB/FDCB: the operand is already read from `address` (IX/IY + d).
// Rotates, shifts, RES and SET write memory back and, unless the low three
// bits are 6, also copy the result into the register they name.
template <unsigned op, typename S>
VZ_INLINE void IndexCbOp(S* s, u16 address, u8 v) {
    constexpr int x = op >> 6;
    constexpr int y = (op >> 3) & 7;
    constexpr int z = op & 7;
    if constexpr (x == 1) {
        Bit<y>(s, v);
        s->LastCycles = 20;
    } else {
        const u8 r = CbModify<x, y>(s, v);
        Write(s, address, r);
        if constexpr (z != 6) SetR<z>(s, r);
        s->LastCycles = 23;
    }
}

// ------------------------------------------------------------------ ED table

// LDI/LDD/CPI/CPD/INI/IND/OUTI/OUTD (kind 0..3), forward or backward, once or
// repeating (one iteration per step; PC goes back by 2 while it repeats).
template <int kind, bool forward, bool repeat, typename S>
VZ_INLINE void Block(S* s) {
    constexpr int step = forward ? 1 : -1;
    bool again = false;
    if constexpr (kind == 0) {  // LDI
        const u8 v = Read(s, s->HL);
        Write(s, s->DE, v);
        s->HL = static_cast<u16>(s->HL + step);
        s->DE = static_cast<u16>(s->DE + step);
        const u16 bc = static_cast<u16>(s->BC - 1);
        s->BC = bc;
        s->F = static_cast<u8>((s->F & (kFlagS | kFlagZ | kFlagY | kFlagX | kFlagC)) |
                               (bc != 0 ? kFlagPV : 0));
        again = bc != 0;
    } else if constexpr (kind == 1) {  // CPI
        const u8 v = Read(s, s->HL);
        const unsigned a = s->A;
        const u8 r = static_cast<u8>(a - v);
        s->HL = static_cast<u16>(s->HL + step);
        const u16 bc = static_cast<u16>(s->BC - 1);
        s->BC = bc;
        s->F = static_cast<u8>((s->F & kFlagC) | kFlagN | kT.sz[r] | ((a ^ v ^ r) & kFlagH) |
                               (bc != 0 ? kFlagPV : 0));
        again = bc != 0 && r != 0;
    } else {
        u8 b;
        if constexpr (kind == 2) {  // INI
            const u8 v = PortIn(s, Lo(s->BC));
            b = static_cast<u8>(Hi(s->BC) - 1);
            SetHi(s->BC, b);
            Write(s, s->HL, v);
            s->HL = static_cast<u16>(s->HL + step);
        } else {  // OUTI
            const u8 v = Read(s, s->HL);
            s->HL = static_cast<u16>(s->HL + step);
            PortOut(s, Lo(s->BC), v);
            b = static_cast<u8>(Hi(s->BC) - 1);
            SetHi(s->BC, b);
        }
        const bool zero = repeat || b == 0;
        s->F = static_cast<u8>((s->F & ~kFlagZ) | kFlagN | (zero ? kFlagZ : 0));
        again = b != 0;
    }
    if (repeat && again) {
        s->PC = static_cast<u16>(s->PC - 2);
        s->LastCycles = 21;
    } else {
        s->LastCycles = 16;
    }
}

// A second byte in 40-7F that is no ED instruction: PC goes back onto it,
// ED alone costs 4 T-states, and the byte runs next as an unprefixed one.
template <typename S>
VZ_INLINE void EdFallBack(S* s) {
    --s->PC;
    s->LastCycles = 4;
}

template <unsigned op, typename S>
VZ_INLINE void EdOp(S* s) {
    constexpr int x = op >> 6;
    constexpr int y = (op >> 3) & 7;
    constexpr int z = op & 7;
    constexpr int p = y >> 1;
    constexpr int q = y & 1;
    if constexpr (x == 1) {
        if constexpr (z == 0) {  // IN r,(C); IN (C) sets the flags only
            const u8 v = PortIn(s, Lo(s->BC));
            s->F = static_cast<u8>((s->F & kFlagC) | kT.szp[v]);
            if constexpr (y != 6) SetR<y>(s, v);
            s->LastCycles = 12;
        } else if constexpr (z == 1) {  // OUT (C),r; OUT (C),0
            u8 v = 0;
            if constexpr (y != 6) v = GetR<y>(s);
            PortOut(s, Lo(s->BC), v);
            s->LastCycles = 12;
        } else if constexpr (z == 2) {  // SBC HL,rr / ADC HL,rr
            const u16 v = Pair<p>(s);
            s->HL = q == 0 ? Sbc16(s, s->HL, v) : Adc16(s, s->HL, v);
            s->LastCycles = 15;
        } else if constexpr (z == 3) {  // LD (nn),rr / LD rr,(nn)
            const u16 address = Fetch16(s);
            if constexpr (q == 0) {
                Write16(s, address, Pair<p>(s));
            } else {
                Pair<p>(s) = Read16(s, address);
            }
            s->LastCycles = 20;
        } else if constexpr (z == 4) {
            if constexpr (y == 0) {  // NEG
                const u8 a = s->A;
                s->A = 0;
                Alu<2>(s, a);
                s->LastCycles = 8;
            } else {
                EdFallBack(s);
            }
        } else if constexpr (z == 5) {
            if constexpr (y == 0 || y == 1) {  // RETN, RETI
                s->PC = Pop(s);
                s->IFF1 = s->IFF2;
                s->LastCycles = 14;
            } else {
                EdFallBack(s);
            }
        } else if constexpr (z == 6) {
            if constexpr (y == 0 || y == 2 || y == 3) {  // IM 0, IM 1, IM 2
                s->IM = y == 0 ? 0 : y - 1;
                s->LastCycles = 8;
            } else {
                EdFallBack(s);
            }
        } else {
            if constexpr (y == 0) {  // LD I,A
                s->I = s->A;
                s->LastCycles = 9;
            } else if constexpr (y == 1) {  // LD R,A
                s->R = s->A;
                s->LastCycles = 9;
            } else if constexpr (y == 2 || y == 3) {  // LD A,I / LD A,R
                s->A = y == 2 ? s->I : s->R;
                s->F = static_cast<u8>((s->F & kFlagC) | kT.sz[s->A] | (s->IFF2 != 0 ? kFlagPV : 0));
                s->LastCycles = 9;
            } else if constexpr (y == 4 || y == 5) {  // RRD / RLD
                const u16 address = s->HL;
                const u8 v = Read(s, address);
                const u8 a = s->A;
                u8 m;
                if constexpr (y == 4) {
                    m = static_cast<u8>(a << 4 | v >> 4);
                    s->A = static_cast<u8>((a & 0xF0) | (v & 0x0F));
                } else {
                    m = static_cast<u8>(v << 4 | (a & 0x0F));
                    s->A = static_cast<u8>((a & 0xF0) | v >> 4);
                }
                Write(s, address, m);
                s->F = static_cast<u8>((s->F & kFlagC) | kT.szp[s->A]);
                s->LastCycles = 18;
            } else {
                EdFallBack(s);
            }
        }
    } else if constexpr (x == 2 && z <= 3 && y >= 4) {
        Block<z, (y & 1) == 0, y >= 6>(s);
    } else {
        // Outside 40-7F and no block instruction: both bytes are consumed,
        // nothing else happens; charged as two NOPs.
        s->LastCycles = 8;
    }
}

// ------------------------------------------------------------ prefix dispatch

void CbPrefix(CpuState* s) {
    switch (Fetch(s)) {
#define VZ_CASE(n) \
    case (n):      \
        CbOp<(n)>(s); \
        break;
        VZ_R256(VZ_CASE)
#undef VZ_CASE
    }
}

template <int X>
void IndexPrefix(CpuState* s) {
    switch (Fetch(s)) {
#define VZ_CASE(n) \
    case (n):      \
        Op<X, (n)>(s); \
        break;
        VZ_R256(VZ_CASE)
#undef VZ_CASE
    }
}

template <int X>
void IndexCbPrefix(CpuState* s) {
    const u16 address = IndexedAddress<X>(s);
    const u8 op = Fetch(s);
    const u8 v = Read(s, address);
    switch (op) {
#define VZ_CASE(n) \
    case (n):      \
        IndexCbOp<(n)>(s, address, v); \
        break;
        VZ_R256(VZ_CASE)
#undef VZ_CASE
    }
}

void EdPrefix(CpuState* s) {
    switch (Fetch(s)) {
#define VZ_CASE(n) \
    case (n):      \
        EdOp<(n)>(s); \
        break;
        VZ_R256(VZ_CASE)
#undef VZ_CASE
    }
}

// ----------------------------------------------------------------- interrupts

[[gnu::noinline, gnu::cold]] void AcceptInterrupt(CpuState* s, u16 vector) {
    s->IFF1 = 0;
    s->IFF2 = 0;
    if (Read(s, s->PC) == 0x76) s->PC = static_cast<u16>(s->PC + 1);  // leave the HALT
    Push(s, s->PC);
    if (s->IM == 1) {
        s->PC = 0x0038;
        s->LastCycles = 13;
    } else if (s->IM == 2) {
        s->PC = Read16(s, static_cast<u16>(s->I << 8 | (vector & 0xFF)));
        s->LastCycles = 19;
    } else {
        s->PC = vector;
        s->LastCycles = 19;
    }
    s->TotalCycles += s->LastCycles;
}

// ------------------------------------------------------------------- snapshot

constexpr std::uint8_t kTag[16] = {0x4A, 0x3B, 0x28, 0x1B, 0xF9, 0x56, 0x43, 0x81,
                                   0xB6, 0x8B, 0x2A, 0x81, 0xBE, 0x1B, 0x6F, 0x86};
constexpr u32 kHeaderSize = 20;  // tag and stored size
constexpr u32 kStateBytes = kZ80StateBlockSize - kHeaderSize;

// Writes or reads the state fields in snapshot order, little-endian.
class FieldCodec {
public:
    explicit FieldCodec(std::uint8_t* bytes) : p_(bytes) {}
    template <typename T>
    void Put(T value) {
        for (unsigned i = 0; i < sizeof(T); ++i) *p_++ = static_cast<std::uint8_t>(value >> (8 * i));
    }
    template <typename T>
    void Get(T& value) {
        std::uint64_t v = 0;
        for (unsigned i = 0; i < sizeof(T); ++i) v |= static_cast<std::uint64_t>(*p_++) << (8 * i);
        value = static_cast<T>(v);
    }

private:
    std::uint8_t* p_;
};

template <typename Codec, typename State, typename Op>
void VisitFields(Codec& codec, State* s, Op op) {
    op(codec, s->TotalCycles);
    op(codec, s->LastCycles);
    op(codec, s->A);
    op(codec, s->F);
    op(codec, s->BC);
    op(codec, s->DE);
    op(codec, s->HL);
    op(codec, s->PC);
    op(codec, s->SP);
    op(codec, s->IX);
    op(codec, s->IY);
    op(codec, s->R);
    op(codec, s->I);
    op(codec, s->A2);
    op(codec, s->F2);
    op(codec, s->BC2);
    op(codec, s->DE2);
    op(codec, s->HL2);
    op(codec, s->IFF1);
    op(codec, s->IFF2);
    op(codec, s->EIDelay);
    op(codec, s->IM);
}

void EncodeFields(const CpuState* s, std::uint8_t* out) {
    FieldCodec codec(out);
    VisitFields(codec, s, [](FieldCodec& c, const auto& field) { c.Put(field); });
}

void DecodeFields(CpuState* s, std::uint8_t* in) {
    FieldCodec codec(in);
    VisitFields(codec, s, [](FieldCodec& c, auto& field) { c.Get(field); });
}

}  // namespace

void Z80_Init(CpuState* s) {
    s->TotalCycles = 0;
    s->LastCycles = 0;
    s->A = s->F = 0;
    s->BC = s->DE = s->HL = 0;
    s->PC = s->SP = 0;
    s->IX = s->IY = 0;
    s->R = s->I = 0;
    s->A2 = s->F2 = 0;
    s->BC2 = s->DE2 = s->HL2 = 0;
    s->IFF1 = s->IFF2 = 0;
    s->EIDelay = 0;
    s->IM = 0;
}

namespace {

// One step: an interrupt acceptance or one whole instruction, with its
// T-states in LastCycles and added to TotalCycles.
template <typename S>
VZ_INLINE void OneStep(S* s) {
    if (s->IFF1 != 0) {
        if (s->EIDelay == 0) {
            if (MayInterrupt(s)) [[unlikely]] {
                u16 vector = 0;
                CpuState* bus = Sync(s);
                const bool taken = bus->Entries->InterruptAck(bus, &vector);
                if (taken) AcceptInterrupt(bus, vector);
                Resync(s);
                if (taken) return;
            }
        } else {
            --s->EIDelay;
        }
    }
    switch (Fetch(s)) {
#define VZ_CASE(n) \
    case (n):      \
        Op<0, (n)>(s); \
        break;
        VZ_R256(VZ_CASE)
#undef VZ_CASE
    }
    s->TotalCycles += s->LastCycles;
}

}  // namespace

void Z80_Execute(CpuState* s) { OneStep(s); }

std::uint64_t Z80_Run(CpuState* s, std::uint64_t cycles) {
    const std::uint64_t total = s->TotalCycles;
    s->RunLimit = cycles > UINT64_MAX - total ? UINT64_MAX : total + cycles;
    Local l(s);
    std::uint64_t steps = 0;
    while (l.TotalCycles < l.limit) {
        OneStep(&l);
        ++steps;
    }
    l.Store();
    return steps;
}

bool Z80_SaveState(CpuState* s, std::uint8_t* buffer, std::uint32_t* length) {
    if (length == nullptr) return false;
    if (s == nullptr) {
        *length = 0;
        return false;
    }
    if (buffer == nullptr || *length < kZ80StateBlockSize) {
        *length = kZ80StateBlockSize;
        return false;
    }
    std::memcpy(buffer, kTag, sizeof kTag);
    FieldCodec size(buffer + 16);
    size.Put(kStateBytes);
    EncodeFields(s, buffer + kHeaderSize);
    *length = kZ80StateBlockSize;
    return true;
}

bool Z80_LoadState(CpuState* s, const std::uint8_t* buffer, std::uint32_t* length) {
    if (length == nullptr) return false;
    if (s == nullptr) {
        *length = 0;
        return false;
    }
    if (buffer == nullptr || *length < kZ80StateBlockSize) {
        *length = kZ80StateBlockSize;
        return false;
    }
    if (std::memcmp(buffer, kTag, sizeof kTag) != 0) {
        *length = 0;
        return false;
    }
    u32 stored = 0;
    for (unsigned i = 0; i < 4; ++i) stored |= static_cast<u32>(buffer[16 + i]) << (8 * i);
    // A size so large that the block length would not fit in 32 bits can
    // only be damage; refuse it rather than report a wrapped length.
    if (stored > UINT32_MAX - kHeaderSize) {
        *length = 0;
        return false;
    }
    // Overlay the stored bytes on the present state so that a shorter block
    // changes only the fields (or bytes of a field) it covers.
    std::uint8_t image[kStateBytes];
    EncodeFields(s, image);
    std::memcpy(image, buffer + kHeaderSize, stored < kStateBytes ? stored : kStateBytes);
    DecodeFields(s, image);
    *length = stored + kHeaderSize;
    return true;
}

}  // namespace velgard
