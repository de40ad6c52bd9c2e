#include "ui/qt/ScreenshotRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "ui/qt/AboutBox.h"
#include "ui/qt/CommSelFrm.h"
#include "ui/qt/MainForm.h"

TScreenshotRun::TScreenshotRun(TMainForm& form, TAboutBox& aboutBox, TCommSelFrm& commSelFrm,
                               QString directory)
    : form_(form), aboutBox_(aboutBox), commSelFrm_(commSelFrm), directory_(std::move(directory)) {
    connect(&form_, &TMainForm::UpgradeFinished, this,
            [this] { QTimer::singleShot(0, this, &TScreenshotRun::TakePictures); });
}

void TScreenshotRun::Begin() {
    QTimer::singleShot(0, this, [this] { form_.Button6->click(); });
}

bool TScreenshotRun::Save(QWidget& widget, const QString& name) {
    const QString path = QDir(directory_).filePath(name);
    if (widget.grab().save(path, "PNG")) return true;
    std::fprintf(stderr, "bootloader: cannot write %s\n", qPrintable(path));
    return false;
}

void TScreenshotRun::TakePictures() {
    // A failure shows as the first picture that cannot be written.
    QDir().mkpath(directory_);
    bool saved = Save(form_, QStringLiteral("main-window.png"));

    aboutBox_.show();
    saved = Save(aboutBox_, QStringLiteral("about-box.png")) && saved;
    aboutBox_.hide();

    commSelFrm_.ComboBox1->setCurrentIndex(form_.Core().SelectedPortPosition());
    commSelFrm_.show();
    saved = Save(commSelFrm_, QStringLiteral("port-dialog.png")) && saved;
    commSelFrm_.hide();

    QCoreApplication::exit(saved ? 0 : 1);
}
