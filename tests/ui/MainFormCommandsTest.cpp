#include <gtest/gtest.h>

#include <QFileDialog>
#include <QInputDialog>
#include <QTest>

#include "tests/ui/MainFormFixture.h"

namespace {

class MainFormCommands : public MainFormFixture {
protected:
    // Start-up on a present COM3, saved in the settings file.
    TMainForm& StartOnCom3() {
        PresentPort(3);
        WriteSettings("[Options]\r\nComms_Port=3\r\n");
        return CreateForm();
    }

    // Answers the port dialog: records its selection on arrival, then acts on it.
    void AnswerPortDialog(std::function<void(TCommSelFrm&)> act, int* selectedOnArrival = nullptr) {
        script_.Then([act, selectedOnArrival](QWidget* modal) {
            auto* dialog = qobject_cast<TCommSelFrm*>(modal);
            ASSERT_NE(dialog, nullptr);
            if (selectedOnArrival) *selectedOnArrival = dialog->ComboBox1->currentIndex();
            act(*dialog);
        });
    }

    static std::function<void(TCommSelFrm&)> ChooseAndPressOk(int position) {
        return [position](TCommSelFrm& d) {
            d.ComboBox1->setCurrentIndex(position);
            d.Button1->click();
        };
    }

    void AnswerFileDialog(const std::string& path) {
        script_.Then([path](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_TRUE(dialog->nameFilters().isEmpty() ||
                        dialog->nameFilters() == QStringList{"All Files (*)"});
            if (path.empty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(QString::fromStdString(path));
            // As the Open button does.
            QMetaObject::invokeMethod(dialog, "accept");
        });
    }

    // Answers a number prompt, checking its caption and label; cancel when text is null.
    void AnswerPrompt(const QString& caption, const QString& label, const char* text) {
        script_.Then([caption, label, text](QWidget* modal) {
            auto* dialog = qobject_cast<QInputDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), caption);
            EXPECT_EQ(dialog->labelText(), label);
            EXPECT_EQ(dialog->textValue(), QString());
            if (!text) {
                dialog->reject();
                return;
            }
            dialog->setTextValue(QString::fromLatin1(text));
            dialog->accept();
        });
    }
};

TEST_F(MainFormCommands, CommsPortOkOnAWorkingPortSwitchesSavesAndNamesIt) {
    TMainForm& form = StartOnCom3();
    PresentPort(5);
    int selected = -2;
    AnswerPortDialog(ChooseAndPressOk(4), &selected);
    form.CommsPort1Click();

    EXPECT_EQ(script_.Pending(), 0u);
    EXPECT_EQ(selected, 2);  // the dialog opened on the current port
    EXPECT_EQ(form.StatusPanelText(0), QStringLiteral(" Port: COM5"));
    EXPECT_EQ(form.Core().CommsPortNumber, 5);
    EXPECT_EQ(form.Core().Link()->CommPort, TComport::COM5);
    EXPECT_TRUE(form.Core().Link()->IsOpen());
    EXPECT_EQ(Settings(), "[Options]\r\nComms_Port=5\r\n");
}

TEST_F(MainFormCommands, CommsPortCancelledChangesNothing) {
    struct Case {
        const char* name;
        std::function<void(TCommSelFrm&)> act;
    } const cases[] = {
        {"Cancel",
         [](TCommSelFrm& d) {
             d.ComboBox1->setCurrentIndex(0);
             d.Button2->click();
         }},
        {"Enter",
         [](TCommSelFrm& d) {
             d.ComboBox1->setCurrentIndex(0);
             QTest::keyClick(d.ComboBox1, Qt::Key_Return);
         }},
        {"close box",
         [](TCommSelFrm& d) {
             d.ComboBox1->setCurrentIndex(0);
             d.close();
         }},
    };
    TMainForm& form = StartOnCom3();
    PresentPort(1);
    // Rewritten by hand: a cancelled command must not write the file.
    WriteSettings("[Options]\r\nComms_Port=3 \r\n");
    for (const auto& c : cases) {
        AnswerPortDialog(c.act);
        form.CommsPort1Click();
        EXPECT_EQ(script_.Pending(), 0u) << c.name;
        EXPECT_EQ(form.StatusPanelText(0), QStringLiteral(" Port: COM3")) << c.name;
        EXPECT_EQ(form.Core().CommsPortNumber, 3) << c.name;
        EXPECT_EQ(form.Core().Link()->CommPort, TComport::COM3) << c.name;
        EXPECT_TRUE(form.Core().Link()->IsOpen()) << c.name;
        EXPECT_EQ(Settings(), "[Options]\r\nComms_Port=3 \r\n") << c.name;
    }
}

TEST_F(MainFormCommands, CommsPortOnAMissingPortReopensThePreviousOneWithTheErrorBox) {
    TMainForm& form = StartOnCom3();
    AnswerPortDialog(ChooseAndPressOk(6));  // COM7, missing
    TSeenBox seen;
    bool previousOpenDuringBox = false;
    script_.Then([&](QWidget* modal) {
        seen = Inspect(modal);
        previousOpenDuringBox =
            form.Core().Link()->IsOpen() && form.Core().Link()->CommPort == TComport::COM3;
        PressButton(modal);
    });
    form.CommsPort1Click();

    EXPECT_EQ(script_.Pending(), 0u);
    EXPECT_EQ(seen.Caption, QStringLiteral("Error"));
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    EXPECT_EQ(seen.Text, QStringLiteral("Unable To Open Comm Port."));
    EXPECT_EQ(seen.Buttons, QStringList{QStringLiteral("OK")});
    EXPECT_TRUE(previousOpenDuringBox);
    EXPECT_EQ(form.StatusPanelText(0), QStringLiteral(" Port: COM3"));
    EXPECT_EQ(form.Core().CommsPortNumber, 3);
    EXPECT_EQ(Settings(), "[Options]\r\nComms_Port=3\r\n");
}

TEST_F(MainFormCommands, LoadFileCancelledChangesNothing) {
    PresentPort(1);
    TMainForm& form = CreateForm(TMainForm::TOptions{true});
    const FirmwareImage before = form.Core().Package;
    AnswerFileDialog("");
    form.LoadFile1Click();
    EXPECT_EQ(script_.Pending(), 0u);
    EXPECT_EQ(form.ListBox1->count(), 0);
    EXPECT_EQ(form.Core().Package.ImageBuffer, before.ImageBuffer);
    EXPECT_EQ(form.Core().Package.ProcessorNumber, before.ProcessorNumber);
    EXPECT_EQ(form.Core().Package.ExpectedModel, before.ExpectedModel);
}

TEST_F(MainFormCommands, LoadFileTakesTheImageAndTheLow16BitsOfTheNumbers) {
    PresentPort(1);
    TMainForm& form = CreateForm(TMainForm::TOptions{true});
    const std::string image = work_.Write("image.bin", std::string("\x12\x34\x56\x10", 4));
    form.Button6->setEnabled(false);
    AnswerFileDialog(image);
    AnswerPrompt(QStringLiteral("Enter Processor No."), QStringLiteral("Processor No."), "$10A3C");
    AnswerPrompt(QStringLiteral("Enter VX No."), QStringLiteral("VX No."), "70000");
    form.LoadFile1Click();

    EXPECT_EQ(script_.Pending(), 0u);
    const FirmwareImage& package = form.Core().Package;
    EXPECT_EQ(package.ImageBuffer[0], 0x12);
    EXPECT_EQ(package.ImageBuffer[3], 0x10);
    EXPECT_EQ(package.ProcessorNumber, 0x0A3C);
    EXPECT_EQ(package.PackageModel, 4464);
    EXPECT_EQ(package.ExpectedModel, 4464);
    EXPECT_EQ(LogLines(), QStringList{QStringLiteral("New File Loaded...VX4464")});
    // Appended plainly: not selected.
    EXPECT_TRUE(form.ListBox1->selectedItems().isEmpty());
    EXPECT_TRUE(form.Button6->isEnabled());
}

TEST_F(MainFormCommands, LoadFileWithANonNumberStopsAtThatPrompt) {
    PresentPort(1);
    TMainForm& form = CreateForm(TMainForm::TOptions{true});
    const std::uint16_t processor = form.Core().Package.ProcessorNumber;
    const std::uint16_t model = form.Core().Package.ExpectedModel;
    const std::string image = work_.Write("image.bin", std::string("\xAB\xCD", 2));
    AnswerFileDialog(image);
    AnswerPrompt(QStringLiteral("Enter Processor No."), QStringLiteral("Processor No."), "abc");
    TSeenBox seen;
    script_.ThenPressOk(&seen);
    form.LoadFile1Click();

    EXPECT_EQ(script_.Pending(), 0u);
    EXPECT_EQ(seen.Text, QStringLiteral("'abc' is not a valid integer value."));
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    EXPECT_EQ(seen.Caption, form.windowTitle());
    // The image is loaded already; the numbers and the log are as they were.
    EXPECT_EQ(form.Core().Package.ImageBuffer[0], 0xAB);
    EXPECT_EQ(form.Core().Package.ProcessorNumber, processor);
    EXPECT_EQ(form.Core().Package.ExpectedModel, model);
    EXPECT_EQ(form.ListBox1->count(), 0);
}

}  // namespace
