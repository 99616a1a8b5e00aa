// velgard: the desktop program.
//   velgard [--start] [IMAGE.kdi ...]
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

#include "ui/Glyphs.h"
#include "ui/MainForm.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Velgard");
    QApplication::setApplicationVersion(VELGARD_VERSION);
    QApplication::setWindowIcon(velgard::ui::ProgramIcon());
    QApplication::setDesktopFileName("velgard");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Velgard, an emulator of the Korvet PK8020 school computer.\n"
        "Disk images given on the command line go into drives A, B, C and D, with their latches closed.");
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption start("start", "Power the machine on at once (as F11 does).");
    parser.addOption(start);
    parser.addPositionalArgument("IMAGE.kdi", "Disk images for drives A-D, in this order.", "[IMAGE.kdi ...]");
    parser.process(app);

    velgard::ui::TMainForm form;
    form.LoadImagesFromCommandLine(parser.positionalArguments());
    form.show();
    if (parser.isSet(start)) QTimer::singleShot(0, &form, [&form] { form.btnStartClick(); });
    return app.exec();
}
