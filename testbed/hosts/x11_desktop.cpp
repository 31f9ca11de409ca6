// The X11 desktops: a bare Xvfb, where the rig itself sends what a window manager would, and
// Xvfb with a desktop's window manager, driven through it.
#include <signal.h>
#include <sys/wait.h>

#include "hosts/desktop.h"

bool XvfbDesktop::Start(std::string* error) {
    server_.root = root_;
    if (!StartXvfb(&server_, serverArgs_, error)) {
        return false;
    }
    probe_ = std::make_unique<X11Probe>(server_.display);
    *error = "cannot connect to " + server_.display;
    return probe_->Connected();
}

void XvfbDesktop::EndServer(int signal) {
    probe_.reset();
    StopProcess(&server_.process, signal, 10000);
    // A killed server leaves its socket file behind. It is not removed here: by now another
    // server may have taken the number, and the next one to take it replaces the file anyway.
}

LaunchSettings XvfbDesktop::ProgramSettings() const {
    LaunchSettings settings = X11Settings(server_.display);
    settings.root = root_;
    return settings;
}

WindowManagerDesktop::~WindowManagerDesktop() {
    EndWindowManager(&session_);
}

bool WindowManagerDesktop::Start(std::string* error) {
    return XvfbDesktop::Start(error) &&
           StartWindowManager(manager_, server_.display, probe_.get(), &session_, error);
}

std::vector<Window> WindowManagerDesktop::FindWindows(const std::string& caption) {
    // Those it manages (its _NET_CLIENT_LIST), as `wmctrl -l` lists them.
    std::vector<Window> found;
    for (unsigned long window :
         probe_->LongProperty(DefaultRootWindow(probe_->display()), "_NET_CLIENT_LIST")) {
        if (probe_->TextProperty(window, "_NET_WM_NAME") == caption ||
            probe_->TextProperty(window, "WM_NAME") == caption) {
            found.push_back(window);
        }
    }
    return found;
}

RgbImage WindowManagerDesktop::Grab(Window window) {
    ClientArea area = {};
    return Geometry(window, &area) ? GrabArea(window, {0, 0, area.width, area.height}) : RgbImage();
}

RgbImage WindowManagerDesktop::GrabArea(Window window, const Patch& area) {
    ClientArea client = {};
    if (!Geometry(window, &client)) {
        return RgbImage();
    }
    return probe_->GrabArea(DefaultRootWindow(probe_->display()), client.x + area.x,
                            client.y + area.y, area.width, area.height);
}

bool WindowManagerDesktop::Resize(Window window, int width, int height) {
    return Wmctrl(server_.display, "-r", window,
                  {"-e", "0,-1,-1," + std::to_string(width) + "," + std::to_string(height)});
}

bool WindowManagerDesktop::Move(Window window, int x, int y) {
    return Wmctrl(server_.display, "-r", window,
                  {"-e", "0," + std::to_string(x) + "," + std::to_string(y) + ",-1,-1"});
}

bool WindowManagerDesktop::Close(Window window) {
    return Wmctrl(server_.display, "-c", window);
}
