// Z80 interpreter speed: one realistic program run on our core (through the
// real CpuEntries callbacks) and, when available, on libz80ex with the
// equivalent callbacks over the same kind of flat 64 KB RAM.
//
// The program loops forever over five routines that mix the usual kinds of
// code: a byte generator (shifts, DJNZ), a bitwise CRC-16 (ADD HL,HL, XOR,
// conditional jumps), a 16-bit sum through IX (LD r,(IX+d), ADC HL,DE), an
// LDIR copy, one bubble-sort pass through IX (CP (IX+d), stores) and a bit
// counter (EXX, PUSH/POP, SRL, BIT/SET (HL)), all joined by CALL/RET.
//
//         org 0100h
//         ld sp, 0F000h
// loop:   call fill / call crc16 / ld (crc),hl / call sumix / ld (sum),hl
//         call copy / call bubble / call count
//         ld hl,(iter) / inc hl / ld (iter),hl / jr loop
// fill:   ld hl,buf / ld b,0 / ld a,(seed)
// f1:     ld c,a / add a,a / jr nc,f2 / xor 1Dh
// f2:     ld (hl),a / inc hl / djnz f1 / inc a / ld (seed),a / ret
// crc16:  ld hl,0FFFFh / ld de,buf / ld c,0
// c1:     ld a,(de) / xor h / ld h,a / ld b,8
// c2:     add hl,hl / jr nc,c3 / ld a,h / xor 10h / ld h,a / ld a,l / xor 21h / ld l,a
// c3:     djnz c2 / inc de / dec c / jr nz,c1 / ret
// sumix:  ld ix,buf / ld hl,0 / ld b,128
// s1:     ld e,(ix+0) / ld d,(ix+1) / or a / adc hl,de / inc ix / inc ix / djnz s1 / ret
// copy:   ld hl,buf / ld de,buf2 / ld bc,256 / ldir / ret
// bubble: ld ix,buf2 / ld b,255
// b1:     ld a,(ix+0) / cp (ix+1) / jr c,b2 / jr z,b2
//         ld c,(ix+1) / ld (ix+1),a / ld (ix+0),c
// b2:     inc ix / djnz b1 / ret
// count:  exx / push hl / ld hl,buf2 / ld de,0 / ld c,64
// k1:     ld a,(hl) / ld b,8
// k2:     srl a / jr nc,k3 / inc de
// k3:     djnz k2 / bit 7,(hl) / jr z,k4 / set 0,(hl)
// k4:     inc hl / dec c / jr nz,k1 / pop hl / exx / ret
// seed: db 5Ah; iter, crc, sum: dw 0; buf = 1000h, buf2 = 1100h
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>

#include "cpu/Cpu.h"

#if defined(VELGARD_HAVE_Z80EX)
#if __has_include(<z80ex/z80ex.h>)
#include <z80ex/z80ex.h>
#else
#include <z80ex.h>
#endif
#endif

namespace {

using velgard::CpuEntries;
using velgard::CpuState;

constexpr std::uint16_t kOrigin = 0x0100;
constexpr std::uint8_t kProgram[] = {
    0x31, 0x00, 0xf0, 0xcd, 0x24, 0x01, 0xcd, 0x3b, 0x01, 0x22, 0xc1, 0x01, 0xcd, 0x5a, 0x01, 0x22,
    0xc3, 0x01, 0xcd, 0x73, 0x01, 0xcd, 0x7f, 0x01, 0xcd, 0x9d, 0x01, 0x2a, 0xbf, 0x01, 0x23, 0x22,
    0xbf, 0x01, 0x18, 0xdf, 0x21, 0x00, 0x10, 0x06, 0x00, 0x3a, 0xbe, 0x01, 0x4f, 0x87, 0x30, 0x02,
    0xee, 0x1d, 0x77, 0x23, 0x10, 0xf6, 0x3c, 0x32, 0xbe, 0x01, 0xc9, 0x21, 0xff, 0xff, 0x11, 0x00,
    0x10, 0x0e, 0x00, 0x1a, 0xac, 0x67, 0x06, 0x08, 0x29, 0x30, 0x08, 0x7c, 0xee, 0x10, 0x67, 0x7d,
    0xee, 0x21, 0x6f, 0x10, 0xf3, 0x13, 0x0d, 0x20, 0xea, 0xc9, 0xdd, 0x21, 0x00, 0x10, 0x21, 0x00,
    0x00, 0x06, 0x80, 0xdd, 0x5e, 0x00, 0xdd, 0x56, 0x01, 0xb7, 0xed, 0x5a, 0xdd, 0x23, 0xdd, 0x23,
    0x10, 0xf1, 0xc9, 0x21, 0x00, 0x10, 0x11, 0x00, 0x11, 0x01, 0x00, 0x01, 0xed, 0xb0, 0xc9, 0xdd,
    0x21, 0x00, 0x11, 0x06, 0xff, 0xdd, 0x7e, 0x00, 0xdd, 0xbe, 0x01, 0x38, 0x0b, 0x28, 0x09, 0xdd,
    0x4e, 0x01, 0xdd, 0x77, 0x01, 0xdd, 0x71, 0x00, 0xdd, 0x23, 0x10, 0xe9, 0xc9, 0xd9, 0xe5, 0x21,
    0x00, 0x11, 0x11, 0x00, 0x00, 0x0e, 0x40, 0x7e, 0x06, 0x08, 0xcb, 0x3f, 0x30, 0x01, 0x13, 0x10,
    0xf9, 0xcb, 0x7e, 0x28, 0x02, 0xcb, 0xc6, 0x23, 0x0d, 0x20, 0xec, 0xe1, 0xd9, 0xc9, 0x5a, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00,
};
constexpr std::uint16_t kIterAddress = 0x01BF;  // the loop counter the program keeps
constexpr std::uint16_t kCrcAddress = 0x01C1;

// Instructions per benchmark iteration (a little over one pass of the loop).
constexpr std::int64_t kBatch = 200'000;

using Ram = std::array<std::uint8_t, 0x10000>;

void LoadProgram(Ram& ram) {
    ram.fill(0);
    std::memcpy(ram.data() + kOrigin, kProgram, sizeof kProgram);
}

std::uint16_t Word(const Ram& ram, std::uint16_t address) {
    return static_cast<std::uint16_t>(ram[address] | ram[address + 1] << 8);
}

// ------------------------------------------------------------------ our core

struct VelgardMachine {
    Ram ram{};
    std::array<std::uint8_t*, 256> pages{};
    std::uint8_t pending = 0;
    CpuEntries entries{};
    CpuState state{};

    VelgardMachine() {
        velgard::InstallCore(entries, velgard::kCpuZ80);
        entries.ReadMemory = Read;
        entries.FetchByte = Read;
        entries.WriteMemory = Write;
        entries.ReadPort = [](CpuState*, std::uint8_t) -> std::uint8_t { return 0xFF; };
        entries.WritePort = [](CpuState*, std::uint8_t, std::uint8_t) {};
        entries.InterruptAck = [](CpuState*, std::uint16_t*) { return false; };
        state.Entries = &entries;
        state.Owner = this;
        // RAM in direct pages and a clear pending flag, as the machine
        // offers them to the core.
        for (std::size_t p = 0; p < pages.size(); ++p) pages[p] = &ram[p << 8];
        state.ReadPages = pages.data();
        state.WritePages = pages.data();
        state.InterruptPending = &pending;
        LoadProgram(ram);
        entries.Init(&state);
        state.PC = kOrigin;
    }
    static std::uint8_t Read(CpuState* s, std::uint16_t address) {
        return static_cast<VelgardMachine*>(s->Owner)->ram[address];
    }
    static void Write(CpuState* s, std::uint16_t address, std::uint8_t value) {
        static_cast<VelgardMachine*>(s->Owner)->ram[address] = value;
    }
    void Run(std::int64_t instructions) {
        const velgard::CpuExecuteFn execute = entries.Execute;
        for (std::int64_t i = 0; i < instructions; ++i) execute(&state);
    }
    // The core's own run loop, as the machine runs it; returns the
    // instructions it took.
    std::int64_t RunCycles(std::uint64_t cycles) {
        return static_cast<std::int64_t>(entries.Run(&state, cycles));
    }
};

// Cycles per run: about kBatch instructions of this program.
constexpr std::uint64_t kBatchCycles = 1'500'000;

void BM_Z80_Velgard(benchmark::State& st) {
    auto m = std::make_unique<VelgardMachine>();
    std::int64_t instructions = 0;
    for (auto _ : st) instructions += m->RunCycles(kBatchCycles);
    st.SetItemsProcessed(instructions);
    st.counters["loops"] = Word(m->ram, kIterAddress);
}
BENCHMARK(BM_Z80_Velgard)->Unit(benchmark::kMillisecond);

// One Execute call per instruction, as owners without a run loop use it.
void BM_Z80_VelgardExecute(benchmark::State& st) {
    auto m = std::make_unique<VelgardMachine>();
    for (auto _ : st) m->Run(kBatch);
    st.SetItemsProcessed(st.iterations() * kBatch);
    st.counters["loops"] = Word(m->ram, kIterAddress);
}
BENCHMARK(BM_Z80_VelgardExecute)->Unit(benchmark::kMillisecond);

#if defined(VELGARD_HAVE_Z80EX)

// ------------------------------------------------------------- libz80ex core

struct Z80exMachine {
    Ram ram{};
    Z80EX_CONTEXT* cpu = nullptr;

    Z80exMachine() {
        LoadProgram(ram);
        cpu = z80ex_create(Read, this, Write, this, PortRead, this, PortWrite, this, IntRead, this);
        // Start from the same register contents as our core after Init.
        for (Z80_REG_T r : {regAF, regBC, regDE, regHL, regAF_, regBC_, regDE_, regHL_, regIX,
                            regIY, regSP, regI, regR}) {
            z80ex_set_reg(cpu, r, 0);
        }
        z80ex_set_reg(cpu, regPC, kOrigin);
    }
    ~Z80exMachine() { z80ex_destroy(cpu); }
    Z80exMachine(const Z80exMachine&) = delete;
    Z80exMachine& operator=(const Z80exMachine&) = delete;

    static Z80EX_BYTE Read(Z80EX_CONTEXT*, Z80EX_WORD address, int, void* user) {
        return static_cast<Z80exMachine*>(user)->ram[address];
    }
    static void Write(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* user) {
        static_cast<Z80exMachine*>(user)->ram[address] = value;
    }
    static Z80EX_BYTE PortRead(Z80EX_CONTEXT*, Z80EX_WORD, void*) { return 0xFF; }
    static void PortWrite(Z80EX_CONTEXT*, Z80EX_WORD, Z80EX_BYTE, void*) {}
    static Z80EX_BYTE IntRead(Z80EX_CONTEXT*, void*) { return 0xFF; }

    // libz80ex steps prefixes separately; only completed instructions count.
    void Run(std::int64_t instructions) {
        std::int64_t done = 0;
        while (done < instructions) {
            z80ex_step(cpu);
            if (z80ex_last_op_type(cpu) == 0) ++done;
        }
    }
};

void BM_Z80_Z80ex(benchmark::State& st) {
    auto m = std::make_unique<Z80exMachine>();
    for (auto _ : st) m->Run(kBatch);
    st.SetItemsProcessed(st.iterations() * kBatch);
    st.counters["loops"] = Word(m->ram, kIterAddress);
}
BENCHMARK(BM_Z80_Z80ex)->Unit(benchmark::kMillisecond);

// Processor time of this thread: the machine is shared, so wall time
// would also measure the neighbours.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Both cores side by side in the same iterations: the ratio counter is our
// instructions per second divided by libz80ex's, by thread processor time. After equal instruction
// counts both machines must agree on their registers and results, which
// also shows that they ran the same work.
void BM_Z80_SpeedRatio(benchmark::State& st) {
    auto ours = std::make_unique<VelgardMachine>();
    auto ref = std::make_unique<Z80exMachine>();
    double oursSeconds = 0, refSeconds = 0;
    std::int64_t total = 0;
    for (auto _ : st) {
        // Ours runs a batch of cycles in its run loop; libz80ex then runs
        // exactly as many instructions.
        const double t0 = ThreadSeconds();
        const std::int64_t instructions = ours->RunCycles(kBatchCycles);
        const double t1 = ThreadSeconds();
        ref->Run(instructions);
        const double t2 = ThreadSeconds();
        oursSeconds += t1 - t0;
        refSeconds += t2 - t1;
        total += instructions;
    }
    if (ours->state.PC != z80ex_get_reg(ref->cpu, regPC) ||
        ours->state.HL != z80ex_get_reg(ref->cpu, regHL) ||
        ours->state.IX != z80ex_get_reg(ref->cpu, regIX) ||
        Word(ours->ram, kCrcAddress) != Word(ref->ram, kCrcAddress) ||
        std::memcmp(ours->ram.data(), ref->ram.data(), ours->ram.size()) != 0) {
        st.SkipWithError("the two cores disagree after the same instructions");
        return;
    }
    const double instructions = static_cast<double>(total);
    st.counters["velgard_ips"] = instructions / oursSeconds;
    st.counters["z80ex_ips"] = instructions / refSeconds;
    st.counters["ratio"] = refSeconds / oursSeconds;
}
BENCHMARK(BM_Z80_SpeedRatio)->Unit(benchmark::kMillisecond);

#endif

}  // namespace
