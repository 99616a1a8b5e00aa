// The firmware on the running machine: power-on banner, console and
// keyboard, the monitor's commands and errors, and booting from drive A.
#include <gtest/gtest.h>

#include <string>

#include "machine/EmuKorvet.h"
#include "machine/KorvetKeyboard.h"
#include "firmware/support/FirmwareRun.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

using test::FirmwareRun;
using test::Keys;
using test::Koi;

FirmwareRun Monitor(const std::string& typed, int frames = 0) {
    FirmwareRun run;
    run.keys = Keys(typed);
    run.frames = frames ? frames : 50 + static_cast<int>(run.keys.size()) * 8 + 60;  // 8 frames a key
    return run;
}

// The whole text screen, for messages in failures.
std::string Screen(const FirmwareRun::Result& r) {
    std::string s;
    for (int i = 0; i < 16; ++i) s += r.Row(i) + "\n";
    return s;
}

TEST(Firmware, PowerOnBannerOfEveryRomSetOnBothProcessors) {
    const char* names[] = {"Корвет 2.0+BAS", "Корвет 1.1+BAS", "Контур 2.0"};
    for (int rom = 0; rom < 3; ++rom) {
        for (bool z80 : {false, true}) {
            FirmwareRun run;
            run.rom = rom;
            run.z80 = z80;
            run.frames = 100;
            const std::string banner = Koi(std::string(names[rom]) + " - открытая прошивка Velgard 1.0");
            std::string rowAtHalfSecond;
            int shown = 0, hidden = 0, stray = 0;
            const int cursor = rom < 2 ? 5 * 64 : 2 * 64 + 1;
            run.observe = [&](int frame, const tMemory_Korvet64Kb& m) {
                if (frame == 25) {
                    for (int c = 0; c < static_cast<int>(banner.size()); ++c)
                        rowAtHalfSecond += static_cast<char>(m.CellCode(c));
                }
                if (frame < 30) return;
                // The cursor is the one inverted cell, after the prompt.
                for (int n = 0; n < 1024; ++n)
                    stray += n != cursor && (m.CellAttribute(n) & 0x80) != 0;
                ((m.CellAttribute(cursor) & 0x80) ? shown : hidden)++;
            };
            const auto r = run.Run();
            SCOPED_TRACE("ROM " + std::to_string(rom) + (z80 ? " Z80" : " 8080"));
            EXPECT_EQ(rowAtHalfSecond, banner) << "the banner within half a second";
            EXPECT_EQ(r.Row(0), banner);
            EXPECT_EQ(r.Row(1), Koi("Монитор: H - справка"));
            // The "+BAS" sets end at the BASIC prompt, the 8 KB set at the monitor's.
            if (rom < 2) {
                EXPECT_EQ(r.Row(2), Koi("Velgard Бейсик 1.0"));
                EXPECT_EQ(r.Row(4), "Ok");
            } else {
                EXPECT_EQ(r.Row(2), ">");
            }
            EXPECT_EQ(r.configuration, 0) << "waiting for a key in the firmware";
            EXPECT_EQ(r.systemRegister & 0x3F, 0x20) << "page 0, bank 0, 64 columns, normal characters";
            EXPECT_EQ(stray, 0);
            // 70 frames of blinking: shown and hidden by turns, 25 frames each.
            EXPECT_GE(shown, 20);
            EXPECT_GE(hidden, 20);
        }
    }
}

TEST(Firmware, MonitorStoresFillsDumpsAndCalls) {
    // M with bytes, D of a range, F, and G of a routine that prints through
    // the firmware's entry at 0060h and returns to the monitor.
    auto run = Monitor(
        "M 7000 12 34 AB\rD 7000 7007\rF 7010 701F 5A\rD 7010 701F\r"
        "M 7100 3E 41 CD 60 0 C9\rG 7100\r");
    run.frames += 40;
    const auto r = run.Run();
    const std::string screen = Screen(r);
    EXPECT_TRUE(r.HasRowStartingWith("7000  12 34 AB 00 00 00 00 00  .4......")) << screen;
    EXPECT_TRUE(r.HasRowStartingWith("7010  5A 5A 5A 5A 5A 5A 5A 5A  ZZZZZZZZ")) << screen;
    EXPECT_TRUE(r.HasRowStartingWith("7018  5A 5A 5A 5A 5A 5A 5A 5A  ZZZZZZZZ")) << screen;
    EXPECT_FALSE(r.HasRowStartingWith("7020")) << "D must stop at the end address\n" << screen;
    // The routine printed 'A' on the next line and returned to the prompt.
    int g = -1;
    for (int i = 0; i < 16; ++i)
        if (r.Row(i) == ">G 7100") g = i;
    ASSERT_GE(g, 0) << screen;
    ASSERT_LE(g, 13) << screen;
    EXPECT_EQ(r.Row(g + 1), "A") << screen;
    EXPECT_EQ(r.Row(g + 2), ">") << screen;
}

TEST(Firmware, MonitorErrorsReturnToThePrompt) {
    const auto r = Monitor("X\rD 12G\rD 12345\rF 7020 7010 0\rM F800 1\rB\r").Run();
    const std::string screen = Screen(r);
    const std::string expected[] = {
        ">X", Koi("Ошибка: неизвестная команда"),
        ">D 12G", Koi("Ошибка: неверное число"),
        ">D 12345", Koi("Ошибка: неверное число"),
        ">F 7020 7010 0", Koi("Ошибка: неверный диапазон"),
        ">M F800 1", Koi("Ошибка: память монитора F800-FFFF"),
        ">B", Koi("Загрузка с диска A..."), Koi("Ошибка: дисковод A не готов"),
        ">",
    };
    for (int i = 0; i < 14; ++i) EXPECT_EQ(r.Row(2 + i), expected[i]) << "row " << 2 + i << "\n" << screen;
}

// A program calls the firmware's entries: 32 columns (006Fh), then prints
// 'A', 'B', a tab and 'C' (0060h). In 32-column mode only the even cells
// are shown, so the characters land in cells 0, 2 and 16 (column 8).
TEST(Firmware, ThirtyTwoColumnModeAndTabThroughTheEntryPoints) {
    auto run = Monitor(
        "M 7100 3E 1 CD 6F 0 3E 41 CD 60 0 3E 42 CD 60 0\r"
        "M 710F 3E 9 CD 60 0 3E 43 CD 60 0 C9\rG 7100\r");
    run.z80 = true;
    const auto r = run.Run();
    EXPECT_EQ(r.systemRegister & 0x08, 0x08) << "system register bit 3: 32 columns";
    EXPECT_EQ(r.text[0], 'A');
    EXPECT_EQ(r.text[1], ' ');
    EXPECT_EQ(r.text[2], 'B');
    EXPECT_EQ(r.text[16], 'C');
    EXPECT_EQ(r.text[64], '>') << "the prompt on the next row";
    for (int i = 3; i < 64; ++i) {
        if (i != 16) {
            EXPECT_EQ(r.text[static_cast<std::size_t>(i)], ' ') << "cell " << i;
        }
    }
}

// In 32 columns a typed line wraps; erasing goes back across the wrap.
TEST(Firmware, ErasingFollowsALineThatWrapped) {
    auto run = Monitor("M 7100 3E 1 CD 6F 0 C9\rG 7100\r1234567890123456789012345678901234");
    for (int i = 0; i < 4; ++i) run.keys.push_back({vk::kBack});
    run.keys.push_back({'X'});
    run.frames = 50 + static_cast<int>(run.keys.size()) * 8 + 30;
    const auto r = run.Run();
    std::string row1, row2;
    for (int c = 0; c < 32; ++c) {
        row1 += static_cast<char>(r.text[static_cast<std::size_t>(2 * c)]);  // the prompt row
        row2 += static_cast<char>(r.text[static_cast<std::size_t>(64 + 2 * c)]);
    }
    EXPECT_EQ(row1, ">123456789012345678901234567890X");
    EXPECT_EQ(row2, std::string(32, ' '));
}

TEST(Firmware, HelpAndRomSetInformation) {
    {
        const auto r = Monitor("H\r").Run();
        EXPECT_EQ(r.Row(3), Koi("Команды монитора:")) << Screen(r);
        EXPECT_EQ(r.Row(4), Koi("D адрес [конец]    - показать память"));
        EXPECT_EQ(r.Row(10), Koi("H или ?            - эта справка"));
        EXPECT_EQ(r.Row(11), ">");
    }
    {
        auto run = Monitor("MON\rV\r");   // from BASIC to the monitor
        run.rom = 0;
        const auto r = run.Run();
        EXPECT_EQ(r.Row(6), ">V") << Screen(r);
        EXPECT_EQ(r.Row(7), Koi("ПЗУ: Корвет 2.0+BAS")) << Screen(r);
        EXPECT_EQ(r.Row(9), Koi("Бейсик: G 2014 - вернуться в Бейсик"));
    }
    {
        auto run = Monitor("V\r");
        run.rom = 2;
        run.z80 = true;
        const auto r = run.Run();
        EXPECT_EQ(r.Row(3), Koi("ПЗУ: Контур 2.0")) << Screen(r);
        EXPECT_EQ(r.Row(5), ">") << "no BASIC room in the 8 KB set";
    }
}

TEST(Firmware, KeyboardShiftCapsAlphabetAndBitPairedSymbols) {
    using namespace vk;
    FirmwareRun run;
    run.keys = {
        {165},                                    // ГРФ: Cyrillic
        {'K'}, {'O'}, {'R'}, {'W'}, {'E'}, {'T'},  // КОРВЕТ
        {kLShift, 'K'},                           // к
        {164},                                    // АЛФ: Latin
        {'A'}, {'B'}, {kLShift, 'A'},             // A B a
        {20}, {'C'}, {kLShift, 'C'}, {20},        // ФИКС: c, with SHIFT C
        {kLShift, '1'}, {kLShift, 186}, {kLShift, 189}, {kLShift, 188}, {kLShift, '4'},  // ! * = < $
        {'X'}, {kBack},                           // typed and erased
        {'Y'}, {37},                              // the left arrow erases too
        {kLShift, 219}, {'0'}, {kLShift, '0'},    // { 0 0
    };
    run.frames = 50 + static_cast<int>(run.keys.size()) * 8 + 20;
    const auto r = run.Run();
    EXPECT_EQ(r.Row(2), ">" + Koi("КОРВЕТк") + "ABacC!*=<${00") << Screen(r);
}

TEST(Firmware, HeldKeyRepeatsAfterADelay) {
    FirmwareRun run;
    run.keys = {{'Q'}};
    run.holdFrames = 60;  // 1.2 s: first repeat after 25 frames, then every 3
    run.frames = 130;
    const auto r = run.Run();
    const std::string row = r.Row(2);
    ASSERT_GE(row.size(), 2u);
    EXPECT_EQ(row.find_first_not_of('Q', 1), std::string::npos) << row;
    EXPECT_GE(row.size() - 1, 9u) << row;
    EXPECT_LE(row.size() - 1, 14u) << row;
}

TEST(Firmware, ConsoleScrollsUpWhenTheScreenIsFull) {
    // 15 lines of output push the banner off the top.
    auto run = Monitor("H\rH\r");
    const auto r = run.Run();
    EXPECT_NE(r.Row(0), Koi("Корвет 1.1+BAS - открытая прошивка Velgard 1.0")) << Screen(r);
    EXPECT_EQ(r.Row(15), ">");
    EXPECT_EQ(r.Row(14), Koi("H или ?            - эта справка"));
}

// While the monitor prints and scrolls, every frame shows at most one
// inverted cell, and only where the cursor is (its column and row lie at
// F800h and F801h of the workspace): writing hides the cursor, and no
// inverted cell is left behind or scrolled up.
TEST(Firmware, CursorIsHiddenWhileWritingAndNeverLeftBehind) {
    auto run = Monitor("H\rD 0 1FF\rH\r");
    run.frames += 100;
    int framesWithCursor = 0, stray = 0, many = 0;
    run.control = [&](int frame, tComputer_I8080_Korvet& m) {
        if (frame < 30) return;
        const auto& mem = m.GetMemory();
        const auto ram = m.GetMemory().Ram();
        const int cursor = ram[0xF801] * 64 + ram[0xF800];
        int inverted = 0;
        for (int n = 0; n < 1024; ++n) {
            if (mem.CellAttribute(n) & 0x80) {
                ++inverted;
                stray += n != cursor;
            }
        }
        many += inverted > 1;
        framesWithCursor += inverted == 1;
    };
    const auto r = run.Run();
    EXPECT_EQ(stray, 0);
    EXPECT_EQ(many, 0);
    EXPECT_GT(framesWithCursor, 100);
    EXPECT_EQ(r.Row(15), ">");
}

// Disk images for the boot tests, made with velgard-cli disk new and a
// header patched as needed.
std::filesystem::path MakeDisk(const test::TempDir& dir, const std::string& name, int load, int start, int sectors) {
    const auto path = dir / name;
    const auto result = test::RunCli({"disk", "new", path.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    auto image = test::ReadBinary(path);
    EXPECT_EQ(image.size(), 819200u);
    image[0] = static_cast<std::uint8_t>(load);
    image[1] = static_cast<std::uint8_t>(load >> 8);
    image[2] = static_cast<std::uint8_t>(start);
    image[3] = static_cast<std::uint8_t>(start >> 8);
    image[4] = static_cast<std::uint8_t>(sectors);
    image[5] = static_cast<std::uint8_t>(sectors >> 8);
    test::WriteBinary(path, image);
    return path;
}

TEST(Firmware, BootsTheDemoDiskOnBothProcessors) {
    for (bool z80 : {false, true}) {
        FirmwareRun run;
        run.z80 = z80;
        run.rom = z80 ? 2 : 0;
        run.driveA = VELGARD_DEMO_DISK;
        run.frames = 150;
        const auto r = run.Run();
        EXPECT_EQ(r.configuration, 7) << "the program runs in configuration 7";
        EXPECT_EQ(r.Row(0), Koi("Velgard: демонстрационный диск Корвета")) << Screen(r);
        EXPECT_EQ(r.Row(9).substr(0, 4), " !\"#");
    }
}

// Over its first cycle the demo plays its tune (timer channel 0 gated by
// bit 3 of I/O 32h), shows font bank 1 and 32 columns, and turns the
// palette.
TEST(Firmware, DemoShowsBothBanksBothWidthsPaletteAndSound) {
    FirmwareRun run;
    run.driveA = VELGARD_DEMO_DISK;
    run.frames = 1250;
    int soundFrames = 0, bank1Frames = 0, wideFrames = 0, paletteFrames = 0;
    run.observe = [&](int, const tMemory_Korvet64Kb& m) {
        soundFrames += (m.Port32Register() & 0x08) != 0;
        bank1Frames += (m.SystemRegister() & 0x04) != 0;
        wideFrames += (m.SystemRegister() & 0x08) != 0;
        paletteFrames += m.PaletteRegister(1) != 1;
    };
    run.Run();
    EXPECT_GE(soundFrames, 60) << "the tune lasts about two seconds";
    EXPECT_GE(bank1Frames, 150);
    EXPECT_GE(wideFrames, 150);
    EXPECT_GE(paletteFrames, 100);
}

TEST(Firmware, BootContractLoadsSectorsInOrderAndJumps) {
    // A program of 7 sectors at 2000h: sector k (k = 0..6, counted from
    // track 0 side 0 sector 1, sectors 1-5 then side 1) starts with the
    // byte k+1. The code in sector 0 copies the first byte of each loaded
    // sector to character memory (FC00h in configuration 7) and halts in
    // a loop.
    test::TempDir dir;
    const auto path = MakeDisk(dir, "order.kdi", 0x2000, 0x2020, 7);
    auto image = test::ReadBinary(path);
    for (int k = 1; k < 7; ++k) image[static_cast<std::size_t>(k * 1024)] = static_cast<std::uint8_t>('0' + k);
    const std::uint8_t code[] = {
        0x21, 0x00, 0x24,  // LXI H,2400h
        0x11, 0x00, 0xFC,  // LXI D,FC00h
        0x06, 0x06,        // MVI B,6
        0x7E,              // loop: MOV A,M
        0x12,              // STAX D
        0x13,              // INX D
        0x3E, 0x04,        // MVI A,4 (next 1024: H += 4)
        0x84,              // ADD H
        0x67,              // MOV H,A
        0x05,              // DCR B
        0xC2, 0x28, 0x20,  // JNZ loop (2028h)
        0xC3, 0x33, 0x20,  // JMP $ (2033h)
    };
    std::copy(std::begin(code), std::end(code), image.begin() + 0x20);
    test::WriteBinary(path, image);
    FirmwareRun run;
    run.driveA = path.string();
    run.frames = 80;
    const auto r = run.Run();
    EXPECT_EQ(r.configuration, 7);
    EXPECT_EQ(r.Row(0).substr(0, 6), "123456") << Screen(r);
}

TEST(Firmware, UnbootableDisksAreReportedAndLeaveTheMonitor) {
    test::TempDir dir;
    struct Case {
        int load, start, sectors;
        const char* message;
    } cases[] = {
        {0x0000, 0x0000, 0, "Диск в дисководе A не загрузочный"},        // blank disk
        {0x0000, 0x0020, 5, "Диск в дисководе A не загрузочный"},        // load address 0
        {0x1000, 0x1020, 0, "Диск в дисководе A не загрузочный"},        // nothing to load
        {0x0100, 0x0100, 62, "Ошибка: образ не помещается в память"},    // over 61 sectors
        {0x0800, 0x0800, 0x13E, "Ошибка: образ не помещается в память"}, // a count over 255
        {0xF401, 0xF401, 1, "Ошибка: образ не помещается в память"},     // one byte into F800h
        {0xE800, 0xE800, 5, "Ошибка: образ не помещается в память"},     // reaches FC00h
        {0xFC00, 0xFC00, 1, "Ошибка: образ не помещается в память"},     // wraps past FFFFh
    };
    int n = 0;
    for (const auto& c : cases) {
        FirmwareRun run;
        const std::string name = std::to_string(n++) + ".kdi";
        run.driveA = MakeDisk(dir, name, c.load, c.start, c.sectors).string();
        run.frames = 60;
        const auto r = run.Run();
        EXPECT_EQ(r.configuration, 0);
        EXPECT_EQ(r.Row(2), Koi(c.message)) << Screen(r);
        EXPECT_EQ(r.Row(3), ">");
    }
}

}  // namespace
}  // namespace velgard
