#include "ui/qt/CommSelFrm.h"

#include <QKeyEvent>

#include "ui/qt/FormFont.h"

TCommSelFrm::TCommSelFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CommSelFrm"));
    setWindowTitle(QStringLiteral("Comm Port Selection"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(225, 137);
    setFont(FormFont());

    GroupBox1 = new QGroupBox(QStringLiteral(" Select Comms Port To Use "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 209, 89);

    Label1 = new QLabel(QStringLiteral("Comm Port"), GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(16, 40);
    Label1->adjustSize();

    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    for (int port = 1; port <= kPortCount; ++port) ComboBox1->addItem(QStringLiteral("COM%1").arg(port));
    ComboBox1->setGeometry(96, 37, 89, 21);
    Label1->setBuddy(ComboBox1);

    Button1 = new QPushButton(QStringLiteral("&Ok"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(24, 104, 75, 25);
    Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(128, 104, 75, 25);
    Button2->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(ComboBox1, Button1);
    setTabOrder(Button1, Button2);
}

void TCommSelFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ComboBox1->setFocus(Qt::OtherFocusReason);
}

void TCommSelFrm::keyPressEvent(QKeyEvent* event) {
    // No button answers Escape. The close box still rejects (QDialog::closeEvent).
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
