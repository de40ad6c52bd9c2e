#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

// The QApplication the GUI tests share (offscreen platform), created on first use.
void EnsureApplication();

// What a test saw of a message box before answering it.
struct TSeenBox {
    QString Caption;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QStringList Buttons;
    bool MainWindowVisible = false;
};

// Answers modal windows as they appear, one queued answer per window, in order. A modal
// window that appears with no answer queued is recorded as unexpected and closed, so a
// test fails instead of hanging.
class TModalScript {
public:
    using TAnswer = std::function<void(QWidget* modal)>;

    TModalScript();
    ~TModalScript();

    void Then(TAnswer answer);
    // Records a message box and presses its only button (or its first one).
    void ThenPressOk(TSeenBox* seen = nullptr);

    std::size_t Pending() const { return answers_.size(); }
    const std::vector<QString>& Unexpected() const { return unexpected_; }

private:
    // Forgets the handled window when it hides, so that a dialog shown again (the same
    // object) counts as a new one even when no event ran in between.
    class THideWatcher : public QObject {
    public:
        explicit THideWatcher(TModalScript& script) : script_(script) {}
        bool eventFilter(QObject* watched, QEvent* event) override;

    private:
        TModalScript& script_;
    };

    void Poll();

    QTimer timer_;
    THideWatcher hideWatcher_{*this};
    std::deque<TAnswer> answers_;
    QPointer<QWidget> handled_;
    std::vector<QString> unexpected_;
};

// Reads a message box's caption, text, icon and button texts.
TSeenBox Inspect(QWidget* modal);

// Presses the message box's button with the given text (first button when empty).
void PressButton(QWidget* modal, const QString& text = QString());

// Runs the event loop until pred holds; false if it still fails after a generous limit,
// which only guards against a hang.
bool WaitUntil(const std::function<bool()>& pred, int limitMs = 60000);
