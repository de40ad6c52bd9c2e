#include <asm/termbits.h>
#include <gtest/gtest.h>

#include "platform/posix/Termios2.h"

// Checked against the kernel's own bit definitions: a pseudo-terminal cannot show data
// bits or parity (its driver forces CS8 and clears PARENB), so here a wrong mapping shows.

namespace {

constexpr tcflag_t kFraming = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

TEST(Termios2Test, FramingSetsTheKernelFlagsAndDecodesBack) {
    const struct {
        TLineSettings Settings;
        tcflag_t Flags;
        TStopBits Decoded;
    } cases[] = {
        {{9600, 8, TStopBits::sb1, TParity::None}, CS8, TStopBits::sb1},
        {{9600, 7, TStopBits::sb1, TParity::Even}, CS7 | PARENB, TStopBits::sb1},
        {{9600, 7, TStopBits::sb2, TParity::Odd}, CS7 | PARENB | PARODD | CSTOPB, TStopBits::sb2},
        {{9600, 6, TStopBits::sb1, TParity::Mark}, CS6 | PARENB | PARODD | CMSPAR, TStopBits::sb1},
        {{9600, 8, TStopBits::sb2, TParity::Space}, CS8 | PARENB | CMSPAR | CSTOPB, TStopBits::sb2},
        {{9600, 5, TStopBits::sb1_5, TParity::None}, CS5 | CSTOPB, TStopBits::sb1_5},
        // 1.5 stop bits exist only at 5 data bits; elsewhere the line makes 2.
        {{9600, 8, TStopBits::sb1_5, TParity::Even}, CS8 | PARENB | CSTOPB, TStopBits::sb2},
    };
    const tcflag_t other = CREAD | CLOCAL | CRTSCTS | HUPCL;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << int(c.Settings.DataBits) << " bits, parity " << int(c.Settings.Parity));
        // From clean flags and from flags with every framing bit set: nothing stale stays.
        for (const tcflag_t start : {other | CS8, other | kFraming})
            EXPECT_EQ(Termios2FramingFlags(start, c.Settings), other | c.Flags);
        TLineSettings decoded{1234, 0, TStopBits::sb1, TParity::None};
        Termios2DecodeFraming(c.Flags | other, decoded);
        EXPECT_EQ(decoded.BaudRate, 1234u);
        EXPECT_EQ(decoded.DataBits, c.Settings.DataBits);
        EXPECT_EQ(decoded.Parity, c.Settings.Parity);
        EXPECT_EQ(decoded.StopBits, c.Decoded);
    }
}

TEST(Termios2Test, ValuesTheLineCannotTakeKeepThePortsSetting) {
    const tcflag_t start = CS7 | PARENB | PARODD | CSTOPB;
    for (const TLineSettings& settings : {TLineSettings{9600, 4, TStopBits::sb2, TParity::Odd},
                                          TLineSettings{9600, 9, TStopBits::sb2, TParity::Odd},
                                          TLineSettings{9600, 7, TStopBits::sb2, static_cast<TParity>(9)},
                                          TLineSettings{9600, 7, static_cast<TStopBits>(7), TParity::Odd}})
        EXPECT_EQ(Termios2FramingFlags(start, settings), start);
}

}  // namespace
