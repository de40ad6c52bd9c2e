#include "ui/qt/MainForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QInputDialog>
#include <QScreen>
#include <QWidget>
#include <map>

#include "ui/FormLayout.h"
#include "ui/qt/AboutBox.h"
#include "ui/qt/CommSelFrm.h"
#include "ui/qt/FormFont.h"
#include "ui/qt/MessageBoxes.h"

namespace {

QString Text(const char* text) {
    return QString::fromUtf8(text);
}

void Place(QWidget* widget, const TFormLayout& form, const char* name) {
    const TLayoutRect r = form.Control(name).Rect;
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(r.Left, r.Top, r.Width, r.Height);
}

// A text-input box with OK and Cancel; Cancel yields the empty text.
std::string AskText(QWidget* parent, const TInputPrompt& prompt) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent, Text(prompt.Caption), Text(prompt.Prompt),
                                               QLineEdit::Normal, QString(), &ok);
    return ok ? text.toStdString() : std::string();
}

}  // namespace

TMainForm::TMainForm(TMessageLoop& loop, TApplicationCore::TPortFactoryMaker makePorts, TOptions options)
    : options_(options) {
    setObjectName(Text(MainFormLayout().Name));
    setWindowTitle(Text(MainFormLayout().Caption));
    // Fixed single border: system menu, minimise and close, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(FormFont());
    BuildMenu();
    BuildControls();
    setFixedSize(MainFormLayout().ClientWidth,
                 MainMenu1->sizeHint().height() + MainFormLayout().ClientHeight);

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

    const std::map<std::string, void (TMainForm::*)()> handlers{{"LoadFile1", &TMainForm::LoadFile1Click},
                                                                {"Exit1", &TMainForm::Exit1Click},
                                                                {"CommsPort1", &TMainForm::CommsPort1Click},
                                                                {"About1", &TMainForm::About1Click}};
    std::map<std::string, QMenu*> menus;
    std::map<std::string, QAction*> actions;
    for (const TMenuLayout& entry : MainMenuLayout()) {
        QMenu* menu = MainMenu1->addMenu(Text(entry.Text));
        menu->setObjectName(Text(entry.Name));
        menus[entry.Name] = menu;
        for (const TMenuItemLayout& item : entry.Items) {
            QAction* action =
                std::string(item.Text) == "-" ? menu->addSeparator() : menu->addAction(Text(item.Text));
            action->setObjectName(Text(item.Name));
            action->setEnabled(item.Enabled);
            // Hidden from the start, so that a start-up that fails early does not leave it showing.
            if (item.HiddenByDefault) action->setVisible(options_.EnableLoadFile);
            if (const auto handler = handlers.find(item.Name); handler != handlers.end())
                connect(action, &QAction::triggered, this, handler->second);
            actions[item.Name] = action;
        }
    }
    File1 = menus.at("File1");
    Options1 = menus.at("Options1");
    Help1 = menus.at("Help1");
    LoadFile1 = actions.at("LoadFile1");
    CloseConnection1 = actions.at("CloseConnection1");
    N1 = actions.at("N1");
    Exit1 = actions.at("Exit1");
    CommsPort1 = actions.at("CommsPort1");
    About1 = actions.at("About1");
}

void TMainForm::BuildControls() {
    const TFormLayout& form = MainFormLayout();
    const int statusHeight = form.Control("StatusBar1").Rect.Height;
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(form.ClientWidth, form.ClientHeight - statusHeight);
    setCentralWidget(client);

    Bevel1 = new TBevel(TBevel::TShape::TopLine, client);
    Place(Bevel1, form, "Bevel1");

    ListBox1 = new QListWidget(client);
    Place(ListBox1, form, "ListBox1");
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);

    Button6 = new QPushButton(Text(form.Control("Button6").Text), client);
    Place(Button6, form, "Button6");
    connect(Button6, &QPushButton::clicked, this, &TMainForm::Button6Click);

    Button1 = new QPushButton(Text(form.Control("Button1").Text), client);
    Place(Button1, form, "Button1");
    connect(Button1, &QPushButton::clicked, this, &TMainForm::Button1Click);

    setTabOrder(ListBox1, Button6);
    setTabOrder(Button6, Button1);

    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setFixedHeight(statusHeight);
    for (std::size_t i = 0; i < StatusPanels.size(); ++i) {
        StatusPanels[i] = new QLabel(StatusBar1);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setFixedWidth(kStatusPanelWidths[i]);
        StatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusPanels[i]->setTextFormat(Qt::PlainText);
        StatusBar1->addWidget(StatusPanels[i]);
    }

    ClosingNote = new QLabel(Text(kClosingNote), StatusBar1);
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
        if (!closing_.Answer(TDeferredClose::TRequest::Exit, core_->FormClose())) {
            ShowClosePending();
            return;
        }
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
        core_->ApplyProcessorText(AskText(this, kProcessorPrompt));
        core_->ApplyModelText(AskText(this, kModelPrompt));
    });
}

void TMainForm::closeEvent(QCloseEvent* event) {
    bool closeNow = true;
    RunGuarded([&] { closeNow = core_->FormClose(); });
    if (closing_.Answer(TDeferredClose::TRequest::Close, closeNow)) {
        event->accept();
        return;
    }
    // The link and this window must outlive the request that is waiting now.
    ShowClosePending();
    event->ignore();
}

void TMainForm::ShowClosePending() {
    ClosingNote->show();
    Exit1->setEnabled(false);
    setCursor(Qt::BusyCursor);
}

void TMainForm::FinishDeferredClose() {
    closing_.AskAgain([this] { Exit1Click(); }, [this] { close(); });
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
    if (closing_.Pending())
        QMetaObject::invokeMethod(this, &TMainForm::FinishDeferredClose, Qt::QueuedConnection);
}
