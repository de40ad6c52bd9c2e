#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/PortFactory.h"
#include "platform/MessageLoop.h"

// What the headless runner needs of the platform it runs on: its arguments as UTF-8
// text, the user-interface thread's message loop, the port factory and the console. The
// build picks one implementation: posix/QtRunnerPlatform.cpp (the QtCore loop and POSIX ports)
// or win32/Win32RunnerPlatform.cpp (the Win32 loop and COM ports).
class TRunnerPlatform {
public:
    TRunnerPlatform(int& argc, char** argv);
    ~TRunnerPlatform();
    TRunnerPlatform(const TRunnerPlatform&) = delete;
    TRunnerPlatform& operator=(const TRunnerPlatform&) = delete;

    // The arguments after the program name.
    const std::vector<std::string>& Arguments() const;

    TMessageLoop& Loop();

    // The ports of this platform; with a device, the factory that opens only that device.
    std::shared_ptr<TPortFactory> MakePortFactory(const std::string& baseDir,
                                                  const std::optional<std::string>& device) const;

    // Runs the loop until Quit().
    void Exec();
    void Quit();

    // True when standard output is a terminal (a console window on Windows).
    bool OutputIsTerminal() const;
    // True when that terminal takes the sequence that erases the rest of a line, which a
    // line rewritten in place uses; otherwise the rest is overwritten with blanks.
    bool TerminalErasesLines() const;

    // The lines of the help that tell how COM<N> leads to a device here.
    static const char* PortHelp();

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};
