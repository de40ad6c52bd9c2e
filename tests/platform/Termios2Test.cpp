#include "platform/Termios2.h"

#include <asm/termbits.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>

// The flags are checked against the kernel's own bit definitions: a pseudo-terminal
// cannot show data bits or parity (its driver forces CS8 and clears PARENB), so this is
// where a wrong mapping would show.

namespace {

struct TFramingCase {
    TLineSettings Settings;
    tcflag_t Expected;  // CSIZE | PARENB | PARODD | CMSPAR | CSTOPB bits
};

constexpr tcflag_t kFramingBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

const TFramingCase kFramings[] = {
    {{9600, 8, TStopBits::sb1, TParity::None}, CS8},
    {{9600, 7, TStopBits::sb1, TParity::Even}, CS7 | PARENB},
    {{9600, 7, TStopBits::sb2, TParity::Odd}, CS7 | PARENB | PARODD | CSTOPB},
    {{9600, 6, TStopBits::sb1, TParity::Mark}, CS6 | PARENB | PARODD | CMSPAR},
    {{9600, 8, TStopBits::sb2, TParity::Space}, CS8 | PARENB | CMSPAR | CSTOPB},
    {{9600, 5, TStopBits::sb1_5, TParity::None}, CS5 | CSTOPB},
    {{9600, 8, TStopBits::sb1_5, TParity::Even}, CS8 | PARENB | CSTOPB},
};

TEST(Termios2Test, FramingSetsTheKernelFlagsAndReadsBackTheSame) {
    // Start from flags that carry every framing bit and some others, so that a bit the
    // mapping forgets to clear shows up.
    const tcflag_t other = CREAD | CLOCAL | CRTSCTS | HUPCL;
    for (const TFramingCase& c : kFramings) {
        SCOPED_TRACE(testing::Message() << int(c.Settings.DataBits) << " bits, parity "
                                        << int(c.Settings.Parity) << ", stop " << int(c.Settings.StopBits));
        for (const tcflag_t start : {other | CS8, other | kFramingBits}) {
            const std::uint32_t flags = Termios2FramingFlags(start, c.Settings);
            EXPECT_EQ(flags & kFramingBits, c.Expected);
            EXPECT_EQ(flags & ~kFramingBits, other);
        }

        TLineSettings decoded{1234, 0, TStopBits::sb1, TParity::None};
        Termios2DecodeFraming(c.Expected | other, decoded);
        EXPECT_EQ(decoded.BaudRate, 1234u);
        EXPECT_EQ(decoded.DataBits, c.Settings.DataBits);
        EXPECT_EQ(decoded.Parity, c.Settings.Parity);
        // 1.5 exists only at 5 data bits; asked for elsewhere it becomes 2.
        const TStopBits expectedStop = c.Settings.StopBits == TStopBits::sb1_5 && c.Settings.DataBits != 5
                                           ? TStopBits::sb2
                                           : c.Settings.StopBits;
        EXPECT_EQ(decoded.StopBits, expectedStop);
    }
}

TEST(Termios2Test, ValuesTheLineCannotTakeKeepThePortsSetting) {
    const tcflag_t start = CS7 | PARENB | PARODD | CSTOPB;
    for (const int bits : {0, 4, 9, 255}) {
        SCOPED_TRACE(bits);
        TLineSettings settings{9600, static_cast<std::uint8_t>(bits), TStopBits::sb2, TParity::Odd};
        EXPECT_EQ(Termios2FramingFlags(start, settings), start);
    }
    TLineSettings unknownParity{9600, 7, TStopBits::sb2, static_cast<TParity>(9)};
    EXPECT_EQ(Termios2FramingFlags(start, unknownParity), start);
    TLineSettings unknownStop{9600, 7, static_cast<TStopBits>(7), TParity::Odd};
    EXPECT_EQ(Termios2FramingFlags(start, unknownStop), start);
}

TEST(Termios2Test, NonTerminalIsRefused) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    TLineSettings settings;
    EXPECT_FALSE(Termios2ReadLineSettings(pipeFds[0], settings));
    EXPECT_EQ(Termios2ApplyLineSettings(pipeFds[0], settings), 0u);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

}  // namespace
