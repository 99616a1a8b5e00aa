// The preliminary Z80 exerciser: a quick check that every instruction the
// full exerciser relies on works, run through the CP/M harness.
#include <gtest/gtest.h>

#include "cpu/CpmHarness.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

TEST(Z80Exerciser, PreliminaryTestsComplete) {
    const auto path = test::CpuTestsDir() / "PRELIM.COM";
    const auto program = test::ReadBinary(path);
    if (program.empty()) GTEST_SKIP() << "processor exerciser not found: " << path.string();

    // Direct pages as the machine runs the core, then every byte through
    // the bus callbacks: the same run, to the cycle.
    std::uint64_t cycles[2] = {};
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct pages" : "callbacks");
        CpmHarness harness(kCpuZ80, direct);
        std::string error;
        ASSERT_TRUE(harness.Load(program, &error)) << error;
        ASSERT_TRUE(harness.Run(100'000'000)) << "no warm boot; output so far:\n" << harness.Output();
        EXPECT_NE(harness.Output().find("Preliminary tests complete"), std::string::npos) << harness.Output();
        EXPECT_EQ(harness.Output().find("ERROR"), std::string::npos) << harness.Output();
        cycles[direct ? 0 : 1] = harness.Cycles();
    }
    EXPECT_EQ(cycles[0], cycles[1]);
}

}  // namespace
}  // namespace velgard
