#include "ui/qt/AboutBox.h"

#include <algorithm>

#include "app/AboutTexts.h"
#include "ui/qt/FormFont.h"
#include "ui/qt/Pictures.h"

namespace {

constexpr int kLabel1Height = 25;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent, const TVersionInfo& info) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About...."));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(337, 193);
    setFont(FormFont());

    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(8, 8, 321, 137);
    Image2->setAlignment(Qt::AlignCenter);
    Image2->setPixmap(DrawBetaStamp());
    Image2->hide();

    Label1 = MakeLabel(this, "Label1", QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setGeometry(99, 16, 222, kLabel1Height);
    Label2 = MakeLabel(this, "Label2", QStringLiteral("Label2"));
    Label2->move(99, 48);
    Label3 = MakeLabel(this, "Label3", QStringLiteral("Label3"));
    Label3->move(99, 80);

    Bevel1 = new TBevel(TBevel::TShape::BottomLine, this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(8, 136, 321, 17);
    Bevel2 = new TBevel(TBevel::TShape::Box, this);
    Bevel2->setObjectName(QStringLiteral("Bevel2"));
    Bevel2->setGeometry(8, 8, 81, 81);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(17, 24, 66, 52);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(DrawChipPicture());

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(136, 160, 65, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    LoadVersionInfo(info);
}

void TAboutBox::LoadVersionInfo(const TVersionInfo& info) {
    const TAboutTexts texts = MakeAboutTexts(info);
    Label1->setText(QString::fromStdString(texts.Description));
    // A long description wraps onto a second line; the label grows rather than clip it.
    Label1->resize(Label1->width(), std::max(kLabel1Height, Label1->heightForWidth(Label1->width())));
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
