// The drive panel and the "Дисководы" menu of the main window: load, save,
// unload, latch, info and the disk manager for the drives, changed disks on
// unload and at exit, drops and the command line.
#include <QAction>
#include <QApplication>
#include <QTimer>
#include <fstream>

#include <gtest/gtest.h>

#include "disk/FDC_WD279X.h"
#include "machine/EmuKorvet.h"
#include "support/MainFormFixture.h"
#include "ui/DiskForm.h"
#include "ui/DriveBox.h"

namespace velgard::ui::test {
namespace {

using velgard::test::ReadBinary;
using velgard::test::TempDir;
using velgard::test::WriteBinary;

const std::filesystem::path kDemo = std::filesystem::path(VELGARD_BINARY_DIR) / "firmware" / "demo.kdi";

class DriveMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(kDemo));
        disk = dir / "disk.kdi";
        std::filesystem::copy_file(kDemo, disk);
        form = MakeMainForm(dialogs, dir.Path());
    }
    QString Disk() const { return QString::fromStdString(disk.string()); }
    // Marks the drive's image changed, as a write by the machine would.
    void Change(int drive) {
        tFCD_WD279X& fdc = form->Machine().GetMemory().Fdc();
        std::vector<std::uint8_t> image(fdc.ImageData(drive), fdc.ImageData(drive) + fdc.ImageSize(drive));
        image[image.size() - 1] ^= 0x5A;
        const std::string name = fdc.FileName(drive);
        fdc.InsertImage(drive, image.data(), image.size(), name, true);
    }

    TempDir dir;
    std::filesystem::path disk;
    tScriptedDialogs dialogs;
    std::unique_ptr<TMainForm> form;
};

TEST_F(DriveMenuTest, LoadThroughTheDialogSetsLatchPictureHintAndSettings) {
    form->Flags().OpenDiskFolder = "/nonexistent-start";
    dialogs.FileAnswers.push_back(Disk());
    form->DriveDblClick(2, false);
    const auto opens = dialogs.OfKind("open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].Caption, "Загрузить диск C");
    EXPECT_EQ(opens[0].Request.Folder, "/nonexistent-start");
    EXPECT_TRUE(opens[0].Request.Filter.contains("*.kdi"));
    EXPECT_TRUE(form->Machine().HasImage(2));
    EXPECT_TRUE(form->Machine().IsLatchClosed(2));
    EXPECT_TRUE(form->Action("mnuFloppyCClose")->isChecked());
    EXPECT_EQ(form->DriveBox(2)->CurrentPicture(), 0);
    EXPECT_EQ(form->DriveBox(2)->toolTip(), Disk());
    EXPECT_TRUE(form->Action("mnuFloppyCSave")->isEnabled());
    EXPECT_FALSE(form->Action("mnuFloppyASave")->isEnabled());
    EXPECT_EQ(form->Flags().DiskImage[2], disk.string());
    EXPECT_TRUE(form->Flags().DriveClosed[2]);
    EXPECT_EQ(form->Flags().OpenDiskFolder, dir.Path().string());
    // Cancel changes nothing.
    form->mnuFloppyLoadClick(1);
    EXPECT_FALSE(form->Machine().HasImage(1));
}

TEST_F(DriveMenuTest, LatchFromTheMenuIsStoredFromTheBoxItIsNot) {
    dialogs.FileAnswers.push_back(Disk());
    form->mnuFloppyLoadClick(0);
    form->DriveRightClick(0);
    EXPECT_FALSE(form->Machine().IsLatchClosed(0));
    EXPECT_EQ(form->DriveBox(0)->CurrentPicture(), 1);
    EXPECT_FALSE(form->Action("mnuFloppyAClose")->isChecked());
    EXPECT_TRUE(form->Flags().DriveClosed[0]) << "the right click leaves the settings alone";
    form->mnuFloppyCloseClick(0);
    EXPECT_TRUE(form->Machine().IsLatchClosed(0));
    form->mnuFloppyCloseClick(0);
    EXPECT_FALSE(form->Flags().DriveClosed[0]);
    // An empty drive toggles between pictures 3 and 2.
    EXPECT_EQ(form->DriveBox(3)->CurrentPicture(), 3);
    form->DriveRightClick(3);
    EXPECT_EQ(form->DriveBox(3)->CurrentPicture(), 2);
}

TEST_F(DriveMenuTest, SaveUnloadAndInfo) {
    dialogs.FileAnswers.push_back(Disk());
    form->mnuFloppyLoadClick(1);
    const auto copy = dir / "copy.kdi";
    dialogs.FileAnswers.push_back(QString::fromStdString(copy.string()));
    form->mnuFloppySaveClick(1);
    EXPECT_EQ(dialogs.OfKind("save").back().Caption, "Сохранить диск B");
    EXPECT_EQ(ReadBinary(copy), ReadBinary(kDemo));
    EXPECT_EQ(form->Machine().FileName(1), copy.string());

    form->mnuFloppyInfoClick(1);
    const auto messages = dialogs.OfKind("message");
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().Caption, "Информация о диске B");
    EXPECT_EQ(messages.back().Icon, tIcon::Information);
    EXPECT_TRUE(messages.back().Text.contains("Адрес загрузки ОС"));

    form->mnuFloppyUnloadClick(1);
    EXPECT_FALSE(form->Machine().HasImage(1));
    EXPECT_FALSE(form->Machine().IsLatchClosed(1));
    EXPECT_EQ(form->DriveBox(1)->CurrentPicture(), 3);
    EXPECT_TRUE(form->Flags().DiskImage[1].empty());
    EXPECT_TRUE(form->DriveBox(1)->toolTip().isEmpty());
    EXPECT_FALSE(form->Action("mnuFloppyBSave")->isEnabled());
    // Unloading an empty drive leaves it empty and open.
    form->mnuFloppyUnloadClick(1);
    EXPECT_FALSE(form->Machine().HasImage(1));
}

TEST_F(DriveMenuTest, AChangedDiskIsAskedAboutOnUnload) {
    dialogs.FileAnswers.push_back(Disk());
    form->mnuFloppyLoadClick(0);
    const auto before = ReadBinary(disk);
    Change(0);
    dialogs.YesNoAnswers.push_back(false);
    form->mnuFloppyUnloadClick(0);
    auto asks = dialogs.OfKind("ask");
    ASSERT_EQ(asks.size(), 1u);
    EXPECT_EQ(asks[0].Caption, "Сохранение изменений");
    EXPECT_EQ(asks[0].Text, "Сохранить произведенные на диске A изменения в файл \"" + Disk() + "\"?");
    EXPECT_EQ(ReadBinary(disk), before) << "No keeps the file";
    EXPECT_FALSE(form->Machine().HasImage(0));

    dialogs.FileAnswers.push_back(Disk());
    form->mnuFloppyLoadClick(0);
    Change(0);
    dialogs.YesNoAnswers.push_back(true);
    form->mnuFloppyUnloadClick(0);
    EXPECT_NE(ReadBinary(disk), before) << "Yes writes the changes";
}

TEST_F(DriveMenuTest, AChangedDiskIsAskedAboutAtExit) {
    for (bool answer : {false, true}) {
        dialogs.FileAnswers.push_back(Disk());
        form->mnuFloppyLoadClick(3);
        const auto before = ReadBinary(disk);
        Change(3);
        dialogs.Log.clear();
        dialogs.YesNoAnswers.push_back(answer);
        form.reset();
        ASSERT_EQ(dialogs.OfKind("ask").size(), 1u);
        EXPECT_EQ(dialogs.OfKind("ask")[0].Caption, "Сохранение изменений");
        EXPECT_EQ(ReadBinary(disk) != before, answer);
        form = MakeMainForm(dialogs, dir.Path());
        // The disk comes back from the settings, latched as it was.
        EXPECT_TRUE(form->Machine().HasImage(3));
        EXPECT_TRUE(form->Machine().IsLatchClosed(3));
    }
}

TEST_F(DriveMenuTest, DropsAndTheCommandLine) {
    const auto small = dir / "small.kdi";
    WriteBinary(small, std::vector<std::uint8_t>(1000, 0xE5));
    form->ImagesDropped(1, {Disk()});
    EXPECT_TRUE(form->Machine().HasImage(1));
    EXPECT_EQ(form->DriveBox(1)->CurrentPicture(), 0);
    form->ImagesDropped(2, {QString::fromStdString(small.string())});
    EXPECT_FALSE(form->Machine().HasImage(2));
    ASSERT_FALSE(dialogs.OfKind("message").empty());
    EXPECT_EQ(dialogs.OfKind("message").back().Text, "Формат данного образа диска пока неподдерживается!");
    // Several files fill the drives from the one they were dropped on.
    const auto second = dir / "second.kdi";
    std::filesystem::copy_file(kDemo, second);
    form->ImagesDropped(2, {Disk(), QString::fromStdString(second.string()), Disk()});
    EXPECT_TRUE(form->Machine().HasImage(2));
    EXPECT_EQ(form->Machine().FileName(3), second.string());
    // The command line: A, B, ...
    form->mnuFloppyUnloadClick(0);
    form->LoadImagesFromCommandLine({QString::fromStdString(second.string())});
    EXPECT_EQ(form->Machine().FileName(0), second.string());
    EXPECT_TRUE(form->Machine().IsLatchClosed(0));
}

TEST_F(DriveMenuTest, CtrlDoubleClickOpensTheManagerOnThatDrive) {
    dialogs.FileAnswers.push_back(Disk());
    form->mnuFloppyLoadClick(2);
    QString title;
    bool modal = false;
    QTimer::singleShot(50, [&] {
        auto* manager = qobject_cast<TDiskForm*>(QApplication::activeModalWidget());
        if (manager) {
            modal = true;
            title = manager->windowTitle();
            manager->reject();
        }
    });
    const auto opensBefore = dialogs.OfKind("open").size();
    form->DriveDblClick(2, true);
    EXPECT_TRUE(modal);
    EXPECT_TRUE(title.startsWith("Диск C")) << title.toStdString();
    EXPECT_EQ(dialogs.OfKind("open").size(), opensBefore) << "no load dialog";
    // An empty drive shows no manager.
    form->mnuFloppyFilesClick(1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace velgard::ui::test
