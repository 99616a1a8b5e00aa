// velgard-cli disk, and cpmtools reading and writing the same images with
// the shipped "korvet" definition.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "disk/DiskTestSupport.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadBinary;
using test::RunCli;
using test::TempDir;
using test::WriteBinary;

TEST(DiskCli, NewInfoPutLsGetRmRestoreWipe) {
    TempDir dir;
    const auto image = (dir / "disk.kdi").string();
    auto r = RunCli({"disk", "new", image});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBinary(image), test::BlankImage());
    // An existing image is not replaced by accident.
    r = RunCli({"disk", "new", image});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("already exists"), std::string::npos);

    r = RunCli({"disk", "info", image});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Blocks:               395 (808960 bytes)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Header checksum:      E6h (computed E6h)"), std::string::npos) << r.out;
    // The command line speaks one language.
    EXPECT_EQ(r.out.find("\xD0"), std::string::npos) << "no Cyrillic in " << r.out;

    const auto hello = Bytes(200, 1), big = Bytes(70000, 2);
    WriteBinary(dir / "readme.txt", hello);
    WriteBinary(dir / "big.bin", big);
    r = RunCli({"disk", "put", image, (dir / "readme.txt").string(), (dir / "big.bin").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunCli({"disk", "ls", image});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("README.TXT        256 ---     0 no"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("BIG.BIN         70016 ---     0 no"), std::string::npos) << r.out;

    r = RunCli({"disk", "get", image, "big.bin", (dir / "big.out").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto out = ReadBinary(dir / "big.out");
    ASSERT_EQ(out.size(), 70016u);
    EXPECT_TRUE(std::equal(big.begin(), big.end(), out.begin()));

    // Failures: one line on stderr, a non-zero status, the image untouched.
    const auto before = ReadBinary(image);
    r = RunCli({"disk", "put", image, (dir / "readme.txt").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("README.TXT already exists"), std::string::npos) << r.err;
    r = RunCli({"disk", "put", image, (dir / "missing").string()});
    EXPECT_EQ(r.status, 2);
    WriteBinary(dir / "huge.dat", Bytes(900000, 3));
    WriteBinary(dir / "ok.dat", Bytes(10, 3));
    r = RunCli({"disk", "put", image, (dir / "ok.dat").string(), (dir / "huge.dat").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("disk full"), std::string::npos);
    r = RunCli({"disk", "get", image, "NOPE.TXT"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no such file"), std::string::npos);
    r = RunCli({"disk", "rm", image, "NOPE.TXT"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadBinary(image), before);
    for (const auto& e : {r.err}) EXPECT_EQ(std::count(e.begin(), e.end(), '\n'), 1);

    // rm erases as CP/M's ERA does: restore brings the same contents back.
    ASSERT_EQ(RunCli({"disk", "rm", image, "README.TXT"}).status, 0);
    r = RunCli({"disk", "ls", image});
    EXPECT_NE(r.out.find("README.TXT        256 ---     5 yes"), std::string::npos) << r.out;
    ASSERT_EQ(RunCli({"disk", "restore", image, "readme.txt"}).status, 0);
    ASSERT_EQ(RunCli({"disk", "get", image, "README.TXT", (dir / "readme.out").string()}).status, 0);
    auto readmeBack = ReadBinary(dir / "readme.out");
    ASSERT_EQ(readmeBack.size(), 256u);
    EXPECT_TRUE(std::equal(hello.begin(), hello.end(), readmeBack.begin()));
    // rm --wipe overwrites the entries and data: nothing is left to restore.
    ASSERT_EQ(RunCli({"disk", "rm", "--wipe", image, "README.TXT"}).status, 0);
    r = RunCli({"disk", "ls", image});
    EXPECT_EQ(r.out.find("README.TXT"), std::string::npos) << "rm --wipe leaves no name";
    EXPECT_EQ(RunCli({"disk", "restore", image, "README.TXT"}).status, 1);
    // A file erased by CP/M (only the user byte) can be restored.
    auto raw = ReadBinary(image);
    for (int i = 1; i <= 5; ++i) {  // BIG.BIN has five extents
        ASSERT_EQ(raw[10240 + 32 * i + 1], 'B');
        raw[10240 + 32 * i] = 0xE5;
    }
    WriteBinary(image, raw);
    r = RunCli({"disk", "ls", image});
    EXPECT_NE(r.out.find("BIG.BIN         70016 ---     5 yes"), std::string::npos) << r.out;
    ASSERT_EQ(RunCli({"disk", "restore", image, "BIG.BIN"}).status, 0);
    ASSERT_EQ(RunCli({"disk", "get", image, "BIG.BIN", (dir / "again.out").string()}).status, 0);
    EXPECT_EQ(ReadBinary(dir / "again.out"), out);

    // wipe destroys everything, so it asks for --force.
    const auto beforeWipe = ReadBinary(image);
    r = RunCli({"disk", "wipe", image});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBinary(image), beforeWipe);
    ASSERT_EQ(RunCli({"disk", "wipe", "--force", image}).status, 0);
    r = RunCli({"disk", "ls", image});
    EXPECT_NE(r.out.find("0 file(s), 804864 bytes free"), std::string::npos) << r.out;
}

TEST(DiskCli, BadArgumentsAndBadImages) {
    TempDir dir;
    EXPECT_EQ(RunCli({"disk"}).status, 2);
    EXPECT_EQ(RunCli({"disk", "frobnicate"}).status, 2);
    EXPECT_EQ(RunCli({"disk", "ls"}).status, 2);
    EXPECT_EQ(RunCli({"disk", "get", "x.kdi"}).status, 2);
    EXPECT_EQ(RunCli({"disk", "ls", (dir / "none.kdi").string()}).status, 2);
    WriteBinary(dir / "text.kdi", Bytes(30000, 1));
    auto r = RunCli({"disk", "ls", (dir / "text.kdi").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("not a Korvet disk image"), std::string::npos);
    auto notCpm = test::BlankImage();
    notCpm[0x10] = notCpm[0x11] = 0;
    WriteBinary(dir / "nocpm.kdi", notCpm);
    r = RunCli({"disk", "wipe", "--force", (dir / "nocpm.kdi").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("not a CP/M disk"), std::string::npos);
    EXPECT_EQ(ReadBinary(dir / "nocpm.kdi"), notCpm);
    // info still works on such a disk and says it cannot be measured.
    r = RunCli({"disk", "info", (dir / "nocpm.kdi").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("unknown format"), std::string::npos) << r.out;
}

TEST(DiskCli, WriteFailingHalfWayLeavesTheImageAsItWas) {
    TempDir dir;
    const auto image = (dir / "disk.kdi").string();
    ASSERT_EQ(RunCli({"disk", "new", image}).status, 0);
    WriteBinary(dir / "a.txt", Bytes(5000, 4));
    ASSERT_EQ(RunCli({"disk", "put", image, (dir / "a.txt").string()}).status, 0);
    const auto before = ReadBinary(image);
    WriteBinary(dir / "b.txt", Bytes(5000, 5));
    // A 400 KB file size limit (ulimit -f counts 1 KB units) stops the write midway.
    const std::string command = "ulimit -f 400; trap '' XFSZ; '" + std::string(VELGARD_CLI) + "' disk put '" +
                                image + "' '" + (dir / "b.txt").string() + "' 2>/dev/null";
    const int status = std::system(("sh -c \"" + command + "\"").c_str());
    EXPECT_NE(status, 0);
    EXPECT_EQ(ReadBinary(image), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 3)
        << "no temporary file stays behind";
}

TEST(DiskCli, PutFormsValidNamesSaysThemAndRefusesClashes) {
    TempDir dir;
    const auto image = (dir / "disk.kdi").string();
    ASSERT_EQ(RunCli({"disk", "new", image}).status, 0);
    WriteBinary(dir / "a very long name.text", Bytes(10, 1));
    WriteBinary(dir / "файл.txt", Bytes(10, 2));
    WriteBinary(dir / "a*b;c.txt", Bytes(10, 3));
    auto r = RunCli({"disk", "put", image, (dir / "a very long name.text").string(), (dir / "файл.txt").string(),
                     (dir / "a*b;c.txt").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("a very long name.text -> AVERYLON.TEX\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("файл.txt -> FAJL.TXT\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("a*b;c.txt -> A_B_C.TXT\n"), std::string::npos) << r.out;
    r = RunCli({"disk", "ls", image});
    for (const char* name : {"AVERYLON.TEX", "FAJL.TXT", "A_B_C.TXT"})
        EXPECT_NE(r.out.find(name), std::string::npos) << name << " in " << r.out;

    // Two host names giving one CP/M name: the second is refused, and the
    // whole put with it; --as picks another name.
    const auto before = ReadBinary(image);
    WriteBinary(dir / "a very long name.textile", Bytes(10, 4));
    r = RunCli({"disk", "put", image, (dir / "a very long name.textile").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("AVERYLON.TEX already exists"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--as"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBinary(image), before);
    r = RunCli({"disk", "put", image, (dir / "a very long name.textile").string(), "--as", "other.tex"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("-> OTHER.TEX"), std::string::npos) << r.out;
    ASSERT_EQ(RunCli({"disk", "get", image, "OTHER.TEX", (dir / "o.out").string()}).status, 0);
    const auto other = ReadBinary(dir / "o.out"), sent = Bytes(10, 4);
    ASSERT_EQ(other.size(), 128u);
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), other.begin()));

    // --as takes only valid names, and only for one file.
    const auto before2 = ReadBinary(image);
    for (const char* bad : {"A B.TXT", "TOOLONGNAME.TXT", "A.TEXT", "A*.TXT", "", ".TXT", "A.", "ДА.TXT"}) {
        r = RunCli({"disk", "put", image, (dir / "файл.txt").string(), "--as", bad});
        EXPECT_EQ(r.status, 2) << bad;
    }
    r = RunCli({"disk", "put", image, (dir / "файл.txt").string(), (dir / "a*b;c.txt").string(), "--as", "X.Y"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(ReadBinary(image), before2);
}

TEST(DiskCli, GetAsksForForceAndFoldersGetTheirOwnMessage) {
    TempDir dir;
    const auto image = (dir / "disk.kdi").string();
    ASSERT_EQ(RunCli({"disk", "new", image}).status, 0);
    WriteBinary(dir / "a.txt", Bytes(300, 7));
    ASSERT_EQ(RunCli({"disk", "put", image, (dir / "a.txt").string()}).status, 0);
    const auto host = (dir / "a.out").string();
    WriteBinary(host, Bytes(5, 9));
    auto r = RunCli({"disk", "get", image, "A.TXT", host});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("already exists (use --force"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBinary(host), Bytes(5, 9));
    ASSERT_EQ(RunCli({"disk", "get", "--force", image, "A.TXT", host}).status, 0);
    EXPECT_EQ(ReadBinary(host).size(), 384u);

    // A folder where a file is expected: exit 2 and a message that says so.
    fs::create_directory(dir / "sub");
    const auto sub = (dir / "sub").string();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"disk", "ls", sub}, {"disk", "info", sub}, {"disk", "put", image, sub},
          {"disk", "get", "--force", image, "A.TXT", sub}, {"disk", "new", "--force", sub}}) {
        r = RunCli(args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_NE(r.err.find("is a folder"), std::string::npos) << args[1] << ": " << r.err;
        EXPECT_EQ(r.err.find("basic_filebuf"), std::string::npos) << r.err;
    }
    // A missing output folder is refused, never created.
    r = RunCli({"disk", "get", image, "A.TXT", (dir / "no" / "such" / "a.out").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "no"));
}

TEST(DiskCli, FailedWritesLeaveTheOldFileAndSaySo) {
    TempDir dir;
    const auto image = (dir / "disk.kdi").string();
    ASSERT_EQ(RunCli({"disk", "new", image}).status, 0);
    WriteBinary(dir / "big.bin", Bytes(300000, 6));
    ASSERT_EQ(RunCli({"disk", "put", image, (dir / "big.bin").string()}).status, 0);
    const auto before = ReadBinary(image);
    const auto host = (dir / "out.bin").string();
    WriteBinary(host, Bytes(100, 1));
    // A full disk, imitated by a 100 KB file size limit: disk get of a
    // 300 KB file and disk new over the image both fail midway.
    for (const std::string& args : {"disk get --force '" + image + "' BIG.BIN '" + host + "'",
                                    "disk new --force '" + image + "'", "disk rm '" + image + "' BIG.BIN"}) {
        // (each of them writes a file larger than the limit)
        const std::string command = "ulimit -f 100; trap '' XFSZ; '" + std::string(VELGARD_CLI) + "' " + args +
                                    " 2>'" + (dir / "err.txt").string() + "'";
        const int status = std::system(("bash -c \"" + command + "\"").c_str());
        EXPECT_NE(status, 0) << args;
        const auto err = ReadBinary(dir / "err.txt");
        const std::string text(err.begin(), err.end());
        EXPECT_NE(text.find("left unchanged"), std::string::npos) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    }
    EXPECT_EQ(ReadBinary(host), Bytes(100, 1));
    EXPECT_EQ(ReadBinary(image), before);
}

class CpmTools : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v cpmcp >/dev/null 2>&1 && command -v cpmls >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "cpmtools (cpmls, cpmcp) is not installed";
        }
        // cpmtools looks for a file named diskdefs in the current folder.
        fs::copy_file(fs::path(VELGARD_SOURCE_DIR) / "extras" / "cpmtools" / "diskdefs", dir / "diskdefs");
        image = (dir / "disk.kdi").string();
        ASSERT_EQ(RunCli({"disk", "new", image}).status, 0);
    }
    int Tool(const std::string& args, std::string* out = nullptr) {
        const std::string command = "cd '" + dir.Path().string() + "' && " + args;
        if (!out) return std::system((command + " >/dev/null 2>&1").c_str());
        FILE* pipe = popen((command + " 2>&1").c_str(), "r");
        if (!pipe) return -1;
        char buf[4096];
        std::size_t n;
        while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out->append(buf, n);
        return pclose(pipe);
    }
    TempDir dir;
    std::string image;
};

TEST_F(CpmTools, FilesWrittenByCpmcpReadBackIdentically) {
    const auto small = Bytes(1000, 7), large = Bytes(550000, 8);  // past 32 extents
    WriteBinary(dir / "small.txt", small);
    WriteBinary(dir / "large.bin", large);
    ASSERT_EQ(Tool("cpmcp -f korvet disk.kdi small.txt large.bin 0:"), 0);
    const auto r = RunCli({"disk", "ls", image});
    EXPECT_NE(r.out.find("SMALL.TXT"), std::string::npos) << r.out;
    ASSERT_EQ(RunCli({"disk", "get", image, "LARGE.BIN", (dir / "l.out").string()}).status, 0);
    ASSERT_EQ(RunCli({"disk", "get", image, "small.txt", (dir / "s.out").string()}).status, 0);
    const auto l = ReadBinary(dir / "l.out"), s = ReadBinary(dir / "s.out");
    ASSERT_EQ(l.size(), 550016u);
    EXPECT_TRUE(std::equal(large.begin(), large.end(), l.begin()));
    ASSERT_EQ(s.size(), 1024u);
    EXPECT_TRUE(std::equal(small.begin(), small.end(), s.begin()));
}

// Host names that CP/M cannot hold become names that cpmtools accepts.
TEST_F(CpmTools, NamesFormedFromAwkwardHostNamesPassFsck) {
    if (Tool("command -v fsck.cpm") != 0) GTEST_SKIP() << "fsck.cpm is not installed";
    for (const char* name : {"a very long name.text", "файл.txt", "a*b.txt"}) {
        WriteBinary(dir / name, Bytes(300, 7));
        ASSERT_EQ(RunCli({"disk", "put", image, (dir / name).string()}).status, 0) << name;
    }
    std::string report;
    EXPECT_EQ(Tool("fsck.cpm -f korvet -n disk.kdi", &report), 0) << report;
    std::string listing;
    ASSERT_EQ(Tool("cpmls -f korvet disk.kdi", &listing), 0);
    EXPECT_NE(listing.find("fajl.txt"), std::string::npos) << listing;
}

TEST_F(CpmTools, FilesImportedByVelgardAreReadBackByCpmcp) {
    const auto a = Bytes(128 * 100, 9), b = Bytes(600000, 10);
    WriteBinary(dir / "a.com", a);
    WriteBinary(dir / "b.dat", b);
    ASSERT_EQ(RunCli({"disk", "put", image, (dir / "a.com").string(), (dir / "b.dat").string()}).status, 0);
    std::string listing;
    ASSERT_EQ(Tool("cpmls -f korvet disk.kdi", &listing), 0);
    EXPECT_NE(listing.find("a.com"), std::string::npos) << listing;
    EXPECT_NE(listing.find("b.dat"), std::string::npos) << listing;
    fs::create_directory(dir / "out");
    ASSERT_EQ(Tool("cpmcp -f korvet disk.kdi 0:a.com 0:b.dat out/"), 0);
    EXPECT_EQ(ReadBinary(dir / "out" / "a.com"), a);
    const auto back = ReadBinary(dir / "out" / "b.dat");
    ASSERT_EQ(back.size(), 600064u);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), back.begin()));
    if (Tool("command -v fsck.cpm") == 0) {
        std::string report;
        EXPECT_EQ(Tool("fsck.cpm -f korvet -n disk.kdi", &report), 0) << report;
    }
}

}  // namespace
}  // namespace velgard
