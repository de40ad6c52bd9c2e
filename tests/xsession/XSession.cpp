#include "tests/xsession/XSession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

Display* Dpy(void* display) {
    return static_cast<Display*>(display);
}

// Tolerates windows that vanish between listing and asking: X errors are not fatal here.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

std::vector<unsigned char> Property(Display* display, Window window, const char* name, Atom type) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned char> bytes;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 65536, False, type,
                           &actualType, &format, &count, &after, &data) == Success &&
        data != nullptr) {
        const std::size_t size = count * (format == 32 ? sizeof(long) : format / 8);
        bytes.assign(data, data + size);
    }
    if (data != nullptr) XFree(data);
    return bytes;
}

}  // namespace

TXSession::TXSession() {
    int ready[2];
    if (::pipe(ready) != 0) throw std::runtime_error("pipe");
    server_ = Spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", "1024x768x24",
                     "-nolisten", "tcp", "-noreset"},
                    ready[1]);
    ::close(ready[1]);
    std::string number;
    pollfd p{ready[0], POLLIN, 0};
    char c = 0;
    while (::poll(&p, 1, kPatienceMs) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(ready[0]);
    if (number.empty()) throw std::runtime_error("Xvfb did not start");

    if (const char* previous = ::getenv("DISPLAY")) {
        hadDisplay_ = true;
        previousDisplay_ = previous;
    }
    const std::string name = ":" + number;
    ::setenv("DISPLAY", name.c_str(), 1);
    display_ = XOpenDisplay(name.c_str());
    if (display_ == nullptr) throw std::runtime_error("cannot connect to " + name);
    XSetErrorHandler(IgnoreXError);

    windowManager_ = Spawn({"openbox", "--sm-disable"});
    Display* display = Dpy(display_);
    const bool managed = WaitUntil([&] {
        return !Property(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty();
    });
    if (!managed) throw std::runtime_error("openbox did not take the screen");
}

TXSession::TXSession(const std::string& display) {
    if (const char* previous = ::getenv("DISPLAY")) {
        hadDisplay_ = true;
        previousDisplay_ = previous;
    }
    ::setenv("DISPLAY", display.c_str(), 1);
    display_ = XOpenDisplay(display.c_str());
    if (display_ == nullptr) throw std::runtime_error("cannot connect to " + display);
    XSetErrorHandler(IgnoreXError);
}

TXSession::~TXSession() {
    if (display_ != nullptr) XCloseDisplay(Dpy(display_));
    Stop(windowManager_);
    Stop(server_);
    hadDisplay_ ? ::setenv("DISPLAY", previousDisplay_.c_str(), 1) : ::unsetenv("DISPLAY");
}

pid_t TXSession::Spawn(const std::vector<std::string>& args, int keepFd) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != keepFd) ::close(fd);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid < 0) throw std::runtime_error("fork");
    return pid;
}

int TXSession::Run(const std::vector<std::string>& args) {
    const pid_t pid = Spawn(args);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void TXSession::Stop(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    const bool ended = WaitUntil([pid] { return ::waitpid(pid, nullptr, WNOHANG) == pid; }, 10000);
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

bool TXSession::WaitUntil(const std::function<bool()>& condition, int capMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(capMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<TXSession::TWindow> TXSession::ClientWindows() {
    Display* display = Dpy(display_);
    const auto bytes = Property(display, DefaultRootWindow(display), "_NET_CLIENT_LIST", XA_WINDOW);
    std::vector<TWindow> windows(bytes.size() / sizeof(long));
    for (std::size_t i = 0; i < windows.size(); ++i)
        windows[i] = reinterpret_cast<const unsigned long*>(bytes.data())[i];
    return windows;
}

std::string TXSession::Caption(TWindow window) {
    Display* display = Dpy(display_);
    auto bytes = Property(display, window, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False));
    if (bytes.empty()) bytes = Property(display, window, "WM_NAME", AnyPropertyType);
    return std::string(bytes.begin(), bytes.end());
}

TXSession::TWindow TXSession::WaitForCaption(const std::string& caption) {
    TWindow found = 0;
    WaitUntil([&] {
        for (TWindow w : ClientWindows())
            if (Caption(w) == caption) {
                found = w;
                break;
            }
        return found != 0;
    });
    return found;
}

TXSession::TWindow TXSession::WaitForNewWindow(const std::vector<TWindow>& known) {
    TWindow found = 0;
    WaitUntil([&] {
        for (TWindow w : ClientWindows())
            if (std::find(known.begin(), known.end(), w) == known.end()) found = w;
        return found != 0;
    });
    return found;
}

bool TXSession::WaitForGone(TWindow window) {
    return WaitUntil([&] {
        const auto windows = ClientWindows();
        return std::find(windows.begin(), windows.end(), window) == windows.end();
    });
}

QRect TXSession::Geometry(TWindow window) {
    Display* display = Dpy(display_);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes)) return {};
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return QRect(x, y, attributes.width, attributes.height);
}

QImage TXSession::Grab(TWindow window) {
    Display* display = Dpy(display_);
    const QRect screen(0, 0, DisplayWidth(display, DefaultScreen(display)),
                       DisplayHeight(display, DefaultScreen(display)));
    const QRect area = Geometry(window).intersected(screen);
    if (area.isEmpty()) return {};
    XImage* image = XGetImage(display, DefaultRootWindow(display), area.x(), area.y(),
                              static_cast<unsigned>(area.width()), static_cast<unsigned>(area.height()),
                              AllPlanes, ZPixmap);
    if (image == nullptr) return {};
    QImage picture(area.width(), area.height(), QImage::Format_RGB32);
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            picture.setPixel(x, y,
                             qRgb(static_cast<int>((pixel & image->red_mask) >> 16),
                                  static_cast<int>((pixel & image->green_mask) >> 8),
                                  static_cast<int>(pixel & image->blue_mask)));
        }
    XDestroyImage(image);
    return picture;
}

void TXSession::Click(TWindow window, QPoint point) {
    Run({"xdotool", "mousemove", "--window", std::to_string(window), std::to_string(point.x()),
         std::to_string(point.y()), "click", "1"});
}

void TXSession::Key(const std::string& keys) {
    std::vector<std::string> args{"xdotool", "key", "--delay", "100"};
    std::istringstream words(keys);
    for (std::string key; words >> key;) args.push_back(key);
    Run(args);
}

void TXSession::Type(const std::string& text) {
    Run({"xdotool", "type", "--delay", "30", text});
}
