#include "ui/qt/MainForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QInputDialog>
#include <QScreen>
#include <QWidget>

#include "ui/qt/AboutBox.h"
#include "ui/qt/CommSelFrm.h"
#include "ui/qt/FormFont.h"
#include "ui/qt/MessageBoxes.h"

namespace {

// Client area below the menu bar, as the controls' positions assume.
constexpr int kClientWidth = 409;
constexpr int kClientHeight = 164;
constexpr int kStatusBarHeight = 19;

// A text-input box with OK and Cancel; Cancel yields the empty text.
std::string AskText(QWidget* parent, const QString& caption, const QString& prompt) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? text.toStdString() : std::string();
}

}  // namespace

TMainForm::TMainForm(TMessageLoop& loop, TApplicationCore::TPortFactoryMaker makePorts, TOptions options)
    : options_(options) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Bootloader"));
    // Fixed single border: system menu, minimise and close, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(FormFont());
    BuildMenu();
    BuildControls();
    setFixedSize(kClientWidth, MainMenu1->sizeHint().height() + kClientHeight);

    log_ = std::make_unique<TListBoxLog>(*ListBox1);
    core_ = std::make_unique<TApplicationCore>(loop, *this, *log_, std::move(makePorts));
    FormCreate();
}

TMainForm::~TMainForm() {
    // The link and the upgrade objects go before the widgets they report to.
    core_.reset();
}

void TMainForm::BuildMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

    File1 = MainMenu1->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    LoadFile1 = File1->addAction(QStringLiteral("Load File"), this, &TMainForm::LoadFile1Click);
    LoadFile1->setObjectName(QStringLiteral("LoadFile1"));
    // Hidden from the start, so that a start-up that fails early does not leave it showing.
    LoadFile1->setVisible(options_.EnableLoadFile);
    CloseConnection1 = File1->addAction(QStringLiteral("&Close Connection"));
    CloseConnection1->setObjectName(QStringLiteral("CloseConnection1"));
    CloseConnection1->setEnabled(false);
    N1 = File1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    Exit1 = File1->addAction(QStringLiteral("E&xit"), this, &TMainForm::Exit1Click);
    Exit1->setObjectName(QStringLiteral("Exit1"));

    Options1 = MainMenu1->addMenu(QStringLiteral("&Options"));
    Options1->setObjectName(QStringLiteral("Options1"));
    CommsPort1 = Options1->addAction(QStringLiteral("&Comms Port"), this, &TMainForm::CommsPort1Click);
    CommsPort1->setObjectName(QStringLiteral("CommsPort1"));

    Help1 = MainMenu1->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    About1 = Help1->addAction(QStringLiteral("&About...."), this, &TMainForm::About1Click);
    About1->setObjectName(QStringLiteral("About1"));
}

void TMainForm::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
    setCentralWidget(client);

    Bevel1 = new TBevel(TBevel::TShape::TopLine, client);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(0, 0, kClientWidth, 9);

    ListBox1 = new QListWidget(client);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 8, 393, 97);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);

    Button6 = new QPushButton(QStringLiteral("Start"), client);
    Button6->setObjectName(QStringLiteral("Button6"));
    Button6->setGeometry(167, 112, 75, 25);
    connect(Button6, &QPushButton::clicked, this, &TMainForm::Button6Click);

    Button1 = new QPushButton(QStringLiteral("Close"), client);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(328, 112, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &TMainForm::Button1Click);

    setTabOrder(ListBox1, Button6);
    setTabOrder(Button6, Button1);

    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setFixedHeight(kStatusBarHeight);
    const std::array<int, 2> widths{150, 50};
    for (std::size_t i = 0; i < StatusPanels.size(); ++i) {
        StatusPanels[i] = new QLabel(StatusBar1);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setFixedWidth(widths[i]);
        StatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusPanels[i]->setTextFormat(Qt::PlainText);
        StatusBar1->addWidget(StatusPanels[i]);
    }

    ClosingNote = new QLabel(QStringLiteral("Closing when this step ends..."), StatusBar1);
    ClosingNote->setObjectName(QStringLiteral("ClosingNote"));
    ClosingNote->setTextFormat(Qt::PlainText);
    StatusBar1->addPermanentWidget(ClosingNote);
    ClosingNote->hide();

    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
}

void TMainForm::AttachDialogs(TAboutBox* aboutBox, TCommSelFrm* commSelFrm) {
    aboutBox_ = aboutBox;
    commSelFrm_ = commSelFrm;
}

QString TMainForm::StatusPanelText(int panel) const {
    return StatusPanels.at(panel)->text();
}

void TMainForm::FormCreate() {
    RunGuarded([this] { core_->FormCreate(); });
}

void TMainForm::Button6Click() {
    RunGuarded([this] { core_->StartUpgrade(); });
}

void TMainForm::Button1Click() {
    close();
}

void TMainForm::Exit1Click() {
    RunGuarded([this] {
        // During an upgrade step the quit waits until the sequencer has stopped after it.
        if (!core_->FormClose()) {
            quitPending_ = true;
            ShowClosePending();
            return;
        }
        quitPending_ = false;
        QCoreApplication::quit();
    });
}

void TMainForm::About1Click() {
    RunGuarded([this] {
        if (aboutBox_) aboutBox_->exec();
    });
}

void TMainForm::CommsPort1Click() {
    RunGuarded([this] {
        if (!commSelFrm_) return;
        commSelFrm_->ComboBox1->setCurrentIndex(core_->SelectedPortPosition());
        if (commSelFrm_->exec() != QDialog::Accepted) return;
        core_->ChangePort(commSelFrm_->ComboBox1->currentIndex());
    });
}

void TMainForm::LoadFile1Click() {
    RunGuarded([this] {
        if (OpenDialog1->exec() != QDialog::Accepted) return;
        const QStringList files = OpenDialog1->selectedFiles();
        if (files.isEmpty()) return;
        core_->LoadFileImage(QFile::encodeName(files.first()).toStdString());
        core_->ApplyProcessorText(
            AskText(this, QStringLiteral("Enter Processor No."), QStringLiteral("Processor No.")));
        core_->ApplyModelText(AskText(this, QStringLiteral("Enter VX No."), QStringLiteral("VX No.")));
    });
}

void TMainForm::closeEvent(QCloseEvent* event) {
    bool closeNow = true;
    RunGuarded([&] { closeNow = core_->FormClose(); });
    if (closeNow) {
        closePending_ = false;
        event->accept();
        return;
    }
    // The link and this window must outlive the request that is waiting now.
    closePending_ = true;
    ShowClosePending();
    event->ignore();
}

void TMainForm::ShowClosePending() {
    ClosingNote->show();
    Exit1->setEnabled(false);
    setCursor(Qt::BusyCursor);
}

void TMainForm::FinishDeferredClose() {
    if (quitPending_)
        Exit1Click();
    else if (closePending_)
        close();
}

void TMainForm::ShowMainWindow() {
    // The frame is known only once the window is shown; centre the client area first so
    // that it opens in place, then the whole frame.
    const QPoint centre = screen()->availableGeometry().center();
    QRect placed = rect();
    placed.moveCenter(centre);
    move(placed.topLeft());
    show();
    placed = frameGeometry();
    placed.moveCenter(centre);
    move(placed.topLeft());
}

void TMainForm::HideLoadFile() {
    LoadFile1->setVisible(options_.EnableLoadFile);
}

void TMainForm::SetApplicationTitle(const std::string& title) {
    ::SetApplicationTitle(QString::fromStdString(title));
}

void TMainForm::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

void TMainForm::SetStatusText(const std::string& text) {
    StatusPanels[0]->setText(QString::fromStdString(text));
}

void TMainForm::ShowMessage(const std::string& text) {
    ::ShowMessage(text);
}

void TMainForm::ErrorBox(const std::string& text) {
    ::ErrorBox(text, TMsgDlgType::Error, QMessageBox::Ok, 0);
}

void TMainForm::SetStartEnabled(bool enabled) {
    Button6->setEnabled(enabled);
}

void TMainForm::SetCloseEnabled(bool enabled) {
    Button1->setEnabled(enabled);
}

void TMainForm::ShowError(const std::string& message) {
    ShowDefaultErrorBox(message);
}

void TMainForm::UpgradeEnded(bool completed) {
    emit UpgradeFinished(completed);
    // Called from inside the sequencer's last step: the deferred close runs once that
    // step has returned, never under it.
    if (closePending_ || quitPending_)
        QMetaObject::invokeMethod(this, &TMainForm::FinishDeferredClose, Qt::QueuedConnection);
}
