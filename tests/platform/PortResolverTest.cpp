#include "platform/PortResolver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/TestPortsDirectory.h"

namespace {

struct TNameCase {
    const char* Name;
    std::optional<unsigned> Number;
};

const TNameCase kNames[] = {
    {"COM1", 1},
    {"COM9", 9},
    {"\\\\.\\COM10", 10},
    {"\\\\.\\COM40", 40},
    {"\\\\.\\COM256", 256},  // ordinal 255, the highest a stored port byte can name
    {"\\\\.\\COM1", 1},
    {"COM10", 10},
    {"com3", 3},
    {"COM0", std::nullopt},
    {"COM01", std::nullopt},
    {"COM", std::nullopt},
    {"\\\\.\\COM", std::nullopt},
    {"COM1 ", std::nullopt},
    {"COM-1", std::nullopt},
    {"LPT1", std::nullopt},
    {"\\\\?\\COM3", std::nullopt},
    {"COM99999999999999999999", std::nullopt},
    {"", std::nullopt},
};

TEST(PortResolverTest, PortNumberParsesBothNameForms) {
    for (const TNameCase& c : kNames) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(TPortResolver::PortNumber(c.Name), c.Number);
    }
}

TEST(PortResolverTest, EntryOfThePortsDirectoryWinsOverTheFallback) {
    TTestPortsDirectory ports;
    ports.Link(9, "/nonexistent/device9");
    ports.Link(10, "/nonexistent/device10");
    ports.Link(256, "/nonexistent/device256");
    const TPortResolver resolver("/unused-base");

    EXPECT_EQ(resolver.PortsDirectory(), ports.Path().string());
    // A dangling link still resolves to the entry: it names a missing port, not ttyS.
    EXPECT_EQ(resolver.Resolve("COM9"), ports.Entry(9));
    EXPECT_EQ(resolver.Resolve("\\\\.\\COM10"), ports.Entry(10));
    EXPECT_EQ(resolver.Resolve("\\\\.\\COM256"), ports.Entry(256));
}

TEST(PortResolverTest, WithoutAnEntryPortNIsTtySNMinusOne) {
    TTestPortsDirectory ports;
    const TPortResolver resolver("/unused-base");
    // Only computed here, never opened.
    EXPECT_EQ(resolver.Resolve("COM1"), "/dev/ttyS0");
    EXPECT_EQ(resolver.Resolve("COM9"), "/dev/ttyS8");
    EXPECT_EQ(resolver.Resolve("\\\\.\\COM10"), "/dev/ttyS9");
    EXPECT_EQ(resolver.Resolve("\\\\.\\COM256"), "/dev/ttyS255");
}

TEST(PortResolverTest, NamesOutsideTheRuleResolveToNothing) {
    TTestPortsDirectory ports;
    const TPortResolver resolver("/unused-base");
    EXPECT_EQ(resolver.Resolve("COM0"), "");
    EXPECT_EQ(resolver.Resolve("/dev/ttyS0"), "");
    EXPECT_EQ(resolver.Resolve(""), "");
}

TEST(PortResolverTest, DefaultDirectoryIsPortsBesideTheSettingsWhenTheVariableIsUnsetOrEmpty) {
    // The entries live in <base>/ports; the variable is cleared for this test.
    TTestPortsDirectory base;
    std::filesystem::create_directory(base.Path() / "ports");
    std::filesystem::create_symlink("/nonexistent/device3", base.Path() / "ports" / "COM3");
    const TPortResolver resolver(base.Path().string());
    const std::string expected = (base.Path() / "ports" / "COM3").string();

    ::unsetenv("BOOTLOADER_PORTS");
    EXPECT_EQ(resolver.PortsDirectory(), (base.Path() / "ports").string());
    EXPECT_EQ(resolver.Resolve("COM3"), expected);

    ::setenv("BOOTLOADER_PORTS", "", 1);
    EXPECT_EQ(resolver.Resolve("COM3"), expected);

    const TPortResolver withSlash(base.Path().string() + "/");
    EXPECT_EQ(withSlash.Resolve("COM3"), expected);
}

TEST(PortResolverTest, VariableIsReadAtEveryResolution) {
    TTestPortsDirectory first;
    first.Link(2, "/nonexistent/a");
    const TPortResolver resolver("/unused-base");
    EXPECT_EQ(resolver.Resolve("COM2"), first.Entry(2));
    {
        TTestPortsDirectory second;
        second.Link(2, "/nonexistent/b");
        EXPECT_EQ(resolver.Resolve("COM2"), second.Entry(2));
    }
    EXPECT_EQ(resolver.Resolve("COM2"), first.Entry(2));
}

}  // namespace
