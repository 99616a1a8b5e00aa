#include "ui/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace velgard::ui {

namespace {

QMessageBox::Icon ToQt(tIcon icon) {
    switch (icon) {
        case tIcon::Information: return QMessageBox::Information;
        case tIcon::Warning: return QMessageBox::Warning;
        case tIcon::Question: return QMessageBox::Question;
        case tIcon::Critical: return QMessageBox::Critical;
        case tIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

void SetUp(QFileDialog& dialog, const tFileDialogSpec& request) {
    dialog.setWindowTitle(request.Title);
    if (!request.Folder.isEmpty()) dialog.setDirectory(request.Folder);
    if (!request.FileName.isEmpty()) dialog.selectFile(request.FileName);
    if (!request.Filter.isEmpty()) dialog.setNameFilter(request.Filter);
    if (!request.DefaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.DefaultSuffix);
}

}  // namespace

std::optional<QString> tQtDialogs::OpenFile(QWidget* parent, const tFileDialogSpec& request) {
    QFileDialog dialog(parent);
    SetUp(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front();
}

QStringList tQtDialogs::OpenFiles(QWidget* parent, const tFileDialogSpec& request) {
    QFileDialog dialog(parent);
    SetUp(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

std::optional<QString> tQtDialogs::SaveFile(QWidget* parent, const tFileDialogSpec& request) {
    QFileDialog dialog(parent);
    SetUp(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front();
}

bool tQtDialogs::AskYesNo(QWidget* parent, const QString& caption, const QString& text, tIcon icon) {
    QMessageBox box(ToQt(icon), caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void tQtDialogs::Message(QWidget* parent, const QString& caption, const QString& text, tIcon icon) {
    QMessageBox box(ToQt(icon), caption, text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace velgard::ui
