// bootloader: the desktop program, a native window program. It has no console: --help,
// --version and a wrong option are answered in a message box.
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/VersionText.h"
#include "link/SystemPortFactory.h"
#include "platform/win32/SystemText.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32MessageLoop.h"
#include "ui/win32/AboutBox.h"
#include "ui/win32/CommSelFrm.h"
#include "ui/win32/MainForm.h"
#include "ui/win32/MessageBoxes.h"

namespace {

// Shown in a message box, which wraps long lines itself in a proportional font: paragraphs
// carry no line breaks of their own, and each option's text sits on a line below it.
const char kHelp[] =
    "Usage: bootloader.exe [options]\n"
    "\n"
    "Firmware updater for serial-attached controller units. Start it from the folder whose "
    "Bootload.Ini names the port to use (it is created there with COM1 when missing).\n"
    "\n"
    "Options:\n"
    "--help, -h, /?\n"
    "\tThis text.\n"
    "--version, -v\n"
    "\tThe program's version and the firmware package it carries.\n"
    "--enable-load-file\n"
    "\tShow the File, Load File command (load a raw image file and type its processor and "
    "model numbers).\n";

void Tell(const std::string& text, UINT icon) {
    ::MessageBoxW(nullptr, WideFromUtf8(text).c_str(), L"bootloader", MB_OK | icon);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    TMainForm::TOptions options{};
    for (const std::string& argument : CommandLineArguments()) {
        if (argument == "--help" || argument == "-h" || argument == "/?" || argument == "-?") {
            Tell(kHelp, MB_ICONINFORMATION);
            return 0;
        }
        if (argument == "--version" || argument == "-v") {
            Tell(VersionText("bootloader"), MB_ICONINFORMATION);
            return 0;
        }
        if (argument == "--enable-load-file") {
            options.EnableLoadFile = true;
            continue;
        }
        Tell("Unknown option: " + argument + "\n\n" + kHelp, MB_ICONHAND);
        return 2;
    }

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    SetApplicationTitle(std::string());

    TWin32MessageLoop loop;
    loop.SetMessageFilter(&TForm::FilterMessage);
    TMainForm form(
        loop, [](const std::string& baseDir) { return MakeSystemPortFactory(baseDir); }, options);
    TAboutBox aboutBox(form.Handle());
    TCommSelFrm commSelFrm(form.Handle());
    form.AttachDialogs(&aboutBox, &commSelFrm);
    while (!form.Finished()) loop.WaitAndDispatch();
    return 0;
}
