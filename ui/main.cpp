// bootloader: the desktop program.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <memory>
#include <optional>

#include "link/SystemPortFactory.h"
#include "platform/qt/QtMessageLoop.h"
#include "ui/AboutBox.h"
#include "ui/CommSelFrm.h"
#include "ui/MainForm.h"
#include "ui/MessageBoxes.h"
#include "ui/Pictures.h"
#include "ui/ScreenshotRun.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SetApplicationTitle(QString());
    QApplication::setWindowIcon(QIcon(DrawChipPicture()));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Firmware updater for serial-attached controller units."));
    parser.addHelpOption();
    const QCommandLineOption loadFile(
        QStringLiteral("enable-load-file"),
        QStringLiteral("Show the File, Load File command (load a raw image file "
                       "and type its processor and model numbers)."));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Press Start, then save pictures of the windows in <dir> "
                       "once the upgrade has ended, and exit."),
        QStringLiteral("dir"));
    parser.addOption(loadFile);
    parser.addOption(screenshot);
    parser.process(app);

    TQtMessageLoop loop;
    TMainForm form(
        loop, [](const std::string& baseDir) { return MakeSystemPortFactory(baseDir); },
        TMainForm::TOptions{parser.isSet(loadFile)});
    auto* aboutBox = new TAboutBox(&form);
    auto* commSelFrm = new TCommSelFrm(&form);
    form.AttachDialogs(aboutBox, commSelFrm);

    std::optional<TScreenshotRun> pictures;
    if (parser.isSet(screenshot)) {
        pictures.emplace(form, *aboutBox, *commSelFrm, parser.value(screenshot));
        pictures->Begin();
    }
    return app.exec();
}
