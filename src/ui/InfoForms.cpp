#include "ui/InfoForms.h"
#include "ui/QtChild.h"

#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace velgard::ui {

namespace {

constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

QPushButton* MakeOkButton(QDialog* dialog, int clientWidth, int clientHeight) {
    auto* ok = Child<QPushButton>(QStringLiteral("OK"), dialog);
    ok->setObjectName(QStringLiteral("btnOk"));
    ok->setDefault(true);
    ok->setGeometry((clientWidth - kButtonWidth) / 2, clientHeight - kButtonHeight - 8, kButtonWidth,
                    kButtonHeight);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    return ok;
}

QPlainTextEdit* MakeTextBox(QDialog* dialog, const QString& name, const QString& text, int clientWidth,
                            int clientHeight) {
    auto* box = Child<QPlainTextEdit>(dialog);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    box->setGeometry(8, 8, clientWidth - 16, clientHeight - kButtonHeight - 24);
    box->setPlainText(text);
    return box;
}

}  // namespace

QString ProgramVersion() { return QStringLiteral(VELGARD_VERSION); }

void TInfoDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
}

// ---- What's new ---------------------------------------------------------

QString TWhatsNewForm::HistoryText() {
    // Newest first. The newest entry names the version of this build; the
    // about box shows the same one.
    return QStringLiteral(
        "Версия 0.1.0 (08.12.2026)\n"
        " - Первая версия Velgard: эмулятор школьного компьютера Корвет ПК8020 для Linux "
        "(Debian 12), написанный заново на C++20 с окном на Qt 6.\n"
        " - Процессор i8080 или Z80 на выбор, 64 КБ ОЗУ, одна или четыре страницы графической памяти, "
        "экран 512 × 256 в 16 цветах.\n"
        " - Собственная открытая прошивка для трёх наборов ПЗУ (\"Корвет 2.0\"+BAS, \"Корвет 1.1\"+BAS, "
        "\"Контур 2.0\") и собственный шрифт знакогенератора; их можно заменить своими дампами из папки roms.\n"
        " - Контроллер дисковода WD279X и четыре дисковода A–D с образами дисков .kdi; панель дисководов "
        "с защёлками и индикаторами.\n"
        " - Менеджер диска: просмотр, импорт (сразу нескольких файлов, в том числе перетаскиванием), "
        "экспорт, удаление, восстановление файлов CP/M и очистка диска.\n"
        " - Таймер i8253 со звуком, контроллер прерываний i8259A.\n"
        " - Сохранение (F9) и загрузка (F12) состояния всей машины.\n"
        " - Образы дисков и экспортированные файлы записываются целиком через временный файл: "
        "неудачная запись не портит прежний файл.\n"
        " - Программа velgard-cli: запуск машины без окна, снимки экрана, запись звука, работа с "
        "образами дисков, запуск программ CP/M.\n"
        " - Ярлык в меню, значок и тип файлов .kdi для рабочего стола Linux.\n");
}

TWhatsNewForm::TWhatsNewForm(QWidget* parent) : TInfoDialog(parent) {
    setObjectName(QStringLiteral("WhatsNewForm"));
    setWindowTitle(QStringLiteral("Что нового в программе"));
    constexpr int width = 407, height = 337;
    setFixedSize(width, height);
    info_ = MakeTextBox(this, QStringLiteral("Info"), HistoryText(), width, height);
    QFont font(QStringLiteral("Times New Roman"));
    font.setPointSize(11);
    info_->setFont(font);
    btnOk_ = MakeOkButton(this, width, height);
}

void TWhatsNewForm::showEvent(QShowEvent* event) {
    TInfoDialog::showEvent(event);
    // Enter closes the window at once.
    btnOk_->setFocus(Qt::OtherFocusReason);
}

// ---- Read-me ------------------------------------------------------------

QString TReadmeForm::ReadmeText() {
    return QStringLiteral(
        "==============================\n"
        "          О ПРОГРАММЕ\n"
        "==============================\n"
        "Velgard — эмулятор школьного компьютера Корвет ПК8020 (и ПК8010): процессор i8080 "
        "(или Z80), 64 КБ ОЗУ, текстовый экран и 16-цветная графика, матричная клавиатура, четыре "
        "дисковода, контроллер прерываний и таймер со звуком. Velgard работает в Linux (Debian 12); "
        "программы Корвета он запускает с образов дискет (файлы .kdi).\n"
        "\n"
        "==============================\n"
        "        СОСТОЯНИЕ РАБОТ\n"
        "==============================\n"
        "Это техническая версия. Машина, процессоры, видео, клавиатура, дисководы, таймер, звук и "
        "сохранение состояния работают. Принтер и адаптер локальной сети класса не эмулируются; "
        "команды контроллера дисковода выполняются мгновенно, без механических задержек.\n"
        "\n"
        "==============================\n"
        "          УПРАВЛЕНИЕ\n"
        "==============================\n"
        "F11 — старт; во время работы — сброс.\n"
        "\"Пауза\" останавливает и снова запускает эмуляцию; открытое меню или окно тоже ставит "
        "машину на паузу.\n"
        "F9 — сохранить состояние машины, F12 — загрузить его.\n"
        "Двойной щелчок по экрану — полноэкранный режим и обратно.\n"
        "Клавиатура ПК работает как клавиатура Корвета; на картинке клавиатуры под экраном клавиши "
        "можно нажимать мышью.\n"
        "\n"
        "==============================\n"
        "          ПРОЦЕССОР\n"
        "==============================\n"
        "i8080 или Z80 на частоте 2,5 МГц. Оба ядра проверяются классическими тестами процессора (8080EXM, ZEXDOC). "
        "Выбор делается в меню \"Компьютер\".\n"
        "\n"
        "==============================\n"
        "         ПАМЯТЬ И ПЗУ\n"
        "==============================\n"
        "Три набора ПЗУ: \"Корвет 2.0\"+BAS, \"Корвет 1.1\"+BAS и \"Контур 2.0\". Velgard поставляется "
        "со своей открытой прошивкой: без загрузочного диска она открывает монитор (команда H "
        "показывает его команды), с загрузочным диском в дисководе A загружает его. Свои дампы ПЗУ "
        "(korvet20.rom, korvet11.rom, kontur20.rom, font.rom) можно положить в папку roms рядом с "
        "файлом настроек.\n"
        "\n"
        "==============================\n"
        "            ВИДЕО\n"
        "==============================\n"
        "Экран 512 × 256: текстовый слой с собственным шрифтом 8 × 16 и одна или четыре страницы "
        "графики в 16 цветах с палитрой.\n"
        "\n"
        "==============================\n"
        "             ЗВУК\n"
        "==============================\n"
        "Звук идёт от канала 0 таймера i8253 и выводится через звуковую карту (SDL) или, если "
        "система позволяет, через PC-динамик. Выбор — в меню \"Звук\".\n"
        "\n"
        "==============================\n"
        "          ДИСКОВОДЫ\n"
        "==============================\n"
        "Четыре дисковода A–D показаны на верхней панели. Зелёная лампа — диск вставлен и защёлка "
        "закрыта, красная — защёлка открыта. Правая кнопка мыши открывает и закрывает защёлку, "
        "двойной щелчок загружает образ диска, Ctrl + двойной щелчок открывает менеджер диска. "
        "Файл .kdi можно перетащить из файлового менеджера на дисковод или на экран (тогда он "
        "попадёт в дисковод A). Изменения на диске записываются в файл образа только по команде "
        "\"Сохранить в файл\" или с вашего согласия при выгрузке и выходе.\n"
        "\n"
        "==============================\n"
        "        МЕНЕДЖЕР ДИСКА\n"
        "==============================\n"
        "Показывает файлы CP/M на диске: имя, размер и атрибуты (R — только чтение, S — системный, "
        "A — архивный, D — удалённый, U — номер пользователя). Удалённые файлы показаны красным. "
        "Файлы можно импортировать (несколько сразу или перетаскиванием в таблицу), экспортировать "
        "и удалять; диск можно очистить, загрузить из файла и сохранить в файл. Все изменения "
        "делаются на копии диска и попадают в дисковод только по кнопке OK.\n"
        "\n"
        "==============================\n"
        "         VELGARD-CLI\n"
        "==============================\n"
        "velgard-cli работает без окна: velgard-cli run запускает машину, печатает текст на её "
        "клавиатуре, сохраняет снимок экрана и звук; velgard-cli disk создаёт образы дисков и "
        "работает с файлами на них; velgard-cli cpm запускает программы CP/M на голом процессоре.\n"
        "\n"
        "==============================\n"
        "          ЛИЦЕНЗИИ\n"
        "==============================\n"
        "Код Velgard — эмулятор, его прошивка на ассемблере 8080, генератор шрифта и "
        "демонстрационный диск — написан в проекте Velgard и распространяется на условиях "
        "лицензии MIT (файл LICENSE; после установки — в share/doc/velgard).\n"
        "Шрифт знакогенератора строится при сборке из консольного шрифта Terminus (пакет "
        "console-setup-linux в Debian). Это изменённая версия Terminus Font, Copyright (c) 2010 "
        "Dimitar Toshkov Zhekov, с зарезервированным именем шрифта \"Terminus Font\"; она "
        "распространяется на условиях SIL Open Font License 1.1 и не называется \"Terminus Font\". "
        "Полный текст лицензии — в файле firmware/font/LICENSE-Terminus.txt (после установки — в "
        "share/doc/velgard).\n"
        "Программа использует библиотеки Qt 6 (LGPL 3) и SDL 2 (лицензия zlib) из Debian.\n");
}

TReadmeForm::TReadmeForm(QWidget* parent) : TInfoDialog(parent) {
    setObjectName(QStringLiteral("ReadmeForm"));
    setWindowTitle(QStringLiteral("README - временная замена справочной системы :)"));
    constexpr int width = 490, height = 341;
    setFixedSize(width, height);
    memo_ = MakeTextBox(this, QStringLiteral("Memo"), ReadmeText(), width, height);
    MakeOkButton(this, width, height);
}

// ---- About --------------------------------------------------------------

QString TAboutForm::VersionLine() { return QStringLiteral("Техническая версия ") + ProgramVersion(); }

TAboutForm::TAboutForm(QWidget* parent) : TInfoDialog(parent) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral(" "));
    constexpr int width = 249, height = 163;
    setFixedSize(width, height);

    name_ = Child<QLabel>(QStringLiteral("Velgard"), this);
    name_->setObjectName(QStringLiteral("NameLabel"));
    QFont title(QStringLiteral("Arial"));
    title.setBold(true);
    title.setPointSize(14);
    name_->setFont(title);
    QPalette palette = name_->palette();
    palette.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    name_->setPalette(palette);
    name_->setAlignment(Qt::AlignCenter);
    name_->setGeometry(0, 6, width, 24);

    auto* panel = Child<QFrame>(this);
    panel->setObjectName(QStringLiteral("Panel"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    panel->setGeometry(8, 34, width - 16, height - 34 - kButtonHeight - 16);
    auto* layout = Child<QVBoxLayout>(panel);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(0);
    const QString lines[] = {
        QStringLiteral("Эмулятор школьного компьютера"),
        QStringLiteral("Корвет ПК8020"),
        VersionLine(),
        QStringLiteral("Открытая прошивка и шрифт"),
    };
    for (const QString& text : lines) {
        auto* label = Child<QLabel>(text, panel);
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
        lines_ << label;
    }
    MakeOkButton(this, width, height);
}

QStringList TAboutForm::PanelLines() const {
    QStringList out;
    for (const QLabel* label : lines_) out << label->text();
    return out;
}

}  // namespace velgard::ui
