// The full 8080 instruction exerciser, whose CRCs come from real silicon:
// billions of instructions, so it runs only in the optimized build.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cpu/CpmHarness.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

TEST(I8080ExerciserLong, InstructionExerciser) {
    const std::filesystem::path path = test::CpuTestsDir() / "8080EXM.COM";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "8080EXM.COM not found in " << test::CpuTestsDir()
                     << " (the processor exercisers are not installed)";
    }
    CpmHarness harness(kCpuI8080);
    std::string error;
    ASSERT_TRUE(harness.Load(test::ReadBinary(path), &error)) << error;
    EXPECT_TRUE(harness.Run(40'000'000'000ull));
    const std::string& out = harness.Output();

    EXPECT_NE(out.find("Tests complete"), std::string::npos) << out;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
    // Every test group prints a line of dots and its verdict.
    std::istringstream lines(out);
    std::string line;
    int groups = 0;
    while (std::getline(lines, line)) {
        if (line.find("....") == std::string::npos) continue;
        ++groups;
        EXPECT_NE(line.find("PASS!"), std::string::npos) << line;
    }
    EXPECT_EQ(groups, 25) << out;
    EXPECT_EQ(harness.Cycles(), 23'803'381'171ull);
}

}  // namespace
}  // namespace velgard
