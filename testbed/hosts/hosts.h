// The hosts a viewer runs on: a desktop and a launcher. A desktop (desktop.h) is the display
// server the viewer's window appears on; a launcher is how the program is started there (the
// native binary, tavik.exe under Wine). A new host is one line below and one in hosts.cpp.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "hosts/desktop.h"

// How the viewer is started on a desktop, and how long that may take.
class Launcher {
  public:
    virtual ~Launcher() = default;
    // Copies the program into `bin`, where the desktop's user can read it, and makes ready what
    // it needs (a Wine prefix); false with the reason in *error.
    virtual bool Prepare(const Desktop& desktop, const std::string& bin, std::string* error) const;
    // The command line that starts the copy in `bin`.
    virtual std::vector<std::string> Command(const std::string& bin) const;
    // Ends what the launcher itself left running (Wine's server).
    virtual void Stop() const {}

    // Time limits: Wine starts and ends a program far more slowly than the native binary. They
    // tell a hang from a slow end on a loaded machine; how fast it ends is the close benchmark's.
    int startMs = 10000;     // for a started viewer's window to be shown
    int exitMs = 3000;       // for the viewer to end once its window is closed
    int loadedExitMs = 6000; // the same while other viewers or a resize storm load the machine
    int fitMs = 5000;        // for the picture to fit a new client size
    // Slow to start and end a program (Wine, an emulator): the stress cases run fewer rounds.
    bool slow = false;

    // The program, where not the native binary: one built for another architecture, run through
    // `emulator` (a user-mode emulator's command and options) with the variables it needs beside
    // the desktop's (a renderer the emulator can run).
    std::string program;
    std::vector<std::string> emulator;
    std::vector<std::pair<std::string, std::string>> environment;
};

// The cross-built tavik.exe under Wine, in the tree's Wine prefix (X11 desktops only).
class WineLauncher : public Launcher {
  public:
    WineLauncher();
    bool Prepare(const Desktop& desktop, const std::string& bin, std::string* error) const override;
    std::vector<std::string> Command(const std::string& bin) const override;
    void Stop() const override;
};

// A program built for another architecture, run through a user-mode emulator: `emulator` (the
// command and its options) before the program, with the variables it needs.
struct EmulatedLauncher : Launcher {
    EmulatedLauncher(std::string program, std::vector<std::string> emulator,
                     std::vector<std::pair<std::string, std::string>> environment);
};

extern const Launcher kNativeLauncher;
extern const WineLauncher kWineLauncher;

struct ViewerHost {
    const char* name;                                  // in test names
    std::function<std::unique_ptr<Desktop>()> desktop; // a new one, not started
    const Launcher* launcher = &kNativeLauncher;
    // A compositor that the cases kill under a viewer, at one scale of each desktop (the end of the
    // connection does not depend on the scale).
    bool killable = false;
    // The output's scale that the user sets while the window is shown (0: none).
    double scaleChangedTo = 0;
};
extern const ViewerHost kX11Host;
extern const ViewerHost kWineHost;
extern const ViewerHost kSwayHost;
extern const ViewerHost kWestonHost;
extern const ViewerHost kKwinHost;
// KWin at fractional scales, which it offers to clients through wp_fractional_scale_v1.
extern const ViewerHost kKwinScale150Host;
extern const ViewerHost kKwinScale125Host;
extern const ViewerHost kGnomeHost;
// Window managers on Xvfb, as Xfce, KDE Plasma and GNOME run them on X11, and openbox.
extern const ViewerHost kOpenboxHost;
extern const ViewerHost kKwinX11Host;
extern const ViewerHost kXfwm4Host;
extern const ViewerHost kMutterX11Host;

// The native binary the launchers start; `path` replaces the one built with the hosts (the long
// run measures a release build this way).
const std::string& NativeBinary();
void UseNativeBinary(const std::string& path);

// Lays out a working directory as the package does (bin/, and res/grass.bmp unless told not),
// puts the program into bin/ and gives it all to the desktop's user; its path in *root.
bool MakeViewerRoot(const ViewerHost& host, Desktop& desktop, bool withTexture, std::string* root,
                    std::string* error);
// Starts the viewer in root/bin on the desktop, with the options' environment.
bool StartViewerOn(const ViewerHost& host, Desktop& desktop, const std::string& root,
                   const ViewerOptions& options, ChildProcess* viewer);
// A shown window captioned Tavik that is not among `known`; 0 if none is shown in time.
Window WaitForNewWindow(Desktop& desktop, const std::vector<Window>& known, int timeoutMs);
