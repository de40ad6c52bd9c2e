#include "tests/ui/MainFormFixture.h"

#include <stdlib.h>

#include <QRegularExpression>

#include "link/posix/PosixPortFactory.h"

void MainFormFixture::SetUp() {
    EnsureApplication();
    previousDir_ = std::filesystem::current_path();
    std::filesystem::current_path(work_.Path());
    ports_ = work_.Path() / "ports";
    std::filesystem::create_directory(ports_);
    if (const char* previous = ::getenv("BOOTLOADER_PORTS")) {
        hadPorts_ = true;
        previousPorts_ = previous;
    }
    ::setenv("BOOTLOADER_PORTS", ports_.c_str(), 1);
    for (int port = 1; port <= kHighestPort; ++port) MissingPort(port);
    SetApplicationTitle(QString());
    loop_ = std::make_unique<TQtMessageLoop>();
}

void MainFormFixture::TearDown() {
    form_.reset();
    loop_.reset();
    for (auto& unit : units_) {
        unit->terminate();
        if (!unit->waitForFinished(10000)) unit->kill();
        unit->waitForFinished(10000);
    }
    units_.clear();
    terminals_.clear();
    EXPECT_TRUE(script_.Unexpected().empty()) << script_.Unexpected().front().toStdString();
    if (hadPorts_)
        ::setenv("BOOTLOADER_PORTS", previousPorts_.c_str(), 1);
    else
        ::unsetenv("BOOTLOADER_PORTS");
    std::filesystem::current_path(previousDir_);
}

TMainForm& MainFormFixture::CreateForm(TMainForm::TOptions options) {
    form_ = std::make_unique<TMainForm>(
        *loop_, [](const std::string& baseDir) { return std::make_shared<TPosixPortFactory>(baseDir); },
        options);
    form_->AttachDialogs(new TAboutBox(form_.get()), new TCommSelFrm(form_.get()));
    return *form_;
}

void MainFormFixture::MissingPort(int port) {
    const auto entry = ports_ / ("COM" + std::to_string(port));
    std::filesystem::remove(entry);
    std::filesystem::create_symlink(work_.Path() / "no-such-device", entry);
}

TPseudoTerminal& MainFormFixture::PresentPort(int port) {
    terminals_.push_back(std::make_unique<TPseudoTerminal>());
    const auto entry = ports_ / ("COM" + std::to_string(port));
    std::filesystem::remove(entry);
    std::filesystem::create_symlink(terminals_.back()->SlavePath(), entry);
    return *terminals_.back();
}

std::string MainFormFixture::UnitSimPath() {
    if (const char* dir = ::getenv("BOOTLOADER_BIN_DIR"); dir && *dir) return std::string(dir) + "/unitsim";
    return std::string(BOOTLOADER_BIN_DIR) + "/unitsim";
}

void MainFormFixture::UnitOnPort(int port, const std::vector<std::string>& options) {
    std::filesystem::remove(ports_ / ("COM" + std::to_string(port)));
    QStringList args{QStringLiteral("--ports-dir"), QString::fromStdString(ports_.string()),
                     QStringLiteral("--port"), QString::number(port)};
    for (const auto& option : options) args << QString::fromStdString(option);
    auto unit = std::make_unique<QProcess>();
    unit->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    unit->start(QString::fromStdString(UnitSimPath()), args);
    ASSERT_TRUE(unit->waitForStarted(10000)) << UnitSimPath();
    // Ready once it has linked its terminal into the ports directory and said so.
    QByteArray out;
    while (!out.contains('\n') && unit->waitForReadyRead(10000)) out += unit->readAll();
    ASSERT_TRUE(out.startsWith("unitsim: COM" + QByteArray::number(port) + " -> ")) << out.toStdString();
    units_.push_back(std::move(unit));
}

QStringList MainFormFixture::LogLines() const {
    QStringList lines;
    for (int i = 0; i < form_->ListBox1->count(); ++i) lines << form_->ListBox1->item(i)->text();
    return lines;
}
