#include "ui/DiskForm.h"
#include "ui/QtChild.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <algorithm>
#include <filesystem>
#include <new>

#include "disk/AtomicFile.h"
#include "ui/Dialogs.h"
#include "ui/DriveBox.h"
#include "ui/Flags.h"

namespace velgard::ui {

namespace {

// Layout of the window (client area 434 x 302).
constexpr int kClientWidth = 434;
constexpr int kClientHeight = 302;
constexpr int kMargin = 6;
constexpr int kTableWidth = 321;
constexpr int kTableHeight = 289;
constexpr int kButtonWidth = 95;
constexpr int kButtonHeight = 27;
constexpr int kButtonGap = 4;
constexpr int kRowHeight = 18;
constexpr int kNameIndent = 5;
// An image larger than this is not read into the window: no Korvet disk
// comes near it, and it keeps a stray choice of a huge file harmless.
constexpr qint64 kMaxImageFile = 64 * 1024 * 1024;

const QColor kSelectedColour(0xFF, 0xFF, 0x00);

QString Quoted(const QString& s) { return QStringLiteral("\"") + s + QStringLiteral("\""); }

std::string FolderOf(const QString& file) {
    return (QFileInfo(file).absolutePath() + QStringLiteral("/")).toStdString();
}

std::filesystem::path HostPath(const QString& file) {
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

// Reads a whole host file of at most `limit` bytes; false when it cannot.
bool ReadHostFile(const QString& path, qint64 limit, std::vector<std::uint8_t>& out) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const qint64 size = file.size();
    if (size < 0 || size > limit) return false;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.read(reinterpret_cast<char*>(data.data()) + done, size - done);
        if (n <= 0) return false;
        done += n;
    }
    out = std::move(data);
    return true;
}

// A raised cell: face colour, white left and top lines, black right and
// bottom lines.
void DrawRaisedCell(QPainter* p, const QRect& r, const QColor& face) {
    p->fillRect(r, face);
    p->setPen(Qt::white);
    p->drawLine(r.topLeft(), r.topRight());
    p->drawLine(r.topLeft(), r.bottomLeft());
    p->setPen(Qt::black);
    p->drawLine(r.bottomLeft(), r.bottomRight());
    p->drawLine(r.topRight(), r.bottomRight());
}

void DrawCellText(QPainter* p, const QRect& r, int column, const QString& text, const QColor& colour) {
    p->setPen(colour);
    if (column == TDiskForm::kColName) {
        p->drawText(r.adjusted(kNameIndent, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    } else {
        p->drawText(r, Qt::AlignCenter, text);
    }
}

class TFilesCellDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        p->save();
        const QRect r = option.rect;
        const int column = index.column();
        const bool erased = index.data(TDiskForm::kErasedRole).toBool();
        if (column == TDiskForm::kColNumber) {
            DrawRaisedCell(p, r.adjusted(0, 0, -1, -1), option.palette.color(QPalette::Button));
        } else {
            const bool selected = (option.state & QStyle::State_Selected) != 0;
            p->fillRect(r, selected ? kSelectedColour : QColor(Qt::white));
        }
        const QColor ink = erased && column != TDiskForm::kColNumber ? QColor(Qt::red) : QColor(Qt::black);
        DrawCellText(p, r, column, index.data(Qt::DisplayRole).toString().trimmed(), ink);
        p->restore();
    }
};

// The header row, drawn like the fixed cells of column 0.
class TFilesHeader final : public QHeaderView {
public:
    explicit TFilesHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

protected:
    void paintSection(QPainter* p, const QRect& r, int section) const override {
        if (!r.isValid()) return;
        p->save();
        DrawRaisedCell(p, r.adjusted(0, 0, -1, -1), palette().color(QPalette::Button));
        const QString text = model() ? model()->headerData(section, orientation()).toString().trimmed() : QString();
        DrawCellText(p, r, section, text, Qt::black);
        p->restore();
    }
};

// Shortens a path to `width` pixels the way the system shortens paths: the
// file name stays, folders in the middle give way to "...".
QString CompactPath(const QString& path, const QFontMetrics& fm, int width) {
    if (fm.horizontalAdvance(path) <= width) return path;
    const QStringList parts = path.split(QLatin1Char('/'));
    if (parts.size() >= 3) {
        const QString head = parts.front() + QStringLiteral("/");
        // Keep as many trailing components as fit after "<first>/.../".
        for (int keep = static_cast<int>(parts.size()) - 2; keep >= 1; --keep) {
            const QString candidate = head + QStringLiteral(".../") + parts.mid(parts.size() - keep).join('/');
            if (fm.horizontalAdvance(candidate) <= width) return candidate;
        }
    }
    return fm.elidedText(path, Qt::ElideMiddle, width);
}

}  // namespace

// ---- TFilesTable --------------------------------------------------------

TFilesTable::TFilesTable(QWidget* parent) : QTableWidget(parent) {
    setObjectName(QStringLiteral("FilesTable"));
    setHorizontalHeader(Child<TFilesHeader>(this));
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
}

void TFilesTable::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFilesOf(event->mimeData()).isEmpty()) event->acceptProposedAction();
    else event->ignore();
}

void TFilesTable::dragMoveEvent(QDragMoveEvent* event) {
    if (!LocalFilesOf(event->mimeData()).isEmpty()) event->acceptProposedAction();
    else event->ignore();
}

void TFilesTable::dropEvent(QDropEvent* event) {
    const QStringList files = LocalFilesOf(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit filesDropped(files);
}

// ---- TDiskForm ----------------------------------------------------------

TDiskForm::TDiskForm(tDialogs& dialogs, tFlags& flags, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), flags_(flags) {
    setObjectName(QStringLiteral("DiskForm"));
    setWindowTitle(QStringLiteral("Редактор диска"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    table_ = Child<TFilesTable>(this);
    table_->setGeometry(kMargin, kMargin, kTableWidth, kTableHeight);
    table_->setColumnCount(kColumns);
    table_->setHorizontalHeaderLabels({QStringLiteral("#"), QStringLiteral("Имя файла"),
                                       QStringLiteral("Размер, байт"), QStringLiteral("Атрибуты")});
    table_->horizontalHeader()->setMinimumSectionSize(1);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    const int widths[kColumns] = {25, 100, 100, 70};
    for (int c = 0; c < kColumns; ++c) table_->setColumnWidth(c, widths[c]);
    table_->horizontalHeader()->setFixedHeight(kRowHeight);
    table_->horizontalHeader()->setHighlightSections(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setMinimumSectionSize(1);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table_->setWordWrap(false);
    table_->setItemDelegate(Child<TFilesCellDelegate>(table_));
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(table_, &TFilesTable::filesDropped, this, [this](const QStringList& paths) {
        if (!image_.empty()) ImportHostFiles(paths);
    });

    struct ButtonDef {
        QPushButton** slot;
        const char* name;
        QString caption;
        QString hint;
    };
    const ButtonDef defs[] = {
        {&btnOk_, "btnOk", QStringLiteral("OK"), QStringLiteral("Применить изменения к диску эмулятора")},
        {&btnCancel_, "btnCancel", QStringLiteral("Отменить"), QStringLiteral("Отменить изменения и выйти")},
        {&btnLoadDisk_, "btnLoadDisk", QStringLiteral("Загрузить"), QStringLiteral("Загрузить диск из файла")},
        {&btnSaveDisk_, "btnSaveDisk", QStringLiteral("Сохранить"), QStringLiteral("Сохранить диск в файл")},
        {&btnClearDisk_, "btnClearDisk", QStringLiteral("Очистить"), QStringLiteral("Удалить все файлы")},
        {&btnImportFiles_, "btnImportFiles", QStringLiteral("Импорт"),
         QStringLiteral("Импортировать файлы на диск")},
        {&btnExportFiles_, "btnExportFiles", QStringLiteral("Экспорт"),
         QStringLiteral("Экспортировать файлы с диска")},
        {&btnEraseFiles_, "btnEraseFiles", QStringLiteral("Удалить"), QStringLiteral("Удалить выбранные файлы")},
        {&btnRestoreFile_, "btnRestoreFile", QStringLiteral("Восстановить"),
         QStringLiteral("Восстановить удаленные и скрытые файлы")},
        {&btnInfo_, "btnInfo", QStringLiteral("Информация"), QStringLiteral("Информация о диске")},
    };
    const int left = kClientWidth - kMargin - kButtonWidth;
    int top = kMargin;
    for (const auto& d : defs) {
        auto* button = Child<QPushButton>(d.caption, this);
        button->setObjectName(QString::fromLatin1(d.name));
        button->setToolTip(d.hint);
        button->setAutoDefault(false);
        button->setGeometry(left, top, kButtonWidth, kButtonHeight);
        top += kButtonHeight + kButtonGap;
        if (d.slot == &btnCancel_) top += kButtonGap * 2;  // a gap after OK and Cancel
        *d.slot = button;
    }
    btnOk_->setDefault(true);
    btnRestoreFile_->hide();
    btnRestoreFile_->setEnabled(false);
    btnInfo_->hide();
    btnInfo_->setEnabled(false);

    connect(btnOk_, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnLoadDisk_, &QPushButton::clicked, this, [this] { btnLoadDiskClick(); });
    connect(btnSaveDisk_, &QPushButton::clicked, this, [this] { btnSaveDiskClick(); });
    connect(btnClearDisk_, &QPushButton::clicked, this, [this] { btnClearDiskClick(); });
    connect(btnImportFiles_, &QPushButton::clicked, this, [this] { btnImportFilesClick(); });
    connect(btnExportFiles_, &QPushButton::clicked, this, [this] { btnExportFilesClick(); });
    connect(btnEraseFiles_, &QPushButton::clicked, this, [this] { btnEraseFilesClick(); });
    connect(btnRestoreFile_, &QPushButton::clicked, this, [this] { btnRestoreFileClick(); });

    UpdateButtons();
}

TDiskForm::~TDiskForm() = default;

QPushButton* TDiskForm::Button(const char* name) const {
    return findChild<QPushButton*>(QString::fromLatin1(name));
}

bool TDiskForm::Begin(const std::uint8_t* data, std::size_t size, const std::string& path, bool changed) {
    if (data == nullptr || size == 0) return false;
    image_.assign(data, data + size);
    changed_ = changed;
    baseCaption_ = windowTitle();
    path_ = QString::fromStdString(path);
    if (!IsCpmImage(image_)) image_.clear();
    table_->setRowCount(0);
    RefreshFiles();
    if (table_->rowCount() > 0) SelectRow(0);
    UpdateButtons();
    return true;
}

bool TDiskForm::Finish(bool accepted, std::vector<std::uint8_t>& outImage, std::string& outPath,
                       bool& outChanged) const {
    if (!accepted || image_.empty()) return false;
    try {
        outImage = image_;
    } catch (const std::bad_alloc&) {
        return false;
    }
    outPath = path_.toStdString();
    outChanged = changed_;
    return true;
}

bool TDiskForm::Edit(const std::uint8_t* data, std::size_t size, const std::string& path, bool changed,
                     std::vector<std::uint8_t>& outImage, std::string& outPath, bool& outChanged) {
    if (!Begin(data, size, path, changed)) return false;
    const bool accepted = exec() == QDialog::Accepted;
    const bool result = Finish(accepted, outImage, outPath, outChanged);
    // The next caller sets its own caption; leave none of this disk's path in it.
    setWindowTitle(baseCaption_);
    return result;
}

QString TDiskForm::AttributeLetters(const CpmFileInfo& info) {
    QStringList letters;
    if (info.readOnly) letters << QStringLiteral("R");
    if (info.system) letters << QStringLiteral("S");
    if (info.archive) letters << QStringLiteral("A");
    if (info.erased) {
        letters << QStringLiteral("D");
    } else if (info.user > 0) {
        letters << QStringLiteral("U") + QString::number(info.user);
    }
    return letters.isEmpty() ? QStringLiteral("-") : letters.join(QLatin1Char(','));
}

int TDiskForm::SelectedRow() const {
    const auto rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return -1;
    return rows.front().row();
}

void TDiskForm::SelectRow(int row) {
    if (row < 0 || row >= table_->rowCount()) {
        table_->clearSelection();
    } else {
        table_->setCurrentCell(row, kColName);
        table_->selectRow(row);
    }
    UpdateButtons();
}

void TDiskForm::RefreshFiles() {
    const int previous = SelectedRow();
    files_.clear();
    const int count = image_.empty() ? 0 : CountFiles(image_);
    for (int i = 0; i < count; ++i) {
        CpmFileInfo info;
        if (!GetFileInfo(image_, i, info)) {
            info = CpmFileInfo{};
            info.name.assign(1, '-');
        }
        files_.push_back(std::move(info));
    }

    const QSignalBlocker block(table_);
    table_->clearSelection();
    table_->setRowCount(static_cast<int>(files_.size()));
    for (int row = 0; row < static_cast<int>(files_.size()); ++row) {
        const CpmFileInfo& info = files_[static_cast<std::size_t>(row)];
        const QString texts[kColumns] = {QString::number(row + 1), QString::fromStdString(info.name),
                                         QString::number(info.size), AttributeLetters(info)};
        for (int c = 0; c < kColumns; ++c) {
            auto* item = Child<QTableWidgetItem>(texts[c]);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            item->setData(kErasedRole, info.erased);
            table_->setItem(row, c, item);
        }
    }
    // The selection stays on its row, or on the last row when that is gone.
    if (previous >= 0 && table_->rowCount() > 0) {
        const int row = std::min(previous, table_->rowCount() - 1);
        table_->setCurrentCell(row, kColName);
        table_->selectRow(row);
    }
    UpdateCaption();
    UpdateButtons();
    table_->viewport()->update();
}

void TDiskForm::UpdateCaption() {
    QString caption = baseCaption_;
    if (!path_.isEmpty()) {
        caption += QStringLiteral("  (") + CompactPath(path_, QFontMetrics(font()), 250) + QStringLiteral(")");
    }
    if (caption != windowTitle()) setWindowTitle(caption);
}

void TDiskForm::UpdateButtons() {
    const bool disk = !image_.empty();
    const bool fileRow = disk && SelectedRow() >= 0;
    auto set = [](QPushButton* b, bool on) {
        if (b->isEnabled() != on) b->setEnabled(on);
    };
    set(btnSaveDisk_, disk);
    set(btnImportFiles_, disk);
    set(btnExportFiles_, fileRow);
    set(btnEraseFiles_, fileRow);
    set(btnClearDisk_, disk && table_->rowCount() > 0);
    table_->viewport()->setAcceptDrops(disk);
}

bool TDiskForm::SelectedFile(CpmFileInfo& info) const {
    const int row = SelectedRow();
    if (image_.empty() || row < 0 || row >= static_cast<int>(files_.size())) return false;
    info = files_[static_cast<std::size_t>(row)];
    return true;
}

bool TDiskForm::WriteHostFile(const QString& path, const std::vector<std::uint8_t>& data,
                              const QString& caption) {
    const AtomicWriteStatus status = WriteFileAtomically(HostPath(path), data);
    if (status == AtomicWriteStatus::Ok) return true;
    // The old file is still there, untouched: say that it could not be replaced.
    const QString text = status == AtomicWriteStatus::TargetReadOnly
                             ? QStringLiteral("Не удалось удалить прежний файл ") + Quoted(path) + QStringLiteral("!")
                             : QStringLiteral("Не удалось записать файл ") + Quoted(path) + QStringLiteral("!");
    dialogs_.Message(this, caption, text, tIcon::Warning);
    return false;
}

void TDiskForm::btnLoadDiskClick() {
    tFileDialogSpec request;
    request.Title = QStringLiteral("Загрузить образ диска из файла");
    request.Folder = QString::fromStdString(flags_.OpenDiskFolder);
    request.FileName = QFileInfo(path_).fileName();
    request.Filter = QStringLiteral("Образы дисков Корвета (*.kdi)");
    request.DefaultSuffix = QStringLiteral("kdi");
    const auto file = dialogs_.OpenFile(this, request);
    if (!file) return;

    flags_.OpenDiskFolder = FolderOf(*file);
    path_ = *file;
    changed_ = true;
    std::vector<std::uint8_t> data;
    if (!ReadHostFile(*file, kMaxImageFile, data)) {
        // The working image stays as it was, the changed flag stays set.
        dialogs_.Message(this, request.Title, QStringLiteral("Не удалось прочитать файл ") + Quoted(*file) + QStringLiteral("!"),
                         tIcon::Critical);
        UpdateCaption();
        return;
    }
    image_ = std::move(data);
    changed_ = false;
    if (!IsCpmImage(image_)) {
        image_.clear();
        changed_ = true;
    }
    table_->setRowCount(0);
    RefreshFiles();
    if (table_->rowCount() > 0) SelectRow(0);
}

void TDiskForm::btnSaveDiskClick() {
    const QString caption = QStringLiteral("Сохранение диска в файл");
    tFileDialogSpec request;
    request.Title = QStringLiteral("Сохранить образ диска в файл");
    request.Folder = QString::fromStdString(flags_.OpenDiskFolder);
    request.FileName = QFileInfo(path_).fileName();
    request.Filter = QStringLiteral("Образы дисков Корвета (*.kdi)");
    request.DefaultSuffix = QStringLiteral("kdi");
    const auto file = dialogs_.SaveFile(this, request);
    if (!file) return;

    flags_.OpenDiskFolder = FolderOf(*file);
    const QString previous = path_;
    path_ = *file;
    if (QFileInfo::exists(path_) &&
        !dialogs_.AskYesNo(this, caption,
                           QStringLiteral("Файл ") + Quoted(path_) + QStringLiteral(" уже существует. ") +
                               QStringLiteral("Переписать?"),
                           tIcon::Question)) {
        return;
    }
    if (image_.empty()) return;
    // Replaced whole through a temporary file: a failure keeps the old file.
    if (!WriteHostFile(path_, image_, caption)) {
        path_ = previous;
        UpdateCaption();
        return;
    }
    RefreshFiles();
}

void TDiskForm::btnClearDiskClick() {
    if (!dialogs_.AskYesNo(this, QStringLiteral("Очистка диска"),
                           QStringLiteral("Все данные на диске будут полностью уничтожены без возможности "
                                          "восстановления. Вы уверены, что хотите этого?"),
                           tIcon::Question)) {
        return;
    }
    changed_ = true;
    ClearDisk(image_);
    RefreshFiles();
}

void TDiskForm::btnImportFilesClick() {
    if (image_.empty()) return;
    tFileDialogSpec request;
    request.Title = QStringLiteral("Импортировать файлы на диск");
    request.Folder = QString::fromStdString(flags_.OpenFilesFolder);
    request.Filter = QStringLiteral("Все файлы (*)");
    const QStringList files = dialogs_.OpenFiles(this, request);
    if (files.isEmpty()) return;
    flags_.OpenFilesFolder = FolderOf(files.front());
    ImportHostFiles(files);
}

int TDiskForm::ImportHostFiles(const QStringList& paths) {
    if (image_.empty() || paths.isEmpty()) return 0;
    int imported = 0;
    for (const QString& path : paths) {
        std::vector<std::uint8_t> contents;
        // A file larger than the whole image cannot fit; it is not even read.
        if (!ReadHostFile(path, static_cast<qint64>(image_.size()), contents)) continue;
        changed_ = true;
        if (ImportFile(image_, path.toStdString(), contents)) ++imported;
    }
    RefreshFiles();
    if (imported < paths.size()) {
        dialogs_.Message(this, QStringLiteral("Импорт файлов на диск"),
                         QStringLiteral("Импортировано ") + QString::number(imported) +
                             QStringLiteral(" файлов из ") + QString::number(paths.size()) +
                             QStringLiteral(". Оставшиеся файлы либо имеют дублирующиеся имена, либо "
                                            "слишком большие для данного диска!"),
                         tIcon::Information);
    }
    return imported;
}

void TDiskForm::btnExportFilesClick() {
    CpmFileInfo info;
    if (!SelectedFile(info) || info.size == 0) return;
    const QString caption = QStringLiteral("Экспорт файла с диска");
    const QString name = QString::fromStdString(info.name);
    tFileDialogSpec request;
    request.Title = caption;
    request.Folder = QString::fromStdString(flags_.OpenFilesFolder);
    request.FileName = name;
    request.Filter = QStringLiteral("Все файлы (*)");
    const auto file = dialogs_.SaveFile(this, request);
    if (!file) return;

    flags_.OpenFilesFolder = FolderOf(*file);
    if (QFileInfo::exists(*file) &&
        !dialogs_.AskYesNo(this, caption,
                           QStringLiteral("Файл ") + Quoted(*file) + QStringLiteral(" уже существует. ") +
                               QStringLiteral("Переписать?"),
                           tIcon::Question)) {
        return;
    }
    tFileArray contents;
    if (!ReadFile(image_, info.name, info.erased, contents)) {
        dialogs_.Message(this, caption,
                         QStringLiteral("Не удалось прочитать файл ") + Quoted(name) + QStringLiteral(" с образа диска!"),
                         tIcon::Warning);
        return;
    }
    WriteHostFile(*file, contents, caption);
}

void TDiskForm::btnEraseFilesClick() {
    CpmFileInfo info;
    if (!SelectedFile(info) || info.size == 0) return;
    const QString name = QString::fromStdString(info.name);
    if (!dialogs_.AskYesNo(this, QStringLiteral("Удаление файла с диска"),
                           QStringLiteral("Файл ") + Quoted(name) + QStringLiteral(" будет полностью удален с диска без ") +
                               QStringLiteral("возможности его восстановления. Вы уверены, что хотите этого?"),
                           tIcon::Question)) {
        return;
    }
    changed_ = true;
    EraseFile(image_, info.name, info.erased);
    RefreshFiles();
}

void TDiskForm::btnRestoreFileClick() {
    CpmFileInfo info;
    if (!SelectedFile(info) || info.size == 0) return;
    changed_ = true;
    RestoreFile(image_, info.name, info.erased);
    RefreshFiles();
}

}  // namespace velgard::ui
