// soak: back-to-back upgrades by the runner's core in one process against one unitsim, then
// open/close cycles of the link over a pseudo-terminal; resident memory, descriptors and
// threads must not grow.
//
//   soak [--upgrades N] [--cycles N]     (defaults 100 and 10000)

#include <stdlib.h>

#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/ApplicationCore.h"
#include "bench/BenchView.h"
#include "bench/ProcessFigures.h"
#include "bench/UnitSimProcess.h"
#include "link/LumoComms.h"
#include "link/posix/PosixPortFactory.h"
#include "platform/posix/PseudoTerminal.h"
#include "platform/qt/QtMessageLoop.h"
#include "support/RecordingLog.h"

namespace {

// Heap and Qt's caches settle after the first rounds; what grows beyond this after them
// is a leak, not noise.
constexpr long kRssSlackKb = 1024;

void Print(const char* when, const TProcessFigures& f) {
    std::printf("  %-28s RSS %6.1f MB, %3zu descriptors, %2zu threads\n", when, f.RssKb / 1024.0,
                f.Descriptors, f.Threads);
}

bool Grew(const TProcessFigures& from, const TProcessFigures& to) {
    return to.Descriptors > from.Descriptors || to.Threads > from.Threads ||
           to.RssKb > from.RssKb + kRssSlackKb;
}

}  // namespace

int main(int argc, char** argv) {
    int upgrades = 100, cycles = 10000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--upgrades")
            upgrades = std::atoi(argv[i + 1]);
        else if (a == "--cycles")
            cycles = std::atoi(argv[i + 1]);
    }
    QCoreApplication application(argc, argv);
    std::string work = (std::filesystem::temp_directory_path() / "soak-XXXXXX").string();
    if (::mkdtemp(work.data()) == nullptr) return 2;
    const std::string ports = work + "/ports";
    std::filesystem::create_directories(ports);
    ::setenv("BOOTLOADER_PORTS", ports.c_str(), 1);
    bool ok = true;
    {
        TQtMessageLoop loop;
        const TProcessFigures start = TProcessFigures::Now();
        std::printf("Back-to-back upgrades in one process against one unitsim (%d)\n", upgrades);
        Print("start", start);
        TUnitSimProcess unit(work, ports, 1, {});
        TRecordingLog log;
        TBenchView view;
        TApplicationCore core(loop, view, log, [](const std::string& baseDir) {
            return std::make_shared<TPosixPortFactory>(baseDir);
        });
        core.CommsPortNumber = 1;
        core.FormCreate(false);
        TProcessFigures warm;
        int completed = 0;
        for (int u = 0; u < upgrades && core.Link() && core.Link()->IsOpen(); ++u) {
            view.Reset();
            loop.Post([&core] { core.StartUpgrade(); });
            while (!view.Ended) loop.WaitAndDispatch();
            completed += view.Completed && log.LastLine() == "Finalising Upgrade.....Done";
            if (u == 1) {
                warm = TProcessFigures::Now();
                Print("after 2 upgrades", warm);
            }
        }
        const TProcessFigures end = TProcessFigures::Now();
        Print("end", end);
        unit.Stop();
        std::ifstream in(unit.FlashDumpPath(), std::ios::binary);
        const std::string flash((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::uint32_t last = core.Package.ProgramEnd;
        const bool flashOk =
            flash.size() > last &&
            std::equal(core.Package.ImageBuffer.begin() + 2048, core.Package.ImageBuffer.begin() + last + 1,
                       reinterpret_cast<const std::uint8_t*>(flash.data()) + 2048);
        std::printf("  %d of %d upgrades completed; the unit's flash %s the image\n", completed, upgrades,
                    flashOk ? "holds" : "does NOT hold");
        if (completed != upgrades || !flashOk || (upgrades > 2 && Grew(warm, end))) ok = false;

        std::printf("Open/close cycles of the link over a pseudo-terminal (%d)\n", cycles);
        TPseudoTerminal pty;
        pty.HoldSlaveOpen();
        TLumoComms link(loop, TPosixPortFactory::ForDevice(pty.SlavePath()));
        link.BaudRate = 115200;
        TProcessFigures before, after;
        int opened = 0;
        for (int c = 0; c < cycles; ++c) {
            opened += link.Open();
            link.Close();
            loop.DispatchPending();  // chunks and timers of the closed port, if any
            if (c == 99) {
                before = TProcessFigures::Now();
                Print("after 100 cycles", before);
            }
        }
        after = TProcessFigures::Now();
        Print("end", after);
        std::printf("  %d of %d opens succeeded\n", opened, cycles);
        if (opened != cycles || (cycles > 100 && Grew(before, after))) ok = false;
    }
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    std::printf("%s\n", ok ? "No growth: resident memory, descriptors and threads stayed level." : "FAILED");
    return ok ? 0 : 1;
}
