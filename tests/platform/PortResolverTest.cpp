#include <gtest/gtest.h>

#include <filesystem>

#include "platform/PortResolver.h"
#include "support/TestPortsDirectory.h"

namespace {

TEST(PortResolverTest, PortNumberParsesBothNameForms) {
    const std::pair<const char*, unsigned> valid[] = {{"COM1", 1},          {"COM9", 9},
                                                      {"\\\\.\\COM10", 10}, {"\\\\.\\COM256", 256},
                                                      {"\\\\.\\COM1", 1},   {"com3", 3}};
    for (const auto& [name, number] : valid) EXPECT_EQ(TPortResolver::PortNumber(name), number) << name;
    for (const char* name :
         {"COM0", "COM01", "COM", "\\\\.\\COM", "COM1 ", "COM-1", "LPT1", "COM99999999999", ""})
        EXPECT_EQ(TPortResolver::PortNumber(name), std::nullopt) << name;
}

TEST(PortResolverTest, EntryOfThePortsDirectoryElseTtyS) {
    TTestPortsDirectory ports;
    ports.Link(9, "/nonexistent/a");
    ports.Link(256, "/nonexistent/b");
    const TPortResolver resolver("/unused-base");
    // A dangling link is still the entry: it names a missing port, not a ttyS.
    EXPECT_EQ(resolver.Resolve("COM9"), ports.Entry(9));
    EXPECT_EQ(resolver.Resolve("\\\\.\\COM256"), ports.Entry(256));
    // Without an entry the path is only computed; nothing here opens it.
    EXPECT_EQ(resolver.Resolve("COM1"), "/dev/ttyS0");
    EXPECT_EQ(resolver.Resolve("\\\\.\\COM10"), "/dev/ttyS9");
    EXPECT_EQ(resolver.Resolve("COM0"), "");
}

TEST(PortResolverTest, VariableWinsOverPortsBesideTheSettingsAndIsReadEachTime) {
    TTestPortsDirectory base;
    std::filesystem::create_directory(base.Path() / "ports");
    std::filesystem::create_symlink("/nonexistent/c", base.Path() / "ports" / "COM3");
    const std::string besideSettings = (base.Path() / "ports" / "COM3").string();
    const TPortResolver resolver(base.Path().string() + "/");
    ::unsetenv("BOOTLOADER_PORTS");
    EXPECT_EQ(resolver.Resolve("COM3"), besideSettings);
    ::setenv("BOOTLOADER_PORTS", "", 1);
    EXPECT_EQ(resolver.Resolve("COM3"), besideSettings);
    TTestPortsDirectory other;
    other.Link(3, "/nonexistent/d");
    EXPECT_EQ(resolver.Resolve("COM3"), other.Entry(3));
}

}  // namespace
