// Booting disks whose header asks for loads anywhere below the device pages
// (F800h), on both processors: what lands in memory, the state the program
// starts in, read errors that go away when tried again, and a system of our
// own on a disk made by `velgard-cli disk new`.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "machine/EmuKorvet.h"
#include "firmware/support/FirmwareRun.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

using test::FirmwareRun;
using test::Koi;

void PutWord(std::vector<std::uint8_t>& image, std::size_t at, unsigned value) {
    image[at] = static_cast<std::uint8_t>(value);
    image[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void FixChecksum(std::vector<std::uint8_t>& image) {
    unsigned sum = 0x66;
    for (std::size_t i = 0; i < 31; ++i) sum += image[i];
    image[31] = static_cast<std::uint8_t>(sum);
}

std::vector<std::uint8_t> BlankDisk(const test::TempDir& dir) {
    const auto path = dir / "blank.kdi";
    const auto made = test::RunCli({"disk", "new", "--force", path.string()});
    EXPECT_EQ(made.status, 0) << made.err;
    return test::ReadBinary(path);
}

// A system disk: header words 0, 2 and 4 as given, the `sectors` x 1024
// bytes after the header filled with a pattern that differs from sector
// to sector, and a jump to itself at the start address when it lies in
// the loaded bytes, so that the program's first instruction keeps the
// state the firmware left.
std::string MakeSystemDisk(const test::TempDir& dir, const std::string& name, unsigned load, unsigned start,
                           unsigned sectors) {
    auto image = BlankDisk(dir);
    PutWord(image, 0, load);
    PutWord(image, 2, start);
    PutWord(image, 4, sectors);
    std::uint32_t x = 0x12345678u ^ load;
    const std::size_t bytes = std::min<std::size_t>(sectors * 1024u, image.size());
    for (std::size_t i = 32; i < bytes; ++i) {
        x = x * 1103515245u + 12345u;
        image[i] = static_cast<std::uint8_t>(x >> 16);
    }
    const std::size_t at = static_cast<std::uint16_t>(start - load);
    if (at >= 32 && at + 3 <= bytes) {
        image[at] = 0xC3;  // JMP start
        PutWord(image, at + 1, start);
    }
    FixChecksum(image);
    const auto path = dir / name;
    test::WriteBinary(path, image);
    return path.string();
}

std::string Screen(const FirmwareRun::Result& r) {
    std::string s;
    for (int i = 0; i < 16; ++i) s += r.Row(i) + "\n";
    return s;
}

struct Load {
    unsigned load, start, sectors;
};

// Loads as real systems make them (14, 10 and 13 sectors high in memory),
// low into the RAM beneath the ROM, an odd address, and the two that end
// on the last byte below the device pages, F7FFh.
const Load kLoads[] = {
    {0x0100, 0x0120, 10},  // 0100h-28FFh, across the ROM's 8 KB
    {0x8000, 0x8020, 13},
    {0xBD80, 0xBDA0, 14},  // up to F57Fh
    {0xC000, 0xC020, 10},
    {0x1235, 0x1255, 3},
    {0x0400, 0xF7F0, 61},  // 0400h-F7FFh, starting in the last sector
    {0xF400, 0xF7FC, 1},   // F400h-F7FFh
};

TEST(Boot, LoadsAnywhereBelowTheDevicePagesAndStartsInTheDocumentedState) {
    test::TempDir dir;
    int n = 0;
    for (const Load& c : kLoads) {
        const std::string path = MakeSystemDisk(dir, std::to_string(n++) + ".kdi", c.load, c.start, c.sectors);
        const auto image = test::ReadBinary(path);
        for (bool z80 : {false, true}) {
            SCOPED_TRACE("load " + std::to_string(c.load) + ", " + std::to_string(c.sectors) + " sectors" +
                         (z80 ? ", Z80" : ", 8080"));
            FirmwareRun run;
            run.z80 = z80;
            run.rom = z80 ? 2 : 0;
            run.driveA = path;
            run.frames = 60 + static_cast<int>(c.sectors) * 2;
            const auto r = run.Run();
            ASSERT_EQ(r.configuration, 7) << Screen(r);
            EXPECT_EQ(r.pc, c.start) << "the program was not started";
            EXPECT_EQ(r.sp, 0xF800);
            EXPECT_EQ(r.hl, c.start);
            EXPECT_FALSE(r.interruptsEnabled);
            EXPECT_EQ(r.interruptMask, 0xFF);
            EXPECT_EQ(r.port32 & 0x08, 0) << "the sound is off";
            EXPECT_EQ(r.systemRegister & 0x3F, 0x20);
            // The cursor is hidden: the screen holds no inverted cell.
            int inverted = 0;
            for (auto a : r.attributes) inverted += (a & 0x80) != 0;
            EXPECT_EQ(inverted, 0);
            // Every byte in place, sector by sector in the disk's order.
            std::size_t wrong = 0, first = 0;
            for (std::size_t i = 0; i < c.sectors * 1024u; ++i) {
                if (r.ram[c.load + i] != image[i] && wrong++ == 0) first = i;
            }
            EXPECT_EQ(wrong, 0u) << "first at image offset " << first;
        }
    }
}

// A read that fails is tried again after a pause: a drive door open for one
// frame during a long load does not stop it. Left open, the load ends with
// the message and the monitor.
TEST(Boot, ReadErrorsAreTriedAgainBeforeTheyAreReported) {
    test::TempDir dir;
    const std::string path = MakeSystemDisk(dir, "long.kdi", 0x0400, 0x0420, 61);
    const auto image = test::ReadBinary(path);
    for (bool z80 : {false, true}) {
        SCOPED_TRACE(z80 ? "Z80" : "8080");
        FirmwareRun run;
        run.z80 = z80;
        run.driveA = path;
        run.frames = 200;
        bool loading = false;
        run.control = [&](int frame, tComputer_I8080_Korvet& m) {
            if (frame == 60) {
                loading = m.GetMemory().Configuration() == 0 || m.GetMemory().Configuration() == 4;
                m.SetLatch(0, false);
            }
            if (frame == 61) m.SetLatch(0, true);
        };
        auto r = run.Run();
        EXPECT_TRUE(loading) << "the door must open while the program loads";
        ASSERT_EQ(r.configuration, 7) << Screen(r);
        EXPECT_EQ(r.pc, 0x0420);
        EXPECT_TRUE(std::equal(image.begin(), image.begin() + 61 * 1024, r.ram.begin() + 0x0400));

        run.control = [](int frame, tComputer_I8080_Korvet& m) {
            if (frame == 60) m.SetLatch(0, false);
        };
        r = run.Run();
        EXPECT_EQ(r.configuration, 0);
        EXPECT_EQ(r.Row(2), Koi("Ошибка чтения диска")) << Screen(r);
        EXPECT_EQ(r.Row(3), ">");
        EXPECT_TRUE(r.interruptsEnabled) << "the monitor runs with the frame interrupt";
        EXPECT_EQ(r.interruptMask, 0xEF);
    }
}

// Programs in configuration 0 read sectors through the entry at 007Bh: here
// track 1, side 1, sector 4 of a disk that is not bootable, to 7000h, and
// then a sector of an empty drive, which fails with carry set.
TEST(Boot, SectorReadEntryForPrograms) {
    test::TempDir dir;
    auto image = BlankDisk(dir);
    for (std::size_t i = 32; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13 + i / 1024);
    const auto path = dir / "data.kdi";
    test::WriteBinary(path, image);
    for (bool z80 : {false, true}) {
        FirmwareRun run;
        run.z80 = z80;
        run.driveA = path.string();
        // LXI H,7000h / LXI D,0101h / MVI C,4 / CALL 007Bh / SBB A / STA 6FFFh / RET
        run.keys = test::Keys("M 7100 21 0 70 11 1 1 E 4 CD 7B 0 9F 32 FF 6F C9\rG 7100\r");
        run.frames = 50 + static_cast<int>(run.keys.size()) * 8 + 40;
        const auto r = run.Run();
        const std::size_t offset = (1 * 2 + 1) * 5120 + 3 * 1024;
        EXPECT_TRUE(std::equal(image.begin() + offset, image.begin() + offset + 1024, r.ram.begin() + 0x7000))
            << (z80 ? "Z80" : "8080");
        EXPECT_EQ(r.ram[0x6FFF], 0) << "no carry";
        EXPECT_EQ(r.ram[0x7400], 0) << "not a byte more";
    }
    FirmwareRun run;
    run.keys = test::Keys("M 7100 21 0 70 11 0 0 E 1 CD 7B 0 9F 32 FF 6F C9\rG 7100\r");
    run.frames = 50 + static_cast<int>(run.keys.size()) * 8 + 40;
    const auto r = run.Run();
    EXPECT_EQ(r.ram[0x6FFF], 0xFF) << "carry: drive A is empty";
}

// A tiny 8080 assembler for the test program: bytes, and words that are
// addresses of labels fixed up at the end.
class Code {
public:
    explicit Code(unsigned origin) : origin_(origin) {}
    unsigned Here() const { return origin_ + static_cast<unsigned>(bytes_.size()); }
    Code& B(std::initializer_list<unsigned> bytes) {
        for (unsigned b : bytes) bytes_.push_back(static_cast<std::uint8_t>(b));
        return *this;
    }
    Code& W(unsigned word) { return B({word & 0xFF, word >> 8}); }
    // An opcode followed by the address of label `name`.
    Code& Ref(unsigned opcode, const std::string& name) {
        B({opcode});
        fixups_.push_back({bytes_.size(), name});
        return W(0);
    }
    Code& Label(const std::string& name) {
        labels_.push_back({name, Here()});
        return *this;
    }
    std::vector<std::uint8_t> Bytes() const {
        auto out = bytes_;
        for (const auto& [at, name] : fixups_) {
            for (const auto& [label, address] : labels_) {
                if (label == name) {
                    out[at] = static_cast<std::uint8_t>(address);
                    out[at + 1] = static_cast<std::uint8_t>(address >> 8);
                }
            }
        }
        return out;
    }

private:
    unsigned origin_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::pair<std::size_t, std::string>> fixups_;
    std::vector<std::pair<std::string, unsigned>> labels_;
};

// A disk from `velgard-cli disk new` with a file in its directory; the test
// writes a system into its two system tracks (10 sectors at BD80h, like a
// CP/M for the Korvet) that clears the screen and prints a line through its
// own code, with no call into the firmware. The directory stays intact.
TEST(Boot, OwnSystemInTheSystemTracksOfANewDiskPrintsThroughItsOwnCode) {
    test::TempDir dir;
    const auto disk = dir / "system.kdi";
    ASSERT_EQ(test::RunCli({"disk", "new", disk.string()}).status, 0);
    const auto file = dir / "NOTE.TXT";
    test::WriteBinary(file, std::vector<std::uint8_t>(3000, 'n'));
    const auto put = test::RunCli({"disk", "put", disk.string(), file.string()});
    ASSERT_EQ(put.status, 0) << put.err;

    const std::string message = Koi("Своя система: печать своим кодом");
    Code code(0xBDA0);
    code.B({0x31}).W(0xF800)                     // LXI SP,F800h
        .B({0x21}).W(0xFC00)                     // LXI H,FC00h
        .Label("clear").B({0x36, 0x20})          // MVI M,' '
        .B({0x23, 0x7C, 0xB7})                   // INX H; MOV A,H; ORA A
        .Ref(0xC2, "clear")                      // JNZ clear (to FFFFh)
        .Ref(0x21, "text")                       // LXI H,text
        .B({0x11}).W(0xFC00 + 3 * 64)            // LXI D,row 3
        .Label("print").B({0x7E, 0xB7})          // MOV A,M; ORA A
        .Ref(0xCA, "done")                       // JZ done
        .B({0x12, 0x23, 0x13})                   // STAX D; INX H; INX D
        .Ref(0xC3, "print")                      // JMP print
        .Label("done").Ref(0xC3, "done")         // JMP done
        .Label("text");
    for (char ch : message) code.B({static_cast<unsigned char>(ch)});
    code.B({0});

    auto image = test::ReadBinary(disk);
    ASSERT_EQ(image.size(), 819200u);
    PutWord(image, 0, 0xBD80);
    PutWord(image, 2, 0xBDA0);
    PutWord(image, 4, 10);
    const auto bytes = code.Bytes();
    std::copy(bytes.begin(), bytes.end(), image.begin() + 32);
    for (std::size_t i = 1024; i < 10 * 1024; ++i) image[i] = static_cast<std::uint8_t>(i / 1024);
    FixChecksum(image);
    test::WriteBinary(disk, image);

    for (bool z80 : {false, true}) {
        FirmwareRun run;
        run.z80 = z80;
        run.driveA = disk.string();
        run.frames = 100;
        const auto r = run.Run();
        ASSERT_EQ(r.configuration, 7) << Screen(r);
        EXPECT_EQ(r.Row(0), "");
        EXPECT_EQ(r.Row(3), message) << Screen(r);
        EXPECT_EQ(r.ram[0xBD80 + 9 * 1024], 9) << "the tenth sector, side 1 sector 5";
    }
    const auto listed = test::RunCli({"disk", "ls", disk.string()});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("NOTE"), std::string::npos) << listed.out;
}

}  // namespace
}  // namespace velgard
