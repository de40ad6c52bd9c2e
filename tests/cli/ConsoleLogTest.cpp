#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/ConsoleLog.h"

namespace {

// What the log printed, read back from a temporary file.
std::string Printed(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
    return text;
}

void Progress(OperatorLog& log) {
    log.Clear();
    log.AddLogLine("Erasing Program Memory......");
    log.ReplaceLogLine("Erasing Program Memory......0%");
    log.ReplaceLogLine("Erasing Program Memory......100%");
    log.AddLogLine("Sending New Program Data......");
    log.ReplaceLogLine("Sending New Program Data......Error Detected");
}

TEST(ConsoleLogTest, PipeGetsEachLineOnceInItsFinalForm) {
    std::FILE* f = std::tmpfile();
    {
        TConsoleLog log(f, /*live=*/false);
        Progress(log);
        // Nothing of the last line yet: it may still change.
        EXPECT_EQ(Printed(f), "Erasing Program Memory......100%\n");
        std::fseek(f, 0, SEEK_END);
    }
    EXPECT_EQ(Printed(f), "Erasing Program Memory......100%\nSending New Program Data......Error Detected\n");
    std::fclose(f);
}

TEST(ConsoleLogTest, TerminalRewritesTheReplacedLineInPlace) {
    std::FILE* f = std::tmpfile();
    {
        TConsoleLog log(f, /*live=*/true);
        Progress(log);
    }
    EXPECT_EQ(Printed(f),
              "Erasing Program Memory......"
              "\rErasing Program Memory......0%\x1b[K"
              "\rErasing Program Memory......100%\x1b[K\n"
              "Sending New Program Data......"
              "\rSending New Program Data......Error Detected\x1b[K\n");
    std::fclose(f);
}

TEST(ConsoleLogTest, TerminalWithoutTheEraseSequenceGetsBlanksOverALongerOldText) {
    std::FILE* f = std::tmpfile();
    {
        TConsoleLog log(f, /*live=*/true, /*eraseSequence=*/false);
        log.AddLogLine("Restarting Unit......");
        log.ReplaceLogLine("Restarting Unit......Done (1)");
        log.ReplaceLogLine("Restarting Unit......Fail");
    }
    EXPECT_EQ(Printed(f),
              "Restarting Unit......"
              "\rRestarting Unit......Done (1)"
              "\rRestarting Unit......Fail    \n");
    std::fclose(f);
}

TEST(ConsoleLogTest, ReplaceOnAnEmptyLogPrintsNothing) {
    std::FILE* f = std::tmpfile();
    {
        TConsoleLog log(f, false);
        log.ReplaceLogLine("nothing to replace");
        log.Clear();
        log.ReplaceLogLine("still nothing");
    }
    EXPECT_EQ(Printed(f), "");
    std::fclose(f);
}

}  // namespace
