#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "platform/VersionInfo.h"
#include "ui/qt/Bevel.h"

// The about box: the program's description, version and build, copyright, a chip picture
// and, for pre-release builds, a BETA stamp under the texts. The texts are read once, when
// the box is created; showing it again shows the same texts.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr, const TVersionInfo& info = ReadVersionInfo());

    // Fills the three labels and the stamp from the version record.
    void LoadVersionInfo(const TVersionInfo& info);

    // Listed from the bottom of the drawing order to the top.
    QLabel* Image2;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    TBevel* Bevel1;
    TBevel* Bevel2;
    QLabel* Image1;
    QPushButton* OKButton;

protected:
    void showEvent(QShowEvent* event) override;
};
