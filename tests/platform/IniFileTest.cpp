#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <string>

#include "platform/IniFile.h"
#include "platform/IniWriteError.h"
#include "support/TempDir.h"

namespace {

class IniFileTest : public ::testing::Test {
protected:
    TTempDir dir_;
    std::string path_ = dir_.File("Bootload.Ini");
};

}  // namespace

TEST_F(IniFileTest, RewritingReplacesTheValueInPlaceAndKeepsEveryOtherLine) {
    const std::string head =
        "; settings of the updater\n[Display]\r\nComms_Port=7\r\n\r\n[options]\n  Baud = 9600  \n";
    const std::string tail = "# trailing comment\n\n[Other]\nKey=Value";
    dir_.Write("Bootload.Ini", head + "COMMS_PORT = 3\r\n" + tail);
    TIniFile ini(path_);
    ini.WriteInteger("Options", "Comms_Port", 12);
    EXPECT_EQ(TTempDir::Read(path_), head + "COMMS_PORT=12\r\n" + tail);
    EXPECT_EQ(ini.ReadInteger("OPTIONS", "comms_port", 1), 12);
    EXPECT_EQ(ini.ReadInteger("Display", "Comms_Port", 1), 7);
    EXPECT_EQ(ini.ReadString("Other", "key", ""), "Value");
}

TEST_F(IniFileTest, MissingPiecesAreAddedWithoutDisturbingTheRest) {
    struct TCase {
        const char* Name;
        const char* Before;  // nullptr: no file
        const char* After;
    };
    const TCase cases[] = {
        {"no file", nullptr, "[Options]\r\nComms_Port=5\r\n"},
        {"empty file", "", "[Options]\r\nComms_Port=5\r\n"},
        {"only a foreign section", "[Other]\r\nA=1\r\n",
         "[Other]\r\nA=1\r\n\r\n[Options]\r\nComms_Port=5\r\n"},
        {"last line without line end", "[Other]\nA=1", "[Other]\nA=1\r\n\r\n[Options]\r\nComms_Port=5\r\n"},
        {"ends in a blank line", "[Other]\nA=1\n\n", "[Other]\nA=1\n\n[Options]\r\nComms_Port=5\r\n"},
        {"section without the key, another section after it", "[OPTIONS]\nOther=2\n\n[Next]\nB=3\n",
         "[OPTIONS]\nOther=2\nComms_Port=5\r\n\n[Next]\nB=3\n"},
        {"section without the key, last in the file, no line end", "[Options]\nOther=2",
         "[Options]\nOther=2\r\nComms_Port=5\r\n"},
        {"empty section at the end", "[Options]", "[Options]\r\nComms_Port=5\r\n"},
        {"key commented out", "[Options]\n;Comms_Port=9\n", "[Options]\n;Comms_Port=9\nComms_Port=5\r\n"},
        {"key outside any section", "Comms_Port=9\n", "Comms_Port=9\n\r\n[Options]\r\nComms_Port=5\r\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove(path_);
        if (c.Before) dir_.Write("Bootload.Ini", c.Before);
        TIniFile ini(path_);
        ini.WriteInteger("Options", "Comms_Port", 5);
        EXPECT_EQ(TTempDir::Read(path_), c.After);
        EXPECT_EQ(ini.ReadInteger("Options", "Comms_Port", 1), 5);
    }
}

TEST_F(IniFileTest, DuplicateKeysAndSectionsReadAndWriteTheFirstOccurrence) {
    dir_.Write("Bootload.Ini", "[Options]\nA=1\n[Options]\nComms_Port=4\nComms_Port=6\n");
    TIniFile ini(path_);
    EXPECT_EQ(ini.ReadInteger("Options", "Comms_Port", 1), 4);
    ini.WriteInteger("Options", "Comms_Port", 8);
    EXPECT_EQ(TTempDir::Read(path_), "[Options]\nA=1\n[Options]\nComms_Port=8\r\nComms_Port=6\n");
}

TEST_F(IniFileTest, StoredTextReadsAsPortNumber) {
    struct TCase {
        const char* Content;
        std::int32_t Port;
    };
    const TCase cases[] = {
        {"[Options]\r\nComms_Port=3\r\n", 3},
        {"[Options]\r\nComms_Port=0x3\r\n", 3},
        {"[Options]\r\nComms_Port=0X1f\r\n", 31},
        {"[Options]\r\nComms_Port=$10\r\n", 16},
        {"[Options]\r\nComms_Port=0\r\n", 0},
        {"[Options]\r\nComms_Port=-4\r\n", -4},
        {"[Options]\r\nComms_Port=40\r\n", 40},
        {"[Options]\r\nComms_Port=abc\r\n", 1},
        {"[Options]\r\nComms_Port=\r\n", 1},
        {"[Options]\r\nComms_Port=0x\r\n", 1},
        {"[Options]\r\nComms_Port=0x$3\r\n", 1},
        {"[Options]\r\nComms_Port=0xFFFFFFFF\r\n", -1},
        {"[Options]\r\nComms_Port=0x-3\r\n", 1},
        {"[Options]\r\nComms_Port=3 4\r\n", 1},
        {"[Options]\r\nComms_Port=99999999999\r\n", 1},
        {"[Options]\r\nOther=3\r\n", 1},
        {"[Elsewhere]\r\nComms_Port=3\r\n", 1},
        {"", 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Content);
        dir_.Write("Bootload.Ini", c.Content);
        EXPECT_EQ(TIniFile(path_).ReadInteger("Options", "Comms_Port", 1), c.Port);
    }
    std::filesystem::remove(path_);
    EXPECT_EQ(TIniFile(path_).ReadInteger("Options", "Comms_Port", 1), 1);
    EXPECT_FALSE(std::filesystem::exists(path_)) << "reading must not create the file";
}

TEST_F(IniFileTest, ValuesAreReadAsAtMost2047Characters) {
    const std::string longValue(3000, 'a');
    const std::string value2047 = std::string(2046, 'b') + "c";
    dir_.Write("Bootload.Ini", "[S]\r\nLong=" + longValue + "\r\nExact=" + value2047 + "\r\nNext=2\r\n");
    TIniFile ini(path_);
    EXPECT_EQ(ini.ReadString("S", "Long", ""), longValue.substr(0, TIniFile::MaxValueLength));
    EXPECT_EQ(ini.ReadString("S", "Exact", ""), value2047);
    EXPECT_EQ(ini.ReadInteger("S", "Next", 0), 2);

    // Only the first 2047 characters count: a final digit at position 2048 is cut off.
    dir_.Write("Bootload.Ini",
               "[S]\r\nA=" + std::string(2047, '0') + "5\r\nB=" + std::string(2046, '0') + "5\r\n");
    EXPECT_EQ(ini.ReadInteger("S", "A", -1), 0);
    EXPECT_EQ(ini.ReadInteger("S", "B", -1), 5);
}

TEST_F(IniFileTest, ARelativePathKeepsNamingTheSameFileAfterTheWorkingDirectoryChanges) {
    const auto original = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    TIniFile ini("Bootload.Ini");
    std::filesystem::current_path(original);
    EXPECT_EQ(ini.FileName(), (dir_.Path() / "Bootload.Ini").string());
    ini.WriteInteger("Options", "Comms_Port", 2);
    EXPECT_EQ(TIniFile(path_).ReadInteger("Options", "Comms_Port", 1), 2);
}

TEST_F(IniFileTest, AnUnwritablePathThrowsWithTheFullPath) {
    // Under a regular file no one can create anything, root included.
    const std::string blocker = dir_.Write("plain-file", "x");
    const std::string path = blocker + "/Bootload.Ini";
    TIniFile ini(path);
    try {
        ini.WriteInteger("Options", "Comms_Port", 1);
        ADD_FAILURE() << "write succeeded";
    } catch (const EIniWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
    EXPECT_EQ(TTempDir::Read(blocker), "x");
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsNotReplaced) {
    // A directory in the file's place: rewriting without its content would lose it.
    std::filesystem::create_directory(path_);
    std::filesystem::create_directory(dir_.File("Bootload.Ini/inner"));
    TIniFile ini(path_);
    EXPECT_EQ(ini.ReadInteger("Options", "Comms_Port", 1), 1);
    EXPECT_THROW(ini.WriteInteger("Options", "Comms_Port", 2), EIniWriteError);
    EXPECT_TRUE(std::filesystem::is_directory(dir_.File("Bootload.Ini/inner")));
}

TEST_F(IniFileTest, WritingLeavesNoTemporaryFileAndKeepsPermissions) {
    dir_.Write("Bootload.Ini", "[Options]\r\nComms_Port=1\r\n");
    ::chmod(path_.c_str(), 0640);
    TIniFile ini(path_);
    ini.WriteInteger("Options", "Comms_Port", 3);
    ini.WriteInteger("Options", "Other", 4);
    const auto entries = std::distance(std::filesystem::directory_iterator(dir_.Path()), {});
    EXPECT_EQ(entries, 1) << "a temporary file was left behind";
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(IniFileTest, NamesAndValuesThatWouldBreakTheLayoutAreRefused) {
    dir_.Write("Bootload.Ini", "[Options]\r\nComms_Port=1\r\n");
    TIniFile ini(path_);
    const char* const bad[][3] = {{"Options", "Comms_Port", "1\r\n[Evil]"},
                                  {"Options", "A=B", "1"},
                                  {"Options", ";A", "1"},
                                  {"Options", "", "1"},
                                  {"Opt]ions", "A", "1"},
                                  {"Opt\nions", "A", "1"}};
    for (const auto& b : bad) EXPECT_THROW(ini.WriteString(b[0], b[1], b[2]), std::invalid_argument) << b[1];
    EXPECT_EQ(TTempDir::Read(path_), "[Options]\r\nComms_Port=1\r\n");
}
