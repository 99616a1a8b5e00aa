// Speed of the 8080 interpreter through the real bus callbacks.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "cpu/CpmHarness.h"
#include "cpu/I8080.h"

namespace velgard {
namespace {

// A loop that mixes moves, ALU operations, memory reads and writes, a call
// with a push/pop pair, conditional and unconditional jumps. It never ends.
//
// 0100  LXI SP,F000h       0119  LDA 1FF0h         0123 sub: PUSH B
// 0103  LXI H,2000h        011C  INR A             0124  MOV C,A
// 0106  MVI B,0            011D  STA 1FF0h         0125  XRA D
// 0108 loop: MOV A,M       0120  JMP loop          0126  RLC
// 0109  ADD B                                      0127  MOV D,A
// 010A  MOV M,A                                    0128  CPI 80h
// 010B  INX H                                      012A  JC skip
// 010C  MOV A,H                                    012D  INR E
// 010D  ANI 3Fh                                    012E skip: POP B
// 010F  ORI 20h                                    012F  RET
// 0111  MOV H,A
// 0112  CALL sub
// 0115  DCR B
// 0116  JNZ loop
constexpr std::uint8_t kMixProgram[] = {
    0x31, 0x00, 0xF0, 0x21, 0x00, 0x20, 0x06, 0x00,  // 0100
    0x7E, 0x80, 0x77, 0x23, 0x7C, 0xE6, 0x3F, 0xF6,  // 0108
    0x20, 0x67, 0xCD, 0x23, 0x01, 0x05, 0xC2, 0x08,  // 0110
    0x01, 0x3A, 0xF0, 0x1F, 0x3C, 0x32, 0xF0, 0x1F,  // 0118
    0xC3, 0x08, 0x01, 0xC5, 0x4F, 0xAA, 0x07, 0x57,  // 0120
    0xFE, 0x80, 0xDA, 0x2E, 0x01, 0x1C, 0xC1, 0xC9,  // 0128
};

// Flat RAM offered to the core the way the machine offers its RAM (direct
// pages, an interrupt controller whose pending flag stays clear), or, with
// `direct` false, behind bus callbacks only, with an interrupt acknowledge
// callback that never has a request.
struct Bench8080 {
    std::array<std::uint8_t, 0x10000> ram{};
    std::array<std::uint8_t*, 256> pages{};
    std::uint8_t pending = 0;
    CpuEntries entries;
    CpuState state;

    explicit Bench8080(bool direct) {
        InstallCore(entries, kCpuI8080);
        entries.ReadMemory = [](CpuState* s, std::uint16_t a) { return Self(s).ram[a]; };
        entries.FetchByte = entries.ReadMemory;
        entries.WriteMemory = [](CpuState* s, std::uint16_t a, std::uint8_t v) { Self(s).ram[a] = v; };
        entries.ReadPort = [](CpuState*, std::uint8_t) -> std::uint8_t { return 0; };
        entries.WritePort = [](CpuState*, std::uint8_t, std::uint8_t) {};
        entries.InterruptAck = [](CpuState*, std::uint16_t*) { return false; };
        state.Entries = &entries;
        state.Owner = this;
        if (direct) {
            for (std::size_t p = 0; p < pages.size(); ++p) pages[p] = &ram[p << 8];
            state.ReadPages = pages.data();
            state.WritePages = pages.data();
            state.InterruptPending = &pending;
        }
        entries.Init(&state);
        std::copy(std::begin(kMixProgram), std::end(kMixProgram), ram.begin() + 0x100);
        state.PC = 0x100;
    }
    static Bench8080& Self(CpuState* s) { return *static_cast<Bench8080*>(s->Owner); }
};

void ReportRate(benchmark::State& state, std::uint64_t instructions) {
    state.SetItemsProcessed(static_cast<std::int64_t>(instructions));
    state.counters["MIPS"] =
        benchmark::Counter(static_cast<double>(instructions) / 1e6, benchmark::Counter::kIsRate);
}

// The mix with interrupts enabled (an interrupt could be taken before every
// instruction, as in the machine) or disabled, run as the machine runs the
// core: direct pages and the core's Run, a slice of 500 cycles a call.
void BM_I8080_Mix(benchmark::State& state) {
    Bench8080 cpu(true);
    cpu.state.IFF = state.range(0) ? 0xFF : 0x00;
    const CpuRunFn run = cpu.entries.Run;
    constexpr int kSlices = 12'000;  // about a million instructions
    std::uint64_t instructions = 0;
    for (auto _ : state) {
        for (int i = 0; i < kSlices; ++i) instructions += run(&cpu.state, 500);
    }
    benchmark::DoNotOptimize(cpu.state.TotalCycles);
    ReportRate(state, instructions);
}
BENCHMARK(BM_I8080_Mix)->ArgName("interrupts")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The same mix one Execute call a step with every byte through the bus
// callbacks and the acknowledge asked before every instruction: the core's
// slow path, as tests and other owners without direct pages use it.
void BM_I8080_MixCallbacks(benchmark::State& state) {
    Bench8080 cpu(false);
    const CpuExecuteFn execute = cpu.entries.Execute;
    constexpr int kSteps = 1'000'000;
    std::uint64_t instructions = 0;
    for (auto _ : state) {
        for (int i = 0; i < kSteps; ++i) execute(&cpu.state);
        instructions += kSteps;
    }
    benchmark::DoNotOptimize(cpu.state.TotalCycles);
    ReportRate(state, instructions);
}
BENCHMARK(BM_I8080_MixCallbacks)->Unit(benchmark::kMillisecond);

// A real program: the SuperSoft CPU test, run whole through the CP/M harness.
void BM_I8080_CpuTest(benchmark::State& state) {
    // The exercisers are not ours: the build names the folder they lie in.
    const std::filesystem::path path = std::filesystem::path(VELGARD_CPU_TESTS_DIR) / "CPUTEST.COM";
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> program((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
    if (program.empty()) {
        state.SkipWithError("CPUTEST.COM is not available");
        return;
    }
    CpmHarness harness(kCpuI8080);
    std::uint64_t instructions = 0;
    for (auto _ : state) {
        harness.Load(program);
        harness.Run();
        instructions += harness.Instructions();
    }
    ReportRate(state, instructions);
}
BENCHMARK(BM_I8080_CpuTest)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velgard
