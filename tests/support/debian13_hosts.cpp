// The program of this tree as a host of the whole-program cases on Debian 13's desktops: Xvfb,
// sway, weston, gnome-shell and KWin run in a Debian 13 root (TAVIK_SYSTEM_ROOT, made by
// scripts/debian13-root.sh), and so does the viewer, on that system's libraries; the rig's probes
// stay outside and reach them through the shared /tmp.
#include "support/viewer_fixture.h"

namespace {

template <typename Kind, typename... Arguments>
std::function<std::unique_ptr<Desktop>()> InRoot(Arguments... arguments) {
    return [=] { return std::make_unique<Kind>(arguments..., TAVIK_SYSTEM_ROOT); };
}

} // namespace

const ViewerHost kDebian13X11Host = {.name = "debian13_x11",
                                     .desktop = InRoot<XvfbDesktop>(std::vector<std::string>{})};
const ViewerHost kDebian13SwayHost = {
    .name = "debian13_sway", .desktop = InRoot<SwayDesktop>(), .killable = true};
const ViewerHost kDebian13GnomeHost = {
    .name = "debian13_gnome", .desktop = InRoot<GnomeDesktop>(), .killable = true};
// KWin 6 at scale 1 and at the two fractional scales, set through its output management.
const ViewerHost kDebian13KwinHost = {
    .name = "debian13_kwin", .desktop = InRoot<KwinDesktop>(1.0, false), .killable = true};
const ViewerHost kDebian13KwinScale150Host = {.name = "debian13_kwin-1.5x",
                                              .desktop = InRoot<KwinDesktop>(1.5, false)};
const ViewerHost kDebian13KwinScale125Host = {.name = "debian13_kwin-1.25x",
                                              .desktop = InRoot<KwinDesktop>(1.25, false),
                                              .scaleChangedTo = 1.5};
