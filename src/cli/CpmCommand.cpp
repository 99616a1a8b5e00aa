// velgard-cli cpm: runs a CP/M test program on the bare processor.
#include <cstdio>
#include <iostream>

#include "cli/Commands.h"
#include "cpu/CpmHarness.h"

namespace velgard::cli {
namespace {

constexpr const char* kUsage = "cpm [--cpu 8080|z80] [--cycles] [--max-cycles N] PROGRAM.COM";

// Four times what the 8080 exerciser 8080EXM takes (23.8 billion cycles):
// the processor exercisers finish, a program that never returns stops.
constexpr unsigned long long kDefaultMaxCycles = 100'000'000'000ULL;

constexpr const char* kHelp =
    "Runs a CP/M program on the bare processor: 64 KB of flat RAM, the program at 0100h,\n"
    "console output through BDOS functions 2 and 9, the run ending at warm boot (a jump to 0000h).\n"
    "\n"
    "  --cpu 8080|z80     the processor (default 8080)\n"
    "  --cycles           print the processor cycles used\n"
    "  --max-cycles N     stop a program that has not ended after N cycles (default 100000000000;\n"
    "                     0 means no limit); such a run exits with status 1\n";

int RunCpm(const std::vector<std::string>& args) {
    std::uint8_t kind = kCpuI8080;
    bool printCycles = false;
    unsigned long long maxCycles = kDefaultMaxCycles;
    std::string program;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--cpu") {
            if (i + 1 >= args.size()) return Fail("cpm: --cpu needs a value: 8080 or z80");
            const std::string& v = args[++i];
            if (v == "8080" || v == "i8080") {
                kind = kCpuI8080;
            } else if (v == "z80" || v == "Z80") {
                kind = kCpuZ80;
            } else {
                return Fail("cpm: unknown processor '" + v + "' (use 8080 or z80)");
            }
        } else if (a == "--cycles") {
            printCycles = true;
        } else if (a == "--max-cycles") {
            if (i + 1 >= args.size() || !ParseNumber(args[++i], 0, ~0ULL, maxCycles))
                return Fail("cpm: --max-cycles needs a whole number of cycles (0 for no limit)");
        } else if (a.size() > 1 && a[0] == '-') {
            return Fail("cpm: unknown option '" + a + "' (usage: velgard-cli " + kUsage + ")");
        } else if (program.empty()) {
            program = a;
        } else {
            return Fail("cpm: only one program may be given");
        }
    }
    if (program.empty()) return Fail(std::string("cpm: no program given (usage: velgard-cli ") + kUsage + ")");

    std::vector<unsigned char> data;
    std::string error;
    if (!ReadFile(program, data, error)) return Fail("cpm: " + error);

    CpmHarness harness(kind);
    if (!harness.Load(data, &error)) return Fail("cpm: " + program + ": " + error);
    harness.SetOutputSink([](char c) {
        std::putchar(static_cast<unsigned char>(c));
        if (c == '\n') std::fflush(stdout);
    });
    const bool ended = harness.Run(maxCycles);
    std::fflush(stdout);
    if (printCycles) {
        std::cout << "\nCycles: " << harness.Cycles() << '\n';
    }
    std::cout.flush();
    if (!ended) {
        return Error("cpm: " + program + " did not end (no warm boot) within " + std::to_string(maxCycles) +
                     " cycles and was stopped; --max-cycles N sets the limit, 0 removes it");
    }
    return 0;
}

const CommandRegistrar kRegistrar("cpm", kUsage, kHelp, RunCpm);

}  // namespace
}  // namespace velgard::cli
