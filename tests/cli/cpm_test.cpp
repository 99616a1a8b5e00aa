// velgard-cli cpm: runs a CP/M program on the bare 8080 and reports cycles.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/TestSupport.h"

namespace velgard {
namespace {

// A usage error is one line on stderr, nothing on stdout, and status 2.
void ExpectOneLineError(const test::CliResult& r, const std::string& mentions) {
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind("velgard-cli: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(mentions), std::string::npos) << r.err;
}

TEST(CpmCommand, RunsTheMicrocosmDiagnosticAndPrintsItsCycles) {
    const auto program = test::CpuTestsDir() / "TST8080.COM";
    if (!std::filesystem::exists(program)) {
        GTEST_SKIP() << "TST8080.COM not found in " << test::CpuTestsDir();
    }
    const test::CliResult r = test::RunCli({"cpm", "--cycles", program.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("CPU IS OPERATIONAL"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Cycles: 4924\n"), std::string::npos) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(CpmCommand, RejectsMissingOversizedAndUnknownInput) {
    test::TempDir dir;
    ExpectOneLineError(test::RunCli({"cpm", (dir / "NOSUCH.COM").string()}), "NOSUCH.COM");

    // The TPA runs from 0x0100 to the top of memory: 65280 bytes.
    const auto big = dir / "BIG.COM";
    test::WriteBinary(big, std::vector<std::uint8_t>(65281, 0x00));
    ExpectOneLineError(test::RunCli({"cpm", big.string()}), "65281");

    // One byte less fits: a program of NOPs that falls through memory into
    // the warm boot at 0x0000.
    const auto fits = dir / "FITS.COM";
    test::WriteBinary(fits, std::vector<std::uint8_t>(65280, 0x00));
    const test::CliResult ok = test::RunCli({"cpm", "--cycles", fits.string()});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_NE(ok.out.find("Cycles: " + std::to_string(65280 * 4 + 10)), std::string::npos) << ok.out;

    ExpectOneLineError(test::RunCli({"cpm", "--fast", fits.string()}), "--fast");
}

}  // namespace
}  // namespace velgard
