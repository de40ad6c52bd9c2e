#include "ui/qt/CommSelFrm.h"

#include <QKeyEvent>

#include "ui/qt/FormFont.h"

TCommSelFrm::TCommSelFrm(QWidget* parent) : QDialog(parent) {
    const TFormLayout& form = CommSelFrmLayout();
    auto place = [&form](QWidget* widget, const char* name) {
        const TLayoutRect r = form.Control(name).Rect;
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(r.Left, r.Top, r.Width, r.Height);
    };
    auto text = [&form](const char* name) { return QString::fromUtf8(form.Control(name).Text); };
    setObjectName(QString::fromLatin1(form.Name));
    setWindowTitle(QString::fromUtf8(form.Caption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(form.ClientWidth, form.ClientHeight);
    setFont(FormFont());

    GroupBox1 = new QGroupBox(text("GroupBox1"), this);
    place(GroupBox1, "GroupBox1");

    // Sized to its text.
    Label1 = new QLabel(text("Label1"), GroupBox1);
    place(Label1, "Label1");
    Label1->adjustSize();

    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setEditable(false);
    for (int position = 0; position < kPortCount; ++position)
        ComboBox1->addItem(QString::fromStdString(PortItemText(position)));
    place(ComboBox1, "ComboBox1");
    Label1->setBuddy(ComboBox1);

    Button1 = new QPushButton(text("Button1"), this);
    place(Button1, "Button1");
    Button2 = new QPushButton(text("Button2"), this);
    place(Button2, "Button2");
    Button2->setDefault(form.Control("Button2").Default);
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
