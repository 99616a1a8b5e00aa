// The disk manager on real images made by velgard-cli and cpmtools, with
// every dialog answered by the scripted stand-in.
#include <sys/stat.h>
#include <unistd.h>

#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <gtest/gtest.h>

// GCC 12 sees the optional<QString> copy in the scripted dialogs' answer
// queue as maybe uninitialised after inlining; it is not.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "support/ScriptedDialogs.h"
#pragma GCC diagnostic pop
#include "support/TestSupport.h"
#include "ui/DiskForm.h"
#include "ui/Flags.h"

namespace velgard::ui {
namespace {

namespace fs = std::filesystem;
using ::velgard::test::ReadBinary;
using ::velgard::test::RunCli;
using ::velgard::test::TempDir;
using ::velgard::test::WriteBinary;
using ::velgard::ui::test::tScriptedDialogs;

// Where the directory of a `velgard-cli disk new` image starts.
constexpr std::size_t kDirectory = 10240;

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
    return v;
}

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

class DiskFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        flags.OpenDiskFolder = (dir.Path() / "disks").string() + "/";
        flags.OpenFilesFolder = (dir.Path() / "files").string() + "/";
        fs::create_directory(dir / "disks");
        fs::create_directory(dir / "files");
        form.setWindowTitle("Диск B");
    }
    // A blank disk made by velgard-cli, with the given host files put on it.
    std::vector<std::uint8_t> NewDisk(const std::string& name, const std::vector<fs::path>& files = {}) {
        const fs::path path = dir / "disks" / name;
        EXPECT_EQ(RunCli({"disk", "new", path.string()}).status, 0);
        if (!files.empty()) {
            std::vector<std::string> args = {"disk", "put", path.string()};
            for (const auto& f : files) args.push_back(f.string());
            EXPECT_EQ(RunCli(args).status, 0);
        }
        return ReadBinary(path);
    }
    fs::path HostFile(const std::string& name, const std::vector<std::uint8_t>& data) {
        const fs::path path = dir / "files" / name;
        WriteBinary(path, data);
        return path;
    }
    bool Open(const std::vector<std::uint8_t>& image, const std::string& path = "", bool changed = false) {
        return form.Begin(image.data(), image.size(), path, changed);
    }
    QStringList Column(int column) const {
        QStringList out;
        for (int r = 0; r < form.FilesTable()->rowCount(); ++r) out << form.FilesTable()->item(r, column)->text();
        return out;
    }
    int RowOf(const QString& name) const { return static_cast<int>(Column(TDiskForm::kColName).indexOf(name)); }
    bool Enabled(const char* button) const { return form.Button(button)->isEnabled(); }
    // The caption: the base, then the path in brackets, shortened to 250
    // pixels with its file name kept.
    void ExpectCaption(const QString& base, const QString& path) const {
        const QString title = form.windowTitle();
        const QString head = base + "  (";
        ASSERT_TRUE(title.startsWith(head)) << title.toStdString();
        ASSERT_TRUE(title.endsWith(")")) << title.toStdString();
        const QString shown = title.mid(head.size(), title.size() - head.size() - 1);
        EXPECT_TRUE(shown == path || shown.contains("...")) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(QFileInfo(path).fileName())) << shown.toStdString();
        EXPECT_LE(QFontMetrics(form.font()).horizontalAdvance(shown), 250) << shown.toStdString();
    }

    TempDir dir;
    tScriptedDialogs dialogs;
    tFlags flags;
    TDiskForm form{dialogs, flags};
};

TEST_F(DiskFormTest, NoImageMeansNoWindowAndNoChange) {
    std::vector<std::uint8_t> out = {1, 2, 3};
    std::string outPath = "keep";
    bool outChanged = true;
    EXPECT_FALSE(form.Edit(nullptr, 100, "x.kdi", false, out, outPath, outChanged));
    const std::uint8_t byte = 0;
    EXPECT_FALSE(form.Edit(&byte, 0, "x.kdi", false, out, outPath, outChanged));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(outPath, "keep");
    EXPECT_TRUE(outChanged);
    EXPECT_TRUE(dialogs.Log.empty());
    EXPECT_FALSE(form.isVisible());
}

TEST_F(DiskFormTest, WindowLayoutCaptionsAndHints) {
    EXPECT_EQ(form.size(), QSize(434, 302));
    EXPECT_EQ(form.FilesTable()->columnCount(), 4);
    const int widths[] = {25, 100, 100, 70};
    const char* headers[] = {"#", "Имя файла", "Размер, байт", "Атрибуты"};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(form.FilesTable()->columnWidth(c), widths[c]);
        EXPECT_EQ(form.FilesTable()->horizontalHeaderItem(c)->text(), QString::fromUtf8(headers[c]));
    }
    struct {
        const char* name;
        const char* caption;
        const char* hint;
    } const buttons[] = {
        {"btnOk", "OK", "Применить изменения к диску эмулятора"},
        {"btnCancel", "Отменить", "Отменить изменения и выйти"},
        {"btnLoadDisk", "Загрузить", "Загрузить диск из файла"},
        {"btnSaveDisk", "Сохранить", "Сохранить диск в файл"},
        {"btnClearDisk", "Очистить", "Удалить все файлы"},
        {"btnImportFiles", "Импорт", "Импортировать файлы на диск"},
        {"btnExportFiles", "Экспорт", "Экспортировать файлы с диска"},
        {"btnEraseFiles", "Удалить", "Удалить выбранные файлы"},
        {"btnRestoreFile", "Восстановить", "Восстановить удаленные и скрытые файлы"},
        {"btnInfo", "Информация", "Информация о диске"},
    };
    for (const auto& b : buttons) {
        QPushButton* button = form.Button(b.name);
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->text(), QString::fromUtf8(b.caption));
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(b.hint));
        EXPECT_EQ(button->size(), QSize(95, 27));
    }
    EXPECT_TRUE(form.Button("btnRestoreFile")->isHidden());
    EXPECT_TRUE(form.Button("btnInfo")->isHidden());
}

TEST_F(DiskFormTest, ListsFilesOfVelgardAndCpmtoolsDisks) {
    // Two files put by velgard-cli, two more written by cpmtools (one of them
    // into user area 3) with the shipped "korvet" definition.
    const auto a = Bytes(200, 1), b = Bytes(5000, 2), c = Bytes(1024, 3), d = Bytes(300, 4);
    auto image = NewDisk("mixed.kdi", {HostFile("readme.txt", a), HostFile("prog.com", b)});
    if (std::system("command -v cpmcp >/dev/null 2>&1") == 0) {
        fs::copy_file(fs::path(VELGARD_SOURCE_DIR) / "extras" / "cpmtools" / "diskdefs", dir / "disks" / "diskdefs");
        HostFile("game.bas", c);
        HostFile("user3.dat", d);
        const std::string command = "cd '" + (dir / "disks").string() + "' && cpmcp -f korvet mixed.kdi ../files/game.bas 0: "
                                    "&& cpmcp -f korvet mixed.kdi ../files/user3.dat 3: >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        image = ReadBinary(dir / "disks" / "mixed.kdi");
    } else {
        GTEST_SKIP() << "cpmtools (cpmcp) is not installed; the cpmtools half of this test needs it";
    }
    const std::string path = (dir / "disks" / "mixed.kdi").string();
    ASSERT_TRUE(Open(image, path));

    EXPECT_EQ(Column(TDiskForm::kColNumber), QStringList({"1", "2", "3", "4"}));
    EXPECT_EQ(Column(TDiskForm::kColName), QStringList({"README.TXT", "PROG.COM", "GAME.BAS", "USER3.DAT"}));
    // Sizes are whole 128-byte records.
    EXPECT_EQ(Column(TDiskForm::kColSize), QStringList({"256", "5120", "1024", "384"}));
    EXPECT_EQ(Column(TDiskForm::kColAttributes), QStringList({"-", "-", "-", "U3"}));
    EXPECT_EQ(form.SelectedRow(), 0);
    ExpectCaption("Диск B", QString::fromStdString(path));
    for (const char* b : {"btnSaveDisk", "btnImportFiles", "btnExportFiles", "btnEraseFiles", "btnClearDisk"})
        EXPECT_TRUE(Enabled(b)) << b;
    EXPECT_FALSE(form.Changed());
}

TEST_F(DiskFormTest, CaptionShowsAShortPathWholeAndNoneWithoutAPath) {
    const auto image = NewDisk("c.kdi");
    ASSERT_TRUE(Open(image, "/d/c.kdi"));
    EXPECT_EQ(form.windowTitle(), "Диск B  (/d/c.kdi)");
    form.setWindowTitle("Диск D");
    ASSERT_TRUE(Open(image, ""));
    EXPECT_EQ(form.windowTitle(), "Диск D");
    const QString deep = "/" + QString("very-long-folder-name/").repeated(12) + "disk.kdi";
    form.setWindowTitle("Диск B");
    ASSERT_TRUE(Open(image, deep.toStdString()));
    ExpectCaption("Диск B", deep);
    EXPECT_TRUE(form.windowTitle().contains("/.../"));
}

TEST_F(DiskFormTest, AttributeLettersAndErasedRows) {
    CpmFileInfo info;
    EXPECT_EQ(TDiskForm::AttributeLetters(info), "-");
    info.readOnly = true;
    info.user = 3;
    EXPECT_EQ(TDiskForm::AttributeLetters(info), "R,U3");
    info.system = info.archive = info.erased = true;
    EXPECT_EQ(TDiskForm::AttributeLetters(info), "R,S,A,D");

    // A file erased by CP/M itself (user byte E5h only) and a read-only,
    // system file of user 2.
    auto image = NewDisk("attr.kdi", {HostFile("gone.txt", Bytes(300, 5)), HostFile("sys.com", Bytes(128, 6))});
    image[kDirectory] = 0xE5;
    image[kDirectory + 32] = 2;
    image[kDirectory + 32 + 9] |= 0x80;
    image[kDirectory + 32 + 10] |= 0x80;
    ASSERT_TRUE(Open(image));
    EXPECT_EQ(Column(TDiskForm::kColName), QStringList({"GONE.TXT", "SYS.COM"}));
    EXPECT_EQ(Column(TDiskForm::kColAttributes), QStringList({"D", "R,S,U2"}));
    EXPECT_TRUE(form.FilesTable()->item(0, 1)->data(TDiskForm::kErasedRole).toBool());
    EXPECT_FALSE(form.FilesTable()->item(1, 1)->data(TDiskForm::kErasedRole).toBool());
}

// Colour counts of one rendered table cell.
struct CellInk {
    int red = 0, dark = 0;
    QColor background;
};
CellInk Inspect(const QImage& shot, const QRect& cell) {
    CellInk ink;
    ink.background = shot.pixelColor(cell.right() - 2, cell.top() + 2);
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (c.red() > 180 && c.green() < 90 && c.blue() < 90) ++ink.red;
            if (c.red() < 90 && c.green() < 90 && c.blue() < 90) ++ink.dark;
        }
    return ink;
}

TEST_F(DiskFormTest, CellsAreDrawnWithSelectionAndErasedColours) {
    auto image = NewDisk("draw.kdi", {HostFile("live.txt", Bytes(300, 5)), HostFile("dead.txt", Bytes(300, 6)),
                                      HostFile("other.txt", Bytes(300, 7))});
    image[kDirectory + 32] = 0xE5;  // DEAD.TXT erased
    ASSERT_TRUE(Open(image));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTableWidget* table = form.FilesTable();
    const QImage shot = table->viewport()->grab().toImage();
    auto cell = [&](int row, int column) { return table->visualRect(table->model()->index(row, column)); };

    // Row 0 is selected: yellow; the others white; column 0 has the face colour.
    EXPECT_EQ(Inspect(shot, cell(0, 2)).background, QColor(Qt::yellow));
    EXPECT_EQ(Inspect(shot, cell(1, 2)).background, QColor(Qt::white));
    EXPECT_EQ(Inspect(shot, cell(2, 3)).background, QColor(Qt::white));
    EXPECT_EQ(Inspect(shot, cell(1, 0)).background, table->palette().color(QPalette::Button));
    form.SelectRow(2);
    const QImage shot2 = table->viewport()->grab().toImage();
    EXPECT_EQ(Inspect(shot2, cell(0, 2)).background, QColor(Qt::white));
    EXPECT_EQ(Inspect(shot2, cell(2, 1)).background, QColor(Qt::yellow));

    // Text: red in the erased row, black elsewhere (when fonts render at all).
    const CellInk live = Inspect(shot, cell(2, 1)), dead = Inspect(shot, cell(1, 1));
    if (live.dark == 0) GTEST_SKIP() << "no text is rendered on this platform (no fonts)";
    EXPECT_EQ(live.red, 0);
    EXPECT_GT(dead.red, 0);
    EXPECT_EQ(Inspect(shot, cell(1, 0)).red, 0);  // the row number stays black
}

TEST_F(DiskFormTest, ImportsOneAndSeveralFilesAndReportsRefusals) {
    const auto image = NewDisk("import.kdi");
    ASSERT_TRUE(Open(image));
    EXPECT_EQ(form.FilesTable()->rowCount(), 0);
    EXPECT_FALSE(Enabled("btnClearDisk"));
    EXPECT_FALSE(Enabled("btnExportFiles"));
    EXPECT_TRUE(Enabled("btnImportFiles"));

    // Cancel in the dialog: nothing happens.
    form.btnImportFilesClick();
    ASSERT_EQ(dialogs.OfKind("open-many").size(), 1u);
    const auto request = dialogs.OfKind("open-many")[0].Request;
    EXPECT_EQ(request.Title, "Импортировать файлы на диск");
    EXPECT_EQ(request.Folder, QString::fromStdString(flags.OpenFilesFolder));
    EXPECT_TRUE(request.FileName.isEmpty());
    EXPECT_FALSE(form.Changed());

    // One file from another folder: the files folder follows it.
    fs::create_directory(dir / "more");
    const auto one = dir / "more" / "readme.txt";
    WriteBinary(one, Bytes(200, 9));
    dialogs.ManyFileAnswers.push_back({Q(one)});
    form.btnImportFilesClick();
    EXPECT_EQ(Column(TDiskForm::kColName), QStringList({"README.TXT"}));
    EXPECT_TRUE(form.Changed());
    EXPECT_EQ(flags.OpenFilesFolder, (dir / "more").string() + "/");
    EXPECT_TRUE(dialogs.OfKind("message").empty());
    EXPECT_TRUE(Enabled("btnClearDisk"));

    // Three at once, one of them a duplicate in another case, one unreadable.
    const auto dup = HostFile("Readme.Txt", Bytes(100, 1));
    dialogs.ManyFileAnswers.push_back(
        {Q(HostFile("a.com", Bytes(3000, 2))), Q(dup), Q(HostFile("verylongname.text", Bytes(10, 3)))});
    form.btnImportFilesClick();
    EXPECT_EQ(Column(TDiskForm::kColName), QStringList({"README.TXT", "A.COM", "VERYLONG.TEX"}));
    auto messages = dialogs.OfKind("message");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Caption, "Импорт файлов на диск");
    EXPECT_EQ(messages[0].Text,
              "Импортировано 2 файлов из 3. Оставшиеся файлы либо имеют дублирующиеся имена, либо слишком "
              "большие для данного диска!");
    EXPECT_EQ(messages[0].Icon, tIcon::Information);
    EXPECT_EQ(flags.OpenFilesFolder, (dir / "files").string() + "/");

    // What went in reads back.
    tFileArray back;
    ASSERT_TRUE(ReadFile(form.WorkingImage(), "A.COM", false, back));
    back.resize(3000);
    EXPECT_EQ(back, Bytes(3000, 2));

    // A missing file counts as not imported.
    dialogs.Log.clear();
    dialogs.ManyFileAnswers.push_back({Q(dir / "files" / "missing.bin")});
    form.btnImportFilesClick();
    messages = dialogs.OfKind("message");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].Text.startsWith("Импортировано 0 файлов из 1."));
}

TEST_F(DiskFormTest, AFullDiskRefusesTheFileAndStaysIntact) {
    const auto image = NewDisk("full.kdi");
    ASSERT_TRUE(Open(image));
    EXPECT_EQ(form.ImportHostFiles({Q(HostFile("big.bin", Bytes(700000, 1)))}), 1);
    const auto before = form.WorkingImage();
    dialogs.Log.clear();
    EXPECT_EQ(form.ImportHostFiles({Q(HostFile("more.bin", Bytes(200000, 2))),
                                    Q(HostFile("huge.bin", Bytes(900000, 3)))}),
              0);
    EXPECT_EQ(form.WorkingImage(), before);
    EXPECT_EQ(Column(TDiskForm::kColName), QStringList({"BIG.BIN"}));
    ASSERT_EQ(dialogs.OfKind("message").size(), 1u);
    EXPECT_TRUE(dialogs.OfKind("message")[0].Text.startsWith("Импортировано 0 файлов из 2."));
}

TEST_F(DiskFormTest, ExportsTheSelectedFileAndAsksBeforeReplacing) {
    const auto data = Bytes(2048, 4);
    const auto image = NewDisk("export.kdi", {HostFile("one.txt", Bytes(128, 1)), HostFile("two.bin", data)});
    ASSERT_TRUE(Open(image));
    form.SelectRow(RowOf("TWO.BIN"));

    const fs::path target = dir / "out" / "two.bin";
    fs::create_directory(dir / "out");
    dialogs.FileAnswers.push_back(Q(target));
    form.btnExportFilesClick();
    auto saves = dialogs.OfKind("save");
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].Request.Title, "Экспорт файла с диска");
    EXPECT_EQ(saves[0].Request.FileName, "TWO.BIN");
    EXPECT_EQ(saves[0].Request.Folder, QString::fromStdString((dir / "files").string() + "/"));
    EXPECT_TRUE(saves[0].Request.DefaultSuffix.isEmpty());
    EXPECT_EQ(ReadBinary(target), data);
    EXPECT_EQ(flags.OpenFilesFolder, (dir / "out").string() + "/");
    EXPECT_TRUE(dialogs.OfKind("ask").empty());
    EXPECT_FALSE(form.Changed());

    // The file exists now: No keeps it, Yes replaces it.
    form.SelectRow(RowOf("ONE.TXT"));
    dialogs.FileAnswers.push_back(Q(target));
    dialogs.YesNoAnswers.push_back(false);
    form.btnExportFilesClick();
    auto asks = dialogs.OfKind("ask");
    ASSERT_EQ(asks.size(), 1u);
    EXPECT_EQ(asks[0].Caption, "Экспорт файла с диска");
    EXPECT_EQ(asks[0].Text, "Файл \"" + Q(target) + "\" уже существует. Переписать?");
    EXPECT_EQ(asks[0].Icon, tIcon::Question);
    EXPECT_EQ(ReadBinary(target), data);

    dialogs.FileAnswers.push_back(Q(target));
    dialogs.YesNoAnswers.push_back(true);
    form.btnExportFilesClick();
    EXPECT_EQ(ReadBinary(target), Bytes(128, 1));

    // Cancel in the dialog writes nothing.
    dialogs.Log.clear();
    form.btnExportFilesClick();
    EXPECT_EQ(dialogs.OfKind("save").size(), 1u);
    EXPECT_EQ(ReadBinary(target), Bytes(128, 1));
}

TEST_F(DiskFormTest, AnErasedFileCanStillBeExportedAndRestored) {
    const auto data = Bytes(1000, 8);
    auto image = NewDisk("erased.kdi", {HostFile("lost.dat", data)});
    image[kDirectory] = 0xE5;
    ASSERT_TRUE(Open(image));
    ASSERT_EQ(Column(TDiskForm::kColAttributes), QStringList({"D"}));

    const fs::path target = dir / "lost.dat";
    dialogs.FileAnswers.push_back(Q(target));
    form.btnExportFilesClick();
    auto back = ReadBinary(target);
    ASSERT_EQ(back.size(), 1024u);
    back.resize(1000);
    EXPECT_EQ(back, data);
    EXPECT_FALSE(form.Changed());

    form.btnRestoreFileClick();
    EXPECT_TRUE(form.Changed());
    EXPECT_EQ(Column(TDiskForm::kColAttributes), QStringList({"-"}));
    EXPECT_EQ(form.WorkingImage()[kDirectory], 0);
    EXPECT_FALSE(form.FilesTable()->item(0, 1)->data(TDiskForm::kErasedRole).toBool());
}

TEST_F(DiskFormTest, EraseAsksFirstAndRemovesTheFile) {
    const auto image = NewDisk("erase.kdi", {HostFile("a.txt", Bytes(300, 1)), HostFile("b.txt", Bytes(300, 2))});
    ASSERT_TRUE(Open(image));
    form.SelectRow(1);

    dialogs.YesNoAnswers.push_back(false);
    form.btnEraseFilesClick();
    auto asks = dialogs.OfKind("ask");
    ASSERT_EQ(asks.size(), 1u);
    EXPECT_EQ(asks[0].Caption, "Удаление файла с диска");
    EXPECT_EQ(asks[0].Text,
              "Файл \"B.TXT\" будет полностью удален с диска без возможности его восстановления. Вы уверены, "
              "что хотите этого?");
    EXPECT_EQ(form.WorkingImage(), image);
    EXPECT_FALSE(form.Changed());

    dialogs.YesNoAnswers.push_back(true);
    form.btnEraseFilesClick();
    EXPECT_EQ(Column(TDiskForm::kColName), QStringList({"A.TXT"}));
    EXPECT_TRUE(form.Changed());
    // The selection moves to the row that is left.
    EXPECT_EQ(form.SelectedRow(), 0);
    EXPECT_EQ(FreeSpace(form.WorkingImage()), FreeSpace(image) + 2048);
}

TEST_F(DiskFormTest, WipeAsksAndClearsEveryFile) {
    const auto image = NewDisk("wipe.kdi", {HostFile("a.txt", Bytes(300, 1)), HostFile("b.txt", Bytes(300, 2))});
    ASSERT_TRUE(Open(image));
    form.btnClearDiskClick();  // no answer given: No
    ASSERT_EQ(dialogs.OfKind("ask").size(), 1u);
    EXPECT_EQ(dialogs.OfKind("ask")[0].Caption, "Очистка диска");
    EXPECT_EQ(dialogs.OfKind("ask")[0].Text,
              "Все данные на диске будут полностью уничтожены без возможности восстановления. Вы уверены, что "
              "хотите этого?");
    EXPECT_EQ(form.FilesTable()->rowCount(), 2);

    dialogs.YesNoAnswers.push_back(true);
    form.btnClearDiskClick();
    EXPECT_EQ(form.FilesTable()->rowCount(), 0);
    EXPECT_TRUE(form.Changed());
    EXPECT_EQ(FreeSpace(form.WorkingImage()), 393u * 2048u);
    EXPECT_FALSE(Enabled("btnClearDisk"));
    EXPECT_FALSE(Enabled("btnExportFiles"));
    EXPECT_FALSE(Enabled("btnEraseFiles"));
    EXPECT_TRUE(Enabled("btnImportFiles"));
    // The system tracks are untouched.
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + kDirectory, form.WorkingImage().begin()));
}

TEST_F(DiskFormTest, CancelLeavesTheDriveImageUntouchedAndOkHandsBackTheCopy) {
    const auto input = NewDisk("edit.kdi", {HostFile("a.txt", Bytes(300, 1)), HostFile("b.txt", Bytes(300, 2))});
    const auto inputCopy = input;
    const std::string path = (dir / "disks" / "edit.kdi").string();
    std::vector<std::uint8_t> out;
    std::string outPath = "untouched";
    bool outChanged = false;

    // Erase a file, then Cancel.
    QTimer::singleShot(0, &form, [&] {
        EXPECT_TRUE(form.isVisible());
        ExpectCaption("Диск B", QString::fromStdString(path));
        dialogs.YesNoAnswers.push_back(true);
        form.btnEraseFilesClick();
        EXPECT_EQ(form.FilesTable()->rowCount(), 1);
        form.Button("btnCancel")->click();
    });
    EXPECT_FALSE(form.Edit(input.data(), input.size(), path, false, out, outPath, outChanged));
    EXPECT_EQ(input, inputCopy);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(outPath, "untouched");
    EXPECT_EQ(form.windowTitle(), "Диск B");

    // Esc is Cancel too.
    QTimer::singleShot(0, &form, [&] { QTest::keyClick(&form, Qt::Key_Escape); });
    EXPECT_FALSE(form.Edit(input.data(), input.size(), path, false, out, outPath, outChanged));

    // The same with OK: the changed copy comes back, flagged as changed.
    form.setWindowTitle("Диск C");
    QTimer::singleShot(0, &form, [&] {
        EXPECT_EQ(form.FilesTable()->rowCount(), 2);  // a fresh copy again
        dialogs.YesNoAnswers.push_back(true);
        form.btnEraseFilesClick();
        form.Button("btnOk")->click();
    });
    ASSERT_TRUE(form.Edit(input.data(), input.size(), path, false, out, outPath, outChanged));
    EXPECT_EQ(input, inputCopy);
    EXPECT_TRUE(outChanged);
    EXPECT_EQ(outPath, path);
    ASSERT_EQ(out.size(), input.size());
    EXPECT_EQ(ListFiles(out), std::vector<std::string>({"B.TXT"}));

    // OK without a change hands back an equal image and the caller's flag.
    QTimer::singleShot(0, &form, [&] { form.accept(); });
    ASSERT_TRUE(form.Edit(input.data(), input.size(), path, true, out, outPath, outChanged));
    EXPECT_EQ(out, input);
    EXPECT_TRUE(outChanged);
}

TEST_F(DiskFormTest, LoadingAnotherImageIntoTheWindow) {
    const auto first = NewDisk("first.kdi", {HostFile("a.txt", Bytes(300, 1))});
    const auto second = NewDisk("second.kdi", {HostFile("x.com", Bytes(128, 1)), HostFile("y.com", Bytes(128, 2))});
    const std::string firstPath = (dir / "disks" / "first.kdi").string();
    ASSERT_TRUE(Open(first, firstPath));
    flags.OpenDiskFolder = "/nowhere/";

    // Cancel: nothing.
    form.btnLoadDiskClick();
    auto opens = dialogs.OfKind("open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].Request.Title, "Загрузить образ диска из файла");
    EXPECT_EQ(opens[0].Request.Folder, "/nowhere/");
    EXPECT_EQ(opens[0].Request.FileName, "first.kdi");
    EXPECT_EQ(opens[0].Request.DefaultSuffix, "kdi");
    EXPECT_TRUE(opens[0].Request.Filter.contains("*.kdi"));
    EXPECT_EQ(form.Path(), QString::fromStdString(firstPath));

    const QString secondPath = Q(dir / "disks" / "second.kdi");
    dialogs.FileAnswers.push_back(secondPath);
    form.btnLoadDiskClick();
    EXPECT_EQ(form.WorkingImage(), second);
    EXPECT_EQ(Column(TDiskForm::kColName), QStringList({"X.COM", "Y.COM"}));
    EXPECT_EQ(form.SelectedRow(), 0);
    EXPECT_EQ(form.Path(), secondPath);
    EXPECT_FALSE(form.Changed());
    EXPECT_EQ(flags.OpenDiskFolder, (dir / "disks").string() + "/");
    ExpectCaption("Диск B", secondPath);

    // Not a disk: the window empties, only Load, OK and Cancel are left, and
    // OK hands nothing back.
    const fs::path junk = dir / "files" / "junk.kdi";
    WriteBinary(junk, Bytes(20, 1));
    dialogs.FileAnswers.push_back(Q(junk));
    form.btnLoadDiskClick();
    EXPECT_TRUE(form.WorkingImage().empty());
    EXPECT_TRUE(form.Changed());
    EXPECT_EQ(form.FilesTable()->rowCount(), 0);
    for (const char* b : {"btnSaveDisk", "btnImportFiles", "btnExportFiles", "btnEraseFiles", "btnClearDisk"})
        EXPECT_FALSE(Enabled(b)) << b;
    EXPECT_TRUE(Enabled("btnLoadDisk"));
    std::vector<std::uint8_t> out;
    std::string outPath;
    bool outChanged = false;
    EXPECT_FALSE(form.Finish(true, out, outPath, outChanged));

    // A file that cannot be read is reported; the window keeps what it had.
    dialogs.Log.clear();
    dialogs.FileAnswers.push_back(Q(dir / "files" / "vanished.kdi"));
    form.btnLoadDiskClick();
    ASSERT_EQ(dialogs.OfKind("message").size(), 1u);
    EXPECT_TRUE(dialogs.OfKind("message")[0].Text.contains("vanished.kdi"));
}

TEST_F(DiskFormTest, SavingTheImageToAFile) {
    const auto image = NewDisk("save.kdi", {HostFile("a.txt", Bytes(300, 1))});
    ASSERT_TRUE(Open(image, (dir / "disks" / "save.kdi").string(), true));
    dialogs.YesNoAnswers.push_back(true);
    form.btnEraseFilesClick();
    const auto edited = form.WorkingImage();

    const QString copy = Q(dir / "copy.kdi");
    dialogs.FileAnswers.push_back(copy);
    form.btnSaveDiskClick();
    auto saves = dialogs.OfKind("save");
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].Request.Title, "Сохранить образ диска в файл");
    EXPECT_EQ(saves[0].Request.FileName, "save.kdi");
    EXPECT_EQ(saves[0].Request.DefaultSuffix, "kdi");
    EXPECT_EQ(ReadBinary(dir / "copy.kdi"), edited);
    EXPECT_EQ(form.Path(), copy);
    EXPECT_EQ(flags.OpenDiskFolder, dir.Path().string() + "/");
    EXPECT_TRUE(form.Changed());  // saving a copy does not clear it
    ExpectCaption("Диск B", copy);

    // Replacing an existing file: asked, and No keeps it.
    const fs::path other = dir / "other.kdi";
    WriteBinary(other, {1, 2, 3});
    dialogs.Log.clear();
    dialogs.FileAnswers.push_back(Q(other));
    dialogs.YesNoAnswers.push_back(false);
    form.btnSaveDiskClick();
    ASSERT_EQ(dialogs.OfKind("ask").size(), 1u);
    EXPECT_EQ(dialogs.OfKind("ask")[0].Caption, "Сохранение диска в файл");
    EXPECT_EQ(dialogs.OfKind("ask")[0].Text, "Файл \"" + Q(other) + "\" уже существует. Переписать?");
    EXPECT_EQ(ReadBinary(other), (std::vector<std::uint8_t>{1, 2, 3}));
    dialogs.FileAnswers.push_back(Q(other));
    dialogs.YesNoAnswers.push_back(true);
    form.btnSaveDiskClick();
    EXPECT_EQ(ReadBinary(other), edited);
}

bool FolderIsWritable(const fs::path& folder) {
    const fs::path probe = folder / ".probe";
    std::ofstream out(probe);
    const bool ok = static_cast<bool>(out);
    out.close();
    fs::remove(probe);
    return ok;
}

TEST_F(DiskFormTest, AFailedWriteKeepsTheOldFileByteForByte) {
    const auto image = NewDisk("src.kdi", {HostFile("a.txt", Bytes(600, 1))});
    ASSERT_TRUE(Open(image, (dir / "disks" / "src.kdi").string()));
    const std::vector<std::uint8_t> old = {'o', 'l', 'd', 0, 0xFF};
    const QString before = form.Path();

    // A write-protected file is not replaced (the superuser included).
    const fs::path locked = dir / "locked.kdi";
    WriteBinary(locked, old);
    ::chmod(locked.c_str(), 0444);
    dialogs.FileAnswers.push_back(Q(locked));
    dialogs.YesNoAnswers.push_back(true);
    form.btnSaveDiskClick();
    auto messages = dialogs.OfKind("message");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Caption, "Сохранение диска в файл");
    EXPECT_EQ(messages[0].Text, "Не удалось удалить прежний файл \"" + Q(locked) + "\"!");
    EXPECT_EQ(messages[0].Icon, tIcon::Warning);
    EXPECT_EQ(ReadBinary(locked), old);
    EXPECT_EQ(form.Path(), before);  // the window's path is put back

    // A folder that takes no new files: the export's old file stays as it was.
    const fs::path ro = dir / "ro";
    fs::create_directory(ro);
    const fs::path exported = ro / "a.txt";
    WriteBinary(exported, old);
    ::chmod(ro.c_str(), 0555);
    fs::path target = exported;
    if (FolderIsWritable(ro)) {
        // The superuser writes into read-only folders; a path through a
        // plain file fails for everyone.
        std::cout << "[ NOTE     ] running as the superuser: the read-only folder is writable, "
                     "testing a folder that is a file instead\n";
        target = dir / "files" / "a.txt" / "a.txt";
    }
    dialogs.Log.clear();
    dialogs.FileAnswers.push_back(Q(target));
    dialogs.YesNoAnswers.push_back(true);
    form.btnExportFilesClick();
    messages = dialogs.OfKind("message");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Caption, "Экспорт файла с диска");
    EXPECT_EQ(messages[0].Text, "Не удалось записать файл \"" + Q(target) + "\"!");
    EXPECT_EQ(ReadBinary(exported), old);
    EXPECT_EQ(ReadBinary(dir / "files" / "a.txt"), Bytes(600, 1));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(ro)) ++entries;
    EXPECT_EQ(entries, 1u);  // no temporary file left behind
    ::chmod(ro.c_str(), 0755);
}

TEST_F(DiskFormTest, HostFilesDroppedOnTheTableAreImported) {
    const auto image = NewDisk("drop.kdi");
    ASSERT_TRUE(Open(image));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(Q(HostFile("one.txt", Bytes(100, 1)))),
                  QUrl::fromLocalFile(Q(HostFile("two.txt", Bytes(100, 2)))), QUrl("https://example.org/x.txt")});
    QWidget* viewport = form.FilesTable()->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(Column(TDiskForm::kColName), QStringList({"ONE.TXT", "TWO.TXT"}));
    EXPECT_TRUE(form.Changed());
    EXPECT_TRUE(dialogs.Log.empty());
    // Dropping does not move the dialogs' folder.
    EXPECT_EQ(flags.OpenFilesFolder, (dir / "files").string() + "/");

    // A window without a usable disk ignores drops.
    const std::vector<std::uint8_t> junk(10, 0);
    ASSERT_TRUE(Open(junk));
    QDropEvent again(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &again);
    EXPECT_TRUE(form.WorkingImage().empty());
    EXPECT_EQ(form.FilesTable()->rowCount(), 0);
}

}  // namespace
}  // namespace velgard::ui
