// The arm64 program as a host of the whole-program cases: cross-built by the arm64 preset and run
// through qemu's user-mode emulator, which loads the arm64 libraries of Debian's multiarch. Mesa
// draws with softpipe, which generates no code at run time: llvmpipe's code generator has been seen
// to hang under emulation. An emulated frame takes about 40 ms of CPU, and the emulator starts
// slowly, so the limits are wider than the native program's.
#include "support/viewer_fixture.h"

namespace {

struct Arm64Launcher : EmulatedLauncher {
    Arm64Launcher()
        : EmulatedLauncher(TAVIK_ARM64_PROGRAM, {TAVIK_QEMU_AARCH64},
                           {{"GALLIUM_DRIVER", "softpipe"}}) {
        startMs = 30000;
        exitMs = 10000;
        loadedExitMs = 20000;
        fitMs = 15000;
    }
};
const Arm64Launcher kArm64Launcher;

} // namespace

const ViewerHost kArm64X11Host = {.name = "arm64_x11",
                                  .desktop = [] { return std::make_unique<XvfbDesktop>(); },
                                  .launcher = &kArm64Launcher};
const ViewerHost kArm64SwayHost = {.name = "arm64_sway",
                                   .desktop = [] { return std::make_unique<SwayDesktop>(); },
                                   .launcher = &kArm64Launcher};
