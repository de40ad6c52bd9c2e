#include "platform/posix/Termios2.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace {

struct TRateCode {
    tcflag_t Code;
    std::uint32_t Rate;
};

// The fixed rate codes, for a driver that reports one without filling c_ospeed.
constexpr TRateCode kRateCodes[] = {
    {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},         {B150, 150},
    {B200, 200},         {B300, 300},         {B600, 600},         {B1200, 1200},       {B1800, 1800},
    {B2400, 2400},       {B4800, 4800},       {B9600, 9600},       {B19200, 19200},     {B38400, 38400},
    {B57600, 57600},     {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
    {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000}, {B1500000, 1500000},
    {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000}, {B3500000, 3500000}, {B4000000, 4000000},
};

std::uint32_t OutputRate(const termios2& tio) {
    const tcflag_t code = tio.c_cflag & CBAUD;
    if (code == BOTHER || tio.c_ospeed != 0) return tio.c_ospeed;
    for (const TRateCode& entry : kRateCodes)
        if (entry.Code == code) return entry.Rate;
    return 0;
}

void MakeRaw(termios2& tio) {
    tio.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC |
                     IXON | IXOFF | IXANY | IMAXBEL | IUTF8);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE | IEXTEN |
                     TOSTOP | NOFLSH);
    tio.c_cflag |= CREAD | CLOCAL;
    // VMIN 1, VTIME 0: on a non-blocking descriptor a read with nothing to read fails with
    // EAGAIN, and only a hung-up line reads 0 bytes. (With VMIN 0 an idle line would read
    // 0 bytes as well, and a hang-up could not be told from silence.)
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

void SetRate(termios2& tio, std::uint32_t rate) {
    // Output and input rate both given as BOTHER with the exact value.
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ospeed = rate;
    tio.c_ispeed = rate;
}

}  // namespace

std::uint32_t Termios2FramingFlags(std::uint32_t cflag, const TLineSettings& settings) {
    tcflag_t flags = cflag;
    tcflag_t size = 0;
    switch (settings.DataBits) {
        case 5:
            size = CS5;
            break;
        case 6:
            size = CS6;
            break;
        case 7:
            size = CS7;
            break;
        case 8:
            size = CS8;
            break;
        default:
            size = flags & CSIZE;
            break;
    }
    flags = (flags & ~CSIZE) | size;

    switch (settings.Parity) {
        case TParity::None:
            flags &= ~(PARENB | PARODD | CMSPAR);
            break;
        case TParity::Odd:
            flags = (flags & ~CMSPAR) | PARENB | PARODD;
            break;
        case TParity::Even:
            flags = (flags & ~(CMSPAR | PARODD)) | PARENB;
            break;
        // With CMSPAR the parity bit is constant: PARODD makes it 1 (mark), its absence 0 (space).
        case TParity::Mark:
            flags |= PARENB | CMSPAR | PARODD;
            break;
        case TParity::Space:
            flags = (flags & ~PARODD) | PARENB | CMSPAR;
            break;
    }

    switch (settings.StopBits) {
        case TStopBits::sb1:
            flags &= ~CSTOPB;
            break;
        case TStopBits::sb1_5:
        case TStopBits::sb2:
            flags |= CSTOPB;
            break;
    }
    return flags;
}

void Termios2DecodeFraming(std::uint32_t cflag, TLineSettings& settings) {
    switch (cflag & CSIZE) {
        case CS5:
            settings.DataBits = 5;
            break;
        case CS6:
            settings.DataBits = 6;
            break;
        case CS7:
            settings.DataBits = 7;
            break;
        default:
            settings.DataBits = 8;
            break;
    }
    if ((cflag & PARENB) == 0)
        settings.Parity = TParity::None;
    else if (cflag & CMSPAR)
        settings.Parity = (cflag & PARODD) ? TParity::Mark : TParity::Space;
    else
        settings.Parity = (cflag & PARODD) ? TParity::Odd : TParity::Even;
    if ((cflag & CSTOPB) == 0)
        settings.StopBits = TStopBits::sb1;
    else
        settings.StopBits = settings.DataBits == 5 ? TStopBits::sb1_5 : TStopBits::sb2;
}

bool Termios2ReadLineSettings(int fd, TLineSettings& settings) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;

    settings.BaudRate = OutputRate(tio);
    Termios2DecodeFraming(tio.c_cflag, settings);
    return true;
}

std::uint32_t Termios2ApplyLineSettings(int fd, const TLineSettings& settings) {
    termios2 current{};
    if (ioctl(fd, TCGETS2, &current) != 0) return 0;

    termios2 wanted = current;
    MakeRaw(wanted);
    wanted.c_cflag = Termios2FramingFlags(wanted.c_cflag, settings);
    // Rate 0 would hang the line up (drop DTR); it counts as refused.
    if (settings.BaudRate != 0) SetRate(wanted, settings.BaudRate);
    if (ioctl(fd, TCSETS2, &wanted) != 0) {
        // Refused as a whole (typically the rate): keep the port's rate, apply the rest.
        wanted = current;
        MakeRaw(wanted);
        wanted.c_cflag = Termios2FramingFlags(wanted.c_cflag, settings);
        ioctl(fd, TCSETS2, &wanted);
    }

    termios2 effective{};
    if (ioctl(fd, TCGETS2, &effective) != 0) return 0;
    return OutputRate(effective);
}
