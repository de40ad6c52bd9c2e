#include "ui/qt/MessageBoxes.h"

#include <QApplication>
#include <exception>

#include "ui/DefaultErrorText.h"
#include "ui/GuardedHandler.h"

namespace {

QString& Title() {
    static QString title;
    return title;
}

QString Caption(TMsgDlgType type) {
    const std::string caption = DialogTypeCaption(type);
    return caption.empty() ? ApplicationTitle() : QString::fromStdString(caption);
}

QMessageBox::Icon Icon(TMsgDlgType type) {
    switch (type) {
        case TMsgDlgType::Warning:
            return QMessageBox::Warning;
        case TMsgDlgType::Error:
            return QMessageBox::Critical;
        case TMsgDlgType::Information:
            return QMessageBox::Information;
        case TMsgDlgType::Confirmation:
            return QMessageBox::Question;
        case TMsgDlgType::Custom:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton Run(QMessageBox::Icon icon, const QString& caption, const std::string& text,
                                QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, caption, QString::fromStdString(text), buttons);
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void SetApplicationTitle(const QString& title) {
    // Kept here only, not as Qt's application display name: the window system would
    // append that to the caption of every window.
    Title() = title;
}

QString ApplicationTitle() {
    return Title();
}

void ShowDefaultErrorBox(const std::string& message) {
    Run(QMessageBox::Critical, ApplicationTitle(), DefaultErrorText(message), QMessageBox::Ok);
}

void ShowMessage(const std::string& text) {
    Run(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok);
}

QMessageBox::StandardButton ErrorBox(const std::string& message, TMsgDlgType type,
                                     QMessageBox::StandardButtons buttons, int helpContext) {
    (void)helpContext;
    // Qt has one alert sound; every dialog type sounds it before the box appears.
    QApplication::beep();
    return Run(Icon(type), Caption(type), message, buttons);
}

void RunGuarded(const std::function<void()>& handler) {
    RunGuardedReporting(handler, ShowDefaultErrorBox);
}
