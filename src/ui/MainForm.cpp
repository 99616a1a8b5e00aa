#include "ui/MainForm.h"
#include "ui/QtChild.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSaveFile>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "devices/EmuDevice.h"
#include "devices/SoundChannel.h"
#include "devices/TIMER_I8253.h"
#include "disk/FDC_WD279X.h"
#include "graphics/BMMBitmap.h"
#include "machine/EmuKorvet.h"
#include "machine/KorvetKeyboard.h"
#include "ui/DiskForm.h"
#include "ui/DriveBox.h"
#include "ui/Glyphs.h"
#include "ui/InfoForms.h"
#include "ui/KeyRouter.h"
#include "ui/KeyboardView.h"
#include "ui/QtHost.h"
#include "ui/ScreenCanvas.h"
#include "ui/audio/HostSoundDevices.h"
#include "ui/audio/PortIO.h"

namespace velgard::ui {

namespace {

constexpr int kTopPanelHeight = 29;
constexpr int kUnderKeysHeight = 180;
constexpr int kKeyboardWidth = 512;
constexpr int kKeyboardHeight = 174;
constexpr int kClientWidth = 518;
constexpr int kCenterHeight = 262;

const char* const kDriveLetters[4] = {"A", "B", "C", "D"};

const QString kDiskFilter = QStringLiteral("Образы дисков Корвета (*.kdi);;Все файлы (*)");

QString DriveLetter(int drive) { return QString::fromLatin1(kDriveLetters[drive & 3]); }

QString FolderOf(const QString& path) { return QFileInfo(path).absolutePath(); }

tTimer_i8254_SoundChannel* SoundOf(tComputer_I8080_Korvet& machine) { return machine.GetMemory().Sound(); }

// Sets a property only when it differs, so that nothing flickers.
void SetEnabled(QAction* a, bool on) {
    if (a && a->isEnabled() != on) a->setEnabled(on);
}
void SetEnabled(QWidget* w, bool on) {
    if (w && w->isEnabled() != on) w->setEnabled(on);
}
void SetChecked(QAction* a, bool on) {
    if (a && a->isChecked() != on) a->setChecked(on);
}
void SetText(QAction* a, const QString& text) {
    if (a && a->text() != text) a->setText(text);
}

// The centre panel: lays the screen out by the sizing rule at every resize.
class TCenterPanel final : public QWidget {
public:
    explicit TCenterPanel(QWidget* parent) : QWidget(parent) {
        setObjectName("MainCenterPanel");
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, Qt::black);
        setPalette(pal);
    }
    void SetScreen(QWidget* screen) { screen_ = screen; }

protected:
    void resizeEvent(QResizeEvent*) override {
        if (screen_) screen_->setGeometry(ScreenRect(width(), height()));
    }

private:
    QWidget* screen_ = nullptr;
};

// The bottom panel: the keyboard paint box centred horizontally.
class TKeysPanel final : public QWidget {
public:
    explicit TKeysPanel(QWidget* parent) : QWidget(parent) { setObjectName("UnderKeysPanel"); }
    void SetKeyboard(QWidget* keyboard) { keyboard_ = keyboard; }

protected:
    void resizeEvent(QResizeEvent*) override {
        if (keyboard_) keyboard_->move(width() / 2 - keyboard_->width() / 2, 3);
    }

private:
    QWidget* keyboard_ = nullptr;
};

QToolButton* RunButton(QWidget* parent, const QString& name, const QString& text, tGlyph glyph, int width) {
    auto* b = Child<QToolButton>(parent);
    b->setObjectName(name);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setIcon(GlyphIcon(glyph));
    b->setIconSize(QSize(18, 18));
    b->setText(text);
    QFont f = b->font();
    f.setBold(true);
    b->setFont(f);
    b->setFixedSize(width, 24);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

}  // namespace

TMainForm::TMainForm(tMainFormOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
    if (options_.Dialogs) {
        dialogs_ = options_.Dialogs;
    } else {
        ownDialogs_ = std::make_unique<tQtDialogs>();
        dialogs_ = ownDialogs_.get();
    }
    settingsFile_ = options_.SettingsFile.empty() ? DefaultSettingsPath() : options_.SettingsFile;
    portAccess_ = options_.PortAccess ? std::move(options_.PortAccess) : std::make_unique<tPortAccess>();
    host_ = std::make_unique<TQtHost>(*dialogs_);
    host_->SetParentWidget(this);

    setObjectName("MainForm");
    setWindowTitle("Velgard");
    setWindowIcon(ProgramIcon());
    BuildLayout();
    BuildMenu();
    FormCreate();
}

TMainForm::~TMainForm() { FormDestroy(); }

// ---- Layout ----------------------------------------------------------------

void TMainForm::BuildLayout() {
    auto* client = Child<QWidget>(this);
    client->setObjectName("ClientArea");
    auto* column = Child<QVBoxLayout>(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    topPanel_ = Child<QWidget>(client);
    topPanel_->setObjectName("MainTopPanel");
    topPanel_->setFixedHeight(kTopPanelHeight);
    auto* row = Child<QHBoxLayout>(topPanel_);
    row->setContentsMargins(2, 2, 4, 2);
    row->setSpacing(1);
    btnStart_ = RunButton(topPanel_, "btnStart", "Старт", tGlyph::Start, 80);
    btnPause_ = RunButton(topPanel_, "btnPause", "Пауза", tGlyph::Pause, 79);
    btnPause_->setCheckable(true);
    btnStop_ = RunButton(topPanel_, "btnStop", "Стоп", tGlyph::Stop, 77);
    row->addWidget(btnStart_);
    row->addWidget(btnPause_);
    row->addWidget(btnStop_);
    row->addStretch(1);
    for (int drive = 0; drive < 4; ++drive) {
        if (drive == 0 || drive == 2) {
            auto* label = Child<QLabel>(topPanel_);
            label->setObjectName(drive == 0 ? "ABImage" : "CDImage");
            label->setPixmap(QPixmap::fromImage(TDriveBox::LabelPicture(drive == 2)));
            label->setFixedSize(21, 13);
            row->addSpacing(drive == 0 ? 0 : 6);
            row->addWidget(label);
        }
        auto* box = Child<TDriveBox>(drive, topPanel_);
        box->setObjectName(QString("Drive") + DriveLetter(drive));
        driveBoxes_[static_cast<std::size_t>(drive)] = box;
        row->addWidget(box);
        connect(box, &TDriveBox::latchToggleRequested, this, [this, drive] { DriveRightClick(drive); });
        connect(box, &TDriveBox::loadRequested, this, [this, drive](bool ctrl) { DriveDblClick(drive, ctrl); });
        connect(box, &TDriveBox::imagesDropped, this,
                [this, drive](const QStringList& paths) { ImagesDropped(drive, paths); });
    }
    connect(btnStart_, &QToolButton::clicked, this, [this] { btnStartClick(); });
    connect(btnPause_, &QToolButton::clicked, this, [this] {
        // The button's own toggling is undone: its state follows the machine.
        btnPause_->setChecked(!btnPause_->isChecked());
        btnPauseClick();
    });
    connect(btnStop_, &QToolButton::clicked, this, [this] { btnStopClick(); });
    column->addWidget(topPanel_);

    auto* center = Child<TCenterPanel>(client);
    centerPanel_ = center;
    centerPanel_->setMinimumSize(kClientWidth, kCenterHeight);
    screen_ = Child<TScreenWidget>(centerPanel_);
    center->SetScreen(screen_);
    screen_->SetPaintHandler([this] { KorvetScreenPaint(); });
    connect(screen_, &TScreenWidget::doubleClicked, this, [this] { KorvetScreenDblClick(); });
    connect(screen_, &TScreenWidget::filesDropped, this, [this](const QStringList& paths) { ImagesDropped(0, paths); });
    column->addWidget(centerPanel_, 1);

    auto* keysPanel = Child<TKeysPanel>(client);
    underKeysPanel_ = keysPanel;
    underKeysPanel_->setFixedHeight(kUnderKeysHeight);
    column->addWidget(underKeysPanel_);

    setCentralWidget(client);
    client->setFocusPolicy(Qt::StrongFocus);
}

QAction* TMainForm::AddAction(QMenu* menu, const QString& name, const QString& caption, const QKeySequence& shortcut) {
    auto* a = Child<QAction>(caption, this);
    a->setObjectName(name);
    // The shortcuts belong to the main window: a dialog in front keeps F9,
    // F11 and F12 from reaching the machine.
    if (!shortcut.isEmpty()) a->setShortcut(shortcut);
    menu->addAction(a);
    return a;
}

void TMainForm::BuildMenu() {
    QMenuBar* bar = menuBar();
    // Every menu opening pauses a running machine; see MenuOpened.
    auto menu = [this, bar](const QString& name, const QString& caption) {
        QMenu* m = bar->addMenu(caption);
        m->setObjectName(name);
        connect(m, &QMenu::aboutToShow, this, [this] { MenuOpened(); });
        connect(m, &QMenu::aboutToHide, this, [this] {
            // Moving from one menu of the bar to the next hides one and
            // shows the other: decide once the events have settled.
            QTimer::singleShot(0, this, [this] { MenuClosed(); });
        });
        return m;
    };
    // A menu command first closes the menu loop (as the menu is already
    // gone when the command arrives), then runs.
    auto on = [this](QAction* a, auto handler) {
        connect(a, &QAction::triggered, this, [this, handler] {
            MenuClosed();
            handler();
        });
    };

    QMenu* emu = menu("mnuEmulation", "Эмуляция");
    on(AddAction(emu, "mnuStart", "Старт", QKeySequence(Qt::Key_F11)), [this] { btnStartClick(); });
    on(AddAction(emu, "mnuStop", "Стоп"), [this] { btnStopClick(); });
    emu->addSeparator();
    QAction* pause = AddAction(emu, "mnuPause", "Пауза");
    pause->setCheckable(true);
    on(pause, [this] {
        Action("mnuPause")->setChecked(!Action("mnuPause")->isChecked());  // follows the machine
        btnPauseClick();
    });
    emu->addSeparator();
    QAction* sync = AddAction(emu, "mnuSync", "Синхронизация");
    sync->setCheckable(true);
    sync->setChecked(true);
    on(sync, [this] { mnuSyncClick(); });
    emu->addSeparator();
    on(AddAction(emu, "mnuSaveState", "Сохранить состояние", QKeySequence(Qt::Key_F9)), [this] { mnuSaveStateClick(); });
    on(AddAction(emu, "mnuLoadState", "Загрузить состояние", QKeySequence(Qt::Key_F12)), [this] { mnuLoadStateClick(); });
    on(AddAction(emu, "mnuScreenshot", "Снимок экрана…"), [this] { mnuScreenshotClick(); });
    emu->addSeparator();
    on(AddAction(emu, "mnuExit", "Выход"), [this] { close(); });

    QMenu* comp = menu("mnuComputer", "Компьютер");
    const char* romCaptions[3] = {"ПЗУ \"Корвет 2.0\"+BAS", "ПЗУ \"Корвет 1.1\"+BAS", "ПЗУ \"Контур 2.0\""};
    for (int tag = 0; tag < 3; ++tag) {
        QAction* a = AddAction(comp, QString("mnuRom%1").arg(tag), romCaptions[tag]);
        a->setCheckable(true);
        a->setData(tag);
        romItems_[static_cast<std::size_t>(tag)] = a;
        on(a, [this, tag] { mnuRomClick(tag); });
    }
    comp->addSeparator();
    const int gzuTags[2] = {4, 1};
    const char* gzuCaptions[2] = {"ГЗУ 4*48Кб=192Кб", "ГЗУ 1*48Кб=48Кб"};
    for (int i = 0; i < 2; ++i) {
        const int tag = gzuTags[i];
        QAction* a = AddAction(comp, QString("mnuGzu%1").arg(tag), gzuCaptions[i]);
        a->setCheckable(true);
        a->setData(tag);
        gzuItems_[static_cast<std::size_t>(i)] = a;
        on(a, [this, tag] { mnuGzuClick(tag); });
    }
    comp->addSeparator();
    const char* cpuNames[2] = {"mnuCPUI8080", "mnuCPUZ80"};
    const char* cpuCaptions[2] = {"ЦПУ i8080", "ЦПУ Z80"};
    for (int tag = 0; tag < 2; ++tag) {
        QAction* a = AddAction(comp, cpuNames[tag], cpuCaptions[tag]);
        a->setCheckable(true);
        a->setData(tag);
        cpuItems_[static_cast<std::size_t>(tag)] = a;
        on(a, [this, tag] { mnuCpuClick(tag); });
    }

    QMenu* floppy = menu("mnuFloppy", "Дисководы");
    for (int drive = 0; drive < 4; ++drive) {
        if (drive == 2) floppy->addSeparator();
        const QString letter = DriveLetter(drive);
        QMenu* sub = floppy->addMenu("Диск " + letter);
        sub->setObjectName("mnuFloppy" + letter);
        on(AddAction(sub, "mnuFloppy" + letter + "Load", "Загрузить из файла"), [this, drive] { mnuFloppyLoadClick(drive); });
        floppySave_[static_cast<std::size_t>(drive)] = AddAction(sub, "mnuFloppy" + letter + "Save", "Сохранить в файл");
        on(floppySave_[static_cast<std::size_t>(drive)], [this, drive] { mnuFloppySaveClick(drive); });
        on(AddAction(sub, "mnuFloppy" + letter + "Unload", "Выгрузить"), [this, drive] { mnuFloppyUnloadClick(drive); });
        sub->addSeparator();
        QAction* info = AddAction(sub, "mnuFloppy" + letter + "Info", "Информация о диске");
        info->setVisible(false);
        floppyInfo_[static_cast<std::size_t>(drive)] = info;
        on(info, [this, drive] { mnuFloppyInfoClick(drive); });
        on(AddAction(sub, "mnuFloppy" + letter + "Files", "Менеджер диска"), [this, drive] { mnuFloppyFilesClick(drive); });
        QAction* close = AddAction(sub, "mnuFloppy" + letter + "Close", "Защелка");
        close->setCheckable(true);
        floppyClose_[static_cast<std::size_t>(drive)] = close;
        on(close, [this, drive] { mnuFloppyCloseClick(drive); });
    }

    QMenu* keys = menu("mnuKeyboard", "Клавиатура");
    QAction* keyDown = AddAction(keys, "mnuKeyDownWithDig5", "Комбинированная \"Стрелка Вниз\"");
    keyDown->setCheckable(true);
    on(keyDown, [this] { mnuKeyDownWithDig5Click(); });
    keys->addSeparator();
    QAction* hide = AddAction(keys, "mnuHideKeyboard", "Скрывать в полноэкранном режиме");
    hide->setCheckable(true);
    on(hide, [this] { mnuHideKeyboardClick(); });

    QMenu* sound = menu("mnuSound", "Звук");
    for (auto [name, caption] : {std::pair{"mnuSoundNone", "Отключен"}, std::pair{"mnuSoundSpeaker", "PC Speaker"},
                                 std::pair{"mnuSoundWave", "Wave Out"}}) {
        AddAction(sound, name, caption)->setCheckable(true);
    }
    on(Action("mnuSoundNone"), [this] { mnuSoundNoneClick(); });
    on(Action("mnuSoundSpeaker"), [this] { mnuSoundSpeakerClick(); });
    on(Action("mnuSoundWave"), [this] { mnuSoundWaveClick(); });
    sound->addSeparator();
    on(AddAction(sound, "mnuUninstallSpeakerDriver", "Удалить драйвер PC Speaker"),
       [this] { mnuUninstallSpeakerDriverClick(); });

    QMenu* help = menu("mnuHelp", "Справка");
    on(AddAction(help, "mnuWhatsNew", "Что нового ?"), [this] { WithPause([this] { whatsNewForm_->exec(); }); });
    help->addSeparator();
    on(AddAction(help, "mnuReadme", "!!!README!!!"), [this] { WithPause([this] { readmeForm_->exec(); }); });
    help->addSeparator();
    on(AddAction(help, "mnuAbout", "О программе"), [this] { WithPause([this] { aboutForm_->exec(); }); });

    // The menu items are shown in a fixed-width font, "Синхронизация" in
    // the ordinary one.
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (QAction* a : findChildren<QAction*>())
        if (a->objectName() != "mnuSync") a->setFont(fixed);
}

QAction* TMainForm::Action(const QString& objectName) const { return findChild<QAction*>(objectName); }
QMenu* TMainForm::Menu(const QString& objectName) const { return findChild<QMenu*>(objectName); }

// ---- Creation and destruction ----------------------------------------------

void TMainForm::FormCreate() {
    // 1. Settings.
    flags_ = std::make_unique<tFlags>();
    flags_->Load(settingsFile_, ProgramFolder());
    for (const std::string& warning : flags_->Warnings())
        dialogs_->Message(this, "Velgard", QString::fromStdString(warning), tIcon::Warning);
    // 2. The keyboard mapper and its picture.
    keyboard_ = std::make_unique<tKorvetKeyboard>();
    keyboardView_ = std::make_unique<TKeyboardView>(*keyboard_, underKeysPanel_);
    keyboardView_->setObjectName("KeyboardImage");
    keyboardView_->setFixedSize(kKeyboardWidth, kKeyboardHeight);
    static_cast<TKeysPanel*>(underKeysPanel_)->SetKeyboard(keyboardView_.get());
    keyRouter_ = std::make_unique<tKeyRouter>(*keyboard_, *flags_);
    // The 5 ms tick notices a Shift or Ctrl released while the window did
    // not get the event.
    keyRouter_->SetModifierProbe([] { return QGuiApplication::queryKeyboardModifiers(); });
    // 3. The machine; the memory map reads the key matrix through the mapper.
    machine_ = std::make_unique<tComputer_I8080_Korvet>(*host_);
    machine_->GetMemory().SetKeyboard(keyboard_.get());
    host_->SetPausedQuery([this] { return machine_ && machine_->Running() && machine_->Paused(); });
    if (tTimer_i8254_SoundChannel* sound = SoundOf(*machine_)) {
        sound->SetDeviceFactory(options_.SoundDevices ? std::move(options_.SoundDevices)
                                                      : std::make_unique<tHostSoundDevices>());
    }
    // 4. The processor kind the machine actually took.
    machine_->SetCpuKind(flags_->CPUKind);
    flags_->CPUKind = machine_->CpuKind();
    // 5.
    machine_->SetOnStateChange([this](tComputer_I8080_Korvet&) { MachineStateChanged(); });
    // 6. Key routing sees the window's key events before the widgets do, and
    // losing activation releases every key.
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) ApplicationDeactivate();
    });
    // 8. The disks named in the settings, with their latches.
    for (int drive = 0; drive < 4; ++drive) {
        const std::string& path = flags_->DiskImage[static_cast<std::size_t>(drive)];
        if (!path.empty()) machine_->LoadImage(drive, path);
        if (machine_->HasImage(drive)) machine_->SetLatch(drive, flags_->DriveClosed[static_cast<std::size_t>(drive)]);
        // 9.
        floppyClose_[static_cast<std::size_t>(drive)]->setChecked(machine_->IsLatchClosed(drive));
        RepaintDrive(drive);
    }
    // 10.
    Action("mnuKeyDownWithDig5")->setChecked(flags_->KeyDownEx);
    // 11. Applied by inverting and toggling back.
    flags_->ShowFullscreenKeyboard = !flags_->ShowFullscreenKeyboard;
    mnuHideKeyboardClick();
    // 12. The first sound output that works.
    if (tTimer_i8254_SoundChannel* sound = SoundOf(*machine_)) {
        Action("mnuSoundSpeaker")->setEnabled(sound->SpeakerAvailable());
        Action("mnuUninstallSpeakerDriver")->setEnabled(portAccess_->IsDriverInstalled());
        Action("mnuUninstallSpeakerDriver")->setVisible(tPortAccess::IsNtHost());
        Action("mnuSoundWave")->setEnabled(sound->WaveAvailable());
        if (Action("mnuSoundSpeaker")->isEnabled()) {
            Action("mnuSoundSpeaker")->setChecked(true);
            sound->SetOutputMode(1);
        } else if (Action("mnuSoundWave")->isEnabled()) {
            Action("mnuSoundWave")->setChecked(true);
            sound->SetOutputMode(2);
        } else {
            Action("mnuSoundNone")->setChecked(true);
        }
    }
    // 13.
    pausedBeforeMenu_ = true;
    menuOpen_ = false;
    // 14. The stored wish, when it is a valid mode.
    if (tTimer_i8254_SoundChannel* sound = SoundOf(*machine_)) {
        if (flags_->Device <= 2 && sound->OutputMode() != flags_->Device) sound->SetOutputMode(flags_->Device);
    }

    // The other windows live as long as this one.
    whatsNewForm_ = std::make_unique<TWhatsNewForm>(this);
    readmeForm_ = std::make_unique<TReadmeForm>(this);
    aboutForm_ = std::make_unique<TAboutForm>(this);
    diskForm_ = std::make_unique<TDiskForm>(*dialogs_, *flags_, this);

    resetTimer_.setInterval(100);
    connect(&resetTimer_, &QTimer::timeout, this, [this] { ResetTimerTimer(); });
    resizeTimer_.setInterval(1);
    resizeTimer_.setSingleShot(true);
    connect(&resizeTimer_, &QTimer::timeout, this, [this] { ApplyKeyboardVisibility(); });
    keysTimer_.setInterval(5);
    connect(&keysTimer_, &QTimer::timeout, this, [this] { KeysTimerTimer(); });

    // The window's place and size from the last run, when it still fits on
    // a screen.
    const QSize design(kClientWidth, kTopPanelHeight + kCenterHeight + kUnderKeysHeight + menuBar()->sizeHint().height());
    resize(design);
    const tWindowPlacement& w = flags_->Window;
    if (w.Valid && w.Width > 0 && w.Height > 0) {
        const QRect stored(w.X, w.Y, w.Width, w.Height);
        bool visible = false;
        for (QScreen* screen : QGuiApplication::screens())
            if (screen->availableGeometry().intersects(stored)) visible = true;
        if (visible) setGeometry(stored);
        if (w.FullScreen) setWindowState(windowState() | Qt::WindowFullScreen);
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    // 15.
    UpdateControls();
    keysTimer_.start();
}

void TMainForm::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    qApp->removeEventFilter(this);
    if (machine_ && machine_->Running()) machine_->Stop();
    for (int drive = 0; drive < 4; ++drive)
        flags_->DiskImage[static_cast<std::size_t>(drive)] = machine_->FileName(drive);
    const QRect g = isFullScreen() || isMaximized() ? normalGeometry() : geometry();
    flags_->Window = tWindowPlacement{g.isValid(), g.x(), g.y(), g.width(), g.height(), isFullScreen()};
    std::string error;
    // Questions about changed disks come while the machine goes; the window
    // is no longer shown by then.
    host_->SetParentWidget(nullptr);
    if (!flags_->Save(settingsFile_, &error))
        std::fprintf(stderr, "velgard: the settings could not be saved to %s: %s\n", settingsFile_.c_str(),
                     error.c_str());
    keysTimer_.stop();
    resetTimer_.stop();
    // The windows that use the settings and dialogs go first.
    diskForm_.reset();
    aboutForm_.reset();
    readmeForm_.reset();
    whatsNewForm_.reset();
    keyRouter_.reset();
    keyboardView_.reset();  // it refers to the mapper
    machine_.reset();
    keyboard_.reset();
    flags_.reset();
    canvas_.reset();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    closing_ = true;
    resetTimer_.stop();
    if (machine_) machine_->Stop();
    event->accept();
}

// ---- Run control -----------------------------------------------------------

void TMainForm::btnStartClick() {
    pausedBeforeMenu_ = true;
    if (!machine_->Running()) {
        SelectScreenCanvas(0);
        resetPending_ = false;
        resetTimer_.start();
    } else {
        resetPending_ = true;
        machine_->Stop();
        resetTimer_.start();
    }
}

void TMainForm::btnStopClick() {
    pausedBeforeMenu_ = true;
    machine_->Stop();
}

void TMainForm::btnPauseClick() {
    pausedBeforeMenu_ = true;
    if (!machine_->Running()) return;
    if (machine_->Paused()) {
        machine_->Resume();
        btnPause_->setChecked(false);
        Action("mnuPause")->setChecked(false);
    } else {
        machine_->Pause();
        btnPause_->setChecked(true);
        Action("mnuPause")->setChecked(true);
    }
}

void TMainForm::ResetTimerTimer() {
    if (machine_->Running()) return;
    if (closing_) {
        resetTimer_.stop();
        return;
    }
    resetTimer_.stop();
    resetPending_ = false;
    // Returns only when the machine has stopped again. An error that escapes
    // the loop leaves the machine stopped and is shown.
    try {
        machine_->Run(canvas_.get(), flags_->ROMIndex, flags_->GZUPagesCount == 1);
    } catch (const std::exception& e) {
        dialogs_->Message(this, "Velgard", QString::fromUtf8(e.what()), tIcon::Critical);
    }
}

void TMainForm::SelectScreenCanvas(int kind) {
    // Only the window canvas exists in this program; every kind is served
    // by it.
    (void)kind;
    if (canvas_ && canvas_->Kind() == TBMMCanvasKind::GDI && canvas_->Attached()) return;
    canvas_ = std::make_unique<TBMMGDICanvas2D>();
    canvas_->Attach(screen_);
}

void TMainForm::KorvetScreenPaint() {
    if (!machine_ || !canvas_) return;
    if (machine_->Running()) {
        if (canvas_->TakeFresh()) return;  // the loop has just converted it
        canvas_->SetInRepaint(true);
        if (canvas_->BeginFrame()) {
            canvas_->DrawBitmap(machine_->GetFrame());
            canvas_->EndFrame();
        }
        canvas_->SetInRepaint(false);
        screen_->SetPicture(&canvas_->Image());
    } else {
        screen_->SetPicture(nullptr);
    }
}

void TMainForm::MachineStateChanged() {
    UpdateControls();
    if (!machine_->Running()) {
        if (!resetPending_) {
            btnPause_->setChecked(false);
            Action("mnuPause")->setChecked(false);
        }
        screen_->SetPicture(nullptr);
        screen_->update();
        if (canvas_) canvas_->TakeFresh();  // the next run converts its first picture
    }
}

void TMainForm::UpdateControls() {
    if (!machine_) return;
    const bool running = machine_->Running();
    const bool paused = machine_->Paused();
    SetEnabled(cpuItems_[0], !running);
    SetEnabled(cpuItems_[1], !running);
    SetChecked(cpuItems_[0], machine_->CpuKind() == 0);
    SetChecked(cpuItems_[1], machine_->CpuKind() == 1);
    for (int drive = 0; drive < 4; ++drive) {
        const bool has = machine_->HasImage(drive);
        SetEnabled(floppyInfo_[static_cast<std::size_t>(drive)], has);
        SetEnabled(floppySave_[static_cast<std::size_t>(drive)], has);
        TDriveBox* box = driveBoxes_[static_cast<std::size_t>(drive)];
        const QString hint = has ? QString::fromStdString(machine_->FileName(drive)) : QString();
        if (box->toolTip() != hint) box->setToolTip(hint);
    }
    SetEnabled(Action("mnuSaveState"), running);
    SetEnabled(Action("mnuLoadState"), running);
    SetEnabled(Action("mnuScreenshot"), running);
    for (QAction* a : romItems_) {
        SetEnabled(a, !running);
        SetChecked(a, flags_->ROMIndex == a->data().toInt());
    }
    for (QAction* a : gzuItems_) {
        SetEnabled(a, !running);
        SetChecked(a, flags_->GZUPagesCount == a->data().toInt());
    }

    if (resetPending_) return;
    if (startShowsReset_ != running) {
        SetText(Action("mnuStart"), running ? "Сброс" : "Старт");
        btnStart_->setText(running ? "Сброс" : "Старт");
        btnStart_->setIcon(GlyphIcon(running ? tGlyph::Reset : tGlyph::Start));
        startShowsReset_ = running;
    }
    const bool userPaused = paused && !menuOpen_;
    SetEnabled(btnPause_, running);
    SetEnabled(btnStop_, running && !userPaused);
    SetEnabled(btnStart_, !userPaused);
    SetEnabled(Action("mnuPause"), running);
    SetEnabled(Action("mnuStop"), running && !userPaused);
    SetEnabled(Action("mnuStart"), !userPaused);
    if (tTimer_i8254_SoundChannel* sound = SoundOf(*machine_)) {
        SetEnabled(Action("mnuSoundNone"), !running);
        SetEnabled(Action("mnuSoundSpeaker"), !running);
        SetText(Action("mnuSoundSpeaker"),
                sound->SpeakerAvailable() ? "PC Speaker" : "PC Speaker (установить и активизировать драйвер)");
        SetEnabled(Action("mnuSoundWave"), !running && sound->WaveAvailable());
        SetChecked(Action("mnuSoundNone"), sound->OutputMode() == 0);
        const bool speaker = sound->OutputMode() == 1;
        if (Action("mnuSoundSpeaker")->isChecked() != speaker) {
            Action("mnuSoundSpeaker")->setChecked(speaker);
            Action("mnuUninstallSpeakerDriver")->setEnabled(portAccess_->IsDriverInstalled());
        }
        SetChecked(Action("mnuSoundWave"), sound->OutputMode() == 2);
    }
}

void TMainForm::KeysTimerTimer() {
    const bool active = options_.IsActive ? options_.IsActive()
                                          : QGuiApplication::applicationState() == Qt::ApplicationActive;
    if (!active || (keysTimerTag_ & 1) || !machine_) return;
    keysTimerTag_ |= 1;
    // Qt follows the pointer over the flat buttons itself; only the title
    // and the modifier repair are left to do here.
    QString title = "Velgard";
    if (machine_->Running()) {
        if (machine_->Paused()) {
            title = "Velgard (Пауза)";
        } else {
            bool soundOn = false;
            if (tTimer_i8254_Channel* ch = machine_->GetTimer().Channel(0)) soundOn = ch->OutputEnable() != 0;
            title = QString("Velgard (FPS=%1, Sound=%2)").arg(machine_->FPS()).arg(soundOn ? "On" : "Off");
        }
    }
    if (windowTitle() != title) setWindowTitle(title);
    keyRouter_->Tick();
    keysTimerTag_ &= ~1;
}

void TMainForm::MenuOpened() {
    if (menuOpen_) return;
    menuOpen_ = true;
    pausedBeforeMenu_ = machine_->Paused();
    if (!machine_->Paused()) machine_->Pause();
    keyRouter_->ReleaseAll();
    UpdateControls();
}

void TMainForm::MenuClosed() {
    if (!menuOpen_) return;
    // Still in the menus: another menu of the bar took over.
    if (QApplication::activePopupWidget()) return;
    menuOpen_ = false;
    if (!pausedBeforeMenu_) machine_->Resume();
    UpdateControls();
}

void TMainForm::WithPause(const std::function<void()>& action) {
    const bool pause = machine_->Running() && !machine_->Paused();
    if (pause) machine_->Pause();
    try {
        action();
    } catch (...) {
        if (pause) machine_->Resume();
        throw;
    }
    if (pause) machine_->Resume();
}

// ---- Keys ------------------------------------------------------------------

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && keyRouter_) {
        // Only the keys meant for this window reach the Korvet: a dialog
        // keeps its own keys (Tab, Enter).
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this && !QApplication::activePopupWidget() &&
            !QApplication::activeModalWidget()) {
            if (keyRouter_->HandleKeyEvent(static_cast<QKeyEvent*>(event))) return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::ApplicationDeactivate() {
    if (keyRouter_) keyRouter_->ReleaseAll();
}

// ---- Window sizing ---------------------------------------------------------

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    resizeTimer_.start();
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) resizeTimer_.start();
}

void TMainForm::ApplyKeyboardVisibility() {
    if (!flags_) return;
    const bool full = isFullScreen() || isMaximized();
    const bool show = !full || flags_->ShowFullscreenKeyboard;
    if (underKeysPanel_->isVisibleTo(this) != show) underKeysPanel_->setVisible(show);
    // In full screen the screen takes everything.
    const bool bars = !isFullScreen();
    if (menuBar()->isVisibleTo(this) != bars) menuBar()->setVisible(bars);
    if (topPanel_->isVisibleTo(this) != bars) topPanel_->setVisible(bars);
}

void TMainForm::KorvetScreenDblClick() {
    if (isFullScreen())
        showNormal();
    else
        showFullScreen();
    ApplyKeyboardVisibility();
}

void TMainForm::mnuHideKeyboardClick() {
    flags_->ShowFullscreenKeyboard = !flags_->ShowFullscreenKeyboard;
    ApplyKeyboardVisibility();
    Action("mnuHideKeyboard")->setChecked(!flags_->ShowFullscreenKeyboard);
}

void TMainForm::mnuKeyDownWithDig5Click() {
    flags_->KeyDownEx = !flags_->KeyDownEx;
    Action("mnuKeyDownWithDig5")->setChecked(flags_->KeyDownEx);
}

// ---- Machine choices -------------------------------------------------------

void TMainForm::mnuSyncClick() {
    machine_->SetSync(!machine_->Sync());
    Action("mnuSync")->setChecked(machine_->Sync());
}

void TMainForm::mnuSaveStateClick() {
    if (machine_->Running()) machine_->RequestSaveState();
}

void TMainForm::mnuLoadStateClick() {
    if (machine_->Running()) machine_->RequestLoadState();
}

void TMainForm::mnuRomClick(int tag) {
    flags_->ROMIndex = static_cast<std::uint8_t>(tag);
    UpdateControls();
}

void TMainForm::mnuGzuClick(int tag) {
    flags_->GZUPagesCount = static_cast<std::uint8_t>(tag);
    UpdateControls();
}

void TMainForm::mnuCpuClick(int tag) {
    if (!machine_->Running() && machine_->CpuKind() != tag) {
        machine_->SetCpuKind(static_cast<std::uint8_t>(tag));
        flags_->CPUKind = machine_->CpuKind();
    }
    UpdateControls();
}

void TMainForm::mnuScreenshotClick() {
    WithPause([this] {
        const QString name = "korvet-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss") + ".png";
        tFileDialogSpec request{"Снимок экрана", QString::fromStdString(flags_->OpenDiskFolder), name,
                             "Рисунки PNG (*.png);;Все файлы (*)", "png"};
        const auto path = dialogs_->SaveFile(this, request);
        if (!path) return;
        if (QFileInfo::exists(*path) &&
            !dialogs_->AskYesNo(this, "Снимок экрана", "Файл \"" + *path + "\" уже существует. Переписать?"))
            return;
        if (!SaveScreenshot(*path))
            dialogs_->Message(this, "Снимок экрана", "Не удалось записать файл \"" + *path + "\"!", tIcon::Warning);
    });
}

bool TMainForm::SaveScreenshot(const QString& path) {
    const tBMMGDI4Bitmap& frame = machine_->GetFrame();
    tBMMImage32 pixels(frame.Width(), frame.Height());
    frame.DrawToCanvas(pixels, tBMMRect{0, 0, frame.Width() - 1, frame.Height() - 1},
                       tBMMRect{0, 0, frame.Width() - 1, frame.Height() - 1});
    const QImage image(reinterpret_cast<const uchar*>(pixels.Pixels().data()), pixels.Width(), pixels.Height(),
                       pixels.Width() * 4, QImage::Format_RGB32);
    // Written beside the target and renamed over it only when complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// ---- Sound -----------------------------------------------------------------

void TMainForm::StoreOutputMode() {
    if (tTimer_i8254_SoundChannel* sound = SoundOf(*machine_)) flags_->Device = sound->OutputMode();
}

void TMainForm::mnuSoundNoneClick() {
    tTimer_i8254_SoundChannel* sound = SoundOf(*machine_);
    if (!sound) return;
    if (sound->OutputMode() != 0) sound->SetOutputMode(0);
    StoreOutputMode();
    UpdateControls();
}

void TMainForm::mnuSoundWaveClick() {
    tTimer_i8254_SoundChannel* sound = SoundOf(*machine_);
    if (!sound) return;
    if (sound->OutputMode() != 2) sound->SetOutputMode(2);
    StoreOutputMode();
    UpdateControls();
}

void TMainForm::mnuSoundSpeakerClick() {
    tTimer_i8254_SoundChannel* sound = SoundOf(*machine_);
    if (!sound) return;
    if (sound->OutputMode() != 1) sound->SetOutputMode(1);
    if (sound->OutputMode() != 1 &&
        dialogs_->AskYesNo(this, "Вопрос",
                           "Вы уверены, что хотите установать драйвер, открывающий программе доступ к портам "
                           "системного динамика (PC Speaker)?")) {
        bool fileMissing = false, accessDenied = false;
        if (portAccess_->InstallDriver(ProgramFolder(), fileMissing, accessDenied)) {
            sound->SetSpeakerAvailable(portAccess_->OpenPortAccess());
            sound->SetOutputMode(1);
            dialogs_->Message(this, "Velgard",
                              sound->OutputMode() == 1 ? "Драйвер успешно установлен и активизирован!"
                                                       : "Драйвер успешно установлен, но активизировать его не удалось!",
                              tIcon::Information);
        } else if (accessDenied) {
            dialogs_->Message(this, "Velgard",
                              "Не удалось установить драйвер! У Вас нет таких прав в системе, обратитесь к "
                              "администратору.",
                              tIcon::Warning);
        } else if (fileMissing) {
            dialogs_->Message(this, "Velgard", "Не удалось установить драйвер! Не найден файл драйвера userport.sys",
                              tIcon::Warning);
        } else {
            dialogs_->Message(this, "Velgard", "Драйвер установить не удалось! Возможно, он не подходит к Вашей системе...",
                              tIcon::Warning);
        }
    }
    StoreOutputMode();
    Action("mnuUninstallSpeakerDriver")->setEnabled(portAccess_->IsDriverInstalled());
    UpdateControls();
}

void TMainForm::mnuUninstallSpeakerDriverClick() {
    tTimer_i8254_SoundChannel* sound = SoundOf(*machine_);
    if (!dialogs_->AskYesNo(this, "Вопрос", "Вы уверены, что хотите деинсталлировать драйвер PC Speaker (UserPort.sys)?"))
        return;
    mnuSoundNoneClick();
    if (portAccess_->UninstallDriver())
        dialogs_->Message(this, "Velgard", "Драйвер успешно деинсталлирован!", tIcon::Information);
    else
        dialogs_->Message(this, "Velgard",
                          "Драйвер деинсталлировать не удалось! Возможно, у Вас нет на это прав в системе.",
                          tIcon::Warning);
    if (sound) sound->SetSpeakerAvailable(portAccess_->OpenPortAccess());
    Action("mnuUninstallSpeakerDriver")->setEnabled(portAccess_->IsDriverInstalled());
    UpdateControls();
}

// ---- Drives ----------------------------------------------------------------

void TMainForm::RepaintDrive(int drive) {
    TDriveBox* box = driveBoxes_[static_cast<std::size_t>(drive & 3)];
    box->SetState(machine_->HasImage(drive), machine_->IsLatchClosed(drive));
}

void TMainForm::StoreLatch(int drive) {
    flags_->DriveClosed[static_cast<std::size_t>(drive)] = machine_->IsLatchClosed(drive);
}

void TMainForm::DriveRightClick(int drive) {
    machine_->SetLatch(drive, !machine_->IsLatchClosed(drive));
    floppyClose_[static_cast<std::size_t>(drive)]->setChecked(machine_->IsLatchClosed(drive));
    RepaintDrive(drive);
}

void TMainForm::mnuFloppyCloseClick(int drive) {
    machine_->SetLatch(drive, !machine_->IsLatchClosed(drive));
    floppyClose_[static_cast<std::size_t>(drive)]->setChecked(machine_->IsLatchClosed(drive));
    RepaintDrive(drive);
    StoreLatch(drive);
}

void TMainForm::mnuFloppyLoadClick(int drive) { DriveDblClick(drive, false); }

void TMainForm::DriveDblClick(int drive, bool ctrlHeld) {
    if (ctrlHeld) {
        mnuFloppyFilesClick(drive);
        return;
    }
    WithPause([this, drive] {
        tFileDialogSpec request{"Загрузить диск " + DriveLetter(drive), QString::fromStdString(flags_->OpenDiskFolder), {},
                             kDiskFilter, "kdi"};
        const auto path = dialogs_->OpenFile(this, request);
        if (!path) return;
        const bool ok = machine_->LoadImage(drive, path->toStdString());
        floppyClose_[static_cast<std::size_t>(drive)]->setChecked(machine_->IsLatchClosed(drive));
        flags_->OpenDiskFolder = FolderOf(*path).toStdString();
        if (ok) flags_->DiskImage[static_cast<std::size_t>(drive)] = machine_->HasImage(drive) ? path->toStdString() : "";
        StoreLatch(drive);
        RepaintDrive(drive);
        UpdateControls();
    });
}

void TMainForm::mnuFloppySaveClick(int drive) {
    if (!machine_->HasImage(drive)) return;
    WithPause([this, drive] {
        tFileDialogSpec request{"Сохранить диск " + DriveLetter(drive), QString::fromStdString(flags_->OpenDiskFolder),
                             QFileInfo(QString::fromStdString(machine_->FileName(drive))).fileName(), kDiskFilter, "kdi"};
        const auto path = dialogs_->SaveFile(this, request);
        if (!path) return;
        machine_->SaveImage(drive, path->toStdString());
        flags_->OpenDiskFolder = FolderOf(*path).toStdString();
    });
}

void TMainForm::mnuFloppyUnloadClick(int drive) {
    machine_->EjectImage(drive);
    floppyClose_[static_cast<std::size_t>(drive)]->setChecked(machine_->IsLatchClosed(drive));
    RepaintDrive(drive);
    if (!machine_->HasImage(drive)) flags_->DiskImage[static_cast<std::size_t>(drive)].clear();
    StoreLatch(drive);
    UpdateControls();
}

void TMainForm::mnuFloppyInfoClick(int drive) {
    dialogs_->Message(this, "Информация о диске " + DriveLetter(drive),
                      QString::fromStdString(machine_->DiskInfo(drive)), tIcon::Information);
}

void TMainForm::mnuFloppyFilesClick(int drive) {
    if (drive < 0 || drive > 3) return;
    WithPause([this, drive] {
        tFCD_WD279X& fdc = machine_->GetMemory().Fdc();
        if (!fdc.HasImage(drive)) return;
        diskForm_->setWindowTitle("Диск " + DriveLetter(drive));
        std::vector<std::uint8_t> image;
        std::string path;
        bool changed = false;
        if (diskForm_->Edit(fdc.ImageData(drive), fdc.ImageSize(drive), fdc.FileName(drive), fdc.IsChanged(drive),
                            image, path, changed)) {
            fdc.InsertImage(drive, image.data(), image.size(), path, changed);
        }
    });
}

bool TMainForm::LoadImageFromHost(int drive, const QString& path) {
    const QFileInfo info(path);
    const auto size = static_cast<std::size_t>(std::max<qint64>(info.size(), 0));
    if (!info.isFile() || size < kMinImageFileSize || size > kMaxImageFileSize) {
        // The drive passes such files over without a word; a file that the
        // user handed us by name or by dropping it deserves one.
        dialogs_->Message(this, "Velgard", "Формат данного образа диска пока неподдерживается!", tIcon::Warning);
    } else if (machine_->LoadImage(drive, info.absoluteFilePath().toStdString())) {
        flags_->DiskImage[static_cast<std::size_t>(drive)] = info.absoluteFilePath().toStdString();
    }
    floppyClose_[static_cast<std::size_t>(drive)]->setChecked(machine_->IsLatchClosed(drive));
    StoreLatch(drive);
    RepaintDrive(drive);
    return machine_->HasImage(drive) && machine_->FileName(drive) == info.absoluteFilePath().toStdString();
}

void TMainForm::ImagesDropped(int drive, const QStringList& paths) {
    // Several files fill the drives from the one they were dropped on.
    WithPause([this, drive, &paths] {
        int target = drive;
        for (const QString& path : paths) {
            if (target > 3) break;
            if (LoadImageFromHost(target, path)) flags_->OpenDiskFolder = FolderOf(path).toStdString();
            ++target;
        }
        UpdateControls();
    });
}

void TMainForm::LoadImagesFromCommandLine(const QStringList& paths) {
    int drive = 0;
    for (const QString& path : paths) {
        if (drive > 3) {
            dialogs_->Message(this, "Velgard", "Дисководов только четыре: \"" + path + "\" не загружен.", tIcon::Warning);
            continue;
        }
        LoadImageFromHost(drive++, path);
    }
    UpdateControls();
}

}  // namespace velgard::ui
