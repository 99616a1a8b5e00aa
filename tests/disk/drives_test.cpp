// The four drives: loading, saving, inserting, ejecting, the questions
// asked through the host, and the disk information text.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "disk/AtomicFile.h"
#include "disk/DiskTestSupport.h"
#include "disk/FDC_WD279X.h"
#include "machine/HeadlessHost.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

namespace fs = std::filesystem;
using test::ReadBinary;
using test::TempDir;
using test::WriteBinary;

std::size_t FilesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(Drives, LoadAcceptsTheKorvetFormatAndRefusesOthers) {
    TempDir dir;
    HeadlessHost host;
    tFCD_WD279X fdc(host);
    auto good = test::BlankImage();
    ASSERT_EQ(good[10], 3);
    WriteBinary(dir / "good.kdi", good);
    ASSERT_TRUE(fdc.LoadImage(0, (dir / "good.kdi").string()));
    EXPECT_TRUE(fdc.HasImage(0));
    EXPECT_TRUE(fdc.IsLatchClosed(0));
    EXPECT_FALSE(fdc.IsChanged(0));
    EXPECT_EQ(fdc.FileName(0), (dir / "good.kdi").string());
    EXPECT_EQ(fdc.ImageSize(0), 819200u);
    EXPECT_TRUE(host.Messages().empty());

    // Sizes outside 24,576..1,048,576: false, no message, old disk kept.
    WriteBinary(dir / "small.kdi", std::vector<std::uint8_t>(good.begin(), good.begin() + 20000));
    auto big = good;
    big.resize(1048577);
    WriteBinary(dir / "big.kdi", big);
    EXPECT_FALSE(fdc.LoadImage(0, (dir / "small.kdi").string()));
    EXPECT_FALSE(fdc.LoadImage(0, (dir / "big.kdi").string()));
    EXPECT_FALSE(fdc.LoadImage(0, (dir / "missing.kdi").string()));
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(fdc.FileName(0), (dir / "good.kdi").string());
    EXPECT_TRUE(fdc.IsLatchClosed(0));

    // The smallest and largest sizes allowed load.
    auto minimal = good;
    minimal.resize(24576);
    WriteBinary(dir / "min.kdi", minimal);
    big.resize(1048576);
    WriteBinary(dir / "max.kdi", big);
    EXPECT_TRUE(fdc.LoadImage(1, (dir / "min.kdi").string()));
    EXPECT_TRUE(fdc.LoadImage(2, (dir / "max.kdi").string()));

    // Each header field of the format check refuses on its own, leaving the drive empty.
    const std::vector<std::pair<std::size_t, std::uint8_t>> wrong = {{6, 1}, {10, 2}, {11, 0}, {12, 9}, {13, 1}, {14, 79}};
    for (const auto& [at, value] : wrong) {
        auto bad = good;
        bad[at] = value;
        WriteBinary(dir / "bad.kdi", bad);
        host.ClearMessages();
        ASSERT_TRUE(fdc.LoadImage(3, (dir / "good.kdi").string()));
        EXPECT_FALSE(fdc.LoadImage(3, (dir / "bad.kdi").string())) << "byte " << at;
        ASSERT_EQ(host.Messages().size(), 1u);
        EXPECT_EQ(host.Messages()[0].text, "Формат данного образа диска пока неподдерживается!");
        EXPECT_FALSE(fdc.HasImage(3));
        EXPECT_FALSE(fdc.IsLatchClosed(3));
        EXPECT_EQ(fdc.FileName(3), "");
        EXPECT_EQ(fdc.ImageData(3), nullptr);
    }
    // More tracks than 80 are fine.
    auto more = good;
    more[14] = 82;
    WriteBinary(dir / "more.kdi", more);
    EXPECT_TRUE(fdc.LoadImage(3, (dir / "more.kdi").string()));
    // Bad drive numbers change nothing.
    EXPECT_FALSE(fdc.LoadImage(4, (dir / "good.kdi").string()));
    EXPECT_FALSE(fdc.LoadImage(-1, (dir / "good.kdi").string()));
    EXPECT_FALSE(fdc.HasImage(4));
}

TEST(Drives, UnsavedChangesAreOfferedAndSavedAtomically) {
    TempDir dir;
    HeadlessHost host;
    const auto path = (dir / "work.kdi").string();
    const auto original = test::PatternImage();
    WriteBinary(path, original);
    ::chmod(path.c_str(), 0640);
    {
        tFCD_WD279X fdc(host);
        ASSERT_TRUE(fdc.LoadImage(1, path));
        // Change sector 1 of track 1 through the controller.
        fdc.WriteDriveControl(0x02);
        fdc.WriteTrack(1);
        fdc.WriteSector(1);
        fdc.WriteCommand(0xA0);
        for (int i = 0; i < 1024; ++i) fdc.WriteData(0x42);
        ASSERT_TRUE(fdc.IsChanged(1));

        // Answer No: nothing written, still changed.
        host.SetAnswer(false);
        EXPECT_TRUE(fdc.SaveIfChanged(1, true));
        ASSERT_EQ(host.Questions().size(), 1u);
        EXPECT_EQ(host.Questions()[0],
                  "Сохранить произведенные на диске B изменения в файл \"" + path + "\"?");
        EXPECT_EQ(ReadBinary(path), original);
        EXPECT_TRUE(fdc.IsChanged(1));

        // Answer Yes: written whole, keeping the file's permissions.
        host.SetAnswer(true);
        EXPECT_TRUE(fdc.SaveIfChanged(1, true));
        EXPECT_FALSE(fdc.IsChanged(1));
        auto expected = original;
        std::fill(expected.begin() + 10240, expected.begin() + 11264, 0x42);
        EXPECT_EQ(ReadBinary(path), expected);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        EXPECT_EQ(FilesIn(dir.Path()), 1u) << "no temporary file stays behind";

        // Eject with changes and No: dropped, file untouched.
        fdc.WriteCommand(0xA0);
        fdc.WriteData(0x99);
        ASSERT_TRUE(fdc.IsChanged(1));
        host.SetAnswer(false);
        host.ClearMessages();
        EXPECT_TRUE(fdc.EjectImage(1));
        EXPECT_EQ(host.Questions().size(), 1u);
        EXPECT_FALSE(fdc.HasImage(1));
        EXPECT_EQ(ReadBinary(path), expected);

        // A changed disk left in a drive is offered again at the end.
        ASSERT_TRUE(fdc.LoadImage(2, path));
        fdc.WriteDriveControl(0x04);
        fdc.WriteCommand(0xA0);
        fdc.WriteData(0x77);
        host.SetAnswer(true);
        host.ClearMessages();
    }
    ASSERT_EQ(host.Questions().size(), 1u);
    EXPECT_NE(host.Questions()[0].find("на диске C изменения"), std::string::npos);
    const auto final = ReadBinary(path);
    ASSERT_EQ(final.size(), 819200u);
    EXPECT_EQ(final[10240], 0x77);
}

TEST(Drives, SaveImageRefusesOtherDrivesFilesAndAsksBeforeReplacing) {
    TempDir dir;
    HeadlessHost host;
    tFCD_WD279X fdc(host);
    const auto a = (dir / "a.kdi").string();
    const auto b = (dir / "b.kdi").string();
    WriteBinary(a, test::BlankImage());
    WriteBinary(b, test::PatternImage());
    ASSERT_TRUE(fdc.LoadImage(0, a));
    ASSERT_TRUE(fdc.LoadImage(1, b));

    // Another drive's file, in another case and with blanks around it.
    std::string upper = "  " + b + " ";
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_FALSE(fdc.SaveImage(0, b, false));
    EXPECT_FALSE(fdc.SaveImage(0, upper, false));
    ASSERT_EQ(host.Messages().size(), 2u);
    EXPECT_EQ(host.Messages()[0].text, "Данный файл используется в дисководе B!");
    EXPECT_EQ(ReadBinary(b), test::PatternImage());

    // Cyrillic file names compare without regard to case as well.
    std::string dirUpper = dir.Path().string();
    for (char& ch : dirUpper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const auto cyr = (dir / "диск_рёжя.kdi").string();
    WriteBinary(cyr, test::PatternImage());
    ASSERT_TRUE(fdc.LoadImage(3, cyr));
    EXPECT_FALSE(fdc.SaveImage(0, dirUpper + "/ДИСК_РЁЖЯ.KDI", false));
    ASSERT_EQ(host.Messages().size(), 3u);
    EXPECT_EQ(host.Messages()[2].text, "Данный файл используется в дисководе D!");
    EXPECT_FALSE(fs::exists(dir / "ДИСК_РЁЖЯ.KDI"));
    // Other characters are not folded: a different name saves.
    EXPECT_TRUE(fdc.SaveImage(0, (dir / "диск_рёжя№.kdi").string(), false));
    EXPECT_TRUE(fs::exists(dir / "диск_рёжя№.kdi"));
    ASSERT_TRUE(fdc.SaveImage(0, a, true));
    ASSERT_TRUE(fdc.EjectImage(3));

    // An existing file: the question, No keeps it.
    const auto c = (dir / "c.kdi").string();
    WriteBinary(c, {1, 2, 3});
    host.SetAnswer(false);
    EXPECT_FALSE(fdc.SaveImage(0, c, false));
    ASSERT_FALSE(host.Questions().empty());
    EXPECT_EQ(host.Questions().back(), "Файл \"" + c + "\" уже существует. Переписать?");
    EXPECT_EQ(ReadBinary(c), (std::vector<std::uint8_t>{1, 2, 3}));
    host.SetAnswer(true);
    EXPECT_TRUE(fdc.SaveImage(0, c, false));
    EXPECT_EQ(ReadBinary(c), test::BlankImage());
    EXPECT_EQ(fdc.FileName(0), c);

    // Overwrite: no question. A new file also works.
    host.ClearMessages();
    EXPECT_TRUE(fdc.SaveImage(1, c, true));
    EXPECT_TRUE(fdc.SaveImage(1, (dir / "d.kdi").string(), false));
    EXPECT_TRUE(host.Questions().empty());
    EXPECT_EQ(ReadBinary(dir / "d.kdi"), test::PatternImage());
    // Nothing to save in an empty drive.
    EXPECT_FALSE(fdc.SaveImage(2, (dir / "e.kdi").string(), true));
    EXPECT_FALSE(fs::exists(dir / "e.kdi"));
}

// Writing that fails half-way must leave the old image as it was.
TEST(Drives, FailedWritesLeaveTheOldImageUnchanged) {
    TempDir dir;
    HeadlessHost host;
    tFCD_WD279X fdc(host);
    const auto path = (dir / "disk.kdi").string();
    const auto original = test::PatternImage();
    WriteBinary(path, original);
    ASSERT_TRUE(fdc.LoadImage(0, path));
    fdc.WriteDriveControl(0x01);
    fdc.WriteCommand(0xA0);
    for (int i = 0; i < 1024; ++i) fdc.WriteData(0);

    // 1. The file size limit stops the write after 64 KB.
    {
        struct rlimit old {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 65536;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool saved = fdc.SaveIfChanged(0, false);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(saved);
    }
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text,
              "Не получается сохранить изменения на диске A в файл! Возможно, файл образа диска занят "
              "другим приложением!");
    EXPECT_EQ(ReadBinary(path), original);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
    EXPECT_TRUE(fdc.IsChanged(0));

    // 2. A write-protected image is not replaced (even for the superuser).
    ::chmod(path.c_str(), 0444);
    host.ClearMessages();
    host.SetAnswer(true);
    EXPECT_FALSE(fdc.SaveImage(0, path, false));
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "Не удалось удалить прежний файл \"" + path + "\"!");
    EXPECT_EQ(ReadBinary(path), original);
    EXPECT_FALSE(fdc.SaveImage(0, path, true));
    ::chmod(path.c_str(), 0644);

    // 3. The target is a directory with files in it.
    fs::create_directory(dir / "folder.kdi");
    WriteBinary(dir / "folder.kdi" / "keep", {9});
    EXPECT_FALSE(fdc.SaveImage(0, (dir / "folder.kdi").string(), true));
    EXPECT_EQ(ReadBinary(dir / "folder.kdi" / "keep"), std::vector<std::uint8_t>{9});

    // 4. The folder on the path is a file.
    WriteBinary(dir / "notadir", {1});
    EXPECT_FALSE(fdc.SaveImage(0, (dir / "notadir" / "x.kdi").string(), true));
    EXPECT_EQ(ReadBinary(dir / "notadir"), std::vector<std::uint8_t>{1});
    EXPECT_EQ(FilesIn(dir.Path()), 3u);
    EXPECT_TRUE(fdc.IsChanged(0));

    // A symbolic link is followed, not replaced.
    fs::create_symlink(path, dir / "link.kdi");
    EXPECT_TRUE(fdc.SaveImage(0, (dir / "link.kdi").string(), true));
    EXPECT_TRUE(fs::is_symlink(dir / "link.kdi"));
    EXPECT_EQ(ReadBinary(path)[0 + 32], 0);
}

TEST(Drives, InsertImageTakesACopyAndChecksTheFormat) {
    HeadlessHost host;
    tFCD_WD279X fdc(host);
    auto image = test::BlankImage();
    EXPECT_TRUE(fdc.InsertImage(2, image, "x.kdi", true));
    image[100] = 0x12;
    EXPECT_NE(fdc.Image(2)[100], 0x12);
    EXPECT_TRUE(fdc.IsChanged(2));
    EXPECT_EQ(fdc.FileName(2), "x.kdi");
    EXPECT_FALSE(fdc.InsertImage(2, image.data(), 0, "y.kdi", false));
    EXPECT_FALSE(fdc.InsertImage(2, image.data(), kMaxImageFileSize + 1, "y.kdi", false));
    EXPECT_EQ(fdc.FileName(2), "x.kdi");
    // Answer No to saving x.kdi, then a refused format empties the drive.
    image[10] = 2;
    EXPECT_FALSE(fdc.InsertImage(2, image, "y.kdi", false));
    EXPECT_EQ(host.Questions().size(), 1u);
    EXPECT_FALSE(fdc.HasImage(2));
    EXPECT_EQ(fdc.FileName(2), "");
    EXPECT_FALSE(fdc.IsChanged(2));
}

TEST(Drives, DiskInfoShowsEveryHeaderField) {
    HeadlessHost host;
    tFCD_WD279X fdc(host);
    EXPECT_EQ(fdc.DiskInfo(0), "Диск отсутствует или имеет неизвестный формат!");
    EXPECT_EQ(fdc.DiskInfo(7), "Диск отсутствует или имеет неизвестный формат!");
    EXPECT_EQ(DiskInfoText(std::vector<std::uint8_t>(31, 0)), "Диск отсутствует или имеет неизвестный формат!");

    std::vector<std::uint8_t> image(819200, 0);
    const std::uint8_t header[32] = {
        0x00, 0xE0,  // load address E000
        0x03, 0xE1,  // start address E103
        0x14, 0x00,  // 20 OS sectors
        0x00,        // 133 mm
        0x2A,        // unknown: 42
        0x01,        // 48 tpi
        0x01,        // interleave
        0x03,        // 1024-byte sectors
        0x01,        // two sides
        0x05, 0x00,  // 5 sectors per track
        0x52, 0x00,  // 82 tracks per side
        0x28, 0x00,  // 40 records per track
        0x05,        // block shift 5
        0x1F,        // block mask: 4096-byte blocks
        0x01,        // extent mask
        0xC7, 0x00,  // 199 -> 200 blocks
        0x3F, 0x00,  // 63 -> 64 entries
        0x80, 0x00,  // 128 directory blocks field
        0x10, 0x00,  // check size 16
        0x03, 0x00,  // 3 OS tracks
        0x5C,        // checksum
    };
    std::copy(std::begin(header), std::end(header), image.begin());
    ASSERT_TRUE(fdc.InsertImage(0, image, "", false));
    const std::string computed = [&] {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%02X", DiskHeaderChecksum(image));
        return std::string(buf);
    }();
    const std::vector<std::string> expected = {
        "Адрес загрузки ОС: E000h",
        "Адрес запуска ОС: E103h",
        "Занятых ОС дорожек: 3",
        "Занятых ОС секторов: 20",
        std::string(33, '-'),
        "Диаметр диска: #0 (133мм)",
        "Сторон у диска: #1 (2)",
        "Размер диска = 839680 байт",
        std::string(33, '-'),
        "Дорожек на дюйм: #1 (48)",
        "Дорожек на стороне: 82",
        "Размер дорожки = 5120 байт",
        std::string(33, '-'),
        "Секторов на дорожке: 5",
        "Размер сектора: #3 (1024 байт)",
        "Полезных секторов = 390",
        "Полезные размеры = 399360 байт",
        "Перестановка секторов: #1 (есть)",
        std::string(33, '-'),
        "Блоков на диске: 200",
        "Блоков на дорожке: 1",
        "Размер блока = 4096 байт",
        "Размер всех блоков = 819200 байт",
        "Смещение блоков: #5 (4096 байт)",
        "Маска положения блока: 1Fh",
        "Маска размера блока: 01h",
        std::string(33, '-'),
        "Записей на дорожке: 40",
        "Размер записи = 128 байт",
        std::string(33, '-'),
        "Элементов оглавления: 64",
        "Контрольное значение: 16 (=16)",
        "Размер оглавления = 2048 байт",
        "Блоков на оглавление: 128",
        "Контрольная сумма: 5Ch (=" + computed + "h)",
        "Неизвестно: 42",
    };
    const std::string text = fdc.DiskInfo(0);
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find("\r\n", from);
        lines.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) break;
        from = at + 2;
    }
    ASSERT_EQ(lines.size(), 36u);
    for (std::size_t i = 0; i < 36; ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
    EXPECT_EQ(text.find('\n', 0) - 1, text.find('\r', 0)) << "lines end in CR LF";

    // A correct checksum shows the same value twice; records per track 0 cannot be computed.
    image[31] = DiskHeaderChecksum(image);
    EXPECT_NE(DiskInfoText(image).find("Контрольная сумма: " + computed + "h (=" + computed + "h)"),
              std::string::npos);
    image[16] = image[17] = 0;
    EXPECT_EQ(DiskInfoText(image), "Неизвестный формат!");
    EXPECT_EQ(DiskHeaderChecksum(test::BlankImage()), test::BlankImage()[31]);
}

}  // namespace
}  // namespace velgard
