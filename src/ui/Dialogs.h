#pragma once
// Every question, message and file dialog of the desktop program goes
// through one tDialogs object, so that tests can answer them without a
// person: the program uses tQtDialogs, the GUI tests a scripted stand-in.
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace velgard::ui {

enum class tIcon { None, Information, Warning, Question, Critical };

// A file dialog's set-up. `Filter` uses Qt's form, e.g.
// "Образы дисков Корвета (*.kdi);;Все файлы (*)".
struct tFileDialogSpec {
    QString Title;
    QString Folder;           // initial folder
    QString FileName;         // suggested name (save dialogs)
    QString Filter;
    QString DefaultSuffix;    // added when the typed name has none, e.g. "kdi"
};

class tDialogs {
public:
    virtual ~tDialogs() = default;
    // An existing file, or nothing on Cancel.
    virtual std::optional<QString> OpenFile(QWidget* parent, const tFileDialogSpec& request) = 0;
    // Several existing files (empty on Cancel).
    virtual QStringList OpenFiles(QWidget* parent, const tFileDialogSpec& request) = 0;
    // A file name to write, or nothing on Cancel. Does not ask about
    // replacing an existing file: the callers ask in their own words.
    virtual std::optional<QString> SaveFile(QWidget* parent, const tFileDialogSpec& request) = 0;
    // A Yes/No question; true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& caption, const QString& text,
                          tIcon icon = tIcon::Question) = 0;
    // A message with an OK button.
    virtual void Message(QWidget* parent, const QString& caption, const QString& text, tIcon icon) = 0;
};

// The real dialogs: QFileDialog and QMessageBox.
class tQtDialogs final : public tDialogs {
public:
    std::optional<QString> OpenFile(QWidget* parent, const tFileDialogSpec& request) override;
    QStringList OpenFiles(QWidget* parent, const tFileDialogSpec& request) override;
    std::optional<QString> SaveFile(QWidget* parent, const tFileDialogSpec& request) override;
    bool AskYesNo(QWidget* parent, const QString& caption, const QString& text, tIcon icon) override;
    void Message(QWidget* parent, const QString& caption, const QString& text, tIcon icon) override;
};

}  // namespace velgard::ui
