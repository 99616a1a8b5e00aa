// The settings file: defaults, range checks, dropped images, the save
// layout, damaged files and atomic replacement.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "ui/Flags.h"

namespace velgard::ui {
namespace {

namespace fs = std::filesystem;
using velgard::test::TempDir;

const std::string kProgram = "/opt/velgard/";

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadText(const fs::path& path) {
    const auto bytes = velgard::test::ReadBinary(path);
    return std::string(bytes.begin(), bytes.end());
}

tFlags LoadText(const TempDir& dir, const std::string& text) {
    WriteText(dir / "velgard.ini", text);
    tFlags flags;
    flags.Load(dir / "velgard.ini", kProgram);
    return flags;
}

void ExpectDefaults(const tFlags& f) {
    EXPECT_EQ(f.OpenDiskFolder, kProgram);
    EXPECT_EQ(f.OpenFilesFolder, kProgram);
    for (int n = 0; n < tFlags::kDrives; ++n) {
        EXPECT_EQ(f.DiskImage[n], "") << n;
        EXPECT_FALSE(f.DriveClosed[n]) << n;
    }
    EXPECT_FALSE(f.KeyDownEx);
    EXPECT_FALSE(f.ShowFullscreenKeyboard);
    EXPECT_EQ(f.Device, 2);
    EXPECT_EQ(f.ROMIndex, 1);
    EXPECT_EQ(f.GZUPagesCount, 4);
    EXPECT_EQ(f.CPUKind, 0);
    EXPECT_FALSE(f.Window.Valid);
}

// Files left in a folder besides the ones named.
std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Flags, NoFileGivesTheDefaultsWithoutWarning) {
    TempDir dir;
    tFlags flags;
    flags.ROMIndex = 0;  // every field is overwritten
    flags.DiskImage[2] = "x";
    flags.Load(dir / "absent.ini", kProgram);
    ExpectDefaults(flags);
    EXPECT_TRUE(flags.Warnings().empty());
}

TEST(Flags, MachineChoicesAreRangeCheckedOnTheirLowByte) {
    TempDir dir;
    struct Case {
        const char* text;
        int rom, pages, cpu, device;
    };
    const Case cases[] = {
        {"ROMIndex=7\nGZUPagesCount=2\nCPUKind=5\n", 1, 4, 0, 2},
        {"ROMIndex=258\nGZUPagesCount=257\nCPUKind=257\n", 2, 1, 1, 2},
        {"ROMIndex=-1\nGZUPagesCount=0\nCPUKind=256\n", 1, 4, 0, 2},
        {"ROMIndex=0\nGZUPagesCount=1\nCPUKind=1\n", 0, 1, 1, 2},
        {"ROMIndex=0x102\nGZUPagesCount=abc\nCPUKind=\n", 2, 4, 0, 2},
        {"ROMIndex= 2 \nGZUPagesCount=4x\nCPUKind=99999999999\n", 2, 4, 0, 2},
    };
    for (const Case& c : cases) {
        const tFlags f = LoadText(dir, std::string("[Computer]\n") + c.text);
        EXPECT_EQ(f.ROMIndex, c.rom) << c.text;
        EXPECT_EQ(f.GZUPagesCount, c.pages) << c.text;
        EXPECT_EQ(f.CPUKind, c.cpu) << c.text;
        EXPECT_TRUE(f.Warnings().empty()) << c.text;
    }
    // The sound device is kept as read (its low byte); it is checked when applied.
    EXPECT_EQ(LoadText(dir, "[Sound]\nDevice=300\n").Device, 44);
    EXPECT_EQ(LoadText(dir, "[Sound]\nDevice=0\n").Device, 0);
    // Booleans: an integer, non-zero meaning true.
    const tFlags k = LoadText(dir, "[Keyboard]\nKeyDownEx=5\nShowFullscreenKeyboard=0\n");
    EXPECT_TRUE(k.KeyDownEx);
    EXPECT_FALSE(k.ShowFullscreenKeyboard);
}

TEST(Flags, MissingImageIsDroppedWithItsLatch) {
    TempDir dir;
    const fs::path present = dir / "present.kdi";
    WriteText(present, "disk");
    fs::create_directory(dir / "folder.kdi");
    const tFlags f = LoadText(dir, "[Floppy]\n"
                                   "DiskImage[0]=" + present.string() + "\nDriveClosed[0]=1\n"
                                   "DiskImage[1]=" + (dir / "gone.kdi").string() + "\nDriveClosed[1]=1\n"
                                   "DiskImage[2]=" + (dir / "folder.kdi").string() + "\nDriveClosed[2]=1\n"
                                   "DriveClosed[3]=1\n");
    EXPECT_EQ(f.DiskImage[0], present.string());
    EXPECT_TRUE(f.DriveClosed[0]);
    for (int n : {1, 2, 3}) {
        EXPECT_EQ(f.DiskImage[n], "") << n;
        EXPECT_FALSE(f.DriveClosed[n]) << n;
    }
}

TEST(Flags, SaveWritesOnlyTheDrivesWithDisksInOrder) {
    TempDir dir;
    tFlags f;
    f.Load(dir / "none.ini", kProgram);
    f.DiskImage[1] = "/disks/b.kdi";
    f.DriveClosed[1] = true;
    f.DriveClosed[2] = true;  // no disk: no keys
    ASSERT_TRUE(f.Save(dir / "velgard.ini"));
    EXPECT_EQ(ReadText(dir / "velgard.ini"),
              "[Settings]\nOpenDiskFolder=/opt/velgard/\nOpenFilesFolder=/opt/velgard/\n\n"
              "[Floppy]\nDiskImage[1]=/disks/b.kdi\nDriveClosed[1]=1\n\n"
              "[Keyboard]\nKeyDownEx=0\nShowFullscreenKeyboard=0\n\n"
              "[Sound]\nDevice=2\n\n"
              "[Computer]\nROMIndex=1\nGZUPagesCount=4\nCPUKind=0\n");

    // An open latch is not written; neither is a device byte above 127, nor
    // an empty section.
    f.DriveClosed[1] = false;
    f.DiskImage[1].clear();
    f.DiskImage[3] = "/disks/d.kdi";
    f.Device = 200;
    ASSERT_TRUE(f.Save(dir / "velgard.ini"));
    const std::string text = ReadText(dir / "velgard.ini");
    EXPECT_NE(text.find("[Floppy]\nDiskImage[3]=/disks/d.kdi\n\n[Keyboard]"), std::string::npos) << text;
    EXPECT_EQ(text.find("DriveClosed"), std::string::npos) << text;
    EXPECT_EQ(text.find("[Sound]"), std::string::npos) << text;
    EXPECT_EQ(text.find("Device"), std::string::npos) << text;
    f.Device = 127;
    ASSERT_TRUE(f.Save(dir / "velgard.ini"));
    EXPECT_NE(ReadText(dir / "velgard.ini").find("[Sound]\nDevice=127\n"), std::string::npos);
}

TEST(Flags, RoundTripKeepsEveryFieldIncludingTheWindowAndCyrillicPaths) {
    TempDir dir;
    const fs::path diskDir = dir / "Диски Корвета";
    fs::create_directory(diskDir);
    // Paths that a naive INI reader would spoil: long ones, with ';', '#',
    // '=', outer blanks and quotes.
    const std::string names[4] = {
        "Игры; вторая часть #2.kdi",
        std::string(100, 'x') + "Ж" + std::string(120, 'y') + ".kdi",
        " a=b.kdi ",
        "\"quoted\"",
    };
    tFlags out;
    out.Load(dir / "none.ini", kProgram);
    for (int n = 0; n < 4; ++n) {
        out.DiskImage[n] = (diskDir / names[n]).string();
        WriteText(out.DiskImage[n], "disk");
        out.DriveClosed[n] = n % 2 == 0;
    }
    out.OpenDiskFolder = diskDir.string() + "/ ";
    out.OpenFilesFolder = "'/домашняя папка/файлы'";
    out.KeyDownEx = true;
    out.ShowFullscreenKeyboard = true;
    out.Device = 1;
    out.ROMIndex = 2;
    out.GZUPagesCount = 1;
    out.CPUKind = 1;
    out.Window = {true, -20, 35, 1024, 700, true};
    ASSERT_TRUE(out.Save(dir / "velgard.ini"));

    tFlags in;
    in.Load(dir / "velgard.ini", "/elsewhere/");
    EXPECT_TRUE(in.Warnings().empty());
    EXPECT_EQ(in.OpenDiskFolder, out.OpenDiskFolder);
    EXPECT_EQ(in.OpenFilesFolder, out.OpenFilesFolder);
    EXPECT_EQ(in.DiskImage, out.DiskImage);
    EXPECT_EQ(in.DriveClosed, out.DriveClosed);
    EXPECT_TRUE(in.KeyDownEx);
    EXPECT_TRUE(in.ShowFullscreenKeyboard);
    EXPECT_EQ(in.Device, 1);
    EXPECT_EQ(in.ROMIndex, 2);
    EXPECT_EQ(in.GZUPagesCount, 1);
    EXPECT_EQ(in.CPUKind, 1);
    EXPECT_TRUE(in.Window.Valid);
    EXPECT_EQ(in.Window.X, -20);
    EXPECT_EQ(in.Window.Y, 35);
    EXPECT_EQ(in.Window.Width, 1024);
    EXPECT_EQ(in.Window.Height, 700);
    EXPECT_TRUE(in.Window.FullScreen);
}

TEST(Flags, WindowPlacementCountsOnlyWhenWholeAndSensible) {
    TempDir dir;
    EXPECT_FALSE(LoadText(dir, "[Window]\nX=1\nY=2\nWidth=300\n").Window.Valid);
    EXPECT_FALSE(LoadText(dir, "[Window]\nX=1\nY=2\nWidth=0\nHeight=200\n").Window.Valid);
    EXPECT_FALSE(LoadText(dir, "[Window]\nX=1\nY=2\nWidth=300\nHeight=-5\n").Window.Valid);
    EXPECT_FALSE(LoadText(dir, "[Window]\nX=999999\nY=2\nWidth=300\nHeight=200\n").Window.Valid);
    const tFlags f = LoadText(dir, "[Window]\nX=1\nY=2\nWidth=300\nHeight=200\n");
    EXPECT_TRUE(f.Window.Valid);
    EXPECT_FALSE(f.Window.FullScreen);
    EXPECT_EQ(f.Window.Width, 300);
}

TEST(Flags, ReadsAHandWrittenProfileFile) {
    TempDir dir;
    // Byte order mark, CRLF, comments, indentation, other case, unknown
    // keys and sections, a repeated key (the first one counts).
    const tFlags f = LoadText(dir,
                              "\xEF\xBB\xBF; settings\r\n"
                              "[computer]\r\n"
                              "  romindex = 0\r\n"
                              "ROMIndex=2\r\n"
                              "# another comment\r\n"
                              "Unknown=1\r\n"
                              "\r\n"
                              "[Other Section]\r\n"
                              "CPUKind=1\r\n"
                              "[SETTINGS]\r\n"
                              "OpenDiskFolder=\r\n");
    EXPECT_TRUE(f.Warnings().empty());
    EXPECT_EQ(f.ROMIndex, 0);
    EXPECT_EQ(f.CPUKind, 0);
    EXPECT_EQ(f.OpenDiskFolder, "");  // present but empty is not missing
    EXPECT_EQ(f.OpenFilesFolder, kProgram);
}

TEST(Flags, DamagedFileGivesTheDefaultsAndAWarning) {
    TempDir dir;
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) % 256);
    const std::string valid = "[Computer]\nROMIndex=0\nCPUKind=1\n";
    const std::string damaged[] = {
        garbage,
        valid + std::string(300000, 'Z') + "\n",          // a huge line that is no key
        valid + "[Floppy\nDiskImage[0]=/x\n",              // an unclosed section
        valid + "just some words\n",
        valid + std::string(2 << 20, '#'),                 // far too large for a settings file
        valid + std::string("KeyDownEx=1\0\n", 13),        // a NUL byte
    };
    for (const std::string& text : damaged) {
        const tFlags f = LoadText(dir, text);
        ExpectDefaults(f);
        ASSERT_EQ(f.Warnings().size(), 1u) << text.substr(0, 60);
        EXPECT_NE(f.Warnings()[0].find("velgard.ini"), std::string::npos);
    }
    // A folder in place of the file cannot be read.
    fs::create_directory(dir / "dir.ini");
    tFlags f;
    f.Load(dir / "dir.ini", kProgram);
    ExpectDefaults(f);
    EXPECT_EQ(f.Warnings().size(), 1u);
    // A long valid line is no damage.
    const tFlags ok = LoadText(dir, "[Settings]\nOpenDiskFolder=/" + std::string(5000, 'p') + "\n");
    EXPECT_TRUE(ok.Warnings().empty());
    EXPECT_EQ(ok.OpenDiskFolder.size(), 5001u);
}

// Runs `body` on a thread of its own that has given up root's right to
// write anywhere (the thread's own credentials; the process keeps its own).
template <typename F>
void RunWithoutRootRights(F body) {
    std::thread worker([&] {
        if (geteuid() == 0) {
            // A raw system call changes this thread's user only.
            ASSERT_EQ(syscall(SYS_setresuid, -1, 65534, -1), 0);
        }
        body();
    });
    worker.join();
}

TEST(Flags, UnwritableFolderLeavesTheOldFileByteIdentical) {
    TempDir dir;
    const fs::path folder = dir / "ro";
    fs::create_directory(folder);
    const fs::path file = folder / "velgard.ini";
    const std::string old = "[Computer]\nROMIndex=0\n; the user's own note\n";
    WriteText(file, old);
    fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    fs::permissions(file, fs::perms::owner_read | fs::perms::others_read);

    tFlags flags;
    flags.Load(file, kProgram);
    flags.ROMIndex = 2;
    bool saved = true;
    std::string error;
    RunWithoutRootRights([&] { saved = flags.Save(file, &error); });
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_FALSE(saved);
    EXPECT_NE(error.find("ro"), std::string::npos) << error;
    EXPECT_NE(error.find("ermission"), std::string::npos) << error;
    EXPECT_EQ(ReadText(file), old);
    EXPECT_EQ(Entries(folder), std::vector<std::string>{"velgard.ini"});
}

TEST(Flags, FullDiskLeavesTheOldFileByteIdenticalAndNoTemporaryFile) {
    TempDir dir;
    const fs::path file = dir / "velgard.ini";
    const std::string old = "[Computer]\nROMIndex=0\n";
    WriteText(file, old);
    tFlags flags;
    flags.Load(file, kProgram);
    flags.OpenDiskFolder = "/" + std::string(4000, 'f');

    // A file size limit makes the write fail part way, as a full disk would.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool ok = flags.Save(file, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadText(file), old);
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"velgard.ini"});
}

TEST(Flags, SaveReplacesTheFileWholeKeepingItsPermissions) {
    TempDir dir;
    const fs::path file = dir / "velgard.ini";
    const std::string old = "[Computer]\nROMIndex=0\n";
    WriteText(file, old);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    // A second name of the old file keeps the old contents: the new file is
    // a new file renamed over it, not the old one rewritten in place.
    fs::create_hard_link(file, dir / "before.ini");

    tFlags flags;
    flags.Load(file, kProgram);
    flags.ROMIndex = 2;
    ASSERT_TRUE(flags.Save(file));
    EXPECT_EQ(ReadText(dir / "before.ini"), old);
    EXPECT_NE(ReadText(file).find("ROMIndex=2"), std::string::npos);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"before.ini", "velgard.ini"}));

    // A missing folder is created.
    ASSERT_TRUE(flags.Save(dir / "new" / "velgard.ini"));
    EXPECT_TRUE(fs::is_regular_file(dir / "new" / "velgard.ini"));
}

TEST(Flags, SettingsFileLivesBesideTheProgram) {
    const std::string& folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(fs::path(folder), exe.parent_path() / "");
    // The build folder is writable, so the file goes there.
    EXPECT_EQ(DefaultSettingsPath(), exe.parent_path() / (exe.stem().string() + ".ini"));
}

}  // namespace
}  // namespace velgard::ui
