#pragma once
// The main window: the Korvet screen, the drive panel, the keyboard picture,
// the whole menu and the run control. The emulation loop runs inside the
// machine's Run, entered from the ResetTimer tick; it pumps this window's
// events once per frame, so every handler here runs either from the
// application's event loop (machine stopped) or from inside Run.
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "devices/EmuDevice.h"
#include "ui/Dialogs.h"
#include "ui/Flags.h"
#include "ui/audio/PortIO.h"

class QAction;
class QMenu;
class QToolButton;
class QLabel;
class QFrame;

namespace velgard {
class tComputer_I8080_Korvet;
class tKorvetKeyboard;
}  // namespace velgard

namespace velgard::ui {

class TQtHost;
class TScreenWidget;
class TBMMGDICanvas2D;
class TKeyboardView;
class tKeyRouter;
class TDriveBox;
class TDiskForm;
class TWhatsNewForm;
class TReadmeForm;
class TAboutForm;

// What the program start hands the window; tests replace the parts that
// reach the user's system.
struct tMainFormOptions {
    std::filesystem::path SettingsFile;  // empty: DefaultSettingsPath()
    tDialogs* Dialogs = nullptr;          // null: the real dialogs
    // The sound devices; null: the host's (SDL wave output, PC speaker).
    std::unique_ptr<tSoundDeviceFactory> SoundDevices;
    // The PC speaker's access rule; null: the system's.
    std::unique_ptr<tPortAccess> PortAccess;
    // Whether the application counts as active for the 5 ms timer; null:
    // QGuiApplication's state.
    std::function<bool()> IsActive;
};

class TMainForm final : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(tMainFormOptions options = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Puts the images into drives A, B, ... and closes their latches; a file
    // that cannot be loaded is reported. Used for the command line.
    void LoadImagesFromCommandLine(const QStringList& paths);

    // ---- run control (menu and toolbar handlers)
    void btnStartClick();
    void btnStopClick();
    void btnPauseClick();
    void ResetTimerTimer();
    void KeysTimerTimer();
    void UpdateControls();
    void MachineStateChanged();

    // ---- menu bookkeeping: a menu that opens pauses, closing resumes
    void MenuOpened();
    void MenuClosed();

    // ---- drives (tag = drive 0-3)
    void DriveDblClick(int drive, bool ctrlHeld);
    void mnuFloppyLoadClick(int drive);
    void mnuFloppySaveClick(int drive);
    void mnuFloppyUnloadClick(int drive);
    void mnuFloppyInfoClick(int drive);
    void mnuFloppyFilesClick(int drive);
    void mnuFloppyCloseClick(int drive);
    void DriveRightClick(int drive);
    // Drops of host files: onto a drive box, or onto the screen (drive A).
    void ImagesDropped(int drive, const QStringList& paths);
    // Loads a host file into a drive; a file of no image's size is refused
    // with the drive's message. True when the drive now holds it.
    bool LoadImageFromHost(int drive, const QString& path);

    // ---- other commands
    void mnuSyncClick();
    void mnuSaveStateClick();
    void mnuLoadStateClick();
    void mnuScreenshotClick();
    void mnuRomClick(int tag);
    void mnuGzuClick(int tag);
    void mnuCpuClick(int tag);
    void mnuKeyDownWithDig5Click();
    void mnuHideKeyboardClick();
    void mnuSoundNoneClick();
    void mnuSoundSpeakerClick();
    void mnuSoundWaveClick();
    void mnuUninstallSpeakerDriverClick();
    void KorvetScreenDblClick();
    // Saves the shown Korvet screen as a 512 x 256 PNG; false on failure.
    bool SaveScreenshot(const QString& path);

    // ---- for tests and the program start
    tComputer_I8080_Korvet& Machine() { return *machine_; }
    tKorvetKeyboard& Keyboard() { return *keyboard_; }
    tFlags& Flags() { return *flags_; }
    const std::filesystem::path& SettingsFile() const { return settingsFile_; }
    QAction* Action(const QString& objectName) const;
    QMenu* Menu(const QString& objectName) const;
    QToolButton* StartButton() const { return btnStart_; }
    QToolButton* PauseButton() const { return btnPause_; }
    QToolButton* StopButton() const { return btnStop_; }
    TScreenWidget* Screen() const { return screen_; }
    TKeyboardView* KeyboardImage() const { return keyboardView_.get(); }
    QWidget* UnderKeysPanel() const { return underKeysPanel_; }
    QWidget* CenterPanel() const { return centerPanel_; }
    TDriveBox* DriveBox(int drive) const { return driveBoxes_[static_cast<std::size_t>(drive & 3)]; }
    TDiskForm& DiskForm() { return *diskForm_; }
    tKeyRouter& KeyRouter() { return *keyRouter_; }
    tDialogs& Dialogs() { return *dialogs_; }
    bool ResetPending() const { return resetPending_; }
    bool MenuOpen() const { return menuOpen_; }
    bool PausedBeforeMenu() const { return pausedBeforeMenu_; }
    QTimer& ResetTimer() { return resetTimer_; }
    QTimer& KeysTimer() { return keysTimer_; }
    // Runs `action` with the machine paused (a modal window's rule): a
    // running machine is paused first and resumed afterwards, also when the
    // action throws; a paused machine stays paused.
    void WithPause(const std::function<void()>& action);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void BuildLayout();
    void BuildMenu();
    QAction* AddAction(QMenu* menu, const QString& name, const QString& caption,
                       const QKeySequence& shortcut = {});
    void SelectScreenCanvas(int kind);
    void KorvetScreenPaint();
    void ApplyKeyboardVisibility();
    void RepaintDrive(int drive);
    void StoreLatch(int drive);
    void StoreOutputMode();
    void ApplicationDeactivate();

    tMainFormOptions options_;
    std::unique_ptr<tDialogs> ownDialogs_;
    tDialogs* dialogs_ = nullptr;
    std::filesystem::path settingsFile_;
    std::unique_ptr<TQtHost> host_;
    std::unique_ptr<tPortAccess> portAccess_;

    // Owned, created in FormCreate in this order and destroyed in
    // FormDestroy in the reverse one (the canvas last).
    std::unique_ptr<tFlags> flags_;
    std::unique_ptr<tKorvetKeyboard> keyboard_;
    std::unique_ptr<tComputer_I8080_Korvet> machine_;
    std::unique_ptr<TBMMGDICanvas2D> canvas_;
    std::unique_ptr<tKeyRouter> keyRouter_;

    // The other windows, created once and kept until the end.
    std::unique_ptr<TWhatsNewForm> whatsNewForm_;
    std::unique_ptr<TReadmeForm> readmeForm_;
    std::unique_ptr<TAboutForm> aboutForm_;
    std::unique_ptr<TDiskForm> diskForm_;

    // Widgets (owned by Qt's parent chain).
    QWidget* topPanel_ = nullptr;
    QToolButton* btnStart_ = nullptr;
    QToolButton* btnPause_ = nullptr;
    QToolButton* btnStop_ = nullptr;
    std::array<TDriveBox*, 4> driveBoxes_{};
    QWidget* centerPanel_ = nullptr;
    TScreenWidget* screen_ = nullptr;
    QWidget* underKeysPanel_ = nullptr;
    std::unique_ptr<TKeyboardView> keyboardView_;

    std::array<QAction*, 4> floppySave_{}, floppyInfo_{}, floppyClose_{};
    std::array<QAction*, 3> romItems_{};
    std::array<QAction*, 2> gzuItems_{}, cpuItems_{};

    QTimer keysTimer_;
    QTimer resetTimer_;
    QTimer resizeTimer_;
    int keysTimerTag_ = 0;

    bool menuOpen_ = false;
    bool pausedBeforeMenu_ = true;
    bool resetPending_ = false;
    bool startShowsReset_ = false;
    bool destroyed_ = false;
    bool closing_ = false;
};

}  // namespace velgard::ui
