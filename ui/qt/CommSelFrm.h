#pragma once

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "ui/FormLayout.h"

// The port selection dialog. It only offers the choice: the main window's Comms Port
// command sets the selection, shows it and acts on the answer. Ok accepts; Cancel, the
// Enter key (Cancel is the default button) and the close box reject; Escape does nothing.
class TCommSelFrm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPortCount = ::kPortCount;

    explicit TCommSelFrm(QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QLabel* Label1;
    // Item position p stands for port number p + 1.
    QComboBox* ComboBox1;
    QPushButton* Button1;
    QPushButton* Button2;

protected:
    // Every showing starts on the list, the first control in tab order, so that Enter
    // reaches the default button (Cancel) rather than a button focused last time.
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
