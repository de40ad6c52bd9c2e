#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTest>

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: widgets of a failed test may outlive the test.
    if (!QApplication::instance()) new QApplication(argc, argv);
}

namespace {

// The application exists before any test builds its widgets (fixture members included).
class TQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { EnsureApplication(); }
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

}  // namespace

TModalScript::TModalScript() {
    EnsureApplication();
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
}

TModalScript::~TModalScript() {
    timer_.stop();
    if (handled_) handled_->removeEventFilter(&hideWatcher_);
}

void TModalScript::Then(TAnswer answer) {
    answers_.push_back(std::move(answer));
}

void TModalScript::ThenPressOk(TSeenBox* seen) {
    Then([seen](QWidget* modal) {
        if (seen) *seen = Inspect(modal);
        PressButton(modal);
    });
}

bool TModalScript::THideWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide && watched == script_.handled_) {
        watched->removeEventFilter(this);
        script_.handled_ = nullptr;
    }
    return false;
}

void TModalScript::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == handled_ || !modal->isVisible()) return;
    handled_ = modal;
    modal->installEventFilter(&hideWatcher_);
    if (answers_.empty()) {
        unexpected_.push_back(modal->windowTitle() + QStringLiteral(": ") + Inspect(modal).Text);
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->close();
        return;
    }
    TAnswer answer = std::move(answers_.front());
    answers_.pop_front();
    answer(modal);
}

TSeenBox Inspect(QWidget* modal) {
    TSeenBox seen;
    seen.Caption = modal->windowTitle();
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == QLatin1String("MainForm") && top->isVisible()) seen.MainWindowVisible = true;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen.Text = box->text();
        seen.Icon = box->icon();
        for (QAbstractButton* button : box->buttons()) seen.Buttons << button->text();
    }
    return seen;
}

void PressButton(QWidget* modal, const QString& text) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->done(QDialog::Rejected);
        return;
    }
    for (QAbstractButton* button : box->buttons()) {
        if (text.isEmpty() || button->text() == text) {
            button->click();
            return;
        }
    }
}

bool WaitUntil(const std::function<bool()>& pred, int limitMs) {
    return QTest::qWaitFor(pred, limitMs);
}
