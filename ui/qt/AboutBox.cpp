#include "ui/qt/AboutBox.h"

#include <algorithm>

#include "app/AboutTexts.h"
#include "ui/FormLayout.h"
#include "ui/qt/FormFont.h"
#include "ui/qt/Pictures.h"

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(QString::fromUtf8(AboutBoxLayout().Control(name).Text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

QRect Rect(const char* name) {
    const TLayoutRect r = AboutBoxLayout().Control(name).Rect;
    return QRect(r.Left, r.Top, r.Width, r.Height);
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent, const TVersionInfo& info) : QDialog(parent) {
    const TFormLayout& form = AboutBoxLayout();
    setObjectName(QString::fromLatin1(form.Name));
    setWindowTitle(QString::fromUtf8(form.Caption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(form.ClientWidth, form.ClientHeight);
    setFont(FormFont());

    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(Rect("Image2"));
    Image2->setAlignment(Qt::AlignCenter);
    Image2->setPixmap(DrawBetaStamp());
    Image2->hide();

    Label1 = MakeLabel(this, "Label1");
    Label1->setWordWrap(form.Control("Label1").WordWrap);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setGeometry(Rect("Label1"));
    // Sized to their texts.
    Label2 = MakeLabel(this, "Label2");
    Label2->move(Rect("Label2").topLeft());
    Label3 = MakeLabel(this, "Label3");
    Label3->move(Rect("Label3").topLeft());

    Bevel1 = new TBevel(TBevel::TShape::BottomLine, this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(Rect("Bevel1"));
    Bevel2 = new TBevel(TBevel::TShape::Box, this);
    Bevel2->setObjectName(QStringLiteral("Bevel2"));
    Bevel2->setGeometry(Rect("Bevel2"));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(Rect("Image1"));
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(DrawChipPicture());

    OKButton = new QPushButton(QString::fromUtf8(form.Control("OKButton").Text), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(Rect("OKButton"));
    OKButton->setDefault(form.Control("OKButton").Default);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    LoadVersionInfo(info);
}

void TAboutBox::LoadVersionInfo(const TVersionInfo& info) {
    const TAboutTexts texts = MakeAboutTexts(info);
    Label1->setText(QString::fromStdString(texts.Description));
    // A long description wraps onto a second line; the label grows rather than clip it.
    Label1->resize(Label1->width(),
                   std::max(Rect("Label1").height(), Label1->heightForWidth(Label1->width())));
    Label2->setText(QString::fromStdString(texts.Version));
    Label2->adjustSize();
    Label3->setText(QString::fromStdString(texts.Copyright));
    Label3->adjustSize();
    Image2->setVisible(texts.Prerelease);
}

void TAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    OKButton->setFocus(Qt::OtherFocusReason);
}
