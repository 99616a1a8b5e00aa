// velgard: the desktop program.
//   velgard [--start] [IMAGE.kdi ...]
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/Glyphs.h"
#include "ui/MainForm.h"

namespace {

struct tCommandLine {
    QCommandLineParser parser;
    QCommandLineOption start{"start", "Power the machine on at once (as F11 does)."};
    tCommandLine() {
        parser.setApplicationDescription(
            "Velgard, an emulator of the Korvet PK8020 school computer.\n"
            "Disk images given on the command line go into drives A, B, C and D, with their latches closed.");
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(start);
        parser.addPositionalArgument("IMAGE.kdi", "Disk images for drives A-D, in this order.", "[IMAGE.kdi ...]");
    }
};

// --help and --version need no display: they are answered before the
// window system is opened.
bool AsksForTextOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        for (const char* option : {"--help", "-h", "-?", "--help-all", "--version", "-v"})
            if (std::strcmp(argv[i], option) == 0) return true;
    }
    return false;
}

void Describe(QCoreApplication& app) {
    QCoreApplication::setApplicationName("velgard");
    QCoreApplication::setApplicationVersion(VELGARD_VERSION);
    (void)app;
}

}  // namespace

int main(int argc, char** argv) {
    if (AsksForTextOnly(argc, argv)) {
        QCoreApplication app(argc, argv);
        Describe(app);
        tCommandLine commandLine;
        commandLine.parser.process(app);  // prints and exits
        return 0;
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "velgard: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                     "velgard-cli runs the machine without one\n");
        return 1;
    }
    QApplication app(argc, argv);
    Describe(app);
    QApplication::setWindowIcon(velgard::ui::ProgramIcon());
    QApplication::setDesktopFileName("velgard");
    tCommandLine commandLine;
    commandLine.parser.process(app);

    velgard::ui::TMainForm form;
    form.LoadImagesFromCommandLine(commandLine.parser.positionalArguments());
    form.show();
    if (commandLine.parser.isSet(commandLine.start)) QTimer::singleShot(0, &form, [&form] { form.btnStartClick(); });
    return app.exec();
}
