// The main window: menu, run control, title, sizing, settings at exit, the
// screen and the drive commands, with the firmware really running.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>
#include <fstream>

#include <gtest/gtest.h>

#include "devices/SoundChannel.h"
#include "machine/EmuKorvet.h"
#include "machine/KorvetKeyboard.h"
#include "support/MainFormFixture.h"
#include "ui/ScreenCanvas.h"

namespace velgard::ui::test {
namespace {

using velgard::test::TempDir;

// The text screen's row r as the machine's character codes, trailing blanks cut.
std::string TextRow(tComputer_I8080_Korvet& machine, int r) {
    std::string s;
    for (int c = 0; c < 64; ++c) s += static_cast<char>(machine.GetMemory().CellCode(r * 64 + c));
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

bool ScreenContains(tComputer_I8080_Korvet& machine, const std::string& text) {
    for (int r = 0; r < 16; ++r)
        if (TextRow(machine, r).find(text) != std::string::npos) return true;
    return false;
}

struct MenuItem {
    const char* name;
    const char* caption;
    QKeySequence shortcut;
};

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override { form = MakeMainForm(dialogs, dir.Path()); }
    void UseRom(int rom) { form->mnuRomClick(rom); }

    TempDir dir;
    tScriptedDialogs dialogs;
    std::unique_ptr<TMainForm> form;
};

TEST_F(MainFormTest, MenuHasEveryCaptionAndShortcut) {
    const std::vector<std::pair<const char*, const char*>> menus = {
        {"mnuEmulation", "Эмуляция"}, {"mnuComputer", "Компьютер"}, {"mnuFloppy", "Дисководы"},
        {"mnuKeyboard", "Клавиатура"}, {"mnuSound", "Звук"},        {"mnuHelp", "Справка"}};
    QList<QAction*> bar = form->menuBar()->actions();
    ASSERT_EQ(bar.size(), static_cast<int>(menus.size()));
    for (std::size_t i = 0; i < menus.size(); ++i) {
        EXPECT_EQ(bar[static_cast<int>(i)]->text(), QString(menus[i].second));
        ASSERT_NE(form->Menu(menus[i].first), nullptr) << menus[i].first;
    }
    const std::vector<MenuItem> items = {
        {"mnuStart", "Старт", QKeySequence(Qt::Key_F11)},
        {"mnuStop", "Стоп", {}},
        {"mnuPause", "Пауза", {}},
        {"mnuSync", "Синхронизация", {}},
        {"mnuSaveState", "Сохранить состояние", QKeySequence(Qt::Key_F9)},
        {"mnuLoadState", "Загрузить состояние", QKeySequence(Qt::Key_F12)},
        {"mnuScreenshot", "Снимок экрана…", {}},
        {"mnuExit", "Выход", {}},
        {"mnuRom0", "ПЗУ \"Корвет 2.0\"+BAS", {}},
        {"mnuRom1", "ПЗУ \"Корвет 1.1\"+BAS", {}},
        {"mnuRom2", "ПЗУ \"Контур 2.0\"", {}},
        {"mnuGzu4", "ГЗУ 4*48Кб=192Кб", {}},
        {"mnuGzu1", "ГЗУ 1*48Кб=48Кб", {}},
        {"mnuCPUI8080", "ЦПУ i8080", {}},
        {"mnuCPUZ80", "ЦПУ Z80", {}},
        {"mnuKeyDownWithDig5", "Комбинированная \"Стрелка Вниз\"", {}},
        {"mnuHideKeyboard", "Скрывать в полноэкранном режиме", {}},
        {"mnuSoundNone", "Отключен", {}},
        {"mnuSoundWave", "Wave Out", {}},
        {"mnuUninstallSpeakerDriver", "Удалить драйвер PC Speaker", {}},
        {"mnuWhatsNew", "Что нового ?", {}},
        {"mnuReadme", "!!!README!!!", {}},
        {"mnuAbout", "О программе", {}},
    };
    for (const MenuItem& item : items) {
        QAction* a = form->Action(item.name);
        ASSERT_NE(a, nullptr) << item.name;
        EXPECT_EQ(a->text(), QString(item.caption)) << item.name;
        EXPECT_EQ(a->shortcut(), item.shortcut) << item.name;
    }
    EXPECT_TRUE(form->Action("mnuSync")->isChecked());
    // Each drive's submenu, in its order, with the separator between B and C.
    QList<QAction*> floppy = form->Menu("mnuFloppy")->actions();
    ASSERT_EQ(floppy.size(), 5);
    EXPECT_TRUE(floppy[2]->isSeparator());
    for (const char* letter : {"A", "B", "C", "D"}) {
        QMenu* sub = form->Menu(QString("mnuFloppy") + letter);
        ASSERT_NE(sub, nullptr);
        EXPECT_EQ(sub->title(), QString("Диск ") + letter);
        QStringList captions;
        for (QAction* a : sub->actions()) captions << (a->isSeparator() ? "—" : a->text());
        EXPECT_EQ(captions, QStringList({"Загрузить из файла", "Сохранить в файл", "Выгрузить", "—",
                                         "Информация о диске", "Менеджер диска", "Защелка"}));
        EXPECT_FALSE(form->Action(QString("mnuFloppy") + letter + "Info")->isVisible());
    }
}

TEST_F(MainFormTest, StoppedControlsAndTitle) {
    form->KeysTimerTimer();
    EXPECT_EQ(form->windowTitle(), "Velgard");
    EXPECT_TRUE(form->StartButton()->isEnabled());
    EXPECT_FALSE(form->PauseButton()->isEnabled());
    EXPECT_FALSE(form->StopButton()->isEnabled());
    EXPECT_EQ(form->StartButton()->text(), "Старт");
    EXPECT_FALSE(form->Action("mnuSaveState")->isEnabled());
    EXPECT_TRUE(form->Action("mnuRom0")->isEnabled());
    EXPECT_TRUE(form->Action("mnuCPUZ80")->isEnabled());
    // Defaults: ROM set 1, four pages, the i8080.
    EXPECT_TRUE(form->Action("mnuRom1")->isChecked());
    EXPECT_TRUE(form->Action("mnuGzu4")->isChecked());
    EXPECT_TRUE(form->Action("mnuCPUI8080")->isChecked());
    // Without sound devices nothing but "Отключен" is checked, and the
    // speaker item offers to install access.
    EXPECT_TRUE(form->Action("mnuSoundNone")->isChecked());
    EXPECT_EQ(form->Action("mnuSoundSpeaker")->text(), "PC Speaker (установить и активизировать драйвер)");
    EXPECT_FALSE(form->Action("mnuSoundWave")->isEnabled());
}

TEST_F(MainFormTest, StartPauseMenuResetAndStopWithTheFirmware) {
    UseRom(2);
    std::vector<std::string> log;
    std::uint64_t pausedAt = 0;
    QElapsedTimer pauseClock;
    tRunScript script(*form);
    script
        .When([&] { return form->Machine().Running() && ScreenContains(form->Machine(), "Velgard 1.0"); },
              [&] {
                  // Running: Start reads "Сброс", the machine choices are greyed.
                  EXPECT_EQ(form->Action("mnuStart")->text(), "Сброс");
                  EXPECT_EQ(form->StartButton()->text(), "Сброс");
                  EXPECT_TRUE(form->StopButton()->isEnabled());
                  EXPECT_TRUE(form->PauseButton()->isEnabled());
                  EXPECT_FALSE(form->Action("mnuRom0")->isEnabled());
                  EXPECT_FALSE(form->Action("mnuCPUZ80")->isEnabled());
                  EXPECT_FALSE(form->Action("mnuGzu1")->isEnabled());
                  EXPECT_TRUE(form->Action("mnuSaveState")->isEnabled());
                  form->KeysTimerTimer();
                  EXPECT_TRUE(form->windowTitle().startsWith("Velgard (FPS=")) << form->windowTitle().toStdString();
                  EXPECT_TRUE(form->windowTitle().endsWith(", Sound=Off)")) << form->windowTitle().toStdString();
                  log.push_back("banner");
                  form->btnPauseClick();
              })
        .AfterFrames(0,
                     [&] {
                         // A user pause greys Start and Stop.
                         EXPECT_TRUE(form->Machine().Paused());
                         EXPECT_TRUE(form->PauseButton()->isChecked());
                         EXPECT_TRUE(form->Action("mnuPause")->isChecked());
                         EXPECT_FALSE(form->StartButton()->isEnabled());
                         EXPECT_FALSE(form->StopButton()->isEnabled());
                         EXPECT_FALSE(form->Action("mnuStart")->isEnabled());
                         form->KeysTimerTimer();
                         EXPECT_EQ(form->windowTitle(), "Velgard (Пауза)");
                         pausedAt = form->Machine().FramesCompleted();
                         pauseClock.start();
                     })
        .When([&] { return pauseClock.elapsed() >= 200; },
              [&] {
                  // The loop kept pumping events for 200 ms, without a frame.
                  EXPECT_EQ(form->Machine().FramesCompleted(), pausedAt) << "a paused machine runs on";
                  form->btnPauseClick();
                  log.push_back("paused");
              })
        .AfterFrames(5,
                     [&] {
                         EXPECT_FALSE(form->Machine().Paused());
                         EXPECT_FALSE(form->PauseButton()->isChecked());
                         // A menu that opens pauses; Start and Stop stay usable in it.
                         form->Menu("mnuEmulation")->popup(QPoint(0, 0));
                         EXPECT_TRUE(form->MenuOpen());
                         EXPECT_TRUE(form->Machine().Paused());
                         EXPECT_TRUE(form->StartButton()->isEnabled());
                         EXPECT_TRUE(form->StopButton()->isEnabled());
                         form->Menu("mnuEmulation")->hide();
                         log.push_back("menu");
                     })
        .When([&] { return !form->MenuOpen(); },
              [&] {
                  EXPECT_FALSE(form->Machine().Paused()) << "closing the menu resumes";
                  // Reset: a stop, then a fresh power-on from the timer.
                  form->btnStartClick();
                  EXPECT_TRUE(form->ResetPending());
                  log.push_back("reset");
              })
        .When([&] { return !form->ResetPending() && form->Machine().Running(); },
              [&] {
                  EXPECT_EQ(form->StartButton()->text(), "Сброс");
                  log.push_back("restarted");
              })
        .AfterFrames(30, [&] {
            EXPECT_TRUE(ScreenContains(form->Machine(), "Velgard 1.0"));
            form->btnStopClick();
        });
    ASSERT_TRUE(script.Run());
    EXPECT_EQ(log, (std::vector<std::string>{"banner", "paused", "menu", "reset", "restarted"}));
    EXPECT_FALSE(form->Machine().Running());
    EXPECT_EQ(form->StartButton()->text(), "Старт");
    EXPECT_FALSE(form->StopButton()->isEnabled());
    form->KeysTimerTimer();
    EXPECT_EQ(form->windowTitle(), "Velgard");
    // Stopped: the screen is black again.
    EXPECT_EQ(form->Screen()->Picture(), nullptr);
}

TEST_F(MainFormTest, AMenuCommandChosenWhilePausedByTheMenuTakesEffect) {
    UseRom(2);
    tRunScript script(*form);
    script
        .AfterFrames(10,
                     [&] {
                         form->Menu("mnuEmulation")->popup(QPoint(0, 0));
                         EXPECT_TRUE(form->Machine().Paused());
                         // Choosing "Пауза" in the menu: the menu closes,
                         // then the command pauses for good.
                         form->Menu("mnuEmulation")->hide();
                         form->Action("mnuPause")->trigger();
                     })
        .AfterFrames(0,
                     [&] {
                         QTest::qWait(50);
                         EXPECT_FALSE(form->MenuOpen());
                         EXPECT_TRUE(form->Machine().Paused());
                         EXPECT_TRUE(form->Action("mnuPause")->isChecked());
                         form->Action("mnuStop")->setEnabled(true);
                         form->btnStopClick();
                     });
    ASSERT_TRUE(script.Run());
}

TEST_F(MainFormTest, AModalWindowPausesTheMachineWhileItIsOpen) {
    UseRom(2);
    bool pausedWhileOpen = false;
    QString shown;
    tRunScript script(*form);
    script
        .AfterFrames(5,
                     [&] {
                         QTimer::singleShot(50, [&] {
                             if (QWidget* modal = QApplication::activeModalWidget()) {
                                 shown = modal->windowTitle();
                                 pausedWhileOpen = form->Machine().Paused();
                                 static_cast<QDialog*>(modal)->accept();
                             }
                         });
                         form->Action("mnuAbout")->trigger();
                     })
        .AfterFrames(5, [&] {
            EXPECT_FALSE(form->Machine().Paused()) << "resumed after the window closed";
            form->btnStopClick();
        });
    ASSERT_TRUE(script.Run());
    EXPECT_TRUE(pausedWhileOpen);
    EXPECT_EQ(shown, " ");
}

TEST_F(MainFormTest, KeysReachTheMachineAndTheMonitorAnswers) {
    UseRom(2);
    tRunScript script(*form);
    // Each key is held for a few frames, as a person would.
    script.When([&] { return ScreenContains(form->Machine(), "Velgard 1.0"); },
                [&] { QTest::keyPress(form->Screen(), Qt::Key_H); })
        .AfterFrames(4, [&] { QTest::keyRelease(form->Screen(), Qt::Key_H); })
        .AfterFrames(4, [&] { QTest::keyPress(form->Screen(), Qt::Key_Return); })
        .AfterFrames(4, [&] { QTest::keyRelease(form->Screen(), Qt::Key_Return); })
        .AfterFrames(25, [&] { form->btnStopClick(); });
    // A key press reaches the matrix while it is held.
    QTest::keyPress(form->Screen(), Qt::Key_D);
    EXPECT_TRUE(form->Keyboard().IsPressed(0, 4));
    QTest::keyRelease(form->Screen(), Qt::Key_D);
    EXPECT_FALSE(form->Keyboard().IsPressed(0, 4));
    ASSERT_TRUE(script.Run());
    // The monitor listed its commands after H.
    int rows = 0;
    for (int r = 0; r < 16; ++r) rows += TextRow(form->Machine(), r).empty() ? 0 : 1;
    EXPECT_GT(rows, 4);
}

TEST_F(MainFormTest, MachineChoicesChangeOnlyWhileStoppedAndAreSavedAtExit) {
    form->Action("mnuRom0")->trigger();
    form->Action("mnuGzu1")->trigger();
    form->Action("mnuCPUZ80")->trigger();
    EXPECT_TRUE(form->Action("mnuRom0")->isChecked());
    EXPECT_FALSE(form->Action("mnuRom1")->isChecked());
    EXPECT_TRUE(form->Action("mnuGzu1")->isChecked());
    EXPECT_TRUE(form->Action("mnuCPUZ80")->isChecked());
    EXPECT_EQ(form->Machine().CpuKind(), 1);
    form->Action("mnuKeyDownWithDig5")->trigger();
    EXPECT_TRUE(form->Flags().KeyDownEx);
    form.reset();
    std::ifstream in(dir / "velgard.ini");
    const std::string ini((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(ini.find("ROMIndex=0"), std::string::npos) << ini;
    EXPECT_NE(ini.find("GZUPagesCount=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("CPUKind=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("KeyDownEx=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[Window]"), std::string::npos) << ini;
    // And a new window starts with them.
    form = MakeMainForm(dialogs, dir.Path());
    EXPECT_TRUE(form->Action("mnuRom0")->isChecked());
    EXPECT_EQ(form->Machine().CpuKind(), 1);
    EXPECT_TRUE(form->Action("mnuKeyDownWithDig5")->isChecked());
}

TEST_F(MainFormTest, SnapshotFromTheMenuAndAScreenshot) {
    UseRom(2);
    const QString shot = QString::fromStdString((dir / "screen.png").string());
    tRunScript script(*form);
    script.When([&] { return ScreenContains(form->Machine(), "Velgard 1.0"); },
                [&] { form->Action("mnuSaveState")->trigger(); })
        .When([&] { return form->Machine().LastSaveResult() != tComputer_I8080_Korvet::StateResult::None; },
              [&] {
                  EXPECT_EQ(form->Machine().LastSaveResult(), tComputer_I8080_Korvet::StateResult::Ok);
                  form->Action("mnuLoadState")->trigger();
              })
        .When([&] { return form->Machine().LastLoadResult() != tComputer_I8080_Korvet::StateResult::None; },
              [&] {
                  EXPECT_EQ(form->Machine().LastLoadResult(), tComputer_I8080_Korvet::StateResult::Ok);
                  dialogs.FileAnswers.push_back(shot);
                  form->Action("mnuScreenshot")->trigger();
                  form->btnStopClick();
              });
    ASSERT_TRUE(script.Run());
    EXPECT_TRUE(std::filesystem::exists(dir / "velgard.sav"));
    QImage image(shot);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(512, 256));
    // The banner's first row holds lit pixels.
    int lit = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 512; ++x) lit += (image.pixel(x, y) & 0xFFFFFF) != 0 ? 1 : 0;
    EXPECT_GT(lit, 100);
    const auto saves = dialogs.OfKind("save");
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_TRUE(saves[0].Request.FileName.startsWith("korvet-"));
    EXPECT_TRUE(saves[0].Request.FileName.endsWith(".png"));
}

TEST_F(MainFormTest, TheScreenShowsTheFrameStretchedAndBlackWhenStopped) {
    UseRom(2);
    form->resize(1100, 900);
    form->show();
    QImage grabbed;
    tRunScript script(*form);
    script.When([&] { return ScreenContains(form->Machine(), "Velgard 1.0"); },
                [&] {
                    form->Screen()->repaint();
                    grabbed = form->Screen()->Grab();
                    form->btnStopClick();
                });
    ASSERT_TRUE(script.Run());
    ASSERT_FALSE(grabbed.isNull());
    EXPECT_GT(form->Screen()->width(), 512);
    // Scaled without smoothing: only the Korvet's colours appear.
    QSet<QRgb> colours;
    for (int y = 0; y < grabbed.height(); y += 3)
        for (int x = 0; x < grabbed.width(); x += 3) colours.insert(grabbed.pixel(x, y));
    EXPECT_LE(colours.size(), 16);
    EXPECT_GE(colours.size(), 2);
    QImage black = form->Screen()->Grab();
    for (int y = 0; y < black.height(); y += 7)
        for (int x = 0; x < black.width(); x += 7) ASSERT_EQ(black.pixel(x, y) & 0xFFFFFF, 0u);
}

TEST(ScreenRectTest, SnapsBackUnlessItGrowsByMoreThanEightPixels) {
    EXPECT_EQ(ScreenRect(518, 262), QRect(3, 3, 512, 256));
    // 1000 x 270: scale 264/256, width 528 stays, height snaps back.
    EXPECT_EQ(ScreenRect(1000, 270), QRect(500 - 264, 7, 528, 256));
    // Large: the smaller ratio, centred.
    // 1920 x 1000: the width's ratio 1914/512 is the smaller one.
    EXPECT_EQ(ScreenRect(1920, 1000), QRect(960 - 957, 500 - 478, 1914, 957));
}

TEST_F(MainFormTest, DoubleClickTogglesFullScreenAndTheKeyboardRule) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_TRUE(form->UnderKeysPanel()->isVisibleTo(form.get()));
    form->KorvetScreenDblClick();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->isFullScreen(); }, 2000));
    QTest::qWait(20);
    EXPECT_TRUE(form->isFullScreen());
    EXPECT_FALSE(form->UnderKeysPanel()->isVisibleTo(form.get())) << "hidden in full screen by default";
    // "Скрывать в полноэкранном режиме" unchecked: the keyboard shows.
    EXPECT_TRUE(form->Action("mnuHideKeyboard")->isChecked());
    form->mnuHideKeyboardClick();
    EXPECT_FALSE(form->Action("mnuHideKeyboard")->isChecked());
    EXPECT_TRUE(form->UnderKeysPanel()->isVisibleTo(form.get()));
    form->KorvetScreenDblClick();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isFullScreen(); }, 2000));
}

}  // namespace
}  // namespace velgard::ui::test

namespace velgard::ui::test {
namespace {

TEST(MainFormSound, TheSpeakerOffersItsAccessRuleAndReportsWhyItFailed) {
    velgard::test::TempDir dir;
    tScriptedDialogs dialogs;
    auto form = MakeMainForm(dialogs, dir.Path());
    // No speaker device in the test's folders: the rule has nothing to open.
    dialogs.YesNoAnswers = {false};
    form->Action("mnuSoundSpeaker")->trigger();
    ASSERT_EQ(dialogs.OfKind("ask").size(), 1u);
    EXPECT_EQ(dialogs.OfKind("ask")[0].Caption, "Вопрос");
    EXPECT_TRUE(dialogs.OfKind("ask")[0].Text.startsWith("Вы уверены, что хотите установать драйвер"));
    EXPECT_TRUE(dialogs.OfKind("message").empty()) << "No installs nothing";
    EXPECT_TRUE(form->Action("mnuSoundNone")->isChecked());

    dialogs.YesNoAnswers = {true};
    form->Action("mnuSoundSpeaker")->trigger();
    ASSERT_EQ(dialogs.OfKind("message").size(), 1u);
    EXPECT_EQ(dialogs.OfKind("message")[0].Text, "Не удалось установить драйвер! Не найден файл драйвера userport.sys");
    EXPECT_EQ(form->Flags().Device, 0);
    EXPECT_FALSE(form->Action("mnuUninstallSpeakerDriver")->isEnabled());

    dialogs.Log.clear();
    dialogs.YesNoAnswers = {true};
    form->mnuUninstallSpeakerDriverClick();
    ASSERT_EQ(dialogs.OfKind("message").size(), 1u);
    EXPECT_EQ(dialogs.OfKind("message")[0].Text,
              "Драйвер деинсталлировать не удалось! Возможно, у Вас нет на это прав в системе.");
    EXPECT_TRUE(form->Action("mnuSoundNone")->isChecked());
}

}  // namespace
}  // namespace velgard::ui::test
