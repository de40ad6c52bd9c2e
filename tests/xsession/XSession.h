#pragma once

#include <sys/types.h>

#include <QImage>
#include <QRect>
#include <functional>
#include <string>
#include <vector>

// A private X session for one test: Xvfb on a display number the server picks itself,
// openbox as its window manager, and one Xlib connection to look at it. DISPLAY names the
// session while the object lives, so the programs a test starts (and xdotool) use it.
// Input goes through xdotool, as an operator's would; what the screen shows is read back
// from the X server (the root window's pixels), never rendered again by the program.
class TXSession {
public:
    using TWindow = unsigned long;

    // Bound for anything to appear or change; it only keeps a broken run from hanging.
    static constexpr int kPatienceMs = 60000;

    // Throws std::runtime_error when the server or the window manager does not come up.
    TXSession();
    // A session that runs already (the Wine tests' own, whose window manager is up): DISPLAY
    // names it while the object lives; the destructor only closes the connection.
    explicit TXSession(const std::string& display);
    // Closes the connection, then ends the window manager and the server.
    ~TXSession();
    TXSession(const TXSession&) = delete;
    TXSession& operator=(const TXSession&) = delete;

    // The managed top-level windows (the window manager's client list).
    std::vector<TWindow> ClientWindows();
    // The caption the window manager shows: _NET_WM_NAME, else WM_NAME.
    std::string Caption(TWindow window);
    // Polls the client list until a window with this caption is there (the first mapped of
    // several); 0 when none came.
    TWindow WaitForCaption(const std::string& caption);
    // Polls until a client window that is not in known appears; 0 when none came.
    TWindow WaitForNewWindow(const std::vector<TWindow>& known);
    // Polls until the window is no longer a client window.
    bool WaitForGone(TWindow window);

    // The window's area in root coordinates.
    QRect Geometry(TWindow window);
    // What the server shows in that area now.
    QImage Grab(TWindow window);

    // xdotool, to the window that has the focus: a left click at a point of the window; keys
    // separated by blanks ("alt+o c", "Return"); text typed.
    void Click(TWindow window, QPoint point);
    void Key(const std::string& keys);
    void Type(const std::string& text);

    // Polls condition until it holds or capMs passed; the last result.
    static bool WaitUntil(const std::function<bool()>& condition, int capMs = kPatienceMs);

private:
    // Runs a program of the system to its end; its exit status.
    static int Run(const std::vector<std::string>& args);
    static pid_t Spawn(const std::vector<std::string>& args, int keepFd = -1);
    static void Stop(pid_t pid);

    pid_t server_ = -1;
    pid_t windowManager_ = -1;
    void* display_ = nullptr;  // Display*; Xlib stays out of this header
    std::string previousDisplay_;
    bool hadDisplay_ = false;
};
