// velgard-cli cpm: runs a CP/M test program on the bare processor.
#include <cstdio>
#include <iostream>

#include "cli/Commands.h"
#include "cpu/CpmHarness.h"

namespace velgard::cli {
namespace {

int RunCpm(const std::vector<std::string>& args) {
    std::uint8_t kind = kCpuI8080;
    bool printCycles = false;
    std::string program;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--cpu") {
            if (i + 1 >= args.size()) return Fail("--cpu needs a value: 8080 or z80");
            const std::string& v = args[++i];
            if (v == "8080" || v == "i8080") {
                kind = kCpuI8080;
            } else if (v == "z80" || v == "Z80") {
                kind = kCpuZ80;
            } else {
                return Fail("unknown processor '" + v + "' (use 8080 or z80)");
            }
        } else if (a == "--cycles") {
            printCycles = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return Fail("cpm: unknown option '" + a + "'");
        } else if (program.empty()) {
            program = a;
        } else {
            return Fail("cpm: only one program may be given");
        }
    }
    if (program.empty()) return Fail("cpm: no program given (velgard-cli cpm [--cpu 8080|z80] [--cycles] PROGRAM.COM)");

    std::vector<unsigned char> data;
    std::string error;
    if (!ReadFile(program, data, error)) return Fail(error);

    CpmHarness harness(kind);
    if (!harness.Load(data, &error)) return Fail(program + ": " + error);
    harness.SetOutputSink([](char c) {
        std::putchar(static_cast<unsigned char>(c));
        if (c == '\n') std::fflush(stdout);
    });
    harness.Run();
    std::fflush(stdout);
    if (printCycles) {
        std::cout << "\nCycles: " << harness.Cycles() << '\n';
    }
    return 0;
}

const CommandRegistrar kRegistrar("cpm", "cpm [--cpu 8080|z80] [--cycles] PROGRAM.COM", RunCpm);

}  // namespace
}  // namespace velgard::cli
