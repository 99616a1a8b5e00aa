// The what's-new, read-me and about windows.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include <gtest/gtest.h>

#include "ui/InfoForms.h"

namespace velgard::ui {
namespace {

TEST(InfoForms, CaptionsAndSizes) {
    TWhatsNewForm whatsNew;
    TReadmeForm readme;
    TAboutForm about;
    EXPECT_EQ(whatsNew.windowTitle(), "Что нового в программе");
    EXPECT_EQ(whatsNew.size(), QSize(407, 337));
    EXPECT_EQ(readme.windowTitle(), "README - временная замена справочной системы :)");
    EXPECT_EQ(readme.size(), QSize(490, 341));
    EXPECT_EQ(about.windowTitle(), " ");
    EXPECT_EQ(about.size(), QSize(249, 163));
    for (QDialog* d : std::initializer_list<QDialog*>{&whatsNew, &readme, &about}) {
        EXPECT_EQ(d->minimumSize(), d->maximumSize()) << d->objectName().toStdString();
        EXPECT_NE(d->findChild<QPushButton*>("btnOk"), nullptr);
    }
}

TEST(InfoForms, HistoryAndAboutBoxNameTheBuildsVersion) {
    const QString version = QStringLiteral(VELGARD_VERSION);
    EXPECT_EQ(ProgramVersion(), version);
    EXPECT_FALSE(version.isEmpty());

    // The newest entry comes first and is this build's version.
    const QString history = TWhatsNewForm::HistoryText();
    EXPECT_TRUE(history.startsWith("Версия " + version + " (")) << history.left(40).toStdString();
    const QStringList lines = history.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    for (const QString& line : lines) {
        EXPECT_TRUE(line.startsWith("Версия ") || line.startsWith(" - ")) << line.toStdString();
    }
    TWhatsNewForm whatsNew;
    EXPECT_EQ(whatsNew.Info()->toPlainText(), history);
    EXPECT_TRUE(whatsNew.Info()->isReadOnly());
    EXPECT_EQ(whatsNew.Info()->font().family(), "Times New Roman");

    TAboutForm about;
    EXPECT_EQ(TAboutForm::VersionLine(), "Техническая версия " + version);
    EXPECT_TRUE(about.PanelLines().contains(TAboutForm::VersionLine()));
    EXPECT_EQ(about.NameLabel()->text(), "Velgard");
    EXPECT_TRUE(about.NameLabel()->font().bold());
    EXPECT_EQ(about.NameLabel()->palette().color(QPalette::WindowText), QColor(0x80, 0, 0));
    EXPECT_TRUE(about.NameLabel()->alignment() & Qt::AlignHCenter);
}

TEST(InfoForms, ReadmeDescribesTheProgramAndItsLicences) {
    TReadmeForm readme;
    const QString text = readme.Memo()->toPlainText();
    EXPECT_TRUE(readme.Memo()->isReadOnly());
    EXPECT_EQ(text, TReadmeForm::ReadmeText());
    // Sections: a title between two lines of "=".
    const QStringList lines = text.split('\n');
    int sections = 0;
    for (int i = 1; i + 1 < lines.size(); ++i) {
        if (lines[i - 1].startsWith("=====") && lines[i + 1].startsWith("=====") && !lines[i].trimmed().isEmpty())
            ++sections;
    }
    EXPECT_GE(sections, 8);
    for (const char* needle : {"F11", "F9", "F12", "Пауза", "Двойной щелчок", "Ctrl", "velgard-cli",
                               "SIL Open Font License 1.1", "Terminus", "прошивк", "MIT"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(needle))) << needle;
    // The licence text it points to is in the source tree.
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(VELGARD_SOURCE_DIR) / "firmware" / "font" /
                                        "LICENSE-Terminus.txt"));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(VELGARD_SOURCE_DIR) / "LICENSE"));
}

TEST(InfoForms, WhatsNewClosesWithEnterAtOnce) {
    TWhatsNewForm whatsNew;
    QTimer::singleShot(0, &whatsNew, [&] {
        EXPECT_EQ(whatsNew.focusWidget(), whatsNew.OkButton());
        QTest::keyClick(whatsNew.focusWidget() ? whatsNew.focusWidget() : &whatsNew, Qt::Key_Return);
        // Never hang the test if Enter did not close it.
        QTimer::singleShot(2000, &whatsNew, [&] { whatsNew.done(-1); });
    });
    EXPECT_EQ(whatsNew.exec(), QDialog::Accepted);
}

TEST(InfoForms, OkClosesTheReadmeAndTheAboutBox) {
    TReadmeForm readme;
    TAboutForm about;
    for (QDialog* d : std::initializer_list<QDialog*>{&readme, &about}) {
        QTimer::singleShot(0, d, [d] { d->findChild<QPushButton*>("btnOk")->click(); });
        EXPECT_EQ(d->exec(), QDialog::Accepted);
    }
}

}  // namespace
}  // namespace velgard::ui
