#pragma once
// The three information windows of the "Справка" menu: what's new, the
// read-me and the about box. Fixed texts; none of them changes any state.
#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace velgard::ui {

// The program's version as the build names it.
QString ProgramVersion();

// Dialogs of this file open centred on the screen with a fixed size.
class TInfoDialog : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

protected:
    void showEvent(QShowEvent* event) override;
};

class TWhatsNewForm : public TInfoDialog {
    Q_OBJECT
public:
    explicit TWhatsNewForm(QWidget* parent = nullptr);
    // The version history, newest first.
    static QString HistoryText();
    QPlainTextEdit* Info() const { return info_; }
    QPushButton* OkButton() const { return btnOk_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QPlainTextEdit* info_;
    QPushButton* btnOk_;
};

class TReadmeForm : public TInfoDialog {
    Q_OBJECT
public:
    explicit TReadmeForm(QWidget* parent = nullptr);
    static QString ReadmeText();
    QPlainTextEdit* Memo() const { return memo_; }

private:
    QPlainTextEdit* memo_;
};

class TAboutForm : public TInfoDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
    // The version line of the panel: "Техническая версия " + version.
    static QString VersionLine();
    QLabel* NameLabel() const { return name_; }
    // All lines of the panel, top to bottom.
    QStringList PanelLines() const;

private:
    QLabel* name_;
    QList<QLabel*> lines_;
};

}  // namespace velgard::ui
