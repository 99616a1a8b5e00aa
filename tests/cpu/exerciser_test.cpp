// The classic 8080 CP/M exercisers that finish within a second: each must
// print its passing text, no failure text, and end after the exact number of
// T-states that the datasheet timings give for the whole run, both with
// memory in direct pages (as the machine runs the core) and with every byte
// through the bus callbacks.
#include <gtest/gtest.h>

#include <filesystem>

#include "cpu/CpmHarness.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

struct ExerciserRun {
    bool ended = false;
    std::string output;
    std::uint64_t cycles = 0;
};

// Runs one program; skips the test when the program is not available. The
// cycle limit keeps a broken core from looping forever.
bool RunExerciser(const char* name, std::uint64_t cycleLimit, ExerciserRun& run, bool direct) {
    const std::filesystem::path path = test::CpuTestsDir() / name;
    if (!std::filesystem::exists(path)) return false;
    const std::vector<std::uint8_t> program = test::ReadBinary(path);
    CpmHarness harness(kCpuI8080, direct);
    std::string error;
    EXPECT_TRUE(harness.Load(program, &error)) << error;
    run.ended = harness.Run(cycleLimit);
    run.output = harness.Output();
    run.cycles = harness.Cycles();
    return true;
}

#define RUN_OR_SKIP(name, limit, run, direct)                                           \
    if (!RunExerciser(name, limit, run, direct))                                        \
    GTEST_SKIP() << name << " not found in " << test::CpuTestsDir()                    \
                 << " (the processor exercisers are not installed)"

TEST(I8080Exerciser, Tst8080) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct pages" : "callbacks");
        ExerciserRun run;
        RUN_OR_SKIP("TST8080.COM", 1'000'000, run, direct);
        EXPECT_TRUE(run.ended);
        EXPECT_NE(run.output.find("CPU IS OPERATIONAL"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("CPU HAS FAILED"), std::string::npos) << run.output;
        EXPECT_EQ(run.cycles, 4'924u);
    }
}

TEST(I8080Exerciser, Preliminary) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct pages" : "callbacks");
        ExerciserRun run;
        RUN_OR_SKIP("8080PRE.COM", 1'000'000, run, direct);
        EXPECT_TRUE(run.ended);
        EXPECT_NE(run.output.find("8080 Preliminary tests complete"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("ERROR"), std::string::npos) << run.output;
        EXPECT_EQ(run.cycles, 7'817u);
    }
}

TEST(I8080Exerciser, SuperSoftCpuTest) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct pages" : "callbacks");
        ExerciserRun run;
        RUN_OR_SKIP("CPUTEST.COM", 1'000'000'000, run, direct);
        EXPECT_TRUE(run.ended);
        EXPECT_NE(run.output.find("CPU TESTS OK"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("ERROR"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("SHOULD CONTAIN"), std::string::npos) << run.output;
        EXPECT_EQ(run.cycles, 255'653'383u);
    }
}

}  // namespace
}  // namespace velgard
