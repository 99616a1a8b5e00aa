// The memory map: configurations, ROM and RAM, system page, I/O page,
// character memory, graphics window and keyboard window, reached through
// the processor's byte operations.
#include <gtest/gtest.h>

#include "MachineTestSupport.h"
#include "devices/PIC_I8259A.h"
#include "devices/TIMER_I8253.h"
#include "disk/FDC_WD279X.h"
#include "graphics/BMMBitmap.h"
#include "machine/KorvetKeyboard.h"

namespace velgard {
namespace {

using M = tMemory_Korvet64Kb;

class MemoryMapTest : public ::testing::Test {
protected:
    void SetUp() override {
        machine = std::make_unique<tComputer_I8080_Korvet>(host);
        std::vector<std::uint8_t> rom(24576);
        for (std::size_t i = 0; i < rom.size(); ++i) rom[i] = static_cast<std::uint8_t>(i * 7 + 3 + (i >> 8));
        ASSERT_TRUE(machine->Roms().ReplaceRom(1, rom));
        rom1 = rom;
        mem().LoadROM(1);
    }
    M& mem() { return machine->GetMemory(); }
    // Selects a configuration through the register in the current system page.
    void Configure(int k) { mem().SetConfiguration(static_cast<std::uint8_t>(k << 2)); }

    HeadlessHost host;
    std::unique_ptr<tComputer_I8080_Korvet> machine;
    std::vector<std::uint8_t> rom1;
};

// The 32 configurations in the machine's own table form: ROM end, keyboard,
// system page, I/O page, character memory, graphics window (-1 = none).
struct ConfigRow {
    int romEnd, keyboard, system, io, chars, graphics;
};
constexpr int X = -1;
constexpr ConfigRow kTable[32] = {
    {0x37FF, 0x3800, 0x3A00, 0x3B00, 0x3C00, X}, {0x1FFF, X, X, X, X, X}, {0x3FFF, X, X, X, X, X},
    {X, X, X, X, X, X},
    {0x1FFF, 0xF800, 0xFA00, 0xFB00, 0xFC00, X}, {0x1FFF, 0xF800, 0xFA00, 0xFB00, 0xFC00, X},
    {0x3FFF, 0xF800, 0xFA00, 0xFB00, 0xFC00, X}, {X, 0xF800, 0xFA00, 0xFB00, 0xFC00, X},
    {0x37FF, 0x3800, 0x3A00, 0x3B00, 0x3C00, 0xC000}, {0x1FFF, X, X, X, X, 0xC000},
    {0x3FFF, X, X, X, X, 0xC000}, {X, X, X, X, X, 0xC000},
    {0x1FFF, X, 0xFF00, 0xFE00, X, 0x4000}, {0x1FFF, X, 0xFF00, 0xFE00, X, 0x4000},
    {0x3FFF, X, 0xFF00, 0xFE00, X, 0x4000}, {X, X, 0xFF00, 0xFE00, X, 0x4000},
    {0x5FFF, 0xF800, 0xFA00, 0xFB00, 0xFC00, X}, {0x1FFF, 0xF800, 0xFA00, 0xFB00, 0xFC00, X},
    {0x3FFF, 0xF800, 0xFA00, 0xFB00, 0xFC00, X}, {X, 0xF800, 0xFA00, 0xFB00, 0xFC00, X},
    {0x5FFF, X, 0xFF00, 0xFE00, X, X}, {0x1FFF, X, 0xFF00, 0xFE00, X, X},
    {0x3FFF, X, 0xFF00, 0xFE00, X, X}, {X, X, 0xFF00, 0xFE00, X, X},
    {0x5FFF, X, 0xBF00, X, X, 0xC000}, {0x1FFF, X, 0xBF00, X, X, 0xC000},
    {0x3FFF, X, 0xBF00, X, X, 0xC000}, {X, X, 0xBF00, X, X, 0xC000},
    {0x5FFF, X, X, X, X, 0xC000}, {0x1FFF, X, X, X, X, 0xC000},
    {0x3FFF, X, X, X, X, 0xC000}, {X, X, X, X, X, 0xC000},
};

TEST_F(MemoryMapTest, EveryConfigurationMapsItsRegions) {
    for (int k = 0; k < 32; ++k) {
        const ConfigRow& r = kTable[k];
        std::uint8_t expected[256] = {};
        auto place = [&](int base, int pages, std::uint8_t type) {
            if (base < 0) return;
            for (int p = 0; p < pages; ++p) expected[(base >> 8) + p] = type;
        };
        if (r.romEnd >= 0) place(0, (r.romEnd >> 8) + 1, M::kPageRom);
        place(r.system, 1, M::kPageSystem);
        place(r.io, 1, M::kPageIo);
        place(r.keyboard, 2, M::kPageKeyboard);
        place(r.chars, 4, M::kPageCharacters);
        place(r.graphics, 64, M::kPageGraphics);
        for (int p = 0; p < 256; ++p) {
            ASSERT_EQ(mem().PageType(k, p), expected[p]) << "configuration " << k << " page " << p;
        }
    }
    // Spot checks of the places where regions meet.
    EXPECT_EQ(mem().PageType(0, 0x37), M::kPageRom);
    EXPECT_EQ(mem().PageType(0, 0x38), M::kPageKeyboard);
    EXPECT_EQ(mem().PageType(8, 0xFF), M::kPageGraphics);
    EXPECT_EQ(mem().PageType(12, 0x20), M::kPageRam);
    EXPECT_EQ(mem().PageType(24, 0xBF), M::kPageSystem);
    EXPECT_EQ(mem().PageType(16, 0x5F), M::kPageRom);
    EXPECT_EQ(mem().PageType(16, 0x60), M::kPageRam);
}

TEST_F(MemoryMapTest, RomReadsOverRamAndWritesLandBeneath) {
    EXPECT_EQ(mem().ReadByte(0x0000), rom1[0]);
    EXPECT_EQ(mem().ReadByte(0x37FF), rom1[0x37FF]);
    mem().WriteByte(0x0000, static_cast<std::uint8_t>(rom1[0] ^ 0xFF));
    EXPECT_EQ(mem().ReadByte(0x0000), rom1[0]) << "configuration 0 shows the ROM";
    Configure(3);
    EXPECT_EQ(mem().ReadByte(0x0000), static_cast<std::uint8_t>(rom1[0] ^ 0xFF)) << "the write is in RAM";
    EXPECT_EQ(mem().ReadByte(0x0001), rom1[1]) << "LoadROM copied the image into RAM";
    EXPECT_EQ(mem().ReadByte(0x5FFF), rom1[0x5FFF]);
    EXPECT_EQ(mem().ReadByte(0x6000), 0) << "RAM past the image";

    // A short image leaves the rest of the ROM region reading RAM.
    std::vector<std::uint8_t> kontur(8192, 0xC3);
    ASSERT_TRUE(machine->Roms().ReplaceRom(2, kontur));
    mem().Reset(false);
    mem().LoadROM(2);
    mem().Ram()[0x2000] = 0x5A;
    EXPECT_EQ(mem().ReadByte(0x1FFF), 0xC3);
    EXPECT_EQ(mem().ReadByte(0x2000), 0x5A);
    EXPECT_EQ(mem().ReadByte(0x37FF), 0x00);

    // The 24578-byte image: its last two bytes only reach RAM.
    std::vector<std::uint8_t> k20(24578, 0x11);
    k20[24576] = 0xAB;
    k20[24577] = 0xCD;
    ASSERT_TRUE(machine->Roms().ReplaceRom(0, k20));
    mem().Reset(false);
    mem().LoadROM(0);
    Configure(16);
    EXPECT_EQ(mem().ReadByte(0x5FFF), 0x11);
    EXPECT_EQ(mem().ReadByte(0x6000), 0xAB);
    EXPECT_EQ(mem().ReadWord(0x6000), 0xCDAB);
}

// The pages the processor reads and writes directly are exactly the plain
// ones: RAM, and ROM wholly covered by the image or lying beyond it (reads),
// RAM and ROM (writes, which land in the RAM beneath); every page with side
// effects goes through the callbacks. The tables follow the configuration,
// and the machine hands them and the controller's pending flag to its core.
TEST_F(MemoryMapTest, DirectPagesAreExactlyThePlainPages) {
    auto ram = mem().Ram();
    for (int k = 0; k < 32; ++k) {
        Configure(k);
        const std::uint8_t* const* rd = mem().DirectReadPages();
        std::uint8_t* const* wr = mem().DirectWritePages();
        for (int p = 0; p < 256; ++p) {
            SCOPED_TRACE(testing::Message() << "configuration " << k << ", page " << p);
            const std::uint8_t type = mem().PageType(k, p);
            const std::size_t start = static_cast<std::size_t>(p) << 8;
            if (type == M::kPageRam) {
                EXPECT_EQ(rd[p], &ram[start]);
                EXPECT_EQ(wr[p], &ram[start]);
            } else if (type == M::kPageRom) {
                EXPECT_EQ(wr[p], &ram[start]);
                ASSERT_NE(rd[p], nullptr);
                if (start < rom1.size()) {
                    EXPECT_EQ(rd[p][0], rom1[start]);
                    EXPECT_EQ(rd[p][255], rom1[start + 255]);
                } else {
                    EXPECT_EQ(rd[p], &ram[start]);
                }
            } else {
                EXPECT_EQ(rd[p], nullptr);
                EXPECT_EQ(wr[p], nullptr);
            }
        }
    }
    // A short image: the ROM pages beyond it read the RAM beneath directly.
    std::vector<std::uint8_t> shortRom(8192);
    for (std::size_t i = 0; i < shortRom.size(); ++i) shortRom[i] = static_cast<std::uint8_t>(i ^ 0xA5);
    ASSERT_TRUE(machine->Roms().ReplaceRom(2, shortRom));
    mem().LoadROM(2);
    Configure(16);  // ROM pages up to 5FFFh
    const std::uint8_t* const* rd = mem().DirectReadPages();
    EXPECT_EQ(rd[0x1F][0x80], shortRom[0x1F80]);
    for (int p = 0x20; p < 0x60; ++p) EXPECT_EQ(rd[p], &ram[static_cast<std::size_t>(p) << 8]) << p;

    CpuState& cpu = machine->Cpu();
    EXPECT_EQ(cpu.ReadPages, mem().DirectReadPages());
    EXPECT_EQ(cpu.WritePages, mem().DirectWritePages());
    EXPECT_EQ(cpu.InterruptPending, mem().Pic().PendingFlag());
    machine->SetCpuKind(kCpuZ80);
    EXPECT_EQ(machine->Cpu().ReadPages, mem().DirectReadPages());
    EXPECT_EQ(machine->Cpu().InterruptPending, mem().Pic().PendingFlag());
}

TEST_F(MemoryMapTest, WordAccessIsLittleEndianAndWraps) {
    Configure(3);
    mem().WriteWord(0xFFFF, 0x1234);
    EXPECT_EQ(mem().Ram()[0xFFFF], 0x34);
    EXPECT_EQ(mem().Ram()[0x0000], 0x12);
    EXPECT_EQ(mem().ReadWord(0xFFFF), 0x1234);
    // A word write reaches the system page byte by byte, low byte first.
    Configure(0);
    mem().WriteWord(0x3AFA, 0x4877);
    EXPECT_EQ(mem().Ram()[0x3AFA], 0x77);
    EXPECT_EQ(mem().PaletteRegister(8), 4);
}

TEST_F(MemoryMapTest, ConfigurationRegisterSelectsAndCanLeaveNoWayBack) {
    mem().WriteByte(0x3A7F, 0x20);
    EXPECT_EQ(mem().Configuration(), 8);
    EXPECT_EQ(mem().ReadByte(0x3A7F), 8);
    EXPECT_EQ(mem().PageType(mem().Configuration(), 0xC0), M::kPageGraphics);
    // Bits 1-0 and 7 are not part of the number.
    mem().WriteByte(0x3A7F, 0x83);
    EXPECT_EQ(mem().Configuration(), 0);
    mem().SetDirty(false);
    mem().WriteByte(0x3A7F, 0x01);  // the same configuration: nothing changes
    EXPECT_FALSE(mem().IsDirty());
    // Other system page offsets are RAM.
    mem().WriteByte(0x3A10, 0x77);
    EXPECT_EQ(mem().Ram()[0x3A10], 0x77);
    EXPECT_EQ(mem().ReadByte(0x3A10), 0x77);
    mem().Ram()[0x3AFB] = 0x42;
    EXPECT_EQ(mem().ReadByte(0x3AFB), 0x42) << "the palette register reads RAM";
    // Configuration 3 removes the system page: only RAM remains.
    mem().WriteByte(0x3A7F, 0x0C);
    EXPECT_EQ(mem().Configuration(), 3);
    mem().WriteByte(0x3A7F, 0x00);
    EXPECT_EQ(mem().Configuration(), 3);
    EXPECT_EQ(mem().ReadByte(0x3A7F), 0x00) << "RAM now";
    // Configuration 24 puts the system page at BF00.
    Configure(24);
    mem().WriteByte(0xBF7F, 0x00);
    EXPECT_EQ(mem().Configuration(), 0);
}

TEST_F(MemoryMapTest, GraphicsWindowDirectModeWritesAndCompares) {
    Configure(8);
    tBMMGDI4Bitmap& page0 = mem().PageBitmap(0);
    // Pixels 0-7 of row 3 = colour 3, pixel 2 also with its text bit.
    mem().WriteByte(0x3ABF, 0x86);  // direct, K = 3
    mem().WriteByte(0xC000 + 3 * 64 + 1, 0xFF);
    page0.SetPixel(8 + 2, 3, 0x0B);
    mem().WriteByte(0x3ABF, 0xDA);  // direct, K = 5, compare 5
    EXPECT_EQ(mem().ReadByte(0x3ABF), 0xDA);
    mem().WriteByte(0xC000 + 3 * 64 + 1, 0x81);
    for (int k = 0; k < 8; ++k) {
        const std::uint8_t expected = (k == 0 || k == 7) ? 5 : (k == 2 ? 0x0B : 3);
        EXPECT_EQ(page0.Pixel(8 + k, 3), expected) << "pixel " << k;
    }
    EXPECT_EQ(mem().ReadByte(0xC000 + 3 * 64 + 1), 0x7E) << "1 where the planes differ from 5";
    // A text bit under a written pixel survives.
    mem().WriteByte(0xC000 + 3 * 64 + 1, 0x20);
    EXPECT_EQ(page0.Pixel(10, 3), 0x0D);
    EXPECT_EQ(mem().ReadByte(0xC000 + 3 * 64 + 1), 0x5E) << "text bits are never seen";
    // The neighbouring byte and rows are untouched.
    EXPECT_EQ(page0.Pixel(7, 3), 0);
    EXPECT_EQ(page0.Pixel(16, 3), 0);
    EXPECT_EQ(page0.Pixel(8, 2), 0);
}

TEST_F(MemoryMapTest, GraphicsWindowClearAndSetPlaneModes) {
    Configure(8);
    tBMMGDI4Bitmap& page0 = mem().PageBitmap(0);
    // Straight after Reset the write values are 0: the whole bitmap byte of
    // each selected pixel is cleared, text bits and the neighbour included.
    page0.SetPixel(0, 0, 0x0F);
    page0.SetPixel(1, 0, 0x0F);
    page0.SetPixel(2, 0, 0x0F);
    mem().WriteByte(0xC000, 0x80);
    EXPECT_EQ(page0.Pixel(0, 0), 0);
    EXPECT_EQ(page0.Pixel(1, 0), 0);
    EXPECT_EQ(page0.Pixel(2, 0), 0x0F);
    // After the colour register is written with 0 only the planes of the
    // selected pixel go.
    mem().WriteByte(0x3ABF, 0x00);
    page0.SetPixel(0, 0, 0x0F);
    page0.SetPixel(1, 0, 0x0F);
    mem().WriteByte(0xC000, 0x80);
    EXPECT_EQ(page0.Pixel(0, 0), 0x08);
    EXPECT_EQ(page0.Pixel(1, 0), 0x0F);
    // Clear mode, K = 6 (110): clears plane 0 only.
    mem().WriteByte(0x3ABF, 0x0C);
    page0.SetPixel(5, 1, 0x07);
    mem().WriteByte(0xC000 + 64, 0x04);
    EXPECT_EQ(page0.Pixel(5, 1), 0x06);
    // Set mode, K = 5 (101): sets plane 1 only.
    mem().WriteByte(0x3ABF, 0x0B);
    page0.SetPixel(6, 1, 0x08);
    mem().WriteByte(0xC000 + 64, 0x02);
    EXPECT_EQ(page0.Pixel(6, 1), 0x0A);
    // Non-direct read: 1 where planes AND compare value (bits 6-4) is not 0.
    mem().WriteByte(0x3ABF, 0x20);  // compare 010
    EXPECT_EQ(mem().ReadByte(0xC000 + 64), 0x06) << "pixels 5 (110) and 6 (010)";
    mem().WriteByte(0x3ABF, 0x10);  // compare 001
    EXPECT_EQ(mem().ReadByte(0xC000 + 64), 0x00) << "pixel 5 is 110, pixel 6 is 010";
}

TEST_F(MemoryMapTest, GraphicsWindowFollowsTheProcessorPage) {
    Configure(8);
    mem().WriteByte(0x3ABF, 0x8E);       // direct, K = 7
    mem().WriteByte(0x3B3A, 0xC0);       // processor page 3
    mem().WriteByte(0xFFFF, 0x01);       // row 255, pixel 511
    EXPECT_EQ(mem().PageBitmap(3).Pixel(511, 255), 7);
    EXPECT_EQ(mem().PageBitmap(0).Pixel(511, 255), 0);
    // A single-page machine always writes page 0.
    mem().Reset(true);
    Configure(8);
    mem().WriteByte(0x3ABF, 0x8E);
    mem().WriteByte(0x3B3A, 0xC0);
    mem().WriteByte(0xFFFF, 0x01);
    EXPECT_EQ(mem().PageBitmap(0).Pixel(511, 255), 7);
    EXPECT_EQ(mem().PageBitmap(3).Pixel(511, 255), 0);
    EXPECT_EQ(mem().ShownPage(), 0);
}

TEST_F(MemoryMapTest, CharacterMemoryAttributesAndStatus) {
    EXPECT_EQ(mem().ReadByte(0x3B38), 0xF6) << "retrace after reset, no attribute";
    mem().SetRetraceFlag(0);
    EXPECT_EQ(mem().ReadByte(0x3B38), 0xF4);

    mem().WriteByte(0x3B3A, 0x10);  // latch on
    mem().SetDirty(false);
    mem().WriteByte(0x3C00 + 70, 'A');  // row 1
    EXPECT_TRUE(mem().IsDirty());
    EXPECT_EQ(mem().CellAttribute(70) & 0x80, 0x80);
    EXPECT_EQ(mem().CellCode(70), 'A');
    EXPECT_EQ(mem().TextRowFlags(1), 0x0F);
    EXPECT_EQ(mem().TextRowFlags(0), 0x00);
    EXPECT_EQ(mem().ReadByte(0x3B38) & 0x08, 0x08);

    mem().WriteByte(0x3B3A, 0x20);  // latch off
    mem().WriteByte(0x3C00 + 71, 'B');
    EXPECT_EQ(mem().CellAttribute(71) & 0x80, 0);
    EXPECT_EQ(mem().ReadByte(0x3B38) & 0x08, 0);

    mem().WriteByte(0x3B3A, 0x30);  // read mode: reads copy bit 7 into the latch
    EXPECT_EQ(mem().ReadByte(0x3C00 + 70), 'A');
    EXPECT_EQ(mem().AttributeLatch(), 0x80);
    EXPECT_EQ(mem().ReadByte(0x3B38) & 0x08, 0x08);
    EXPECT_EQ(mem().ReadByte(0x3C00 + 71), 'B');
    EXPECT_EQ(mem().AttributeLatch(), 0x00);
    EXPECT_EQ(mem().ReadByte(0x3B38) & 0x08, 0);
    // Bits 5-4 = 00 change nothing, not even the read mode.
    mem().WriteByte(0x3B3A, 0x00);
    EXPECT_TRUE(mem().AttributeReadMode());
    // In read mode a write stores the latch as it was last read.
    EXPECT_EQ(mem().ReadByte(0x3C00 + 70), 'A');
    mem().WriteByte(0x3C00 + 72, 'C');
    EXPECT_EQ(mem().CellAttribute(72) & 0x80, 0x80);
    // Configuration 4 puts the cells at FC00.
    Configure(4);
    EXPECT_EQ(mem().ReadByte(0xFC00 + 72), 'C');
}

TEST_F(MemoryMapTest, SystemRegisterMarksTextRows) {
    mem().WriteByte(0x3C00 + 64 * 5, 'x');
    for (int r = 0; r < 16; ++r) mem().UpdateFrame();  // page 0 is up to date
    // The flags of pages 1-3 stay until those pages are shown.
    EXPECT_EQ(mem().TextRowFlags(5), 0x0E);
    EXPECT_EQ(mem().TextRowFlags(4), 0x00);
    mem().WriteByte(0x3B3A, 0x04);  // font bank: nothing redrawn
    EXPECT_EQ(mem().TextRowFlags(4), 0x00);
    mem().WriteByte(0x3B3A, 0x0C);  // 32 columns: everything redrawn
    for (int r = 0; r < 16; ++r) EXPECT_EQ(mem().TextRowFlags(r), 0x0F) << r;
    // 0x3B decodes its low four bits for bits 4 and 5 of the system register.
    mem().WriteByte(0x3B3B, 0x09);
    EXPECT_EQ(mem().SystemRegister(), 0x1C);
    EXPECT_EQ(mem().AttributeLatch(), 0x80);
    mem().WriteByte(0x3B3B, 0x08);
    EXPECT_EQ(mem().SystemRegister(), 0x0C);
    mem().WriteByte(0x3B3B, 0x89);
    EXPECT_EQ(mem().SystemRegister(), 0x1C) << "bit 7 does not matter";
    mem().WriteByte(0x3B3B, 0x0B);
    EXPECT_EQ(mem().SystemRegister(), 0x3C);
    mem().WriteByte(0x3B3B, 0x0A);
    EXPECT_EQ(mem().SystemRegister(), 0x1C);
    mem().SetDirty(false);
    mem().WriteByte(0x3B3B, 0x03);
    EXPECT_EQ(mem().SystemRegister(), 0x1C) << "other values change nothing";
    EXPECT_TRUE(mem().IsDirty()) << "but mark the frame";
    EXPECT_EQ(mem().ReadByte(0x3B3A), 0x1C);
}

TEST_F(MemoryMapTest, IoPageRoutesToTheDevices) {
    auto& pic = mem().Pic();
    auto& timer = mem().Timer();
    auto& fdc = mem().Fdc();
    CpuState& cpu = machine->Cpu();
    cpu.TotalCycles = 1000;

    // Interrupt controller: ICW1 = 16h (interval 4, single), ICW2 = 38h.
    mem().WriteByte(0x3B28, 0x16);
    mem().WriteByte(0x3B29, 0x38);
    mem().WriteByte(0x3B29, 0x00);  // OCW1: nothing masked
    EXPECT_EQ(pic.InitState(), 0);
    pic.SetRequest(5, true);
    mem().WriteByte(0x3B28, 0x0A);  // OCW3: read IRR
    EXPECT_EQ(mem().ReadByte(0x3B29), 0x20);
    std::uint16_t address = 0;
    ASSERT_TRUE(machine->Entries().InterruptAck(&cpu, &address));
    EXPECT_EQ(address, 0x3814);
    mem().WriteByte(0x3B28, 0x20);  // non-specific EOI ends level 5
    mem().WriteByte(0x3B28, 0x0C);  // poll mode
    pic.SetRequest(7, true);
    EXPECT_EQ(mem().ReadByte(0x3B28), 0x80 | 7);

    // Timer: channel 1 in mode 2 with 1000 counts; the cycle total is "now".
    timer.SetCpuClock(2500000);
    mem().WriteByte(0x3B03, 0x74);
    mem().WriteByte(0x3B01, 1000 & 0xFF);
    mem().WriteByte(0x3B01, 1000 >> 8);
    EXPECT_EQ(timer.Channel(1)->CountRegister(), 1000);
    cpu.TotalCycles = 1000 + 125;  // 100 counts of the 2 MHz channel clock
    mem().WriteByte(0x3B03, 0x40);
    const int first = mem().ReadByte(0x3B01) | (mem().ReadByte(0x3B01) << 8);
    cpu.TotalCycles += 250;  // 200 counts
    mem().WriteByte(0x3B03, 0x40);
    const int second = mem().ReadByte(0x3B01) | (mem().ReadByte(0x3B01) << 8);
    EXPECT_NEAR(first - second, 200, 1);
    EXPECT_EQ(mem().ReadByte(0x3B03), 0);

    // Port 0x32 and its bit control 0x33 drive channel 0's output enable.
    mem().WriteByte(0x3B33, 0x07);
    EXPECT_EQ(mem().Port32Register(), 0x08);
    EXPECT_EQ(timer.Channel(0)->OutputEnable(), 1);
    EXPECT_EQ(mem().ReadByte(0x3B32), 0x08);
    mem().WriteByte(0x3B33, 0x06);
    EXPECT_EQ(mem().Port32Register(), 0x00);
    EXPECT_EQ(timer.Channel(0)->OutputEnable(), 0);
    mem().WriteByte(0x3B33, 0x87);
    EXPECT_EQ(mem().Port32Register(), 0x00);
    EXPECT_EQ(timer.Channel(0)->OutputEnable(), 0);
    mem().WriteByte(0x3B33, 0x0B);  // bit 5
    EXPECT_EQ(mem().Port32Register(), 0x20);

    // Floppy controller registers.
    mem().WriteByte(0x3B19, 5);
    EXPECT_EQ(fdc.ReadTrack(), 5);
    EXPECT_EQ(mem().ReadByte(0x3B19), 5);
    mem().WriteByte(0x3B1A, 3);
    EXPECT_EQ(mem().ReadByte(0x3B1A), 3);
    mem().WriteByte(0x3B39, 0x02);
    EXPECT_EQ(fdc.SelectedDrive(), 1);
    EXPECT_EQ(mem().ReadByte(0x3B39), fdc.ReadDriveControl());

    // 0x20 reads RAM and ignores writes; 0x21 reads 0x81; 0x38 writes RAM.
    mem().Ram()[0x3B20] = 0x99;
    mem().WriteByte(0x3B20, 0x11);
    EXPECT_EQ(mem().ReadByte(0x3B20), 0x99);
    mem().WriteByte(0x3B21, 0x11);
    EXPECT_EQ(mem().ReadByte(0x3B21), 0x81);
    EXPECT_EQ(mem().Ram()[0x3B21], rom1[0x3B21]) << "RAM beneath untouched";
    mem().WriteByte(0x3B38, 0x12);
    EXPECT_EQ(mem().Ram()[0x3B38], 0x12);
    EXPECT_EQ(mem().ReadByte(0x3B38), 0xF6);
    // Unused offsets are RAM.
    mem().WriteByte(0x3B50, 0x66);
    EXPECT_EQ(mem().ReadByte(0x3B50), 0x66);
    // The processor's port instructions reach nothing.
    EXPECT_EQ(machine->Entries().ReadPort(&cpu, 0x28), 0);

    // Configuration 12 has the I/O page at FE00.
    Configure(12);
    EXPECT_EQ(mem().ReadByte(0xFE19), 5);
    EXPECT_EQ(mem().ReadByte(0xFE21), 0x81);
}

TEST_F(MemoryMapTest, PaletteRegisterAndReset) {
    mem().UpdateFrame();
    EXPECT_FALSE(mem().PaletteRefresh(0));
    mem().SetDirty(false);
    mem().WriteByte(0x3AFB, 0x48);  // register 8 = colour 4
    EXPECT_TRUE(mem().IsDirty());
    EXPECT_EQ(mem().PaletteRegister(8), 4);
    for (int p = 0; p < 4; ++p) EXPECT_TRUE(mem().PaletteRefresh(p));
    tBMMGDI4Bitmap& shown = mem().UpdateFrame();
    EXPECT_EQ(shown.PaletteEntry(8), BMMRgbQuad(173, 0, 0));
    EXPECT_EQ(shown.PaletteEntry(7), BMMRgbQuad(173, 170, 173));
    EXPECT_EQ(shown.PaletteEntry(15), BMMRgbQuad(255, 255, 255));
    EXPECT_FALSE(mem().PaletteRefresh(0));
    EXPECT_TRUE(mem().PaletteRefresh(1));

    // Reset: power-on registers, cleared RAM and cells, but the ROM stays.
    mem().WriteByte(0x3B3A, 0x10);
    mem().WriteByte(0x3C00, 'Q');
    mem().WriteByte(0x3A7F, 0x20);
    mem().Reset(false);
    EXPECT_EQ(mem().Configuration(), 0);
    EXPECT_EQ(mem().SystemRegister(), 0);
    EXPECT_EQ(mem().ColourRegister(), 0);
    EXPECT_EQ(mem().AttributeLatch(), 0);
    EXPECT_EQ(mem().CellCode(0), 0);
    EXPECT_EQ(mem().PaletteRegister(8), 15);
    EXPECT_EQ(mem().PaletteRegister(3), 3);
    EXPECT_EQ(mem().TextRowFlags(0), 0);
    EXPECT_EQ(mem().ReadByte(0x0005), rom1[5]) << "the ROM image stays";
    EXPECT_EQ(mem().Ram()[0x0005], 0) << "RAM is cleared";
}

TEST_F(MemoryMapTest, KeyboardWindowReadsTheMatrix) {
    EXPECT_EQ(mem().ReadByte(0x3801), 0) << "no keyboard attached";
    tKorvetKeyboard keyboard;
    mem().SetKeyboard(&keyboard);
    EXPECT_EQ(mem().ReadByte(0x38FF), 0);
    keyboard.MouseDown(8, 3);
    EXPECT_EQ(mem().ReadByte(0x3800 + 0x103), 0x08) << "row 8 in full";
    keyboard.MouseUp();
    keyboard.MouseDown(9, 0);
    EXPECT_EQ(mem().ReadByte(0x3800 + 0x103), 0x01) << "row 9 column 0 is seen";
    EXPECT_EQ(mem().ReadByte(0x3800 + 0x101), 0x00) << "row 9 not selected";
    keyboard.MouseUp();
    keyboard.MouseDown(0, 5);
    EXPECT_EQ(mem().ReadByte(0x3800 + 0x110), 0x10) << "row 0 shifted down a column";
    EXPECT_EQ(mem().ReadByte(0x3800 + 0x001), 0x20) << "row 0 in the low half";
    EXPECT_EQ(mem().ReadByte(0x3800 + 0x0FE), 0x00);
    keyboard.MouseUp();
    keyboard.MouseDown(0, 0);
    EXPECT_EQ(mem().ReadByte(0x3800 + 0x110), 0x00) << "column 0 of rows 0-3 is not seen there";
    keyboard.MouseUp();
    keyboard.MouseDown(3, 2);
    EXPECT_EQ(mem().ReadByte(0x3800 + 0x0F), 0x04) << "several rows at once";
    // Writes to the window are absorbed.
    mem().WriteByte(0x3808, 0x55);
    EXPECT_EQ(mem().Ram()[0x3808], rom1[0x3808]);
    // Configuration 4 has the window at F800.
    Configure(4);
    EXPECT_EQ(mem().ReadByte(0xF808), 0x04);
    mem().SetKeyboard(nullptr);
}

}  // namespace
}  // namespace velgard
