#include "platform/posix/PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/posix/Termios2.h"

namespace {

[[noreturn]] void ThrowErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

TPseudoTerminal::TPseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) ThrowErrno("posix_openpt");
    try {
        if (grantpt(master_) != 0) ThrowErrno("grantpt");
        if (unlockpt(master_) != 0) ThrowErrno("unlockpt");
        char name[128];
        if (const int error = ptsname_r(master_, name, sizeof name); error != 0)
            throw std::system_error(error, std::generic_category(), "ptsname_r");
        slavePath_ = name;

        // Settings made through the master apply to the slave and last as long as the
        // master is open. A fresh slave echoes and edits lines; make it a raw 9600 8N1 line.
        errno = 0;
        if (Termios2ApplyLineSettings(master_, TLineSettings{}) == 0) ThrowErrno("setting the slave raw");
    } catch (...) {
        ::close(master_);
        throw;
    }
}

TPseudoTerminal::~TPseudoTerminal() {
    if (heldSlave_ >= 0) ::close(heldSlave_);
    ::close(master_);
}

TLineSettings TPseudoTerminal::CurrentLineSettings() const {
    TLineSettings settings;
    if (!Termios2ReadLineSettings(master_, settings)) ThrowErrno("reading the slave's line settings");
    return settings;
}

void TPseudoTerminal::HoldSlaveOpen() {
    if (heldSlave_ >= 0) return;
    heldSlave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (heldSlave_ < 0) ThrowErrno("opening the pseudo-terminal slave");
}
