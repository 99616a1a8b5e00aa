// velgard-cli as a new user meets it: help and version, clear messages and
// exit status 2 for unusable paths, the --rom-file length message, --type
// runs that last until the text is typed, cpm's cycle limit, and output
// files that a failed write leaves alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace velgard {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

// A usage error: one line on stderr mentioning `text`, nothing on stdout,
// status 2.
void ExpectUsageError(const test::CliResult& r, const std::string& text) {
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
}

TEST(CliUsage, EveryCommandHasHelpAndThereIsAVersion) {
    for (const char* command : {"run", "disk", "cpm"}) {
        for (const std::vector<std::string>& args : {std::vector<std::string>{command, "--help"},
                                                      std::vector<std::string>{command, "-h"},
                                                      std::vector<std::string>{"help", command}}) {
            const auto r = RunCli(args);
            EXPECT_EQ(r.status, 0) << command;
            EXPECT_EQ(r.out.rfind(std::string("Usage: velgard-cli ") + command, 0), 0u) << r.out;
            EXPECT_TRUE(r.err.empty()) << r.err;
        }
    }
    EXPECT_NE(RunCli({"run", "--help"}).out.find("--frames N"), std::string::npos);
    EXPECT_NE(RunCli({"disk", "--help"}).out.find("disk rm [--wipe]"), std::string::npos);
    EXPECT_NE(RunCli({"cpm", "--help"}).out.find("--max-cycles"), std::string::npos);
    const auto v = RunCli({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.rfind("velgard-cli ", 0), 0u) << v.out;
    EXPECT_EQ(std::count(v.out.begin(), v.out.end(), '\n'), 1) << v.out;
    ExpectUsageError(RunCli({"help", "nosuch"}), "unknown command");
}

TEST(CliUsage, FoldersAndMissingFilesGetTheirOwnMessage) {
    test::TempDir dir;
    const std::string folder = dir.Path().string();
    ExpectUsageError(RunCli({"cpm", folder}), folder + " is a folder, not a file");
    ExpectUsageError(RunCli({"run", "--rom-file", folder}), "is a folder, not a file");
    ExpectUsageError(RunCli({"run", "--drive", "A=" + folder}), "drive A: " + folder + " is a folder");
    ExpectUsageError(RunCli({"run", "--drive", "b=" + folder + "/none.kdi"}), "drive B: no such file");
    ExpectUsageError(RunCli({"run", "--roms-dir", folder + "/none"}), "no such folder");
    test::WriteBinary(dir / "file", {1});
    ExpectUsageError(RunCli({"run", "--roms-dir", (dir / "file").string()}), "is a file, not a folder");
    for (const auto& r : {RunCli({"cpm", folder}), RunCli({"disk", "ls", folder})})
        EXPECT_EQ(r.err.find("basic_filebuf"), std::string::npos) << r.err;
}

TEST(CliUsage, ARefusedImageGetsTheMachinesMessageOnceAndOneEnglishLine) {
    test::TempDir dir;
    // The right size for a disk, but a header no Korvet disk has.
    std::vector<std::uint8_t> image(819200, 0x11);
    test::WriteBinary(dir / "odd.kdi", image);
    const auto r = RunCli({"run", "--roms-dir", dir.Path().string(), "--drive", "A=" + (dir / "odd.kdi").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(r.err, "Формат данного образа диска пока неподдерживается!\nvelgard-cli: run: drive A: the image " +
                         (dir / "odd.kdi").string() + " was refused; nothing was run\n");
}

TEST(CliUsage, RomFileOfAnotherSetsLengthNamesTheSetThatTakesIt) {
    test::TempDir dir;
    test::WriteBinary(dir / "k20.rom", std::vector<std::uint8_t>(24578, 0));
    ExpectUsageError(RunCli({"run", "--rom-file", (dir / "k20.rom").string()}),
                     "24578 bytes is not a length ROM set 1 (Korvet 1.1 + BASIC) takes; that length suits --rom 0");
    test::WriteBinary(dir / "odd.rom", std::vector<std::uint8_t>(1000, 0));
    ExpectUsageError(RunCli({"run", "--rom", "2", "--rom-file", (dir / "odd.rom").string()}),
                     "no ROM set takes that length");
    test::WriteBinary(dir / "k11.rom", std::vector<std::uint8_t>(24576, 0));
    ExpectUsageError(RunCli({"run", "--rom", "2", "--rom-file", (dir / "k11.rom").string()}),
                     "suits --rom 0 (Korvet 2.0 + BASIC) or --rom 1 (Korvet 1.1 + BASIC)");
}

// The frame count "Ran N frames" reports.
unsigned long long FramesRun(const std::string& out) {
    const auto at = out.find("Ran ");
    if (at == std::string::npos) return 0;
    return std::stoull(out.substr(at + 4));
}

TEST(CliUsage, ARunLastsUntilAllTheTextIsTyped) {
    test::TempDir dir;
    // 22 keys: far more than 60 frames can take.
    const auto r = RunCli({"run", "--no-sync", "--frames", "60", "--roms-dir", dir.Path().string(), "--type",
                           "D 0 FF\\rD 100 1FF\\r"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GT(FramesRun(r.out), 50u + 18 * 6) << r.out;
    // Without text the frame count is exact.
    const auto plain = RunCli({"run", "--no-sync", "--frames", "60", "--roms-dir", dir.Path().string()});
    EXPECT_EQ(FramesRun(plain.out), 60u) << plain.out;
    ExpectUsageError(RunCli({"run", "--type", "ab\\q"}), "unknown escape \\q");
    ExpectUsageError(RunCli({"run", "--type", "Ёж"}), "no Korvet key types the character U+0401");
}

TEST(CliUsage, CpmStopsAProgramThatNeverReturns) {
    test::TempDir dir;
    // 0100h: JMP 0100h
    test::WriteBinary(dir / "LOOP.COM", {0xC3, 0x00, 0x01});
    const auto r = RunCli({"cpm", "--max-cycles", "100000", (dir / "LOOP.COM").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("did not end (no warm boot) within 100000 cycles"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--max-cycles"), std::string::npos) << r.err;
    ExpectUsageError(RunCli({"cpm", "--max-cycles", "lots", (dir / "LOOP.COM").string()}), "--max-cycles needs");
    // 0100h: JMP 0000h ends at once, well inside any limit.
    test::WriteBinary(dir / "END.COM", {0xC3, 0x00, 0x00});
    EXPECT_EQ(RunCli({"cpm", "--max-cycles", "100", (dir / "END.COM").string()}).status, 0);
}

TEST(CliUsage, AScreenshotThatCannotBeWrittenLeavesTheOldFile) {
    test::TempDir dir;
    const auto png = (dir / "shot.png").string();
    const std::vector<std::uint8_t> old(200, 0x33);
    test::WriteBinary(png, old);
    // A 1 KB file size limit: the PNG of the monitor screen is larger.
    const std::string command = "ulimit -f 1; trap '' XFSZ; '" + std::string(VELGARD_CLI) +
                                "' run --no-sync --frames 60 --roms-dir '" + dir.Path().string() + "' --screenshot '" +
                                png + "' >/dev/null 2>'" + (dir / "err.txt").string() + "'";
    EXPECT_NE(std::system(("bash -c \"" + command + "\"").c_str()), 0);
    EXPECT_EQ(test::ReadBinary(png), old);
    const auto e = test::ReadBinary(dir / "err.txt");
    const std::string err(e.begin(), e.end());
    EXPECT_NE(err.find("cannot write the screenshot " + png + " (an old file is left as it was)"), std::string::npos)
        << err;
    // Without the limit it is replaced by a PNG.
    ASSERT_EQ(RunCli({"run", "--no-sync", "--frames", "60", "--roms-dir", dir.Path().string(), "--screenshot", png})
                  .status,
              0);
    const auto p = test::ReadBinary(png);
    ASSERT_GT(p.size(), 8u);
    EXPECT_EQ(std::string(p.begin() + 1, p.begin() + 4), "PNG");
}

}  // namespace
}  // namespace velgard
