#include "hosts/hosts.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "hosts/wine.h"

namespace fs = std::filesystem;

namespace {

// The native binary in use: the one built with the hosts unless UseNativeBinary named another.
std::string nativeBinary = TAVIK_BINARY;

// A desktop factory: a new T made from `arguments` each time.
template <typename T, typename... Arguments>
std::function<std::unique_ptr<Desktop>()> Make(Arguments... arguments) {
    return [=] { return std::make_unique<T>(arguments...); };
}

} // namespace

const Launcher kNativeLauncher;
const WineLauncher kWineLauncher;

const ViewerHost kX11Host = {.name = "x11", .desktop = Make<XvfbDesktop>()};
const ViewerHost kWineHost = {
    .name = "wine", .desktop = Make<XvfbDesktop>(), .launcher = &kWineLauncher};
const ViewerHost kSwayHost = {.name = "sway", .desktop = Make<SwayDesktop>(), .killable = true};
const ViewerHost kWestonHost = {.name = "weston", .desktop = Make<WestonDesktop>()};
const ViewerHost kKwinHost = {.name = "kwin", .desktop = Make<KwinDesktop>(), .killable = true};
const ViewerHost kKwinScale150Host = {.name = "kwin-1.5x", .desktop = Make<KwinDesktop>(1.5)};
const ViewerHost kKwinScale125Host = {
    .name = "kwin-1.25x", .desktop = Make<KwinDesktop>(1.25), .scaleChangedTo = 1.5};
const ViewerHost kGnomeHost = {.name = "gnome", .desktop = Make<GnomeDesktop>(), .killable = true};
// Window managers as their desktops run them; xfwm4 and mutter offer only the functions a
// window asks for in its Motif hints, where openbox and KWin show minimise and maximise anyway.
const ViewerHost kOpenboxHost = {
    .name = "openbox",
    .desktop = Make<WindowManagerDesktop>(X11WindowManager{{"openbox", "--sm-disable"}, false})};
// Without compositing.
const ViewerHost kKwinX11Host = {
    .name = "kwin_x11", .desktop = Make<WindowManagerDesktop>(X11WindowManager{{"kwin_x11"}})};
const ViewerHost kXfwm4Host = {
    .name = "xfwm4",
    .desktop = Make<WindowManagerDesktop>(
        X11WindowManager{{"xfwm4", "--compositor=off", "--sm-client-disable"}, true, true})};
// Always compositing, on Mesa's software renderer.
const ViewerHost kMutterX11Host = {.name = "mutter_x11",
                                   .desktop = Make<WindowManagerDesktop>(X11WindowManager{
                                       {"mutter", "--x11", "--sm-disable"}, true, true})};

const std::string& NativeBinary() {
    return nativeBinary;
}

void UseNativeBinary(const std::string& path) {
    nativeBinary = path;
}

bool Launcher::Prepare(const Desktop&, const std::string& bin, std::string* error) const {
    const std::string& from = program.empty() ? NativeBinary() : program;
    std::error_code failed;
    fs::copy_file(from, bin + "/tavik", fs::copy_options::overwrite_existing, failed);
    *error = "cannot copy '" + from + "' into " + bin + ": build its preset first";
    return !failed;
}

std::vector<std::string> Launcher::Command(const std::string& bin) const {
    std::vector<std::string> command = emulator;
    command.push_back(bin + "/tavik");
    return command;
}

WineLauncher::WineLauncher() {
    slow = true;
    startMs = 30000;
    exitMs = 20000;
    loadedExitMs = 20000;
}

bool WineLauncher::Prepare(const Desktop& desktop, const std::string& bin,
                           std::string* error) const {
    if (!fs::exists(TAVIK_WINDOWS_EXE)) {
        *error = "'" TAVIK_WINDOWS_EXE "' is missing: build the windows preset first";
        return false;
    }
    fs::copy_file(TAVIK_WINDOWS_EXE, bin + "/tavik.exe", fs::copy_options::overwrite_existing);
    return EnsureWinePrefix(desktop.XDisplay(), error);
}

std::vector<std::string> WineLauncher::Command(const std::string& bin) const {
    return {TAVIK_WINE, bin + "/tavik.exe"};
}

void WineLauncher::Stop() const {
    StopWine();
}

EmulatedLauncher::EmulatedLauncher(std::string program, std::vector<std::string> emulator,
                                   std::vector<std::pair<std::string, std::string>> environment) {
    this->program = std::move(program);
    this->emulator = std::move(emulator);
    this->environment = std::move(environment);
    slow = true;
}

bool MakeViewerRoot(const ViewerHost& host, Desktop& desktop, bool withTexture, std::string* root,
                    std::string* error) {
    char tmpl[] = "/tmp/tavik-viewer-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        *error = "cannot make a working directory";
        return false;
    }
    *root = tmpl;
    fs::create_directories(*root + "/bin");
    if (withTexture) {
        fs::create_directories(*root + "/res");
        fs::copy_file(TAVIK_SOURCE_DIR "/res/grass.bmp", *root + "/res/grass.bmp");
    }
    if (!host.launcher->Prepare(desktop, *root + "/bin", error)) {
        return false;
    }
    *error = "cannot hand " + *root + " over";
    return desktop.GiveToProgramUser(*root);
}

bool StartViewerOn(const ViewerHost& host, Desktop& desktop, const std::string& root,
                   const ViewerOptions& options, ChildProcess* viewer) {
    LaunchSettings settings = desktop.ProgramSettings();
    auto& set = settings.environment;
    set.insert(set.end(), host.launcher->environment.begin(), host.launcher->environment.end());
    if (!options.unusableLibraries.empty()) {
        fs::create_directories(root + "/lib");
        for (const std::string& name : options.unusableLibraries) {
            std::ofstream(root + "/lib/" + name);
        }
        desktop.GiveToProgramUser(root + "/lib");
        set.push_back({"LD_LIBRARY_PATH", root + "/lib"});
    }
    set.insert(set.end(), options.viewerEnvironment.begin(), options.viewerEnvironment.end());
    for (const std::string& name : options.viewerUnset) {
        set.erase(std::remove_if(set.begin(), set.end(),
                                 [&](const auto& variable) { return variable.first == name; }),
                  set.end());
        settings.unset.push_back(name);
    }
    return StartProcessWith(host.launcher->Command(root + "/bin"), root + "/bin", settings, viewer);
}

Window WaitForNewWindow(Desktop& desktop, const std::vector<Window>& known, int timeoutMs) {
    Window found = 0;
    WaitUntil(
        [&] {
            for (Window window : desktop.FindWindows("Tavik")) {
                if (std::find(known.begin(), known.end(), window) == known.end() &&
                    desktop.IsShown(window)) {
                    found = window;
                }
            }
            return found != 0;
        },
        timeoutMs, desktop.PollMs());
    return found;
}
