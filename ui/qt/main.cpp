// bootloader: the desktop program.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/VersionText.h"
#include "link/SystemPortFactory.h"
#include "platform/qt/QtMessageLoop.h"
#include "ui/qt/AboutBox.h"
#include "ui/qt/CommSelFrm.h"
#include "ui/qt/MainForm.h"
#include "ui/qt/MessageBoxes.h"
#include "ui/qt/Pictures.h"
#include "ui/qt/ScreenshotRun.h"

namespace {

struct TProgramOptions {
    QCommandLineOption LoadFile{QStringLiteral("enable-load-file"),
                                QStringLiteral("Show the File, Load File command (load a raw image file "
                                               "and type its processor and model numbers).")};
    QCommandLineOption Screenshot{
        QStringLiteral("screenshot"),
        QStringLiteral("Press Start, then save pictures of the windows in <dir> "
                       "(created when missing) once the upgrade has ended, and exit."),
        QStringLiteral("dir")};
};

void Describe(QCommandLineParser& parser, const TProgramOptions& options) {
    parser.setApplicationDescription(
        QStringLiteral("Firmware updater for serial-attached controller units.\n"
                       "Needs a display; without one, run it with QT_QPA_PLATFORM=offscreen."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(options.LoadFile);
    parser.addOption(options.Screenshot);
}

// --help and --version are answered before the QApplication exists, which needs a display.
// Returns true when one of them was asked for and answered.
bool AnswerWithoutDisplay(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--version" || arg == "-v") {
            std::fputs(VersionText("bootloader").c_str(), stdout);
            return true;
        }
        if (arg == "--help" || arg == "-h" || arg == "-?" || arg == "--help-all") {
            QCoreApplication core(argc, argv);
            const TProgramOptions options;
            QCommandLineParser parser;
            Describe(parser, options);
            std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerWithoutDisplay(argc, argv)) return 0;

    QApplication app(argc, argv);
    SetApplicationTitle(QString());
    QApplication::setWindowIcon(QIcon(DrawChipPicture()));

    const TProgramOptions options;
    QCommandLineParser parser;
    Describe(parser, options);
    parser.process(app);

    TQtMessageLoop loop;
    TMainForm form(
        loop, [](const std::string& baseDir) { return MakeSystemPortFactory(baseDir); },
        TMainForm::TOptions{parser.isSet(options.LoadFile)});
    auto* aboutBox = new TAboutBox(&form);
    auto* commSelFrm = new TCommSelFrm(&form);
    form.AttachDialogs(aboutBox, commSelFrm);

    std::optional<TScreenshotRun> pictures;
    if (parser.isSet(options.Screenshot)) {
        pictures.emplace(form, *aboutBox, *commSelFrm, parser.value(options.Screenshot));
        pictures->Begin();
    }
    return app.exec();
}
