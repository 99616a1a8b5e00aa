// The full documented-flags Z80 instruction exerciser (billions of
// instructions): every group must report OK.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "cpu/CpmHarness.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

TEST(Z80ExerciserLong, ZexdocAllGroupsOk) {
    const auto path = test::CpuTestsDir() / "ZEXDOC.COM";
    const auto program = test::ReadBinary(path);
    if (program.empty()) GTEST_SKIP() << "processor exerciser not found: " << path.string();

    CpmHarness harness(kCpuZ80);
    std::string error;
    ASSERT_TRUE(harness.Load(program, &error)) << error;
    // Show progress: the run takes a while even in an optimized build.
    harness.SetOutputSink([](char c) {
        std::cout << c;
        if (c == '\n') std::cout.flush();
    });
    ASSERT_TRUE(harness.Run()) << harness.Output();
    const std::string& out = harness.Output();
    EXPECT_NE(out.find("Tests complete"), std::string::npos) << out;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;

    // Every group line ends in "OK"; count them so that a run that printed
    // nothing cannot pass.
    std::istringstream lines(out);
    std::string line;
    int groups = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find("....") == std::string::npos) continue;
        ++groups;
        EXPECT_EQ(line.substr(line.size() - 2), "OK") << line;
    }
    EXPECT_GE(groups, 60) << out;
}

}  // namespace
}  // namespace velgard
