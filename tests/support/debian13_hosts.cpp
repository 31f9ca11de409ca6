// The program of this tree as a host of the whole-program cases on Debian 13's desktops: Xvfb,
// sway and gnome-shell run in a Debian 13 root (TAVIK_DEBIAN13_ROOT, made by scripts/debian13-root.sh), and so
// does the viewer, on that system's libraries; the rig's probes stay outside and reach them
// through the shared /tmp.
#include "support/viewer_fixture.h"

const ViewerHost kDebian13X11Host = {.name = "debian13_x11", .desktop = [] {
                                         return std::make_unique<XvfbDesktop>(
                                             std::vector<std::string>{}, TAVIK_DEBIAN13_ROOT);
                                     }};
const ViewerHost kDebian13SwayHost = {.name = "debian13_sway", .desktop = [] {
                                          return std::make_unique<SwayDesktop>(TAVIK_DEBIAN13_ROOT);
                                      }};
const ViewerHost kDebian13GnomeHost = {
    .name = "debian13_gnome",
    .desktop = [] { return std::make_unique<GnomeDesktop>(TAVIK_DEBIAN13_ROOT); }};
