#pragma once

#include <QObject>
#include <QString>

class TMainForm;
class TAboutBox;
class TCommSelFrm;

// Pictures of the program for its documentation: presses Start, and once the upgrade has
// ended saves the main window, the about box and the port dialog as PNG files in a
// directory, then quits the application with status 0 (1 when a file could not be saved).
class TScreenshotRun : public QObject {
    Q_OBJECT
public:
    TScreenshotRun(TMainForm& form, TAboutBox& aboutBox, TCommSelFrm& commSelFrm, QString directory);

    // Presses Start once the event loop runs.
    void Begin();

private:
    void TakePictures();
    bool Save(QWidget& widget, const QString& name);

    TMainForm& form_;
    TAboutBox& aboutBox_;
    TCommSelFrm& commSelFrm_;
    QString directory_;
};
